// The narrow file operations over the wide API. Names are delivered as the narrow interfaces show
// them; a path the program builds from them (a folder's path, a backslash and a delivered name) is
// taken back to the real wide names by the two records below, and past 260 characters it is
// handed to the system in its "\\?\" form, which the program itself never sees.
#include <cstring>
#include <vector>

#include "platform/win32_internal.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Text

std::wstring WideFrom(UINT codePage, const std::string& text) {
  if (text.empty()) return {};
  int const size =
      MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string NarrowFrom(UINT codePage, const std::wstring& text) {
  if (text.empty()) return {};
  int const size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size,
                      nullptr, nullptr);
  return narrow;
}

}  // namespace

std::wstring WideFromNarrow(const std::string& text) { return WideFrom(CP_ACP, text); }
std::string NarrowFromWide(const std::wstring& text) { return NarrowFrom(CP_ACP, text); }
std::wstring WideFromUtf8(const std::string& text) { return WideFrom(CP_UTF8, text); }
std::string Utf8FromWide(const std::wstring& text) { return NarrowFrom(CP_UTF8, text); }

namespace {

// Whether path is base itself or lies below it; rest is then what follows base, its separator
// first.
bool Below(const std::string& path, const std::string& base, std::string& rest) {
  if (base.empty() || path.compare(0, base.size(), base) != 0) return false;
  if (path.size() > base.size() && path[base.size()] != '\\' && path[base.size()] != '/') {
    return false;
  }
  rest = path.substr(base.size());
  return true;
}

// Narrow paths are walked a character at a time: the second byte of a double-byte character is
// never taken for a separator.
bool IsDoubleByte(const char* at) {
  return IsDBCSLeadByte(static_cast<BYTE>(*at)) && at[1] != '\0';
}

// Where the last part of a narrow path begins.
std::size_t LastPartAt(const char* path) {
  std::size_t part = 0;
  for (std::size_t at = 0; path[at] != '\0'; ++at) {
    if (IsDoubleByte(path + at)) {
      ++at;
    } else if (path[at] == '\\' || path[at] == '/') {
      part = at + 1;
    }
  }
  return part;
}

// Where the first separator of a narrow path is, or its length when it has none.
std::size_t FirstSeparatorAt(const char* path) {
  std::size_t at = 0;
  for (; path[at] != '\0' && path[at] != '\\' && path[at] != '/'; ++at) {
    if (IsDoubleByte(path + at)) ++at;
  }
  return at;
}

// How many bytes of text, whole characters only, fit in limit bytes.
std::size_t WholeCharactersWithin(const std::string& text, std::size_t limit) {
  std::size_t fits = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t const next = at + (IsDoubleByte(text.c_str() + at) ? 2 : 1);
    if (next > limit) break;
    fits = at = next;
  }
  return fits;
}

// ---------------------------------------------------------------------------------------------
// Typed paths: the narrow paths the platform handed out that are not built from a listing's
// names: the command-line arguments, the current folder and the last full path made, each with the
// wide path it stands for. Bound: the arguments, one current folder and one full path.
class TypedPaths {
 public:
  static TypedPaths& Get() {
    static TypedPaths paths;
    return paths;
  }
  void RememberArgument(const std::string& narrow, const std::wstring& wide) {
    arguments_.push_back({narrow, wide});
  }
  void RememberCurrentFolder(const std::string& narrow, const std::wstring& wide) {
    currentFolder_ = {narrow, wide};
  }
  void RememberFullPath(const std::string& narrow, const std::wstring& wide) {
    fullPath_ = {narrow, wide};
  }
  // The wide form of path when it is one of these or lies below one, the longest first.
  bool Resolve(const std::string& path, std::wstring& wide) const {
    const Pair* best = nullptr;
    std::string rest, bestRest;
    auto consider = [&](const Pair& pair) {
      if (Below(path, pair.narrow, rest) &&
          (best == nullptr || pair.narrow.size() > best->narrow.size())) {
        best = &pair;
        bestRest = rest;
      }
    };
    consider(fullPath_);
    consider(currentFolder_);
    for (Pair const& argument : arguments_) consider(argument);
    if (best == nullptr) return false;
    wide = best->wide + WideFromNarrow(bestRest);
    return true;
  }

