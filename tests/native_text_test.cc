#include "text/native_text.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/messages.h"
#include "support/text.h"
#include "tree/glyphs.h"

namespace {

// The system's own converter, as the reference for the table every build converts with.
std::string ThroughIconv(const std::string& utf8) {
  std::string converted;
  return Convert("CP932", "UTF-8", utf8, &converted) ? converted : "(not convertible)";
}

std::string ThroughTable(const char* utf8) {
  std::string output(std::char_traits<char>::length(utf8) + 1, '\0');
  std::size_t const size = ConvertToCodePage932(utf8, output.data());
  if (size > output.size()) return "(missing from the table)";
  output.resize(size);
  return output;
}

std::string Utf8Of(std::uint32_t unicode) {
  std::string text;
  if (unicode < 0x800) {
    text += static_cast<char>(0xC0 | (unicode >> 6));
  } else {
    text += static_cast<char>(0xE0 | (unicode >> 12));
    text += static_cast<char>(0x80 | ((unicode >> 6) & 0x3F));
  }
  text += static_cast<char>(0x80 | (unicode & 0x3F));
  return text;
}

TEST(NativeTextTest, EveryTableEntryAgreesWithTheSystemConverter) {
  for (CodePage932Pair const& pair : kCodePage932Table) {
    std::string expected(pair.bytes > 0xFF ? 1 : 0, static_cast<char>(pair.bytes >> 8));
    expected += static_cast<char>(pair.bytes & 0xFF);
    EXPECT_EQ(ThroughIconv(Utf8Of(pair.unicode)), expected) << "U+" << std::hex << pair.unicode;
  }
}

TEST(NativeTextTest, EveryBuiltInTextConvertsAsTheSystemConverterDoes) {
  GlyphSet const& extended = SelectGlyphs(false);
  const char* const texts[] = {
      kInvalidSwitch.bytes, kTooManyParameters.bytes,
      kInvalidPath.bytes,   kNoSubfolders.bytes,
      kTitle.bytes,         kSerialLead.bytes,
      kSerialTail.bytes,    kUsage1.bytes,
      kUsage3.bytes,        kUsage5.bytes,
      kUsage6.bytes,        kUsage7.bytes,
      extended.tee,         extended.end,
      extended.bar,         extended.blank,
  };
  for (const char* text : texts) EXPECT_EQ(ThroughTable(text), ThroughIconv(text)) << text;
}

TEST(NativeTextTest, ExtendedGlyphsAreFourBytesInCodePage932) {
  GlyphSet const& extended = SelectGlyphs(false);
  EXPECT_EQ(ThroughTable(extended.tee), "\x84\xA5\x84\x9F");
  EXPECT_EQ(ThroughTable(extended.end), "\x84\xA4\x84\x9F");
  EXPECT_EQ(ThroughTable(extended.bar), "\x84\xA0  ");
  EXPECT_EQ(ThroughTable(extended.blank), "    ");
}

TEST(NativeTextTest, AsciiGlyphsAreTheSameOnEveryPlatform) {
  GlyphSet const& ascii = SelectGlyphs(true);
  EXPECT_STREQ(ascii.tee, "+---");
  EXPECT_STREQ(ascii.end, "\\---");
  EXPECT_STREQ(ascii.bar, "|   ");
  EXPECT_STREQ(ascii.blank, "    ");
}

TEST(NativeTextTest, CharactersOutsideTheTableAreRefused) {
  EXPECT_EQ(ThroughTable("한"), "(missing from the table)");
  EXPECT_EQ(ThroughTable("¥"), "(missing from the table)");  // iconv's backslash: never in a text
  EXPECT_EQ(ThroughTable("\xE3\x81"), "(missing from the table)");  // cut short
}

}  // namespace
