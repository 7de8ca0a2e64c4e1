// The held folders: descriptors kept open so that subfolders are opened inside their parent.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>

#include "platform/listing_caches-posix.h"
#include "platform/listing_counters-posix.h"

namespace platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

}  // namespace

bool HeldFolders::Hold(const std::string& folder, int descriptor) {
  if (count_ >= kHeldFolders) return false;
  if (count_ == held_.size()) held_.emplace_back();
  Held& held = held_[count_++];
  held.folder.assign(folder);
  held.descriptor = descriptor;
  held.users = 1;
  return true;
}

void HeldFolders::Use(int descriptor) {
  for (std::size_t at = count_; at > 0; --at) {
    if (held_[at - 1].descriptor == descriptor) {
      ++held_[at - 1].users;
      return;
    }
  }
}

void HeldFolders::Release(int descriptor) {
  auto const end = held_.begin() + static_cast<std::ptrdiff_t>(count_);
  auto const found =
      std::find_if(std::make_reverse_iterator(end), held_.rend(),
                   [descriptor](const Held& held) { return held.descriptor == descriptor; });
  if (found == held_.rend() || --found->users > 0) return;
  close(found->descriptor);
  // The slot goes to the end of those in use, its string's room kept for the next folder held.
  std::rotate(found.base() - 1, found.base(), end);
  --count_;
}

int HeldFolders::OpenFolder(const std::string& folder) const {
  std::size_t end = folder.size();
  while (end > 0 && folder[end - 1] == '/') --end;
  std::size_t const slash = end > 0 ? folder.rfind('/', end - 1) : std::string::npos;
  std::string const name =
      slash != std::string::npos ? folder.substr(slash + 1, end - slash - 1) : "";
  if (!name.empty() && name != "." && name != "..") {
    // The walk's innermost folder is the last one held, so the search rarely goes far.
    for (std::size_t at = count_; at > 0; --at) {
      Held const& parent = held_[at - 1];
      if (parent.folder.compare(0, std::string::npos, folder, 0, slash + 1) == 0) {
        return openat(parent.descriptor, name.c_str(), kFolderFlags);
      }
    }
  }
  ++Counters().foldersOpenedByPath;
  return open(folder.c_str(), kFolderFlags);
}

}  // namespace platform
