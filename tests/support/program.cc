#include "support/program.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

extern char** environ;

// The Windows build and the Wine session, where the Wine tests are configured.
#ifndef FOLDGRAF_WINE
#define FOLDGRAF_WINE ""
#define FOLDGRAF_WINESERVER ""
#define FOLDGRAF_WINE_PREFIX ""
#define FOLDGRAF_WINDOWS_DIR ""
#endif

const PlatformUnderTest& UnderTest() {
  static const PlatformUnderTest platform = [] {
    PlatformUnderTest under_test;
    const char* const wine = getenv("FOLDGRAF_UNDER_WINE");
    if (wine != nullptr && std::string_view(wine) == "1") {
      under_test.wine = true;
      under_test.drive = 'Z';
      under_test.missing_drive = 'Y';  // a fresh Wine prefix has drives C: and Z: only
      under_test.max_path = 32767;     // the wide API's limit, which the program's buffers follow
    }
    return under_test;
  }();
  return platform;
}

std::string PlatformText(const std::string& utf8) {
  if (!UnderWine()) return utf8;
  std::string converted;
  if (!Convert("CP932", "UTF-8", utf8, &converted)) {
    ADD_FAILURE() << "an expected text has no code page 932 form";
  }
  return converted;
}

std::string Utf8Text(const std::string& platform_text) {
  if (!UnderWine()) return platform_text;
  std::string converted;
  return Convert("UTF-8", "CP932", platform_text, &converted) ? converted : platform_text;
}

std::string WindowsProgram(const std::string& name) {
  return std::string(FOLDGRAF_WINDOWS_DIR) + "/" + name;
}

Names Command(const std::string& windows_program) {
  if (!UnderWine()) return {FOLDGRAF_PATH};
  return {FOLDGRAF_WINE, WindowsProgram(windows_program)};
}

namespace {

// Whether a NAME=value setting of the same name as entry is among the settings.
bool NamedIn(const Names& settings, std::string_view entry) {
  const std::string_view name = entry.substr(0, entry.find('='));
  return std::any_of(settings.begin(), settings.end(), [&](std::string_view setting) {
    return setting.substr(0, setting.find('=')) == name;
  });
}

// The invocation's variables; under Wine also those of the build's session that it does not set:
// its prefix and server, no debug output, and a Japanese locale, in which Wine gives programs code
// page 932.
Names VariablesOf(const Invocation& invocation) {
  Names variables = invocation.env;
  if (!UnderWine()) return variables;
  for (const std::string setting :
       {"WINEPREFIX=" FOLDGRAF_WINE_PREFIX, "WINESERVER=" FOLDGRAF_WINESERVER, "WINEDEBUG=-all",
        "LANG=ja_JP.UTF-8", "LC_ALL=ja_JP.UTF-8"}) {
    if (!NamedIn(variables, setting)) variables.push_back(setting);
  }
  return variables;
}

// The test's own environment, with the variables added or in place of those of the same name.
Names EnvironmentWith(const Names& variables) {
  Names environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!NamedIn(variables, *entry)) environment.emplace_back(*entry);
  }
  environment.insert(environment.end(), variables.begin(), variables.end());
  return environment;
}

