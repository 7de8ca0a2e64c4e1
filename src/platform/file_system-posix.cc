// The file system on POSIX: what both folder readers share (folders opened inside their parents,
// given back and opened again, entries described), and what the file system says of a path (the
// current folder, whether a path is a folder, a file's identity for recognising a folder link that
// leads back, the serial number of drive C:). Every failure (ENOENT, ENOTDIR, EACCES, ...) folds
// into the one outcome the callers test for.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/posix_internal.h"
#include "platform/read_ahead.h"

namespace platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

OpenResult OpenFailure() {
  return errno == EMFILE || errno == ENFILE ? OpenResult::kOutOfDescriptors : OpenResult::kFailed;
}

// The path that finds folder again: its parent's and its name, or the path the user typed.
std::string PathOf(const Folder& folder) {
  if (folder.parent == nullptr) return folder.name;
  std::string path = PathOf(*folder.parent);
  if (path.back() != '/') path.push_back('/');
  return path.append(folder.name);
}

// The entry's status, a link looked through; a link that leads nowhere is described by the link
// itself. False when neither can be had.
bool StatEntry(int folder, const char* name, struct stat& status) {
  return fstatat(folder, name, &status, 0) == 0 ||
         fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0;
}

// Whether the entry is a link, asking only when the listing's type does not tell.
bool IsLinkEntry(int folder, const char* name, unsigned char type) {
  if (type != DT_UNKNOWN) return type == DT_LNK;
  struct stat status;
  return fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
}

// Fills in what only the entry's status tells: whether it is a folder and, withDetails, its times
// and size. False when the entry has vanished since the folder was read. In a folder that can be
// read but not entered, no entry's status can be had, though its name and type can: the entry is
// described by the listing's type alone (a link as a file), its time as one that cannot be shown.
bool DescribeStatus(int folder, const char* name, bool withDetails, WIN32_FIND_DATAA& entry,
                    bool& directory) {
  struct stat status;
  if (!StatEntry(folder, name, status)) {
    if (errno == ENOENT) return false;
    if (withDetails) entry.ftLastWriteTime = kUnreadableTime;
    return true;
  }
  directory = S_ISDIR(status.st_mode);
  if (withDetails) {
    entry.ftLastWriteTime = FileTimeFromPosix(LastWriteTime(status));
    entry.ftLastAccessTime = FileTimeFromPosix(LastAccessTime(status));
    auto const size = static_cast<std::uint64_t>(status.st_size);
    entry.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    entry.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFF);
  }
  return true;
}

// Every field but the name, which is copied with its NUL: clearing the whole entry would cost more
// than the rest of the entry's description. POSIX keeps no creation time that every file system
// shares, so ftCreationTime stays zero.
void DescribeName(const char* name, WIN32_FIND_DATAA& entry) {
  entry.ftCreationTime = {};
  entry.ftLastAccessTime = {};
  entry.ftLastWriteTime = {};
  entry.nFileSizeHigh = 0;
  entry.nFileSizeLow = 0;
  entry.dwReserved0 = 0;
  entry.dwReserved1 = 0;
  std::memset(entry.cAlternateFileName, 0, sizeof entry.cAlternateFileName);
  std::memcpy(entry.cFileName, name, std::strlen(name) + 1);
}

// The entry's type and, withDetails, its times and size, from what the listing's type does not
// tell. Out of line, so that the usual entry, which needs no status, is described without setting
// up for one.
[[gnu::noinline]] bool DescribeFromStatus(int folder, const char* name, unsigned char type,
                                          bool withDetails, WIN32_FIND_DATAA& entry) {
  DescribeName(name, entry);
  bool const link = IsLinkEntry(folder, name, type);
  bool directory = type == DT_DIR;
  if ((withDetails && !directory) || link || type == DT_UNKNOWN) {
    if (!DescribeStatus(folder, name, withDetails, entry, directory)) return false;
  }
  entry.dwFileAttributes = (directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL) |
                           (link ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
  return true;
}

struct FileIdentity {
  dev_t device;
  ino_t inode;
};

// A path that names a visit of the listing engine, or a subfolder it delivered, leads to that
// very folder; any other path is read by the path rules.
bool StatWindowsPath(const char* path, struct stat& status) {
  if (path == nullptr) return false;
  std::size_t const length = std::strlen(path);
  Folder* folder = nullptr;
  const FolderRecord* child = nullptr;
  if (ListedFolder(path, length, folder, child)) {
    if (folder->descriptor >= 0) {
      return child != nullptr ? fstatat(folder->descriptor, ShownName(*child), &status, 0) == 0
                              : fstat(folder->descriptor, &status) == 0;
    }
    std::string listed = PathOf(*folder);
    if (child != nullptr) listed.append("/").append(ShownName(*child));
    return stat(listed.c_str(), &status) == 0;
  }
  std::string posixPath;
  return ToPosixPath(path, length, posixPath) && stat(posixPath.c_str(), &status) == 0;
}

bool IsDriveCRoot(const char* root) {
  return (root[0] == 'C' || root[0] == 'c') && root[1] == ':' && IsWindowsSeparator(root[2]) &&
         root[3] == '\0';
}

}  // namespace

