// Helpers for running the built program on real folders and comparing what it prints.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <grp.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "expected_text.h"

extern char** environ;

namespace foldgraf_e2e {

using ::Lines;

using Names = std::vector<std::string>;

// ---------------------------------------------------------------------------------------------
// The program under test: the native build, or foldgraf.exe under Wine when FOLDGRAF_UNDER_WINE
// is 1 (the test runner then has the build's Wine session running: tests/wine-session).
// Expectations are written in UTF-8 with POSIX names; under Wine they are turned into what a
// Japanese Windows system shows: code page 932 bytes, "/" as drive Z:, and the order in which
// Wine's own listings deliver entries.

#ifndef FOLDGRAF_WINE
#define FOLDGRAF_WINE ""
#endif
#ifndef FOLDGRAF_WINDOWS_DIR
#define FOLDGRAF_WINDOWS_DIR ""
#endif
#ifndef FOLDGRAF_WINE_PREFIX
#define FOLDGRAF_WINE_PREFIX ""
#endif
#ifndef FOLDGRAF_WINESERVER
#define FOLDGRAF_WINESERVER ""
#endif

struct PlatformUnderTest {
  bool wine = false;
  char drive = 'C';            // the drive letter of "/"
  char missing_drive = 'Z';    // a drive letter that names nothing
  std::size_t max_path = 4096;  // the build's MAX_PATH
};

inline const PlatformUnderTest& UnderTest() {
  static const PlatformUnderTest platform = [] {
    PlatformUnderTest under_test;
    const char* const wine = getenv("FOLDGRAF_UNDER_WINE");
    if (wine != nullptr && std::string_view(wine) == "1") {
      under_test.wine = true;
      under_test.drive = 'Z';
      under_test.missing_drive = 'Y';  // a fresh Wine prefix has drives C: and Z: only
      under_test.max_path = 32767;  // the wide API's limit, which the program's buffers follow
    }
    return under_test;
  }();
  return platform;
}

inline bool UnderWine() { return UnderTest().wine; }

// "x:" for the drive of "/", or for the drive that names nothing, in the case asked for.
inline std::string Drive(bool upper = true) {
  const char letter = UnderTest().drive;
  return std::string(1, static_cast<char>(upper ? letter : letter + 32)) + ":";
}
inline std::string MissingDrive(bool upper = true) {
  const char letter = UnderTest().missing_drive;
  return std::string(1, static_cast<char>(upper ? letter : letter + 32)) + ":";
}

// Converts between encodings with iconv; false when the text does not convert.
inline bool Convert(const char* to, const char* from, const std::string& text, std::string* out) {
  iconv_t const converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::string input = text;
  out->assign(input.size() * 2 + 4, '\0');
  char* in = input.data();
  char* to_at = out->data();
  std::size_t in_left = input.size(), out_left = out->size();
  const bool converted =
      iconv(converter, &in, &in_left, &to_at, &out_left) != static_cast<std::size_t>(-1);
  iconv_close(converter);
  out->resize(out->size() - out_left);
  return converted;
}

// The bytes the platform under test writes for a UTF-8 text.
inline std::string PlatformText(const std::string& utf8) {
  if (!UnderWine()) return utf8;
  std::string converted;
  if (!Convert("CP932", "UTF-8", utf8, &converted)) {
    ADD_FAILURE() << "an expected text has no code page 932 form";
  }
  return converted;
}

// A text the platform under test wrote, in UTF-8 (for names read back and for showing diffs).
inline std::string Utf8Text(const std::string& platform_text) {
  if (!UnderWine()) return platform_text;
  std::string converted;
  return Convert("UTF-8", "CP932", platform_text, &converted) ? converted : platform_text;
}

// The command that starts a program of the build under test; under Wine, one of the Windows
// build's executables.
inline Names Command(const std::string& windows_program) {
  if (!UnderWine()) return {FOLDGRAF_PATH};
  return {FOLDGRAF_WINE, std::string(FOLDGRAF_WINDOWS_DIR) + "/" + windows_program};
}

// ---------------------------------------------------------------------------------------------
// Expected texts

inline const std::string kCrLf = "\r\n";

struct Glyphs {
  std::string tee, end, bar, blank;
};
inline const Glyphs kExtended{"├─", "└─", "│  ", "    "};
inline const Glyphs kAscii{"+---", "\\---", "|   ", "    "};

inline const std::string kTitle = "フォルダ パスの一覧";
inline const std::string kNoSubfolders = Lines({"サブフォルダは存在しません", ""});
// Split so that no "??/" trigraph sequence appears in one literal.
inline const std::string kUnknownTime =
    "????"
    "/??"
    "/??"
    " ??:??:??    ";

inline std::string InvalidPath(std::string_view behind_root) {
  return Lines({"無効なパスです - \\" + std::string(behind_root)});
}

inline std::uint32_t ReadWineSerial();

// Drive C: is the POSIX root: its serial is the low half of the file system id of "/". Read with
// stat(1) so that the expectation does not share code with the program. Under Wine, drive Z:'s
// serial is whatever Wine reports for it.
inline std::uint32_t ReadDriveCSerial() {
  if (UnderWine()) return ReadWineSerial();
  FILE* pipe = popen("stat -f -c %i / 2>/dev/null", "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run stat -f -c %i /";
    return 0;
  }
  char text[64] = {};
  const bool got = fgets(text, sizeof text, pipe) != nullptr;
  pclose(pipe);
  char* end = nullptr;
  const unsigned long long id = got ? strtoull(text, &end, 16) : 0;
  if (!got || end == text) {
    ADD_FAILURE() << "stat -f -c %i / printed no file system id";
    return 0;
  }
  return static_cast<std::uint32_t>(id & 0xffffffffu);
}

inline std::uint32_t DriveCSerial() {
  static const std::uint32_t serial = ReadDriveCSerial();
  return serial;
}

inline std::string SerialLine(char separator, std::uint32_t serial) {
  char halves[16];
  snprintf(halves, sizeof halves, "%04X%c%04X", static_cast<unsigned>(serial >> 16), separator,
           static_cast<unsigned>(serial & 0xffffu));
  return "ボリューム シリアル番号は " + std::string(halves) + " です";
}

// The three header lines of a run given a path on drive C:.
inline std::string PathHeader(const std::string& root_line) {
  return Lines({SerialLine('-', DriveCSerial()), kTitle, root_line});
}

// The three header lines of a run given a path that names no volume.
inline std::string NoVolumeHeader(const std::string& root_line) {
  return Lines({SerialLine('-', 0), kTitle, root_line});
}

// The three header lines of a run without a path argument.
inline std::string CurrentFolderHeader() {
  return Lines({SerialLine(':', DriveCSerial()), kTitle, Drive() + "."});
}

// How the program names a POSIX path: "/" is drive C: (Z: under Wine).
inline std::string WinPath(std::string_view posix) {
  std::string path = Drive() + std::string(posix);
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

inline std::string FirstLines(const std::string& text, int count) {
  std::size_t at = 0;
  for (int i = 0; i < count; ++i) {
    const std::size_t end = text.find(kCrLf, at);
    if (end == std::string::npos) return text;
    at = end + kCrLf.size();
  }
  return text.substr(0, at);
}

// ---------------------------------------------------------------------------------------------
// Showing differences

// Valid UTF-8 is shown as it is; control characters and stray bytes get a visible name.
inline std::string Visible(std::string_view s) {
  std::string v;
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t length = c < 0x80                 ? 1
                         : c >= 0xc2 && c <= 0xdf ? 2
                         : c >= 0xe0 && c <= 0xef ? 3
                         : c >= 0xf0 && c <= 0xf4 ? 4
                                                  : 0;
    for (std::size_t k = 1; k < length; ++k) {
      if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xc0) != 0x80) length = 0;
    }
    char name[8];
    if (c == '\r') {
      v += "<CR>";
    } else if (c == '\n') {
      v += "<LF>";
    } else if (c == '\t') {
      v += "<TAB>";
    } else if (length == 0 || c < 0x20 || c == 0x7f) {
      snprintf(name, sizeof name, "<x%02X>", c);
      v += name;
    } else {
      v.append(s.substr(i, length));
      i += length;
      continue;
    }
    ++i;
  }
  return v;
}

