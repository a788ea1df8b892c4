// The run state: one record for the whole process.
#pragma once

#include <cstdio>

namespace vesk {

constexpr int kServerSlots = 8;
constexpr int kTextSize =
    260;  // the platform's path limit, terminator included

enum Action { kActionNone = 0, kActionRead = 1, kActionGrant = 2 };

struct AppState {
  FILE* log;  // nullptr until openLog
  bool verbose;
  bool recurse;
  bool showOwner;
  bool showFiles;
  char serverNames[kServerSlots][kTextSize];  // filled from slot 0 on
  char dateStamp[16];
  char timeStamp[16];
  int action;
  int maxDepth;  // 0 or below: no limit
};

extern AppState appState;

/// Sets every field to its start value (all off, empty, 0).
void resetAppState();

}  // namespace vesk
