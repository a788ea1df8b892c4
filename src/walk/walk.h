// The walk over the tree below the path of an ACL run.
#pragma once

#include <string>

namespace vesk {

/// Reports every subdirectory below dir (and every file with /f), depth
/// first, entering subdirectories down to appState.maxDepth. depth is dir's
/// level below the starting path. A directory that cannot be listed, and
/// one already entered higher up the same branch (a junction loop), is
/// logged and not entered.
void walkDirectory(const std::string& dir, int depth);

}  // namespace vesk
