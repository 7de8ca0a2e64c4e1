// Splitting a Windows process command line into the argument vector that main receives. The C
// runtimes disagree on how two double quotes inside a quoted part are read, so the Windows build
// splits GetCommandLineA() itself; the function is plain byte work and is tested on every platform.
#pragma once

#include <string>
#include <vector>

// Whether a byte opens a double-byte character in the command line's code page.
using LeadBytePredicate = bool (*)(unsigned char byte);

// Code page 932: lead bytes are 81-9F and E0-FC.
bool IsCodePage932LeadByte(unsigned char byte);

// The arguments of commandLine, the program's own name first. Outside double quotes, spaces and
// tabs separate arguments. Double quotes group and are removed; inside a quoted part two double
// quotes in a row give one literal double quote and end the quoted part. Backslashes are literal
// unless a double quote follows: 2n of them give n backslashes and the quote groups, 2n+1 give n
// backslashes and a literal double quote. The byte after a lead byte is taken as it is, never as a
// backslash, quote or separator. The program's name ends at the first space or tab, or is the
// quoted part it starts with; it knows no backslash rules. Nothing is expanded.
std::vector<std::string> SplitCommandLine(const char* commandLine, LeadBytePredicate isLeadByte);
