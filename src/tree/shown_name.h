// How a name (of a file, of a folder, or a path the user typed) is written.
#pragma once

#include <ostream>
#include <string>

#include "platform/platform.h"

// Into a file or a pipe a name is written byte for byte: scripts read it back. On a terminal every
// control character in it is written as one "?", since whoever names a file could otherwise retitle
// or clear the terminal of whoever lists it, move its cursor over earlier lines, or break one line
// in two.
struct ShownName {
  const char* bytes;
  bool toTerminal;
};

// Appends name to line with every control character written as one "?"; the rest, valid text or
// not, unchanged. namesAreUtf8 adds the C1 controls to the C0 controls and DEL: in their UTF-8
// form, and as single bytes 80 to 9F that are no part of a valid character.
void AppendMaskedName(std::string& line, const char* name,
                      bool namesAreUtf8 = platform::TextIsUtf8());

// Appends name, the name of an entry a listing delivered, as shown to line: a single branch when
// the output is not a terminal. A terminal gets it whole (platform::WholeName).
void AppendShownName(std::string& line, ShownName name);

std::ostream& operator<<(std::ostream& out, ShownName name);
