#include "app/command_line.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/state.h"
#include "log/log.h"
#include "platform/ascii.h"
#include "platform/platform.h"
#include "report/account.h"
#include "report/report.h"
#include "terms/terms.h"
#include "walk/progress.h"
#include "walk/walk.h"

namespace vesk {

namespace {

using platform::equalsIgnoringCase;

// The depth of "/s:N" as the C library's sscanf reads "%d", overflow
// included: the text after "/s" decides, so "/s:5" and "/s:+5" set 5 and
// "/s" or "/sx" leave the depth as it was.
void parseDepth(const char* text, int* value) {
  int depth = 0;
  if (std::sscanf(text, "/s:%d", &depth) == 1) *value = depth;
}

// Whether text starts with prefix, ignoring ASCII letter case.
bool startsIgnoringCase(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix)
    if (platform::asciiLower(*text) != platform::asciiLower(*prefix))
      return false;
  return true;
}

void print(const char* text) { std::fputs(text, platform::standardOutput()); }

// The report is the product: a run whose output was lost must not look
// like a success.
int outputStatus() {
  FILE* out = platform::standardOutput();
  if (std::fflush(out) == 0 && !std::ferror(out)) return 0;
  std::fputs("vesk: error writing standard output\n",
             platform::standardError());
  return 1;
}

// The log is where a user learns what could not be read: a log that lost
// lines fails the run as lost output does.
int logStatus() {
  if (closeLog()) return 0;
  std::fputs("vesk: error writing the log file\n", platform::standardError());
  return 1;
}

}  // namespace

void startUp() {
  resetRun();
  loadTerms();
}

void printUsage() {
  print(kTitle);
  print("\n");
  print("Usage:\n");
  print(
      "  vesk path /readacl [/s] [/o] [/f] [/l:logfile] [> output-file]\n"
      "            /readacl ... reads ACL's from path\n"
      "            /s ......... scans subdirectories in path\n"
      "            /o ... ..... shows owner of object\n"
      "            /f ... ..... shows also file ACL's\n"
      "  vesk /show ........... shows NTFS Terms\n");
}

bool parseOptions(int argc, const char* const* argv) {
  for (int i = 2; i < argc; ++i) {
    const char* arg = argv[i];
    if (equalsIgnoringCase(arg, "/readacl")) appState.action = kActionRead;
    if (equalsIgnoringCase(arg, "/grantacl")) appState.action = kActionGrant;
    // The views, like the actions, only as whole arguments: no other
    // argument can switch one on by chance.
    if (equalsIgnoringCase(arg, "/explicit")) viewState.explicitOnly = true;
    if (equalsIgnoringCase(arg, "/tsv")) viewState.flat = true;
    if (startsIgnoringCase(arg, "/who:")) viewState.who.push_back(arg + 5);
    if (startsIgnoringCase(arg, "/names:")) viewState.namesFrom = arg + 7;
    if (const char* log = std::strstr(arg, "/l:")) {
      if (!openLog(log + 3)) return false;
    }
    if (const char* s = std::strstr(arg, "/s")) {
      appState.recurse = true;
      parseDepth(s, &appState.maxDepth);
    }
    if (std::strstr(arg, "/o")) appState.showOwner = true;
    if (std::strstr(arg, "/f")) appState.showFiles = true;
    if (std::strstr(arg, "/v")) appState.verbose = true;
  }
  return true;
}

int runCommandLine(int argc, const char* const* argv) {
  if (argc < 2) {
    printUsage();
    return outputStatus();
  }
  if (argc == 2) {
    const char* arg = argv[1];
    if (equalsIgnoringCase(arg, "/?") || equalsIgnoringCase(arg, "/h")) {
      printUsage();
    } else if (equalsIgnoringCase(arg, "/show")) {
      showTerms(platform::standardOutput());
    } else {
      printUsage();
    }
    return outputStatus();
  }
  if (!parseOptions(argc, argv)) return 100;
  if (appState.action == kActionNone) {
    platform::messageBox("No or wrong Action (use /readacl or /grantacl)!",
                         kTitle, platform::AlertIcon::Information);
    return 2;
  }
  if (appState.action == kActionRead) {
    collectServerNames();
    if (appState.showFiles && !appState.recurse) {
      appState.recurse = true;
      appState.maxDepth = 1;
    }
    const std::string path = argv[1];
    platform::examineStartPath(path);
    startProgress(appState.recurse);
    noteProgress(reportObject(path), path);
    if (appState.recurse) walkDirectory(path, 0);
    endProgress();
  }
  const int log = logStatus();
  return outputStatus() | log;
}

}  // namespace vesk
