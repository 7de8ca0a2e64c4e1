// The fixture of the tests over the in-memory file system: a fresh fake for every test, and after
// it the check that every listing opened was closed.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "fake_file_system.h"
#include "output_capture.h"
#include "tree/walk_folder.h"

class FakeFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { fake.Reset(); }
  void TearDown() override { EXPECT_EQ(fake.openListings, 0) << "a listing was left open"; }

  // What the walk below path prints.
  static std::string Walk(const std::string& path, DisplayOptions options = {}) {
    OutputCapture capture;
    WalkFolder(path, "", options);
    return capture.Finish();
  }

  FakeFileSystem& fake = FakeFileSystem::Get();
};
