#include "fake_folder_reader.h"

#include <fnmatch.h>

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <thread>

#include "platform/read_ahead.h"

struct FakeNode {
  struct Item {
    std::string name;
    std::shared_ptr<FakeNode> folder;  // none for a file
    std::uint64_t cookie;              // where reading goes on after it, as a kernel's offset
  };
  unsigned long id;
  std::string name;
  std::vector<Item> items;
  std::uint64_t nextCookie = 1;

  Item* Named(const std::string& wanted) {
    auto const found = std::find_if(items.begin(), items.end(),
                                    [&](const Item& item) { return item.name == wanted; });
    return found != items.end() ? &*found : nullptr;
  }
};

namespace {

std::vector<std::string> Split(const std::string& path, const char* separators) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path + separators[0]) {
    if (std::strchr(separators, c) == nullptr) {
      part.push_back(c);
    } else if (!part.empty()) {
      parts.push_back(part);
      part.clear();
    }
  }
  return parts;
}

void Log(const std::string& line) { FakeDisk::Get().log.push_back(line); }

// Never destroyed, as the lock and the disk below: readers may still wait on them, or log, when
// the process ends.
std::condition_variable& Unblocked() {
  static auto* const unblocked = new std::condition_variable;
  return *unblocked;
}

}  // namespace

std::mutex& FakeLock() {
  static auto* const lock = new std::mutex;
  return *lock;
}

void Unblock() {
  std::lock_guard<std::mutex> held(FakeLock());
  FakeDisk::Get().blocked = false;
  Unblocked().notify_all();
}

FakeDisk& FakeDisk::Get() {
  static auto* const disk = new FakeDisk;
  return *disk;
}

void FakeDisk::Reset() {
  std::lock_guard<std::mutex> held(FakeLock());
  *this = FakeDisk();
}

std::shared_ptr<FakeNode> FakeDisk::Find(const std::string& path) const {
  std::shared_ptr<FakeNode> node = root_;
  std::vector<std::string> const parts = Split(path, "/");
  for (std::size_t at = 1; node != nullptr && at < parts.size(); ++at) {
    FakeNode::Item* const item = node->Named(parts[at]);
    node = item != nullptr ? item->folder : nullptr;
  }
  return node;
}

void FakeDisk::Add(const std::string& path, const std::vector<std::string>& names) {
  if (root_ == nullptr) root_ = std::make_shared<FakeNode>(FakeNode{++nextId_, "C:", {}});
  std::shared_ptr<FakeNode> node = root_;
  std::vector<std::string> parts = Split(path, "/");
  for (std::size_t at = 1; at <= parts.size(); ++at) {
    std::vector<std::string> const wanted =
        at < parts.size() ? std::vector<std::string>{parts[at] + "/"} : names;
    for (std::string const& name : wanted) {
      bool const folder = name.back() == '/';
      std::string const bare = folder ? name.substr(0, name.size() - 1) : name;
      if (node->Named(bare) != nullptr && at < parts.size()) continue;
      auto child = folder ? std::make_shared<FakeNode>(FakeNode{++nextId_, bare, {}}) : nullptr;
      node->items.push_back({bare, child, node->nextCookie++});
    }
    if (at < parts.size()) node = node->Named(parts[at])->folder;
  }
}

void FakeDisk::Remove(const std::string& path, const std::string& name) {
  std::vector<FakeNode::Item>& items = Find(path)->items;
  items.erase(std::find_if(items.begin(), items.end(),
                           [&](const FakeNode::Item& item) { return item.name == name; }));
}

void FakeDisk::Swap(const std::string& path, const std::string& first, const std::string& second) {
  std::shared_ptr<FakeNode> const folder = Find(path);
  std::swap(folder->Named(first)->folder, folder->Named(second)->folder);
}

std::size_t Logged(const std::string& prefix) {
  std::vector<std::string> const& log = FakeDisk::Get().log;
  return static_cast<std::size_t>(std::count_if(
      log.begin(), log.end(), [&](const std::string& line) { return line.rfind(prefix, 0) == 0; }));
}

