// Folder listings over the POSIX file system: FindFirstFileExA, FindNextFileA, FindClose. A listing
// reads its folder in chunks of records, opening the folder again for each chunk rather than
// keeping it open: the walk keeps one listing open per level, and a deep tree would otherwise run
// out of descriptors and lose folders. Every failure (ENOENT, ENOTDIR, EACCES, ...) folds into the
// one Windows outcome the callers test for: INVALID_HANDLE_VALUE or FALSE.
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/listing_caches-posix.h"
#include "platform/listing_counters-posix.h"
#include "platform/posix_internal.h"

namespace platform {

namespace {

struct Listing {
  std::string windowsFolder;  // the search pattern's folder as the caller spelled it
  std::string folder;         // POSIX path, to open again for the next chunk
  std::string match;
  bool matchesAll = true;
  bool directoriesOnly = false;
  bool withDetails = false;
  // Set while a listing that fills in details is open: the entries are examined through it.
  int descriptor = -1;
  int held = -1;  // the folder's held descriptor, while this listing uses it
  std::shared_ptr<const Records> records;
  // What this listing reads its chunks into, kept with it while nothing else shares it.
  std::shared_ptr<Records> buffer;
  std::size_t position = 0;
  bool lastChunk = false;
  ReadPosition read;
};

// Rule: a Windows path made of an open listing's folder, one separator and a name names that
// entry of that very folder, whatever bytes the name holds: a backslash or ".." in a name read from
// a folder is part of the name, never a step of the path, so a folder's name cannot lead the walk
// to another folder or out of the tree. The open listing's folder itself names its own folder.
// Only paths that no open listing accounts for, those the user typed, are read by the path rules.
// The newest listing that fits is the deepest: the walk keeps one open per level, each below the
// one before, and closes a folder's listing before it goes on to the folder's next sibling.
// Bound: one entry per open listing.
class OpenListings {
 public:
  void Add(Listing* listing) { open_.push_back(listing); }
  void Remove(Listing* listing) {
    for (std::size_t at = open_.size(); at-- > 0;) {
      if (open_[at] == listing) {
        open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(at));
        return;
      }
    }
  }
  // The POSIX path of the first length bytes of windowsPath, when an open listing accounts for it.
  bool Resolve(const char* windowsPath, std::size_t length, std::string& posixPath) const {
    for (std::size_t at = open_.size(); at-- > 0;) {
      Listing const& listing = *open_[at];
      std::string const& folder = listing.windowsFolder;
      if (folder.empty() || length < folder.size() ||
          folder.compare(0, folder.size(), windowsPath, folder.size()))
        continue;
      if (length == folder.size()) {
        posixPath = listing.folder;
        return true;
      }
      const char* const name = windowsPath + folder.size() + 1;
      std::size_t const nameLength = length - folder.size() - 1;
      // No POSIX name holds a slash, so a path that does is not one a listing delivered.
      if (!IsWindowsSeparator(windowsPath[folder.size()]) || nameLength == 0 ||
          std::memchr(name, '/', nameLength) != nullptr)
        return false;
      posixPath.assign(listing.folder);
      if (posixPath.back() != '/') posixPath.push_back('/');
      posixPath.append(name, nameLength).push_back('/');
      return true;
    }
    return false;
  }

