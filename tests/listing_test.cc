// The listing engine's rules, through what it asks of a folder reader: the folder walk runs over
// the engine and the fake reader of fake_folder_reader.cc, which logs every open and read.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "fake_folder_reader.h"
#include "output_capture.h"
#include "platform/platform.h"
#include "tree/walk_folder.h"

using namespace platform;

namespace {

class ListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    disk.Reset();
    // A path that names nothing ends what earlier tests left on the engine's stack.
    WIN32_FIND_DATAA entry;
    EXPECT_EQ(FindFirstFileA("C:\\nothing\\*", &entry), INVALID_HANDLE_VALUE);
    disk.Reset();
  }

  static std::string Walk(const std::string& path, bool files = false) {
    OutputCapture capture;
    DisplayOptions options;
    options.listFiles = files;
    WalkFolder(path, "", options);
    return capture.Finish();
  }

  // The names listing delivers from now on, and closes it.
  static std::vector<std::string> Rest(HANDLE listing) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    while (FindNextFileA(listing, &entry)) names.push_back(entry.cFileName);
    FindClose(listing);
    return names;
  }

  static HANDLE Open(const std::string& pattern, WIN32_FIND_DATAA& entry,
                     bool foldersOnly = false) {
    return FindFirstFileExA(pattern.c_str(), FindExInfoBasic, &entry,
                            foldersOnly ? FindExSearchLimitToDirectories : FindExSearchNameMatch,
                            nullptr, 0);
  }

  FakeDisk& disk = FakeDisk::Get();
};

// A name of separators only, under a folder whose parent holds a folder of the same name: it leads
// to its own folder, never to the one a path split at its separators would reach.
TEST_F(ListingTest, NameOfSeparatorsLeadsToItsOwnFolder) {
  disk.Add("C:/t", {"p/", "\\/"});
  disk.Add("C:/t/p", {"\\/"});
  disk.Add("C:/t/p/\\", {"p_child/"});
  disk.Add("C:/t/\\", {"T_child/"});
  WIN32_FIND_DATAA entry;
  HANDLE const t = Open("C:\\t\\*", entry, true);
  ASSERT_STREQ(entry.cFileName, "p");
  HANDLE const p = Open("C:\\t\\p\\*", entry, true);
  ASSERT_STREQ(entry.cFileName, "\\");
  HANDLE const inner = Open("C:\\t\\p\\\\\\*", entry, true);
  EXPECT_STREQ(entry.cFileName, "p_child");
  for (HANDLE listing : {inner, p, t}) FindClose(listing);
}

// Listed three times under /F (its probe, its files, its subfolders), each folder is opened once,
// inside its parent, and read once; the walk is done with a branch once its parent moves on.
TEST_F(ListingTest, FolderIsOpenedInsideItsParentAndReadOncePerVisit) {
  disk.recordsPerChunk = 10;
  disk.Add("C:/t", {"f", "a/", "b/"});
  disk.Add("C:/t/a", {"a1/", "g"});
  disk.Add("C:/t/a/a1", {});
  disk.Add("C:/t/b", {});
  EXPECT_EQ(Walk("C:\\t", true),
            Lines({"│  f", "│  ", "├─a", "│  │  g", "│  │  ", "│  └─a1", "└─b"}));
  EXPECT_EQ(disk.log,
            (std::vector<std::string>{"open typed C:/t/", "read t", "open a", "read a", "open a1",
                                      "read a1", "close a1", "close a", "open b", "read b"}));
}

