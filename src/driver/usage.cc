#include "driver/usage.h"

#include <iostream>

#include "driver/messages.h"
#include "tree/run_text.h"

void PrintUsage() {
  // A line each; the empty ones are written as empty lines.
  const char* const lines[] = {
      RunText(kUsage1), "", RunText(kUsage3), "", RunText(kUsage5), RunText(kUsage6),
      RunText(kUsage7), ""};
  for (const char* line : lines) std::cout << line << std::endl;
}
