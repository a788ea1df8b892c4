#include "walk/walk.h"

#include <vector>

#include "core/state.h"
#include "core/text.h"
#include "log/log.h"
#include "platform/platform.h"
#include "report/report.h"
#include "walk/progress.h"

namespace vesk {
namespace {

// The directories from the starting path down to the one being listed.
// Junctions and directory links are entered like any directory; one that
// leads back to a directory on this branch would be entered without end.
using Branch = std::vector<platform::DirectoryIdentity>;

bool onBranch(const Branch& branch, const platform::DirectoryIdentity& id) {
  for (const platform::DirectoryIdentity& above : branch) {
    if (above.volume == id.volume && above.index == id.index) return true;
  }
  return false;
}

// Its own group in the log is the one just written: reportObject(dir) came
// right before.
void logUnlisted(const std::string& dir, uint32_t error) {
  logLine("FindFirstFile () failed for: " + printable(dir));
  logLine("FindFirstFile () error: " + std::to_string(static_cast<int>(error)));
  noteUnlisted(dir);
}

void walkLevel(const std::string& dir, int depth, Branch* branch) {
  platform::FindEntry entry;
  platform::FindHandle* search = platform::findFirst(dir, &entry);
  if (!search) {
    // An empty directory, or a path that is no directory, has nothing to
    // list; anything else hides a subtree.
    const uint32_t error = platform::getLastError();
    if (error != platform::kErrorNoMoreFiles &&
        error != platform::kErrorDirectory)
      logUnlisted(dir, error);
    return;
  }
  do {
    // Once the report cannot be written, going on only burns time.
    if (outputFailed()) break;
    if (entry.directory) {
      if (entry.dotOrDotDot) continue;
      noteProgress(reportObject(entry.fullPath), dir);
      if (appState.maxDepth > 0 && depth + 1 >= appState.maxDepth) continue;
      platform::DirectoryIdentity id{};
      const bool known = platform::directoryIdentity(entry.fullPath, &id);
      if (known && onBranch(*branch, id)) {
        logLine("Directory already entered above, not entered again: " +
                printable(entry.fullPath));
        continue;
      }
      if (known) branch->push_back(id);
      walkLevel(entry.fullPath, depth + 1, branch);
      if (known) branch->pop_back();
    } else if (appState.showFiles) {
      noteProgress(reportObject(entry.fullPath), dir);
    }
  } while (platform::findNext(search, &entry));
  platform::findClose(search);
}

}  // namespace

void walkDirectory(const std::string& dir, int depth) {
  Branch branch;
  platform::DirectoryIdentity id{};
  if (platform::directoryIdentity(dir, &id)) branch.push_back(id);
  walkLevel(dir, depth, &branch);
}

}  // namespace vesk
