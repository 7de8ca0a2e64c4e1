// PathStripToRootA on any path: it only ever shortens the path in place, it finds a root wherever
// PathSkipRootA finds one to skip, and what it leaves is a root of its own.
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "platform/platform.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto const original = ExactCopy(data, size);
  auto const path = ExactCopy(data, size);
  std::size_t const length = std::strlen(original.get());

  bool const stripped = PathStripToRootA(path.get()) != FALSE;
  std::size_t const rootLength = std::strlen(path.get());
  FUZZ_REQUIRE(rootLength <= length);
  FUZZ_REQUIRE(std::memcmp(path.get(), original.get(), rootLength) == 0);
  const char* const rest = PathSkipRootA(original.get());
  if (rest != nullptr) FUZZ_REQUIRE(stripped && rest >= original.get() + rootLength);
  // A root stays its own root.
  if (stripped)
    FUZZ_REQUIRE(PathStripToRootA(path.get()) != FALSE && std::strlen(path.get()) == rootLength);
  return 0;
}
