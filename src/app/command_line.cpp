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

// "/s:" then a decimal integer with an optional sign, as sscanf's "%d"
// reads it (leading blanks skipped). false leaves *value alone.
bool parseDepth(const char* text, int* value) {
  if (std::strncmp(text, "/s:", 3) != 0) return false;
  const char* p = text + 3;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (*p < '0' || *p > '9') return false;
  // Overflow wraps like the runtime's conversion does in practice; the
  // depth only matters as "below 1" or a small count.
  unsigned long long n = 0;
  for (; *p >= '0' && *p <= '9'; ++p) n = n * 10 + (*p - '0');
  unsigned int magnitude = static_cast<unsigned int>(n);
  *value = static_cast<int>(negative ? 0u - magnitude : magnitude);
  return true;
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
    if (!appState.recurse) {
      reportObject(path);
    } else {
      startProgress();
      noteProgress(reportObject(path), path);
      walkDirectory(path, 0);
      endProgress();
    }
  }
  return outputStatus();
}

}  // namespace vesk
