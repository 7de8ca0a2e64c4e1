// Reading ahead where the file system waits. The listing engine makes its calls on folders through
// one ReadAhead, which passes them on to the folder reader unchanged until opening folders is seen
// to wait, and from then on has a bounded pool of threads read the folders that come next in the
// walk's own order, so that the walk finds them read when it gets there. Its rules:
//
// 1. Only where reads wait. Until kSlowOpens folders in a row have each taken kSlowOpen or more to
//    open, there are no threads and every call goes to the reader as it is.
// 2. The walk's order. The subfolders of every folder read are read ahead depth first, in the order
//    the folder delivered them, the nearest to where the walk stands first; whatever the walk has
//    entered or passed is no longer read ahead. A folder read ahead is read once, whole (one larger
//    than kChunks chunks is left to the walk), and the entries that the walk would ask the system
//    about (links, and with time stamps everything but folders) are described as well.
// 3. Nothing the user sees changes. The walk takes a folder's records, and the descriptions of its
//    entries, as read ahead; a folder not yet read ahead, or that could not be, it reads itself, as
//    it would have without reading ahead. A folder is opened inside a copy of its parent's open
//    folder, never by a path. The walk waits only for a folder it needs next, which the next free
//    thread reads whatever the bounds.
// 4. Bounds: kThreads threads, each with at most one request to the system at a time; kBytes of
//    records and descriptions read ahead and not yet taken; kFolders folders held open for reading
//    ahead, fewer once the system runs out of descriptors, and all of them given back when the walk
//    needs one.
// 5. Stopping. The threads share nothing with the walk but what is handed over under one lock, and
//    hold no lock while they wait for the system. The process ends when the walk does, whatever the
//    threads are waiting for; a walk waiting for a folder stops waiting once its output is gone.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/listing.h"

namespace platform {

// What reading ahead asks of a folder reader beyond listing.h: another descriptor or handle on an
// open folder, never read through, for opening its subfolders and describing its entries from
// another thread (nullptr when none can be had); and whether describing a record asks the system.
Folder* CopyFolder(Folder& folder);
bool DescribingAsks(const FolderRecord& record, bool withDetails);
// Whether standard output can take nothing more (its reader is gone), so that a walk waiting for a
// folder need not wait on: nothing it would draw could be written (standard_output-*.cc).
bool StandardOutputGone();

class ReadAhead {
 public:
  // The reader's operations of the same names, as the walk makes them.
  OpenResult OpenChild(Folder& parent, const FolderRecord& record, Folder*& child);
  bool Read(Folder& folder, Chunk& chunk, std::size_t& used, bool& lastChunk);
  bool Rewind(Folder& folder);
  bool ResumeAfter(Folder& folder, const FolderRecord& record);
  bool Describe(Folder& folder, const FolderRecord& record, bool withDetails,
                WIN32_FIND_DATAA& entry);
  void Release(Folder& folder);
  void Close(Folder* folder);
  // Gives back the descriptors held for reading ahead; false when there were none.
  bool GiveBack();

  // What describing an entry gave, its name aside.
  struct Described {
    std::string name;
    bool delivered = false;  // false: it vanished before it was described
    bool withDetails = false;
    DWORD attributes = 0;
    FILETIME creation{}, lastAccess{}, lastWrite{};
    DWORD sizeHigh = 0, sizeLow = 0;
  };
  struct Pool;

 private:
  // What the walk took of a folder read ahead: its chunks still to come, and its descriptions.
  struct Taken {
    std::vector<Records> chunks;
    std::size_t next = 0;
    bool complete = false;
    std::vector<Described> described;  // by name
    void* opener = nullptr;            // the copy of its parent it was opened inside
  };
  Taken* TakenOf(const Folder& folder);
  void Forget(const Folder& folder);

  Pool* pool_ = nullptr;  // made when reading ahead starts, and never freed: the threads use it
  std::size_t slowOpens_ = 0;
  std::unordered_map<const Folder*, Taken> taken_;
};

}  // namespace platform
