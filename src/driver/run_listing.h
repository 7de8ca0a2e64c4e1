#pragma once

#include "tree/display_options.h"

// Prints the header lines for target (the current folder when null), then the tree below it or the
// invalid-path line, then the no-subfolders note where it applies.
void RunListing(const char* target, DisplayOptions options);
