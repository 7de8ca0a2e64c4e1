// The built program run on real temporary folders; every run's whole output compared byte for byte.
//
// Folder order is whatever the directory delivers, so expected texts take their order from
// readdir on the same folders, never from sorting.

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <map>

#include "end_to_end_support.h"

namespace foldgraf_e2e {
namespace {

const std::string kUsage = ExpectedUsage();

std::string InvalidSwitch(const std::string& argument) {
  return Lines({"無効なスイッチです - " + argument});
}

std::string TooManyParameters(const std::string& argument) {
  return Lines({"パラメータの数が多すぎます - " + argument});
}

// The part of "C:\x\y" behind its root: "x\y".
std::string BehindRoot(const std::string& win_path) { return win_path.substr(3); }

// 2021-01-05 07:03:09 UTC.
constexpr long long kJan5 = 1609830189;
const std::string kJan5Stamp = "2021/01/05 07:03:09    ";

// ---------------------------------------------------------------------------------------------
// Small complete listings: a subfolder tree in both glyph sets, file blocks with and without
// time stamps, and a run without arguments.

class ExampleTest : public FolderTest {};

TEST_F(ExampleTest, SubfolderTreeInExtendedGlyphs) {
  Folders({"a", "a/a1", "b"});
  const std::string tree = SubfolderNames(At()) == Names{"a", "b"}
                               ? Lines({"├─a", "│  └─a1", "└─b"})
                               : Lines({"├─b", "└─a", "    └─a1"});
  EXPECT_TRUE(Printed(Foldgraf({Win()}), PathHeader(Win()) + tree));
}

TEST_F(ExampleTest, SubfolderTreeInAsciiGlyphs) {
  Folders({"a", "a/a1", "b"});
  const std::string tree = SubfolderNames(At()) == Names{"a", "b"}
                               ? Lines({"+---a", "|   \\---a1", "\\---b"})
                               : Lines({"+---b", "\\---a", "    \\---a1"});
  EXPECT_TRUE(Printed(Foldgraf({"/A", Win()}), PathHeader(Win()) + tree));
}

TEST_F(ExampleTest, FileBlocksUnderF) {
  Folders({"a", "a/a1"});
  Files({"f1", "f2", "a/x"});
  const Names files = FileNames(At());
  ASSERT_EQ(files.size(), 2u);
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win()}), PathHeader(Win()) + Lines({
                                                                       "│  " + files[0],
                                                                       "│  " + files[1],
                                                                       "│  ",
                                                                       "└─a",
                                                                       "    │  x",
                                                                       "    │  ",
                                                                       "    └─a1",
                                                                   })));
}

TEST_F(ExampleTest, FileBlocksWithTimeStampsUnderFT) {
  Folders({"a", "a/a1"});
  Files({"f1", "f2", "a/x"});
  if (!Stamp({"f1", "f2", "a/x"}, kJan5)) GTEST_SKIP() << "file system refused the time";
  const Names files = FileNames(At());
  ASSERT_EQ(files.size(), 2u);
  EXPECT_TRUE(Printed(Foldgraf({"/F", "/T", Win()}),
                      PathHeader(Win()) + Lines({
                                              "│  2021/01/05 07:03:09    " + files[0],
                                              "│  2021/01/05 07:03:09    " + files[1],
                                              "│  ",
                                              "└─a",
                                              "    │  2021/01/05 07:03:09    x",
                                              "    │  ",
                                              "    └─a1",
                                          })));
}

TEST_F(ExampleTest, CompleteRunWithoutArguments) {
  Folders({"src"});
  EXPECT_TRUE(Printed(Foldgraf({}), CurrentFolderHeader() + Lines({"└─src"})));
}

// ---------------------------------------------------------------------------------------------
// The command line.

class EndToEndCommandLineTest : public FolderTest {
 protected:
  // A small tree with files in several folders, each written on 5 January 2021; false when the
  // file system refused that time.
  bool MakeMixedTree() {
    Folders({"a", "a/a1", "b"});
    Files({"top", "a/in-a", "a/a1/in-a1"});
    return Stamp({"top", "a/in-a", "a/a1/in-a1"}, kJan5);
  }
};

TEST_F(EndToEndCommandLineTest, QuestionMarkPrintsOnlyTheUsageText) {
  EXPECT_TRUE(Printed(Foldgraf({"/?"}), kUsage));
  EXPECT_TRUE(Printed(Foldgraf({"/?abc"}), kUsage));
  EXPECT_TRUE(Printed(Foldgraf({"/F", "x", "/?"}), kUsage));
}

TEST_F(EndToEndCommandLineTest, InvalidSwitchEndsTheScanBeforeALaterUsageRequest) {
  EXPECT_TRUE(Printed(Foldgraf({"/X", "/?"}), InvalidSwitch("/X")));
}

TEST_F(EndToEndCommandLineTest, UsageRequestEndsTheScanBeforeALaterInvalidSwitch) {
  EXPECT_TRUE(Printed(Foldgraf({"/?", "/X"}), kUsage));
}

TEST_F(EndToEndCommandLineTest, SecondPathEndsTheScanBeforeALaterSwitch) {
  EXPECT_TRUE(Printed(Foldgraf({"a", "b", "/Q"}), TooManyParameters("b")));
}

TEST_F(EndToEndCommandLineTest, ArgumentsRightOfTheFirstErrorAreNeverExamined) {
  EXPECT_TRUE(Printed(Foldgraf({"/X", "a", "b"}), InvalidSwitch("/X")));
  EXPECT_TRUE(Printed(Foldgraf({"a", "/X", "b"}), InvalidSwitch("/X")));
  EXPECT_TRUE(Printed(Foldgraf({"a", "b", "/?"}), TooManyParameters("b")));
  EXPECT_TRUE(Printed(Foldgraf({"a", "b", "c"}), TooManyParameters("b")));
  EXPECT_TRUE(Printed(Foldgraf({"/?", "a", "b"}), kUsage));
}

TEST_F(EndToEndCommandLineTest, LoneSlashIsAnInvalidSwitch) {
  EXPECT_TRUE(Printed(Foldgraf({"/"}), InvalidSwitch("/")));
}

TEST_F(EndToEndCommandLineTest, RejectedArgumentIsEchoedByteForByte) {
  for (const std::string& bad : Names{"/Xyz", "/x", "//", "/-", "/ F", "/\xff\xfe", "/日本"}) {
    // Wine passes on only what code page 932 holds.
    if (UnderWine() && bad == "/\xff\xfe") continue;
    EXPECT_TRUE(Printed(Foldgraf({bad}), InvalidSwitch(bad))) << "argument " << Visible(bad);
  }
  for (const std::string& surplus : Names{"b c", "", "\xff", "日本語", "-F"}) {
    if (UnderWine() && surplus == "\xff") continue;
    EXPECT_TRUE(Printed(Foldgraf({"a", surplus}), TooManyParameters(surplus)))
        << "second path " << Visible(surplus);
  }
}

