#include "tree/walk_folder.h"

#include <iostream>

#include "platform/platform.h"
#include "tree/file_block.h"
#include "tree/filters.h"
#include "tree/glyphs.h"
#include "tree/shown_name.h"

namespace {

// One folder on the path from the target down to the folder being walked. Its identity is asked for
// only when a link needs comparing with it: most trees hold no links, and each identity costs a
// call.
struct FolderOnPath {
  const std::string& path;
  FolderOnPath* parent;
  bool asked = false;
  bool known = false;
  BY_HANDLE_FILE_INFORMATION identity{};
};

bool IdentifyFolder(const std::string& path, BY_HANDLE_FILE_INFORMATION& identity) {
  HANDLE const folder =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  bool const known = GetFileInformationByHandle(folder, &identity) != FALSE;
  CloseHandle(folder);
  return known;
}

bool Identify(FolderOnPath& folder) {
  if (!folder.asked) {
    folder.asked = true;
    folder.known = IdentifyFolder(folder.path, folder.identity);
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

void WalkBelow(const std::string& path, const std::string& prefix, DisplayOptions options,
               FolderOnPath* parent, bool throughLink) {
  if (!std::cout) return;
  FolderOnPath self{path, parent};
  if (throughLink && LeadsBack(self)) return;

  bool const hasSub = HasSubfolders(path);
  std::string pattern;
  if (!MakeSearchPattern(path, pattern)) return;
  if (options.listFiles && !PrintFileBlock(pattern, prefix, hasSub, options)) return;

  WIN32_FIND_DATAA current;
  WIN32_FIND_DATAA next;
  HANDLE const listing = FirstSubfolder(pattern, current);
  if (listing == kNoEntries) return;

  GlyphSet const& glyphs = SelectGlyphs(options.asciiGlyphs);
  for (;;) {
    // The look-ahead decides the connector, so it comes before the line and the subtree.
    bool const more = NextSubfolder(listing, next);
    std::string const childPath = path + '\\' + current.cFileName;
    std::string const childPrefix = prefix + (more ? glyphs.bar : glyphs.blank);
    std::cout << prefix << (more ? glyphs.tee : glyphs.end)
              << ShownName{current.cFileName, options.toTerminal} << std::endl;
    WalkBelow(childPath, childPrefix, options, &self, IsLink(current));
    if (!more) break;
    current = next;
  }
  FindClose(listing);
}

}  // namespace

void WalkFolder(const std::string& path, const std::string& prefix, DisplayOptions options) {
  WalkBelow(path, prefix, options, nullptr, false);
}
