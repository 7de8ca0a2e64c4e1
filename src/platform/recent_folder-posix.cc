// The recent folder: the records of the last folder read to its end, for the listing straight
// after.
#include "platform/listing_caches-posix.h"

namespace platform {

void RecentFolder::Remember(const std::string& folder, std::shared_ptr<const Records> records,
                            bool subfoldersOnly, int held, HeldFolders& folders) {
  Forget(folders);
  folder_ = folder;
  records_ = std::move(records);
  subfoldersOnly_ = subfoldersOnly;
  held_ = held;
  if (held_ >= 0) folders.Use(held_);
}

void RecentFolder::Forget(HeldFolders& folders) {
  if (held_ >= 0) folders.Release(held_);
  held_ = -1;
  records_.reset();
}

std::shared_ptr<const Records> RecentFolder::Recall(const std::string& folder, bool directoriesOnly,
                                                    int& held, HeldFolders& folders) const {
  if (records_ == nullptr || folder_ != folder || (subfoldersOnly_ && !directoriesOnly))
    return nullptr;
  held = held_;
  if (held >= 0) folders.Use(held);
  return records_;
}

}  // namespace platform