// Visible, and cut short: one runaway line must not flood the report.
inline std::string Shown(std::string_view line) {
  constexpr std::size_t kLongest = 240;
  if (line.size() <= kLongest) return Visible(line);
  std::size_t cut = kLongest;
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xc0) == 0x80) --cut;
  return Visible(line.substr(0, cut)) + "<... " + std::to_string(line.size() - cut) +
         " more bytes>";
}

inline Names SplitAtLineEnds(const std::string& text, bool* ends_in_crlf) {
  Names lines;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find(kCrLf, at)) != std::string::npos; at = end + 2) {
    lines.push_back(text.substr(at, end - at));
  }
  *ends_in_crlf = at == text.size();
  if (!*ends_in_crlf) lines.push_back(text.substr(at));
  return lines;
}

// A line diff of two outputs ("-" expected only, "+" actual only), a few lines of context.
inline std::string LineDiff(const std::string& expected, const std::string& actual) {
  bool expected_closed = false, actual_closed = false;
  const Names e = SplitAtLineEnds(expected, &expected_closed);
  const Names a = SplitAtLineEnds(actual, &actual_closed);
  std::size_t head = 0;
  while (head < e.size() && head < a.size() && e[head] == a[head]) ++head;
  std::size_t tail = 0;
  while (tail < e.size() - head && tail < a.size() - head &&
         e[e.size() - 1 - tail] == a[a.size() - 1 - tail]) {
    ++tail;
  }
  const std::size_t n = e.size() - head - tail, m = a.size() - head - tail;

  std::vector<std::string> rows;  // "-", "+" or " " followed by the line
  if (n * m <= 4'000'000) {
    std::vector<std::uint32_t> lcs((n + 1) * (m + 1), 0);
    auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& { return lcs[i * (m + 1) + j]; };
    for (std::size_t i = n; i-- > 0;) {
      for (std::size_t j = m; j-- > 0;) {
        at(i, j) = e[head + i] == a[head + j] ? at(i + 1, j + 1) + 1
                                              : std::max(at(i + 1, j), at(i, j + 1));
      }
    }
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
      if (i < n && j < m && e[head + i] == a[head + j]) {
        rows.push_back(" " + e[head + i]), ++i, ++j;
      } else if (i < n && (j == m || at(i + 1, j) >= at(i, j + 1))) {
        rows.push_back("-" + e[head + i++]);
      } else {
        rows.push_back("+" + a[head + j++]);
      }
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) rows.push_back("-" + e[head + i]);
    for (std::size_t j = 0; j < m; ++j) rows.push_back("+" + a[head + j]);
  }

  std::string report = "output differs (expected " + std::to_string(expected.size()) +
                       " bytes in " + std::to_string(e.size()) + " lines, got " +
                       std::to_string(actual.size()) + " bytes in " + std::to_string(a.size()) +
                       " lines); first difference at line " + std::to_string(head + 1) + ":\n";
  for (std::size_t k = head >= 2 ? head - 2 : 0; k < head; ++k) {
    report += "  " + std::to_string(k + 1) + "  \"" + Shown(e[k]) + "\"\n";
  }
  std::size_t shown = 0;
  for (const std::string& row : rows) {
    if (++shown > 40) {
      report += "  ... " + std::to_string(rows.size() - 40) + " more\n";
      break;
    }
    report += "  " + row.substr(0, 1) + " \"" + Shown(std::string_view(row).substr(1)) + "\"\n";
  }
  if (expected_closed != actual_closed) {
    report += expected_closed ? "  (actual output does not end in CR LF)\n"
                              : "  (expected output does not end in CR LF)\n";
  }
  return report;
}

