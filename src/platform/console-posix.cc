// Standard output as a Windows console program has it in text mode: every newline leaves as CR LF,
// whether it was written by printf or by std::cout, and both write into one buffer, in call order.
#include <stdio_ext.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <streambuf>

#include "platform/platform.h"

namespace {

bool WriteAll(const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t const written = write(STDOUT_FILENO, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// The write side of the text-mode stdout stream: puts a CR before every LF on its way out.
ssize_t WriteWithCarriageReturns(void*, const char* data, std::size_t size) {
  char converted[8192];
  std::size_t used = 0;
  for (std::size_t at = 0; at < size; ++at) {
    if (used + 2 > sizeof converted) {
      if (!WriteAll(converted, used)) return -1;
      used = 0;
    }
    if (data[at] == '\n') converted[used++] = '\r';
    converted[used++] = data[at];
  }
  if (!WriteAll(converted, used)) return -1;
  return static_cast<ssize_t>(size);
}

// std::cout's buffer: hands every byte straight to stdout, so it shares printf's buffer and order.
// A failed flush sets the stream's error state, after which it writes nothing more.
class StdoutForwarder : public std::streambuf {
 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    return std::fputc(c, stdout) == EOF ? traits_type::eof() : c;
  }
  std::streamsize xsputn(const char* data, std::streamsize size) override {
    return static_cast<std::streamsize>(std::fwrite(data, 1, static_cast<std::size_t>(size), stdout));
  }
  int sync() override { return std::fflush(stdout) == 0 ? 0 : -1; }
};

}  // namespace

void SetUpStandardOutput() {
  static bool done = false;
  if (done) return;
  done = true;

  // A closed pipe is a failed write, never a killed process.
  std::signal(SIGPIPE, SIG_IGN);

  cookie_io_functions_t const textMode{nullptr, WriteWithCarriageReturns, nullptr, nullptr};
  if (FILE* const stream = fopencookie(nullptr, "w", textMode)) {
    std::fflush(stdout);
    // One thread writes: every line's several calls need not each take the stream's lock.
    __fsetlocking(stream, FSETLOCKING_BYCALLER);
    stdout = stream;
  }
  // std::cout is flushed once more after every static object has been destroyed, so its buffer
  // must outlive them all: it is made once and never destroyed.
  static StdoutForwarder* const forwarder = new StdoutForwarder;
  std::cout.rdbuf(forwarder);
}
