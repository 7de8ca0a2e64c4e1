// Running a program of the build and judging how it ended: the native foldgraf, or foldgraf.exe
// under Wine when FOLDGRAF_UNDER_WINE is 1 (the test runner then has the build's Wine session
// running: tests/wine-session). Expectations are written in UTF-8; under Wine they are compared in
// the code page 932 form that a Japanese Windows system writes.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "support/text.h"

struct PlatformUnderTest {
  bool wine = false;
  char drive = 'C';             // the drive letter of "/"
  char missing_drive = 'Z';     // a drive letter that names nothing
  std::size_t max_path = 4096;  // the build's MAX_PATH
};

const PlatformUnderTest& UnderTest();
inline bool UnderWine() { return UnderTest().wine; }

// The bytes the platform under test writes for a UTF-8 text.
std::string PlatformText(const std::string& utf8);
// A text the platform under test wrote, in UTF-8 (for names read back and for showing diffs).
std::string Utf8Text(const std::string& platform_text);

// Where the Windows build's programs are ("" when the Wine tests are not configured).
std::string WindowsProgram(const std::string& name);
// The command that starts a program of the build under test; under Wine, one of the Windows
// build's executables.
Names Command(const std::string& windows_program);

struct Invocation {
  Invocation(Names arguments, std::string folder = "/", Names variables = {})
      : args(std::move(arguments)), cwd(std::move(folder)), env(std::move(variables)) {}

  Names args;
  std::string cwd;
  Names env;  // NAME=value entries that are added to, or replace, the test's own environment
  // When not negative, standard output is closed once this many lines have arrived, as a pager
  // that quits early does.
  int close_after_lines = -1;
  // A longer hang guard, for a run that builds or installs.
  std::chrono::seconds time_limit{0};
  // Where standard output goes: the test's pipe, a pipe whose reader is gone before the program
  // starts, /dev/full, nowhere (descriptor 1 closed), or a pseudo-terminal that the test reads.
  enum class Output { kPipe, kClosedPipe, kFull, kClosed, kTerminal };
  Output output = Output::kPipe;
  // Run without root's power over files, so that permissions hold even when the tests run as root.
  bool unprivileged = false;
  // A command the program runs under (strace, for instance), looked up in PATH.
  Names wrapper;
  // When set, standard output is a pipe of one page, and as soon as this line has arrived reading
  // stops and at_pause runs: the program, a page or two further on, waits on the full pipe.
  std::string pause_line;
  std::function<void()> at_pause;
};

struct Outcome {
  bool exited = false;  // ended by returning from main or calling exit
  int status = -1;
  int signal = 0;
  bool killed_by_timer = false;
  std::string out, err;
};

// The exit status of a run that could not give up root's power; such a test skips.
inline constexpr int kCannotDropPrivileges = 125;

// A run that hangs is killed after this long so that it fails the test instead of blocking CI.
inline constexpr std::chrono::seconds kHangGuard{60};

// Runs command (a program and its first arguments) with the invocation's arguments.
Outcome RunCommand(const Names& command, const Invocation& invocation);
inline Outcome RunProgram(const Invocation& invocation) {
  return RunCommand(Command("foldgraf.exe"), invocation);
}

// The run ended by itself with status 0 and wrote nothing to standard error.
::testing::AssertionResult EndedCleanly(const Outcome& run);
// expected is UTF-8; under Wine it is compared in its code page 932 form.
::testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual);
// The run ended cleanly and printed exactly the expected bytes.
::testing::AssertionResult Printed(const Outcome& run, const std::string& expected);
