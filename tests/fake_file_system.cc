#include "fake_file_system.h"

#include <algorithm>
#include <cstring>

#include "platform/posix_internal.h"

using namespace platform;

namespace {

// One spelling per path: "/" as "\", repeated separators as one, no trailing separator but the
// root's.
std::string Canonical(const std::string& path) {
  std::string result;
  for (char c : path) {
    char const normal = c == '/' ? '\\' : c;
    if (normal == '\\' && !result.empty() && result.back() == '\\') continue;
    result.push_back(normal);
  }
  if (result.size() > 3 && result.back() == '\\') result.pop_back();
  if (result.size() >= 2 && result[1] == ':')
    result[0] = static_cast<char>(std::toupper(result[0]));
  return result;
}

struct FakeListing {
  std::vector<FakeEntry> entries;
  std::string folder;  // where the folder really is, links followed
  bool withTimes;
  std::size_t next = 0;
};

// As the POSIX layer does, a basic listing leaves the times zero, and a link is marked as one.
void Deliver(const FakeListing& listing, const FakeEntry& from, WIN32_FIND_DATAA* entry) {
  *entry = {};
  entry->dwFileAttributes = from.folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  if (FakeFileSystem::Get().IsLink(listing.folder + "\\" + from.name)) {
    entry->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  }
  if (listing.withTimes) entry->ftLastWriteTime = from.lastWrite;
  std::strncpy(entry->cFileName, from.name.c_str(), sizeof entry->cFileName - 1);
}

struct FakeIdentity {
  DWORD index;
};

}  // namespace

FakeEntry Folder(const std::string& name) { return {name, true, {}}; }
FakeEntry File(const std::string& name, FILETIME lastWrite) { return {name, false, lastWrite}; }

FakeFileSystem& FakeFileSystem::Get() {
  static FakeFileSystem instance;
  return instance;
}

void FakeFileSystem::Reset() { *this = FakeFileSystem(); }

void FakeFileSystem::AddFolder(const std::string& path, std::vector<FakeEntry> entries) {
  folders_[Canonical(path)].entries = std::move(entries);
}

void FakeFileSystem::MakeUnreadable(const std::string& path) {
  folders_[Canonical(path)].unreadable = true;
}

void FakeFileSystem::VanishAfter(const std::string& path, int listings) {
  folders_[Canonical(path)].listingsLeft = listings;
}

void FakeFileSystem::AddLink(const std::string& link, const std::string& target) {
  links_[Canonical(link)] = Canonical(target);
}

std::string FakeFileSystem::Resolve(const std::string& path) const {
  std::string resolved = Canonical(path);
  // Each step replaces one link; a loop of links that never settles is cut off.
  for (int step = 0; step < 100; ++step) {
    bool replaced = false;
    for (auto const& [link, target] : links_) {
      if (resolved == link || resolved.rfind(link + "\\", 0) == 0) {
        resolved = target + resolved.substr(link.size());
        replaced = true;
        break;
      }
    }
    if (!replaced) break;
  }
  return resolved;
}

FakeFileSystem::FolderData* FakeFileSystem::Find(const std::string& path) {
  auto found = folders_.find(Resolve(path));
  if (found == folders_.end() || found->second.listingsLeft == 0) return nullptr;
  return &found->second;
}

bool FakeFileSystem::IsLink(const std::string& path) const {
  return links_.count(Canonical(path)) != 0;
}

// The platform operations that touch the file system, over the fake.
namespace platform {

DWORD GetCurrentDirectoryA(DWORD length, LPSTR buffer) {
  return CopyPathResult(FakeFileSystem::Get().currentFolder, length, buffer);
}

BOOL PathIsDirectoryA(LPCSTR path) { return FakeFileSystem::Get().Find(path) != nullptr; }

BOOL GetVolumeInformationA(LPCSTR root, LPSTR, DWORD, LPDWORD serialNumber, LPDWORD, LPDWORD, LPSTR,
                           DWORD) {
  FakeFileSystem const& fake = FakeFileSystem::Get();
  if (!fake.volumeReadable || std::strcmp(root, "C:\\") != 0) return FALSE;
  *serialNumber = fake.serialNumber;
  return TRUE;
}

// The search hints are only hints: every entry is delivered, so the filters must still check.
HANDLE FindFirstFileExA(LPCSTR pattern, FINDEX_INFO_LEVELS level, void* found, FINDEX_SEARCH_OPS,
                        void*, DWORD) {
  auto* const entry = static_cast<WIN32_FIND_DATAA*>(found);
  FakeFileSystem& fake = FakeFileSystem::Get();
  fake.patterns.push_back(pattern);
  std::string folderPath = pattern;
  if (folderPath.size() < 2 || folderPath.compare(folderPath.size() - 2, 2, "\\*") != 0) {
    return INVALID_HANDLE_VALUE;
  }
  folderPath.resize(folderPath.size() - 2);
  FakeFileSystem::FolderData* const folder = fake.Find(folderPath);
  if (folder == nullptr || folder->unreadable || folder->entries.empty())
    return INVALID_HANDLE_VALUE;
  if (folder->listingsLeft > 0) --folder->listingsLeft;
  auto* const listing =
      new FakeListing{folder->entries, fake.Resolve(folderPath), level == FindExInfoStandard, 1};
  Deliver(*listing, listing->entries[0], entry);
  ++fake.openListings;
  return listing;
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* entry) {
  return FindFirstFileExA(pattern, FindExInfoStandard, entry, FindExSearchNameMatch, nullptr, 0);
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* entry) {
  ++FakeFileSystem::Get().nextCalls;
  auto* const listing = static_cast<FakeListing*>(handle);
  if (listing->next >= listing->entries.size()) return FALSE;
  Deliver(*listing, listing->entries[listing->next++], entry);
  return TRUE;
}

BOOL FindClose(HANDLE handle) {
  delete static_cast<FakeListing*>(handle);
  --FakeFileSystem::Get().openListings;
  return TRUE;
}

HANDLE CreateFileA(LPCSTR path, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
  FakeFileSystem& fake = FakeFileSystem::Get();
  if (fake.Find(path) == nullptr) return INVALID_HANDLE_VALUE;
  // Folders are told apart by where their links lead.
  return new FakeIdentity{static_cast<DWORD>(std::hash<std::string>{}(fake.Resolve(path)))};
}

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  *information = {};
  information->nFileIndexLow = static_cast<FakeIdentity*>(file)->index;
  return TRUE;
}

BOOL CloseHandle(HANDLE file) {
  delete static_cast<FakeIdentity*>(file);
  return TRUE;
}

}  // namespace platform
