#include "walk/walk.h"

#include "app/state.h"
#include "platform/platform.h"
#include "report/report.h"

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
      reportObject(entry.fullPath);
      if (appState.maxDepth <= 0 || depth + 1 < appState.maxDepth)
        walkDirectory(entry.fullPath, depth + 1);
    } else if (appState.showFiles) {
      reportObject(entry.fullPath);
    }
  } while (platform::findNext(search, &entry));
  platform::findClose(search);
}

}  // namespace vesk