OpenResult OpenTypedFolder(const char* windowsPath, std::size_t length, Folder*& folder) {
  std::string path = "./";
  if (length > 0 && !ToPosixPath(windowsPath, length, path)) return OpenResult::kFailed;
  int const descriptor = open(path.c_str(), kFolderFlags);
  if (descriptor < 0) return OpenFailure();
  folder = new Folder{descriptor, nullptr, std::move(path)};
  return OpenResult::kOpened;
}

OpenResult OpenInside(Folder& parent, const char* name, Folder*& child) {
  int const descriptor = openat(parent.descriptor, name, kFolderFlags);
  if (descriptor < 0) return OpenFailure();
  child = new Folder{descriptor, &parent, name};
  return OpenResult::kOpened;
}

void KeepIdentity(Folder& folder) {
  struct stat status;
  if (fstat(folder.descriptor, &status) == 0) {
    folder.device = status.st_dev;
    folder.inode = status.st_ino;
  }
}

OpenResult ReopenFolder(Folder& folder) {
  int const descriptor = open(PathOf(folder).c_str(), kFolderFlags);
  if (descriptor < 0) return OpenFailure();
  struct stat status;
  if (fstat(descriptor, &status) != 0 || status.st_dev != folder.device ||
      status.st_ino != folder.inode) {
    close(descriptor);
    return OpenResult::kFailed;
  }
  folder.descriptor = descriptor;
  return OpenResult::kOpened;
}

bool RaiseOpenLimit() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return false;
  limit.rlim_cur = limit.rlim_max;
  return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

// The listing's type is trusted for everything but links (and file systems that give no type), so a
// stat is paid only for links and, withDetails, for entries that are not folders: of a plain
// folder the listing's type is all anyone reads, its own times are never shown.
bool DescribeEntry(const Folder& folder, const char* name, unsigned char type, bool withDetails,
                   WIN32_FIND_DATAA& entry) {
  if (StatusNeeded(type, withDetails)) {
    return DescribeFromStatus(folder.descriptor, name, type, withDetails, entry);
  }
  DescribeName(name, entry);
  entry.dwFileAttributes = type == DT_DIR ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  return true;
}

// A duplicate shares the folder's offset, which opening and describing inside it leave alone.
Folder* CopyFolder(Folder& folder) {
  int const descriptor = fcntl(folder.descriptor, F_DUPFD_CLOEXEC, 0);
  if (descriptor < 0) return nullptr;
  return new Folder{descriptor, folder.parent, folder.name};
}

bool NameMatches(const std::string& match, const char* name) {
  return fnmatch(match.c_str(), name, 0) == 0;
}

DWORD GetCurrentDirectoryA(DWORD length, LPSTR buffer) {
  std::string current(MAX_PATH, '\0');
  while (getcwd(current.data(), current.size()) == nullptr) {
    if (errno != ERANGE) return 0;
    current.resize(current.size() * 2);
  }
  current.resize(std::strlen(current.c_str()));
  return CopyPathResult(CurrentFolderForm(current), length, buffer);
}

BOOL PathIsDirectoryA(LPCSTR path) {
  struct stat status;
  return StatWindowsPath(path, status) && S_ISDIR(status.st_mode) ? TRUE : FALSE;
}

BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maximumComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize) {
  DWORD serial = 0;
  DWORD longestName = 0;
  if (root == nullptr || !IsDriveCRoot(root) || !ReadRootVolume(serial, longestName)) return FALSE;
  if (serialNumber != nullptr) *serialNumber = serial;
  if (volumeName != nullptr && volumeNameSize > 0) volumeName[0] = '\0';
  if (maximumComponentLength != nullptr) *maximumComponentLength = longestName;
  if (fileSystemFlags != nullptr) *fileSystemFlags = 0;
  if (fileSystemName != nullptr && fileSystemNameSize > 0) fileSystemName[0] = '\0';
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

}  // namespace platform
