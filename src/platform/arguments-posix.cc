#include "platform/platform.h"

const char* const* ProgramArguments(int&, char** argv) { return argv; }
