#include "driver/command_line.h"
#include "platform/platform.h"

// Every path ends with status 0: errors the user can cause are lines on standard output.
int main(int argc, char** argv) {
  platform::SetUpStandardOutput();
  int count = argc;
  const char* const* arguments = platform::ProgramArguments(count, argv);
  CommandLine commandLine =
      ScanArguments(count, arguments, platform::ArgumentIsPosixPath, platform::SwitchLetterTyped);
  commandLine.options.toTerminal = platform::StandardOutputIsTerminal();
  RunCommandLine(commandLine);
  return 0;
}
