#include <unistd.h>

#include "platform/platform.h"

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }
