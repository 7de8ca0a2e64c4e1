// The caches and bounds of the POSIX listings. The walk lists each folder up to three times in a
// row (its probe, its files, its subfolders) and keeps one listing open per level; these let it pay
// for reading and opening a folder about once. Each object states its rule and its bound at its
// top, and is changed only by the listing operations, never by the constructor or destructor of
// another object; none refers to another, so the order in which they are destroyed at exit does not
// matter.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/folder_reader-posix.h"

namespace platform {

// Rule: a folder read whole in its first chunk stays open while a listing of it or the recent
// folder uses it, so that its subfolders are opened by name inside it, not by a whole path the
// kernel would walk from the root again, and its entries are examined through it. Bound: at most
// kHeldFolders descriptors at a time; a folder read whole when all are taken is not held, so a deep
// walk holds a bounded number of descriptors.
class HeldFolders {
 public:
  static constexpr std::size_t kHeldFolders = 64;

  // Holds descriptor, open on folder, for one user; false when all places are taken.
  bool Hold(const std::string& folder, int descriptor);
  void Use(int descriptor);
  // One user fewer; the folder is closed when it has none.
  void Release(int descriptor);
  // folder ("/a/b/c/") opened inside its held parent ("/a/b/") when there is one.
  int OpenFolder(const std::string& folder) const;
  std::size_t Count() const { return count_; }

 private:
  struct Held {
    std::string folder;
    int descriptor;
    std::size_t users;
  };
  // The first count_ are held, in the order held: the walk's innermost folder last. The rest are
  // kept for the room of their strings.
  std::vector<Held> held_;
  std::size_t count_ = 0;
};

// Rule: the last folder read to its end is remembered, all its records if they fit one chunk, or
// else those of its subfolders only, so that listing it again straight after costs no reading.
// Reading any other folder forgets it.
// Bound: one folder: one chunk of records, or the subfolder records that KeptSubfolders allows.
class RecentFolder {
 public:
  // Remembers folder's records; held is its held descriptor or -1, and gains a user.
  void Remember(const std::string& folder, std::shared_ptr<const Records> records,
                bool subfoldersOnly, int held, HeldFolders& folders);
  void Forget(HeldFolders& folders);
  // The remembered records when they are folder's and hold every entry a listing needs (its
  // subfolders only, or all); held is then set to the folder's held descriptor, which gains a user.
  std::shared_ptr<const Records> Recall(const std::string& folder, bool directoriesOnly, int& held,
                                        HeldFolders& folders) const;

 private:
  std::string folder_;
  std::shared_ptr<const Records> records_;
  bool subfoldersOnly_ = false;
  int held_ = -1;
};

// Rule: a pass over every entry of a folder too large for one chunk keeps, as it reads, the records
// of the folder's possible subfolders, for the subfolder pass that follows it (a kept record is a
// copy of the chunk's).
// Bound: one pass at a time and at most kKeptFolderBytes: a pass that starts while another keeps
// keeps nothing, and a pass whose subfolder records outgrow the bound gives them all up.
class KeptSubfolders {
 public:
  static constexpr std::size_t kKeptFolderBytes = 512 * 1024;

  // Whether pass may keep: true when no other pass keeps.
  bool Start(const void* pass);
  // Keeps the possible subfolders among the chunk's records for pass, if it keeps.
  void Keep(const void* pass, const Records& chunk);
  // The records pass kept, or none when it gave them up; pass keeps no more.
  std::shared_ptr<Records> Finish(const void* pass);

 private:
  const void* pass_ = nullptr;
  std::shared_ptr<Records> records_;
};

// Whether a record may be a folder's, judged by its type alone.
inline bool MayBeFolder(const FolderRecord& record) {
  return record.d_type == DT_DIR || record.d_type == DT_LNK || record.d_type == DT_UNKNOWN;
}

}  // namespace platform
