// Folder listings for every build: FindFirstFileExA, FindNextFileA and FindClose, written once over
// one folder reader per system (listing.h). Every failure folds into the one outcome the callers
// test for: INVALID_HANDLE_VALUE or FALSE.
//
// The engine keeps a stack of visits that mirrors the walk's nesting: a visit is one folder the
// walk is inside or has just named, with the path the caller spelled for it, the folder itself held
// open, the records read from it, and the last two subfolders its listings delivered. Its rules:
//
// 1. Names. A path names a visit on the stack when it is that visit's path as spelled; it names a
//    subfolder the top visit delivered when it is the top's path, one separator and the name of one
//    of the last two subfolders the top's listings delivered (the walk enters a subfolder after
//    fetching the one after it): that very subfolder, by its real name, whatever bytes the name
//    holds. A path is never split to find its folder. When a visit's listing delivers another
//    subfolder or its end, the visits above it are done with and leave the stack. Any other path,
//    what the user typed, is read by the path rules and starts a stack of its own.
// 2. One visit, one folder. A subfolder is opened inside its parent from the record that named it,
//    and every later chunk of a folder is read from the same open folder, so a folder renamed or
//    replaced meanwhile is never read in another's place. Folders stay open while the system gives
//    descriptors: when an open fails for want of them, the soft limit is raised once, then the
//    oldest visit holding one gives it back; opened again by its path when it is needed, it must
//    still be the same folder, else it counts as one that vanished.
// 3. Records once per visit, within kKeptBytes. A visit keeps the records read from its folder from
//    its first on, all of them, or, once the folder is larger than a chunk, those that may be
//    folders; its listings deliver from them in turn (the walk lists a folder up to three times:
//    its probe, its files, its subfolders). The kept records of every visit and listing together
//    stay within kKeptBytes, plus the chunk a listing is delivering from. When more do not fit, the
//    oldest visit's are given up first (the walk comes back to it last), and each of its listings
//    reads on when it gets there, from the same open folder, just after the last record it looked
//    at: never by passing over a count.
#include "platform/listing.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

