// Paths on Windows: text between the wide API and the narrow text the program works in, the record
// of the narrow paths the user typed, and the narrow path operations done over the wide API. The
// narrow interfaces reach neither a name outside the ANSI code page nor a path past 260 bytes;
// these take a narrow path the platform handed out back to the wide path it stands for, and past
// 260 characters hand it to the system in its "\\?\" form, which the program itself never sees.
#include <cstring>
#include <vector>

#include "platform/win32_internal.h"

namespace platform {

namespace {

std::wstring WideFrom(UINT codePage, const std::string& text) {
  if (text.empty()) return {};
  int const size =
      MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

// flags WC_NO_BEST_FIT_CHARS: a character that the code page lacks becomes "?", never another
// character. UTF-8 lacks none, and takes no flags.
std::string NarrowFrom(UINT codePage, const std::wstring& text, DWORD flags = 0) {
  if (text.empty()) return {};
  if (codePage == CP_UTF8) flags = 0;
  int const size = WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), narrow.data(),
                      size, nullptr, nullptr);
  return narrow;
}

// The run's narrow text is UTF-8 on a console, which then shows every name as it is, and what the
// narrow interfaces use, the ANSI code page, everywhere else.
UINT NarrowCodePage() { return TextIsUtf8() ? CP_UTF8 : CP_ACP; }

// The length of the character at text, whole in the run's narrow encoding: UTF-8 continuation
// bytes, or the second byte of a code page double-byte character, go with the byte before them.
std::size_t CharacterLength(const std::string& text, std::size_t at) {
  std::size_t length = 1;
  if (TextIsUtf8()) {
    while (at + length < text.size() &&
           (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80)
      ++length;
  } else if (IsDBCSLeadByte(static_cast<BYTE>(text[at])) && at + 1 < text.size()) {
    length = 2;
  }
  return length;
}

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

}  // namespace

std::wstring WideFromNarrow(const std::string& text) { return WideFrom(NarrowCodePage(), text); }
std::string NarrowFromWide(const std::wstring& text) { return NarrowFrom(NarrowCodePage(), text); }
std::string TypedNarrowFromWide(const std::wstring& text) {
  return NarrowFrom(NarrowCodePage(), text, WC_NO_BEST_FIT_CHARS);
}
std::wstring WideFromUtf8(const std::string& text) { return WideFrom(CP_UTF8, text); }
std::string Utf8FromWide(const std::wstring& text) { return NarrowFrom(CP_UTF8, text); }

// How many bytes of text, whole characters only, fit in limit bytes.
std::size_t WholeCharactersWithin(const std::string& text, std::size_t limit) {
  std::size_t fits = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t const next = at + CharacterLength(text, at);
    if (next > limit) break;
    fits = at = next;
  }
  return fits;
}

namespace {

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

}  // namespace

void RememberTypedPath(const std::string& narrow, const std::wstring& wide) {
  TypedPaths::Get().RememberArgument(narrow, wide);
}
void RememberCurrentFolder(const std::string& narrow, const std::wstring& wide) {
  TypedPaths::Get().RememberCurrentFolder(narrow, wide);
}
void RememberFullPath(const std::string& narrow, const std::wstring& wide) {
  TypedPaths::Get().RememberFullPath(narrow, wide);
}

std::wstring TypedWidePath(const std::string& path) {
  std::wstring wide;
  return TypedPaths::Get().Resolve(path, wide) ? wide : WideFromNarrow(path);
}

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

}  // namespace

std::wstring LiteralPath(const std::wstring& path) {
  std::wstring const full = FullWidePath(path);
  if (full.empty() || full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0) {
    return full.empty() ? path : full;
  }
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

namespace {

// The system's path for a narrow path the program hands back. One that the walk made of a folder it
// listed and a name read from it goes in the "\\?\" form, which takes the name as it is. Other
// short paths, those the user typed, go as they are, so that they behave exactly as through the
// narrow interfaces; longer ones get that form too.
std::wstring ForSystem(const std::string& path) {
  std::wstring listed;
  if (ListedWidePath(path.c_str(), path.size(), listed)) return listed;
  std::wstring const typed = TypedWidePath(path);
  return typed.size() < MAX_PATH - 12 ? typed : LiteralPath(typed);
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

namespace {

bool IsWideSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsRooted(const std::wstring& path) {
  return (!path.empty() && IsWideSeparator(path[0])) ||
         (path.size() >= 3 && path[1] == L':' && IsWideSeparator(path[2]));
}

// How many units at the start of full, whole parts, the current folder gave it.
std::size_t FromCurrentFolder(const std::wstring& full) {
  DWORD const size = GetCurrentDirectoryW(0, nullptr);
  std::wstring current(size, L'\0');
  DWORD const written = size > 0 ? GetCurrentDirectoryW(size, current.data()) : 0;
  current.resize(written < size ? written : 0);
  std::size_t shared = 0;
  for (std::size_t at = 0; at <= full.size() && at <= current.size(); ++at) {
    bool const fullPartEnds = at == full.size() || full[at] == L'\\';
    bool const currentPartEnds = at == current.size() || current[at] == L'\\';
    if (fullPartEnds && currentPartEnds) shared = at;
    if (at == full.size() || at == current.size() || full[at] != current[at]) break;
  }
  return shared;
}

// The narrow form of the full path made of typed: what the current folder gave it is shown as the
// narrow interfaces show the current folder; what the user typed without best fit, so that a
// character that the code page lacks shows as "?" there, never as another character.
std::string NarrowFullPath(const std::wstring& typed, const std::wstring& full) {
  std::size_t const current = IsRooted(typed) ? 0 : FromCurrentFolder(full);
  return NarrowFromWide(full.substr(0, current)) + TypedNarrowFromWide(full.substr(current));
}

}  // namespace

DWORD GetFullPathNameA(LPCSTR path, DWORD length, LPSTR buffer, LPSTR* filePart) {
  if (filePart != nullptr) *filePart = nullptr;
  std::size_t partAt = 0;
  std::wstring const typed = TypedWidePath(path);
  std::wstring const full = FullWidePath(typed, &partAt);
  if (full.empty() || full.size() >= kPathLimit) return 0;
  std::string const narrow = NarrowFullPath(typed, full);
  RememberFullPath(narrow, full);
  DWORD const result = Handed(narrow, length, buffer);
  if (result == narrow.size() && filePart != nullptr && partAt < full.size()) {
    *filePart = buffer + NarrowFullPath(typed, full.substr(0, partAt)).size();
  }
  return result;
}

BOOL PathIsDirectoryA(LPCSTR path) {
  if (path == nullptr || *path == '\0') return FALSE;
  DWORD const attributes = GetFileAttributesW(ForSystem(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FALSE;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FILE_ATTRIBUTE_DIRECTORY : FALSE;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
  return CreateFileW(ForSystem(path).c_str(), access, shareMode, security, disposition, flags,
                     templateFile);
}

}  // namespace platform
