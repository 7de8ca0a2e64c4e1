// Linux's folder reader: the kernel's directory records straight into the chunk, with no copy per
// entry. Where a folder stands is its descriptor's offset; each record carries the kernel's offset
// of the one after it, which is where reading goes on after it, in this or a new descriptor of the
// same folder.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix_internal.h"
#include "platform/read_ahead.h"

namespace platform {

struct FolderRecord : dirent64 {};
// Every name a record holds fits an entry's name with its NUL, so its length needs no test.
static_assert(sizeof(FolderRecord::d_name) <= kMaxFileName);

OpenResult OpenChildFolder(Folder& parent, const FolderRecord& record, Folder*& child) {
  return OpenInside(parent, record.d_name, child);
}

void ReleaseFolder(Folder& folder) {
  KeepIdentity(folder);
  close(folder.descriptor);
  folder.descriptor = -1;
}

void CloseFolder(Folder* folder) {
  if (folder->descriptor >= 0) close(folder->descriptor);
  delete folder;
}

bool ReadChunk(Folder& folder, Chunk& chunk, std::size_t& used, bool& lastChunk) {
  used = 0;
  lastChunk = false;
  // Read on while another record of any length still fits: a folder's end shows as a read of
  // nothing, and a full chunk is left without the read that would fail for want of room.
  while (kChunkBytes - used >= sizeof(FolderRecord)) {
    ssize_t const read = getdents64(folder.descriptor, chunk.bytes + used, kChunkBytes - used);
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
  return true;
}

bool Rewind(Folder& folder) { return lseek64(folder.descriptor, 0, SEEK_SET) == 0; }

bool ResumeAfter(Folder& folder, const FolderRecord& record) {
  return lseek64(folder.descriptor, record.d_off, SEEK_SET) == record.d_off;
}

std::size_t RecordLength(const FolderRecord& record) { return record.d_reclen; }

bool MayBeFolder(const FolderRecord& record) {
  return record.d_type == DT_DIR || record.d_type == DT_LNK || record.d_type == DT_UNKNOWN;
}

const char* ShownName(const FolderRecord& record) { return record.d_name; }

bool DescribeRecord(Folder& folder, const FolderRecord& record, bool withDetails,
                    WIN32_FIND_DATAA& entry) {
  return DescribeEntry(folder, record.d_name, record.d_type, withDetails, entry);
}

bool DescribingAsks(const FolderRecord& record, bool withDetails) {
  return StatusNeeded(record.d_type, withDetails);
}

}  // namespace platform
