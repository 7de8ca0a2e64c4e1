// Reading ahead, through what the walk prints and what it asks of the fake folder reader: once
// folders are slow to open, threads read the next ones ahead of the walk, and the walk prints
// exactly what it prints without them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "fake_folder_reader.h"
#include "output_capture.h"
#include "platform/platform.h"
#include "tree/walk_folder.h"

namespace {

class ReadAheadTest : public ::testing::Test {
 protected:
  void SetUp() override { disk.Reset(); }

  static std::string Walk(bool files = true) {
    OutputCapture capture;
    DisplayOptions options;
    options.listFiles = files;
    WalkFolder("C:\\t", "", options);
    return capture.Finish();
  }

  // Five levels of three folders, each named by its place ("d0-1-2"), with a file; the folders'
  // names, in the walk's order.
  std::vector<std::string> AddTree(const std::string& path = "C:/t", const std::string& name = "d",
                                   int levels = 5) {
    std::vector<std::string> walked;
    for (int at = 0; at < 3; ++at) {
      std::string const child = name + (name == "d" ? "" : "-") + std::to_string(at);
      disk.Add(path, {child + "/", "f"});
      walked.push_back(child);
      if (levels > 1) {
        std::vector<std::string> const below = AddTree(path + "/" + child, child, levels - 1);
        walked.insert(walked.end(), below.begin(), below.end());
      }
    }
    return walked;
  }

  FakeDisk& disk = FakeDisk::Get();
};

// Slow to open, the folders are opened by several readers at once, each once, finishing in another
// order than they started; the walk prints what it printed when they were quick.
TEST_F(ReadAheadTest, SlowFoldersAreReadAheadOnceEachAndDrawnAsWithout) {
  std::vector<std::string> const folders = AddTree();
  std::string const quick = Walk();
  disk.log.clear();
  disk.mostOpening = 0;
  disk.openDelay = std::chrono::milliseconds(2);
  EXPECT_EQ(Walk(), quick);
  EXPECT_GT(disk.mostOpening, 1);
  for (std::string const& folder : folders) {
    EXPECT_EQ(std::count(disk.log.begin(), disk.log.end(), "open " + folder), 1) << folder;
  }
}

// Folders that cannot be opened, and too few descriptors for the readers to hold what they would:
// the walk prints what it prints without reading ahead.
TEST_F(ReadAheadTest, FoldersThatCannotBeReadAheadAreDrawnAsWithout) {
  AddTree();
  disk.unreadable = {"d1-0", "d2-2-1"};
  std::string const quick = Walk();
  disk.openDelay = std::chrono::milliseconds(2);
  disk.descriptorsLeft = 12;
  EXPECT_EQ(Walk(), quick);
}

// The walk ends while the readers wait on folders that do not answer: closing its listing waits for
// none of them, and the process ends with them still waiting.
TEST_F(ReadAheadTest, WalkThatEndsLeavesTheReadersWaiting) {
  AddTree();
  disk.openDelay = std::chrono::milliseconds(2);
  Walk();
  AddTree("C:/u");
  {
    std::lock_guard<std::mutex> held(FakeLock());
    disk.blocked = true;
  }
  WIN32_FIND_DATAA entry;
  HANDLE const listing = platform::FindFirstFileExA("C:\\u\\*", FindExInfoBasic, &entry,
                                                    FindExSearchLimitToDirectories, nullptr, 0);
  platform::FindClose(listing);
  // The readers of u's subfolders are waiting, whenever they came to them.
  std::unique_lock<std::mutex> held(FakeLock());
  for (int tries = 0; disk.opening == 0 && tries < 500; ++tries) {
    held.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    held.lock();
  }
  EXPECT_GT(disk.opening, 0);
}

}  // namespace
