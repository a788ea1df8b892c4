// The process-wide records of a run, and the one reset that brings all of
// them back to their start values. Every subsystem reads and writes these;
// nothing else in the process keeps state between objects.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace vesk {

constexpr int kServerSlots = 8;
constexpr int kTextSize =
    260;  // the platform's path limit, terminator included

/// The title line: first line of the usage text and of the terms listing,
/// caption of alerts.
extern const char kTitle[];

enum Action { kActionNone = 0, kActionRead = 1, kActionGrant = 2 };

struct AppState {
  FILE* log;       // nullptr until openLog
  bool logFailed;  // a line of a log could not be written
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

/// Which objects and entries the report prints, and in which form. All off
/// (the start): every block whole.
struct ViewState {
  bool explicitOnly;             // only DACLs protected or with own entries
  bool flat;                     // one tab-separated line per entry
  std::vector<std::string> who;  // only these trustees; empty: all
  // Where the evidence's account names come from: /names:, or "" for the
  // start path's own volume; asked for once, at the first object read.
  std::string namesFrom;
  bool namesRead;
};

/// The six sections of display terms; their layout is described by
/// kSections in terms/terms.h.
struct TermsTable {
  char globalFlags[3][64];
  char accessMode[2][32];
  char standardPermissions[5][32];
  char specialPermissions[13][48];
  char genericPermissions[4][32];
  char inheritance[8][48];
};

/// The entry lines of the object being reported; each ends in "\n".
using EntryLines = std::vector<std::string>;

/// What an identifier was called earlier in the run, by its bytes. local:
/// named on the first, local attempt.
struct RememberedName {
  std::string name;
  bool local;
};
using AccountNames = std::unordered_map<std::string, RememberedName>;

/// What one descriptor's bytes gave the report of the first object that
/// held them: the log lines after the one naming the path (pathLine, to
/// which the path is appended), the header after the path, the sorted
/// entry lines, and reportObject's result.
struct DescriptorReport {
  std::string pathLine;
  std::vector<std::string> logLines;
  std::string headerTail;
  std::vector<std::string> entryLines;
  int result;
};
/// The reports remembered during a run by descriptor bytes, and their size.
struct DescriptorReports {
  std::unordered_map<std::string, DescriptorReport> byBytes;
  size_t bytes;
};

/// The progress line of a walk on a terminal, and the count of objects
/// behind the summary line that replaces it.
struct ProgressState {
  bool counting;  // standard error is a terminal: objects are counted
  bool active;    // and the report goes elsewhere: the line is drawn
  bool drawn;
  uint64_t done;
  uint64_t failed;
  bool lastFailed;     // the object noted last counted as failed
  uint64_t lastDrawn;  // monotonic milliseconds
  size_t width;        // of the line on screen, to blank it out
};

extern AppState appState;
extern ViewState viewState;
extern TermsTable termsTable;
extern EntryLines entryLines;
extern AccountNames accountNames;
extern DescriptorReports descriptorReports;
extern ProgressState progressState;

/// The built-in terms, without separators.
extern const TermsTable kDefaultTerms;

/// Brings every record above to its start value: flags off, no log, every
/// block whole, default terms without separators, no entry lines, no names,
/// no remembered reports, no progress. The log
/// stream is forgotten, not closed.
void resetRun();

}  // namespace vesk
