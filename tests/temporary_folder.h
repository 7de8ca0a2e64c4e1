// A real folder under the system's temporary folder, removed with everything in it at the end.
#pragma once

#include <string>

#include "support/expected_listing.h"
#include "support/folders.h"

class TemporaryFolder {
 public:
  TemporaryFolder() : path_(MakeTempFolder("/tmp")) {}
  ~TemporaryFolder() { RemoveTree(path_); }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  // The POSIX path, and the same folder as the program names it.
  const std::string& path() const { return path_; }
  std::string windowsPath() const { return WinPath(path_); }

 private:
  std::string path_;
};
