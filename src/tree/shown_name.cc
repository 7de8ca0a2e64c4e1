#include "tree/shown_name.h"

#include <cstddef>

namespace {

// The length of the control character that starts at text, 0 when none does. In UTF-8 the byte C2
// only ever leads a character, so C2 followed by 80 to 9F is always one of U+0080 to U+009F.
std::size_t ControlLength(const char* text, bool namesAreUtf8) {
  auto const byte = static_cast<unsigned char>(text[0]);
  if (byte < 0x20 || byte == 0x7F) return 1;
  if (!namesAreUtf8 || byte != 0xC2) return 0;
  auto const next = static_cast<unsigned char>(text[1]);
  return next >= 0x80 && next <= 0x9F ? 2 : 0;
}

}  // namespace

void AppendMaskedName(std::string& line, const char* name, bool namesAreUtf8) {
  const char* kept = name;  // the start of the bytes not yet appended
  const char* at = name;
  while (*at != '\0') {
    std::size_t const length = ControlLength(at, namesAreUtf8);
    if (length == 0) {
      ++at;
      continue;
    }
    line.append(kept, at - kept).push_back('?');
    at += length;
    kept = at;
  }
  line.append(kept, at - kept);
}

void AppendShownName(std::string& line, ShownName name) {
  if (!name.toTerminal) {
    line.append(name.bytes);
    return;
  }
  AppendMaskedName(line, name.bytes);
}

std::ostream& operator<<(std::ostream& out, ShownName name) {
  if (!name.toTerminal) return out << name.bytes;
  std::string masked;
  AppendMaskedName(masked, name.bytes);
  return out << masked;
}
