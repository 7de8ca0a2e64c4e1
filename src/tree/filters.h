// The enumeration filters: they pick subfolders or plain files out of a folder's listing, passing
// over "." and ".." wherever the listing delivers them. Nothing else about an entry is looked at,
// so hidden and system entries pass.
#pragma once

#include <string>

#include "platform/platform.h"

// What a First... filter gives when the listing holds no matching entry; the listing is then
// closed.
inline HANDLE const kNoEntries = nullptr;

// Whether a search pattern of path fits the platform's path buffer (kPathLimit), NUL included.
bool SearchPatternFits(const std::string& path);
// path, a backslash and an asterisk; false when that does not fit.
bool MakeSearchPattern(const std::string& path, std::string& pattern);

bool IsSubfolderEntry(const WIN32_FIND_DATAA& entry);
bool IsPlainFileEntry(const WIN32_FIND_DATAA& entry);

// The listing with its first subfolder in entry, or kNoEntries, also when it cannot be opened.
HANDLE FirstSubfolder(const std::string& pattern, WIN32_FIND_DATAA& entry);
bool NextSubfolder(HANDLE listing, WIN32_FIND_DATAA& entry);
// Whether the folder's listing holds a subfolder; false too when it cannot be opened.
bool HasSubfolders(const std::string& path);

// The listing with its first plain file in entry; kNoEntries when it holds none, and
// INVALID_HANDLE_VALUE when it cannot be opened. The entries' times are filled only withTimes.
HANDLE FirstPlainFile(const std::string& pattern, WIN32_FIND_DATAA& entry, bool withTimes);
bool NextPlainFile(HANDLE listing, WIN32_FIND_DATAA& entry);
