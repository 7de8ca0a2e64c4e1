#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <vector>

#include "fake_file_system.h"
#include "output_capture.h"

namespace {

CommandLine Scan(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "foldgraf");
  return ScanArguments(static_cast<int>(arguments.size()), arguments.data());
}

std::string Output(std::vector<const char*> arguments) {
  OutputCapture capture;
  RunCommandLine(Scan(std::move(arguments)));
  return capture.Finish();
}

bool SameOptions(const DisplayOptions& a, const DisplayOptions& b) {
  return a.listFiles == b.listFiles && a.asciiGlyphs == b.asciiGlyphs && a.showTimes == b.showTimes;
}

TEST(CommandLineTest, NoArgumentsListTheCurrentFolderWithEverySwitchOff) {
  CommandLine const scanned = Scan({});
  EXPECT_EQ(scanned.outcome, CommandLine::Outcome::kRunListing);
  EXPECT_EQ(scanned.target, nullptr);
  EXPECT_TRUE(SameOptions(scanned.options, DisplayOptions{}));
}

TEST(CommandLineTest, SwitchesTakeEitherCaseInAnyOrderAroundThePath) {
  CommandLine const before = Scan({"/f", "/A", "/t", "c:\\x"});
  CommandLine const after = Scan({"c:\\x", "/T", "/a", "/F"});
  DisplayOptions const all{true, true, true};
  EXPECT_TRUE(SameOptions(before.options, all));
  EXPECT_TRUE(SameOptions(after.options, all));
  EXPECT_STREQ(before.target, "c:\\x");
  EXPECT_STREQ(after.target, "c:\\x");
}

TEST(CommandLineTest, OnlyTheByteAfterTheSlashCountsAndRepeatsAreHarmless) {
  EXPECT_TRUE(SameOptions(Scan({"/ff", "/Tx"}).options, DisplayOptions{true, false, true}));
  EXPECT_TRUE(SameOptions(Scan({"/A", "/a", "/Abc"}).options, DisplayOptions{false, true, false}));
  EXPECT_EQ(Scan({"/?abc"}).outcome, CommandLine::Outcome::kShowUsage);
}

TEST(CommandLineTest, ArgumentStartingWithHyphenIsAPath) {
  CommandLine const scanned = Scan({"-F"});
  EXPECT_EQ(scanned.outcome, CommandLine::Outcome::kRunListing);
  EXPECT_STREQ(scanned.target, "-F");
}

TEST(CommandLineTest, FirstErrorEndsTheScan) {
  EXPECT_EQ(Output({"/X", "/?"}), "無効なスイッチです - /X\r\n");
  EXPECT_EQ(Output({"a", "b", "/Q"}), "パラメータの数が多すぎます - b\r\n");
  EXPECT_EQ(Output({"/F", "/Fine", "/-x", "a"}), "無効なスイッチです - /-x\r\n");
  EXPECT_EQ(Output({"/"}), "無効なスイッチです - /\r\n");
}

TEST(CommandLineTest, UsageRequestIgnoresEverythingAfterIt) {
  std::string const usage = ExpectedUsage();
  EXPECT_EQ(Output({"/?", "/X"}), usage);
  EXPECT_EQ(Output({"c:\\x", "/F", "/?", "too", "many"}), usage);
}

TEST(CommandLineTest, AcceptedCommandLineRunsTheListing) {
  FakeFileSystem& fake = FakeFileSystem::Get();
  fake.Reset();
  fake.AddFolder("C:\\work", {Folder("src")});
  fake.AddFolder("C:\\work\\src", {File("main.cc")});
  EXPECT_EQ(Output({"/f", "/a"}),
            Lines({"ボリューム シリアル番号は 1A2B:3C4D です", "フォルダ パスの一覧", "C:.",
                   "\\---src", "        main.cc", "        "}));
}

}  // namespace
