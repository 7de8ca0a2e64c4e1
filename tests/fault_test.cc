// The built program under faults: standard output that cannot be written, folders it may not read
// or that vanish while it is inside them, folder links that lead round in a circle, paths and names
// at and past their limits, and arguments of odd sizes and bytes. Every run must end by itself with
// status 0, nothing on standard error and, where there is output to see, exactly the right bytes.

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "end_to_end_support.h"

namespace foldgraf_e2e {
namespace {

// Every line of part appears in whole, in the same order, with perhaps other lines in between.
bool IsSubsequence(const Names& part, const Names& whole) {
  auto at = whole.begin();
  for (const std::string& line : part) {
    at = std::find(at, whole.end(), line);
    if (at == whole.end()) return false;
    ++at;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Standard output that cannot be written.

class FailedOutputTest : public FolderTest {
 protected:
  // Far more output than any buffer holds: 20 folders of 50 files, listed with time stamps.
  void MakeWideTree() {
    for (int folder = 0; folder < 20; ++folder) {
      const std::string name = "d" + std::to_string(folder);
      MakeFolder(At(name));
      for (int file = 0; file < 50; ++file) MakeFile(At(name + "/file-" + std::to_string(file)));
    }
  }

  static std::string Describe(Invocation::Output output) {
    switch (output) {
      case Invocation::Output::kClosedPipe:
        return "a pipe nobody reads";
      case Invocation::Output::kFull:
        return "/dev/full";
      case Invocation::Output::kClosed:
        return "a closed descriptor";
      case Invocation::Output::kTerminal:
        return "a terminal";
      case Invocation::Output::kPipe:
        break;
    }
    return "a pipe";
  }

  static constexpr Invocation::Output kFailures[] = {
      Invocation::Output::kClosedPipe, Invocation::Output::kFull, Invocation::Output::kClosed};
};

TEST_F(FailedOutputTest, RunEndsByItselfWithStatusZero) {
  MakeWideTree();
  for (const Names& args : {Names{"/F", "/T", Win()}, Names{}, Names{"/?"}, Names{"/X"},
                            Names{"a", "b"}, Names{"/F", "missing"}}) {
    for (Invocation::Output output : kFailures) {
      Invocation run{args, base_};
      run.output = output;
      EXPECT_TRUE(EndedCleanly(RunProgram(run)))
          << "standard output " << Describe(output) << ", " << args.size() << " arguments";
    }
  }
}

// Lines in an strace log that record a failed write to descriptor 1. (Only failed ones: a tool the
// program runs under may have a file of its own open as descriptor 1 when standard output is
// closed.)
int FailedWritesToStandardOutput(const std::string& log_path) {
  FILE* log = fopen(log_path.c_str(), "r");
  if (log == nullptr) return -1;
  int writes = 0;
  char line[512];
  while (fgets(line, sizeof line, log) != nullptr) {
    if (strstr(line, "write(1,") != nullptr && strstr(line, ") = -1 ") != nullptr) ++writes;
  }
  fclose(log);
  return writes;
}

TEST_F(FailedOutputTest, StreamWritesNothingMoreAfterItsFirstFailure) {
  if (system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  MakeWideTree();
  const std::string log = At("strace.log");
  for (Invocation::Output output : kFailures) {
    // The leak check of a sanitized build cannot run under a tracer; the other runs make it.
    Invocation run{{"/F", "/T", Win()}, base_, {"ASAN_OPTIONS=detect_leaks=0"}};
    run.output = output;
    run.wrapper = {"strace", "-f", "-qq", "-e", "trace=write", "-e", "signal=none", "-o", log};
    const Outcome traced = RunProgram(run);
    ASSERT_TRUE(EndedCleanly(traced)) << "standard output " << Describe(output);
    // The header goes out with the first flush and fails; what would follow (some 1,000 lines) is
    // never tried.
    EXPECT_EQ(FailedWritesToStandardOutput(log), 1) << "standard output " << Describe(output);
  }
}

// ---------------------------------------------------------------------------------------------
// Folders that cannot be read or vanish.

class FolderFaultTest : public FolderTest {};

TEST_F(FolderFaultTest, UnreadableFolderShowsItsLineAndNothingBelowEvenForRoot) {
  Folders({"locked", "locked/inner", "open", "open/o1"});
  Files({"locked/f", "top", "open/g"});
  // Searchable by anyone, for the unprivileged uid that may run the program.
  ASSERT_EQ(chmod(base_.c_str(), 0755), 0);
  ASSERT_EQ(chmod(At("locked").c_str(), 0), 0);
  Invocation whole{{"/F", Win()}, base_};
  whole.unprivileged = true;
  const Outcome run = RunProgram(whole);
  if (run.exited && run.status == kCannotDropPrivileges) {
    chmod(At("locked").c_str(), 0755);
    GTEST_SKIP() << "cannot run the program without root's power here: no user namespace, and "
                    "neither setuid nor exec as an unprivileged uid worked";
  }
  EXPECT_TRUE(Printed(
      run, PathHeader(Win()) + DrawnTree(base_, Drawing().WithFiles().Cut({At("locked")}))));

  Invocation target{{"/F", Win("locked")}, base_};
  target.unprivileged = true;
  EXPECT_TRUE(Printed(RunProgram(target), PathHeader(Win("locked")) + kNoSubfolders));
  chmod(At("locked").c_str(), 0755);
}

// Readable but not searchable: the names and their types can be read, nothing behind them.
TEST_F(FolderFaultTest, FolderThatCanBeReadButNotEnteredListsEveryNameInEveryMode) {
  Folders({"shut", "shut/inner"});
  Files({"shut/f"});
  MakeLink("f", At("shut/to-file"));
  MakeLink("inner", At("shut/to-folder"));
  MakeLink("gone", At("shut/dangling"));
  ASSERT_EQ(chmod(base_.c_str(), 0755), 0);
  ASSERT_EQ(chmod(At("shut").c_str(), 0644), 0);
  Names files;
  for (const Entry& entry : Listing(At("shut"))) {
    if (entry.name != "inner") files.push_back(entry.name);
  }
  for (const Names& switches : {Names{}, Names{"/F"}, Names{"/F", "/T"}}) {
    Invocation run{switches, base_};
    run.args.push_back(Win("shut"));
    run.unprivileged = true;
    const Outcome listed = RunProgram(run);
    if (listed.exited && listed.status == kCannotDropPrivileges) {
      chmod(At("shut").c_str(), 0755);
      GTEST_SKIP() << "cannot run the program without root's power here";
    }
    std::string expected = PathHeader(Win("shut"));
    if (!switches.empty()) {
      const std::string stamp = switches.size() == 2 ? kUnknownTime : "";
      for (const std::string& name : files) expected += Lines({"│  " + stamp + name});
      expected += Lines({"│  "});
    }
    EXPECT_TRUE(Printed(listed, expected + Lines({"└─inner"}))) << switches.size() << " switches";
  }
  chmod(At("shut").c_str(), 0755);
}

TEST_F(FolderFaultTest, FolderRemovedWhileTheWalkIsInsideItEndsItsBranchOnly) {
  MakeFolder(At("t"));
  for (const char* name : {"p", "q", "r"}) {
    MakeFolder(At(std::string("t/") + name));
    MakeFolder(At(std::string("t/") + name + "/child"));
  }
  // The first folder the walk enters gets a subtree of some 100 KB of lines, far more than the pipe
  // and the page read ahead can hold, so the walk is deep inside it when it is removed.
  const std::string doomed = SubfolderNames(At("t")).front();
  char name[16];
  for (int i = 0; i < 3000; ++i) {
    snprintf(name, sizeof name, "/s%04d", i);
    MakeFolder(At("t/" + doomed + name));
    MakeFolder(At("t/" + doomed + name + "/c"));
  }
  const Names expected = SplitAtLineEnds(PathHeader(Win("t")) + DrawnTree(At("t")));
  const std::string doomed_line = "├─" + doomed;
  const auto doomed_at = std::find(expected.begin(), expected.end(), doomed_line);
  ASSERT_NE(doomed_at, expected.end());
  // The doomed folder's own lines end where its next sibling's line begins.
  const auto after = std::find_if(doomed_at + 1, expected.end(),
                                  [](const std::string& line) { return line.rfind("│", 0) != 0; });

  // Reading stops at the doomed folder's line; the walk, a page or two further on, waits on the
  // full pipe while the folder is removed.
  Invocation paused{{Win("t")}, base_};
  paused.pause_line = doomed_line;
  paused.at_pause = [&] { RemoveTree(At("t/" + doomed)); };
  const Outcome run = RunProgram(paused);
  ASSERT_TRUE(EndedCleanly(run));
  const Names got = SplitAtLineEnds(run.out);
  // Everything up to the doomed folder, and everything after its branch, comes out whole.
  const std::size_t head = static_cast<std::size_t>(doomed_at - expected.begin()) + 1;
  const std::size_t tail = static_cast<std::size_t>(expected.end() - after);
  ASSERT_GE(got.size(), head + tail);
  EXPECT_TRUE(std::equal(expected.begin(), doomed_at + 1, got.begin()));
  EXPECT_TRUE(std::equal(after, expected.end(), got.end() - static_cast<std::ptrdiff_t>(tail)));
  // Inside the branch, lines already on their way stand; the rest is cut short, and nothing else
  // appears.
  // A listing cut short ends its level early, so the last subfolder shown there may be drawn as
  // the last one; compared apart from the kind of connector, every line is one of the tree's.
  auto drawn_apart_from_connectors = [](Names lines) {
    for (std::string& line : lines) {
      for (const auto& [last, any] : {std::pair{"└─", "├─"}, std::pair{"    ", "│  "}}) {
        for (std::size_t at = 0; (at = line.find(last, at)) != std::string::npos;) {
          line.replace(at, std::strlen(last), any);
        }
      }
    }
    return lines;
  };
  const Names branch = drawn_apart_from_connectors(Names(doomed_at + 1, after));
  const Names shown =
      drawn_apart_from_connectors(Names(got.begin() + static_cast<std::ptrdiff_t>(head),
                                        got.end() - static_cast<std::ptrdiff_t>(tail)));
  EXPECT_LT(shown.size(), branch.size());
  EXPECT_TRUE(IsSubsequence(shown, branch)) << "the branch printed lines that are not in the tree";
}

// ---------------------------------------------------------------------------------------------
// Folder links that lead round in a circle.

class LinkCycleTest : public FolderTest {};

TEST_F(LinkCycleTest, CyclesOfOneAndOfSeveralLinksAreEachWalkedOnce) {
  Folders({"a", "b", "c", "d"});
  Files({"a/fa", "d/fd"});
  // Three links that lead round from a to b to c and back to a.
  MakeLink("../b", At("a/to-b"));
  MakeLink("../c", At("b/to-c"));
  MakeLink("../a", At("c/to-a"));
  // Two links back to their own folder, which unchecked would double the output at every level,
  // and one up to the folder above.
  MakeLink(".", At("d/self-1"));
  MakeLink(".", At("d/self-2"));
  MakeLink("..", At("d/up"));
  const std::set<std::string> back = {At("a/to-b/to-c/to-a"), At("b/to-c/to-a/to-b"),
                                      At("c/to-a/to-b/to-c"), At("d/self-1"),
                                      At("d/self-2"),         At("d/up")};
  EXPECT_TRUE(
      Printed(Foldgraf({Win()}), PathHeader(Win()) + DrawnTree(base_, Drawing().Cut(back))));
  EXPECT_TRUE(
      Printed(Foldgraf({"/F", "/A", Win()}),
              PathHeader(Win()) + DrawnTree(base_, Drawing().Ascii().WithFiles().Cut(back))));
}

// ---------------------------------------------------------------------------------------------
// Paths, names and arguments at and past their limits.

class LimitTest : public FolderTest {};

TEST_F(LimitTest, ChainDeeperThanThePathLimitStopsWhereTheSearchPatternNoLongerFits) {
  // 520 levels of seven-byte names: the path passes 4,096 bytes some way down.
  const std::string name = "chain-7";
  constexpr int kLevels = 520;
  int folder = OpenFolder(base_);
  for (int level = 0; level < kLevels && folder >= 0; ++level) {
    const int child = MakeFolderAt(folder, name);
    close(folder);
    folder = child;
  }
  ASSERT_GE(folder, 0);
  close(folder);

  // A folder is walked while its path, "\*" and a NUL fit in 4,096 bytes. The first folder past
  // that still has its line.
  std::string expected = PathHeader(Win());
  std::size_t path_length = Win().size();
  for (int level = 0; level < kLevels; ++level) {
    expected += std::string(4 * level, ' ') + "└─" + name + kCrLf;
    path_length += 1 + name.size();
    if (path_length + 3 > 4096) break;
  }
  ASSERT_GT(path_length + 3, 4096u) << "the chain does not reach the limit";
  EXPECT_TRUE(Printed(Foldgraf({Win()}), expected));
}

// A chain far deeper than the descriptors the program may hold: the oldest folders give theirs
// back, and the whole tree is drawn.
TEST_F(LimitTest, ChainDeeperThanTheDescriptorLimitIsWalkedWhole) {
  std::string path = At("c");
  MakeFolder(path);
  for (int level = 0; level < 100; ++level) {
    path += "/d";
    MakeFolder(path);
    MakeFolder(path + "/e");
    MakeFile(path + "/f");
  }
  Invocation limited{{"/F", Win("c")}, base_};
  limited.wrapper = {"sh", "-c", "ulimit -n 32 && exec \"$0\" \"$@\""};
  EXPECT_TRUE(Printed(RunProgram(limited),
                      PathHeader(Win("c")) + DrawnTree(At("c"), Drawing().WithFiles())));
}

TEST_F(LimitTest, NamesOfTwoHundredFiftyFiveBytesAreWrittenWhole) {
  std::string high, plain(255, 'n');
  for (int i = 0; i < 255; ++i) high.push_back(static_cast<char>(0x80 + i % 0x7F));
  MakeFolder(At(high));
  MakeFile(At(high + "/" + plain));
  MakeFolder(At(high + "/" + high));
  MakeFile(At(high.substr(0, 254) + "f"));
  MakeFile(At(plain));
  ASSERT_EQ(high.size(), 255u);
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win()}),
                      PathHeader(Win()) + DrawnTree(base_, Drawing().WithFiles())));
  EXPECT_TRUE(Printed(Foldgraf({"/F", high}),
                      PathHeader(Win(high)) + DrawnTree(At(high), Drawing().WithFiles())));
}

TEST_F(LimitTest, ArgumentsOfFiveThousandBytesAreEchoedWhole) {
  const std::string long_switch = "/X" + std::string(4998, 's');
  const std::string long_path(5000, '\xE9');
  EXPECT_TRUE(Printed(Foldgraf({long_switch}), Lines({"無効なスイッチです - " + long_switch})));
  EXPECT_TRUE(
      Printed(Foldgraf({"a", long_path}), Lines({"パラメータの数が多すぎます - " + long_path})));
  // As the one path, its absolute form does not fit: it is shown as typed.
  EXPECT_TRUE(Printed(Foldgraf({"/F", long_path}),
                      NoVolumeHeader(long_path) + InvalidPath(long_path) + kNoSubfolders));
}

TEST_F(LimitTest, EmptyArgumentAmongSwitchesIsAnInvalidPath) {
  EXPECT_TRUE(
      Printed(Foldgraf({"/F", "", "/A"}), NoVolumeHeader("") + InvalidPath("") + kNoSubfolders));
  EXPECT_TRUE(Printed(Foldgraf({"", ""}), Lines({"パラメータの数が多すぎます - "})));
}

TEST_F(LimitTest, EveryByteFrom0x80To0xFFPassesThroughArguments) {
  std::string bytes;
  for (int c = 0x80; c <= 0xFF; ++c) bytes.push_back(static_cast<char>(c));
  // A folder of that name is found and listed; a missing one is named in the invalid-path line.
  MakeFolder(At(bytes));
  MakeFolder(At(bytes + "/" + bytes));
  EXPECT_TRUE(Printed(Foldgraf({bytes}), PathHeader(Win(bytes)) + Lines({"└─" + bytes})));
  EXPECT_TRUE(Printed(Foldgraf({"missing" + bytes}),
                      PathHeader(Win("missing" + bytes)) +
                          InvalidPath(Win("missing" + bytes).substr(3)) + kNoSubfolders));
  EXPECT_TRUE(Printed(Foldgraf({"/" + bytes}), Lines({"無効なスイッチです - /" + bytes})));
}

}  // namespace
}  // namespace foldgraf_e2e
