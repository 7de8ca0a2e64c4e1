// A folder reader over folders in memory, standing in for the system's at link time, so that the
// listing engine's rules are tested through what the engine asks of its reader. It logs every
// open, read and close; reads a few records per chunk; and lets a test change folders while the
// engine is inside them and hand out only a few descriptors. Paths the user types are read by the
// path rules: split at every separator.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct FakeNode;

class FakeDisk {
 public:
  static FakeDisk& Get();
  void Reset();

  // Makes the folder at path ("C:\t\a", its parents made as needed) hold these entries, in this
  // order, after those it holds: a name ending in "/" is a folder (a name may hold "\").
  void Add(const std::string& path, const std::vector<std::string>& names);
  // Removes the entry name from the folder at path, or swaps two entries of it.
  void Remove(const std::string& path, const std::string& name);
  void Swap(const std::string& path, const std::string& first, const std::string& second);

  std::size_t recordsPerChunk = 3;
  int descriptorsLeft = 1 << 20;
  // Opening a folder takes this long, or two or three times as long; those named in unreadable
  // cannot be opened; and while blocked, every open waits (reading ahead runs them on threads: see
  // mostOpening).
  std::chrono::milliseconds openDelay{0};
  std::set<std::string> unreadable;
  bool blocked = false;
  int opening = 0;
  int mostOpening = 0;
  // Raising the limit hands out this many more descriptors.
  int raisable = 0;
  // "open NAME" (inside its parent), "open typed PATH", "read NAME", "rewind NAME",
  // "resume NAME after ENTRY", "release NAME", "reopen NAME", "close NAME".
  std::vector<std::string> log;

  std::shared_ptr<FakeNode> Find(const std::string& path) const;

 private:
  std::shared_ptr<FakeNode> root_;
  unsigned long nextId_ = 0;
  friend struct FakeNode;
};

// How many entries of the log start with prefix.
std::size_t Logged(const std::string& prefix);

// Held by every operation of the fake reader, which threads reading ahead call too.
std::mutex& FakeLock();
// Ends blocked, letting every open that waits go on.
void Unblock();
