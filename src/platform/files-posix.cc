// Folder listings and file identities over the POSIX file system. Every failure (ENOENT, ENOTDIR,
// EACCES, ...) folds into the one Windows outcome the callers test for: INVALID_HANDLE_VALUE or FALSE.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix_internal.h"

namespace {

// A listing reads its folder in chunks of the kernel's raw directory records, opening the folder
// again for each chunk rather than keeping it open: the walk keeps one listing open per level, and a
// deep tree would otherwise run out of descriptors and lose folders. A chunk is at most kChunkBytes, so memory stays flat however many
// entries a folder has.
constexpr std::size_t kChunkBytes = 32 * 1024;
// A folder too large for one chunk is read whole by its file pass and then again by its folder pass.
// The file pass keeps the records of the folder's subfolders, up to this much, for the folder pass.
constexpr std::size_t kKeptFolderBytes = 512 * 1024;

// A folder read whole stays open while its listings are, so that its subfolders are opened by name
// inside it, not by a whole path the kernel would walk from the root again. Only the first
// kHeldFolders such folders are held at a time, so a deep walk holds a bounded number of descriptors.
constexpr std::size_t kHeldFolders = 64;

using Records = std::vector<char>;

std::vector<struct HeldFolder*>& HeldFolders() {
  static std::vector<HeldFolder*> held;
  return held;
}

struct HeldFolder {
  std::string folder;
  int descriptor;

