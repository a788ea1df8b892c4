// The ACL block of one object.
#pragma once

#include <string>

namespace vesk {

/// What reportObject returns.
enum ReportStatus {
  kReportDone = 0,
  kReportNoDescriptor = 1,
  kReportNoDacl = 2,
  kReportNoInheritedEntries = 3,
  kReportNoEntries = 4,
};

/// Prints the block of path to standard output and its trace to the log.
/// linkItself: path is a link that a search reported, read as the link, not
/// as what it points to.
int reportObject(const std::string& path, bool linkItself = false);

/// Sorts entryLines, stable and ignoring letter case.
void sortEntryLines();

}  // namespace vesk

namespace vesk {

/// Whether writing to standard output has failed: the run should stop.
bool outputFailed();

}  // namespace vesk