// expected is UTF-8; under Wine it is compared in its code page 932 form.
inline ::testing::AssertionResult SameBytes(const std::string& expected,
                                            const std::string& actual) {
  if (PlatformText(expected) == actual) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << LineDiff(expected, Utf8Text(actual));
}

// ---------------------------------------------------------------------------------------------
// Running the program

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
};

// The exit status of a run that could not give up root's power; such a test skips.
inline constexpr int kCannotDropPrivileges = 125;

// In the child before exec: a user namespace of its own leaves the process its uid but no power
// over files of the outer system; where that is not allowed, an unprivileged uid does the same.
inline bool DropPrivileges() {
  if (geteuid() != 0 || unshare(CLONE_NEWUSER) == 0) return true;
  return setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
}

inline void RedirectOutput(Invocation::Output output, int pipe_end) {
  switch (output) {
    case Invocation::Output::kPipe:
    case Invocation::Output::kTerminal:
      dup2(pipe_end, 1);
      return;
    case Invocation::Output::kClosedPipe: {
      int orphan[2];
      if (pipe(orphan) != 0) _exit(126);
      close(orphan[0]);
      dup2(orphan[1], 1);
      close(orphan[1]);
      return;
    }
    case Invocation::Output::kFull: {
      const int full = open("/dev/full", O_WRONLY);
      if (full < 0) _exit(126);
      dup2(full, 1);
      close(full);
      return;
    }
    case Invocation::Output::kClosed:
      close(1);
      return;
  }
}