// A Windows program is handed one command line and splits it itself. Through a launcher, exact
// command lines reach foldgraf.exe, bytes that no shell or Wine start-up would pass on unchanged.
TEST_F(EndToEndCommandLineTest, WindowsCommandLineIsSplitByTheStartUpRules) {
  if (!UnderWine()) GTEST_SKIP() << "on POSIX the arguments arrive split";
  const std::string program = WinPath(WindowsProgram("foldgraf.exe"));
  auto start = [&](const std::string& command_tail) {
    std::string hex;
    for (unsigned char byte : PlatformText(command_tail)) {
      char digits[3];
      snprintf(digits, sizeof digits, "%02X", byte);
      hex += digits;
    }
    return RunCommand(Command("start_with_command_line.exe"), Invocation({program, hex}, base_));
  };
  // Two quotes in a row inside a quoted part give a quote and end that part.
  EXPECT_TRUE(Printed(start("\"a\"\"b c\""), TooManyParameters("c")));
  EXPECT_TRUE(Printed(start("\"/X\"\"y\""), InvalidSwitch("/X\"y")));
  // 表 ends in the byte 5C, which is not a backslash before the closing quote.
  EXPECT_TRUE(Printed(start("a \"表\""), TooManyParameters("表")));
  EXPECT_TRUE(Printed(start("a \"表 表\" /?"), TooManyParameters("表 表")));
  // Backslashes before a quote: 2n give n, 2n+1 give n and a literal quote.
  EXPECT_TRUE(Printed(start("a b\\\\\"c d\""), TooManyParameters("b\\c d")));
  EXPECT_TRUE(Printed(start("a b\\\"c d"), TooManyParameters("b\"c")));
  EXPECT_TRUE(Printed(start("a *.*"), TooManyParameters("*.*")));
}

TEST_F(EndToEndCommandLineTest, SwitchesInAnyOrderAndCaseGiveTheSameListing) {
  if (!MakeMixedTree()) GTEST_SKIP() << "file system refused the time";
  const std::string expected =
      PathHeader(Win()) + DrawnTree(At(), Drawing().Ascii().WithFiles().WithStamps(kJan5Stamp));
  EXPECT_TRUE(Printed(Foldgraf({"/f", "/A", "/t", Win()}), expected));
  EXPECT_TRUE(Printed(Foldgraf({Win(), "/T", "/a", "/F"}), expected));
  EXPECT_TRUE(Printed(Foldgraf({"/F", "/f", Win(), "/A", "/a", "/T", "/t"}), expected));
}

TEST_F(EndToEndCommandLineTest, OnlyTheSecondByteOfASwitchCounts) {
  if (!MakeMixedTree()) GTEST_SKIP() << "file system refused the time";
  EXPECT_TRUE(Printed(
      Foldgraf({"/ff", "/Tx", "/Axyz", Win()}),
      PathHeader(Win()) + DrawnTree(At(), Drawing().Ascii().WithFiles().WithStamps(kJan5Stamp))));
  EXPECT_TRUE(Printed(Foldgraf({"/Fa", Win()}),
                      PathHeader(Win()) + DrawnTree(At(), Drawing().WithFiles())));
}

TEST_F(EndToEndCommandLineTest, TimesWithoutFilesChangeNothing) {
  if (!MakeMixedTree()) GTEST_SKIP() << "file system refused the time";
  const std::string expected = PathHeader(Win()) + DrawnTree(At());
  EXPECT_TRUE(Printed(Foldgraf({Win()}), expected));
  EXPECT_TRUE(Printed(Foldgraf({"/T", Win()}), expected));
}

TEST_F(EndToEndCommandLineTest, ArgumentStartingWithHyphenIsAPath) {
  Folders({"-F", "-F/sub"});
  EXPECT_TRUE(Printed(Foldgraf({"-F"}), PathHeader(Win("-F")) + Lines({"└─sub"})));
  EXPECT_TRUE(Printed(Foldgraf({"-x"}),
                      PathHeader(Win("-x")) + InvalidPath(BehindRoot(Win("-x"))) + kNoSubfolders));
}

// A POSIX user types absolute paths with a leading slash; on Windows that is always a switch.
TEST_F(EndToEndCommandLineTest, ExistingAbsolutePosixPathIsAPathOnPosixOnly) {
  Folders({"sub"});
  Files({"f"});
  const std::string switches_only = CurrentFolderHeader() + Lines({"└─sub"});
  if (UnderWine()) {
    EXPECT_TRUE(Printed(Foldgraf({base_}), switches_only));  // /T, by its second byte
    return;
  }
  EXPECT_TRUE(
      Printed(Foldgraf({base_, "/F"}), PathHeader(Win()) + DrawnTree(At(), Drawing().WithFiles())));
  // Naming nothing, or too short to be anything but a switch, it is a switch.
  EXPECT_TRUE(Printed(Foldgraf({base_ + "-missing"}), switches_only));
  EXPECT_TRUE(Printed(Foldgraf({"/Tx"}), switches_only));
  EXPECT_TRUE(
      Printed(Foldgraf({"/F"}), CurrentFolderHeader() + DrawnTree(At(), Drawing().WithFiles())));
  // Leading slashes beyond the first name the root as well, and only "/" separates such a path.
  Folders({"a\\b", "a\\b/inner"});
  EXPECT_TRUE(Printed(Foldgraf({"/" + base_}), PathHeader(Win()) + DrawnTree(At())));
  EXPECT_TRUE(Printed(Foldgraf({"//" + base_ + "/a\\b/"}),
                      PathHeader(Win("a\\b") + "\\") + Lines({"└─inner"})));
}

// ---------------------------------------------------------------------------------------------
// Which folder is listed, and how the header names it.

class TargetTest : public FolderTest {};

TEST_F(TargetTest, NoPathListsTheCurrentFolderInCurrentFolderForm) {
  Folders({"src"});
  Files({"f"});
  EXPECT_TRUE(Printed(Foldgraf({"/F"}), CurrentFolderHeader() + Lines({"│  f", "│  ", "└─src"})));
}

TEST_F(TargetTest, NoPathInFolderWithoutSubfoldersEndsWithTheNote) {
  EXPECT_TRUE(Printed(Foldgraf({}), CurrentFolderHeader() + kNoSubfolders));
}

TEST_F(TargetTest, DotIsTheCurrentFolderByItsFullPath) {
  Folders({"src", "src/lib"});
  EXPECT_TRUE(Printed(Foldgraf({"."}), PathHeader(Win()) + Lines({"└─src", "    └─lib"})));
}

TEST_F(TargetTest, TrailingBackslashStaysInTheRootLineOnly) {
  Folders({"a", "a/a1", "b"});
  Files({"f", "a/g", "a/a1/h"});
  const std::string tree = DrawnTree(At(), Drawing().WithFiles());
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win() + "\\"}), PathHeader(Win() + "\\") + tree));
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win()}), PathHeader(Win()) + tree));
}

TEST_F(TargetTest, LowerCaseDriveLetterIsPrintedUpperCase) {
  Folders({"Mixed", "Mixed/Case"});
  EXPECT_TRUE(Printed(Foldgraf({Drive(false) + Win("Mixed").substr(2)}),
                      PathHeader(Win("Mixed")) + Lines({"└─Case"})));
}

TEST_F(TargetTest, ForwardSlashesArePrintedAsBackslashes) {
  Folders({"sub", "sub/inner"});
  EXPECT_TRUE(
      Printed(Foldgraf({Drive(false) + At("sub")}), PathHeader(Win("sub")) + Lines({"└─inner"})));
  EXPECT_TRUE(Printed(Foldgraf({Drive() + At("sub") + "/"}),
                      PathHeader(Win("sub") + "\\") + Lines({"└─inner"})));
}

TEST_F(TargetTest, RelativePathIsResolvedAgainstTheCurrentFolder) {
  Folders({"sub", "sub/inner"});
  const std::string expected = PathHeader(Win("sub")) + Lines({"└─inner"});
  EXPECT_TRUE(Printed(Foldgraf({"sub"}), expected));
  EXPECT_TRUE(Printed(Foldgraf({".\\sub"}), expected));
  EXPECT_TRUE(Printed(Foldgraf({"./sub/../sub"}), expected));
  EXPECT_TRUE(Printed(FoldgrafIn(At("sub/inner"), {".."}), expected));
}

