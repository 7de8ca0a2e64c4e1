// The folder reader on Windows, for the listing engine: a folder is listed by its "\\?\" path with
// the wide API, which takes every name as it is, and each entry is packed into a record with its
// name as the narrow interfaces show it and its real name, which leads back to it. The entry's
// times and size come with it, so describing a record asks the system nothing more.
#include <cstddef>
#include <cstring>
#include <string>

#include "platform/listing.h"
#include "platform/win32_internal.h"

namespace platform {

namespace {

std::size_t AlignedTo(std::size_t bytes, std::size_t alignment) {
  return (bytes + alignment - 1) / alignment * alignment;
}

// Packs found at chunk, which has room for the largest record; the record's length.
std::size_t Pack(const WIN32_FIND_DATAW& found, char* chunk) {
  auto* const record = reinterpret_cast<FolderRecord*>(chunk);
  std::string shown = NarrowFromWide(found.cFileName);
  shown.resize(WholeCharactersWithin(shown, MAX_PATH - 1));
  std::size_t const nameAt = offsetof(FolderRecord, d_name);
  std::memcpy(record->d_name, shown.c_str(), shown.size() + 1);
  std::size_t const realAt = AlignedTo(nameAt + shown.size() + 1, alignof(wchar_t));
  std::size_t const realBytes = (std::wcslen(found.cFileName) + 1) * sizeof(wchar_t);
  std::memcpy(chunk + realAt, found.cFileName, realBytes);
  record->realAt = static_cast<std::uint16_t>(realAt);
  record->d_reclen =
      static_cast<std::uint16_t>(AlignedTo(realAt + realBytes, alignof(FolderRecord)));
  record->attributes = found.dwFileAttributes;
  record->creation = found.ftCreationTime;
  record->lastAccess = found.ftLastAccessTime;
  record->lastWrite = found.ftLastWriteTime;
  record->sizeHigh = found.nFileSizeHigh;
  record->sizeLow = found.nFileSizeLow;
  return record->d_reclen;
}

}  // namespace

// Windows reads a folder by its path: there is nothing to open or to close.
int OpenFolder(const SystemPath&, int) { return kReadByPath; }
void CloseFolder(int) {}

bool ReadChunk(const SystemPath& folder, int, bool mayKeep, ReadPosition& position, Chunk& chunk,
               std::size_t& used, bool& lastChunk) {
  WIN32_FIND_DATAW found;
  HANDLE find = position.find;
  bool have = false;
  if (find == INVALID_HANDLE_VALUE) {
    SystemPath const pattern = folder + (folder.back() == L'\\' ? L"*" : L"\\*");
    find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                              nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return false;
    have = true;
    // Listed anew, the folder gives again what earlier chunks delivered.
    for (std::size_t passed = 0; passed < position.delivered && have; ++passed) {
      have = ::FindNextFileW(find, &found) != FALSE;
    }
  } else {
    have = ::FindNextFileW(find, &found) != FALSE;
  }
  used = 0;
  while (have) {
    used += Pack(found, chunk.bytes + used);
    ++position.delivered;
    // The next entry is fetched by the next chunk when this one has no room for the largest.
    if (kChunkBytes - used < sizeof(FolderRecord)) break;
    have = ::FindNextFileW(find, &found) != FALSE;
  }
  lastChunk = !have;
  if (lastChunk || !(position.find != INVALID_HANDLE_VALUE || mayKeep)) {
    ::FindClose(find);
    find = INVALID_HANDLE_VALUE;
  }
  position.find = find;
  position.keeps = find != INVALID_HANDLE_VALUE;
  return true;
}

void EndReading(ReadPosition& position) {
  if (position.find != INVALID_HANDLE_VALUE) ::FindClose(position.find);
  position.find = INVALID_HANDLE_VALUE;
  position.keeps = false;
}

bool DescribeRecord(const SystemPath&, int, const FolderRecord& record, bool,
                    WIN32_FIND_DATAA& entry) {
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

bool NameMatches(const std::string& match, const char* name) {
  return PathMatchSpecA(name, match.c_str()) != FALSE;
}

bool TypedFolder(const char* windowsPath, std::size_t length, SystemPath& folder) {
  std::wstring const typed = length == 0 ? L"." : TypedWidePath(std::string(windowsPath, length));
  folder = LiteralPath(typed);
  return !folder.empty();
}

void AppendChild(SystemPath& folder, const FolderRecord& record) {
  if (folder.back() != L'\\') folder.push_back(L'\\');
  folder.append(RealName(record));
}

}  // namespace platform
