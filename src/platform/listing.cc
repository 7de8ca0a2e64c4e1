// Folder listings for every build: FindFirstFileExA, FindNextFileA and FindClose, written once over
// one folder reader per system (listing.h says what each system provides). A listing reads its
// folder in chunks of records and describes each record as it delivers it. Every failure folds into
// the one outcome the callers test for: INVALID_HANDLE_VALUE or FALSE.
#include "platform/listing.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

namespace {

struct Listing {
  // What delivering an entry reads, together at the front.
  const char* next = nullptr;  // the next record to deliver
  const char* end = nullptr;   // the end of records
  bool matchesAll = true;
  bool directoriesOnly = false;
  bool withDetails = false;
  bool lastChunk = false;
  // The folder open while a listing that fills in details is open: its entries are examined in it.
  int descriptor = kNotOpen;
  int held = kNotOpen;  // the folder's held descriptor, while this listing uses it
  // Which of the engine's resolutions named this listing's folder; 0 for none (rule 6).
  std::size_t resolution = 0;

  std::string windowsFolder;  // the search pattern's folder as the caller spelled it
  SystemPath folder;
  std::string match;
  std::shared_ptr<const Records> records;
  // What this listing reads its chunks into, kept with it while nothing else shares it.
  std::shared_ptr<Records> buffer;
  ReadPosition read;
  // The last two subfolders delivered ("." and ".." aside), whole records: the earlier one is the
  // one the walk enters, the later its look-ahead.
  Records earlier;
  Records later;
  // Which resolution windowsFolder and folder hold, kept when the listing is closed, so that the
  // next listing of the same folder made from this one need not copy them again; 0 for none.
  std::size_t named = 0;

  void Deliver(std::shared_ptr<const Records> from) {
    records = std::move(from);
    next = records != nullptr ? records->data() : nullptr;
    end = records != nullptr ? records->data() + records->size() : nullptr;
  }
};

const FolderRecord& AsRecord(const Records& bytes) { return RecordAt(bytes, 0); }

// The state of every listing between calls, one object. Its rules:
//
// 1. A name read from a folder leads to its own entry. A Windows path made of an open listing's
//    folder, one separator and the name of one of the last two subfolders that listing delivered
//    names that very subfolder, by its real name, whatever bytes the name holds: a backslash, a
//    0x5C shown for a character the code page lacks, ".." or a trailing dot are part of the name,
//    never steps of the path. The listing's folder itself names its own folder. The newest listing
//    that fits is the deepest: the walk keeps one open per level, each below the one before, and
//    enters a subfolder after fetching the one after it. Only paths that no open listing accounts
//    for, those the user typed, are read by the path rules.
// 2. A folder is read once per visit. The last folder read to its end is remembered: all its
//    records when they fit one chunk, else the records of its possible subfolders, kept by the
//    pass over all of it, up to kKeptFolderBytes. A listing of the same folder straight after,
//    with no other folder read in between, delivers them instead of reading: the walk lists a
//    folder up to three times in a row (its probe, its files, its subfolders).
// 3. Folders are opened inside their parents. A folder read whole in its first chunk, or to its
//    end by the pass that kept its subfolders, stays open while a listing of it or the remembered
//    folder uses it, up to kHeldFolders at a time, so that its subfolders are opened inside it
//    instead of by a whole path the system would walk from the root again, and its entries are
//    examined in it. (Windows reads a folder by its path.)
// 4. The listings closed last are kept, with the room of their strings and records, up to
//    kSpareListings, for the next listings opened, which then cost no allocation of their own
//    (nor a copy of their paths, when rule 6 names the folder they named); so is the room of the
//    paths of the folders held before.
// 5. A listing of a folder too large for one chunk may keep the system's stream of it open until
//    its next chunk, up to kKeptStreams at a time; one that may not opens the folder again.
// 6. The Windows path last named by rule 1 names the same folder again, without asking the open
//    listings, until a listing of another path is opened or closed or delivers a subfolder:
//    until then nothing rule 1 answered from has changed. The walk names each folder three times
//    in a row.
//
// Bounds: descriptors and handles, kHeldFolders and kKeptStreams; memory, one chunk per
// open listing (a folder's own records, so a deep walk through small folders holds little), the
// remembered folder, and the spares.
class ListingEngine {
 public:
  static constexpr std::size_t kSpareListings = 8;