// The current folder's names are names: a backslash inside one, or ".." between backslashes, is
// no step of a path, while what the user types is still split at both separators.
TEST_F(TargetTest, CurrentFolderIsTheRealOneWhateverItsNamesHold) {
  if (UnderWine()) GTEST_SKIP() << "a Windows name holds no backslash";
  Folders({"a", "a/b", "a/b/wrong", "a\\b", "a\\b/right", "x\\..", "x\\../inside"});
  EXPECT_TRUE(Printed(FoldgrafIn(At("a\\b"), {}), CurrentFolderHeader() + Lines({"└─right"})));
  EXPECT_TRUE(Printed(FoldgrafIn(At("a\\b"), {"."}), PathHeader(Win("a\\b")) + Lines({"└─right"})));
  EXPECT_TRUE(
      Printed(FoldgrafIn(At("a\\b"), {"..\\a\\b"}), PathHeader(Win("a/b")) + Lines({"└─wrong"})));
  EXPECT_TRUE(Printed(FoldgrafIn(At("x\\.."), {}), CurrentFolderHeader() + Lines({"└─inside"})));
}

TEST_F(TargetTest, DriveThatDoesNotExistIsAnInvalidPathWithZeroSerial) {
  // z: natively; Wine's z: is "/", so there another letter that names nothing.
  EXPECT_TRUE(Printed(Foldgraf({MissingDrive(false) + "\\"}),
                      NoVolumeHeader(MissingDrive() + "\\") + InvalidPath("") + kNoSubfolders));
  EXPECT_TRUE(Printed(Foldgraf({MissingDrive(false) + "\\some\\where"}),
                      NoVolumeHeader(MissingDrive() + "\\some\\where") +
                          InvalidPath("some\\where") + kNoSubfolders));
  EXPECT_TRUE(
      Printed(Foldgraf({"Q:/x"}), NoVolumeHeader("Q:\\x") + InvalidPath("x") + kNoSubfolders));
}

TEST_F(TargetTest, NetworkPathNamesNothing) {
  EXPECT_TRUE(Printed(Foldgraf({"\\\\server\\share\\x"}),
                      NoVolumeHeader("\\\\server\\share\\x") + InvalidPath("x") + kNoSubfolders));
  // A bare share has nothing behind its root, not even a separator: it is shown as typed.
  EXPECT_TRUE(Printed(
      Foldgraf({"\\\\server\\share"}),
      NoVolumeHeader("\\\\server\\share") + InvalidPath("\\\\server\\share") + kNoSubfolders));
  EXPECT_TRUE(Printed(Foldgraf({"\\\\server\\share\\"}),
                      NoVolumeHeader("\\\\server\\share\\") + InvalidPath("") + kNoSubfolders));
}

TEST_F(TargetTest, MissingFolderIsAnInvalidPath) {
  const std::string expected =
      PathHeader(Win("missing")) + InvalidPath(BehindRoot(Win("missing"))) + kNoSubfolders;
  EXPECT_TRUE(Printed(Foldgraf({"missing"}), expected));
  EXPECT_TRUE(Printed(Foldgraf({Win("missing")}), expected));
  EXPECT_TRUE(Printed(Foldgraf({Drive(false) + Win("missing").substr(2)}), expected));
}

TEST_F(TargetTest, FileIsAnInvalidPath) {
  Files({"plain.txt"});
  EXPECT_TRUE(Printed(
      Foldgraf({"/F", Win("plain.txt")}),
      PathHeader(Win("plain.txt")) + InvalidPath(BehindRoot(Win("plain.txt"))) + kNoSubfolders));
}

TEST_F(TargetTest, EmptyFolderGetsOnlyTheNote) {
  EXPECT_TRUE(Printed(Foldgraf({Win()}), PathHeader(Win()) + kNoSubfolders));
  EXPECT_TRUE(Printed(Foldgraf({"/F", "/T", Win()}), PathHeader(Win()) + kNoSubfolders));
}

TEST_F(TargetTest, FolderWithOnlyFilesGetsItsFileBlockAndTheNote) {
  Files({"one", "two"});
  const Names files = FileNames(At());
  ASSERT_EQ(files.size(), 2u);
  EXPECT_TRUE(Printed(
      Foldgraf({"/F", Win()}),
      PathHeader(Win()) + Lines({"    " + files[0], "    " + files[1], "    "}) + kNoSubfolders));
  EXPECT_TRUE(Printed(Foldgraf({Win()}), PathHeader(Win()) + kNoSubfolders));
}

TEST_F(TargetTest, EmptyArgumentIsAnInvalidPathShownAsTyped) {
  EXPECT_TRUE(Printed(Foldgraf({""}), NoVolumeHeader("") + InvalidPath("") + kNoSubfolders));
}

TEST_F(TargetTest, OverlongArgumentIsAnInvalidPathShownAsTyped) {
  const std::string overlong = Drive(false) + "\\" + std::string(5000, 'a');
  if (overlong.size() < UnderTest().max_path) {
    // Windows' limit is 32,767, more than a command line can carry: resolved like any path.
    const std::string full = Drive() + overlong.substr(2);
    EXPECT_TRUE(Printed(Foldgraf({overlong}),
                        PathHeader(full) + InvalidPath(BehindRoot(full)) + kNoSubfolders));
    return;
  }
  EXPECT_TRUE(Printed(Foldgraf({overlong}),
                      NoVolumeHeader(overlong) + InvalidPath(overlong) + kNoSubfolders));
}

// A relative path of folder names up to 200 bytes long, exactly `length` bytes in all.
std::string RelativePathOfLength(std::size_t length) {
  std::string path;
  while (path.size() < length) path += path.size() % 201 == 200 ? '\\' : 'x';
  path.back() = 'x';
  return path;
}

TEST_F(TargetTest, AbsoluteFormFillingTheWholePathBufferIsStillResolved) {
  if (UnderWine()) GTEST_SKIP() << "a Windows command line holds fewer than 32,767 characters";
  // MAX_PATH - 1 bytes and the NUL fill it.
  const std::size_t longest = UnderTest().max_path - 1;
  const std::string relative = RelativePathOfLength(longest - Win().size() - 1);
  const std::string full = Win() + "\\" + relative;
  ASSERT_EQ(full.size(), longest);
  EXPECT_TRUE(Printed(Foldgraf({relative}),
                      PathHeader(full) + InvalidPath(BehindRoot(full)) + kNoSubfolders));
}

// Its search pattern would not fit, so nothing can be said of its subfolders.
TEST_F(TargetTest, FolderTooDeepForItsSearchPatternGetsItsHeaderLinesOnly) {
  if (UnderWine()) GTEST_SKIP() << "a Windows command line holds fewer than 32,767 characters";
  const std::string full =
      Win() + "\\" + RelativePathOfLength(UnderTest().max_path - Win().size() - 2);
  int folder = OpenFolder(base_);
  for (std::size_t at = Win().size() + 1; folder >= 0 && at < full.size();) {
    const std::size_t end = std::min(full.find('\\', at), full.size());
    const int child = MakeFolderAt(folder, full.substr(at, end - at));
    close(folder);
    folder = child;
    at = end + 1;
  }
  ASSERT_GE(folder, 0);
  close(folder);
  EXPECT_TRUE(Printed(Foldgraf({full}), PathHeader(full)));
}

