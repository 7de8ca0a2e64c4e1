#include "support/file_time.h"

FILETIME Ticks(std::uint64_t ticks) {
  return {static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
}
