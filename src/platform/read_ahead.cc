#include "platform/read_ahead.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>
#include <unordered_set>

// Builds for tests may have reading ahead start at once.
#ifndef FOLDGRAF_SLOW_OPENS
#define FOLDGRAF_SLOW_OPENS 8
#endif

namespace platform {

namespace {

constexpr std::size_t kThreads = 16;
constexpr std::size_t kBytes = 2 * 1024 * 1024;
constexpr std::size_t kFolders = 256;
constexpr std::size_t kChunks = 4;
constexpr std::size_t kSlowOpens = FOLDGRAF_SLOW_OPENS;
constexpr auto kSlowOpen = std::chrono::milliseconds(1);
constexpr std::size_t kDescribedAtOnce = 32;                  // records one task describes
constexpr auto kOutputCheck = std::chrono::milliseconds(50);  // how often a waiting walk looks

// Where a folder comes in the walk's order: depth first, each level by the order its folder
// delivered it. Folders the walk reads itself start keys of their own, each new one first.
using Key = std::vector<std::int64_t>;

bool IsSubfolderRecord(const FolderRecord& record) {
  return MayBeFolder(record) && !IsDotName(ShownName(record));
}

}  // namespace

struct ReadAhead::Pool {
  // A copy of an open folder, which its subfolders are opened inside; closed when no subfolder
  // needs it any more.
  struct Opener {
    Folder* copy = nullptr;
    std::size_t users = 0;
  };
  enum class State { kWaiting, kReading, kDescribing, kReady, kFailed, kDropped };
  struct Node {
    Key key;
    Records record;  // the record that names it in its parent
    Opener* opener = nullptr;
    State state = State::kWaiting;
    bool needed = false;  // the walk waits for it
    Folder* folder = nullptr;
    std::vector<Records> chunks;
    std::vector<Described> described;
    std::size_t describing = 0;  // describe tasks not finished
    std::size_t bytes = 0;
  };
  // The subfolders of an open folder, in its order; those before passed the walk has entered or
  // passed.
  struct Family {
    Key key;
    Opener* opener = nullptr;
    std::vector<Node*> nodes;
    std::size_t passed = 0;
    std::unordered_set<std::string> names;
  };
  // Opening and reading a folder, or describing its records of ordinals [from, to).
  struct Task {
    Node* node;
    bool open;
    std::size_t from = 0, to = 0;
    bool operator<(const Task& other) const {
      auto const at = reinterpret_cast<std::uintptr_t>(node);
      auto const otherAt = reinterpret_cast<std::uintptr_t>(other.node);
      return std::tie(node->key, open, from, at) <
             std::tie(other.node->key, other.open, other.from, otherAt);
    }
  };

  Pool() {
    for (std::size_t at = 0; at < kThreads; ++at) std::thread([this] { Serve(); }).detach();
  }

  std::mutex lock;
  std::condition_variable work;  // a task can start
  std::condition_variable done;  // a folder is read or given up
  std::set<Task> tasks;
  std::unordered_map<const Folder*, Family> families;
  std::unordered_map<const Folder*, Key> keys;  // of folders the walk opened itself
  std::vector<Folder*> closing;                 // to close once the lock is left
  std::size_t bytes = 0;
  std::size_t folders = 0;
  std::size_t folderBound = kFolders;
  std::int64_t roots = 0;
  std::atomic<bool> details{false};

  Key KeyOf(const Folder* folder) {
    auto const known = keys.find(folder);
    return known != keys.end() ? known->second : Key{--roots};
  }

  // The subfolder records in [first, first + used), read from the family's folder, join it.
  void Found(Family& family, const char* first, std::size_t used) {
    for (std::size_t at = 0; at < used; at += RecordLength(RecordAt(first + at))) {
      FolderRecord const& record = RecordAt(first + at);
      if (!IsSubfolderRecord(record) || !family.names.insert(ShownName(record)).second) continue;
      auto* const node = new Node;
      node->key = family.key;
      node->key.push_back(static_cast<std::int64_t>(family.nodes.size()));
      CopyRecord(record, node->record);
      node->opener = family.opener;
      ++family.opener->users;
      family.nodes.push_back(node);
      tasks.insert({node, true});
    }
    work.notify_all();
  }

  void Release(Opener* opener) {
    if (opener == nullptr || --opener->users > 0) return;
    closing.push_back(opener->copy);
    --folders;
    delete opener;
  }

