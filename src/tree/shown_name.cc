#include "tree/shown_name.h"

#include <cstddef>

namespace {

// The length of the valid UTF-8 character that starts at text, 0 when none does: no overlong form,
// no surrogate, nothing past U+10FFFF. A NUL ends a sequence, as it is no continuation byte.
std::size_t Utf8Length(const unsigned char* text) {
  unsigned char const lead = text[0];
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;  // the range of the byte after the lead
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text[1] < low || text[1] > high) return 0;
  for (std::size_t at = 2; at < length; ++at) {
    if (text[at] < 0x80 || text[at] > 0xBF) return 0;
  }
  return length;
}

// The bytes at text that are shown as one unit: their number, and whether they are a control
// character, written as one "?". In UTF-8 names the controls are the C0 controls, DEL and the C1
// controls U+0080 to U+009F, and also a byte 80 to 9F that is no part of a valid character: a
// terminal that is not in UTF-8 mode takes such a byte for a C1 control (9B starts a control
// sequence). Code page 932 has no C1 controls: there those bytes lead double-byte characters.
struct Unit {
  std::size_t length;
  bool control;
};

Unit UnitAt(const char* text, bool namesAreUtf8) {
  auto const* const bytes = reinterpret_cast<const unsigned char*>(text);
  if (bytes[0] < 0x20 || bytes[0] == 0x7F) return {1, true};
  if (!namesAreUtf8 || bytes[0] < 0x80) return {1, false};
  std::size_t const length = Utf8Length(bytes);
  if (length == 0) return {1, bytes[0] <= 0x9F};
  return {length, bytes[0] == 0xC2 && bytes[1] <= 0x9F};
}

}  // namespace

void AppendMaskedName(std::string& line, const char* name, bool namesAreUtf8) {
  const char* kept = name;  // the start of the bytes not yet appended
  const char* at = name;
  while (*at != '\0') {
    Unit const unit = UnitAt(at, namesAreUtf8);
    if (unit.control) {
      line.append(kept, at - kept).push_back('?');
      kept = at + unit.length;
    }
    at += unit.length;
  }
  line.append(kept, at - kept);
}

void AppendShownName(std::string& line, ShownName name) {
  if (!name.toTerminal) {
    line.append(name.bytes);
    return;
  }
  AppendMaskedName(line, platform::WholeName(name.bytes));
}

std::ostream& operator<<(std::ostream& out, ShownName name) {
  if (!name.toTerminal) return out << name.bytes;
  std::string masked;
  AppendMaskedName(masked, name.bytes);
  return out << masked;
}