  Listing* Open();
  bool Start(Listing& listing);
  bool ReadNextChunk(Listing& listing);
  void Close(Listing* listing);
  bool Resolve(const char* windowsPath, std::size_t length, SystemPath& path) const;
  bool Name(Listing& listing, const char* pattern, std::size_t split);
  // Rule 6: what listing changed may change what rule 1 answers.
  void Changed(const Listing& listing) {
    if (listing.resolution != resolution_) resolvedValid_ = false;
  }
  void Opened(Listing* listing) { open_.push_back(listing); }
  std::size_t ChunksRead() const { return chunksRead_; }
  std::size_t ListingsMade() const { return listingsMade_; }

 private:
  struct Held {
    SystemPath folder;
    int descriptor;
    std::size_t users;
  };
  // Rule 3.
  bool Hold(const SystemPath& folder, int descriptor);
  void Use(int descriptor);
  void Release(int descriptor);
  int ParentOf(const SystemPath& folder) const;
  // Rule 2.
  void Remember(const Listing& listing, std::shared_ptr<const Records> records, bool subfolders);
  void Forget();
  void Keep(const Records& chunk);

  std::vector<Listing*> open_;  // rule 1, in the order opened
  // Rule 6: the path last named by rule 1, its folder, and which resolution it was.
  std::string resolvedPath_;
  SystemPath resolvedFolder_;
  std::size_t resolution_ = 0;
  bool resolvedValid_ = false;
  // The first heldCount_ are held, the walk's innermost folder last; rule 4 for the rest.
  std::vector<Held> held_;
  std::size_t heldCount_ = 0;
  SystemPath recentFolder_;
  std::size_t recentResolution_ = 0;  // what named the remembered folder, if rule 6 did
  std::shared_ptr<const Records> recentRecords_;
  bool recentSubfoldersOnly_ = false;
  int recentHeld_ = kNotOpen;
  const Listing* keeping_ = nullptr;  // the pass that keeps a large folder's subfolders
  std::shared_ptr<Records> kept_;
  std::vector<std::unique_ptr<Listing>> spares_;
  Chunk chunk_;  // what each read fills, before its records are copied into a listing's own
  std::size_t chunksRead_ = 0;
  std::size_t listingsMade_ = 0;
  std::size_t keptStreams_ = 0;  // listings whose reader keeps their folder open between chunks
};

ListingEngine& Engine() {
  static ListingEngine engine;
  return engine;
}

bool ListingEngine::Hold(const SystemPath& folder, int descriptor) {
  if (!kHoldsFolders || heldCount_ >= kHeldFolders) return false;
  if (heldCount_ == held_.size()) held_.emplace_back();
  Held& slot = held_[heldCount_++];
  slot.folder.assign(folder);
  slot.descriptor = descriptor;
  slot.users = 1;
  return true;
}

void ListingEngine::Use(int descriptor) {
  for (std::size_t at = heldCount_; at-- > 0;) {
    if (held_[at].descriptor == descriptor) {
      ++held_[at].users;
      return;
    }
  }
}

void ListingEngine::Release(int descriptor) {
  for (std::size_t at = heldCount_; at-- > 0;) {
    if (held_[at].descriptor != descriptor) continue;
    if (--held_[at].users == 0) {
      CloseFolder(descriptor);
      auto const slot = held_.begin() + static_cast<std::ptrdiff_t>(at);
      std::rotate(slot, slot + 1, held_.begin() + static_cast<std::ptrdiff_t>(heldCount_));
      --heldCount_;
    }
    return;
  }
}

// The held folder that folder lies in as one more name, or kNotOpen.
int ListingEngine::ParentOf(const SystemPath& folder) const {
  std::size_t end = folder.size();
  while (end > 0 && (folder[end - 1] == '/' || folder[end - 1] == '\\')) --end;
  while (end > 0 && folder[end - 1] != '/' && folder[end - 1] != '\\') --end;
  for (std::size_t at = heldCount_; at-- > 0;) {
    SystemPath const& parent = held_[at].folder;
    if (end > 0 && parent.size() == end && folder.compare(0, end, parent) == 0) {
      return held_[at].descriptor;
    }
  }
  return kNotOpen;
}

void ListingEngine::Remember(const Listing& listing, std::shared_ptr<const Records> records,
                             bool subfolders) {
  Forget();
  recentFolder_ = listing.folder;
  recentResolution_ = listing.resolution;
  recentRecords_ = std::move(records);
  recentSubfoldersOnly_ = subfolders;
  recentHeld_ = listing.held;
  if (recentHeld_ != kNotOpen) Use(recentHeld_);
}

void ListingEngine::Forget() {
  if (recentHeld_ != kNotOpen) Release(recentHeld_);
  recentHeld_ = kNotOpen;
  recentRecords_.reset();
}

void ListingEngine::Keep(const Records& chunk) {
  if (kept_ == nullptr) return;
  for (std::size_t at = 0; at < chunk.size();) {
    FolderRecord const& record = RecordAt(chunk, at);
    at += record.d_reclen;
    if (!MayBeFolder(record)) continue;
    if (kept_->size() + record.d_reclen > kKeptFolderBytes) {
      kept_.reset();
      return;
    }
    auto const* const bytes = reinterpret_cast<const char*>(&record);
    kept_->insert(kept_->end(), bytes, bytes + record.d_reclen);
  }
}

bool ListingEngine::ReadNextChunk(Listing& listing) {
  bool const keepOpen = listing.descriptor != kNotOpen;
  int const opened =
      keepOpen ? listing.descriptor : OpenFolder(listing.folder, ParentOf(listing.folder));
  if (opened == kNotOpen) return false;
  bool const firstChunk = !listing.read.started;
  // Forgotten before the read, so that the records it shared with this listing can be read over.
  Forget();
  listing.Deliver(nullptr);
  if (listing.buffer == nullptr || listing.buffer.use_count() > 1) {
    listing.buffer = std::make_shared<Records>();
  }
  ++chunksRead_;
  bool const keptBefore = listing.read.keeps;
  std::size_t used = 0;
  bool const read = ReadChunk(listing.folder, opened, keptBefore || keptStreams_ < kKeptStreams,
                              listing.read, chunk_, used, listing.lastChunk);
  if (listing.read.keeps != keptBefore) keptStreams_ += listing.read.keeps ? 1 : -1;
  if (read) {
    listing.read.started = true;
    listing.buffer->assign(chunk_.bytes, chunk_.bytes + used);
    listing.Deliver(listing.buffer);
    // A pass over every entry of a folder too large for one chunk keeps its subfolders for the
    // pass over them that follows; one pass at a time.
    if (firstChunk && !listing.lastChunk && !listing.directoriesOnly && keeping_ == nullptr) {
      keeping_ = &listing;
      kept_ = std::make_shared<Records>();
    }
    if (keeping_ == &listing) Keep(*listing.records);
  }
  bool const wholeFolder = read && firstChunk && listing.lastChunk;
  bool const keptToTheEnd = read && listing.lastChunk && keeping_ == &listing && kept_ != nullptr;
  if ((wholeFolder || keptToTheEnd) && Hold(listing.folder, opened)) {
    listing.held = opened;
    // The listing's own descriptor is held from now on, and released, not closed, with it.
    if (keepOpen) listing.descriptor = kNotOpen;
  } else if (!keepOpen) {
    CloseFolder(opened);
  }
  if (!read) return false;
  if (wholeFolder) {
    Remember(listing, listing.records, false);
  } else if (keeping_ == &listing && listing.lastChunk) {
    keeping_ = nullptr;
    if (kept_ != nullptr) Remember(listing, std::move(kept_), true);
  }
  return true;
}

bool ListingEngine::Start(Listing& listing) {
  if (recentRecords_ != nullptr && (!recentSubfoldersOnly_ || listing.directoriesOnly) &&
      ((listing.resolution != 0 && listing.resolution == recentResolution_) ||
       recentFolder_ == listing.folder)) {
    listing.Deliver(recentRecords_);
    listing.held = recentHeld_;
    if (listing.held != kNotOpen) Use(listing.held);
    // An open listing holds no records besides those it delivers, so memory stays flat however
    // deep the walk goes.
    if (listing.buffer != listing.records) listing.buffer.reset();
    listing.read.started = true;
    listing.lastChunk = true;
  }
  if (listing.withDetails && listing.held == kNotOpen) {
    listing.descriptor = OpenFolder(listing.folder, ParentOf(listing.folder));
    if (listing.descriptor == kNotOpen) return false;
  }
  return listing.records != nullptr || ReadNextChunk(listing);
}

bool IsDotName(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Delivers the listing's next entry. Only a new chunk asks anything of the engine.
bool Next(Listing& listing, WIN32_FIND_DATAA& entry) {
  for (;;) {
    // A listing whose last read failed has no records until a read succeeds.
    if (listing.next == listing.end) {
      if (listing.lastChunk || !Engine().ReadNextChunk(listing)) {
        // The end counts as one delivery of nothing: the earlier subfolder is the last one.
        Engine().Changed(listing);
        std::swap(listing.earlier, listing.later);
        listing.later.clear();
        return false;
      }
      continue;
    }
    auto const& record = *reinterpret_cast<const FolderRecord*>(listing.next);
    listing.next += record.d_reclen;
    // Most records of a folder are files, which a listing of subfolders passes over here.
    if (listing.directoriesOnly && !MayBeFolder(record)) continue;
    if (!listing.matchesAll && !NameMatches(listing.match, record.d_name)) continue;
    int const opened = listing.descriptor != kNotOpen ? listing.descriptor : listing.held;
    if (!DescribeRecord(listing.folder, opened, record, listing.withDetails, entry)) continue;
    bool const directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (listing.directoriesOnly && !directory) continue;
    if (directory && !IsDotName(record.d_name)) {
      Engine().Changed(listing);
      std::swap(listing.earlier, listing.later);
      auto const* const bytes = reinterpret_cast<const char*>(&record);
      listing.later.assign(bytes, bytes + record.d_reclen);
    }
    return true;
  }
}

void ListingEngine::Close(Listing* listing) {
  Changed(*listing);
  for (std::size_t at = open_.size(); at-- > 0;) {
    if (open_[at] == listing) {
      open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(at));
      break;
    }
  }
  if (keeping_ == listing) {
    keeping_ = nullptr;
    kept_.reset();
  }
  if (listing->read.keeps) --keptStreams_;
  EndReading(listing->read);
  if (listing->held != kNotOpen) Release(listing->held);
  if (listing->descriptor != kNotOpen) CloseFolder(listing->descriptor);
  if (spares_.size() >= kSpareListings) {
    delete listing;
    return;
  }
  // Only the room is kept: what the next listing does not set when it opens starts again as a new
  // listing's.
  listing->descriptor = kNotOpen;
  listing->held = kNotOpen;
  listing->Deliver(nullptr);
  listing->lastChunk = false;
  listing->read = {};
  listing->earlier.clear();
  listing->later.clear();
  listing->resolution = 0;
  spares_.emplace_back(listing);
}

Listing* ListingEngine::Open() {
  if (spares_.empty()) {
    ++listingsMade_;
    return new Listing;
  }
  Listing* const listing = spares_.back().release();
  spares_.pop_back();
  return listing;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool ListingEngine::Resolve(const char* windowsPath, std::size_t length, SystemPath& path) const {
  for (std::size_t at = open_.size(); at-- > 0;) {
    Listing const& listing = *open_[at];
    std::string const& folder = listing.windowsFolder;
    if (folder.empty() || length < folder.size() ||
        folder.compare(0, folder.size(), windowsPath, folder.size()) != 0)
      continue;
    if (length == folder.size()) {
      path = listing.folder;
      return true;
    }
    if (!IsSeparator(windowsPath[folder.size()])) continue;
    const char* const name = windowsPath + folder.size() + 1;
    std::size_t const nameLength = length - folder.size() - 1;
    for (Records const* recorded : {&listing.earlier, &listing.later}) {
      if (recorded->empty()) continue;
      const char* const shown = AsRecord(*recorded).d_name;
      if (std::strlen(shown) == nameLength && std::memcmp(shown, name, nameLength) == 0) {
        path = listing.folder;
        AppendChild(path, AsRecord(*recorded));
        return true;
      }
    }
  }
  return false;
}

// Names the listing's folder: the Windows path before the pattern's last separator (at split - 1).
bool ListingEngine::Name(Listing& listing, const char* pattern, std::size_t split) {
  std::size_t const length = split > 0 ? split - 1 : 0;
  if (resolvedValid_ && std::string_view(pattern, length) == resolvedPath_) {
    if (listing.named != resolution_) {
      listing.windowsFolder = resolvedPath_;
      listing.folder = resolvedFolder_;
      listing.named = resolution_;
    }
    listing.resolution = resolution_;
    return true;
  }
  // A listing of another path is opened.
  resolvedValid_ = false;
  listing.windowsFolder.assign(pattern, length);
  listing.named = 0;
  if (!Resolve(pattern, length, listing.folder)) return TypedFolder(pattern, split, listing.folder);
  resolvedPath_ = listing.windowsFolder;
  resolvedFolder_ = listing.folder;
  listing.resolution = listing.named = ++resolution_;
  resolvedValid_ = true;
  return true;
}

bool MatchesAll(const char* match) {
  return match[0] == '\0' || std::strcmp(match, "*") == 0 || std::strcmp(match, "*.*") == 0;
}

}  // namespace

bool ListedPath(const char* windowsPath, std::size_t length, SystemPath& path) {
  return Engine().Resolve(windowsPath, length, path);
}

HANDLE FindFirstFileExA(LPCSTR pattern, FINDEX_INFO_LEVELS level, void* entry,
                        FINDEX_SEARCH_OPS search, void*, DWORD) {
  ListingEngine& engine = Engine();
  std::size_t split = std::strlen(pattern);
  while (split > 0 && !IsSeparator(pattern[split - 1])) --split;

  Listing* const listing = engine.Open();
  const char* const match = pattern + split;
  listing->matchesAll = MatchesAll(match);
  if (!listing->matchesAll) listing->match.assign(match);
  listing->directoriesOnly = search == FindExSearchLimitToDirectories;
  listing->withDetails = level == FindExInfoStandard;
  bool const found = engine.Name(*listing, pattern, split) && engine.Start(*listing) &&
                     Next(*listing, *static_cast<WIN32_FIND_DATAA*>(entry));
  if (!found) {
    engine.Close(listing);
    return INVALID_HANDLE_VALUE;
  }
  engine.Opened(listing);
  return listing;
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* entry) {
  // Qualified: the system's own of the name is a candidate too, found through the argument types.
  return platform::FindFirstFileExA(pattern, FindExInfoStandard, entry, FindExSearchNameMatch,
                                    nullptr, 0);
}

BOOL FindNextFileA(HANDLE listing, WIN32_FIND_DATAA* entry) {
  return Next(*static_cast<Listing*>(listing), *entry) ? TRUE : FALSE;
}

BOOL FindClose(HANDLE listing) {
  Engine().Close(static_cast<Listing*>(listing));
  return TRUE;
}

std::size_t ChunksRead() { return Engine().ChunksRead(); }
std::size_t ListingsMade() { return Engine().ListingsMade(); }

}  // namespace platform