TEST_F(TargetTest, AbsoluteFormOneByteOverThePathBufferIsShownAsTyped) {
  if (UnderWine()) GTEST_SKIP() << "a Windows command line holds fewer than 32,767 characters";
  const std::size_t max_path = UnderTest().max_path;
  const std::string relative = RelativePathOfLength(max_path - Win().size() - 1);
  ASSERT_EQ((Win() + "\\" + relative).size(), max_path);
  EXPECT_TRUE(Printed(Foldgraf({relative}),
                      NoVolumeHeader(relative) + InvalidPath(relative) + kNoSubfolders));
}

TEST_F(TargetTest, DriveRootIsListedUnderRootLineCBackslash) {
  // Only the start: the whole machine is not walked. Closing the pipe ends the run.
  Invocation run_on_root{{Drive(false) + "\\"}, base_};
  run_on_root.close_after_lines = 4;
  const Outcome run = RunProgram(run_on_root);
  const Names roots = SubfolderNames("/");
  ASSERT_GE(roots.size(), 2u);
  EXPECT_TRUE(EndedCleanly(run));
  EXPECT_TRUE(
      SameBytes(PathHeader(Drive() + "\\") + Lines({"├─" + roots[0]}), FirstLines(run.out, 4)));
}

// ---------------------------------------------------------------------------------------------
// Connectors, segments and file blocks.

class TreeDrawingTest : public FolderTest {};

TEST_F(TreeDrawingTest, LastSubfolderGetsEndConnectorAndBlankSegmentsBelow) {
  Folders({"p", "p/x", "p/x/y", "q", "q/x", "q/x/y", "r", "r/x", "r/x/y"});
  const Names order = SubfolderNames(At());
  ASSERT_EQ(order.size(), 3u);
  EXPECT_TRUE(Printed(Foldgraf({Win()}), PathHeader(Win()) + Lines({
                                                                 "├─" + order[0],
                                                                 "│  └─x",
                                                                 "│      └─y",
                                                                 "├─" + order[1],
                                                                 "│  └─x",
                                                                 "│      └─y",
                                                                 "└─" + order[2],
                                                                 "    └─x",
                                                                 "        └─y",
                                                             })));
  EXPECT_TRUE(Printed(Foldgraf({"/A", Win()}), PathHeader(Win()) + Lines({
                                                                       "+---" + order[0],
                                                                       "|   \\---x",
                                                                       "|       \\---y",
                                                                       "+---" + order[1],
                                                                       "|   \\---x",
                                                                       "|       \\---y",
                                                                       "\\---" + order[2],
                                                                       "    \\---x",
                                                                       "        \\---y",
                                                                   })));
}

TEST_F(TreeDrawingTest, FilesOnlyFolderGetsBlankSegmentAndSpacerOfFourSpaces) {
  Folders({"only"});
  Files({"only/f1", "only/f2"});
  const Names files = FileNames(At("only"));
  const std::string expected = PathHeader(Win()) + Lines({
                                                       "└─only",
                                                       "        " + files[0],
                                                       "        " + files[1],
                                                       "        ",
                                                   });
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win()}), expected));
}

TEST_F(TreeDrawingTest, FileBlockOfFolderWithSubfoldersCarriesTheBarSegment) {
  Folders({"a", "a/s", "b"});
  Files({"a/f"});
  const std::string tree = SubfolderNames(At()) == Names{"a", "b"}
                               ? Lines({"├─a", "│  │  f", "│  │  ", "│  └─s", "└─b"})
                               : Lines({"├─b", "└─a", "    │  f", "    │  ", "    └─s"});
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win()}), PathHeader(Win()) + tree));
  const std::string ascii = SubfolderNames(At()) == Names{"a", "b"}
                                ? Lines({"+---a", "|   |   f", "|   |   ", "|   \\---s", "\\---b"})
                                : Lines({"+---b", "\\---a", "    |   f", "    |   ", "    \\---s"});
  EXPECT_TRUE(Printed(Foldgraf({"/F", "/A", Win()}), PathHeader(Win()) + ascii));
}

TEST_F(TreeDrawingTest, SubfoldersWithoutFilesHaveNoSpacerLine) {
  Folders({"a", "a/a1"});
  Files({"a/a1/f"});
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win()}), PathHeader(Win()) + Lines({
                                                                       "└─a",
                                                                       "    └─a1",
                                                                       "            f",
                                                                       "            ",
                                                                   })));
}

TEST_F(TreeDrawingTest, FoldersNeverAppearAsFileLines) {
  Folders({"d", "d/inner"});
  Files({"f"});
  MakeLink("d", At("link-to-d"));
  const Names order = SubfolderNames(At());
  ASSERT_EQ(std::set<std::string>(order.begin(), order.end()),
            (std::set<std::string>{"d", "link-to-d"}));
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win()}), PathHeader(Win()) + Lines({
                                                                       "│  f",
                                                                       "│  ",
                                                                       "├─" + order[0],
                                                                       "│  └─inner",
                                                                       "└─" + order[1],
                                                                       "    └─inner",
                                                                   })));
}

TEST_F(TreeDrawingTest, HiddenEntriesAreListed) {
  Folders({".hidden", ".hidden/.inner"});
  Files({".dotfile", ".hidden/.x"});
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win()}), PathHeader(Win()) + Lines({
                                                                       "│  .dotfile",
                                                                       "│  ",
                                                                       "└─.hidden",
                                                                       "    │  .x",
                                                                       "    │  ",
                                                                       "    └─.inner",
                                                                   })));
}

TEST_F(TreeDrawingTest, PipesSocketsAndDanglingLinksAreListedAsFiles) {
  Folders({"d"});
  Files({"f"});
  ASSERT_EQ(mkfifo(At("fifo").c_str(), 0644), 0);
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(At("sock").size(), sizeof address.sun_path);
  strcpy(address.sun_path, At("sock").c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  MakeLink("nowhere", At("dangling"));
  MakeLink("f", At("link-to-f"));

  std::string files;
  for (const std::string& name : FileNames(At())) files += Lines({"│  " + name});
  // Wine does not deliver a link that leads nowhere.
  EXPECT_EQ(FileNames(At()).size(), UnderWine() ? 4u : 5u);
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win()}), PathHeader(Win()) + files + Lines({"│  ", "└─d"})));
  EXPECT_TRUE(Printed(Foldgraf({Win()}), PathHeader(Win()) + Lines({"└─d"})));
  close(sock);
}

// ---------------------------------------------------------------------------------------------
// Time stamps.

class TimeStampTest : public FolderTest {};

// A file, the last-write time it is given, and the time stamp it is expected to show.
struct Case {
  std::string name;
  long long seconds;
  long nanoseconds;
  std::string stamp;
};

TEST_F(TimeStampTest, EveryFieldIsZeroPaddedUtcWithoutFractions) {
  const std::vector<Case> cases = {
      {"jan5", kJan5, 0, "2021/01/05 07:03:09    "},
      {"before-epoch", -1, 500000000, "1969/12/31 23:59:59    "},
      {"epoch-almost-1s", 0, 999999999, "1970/01/01 00:00:00    "},
      {"leap-day", 951782400, 0, "2000/02/29 00:00:00    "},
      {"past-32-bit", 2147483648LL, 0, "2038/01/19 03:14:08    "},
  };
  std::map<std::string, std::string> stamps;
  for (const Case& c : cases) {
    MakeFile(At(c.name));
    if (!SetMtime(At(c.name), c.seconds, c.nanoseconds)) {
      GTEST_SKIP() << "file system refused the time of " << c.name;
    }
    stamps[c.name] = c.stamp;
  }
  std::string expected = PathHeader(Win());
  for (const std::string& name : FileNames(At())) expected += Lines({"    " + stamps[name] + name});
  expected += Lines({"    "}) + kNoSubfolders;
  EXPECT_TRUE(Printed(Foldgraf({"/F", "/T", Win()}), expected));
  // Neither the time zone nor the locale changes what is shown.
  EXPECT_TRUE(Printed(
      RunProgram(
          {{"/F", "/T", Win()}, base_, {"TZ=JST-9", "LANG=ja_JP.UTF-8", "LC_ALL=ja_JP.UTF-8"}}),
      expected));
}

