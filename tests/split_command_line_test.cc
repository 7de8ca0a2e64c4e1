#include "text/split_command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

// The arguments after the program's name.
Arguments Split(const char* tail) {
  Arguments all = SplitCommandLine((std::string("prog ") + tail).c_str(), IsCodePage932LeadByte);
  EXPECT_EQ(all.at(0), "prog");
  return Arguments(all.begin() + 1, all.end());
}

TEST(SplitCommandLineTest, SpacesAndTabsOutsideQuotesSeparate) {
  EXPECT_EQ(Split("a b\tc"), (Arguments{"a", "b", "c"}));
  EXPECT_EQ(Split("  a  \t b  "), (Arguments{"a", "b"}));
  EXPECT_EQ(Split(""), Arguments{});
  EXPECT_EQ(Split("   "), Arguments{});
}

TEST(SplitCommandLineTest, QuotesGroupAndAreRemoved) {
  EXPECT_EQ(Split("\"c:\\my files\\x\" /F"), (Arguments{"c:\\my files\\x", "/F"}));
  EXPECT_EQ(Split("a\"b c\"d"), (Arguments{"ab cd"}));
  EXPECT_EQ(Split("\"\" x"), (Arguments{"", "x"}));
  EXPECT_EQ(Split("\"unterminated  part"), (Arguments{"unterminated  part"}));
  EXPECT_EQ(Split("\"\t\""), (Arguments{"\t"}));
}

TEST(SplitCommandLineTest, DoubledQuoteInsideQuotesGivesAQuoteAndEndsTheQuotedPart) {
  EXPECT_EQ(Split("\"a\"\"b c\""), (Arguments{"a\"b", "c"}));
  EXPECT_EQ(Split("\"a\"\"\"b c\""), (Arguments{"a\"b c"}));
  EXPECT_EQ(Split("\"\"\"\""), (Arguments{"\""}));
  // Outside a quoted part, two quotes open and close an empty one.
  EXPECT_EQ(Split("a\"\"b"), (Arguments{"ab"}));
}

TEST(SplitCommandLineTest, BackslashesCountOnlyBeforeAQuote) {
  EXPECT_EQ(Split("c:\\a\\\\b\\"), (Arguments{"c:\\a\\\\b\\"}));
  EXPECT_EQ(Split("a\\\\\"b c\""), (Arguments{"a\\b c"}));       // 2 give 1, the quote groups
  EXPECT_EQ(Split("a\\\\\\\"b c"), (Arguments{"a\\\"b", "c"}));  // 3 give 1 and a literal quote
  EXPECT_EQ(Split("\\\"x\\\""), (Arguments{"\"x\""}));
  EXPECT_EQ(Split("\"c:\\dir\\\\\" /F"), (Arguments{"c:\\dir\\", "/F"}));
  EXPECT_EQ(Split("\"c:\\dir\\\" /F"), (Arguments{"c:\\dir\" /F"}));
}

TEST(SplitCommandLineTest, SecondByteOfADoubleByteCharacterIsNeverABackslashOrQuote) {
  // 表 is 95 5C and ソ is 83 5C in code page 932.
  EXPECT_EQ(Split("\"\x95\x5c\" /F"), (Arguments{"\x95\x5c", "/F"}));
  EXPECT_EQ(Split("\x83\x5c\"a b\""), (Arguments{"\x83\x5c"
                                                 "a b"}));
  EXPECT_EQ(Split("\x95\x5c\x95\x5c\\\"x"), (Arguments{"\x95\x5c\x95\x5c\"x"}));
  // A lead byte followed by a quote byte: the pair is one character, the quote groups nothing.
  EXPECT_EQ(Split("\x81\" x"), (Arguments{"\x81\"", "x"}));
  // A lead byte at the very end stands alone.
  EXPECT_EQ(Split("a\x95"), (Arguments{"a\x95"}));
  // Single-byte katakana (A1-DF) lead nothing.
  EXPECT_EQ(Split("\xb1\\\"x"), (Arguments{"\xb1\"x"}));
}

TEST(SplitCommandLineTest, NothingIsExpanded) {
  EXPECT_EQ(Split("*.* ? %PATH%"), (Arguments{"*.*", "?", "%PATH%"}));
}

TEST(SplitCommandLineTest, ProgramNameKnowsOnlyQuotes) {
  EXPECT_EQ(SplitCommandLine("\"c:\\my dir\\\"x y", IsCodePage932LeadByte),
            (Arguments{"c:\\my dir\\", "x", "y"}));
  EXPECT_EQ(SplitCommandLine("c:\\dir\\prog.exe\t/F", IsCodePage932LeadByte),
            (Arguments{"c:\\dir\\prog.exe", "/F"}));
  EXPECT_EQ(SplitCommandLine("", IsCodePage932LeadByte), (Arguments{""}));
  EXPECT_EQ(SplitCommandLine("\"\x95\x5c\x95\x5c\" a", IsCodePage932LeadByte),
            (Arguments{"\x95\x5c\x95\x5c", "a"}));
}

}  // namespace
