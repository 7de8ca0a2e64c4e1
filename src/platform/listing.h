// What the listing engine asks of each system's folder reader (folder_reader-*.cc; the tests have a
// fake), which owns the layout of its records and of an open folder, its position included.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

struct FolderRecord;  // one entry as read
struct Folder;        // a folder held open or, given back, what finds it again
using Records = std::vector<char>;

constexpr std::size_t kChunkBytes = 32 * 1024;  // a folder is read this many bytes at a time
struct Chunk {
  alignas(16) char bytes[kChunkBytes];
};

enum class OpenResult { kOpened, kFailed, kOutOfDescriptors };

// A folder the user typed, by the path rules; a subfolder inside parent (held) by the real name of
// its record. ReleaseFolder gives back the descriptor; ReopenFolder opens the folder again by its
// path, kFailed unless it is still the same folder. RaiseOpenLimit: false when it cannot.
OpenResult OpenTypedFolder(const char* windowsPath, std::size_t length, Folder*& folder);
OpenResult OpenChildFolder(Folder& parent, const FolderRecord& record, Folder*& child);
void ReleaseFolder(Folder& folder);
OpenResult ReopenFolder(Folder& folder);
void CloseFolder(Folder* folder);
bool RaiseOpenLimit();

// Reads the whole records after where folder (held) stands into chunk, at least one unless none is
// left; lastChunk: none follows. Rewind and ResumeAfter make it stand at its start or just after a
// record read from it. Each false when it cannot.
bool ReadChunk(Folder& folder, Chunk& chunk, std::size_t& used, bool& lastChunk);
bool Rewind(Folder& folder);
bool ResumeAfter(Folder& folder, const FolderRecord& record);

// A record's length; whether it may be a folder's, judged without asking; its name as the narrow
// interfaces show it; entry filled from it (withDetails: times and size too), false when the entry
// has vanished since. NameMatches: whether a name matches a search pattern's last part.
std::size_t RecordLength(const FolderRecord& record);
bool MayBeFolder(const FolderRecord& record);
const char* ShownName(const FolderRecord& record);
bool DescribeRecord(Folder& folder, const FolderRecord& record, bool withDetails,
                    WIN32_FIND_DATAA& entry);
bool NameMatches(const std::string& match, const char* name);

inline auto& RecordAt(const char* at) { return *reinterpret_cast<const FolderRecord*>(at); }
inline void CopyRecord(const FolderRecord& record, Records& to) {
  auto const* const bytes = reinterpret_cast<const char*>(&record);
  to.assign(bytes, bytes + RecordLength(record));
}
inline bool IsDotName(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The folder of the visit a path names, and child, the record of one of its subfolders when the
// path names that (rule 1 of listing.cc); false when no visit accounts for the path.
bool ListedFolder(const char* windowsPath, std::size_t length, Folder*& folder,
                  const FolderRecord*& child);

}  // namespace platform