TEST_F(TimeStampTest, TimesOutsideTheFileTimeRangeShowAPlaceholderOfTheSameWidth) {
  // tmpfs keeps any 64-bit time, so the edges of the range can be set there.
  struct statfs fs;
  if (statfs("/dev/shm", &fs) != 0 || fs.f_type != 0x01021994 /* TMPFS_MAGIC */) {
    GTEST_SKIP() << "/dev/shm is not tmpfs";
  }
  const std::string folder = MakeTempFolder("/dev/shm");
  const std::vector<Case> cases = {
      // 1601-01-01 00:00:00, the first instant there is.
      {"first", -11644473600LL, 0, "1601/01/01 00:00:00    "},
      // One tick before it.
      {"before", -11644473601LL, 999999900, kUnknownTime},
      // 2^63 - 1 ticks, the last instant that can be shown.
      {"last", 910692730085LL, 477580700, "30828/09/14 02:48:05    "},
      // 2^63 ticks.
      {"beyond", 910692730085LL, 477580800, kUnknownTime},
  };
  std::map<std::string, std::string> stamps;
  bool kept = true;
  for (const Case& c : cases) {
    MakeFile(folder + "/" + c.name);
    kept = SetMtime(folder + "/" + c.name, c.seconds, c.nanoseconds) && kept;
    stamps[c.name] = c.stamp;
  }
  if (kept) {
    std::string expected = PathHeader(WinPath(folder));
    for (const std::string& name : FileNames(folder)) {
      expected += Lines({"    " + stamps[name] + name});
    }
    expected += Lines({"    "}) + kNoSubfolders;
    EXPECT_TRUE(Printed(Foldgraf({"/F", "/T", WinPath(folder)}), expected));
  }
  RemoveTree(folder);
  if (!kept) GTEST_SKIP() << "tmpfs refused a time at the edge of the range";
}

// ---------------------------------------------------------------------------------------------
// Folders that are hard to walk.

class HardFolderTest : public FolderTest {};

TEST_F(HardFolderTest, LinkBackToTheWalkedPathShowsItsLineAndNothingBelow) {
  Folders({"a", "b"});
  Files({"t", "a/x", "b/y"});
  MakeLink(".", At("self"));
  MakeLink("..", At("a/loop"));
  MakeLink(".", At("a/again"));
  // Leads sideways, not back: walked like any folder, its own links back included.
  MakeLink("../a", At("b/toa"));
  if (!Stamp({"t", "a/x", "b/y"}, kJan5)) GTEST_SKIP() << "file system refused the time";
  const Drawing drawing =
      Drawing()
          .WithFiles()
          .WithStamps(kJan5Stamp)
          .Cut({At("self"), At("a/loop"), At("a/again"), At("b/toa/loop"), At("b/toa/again")});
  EXPECT_TRUE(Printed(Foldgraf({"/F", "/T", Win()}), PathHeader(Win()) + DrawnTree(At(), drawing)));
  // Walked from a, the link up leads off the walked path and is listed. Below it, a is a plain
  // folder and walked once more; only links are cut: those to a, to the folder above, and a's own.
  EXPECT_TRUE(Printed(
      Foldgraf({Win("a")}),
      PathHeader(Win("a")) +
          DrawnTree(At("a"), Drawing().Cut({At("a/again"), At("a/loop/self"), At("a/loop/b/toa"),
                                            At("a/loop/a/again"), At("a/loop/a/loop")}))));
}

TEST_F(HardFolderTest, FiveHundredLevelsAreDrawnWhole) {
  constexpr int kLevels = 500;
  int folder = OpenFolder(base_);
  for (int level = 0; level < kLevels && folder >= 0; ++level) {
    const int child = MakeFolderAt(folder, "d");
    close(folder);
    folder = child;
  }
  ASSERT_GE(folder, 0);
  MakeFileAt(folder, "f");
  close(folder);

  // Every level's line stands; below it only while its path leaves room for a search pattern,
  // which on Windows ends long before the bottom.
  std::string expected = PathHeader(Win());
  std::size_t path_size = Win().size();
  bool bottom_reached = true;
  for (int level = 0; level < kLevels && bottom_reached; ++level) {
    expected += std::string(4 * level, ' ') + "└─d" + kCrLf;
    path_size += 2;
    bottom_reached = path_size + 3 <= UnderTest().max_path;
  }
  if (bottom_reached) {
    expected += std::string(4 * kLevels + 4, ' ') + "f" + kCrLf;
    expected += std::string(4 * kLevels + 4, ' ') + kCrLf;
  }
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win()}), expected));
}

// Names that read like paths, each beside the folders that such a path would lead to: a separator
// inside a name (a backslash on POSIX; under Wine a yen sign, which code page 932 shows as the
// backslash's byte), "..", a trailing dot. Each folder shows its own contents and nothing else,
// and the run ends at once.
TEST_F(HardFolderTest, NamesThatReadLikePathsLeadOnlyToTheirOwnFolders) {
  const std::string sep = UnderWine() ? "¥" : "\\";
  std::string climb = "..";
  for (int level = 0; level < 12; ++level) climb += sep + "..";
  climb += sep + "etc";
  // Each folder at the top and the one file in it; a holds b, which holds a file.
  const std::map<std::string, std::string> folders = {
      {"a", ""},     {"a" + sep + "b", "own"}, {climb, "mine"},        {"x", "in-x"},
      {"y", "in-y"}, {"x" + sep + "..", ""},   {"y" + sep + "..", ""}, {sep, "own"},
      {"t", "in-t"}, {"t.", "in-t."}};
  std::map<std::string, std::string> file_of;  // by the name as shown
  for (const auto& [folder, file] : folders) {
    MakeFolder(At(folder));
    if (!file.empty()) MakeFile(At(folder + "/" + file));
    std::string shown = folder;
    for (std::size_t at = 0; (at = shown.find(sep, at)) != std::string::npos; ++at)
      shown.replace(at, sep.size(), "\\");
    file_of[shown] = file;
  }
  Folders({"a/b"});
  Files({"a/b/f-ab"});
  const Names order = SubfolderNames(At());
  ASSERT_EQ(order.size(), folders.size());
  for (const bool files : {false, true}) {
    std::string expected = PathHeader(Win());
    for (std::size_t i = 0; i < order.size(); ++i) {
      const bool more = i + 1 < order.size();
      const std::string below = more ? "│  " : "    ";
      expected += Lines({(more ? "├─" : "└─") + order[i]});
      if (order[i] == "a") expected += Lines({below + "└─b"});
      const std::string file = order[i] == "a" ? "f-ab" : file_of.at(order[i]);
      const std::string indent = below + (order[i] == "a" ? "        " : "    ");
      if (files && !file.empty()) expected += Lines({indent + file, indent});
    }
    EXPECT_TRUE(Printed(Foldgraf(files ? Names{"/F", Win()} : Names{Win()}), expected))
        << (files ? "with /F" : "without /F");
  }
}