  // Gives up node and whatever under it has not been taken.
  void Drop(Node* node) {
    if (node == nullptr) return;
    // A node's tasks are the ones of its key, which no other node has: its children's are longer.
    for (auto at = tasks.lower_bound({node, false}); at != tasks.end() && at->node == node;) {
      if (!at->open) --node->describing;
      at = tasks.erase(at);
    }
    if (node->folder != nullptr) DropFamily(node->folder);
    bool const busy = node->state == State::kReading ||
                      (node->state == State::kDescribing && node->describing > 0);
    node->state = State::kDropped;
    if (!busy) Free(node);
  }

  void Free(Node* node) {
    if (node->folder != nullptr) {
      closing.push_back(node->folder);
      --folders;
    }
    bytes -= node->bytes;
    Release(node->opener);
    delete node;
  }

  void DropFamily(const Folder* folder) {
    auto const found = families.find(folder);
    if (found == families.end()) return;
    Family family = std::move(found->second);
    families.erase(found);
    for (std::size_t at = family.passed; at < family.nodes.size(); ++at) Drop(family.nodes[at]);
    Release(family.opener);
  }

  void CloseLeft(std::unique_lock<std::mutex>& held) {
    std::vector<Folder*> left;
    left.swap(closing);
    held.unlock();
    for (Folder* folder : left) CloseFolder(folder);
    held.lock();
  }

  // The first task that may start: describing, and opening a folder the walk waits for, always;
  // opening others within the bounds.
  std::set<Task>::iterator Startable() {
    bool const mayOpen = folders < folderBound && bytes < kBytes;
    return std::find_if(tasks.begin(), tasks.end(), [&](const Task& task) {
      return mayOpen || !task.open || task.node->needed;
    });
  }

  void Serve() {
    auto const chunk = std::make_unique<Chunk>();
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
      work.wait(held, [&] { return Startable() != tasks.end(); });
      auto const next = Startable();
      Task const task = *next;
      tasks.erase(next);
      if (task.open) {
        task.node->state = State::kReading;
        ++folders;
        held.unlock();
        Opened opened = OpenAndRead(*task.node, *chunk);
        held.lock();
        Finish(*task.node, opened);
      } else {
        held.unlock();
        std::vector<Described> described = DescribeRange(*task.node, task.from, task.to);
        held.lock();
        Finish(*task.node, std::move(described));
      }
      if (!closing.empty()) CloseLeft(held);
      done.notify_all();
      work.notify_all();
    }
  }

  struct Opened {
    OpenResult result = OpenResult::kFailed;
    Folder* folder = nullptr;
    Folder* copy = nullptr;
    std::vector<Records> chunks;
  };

  // Without the lock: the node is the thread's alone while it reads.
  static Opened OpenAndRead(const Node& node, Chunk& chunk) {
    Opened opened;
    opened.result =
        OpenChildFolder(*node.opener->copy, RecordAt(node.record.data()), opened.folder);
    if (opened.result != OpenResult::kOpened) return opened;
    bool last = false;
    bool subfolders = false;
    for (std::size_t read = 0; !last && read < kChunks; ++read) {
      std::size_t used = 0;
      if (!ReadChunk(*opened.folder, chunk, used, last)) break;
      opened.chunks.emplace_back(chunk.bytes, chunk.bytes + used);
      for (std::size_t at = 0; at < used; at += RecordLength(RecordAt(chunk.bytes + at))) {
        subfolders = subfolders || IsSubfolderRecord(RecordAt(chunk.bytes + at));
      }
    }
    // A folder not read whole here is left to the walk.
    if (!last) {
      CloseFolder(opened.folder);
      opened.folder = nullptr;
      opened.result = OpenResult::kFailed;
    } else if (subfolders) {
      opened.copy = CopyFolder(*opened.folder);
    }
    return opened;
  }

  void Finish(Node& node, Opened& opened) {
    if (opened.folder == nullptr) --folders;
    if (opened.result == OpenResult::kOutOfDescriptors) {
      folderBound = std::max<std::size_t>(4, folders / 2);
    }
    if (node.state == State::kDropped) {
      if (opened.copy != nullptr) closing.push_back(opened.copy);
      node.folder = opened.folder;
      Free(&node);
      return;
    }
    if (opened.folder == nullptr) {
      node.state = State::kFailed;
      return;
    }
    node.folder = opened.folder;
    node.chunks = std::move(opened.chunks);
    std::size_t records = 0;
    for (Records const& chunk : node.chunks) {
      node.bytes += chunk.size();
      for (std::size_t at = 0; at < chunk.size(); at += RecordLength(RecordAt(chunk.data() + at)))
        ++records;
    }
    bytes += node.bytes;
    if (opened.copy != nullptr) {
      ++folders;
      Family& family = families[node.folder];
      family.key = node.key;
      family.opener = new Opener{opened.copy, 1};
      for (Records const& chunk : node.chunks) Found(family, chunk.data(), chunk.size());
    }
    for (std::size_t from = 0; from < records; from += kDescribedAtOnce) {
      tasks.insert({&node, false, from, std::min(records, from + kDescribedAtOnce)});
      ++node.describing;
    }
    node.state = node.describing > 0 ? State::kDescribing : State::kReady;
  }

