#pragma once

#include "tree/display_options.h"

// What the argument scan decided. The scan stops at the first argument that ends the program (a
// usage request or an error), so the arguments to its right are never looked at.
struct CommandLine {
  enum class Outcome { kRunListing, kShowUsage, kInvalidSwitch, kTooManyParameters };
  Outcome outcome = Outcome::kRunListing;
  DisplayOptions options;
  const char* target = nullptr;     // the one path argument, if any
  const char* offending = nullptr;  // the argument an error message names
};

// What is asked of an argument that begins with "/": whether it is a path, not a switch; whether
// the byte after the "/" stands for the character the user typed there.
using SlashArgumentTest = bool (*)(const char* argument);

// Reads argv[1] to argv[argc-1]; touches nothing outside them but what the tests ask of an
// argument that begins with "/" (without isSlashPath, every such argument is a switch; without
// letterTyped, its second byte is what the user typed).
CommandLine ScanArguments(int argc, const char* const* argv,
                          SlashArgumentTest isSlashPath = nullptr,
                          SlashArgumentTest letterTyped = nullptr);

// Carries out a scanned command line: the usage text, an error line, or the listing run.
void RunCommandLine(const CommandLine& commandLine);
