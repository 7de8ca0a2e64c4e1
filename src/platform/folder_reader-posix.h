// Reading a folder's records a chunk at a time: the seam between the listings and the two ways of
// reading a folder. Linux hands over the kernel's own records (getdents64); every other system, and
// Linux when the portable variant is built, packs what readdir gives into records of the same
// shape.
#pragma once

#include <dirent.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// A chunk is at most this many bytes of records, so memory stays flat however many entries a
// folder has.
constexpr std::size_t kChunkBytes = 32 * 1024;

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

using Records = std::vector<char>;

inline const FolderRecord& RecordAt(const Records& records, std::size_t position) {
  return *reinterpret_cast<const FolderRecord*>(records.data() + position);
}

// Where a listing's next chunk starts. Each reader keeps its own part of it.
struct ReadPosition {
  bool started = false;       // whether a chunk has been read
  std::int64_t offset = 0;    // Linux: the kernel's offset of the next record
  std::size_t delivered = 0;  // portable: records read so far, passed over when read again
  DIR* stream = nullptr;      // portable: the folder's stream, kept open between chunks
};

// Reads into records the next chunk of the folder open as descriptor, from position on; the
// descriptor stays the caller's. False when the folder cannot be read at all. lastChunk tells
// whether the folder has records beyond this chunk.
bool ReadChunk(int descriptor, ReadPosition& position, Records& records, bool& lastChunk);

// Gives up whatever the reader keeps for position once its listing is closed.
void EndReading(ReadPosition& position);

}  // namespace platform
