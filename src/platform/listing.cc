// Folder listings for every build: FindFirstFileExA, FindNextFileA and FindClose, written once over
// the folder reader of each system (listing.h); every failure folds into INVALID_HANDLE_VALUE or
// FALSE. A stack of visits mirrors the walk's nesting: a visit is a folder the walk is inside or
// has just named, with the path the caller spelled, the folder held open, the records read from it,
// and the last two subfolders its listings delivered. Three rules:
//
// 1. Names. A path names a visit when it is the visit's path as spelled, and a subfolder the top
//    delivered when it is the top's path, a separator and the name of one of the last two
//    subfolders it delivered (the walk enters one after fetching the next): that very subfolder, by
//    its real name, whatever bytes the name holds; a path is never split. When a visit delivers
//    another subfolder or its end, the visits above it leave the stack. Any other path, typed by
//    the user, is read by the path rules and starts a stack of its own.
// 2. One visit, one folder. A subfolder is opened inside its parent from the record that named it,
//    and read only through that open folder. Folders stay open while descriptors last; then the
//    limit is raised as far as it goes, then the oldest visit holding one gives it back. Opened
//    again by its path, a folder must be the same one, else it counts as vanished.
// 3. Records once per visit, within kKeptBytes. A visit keeps what it read from its first record
//    on (of a folder larger than a chunk, the records that may be folders) for its listings (the
//    walk lists a folder up to three times: probe, files, subfolders). All visits and listings keep
//    at most kKeptBytes, plus the chunk a listing delivers from; beyond, the oldest visit's records
//    are given up, and its listings read on later from the same open folder, just after the last
//    record each looked at: never by passing over a count.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/read_ahead.h"  // the readers of listing.h, through a ReadAhead

