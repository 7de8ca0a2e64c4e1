// PathSkipRootA on any path: what it returns lies inside the path, at or behind its root.
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "platform/platform.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto const path = ExactCopy(data, size);
  const char* const begin = path.get();
  const char* const end = begin + std::strlen(begin);

  const char* const rest = PathSkipRootA(begin);
  if (rest == nullptr) return 0;
  FUZZ_REQUIRE(rest > begin && rest <= end);
  // The rest is a string of its own, read to its end like any other.
  FUZZ_REQUIRE(rest + std::strlen(rest) == end);
  return 0;
}
