#include "tree/filters.h"

#include <cstring>

namespace {

// What a folder's path is followed by to make its search pattern: every entry in it.
constexpr char kEveryEntry[] = "\\*";

bool IsDotEntry(const WIN32_FIND_DATAA& entry) {
  // Most names do not start with a dot; the comparisons are paid only by those that do.
  if (entry.cFileName[0] != '.') return false;
  return platform::lstrcmpA(entry.cFileName, ".") == 0 ||
         platform::lstrcmpA(entry.cFileName, "..") == 0;
}

bool IsDirectory(const WIN32_FIND_DATAA& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool NextMatching(HANDLE listing, WIN32_FIND_DATAA& entry,
                  bool (*matches)(const WIN32_FIND_DATAA&)) {
  while (platform::FindNextFileA(listing, &entry)) {
    if (matches(entry)) return true;
  }
  return false;
}

// The listing with its first matching entry in entry; INVALID_HANDLE_VALUE when it cannot be
// opened, kNoEntries when nothing in it matches. The hints let the platform skip work nobody reads:
// only the file block with time stamps reads more of an entry than its name and attributes.
HANDLE FirstMatching(const char* pattern, WIN32_FIND_DATAA& entry,
                     bool (*matches)(const WIN32_FIND_DATAA&), FINDEX_INFO_LEVELS level,
                     FINDEX_SEARCH_OPS search) {
  HANDLE const listing = platform::FindFirstFileExA(pattern, level, &entry, search, nullptr,
                                                    FIND_FIRST_EX_LARGE_FETCH);
  if (listing == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  if (matches(entry) || NextMatching(listing, entry, matches)) return listing;
  platform::FindClose(listing);
  return kNoEntries;
}

}  // namespace

bool SearchPatternFits(const std::string& path) {
  return path.size() + sizeof kEveryEntry <= kPathLimit;
}

bool MakeSearchPattern(const std::string& path, std::string& pattern) {
  if (!SearchPatternFits(path)) return false;
  pattern.reserve(path.size() + sizeof kEveryEntry - 1);
  pattern.assign(path).append(kEveryEntry);
  return true;
}

bool IsSubfolderEntry(const WIN32_FIND_DATAA& entry) {
  return IsDirectory(entry) && !IsDotEntry(entry);
}

bool IsPlainFileEntry(const WIN32_FIND_DATAA& entry) {
  return !IsDirectory(entry) && !IsDotEntry(entry);
}

HANDLE FirstSubfolder(const std::string& pattern, WIN32_FIND_DATAA& entry) {
  HANDLE const listing = FirstMatching(pattern.c_str(), entry, IsSubfolderEntry, FindExInfoBasic,
                                       FindExSearchLimitToDirectories);
  return listing == INVALID_HANDLE_VALUE ? kNoEntries : listing;
}

bool NextSubfolder(HANDLE listing, WIN32_FIND_DATAA& entry) {
  return NextMatching(listing, entry, IsSubfolderEntry);
}

bool HasSubfolders(const std::string& path) {
  // Built in a buffer as large as any path, so that the probe of a folder costs no allocation.
  char pattern[kPathLimit];
  if (!SearchPatternFits(path)) return false;
  path.copy(pattern, path.size());
  std::memcpy(pattern + path.size(), kEveryEntry, sizeof kEveryEntry);
  WIN32_FIND_DATAA entry;
  HANDLE const listing = FirstMatching(pattern, entry, IsSubfolderEntry, FindExInfoBasic,
                                       FindExSearchLimitToDirectories);
  if (listing == INVALID_HANDLE_VALUE || listing == kNoEntries) return false;
  platform::FindClose(listing);
  return true;
}

HANDLE FirstPlainFile(const std::string& pattern, WIN32_FIND_DATAA& entry, bool withTimes) {
  return FirstMatching(pattern.c_str(), entry, IsPlainFileEntry,
                       withTimes ? FindExInfoStandard : FindExInfoBasic, FindExSearchNameMatch);
}

bool NextPlainFile(HANDLE listing, WIN32_FIND_DATAA& entry) {
  return NextMatching(listing, entry, IsPlainFileEntry);
}
