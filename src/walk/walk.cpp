#include "walk/walk.h"

#include "core/state.h"
#include "platform/platform.h"
#include "report/report.h"
#include "walk/progress.h"

namespace vesk {

void walkDirectory(const std::string& dir, int depth) {
  platform::FindEntry entry;
  platform::FindHandle* search = platform::findFirst(dir, &entry);
  if (!search) return;
  do {
    // Once the report cannot be written, going on only burns time.
    if (outputFailed()) break;
    if (entry.directory) {
      if (entry.dotOrDotDot) continue;
      noteProgress(reportObject(entry.fullPath), dir);
      if (appState.maxDepth <= 0 || depth + 1 < appState.maxDepth)
        walkDirectory(entry.fullPath, depth + 1);
    } else if (appState.showFiles) {
      noteProgress(reportObject(entry.fullPath), dir);
    }
  } while (platform::findNext(search, &entry));
  platform::findClose(search);
}

}  // namespace vesk
