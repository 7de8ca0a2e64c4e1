// Real folders for the tests: a fresh temporary folder per test, built from lists of folders and
// files, and removed with everything in it however deep.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "support/expected_listing.h"
#include "support/program.h"

// A new folder below parent, by its real path (no link in it), so that paths printed from it match.
std::string MakeTempFolder(const std::string& parent);

// Removes a folder and everything below it, however deep; links are removed, not followed.
void RemoveTree(const std::string& path);

void MakeFolder(const std::string& path);
void MakeFile(const std::string& path);
void MakeLink(const std::string& target, const std::string& path);

// The folder open for the ...At operations below, or -1.
int OpenFolder(const std::string& path);

// Creates a folder below an open folder and returns the new folder open, so that chains deeper
// than any path can be built.
int MakeFolderAt(int parent, const std::string& name);
void MakeFileAt(int parent, const std::string& name);

// Sets the last-write time; false when the file system did not keep exactly that instant.
bool SetMtime(const std::string& path, long long seconds, long nanoseconds = 0);

// A fresh folder under /tmp for each test, removed afterwards. Paths are given relative to it, and
// the program runs with it as its current folder.
class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override { base_ = MakeTempFolder("/tmp"); }
  void TearDown() override { RemoveTree(base_); }

  std::string At(const std::string& relative = "") const {
    return relative.empty() ? base_ : base_ + "/" + relative;
  }
  std::string Win(const std::string& relative = "") const { return WinPath(At(relative)); }
  void Folders(std::initializer_list<std::string> relatives) const {
    for (const std::string& relative : relatives) MakeFolder(At(relative));
  }
  void Files(std::initializer_list<std::string> relatives) const {
    for (const std::string& relative : relatives) MakeFile(At(relative));
  }
  // Sets the last-write time of files; false when the file system refused it.
  bool Stamp(std::initializer_list<std::string> relatives, long long seconds) const {
    bool kept = true;
    for (const std::string& relative : relatives) kept = SetMtime(At(relative), seconds) && kept;
    return kept;
  }

  Outcome Foldgraf(Names args) const { return RunProgram({std::move(args), base_}); }
  Outcome FoldgrafIn(const std::string& cwd, Names args) const {
    return RunProgram({std::move(args), cwd});
  }

  std::string base_;
};
