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

// Whether an argument that begins with "/" is a path, not a switch.
using SlashPathTest = bool (*)(const char* argument);

// Reads argv[1] to argv[argc-1]; touches nothing outside them but what isSlashPath asks of an
// argument that begins with "/" (without it, every such argument is a switch).
CommandLine ScanArguments(int argc, const char* const* argv, SlashPathTest isSlashPath = nullptr);

// Carries out a scanned command line: the usage text, an error line, or the listing run.
void RunCommandLine(const CommandLine& commandLine);
