#include "driver/command_line.h"

#include <iostream>

#include "driver/messages.h"
#include "driver/run_listing.h"
#include "driver/usage.h"
#include "tree/run_text.h"
#include "tree/shown_name.h"

CommandLine ScanArguments(int argc, const char* const* argv, SlashArgumentTest isSlashPath,
                          SlashArgumentTest letterTyped) {
  CommandLine result;
  for (int i = 1; i < argc; ++i) {
    const char* const argument = argv[i];
    if (argument[0] == '/' && (isSlashPath == nullptr || !isSlashPath(argument))) {
      // Only the byte after the slash counts: /Fxyz is /F and /?abc is /?. A byte that stands for
      // another character than the user typed is no letter: the switch is invalid, as a lone
      // slash is.
      bool const typed = letterTyped == nullptr || letterTyped(argument);
      switch (typed ? argument[1] : '\0') {
        case '?':
          result.outcome = CommandLine::Outcome::kShowUsage;
          return result;
        case 'A':
        case 'a':
          result.options.asciiGlyphs = true;
          continue;
        case 'F':
        case 'f':
          result.options.listFiles = true;
          continue;
        case 'T':
        case 't':
          result.options.showTimes = true;
          continue;
        default:
          result.outcome = CommandLine::Outcome::kInvalidSwitch;
          result.offending = argument;
          return result;
      }
    }
    if (result.target != nullptr) {
      result.outcome = CommandLine::Outcome::kTooManyParameters;
      result.offending = argument;
      return result;
    }
    result.target = argument;
  }
  return result;
}

void RunCommandLine(const CommandLine& commandLine) {
  ShownName const offending{commandLine.offending, commandLine.options.toTerminal};
  switch (commandLine.outcome) {
    case CommandLine::Outcome::kShowUsage:
      PrintUsage();
      return;
    case CommandLine::Outcome::kInvalidSwitch:
      std::cout << RunText(kInvalidSwitch) << offending << std::endl;
      return;
    case CommandLine::Outcome::kTooManyParameters:
      std::cout << RunText(kTooManyParameters) << offending << std::endl;
      return;
    case CommandLine::Outcome::kRunListing:
      RunListing(commandLine.target, commandLine.options);
      return;
  }
}
