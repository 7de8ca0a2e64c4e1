// The narrow file operations over the wide API. Names are delivered as the narrow interfaces show
// them; a path the program builds from them is taken back to the real wide names
// (wide_paths-win32), and past 260 characters it is handed to the system in its "\\?\" form, which
// the program itself never sees.
#include <algorithm>
#include <cstring>

#include "platform/win32_internal.h"

namespace platform {

namespace {

// The absolute form of path, and where its last part begins (none: the size of the result).
std::wstring FullWidePath(const std::wstring& path, std::size_t* partAt = nullptr) {
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  while (size > 0) {
    std::wstring full(size, L'\0');
    LPWSTR part = nullptr;
    DWORD const length = GetFullPathNameW(path.c_str(), size, full.data(), &part);
    if (length < size) {
      if (partAt != nullptr) *partAt = part != nullptr ? part - full.data() : length;
      full.resize(length);
      return full;
    }
    size = length;
  }
  return {};
}

// The "\\?\" form of path, which the system takes as it is: made absolute, and its doubled
// separators, "." and ".." resolved first.
std::wstring LiteralPath(const std::wstring& path) {
  std::wstring const full = FullWidePath(path);
  if (full.empty() || full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0) {
    return full.empty() ? path : full;
  }
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// A path in that form already goes as it is. Other short paths go to the system as they are too,
// so that they behave exactly as through the narrow interfaces; longer ones get that form.
std::wstring ForSystem(const std::wstring& path, bool literal) {
  if (literal || path.size() < MAX_PATH - 12) return path;
  return LiteralPath(path);
}

// The system's path for a narrow path the platform handed out.
std::wstring SystemPath(const std::string& path) {
  bool literal = false;
  std::wstring const wide = WidePath(path, literal);
  return ForSystem(wide, literal);
}

// The record the narrow interfaces deliver. A name longer than the record holds is cut at a whole
// character.
void ToNarrowEntry(const WIN32_FIND_DATAW& wide, WIN32_FIND_DATAA& narrow) {
  narrow.dwFileAttributes = wide.dwFileAttributes;
  narrow.ftCreationTime = wide.ftCreationTime;
  narrow.ftLastAccessTime = wide.ftLastAccessTime;
  narrow.ftLastWriteTime = wide.ftLastWriteTime;
  narrow.nFileSizeHigh = wide.nFileSizeHigh;
  narrow.nFileSizeLow = wide.nFileSizeLow;
  narrow.dwReserved0 = wide.dwReserved0;
  narrow.dwReserved1 = wide.dwReserved1;
  std::string name = NarrowFromWide(wide.cFileName);
  name.resize(WholeCharactersWithin(name, sizeof narrow.cFileName - 1));
  std::memcpy(narrow.cFileName, name.c_str(), name.size() + 1);
  std::string const alternate = NarrowFromWide(wide.cAlternateFileName);
  std::size_t const alternateSize =
      std::min(alternate.size(), sizeof narrow.cAlternateFileName - 1);
  std::memcpy(narrow.cAlternateFileName, alternate.data(), alternateSize);
  narrow.cAlternateFileName[alternateSize] = '\0';
}

// Copies text into a caller's buffer as the narrow interfaces do: the length without the NUL, or
// the size needed with it.
DWORD Handed(const std::string& text, DWORD length, LPSTR buffer) {
  if (text.size() + 1 > length) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

}  // namespace

DWORD GetCurrentDirectoryA(DWORD length, LPSTR buffer) {
  DWORD const size = GetCurrentDirectoryW(0, nullptr);
  if (size == 0) return 0;
  std::wstring wide(size, L'\0');
  DWORD const written = GetCurrentDirectoryW(size, wide.data());
  if (written == 0 || written >= size) return 0;
  wide.resize(written);
  std::string const narrow = NarrowFromWide(wide);
  RememberCurrentFolder(narrow, wide);
  return Handed(narrow, length, buffer);
}

DWORD GetFullPathNameA(LPCSTR path, DWORD length, LPSTR buffer, LPSTR* filePart) {
  if (filePart != nullptr) *filePart = nullptr;
  std::size_t partAt = 0;
  std::wstring const full = FullWidePath(TypedWidePath(path), &partAt);
  if (full.empty() || full.size() >= kPathLimit) return 0;
  std::string const narrow = NarrowFromWide(full);
  RememberFullPath(narrow, full);
  DWORD const result = Handed(narrow, length, buffer);
  if (result == narrow.size() && filePart != nullptr && partAt < full.size()) {
    *filePart = buffer + NarrowFromWide(full.substr(0, partAt)).size();
  }
  return result;
}

BOOL PathIsDirectoryA(LPCSTR path) {
  if (path == nullptr || *path == '\0') return FALSE;
  DWORD const attributes = GetFileAttributesW(SystemPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FALSE;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FILE_ATTRIBUTE_DIRECTORY : FALSE;
}

HANDLE FindFirstFileExA(LPCSTR pattern, FINDEX_INFO_LEVELS level, void* entry,
                        FINDEX_SEARCH_OPS search, void* searchFilter, DWORD flags) {
  std::size_t const part = LastPartAt(pattern);
  std::string const folder(pattern, part > 0 ? part - 1 : 0);
  bool literal = false;
  std::wstring const wideFolder = part > 0 ? WidePath(folder, literal) : std::wstring();
  std::wstring const namePattern = WideFromNarrow(pattern + part);
  std::wstring widePattern = namePattern;
  if (part > 0) {
    bool const separated = literal && wideFolder.back() == L'\\';
    widePattern = wideFolder + (separated ? L"" : L"\\") + namePattern;
  }
  WIN32_FIND_DATAW found;
  HANDLE const find = FindFirstFileExW(ForSystem(widePattern, literal).c_str(), level, &found,
                                       search, searchFilter, flags);
  if (find == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  std::wstring systemFolder;
  if (part > 0) systemFolder = literal ? wideFolder : LiteralPath(wideFolder);
  auto* const listing = new Listing{find, folder, systemFolder, {}, {}};
  auto& narrow = *static_cast<WIN32_FIND_DATAA*>(entry);
  ToNarrowEntry(found, narrow);
  listing->Delivered(found, narrow.cFileName);
  AddOpenListing(listing);
  return listing;
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* entry) {
  // Qualified: the system's own of the name is a candidate too, found through the argument types.
  return platform::FindFirstFileExA(pattern, FindExInfoStandard, entry, FindExSearchNameMatch,
                                    nullptr, 0);
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* entry) {
  auto* const listing = static_cast<Listing*>(handle);
  WIN32_FIND_DATAW found;
  if (!FindNextFileW(listing->find, &found)) {
    listing->Exhausted();
    return FALSE;
  }
  ToNarrowEntry(found, *entry);
  listing->Delivered(found, entry->cFileName);
  return TRUE;
}

BOOL FindClose(HANDLE handle) {
  auto* const listing = static_cast<Listing*>(handle);
  RemoveOpenListing(listing);
  BOOL const closed = ::FindClose(listing->find);
  delete listing;
  return closed;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
  return CreateFileW(SystemPath(path).c_str(), access, shareMode, security, disposition, flags,
                     templateFile);
}

}  // namespace platform
