#include "log/log.h"

#include <cstdio>
#include <string>

#include "core/state.h"
#include "platform/platform.h"

namespace vesk {

namespace {

// Every message is flushed, so a full disk shows here, line by line.
void flushLog() {
  if (std::fflush(appState.log) != 0 || std::ferror(appState.log))
    appState.logFailed = true;
}

}  // namespace

bool openLog(const char* path) {
  FILE* log = platform::createLogFile(path);
  if (!log) {
    const std::string text =
        std::string("Could not open Logfile ") + path + " !";
    platform::messageBox(text.c_str(), kTitle, platform::AlertIcon::Error);
    return false;
  }
  // A second /l: switches to the new file; the first keeps what it has and
  // is closed, its failures counted.
  closeLog();
  appState.log = log;
  std::fputs("Logfile created by VESK:\n", log);
  flushLog();
  return true;
}

bool closeLog() {
  if (appState.log && !platform::closeLogFile(appState.log))
    appState.logFailed = true;
  appState.log = nullptr;
  return !appState.logFailed;
}

void stampTime() {
  const platform::LocalTime now = platform::localClock();
  std::snprintf(appState.dateStamp, sizeof appState.dateStamp, "%i-%2.2d-%2.2d",
                now.year, now.month, now.day);
  std::snprintf(appState.timeStamp, sizeof appState.timeStamp, "%s", now.time);
}

bool logOpen() { return appState.log != nullptr; }

void logLine(const std::string& message) {
  if (!appState.log) return;
  std::string line;
  line.reserve(message.size() + 32);
  line += appState.dateStamp;
  line += ' ';
  line += appState.timeStamp;
  line += '\t';
  line += message;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), appState.log);
  flushLog();
}

void logBlankLine() {
  if (!appState.log) return;
  std::fputc('\n', appState.log);
  flushLog();
}

std::string hex8(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(value));
  return text;
}

}  // namespace vesk