struct Outcome {
  bool exited = false;  // ended by returning from main or calling exit
  int status = -1;
  int signal = 0;
  bool killed_by_timer = false;
  std::string out, err;
};

// A run that hangs is killed after this long so that it fails the test instead of blocking CI.
inline constexpr std::chrono::seconds kHangGuard{60};

// What every Wine run is given: the build's prefix and server, no debug output, and a Japanese
// locale, in which Wine gives programs code page 932.
inline Names WineEnvironment() {
  return {"WINEPREFIX=" FOLDGRAF_WINE_PREFIX, "WINESERVER=" FOLDGRAF_WINESERVER, "WINEDEBUG=-all",
          "LANG=ja_JP.UTF-8", "LC_ALL=ja_JP.UTF-8"};
}

// A pseudo-terminal as a pipe's two ends: ends[0] the side the test reads, ends[1] the terminal.
// In raw mode the terminal adds nothing (no CR before LF), so the test reads exactly the program's
// bytes.
inline bool OpenTerminal(int ends[2]) {
  const int reader = posix_openpt(O_RDWR | O_NOCTTY);
  if (reader < 0) return false;
  fcntl(reader, F_SETFD, FD_CLOEXEC);
  const char* const name =
      grantpt(reader) == 0 && unlockpt(reader) == 0 ? ptsname(reader) : nullptr;
  const int terminal = name != nullptr ? open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
  termios mode;
  if (terminal >= 0 && tcgetattr(terminal, &mode) == 0) {
    cfmakeraw(&mode);
    if (tcsetattr(terminal, TCSANOW, &mode) == 0) {
      ends[0] = reader;
      ends[1] = terminal;
      return true;
    }
  }
  if (terminal >= 0) close(terminal);
  close(reader);
  return false;
}

