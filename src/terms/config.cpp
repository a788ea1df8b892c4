#include <cstring>

#include "platform/ascii.h"
#include "platform/platform.h"
#include "terms/terms.h"

namespace vesk {

namespace {

// A line is read into a buffer of the platform's path size; longer lines
// arrive in pieces, each taken as a line of its own.
constexpr int kLineBuffer = 260;
constexpr int kSeparatorLength = 3;  // " + ", appended after loading
constexpr int kNoSection = -1;

int headerSection(const char* line) {
  for (int section = 0; section < kSectionCount; ++section) {
    if (platform::equalsIgnoringCase(line, kSections[section].header))
      return section;
  }
  return kNoSection;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Optional blanks, a number of at most two characters of which a sign may be
// one, "=" at once, then a value of at least one character.
bool parseEntry(const char* line, int* index, const char** value) {
  const char* p = line;
  while (*p == ' ' || *p == '\t') ++p;
  const char* numberStart = p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  int number = 0;
  int digits = 0;
  while (isDigit(*p) && p - numberStart < 2) {
    number = number * 10 + (*p - '0');
    ++digits;
    ++p;
  }
  if (digits == 0 || *p != '=' || p[1] == '\0') return false;
  *index = negative ? -number : number;
  *value = p + 1;
  return true;
}

void stripTerminator(char* line, size_t* length) {
  if (*length > 0 && line[*length - 1] == '\n') {
    line[--*length] = '\0';
    // Files written on Windows keep their carriage returns elsewhere.
    if (*length > 0 && line[*length - 1] == '\r') line[--*length] = '\0';
  }
}

}  // namespace

std::string termsFileName(const std::string& executable) {
  const size_t slash = executable.find_last_of("/\\");
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = executable.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return executable + ".cfg";
  return executable.substr(0, dot + 1) + "cfg";
}

bool readTerms(FILE* stream, std::string* badLine) {
  char line[kLineBuffer];
  int section = kNoSection;
  int running = 0;
  while (std::fgets(line, sizeof line, stream) != nullptr) {
    // A NUL byte ends the line early; what follows it in the piece is lost.
    size_t length = std::strlen(line);
    if (line[0] == ';' || length < 2) continue;
    stripTerminator(line, &length);

    if (std::strchr(line, '[') != nullptr) {
      section = headerSection(line);
      running = 0;
      continue;
    }

    int index = 0;
    const char* value = nullptr;
    if (!parseEntry(line, &index, &value)) continue;
    if (section != kNoSection && running < kSections[section].count) {
      int room = kSections[section].width - 1;
      if (isPermissionSection(static_cast<TermsSection>(section)))
        room -= kSeparatorLength;
      // A value that does not fit is refused rather than cut, so the site
      // sees the line instead of a silently shortened term.
      if (index != running || std::strlen(value) > static_cast<size_t>(room)) {
        if (badLine != nullptr) *badLine = line;
        return false;
      }
      std::memcpy(termSlot(static_cast<TermsSection>(section), index), value,
                  std::strlen(value) + 1);
    }
    ++running;
  }
  return true;
}

void loadTerms() {
  const std::string executable = platform::moduleFileName();
  // Without the executable's path there is no place beside it to look.
  if (!executable.empty()) {
    const std::string path = termsFileName(executable);
    if (FILE* file = platform::openTermsFile(path.c_str())) {
      std::string badLine;
      const bool good = readTerms(file, &badLine);
      std::fclose(file);
      if (!good) {
        platform::messageBox(badLine.c_str(), "Error in Line",
                             platform::AlertIcon::Error);
      }
    }
  }
  appendSeparators();
}

}  // namespace vesk
