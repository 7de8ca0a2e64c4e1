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
#include <vector>

#include "platform/posix_internal.h"

namespace {

// A listing reads its folder whole when it is opened and holds no descriptor afterwards: the walk keeps
// one listing open per level, and a deep tree would otherwise run out of descriptors and lose folders.
// Entries are kept compact (names side by side in one buffer), since a folder may hold millions.
struct ListedEntry {
  std::size_t nameOffset;
  DWORD attributes;
  FILETIME lastWrite;
  FILETIME lastAccess;
  std::uint64_t size;
};

struct Listing {
  std::vector<ListedEntry> entries;
  std::string names;  // every name with its NUL
  std::size_t next = 0;
};

struct FileIdentity {
  dev_t device;
  ino_t inode;
};

bool MatchesAll(const std::string& match) { return match.empty() || match == "*" || match == "*.*"; }

// Adds one directory entry to the listing. A link is looked through, so a link to a folder is a
// folder; a link that leads nowhere is described by the link itself, a plain file. Nothing is added
// when the entry vanished since the directory was read, or its name does not fit the entry record.
void AddEntry(int folder, const char* name, Listing& listing) {
  std::size_t const length = std::strlen(name);
  if (length >= sizeof WIN32_FIND_DATAA::cFileName) return;
  struct stat status;
  if (fstatat(folder, name, &status, 0) != 0 &&
      fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return;
  }
  listing.entries.push_back({listing.names.size(),
                             S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL,
                             FileTimeFromPosix(status.st_mtim), FileTimeFromPosix(status.st_atim),
                             static_cast<std::uint64_t>(status.st_size)});
  listing.names.append(name, length + 1);
}

// Every entry of the folder whose name matches, in the directory's own order.
bool ReadFolder(const std::string& posixFolder, const std::string& match, Listing& listing) {
  DIR* const directory = opendir(posixFolder.c_str());
  if (directory == nullptr) return false;
  while (dirent const* const found = readdir(directory)) {
    if (MatchesAll(match) || fnmatch(match.c_str(), found->d_name, 0) == 0) {
      AddEntry(dirfd(directory), found->d_name, listing);
    }
  }
  closedir(directory);
  return true;
}

// POSIX keeps no creation time that every file system shares, so ftCreationTime stays zero.
void Deliver(const Listing& listing, const ListedEntry& listed, WIN32_FIND_DATAA& entry) {
  entry = {};
  entry.dwFileAttributes = listed.attributes;
  entry.ftLastWriteTime = listed.lastWrite;
  entry.ftLastAccessTime = listed.lastAccess;
  entry.nFileSizeHigh = static_cast<DWORD>(listed.size >> 32);
  entry.nFileSizeLow = static_cast<DWORD>(listed.size & 0xFFFFFFFF);
  std::strcpy(entry.cFileName, listing.names.c_str() + listed.nameOffset);
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
  auto* const listing = new Listing;
  if (!ReadFolder(posixFolder, pattern + split, *listing) || !FindNextFileA(listing, entry)) {
    delete listing;
    return INVALID_HANDLE_VALUE;
  }
  return listing;
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* entry) {
  auto* const listing = static_cast<Listing*>(handle);
  if (listing->next >= listing->entries.size()) return FALSE;
  Deliver(*listing, listing->entries[listing->next++], *entry);
  return TRUE;
}

BOOL FindClose(HANDLE listing) {
  delete static_cast<Listing*>(listing);
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