// Runs command (a program and its first arguments) with the invocation's arguments.
inline Outcome RunCommand(const Names& command, const Invocation& invocation) {
  Outcome run;
  Names variables = invocation.env;
  if (UnderWine()) {
    // Without the session, Wine would make a prefix on the spot, slowly, in the user's home.
    struct stat prefix;
    if (stat(FOLDGRAF_WINE_PREFIX "/dosdevices", &prefix) != 0) {
      ADD_FAILURE() << "no Wine session: run tests/wine-session start, or the tests through ctest";
      return run;
    }
    for (const std::string& setting : WineEnvironment()) {
      const std::string name = setting.substr(0, setting.find('=') + 1);
      auto const names_it = [&](const std::string& set) {
        return set.compare(0, name.size(), name) == 0;
      };
      const bool set_already = std::any_of(variables.begin(), variables.end(), names_it);
      if (!set_already) variables.push_back(setting);
    }
  }
  Names argv_text = invocation.wrapper;
  argv_text.insert(argv_text.end(), command.begin(), command.end());
  argv_text.insert(argv_text.end(), invocation.args.begin(), invocation.args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  Names env_text;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const bool replaced =
        std::any_of(variables.begin(), variables.end(), [&](const std::string& set) {
          const std::size_t eq = set.find('=');
          return text.substr(0, text.find('=')) == set.substr(0, eq);
        });
    if (!replaced) env_text.emplace_back(text);
  }
  env_text.insert(env_text.end(), variables.begin(), variables.end());
  std::vector<char*> envp;
  for (std::string& entry : env_text) envp.push_back(entry.data());
  envp.push_back(nullptr);

  int out[2], err[2];
  const int null_input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const bool out_made = invocation.output == Invocation::Output::kTerminal
                            ? OpenTerminal(out)
                            : pipe2(out, O_CLOEXEC) == 0;
  if (null_input < 0 || !out_made || pipe2(err, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "cannot make pipes: " << strerror(errno);
    return run;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    // The program has to survive a closed pipe on its own, so it starts with the default
    // disposition of SIGPIPE whatever the test runner set.
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &default_action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Its own process group, so that the hang guard reaches anything it started too.
    setpgid(0, 0);
    if (chdir(invocation.cwd.c_str()) != 0) _exit(126);
    if (invocation.unprivileged && !DropPrivileges()) _exit(kCannotDropPrivileges);
    dup2(null_input, 0);
    RedirectOutput(invocation.output, out[1]);
    dup2(err[1], 2);
    execvpe(argv[0], argv.data(), envp.data());
    _exit(invocation.unprivileged ? kCannotDropPrivileges : 127);
  }
  close(null_input);
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    ADD_FAILURE() << "fork failed: " << strerror(errno);
    close(out[0]);
    close(err[0]);
    return run;
  }

  setpgid(pid, pid);  // also here, so that it holds before the guard could fire
  auto deadline = std::chrono::steady_clock::now() +
                  (invocation.time_limit.count() > 0 ? invocation.time_limit : kHangGuard);
  int out_fd = out[0], err_fd = err[0];
  std::size_t lines_seen = 0, scanned = 0;
  while (out_fd >= 0 || err_fd >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      if (run.killed_by_timer) break;  // something outside the group still holds the pipes
      kill(-pid, SIGKILL);
      run.killed_by_timer = true;
      deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      continue;
    }
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    char buffer[65536];
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || (fds[k].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      const ssize_t got = read(fds[k].fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      int& fd = k == 0 ? out_fd : err_fd;
      // The end; a terminal's reader gets EIO instead, once the program has closed its side.
      if (got <= 0) {
        close(fd);
        fd = -1;
        continue;
      }
      (k == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(got));
    }
    if (invocation.close_after_lines >= 0 && out_fd >= 0) {
      for (std::size_t at; (at = run.out.find(kCrLf, scanned)) != std::string::npos;) {
        ++lines_seen;
        scanned = at + 2;
      }
      scanned = std::max(scanned, run.out.size() - std::min<std::size_t>(run.out.size(), 1));
      // A reader that waits for line ends which never come gives up after a megabyte.
      if (lines_seen >= static_cast<std::size_t>(invocation.close_after_lines) ||
          run.out.size() > (std::size_t{1} << 20)) {
        close(out_fd);
        out_fd = -1;
      }
    }
  }
  if (out_fd >= 0) close(out_fd);
  if (err_fd >= 0) close(err_fd);
  int wait_status = 0;
  while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
  }
  run.exited = WIFEXITED(wait_status);
  run.status = run.exited ? WEXITSTATUS(wait_status) : -1;
  run.signal = WIFSIGNALED(wait_status) ? WTERMSIG(wait_status) : 0;
  return run;
}

inline Outcome RunProgram(const Invocation& invocation) {
  return RunCommand(Command("foldgraf.exe"), invocation);
}

// Wine itself writes this line to standard error whenever the volume serial of a drive mapped to a
// POSIX folder is asked for; it does not come from the program.
inline std::string WithoutWineNotices(const std::string& err) {
  if (!UnderWine()) return err;
  const std::string notice = "wine: Read access denied for device ";
  std::string kept;
  std::size_t at = 0;
  while (at < err.size()) {
    std::size_t end = err.find('\n', at);
    end = end == std::string::npos ? err.size() : end + 1;
    if (err.compare(at, notice.size(), notice) != 0) kept += err.substr(at, end - at);
    at = end;
  }
  return kept;
}

