#include "platform/platform.h"

// Only a console has a console mode: a redirected handle (a file, a pipe) fails the call.
bool StandardOutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
}
