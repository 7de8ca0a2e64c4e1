#include "tree/file_block.h"

#include <gtest/gtest.h>

#include "fake_fixture.h"
#include "support/file_time.h"
#include "tree/filters.h"
#include "tree/walk_folder.h"

namespace {

// 2021-01-05 07:03:09.5 UTC.
FILETIME const kJanuaryFifth = Ticks(13'254'303'789ULL * 10'000'000 + 5'000'000);

class FileBlockTest : public FakeFileSystemTest {
 protected:
  // C:\w holds f1, f2 and a; a holds x and a1; a1 holds nothing.
  void AddExampleTree() {
    fake.AddFolder("C:\\w", {Folder("."), Folder(".."), File("f1", kJanuaryFifth),
                             File("f2", kJanuaryFifth), Folder("a")});
    fake.AddFolder("C:\\w\\a", {Folder("."), Folder(".."), File("x", kJanuaryFifth), Folder("a1")});
    fake.AddFolder("C:\\w\\a\\a1", {Folder("."), Folder("..")});
  }

  DisplayOptions const files{true, false, false};
  DisplayOptions const filesAndTimes{true, false, true};
};

TEST_F(FileBlockTest, ListsFilesBeforeSubfoldersWithSpacerLines) {
  AddExampleTree();
  EXPECT_EQ(Walk("C:\\w", files),
            Lines({"│  f1", "│  f2", "│  ", "└─a", "    │  x", "    │  ", "    └─a1"}));
}

TEST_F(FileBlockTest, TimeStampsStandBetweenSegmentAndNameInUtc) {
  AddExampleTree();
  EXPECT_EQ(Walk("C:\\w", filesAndTimes),
            Lines({"│  2021/01/05 07:03:09    f1", "│  2021/01/05 07:03:09    f2", "│  ", "└─a",
                   "    │  2021/01/05 07:03:09    x", "    │  ", "    └─a1"}));
}

TEST_F(FileBlockTest, TimesWithoutFilesChangeNothing) {
  AddExampleTree();
  DisplayOptions const timesOnly{false, false, true};
  EXPECT_EQ(Walk("C:\\w", timesOnly), Lines({"└─a", "    └─a1"}));
}

TEST_F(FileBlockTest, SpacerKeepsTrailingSpacesWhenFolderHasNoSubfolders) {
  fake.AddFolder("C:\\w", {File("only"), Folder(".")});
  EXPECT_EQ(Walk("C:\\w", files), "    only\r\n    \r\n");
  DisplayOptions const ascii{true, true, false};
  EXPECT_EQ(Walk("C:\\w", ascii), "    only\r\n    \r\n");
}

TEST_F(FileBlockTest, FolderWithSubfoldersButNoFilesHasNoSpacerLine) {
  fake.AddFolder("C:\\w", {Folder("a"), Folder("b")});
  fake.AddFolder("C:\\w\\a", {File("in-a")});
  DisplayOptions const ascii{true, true, false};
  EXPECT_EQ(Walk("C:\\w", ascii), Lines({"+---a", "|       in-a", "|       ", "\\---b"}));
}

TEST_F(FileBlockTest, FoldersNeverAppearAsFileLines) {
  fake.AddFolder("C:\\w", {Folder(".hidden-folder"), File(".hidden-file"), Folder(".."),
                           File("..."), Folder("."), File("plain")});
  EXPECT_EQ(Walk("C:\\w", files),
            Lines({"│  .hidden-file", "│  ...", "│  plain", "│  ", "└─.hidden-folder"}));
}

TEST_F(FileBlockTest, TimeThatCannotBeShownKeepsTheColumn) {
  fake.AddFolder("C:\\w", {File("ancient", Ticks(1ULL << 63)),
                           File("newest", Ticks((1ULL << 63) - 1)), File("first", Ticks(0))});
  EXPECT_EQ(Walk("C:\\w", filesAndTimes), Lines({"    ????"
                                                 "/??"
                                                 "/?? ??:??:??    ancient",
                                                 "    30828/09/14 02:48:05    newest",
                                                 "    1601/01/01 00:00:00    first", "    "}));
}

TEST_F(FileBlockTest, ListingThatCannotBeOpenedIsToldApartFromOneWithoutFiles) {
  fake.AddFolder("C:\\w", {Folder("."), Folder("sub")});
  fake.AddFolder("C:\\locked", {File("f")});
  fake.MakeUnreadable("C:\\locked");
  WIN32_FIND_DATAA entry;
  EXPECT_EQ(FirstPlainFile("C:\\w\\*", entry, false), kNoEntries);
  EXPECT_EQ(FirstPlainFile("C:\\locked\\*", entry, false), INVALID_HANDLE_VALUE);
  EXPECT_EQ(FirstPlainFile("C:\\missing\\*", entry, false), INVALID_HANDLE_VALUE);

  OutputCapture capture;
  EXPECT_TRUE(PrintFileBlock("C:\\w\\*", "", true, files));
  EXPECT_FALSE(PrintFileBlock("C:\\locked\\*", "", true, files));
  EXPECT_EQ(capture.Finish(), "");
}

}  // namespace
