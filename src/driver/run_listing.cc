#include "driver/run_listing.h"

#include <cstring>
#include <iostream>
#include <string>

#include "driver/messages.h"
#include "platform/platform.h"
#include "tree/filters.h"
#include "tree/run_text.h"
#include "tree/shown_name.h"
#include "tree/walk_folder.h"

namespace {

bool FitsPathBuffer(DWORD length) { return length > 0 && length < kPathLimit; }

// The absolute form of target, or of the current folder when target is null; false when it cannot
// be made or does not fit the platform's path buffer.
bool MakeFullPath(const char* target, char (&fullPath)[kPathLimit]) {
  char currentFolder[kPathLimit];
  if (target == nullptr) {
    if (!FitsPathBuffer(platform::GetCurrentDirectoryA(kPathLimit, currentFolder))) return false;
    target = currentFolder;
  }
  return FitsPathBuffer(platform::GetFullPathNameA(target, kPathLimit, fullPath, nullptr)) &&
         platform::PathSkipRootA(fullPath) != nullptr;
}

DWORD ReadSerialNumber(const char* root) {
  DWORD serial = 0;
  if (!platform::GetVolumeInformationA(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0))
    serial = 0;
  return serial;
}

// The line gets no flush of its own: it leaves with the title line.
void PrintSerialLine(bool currentFolderForm, DWORD serial) {
  char halves[] = "0000-0000";
  for (int digit = 0; digit < 8; ++digit) {
    halves[digit < 4 ? digit : digit + 1] = "0123456789ABCDEF"[(serial >> (28 - 4 * digit)) & 0xF];
  }
  if (currentFolderForm) halves[4] = ':';
  std::cout << RunText(kSerialLead) << halves << RunText(kSerialTail) << '\n';
}

void PrintNoSubfoldersNote() { std::cout << RunText(kNoSubfolders) << std::endl << std::endl; }

// A target that has no absolute form (an empty or overlong argument, an unreadable current folder)
// is a path that is not a folder; it is shown as the user typed it.
void ReportUnresolvedTarget(const char* target, bool currentFolderForm, bool toTerminal) {
  ShownName const shown{target != nullptr ? target : ".", toTerminal};
  PrintSerialLine(currentFolderForm, 0);
  std::cout << RunText(kTitle) << std::endl;
  std::cout << shown << std::endl;
  std::cout << RunText(kInvalidPath) << '\\' << shown << std::endl;
  PrintNoSubfoldersNote();
}

}  // namespace

void RunListing(const char* target, DisplayOptions options) {
  bool const currentFolderForm = target == nullptr;
  char fullPath[kPathLimit];
  if (!MakeFullPath(target, fullPath)) {
    ReportUnresolvedTarget(target, currentFolderForm, options.toTerminal);
    return;
  }

  char root[kPathLimit];
  std::strcpy(root, fullPath);
  platform::PathStripToRootA(root);
  platform::CharUpperA(root);

  PrintSerialLine(currentFolderForm, ReadSerialNumber(root));
  std::cout << RunText(kTitle) << std::endl;
  // The drive letter comes from the upper-cased root; the rest is the full path as spelled.
  std::cout << root[0] << ShownName{currentFolderForm ? ":." : fullPath + 1, options.toTerminal}
            << std::endl;

  bool const folder = platform::PathIsDirectoryA(fullPath) != FALSE;
  if (folder) {
    WalkFolder(fullPath, "", options);
  } else {
    std::cout << RunText(kInvalidPath) << '\\'
              << ShownName{platform::PathSkipRootA(fullPath), options.toTerminal} << std::endl;
  }
  // A folder too deep for its search pattern cannot be listed, which says nothing of whether it has
  // subfolders: the note would be a guess.
  if (folder && !SearchPatternFits(fullPath)) return;
  if (!HasSubfolders(fullPath)) PrintNoSubfoldersNote();
}
