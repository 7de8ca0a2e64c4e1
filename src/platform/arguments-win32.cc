#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/split_command_line.h"

namespace {

bool IsLeadByteOfSystemCodePage(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

}  // namespace

// The runtime's own splitting keeps a quoted part open after two double quotes in a row, so the
// command line is split here instead; the vector lives as long as the process.
const char* const* ProgramArguments(int& argc, char**) {
  static std::vector<std::string> const arguments =
      SplitCommandLine(GetCommandLineA(), IsLeadByteOfSystemCodePage);
  static std::vector<const char*> const pointers = [] {
    std::vector<const char*> result;
    for (std::string const& argument : arguments) result.push_back(argument.c_str());
    result.push_back(nullptr);
    return result;
  }();
  argc = static_cast<int>(arguments.size());
  return pointers.data();
}
