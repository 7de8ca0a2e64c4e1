// The file system on POSIX: folders opened and their entries described for the listing engine,
// and what the file system says of a path (the current folder, whether a path is a folder, a
// file's identity for recognising a folder link that leads back, the serial number of drive C:).
// Every failure (ENOENT, ENOTDIR, EACCES, ...) folds into the one outcome the callers test for.
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/listing.h"
#include "platform/posix_internal.h"

namespace platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Looks at an entry inside its folder's open descriptor where there is one.
int StatInFolder(const std::string& folder, int opened, const char* name, struct stat& status,
                 int flags) {
  if (opened != kNotOpen) return fstatat(opened, name, &status, flags);
  std::string const path = folder + name;
  return fstatat(AT_FDCWD, path.c_str(), &status, flags);
}

// The entry's status, a link looked through; a link that leads nowhere is described by the link
// itself. False when neither can be had.
bool StatEntry(const std::string& folder, int opened, const char* name, struct stat& status) {
  return StatInFolder(folder, opened, name, status, 0) == 0 ||
         StatInFolder(folder, opened, name, status, AT_SYMLINK_NOFOLLOW) == 0;
}

// Whether the record is a link, asking only when the listing's type does not tell.
bool IsLinkRecord(const std::string& folder, int opened, const FolderRecord& record) {
  if (record.d_type != DT_UNKNOWN) return record.d_type == DT_LNK;
  struct stat status;
  return StatInFolder(folder, opened, record.d_name, status, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISLNK(status.st_mode);
}

// Fills in what only the entry's status tells: whether it is a folder and, withDetails, its times
// and size. False when the entry has vanished since the folder was read. In a folder that can be
// read but not entered, no entry's status can be had, though its name and type can: the entry is
// described by the listing's type alone (a link as a file), its time as one that cannot be shown.
bool DescribeStatus(const std::string& folder, int opened, const FolderRecord& record,
                    bool withDetails, WIN32_FIND_DATAA& entry, bool& directory) {
  struct stat status;
  if (!StatEntry(folder, opened, record.d_name, status)) {
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
// than the rest of the record's description. POSIX keeps no creation time that every file system
// shares, so ftCreationTime stays zero.
void DescribeName(const FolderRecord& record, WIN32_FIND_DATAA& entry) {
  entry.ftCreationTime = {};
  entry.ftLastAccessTime = {};
  entry.ftLastWriteTime = {};
  entry.nFileSizeHigh = 0;
  entry.nFileSizeLow = 0;
  entry.dwReserved0 = 0;
  entry.dwReserved1 = 0;
  std::memset(entry.cAlternateFileName, 0, sizeof entry.cAlternateFileName);
  std::memcpy(entry.cFileName, record.d_name, std::strlen(record.d_name) + 1);
}

// The entry's type and, withDetails, its times and size, from what the listing's type does not
// tell. False when the entry has vanished since the folder was read. Out of line, so that the usual
// record, which needs no status, is described without setting up for one.
[[gnu::noinline]] bool DescribeFromStatus(const SystemPath& folder, int opened,
                                          const FolderRecord& record, bool withDetails,
                                          WIN32_FIND_DATAA& entry) {
  DescribeName(record, entry);
  bool const link = IsLinkRecord(folder, opened, record);
  bool directory = record.d_type == DT_DIR;
  if ((withDetails && !directory) || link || record.d_type == DT_UNKNOWN) {
    if (!DescribeStatus(folder, opened, record, withDetails, entry, directory)) return false;
  }
  entry.dwFileAttributes = (directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL) |
                           (link ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
  return true;
}

struct FileIdentity {
  dev_t device;
  ino_t inode;
};

// A path the walk made of a folder it listed and a name that folder delivered leads to that very
// entry; any other path is read by the path rules.
bool StatWindowsPath(const char* path, struct stat& status) {
  if (path == nullptr) return false;
  std::size_t const length = std::strlen(path);
  std::string posixPath;
  return (ListedPath(path, length, posixPath) || ToPosixPath(path, length, posixPath)) &&
         stat(posixPath.c_str(), &status) == 0;
}

bool IsDriveCRoot(const char* root) {
  return (root[0] == 'C' || root[0] == 'c') && root[1] == ':' && IsWindowsSeparator(root[2]) &&
         root[3] == '\0';
}

}  // namespace

int OpenFolder(const SystemPath& folder, int parent) {
  if (parent == kNotOpen) return open(folder.c_str(), kFolderFlags);
  std::size_t end = folder.size();
  while (end > 0 && folder[end - 1] == '/') --end;
  std::size_t const slash = folder.rfind('/', end - 1);
  std::string const name = folder.substr(slash + 1, end - slash - 1);
  return openat(parent, name.c_str(), kFolderFlags);
}

void CloseFolder(int folder) { close(folder); }

// Every name a record holds fits an entry's name with its NUL, so its length needs no test.
static_assert(sizeof(FolderRecord::d_name) <= kMaxFileName);

// The listing's record type is trusted for everything but links (and file systems that give no
// type), so a stat is paid only for links and, withDetails, for entries that are not folders: of a
// plain folder the listing's type is all anyone reads, its own times are never shown.
bool DescribeRecord(const SystemPath& folder, int opened, const FolderRecord& record,
                    bool withDetails, WIN32_FIND_DATAA& entry) {
  bool const directory = record.d_type == DT_DIR;
  if (record.d_type == DT_LNK || record.d_type == DT_UNKNOWN || (withDetails && !directory)) {
    return DescribeFromStatus(folder, opened, record, withDetails, entry);
  }
  DescribeName(record, entry);
  entry.dwFileAttributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  return true;
}

bool NameMatches(const std::string& match, const char* name) {
  return fnmatch(match.c_str(), name, 0) == 0;
}

bool TypedFolder(const char* windowsPath, std::size_t length, SystemPath& folder) {
  if (length == 0) {
    folder = "./";
    return true;
  }
  if (!ToPosixPath(windowsPath, length, folder)) return false;
  if (folder.back() != '/') folder.push_back('/');
  return true;
}

// No POSIX name holds a slash or is "." or "..", so the name read from the folder is one step.
void AppendChild(SystemPath& folder, const FolderRecord& record) {
  folder.append(record.d_name).push_back('/');
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
