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

bool IsPosixSeparator(char c) { return c == '/'; }

// Appends the parts of relative, split at the bytes isSeparator takes, to parts, resolving "." and
// "..". ".." never climbs above the root.
void AppendParts(const char* relative, std::vector<std::string>& parts,
                 bool (*isSeparator)(char) = IsWindowsSeparator) {
  std::string part;
  for (const char* at = relative;; ++at) {
    if (*at != '\0' && !isSeparator(*at)) {
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

// Appends the length bytes at windowsPath to posixPath with "/" for every run of separators.
void AppendSeparated(const char* windowsPath, std::size_t length, std::string& posixPath) {
  for (const char* at = windowsPath; at != windowsPath + length; ++at) {
    if (!IsWindowsSeparator(*at)) {
      posixPath.push_back(*at);
    } else if (posixPath.empty() || posixPath.back() != '/') {
      posixPath.push_back('/');
    }
  }
}

// ---------------------------------------------------------------------------------------------
// What a Windows path the platform handed out cannot say by itself: the POSIX path it stands for
// where a name in it holds a backslash. Bound: the current folder last handed out, the last full
// path made, and the arguments taken as POSIX paths.
class RememberedPaths {
 public:
  static RememberedPaths& Get() {
    static RememberedPaths paths;
    return paths;
  }
  void RememberCurrentFolder(const std::string& windowsForm, const std::string& posixPath) {
    currentForm_ = windowsForm;
    currentPosix_ = posixPath;
  }
  // The parts of the current folder when path is its form as handed out: split where POSIX splits
  // it, so that a backslash, or a ".." between backslashes, stays inside the name that holds it.
  bool SplitCurrentFolder(const char* path, std::string& root,
                          std::vector<std::string>& parts) const {
    if (currentForm_.empty() || currentForm_ != path) return false;
    root = "C:";
    AppendParts(currentPosix_.c_str(), parts, IsPosixSeparator);
    return true;
  }
  void RememberPosixArgument(const char* argument) { posixArguments_.emplace_back(argument); }
  bool IsPosixArgument(const char* path) const {
    for (std::string const& argument : posixArguments_) {
      if (argument == path) return true;
    }
    return false;
  }
  // A full path below the root of drive C: (without its trailing separator) and its parts, which
  // are POSIX names. A root has nothing to say again, and another drive names nothing: either
  // forgets the last full path.
  void RememberFullPath(const std::string& root, const std::vector<std::string>& parts) {
    fullPath_.clear();
    posixPath_.clear();
    if ((root != "C:" && root != "c:") || parts.empty()) return;
    fullPath_ = root;
    for (std::string const& part : parts) {
      fullPath_.append("\\").append(part);
      posixPath_.append("/").append(part);
    }
  }
  // The POSIX path of the first length bytes of windowsPath when it is the last full path made or
  // lies below it: the full path's own, followed by the rest with its separators made one.
  bool Resolve(const char* windowsPath, std::size_t length, std::string& posixPath) const {
    std::size_t const base = fullPath_.size();
    if (base == 0 || length < base || fullPath_.compare(0, base, windowsPath, base) != 0 ||
        (length > base && !IsWindowsSeparator(windowsPath[base]))) {
      return false;
    }
    posixPath = posixPath_;
    AppendSeparated(windowsPath + base, length - base, posixPath);
    return true;
  }

 private:
  std::string currentForm_;
  std::string currentPosix_;
  std::vector<std::string> posixArguments_;
  std::string fullPath_;
  std::string posixPath_;
};

bool CurrentFolder(std::string& root, std::vector<std::string>& parts) {
  char current[MAX_PATH];
  DWORD const length = GetCurrentDirectoryA(MAX_PATH, current);
  return length > 0 && length < MAX_PATH &&
         (RememberedPaths::Get().SplitCurrentFolder(current, root, parts) ||
          SplitAbsolute(current, root, parts));
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

// Where a path that the platform reads by other rules than the typed ones starts: an argument
// taken as a POSIX path is split where POSIX splits it, and so is the current folder's own form,
// which the driver hands back. False for every other path.
bool ResolveOwnRules(const char* path, std::string& root, std::vector<std::string>& parts,
                     bool& posixSeparators) {
  RememberedPaths const& remembered = RememberedPaths::Get();
  posixSeparators = remembered.IsPosixArgument(path);
  if (posixSeparators) {
    root = "C:";
    AppendParts(path, parts, IsPosixSeparator);
    return true;
  }
  return remembered.SplitCurrentFolder(path, root, parts);
}

}  // namespace

std::string CurrentFolderForm(const std::string& posixPath) {
  std::string form = "C:";
  for (char c : posixPath) form.push_back(c == '/' ? '\\' : c);
  RememberedPaths::Get().RememberCurrentFolder(form, posixPath);
  return form;
}

void RememberPosixPathArgument(const char* argument) {
  RememberedPaths::Get().RememberPosixArgument(argument);
}

DWORD CopyPathResult(const std::string& result, DWORD length, LPSTR buffer) {
  if (result.size() + 1 > length) return static_cast<DWORD>(result.size() + 1);
  std::memcpy(buffer, result.c_str(), result.size() + 1);
  return static_cast<DWORD>(result.size());
}

bool ToPosixPath(const char* windowsPath, std::size_t length, std::string& posixPath) {
  if (length == 0) return false;  // names nothing, not the current folder
  if (RememberedPaths::Get().Resolve(windowsPath, length, posixPath)) return true;
  const char* rest = windowsPath;
  if (length >= 2 && HasDrive(windowsPath)) {
    if (windowsPath[0] != 'C' && windowsPath[0] != 'c') return false;
    rest += 2;
  } else if (length >= 2 && IsNetworkPath(windowsPath)) {
    return false;
  }
  posixPath.clear();
  AppendSeparated(rest, windowsPath + length - rest, posixPath);
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
  bool posixSeparators = false;
  if (!ResolveOwnRules(path, root, parts, posixSeparators) && !SplitAbsolute(path, root, parts)) {
    const char* rest = nullptr;
    if (!ResolveBase(path, root, parts, rest)) return 0;
    AppendParts(rest, parts);
  }

  std::string result = root;
  for (std::string const& part : parts) result.append("\\").append(part);
  bool const network = root[0] == '\\';
  char const last = path[std::strlen(path) - 1];
  bool const trailingSeparator =
      posixSeparators ? IsPosixSeparator(last) : IsWindowsSeparator(last);
  if ((parts.empty() && !network) || (trailingSeparator && !parts.empty())) result.push_back('\\');
  if (network && parts.empty() && trailingSeparator) result.push_back('\\');
  RememberedPaths::Get().RememberFullPath(root, parts);

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
