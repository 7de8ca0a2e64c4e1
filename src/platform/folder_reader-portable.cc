// The folder reader from POSIX calls alone (fdopendir, readdir), for every system but Linux's fast
// path. Its records have the shape of the kernel's: length, type and name.
//
// A listing that needs more than one chunk keeps its folder's stream open between chunks, so that
// it goes on where it stopped, when the engine lets it (it bounds how many do); a listing that may
// not opens its folder again and passes over the records it has already read (a position from
// telldir is good for its own stream only).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/listing.h"

namespace platform {

namespace {

// A record's bytes: its head, its name and NUL, rounded up to the record's alignment.
std::size_t RecordBytes(std::size_t nameLength) {
  std::size_t const bytes = offsetof(FolderRecord, d_name) + nameLength + 1;
  return (bytes + alignof(FolderRecord) - 1) / alignof(FolderRecord) * alignof(FolderRecord);
}

constexpr std::size_t kLargestRecord = sizeof(FolderRecord);

// A stream over the folder open as descriptor, at its first record, leaving descriptor open.
DIR* OpenStream(int descriptor) {
  int const own = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
  if (own < 0) return nullptr;
  DIR* const stream = fdopendir(own);
  if (stream == nullptr) {
    close(own);
    return nullptr;
  }
  rewinddir(stream);  // the copy shares its position with descriptor, which may have moved
  return stream;
}

// Packs records from stream until the chunk has no room for the largest; true when the stream
// ended.
bool PackRecords(DIR* stream, char* chunk, std::size_t& used, std::size_t& delivered) {
  while (kChunkBytes - used >= kLargestRecord) {
    dirent const* const entry = readdir(stream);
    if (entry == nullptr) return true;
    std::size_t const length = std::strlen(entry->d_name);
    auto* const record = reinterpret_cast<FolderRecord*>(chunk + used);
    record->d_reclen = static_cast<std::uint16_t>(RecordBytes(length));
    record->d_type = entry->d_type;
    std::memcpy(record->d_name, entry->d_name, length + 1);
    used += record->d_reclen;
    ++delivered;
  }
  return false;
}

}  // namespace

bool ReadChunk(const SystemPath&, int descriptor, bool mayKeep, ReadPosition& position,
               Chunk& chunk, std::size_t& used, bool& lastChunk) {
  DIR* stream = position.stream;
  if (stream == nullptr) {
    stream = OpenStream(descriptor);
    if (stream == nullptr) return false;
    for (std::size_t passed = 0; passed < position.delivered; ++passed) {
      if (readdir(stream) == nullptr) break;
    }
  }
  used = 0;
  errno = 0;
  bool const ended = PackRecords(stream, chunk.bytes, used, position.delivered);
  if (ended && errno != 0 && used == 0) {
    if (position.stream == nullptr) closedir(stream);
    return false;
  }
  // A failure after some records makes this chunk the last, as the end of the folder does.
  lastChunk = ended;
  if (lastChunk || (position.stream == nullptr && !mayKeep)) {
    closedir(stream);
    stream = nullptr;
  }
  position.stream = stream;
  position.keeps = stream != nullptr;
  return true;
}

void EndReading(ReadPosition& position) {
  if (position.stream != nullptr) closedir(position.stream);
  position.stream = nullptr;
  position.keeps = false;
}

}  // namespace platform
