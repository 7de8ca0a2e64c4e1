// The pattern folder: the last search pattern's folder, converted once for the listings that
// follow.
#include "platform/listing_caches-posix.h"
#include "platform/listing_counters-posix.h"
#include "platform/posix_internal.h"

bool PatternFolder::FolderOf(const char* pattern, std::size_t split, std::string& folder) {
  if (split == 0) return ToPosixPath(".", folder);
  if (pattern_.size() != split || pattern_.compare(0, split, pattern, split) != 0) {
    pattern_.clear();
    ++Counters().patternConversions;
    if (!ToPosixPath(pattern, split, folder_)) return false;
    pattern_.assign(pattern, split);
  }
  folder = folder_;
  return true;
}
