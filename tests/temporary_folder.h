// A real folder under the system's temporary folder, removed with everything in it at the end.
#pragma once

#include <string>
#include <string_view>

// From support/folders.h and support/expected_listing.h, declared alone so that nothing else of
// the end-to-end support comes with this header.
std::string MakeTempFolder(const std::string& parent);
void RemoveTree(const std::string& path);
std::string WinPath(std::string_view posix);

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
