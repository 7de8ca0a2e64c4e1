// Windows path rules over plain strings; nothing here touches the file system except through
// GetCurrentDirectoryA.
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix_internal.h"

namespace platform {

namespace {

constexpr std::size_t kNoRoot = static_cast<std::size_t>(-1);

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool HasDrive(const char* path) { return IsAsciiLetter(path[0]) && path[1] == ':'; }

bool IsNetworkPath(const char* path) {
  return IsWindowsSeparator(path[0]) && IsWindowsSeparator(path[1]);
}

// End of the server-and-share part of a network path: the separator after the share, or the end.
std::size_t NetworkRootLength(const char* path) {
  std::size_t at = 2;
  for (int part = 0; part < 2; ++part) {
    if (part == 1 && path[at] != '\0') ++at;  // the separator between server and share
    while (path[at] != '\0' && !IsWindowsSeparator(path[at])) ++at;
  }
  return at;
}

// How many bytes of path make its root, or kNoRoot for a relative path.
std::size_t RootLength(const char* path) {
  if (HasDrive(path)) return IsWindowsSeparator(path[2]) ? 3 : 2;
  if (IsNetworkPath(path)) return NetworkRootLength(path);
  if (IsWindowsSeparator(path[0])) return 1;
  return kNoRoot;
}

// Appends the parts of relative to parts, resolving "." and "..". ".." never climbs above the root.
void AppendParts(const char* relative, std::vector<std::string>& parts) {
  std::string part;
  for (const char* at = relative;; ++at) {
    if (*at != '\0' && !IsWindowsSeparator(*at)) {
      part.push_back(*at);
      continue;
    }
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
    if (*at == '\0') return;
  }
}

// The root of an absolute path in its canonical form ("C:" or "\\server\share", no trailing
// separator) and its parts; false when path has no root of its own.
bool SplitAbsolute(const char* path, std::string& root, std::vector<std::string>& parts) {
  if (HasDrive(path) && IsWindowsSeparator(path[2])) {
    root.assign(path, 2);
    AppendParts(path + 3, parts);
    return true;
  }
  if (IsNetworkPath(path)) {
    std::size_t const length = NetworkRootLength(path);
    root = "\\\\";
    for (std::size_t at = 2; at < length; ++at)
      root.push_back(IsWindowsSeparator(path[at]) ? '\\' : path[at]);
    AppendParts(path + length, parts);
    return true;
  }
  return false;
}

bool CurrentFolder(std::string& root, std::vector<std::string>& parts) {
  char current[MAX_PATH];
  DWORD const length = GetCurrentDirectoryA(MAX_PATH, current);
  return length > 0 && length < MAX_PATH && SplitAbsolute(current, root, parts);
}

// Where a path that is not fully rooted starts from.
bool ResolveBase(const char* path, std::string& root, std::vector<std::string>& parts,
                 const char*& rest) {
  rest = path;
  if (HasDrive(path)) {
    rest = path + 2;
    // Drive C: has a current folder (the process's); every other drive starts at its root.
    if (path[0] == 'C' || path[0] == 'c') return CurrentFolder(root, parts);
    root.assign(path, 2);
    return true;
  }
  if (!CurrentFolder(root, parts)) return false;
  if (IsWindowsSeparator(path[0])) parts.clear();  // rooted on the current drive
  return true;
}

}  // namespace

DWORD CopyPathResult(const std::string& result, DWORD length, LPSTR buffer) {
  if (result.size() + 1 > length) return static_cast<DWORD>(result.size() + 1);
  std::memcpy(buffer, result.c_str(), result.size() + 1);
  return static_cast<DWORD>(result.size());
}

bool ToPosixPath(const char* windowsPath, std::size_t length, std::string& posixPath) {
  if (length == 0) return false;  // names nothing, not the current folder
  const char* rest = windowsPath;
  if (length >= 2 && HasDrive(windowsPath)) {
    if (windowsPath[0] != 'C' && windowsPath[0] != 'c') return false;
    rest += 2;
  } else if (length >= 2 && IsNetworkPath(windowsPath)) {
    return false;
  }
  posixPath.clear();
  for (const char* at = rest; at != windowsPath + length; ++at) {
    if (!IsWindowsSeparator(*at)) {
      posixPath.push_back(*at);
    } else if (posixPath.empty() || posixPath.back() != '/') {
      posixPath.push_back('/');
    }
  }
  if (posixPath.empty()) posixPath = ".";
  return true;
}

bool ToPosixPath(const char* windowsPath, std::string& posixPath) {
  return ToPosixPath(windowsPath, std::strlen(windowsPath), posixPath);
}

DWORD GetFullPathNameA(LPCSTR path, DWORD length, LPSTR buffer, LPSTR* filePart) {
  if (filePart != nullptr) *filePart = nullptr;
  if (path == nullptr || path[0] == '\0') return 0;

  std::string root;
  std::vector<std::string> parts;
  if (!SplitAbsolute(path, root, parts)) {
    const char* rest = nullptr;
    if (!ResolveBase(path, root, parts, rest)) return 0;
    AppendParts(rest, parts);
  }

  std::string result = root;
  for (std::string const& part : parts) result.append("\\").append(part);
  bool const network = root[0] == '\\';
  bool const trailingSeparator = IsWindowsSeparator(path[std::strlen(path) - 1]);
  if ((parts.empty() && !network) || (trailingSeparator && !parts.empty())) result.push_back('\\');
  if (network && parts.empty() && trailingSeparator) result.push_back('\\');

  DWORD const written = CopyPathResult(result, length, buffer);
  if (filePart != nullptr && written < length && !parts.empty() && !trailingSeparator) {
    *filePart = buffer + result.size() - parts.back().size();
  }
  return written;
}

BOOL PathStripToRootA(LPSTR path) {
  std::size_t const length = RootLength(path);
  if (length == kNoRoot) {
    path[0] = '\0';
    return FALSE;
  }
  path[length] = '\0';
  // A drive without a separator ("C:", "C:x") is relative to that drive's current folder, so
  // Windows finds no root in it, though it leaves the drive standing.
  return HasDrive(path) && length == 2 ? FALSE : TRUE;
}

// As on Windows, only a drive with its separator ("C:\") and a network share followed by a
// separator have a root to skip; "C:x", "\x" and a bare "\\server\share" have none.
LPCSTR PathSkipRootA(LPCSTR path) {
  if (HasDrive(path)) return IsWindowsSeparator(path[2]) ? path + 3 : nullptr;
  if (!IsNetworkPath(path)) return nullptr;
  std::size_t const length = NetworkRootLength(path);
  return IsWindowsSeparator(path[length]) ? path + length + 1 : nullptr;
}

LPSTR CharUpperA(LPSTR text) {
  for (char* at = text; *at != '\0'; ++at) {
    if (*at >= 'a' && *at <= 'z') *at = static_cast<char>(*at - 'a' + 'A');
  }
  return text;
}

int lstrcmpA(LPCSTR first, LPCSTR second) { return std::strcmp(first, second); }

}  // namespace platform