 private:
  struct Pair {
    std::string narrow;
    std::wstring wide;
  };
  std::vector<Pair> arguments_;
  Pair currentFolder_;
  Pair fullPath_;
};

// ---------------------------------------------------------------------------------------------
// Open listings. Each open listing keeps its folder's narrow path as the caller spelled it, the
// wide path that stands for it, and the last two subfolders it delivered ("." and ".." aside), by
// shown and by real name; a failed fetch at the end counts as one delivery of nothing. A narrow
// path made of an open listing's folder, a backslash and a name is taken to the recorded subfolder
// of that name; when both recorded subfolders show that name, to the earlier one. That is how the
// walk goes: it fetches the subfolder after the one it is about to enter first (the look-ahead),
// and its ancestors' listings hold still, each with the entered subfolder as the earlier of the
// two. Bound: two entries per open listing, whatever the size of the folders or the tree.
struct DeliveredFolder {
  std::string shown;
  std::wstring real;
};

struct Listing {
  HANDLE find;
  std::string folder;
  std::wstring wideFolder;
  DeliveredFolder earlier;
  DeliveredFolder later;

  void Delivered(const WIN32_FIND_DATAW& entry, const char* shown) {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return;
    if (std::wcscmp(entry.cFileName, L".") == 0 || std::wcscmp(entry.cFileName, L"..") == 0) return;
    std::swap(earlier, later);
    later.shown.assign(shown);
    later.real.assign(entry.cFileName);
  }
  void Exhausted() {
    std::swap(earlier, later);
    later.shown.clear();
    later.real.clear();
  }
  std::wstring RealName(const std::string& shown) const {
    if (!earlier.real.empty() && earlier.shown == shown) return earlier.real;
    if (!later.real.empty() && later.shown == shown) return later.real;
    return WideFromNarrow(shown);
  }
};

class OpenListings {
 public:
  static OpenListings& Get() {
    static OpenListings listings;
    return listings;
  }
  void Add(Listing* listing) { open_.push_back(listing); }
  void Remove(Listing* listing) {
    for (std::size_t at = open_.size(); at-- > 0;) {
      if (open_[at] == listing) {
        open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(at));
        return;
      }
    }
  }
  // The wide form of path when it is an open listing's folder or lies below one. The newest listing
  // that fits is the deepest: the walk opens one per level, each below the one before.
  bool Resolve(const std::string& path, std::wstring& wide) const {
    std::string rest;
    for (std::size_t at = open_.size(); at-- > 0;) {
      Listing const& listing = *open_[at];
      if (!Below(path, listing.folder, rest)) continue;
      wide = listing.wideFolder;
      if (rest.empty()) return true;
      std::string const name = rest.substr(1, FirstSeparatorAt(rest.c_str() + 1));
      wide += WideFromNarrow(rest.substr(0, 1)) + listing.RealName(name) +
              WideFromNarrow(rest.substr(1 + name.size()));
      return true;
    }
    return false;
  }

 private:
  std::vector<Listing*> open_;
};

// The wide path a narrow one the platform handed out stands for.
std::wstring WidePath(const std::string& path) {
  std::wstring wide;
  if (OpenListings::Get().Resolve(path, wide) || TypedPaths::Get().Resolve(path, wide)) return wide;
  return WideFromNarrow(path);
}

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

