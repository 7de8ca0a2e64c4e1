// Real folders for the tests: a fresh temporary folder per test, built from lists of folders and
// files, and removed with everything in it however deep.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "support/program.h"

namespace foldgraf_e2e {

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
  void SetUp() override;
  void TearDown() override;

  std::string At(const std::string& relative = "") const;
  std::string Win(const std::string& relative = "") const;
  void Folders(std::initializer_list<std::string> relatives) const;
  void Files(std::initializer_list<std::string> relatives) const;
  // Sets the last-write time of files; false when the file system refused it.
  bool Stamp(std::initializer_list<std::string> relatives, long long seconds) const;

  Outcome Foldgraf(Names args) const;
  Outcome FoldgrafIn(const std::string& cwd, Names args) const;

  std::string base_;
};

}  // namespace foldgraf_e2e
