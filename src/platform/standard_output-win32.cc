// Standard output on Windows. Into a file or a pipe the program writes code page 932 bytes through
// the C runtime, which opens standard output in text mode: newlines leave as CR LF, and a closed
// pipe is a failed write. A console is handed each line as wide text instead, so that it shows
// every name as it is: code page 932 would turn a name it cannot hold into "?" or a look-alike, and
// a Japanese console would draw "¥" and "\" alike. The console's own code page is never changed, so
// a run cut short leaves the console as it found it.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/read_ahead.h"
#include "platform/win32_internal.h"

namespace platform {

namespace {

// std::cout's buffer on a console: a line is collected, in UTF-8, and handed to the console as
// UTF-16 with one WriteConsoleW when the stream is flushed at its end. A failed write makes the
// flush report it, which sets std::cout's error state: the stream side then writes nothing more.
class ConsoleOutput : public std::streambuf {
 public:
  explicit ConsoleOutput(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) Append(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* data, std::streamsize size) override {
    for (std::streamsize at = 0; at < size; ++at) Append(data[at]);
    return size;
  }
  int sync() override {
    bool written = true;
    if (!line_.empty()) {
      int const size =
          MultiByteToWideChar(CP_UTF8, 0, line_.data(), static_cast<int>(line_.size()), nullptr, 0);
      wide_.resize(static_cast<std::size_t>(size));
      MultiByteToWideChar(CP_UTF8, 0, line_.data(), static_cast<int>(line_.size()), wide_.data(),
                          size);
      // In pieces, since a console takes only so much in one call; a surrogate pair stays whole.
      for (std::size_t at = 0; written && at < wide_.size();) {
        std::size_t piece = std::min<std::size_t>(wide_.size() - at, kPieceUnits);
        if (piece < wide_.size() - at && IS_HIGH_SURROGATE(wide_[at + piece - 1])) --piece;
        DWORD done = 0;
        written = WriteConsoleW(console_, wide_.data() + at, static_cast<DWORD>(piece), &done,
                                nullptr) != FALSE &&
                  done == piece;
        at += piece;
      }
      line_.clear();
    }
    return written ? 0 : -1;
  }

 private:
  // A newline leaves as CR LF, as text-mode output writes it.
  void Append(char c) {
    if (c == '\n') line_.push_back('\r');
    line_.push_back(c);
  }

  static constexpr std::size_t kPieceUnits = 8192;

  HANDLE console_;
  std::string line_;
  std::wstring wide_;
};

// Only a console has a console mode: a redirected handle (a file, a pipe) fails the call.
bool OnConsole() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
}

bool textIsUtf8 = false;

// ---------------------------------------------------------------------------------------------
// Names a console shows whole. An entry holds its name in 260 bytes, NUL included, where the UTF-8
// form of a name of up to 255 UTF-16 units takes up to 765; a listing delivers a longer one cut at
// a whole character (into a file or a pipe, in code page 932, that cut is the output's own). The
// whole name waits here, under the entry that holds the cut one, until the entry is filled again.
// Bound: kNames names at once; past that, the one noted first is shown cut.
class WholeNames {
 public:
  static constexpr std::size_t kNames = 64;

  static WholeNames& Get() {
    static WholeNames names;
    return names;
  }
  void Note(const char* shown, const wchar_t* realName) {
    if (!names_.empty()) Forget(shown);
    // A cut name lacks less than one character of at most four bytes.
    if (!textIsUtf8 || std::strlen(shown) < MAX_PATH - 4) return;
    std::string whole = Utf8FromWide(realName);
    if (whole.size() == std::strlen(shown)) return;
    if (names_.size() == kNames) names_.erase(names_.begin());
    names_.push_back({shown, shown, std::move(whole)});
  }
  const char* Whole(const char* shown) const {
    for (Name const& name : names_) {
      if (name.entry == shown && name.cut == shown) return name.whole.c_str();
    }
    return shown;
  }

 private:
  void Forget(const char* entry) {
    names_.erase(std::remove_if(names_.begin(), names_.end(),
                                [entry](const Name& name) { return name.entry == entry; }),
                 names_.end());
  }

  struct Name {
    const char* entry;  // where the cut name is held
    std::string cut;
    std::string whole;
  };
  std::vector<Name> names_;  // the one noted first first
};

}  // namespace

void NoteShownName(const char* shown, const wchar_t* realName) {
  WholeNames::Get().Note(shown, realName);
}

const char* WholeName(const char* name) { return WholeNames::Get().Whole(name); }

void SetUpStandardOutput() {
  static bool done = false;
  if (done) return;
  done = true;
  textIsUtf8 = OnConsole();
  if (textIsUtf8) {
    // Made once and never destroyed: std::cout is flushed once more after every static object has
    // been destroyed.
    static ConsoleOutput* const console = new ConsoleOutput(GetStdHandle(STD_OUTPUT_HANDLE));
    std::cout.rdbuf(console);
    return;
  }
  // The C runtime leaves the stream unbuffered, so every byte would be a write of its own, which on
  // a deep tree (lines of tens of thousands of bytes) dominates the run. With a buffer, each line
  // still leaves at its end, with the flush that ends it.
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
}

bool StandardOutputIsTerminal() { return OnConsole(); }

// A pipe whose reader is gone shows only when written to.
bool StandardOutputGone() { return false; }

bool TextIsUtf8() { return textIsUtf8; }

}  // namespace platform