// A folder is read from the folder the engine opened, however its name changes meanwhile; given
// back and opened again by its path, another folder found there counts as one that vanished.
TEST_F(ListingTest, FolderSwappedWhileListedShowsOnlyItsOwnEntries) {
  disk.Add("C:/t", {"A/", "B/"});
  disk.Add("C:/t/A", {"a1", "a2", "a3", "a4", "a5", "s/"});
  disk.Add("C:/t/A/s", {"x/"});
  disk.Add("C:/t/A/s/x", {"y/"});
  disk.Add("C:/t/A/s/x/y", {"f"});
  disk.Add("C:/t/B", {"b1", "b2", "b3", "b4", "b5", "b6"});
  WIN32_FIND_DATAA entry;
  HANDLE const t = Open("C:\\t\\*", entry, true);
  ASSERT_STREQ(entry.cFileName, "A");
  HANDLE const a = Open("C:\\t\\A\\*", entry);
  ASSERT_STREQ(entry.cFileName, "a1");
  disk.Swap("C:/t", "A", "B");
  EXPECT_EQ(Rest(a), (std::vector<std::string>{"a2", "a3", "a4", "a5", "s"}));

  disk.Swap("C:/t", "A", "B");
  HANDLE const again = Open("C:\\t\\A\\*", entry);
  ASSERT_STREQ(entry.cFileName, "a1");
  // Opening s, x and y inside each other with no descriptor to spare gives back the oldest
  // folders' descriptors: t's, A's, s's.
  disk.descriptorsLeft = 0;
  for (std::string const path : {"C:\\t\\A\\s", "C:\\t\\A\\s\\x", "C:\\t\\A\\s\\x\\y"}) {
    HANDLE const inner = Open(path + "\\*", entry);
    ASSERT_NE(inner, INVALID_HANDLE_VALUE) << path;
    FindClose(inner);
  }
  EXPECT_EQ(Logged("release A"), 1u);
  // Another folder found at A's path: A counts as vanished, and its listing ends.
  disk.Swap("C:/t", "A", "B");
  EXPECT_EQ(Rest(again), std::vector<std::string>{});
  FindClose(t);
}

// Many folders listed at once, entries removed and added behind their listings: each goes on just
// after the last record it read, so nothing that was there throughout is lost or repeated.
TEST_F(ListingTest, EntriesChangedBehindOpenListingsAreNeitherLostNorRepeated) {
  std::vector<std::string> names;
  for (char c = 'a'; c <= 'p'; ++c) names.push_back(std::string(1, c));
  std::vector<HANDLE> open;
  std::map<HANDLE, std::vector<std::string>> delivered;
  WIN32_FIND_DATAA entry;
  for (int folder = 0; folder < 12; ++folder) {
    std::string const path = "C:/t/d" + std::to_string(folder);
    disk.Add(path, names);
    HANDLE const listing = Open(path + "/*", entry);
    delivered[listing].push_back(entry.cFileName);
    for (int taken = 0; taken < 4 && FindNextFileA(listing, &entry); ++taken)
      delivered[listing].push_back(entry.cFileName);
    disk.Remove(path, "b");
    disk.Remove(path, "c");
    disk.Add(path, {"new"});
    open.push_back(listing);
  }
  for (HANDLE listing : open) {
    for (std::string const& name : Rest(listing)) delivered[listing].push_back(name);
    std::vector<std::string> expected = names;
    expected.push_back("new");
    EXPECT_EQ(delivered[listing], expected);
  }
}

// With a few descriptors, and a limit that can be raised a little, a tree deeper than both is
// walked whole: the oldest folders give theirs back and are opened again when the walk returns.
TEST_F(ListingTest, TreeDeeperThanTheDescriptorsIsWalkedWhole) {
  std::string path = "C:/t";
  for (int level = 0; level < 12; ++level) {
    disk.Add(path, {"d/", "e/"});
    path += "/d";
  }
  std::string const whole = Walk("C:\\t", true);
  EXPECT_EQ(SplitAtLineEnds(whole).size(), 24u);
  disk.log.clear();
  disk.descriptorsLeft = 3;
  disk.raisable = 2;
  EXPECT_EQ(Walk("C:\\t", true), whole);
  EXPECT_EQ(disk.raisable, 0);
  EXPECT_GT(Logged("reopen"), 0u);
}

// Nested folders whose subfolders' records together pass the engine's bound, each entered halfway
// through them: the outermost give theirs up for the inner ones, and read on when the walk returns,
// just after the last record they looked at.
TEST_F(ListingTest, NestedLargeFoldersKeepTheirRecordsWithinTheBound) {
  disk.recordsPerChunk = 100;
  std::vector<std::string> half[2];
  for (int i = 0; i < 2000; ++i)
    half[i % 2].push_back(std::to_string(i) + std::string(200, 's') + "/");
  std::string path = "C:/t";
  for (int level = 0; level < 6; ++level) {
    disk.Add(path, half[0]);
    disk.Add(path, {"n" + std::to_string(level) + "/"});
    disk.Add(path, half[1]);
    path += "/n" + std::to_string(level);
  }
  EXPECT_EQ(SplitAtLineEnds(Walk("C:\\t")).size(), 6u * 2001u);
  EXPECT_GT(Logged("resume t after"), 0u);
  EXPECT_EQ(Logged("resume n4 after"), 0u);
}

}  // namespace
