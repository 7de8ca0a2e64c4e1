#pragma once

#include <cstdint>

#include "platform/platform.h"

// A file time of so many 100-nanosecond ticks since 1601-01-01 UTC.
FILETIME Ticks(std::uint64_t ticks);
