#pragma once

#include <string>

// Writes line, which ends in its newline, to std::cout and flushes it there, as
// std::cout.write(...).flush() does; a failure sets the stream's bad bit. Nothing is written once
// the stream has failed.
void WriteLine(const std::string& line);
