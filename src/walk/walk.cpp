#include "walk/walk.h"

#include <utility>
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
// Junctions and directory links are entered like any directory where the
// platform does not mark them as links; one that leads back to a directory
// on this branch would be entered without end.
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

// The entries of dir that the walk acts on, in the platform's order. The
// search is closed before any of them is reported or entered, so that the
// walk holds one open search however deep the tree goes.
std::vector<platform::FindEntry> listDirectory(const std::string& dir) {
  std::vector<platform::FindEntry> entries;
  platform::FindEntry entry;
  platform::FindHandle* search = platform::findFirst(dir, &entry);
  if (!search) {
    // An empty directory, or a path that is no directory, has nothing to
    // list; anything else (no access, out of handles or memory) hides a
    // subtree.
    const uint32_t error = platform::getLastError();
    if (error != platform::kErrorNoMoreFiles &&
        error != platform::kErrorDirectory)
      logUnlisted(dir, error);
    return entries;
  }
  do {
    if (entry.dotOrDotDot) continue;
    if (entry.directory || appState.showFiles)
      entries.push_back(std::move(entry));
  } while (platform::findNext(search, &entry));
  // A listing cut short (a damaged index) is logged like one that failed
  // at once; the entries read before the failure are still reported.
  const uint32_t ended = platform::getLastError();
  platform::findClose(search);
  if (ended != platform::kErrorNoMoreFiles) logUnlisted(dir, ended);
  return entries;
}

void walkLevel(const std::string& dir, int depth, Branch* branch) {
  std::vector<platform::FindEntry> entries = listDirectory(dir);
  const bool deeper = appState.maxDepth <= 0 || depth + 1 < appState.maxDepth;
  for (platform::FindEntry& entry : entries) {
    // Once the report cannot be written, going on only burns time.
    if (outputFailed()) break;
    noteProgress(reportObject(entry.fullPath, entry.link), dir);
    // A link is reported like what it points to but never entered: it may
    // lead off the volume or back up the tree.
    if (!entry.directory || entry.link || !deeper) continue;
    const std::string below = std::move(entry.fullPath);
    platform::DirectoryIdentity id{};
    const bool known = platform::directoryIdentity(below, &id);
    if (known && onBranch(*branch, id)) {
      logLine("Directory already entered above, not entered again: " +
              printable(below));
      continue;
    }
    if (known) branch->push_back(id);
    walkLevel(below, depth + 1, branch);
    if (known) branch->pop_back();
  }
}

}  // namespace

void walkDirectory(const std::string& dir, int depth) {
  Branch branch;
  platform::DirectoryIdentity id{};
  if (platform::directoryIdentity(dir, &id)) branch.push_back(id);
  walkLevel(dir, depth, &branch);
}

}  // namespace vesk
