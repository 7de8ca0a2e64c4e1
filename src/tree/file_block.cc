#include "tree/file_block.h"

#include <cstdio>
#include <iostream>
#include <string>

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

void WriteLinePiece(const std::string& piece) {
  std::cout.write(piece.data(), static_cast<std::streamsize>(piece.size()));
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
  // Each line is assembled here and handed to the stream whole; a time stamp, which printf writes,
  // goes between its two pieces.
  std::string line;
  do {
    line.assign(prefix).append(segment);
    if (options.showTimes) {
      WriteLinePiece(line);
      line.clear();
      PrintTimeStamp(entry.ftLastWriteTime);
    }
    AppendShownName(line, ShownName{entry.cFileName, options.toTerminal});
    line.push_back('\n');
    WriteLinePiece(line);
    std::cout.flush();
  } while (NextPlainFile(listing, entry));
  FindClose(listing);

  line.assign(prefix).append(segment).push_back('\n');
  WriteLinePiece(line);
  std::cout.flush();
  return true;
}
