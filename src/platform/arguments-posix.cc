#include <sys/stat.h>

#include <cstring>

#include "platform/platform.h"

namespace platform {

const char* const* ProgramArguments(int&, char** argv) { return argv; }

bool ArgumentIsPosixPath(const char* argument) {
  struct stat status;
  return argument[0] == '/' && std::strlen(argument) >= 3 && lstat(argument, &status) == 0;
}

}  // namespace platform
