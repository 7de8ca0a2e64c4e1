// The folder reader from POSIX calls alone (fdopendir, readdir), for every system but Linux's fast
// path. Its records have the shape of the kernel's: length, type, identity and name.
//
// A folder is read through a directory stream made of its descriptor. A stream reads ahead of what
// it hands out, so it stays open while its folder is being read, and only the stream knows where
// it stands. Each stream holds a buffer of its own, so OpenStreams keeps few open at once; a folder
// whose stream was closed early, or a record read by a stream closed since, is found again by its
// identity and name, from the start of that record's chunk when its stream is still open, else from
// the folder's start.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix_internal.h"
#include "platform/read_ahead.h"

namespace platform {

struct FolderRecord {
  ino_t d_ino;
  long chunkAt;         // where the stream stood before the record's chunk
  unsigned generation;  // which stream read it
  std::uint16_t d_reclen;
  unsigned char d_type;
  char d_name[256];
};

static_assert(sizeof(FolderRecord::d_name) <= kMaxFileName);

struct FolderStream {
  DIR* directory = nullptr;
  unsigned generation = 0;
  bool started = false;  // the folder stands after last, not at its start
  ino_t lastInode = 0;
  std::string lastName;
};

namespace {

// The streams open at once: at most kOpenStreams, the one used longest ago closed first when
// another is needed. Each stream is made of its folder's descriptor; closed, the folder gets a new
// descriptor of itself first, so closing one never costs the folder its descriptor.
class OpenStreams {
 public:
  static constexpr std::size_t kOpenStreams = 8;
  // Each thread keeps its own: a folder read ahead is read whole by one thread, or closed. Never
  // destroyed: folders still open are closed after a thread's own objects are gone.
  static OpenStreams& Get() {
    thread_local auto* const streams = new OpenStreams;
    return *streams;
  }
  // Folder's stream, opened where the folder stands; false when it cannot be.
  bool Open(Folder& folder);
  // Closes folder's stream; keepDescriptor: leaves folder a descriptor of its own.
  void Close(Folder& folder, bool keepDescriptor);

 private:
  void Forget(const Folder& folder);

  std::vector<Folder*> open_;  // the one used longest ago first
  unsigned generations_ = 0;
};

// Reads the stream on until the record of inode and name has been read; false when it is not
// there any more.
bool PassThrough(DIR* directory, ino_t inode, const std::string& name) {
  while (dirent const* entry = readdir(directory)) {
    if (entry->d_ino == inode && name == entry->d_name) return true;
  }
  return false;
}

bool OpenStreams::Open(Folder& folder) {
  FolderStream& stream = *folder.stream;
  Forget(folder);
  if (stream.directory == nullptr) {
    // Without a descriptor to spare for it, the stream used longest ago stays open too.
    if (open_.size() >= kOpenStreams) Close(*open_.front(), true);
    stream.directory = fdopendir(folder.descriptor);
    if (stream.directory == nullptr) return false;
    stream.generation = ++generations_;
    if (stream.started && !PassThrough(stream.directory, stream.lastInode, stream.lastName)) {
      Close(folder, true);
      return false;
    }
  }
  open_.push_back(&folder);
  return true;
}

void OpenStreams::Close(Folder& folder, bool keepDescriptor) {
  FolderStream& stream = *folder.stream;
  if (stream.directory == nullptr) return;
  int const again =
      keepDescriptor ? openat(folder.descriptor, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
  if (keepDescriptor && again < 0) return;
  closedir(stream.directory);
  stream.directory = nullptr;
  folder.descriptor = again;
  Forget(folder);
}

void OpenStreams::Forget(const Folder& folder) { std::erase(open_, &folder); }

// A record's bytes: its head, its name and NUL, rounded up to the record's alignment.
std::size_t RecordBytes(std::size_t nameLength) {
  std::size_t const bytes = offsetof(FolderRecord, d_name) + nameLength + 1;
  return (bytes + alignof(FolderRecord) - 1) / alignof(FolderRecord) * alignof(FolderRecord);
}

FolderStream& StreamOf(Folder& folder) {
  if (folder.stream == nullptr) folder.stream = new FolderStream;
  return *folder.stream;
}

}  // namespace

OpenResult OpenChildFolder(Folder& parent, const FolderRecord& record, Folder*& child) {
  return OpenInside(parent, record.d_name, child);
}

void ReleaseFolder(Folder& folder) {
  KeepIdentity(folder);
  if (folder.stream != nullptr) OpenStreams::Get().Close(folder, false);
  if (folder.descriptor >= 0) close(folder.descriptor);
  folder.descriptor = -1;
}

void CloseFolder(Folder* folder) {
  if (folder->stream != nullptr) OpenStreams::Get().Close(*folder, false);
  if (folder->descriptor >= 0) close(folder->descriptor);
  delete folder->stream;
  delete folder;
}

bool ReadChunk(Folder& folder, Chunk& chunk, std::size_t& used, bool& lastChunk) {
  FolderStream& stream = StreamOf(folder);
  if (stream.directory == nullptr && !OpenStreams::Get().Open(folder)) return false;
  long const chunkAt = telldir(stream.directory);
  used = 0;
  errno = 0;
  dirent const* entry = nullptr;
  FolderRecord* record = nullptr;
  while (kChunkBytes - used >= sizeof(FolderRecord) && (entry = readdir(stream.directory))) {
    std::size_t const length = std::strlen(entry->d_name);
    record = reinterpret_cast<FolderRecord*>(chunk.bytes + used);
    record->d_ino = entry->d_ino;
    record->chunkAt = chunkAt;
    record->generation = stream.generation;
    record->d_reclen = static_cast<std::uint16_t>(RecordBytes(length));
    record->d_type = entry->d_type;
    std::memcpy(record->d_name, entry->d_name, length + 1);
    used += record->d_reclen;
  }
  if (entry == nullptr && errno != 0 && used == 0) return false;
  // The end of the folder, or a failure after some records, makes this chunk the last.
  lastChunk = entry == nullptr;
  stream.started = true;
  if (record != nullptr) {
    stream.lastInode = record->d_ino;
    stream.lastName = record->d_name;
  }
  if (lastChunk) OpenStreams::Get().Close(folder, true);
  return true;
}

bool Rewind(Folder& folder) {
  FolderStream& stream = StreamOf(folder);
  stream.started = false;
  if (stream.directory != nullptr) rewinddir(stream.directory);
  return true;
}

bool ResumeAfter(Folder& folder, const FolderRecord& record) {
  FolderStream& stream = StreamOf(folder);
  if (stream.directory == nullptr || stream.generation != record.generation) {
    Rewind(folder);
  } else {
    seekdir(stream.directory, record.chunkAt);
  }
  stream.lastInode = record.d_ino;
  stream.lastName = record.d_name;
  stream.started = true;
  return stream.directory == nullptr || PassThrough(stream.directory, record.d_ino, record.d_name);
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
