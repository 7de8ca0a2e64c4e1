// Standard output as a Windows console program has it in text mode: every newline leaves as CR LF.
// Everything the program writes goes through std::cout into one buffer. Each line is assembled
// there, its newlines already turned into CR LF, and leaves with one write(2) when the stream is
// flushed at its end: a reader of a pipe sees every line as soon as it is complete, and an
// interrupted run has lost nothing it wrote.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "platform/platform.h"
#include "platform/read_ahead.h"

namespace platform {

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

// The one buffer of standard output, and std::cout's stream buffer. It keeps no put area, so that
// every byte std::cout writes passes through the CR LF conversion here. A line longer than the
// buffer leaves in more than one write. A failed write drops what was held and makes the next flush
// report the failure, which sets std::cout's error state: the stream side then writes nothing more.
class StandardOutput : public std::streambuf {
 public:
  void Append(const char* data, std::size_t size) {
    // The usual piece is a whole line that fits: a newline at its end and none before it.
    if (size > 0 && data[size - 1] == '\n' && used_ + size + 1 <= kLineBytes &&
        std::memchr(data, '\n', size - 1) == nullptr) {
      std::memcpy(line_ + used_, data, size - 1);
      used_ += size - 1;
      line_[used_++] = '\r';
      line_[used_++] = '\n';
      return;
    }
    AppendPieces(data, size);
  }

  // Any other piece, newline by newline. Out of line, so that the usual one is appended without
  // setting up for this.
  [[gnu::noinline]] void AppendPieces(const char* data, std::size_t size) {
    while (size > 0) {
      auto const* const newline = static_cast<const char*>(std::memchr(data, '\n', size));
      std::size_t const piece =
          newline != nullptr ? static_cast<std::size_t>(newline - data) : size;
      Hold(data, piece);
      if (newline == nullptr) return;
      Hold("\r\n", 2);
      data += piece + 1;
      size -= piece + 1;
    }
  }

  // Writes what is held; false if this or an earlier write since the last call failed.
  bool Flush() {
    bool const written = WriteAll(line_, used_) && !failed_;
    used_ = 0;
    failed_ = false;
    return written;
  }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    char const byte = traits_type::to_char_type(c);
    Append(&byte, 1);
    return c;
  }
  std::streamsize xsputn(const char* data, std::streamsize size) override {
    Append(data, static_cast<std::size_t>(size));
    return size;
  }
  int sync() override { return Flush() ? 0 : -1; }

 private:
  static constexpr std::size_t kLineBytes = 32 * 1024;

  void Hold(const char* data, std::size_t size) {
    if (used_ + size > kLineBytes) {
      if (!WriteAll(line_, used_)) failed_ = true;
      used_ = 0;
      if (size > kLineBytes) {
        if (!WriteAll(data, size)) failed_ = true;
        return;
      }
    }
    std::memcpy(line_ + used_, data, size);
    used_ += size;
  }

  // Ahead of the buffer, beside the stream buffer's own fields, so that a line touches no more of
  // memory than it must.
  std::size_t used_ = 0;
  bool failed_ = false;
  char line_[kLineBytes];
};

// std::cout is flushed once more after every static object has been destroyed, so its buffer must
// outlive them all: it is made once and never destroyed.
StandardOutput& Output() {
  static StandardOutput* const output = new StandardOutput;
  return *output;
}

}  // namespace

void SetUpStandardOutput() {
  static bool done = false;
  if (done) return;
  done = true;

  // A closed pipe is a failed write, never a killed process.
  std::signal(SIGPIPE, SIG_IGN);
  std::cout.rdbuf(&Output());
}

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

bool StandardOutputGone() {
  pollfd out{STDOUT_FILENO, POLLOUT, 0};
  return poll(&out, 1, 0) == 1 && (out.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

bool TextIsUtf8() { return true; }

// A POSIX name fits its entry whole.
const char* WholeName(const char* name) { return name; }

}  // namespace platform
