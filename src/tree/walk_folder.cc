#include "tree/walk_folder.h"

#include <cstddef>
#include <iostream>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "tree/file_block.h"
#include "tree/filters.h"
#include "tree/glyphs.h"
#include "tree/shown_name.h"
#include "tree/write_line.h"

namespace {

// One folder on the path from the target down to the folder being walked: the first length bytes of
// the walk's path. Its identity is asked for only when a link needs comparing with it: most trees
// hold no links, and each identity costs a call.
struct FolderOnPath {
  const std::string& path;
  std::size_t length;
  FolderOnPath* parent;
  bool asked = false;
  bool known = false;
  BY_HANDLE_FILE_INFORMATION identity{};
};

// What the whole walk shares. The path and the prefix grow by a subfolder's part on the way down
// and are cut back on the way up, and every line is assembled in the one line buffer, so a folder
// and a line cost no allocation of their own once the longest has been seen.
struct Walk {
  std::string path;
  std::string prefix;
  std::string pattern;
  std::string line;
  DisplayOptions options;
};

bool IdentifyFolder(const std::string& path, BY_HANDLE_FILE_INFORMATION& identity) {
  HANDLE const folder =
      platform::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  bool const known = platform::GetFileInformationByHandle(folder, &identity) != FALSE;
  platform::CloseHandle(folder);
  return known;
}

bool Identify(FolderOnPath& folder) {
  if (!folder.asked) {
    folder.asked = true;
    folder.known = IdentifyFolder(folder.path.substr(0, folder.length), folder.identity);
  }
  return folder.known;
}

bool SameFolder(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// A folder link may lead back up the path being walked; followed, it would repeat the same folders
// level after level until the path no longer fits. Only a link can close such a loop, so only a
// folder entered through one is compared with the folders above it.
bool LeadsBack(FolderOnPath& folder) {
  if (!Identify(folder)) return false;
  for (FolderOnPath* up = folder.parent; up != nullptr; up = up->parent) {
    if (Identify(*up) && SameFolder(up->identity, folder.identity)) return true;
  }
  return false;
}

bool IsLink(const WIN32_FIND_DATAA& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

void WalkBelow(Walk& walk, FolderOnPath* parent, bool throughLink) {
  if (!std::cout) return;
  FolderOnPath self{walk.path, walk.path.size(), parent};
  if (throughLink && LeadsBack(self)) return;

  DisplayOptions const options = walk.options;
  // Only the file block's segment depends on it.
  bool const hasSub = options.listFiles && HasSubfolders(walk.path);
  if (!MakeSearchPattern(walk.path, walk.pattern)) return;
  if (options.listFiles && !PrintFileBlock(walk.pattern, walk.prefix, hasSub, options)) return;
  if (!std::cout) return;

  // The entry being drawn and its look-ahead trade places instead of being copied.
  WIN32_FIND_DATAA entries[2];
  WIN32_FIND_DATAA* current = &entries[0];
  WIN32_FIND_DATAA* next = &entries[1];
  HANDLE const listing = FirstSubfolder(walk.pattern, *current);
  if (listing == kNoEntries) return;

  GlyphSet const& glyphs = SelectGlyphs(options.asciiGlyphs);
  std::size_t const pathLength = walk.path.size();
  std::size_t const prefixLength = walk.prefix.size();
  for (;;) {
    // The look-ahead decides the connector, so it comes before the line and the subtree.
    bool const more = NextSubfolder(listing, *next);
    walk.line.assign(walk.prefix).append(more ? glyphs.tee : glyphs.end);
    AppendShownName(walk.line, ShownName{current->cFileName, options.toTerminal});
    walk.line.push_back('\n');
    WriteLine(walk.line);
    walk.path.append(1, '\\').append(current->cFileName);
    walk.prefix.append(more ? glyphs.bar : glyphs.blank);
    WalkBelow(walk, &self, IsLink(*current));
    walk.path.resize(pathLength);
    walk.prefix.resize(prefixLength);
    if (!more || !std::cout) break;
    std::swap(current, next);
  }
  platform::FindClose(listing);
}

}  // namespace

void WalkFolder(const std::string& path, const std::string& prefix, DisplayOptions options) {
  Walk walk{path, prefix, {}, {}, options};
  WalkBelow(walk, nullptr, false);
}
