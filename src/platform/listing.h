// The listing engine's insides, shared by every build: the records a folder reader fills, and what
// the engine asks of each system (file_system-posix.cc with folder_reader-linux.cc or
// folder_reader-portable.cc; folders-win32.cc). Nothing outside src/platform and its tests includes
// this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

#if !defined(_WIN32)
#include <dirent.h>
#endif

namespace platform {

// A chunk is at most this many bytes of records, so memory stays flat however many entries a
// folder has.
constexpr std::size_t kChunkBytes = 32 * 1024;
// The most folders held open at once, and the most bytes of a large folder's subfolder records
// kept for the pass over them (the engine's rules in listing.cc).
constexpr std::size_t kHeldFolders = 64;
constexpr std::size_t kKeptFolderBytes = 512 * 1024;

using Records = std::vector<char>;

#if defined(_WIN32)
// A folder as the system reaches it: its wide path in the "\\?\" form, which takes every name as it
// is.
using SystemPath = std::wstring;
// Windows reads a folder by its path: nothing is held open between listings.
constexpr bool kHoldsFolders = false;
// What the Windows reader packs of each entry FindNextFileW delivers: the head, then the name as
// the narrow interfaces show it and its NUL, then the real name in UTF-16 and its NUL at realAt,
// the whole rounded up so that the next record is aligned.
struct FolderRecord {
  std::uint16_t d_reclen;
  std::uint16_t realAt;  // the real name's offset from the record's start
  DWORD attributes;
  FILETIME creation;
  FILETIME lastAccess;
  FILETIME lastWrite;
  DWORD sizeHigh;
  DWORD sizeLow;
  char d_name[MAX_PATH + 2 * MAX_PATH + 4];
};
inline const wchar_t* RealName(const FolderRecord& record) {
  return reinterpret_cast<const wchar_t*>(reinterpret_cast<const char*>(&record) + record.realAt);
}
inline bool MayBeFolder(const FolderRecord& record) {
  return (record.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
// How many listings keep the system's listing of their folder open between chunks.
constexpr std::size_t kKeptStreams = 8;
// Where a listing's next chunk starts: the system's listing, kept open between chunks, or the
// number of entries read so far, passed over when the folder is listed anew.
struct ReadPosition {
  bool started = false;
  bool keeps = false;  // whether find stays open between chunks
  HANDLE find = INVALID_HANDLE_VALUE;
  std::size_t delivered = 0;
};
#else
// A folder as the system reaches it: its POSIX path, ending in "/".
using SystemPath = std::string;
// Folders are held open so that subfolders are opened inside them.
constexpr bool kHoldsFolders = true;
#if defined(__linux__) && !defined(FOLDGRAF_PORTABLE_POSIX)
using FolderRecord = struct dirent64;
// How many listings keep their folder open between chunks: Linux opens it again and goes on from
// the kernel's offset.
constexpr std::size_t kKeptStreams = 0;
#else
// The portable reader keeps the stream of at most this many listings open between chunks.
constexpr std::size_t kKeptStreams = 8;
// The record the portable reader packs: only the first d_reclen bytes of it are in the chunk, the
// name and its NUL, rounded up so that the next record is aligned.
struct FolderRecord {
  std::uint16_t d_reclen;
  unsigned char d_type;
  char d_name[256];
};
#endif
// Whether a record may be a folder's, judged by its type alone.
inline bool MayBeFolder(const FolderRecord& record) {
  return record.d_type == DT_DIR || record.d_type == DT_LNK || record.d_type == DT_UNKNOWN;
}
// Where a listing's next chunk starts. Each reader keeps its own part of it.
struct ReadPosition {
  bool started = false;       // whether a chunk has been read
  bool keeps = false;         // whether the reader keeps something open between chunks
  std::int64_t offset = 0;    // Linux: the kernel's offset of the next record
  std::size_t delivered = 0;  // portable: records read so far, passed over when read again
  DIR* stream = nullptr;      // portable: the folder's stream, kept open between chunks
};
#endif

inline const FolderRecord& RecordAt(const Records& records, std::size_t position) {
  return *reinterpret_cast<const FolderRecord*>(records.data() + position);
}

// A folder open for reading, and where its entries are examined: a descriptor on POSIX; on
// Windows, which reads by path, kReadByPath.
constexpr int kNotOpen = -1;
constexpr int kReadByPath = 0;

// Opens folder for reading; kNotOpen when it cannot be. Inside parent, an open folder, when parent
// is not kNotOpen: folder is then parent's folder followed by one name.
int OpenFolder(const SystemPath& folder, int parent);
void CloseFolder(int folder);

// The room a folder reader reads one chunk of records into.
struct Chunk {
  alignas(FolderRecord) char bytes[kChunkBytes];
};

// Reads the next chunk of folder, open as opened, from position on, into the first used bytes of
// chunk. False when the folder cannot be read at all. lastChunk tells whether it has records beyond
// this chunk. The reader may keep the folder's stream open until the next chunk (position.keeps)
// when mayKeep.
bool ReadChunk(const SystemPath& folder, int opened, bool mayKeep, ReadPosition& position,
               Chunk& chunk, std::size_t& used, bool& lastChunk);
// Gives up whatever the reader keeps for position once its listing is closed.
void EndReading(ReadPosition& position);

// Fills entry from record, a record of folder, open as opened or kNotOpen; withDetails, its times
// and size as well. False when the entry is not to be delivered (it has vanished since the read).
bool DescribeRecord(const SystemPath& folder, int opened, const FolderRecord& record,
                    bool withDetails, WIN32_FIND_DATAA& entry);

// Whether a record's name matches the last part of a search pattern other than "*".
bool NameMatches(const std::string& match, const char* name);

// The folder that a Windows path the user typed names, read by the path rules; false when it names
// nothing that exists here.
bool TypedFolder(const char* windowsPath, std::size_t length, SystemPath& folder);
// Makes folder the path of its entry that record describes, by the entry's real name.
void AppendChild(SystemPath& folder, const FolderRecord& record);

// The system's path of the first length bytes of windowsPath when an open listing accounts for it:
// its folder, or a subfolder it delivered (the engine's rule of names read from a folder).
bool ListedPath(const char* windowsPath, std::size_t length, SystemPath& path);

// For the tests of the engine's rules: how many chunks it has read from the file system, and how
// many listings it has made rather than taken from those closed before.
std::size_t ChunksRead();
std::size_t ListingsMade();

}  // namespace platform