// The strings as the NULL-ended array that exec takes; they must outlive it.
std::vector<char*> Pointers(Names& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// In the child before exec: a user namespace of its own leaves the process its uid but no power
// over files of the outer system; where that is not allowed, an unprivileged uid does the same.
bool DropPrivileges() {
  if (geteuid() != 0 || unshare(CLONE_NEWUSER) == 0) return true;
  return setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
}

void RedirectOutput(Invocation::Output output, int pipe_end) {
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

// The child's side: standard input from /dev/null, output and error to the pipes, then exec.
[[noreturn]] void StartProgram(const Invocation& invocation, char** argv, char** envp,
                               int null_input, int out, int err) {
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
  RedirectOutput(invocation.output, out);
  dup2(err, 2);
  execvpe(argv[0], argv, envp);
  _exit(invocation.unprivileged ? kCannotDropPrivileges : 127);
}

// Appends what can be read from fd; at its end, closes it and sets it to -1.
void ReadInto(int& fd, std::string& text) {
  char buffer[65536];
  const ssize_t got = read(fd, buffer, sizeof buffer);
  if (got < 0 && errno == EINTR) return;
  if (got > 0) {
    text.append(buffer, static_cast<std::size_t>(got));
    return;
  }
  close(fd);
  fd = -1;
}

// A pager that quits early leaves after its lines, or after a megabyte without them.
bool ReaderLeaves(const Invocation& invocation, const std::string& out) {
  if (invocation.close_after_lines < 0) return false;
  if (out.size() > (std::size_t{1} << 20)) return true;
  int lines = 0;
  for (std::size_t at = 0; (at = out.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  return lines >= invocation.close_after_lines;
}

bool PauseLineArrived(const Invocation& invocation, const std::string& out) {
  return !invocation.pause_line.empty() &&
         out.find("\r\n" + invocation.pause_line + "\r\n") != std::string::npos;
}

// Reads both pipes until they close. A run past the hang guard has its process group killed; when
// something outside the group still holds the pipes, reading gives up 5 s later.
void Collect(pid_t pid, int out_fd, int err_fd, const Invocation& invocation, Outcome* run) {
  using Clock = std::chrono::steady_clock;
  auto deadline =
      Clock::now() + (invocation.time_limit.count() > 0 ? invocation.time_limit : kHangGuard);
  bool paused = false;
  while (out_fd >= 0 || err_fd >= 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      if (run->killed_by_timer) break;
      kill(-pid, SIGKILL);
      run->killed_by_timer = true;
      deadline = Clock::now() + std::chrono::seconds(5);
      continue;
    }
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    if (poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR) break;
    const short ready = POLLIN | POLLHUP | POLLERR;
    if (out_fd >= 0 && (fds[0].revents & ready) != 0) ReadInto(out_fd, run->out);
    if (err_fd >= 0 && (fds[1].revents & ready) != 0) ReadInto(err_fd, run->err);
    if (out_fd >= 0 && ReaderLeaves(invocation, run->out)) {
      close(out_fd);
      out_fd = -1;
    }
    if (!paused && PauseLineArrived(invocation, run->out)) {
      paused = true;
      invocation.at_pause();
    }
  }
  if (out_fd >= 0) close(out_fd);
  if (err_fd >= 0) close(err_fd);
  if (!invocation.pause_line.empty() && !paused) {
    ADD_FAILURE() << "the line \"" << Visible(invocation.pause_line) << "\" never came";
  }
}

void Reap(pid_t pid, Outcome* run) {
  int wait_status = 0;
  while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
  }
  run->exited = WIFEXITED(wait_status);
  run->status = run->exited ? WEXITSTATUS(wait_status) : -1;
  run->signal = WIFSIGNALED(wait_status) ? WTERMSIG(wait_status) : 0;
}

// A pseudo-terminal as a pipe's two ends: ends[0] the side the test reads, ends[1] the terminal.
// In raw mode the terminal adds nothing (no CR before LF), so the test reads exactly the program's
// bytes; and it is wide enough that a console drawn on it (Wine's) breaks no line of the tests.
bool OpenTerminal(int ends[2]) {
  const int reader = posix_openpt(O_RDWR | O_NOCTTY);
  if (reader < 0) return false;
  fcntl(reader, F_SETFD, FD_CLOEXEC);
  const char* const name =
      grantpt(reader) == 0 && unlockpt(reader) == 0 ? ptsname(reader) : nullptr;
  const int terminal = name != nullptr ? open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
  termios mode;
  winsize const size{50, 1000, 0, 0};
  if (terminal >= 0 && tcgetattr(terminal, &mode) == 0 && ioctl(terminal, TIOCSWINSZ, &size) == 0) {
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

// Standard output's pipe is one page long for a run that pauses, so that the program soon waits.
bool MakePipes(const Invocation& invocation, int out[2], int err[2]) {
  const bool out_made = invocation.output == Invocation::Output::kTerminal
                            ? OpenTerminal(out)
                            : pipe2(out, O_CLOEXEC) == 0;
  if (!out_made || pipe2(err, O_CLOEXEC) != 0) return false;
  if (invocation.output == Invocation::Output::kTerminal) return true;
  return invocation.pause_line.empty() || fcntl(out[0], F_SETPIPE_SZ, 4096) >= 0;
}

// Wine itself writes this line to standard error whenever the volume serial of a drive mapped to a
// POSIX folder is asked for; it does not come from the program.
std::string WithoutWineNotices(const std::string& err) {
  if (!UnderWine()) return err;
  const std::string notice = "wine: Read access denied for device ";
  std::string kept;
  for (std::size_t at = 0, end; at < err.size(); at = end) {
    end = err.find('\n', at);
    end = end == std::string::npos ? err.size() : end + 1;
    if (err.compare(at, notice.size(), notice) != 0) kept += err.substr(at, end - at);
  }
  return kept;
}

}  // namespace

Outcome RunCommand(const Names& command, const Invocation& invocation) {
  Outcome run;
  // Without the session, Wine would make a prefix on the spot, slowly, in the user's home.
  struct stat prefix;
  if (UnderWine() && stat(FOLDGRAF_WINE_PREFIX "/dosdevices", &prefix) != 0) {
    ADD_FAILURE() << "no Wine session: run tests/wine-session start, or the tests through ctest";
    return run;
  }
  Names argv_text = invocation.wrapper;
  argv_text.insert(argv_text.end(), command.begin(), command.end());
  argv_text.insert(argv_text.end(), invocation.args.begin(), invocation.args.end());
  Names envp_text = EnvironmentWith(VariablesOf(invocation));
  std::vector<char*> argv = Pointers(argv_text), envp = Pointers(envp_text);

  int out[2], err[2];
  const int null_input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (null_input < 0 || !MakePipes(invocation, out, err)) {
    ADD_FAILURE() << "cannot make pipes: " << strerror(errno);
    return run;
  }
  const pid_t pid = fork();
  if (pid == 0) StartProgram(invocation, argv.data(), envp.data(), null_input, out[1], err[1]);
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
  Collect(pid, out[0], err[0], invocation, &run);
  Reap(pid, &run);
  return run;
}

::testing::AssertionResult EndedCleanly(const Outcome& run) {
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

::testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual) {
  if (PlatformText(expected) == actual) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << LineDiff(expected, Utf8Text(actual));
}

::testing::AssertionResult Printed(const Outcome& run, const std::string& expected) {
  ::testing::AssertionResult ended = EndedCleanly(run);
  if (!ended) return ended;
  return SameBytes(expected, run.out);
}
