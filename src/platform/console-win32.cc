#include "platform/platform.h"

// The C runtime opens standard output in text mode already: newlines leave as CR LF, and a closed
// pipe is a failed write.
void SetUpStandardOutput() {}
