#include <cstdio>

#include "platform/platform.h"

namespace platform {

// The C runtime opens standard output in text mode already: newlines leave as CR LF, and a closed
// pipe is a failed write. It leaves the stream unbuffered, though, so every byte is a write of its
// own, which on a deep tree (lines of tens of thousands of bytes) dominates the run. With a buffer,
// each line still leaves at its end, with the flush that ends it.
void SetUpStandardOutput() { std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16); }

// Only a console has a console mode: a redirected handle (a file, a pipe) fails the call.
bool StandardOutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
}

}  // namespace platform
