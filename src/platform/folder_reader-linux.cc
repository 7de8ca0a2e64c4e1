// Linux's fast path: the kernel's directory records straight into the chunk, with no copy per
// entry, and the kernel's own offset to resume at in a folder opened again.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/listing.h"

namespace platform {

bool ReadChunk(const SystemPath&, int descriptor, bool, ReadPosition& position, Chunk& chunk,
               std::size_t& used, bool& lastChunk) {
  if (position.started && lseek64(descriptor, position.offset, SEEK_SET) < 0) return false;
  used = 0;
  lastChunk = false;
  // Read on while another record of any length still fits: a folder's end shows as a read of
  // nothing, and a full chunk is left without the read that would fail for want of room.
  while (kChunkBytes - used >= sizeof(FolderRecord)) {
    ssize_t const read = getdents64(descriptor, chunk.bytes + used, kChunkBytes - used);
    if (read > 0) {
      used += static_cast<std::size_t>(read);
      continue;
    }
    if (read < 0 && used == 0) return false;
    // EINVAL: no room for the next record after all, which the next chunk starts with. The end of
    // the folder, or another failure after some records, makes this chunk the last.
    lastChunk = !(read < 0 && errno == EINVAL);
    break;
  }
  for (std::size_t at = 0; at < used;) {
    auto const& record = *reinterpret_cast<const FolderRecord*>(chunk.bytes + at);
    position.offset = record.d_off;
    at += record.d_reclen;
  }
  return true;
}

void EndReading(ReadPosition&) {}

}  // namespace platform
