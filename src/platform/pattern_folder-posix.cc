// The pattern folder: the last search pattern's folder, converted once for the listings that
// follow.
#include "platform/listing_caches-posix.h"
#include "platform/listing_counters-posix.h"
#include "platform/posix_internal.h"

bool PatternFolder::FolderOf(const char* pattern, std::size_t split, std::string& folder) {
  if (split == 0) return ToPosixPath(".", folder);
  if (pattern_.size() != split || pattern_.compare(0, split, pattern, split) != 0) {
    ++Counters().patternConversions;
    std::size_t const kept = KeptLength(pattern, split);
    if (kept > 0) {
      CutBack(kept);
      AppendToPosixPath(pattern + kept, pattern + split, folder_);
      pattern_.append(pattern + kept, split - kept);
    } else {
      ++Counters().wholeConversions;
      pattern_.clear();
      if (!ToPosixPath(pattern, split, folder_)) return false;
      pattern_.assign(pattern, split);
    }
  }
  folder = folder_;
  return true;
}

// How many of the first bytes of the kept folder part can stay: all of it when the new folder part
// (pattern's first split bytes) goes on from it, as a subfolder's goes on from its parent's; else
// the new part up to the separator before its last name when the kept part starts with that, as a
// sibling's does after its predecessor's subtree; 0 when the new part must be converted whole. The
// root is read from the first two bytes, so at least those stay, and "." also stands for an empty
// path, which would go on differently.
std::size_t PatternFolder::KeptLength(const char* pattern, std::size_t split) const {
  if (pattern_.size() < 2 || folder_ == ".") return 0;
  if (pattern_.size() < split &&
      pattern_.compare(0, pattern_.size(), pattern, pattern_.size()) == 0)
    return pattern_.size();
  std::size_t parent = split;
  while (parent > 0 && IsWindowsSeparator(pattern[parent - 1])) --parent;
  while (parent > 0 && !IsWindowsSeparator(pattern[parent - 1])) --parent;
  if (parent >= 2 && parent <= pattern_.size() && pattern_.compare(0, parent, pattern, parent) == 0)
    return parent;
  return 0;
}

// Keeps the first length bytes of the kept folder part, which end in a separator or are all of it,
// and the POSIX form of just those. Each byte cut made one byte of the POSIX form, except a
// separator that followed another: the form of the bytes kept ends in "/" already.
void PatternFolder::CutBack(std::size_t length) {
  std::size_t made = 0;
  for (std::size_t at = length; at < pattern_.size(); ++at) {
    if (!IsWindowsSeparator(pattern_[at]) || !IsWindowsSeparator(pattern_[at - 1])) ++made;
  }
  folder_.resize(folder_.size() - made);
  pattern_.resize(length);
}
