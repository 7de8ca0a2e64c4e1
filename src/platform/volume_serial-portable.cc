// The volume serial from statvfs alone. Its f_fsid is an integer; where the C library packs two
// words of the file system id into it (the GNU one on Linux puts the second word, the low half of
// the id as stat -f prints it, above the first), the upper word is taken, and otherwise the id
// itself, which is then one word.
#include <sys/statvfs.h>

#include <cstdint>

#include "platform/posix_internal.h"

namespace platform {

bool ReadRootVolume(DWORD& serial, DWORD& longestName) {
  struct statvfs volume;
  if (statvfs("/", &volume) != 0) return false;
  auto const id = static_cast<std::uint64_t>(volume.f_fsid);
  serial = static_cast<DWORD>(id >> 32 != 0 ? id >> 32 : id);
  longestName = static_cast<DWORD>(volume.f_namemax);
  return true;
}

}  // namespace platform