namespace platform {

struct FolderRecord {
  std::uint64_t cookie;
  std::uint16_t length;
  bool folder;
  char name[262];
};

struct Folder {
  std::shared_ptr<FakeNode> node;
  Folder* parent;
  std::string name;  // in parent, or the path typed
  unsigned long id;
  bool held = true;
  std::uint64_t after = 0;  // stands after the entry of this cookie; 0: at the start
};

namespace {

OpenResult Take(std::shared_ptr<FakeNode> node, Folder* parent, const std::string& name,
                Folder*& folder) {
  if (node == nullptr) return OpenResult::kFailed;
  if (FakeDisk::Get().descriptorsLeft == 0) return OpenResult::kOutOfDescriptors;
  --FakeDisk::Get().descriptorsLeft;
  folder = new Folder{node, parent, name, node->id};
  return OpenResult::kOpened;
}

// The folder a chain of names leads to now: what opening it again by its path finds.
std::shared_ptr<FakeNode> Lookup(const Folder& folder) {
  if (folder.parent == nullptr) return FakeDisk::Get().Find(folder.name);
  std::shared_ptr<FakeNode> const parent = Lookup(*folder.parent);
  FakeNode::Item* const item = parent != nullptr ? parent->Named(folder.name) : nullptr;
  return item != nullptr ? item->folder : nullptr;
}

}  // namespace

OpenResult OpenTypedFolder(const char* windowsPath, std::size_t length, Folder*& folder) {
  std::lock_guard<std::mutex> held(FakeLock());
  std::string path;
  for (std::string const& part : Split(std::string(windowsPath, length), "\\/")) path += part + "/";
  Log("open typed " + path);
  return Take(FakeDisk::Get().Find(path), nullptr, path, folder);
}

OpenResult OpenChildFolder(Folder& parent, const FolderRecord& record, Folder*& child) {
  std::unique_lock<std::mutex> held(FakeLock());
  FakeDisk& disk = FakeDisk::Get();
  Log(std::string("open ") + record.name);
  disk.mostOpening = std::max(disk.mostOpening, ++disk.opening);
  held.unlock();
  // Folders take one to three times the delay, by their names, so that reads started in one order
  // end in another.
  std::this_thread::sleep_for(disk.openDelay * (1 + std::strlen(record.name) % 3));
  held.lock();
  Unblocked().wait(held, [&] { return !disk.blocked; });
  --disk.opening;
  FakeNode::Item* const item = parent.node->Named(record.name);
  if (disk.unreadable.count(record.name) > 0) return OpenResult::kFailed;
  return Take(item != nullptr ? item->folder : nullptr, &parent, record.name, child);
}

void ReleaseFolder(Folder& folder) {
  std::lock_guard<std::mutex> held(FakeLock());
  Log("release " + folder.node->name);
  folder.held = false;
  ++FakeDisk::Get().descriptorsLeft;
}

OpenResult ReopenFolder(Folder& folder) {
  std::lock_guard<std::mutex> held(FakeLock());
  Log("reopen " + folder.node->name);
  std::shared_ptr<FakeNode> const now = Lookup(folder);
  if (now == nullptr || now->id != folder.id) return OpenResult::kFailed;
  if (FakeDisk::Get().descriptorsLeft == 0) return OpenResult::kOutOfDescriptors;
  --FakeDisk::Get().descriptorsLeft;
  folder.held = true;
  return OpenResult::kOpened;
}

void CloseFolder(Folder* folder) {
  std::lock_guard<std::mutex> held(FakeLock());
  Log("close " + folder->node->name);
  if (folder->held) ++FakeDisk::Get().descriptorsLeft;
  delete folder;
}

bool RaiseOpenLimit() {
  std::lock_guard<std::mutex> held(FakeLock());
  FakeDisk& disk = FakeDisk::Get();
  if (disk.raisable == 0) return false;
  disk.descriptorsLeft += disk.raisable;
  disk.raisable = 0;
  return true;
}

bool ReadChunk(Folder& folder, Chunk& chunk, std::size_t& used, bool& lastChunk) {
  std::lock_guard<std::mutex> held(FakeLock());
  Log("read " + folder.node->name);
  used = 0;
  std::size_t count = 0;
  for (FakeNode::Item const& item : folder.node->items) {
    if (item.cookie <= folder.after) continue;
    if (count++ == FakeDisk::Get().recordsPerChunk) break;
    auto* const record = reinterpret_cast<FolderRecord*>(chunk.bytes + used);
    record->cookie = item.cookie;
    record->folder = item.folder != nullptr;
    std::memcpy(record->name, item.name.c_str(), item.name.size() + 1);
    std::size_t const bytes = offsetof(FolderRecord, name) + item.name.size() + 1;
    record->length = static_cast<std::uint16_t>((bytes + 7) / 8 * 8);
    used += record->length;
    folder.after = item.cookie;
  }
  lastChunk = count <= FakeDisk::Get().recordsPerChunk;
  return true;
}

bool Rewind(Folder& folder) {
  std::lock_guard<std::mutex> held(FakeLock());
  Log("rewind " + folder.node->name);
  folder.after = 0;
  return true;
}

bool ResumeAfter(Folder& folder, const FolderRecord& record) {
  std::lock_guard<std::mutex> held(FakeLock());
  Log("resume " + folder.node->name + " after " + record.name);
  folder.after = record.cookie;
  return true;
}

std::size_t RecordLength(const FolderRecord& record) { return record.length; }
bool MayBeFolder(const FolderRecord& record) { return record.folder; }
const char* ShownName(const FolderRecord& record) { return record.name; }

bool DescribeRecord(Folder&, const FolderRecord& record, bool, WIN32_FIND_DATAA& entry) {
  entry = {};
  entry.dwFileAttributes = record.folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  std::memcpy(entry.cFileName, record.name, std::strlen(record.name) + 1);
  return true;
}

bool NameMatches(const std::string& match, const char* name) {
  return fnmatch(match.c_str(), name, 0) == 0;
}

Folder* CopyFolder(Folder& folder) {
  std::lock_guard<std::mutex> held(FakeLock());
  Log("copy " + folder.node->name);
  if (FakeDisk::Get().descriptorsLeft == 0) return nullptr;
  --FakeDisk::Get().descriptorsLeft;
  return new Folder{folder.node, folder.parent, folder.name, folder.id};
}

bool DescribingAsks(const FolderRecord&, bool) { return false; }

// The rest of the file system, which the walk of these tests never reaches.
HANDLE CreateFileA(LPCSTR, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
  return INVALID_HANDLE_VALUE;
}
BOOL GetFileInformationByHandle(HANDLE, BY_HANDLE_FILE_INFORMATION*) { return FALSE; }
BOOL CloseHandle(HANDLE) { return TRUE; }
DWORD GetCurrentDirectoryA(DWORD, LPSTR) { return 0; }

}  // namespace platform
