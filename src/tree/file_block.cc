#include "tree/file_block.h"

#include <cstddef>
#include <iostream>
#include <string>

#include "platform/platform.h"
#include "tree/filters.h"
#include "tree/glyphs.h"
#include "tree/shown_name.h"
#include "tree/write_line.h"

namespace {

// Same width as a real time stamp, so the names stay in one column.
// (Split so that no "??/" appears in one piece, which older compilers would read as a trigraph.)
constexpr const char* kUnknownTimeStamp =
    "????"
    "/??"
    "/??"
    " ??:??:??    ";

// Writes value (at most 65,535) in decimal with at least width digits, leading zeros making up the
// rest, and returns the end.
char* PutPadded(char* to, unsigned value, std::size_t width) {
  constexpr unsigned kPowersOfTen[] = {1, 10, 100, 1'000, 10'000};
  std::size_t length = width;
  while (length < 5 && value >= kPowersOfTen[length]) ++length;
  for (std::size_t at = length; at > 0; --at, value /= 10) {
    to[at - 1] = static_cast<char>('0' + value % 10);
  }
  return to + length;
}

// Year/month/day hour:minute:second, then four spaces: the year zero-padded to four digits, every
// other field to two. Formatted here rather than by printf, which took more than half the time of a
// listing with time stamps.
void AppendTimeStamp(std::string& line, const FILETIME& lastWrite) {
  SYSTEMTIME time;
  if (!platform::FileTimeToSystemTime(&lastWrite, &time)) {
    line.append(kUnknownTimeStamp);
    return;
  }
  char stamp[32];
  char* end = PutPadded(stamp, time.wYear, 4);
  *end++ = '/';
  end = PutPadded(end, time.wMonth, 2);
  *end++ = '/';
  end = PutPadded(end, time.wDay, 2);
  *end++ = ' ';
  end = PutPadded(end, time.wHour, 2);
  *end++ = ':';
  end = PutPadded(end, time.wMinute, 2);
  *end++ = ':';
  end = PutPadded(end, time.wSecond, 2);
  line.append(stamp, end).append(4, ' ');
}

}  // namespace

bool PrintFileBlock(const std::string& pattern, const std::string& prefix, bool hasSub,
                    DisplayOptions options) {
  WIN32_FIND_DATAA entry;
  HANDLE const listing = FirstPlainFile(pattern, entry, options.showTimes);
  if (listing == INVALID_HANDLE_VALUE) return false;
  if (listing == kNoEntries) return true;

  GlyphSet const& glyphs = SelectGlyphs(options.asciiGlyphs);
  const char* const segment = hasSub ? glyphs.bar : glyphs.blank;
  // Every line starts with the prefix and the segment; each file's line keeps them and replaces the
  // rest. Room for most lines is made at the start: a time stamp and a name.
  std::string line;
  line.reserve(prefix.size() + 128);
  line.assign(prefix).append(segment);
  std::size_t const head = line.size();
  do {
    line.resize(head);
    if (options.showTimes) AppendTimeStamp(line, entry.ftLastWriteTime);
    AppendShownName(line, ShownName{entry.cFileName, options.toTerminal});
    line.push_back('\n');
    WriteLine(line);
    // Once a write has failed nothing more is written: the folder is asked for nothing more.
  } while (std::cout && NextPlainFile(listing, entry));
  platform::FindClose(listing);

  line.resize(head);
  line.push_back('\n');
  WriteLine(line);
  return true;
}