// A name of a separator alone, a level down, beside a folder of the same name above it: each leads
// to its own folder, however deep.
TEST_F(HardFolderTest, NameOfASeparatorAloneLeadsToItsOwnFolderAtAnyDepth) {
  if (UnderWine()) GTEST_SKIP() << "Windows names hold no backslash";
  Folders({"p", "p/\\", "p/\\/p_child", "\\", "\\/T_child"});
  EXPECT_TRUE(Printed(Foldgraf({Win()}), PathHeader(Win()) + DrawnTree(At())));
}

// Two folders swap names while the walk is inside the first of them: each folder's lines come from
// one folder alone, the first's whole.
TEST_F(HardFolderTest, FoldersSwappedWhileTheWalkIsInsideOneShowOnlyOneFolderEach) {
  Folders({"A", "B"});
  for (int i = 0; i < 3000; ++i) {
    MakeFile(At("A/a" + std::to_string(i)));
    MakeFile(At("B/b" + std::to_string(i)));
  }
  const Names order = SubfolderNames(At());
  const Names expected = SplitAtLineEnds(DrawnTree(At(), Drawing().WithFiles()));
  const std::string first_file = FileNames(At(order[0]))[100];
  const auto pause_at =
      std::find_if(expected.begin(), expected.end(), [&](const std::string& line) {
        return line.size() > first_file.size() &&
               line.compare(line.size() - first_file.size(), first_file.size(), first_file) == 0;
      });
  ASSERT_NE(pause_at, expected.end());
  Invocation paused{{"/F", Win()}, base_};
  paused.pause_line = PlatformText(*pause_at);
  paused.at_pause = [&] {
    ASSERT_EQ(rename(At("A").c_str(), At("T").c_str()), 0);
    ASSERT_EQ(rename(At("B").c_str(), At("A").c_str()), 0);
    ASSERT_EQ(rename(At("T").c_str(), At("B").c_str()), 0);
  };
  const Outcome run = RunProgram(paused);
  ASSERT_TRUE(EndedCleanly(run));
  // The file lines under each folder's line, by the first letter of their names.
  std::map<std::string, std::map<char, int>> letters;
  std::string folder;
  for (const std::string& line : SplitAtLineEnds(Utf8Text(run.out))) {
    if (line.find("─") != std::string::npos) {
      folder = line.substr(line.size() - 1);
    } else if (!folder.empty() && line.find_first_not_of(" │") != std::string::npos) {
      ++letters[folder][line[line.find_first_not_of(" │")]];
    }
  }
  const char own = order[0] == "A" ? 'a' : 'b';
  EXPECT_EQ(letters[order[0]], (std::map<char, int>{{own, 3000}}));
  // The second is opened after the swap: the folder now named so, or, where its identity is
  // checked against the listing's, none.
  EXPECT_LE(letters[order[1]].size(), 1u);
}

TEST_F(HardFolderTest, NamesAreWrittenByteForByte) {
  Folders({"with space", "with space/inner", "日本語フォルダ", "日本語フォルダ/子", " lead",
           "trail ", "trail /in"});
  Files({"ファイル.txt", "two  spaces.txt"});
  // Names that are not UTF-8 reach a Windows program only as replacement characters.
  if (!UnderWine()) {
    Folders({"\xff\xfe"});
    Files({"\xff\xfe/\x80\x81", "日本語フォルダ/子/\xe3\x81"});
  }
  EXPECT_TRUE(
      Printed(Foldgraf({"/F", Win()}), PathHeader(Win()) + DrawnTree(At(), Drawing().WithFiles())));
  EXPECT_TRUE(Printed(Foldgraf({"/F", "/A", Win()}),
                      PathHeader(Win()) + DrawnTree(At(), Drawing().Ascii().WithFiles())));
  // The same bytes work as a target.
  if (!UnderWine()) {
    EXPECT_TRUE(
        Printed(Foldgraf({"/F", "\xff\xfe"}),
                PathHeader(Win("\xff\xfe")) + Lines({"    \x80\x81", "    "}) + kNoSubfolders));
  }
  EXPECT_TRUE(
      Printed(Foldgraf({"日本語フォルダ"}), PathHeader(Win("日本語フォルダ")) + Lines({"└─子"})));
}

TEST_F(HardFolderTest, FolderPastTheSearchPatternLimitShowsItsLineOnly) {
  if (UnderWine()) GTEST_SKIP() << "Wine's Unix limit of 4,096 bytes ends the walk long before";
  // A folder is walked while its path, "\*" and a NUL fit in MAX_PATH bytes (4096 on POSIX, 260 on
  // Windows).
  const std::size_t longest_walked_path = UnderTest().max_path - 3;
  // A chain of folders, each a separator and a name of at most 255 bytes, leads to a folder whose
  // path has exactly that length, then beside it one whose path is a byte longer.
  const std::size_t chain_bytes = longest_walked_path - Win().size() - 201;
  const std::size_t steps = (chain_bytes + 255) / 256;
  int folder = OpenFolder(base_);
  std::string path = base_;
  std::size_t chained = 0;
  for (std::size_t step = 0; step < steps && folder >= 0; ++step) {
    const std::size_t size = (chain_bytes - chained) / (steps - step);
    chained += size;
    const std::string name(size - 1, static_cast<char>('a' + step % 26));
    const int child = MakeFolderAt(folder, name);
    MakeFileAt(child, "f");
    close(folder);
    folder = child;
    path += "/" + name;
  }
  ASSERT_GE(folder, 0);
  const std::string fits(200, 'P'), too_long(201, 'Q'), deeper(200, 'T');
  for (const std::string& name : {fits, too_long}) {
    const int last = MakeFolderAt(folder, name);
    MakeFileAt(last, "f");
    const int below = MakeFolderAt(last, deeper);
    MakeFileAt(below, "g");
    close(MakeFolderAt(below, "bottom"));
    close(below);
    close(last);
  }
  close(folder);
  ASSERT_EQ(WinPath(path + "/" + fits).size(), longest_walked_path);

  const Drawing drawing =
      Drawing().WithFiles().Cut({path + "/" + fits + "/" + deeper, path + "/" + too_long});
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win()}), PathHeader(Win()) + DrawnTree(At(), drawing)));
}

TEST_F(HardFolderTest, UnreadableFolderShowsItsLineAndNothingBelow) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  Folders({"locked", "locked/inner", "open"});
  Files({"locked/f", "top"});
  ASSERT_EQ(chmod(At("locked").c_str(), 0), 0);
  EXPECT_TRUE(
      Printed(Foldgraf({"/F", Win()}),
              PathHeader(Win()) + DrawnTree(At(), Drawing().WithFiles().Cut({At("locked")}))));
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win("locked")}), PathHeader(Win("locked")) + kNoSubfolders));
  chmod(At("locked").c_str(), 0755);
}

// ---------------------------------------------------------------------------------------------
// Names that hold control characters: shown as "?" on a terminal, byte for byte into a pipe.

// A name, the bytes a pipe gets for it (every LF leaves as CR LF, as all output does), and what a
// terminal shows instead.
struct ControlName {
  std::string name, piped, shown;
};
const ControlName kControlNames[] = {
    {"title\x1b]0;owned\x07", "title\x1b]0;owned\x07", "title?]0;owned?"},
    {"clear\x1b[2J", "clear\x1b[2J", "clear?[2J"},
    {"del\x7f", "del\x7f", "del?"},
    {"csi\xc2\x9b"
     "31m",
     "csi\xc2\x9b"
     "31m",
     "csi?31m"},  // the C1 control CSI in UTF-8
    {"tab\tx", "tab\tx", "tab?x"},
    {"line\nnext", "line\r\nnext", "line?next"},
    {"日本語§", "日本語§", "日本語§"},           // continuation bytes 80 to 9F, and C2 before A7
    {"bad\xff\x9b", "bad\xff\x9b", "bad\xff?"},  // a lone 9B: CSI to a terminal not in UTF-8 mode
};

