// The kept subfolders: a large folder's possible subfolder records, kept by the pass over all of
// it.
#include <algorithm>

#include "platform/listing_caches-posix.h"
#include "platform/listing_counters-posix.h"

namespace platform {

bool KeptSubfolders::Start(const void* pass) {
  if (pass_ != nullptr) return false;
  pass_ = pass;
  records_ = std::make_shared<Records>();
  return true;
}

void KeptSubfolders::Keep(const void* pass, const Records& chunk) {
  if (pass != pass_ || records_ == nullptr) return;
  for (std::size_t at = 0; at < chunk.size();) {
    FolderRecord const& record = RecordAt(chunk, at);
    at += record.d_reclen;
    if (!MayBeFolder(record)) continue;
    if (records_->size() + record.d_reclen > kKeptFolderBytes) {
      records_.reset();
      return;
    }
    auto const* const bytes = reinterpret_cast<const char*>(&record);
    records_->insert(records_->end(), bytes, bytes + record.d_reclen);
    Counters().keptBytesHighest = std::max(Counters().keptBytesHighest, records_->size());
  }
}

std::shared_ptr<Records> KeptSubfolders::Finish(const void* pass) {
  if (pass != pass_) return nullptr;
  pass_ = nullptr;
  return std::move(records_);
}

}  // namespace platform
