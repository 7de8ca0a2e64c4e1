// The Windows build's command-line splitting on any bytes, with and without code page 932 lead
// bytes: it must stay inside the command line and make nothing up.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "text/split_command_line.h"

namespace {

bool NoLeadBytes(unsigned char) { return false; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the code page; the rest is the command line.
  LeadBytePredicate const isLeadByte = data[0] % 2 == 0 ? IsCodePage932LeadByte : NoLeadBytes;
  auto const commandLine = ExactCopy(data + 1, size - 1);
  std::string const text = commandLine.get();

  auto const arguments = SplitCommandLine(commandLine.get(), isLeadByte);
  FUZZ_REQUIRE(!arguments.empty());
  std::size_t total = 0;
  for (std::string const& argument : arguments) {
    total += argument.size();
    FUZZ_REQUIRE(argument.find('\0') == std::string::npos);
  }
  // Quotes and backslashes only ever shrink; nothing is added.
  FUZZ_REQUIRE(total <= text.size());
  bool const hasQuote = text.find('"') != std::string::npos;
  for (std::size_t index = 1; index < arguments.size(); ++index) {
    // Without quotes an argument is a run of bytes between blanks, never empty.
    if (!hasQuote) FUZZ_REQUIRE(!arguments[index].empty());
    if (!hasQuote && isLeadByte == NoLeadBytes) {
      FUZZ_REQUIRE(arguments[index].find_first_of(" \t") == std::string::npos);
    }
  }
  return 0;
}