class ControlNameTest : public FolderTest {
 protected:
  void SetUp() override {
    // Wine's console writes terminal sequences of its own, and Wine maps such names on its way.
    if (UnderWine()) GTEST_SKIP() << "names with control characters are a POSIX matter";
    FolderTest::SetUp();
  }

  Outcome Run(Names args, bool terminal) const {
    Invocation invocation{std::move(args), base_};
    if (terminal) invocation.output = Invocation::Output::kTerminal;
    return RunProgram(invocation);
  }

  // text with every name of the table in the form that the output gets.
  static std::string As(std::string text, bool terminal) {
    for (const ControlName& c : kControlNames) {
      const std::string& form = terminal ? c.shown : c.piped;
      for (std::size_t at = 0; (at = text.find(c.name, at)) != std::string::npos;
           at += form.size()) {
        text.replace(at, c.name.size(), form);
      }
    }
    return text;
  }
};

TEST_F(ControlNameTest, TreeAndFileLinesMaskControlCharactersOnATerminalOnly) {
  // Each name as a folder, which holds a file of the same name.
  for (const ControlName& c : kControlNames) {
    MakeFolder(At(c.name));
    MakeFile(At(c.name + "/" + c.name));
  }
  const std::string expected = PathHeader(Win()) + DrawnTree(At(), Drawing().WithFiles());
  for (const bool terminal : {false, true}) {
    EXPECT_TRUE(Printed(Run({"/F", Win()}, terminal), As(expected, terminal)))
        << (terminal ? "on a terminal" : "into a pipe");
  }
}

TEST_F(ControlNameTest, RootLineAndEchoedArgumentsMaskControlCharactersOnATerminalOnly) {
  const std::string& folder = kControlNames[0].name;
  const std::string missing = "gone" + kControlNames[1].name;
  const std::string overlong = "c:\\" + std::string(5000, 'a') + kControlNames[2].name;
  const std::string bad_switch = "/X" + kControlNames[4].name;
  const std::string& surplus = kControlNames[5].name;
  MakeFolder(At(folder));
  for (const bool terminal : {false, true}) {
    const char* const where = terminal ? "on a terminal" : "into a pipe";
    EXPECT_TRUE(
        Printed(Run({folder}, terminal), As(PathHeader(Win(folder)) + kNoSubfolders, terminal)))
        << where;
    EXPECT_TRUE(
        Printed(Run({missing}, terminal),
                As(PathHeader(Win(missing)) + InvalidPath(BehindRoot(Win(missing))) + kNoSubfolders,
                   terminal)))
        << where;
    EXPECT_TRUE(
        Printed(Run({overlong}, terminal),
                As(NoVolumeHeader(overlong) + InvalidPath(overlong) + kNoSubfolders, terminal)))
        << where;
    EXPECT_TRUE(Printed(Run({bad_switch}, terminal), As(InvalidSwitch(bad_switch), terminal)))
        << where;
    EXPECT_TRUE(Printed(Run({"a", surplus}, terminal), As(TooManyParameters(surplus), terminal)))
        << where;
  }
}

// ---------------------------------------------------------------------------------------------
// Windows: names the ANSI code page cannot show, and paths past the narrow interfaces' 260 bytes.
// Each name is shown as code page 932 shows it and its folder is still walked whole. Wine lists a
// folder's entries sorted, so the expected order is written out.

// What a terminal shows of Wine's console: the text without the cursor sequences Wine draws it
// with.
std::string ScreenText(const std::string& terminal) {
  std::string text;
  for (std::size_t at = 0; at < terminal.size(); ++at) {
    if (terminal[at] != '\x1b') {
      text.push_back(terminal[at]);
    } else if (at + 1 < terminal.size() && terminal[at + 1] == '[') {
      for (at += 2; at < terminal.size() && !(terminal[at] >= '@' && terminal[at] <= '~');) ++at;
    } else if (at + 1 < terminal.size() && terminal[at + 1] == ']') {
      while (at < terminal.size() && terminal[at] != '\x07') ++at;
    }
  }
  return text;
}

class WideNameTest : public FolderTest {
 protected:
  void SetUp() override {
    if (!UnderWine()) GTEST_SKIP() << "POSIX names are bytes; nothing is converted";
    FolderTest::SetUp();
  }
  // What a console shows of a run.
  std::string OnConsole(Names args) const {
    Invocation run{std::move(args), base_};
    run.output = Invocation::Output::kTerminal;
    return ScreenText(RunProgram(run).out);
  }
  // A chain of levels folders named name below relative, with a file f at the bottom; its path.
  std::string Chain(const std::string& relative, const std::string& name, int levels) const {
    int folder = open(At(relative).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string path = relative;
    for (int level = 0; level < levels && folder >= 0; ++level) {
      const int child = MakeFolderAt(folder, name);
      close(folder);
      folder = child;
      path += "/" + name;
    }
    EXPECT_GE(folder, 0);
    MakeFileAt(folder, "f");
    close(folder);
    return path;
  }
  // The lines of such a chain, drawn behind prefix with its file block.
  static std::string ChainLines(const std::string& prefix, const std::string& name, int levels) {
    std::string lines;
    for (int level = 0; level < levels; ++level) {
      lines += prefix + std::string(4 * level, ' ') + "└─" + name + kCrLf;
    }
    const std::string below = prefix + std::string(4 * levels, ' ') + "    ";
    return lines + below + "f" + kCrLf + below + kCrLf;
  }
};

TEST_F(WideNameTest, FoldersOutsideTheCodePageAreWalkedWholeUnderTheirShownNames) {
  // 중국 and 한국 both show as "??"; each keeps its own subtree, and the link in 한국 that leads
  // back to the target still shows its line only.
  Folders(
      {"Müller", "Müller/inner", "중국", "중국/beijing", "한국", "한국/seoul", "😀x", "😀x/deep"});
  Files({"café.txt", "Müller/inner/f.txt", "한국/seoul/g"});
  MakeLink("..", At("한국/up"));
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win()}), PathHeader(Win()) + Lines({
                                                                       "│  cafe.txt",
                                                                       "│  ",
                                                                       "├─Muller",
                                                                       "│  └─inner",
                                                                       "│          f.txt",
                                                                       "│          ",
                                                                       "├─??",
                                                                       "│  └─beijing",
                                                                       "├─??",
                                                                       "│  ├─seoul",
                                                                       "│  │      g",
                                                                       "│  │      ",
                                                                       "│  └─up",
                                                                       "└─??x",
                                                                       "    └─deep",
                                                                   })));
  // Typed, the name reaches its folder; the root line shows it as the code page does, without a
  // look-alike for what it lacks.
  const std::string shown = Win("M?ller");
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win("Müller")}),
                      PathHeader(shown) + Lines({"└─inner", "        f.txt", "        "})));
  EXPECT_TRUE(Printed(Foldgraf({"Müller\\inner"}), PathHeader(shown + "\\inner") + kNoSubfolders));
  EXPECT_TRUE(Printed(Foldgraf({"Müller\\missing"}),
                      PathHeader(shown + "\\missing") +
                          InvalidPath(BehindRoot(shown + "\\missing")) + kNoSubfolders));
}

