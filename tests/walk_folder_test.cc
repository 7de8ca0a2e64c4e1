#include "tree/walk_folder.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include "fake_fixture.h"
#include "tree/filters.h"

namespace {

using WalkFolderTest = FakeFileSystemTest;

// C:\w holds a and b; a holds a1.
void AddSmallTree(FakeFileSystem& fake) {
  fake.AddFolder("C:\\w", {Folder("."), Folder(".."), Folder("a"), Folder("b")});
  fake.AddFolder("C:\\w\\a", {Folder("."), Folder(".."), Folder("a1")});
  fake.AddFolder("C:\\w\\a\\a1", {Folder("."), Folder("..")});
  fake.AddFolder("C:\\w\\b", {Folder("."), Folder("..")});
}

TEST_F(WalkFolderTest, DrawsTeeBeforeEarlierSiblingsAndEndBeforeTheLast) {
  AddSmallTree(fake);
  EXPECT_EQ(Walk("C:\\w"), Lines({"├─a", "│  └─a1", "└─b"}));
}

TEST_F(WalkFolderTest, DrawsTheSameTreeInAsciiGlyphs) {
  AddSmallTree(fake);
  DisplayOptions options;
  options.asciiGlyphs = true;
  EXPECT_EQ(Walk("C:\\w", options), Lines({"+---a", "|   \\---a1", "\\---b"}));
}

TEST_F(WalkFolderTest, LastSubfolderCarriesBlankSegmentsAllTheWayDown) {
  fake.AddFolder("C:\\w", {Folder("a"), Folder("b")});
  fake.AddFolder("C:\\w\\a", {Folder("a1")});
  fake.AddFolder("C:\\w\\b", {Folder("b1"), Folder("b2")});
  fake.AddFolder("C:\\w\\b\\b1", {Folder("deep")});
  EXPECT_EQ(Walk("C:\\w"),
            Lines({"├─a", "│  └─a1", "└─b", "    ├─b1", "    │  └─deep", "    └─b2"}));
}

TEST_F(WalkFolderTest, SkipsDotEntriesAnywhereAndKeepsListingOrder) {
  fake.AddFolder("C:\\w", {File("z.txt"), Folder("zeta"), Folder(".."), Folder("Alpha"),
                           Folder("."), Folder(".hidden")});
  EXPECT_EQ(Walk("C:\\w"), Lines({"├─zeta", "├─Alpha", "└─.hidden"}));
}

TEST_F(WalkFolderTest, FolderWithoutSubfoldersPrintsNothing) {
  fake.AddFolder("C:\\w", {Folder("."), Folder(".."), File("f")});
  EXPECT_EQ(Walk("C:\\w"), "");
}

TEST_F(WalkFolderTest, OnlySubfolderAsFirstEntryOfARootCountsAsSubfolder) {
  // A root's listing has no "." entry, so its first entry can be its only subfolder.
  fake.AddFolder("C:\\", {Folder("only"), File("file")});
  fake.AddFolder("C:\\\\only", {File("inner")});
  EXPECT_TRUE(HasSubfolders("C:\\"));
  DisplayOptions options;
  options.listFiles = true;
  EXPECT_EQ(Walk("C:\\", options),
            Lines({"│  file", "│  ", "└─only", "        inner", "        "}));
}

TEST_F(WalkFolderTest, RootTargetBuildsDoubledBackslashesThatStillList) {
  fake.AddFolder("C:\\", {Folder("a")});
  fake.AddFolder("C:\\a", {Folder("b")});
  EXPECT_EQ(Walk("C:\\"), Lines({"└─a", "    └─b"}));
  EXPECT_EQ(fake.patterns.back(), "C:\\\\a\\b\\*");
}

TEST_F(WalkFolderTest, UnreadableFolderShowsItsLineAndNothingBelowThenSiblingsGoOn) {
  fake.AddFolder("C:\\w", {Folder("locked"), Folder("open")});
  fake.AddFolder("C:\\w\\locked", {Folder("hidden-child"), File("secret")});
  fake.MakeUnreadable("C:\\w\\locked");
  fake.AddFolder("C:\\w\\open", {Folder("child")});
  DisplayOptions options;
  options.listFiles = true;
  EXPECT_EQ(Walk("C:\\w", options), Lines({"├─locked", "└─open", "    └─child"}));
}

TEST_F(WalkFolderTest, FolderThatVanishesAfterItsLineShowsNothingBelowIt) {
  fake.AddFolder("C:\\w", {Folder("going"), Folder("staying")});
  fake.AddFolder("C:\\w\\going", {Folder("child"), File("f")});
  fake.VanishAfter("C:\\w\\going", 0);
  EXPECT_EQ(Walk("C:\\w"), Lines({"├─going", "└─staying"}));
}

TEST_F(WalkFolderTest, FolderThatVanishesBeforeItsFileBlockShowsNothingBelowIt) {
  fake.AddFolder("C:\\w", {Folder("going")});
  fake.AddFolder("C:\\w\\going", {Folder("child"), File("f")});
  fake.VanishAfter("C:\\w\\going", 1);
  DisplayOptions options;
  options.listFiles = true;
  EXPECT_EQ(Walk("C:\\w", options), Lines({"└─going"}));
}

TEST_F(WalkFolderTest, FolderWhosePatternWouldNotFitShowsItsLineAndNothingBelow) {
  // Below this target a child name of four bytes still leaves room for "\*" and the NUL; five do
  // not.
  std::string const target = "C:\\" + std::string(MAX_PATH - 11, 'p');
  fake.AddFolder(target, {Folder("four"), Folder("fiver")});
  fake.AddFolder(target + "\\four", {File("seen")});
  fake.AddFolder(target + "\\fiver", {File("unseen"), Folder("unseen-folder")});
  DisplayOptions options;
  options.listFiles = true;
  EXPECT_EQ(Walk(target, options), Lines({"├─four", "│      seen", "│      ", "└─fiver"}));
  for (std::string const& pattern : fake.patterns) EXPECT_LT(pattern.size(), MAX_PATH);
}

TEST_F(WalkFolderTest, LinkBackToAnAncestorShowsItsLineAndNothingBelow) {
  fake.AddFolder("C:\\w", {Folder("a"), File("top")});
  fake.AddFolder("C:\\w\\a", {Folder("up"), Folder("self"), Folder("next"), File("x")});
  fake.AddLink("C:\\w\\a\\up", "C:\\w");
  fake.AddLink("C:\\w\\a\\self", "C:\\w\\a");
  fake.AddFolder("C:\\w\\a\\next", {File("n")});
  DisplayOptions options;
  options.listFiles = true;
  EXPECT_EQ(Walk("C:\\w", options),
            Lines({"│  top", "│  ", "└─a", "    │  x", "    │  ", "    ├─up", "    ├─self",
                   "    └─next", "            n", "            "}));
}

TEST_F(WalkFolderTest, LinkToAFolderElsewhereIsWalkedLikeAnyFolder) {
  fake.AddFolder("C:\\w", {Folder("a"), Folder("b")});
  fake.AddFolder("C:\\w\\a", {Folder("to-b")});
  fake.AddLink("C:\\w\\a\\to-b", "C:\\w\\b");
  fake.AddFolder("C:\\w\\b", {Folder("b1")});
  EXPECT_EQ(Walk("C:\\w"), Lines({"├─a", "│  └─to-b", "│      └─b1", "└─b", "    └─b1"}));
}

TEST_F(WalkFolderTest, StopsWalkingOnceOutputHasFailed) {
  AddSmallTree(fake);
  OutputCapture capture;
  std::cout.setstate(std::ios::badbit);
  WalkFolder("C:\\w", "", {});
  std::cout.clear();
  EXPECT_EQ(capture.Finish(), "");
  EXPECT_TRUE(fake.patterns.empty());
}

// Output that fails on its first line: the file block and the level it was drawn in ask the folder
// for no more entries, which a slow file system would make the walk wait for.
TEST_F(WalkFolderTest, StopsAskingForEntriesOnceAWriteHasFailed) {
  fake.AddFolder("C:\\w",
                 {File("f1"), File("f2"), File("f3"), Folder("a"), Folder("b"), Folder("c")});
  struct Refusing : std::streambuf {
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
  } refusing;
  std::streambuf* const saved = std::cout.rdbuf(&refusing);
  DisplayOptions options;
  options.listFiles = true;
  WalkFolder("C:\\w", "", options);
  std::cout.rdbuf(saved);
  std::cout.clear();
  // The probe's four, then the file block's first.
  EXPECT_EQ(fake.nextCalls, 3);
}

// The Windows program's stack, set at its link, scaled down to the depth that paths allow here: if
// it holds this walk, the whole stack holds the about 16,000 levels that Windows paths allow, the
// walk's frame being alike on both. The default stack of 2 MiB, scaled the same way, would not.
TEST_F(WalkFolderTest, WindowsStackScaledToTheDepthHereHoldsTheDeepestWalk) {
  constexpr std::size_t kWindowsLevels = 16000;
  constexpr std::size_t kLevels = (MAX_PATH - 8) / 2;
  std::string path = "C:\\w";
  std::string expected;
  for (std::size_t level = 0; level < kLevels; ++level) {
    fake.AddFolder(path, {Folder("d")});
    expected += std::string(4 * level, ' ') + "└─d\r\n";
    path += "\\d";
  }
  fake.AddFolder(path, {});
  static std::string walked;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, FOLDGRAF_WINDOWS_STACK / kWindowsLevels * kLevels);
  pthread_t walker;
  ASSERT_EQ(pthread_create(
                &walker, &attributes,
                [](void*) -> void* {
                  walked = Walk("C:\\w");
                  return nullptr;
                },
                nullptr),
            0);
  pthread_join(walker, nullptr);
  pthread_attr_destroy(&attributes);
  EXPECT_EQ(walked, expected);
}

}  // namespace
