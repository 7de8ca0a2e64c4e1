// What the listings read and open, counted so that the tests can hold each cache of the POSIX
// listings to its rule. Counting costs an addition; nothing in the program reads these.
#pragma once

#include <cstddef>

namespace platform {

struct ListingCounters {
  std::size_t chunkReads = 0;           // chunks of records read from the file system
  std::size_t foldersOpenedByPath = 0;  // folders opened by their whole path, not inside a held one
  std::size_t keptBytesHighest = 0;     // the most bytes of subfolder records kept at once
  std::size_t listingsMade = 0;         // listing objects allocated, not taken from the spares
};

inline ListingCounters& Counters() {
  static ListingCounters counters;
  return counters;
}

}  // namespace platform
