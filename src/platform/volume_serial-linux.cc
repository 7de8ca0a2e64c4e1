// Linux's volume serial: the second of the kernel's two words of the file system id, which is the
// low half of the id as stat -f prints it.
#include <sys/vfs.h>

#include "platform/posix_internal.h"

namespace platform {

bool ReadRootVolume(DWORD& serial, DWORD& longestName) {
  struct statfs volume;
  if (statfs("/", &volume) != 0) return false;
  serial = static_cast<DWORD>(volume.f_fsid.__val[1]);
  longestName = static_cast<DWORD>(volume.f_namelen);
  return true;
}

}  // namespace platform
