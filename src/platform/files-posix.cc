// Folder listings and file identities over the POSIX file system. Every failure (ENOENT, ENOTDIR,
// EACCES, ...) folds into the one Windows outcome the callers test for: INVALID_HANDLE_VALUE or FALSE.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/posix_internal.h"

namespace {

struct Listing {
  DIR* directory;
  std::string match;  // empty: every entry
};

struct FileIdentity {
  dev_t device;
  ino_t inode;
};

bool MatchesAll(const std::string& match) { return match.empty() || match == "*" || match == "*.*"; }

// Fills entry from one directory entry. A link is looked through, so a link to a folder is a folder;
// a link that leads nowhere is described by the link itself, a plain file. False when the entry
// vanished since the directory was read, or its name does not fit the record.
bool DescribeEntry(int folder, const char* name, WIN32_FIND_DATAA* entry) {
  std::size_t const length = std::strlen(name);
  if (length >= sizeof entry->cFileName) return false;
  struct stat status;
  if (fstatat(folder, name, &status, 0) != 0 &&
      fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return false;
  }
  *entry = {};
  entry->dwFileAttributes = S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  // POSIX keeps no creation time that every file system shares; that field stays zero.
  entry->ftLastWriteTime = FileTimeFromPosix(status.st_mtim);
  entry->ftLastAccessTime = FileTimeFromPosix(status.st_atim);
  auto const size = static_cast<std::uint64_t>(status.st_size);
  entry->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  entry->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFF);
  std::memcpy(entry->cFileName, name, length + 1);
  return true;
}

bool ReadNext(Listing& listing, WIN32_FIND_DATAA* entry) {
  while (dirent const* const found = readdir(listing.directory)) {
    if (!MatchesAll(listing.match) && fnmatch(listing.match.c_str(), found->d_name, 0) != 0) {
      continue;
    }
    if (DescribeEntry(dirfd(listing.directory), found->d_name, entry)) return true;
  }
  return false;
}

bool StatWindowsPath(const char* path, struct stat& status) {
  std::string posixPath;
  return path != nullptr && ToPosixPath(path, posixPath) && stat(posixPath.c_str(), &status) == 0;
}

bool IsDriveCRoot(const char* root) {
  return (root[0] == 'C' || root[0] == 'c') && root[1] == ':' && (root[2] == '\\' || root[2] == '/') &&
         root[3] == '\0';
}

}  // namespace

DWORD GetCurrentDirectoryA(DWORD length, LPSTR buffer) {
  std::string current(MAX_PATH, '\0');
  while (getcwd(current.data(), current.size()) == nullptr) {
    if (errno != ERANGE) return 0;
    current.resize(current.size() * 2);
  }
  current.resize(std::strlen(current.c_str()));
  std::string result = "C:";
  for (char c : current) result.push_back(c == '/' ? '\\' : c);
  return CopyPathResult(result, length, buffer);
}

BOOL PathIsDirectoryA(LPCSTR path) {
  struct stat status;
  return StatWindowsPath(path, status) && S_ISDIR(status.st_mode) ? TRUE : FALSE;
}

BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize, LPDWORD serialNumber,
                           LPDWORD maximumComponentLength, LPDWORD fileSystemFlags,
                           LPSTR fileSystemName, DWORD fileSystemNameSize) {
  struct statvfs volume;
  if (root == nullptr || !IsDriveCRoot(root) || statvfs("/", &volume) != 0) return FALSE;
  // The C library puts the second word of the file system id in the upper half; that word is the
  // low half of the id as stat -f prints it.
  if (serialNumber != nullptr) *serialNumber = static_cast<DWORD>(static_cast<std::uint64_t>(volume.f_fsid) >> 32);
  if (volumeName != nullptr && volumeNameSize > 0) volumeName[0] = '\0';
  if (maximumComponentLength != nullptr) *maximumComponentLength = static_cast<DWORD>(volume.f_namemax);
  if (fileSystemFlags != nullptr) *fileSystemFlags = 0;
  if (fileSystemName != nullptr && fileSystemNameSize > 0) fileSystemName[0] = '\0';
  return TRUE;
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* entry) {
  std::size_t split = std::strlen(pattern);
  while (split > 0 && pattern[split - 1] != '\\' && pattern[split - 1] != '/') --split;
  std::string const folderPath = split > 0 ? std::string(pattern, split) : std::string(".");

  std::string posixFolder;
  if (!ToPosixPath(folderPath.c_str(), posixFolder)) return INVALID_HANDLE_VALUE;
  DIR* const directory = opendir(posixFolder.c_str());
  if (directory == nullptr) return INVALID_HANDLE_VALUE;

  auto* const listing = new Listing{directory, pattern + split};
  if (!ReadNext(*listing, entry)) {
    FindClose(listing);
    return INVALID_HANDLE_VALUE;
  }
  return listing;
}

BOOL FindNextFileA(HANDLE listing, WIN32_FIND_DATAA* entry) {
  return ReadNext(*static_cast<Listing*>(listing), entry) ? TRUE : FALSE;
}

BOOL FindClose(HANDLE listing) {
  auto* const open = static_cast<Listing*>(listing);
  closedir(open->directory);
  delete open;
  return TRUE;
}

HANDLE CreateFileA(LPCSTR path, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
  struct stat status;
  if (!StatWindowsPath(path, status)) return INVALID_HANDLE_VALUE;
  return new FileIdentity{status.st_dev, status.st_ino};
}

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  auto const* const identity = static_cast<FileIdentity*>(file);
  auto const device = static_cast<std::uint64_t>(identity->device);
  auto const inode = static_cast<std::uint64_t>(identity->inode);
  *information = {};
  information->dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
  information->nFileIndexHigh = static_cast<DWORD>(inode >> 32);
  information->nFileIndexLow = static_cast<DWORD>(inode & 0xFFFFFFFF);
  return TRUE;
}

BOOL CloseHandle(HANDLE file) {
  delete static_cast<FileIdentity*>(file);
  return TRUE;
}
