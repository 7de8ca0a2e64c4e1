#pragma once

#include <string>

#include "tree/display_options.h"

// Writes the plain files of the folder listed by pattern, one line each behind prefix and the
// segment (bar when the folder has subfolders, else blank), then one spacer line; nothing when it
// has no files. False, with nothing written, when the folder's listing cannot be opened.
bool PrintFileBlock(const std::string& pattern, const std::string& prefix, bool hasSub,
                    DisplayOptions options);
