#pragma once

#include <cstdint>

#include "platform/platform.h"

// A file time of so many 100-nanosecond ticks since 1601-01-01 UTC.
inline FILETIME Ticks(std::uint64_t ticks) {
  return {static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
}
