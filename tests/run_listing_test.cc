#include "driver/run_listing.h"

#include <gtest/gtest.h>

#include "fake_fixture.h"

namespace {

std::string const kTitle = "フォルダ パスの一覧";
std::string const kNote = "サブフォルダは存在しません";

std::string PathGiven(const std::string& serial) {
  return "ボリューム シリアル番号は " + serial + " です";
}

class RunListingTest : public FakeFileSystemTest {
 protected:
  void SetUp() override {
    FakeFileSystemTest::SetUp();
    fake.currentFolder = "C:\\work";
    fake.AddFolder("C:\\", {Folder("work")});
    fake.AddFolder("C:\\work", {Folder("."), Folder(".."), Folder("src"), File("notes.txt")});
    fake.AddFolder("C:\\work\\src", {Folder("."), Folder(".."), File("main.cc")});
    fake.AddFolder("C:\\work\\empty", {Folder("."), Folder("..")});
  }

  static std::string Run(const char* target, DisplayOptions options = {}) {
    OutputCapture capture;
    RunListing(target, options);
    return capture.Finish();
  }
};

TEST_F(RunListingTest, CurrentFolderFormUsesColonAndDriveDot) {
  EXPECT_EQ(Run(nullptr),
            Lines({"ボリューム シリアル番号は 1A2B:3C4D です", kTitle, "C:.", "└─src"}));
}

TEST_F(RunListingTest, DotGivesHyphenAndTheFullPath) {
  EXPECT_EQ(Run("."), Lines({PathGiven("1A2B-3C4D"), kTitle, "C:\\work", "└─src"}));
}

TEST_F(RunListingTest, RelativeAndLowerCaseTargetsPrintTheirFullPathWithUpperCaseDrive) {
  EXPECT_EQ(Run("src"), Lines({PathGiven("1A2B-3C4D"), kTitle, "C:\\work\\src", kNote, ""}));
  EXPECT_EQ(Run("c:\\work"), Lines({PathGiven("1A2B-3C4D"), kTitle, "C:\\work", "└─src"}));
  EXPECT_EQ(Run("c:/work/./src/.."), Lines({PathGiven("1A2B-3C4D"), kTitle, "C:\\work", "└─src"}));
}

TEST_F(RunListingTest, TrailingBackslashStaysInTheRootLineAndTheTreeIsTheSame) {
  EXPECT_EQ(Run("c:\\work\\", {true, false, false}),
            Lines({PathGiven("1A2B-3C4D"), kTitle, "C:\\work\\", "│  notes.txt", "│  ", "└─src",
                   "        main.cc", "        "}));
  EXPECT_EQ(fake.patterns[1], "c:\\work\\\\*");
}

TEST_F(RunListingTest, RootFolderAsTarget) {
  EXPECT_EQ(Run("c:\\"), Lines({PathGiven("1A2B-3C4D"), kTitle, "C:\\", "└─work", "    └─src"}));
}

TEST_F(RunListingTest, DriveThatDoesNotExist) {
  EXPECT_EQ(Run("z:\\"),
            Lines({PathGiven("0000-0000"), kTitle, "Z:\\", "無効なパスです - \\", kNote, ""}));
}

TEST_F(RunListingTest, MissingFolderShowsThePartBehindTheRoot) {
  EXPECT_EQ(Run("missing"), Lines({PathGiven("1A2B-3C4D"), kTitle, "C:\\work\\missing",
                                   "無効なパスです - \\work\\missing", kNote, ""}));
  EXPECT_EQ(Run("c:\\missing"), Lines({PathGiven("1A2B-3C4D"), kTitle, "C:\\missing",
                                       "無効なパスです - \\missing", kNote, ""}));
}

TEST_F(RunListingTest, FileAsTargetIsAnInvalidPath) {
  EXPECT_EQ(Run("notes.txt", {true, false, true}),
            Lines({PathGiven("1A2B-3C4D"), kTitle, "C:\\work\\notes.txt",
                   "無効なパスです - \\work\\notes.txt", kNote, ""}));
}

TEST_F(RunListingTest, EmptyFolderGetsTheNoteAndAnEmptyLine) {
  EXPECT_EQ(Run("empty"), Lines({PathGiven("1A2B-3C4D"), kTitle, "C:\\work\\empty", kNote, ""}));
}

TEST_F(RunListingTest, UnreadableFolderPrintsNothingBelowItAndGetsTheNote) {
  fake.MakeUnreadable("C:\\work\\src");
  EXPECT_EQ(Run("src", {true, false, false}),
            Lines({PathGiven("1A2B-3C4D"), kTitle, "C:\\work\\src", kNote, ""}));
}

TEST_F(RunListingTest, NetworkPathPrintsTheFullPathUnchanged) {
  EXPECT_EQ(Run("\\\\server\\share\\dir"),
            Lines({PathGiven("0000-0000"), kTitle, "\\\\server\\share\\dir",
                   "無効なパスです - \\dir", kNote, ""}));
}

TEST_F(RunListingTest, UnreadableVolumeGivesSerialZero) {
  fake.volumeReadable = false;
  EXPECT_EQ(Run(nullptr),
            Lines({"ボリューム シリアル番号は 0000:0000 です", kTitle, "C:.", "└─src"}));
}

TEST_F(RunListingTest, TargetWithoutAnAbsoluteFormIsShownAsTyped) {
  EXPECT_EQ(Run(""), Lines({PathGiven("0000-0000"), kTitle, "", "無効なパスです - \\", kNote, ""}));
  std::string const overlong = "c:\\" + std::string(MAX_PATH, 'x');
  EXPECT_EQ(Run(overlong.c_str()), Lines({PathGiven("0000-0000"), kTitle, overlong,
                                          "無効なパスです - \\" + overlong, kNote, ""}));
}

TEST_F(RunListingTest, CurrentFolderThatCannotBeReadIsShownAsDot) {
  fake.currentFolder = "C:\\" + std::string(MAX_PATH, 'x');
  EXPECT_EQ(Run(nullptr), Lines({"ボリューム シリアル番号は 0000:0000 です", kTitle, ".",
                                 "無効なパスです - \\.", kNote, ""}));
}

}  // namespace
