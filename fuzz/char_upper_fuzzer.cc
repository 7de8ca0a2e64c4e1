// CharUpperA on any bytes: ASCII letters become upper case, every other byte stays, nothing past
// the NUL is touched.
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "platform/platform.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto const original = ExactCopy(data, size);
  auto const text = ExactCopy(data, size);

  FUZZ_REQUIRE(CharUpperA(text.get()) == text.get());
  std::size_t const length = std::strlen(original.get());
  for (std::size_t at = 0; at <= size; ++at) {
    char const before = original[at];
    char const expected = at < length && before >= 'a' && before <= 'z'
                              ? static_cast<char>(before - 'a' + 'A')
                              : before;
    FUZZ_REQUIRE(text[at] == expected);
  }
  return 0;
}
