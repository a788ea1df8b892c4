#include "walk/progress.h"

#include <cstdint>
#include <cstdio>

#include "core/state.h"
#include "core/text.h"
#include "platform/platform.h"

namespace vesk {
namespace {

constexpr uint64_t kRedrawMillis = 100;
constexpr size_t kShownPath = 60;  // the tail of long directories

ProgressState& progress = progressState;

void draw(const std::string& text) {
  std::string line = "\r" + text;
  if (text.size() < progress.width)
    line.append(progress.width - text.size(), ' ');
  progress.width = text.size();
  FILE* err = platform::standardError();
  std::fwrite(line.data(), 1, line.size(), err);
  std::fflush(err);
}

// At most ten times a second.
void redraw(const std::string& dir) {
  const uint64_t now = platform::monotonicMillis();
  if (progress.drawn && now - progress.lastDrawn < kRedrawMillis) return;
  progress.drawn = true;
  progress.lastDrawn = now;
  std::string shown = printable(dir);
  if (shown.size() > kShownPath)
    shown = "..." + shown.substr(shown.size() - kShownPath + 3);
  draw(std::to_string(progress.done) + " objects, " +
       std::to_string(progress.failed) + " failed  " + shown);
}

}  // namespace

void startProgress() {
  progress = ProgressState();
  progress.active = platform::isTerminal(platform::standardError()) &&
                    !platform::isTerminal(platform::standardOutput());
}

void noteProgress(int status, const std::string& dir) {
  if (!progress.active) return;
  ++progress.done;
  progress.lastFailed = status != 0;
  if (status != 0) ++progress.failed;
  redraw(dir);
}

void noteUnlisted(const std::string& dir) {
  if (!progress.active || progress.lastFailed) return;
  progress.lastFailed = true;
  ++progress.failed;
  redraw(dir);
}

void endProgress() {
  if (!progress.active || !progress.drawn) return;
  draw("");
  FILE* err = platform::standardError();
  std::fputc('\r', err);
  std::fflush(err);
  progress.drawn = false;
}

}  // namespace vesk
