#include "tree/glyphs.h"

#include "text/native_text.h"

namespace {

constexpr auto kExtendedTee = ToNativeText("├─");
constexpr auto kExtendedEnd = ToNativeText("└─");
constexpr auto kExtendedBar = ToNativeText("│  ");
constexpr const char* kBlank = "    ";

constexpr GlyphSet kExtendedGlyphs{kExtendedTee.bytes, kExtendedEnd.bytes, kExtendedBar.bytes,
                                   kBlank};
constexpr GlyphSet kAsciiGlyphs{"+---", "\\---", "|   ", kBlank};

}  // namespace

const GlyphSet& SelectGlyphs(bool asciiGlyphs) {
  return asciiGlyphs ? kAsciiGlyphs : kExtendedGlyphs;
}
