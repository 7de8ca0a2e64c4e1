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
  EXPECT_EQ(Masked(name, true), "\x83\x80?[2J??");
}

}  // namespace
