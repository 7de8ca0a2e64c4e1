// Built-in texts are written once, in UTF-8, in the source. Each platform writes them in its own
// narrow encoding, made from that one source at compile time: UTF-8 unchanged on POSIX, code page
// 932 on Windows. A character that code page 932 lacks stops every build, never the output.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

struct CodePage932Pair {
  std::uint32_t unicode;
  std::uint16_t bytes;  // below 0x100 for the one-byte (half-width) characters
};

// Every character outside ASCII that code page 932 holds, sorted by Unicode.
inline constexpr CodePage932Pair kCodePage932Table[] = {
#include "text/code_page_932_table.inc"
};

// The code page 932 bytes of unicode, or 0 when the code page has no such character.
constexpr std::uint16_t CodePage932Of(std::uint32_t unicode) {
  std::size_t low = 0;
  std::size_t high = sizeof kCodePage932Table / sizeof kCodePage932Table[0];
  while (low < high) {
    std::size_t const middle = (low + high) / 2;
    if (kCodePage932Table[middle].unicode < unicode) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  bool const found = low < sizeof kCodePage932Table / sizeof kCodePage932Table[0] &&
                     kCodePage932Table[low].unicode == unicode;
  return found ? kCodePage932Table[low].bytes : 0;
}

// The NUL-terminated bytes of one built-in text in the platform's narrow encoding, their count
// without the NUL, and the text in UTF-8, which a Windows console is written in.
template <std::size_t N>
struct NativeText {
  char bytes[N];
  std::size_t size;
  char utf8[N];
};

// Converts NUL-terminated UTF-8 into code page 932; a character that the table lacks, or UTF-8 that
// is not well formed, makes the result's size exceed the input (detected by ToCodePage932's
// callers).
constexpr std::size_t ConvertToCodePage932(const char* utf8, char* out) {
  std::size_t written = 0;
  for (std::size_t at = 0; utf8[at] != '\0';) {
    auto const lead = static_cast<unsigned char>(utf8[at]);
    if (lead < 0x80) {
      out[written++] = utf8[at++];
      continue;
    }
    std::size_t const length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    std::uint32_t unicode = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
      if (utf8[at + i] == '\0') return static_cast<std::size_t>(-1);
      unicode = (unicode << 6) | (static_cast<unsigned char>(utf8[at + i]) & 0x3F);
    }
    at += length;
    std::uint16_t const bytes = CodePage932Of(unicode);
    if (bytes == 0) return static_cast<std::size_t>(-1);
    if (bytes > 0xFF) out[written++] = static_cast<char>(bytes >> 8);
    out[written++] = static_cast<char>(bytes & 0xFF);
  }
  out[written] = '\0';
  return written;
}

// Every text is converted on every build, so that a character code page 932 lacks stops the native
// build as well as the Windows one.
template <std::size_t N>
consteval NativeText<N> ToNativeText(const char (&utf8)[N]) {
  NativeText<N> text{};
  for (std::size_t i = 0; i < N; ++i) text.utf8[i] = utf8[i];
  text.size = ConvertToCodePage932(utf8, text.bytes);
  // Not a constant expression, so a text that cannot be converted fails to compile.
  if (text.size >= N) throw "built-in text has a character that code page 932 lacks";
  if constexpr (!kBuiltInTextsAreCodePage932) {
    for (std::size_t i = 0; i < N; ++i) text.bytes[i] = utf8[i];
    text.size = N - 1;
  }
  return text;
}
