#include "support/folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::string MakeTempFolder(const std::string& parent) {
  std::string pattern = parent + "/foldgraf-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp in " << parent << ": " << strerror(errno);
    return pattern;
  }
  char resolved[PATH_MAX];
  return realpath(pattern.c_str(), resolved) != nullptr ? std::string(resolved) : pattern;
}

namespace {

Names NamesIn(int folder) {
  Names names;
  if (DIR* listing = fdopendir(dup(folder))) {
    while (const dirent* entry = readdir(listing)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(listing);
  }
  return names;
}

// Folders a test made unreadable are opened up again on the way.
void RemoveContents(int folder) {
  for (const std::string& name : NamesIn(folder)) {
    struct stat st;
    if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) {
      unlinkat(folder, name.c_str(), 0);
      continue;
    }
    fchmodat(folder, name.c_str(), 0700, 0);
    const int child = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (child >= 0) {
      RemoveContents(child);
      close(child);
    }
    unlinkat(folder, name.c_str(), AT_REMOVEDIR);
  }
}

}  // namespace

void RemoveTree(const std::string& path) {
  const int folder = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return;
  RemoveContents(folder);
  close(folder);
  rmdir(path.c_str());
}

void MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0) ADD_FAILURE() << "mkdir " << path << ": " << strerror(errno);
}

void MakeFile(const std::string& path) { MakeFileAt(AT_FDCWD, path); }

void MakeLink(const std::string& target, const std::string& path) {
  if (symlink(target.c_str(), path.c_str()) != 0) {
    ADD_FAILURE() << "symlink " << path << ": " << strerror(errno);
  }
}

int OpenFolder(const std::string& path) {
  return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int MakeFolderAt(int parent, const std::string& name) {
  if (mkdirat(parent, name.c_str(), 0755) != 0) {
    ADD_FAILURE() << "mkdirat " << name.substr(0, 40) << "...: " << strerror(errno);
    return -1;
  }
  const int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) ADD_FAILURE() << "openat: " << strerror(errno);
  return fd;
}

void MakeFileAt(int parent, const std::string& name) {
  const int fd = openat(parent, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    ADD_FAILURE() << "create " << name.substr(0, 80) << ": " << strerror(errno);
    return;
  }
  close(fd);
}

bool SetMtime(const std::string& path, long long seconds, long nanoseconds) {
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(seconds);
  times[1].tv_nsec = nanoseconds;
  if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return false;
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && st.st_mtim.tv_sec == times[1].tv_sec &&
         st.st_mtim.tv_nsec == nanoseconds;
}
