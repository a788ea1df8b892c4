// Two reports compared object by object: which objects were added, removed
// or changed, and how.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vesk {

/// Where the objects of one report lie: the start that every path after the
/// first object's shares.
struct PathBase {
  int seen = 0;          // objects keyed so far, counted up to 2
  std::string first;     // the first object's path
  bool windows = false;  // "\\" (and "/") separate names, which hold no escapes
  std::string prefix;    // what every later path begins with
};

/// The key of the printed path of the next object of a report: its names
/// below the report's first object, as bytes, joined by "/"; "" for the
/// first object. false (and *error) for a path that does not lie below it.
bool relativeKey(PathBase* base, const std::string& path, std::string* key,
                 std::string* error);

/// A key as printed: each name escaped as on Linux (control bytes and
/// backslashes as \ooo), "/" between names, "." for the first object.
std::string shownKey(const std::string& key);

/// What a comparison found.
struct DiffSummary {
  uint64_t added = 0;
  uint64_t removed = 0;
  uint64_t changed = 0;
  uint64_t entriesAdded = 0;
  uint64_t entriesRemoved = 0;
};

/// A report to compare: its bytes come from stream, its name is for
/// messages.
struct DiffInput {
  FILE* stream;
  std::string name;
};

/// Compares the reports and prints the changes to out (one line per change
/// with flat), notes and errors to err. Returns 0 same, 1 different, 2 on
/// trouble (a report that cannot be read, is cut short or names an object
/// twice), as diff does.
int compareReports(const DiffInput& older, const DiffInput& newer, bool flat,
                   FILE* out, FILE* err, DiffSummary* summary);

}  // namespace vesk
