#include "driver/usage.h"

#include <iostream>

#include "driver/messages.h"

void PrintUsage() {
  for (const char* line : kUsageLines) std::cout << line << std::endl;
}
