// Which wide path a narrow path that the platform handed out stands for. The program builds its
// paths from the narrow names it was given (a folder's path, a backslash and a name), and a name
// outside the code page does not lead back to its folder; the two records here take such a path
// back to the real wide names.
#include <vector>

#include "platform/win32_internal.h"

namespace platform {

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

// ---------------------------------------------------------------------------------------------
// Open listings. Each open listing keeps its folder's narrow path as the caller spelled it, the
// folder in the form the system takes as it is, and the last two subfolders it delivered ("." and
// ".." aside), by shown and by real name; a failed fetch at the end counts as one delivery of
// nothing. A narrow path made of an open listing's folder, one separator and the shown name of a
// recorded subfolder is taken to that subfolder, whatever the name holds: a 0x5C shown for a
// character the code page lacks (such as the yen sign) or ".." in it are part of the name, never
// steps of the path. When both recorded subfolders show that name, it is the earlier one. That is
// how the walk goes: it fetches the subfolder after the one it is about to enter first (the
// look-ahead), and its ancestors' listings hold still, each with the entered subfolder as the
// earlier of the two. The newest listing that fits is the deepest: the walk opens one per level,
// each below the one before. Bound: two entries per open listing, whatever the size of the
// folders or the tree. (The record of each open listing is Listing, in win32_internal.h.)
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
  // The "\\?\" form of path when it is an open listing's folder or one of the subfolders it
  // recorded.
  bool Resolve(const std::string& path, std::wstring& wide) const {
    std::string rest;
    std::wstring real;
    for (std::size_t at = open_.size(); at-- > 0;) {
      Listing const& listing = *open_[at];
      if (!Below(path, listing.folder, rest)) continue;
      if (!rest.empty() && !listing.RealName(rest.substr(1), real)) continue;
      wide = listing.systemFolder;
      if (rest.empty()) return true;
      if (wide.back() != L'\\') wide += L'\\';
      wide += real;
      return true;
    }
    return false;
  }

 private:
  std::vector<Listing*> open_;
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
void AddOpenListing(Listing* listing) { OpenListings::Get().Add(listing); }
void RemoveOpenListing(Listing* listing) { OpenListings::Get().Remove(listing); }

std::wstring WidePath(const std::string& path, bool& literal) {
  std::wstring wide;
  literal = OpenListings::Get().Resolve(path, wide);
  return literal ? wide : TypedWidePath(path);
}

std::wstring TypedWidePath(const std::string& path) {
  std::wstring wide;
  return TypedPaths::Get().Resolve(path, wide) ? wide : WideFromNarrow(path);
}

}  // namespace platform
