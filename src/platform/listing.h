// The listing engine's insides, the same in every build: what it asks of a folder reader. Each
// system has one reader (folder_reader-linux.cc, folder_reader-portable.cc, folder_reader-win32.cc;
// the tests have a fake), which owns the layout of its records and of an open folder with its
// position. Nothing outside src/platform and its tests includes this.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

// A record of one entry as the reader reads it, and a folder it holds open (or, given back, what
// identifies it), both the reader's own.
struct FolderRecord;
struct Folder;

using Records = std::vector<char>;

// A chunk is at most this many bytes of records: a folder is read a chunk at a time.
constexpr std::size_t kChunkBytes = 32 * 1024;
struct Chunk {
  alignas(16) char bytes[kChunkBytes];
};

// Whether an open failed for want of descriptors or handles, which giving one back may mend.
enum class OpenResult { kOpened, kFailed, kOutOfDescriptors };

// The folder a path the user typed names, read by the path rules.
OpenResult OpenTypedFolder(const char* windowsPath, std::size_t length, Folder*& folder);
// The subfolder that record, read from parent (held open), names, opened inside parent by the
// record's real name; kFailed when it is gone, is no folder, or is refused.
OpenResult OpenChildFolder(Folder& parent, const FolderRecord& record, Folder*& child);
// Gives back what folder holds open, keeping what identifies it.
void ReleaseFolder(Folder& folder);
// Opens a folder given back again by its path; kFailed when it is gone or is another folder now.
OpenResult ReopenFolder(Folder& folder);
// Closes folder, held or given back, and frees it.
void CloseFolder(Folder* folder);
// Raises the number of descriptors or handles this process may hold, where the system allows;
// false when it cannot be raised.
bool RaiseOpenLimit();

// Reads the records that follow where folder (held) stands into chunk: used bytes, whole records,
// at least one unless the folder has none left. lastChunk: no records follow these. False when it
// cannot be read.
bool ReadChunk(Folder& folder, Chunk& chunk, std::size_t& used, bool& lastChunk);
// Makes folder (held) stand at its first record, or just after record, one read from it before.
// False when that place can no longer be found.
bool Rewind(Folder& folder);
bool ResumeAfter(Folder& folder, const FolderRecord& record);

std::size_t RecordLength(const FolderRecord& record);
// Whether record may be a folder's, judged without asking the system; folders always may.
bool MayBeFolder(const FolderRecord& record);
// The record's name as the narrow interfaces show it.
const char* ShownName(const FolderRecord& record);
// Fills entry from record, a record of folder (held); withDetails, its times and size as well.
// False when the entry is not to be delivered (it has vanished since the read).
bool DescribeRecord(Folder& folder, const FolderRecord& record, bool withDetails,
                    WIN32_FIND_DATAA& entry);
// Whether a name matches the last part of a search pattern other than "*".
bool NameMatches(const std::string& match, const char* name);

// The folder an open visit's path names, and child, the record of one of its subfolders, when the
// path names that one instead (rule 1 of listing.cc); false when no visit accounts for the path.
bool ListedFolder(const char* windowsPath, std::size_t length, Folder*& folder,
                  const FolderRecord*& child);

}  // namespace platform
