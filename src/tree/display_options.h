#pragma once

// The three drawing switches of the command line; all off unless a switch turns them on.
struct DisplayOptions {
  bool listFiles = false;
  bool asciiGlyphs = false;
  bool showTimes = false;
  // Not a switch: set when standard output is a terminal, which is shown no control character of a
  // name (tree/shown_name.h).
  bool toTerminal = false;
};
