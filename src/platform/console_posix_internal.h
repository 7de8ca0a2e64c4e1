// How printf's bytes join the line that std::cout is writing on POSIX. The shared part
// (console-posix.cc) assembles each line; one of two files routes printf's output into it: the
// Linux fast path (console-linux.cc) or the variant built from POSIX calls alone
// (console-portable.cc).
#pragma once

#include <cstddef>

// Adds bytes that printf wrote to the line being assembled, after everything written before them.
void AppendPrintedBytes(const char* data, std::size_t size);

// Points stdout at a stream whose bytes reach AppendPrintedBytes, at the latest when
// CollectPrintedBytes is next called. Left as it was if no such stream can be made.
void RoutePrintfToOutput();
// Hands printf's bytes written so far to AppendPrintedBytes, where they are not handed over at
// once.
void CollectPrintedBytes();
