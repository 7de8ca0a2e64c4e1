// Texts for the tests: expected output written out independently of the program's own texts, the
// system's converter as a reference, and mismatches shown so that every byte can be seen.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

using Names = std::vector<std::string>;

// Joins lines with the CR LF that every line of output ends in.
std::string Lines(std::initializer_list<std::string> lines);

std::string ExpectedUsage();

// Converts between encodings with iconv; false when the text does not convert.
bool Convert(const char* to, const char* from, const std::string& text, std::string* out);

// Valid UTF-8 is shown as it is; control characters and stray bytes get a visible name.
std::string Visible(std::string_view bytes);

// Visible, and cut short: one runaway line must not flood the report.
std::string Shown(std::string_view line);

// The lines of an output without their CR LF; ends_in_crlf tells whether the last one had it.
Names SplitAtLineEnds(const std::string& text, bool* ends_in_crlf = nullptr);

// A line diff of two outputs ("-" expected only, "+" actual only), a few lines of context.
std::string LineDiff(const std::string& expected, const std::string& actual);
