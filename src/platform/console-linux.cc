// Linux's way of routing printf into the line: stdout becomes a stream of the C library's own whose
// writes are ours. It keeps its own buffer, where printf formats in place, and it is emptied into
// the line whenever std::cout is about to write or flush and printf has left bytes in it.
#include <stdio_ext.h>

#include <cstdio>

#include "platform/console_posix_internal.h"

namespace {

FILE* printedStream = nullptr;

ssize_t WritePrinted(void*, const char* data, std::size_t size) {
  AppendPrintedBytes(data, size);
  return static_cast<ssize_t>(size);
}

}  // namespace

void RoutePrintfToOutput() {
  cookie_io_functions_t const functions{nullptr, WritePrinted, nullptr, nullptr};
  FILE* const stream = fopencookie(nullptr, "w", functions);
  if (stream == nullptr) return;
  // One thread writes: a printf need not take the stream's lock.
  __fsetlocking(stream, FSETLOCKING_BYCALLER);
  std::fflush(stdout);
  stdout = stream;
  printedStream = stream;
}

void CollectPrintedBytes() {
  if (printedStream != nullptr && __fpending(printedStream) > 0) std::fflush(printedStream);
}
