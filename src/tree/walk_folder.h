#pragma once

#include <string>

#include "tree/display_options.h"

// Draws the tree below the folder at path (an absolute path), depth first: under listFiles the
// folder's file block, then one line per subfolder, each followed at once by that subfolder's own
// tree. Entries come in the order the folder's listing delivers them; nothing is sorted. "." and
// ".." never appear; hidden and system entries do. A folder whose listing cannot be opened shows
// nothing below its own line, and the walk goes on with its next sibling; so does a folder whose
// path is too long for a search pattern, and a folder link that leads back to the folder or one of
// its ancestors. Once standard output has failed (a closed pipe), the walk ends early: nothing
// could be seen.
void WalkFolder(const std::string& path, const std::string& prefix, DisplayOptions options);
