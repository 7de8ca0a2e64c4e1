#include "tree/glyphs.h"

#include "platform/platform.h"
#include "text/native_text.h"

namespace {

constexpr auto kExtendedTee = ToNativeText("├─");
constexpr auto kExtendedEnd = ToNativeText("└─");
constexpr auto kExtendedBar = ToNativeText("│  ");
constexpr const char* kBlank = "    ";

constexpr GlyphSet kExtendedGlyphs{kExtendedTee.bytes, kExtendedEnd.bytes, kExtendedBar.bytes,
                                   kBlank};
constexpr GlyphSet kExtendedUtf8Glyphs{kExtendedTee.utf8, kExtendedEnd.utf8, kExtendedBar.utf8,
                                       kBlank};
constexpr GlyphSet kAsciiGlyphs{"+---", "\\---", "|   ", kBlank};

}  // namespace

const GlyphSet& SelectGlyphs(bool asciiGlyphs) {
  if (asciiGlyphs) return kAsciiGlyphs;
  return platform::TextIsUtf8() ? kExtendedUtf8Glyphs : kExtendedGlyphs;
}
