#pragma once

// The three drawing switches of the command line; all off unless a switch turns them on.
struct DisplayOptions {
  bool listFiles = false;
  bool asciiGlyphs = false;
  bool showTimes = false;
};
