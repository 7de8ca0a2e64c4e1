// A real folder under the system's temporary folder, removed with everything in it at the end.
#pragma once

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

class TemporaryFolder {
 public:
  TemporaryFolder() {
    char name[] = "/tmp/foldgraf-test-XXXXXX";
    if (mkdtemp(name) != nullptr) path_ = name;
  }
  ~TemporaryFolder() {
    if (!path_.empty()) {
      nftw(path_.c_str(), Remove, 16, FTW_DEPTH | FTW_PHYS);
    }
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  // The POSIX path, and the same folder as the program names it.
  const std::string& path() const { return path_; }
  std::string windowsPath() const {
    std::string result = "C:";
    for (char c : path_) result.push_back(c == '/' ? '\\' : c);
    return result;
  }

 private:
  static int Remove(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
  }
  std::string path_;
};
