// GetFullPathNameA on any path and any buffer length: the result fits the length it was given or
// the buffer is left alone, and what it writes is an absolute Windows path.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "platform/platform.h"

using namespace platform;

namespace {

constexpr char kUntouched = '\x5A';

bool IsUntouched(const char* buffer, DWORD length) {
  for (DWORD at = 0; at < length; ++at) {
    if (buffer[at] != kUntouched) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  // Lengths around and below the path limit, where the fit-or-not decision is made.
  auto const length = input.ConsumeIntegralInRange<DWORD>(0, MAX_PATH + 8);
  std::string const bytes = input.ConsumeRemainingBytesAsString();
  auto const path = ExactCopy(bytes.data(), bytes.size());

  std::unique_ptr<char[]> buffer(new char[length]);
  std::memset(buffer.get(), kUntouched, length);
  LPSTR filePart = buffer.get();
  DWORD const result = GetFullPathNameA(path.get(), length, buffer.get(), &filePart);

  if (result == 0 || result >= length) {
    FUZZ_REQUIRE(IsUntouched(buffer.get(), length));
    FUZZ_REQUIRE(filePart == nullptr);
    if (result == 0) return 0;
    // The size asked for is enough, and exactly enough.
    std::unique_ptr<char[]> fitting(new char[result]);
    FUZZ_REQUIRE(GetFullPathNameA(path.get(), result, fitting.get(), nullptr) == result - 1);
    return 0;
  }
  const char* const full = buffer.get();
  FUZZ_REQUIRE(std::strlen(full) == result);
  FUZZ_REQUIRE(std::strchr(full, '/') == nullptr);
  bool const drive = full[1] == ':' && full[2] == '\\';
  bool const network = full[0] == '\\' && full[1] == '\\';
  FUZZ_REQUIRE(drive || network);
  FUZZ_REQUIRE(filePart == nullptr || (filePart > full && filePart < full + result));
  return 0;
}