// What the user typed is what is read: a character that code page 932 lacks arrives as "?", never
// as the letter or separator it resembles, which would smuggle a switch or a path step in.
TEST_F(WideNameTest, TypedCharactersOutsideTheCodePageBecomeNoOtherCharacter) {
  Folders({"a", "a/b", "a¥b", "a¥b/inner"});
  EXPECT_TRUE(Printed(Foldgraf({"/ä"}), InvalidSwitch("/?")));
  EXPECT_TRUE(Printed(Foldgraf({"/þ", "/F"}), InvalidSwitch("/?")));
  EXPECT_TRUE(Printed(Foldgraf({"a¥b"}), PathHeader(Win("a?b")) + Lines({"└─inner"})));
}

TEST_F(WideNameTest, PathsPastTwoHundredSixtyBytesAreWalkedAndTakenAsTargets) {
  // Nine levels of 50 bytes: the bottom lies past 400 bytes, below a name outside the code page.
  Folders({"Müller"});
  const std::string name(49, 'n');
  const std::string bottom = Chain("Müller", name, 9);
  ASSERT_GT(Win(bottom).size(), 400u);
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win()}),
                      PathHeader(Win()) + Lines({"└─Muller"}) + ChainLines("    ", name, 9)));
  // A target past 260 bytes; the root line shows it whole, without any "\\?\".
  const std::string level7 = "Müller/" + name + "/" + name + "/" + name + "/" + name + "/" + name +
                             "/" + name + "/" + name;
  const std::string shown = Win("M?ller" + level7.substr(7));
  ASSERT_GT(shown.size(), 260u);
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win(level7)}), PathHeader(shown) + ChainLines("", name, 2)));
}

// A console is handed every line as wide text, so it shows each name as it is, where a file or a
// pipe gets the code page 932 bytes the tests above compare. Wine draws a program's console on the
// pseudo-terminal it was started on, and draws a character outside the Basic Multilingual Plane as
// two U+FFFD, whatever the program wrote: there the emoji shows that a surrogate pair, not "??",
// reached the console.
TEST_F(WideNameTest, ConsoleShowsEveryNameAsItIs) {
  Folders({"Müller", "한국", "중국", "a¥b", "😀x"});
  Files({"Müller/café.txt"});
  const std::string screen = OnConsole({"/F", Win()});
  for (const std::string& line :
       Names{SerialLine('-', DriveCSerial()), kTitle, Win(), "─Müller", "─한국", "─중국", "─a¥b",
             "─\xEF\xBF\xBD\xEF\xBF\xBDx", "      café.txt"}) {
    EXPECT_NE(screen.find(line + kCrLf), std::string::npos) << line << " in\n" << screen;
  }
  EXPECT_NE(screen.find("├─"), std::string::npos) << screen;
  EXPECT_NE(screen.find("└─"), std::string::npos) << screen;
  // Typed names too: the root line and an echoed argument.
  EXPECT_NE(OnConsole({Win("Müller")}).find(Win("Müller") + kCrLf), std::string::npos);
  EXPECT_NE(OnConsole({"a", "한국"}).find("パラメータの数が多すぎます - 한국" + kCrLf),
            std::string::npos);
}

// A name of 101 bytes that Wine shows in 301 bytes of UTF-8: an x, then a hundred bytes that are
// not UTF-8, each a character of three bytes, drawn as U+FFFD; and its first characters as drawn.
const std::string kLongName = "x" + std::string(100, '\xff');
std::string LongNameShown(int replaced) {
  std::string shown = "x";
  for (int i = 0; i < replaced; ++i) shown += "\xEF\xBF\xBD";
  return shown;
}

// An entry holds a name in 260 bytes; a console gets it whole however long its UTF-8 form, and its
// folder is still walked.
TEST_F(WideNameTest, ConsoleShowsLongNamesWhole) {
  Folders({kLongName, kLongName + "/inner"});
  Files({kLongName + "/" + kLongName});
  const std::string screen = OnConsole({"/F", Win()});
  for (const std::string& line :
       Names{"└─" + LongNameShown(100), "    │  " + LongNameShown(100), "    └─inner"}) {
    EXPECT_NE(screen.find(line + kCrLf), std::string::npos) << line << " in\n" << screen;
  }
}

// The walk shows a level's next subfolder after the whole subtree of the one before, so in a
// chain whose every level holds a long name after the folder walked, each long name waits until
// the levels below are drawn. A console keeps 64 of them whole; the one that waited longest, of
// 65, shows cut at the entry's 259 bytes.
TEST_F(WideNameTest, ConsoleKeepsABoundedNumberOfLongNamesWhole) {
  std::string level;
  for (int i = 0; i < 65; ++i, level += "d/") Folders({level + "d", level + kLongName});
  const std::string screen = OnConsole({Win()});
  for (const std::string& line : Names{"└─" + LongNameShown(86), "│  └─" + LongNameShown(100)}) {
    EXPECT_NE(screen.find(kCrLf + line + kCrLf), std::string::npos) << line << " in\n" << screen;
  }
}

TEST_F(WideNameTest, ChainNearWinesPathLimitIsListedToTheBottom) {
  // 3,800 bytes below the target, as near Wine's Unix limit of 4,096 bytes as its own prefix
  // allows. Wine resolves every component of a path again for each listing it opens, so a chain of
  // one-letter names that long (1,900 levels) takes it many minutes; depth itself is covered by the
  // five hundred levels above and, for the stack, by the walk's own tests.
  constexpr int kLevels = 190;
  const std::string name(19, 'd');
  Chain("", name, kLevels);
  EXPECT_TRUE(Printed(Foldgraf({"/F", Win()}), PathHeader(Win()) + ChainLines("", name, kLevels)));
}

// ---------------------------------------------------------------------------------------------
// One folder of 20,000 files, made once for the tests that need a long output.

class LargeFolderTest : public ::testing::Test {
 protected:
  static constexpr int kFiles = 20000;

  static void SetUpTestSuite() {
    folder_ = new std::string(MakeTempFolder("/tmp"));
    const int fd = OpenFolder(*folder_);
    if (fd < 0) {
      ADD_FAILURE() << "cannot open " << *folder_ << ": " << strerror(errno);
      return;
    }
    char name[32];
    for (int i = 0; i < kFiles; ++i) {
      snprintf(name, sizeof name, "file-%05d.dat", i);
      MakeFileAt(fd, name);
    }
    close(fd);
  }
  static void TearDownTestSuite() {
    RemoveTree(*folder_);
    delete folder_;
    folder_ = nullptr;
  }

  static std::string* folder_;
};
std::string* LargeFolderTest::folder_ = nullptr;

TEST_F(LargeFolderTest, TwentyThousandFilesComeInDirectoryOrder) {
  const Names files = FileNames(*folder_);
  ASSERT_EQ(files.size(), static_cast<std::size_t>(kFiles));
  std::string expected = PathHeader(WinPath(*folder_));
  for (const std::string& name : files) expected += "    " + name + kCrLf;
  expected += Lines({"    "}) + kNoSubfolders;
  EXPECT_TRUE(Printed(RunProgram({{"/F", WinPath(*folder_)}}), expected));
}

TEST_F(LargeFolderTest, ClosedPipeEndsTheRunWithStatusZero) {
  // As `foldgraf /F big | head -1`: the reader leaves after the first line.
  Invocation pager{{"/F", WinPath(*folder_)}};
  pager.close_after_lines = 1;
  const Outcome run = RunProgram(pager);
  EXPECT_TRUE(EndedCleanly(run));
  EXPECT_TRUE(SameBytes(Lines({SerialLine('-', DriveCSerial())}), FirstLines(run.out, 1)));
}

}  // namespace
}  // namespace foldgraf_e2e