inline std::uint32_t ReadWineSerial() {
  const Outcome run =
      RunCommand(Command("list_folder.exe"), Invocation({"/serial", Drive() + "\\"}));
  char* end = nullptr;
  const unsigned long serial = strtoul(run.out.c_str(), &end, 16);
  if (end == run.out.c_str()) {
    ADD_FAILURE() << "list_folder /serial printed \"" << run.out << "\"";
    return 0;
  }
  return static_cast<std::uint32_t>(serial);
}

// The run ended by itself with status 0 and wrote nothing to standard error.
inline ::testing::AssertionResult EndedCleanly(const Outcome& run) {
  std::string problems;
  if (run.killed_by_timer) {
    problems += "the program was still running after 60 s and was killed\n";
  } else if (!run.exited) {
    problems += "the program was ended by signal " + std::to_string(run.signal) + "\n";
  } else if (run.status != 0) {
    problems += "exit status " + std::to_string(run.status) + " instead of 0\n";
  }
  const std::string err = WithoutWineNotices(run.err);
  if (!err.empty()) problems += "standard error got \"" + Shown(err) + "\"\n";
  if (problems.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << problems;
}

// The run ended cleanly and printed exactly the expected bytes.
inline ::testing::AssertionResult Printed(const Outcome& run, const std::string& expected) {
  ::testing::AssertionResult ended = EndedCleanly(run);
  if (!ended) return ended;
  return SameBytes(expected, run.out);
}

// ---------------------------------------------------------------------------------------------
// Building folders

inline std::string MakeTempFolder(const std::string& parent) {
  std::string pattern = parent + "/foldgraf-e2e-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp in " << parent << ": " << strerror(errno);
    return pattern;
  }
  char resolved[PATH_MAX];
  return realpath(pattern.c_str(), resolved) != nullptr ? std::string(resolved) : pattern;
}

inline void MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0) ADD_FAILURE() << "mkdir " << path << ": " << strerror(errno);
}

inline void MakeFile(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    ADD_FAILURE() << "create " << path << ": " << strerror(errno);
    return;
  }
  close(fd);
}

inline void MakeLink(const std::string& target, const std::string& path) {
  if (symlink(target.c_str(), path.c_str()) != 0) {
    ADD_FAILURE() << "symlink " << path << ": " << strerror(errno);
  }
}

// Creates a folder below an open folder and returns the new folder open, so that chains deeper
// than any path can be built.
inline int MakeFolderAt(int parent, const std::string& name) {
  if (mkdirat(parent, name.c_str(), 0755) != 0) {
    ADD_FAILURE() << "mkdirat " << name.substr(0, 40) << "...: " << strerror(errno);
    return -1;
  }
  const int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) ADD_FAILURE() << "openat: " << strerror(errno);
  return fd;
}

inline void MakeFileAt(int parent, const std::string& name) {
  const int fd = openat(parent, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    ADD_FAILURE() << "create " << name.substr(0, 40) << ": " << strerror(errno);
    return;
  }
  close(fd);
}

// Sets the last-write time; false when the file system did not keep exactly that instant.
inline bool SetMtime(const std::string& path, long long seconds, long nanoseconds = 0) {
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(seconds);
  times[1].tv_nsec = nanoseconds;
  if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return false;
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && st.st_mtim.tv_sec == times[1].tv_sec &&
         st.st_mtim.tv_nsec == nanoseconds;
}

namespace detail {
inline void RemoveContents(int folder) {
  Names names;
  if (DIR* listing = fdopendir(dup(folder))) {
    while (const dirent* entry = readdir(listing)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(listing);
  }
  for (const std::string& name : names) {
    struct stat st;
    if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
      fchmodat(folder, name.c_str(), 0700, 0);
      const int child = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
      if (child >= 0) {
        RemoveContents(child);
        close(child);
      }
      unlinkat(folder, name.c_str(), AT_REMOVEDIR);
    } else {
      unlinkat(folder, name.c_str(), 0);
    }
  }
}
}  // namespace detail

// Removes a folder and everything below it, however deep; links are removed, not followed.
inline void RemoveTree(const std::string& path) {
  const int folder = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return;
  detail::RemoveContents(folder);
  close(folder);
  rmdir(path.c_str());
}

