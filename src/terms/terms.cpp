#include "terms/terms.h"

#include <cstring>

#include "core/text.h"

namespace vesk {

namespace {

const char kSeparator[] = " + ";

}  // namespace

const SectionInfo kSections[kSectionCount] = {
    {"[Global Flags]", 3, 64},         {"[Access Mode]", 2, 32},
    {"[Standard Permissions]", 5, 32}, {"[Special Permissions]", 13, 48},
    {"[Generic Permissions]", 4, 32},  {"[Inheritance]", 8, 48},
};

// kSections must describe the record's fields exactly; the reader and the
// listing walk the table through it.
static_assert(sizeof termsTable.globalFlags == 3 * 64, "GlobalFlags shape");
static_assert(sizeof termsTable.accessMode == 2 * 32, "AccessMode shape");
static_assert(sizeof termsTable.standardPermissions == 5 * 32,
              "StandardPermissions shape");
static_assert(sizeof termsTable.specialPermissions == 13 * 48,
              "SpecialPermissions shape");
static_assert(sizeof termsTable.genericPermissions == 4 * 32,
              "GenericPermissions shape");
static_assert(sizeof termsTable.inheritance == 8 * 48, "Inheritance shape");

char* termSlot(TermsSection section, int index) {
  switch (section) {
    case kGlobalFlags:
      return termsTable.globalFlags[index];
    case kAccessMode:
      return termsTable.accessMode[index];
    case kStandardPermissions:
      return termsTable.standardPermissions[index];
    case kSpecialPermissions:
      return termsTable.specialPermissions[index];
    case kGenericPermissions:
      return termsTable.genericPermissions[index];
    case kInheritance:
      return termsTable.inheritance[index];
    case kSectionCount:
      break;
  }
  return nullptr;
}

const char* term(TermsSection section, int index) {
  return termSlot(section, index);
}

std::string printedTerm(TermsSection section, int index) {
  return escapedControls(term(section, index));
}

bool isPermissionSection(TermsSection section) {
  return section == kStandardPermissions || section == kSpecialPermissions ||
         section == kGenericPermissions;
}

void appendSeparators() {
  for (int s = 0; s < kSectionCount; ++s) {
    const TermsSection section = static_cast<TermsSection>(s);
    if (!isPermissionSection(section)) continue;
    const size_t width = static_cast<size_t>(kSections[section].width);
    for (int i = 0; i < kSections[section].count; ++i) {
      char* slot = termSlot(section, i);
      // The reader refuses values without room for the separator; the check
      // only guards the field against a caller that skipped it.
      if (std::strlen(slot) + sizeof kSeparator <= width) {
        std::strcat(slot, kSeparator);
      }
    }
  }
}

}  // namespace vesk
