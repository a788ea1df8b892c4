#include "walk/progress.h"

#include <cstdint>
#include <cstdio>

#include "core/state.h"
#include "core/text.h"
#include "log/log.h"
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

void startProgress(bool walking) {
  progress = ProgressState();
  progress.counting = platform::isTerminal(platform::standardError());
  progress.active = progress.counting && walking &&
                    !platform::isTerminal(platform::standardOutput());
}

void noteProgress(int status, const std::string& dir) {
  if (!progress.counting) return;
  ++progress.done;
  progress.lastFailed = status != 0;
  if (status != 0) ++progress.failed;
  if (progress.active) redraw(dir);
}

void noteUnlisted(const std::string& dir) {
  if (!progress.counting || progress.lastFailed) return;
  progress.lastFailed = true;
  ++progress.failed;
  if (progress.active) redraw(dir);
}

void endProgress() {
  if (!progress.counting) return;
  FILE* err = platform::standardError();
  if (progress.failed > 0) {
    // A user who sees an empty or short report on the screen learns that
    // something was skipped, and where to read why. The report comes first
    // when both streams share the terminal.
    std::fflush(platform::standardOutput());
    const std::string summary =
        "vesk: " + std::to_string(progress.failed) + " of " +
        std::to_string(progress.done) +
        (progress.done == 1 ? " object" : " objects") + " could not be read; " +
        (logOpen() ? "the log says why" : "/l:FILE logs why");
    if (progress.drawn) {
      draw(summary);
    } else {
      std::fwrite(summary.data(), 1, summary.size(), err);
    }
    std::fputc('\n', err);
  } else if (progress.drawn) {
    draw("");
    std::fputc('\r', err);
  }
  std::fflush(err);
  progress.drawn = false;
}

}  // namespace vesk
