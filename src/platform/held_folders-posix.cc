// The held folders: descriptors kept open so that subfolders are opened inside their parent.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "platform/listing_caches-posix.h"
#include "platform/listing_counters-posix.h"

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

}  // namespace

bool HeldFolders::Hold(const std::string& folder, int descriptor) {
  if (held_.size() >= kHeldFolders) return false;
  held_.push_back({folder, descriptor, 1});
  return true;
}

void HeldFolders::Use(int descriptor) {
  for (Held& held : held_) {
    if (held.descriptor == descriptor) ++held.users;
  }
}

void HeldFolders::Release(int descriptor) {
  auto const found = std::find_if(held_.rbegin(), held_.rend(), [descriptor](const Held& held) {
    return held.descriptor == descriptor;
  });
  if (found == held_.rend() || --found->users > 0) return;
  close(found->descriptor);
  held_.erase(found.base() - 1);
}

int HeldFolders::OpenFolder(const std::string& folder) const {
  std::size_t end = folder.size();
  while (end > 0 && folder[end - 1] == '/') --end;
  std::size_t const slash = end > 0 ? folder.rfind('/', end - 1) : std::string::npos;
  std::string const name =
      slash != std::string::npos ? folder.substr(slash + 1, end - slash - 1) : "";
  if (!name.empty() && name != "." && name != "..") {
    // The walk's innermost folder is the last one held, so the search rarely goes far.
    for (auto parent = held_.rbegin(); parent != held_.rend(); ++parent) {
      if (parent->folder.compare(0, std::string::npos, folder, 0, slash + 1) == 0) {
        return openat(parent->descriptor, name.c_str(), kFolderFlags);
      }
    }
  }
  ++Counters().foldersOpenedByPath;
  return open(folder.c_str(), kFolderFlags);
}
