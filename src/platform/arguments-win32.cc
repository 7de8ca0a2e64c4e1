#include <string>
#include <vector>

#include "platform/win32_internal.h"
#include "text/split_command_line.h"

namespace platform {

namespace {

// The wide command line is split as UTF-8, in which no byte of a longer character is a space, a
// quote or a backslash: the same rules, with nothing for a lead byte to protect.
bool NoLeadBytes(unsigned char) { return false; }

// The process's arguments in their narrow form, for as long as the process lives, and for each
// whether the byte after a leading "/" stands for the character the user typed there.
struct ProcessArguments {
  std::vector<std::string> narrow;
  std::vector<const char*> pointers;
  std::vector<bool> letterTyped;
};

// The runtime's own splitting keeps a quoted part open after two double quotes in a row, so the
// command line is split here instead. It is split from the wide command line, where a name outside
// the code page is still whole: each argument is handed on in its narrow form, made without best
// fit, and the platform remembers the wide one it stands for.
const ProcessArguments& Arguments() {
  static ProcessArguments const arguments = [] {
    ProcessArguments split;
    for (std::string const& utf8 :
         SplitCommandLine(Utf8FromWide(GetCommandLineW()).c_str(), NoLeadBytes)) {
      std::wstring const wide = WideFromUtf8(utf8);
      std::string const narrow = TypedNarrowFromWide(wide);
      RememberTypedPath(narrow, wide);
      split.narrow.push_back(narrow);
      // The "?" that a character the code page lacks becomes.
      split.letterTyped.push_back(
          !(wide.size() >= 2 && wide[0] == L'/' && narrow[1] == '?' && wide[1] != L'?'));
    }
    for (std::string const& argument : split.narrow) split.pointers.push_back(argument.c_str());
    split.pointers.push_back(nullptr);
    return split;
  }();
  return arguments;
}

}  // namespace

const char* const* ProgramArguments(int& argc, char**) {
  ProcessArguments const& arguments = Arguments();
  argc = static_cast<int>(arguments.narrow.size());
  return arguments.pointers.data();
}

bool ArgumentIsPosixPath(const char*) { return false; }

bool SwitchLetterTyped(const char* argument) {
  ProcessArguments const& arguments = Arguments();
  for (std::size_t at = 0; at < arguments.narrow.size(); ++at) {
    if (arguments.pointers[at] == argument) return arguments.letterTyped[at];
  }
  return true;
}

}  // namespace platform