  // Without the lock: while describing, nothing changes the node's records or folder.
  std::vector<Described> DescribeRange(const Node& node, std::size_t from, std::size_t to) const {
    std::vector<Described> described;
    bool const withDetails = details;
    std::size_t ordinal = 0;
    for (Records const& chunk : node.chunks) {
      for (std::size_t at = 0; at < chunk.size() && ordinal < to; ++ordinal) {
        FolderRecord const& record = RecordAt(chunk.data() + at);
        at += RecordLength(record);
        if (ordinal < from || !DescribingAsks(record, withDetails)) continue;
        WIN32_FIND_DATAA entry;
        Described one;
        one.name = ShownName(record);
        one.withDetails = withDetails;
        one.delivered = DescribeRecord(*node.folder, record, withDetails, entry);
        one.attributes = entry.dwFileAttributes;
        one.creation = entry.ftCreationTime;
        one.lastAccess = entry.ftLastAccessTime;
        one.lastWrite = entry.ftLastWriteTime;
        one.sizeHigh = entry.nFileSizeHigh;
        one.sizeLow = entry.nFileSizeLow;
        described.push_back(std::move(one));
      }
    }
    return described;
  }

  void Finish(Node& node, std::vector<Described> described) {
    std::size_t added = 0;
    for (Described const& one : described) added += sizeof one + one.name.size();
    node.bytes += added;
    bytes += added;
    std::move(described.begin(), described.end(), std::back_inserter(node.described));
    if (--node.describing > 0) return;
    if (node.state == State::kDropped) {
      Free(&node);
      return;
    }
    std::sort(node.described.begin(), node.described.end(),
              [](const Described& a, const Described& b) { return a.name < b.name; });
    node.state = State::kReady;
  }
};

OpenResult ReadAhead::OpenChild(Folder& parent, const FolderRecord& record, Folder*& child) {
  Key key;
  if (pool_ != nullptr) {
    std::unique_lock<std::mutex> held(pool_->lock);
    Pool::Node* node = nullptr;
    auto const found = pool_->families.find(&parent);
    if (found != pool_->families.end()) {
      Pool::Family& family = found->second;
      const char* const name = ShownName(record);
      for (std::size_t at = family.passed; at < family.nodes.size(); ++at) {
        if (std::strcmp(ShownName(RecordAt(family.nodes[at]->record.data())), name) != 0) continue;
        for (; family.passed < at; ++family.passed) pool_->Drop(family.nodes[family.passed]);
        node = family.nodes[family.passed++];
        break;
      }
    }
    if (node != nullptr) {
      node->needed = true;
      pool_->work.notify_one();
      auto const read = [&] {
        return node->state != Pool::State::kWaiting && node->state != Pool::State::kReading &&
               node->state != Pool::State::kDescribing;
      };
      while (!pool_->done.wait_for(held, kOutputCheck, read)) {
        if (StandardOutputGone()) return OpenResult::kFailed;
      }
      key = node->key;
      if (node->state == Pool::State::kReady) {
        child = node->folder;
        Taken& taken = taken_[child];
        taken.chunks = std::move(node->chunks);
        taken.complete = true;
        taken.described = std::move(node->described);
        taken.opener = node->opener;
        pool_->keys[child] = node->key;
        pool_->bytes -= node->bytes;
        pool_->folders -= 1;
        delete node;
        pool_->work.notify_all();
        return OpenResult::kOpened;
      }
      pool_->Free(node);
    }
    if (!pool_->closing.empty()) pool_->CloseLeft(held);
  }
  auto const started = std::chrono::steady_clock::now();
  OpenResult const result = OpenChildFolder(parent, record, child);
  if (pool_ == nullptr) {
    slowOpens_ = std::chrono::steady_clock::now() - started >= kSlowOpen ? slowOpens_ + 1 : 0;
    if (slowOpens_ >= kSlowOpens) pool_ = new Pool;
  }
  if (pool_ != nullptr && result == OpenResult::kOpened && !key.empty()) {
    std::lock_guard<std::mutex> held(pool_->lock);
    pool_->keys[child] = key;
  }
  return result;
}