// Short paths go to the system as they are, so that they behave exactly as through the narrow
// interfaces. Longer ones get the "\\?\" form, which takes the path literally: it is made absolute
// and its doubled separators, "." and ".." resolved first.
std::wstring ForSystem(const std::wstring& path) {
  if (path.size() < MAX_PATH - 12) return path;
  std::wstring const full = FullWidePath(path);
  if (full.empty() || full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0) {
    return full.empty() ? path : full;
  }
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
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

void RememberTypedPath(const std::string& narrow, const std::wstring& wide) {
  TypedPaths::Get().RememberArgument(narrow, wide);
}

DWORD WideBackedGetCurrentDirectoryA(DWORD length, LPSTR buffer) {
  DWORD const size = GetCurrentDirectoryW(0, nullptr);
  if (size == 0) return 0;
  std::wstring wide(size, L'\0');
  DWORD const written = GetCurrentDirectoryW(size, wide.data());
  if (written == 0 || written >= size) return 0;
  wide.resize(written);
  std::string const narrow = NarrowFromWide(wide);
  TypedPaths::Get().RememberCurrentFolder(narrow, wide);
  return Handed(narrow, length, buffer);
}

DWORD WideBackedGetFullPathNameA(LPCSTR path, DWORD length, LPSTR buffer, LPSTR* filePart) {
  if (filePart != nullptr) *filePart = nullptr;
  std::size_t partAt = 0;
  std::wstring const full = FullWidePath(WidePath(path), &partAt);
  if (full.empty() || full.size() >= kPathLimit) return 0;
  std::string const narrow = NarrowFromWide(full);
  TypedPaths::Get().RememberFullPath(narrow, full);
  DWORD const result = Handed(narrow, length, buffer);
  if (result == narrow.size() && filePart != nullptr && partAt < full.size()) {
    *filePart = buffer + NarrowFromWide(full.substr(0, partAt)).size();
  }
  return result;
}

BOOL WideBackedPathIsDirectoryA(LPCSTR path) {
  if (path == nullptr || *path == '\0') return FALSE;
  DWORD const attributes = GetFileAttributesW(ForSystem(WidePath(path)).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FALSE;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FILE_ATTRIBUTE_DIRECTORY : FALSE;
}

HANDLE WideBackedFindFirstFileExA(LPCSTR pattern, FINDEX_INFO_LEVELS level, void* entry,
                                  FINDEX_SEARCH_OPS search, void* searchFilter, DWORD flags) {
  std::size_t const part = LastPartAt(pattern);
  std::string const folder(pattern, part > 0 ? part - 1 : 0);
  std::wstring const wideFolder = part > 0 ? WidePath(folder) : std::wstring();
  std::wstring const spec = WideFromNarrow(pattern + part);
  std::wstring const widePattern = part > 0 ? wideFolder + L'\\' + spec : spec;
  WIN32_FIND_DATAW found;
  HANDLE const find =
      FindFirstFileExW(ForSystem(widePattern).c_str(), level, &found, search, searchFilter, flags);
  if (find == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  auto* const listing = new Listing{find, folder, wideFolder, {}, {}};
  auto& narrow = *static_cast<WIN32_FIND_DATAA*>(entry);
  ToNarrowEntry(found, narrow);
  listing->Delivered(found, narrow.cFileName);
  OpenListings::Get().Add(listing);
  return listing;
}

HANDLE WideBackedFindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* entry) {
  return WideBackedFindFirstFileExA(pattern, FindExInfoStandard, entry, FindExSearchNameMatch,
                                    nullptr, 0);
}

BOOL WideBackedFindNextFileA(HANDLE handle, WIN32_FIND_DATAA* entry) {
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

BOOL WideBackedFindClose(HANDLE handle) {
  auto* const listing = static_cast<Listing*>(handle);
  OpenListings::Get().Remove(listing);
  BOOL const closed = FindClose(listing->find);
  delete listing;
  return closed;
}

HANDLE WideBackedCreateFileA(LPCSTR path, DWORD access, DWORD shareMode,
                             LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                             HANDLE templateFile) {
  return CreateFileW(ForSystem(WidePath(path)).c_str(), access, shareMode, security, disposition,
                     flags, templateFile);
}
