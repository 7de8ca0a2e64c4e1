#include "tree/file_block.h"

#include <cstdio>
#include <iostream>

#include "platform/platform.h"
#include "tree/filters.h"
#include "tree/glyphs.h"
#include "tree/shown_name.h"

namespace {

constexpr const char* kTimeStampFormat = "%.4d/%.2d/%.2d %.2d:%.2d:%.2d    ";
// Same width as a real time stamp, so the names stay in one column.
// (Split so that no "??/" appears in one piece, which older compilers would read as a trigraph.)
constexpr const char* kUnknownTimeStamp =
    "????"
    "/??"
    "/??"
    " ??:??:??    ";

void PrintTimeStamp(const FILETIME& lastWrite) {
  SYSTEMTIME time;
  if (FileTimeToSystemTime(&lastWrite, &time)) {
    std::printf(kTimeStampFormat, time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
                time.wSecond);
  } else {
    std::fputs(kUnknownTimeStamp, stdout);
  }
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
  do {
    std::cout << prefix << segment;
    if (options.showTimes) PrintTimeStamp(entry.ftLastWriteTime);
    std::cout << ShownName{entry.cFileName, options.toTerminal} << std::endl;
  } while (NextPlainFile(listing, entry));
  FindClose(listing);

  std::cout << prefix << segment << std::endl;
  return true;
}
