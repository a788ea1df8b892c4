// The table of display terms: built-in defaults, replaced from the
// configuration file at start-up, read-only afterwards.
#pragma once

#include <cstdio>
#include <string>

#include "core/state.h"

namespace vesk {

enum TermsSection {
  kGlobalFlags,
  kAccessMode,
  kStandardPermissions,
  kSpecialPermissions,
  kGenericPermissions,
  kInheritance,
  kSectionCount
};

struct SectionInfo {
  const char* header;  // "[Global Flags]", ...
  int count;           // entries
  int width;           // bytes per entry, terminator included
};
extern const SectionInfo kSections[kSectionCount];

/// The text of one entry; index must be below the section's count.
const char* term(TermsSection section, int index);

/// The entry as a report prints it: escaped as names are (escapedControls),
/// so that a configured tab cannot break the columns. /show lists term().
std::string printedTerm(TermsSection section, int index);

/// Whether the section holds permission terms, which end in " + ".
bool isPermissionSection(TermsSection section);

/// Writable slot of one entry (start-up only).
char* termSlot(TermsSection section, int index);

/// Appends " + " to every permission term. Once, after loading.
void appendSeparators();

/// The configuration file beside the executable: its extension replaced by
/// "cfg", or ".cfg" appended when it has none.
std::string termsFileName(const std::string& executable);

/// Reads terms from an open stream, as the configuration file. On a bad line
/// stops and returns false with the line (without terminator) in *badLine.
bool readTerms(FILE* stream, std::string* badLine);

/// Start-up: reads the configuration file if there is one, shows the
/// "Error in Line" alert on a bad line, then appends the separators.
void loadTerms();

/// The listing of /show: the terms in force and the constants they stand for.
void showTerms(FILE* out);

}  // namespace vesk
