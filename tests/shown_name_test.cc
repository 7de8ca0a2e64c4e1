#include "tree/shown_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Masked(const char* name, bool namesAreUtf8) {
  std::string line;
  AppendMaskedName(line, name, namesAreUtf8);
  return line;
}

// The end-to-end tests see only this build's encoding, UTF-8; the Windows build's names are code
// page 932, where C2 9B is a half-width katakana and a lead byte, not a control character.
TEST(ShownNameTest, CodePage932NamesLoseOnlyTheirC0ControlsAndDel) {
  // ム (83 80), ESC [ 2 J, C2 9B, DEL.
  const char* const name = "\x83\x80\x1b[2J\xc2\x9b\x7f";
  EXPECT_EQ(Masked(name, false), "\x83\x80?[2J\xc2\x9b?");
  EXPECT_EQ(Masked(name, true), "???[2J??");
}

// A terminal not in UTF-8 mode reads any byte 80 to 9F as a C1 control; inside a valid character
// such bytes are text, outside one each is shown as "?".
TEST(ShownNameTest, Utf8NamesLoseEveryByteEightyToNinetyFOutsideAValidCharacter) {
  // ム (E3 83 A0) and 😀 (F0 9F 98 80) keep their bytes; a character cut short (E3 83), an overlong
  // form (C0 9B), a surrogate (ED A0 9B) and stray bytes do not make their 80 to 9F valid.
  EXPECT_EQ(Masked("\xe3\x83\xa0\xf0\x9f\x98\x80", true), "\xe3\x83\xa0\xf0\x9f\x98\x80");
  EXPECT_EQ(Masked("a\xe3\x83", true), "a\xe3?");
  EXPECT_EQ(Masked("\xc0\x9b\xed\xa0\x9b\xff\x9b\xa0", true), "\xc0?\xed\xa0?\xff?\xa0");
}

}  // namespace