namespace {

constexpr std::size_t kKeptBytes = 1024 * 1024;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

const FolderRecord& RecordAt(const char* bytes) {
  return *reinterpret_cast<const FolderRecord*>(bytes);
}
const FolderRecord& RecordAt(const Records& records, std::size_t at) {
  return RecordAt(records.data() + at);
}

void CopyRecord(const FolderRecord& record, Records& to) {
  auto const* const bytes = reinterpret_cast<const char*>(&record);
  to.assign(bytes, bytes + RecordLength(record));
}

// Appends the records of [first, first + used) to to, or only those that may be folders.
void AppendRecords(const char* first, std::size_t used, bool foldersOnly, Records& to) {
  for (const char* at = first; at != first + used;) {
    std::size_t const length = RecordLength(RecordAt(at));
    if (!foldersOnly || MayBeFolder(RecordAt(at))) to.insert(to.end(), at, at + length);
    at += length;
  }
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDotName(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

struct Listing;

struct Visit {
  Folder* folder = nullptr;
  bool held = false;
  std::size_t depth = 0;
  std::size_t begin = 0;  // its path as spelled: the engine's spelled_[begin, end)
  std::size_t end = 0;
  // Rule 3: the records from the folder's first on, up to just after frontier (none: its start).
  Records records;
  Records frontier;
  bool subfoldersOnly = false;
  bool complete = false;  // records reach the folder's end
  bool growing = true;    // records may still be extended
  const Listing* extender = nullptr;
  std::size_t readers = 0;  // listings delivering from records
  std::size_t kept = 0;     // bytes held by records and by its listings' own
  // Whose next chunk the folder stands at: a listing's, or, the visit itself, its records' end.
  const void* standsFor = nullptr;
  std::size_t listings = 0;
  Records earlier;  // rule 1: the last two subfolders delivered, earlier first
  Records later;
};

struct Listing {
  Visit* visit = nullptr;
  bool matchesAll = true;
  bool directoriesOnly = false;
  bool withDetails = false;
  bool fromKept = false;  // delivering from the visit's records, else from own
  bool extends = false;   // its chunks extend the visit's records
  bool lastChunk = false;
  std::size_t next = 0;  // offsets in the records delivered from
  std::size_t end = 0;
  std::size_t examined = kNone;
  Records own;
  Records resume;  // its next chunk follows this record (none: the folder's start)
  std::string match;
};

class ListingEngine {
 public:
  bool Resolve(const char* path, std::size_t length, Visit*& visit, const FolderRecord*& child);
  Visit* Name(const char* pattern, std::size_t length, std::size_t typedLength);
  Listing* Open(Visit& visit, bool directoriesOnly, bool withDetails, const char* match);
  bool Next(Listing& listing, WIN32_FIND_DATAA& entry);
  void Close(Listing* listing);

 private:
  Visit& Top() { return *stack_[size_ - 1]; }
  bool Spells(const Visit& visit, const char* path, std::size_t length) const;
  const FolderRecord* DeliveredChild(const Visit& visit, const char* path,
                                     std::size_t length) const;
  Visit& Push(Folder* folder, std::size_t begin, const char* path, std::size_t length);
  void PopAbove(const Visit* visit);
  void Delivered(Visit& visit, const FolderRecord* record);
  bool Hold(Visit& visit);
  bool GiveBack(const Visit* keep);
  bool Refill(Listing& listing);
  bool Extend(Visit& visit, Listing& listing, const char* first, std::size_t used);
  template <class Change>
  bool Store(Visit& visit, Records& store, std::size_t capacity, bool mayRefuse, Change change);
  void GiveUpRecords(Visit& visit);

  std::vector<std::unique_ptr<Visit>> stack_;  // the first size_ are the stack, the rest spare
  std::size_t size_ = 0;
  std::string spelled_;
  std::vector<Listing*> open_;
  std::size_t kept_ = 0;
  Records lastRead_;  // the last record of the chunk read last
  Chunk chunk_;
};

ListingEngine& Engine() {
  static ListingEngine engine;
  return engine;
}

bool ListingEngine::Spells(const Visit& visit, const char* path, std::size_t length) const {
  return visit.end - visit.begin == length &&
         std::memcmp(spelled_.data() + visit.begin, path, length) == 0;
}

const FolderRecord* ListingEngine::DeliveredChild(const Visit& visit, const char* path,
                                                  std::size_t length) const {
  std::size_t const at = visit.end - visit.begin;
  if (length <= at + 1 || !IsSeparator(path[at]) ||
      std::memcmp(spelled_.data() + visit.begin, path, at) != 0)
    return nullptr;
  std::size_t const nameLength = length - at - 1;
  for (Records const* recorded : {&visit.earlier, &visit.later}) {
    if (recorded->empty()) continue;
    const char* const shown = ShownName(RecordAt(*recorded, 0));
    if (std::strlen(shown) == nameLength && std::memcmp(shown, path + at + 1, nameLength) == 0)
      return &RecordAt(*recorded, 0);
  }
  return nullptr;
}

// Rule 1: the visit path names, or the top visit and child, the record of the subfolder it names.
bool ListingEngine::Resolve(const char* path, std::size_t length, Visit*& visit,
                            const FolderRecord*& child) {
  child = nullptr;
  if (size_ == 0) return false;
  visit = &Top();
  if (Spells(*visit, path, length)) return true;
  if ((child = DeliveredChild(*visit, path, length)) != nullptr) return true;
  for (std::size_t at = size_ - 1; at-- > 0;) {
    visit = stack_[at].get();
    if (Spells(*visit, path, length)) return true;
  }
  return false;
}

Visit& ListingEngine::Push(Folder* folder, std::size_t begin, const char* path,
                           std::size_t length) {
  if (size_ == stack_.size()) stack_.push_back(std::make_unique<Visit>());
  Visit& visit = *stack_[size_];
  visit.depth = size_++;
  visit.folder = folder;
  visit.held = true;
  visit.begin = begin;
  spelled_.append(path, length);
  visit.end = spelled_.size();
  visit.standsFor = &visit;
  visit.earlier.clear();
  visit.later.clear();
  visit.listings = 0;
  return visit;
}

void ListingEngine::PopAbove(const Visit* visit) {
  std::size_t const keep = visit != nullptr ? visit->depth + 1 : 0;
  while (size_ > keep && Top().listings == 0) {
    GiveUpRecords(Top());
    CloseFolder(Top().folder);
    --size_;
  }
}

// Rule 1: the visit a pattern's folder part names, entered when it is a subfolder the top delivered
// or a path the user typed; nullptr when that folder cannot be opened.
Visit* ListingEngine::Name(const char* pattern, std::size_t length, std::size_t typedLength) {
  Visit* visit = nullptr;
  const FolderRecord* child = nullptr;
  bool const listed = Resolve(pattern, length, visit, child);
  if (listed && child == nullptr) return visit;
  if (!listed) PopAbove(nullptr);
  Folder* opened = nullptr;
  for (;;) {
    if (listed && !Hold(*visit)) return nullptr;
    OpenResult const result = listed ? OpenChildFolder(*visit->folder, *child, opened)
                                     : OpenTypedFolder(pattern, typedLength, opened);
    if (result == OpenResult::kOpened) break;
    if (result == OpenResult::kFailed || !GiveBack(listed ? visit : nullptr)) return nullptr;
  }
  std::size_t const begin = listed ? visit->begin : size_ > 0 ? Top().end : 0;
  std::size_t const spelledBefore = listed ? visit->end - visit->begin : 0;
  spelled_.resize(begin + spelledBefore);
  return &Push(opened, begin, pattern + spelledBefore, length - spelledBefore);
}

// Rule 2: the visit's folder open again when it was given back.
bool ListingEngine::Hold(Visit& visit) {
  while (!visit.held) {
    OpenResult const result = ReopenFolder(*visit.folder);
    if (result == OpenResult::kOpened) {
      visit.held = true;
      visit.standsFor = nullptr;
    } else if (result == OpenResult::kFailed || !GiveBack(&visit)) {
      return false;
    }
  }
  return true;
}

// Rule 2: room for one more open, from a raised limit or else the oldest visit holding a
// descriptor.
bool ListingEngine::GiveBack(const Visit* keep) {
  if (RaiseOpenLimit()) return true;
  for (std::size_t at = 0; at < size_; ++at) {
    Visit& visit = *stack_[at];
    if (!visit.held || &visit == keep) continue;
    ReleaseFolder(*visit.folder);
    visit.held = false;
    visit.standsFor = nullptr;
    return true;
  }
  return false;
}

// Rule 3: change leaves store, one of visit's, within capacity bytes. Room is made by giving up the
// records of the visits above visit, which the walk is done with, then of those below it, from the
// bottom; refused when that cannot make room and mayRefuse.
template <class Change>
bool ListingEngine::Store(Visit& visit, Records& store, std::size_t capacity, bool mayRefuse,
                          Change change) {
  std::size_t const before = store.capacity();
  if (capacity > before) {
    for (std::size_t at = size_; at-- > visit.depth + 1 && kept_ + capacity - before > kKeptBytes;)
      GiveUpRecords(*stack_[at]);
    for (std::size_t at = 0; at < visit.depth && kept_ + capacity - before > kKeptBytes; ++at)
      GiveUpRecords(*stack_[at]);
    if (mayRefuse && kept_ + capacity - before > kKeptBytes) return false;
    store.reserve(capacity);
  }
  change();
  kept_ += store.capacity() - before;
  visit.kept += store.capacity() - before;
  return true;
}

void ListingEngine::GiveUpRecords(Visit& visit) {
  for (Listing* listing : open_) {
    if (visit.listings == 0) break;
    if (listing->visit != &visit) continue;
    Records const& from = listing->fromKept ? visit.records : listing->own;
    if (listing->next < listing->end) {
      if (listing->examined != kNone)
        CopyRecord(RecordAt(from, listing->examined), listing->resume);
      if (listing->examined == kNone && listing->fromKept) listing->resume.clear();
      listing->lastChunk = false;
    } else if (listing->fromKept || listing->extends) {
      listing->resume = visit.frontier;
      listing->lastChunk = visit.complete;
    }
    listing->fromKept = listing->extends = false;
    listing->next = listing->end = 0;
    listing->examined = kNone;
    Records().swap(listing->own);
  }
  Records().swap(visit.records);
  kept_ -= visit.kept;
  visit.kept = 0;
  visit.frontier.clear();
  visit.subfoldersOnly = visit.complete = false;
  visit.growing = true;
  visit.extender = nullptr;
  visit.readers = 0;
  visit.standsFor = nullptr;
}

// Rule 3: the chunk read by listing extends visit's records; false when they can grow no more.
bool ListingEngine::Extend(Visit& visit, Listing& listing, const char* first, std::size_t used) {
  if (!visit.subfoldersOnly && !visit.records.empty()) {
    // Larger than a chunk: from here on only records that may be folders are kept, which moves
    // them under any other listing delivering from them.
    if (visit.readers > (listing.fromKept ? 1 : 0)) return false;
    Records folders;
    AppendRecords(visit.records.data(), visit.records.size(), true, folders);
    Store(visit, visit.records, 0, false, [&] { visit.records.swap(folders); });
    visit.subfoldersOnly = true;
    if (listing.fromKept) listing.next = listing.end = visit.records.size();
    listing.examined = kNone;
  }
  std::size_t size = visit.records.size() + used;
  if (visit.subfoldersOnly) {
    size = visit.records.size();
    for (std::size_t at = 0; at < used; at += RecordLength(RecordAt(first + at)))
      if (MayBeFolder(RecordAt(first + at))) size += RecordLength(RecordAt(first + at));
  }
  // Room grows by doubling up to a chunk at a time: reserved room counts against kKeptBytes.
  std::size_t const before = visit.records.capacity();
  std::size_t const capacity =
      size <= before ? before : std::max(size, std::min(2 * before, before + kChunkBytes));
  return Store(visit, visit.records, capacity, true,
               [&] { AppendRecords(first, used, visit.subfoldersOnly, visit.records); });
}

// Gives listing its next records; false at the folder's end or when it cannot be read.
bool ListingEngine::Refill(Listing& listing) {
  Visit& visit = *listing.visit;
  if (listing.fromKept && listing.end < visit.records.size()) {
    listing.end = visit.records.size();
    return true;
  }
  if (listing.fromKept ? visit.complete : listing.lastChunk) return false;
  bool const atFrontier = listing.fromKept || listing.extends;
  bool extending =
      atFrontier && visit.growing && (visit.extender == nullptr || visit.extender == &listing);
  if (atFrontier && !extending) listing.resume = visit.frontier;
  if (!Hold(visit)) return false;
  Records const& after = extending ? visit.frontier : listing.resume;
  const void* const reader = extending ? static_cast<const void*>(&visit) : &listing;
  if (visit.standsFor != reader &&
      !(after.empty() ? Rewind(*visit.folder) : ResumeAfter(*visit.folder, RecordAt(after, 0))))
    return false;
  visit.standsFor = nullptr;
  std::size_t used = 0;
  bool last = false;
  if (!ReadChunk(*visit.folder, chunk_, used, last)) return false;
  std::size_t lastAt = 0;
  for (std::size_t at = 0; at < used; at += RecordLength(RecordAt(chunk_.bytes + at))) lastAt = at;
  if (used > 0) {
    CopyRecord(RecordAt(chunk_.bytes + lastAt), lastRead_);
  } else {
    lastRead_ = after;
  }
  if (extending && !Extend(visit, listing, chunk_.bytes, used)) visit.growing = extending = false;
  if (extending) {
    visit.frontier.swap(lastRead_);
    visit.extender = &listing;
    visit.complete = last;
    visit.standsFor = &visit;
    if (listing.fromKept && (!visit.subfoldersOnly || listing.directoriesOnly)) {
      listing.end = visit.records.size();
      return true;
    }
  } else {
    listing.resume.swap(lastRead_);
    visit.standsFor = &listing;
  }
  // The chunk becomes the listing's own: those that may be folders, for a listing of folders.
  if (listing.fromKept) --visit.readers;
  listing.fromKept = false;
  listing.extends = extending;
  listing.lastChunk = last;
  listing.examined = kNone;
  listing.next = 0;
  Store(visit, listing.own, used, false, [&] {
    listing.own.clear();
    AppendRecords(chunk_.bytes, used, listing.directoriesOnly, listing.own);
  });
  listing.end = listing.own.size();
  return true;
}

// Rule 1: what a visit delivered last; the visits above it are done with.
void ListingEngine::Delivered(Visit& visit, const FolderRecord* record) {
  PopAbove(&visit);
  std::swap(visit.earlier, visit.later);
  if (record != nullptr) {
    CopyRecord(*record, visit.later);
  } else {
    visit.later.clear();
  }
}

bool ListingEngine::Next(Listing& listing, WIN32_FIND_DATAA& entry) {
  Visit& visit = *listing.visit;
  for (;;) {
    if (listing.next == listing.end) {
      if (Refill(listing)) continue;
      break;
    }
    FolderRecord const& record =
        RecordAt(listing.fromKept ? visit.records : listing.own, listing.next);
    listing.examined = listing.next;
    listing.next += RecordLength(record);
    // Most records of a folder are files, which a listing of subfolders passes over here.
    if (listing.directoriesOnly && !MayBeFolder(record)) continue;
    if (!listing.matchesAll && !NameMatches(listing.match, ShownName(record))) continue;
    if (!Hold(visit)) break;
    if (!DescribeRecord(*visit.folder, record, listing.withDetails, entry)) continue;
    bool const directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (listing.directoriesOnly && !directory) continue;
    if (directory && !IsDotName(entry.cFileName)) Delivered(visit, &record);
    return true;
  }
  // The end counts as one delivery of nothing: the earlier subfolder is the last one.
  Delivered(visit, nullptr);
  return false;
}

bool MatchesAll(const char* match) {
  return match[0] == '\0' || std::strcmp(match, "*") == 0 || std::strcmp(match, "*.*") == 0;
}

Listing* ListingEngine::Open(Visit& visit, bool directoriesOnly, bool withDetails,
                             const char* match) {
  auto* const listing = new Listing;
  listing->visit = &visit;
  listing->directoriesOnly = directoriesOnly;
  listing->withDetails = withDetails;
  listing->matchesAll = MatchesAll(match);
  if (!listing->matchesAll) listing->match.assign(match);
  // Records kept of folders only serve a listing of folders.
  listing->fromKept = !visit.subfoldersOnly || directoriesOnly;
  if (listing->fromKept) {
    ++visit.readers;
    listing->end = visit.records.size();
  }
  ++visit.listings;
  open_.push_back(listing);
  return listing;
}

void ListingEngine::Close(Listing* listing) {
  Visit& visit = *listing->visit;
  --visit.listings;
  if (listing->fromKept) --visit.readers;
  if (visit.extender == listing) visit.extender = nullptr;
  if (visit.standsFor == listing) visit.standsFor = nullptr;
  Store(visit, listing->own, 0, false, [&] { Records().swap(listing->own); });
  open_.erase(std::find(open_.begin(), open_.end(), listing));
  delete listing;
}

}  // namespace

bool ListedFolder(const char* windowsPath, std::size_t length, Folder*& folder,
                  const FolderRecord*& child) {
  Visit* visit = nullptr;
  if (!Engine().Resolve(windowsPath, length, visit, child)) return false;
  folder = visit->folder;
  return true;
}

HANDLE FindFirstFileExA(LPCSTR pattern, FINDEX_INFO_LEVELS level, void* entry,
                        FINDEX_SEARCH_OPS search, void*, DWORD) {
  ListingEngine& engine = Engine();
  std::size_t split = std::strlen(pattern);
  while (split > 0 && !IsSeparator(pattern[split - 1])) --split;
  Visit* const visit = engine.Name(pattern, split > 0 ? split - 1 : 0, split);
  if (visit == nullptr) return INVALID_HANDLE_VALUE;
  Listing* const listing = engine.Open(*visit, search == FindExSearchLimitToDirectories,
                                       level == FindExInfoStandard, pattern + split);
  if (!engine.Next(*listing, *static_cast<WIN32_FIND_DATAA*>(entry))) {
    engine.Close(listing);
    return INVALID_HANDLE_VALUE;
  }
  return listing;
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* entry) {
  // Qualified: the system's own of the name is a candidate too, found through the argument types.
  return platform::FindFirstFileExA(pattern, FindExInfoStandard, entry, FindExSearchNameMatch,
                                    nullptr, 0);
}

BOOL FindNextFileA(HANDLE listing, WIN32_FIND_DATAA* entry) {
  return Engine().Next(*static_cast<Listing*>(listing), *entry) ? TRUE : FALSE;
}

BOOL FindClose(HANDLE listing) {
  Engine().Close(static_cast<Listing*>(listing));
  return TRUE;
}

}  // namespace platform