namespace platform {
namespace {

constexpr std::size_t kKeptBytes = 1024 * 1024;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The bytes of the records in [first, first + used), or of those that may be folders; copied too.
std::size_t Copy(const char* first, std::size_t used, bool foldersOnly, Records* to = nullptr) {
  if (!foldersOnly && to != nullptr) to->insert(to->end(), first, first + used);
  if (!foldersOnly) return used;
  std::size_t bytes = 0;
  for (const char* at = first; at != first + used; at += RecordLength(RecordAt(at))) {
    if (!MayBeFolder(RecordAt(at))) continue;
    bytes += RecordLength(RecordAt(at));
    if (to != nullptr) to->insert(to->end(), at, at + RecordLength(RecordAt(at)));
  }
  return bytes;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

struct Visit {
  // Closed with the engine when it is still open at exit.
  std::unique_ptr<Folder, void (*)(Folder*)> folder{nullptr, CloseFolder};
  bool held = false, placed = true;  // placed: it stands just after standsAfter (none: its start)
  std::size_t depth = 0, begin = 0, end = 0;  // its path as spelled: spelled_[begin, end)
  // Rule 3: the records from the folder's first on, all of them or (subfoldersOnly) those that may
  // be folders, up to just after frontier (none: the folder's start); complete: to its end.
  Records records, frontier;
  bool subfoldersOnly = false, complete = false, growing = true;  // growing: may be extended
  std::size_t kept = 0, listings = 0;  // kept: bytes of records and of its listings' own
  Records standsAfter;
  Records earlier, later;  // rule 1: the last two subfolders delivered
};

struct Listing {
  Visit* visit = nullptr;
  bool matchesAll = true, directoriesOnly = false, withDetails = false;
  bool fromKept = false, lastChunk = false;  // fromKept: delivering the visit's records, not own
  std::size_t next = 0, end = 0, examined = kNone;  // offsets in the records delivered from
  std::string match{};
  Records own{}, resume{};  // its next chunk follows resume (none: the folder's start)
};

class ListingEngine {
 public:
  // Rule 1: the visit path names, or the top and child, the record of the subfolder it names.
  bool Resolve(const char* path, std::size_t length, Visit*& visit, const FolderRecord*& child) {
    auto const spells = [&](const Visit& named) {
      return named.end - named.begin == length &&
             std::memcmp(spelled_.data() + named.begin, path, length) == 0;
    };
    child = nullptr;
    if (size_ == 0) return false;
    visit = &Top();
    if (spells(*visit) || (child = DeliveredChild(*visit, path, length)) != nullptr) return true;
    for (std::size_t at = size_ - 1; at-- > 0;) {
      visit = stack_[at].get();
      if (spells(*visit)) return true;
    }
    return false;
  }

  // Rule 1: the visit a pattern's folder part names, entered when it is a subfolder the top
  // delivered or a path the user typed; nullptr when that folder cannot be opened.
  Visit* Name(const char* pattern, std::size_t length, std::size_t typedLength) {
    Visit* top = nullptr;
    const FolderRecord* child = nullptr;
    bool const listed = Resolve(pattern, length, top, child);
    if (listed && child == nullptr) return top;
    if (!listed) PopAbove(nullptr);
    Folder* opened = nullptr;
    bool const entered =
        listed ? Hold(*top) &&
                     Opens(top, [&] { return ahead_.OpenChild(*top->folder, *child, opened); })
               : Opens(nullptr, [&] { return OpenTypedFolder(pattern, typedLength, opened); });
    if (!entered) return nullptr;
    // A subfolder's path goes on from its parent's; a typed one starts after the top's.
    std::size_t const begin = listed ? top->begin : size_ > 0 ? Top().end : 0;
    spelled_.resize(listed ? top->end : begin);
    spelled_.append(pattern + (spelled_.size() - begin), length - (spelled_.size() - begin));
    if (size_ == stack_.size()) stack_.push_back(std::make_unique<Visit>());
    Visit& visit = *stack_[size_];
    visit.depth = size_++;
    visit.folder.reset(opened);
    visit.held = visit.placed = true;
    visit.begin = begin;
    visit.end = spelled_.size();
    visit.listings = 0;
    for (Records* cleared : {&visit.standsAfter, &visit.earlier, &visit.later}) cleared->clear();
    return &visit;
  }

  Listing* Open(Visit& visit, bool directoriesOnly, bool withDetails, const char* match) {
    if (spare_.empty()) spare_.push_back(std::make_unique<Listing>());
    Listing* const listing = spare_.back().release();
    spare_.pop_back();
    bool const all =
        match[0] == '\0' || std::strcmp(match, "*") == 0 || std::strcmp(match, "*.*") == 0;
    bool const kept = !visit.subfoldersOnly || directoriesOnly;  // folders' alone serve folders
    std::size_t const end = kept ? visit.records.size() : 0;
    *listing = Listing{&visit, all, directoriesOnly, withDetails, kept, false, 0, end, kNone};
    if (!all) listing->match.assign(match);
    ++visit.listings;
    open_.push_back(listing);
    return listing;
  }

  bool Next(Listing& listing, WIN32_FIND_DATAA& entry) {
    Visit& visit = *listing.visit;
    while (listing.next < listing.end || Refill(listing)) {
      if (listing.next == listing.end) continue;
      FolderRecord const& record =
          RecordAt((listing.fromKept ? visit.records : listing.own).data() + listing.next);
      listing.examined = listing.next;
      listing.next += RecordLength(record);
      if (listing.directoriesOnly && !MayBeFolder(record)) continue;  // most records are files
      if (!listing.matchesAll && !NameMatches(listing.match, ShownName(record))) continue;
      if (!visit.held && !Hold(visit)) break;
      if (!ahead_.Describe(*visit.folder, record, listing.withDetails, entry)) continue;
      bool const directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (listing.directoriesOnly && !directory) continue;
      if (directory && !IsDotName(entry.cFileName)) Delivered(visit, &record);
      return true;
    }
    // The end counts as one delivery of nothing: the earlier subfolder is the last one.
    Delivered(visit, nullptr);
    return false;
  }

  void Close(Listing* listing) {
    --listing->visit->listings;
    Store(*listing->visit, listing->own, 0, false, [&] { Records().swap(listing->own); });
    open_.erase(std::find(open_.begin(), open_.end(), listing));
    spare_.emplace_back(listing);
  }

 private:
  Visit& Top() { return *stack_[size_ - 1]; }

  const FolderRecord* DeliveredChild(const Visit& visit, const char* path,
                                     std::size_t length) const {
    std::size_t const at = visit.end - visit.begin;
    if (length <= at + 1 || !IsSeparator(path[at]) ||
        std::memcmp(spelled_.data() + visit.begin, path, at) != 0)
      return nullptr;
    for (Records const* recorded : {&visit.earlier, &visit.later}) {
      if (recorded->empty()) continue;
      const char* const shown = ShownName(RecordAt(recorded->data()));
      if (std::strlen(shown) == length - at - 1 &&
          std::memcmp(shown, path + at + 1, length - at - 1) == 0)
        return &RecordAt(recorded->data());
    }
    return nullptr;
  }

  // Rule 1: what visit delivered last. The visits above it are done with.
  void Delivered(Visit& visit, const FolderRecord* record) {
    PopAbove(&visit);
    std::swap(visit.earlier, visit.later);
    visit.later.clear();
    if (record != nullptr) CopyRecord(*record, visit.later);
  }

  void PopAbove(const Visit* visit) {
    while (size_ > (visit != nullptr ? visit->depth + 1 : 0) && Top().listings == 0) {
      GiveUpRecords(Top());
      ahead_.Close(Top().folder.release());
      --size_;
    }
  }

  // Rule 2: whether open opens its folder, descriptors given back for it as needed (not keep's).
  template <class Opening>
  bool Opens(const Visit* keep, Opening open) {
    for (;;) {
      OpenResult const result = open();
      if (result != OpenResult::kOutOfDescriptors) return result == OpenResult::kOpened;
      if (ahead_.GiveBack() || RaiseOpenLimit()) continue;
      std::size_t at = 0;
      while (at < size_ && (!stack_[at]->held || stack_[at].get() == keep)) ++at;
      if (at == size_) return false;
      ahead_.Release(*stack_[at]->folder);
      stack_[at]->held = stack_[at]->placed = false;
    }
  }

  // Rule 2: the visit's folder open again when it was given back.
  bool Hold(Visit& visit) {
    if (!visit.held) visit.held = Opens(&visit, [&] { return ReopenFolder(*visit.folder); });
    return visit.held;
  }

  // Rule 3: change leaves store, one of visit's, within capacity; room is made by giving up the
  // records above visit (the walk is done with them), then below it from the bottom.
  template <class Change>
  bool Store(Visit& visit, Records& store, std::size_t capacity, bool mayRefuse, Change change) {
    std::size_t const before = store.capacity();
    if (capacity > before) {
      auto const over = [&] { return kept_ + capacity - before > kKeptBytes; };
      for (std::size_t at = size_; at-- > visit.depth + 1 && over();) GiveUpRecords(*stack_[at]);
      for (std::size_t at = 0; at < visit.depth && over(); ++at) GiveUpRecords(*stack_[at]);
      if (mayRefuse && over()) return false;
      store.reserve(capacity);
    }
    change();
    kept_ += store.capacity() - before;
    visit.kept += store.capacity() - before;
    return true;
  }

  // Rule 3: each listing of visit reads on later just after the last record it examined.
  void GiveUpRecords(Visit& visit) {
    for (std::size_t at = 0; at < open_.size() && visit.listings > 0; ++at) {
      Listing& listing = *open_[at];
      if (listing.visit != &visit) continue;
      if (listing.next < listing.end) {
        Records const& from = listing.fromKept ? visit.records : listing.own;
        listing.resume.clear();
        if (listing.examined != kNone)
          CopyRecord(RecordAt(from.data() + listing.examined), listing.resume);
        listing.lastChunk = false;
      } else if (listing.fromKept) {
        listing.resume = visit.frontier;
        listing.lastChunk = visit.complete;
      }
      listing.fromKept = false;
      listing.next = listing.end = 0;
      listing.examined = kNone;
      Records().swap(listing.own);
    }
    Records().swap(visit.records);
    kept_ -= std::exchange(visit.kept, 0);
    visit.frontier.clear();
    visit.subfoldersOnly = visit.complete = false;
    visit.growing = true;
  }

  // Listing's next records, false at the end; a chunk read where the visit's records end extends
  // them.
  bool Refill(Listing& listing) {
    Visit& visit = *listing.visit;
    if (listing.fromKept && listing.end < visit.records.size()) {
      listing.end = visit.records.size();
      return true;
    }
    if (listing.fromKept ? visit.complete : listing.lastChunk) return false;
    if (listing.fromKept) listing.resume = visit.frontier;
    bool extending = visit.growing && listing.resume == visit.frontier;
    if (!Hold(visit)) return false;
    bool const placed = visit.placed && visit.standsAfter == listing.resume;
    visit.placed = false;
    if (!placed && !(listing.resume.empty()
                         ? ahead_.Rewind(*visit.folder)
                         : ahead_.ResumeAfter(*visit.folder, RecordAt(listing.resume.data()))))
      return false;
    std::size_t used = 0;
    bool last = false;
    if (!ahead_.Read(*visit.folder, chunk_, used, last)) return false;
    for (std::size_t at = 0, length; at < used; at += length) {
      length = RecordLength(RecordAt(chunk_.bytes + at));
      if (at + length == used) CopyRecord(RecordAt(chunk_.bytes + at), listing.resume);
    }
    visit.standsAfter = listing.resume;
    visit.placed = true;
    if (extending) {
      // Of a folder larger than a chunk, only records that may be folders are kept; their room
      // grows by doubling, up to a chunk at a time, as reserved room counts against the bound.
      if (visit.frontier.empty()) visit.subfoldersOnly = !last;
      std::size_t const size =
          visit.records.size() + Copy(chunk_.bytes, used, visit.subfoldersOnly);
      std::size_t const room = visit.records.capacity();
      visit.growing = extending =
          Store(visit, visit.records,
                size <= room ? room : std::max(size, std::min(2 * room, room + kChunkBytes)), true,
                [&] { Copy(chunk_.bytes, used, visit.subfoldersOnly, &visit.records); });
    }
    if (extending) {
      visit.frontier = listing.resume;
      visit.complete = last;
      if (listing.fromKept && (!visit.subfoldersOnly || listing.directoriesOnly)) {
        listing.end = visit.records.size();
        return true;
      }
    }
    listing.fromKept = false;
    listing.lastChunk = last;
    listing.examined = kNone;
    listing.next = 0;
    // The chunk becomes the listing's own: those that may be folders, for a listing of folders.
    Store(visit, listing.own, used, false, [&] {
      listing.own.clear();
      Copy(chunk_.bytes, used, listing.directoriesOnly, &listing.own);
    });
    listing.end = listing.own.size();
    return true;
  }

  std::vector<std::unique_ptr<Visit>> stack_;  // the first size_ are the stack, the rest spare
  std::size_t size_ = 0;
  std::string spelled_;
  std::vector<Listing*> open_;
  std::vector<std::unique_ptr<Listing>>
      spare_;  // closed, for the next opened: as many as were open
  std::size_t kept_ = 0;
  ReadAhead ahead_;  // every call on a folder goes through it
  Chunk chunk_;
};

ListingEngine& Engine() {
  static ListingEngine engine;
  return engine;
}

}  // namespace

bool ListedFolder(const char* windowsPath, std::size_t length, Folder*& folder,
                  const FolderRecord*& child) {
  Visit* visit = nullptr;
  bool const listed = Engine().Resolve(windowsPath, length, visit, child);
  if (listed) folder = visit->folder.get();
  return listed;
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
  if (engine.Next(*listing, *static_cast<WIN32_FIND_DATAA*>(entry))) return listing;
  engine.Close(listing);
  return INVALID_HANDLE_VALUE;
}

// Qualified: the system's own of the name is a candidate too, found through the argument types.
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* entry) {
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
