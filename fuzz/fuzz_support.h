// What the fuzz targets share: exact-size copies, so that a read or write one byte past the input
// is an AddressSanitizer report, and a check that stops the fuzzer with a message.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

// A NUL-terminated heap copy of exactly size bytes and the NUL; bytes after a NUL in data stay and
// are never reached by a correct reader.
inline std::unique_ptr<char[]> ExactCopy(const void* data, std::size_t size) {
  std::unique_ptr<char[]> copy(new char[size + 1]);
  if (size > 0) std::memcpy(copy.get(), data, size);
  copy[size] = '\0';
  return copy;
}

#define FUZZ_REQUIRE(condition)                                                    \
  do {                                                                             \
    if (!(condition)) {                                                            \
      std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                \
    }                                                                              \
  } while (false)

#include <iostream>
#include <streambuf>

// Where the driver and the walk write while fuzzed: std::cout counts bytes and throws them away,
// and fails once a limit is passed, as a closed pipe would; printf goes to /dev/null. The failure
// also bounds a run, since the walk stops once standard output has failed.
class OutputSink : public std::streambuf {
 public:
  explicit OutputSink(std::size_t limit) : limit_(limit) {}

  // Call once per input: a fresh count and a stream without its error state.
  void Start() {
    written_ = 0;
    std::cout.rdbuf(this);
    std::cout.clear();
  }

  static void DiscardFormattedOutput() {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    return written_++ < limit_ ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char*, std::streamsize size) override {
    auto const room = static_cast<std::streamsize>(written_ < limit_ ? limit_ - written_ : 0);
    std::streamsize const taken = size < room ? size : room;
    written_ += static_cast<std::size_t>(taken);
    return taken;
  }
  int sync() override { return written_ <= limit_ ? 0 : -1; }

 private:
  std::size_t limit_;
  std::size_t written_ = 0;
};