// ---------------------------------------------------------------------------------------------
// Reading the order back

struct Entry {
  std::string name;
  bool folder;  // a folder, or a link that leads to one
};

// Entries as Wine's own listing delivers them, read with list_folder.exe.
inline std::vector<Entry> WineListing(const std::string& folder) {
  std::vector<Entry> entries;
  const Outcome run = RunCommand(Command("list_folder.exe"), Invocation({WinPath(folder)}));
  if (!run.exited || run.status != 0) {
    ADD_FAILURE() << "list_folder " << folder.substr(0, 80) << " failed";
    return entries;
  }
  bool closed = false;
  for (const std::string& line : SplitAtLineEnds(run.out, &closed)) {
    if (line.size() < 3 || (line[0] != 'D' && line[0] != 'F') || line[1] != ' ') {
      ADD_FAILURE() << "list_folder printed \"" << Shown(line) << "\"";
      continue;
    }
    entries.push_back({Utf8Text(line.substr(2)), line[0] == 'D'});
  }
  return entries;
}

// Entries in the order the platform under test delivers them, "." and ".." left out: on POSIX
// the directory's own order.
inline std::vector<Entry> Listing(const std::string& folder) {
  if (UnderWine()) return WineListing(folder);
  std::vector<Entry> entries;
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) {
    ADD_FAILURE() << "opendir " << folder.substr(0, 80) << ": " << strerror(errno);
    return entries;
  }
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    const bool folder_entry =
        fstatat(dirfd(listing), name.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode);
    entries.push_back({name, folder_entry});
  }
  closedir(listing);
  return entries;
}

inline Names SubfolderNames(const std::string& folder) {
  Names names;
  for (const Entry& entry : Listing(folder)) {
    if (entry.folder) names.push_back(entry.name);
  }
  return names;
}

inline Names FileNames(const std::string& folder) {
  Names names;
  for (const Entry& entry : Listing(folder)) {
    if (!entry.folder) names.push_back(entry.name);
  }
  return names;
}

// How a tree is expected to be drawn. The structure comes from the disk, in the directory's own
// order; which folders show nothing below their own line is stated by the test.
struct Drawing {
  Glyphs glyphs = kExtended;
  bool files = false;         // /F
  std::string stamp;          // written before every file name (/T), empty without
  std::set<std::string> cut;  // POSIX paths, as walked, of folders drawn as a line only

  Drawing& Ascii() {
    glyphs = kAscii;
    return *this;
  }
  Drawing& WithFiles() {
    files = true;
    return *this;
  }
  Drawing& WithStamps(const std::string& text) {
    stamp = text;
    return *this;
  }
  Drawing& Cut(std::set<std::string> folders) {
    cut = std::move(folders);
    return *this;
  }
};

inline void DrawBelow(const std::string& folder, const std::string& prefix, const Drawing& drawing,
                      std::string* out) {
  const std::vector<Entry> entries = Listing(folder);
  Names subfolders, files;
  for (const Entry& entry : entries) (entry.folder ? subfolders : files).push_back(entry.name);
  if (drawing.files && !files.empty()) {
    const std::string& segment = subfolders.empty() ? drawing.glyphs.blank : drawing.glyphs.bar;
    for (const std::string& name : files) *out += prefix + segment + drawing.stamp + name + kCrLf;
    *out += prefix + segment + kCrLf;
  }
  for (std::size_t i = 0; i < subfolders.size(); ++i) {
    const bool more = i + 1 < subfolders.size();
    *out += prefix + (more ? drawing.glyphs.tee : drawing.glyphs.end) + subfolders[i] + kCrLf;
    const std::string child = folder + "/" + subfolders[i];
    if (drawing.cut.count(child) == 0) {
      DrawBelow(child, prefix + (more ? drawing.glyphs.bar : drawing.glyphs.blank), drawing, out);
    }
  }
}

// The tree lines below a folder, without the header lines and the closing note.
inline std::string DrawnTree(const std::string& folder, const Drawing& drawing = Drawing()) {
  std::string out;
  DrawBelow(folder, "", drawing, &out);
  return out;
}

}  // namespace foldgraf_e2e
