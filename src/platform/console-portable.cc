// printf routed into the line with POSIX calls alone: stdout becomes a stream over a memory buffer,
// emptied into the line before every byte std::cout writes and at every flush. Unbuffered, the
// stream puts each printf's bytes into the buffer at once. printf writes at most a line's head
// between two of std::cout's writes (the serial number line, a time stamp), far less than the
// buffer holds; only after the stream side has stopped writing do its bytes wait for the end of the
// run, and what overflows the buffer then is dropped.
#include <cstdio>

#include "platform/console_posix_internal.h"

namespace {

constexpr std::size_t kPrintedBytes = 64 * 1024;

char printed[kPrintedBytes];
FILE* printedStream = nullptr;

}  // namespace

void RoutePrintfToOutput() {
  FILE* const stream = fmemopen(printed, sizeof printed, "w");
  if (stream == nullptr) return;
  std::setvbuf(stream, nullptr, _IONBF, 0);
  std::fflush(stdout);
  stdout = stream;
  printedStream = stream;
}

void CollectPrintedBytes() {
  if (printedStream == nullptr) return;
  long const size = std::ftell(printedStream);
  if (size <= 0) return;
  AppendPrintedBytes(printed, static_cast<std::size_t>(size));
  std::rewind(printedStream);
}
