#include "driver/command_line.h"
#include "platform/platform.h"

// Every path ends with status 0: errors the user can cause are lines on standard output.
int main(int argc, char** argv) {
  SetUpStandardOutput();
  RunCommandLine(ScanArguments(argc, argv));
  return 0;
}
