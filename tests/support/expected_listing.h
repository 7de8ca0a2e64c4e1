// What a listing of real folders is expected to look like: the header lines, the messages, paths
// as the program names them, and the tree drawn from the disk in the order the platform delivers.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "support/program.h"
#include "support/text.h"

inline const std::string kCrLf = "\r\n";

struct Glyphs {
  std::string tee, end, bar, blank;
};
inline const Glyphs kExtended{"├─", "└─", "│  ", "    "};
inline const Glyphs kAscii{"+---", "\\---", "|   ", "    "};

inline const std::string kTitle = "フォルダ パスの一覧";
inline const std::string kNoSubfolders = Lines({"サブフォルダは存在しません", ""});
// Split so that no "??/" trigraph sequence appears in one literal.
inline const std::string kUnknownTime =
    "????"
    "/??"
    "/??"
    " ??:??:??    ";

inline std::string InvalidPath(std::string_view behind_root) {
  return Lines({"無効なパスです - \\" + std::string(behind_root)});
}

// "x:" for the drive of "/", or for a drive that names nothing, in the case asked for.
inline std::string Drive(bool upper = true) {
  return std::string(1, static_cast<char>(UnderTest().drive + (upper ? 0 : 32))) + ":";
}
inline std::string MissingDrive(bool upper = true) {
  return std::string(1, static_cast<char>(UnderTest().missing_drive + (upper ? 0 : 32))) + ":";
}

// How the program names a POSIX path: "/" is drive C: (Z: under Wine).
std::string WinPath(std::string_view posix);

// Drive C: is the POSIX root: its serial is the low half of the file system id of "/". Under Wine,
// drive Z:'s serial is whatever Wine reports for it.
std::uint32_t DriveCSerial();
std::string SerialLine(char separator, std::uint32_t serial);

// The three header lines of a run given a path on drive C:, given a path that names no volume, and
// without a path argument.
inline std::string PathHeader(const std::string& root_line) {
  return Lines({SerialLine('-', DriveCSerial()), kTitle, root_line});
}
inline std::string NoVolumeHeader(const std::string& root_line) {
  return Lines({SerialLine('-', 0), kTitle, root_line});
}
inline std::string CurrentFolderHeader() {
  return Lines({SerialLine(':', DriveCSerial()), kTitle, Drive() + "."});
}

std::string FirstLines(const std::string& text, int count);

struct Entry {
  std::string name;
  bool folder;  // a folder, or a link that leads to one
};

// Entries in the order the platform under test delivers them, "." and ".." left out: on POSIX
// the directory's own order, under Wine what Wine's own listing delivers.
std::vector<Entry> Listing(const std::string& folder);
Names SubfolderNames(const std::string& folder);
Names FileNames(const std::string& folder);

// How a tree is expected to be drawn. The structure comes from the disk, in the directory's own
// order; which folders show nothing below their own line is stated by the test.
struct Drawing {
  Glyphs glyphs = kExtended;
  bool files = false;         // /F
  std::string stamp;          // written before every file name (/T), empty without
  std::set<std::string> cut;  // POSIX paths, as walked, of folders drawn as a line only

  Drawing& Ascii() {
    glyphs = kAscii;
    return *this;
  }
  Drawing& WithFiles() {
    files = true;
    return *this;
  }
  Drawing& WithStamps(const std::string& text) {
    stamp = text;
    return *this;
  }
  Drawing& Cut(std::set<std::string> folders) {
    cut = std::move(folders);
    return *this;
  }
};

// The tree lines below a folder, without the header lines and the closing note.
std::string DrawnTree(const std::string& folder, const Drawing& drawing = Drawing());
