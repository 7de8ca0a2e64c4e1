// The folder reader on Windows. A folder is held as a handle and read through it in chunks
// (GetFileInformationByHandleEx); a subfolder is opened inside its parent's handle by its real name
// (NtCreateFile with the parent as root), which takes every name as it is and follows its parent
// wherever it is renamed to. Each entry is packed into a record with its name as the narrow
// interfaces show it, its real name, which leads back to it, its times and size, and its file ID,
// which the folder opened from it must still have.
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/read_ahead.h"
#include "platform/win32_internal.h"

namespace platform {

// The head, then the name as the narrow interfaces show it and its NUL, then the real name in
// UTF-16 and its NUL at realAt, the whole rounded up so that the next record is aligned.
struct FolderRecord {
  std::uint16_t d_reclen;
  std::uint16_t realAt;
  DWORD attributes;
  FILETIME creation;
  FILETIME lastAccess;
  FILETIME lastWrite;
  DWORD sizeHigh;
  DWORD sizeLow;
  LONGLONG fileId;  // 0 where the system gives none
  char d_name[MAX_PATH + 2 * MAX_PATH + 4];
};

// A folder: its handle while held, and what finds it again once given back: its parent and its
// real name in it (a folder the user typed: its whole "\\?\" path), and its file ID.
struct Folder {
  HANDLE handle = INVALID_HANDLE_VALUE;
  Folder* parent = nullptr;
  std::wstring name;
  LONGLONG fileId = 0;
  // A drive's or a share's root: the system lists it without "." and "..", which its handle's
  // listing holds under Wine.
  bool root = false;
  // Where it stands beyond the handle: at its start once more, or reading on after an entry
  // passed through again from its start.
  bool restart = false;
  bool passing = false;
  LONGLONG passThrough = 0;
  std::wstring passName;
};

namespace {

const wchar_t* RealName(const FolderRecord& record) {
  return reinterpret_cast<const wchar_t*>(reinterpret_cast<const char*>(&record) + record.realAt);
}

std::size_t AlignedTo(std::size_t bytes, std::size_t alignment) {
  return (bytes + alignment - 1) / alignment * alignment;
}

std::wstring NameOf(const FILE_ID_BOTH_DIR_INFO& found) {
  return std::wstring(found.FileName, found.FileNameLength / sizeof(wchar_t));
}

// Packs found at chunk; the record's length.
std::size_t Pack(const FILE_ID_BOTH_DIR_INFO& found, char* chunk) {
  auto* const record = reinterpret_cast<FolderRecord*>(chunk);
  std::wstring const real = NameOf(found);
  std::string shown = NarrowFromWide(real);
  shown.resize(WholeCharactersWithin(shown, MAX_PATH - 1));
  std::memcpy(record->d_name, shown.c_str(), shown.size() + 1);
  std::size_t const realAt =
      AlignedTo(offsetof(FolderRecord, d_name) + shown.size() + 1, alignof(wchar_t));
  std::memcpy(chunk + realAt, real.c_str(), (real.size() + 1) * sizeof(wchar_t));
  record->realAt = static_cast<std::uint16_t>(realAt);
  record->d_reclen = static_cast<std::uint16_t>(
      AlignedTo(realAt + (real.size() + 1) * sizeof(wchar_t), alignof(FolderRecord)));
  record->attributes = found.FileAttributes;
  auto const time = [](const LARGE_INTEGER& value) {
    return FILETIME{static_cast<DWORD>(value.QuadPart & 0xFFFFFFFF),
                    static_cast<DWORD>(static_cast<ULONGLONG>(value.QuadPart) >> 32)};
  };
  record->creation = time(found.CreationTime);
  record->lastAccess = time(found.LastAccessTime);
  record->lastWrite = time(found.LastWriteTime);
  record->sizeHigh = static_cast<DWORD>(static_cast<ULONGLONG>(found.EndOfFile.QuadPart) >> 32);
  record->sizeLow = static_cast<DWORD>(found.EndOfFile.QuadPart & 0xFFFFFFFF);
  record->fileId = found.FileId.QuadPart;
  return record->d_reclen;
}

// The file ID of an open folder, asked of the file system alone (the volume's serial number, which
// GetFileInformationByHandle also fetches, costs a round trip of its own).
LONGLONG FileIdOf(HANDLE handle) {
  IO_STATUS_BLOCK status;
  FILE_INTERNAL_INFORMATION information{};
  if (NtQueryInformationFile(handle, &status, &information, sizeof information,
                             FileInternalInformation) < 0)
    return 0;
  return information.IndexNumber.QuadPart;
}

OpenResult Failure(DWORD error) {
  return error == ERROR_TOO_MANY_OPEN_FILES || error == ERROR_NO_SYSTEM_RESOURCES
             ? OpenResult::kOutOfDescriptors
             : OpenResult::kFailed;
}

// Opens the folder at a "\\?\" path; kFailed as well when it is not a folder, or not the one whose
// file ID is expected (0: any).
OpenResult OpenByPath(const std::wstring& path, LONGLONG expected, HANDLE& handle) {
  handle = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Failure(GetLastError());
  BY_HANDLE_FILE_INFORMATION information;
  bool const folder = GetFileInformationByHandle(handle, &information) != FALSE &&
                      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (folder && (expected == 0 || FileIdOf(handle) == expected)) return OpenResult::kOpened;
  CloseHandle(handle);
  handle = INVALID_HANDLE_VALUE;
  return OpenResult::kFailed;
}

std::wstring PathOf(const Folder& folder) {
  if (folder.parent == nullptr) return folder.name;
  std::wstring path = PathOf(*folder.parent);
  if (path.back() != L'\\') path.push_back(L'\\');
  return path.append(folder.name);
}

// Whether a "\\?\" path names a drive's root ("\\?\C:\") or a share's.
bool IsRoot(const std::wstring& literal) {
  std::wstring path = literal.substr(std::min<std::size_t>(literal.size(), 4));
  if (path.compare(0, 4, L"UNC\\") == 0) path = L"\\\\" + path.substr(4);
  return PathIsRootW(path.c_str()) != FALSE;
}

bool IsDotName(const FILE_ID_BOTH_DIR_INFO& found) {
  return found.FileName[0] == L'.' &&
         (found.FileNameLength == sizeof(wchar_t) ||
          (found.FileNameLength == 2 * sizeof(wchar_t) && found.FileName[1] == L'.'));
}

Folder* Made(HANDLE handle, Folder* parent, std::wstring name, LONGLONG fileId) {
  auto* const folder = new Folder;
  folder->handle = handle;
  folder->parent = parent;
  folder->name = std::move(name);
  folder->fileId = fileId;
  return folder;
}

// The room one entry takes as the system delivers it, at most: its head and 255 UTF-16 units.
constexpr std::size_t kLargestFound = sizeof(FILE_ID_BOTH_DIR_INFO) + 256 * sizeof(wchar_t);

}  // namespace

OpenResult OpenTypedFolder(const char* windowsPath, std::size_t length, Folder*& folder) {
  std::wstring const typed = length == 0 ? L"." : TypedWidePath(std::string(windowsPath, length));
  std::wstring path = LiteralPath(typed);
  if (path.empty()) return OpenResult::kFailed;
  HANDLE handle = INVALID_HANDLE_VALUE;
  OpenResult const result = OpenByPath(path, 0, handle);
  if (result == OpenResult::kOpened) {
    folder = Made(handle, nullptr, path, FileIdOf(handle));
    folder->root = IsRoot(path);
  }
  return result;
}

OpenResult OpenChildFolder(Folder& parent, const FolderRecord& record, Folder*& child) {
  const wchar_t* const name = RealName(record);
  UNICODE_STRING text;
  text.Buffer = const_cast<wchar_t*>(name);
  text.Length = text.MaximumLength = static_cast<USHORT>(std::wcslen(name) * sizeof(wchar_t));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, 0, parent.handle, nullptr);
  IO_STATUS_BLOCK status;
  HANDLE handle = INVALID_HANDLE_VALUE;
  NTSTATUS const result = NtCreateFile(
      &handle, FILE_LIST_DIRECTORY | SYNCHRONIZE, &attributes, &status, nullptr, 0,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
      FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT, nullptr, 0);
  if (result < 0) return Failure(RtlNtStatusToDosError(result));
  // A name the system reads as more than one (a "\" in a name made elsewhere) may lead to another
  // folder: only the one the listing named will do. A link's entry carries the link's own ID, and
  // an ID of 0 is none.
  bool const checked =
      record.fileId != 0 && (record.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  LONGLONG const fileId = checked ? FileIdOf(handle) : 0;
  if (checked && fileId != record.fileId) {
    CloseHandle(handle);
    return OpenResult::kFailed;
  }
  child = Made(handle, &parent, name, fileId);
  return OpenResult::kOpened;
}

void ReleaseFolder(Folder& folder) {
  CloseHandle(folder.handle);
  folder.handle = INVALID_HANDLE_VALUE;
}

OpenResult ReopenFolder(Folder& folder) {
  OpenResult const result = OpenByPath(LiteralPath(PathOf(folder)), folder.fileId, folder.handle);
  if (result == OpenResult::kOpened) folder.restart = true;
  return result;
}

void CloseFolder(Folder* folder) {
  if (folder->handle != INVALID_HANDLE_VALUE) CloseHandle(folder->handle);
  delete folder;
}

bool RaiseOpenLimit() { return false; }

bool ReadChunk(Folder& folder, Chunk& chunk, std::size_t& used, bool& lastChunk) {
  alignas(8) char found[kChunkBytes / 2];
  used = 0;
  lastChunk = false;
  // Each call delivers what fits half the room left, which packed takes no more than that room.
  while ((kChunkBytes - used) / 2 >= kLargestFound) {
    std::size_t const room = (kChunkBytes - used) / 2;
    FILE_INFO_BY_HANDLE_CLASS const kind =
        folder.restart ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo;
    bool const read =
        GetFileInformationByHandleEx(folder.handle, kind, found, static_cast<DWORD>(room)) != FALSE;
    folder.restart = false;
    if (!read) {
      // The folder's end, or a failure after some records, makes this chunk the last.
      lastChunk = true;
      return GetLastError() == ERROR_NO_MORE_FILES || used > 0;
    }
    for (std::size_t at = 0;;) {
      auto const& entry = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(found + at);
      if (folder.passing) {
        folder.passing =
            entry.FileId.QuadPart != folder.passThrough || NameOf(entry) != folder.passName;
      } else if (!folder.root || !IsDotName(entry)) {
        used += Pack(entry, chunk.bytes + used);
      }
      if (entry.NextEntryOffset == 0) break;
      at += entry.NextEntryOffset;
    }
  }
  return true;
}

bool Rewind(Folder& folder) {
  folder.restart = true;
  folder.passing = false;
  return true;
}

bool ResumeAfter(Folder& folder, const FolderRecord& record) {
  // The system has no place to go back to but the start: the entries are passed through again up
  // to this one, known by its file ID and name.
  folder.restart = folder.passing = true;
  folder.passThrough = record.fileId;
  folder.passName = RealName(record);
  return true;
}

std::size_t RecordLength(const FolderRecord& record) { return record.d_reclen; }

bool MayBeFolder(const FolderRecord& record) {
  return (record.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

const char* ShownName(const FolderRecord& record) { return record.d_name; }

bool DescribeRecord(Folder&, const FolderRecord& record, bool, WIN32_FIND_DATAA& entry) {
  entry.dwFileAttributes = record.attributes;
  entry.ftCreationTime = record.creation;
  entry.ftLastAccessTime = record.lastAccess;
  entry.ftLastWriteTime = record.lastWrite;
  entry.nFileSizeHigh = record.sizeHigh;
  entry.nFileSizeLow = record.sizeLow;
  entry.dwReserved0 = 0;
  entry.dwReserved1 = 0;
  entry.cAlternateFileName[0] = '\0';
  std::memcpy(entry.cFileName, record.d_name, std::strlen(record.d_name) + 1);
  NoteShownName(entry.cFileName, RealName(record));
  return true;
}

// A duplicate shares the folder's place in its listing, which opening inside it leaves alone.
Folder* CopyFolder(Folder& folder) {
  HANDLE copy = INVALID_HANDLE_VALUE;
  if (!DuplicateHandle(GetCurrentProcess(), folder.handle, GetCurrentProcess(), &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    return nullptr;
  Folder* const made = Made(copy, folder.parent, folder.name, folder.fileId);
  made->root = folder.root;
  return made;
}

// Every record carries its entry's times and size: describing asks nothing of the system.
bool DescribingAsks(const FolderRecord&, bool) { return false; }

bool NameMatches(const std::string& match, const char* name) {
  return PathMatchSpecA(name, match.c_str()) != FALSE;
}

bool ListedWidePath(const char* narrowPath, std::size_t length, std::wstring& wide) {
  Folder* folder = nullptr;
  const FolderRecord* child = nullptr;
  if (!ListedFolder(narrowPath, length, folder, child)) return false;
  wide = PathOf(*folder);
  if (child != nullptr) {
    if (wide.back() != L'\\') wide.push_back(L'\\');
    wide.append(RealName(*child));
  }
  wide = LiteralPath(wide);
  return true;
}

}  // namespace platform