ReadAhead::Taken* ReadAhead::TakenOf(const Folder& folder) {
  if (taken_.empty()) return nullptr;
  auto const found = taken_.find(&folder);
  return found != taken_.end() ? &found->second : nullptr;
}

bool ReadAhead::Read(Folder& folder, Chunk& chunk, std::size_t& used, bool& lastChunk) {
  if (Taken* const taken = TakenOf(folder);
      taken != nullptr && taken->next < taken->chunks.size()) {
    Records const& next = taken->chunks[taken->next++];
    used = next.size();
    if (used > 0) std::memcpy(chunk.bytes, next.data(), used);
    lastChunk = taken->complete && taken->next == taken->chunks.size();
    Records().swap(taken->chunks[taken->next - 1]);
    return true;
  }
  if (!ReadChunk(folder, chunk, used, lastChunk)) return false;
  if (pool_ == nullptr || used == 0) return true;
  Folder* copy = nullptr;
  {
    std::lock_guard<std::mutex> held(pool_->lock);
    auto const found = pool_->families.find(&folder);
    if (found != pool_->families.end()) {
      pool_->Found(found->second, chunk.bytes, used);
      return true;
    }
  }
  if ((copy = CopyFolder(folder)) == nullptr) return true;
  std::lock_guard<std::mutex> held(pool_->lock);
  Pool::Family& family = pool_->families[&folder];
  family.key = pool_->KeyOf(&folder);
  family.opener = new Pool::Opener{copy, 1};
  ++pool_->folders;
  pool_->Found(family, chunk.bytes, used);
  return true;
}

void ReadAhead::Forget(const Folder& folder) {
  if (Taken* const taken = TakenOf(folder); taken != nullptr) {
    taken->chunks.clear();
    taken->next = 0;
  }
}

bool ReadAhead::Rewind(Folder& folder) {
  Forget(folder);
  return platform::Rewind(folder);
}

bool ReadAhead::ResumeAfter(Folder& folder, const FolderRecord& record) {
  Forget(folder);
  return platform::ResumeAfter(folder, record);
}

void ReadAhead::Release(Folder& folder) {
  Forget(folder);
  ReleaseFolder(folder);
}

bool ReadAhead::Describe(Folder& folder, const FolderRecord& record, bool withDetails,
                         WIN32_FIND_DATAA& entry) {
  if (pool_ != nullptr && withDetails) pool_->details = true;
  Taken* const taken = TakenOf(folder);
  if (taken == nullptr || taken->described.empty()) {
    return DescribeRecord(folder, record, withDetails, entry);
  }
  const char* const name = ShownName(record);
  auto const found = std::lower_bound(
      taken->described.begin(), taken->described.end(), name,
      [](const Described& described, const char* wanted) { return described.name < wanted; });
  if (found == taken->described.end() || found->name != name ||
      (withDetails && !found->withDetails))
    return DescribeRecord(folder, record, withDetails, entry);
  entry.dwFileAttributes = found->attributes;
  entry.ftCreationTime = found->creation;
  entry.ftLastAccessTime = found->lastAccess;
  entry.ftLastWriteTime = found->lastWrite;
  entry.nFileSizeHigh = found->sizeHigh;
  entry.nFileSizeLow = found->sizeLow;
  entry.dwReserved0 = entry.dwReserved1 = 0;
  std::memset(entry.cAlternateFileName, 0, sizeof entry.cAlternateFileName);
  std::memcpy(entry.cFileName, name, std::strlen(name) + 1);
  return found->delivered;
}

void ReadAhead::Close(Folder* folder) {
  if (pool_ != nullptr) {
    std::unique_lock<std::mutex> held(pool_->lock);
    pool_->DropFamily(folder);
    pool_->keys.erase(folder);
    if (Taken* const taken = TakenOf(*folder); taken != nullptr) {
      pool_->Release(static_cast<Pool::Opener*>(taken->opener));
    }
    if (!pool_->closing.empty()) pool_->CloseLeft(held);
  }
  if (!taken_.empty()) taken_.erase(folder);
  CloseFolder(folder);
}

bool ReadAhead::GiveBack() {
  if (pool_ == nullptr) return false;
  std::unique_lock<std::mutex> held(pool_->lock);
  std::size_t const before = pool_->folders;
  std::vector<const Folder*> folders;
  for (auto const& [folder, family] : pool_->families) folders.push_back(folder);
  for (const Folder* folder : folders) pool_->DropFamily(folder);
  pool_->folderBound = std::max<std::size_t>(4, before / 2);
  bool const gave = !pool_->closing.empty();
  if (gave) pool_->CloseLeft(held);
  return gave;
}

}  // namespace platform
