#include <sys/stat.h>

#include <cstring>

#include "platform/posix_internal.h"

namespace platform {

const char* const* ProgramArguments(int&, char** argv) { return argv; }

bool ArgumentIsPosixPath(const char* argument) {
  struct stat status;
  bool const posixPath =
      argument[0] == '/' && std::strlen(argument) >= 3 && lstat(argument, &status) == 0;
  if (posixPath) RememberPosixPathArgument(argument);
  return posixPath;
}

bool SwitchLetterTyped(const char*) { return true; }

}  // namespace platform
