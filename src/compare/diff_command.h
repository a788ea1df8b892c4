// vesk-diff's command line.
#pragma once

#include <string>
#include <vector>

namespace vesk {

/// Runs vesk-diff on its arguments (program name first): OLD NEW [/tsv],
/// "-" for standard input. Returns the exit code: 0 the reports are the
/// same, 1 they differ, 2 trouble (usage, a report unreadable or damaged).
int runDiff(const std::vector<std::string>& arguments);

}  // namespace vesk
