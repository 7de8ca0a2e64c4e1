#include "text/split_command_line.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Copies one character, both bytes of a double-byte one, and moves past it.
void CopyCharacter(const char*& at, std::string& out, LeadBytePredicate isLeadByte) {
  bool const pair = isLeadByte(static_cast<unsigned char>(*at)) && at[1] != '\0';
  out.push_back(*at++);
  if (pair) out.push_back(*at++);
}

const char* SkipProgramName(const char* at, std::string& name, LeadBytePredicate isLeadByte) {
  if (*at == '"') {
    ++at;
    while (*at != '\0' && *at != '"') CopyCharacter(at, name, isLeadByte);
    if (*at == '"') ++at;
  } else {
    while (*at != '\0' && !IsBlank(*at)) CopyCharacter(at, name, isLeadByte);
  }
  return at;
}

}  // namespace

bool IsCodePage932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

std::vector<std::string> SplitCommandLine(const char* commandLine, LeadBytePredicate isLeadByte) {
  std::vector<std::string> arguments(1);
  const char* at = SkipProgramName(commandLine, arguments[0], isLeadByte);
  for (;;) {
    while (IsBlank(*at)) ++at;
    if (*at == '\0') return arguments;
    std::string argument;
    bool quoted = false;
    while (*at != '\0' && (quoted || !IsBlank(*at))) {
      std::size_t backslashes = 0;
      while (at[backslashes] == '\\') ++backslashes;
      if (at[backslashes] != '"') {
        argument.append(backslashes, '\\');
        at += backslashes;
        if (backslashes == 0) CopyCharacter(at, argument, isLeadByte);
        continue;
      }
      argument.append(backslashes / 2, '\\');
      at += backslashes;
      if (backslashes % 2 == 1) {
        argument.push_back('"');
        ++at;
      } else if (quoted && at[1] == '"') {
        // A doubled quote inside a quoted part: one literal quote, and the quoted part ends.
        argument.push_back('"');
        at += 2;
        quoted = false;
      } else {
        quoted = !quoted;
        ++at;
      }
    }
    arguments.push_back(std::move(argument));
  }
}