 private:
  std::vector<Listing*> open_;
};

// Everything the listings share from one to the next, changed only by the functions below.
struct ListingCaches {
  HeldFolders held;
  RecentFolder recent;
  KeptSubfolders kept;
  OpenListings open;
  // Rule: the listings closed last are kept, with the room of their strings and of their records,
  // for the next listings opened: the walk opens three listings per folder, and on its way back up
  // from a subtree and down into the next closes and opens one per level, which then cost no
  // allocation of their own. Bound: kSpareListings listings, the records of each one chunk.
  static constexpr std::size_t kSpareListings = 8;
  std::vector<std::unique_ptr<Listing>> spares;
};

ListingCaches& Caches() {
  static ListingCaches caches;
  return caches;
}

bool MatchesAll(const std::string& match) {
  return match.empty() || match == "*" || match == "*.*";
}

bool ReadNextChunk(Listing& listing) {
  ListingCaches& caches = Caches();
  bool const keepOpen = listing.descriptor >= 0;
  int const descriptor = keepOpen ? listing.descriptor : caches.held.OpenFolder(listing.folder);
  if (descriptor < 0) return false;
  bool const firstChunk = !listing.read.started;
  // Forgotten before the read, so that the records it shared with this listing can be read over.
  caches.recent.Forget(caches.held);
  listing.records.reset();
  if (listing.buffer == nullptr || listing.buffer.use_count() > 1) {
    listing.buffer = std::make_shared<Records>();
  }
  bool const read = ReadChunk(descriptor, listing.read, *listing.buffer, listing.lastChunk);
  bool const wholeFolder = read && firstChunk && listing.lastChunk;
  if (!keepOpen && wholeFolder && caches.held.Hold(listing.folder, descriptor)) {
    listing.held = descriptor;
  } else if (!keepOpen) {
    close(descriptor);
  }
  if (!read) return false;

  listing.position = 0;
  listing.records = listing.buffer;
  // A pass over every entry of a folder too large for one chunk keeps its subfolders for the pass
  // over them that follows.
  if (firstChunk && !listing.directoriesOnly && !listing.lastChunk) caches.kept.Start(&listing);
  if (wholeFolder) {
    caches.recent.Remember(listing.folder, listing.records, false, listing.held, caches.held);
  } else {
    caches.kept.Keep(&listing, *listing.records);
    if (listing.lastChunk) {
      if (auto kept = caches.kept.Finish(&listing)) {
        caches.recent.Remember(listing.folder, std::move(kept), true, -1, caches.held);
      }
    }
  }
  return true;
}

bool StartListing(Listing& listing) {
  ListingCaches& caches = Caches();
  listing.records =
      caches.recent.Recall(listing.folder, listing.directoriesOnly, listing.held, caches.held);
  if (listing.records != nullptr) {
    // An open listing holds no records besides those it delivers, so memory stays flat however
    // deep the walk goes.
    if (listing.buffer != listing.records) listing.buffer.reset();
    listing.read.started = true;
    listing.lastChunk = true;
  }
  if (listing.withDetails && listing.held < 0) {
    listing.descriptor = caches.held.OpenFolder(listing.folder);
    if (listing.descriptor < 0) return false;
  }
  return listing.records != nullptr || ReadNextChunk(listing);
}

void CloseListing(Listing* listing) {
  ListingCaches& caches = Caches();
  caches.open.Remove(listing);
  caches.kept.Finish(listing);
  EndReading(listing->read);
  if (listing->held >= 0) caches.held.Release(listing->held);
  if (listing->descriptor >= 0) close(listing->descriptor);
  if (caches.spares.size() >= ListingCaches::kSpareListings) {
    delete listing;
    return;
  }
  // Only the room is kept: what the next listing does not set when it opens starts again as a new
  // listing's.
  listing->descriptor = -1;
  listing->held = -1;
  listing->records.reset();
  listing->position = 0;
  listing->lastChunk = false;
  listing->read = {};
  caches.spares.emplace_back(listing);
}

Listing* OpenListing() {
  ListingCaches& caches = Caches();
  if (!caches.spares.empty()) {
    Listing* const listing = caches.spares.back().release();
    caches.spares.pop_back();
    return listing;
  }
  ++Counters().listingsMade;
  return new Listing;
}

// Looks at an entry through the folder's open descriptor where the listing has one.
int StatInFolder(const Listing& listing, const char* name, struct stat& status, int flags) {
  int const folder = listing.descriptor >= 0 ? listing.descriptor : listing.held;
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
bool IsLinkRecord(const Listing& listing, const FolderRecord& record) {
  if (record.d_type != DT_UNKNOWN) return record.d_type == DT_LNK;
  struct stat status;
  return StatInFolder(listing, record.d_name, status, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISLNK(status.st_mode);
}

// Fills in what only the entry's status tells: whether it is a folder and, in listings that fill in
// details, its times and size. False when the entry has vanished since the folder was read. In a
// folder that can be read but not entered, no entry's status can be had, though its name and type
// can: the entry is described by the listing's type alone (a link as a file), its time as one that
// cannot be shown.
bool DescribeStatus(const Listing& listing, const FolderRecord& record, WIN32_FIND_DATAA& entry,
                    bool& directory) {
  struct stat status;
  if (!StatEntry(listing, record.d_name, status)) {
    if (errno == ENOENT) return false;
    if (listing.withDetails) entry.ftLastWriteTime = kUnreadableTime;
    return true;
  }
  directory = S_ISDIR(status.st_mode);
  if (listing.withDetails) {
    entry.ftLastWriteTime = FileTimeFromPosix(LastWriteTime(status));
    entry.ftLastAccessTime = FileTimeFromPosix(LastAccessTime(status));
    auto const size = static_cast<std::uint64_t>(status.st_size);
    entry.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    entry.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFF);
  }
  return true;
}

// Fills entry from one directory record; false when the record is not to be delivered. The
// listing's record type is trusted for everything but links (and file systems that give no type),
// so a stat is paid only for links and, in listings that fill in details, for entries that are not
// folders.
bool Describe(const Listing& listing, const FolderRecord& record, WIN32_FIND_DATAA& entry) {
  std::size_t const length = std::strlen(record.d_name);
  if (length >= sizeof entry.cFileName) return false;
  if (!listing.matchesAll && fnmatch(listing.match.c_str(), record.d_name, 0) != 0) return false;

  // Every field but the name, which is copied with its NUL below: clearing the whole entry would
  // cost more than the rest of the record's description.
  entry.ftCreationTime = {};
  entry.ftLastAccessTime = {};
  entry.ftLastWriteTime = {};
  entry.nFileSizeHigh = 0;
  entry.nFileSizeLow = 0;
  entry.dwReserved0 = 0;
  entry.dwReserved1 = 0;
  std::memset(entry.cAlternateFileName, 0, sizeof entry.cAlternateFileName);
  bool const link =
      (record.d_type == DT_LNK || record.d_type == DT_UNKNOWN) && IsLinkRecord(listing, record);
  bool directory = record.d_type == DT_DIR;
  // Of a plain folder the listing's type is all anyone reads: its own times are never shown.
  if ((listing.withDetails && !directory) || link || record.d_type == DT_UNKNOWN) {
    if (!DescribeStatus(listing, record, entry, directory)) return false;
  }
  if (listing.directoriesOnly && !directory) return false;
  // POSIX keeps no creation time that every file system shares, so ftCreationTime stays zero.
  entry.dwFileAttributes = (directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL) |
                           (link ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
  std::memcpy(entry.cFileName, record.d_name, length + 1);
  return true;
}

}  // namespace

bool PosixPathOf(const char* windowsPath, std::size_t length, std::string& posixPath) {
  return Caches().open.Resolve(windowsPath, length, posixPath) ||
         ToPosixPath(windowsPath, length, posixPath);
}

HANDLE FindFirstFileExA(LPCSTR pattern, FINDEX_INFO_LEVELS level, void* entry,
                        FINDEX_SEARCH_OPS search, void*, DWORD) {
  std::size_t split = std::strlen(pattern);
  while (split > 0 && !IsWindowsSeparator(pattern[split - 1])) --split;

  Listing* const listing = OpenListing();
  listing->match = pattern + split;
  listing->matchesAll = MatchesAll(listing->match);
  listing->directoriesOnly = search == FindExSearchLimitToDirectories;
  listing->withDetails = level == FindExInfoStandard;
  // The folder part without the one separator the pattern puts before its last part.
  listing->windowsFolder.assign(pattern, split > 0 ? split - 1 : 0);
  ListingCaches& caches = Caches();
  bool const found = (split == 0 ? ToPosixPath(".", listing->folder)
                                 : caches.open.Resolve(pattern, split - 1, listing->folder) ||
                                       ToPosixPath(pattern, split, listing->folder)) &&
                     StartListing(*listing) &&
                     FindNextFileA(listing, static_cast<WIN32_FIND_DATAA*>(entry));
  if (!found) {
    CloseListing(listing);
    return INVALID_HANDLE_VALUE;
  }
  caches.open.Add(listing);
  return listing;
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* entry) {
  return FindFirstFileExA(pattern, FindExInfoStandard, entry, FindExSearchNameMatch, nullptr, 0);
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* entry) {
  auto* const listing = static_cast<Listing*>(handle);
  for (;;) {
    // A listing whose last read failed has no records until a read succeeds.
    if (listing->records == nullptr || listing->position >= listing->records->size()) {
      if (listing->lastChunk || !ReadNextChunk(*listing)) return FALSE;
      continue;
    }
    FolderRecord const& record = RecordAt(*listing->records, listing->position);
    listing->position += record.d_reclen;
    // Most records of a folder are files, which a listing of subfolders passes over here.
    if (listing->directoriesOnly && !MayBeFolder(record)) continue;
    if (Describe(*listing, record, *entry)) return TRUE;
  }
}

BOOL FindClose(HANDLE listing) {
  CloseListing(static_cast<Listing*>(listing));
  return TRUE;
}

}  // namespace platform
