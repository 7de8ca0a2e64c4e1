#include <string>
#include <vector>

#include "platform/win32_internal.h"
#include "text/split_command_line.h"

namespace platform {

namespace {

// The wide command line is split as UTF-8, in which no byte of a longer character is a space, a
// quote or a backslash: the same rules, with nothing for a lead byte to protect.
bool NoLeadBytes(unsigned char) { return false; }

}  // namespace

// The runtime's own splitting keeps a quoted part open after two double quotes in a row, so the
// command line is split here instead; the vector lives as long as the process. It is split from
// the wide command line, where a name outside the code page is still whole: each argument is
// handed on in its narrow form, and the platform remembers the wide one it stands for.
const char* const* ProgramArguments(int& argc, char**) {
  static std::vector<std::string> const arguments = [] {
    std::vector<std::string> narrow;
    for (std::string const& utf8 :
         SplitCommandLine(Utf8FromWide(GetCommandLineW()).c_str(), NoLeadBytes)) {
      std::wstring const wide = WideFromUtf8(utf8);
      narrow.push_back(NarrowFromWide(wide));
      RememberTypedPath(narrow.back(), wide);
    }
    return narrow;
  }();
  static std::vector<const char*> const pointers = [] {
    std::vector<const char*> result;
    for (std::string const& argument : arguments) result.push_back(argument.c_str());
    result.push_back(nullptr);
    return result;
  }();
  argc = static_cast<int>(arguments.size());
  return pointers.data();
}

bool ArgumentIsPosixPath(const char*) { return false; }

}  // namespace platform