  HeldFolder(std::string path, int open) : folder(std::move(path)), descriptor(open) {
    HeldFolders().push_back(this);
  }
  ~HeldFolder() {
    close(descriptor);
    auto& held = HeldFolders();
    held.erase(std::find(held.rbegin(), held.rend(), this).base() - 1);
  }
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;
};

struct Listing {
  std::string folder;  // POSIX path, to open again for the next chunk
  std::string match;
  bool matchesAll = true;
  bool directoriesOnly = false;
  bool withDetails = false;
  // Set while a listing that fills in details is open: the entries are examined through it.
  int descriptor = -1;
  std::shared_ptr<HeldFolder> held;
  std::shared_ptr<const Records> records;
  std::size_t position = 0;
  bool lastChunk = false;
  bool started = false;
  off64_t resume = 0;  // where the next chunk starts, as the kernel counts
  // The records of possible subfolders seen so far, while the listing reads its folder from the start.
  std::shared_ptr<Records> subfolders;
};

// The walk lists a folder up to three times in a row (its probe, its files, its subfolders). The last
// folder read to its end is remembered, all its records if they fit one chunk, or else those of its
// subfolders only, so that listing it again straight after costs no reading. Listing any other
// folder forgets it.
struct RecentFolder {
  std::string folder;
  std::shared_ptr<const Records> records;
  bool subfoldersOnly = false;
  std::shared_ptr<HeldFolder> held;
};

RecentFolder& Recent() {
  HeldFolders();  // made first, so that at exit it outlives the folder remembered here
  static RecentFolder recent;
  return recent;
}

struct FileIdentity {
  dev_t device;
  ino_t inode;
};

bool MatchesAll(const std::string& match) { return match.empty() || match == "*" || match == "*.*"; }

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// folder ("/a/b/c/") opened inside its held parent ("/a/b/") when there is one.
int OpenFolder(const std::string& folder) {
  std::size_t end = folder.size();
  while (end > 0 && folder[end - 1] == '/') --end;
  std::size_t const slash = end > 0 ? folder.rfind('/', end - 1) : std::string::npos;
  std::string const name = slash != std::string::npos ? folder.substr(slash + 1, end - slash - 1) : "";
  if (!name.empty() && name != "." && name != "..") {
    // The walk's innermost folder is the last one held, so the search rarely goes far.
    auto const& held = HeldFolders();
    for (auto parent = held.rbegin(); parent != held.rend(); ++parent) {
      if ((*parent)->folder.compare(0, std::string::npos, folder, 0, slash + 1) == 0) {
        return openat((*parent)->descriptor, name.c_str(), kFolderFlags);
      }
    }
  }
  return open(folder.c_str(), kFolderFlags);
}

// Reads as many records as fit one chunk from descriptor, at its current position. False when the
// folder cannot be read at all. The chunk is the last when the folder has no records beyond it.
bool ReadRecords(int descriptor, Records& records, bool& lastChunk) {
  alignas(dirent64) static char scratch[kChunkBytes];
  std::size_t used = 0;
  for (;;) {
    ssize_t const read = getdents64(descriptor, scratch + used, kChunkBytes - used);
    if (read > 0) {
      used += static_cast<std::size_t>(read);
      continue;
    }
    if (read < 0 && used == 0) return false;
    // EINVAL: no room for the next record, which the next chunk starts with. The end of the folder,
    // or a failure after some records, makes this chunk the last.
    lastChunk = !(read < 0 && errno == EINVAL);
    break;
  }
  records.assign(scratch, scratch + used);
  return true;
}

const dirent64& RecordAt(const Records& records, std::size_t position) {
  return *reinterpret_cast<const dirent64*>(records.data() + position);
}

bool MayBeFolder(const dirent64& record) {
  return record.d_type == DT_DIR || record.d_type == DT_LNK || record.d_type == DT_UNKNOWN;
}

// Adds the chunk's possible subfolders to those kept so far; gives them up once they grow too large.
void KeepSubfolders(Listing& listing) {
  for (std::size_t at = 0; at < listing.records->size() && listing.subfolders != nullptr;) {
    dirent64 const& record = RecordAt(*listing.records, at);
    at += record.d_reclen;
    if (!MayBeFolder(record)) continue;
    if (listing.subfolders->size() + record.d_reclen > kKeptFolderBytes) {
      listing.subfolders.reset();
    } else {
      auto const* const bytes = reinterpret_cast<const char*>(&record);
      listing.subfolders->insert(listing.subfolders->end(), bytes, bytes + record.d_reclen);
    }
  }
}

bool ReadNextChunk(Listing& listing) {
  bool const keepOpen = listing.descriptor >= 0;
  int const descriptor = keepOpen ? listing.descriptor : OpenFolder(listing.folder);
  if (descriptor < 0) return false;
  auto records = std::make_shared<Records>();
  bool const read = (keepOpen || !listing.started || lseek(descriptor, listing.resume, SEEK_SET) >= 0) &&
                    ReadRecords(descriptor, *records, listing.lastChunk);
  bool const wholeFolder = read && !listing.started && listing.lastChunk;
  if (!keepOpen && wholeFolder && HeldFolders().size() < kHeldFolders) {
    listing.held = std::make_shared<HeldFolder>(listing.folder, descriptor);
  } else if (!keepOpen) {
    close(descriptor);
  }
  if (!read) return false;

  for (std::size_t at = 0; at < records->size(); at += RecordAt(*records, at).d_reclen) {
    listing.resume = RecordAt(*records, at).d_off;
  }
  // Only a pass that reads every entry keeps the subfolders: such passes are never nested in the
  // walk, so at most one folder's worth is held at a time.
  if (!listing.started && !listing.directoriesOnly && !listing.lastChunk) {
    listing.subfolders = std::make_shared<Records>();
  }
  listing.started = true;
  listing.position = 0;
  listing.records = std::move(records);
  Recent() = {};
  if (wholeFolder) {
    Recent() = {listing.folder, listing.records, false, listing.held};
  } else if (listing.subfolders != nullptr) {
    KeepSubfolders(listing);
    if (listing.lastChunk && listing.subfolders != nullptr) {
      Recent() = {listing.folder, std::move(listing.subfolders), true, nullptr};
    }
  }
  return true;
}

bool StartListing(Listing& listing) {
  RecentFolder const& recent = Recent();
  if (recent.records != nullptr && recent.folder == listing.folder &&
      (listing.directoriesOnly || !recent.subfoldersOnly)) {
    listing.records = recent.records;
    listing.held = recent.held;
    listing.started = true;
    listing.lastChunk = true;
  }
  if (listing.withDetails && listing.held == nullptr) {
    listing.descriptor = OpenFolder(listing.folder);
    if (listing.descriptor < 0) return false;
  }
  return listing.started || ReadNextChunk(listing);
}

void CloseListing(Listing* listing) {
  if (listing->descriptor >= 0) close(listing->descriptor);
  delete listing;
}

// Looks at an entry through the folder's open descriptor where the listing has one.
int StatInFolder(const Listing& listing, const char* name, struct stat& status, int flags) {
  int const folder = listing.descriptor >= 0 ? listing.descriptor
                     : listing.held != nullptr ? listing.held->descriptor
                                               : -1;
  if (folder >= 0) return fstatat(folder, name, &status, flags);
  std::string const path = listing.folder + "/" + name;
  return fstatat(AT_FDCWD, path.c_str(), &status, flags);
}

// The entry's status, a link looked through; a link that leads nowhere is described by the link
// itself. False when the entry has vanished since the folder was read.
bool StatEntry(const Listing& listing, const char* name, struct stat& status) {
  return StatInFolder(listing, name, status, 0) == 0 ||
         StatInFolder(listing, name, status, AT_SYMLINK_NOFOLLOW) == 0;
}

// Whether the record is a link, asking only when the listing's type does not tell.
bool IsLinkRecord(const Listing& listing, const dirent64& record) {
  if (record.d_type != DT_UNKNOWN) return record.d_type == DT_LNK;
  struct stat status;
  return StatInFolder(listing, record.d_name, status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
}

// Fills entry from one directory record; false when the record is not to be delivered. The listing's
// record type is trusted for everything but links (and file systems that give no type), so a stat is
// paid only for links and, in listings that fill in details, for entries that are not folders.
bool Describe(const Listing& listing, const dirent64& record, WIN32_FIND_DATAA& entry) {
  if (listing.directoriesOnly && !MayBeFolder(record)) return false;
  std::size_t const length = std::strlen(record.d_name);
  if (length >= sizeof entry.cFileName) return false;
  if (!listing.matchesAll && fnmatch(listing.match.c_str(), record.d_name, 0) != 0) return false;

  entry = {};
  bool const link = (record.d_type == DT_LNK || record.d_type == DT_UNKNOWN) && IsLinkRecord(listing, record);
  bool directory = record.d_type == DT_DIR;
  // Of a plain folder the listing's type is all anyone reads: its own times are never shown.
  if ((listing.withDetails && !directory) || link || record.d_type == DT_UNKNOWN) {
    struct stat status;
    if (!StatEntry(listing, record.d_name, status)) return false;
    directory = S_ISDIR(status.st_mode);
    if (listing.withDetails) {
      entry.ftLastWriteTime = FileTimeFromPosix(status.st_mtim);
      entry.ftLastAccessTime = FileTimeFromPosix(status.st_atim);
      auto const size = static_cast<std::uint64_t>(status.st_size);
      entry.nFileSizeHigh = static_cast<DWORD>(size >> 32);
      entry.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFF);
    }
  }
  if (listing.directoriesOnly && !directory) return false;
  // POSIX keeps no creation time that every file system shares, so ftCreationTime stays zero.
  entry.dwFileAttributes = (directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL) |
                           (link ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
  std::memcpy(entry.cFileName, record.d_name, length + 1);
  return true;
}

// The POSIX folder of a search pattern whose folder part is its first split bytes. The walk lists
// each folder twice in a row, so the last conversion is kept for the second.
bool FolderOfPattern(const char* pattern, std::size_t split, std::string& folder) {
  static std::string lastPattern;
  static std::string lastFolder;
  if (split == 0) return ToPosixPath(".", folder);
  if (lastPattern.size() != split || lastPattern.compare(0, split, pattern, split) != 0) {
    lastPattern.clear();
    if (!ToPosixPath(pattern, split, lastFolder)) return false;
    lastPattern.assign(pattern, split);
  }
  folder = lastFolder;
  return true;
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

HANDLE FindFirstFileExA(LPCSTR pattern, FINDEX_INFO_LEVELS level, void* entry, FINDEX_SEARCH_OPS search,
                        void*, DWORD) {
  std::size_t split = std::strlen(pattern);
  while (split > 0 && pattern[split - 1] != '\\' && pattern[split - 1] != '/') --split;

  auto* const listing = new Listing;
  listing->match = pattern + split;
  listing->matchesAll = MatchesAll(listing->match);
  listing->directoriesOnly = search == FindExSearchLimitToDirectories;
  listing->withDetails = level == FindExInfoStandard;
  if (!FolderOfPattern(pattern, split, listing->folder) || !StartListing(*listing) ||
      !FindNextFileA(listing, static_cast<WIN32_FIND_DATAA*>(entry))) {
    CloseListing(listing);
    return INVALID_HANDLE_VALUE;
  }
  return listing;
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* entry) {
  return FindFirstFileExA(pattern, FindExInfoStandard, entry, FindExSearchNameMatch, nullptr, 0);
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* entry) {
  auto* const listing = static_cast<Listing*>(handle);
  for (;;) {
    if (listing->position >= listing->records->size()) {
      if (listing->lastChunk || !ReadNextChunk(*listing)) return FALSE;
      continue;
    }
    dirent64 const& record = RecordAt(*listing->records, listing->position);
    listing->position += record.d_reclen;
    if (Describe(*listing, record, *entry)) return TRUE;
  }
}

BOOL FindClose(HANDLE listing) {
  CloseListing(static_cast<Listing*>(listing));
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
