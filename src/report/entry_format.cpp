#include "report/entry_format.h"

#include "terms/terms.h"

namespace vesk {
namespace {

struct BitTerm {
  uint32_t bit;
  TermsSection section;
  int index;
};

// Tested in this order; each set bit adds its term.
constexpr BitTerm kGenericBits[] = {
    {0x10000000, kGenericPermissions, 0},
    {0x20000000, kGenericPermissions, 1},
    {0x40000000, kGenericPermissions, 2},
    {0x80000000, kGenericPermissions, 3},
};

constexpr BitTerm kSpecialBits[] = {
    {0x00000001, kSpecialPermissions, 0},
    {0x00000002, kSpecialPermissions, 1},
    {0x00000004, kSpecialPermissions, 2},
    {0x00000008, kSpecialPermissions, 3},
    {0x00000010, kSpecialPermissions, 4},
    {0x00000020, kSpecialPermissions, 5},
    {0x00000040, kSpecialPermissions, 6},
    {0x00000080, kSpecialPermissions, 7},
    {0x00000100, kSpecialPermissions, 8},
    {0x00010000, kSpecialPermissions, 9},
    {0x00020000, kSpecialPermissions, 10},
    {0x00040000, kSpecialPermissions, 11},
    {0x00080000, kSpecialPermissions, 12},
};

constexpr uint32_t kWriteMask = 0x00100116;

// Masks matched by exact equality, each replacing the special terms.
constexpr uint32_t kStandardMasks[] = {0x001F01FF, 0x001301BF, 0x001200A0,
                                       0x00120089};

constexpr uint32_t kNoPropagateInherit = 0x4;

// Inheritance flags (without "no propagate") to their term; -1: no term.
int inheritanceTerm(uint32_t flags) {
  switch (flags) {
    case 0:
      return 0;
    case 1:
      return 1;
    case 2:
      return 2;
    case 3:
      return 3;
    case 9:
      return 4;
    case 10:
      return 5;
    case 11:
      return 6;
    default:
      return -1;
  }
}

void appendBits(const BitTerm* begin, const BitTerm* end, uint32_t mask,
                std::string* text) {
  for (const BitTerm* b = begin; b != end; ++b)
    if (mask & b->bit) *text += printedTerm(b->section, b->index);
}

}  // namespace

EntryColumns entryColumns(const platform::ExplicitAccess& entry,
                          const std::string& name) {
  EntryColumns columns = {};
  columns.trustee = name;
  if (entry.accessMode == platform::kGrantAccess)
    columns.mode = printedTerm(kAccessMode, 0);
  else if (entry.accessMode == platform::kDenyAccess)
    columns.mode = printedTerm(kAccessMode, 1);

  const uint32_t mask = entry.accessPermissions;
  std::string permissions;
  for (int i = 0; i < 4; ++i)
    if (mask == kStandardMasks[i])
      permissions = printedTerm(kStandardPermissions, i);
  // The write mask names its term and still lists its special bits.
  if (mask == kWriteMask)
    columns.permissions = printedTerm(kStandardPermissions, 4);
  appendBits(std::begin(kGenericBits), std::end(kGenericBits), mask,
             &permissions);
  if (permissions.empty())
    appendBits(std::begin(kSpecialBits), std::end(kSpecialBits), mask,
               &permissions);
  // Every permission term ends in " + ": the last one is dropped here and
  // becomes the tab that closes the column in a block.
  columns.permissionsClosed = permissions.size() >= 3;
  if (columns.permissionsClosed) permissions.resize(permissions.size() - 3);
  columns.permissions += permissions;

  uint32_t flags = entry.inheritance;
  const bool noPropagate = flags & kNoPropagateInherit;
  if (noPropagate) flags -= kNoPropagateInherit;
  const int inherit = inheritanceTerm(flags);
  if (inherit >= 0) columns.inheritance = printedTerm(kInheritance, inherit);
  if (noPropagate) {
    columns.inheritance += " + ";
    columns.inheritance += printedTerm(kInheritance, 7);
  }
  return columns;
}

std::string entryLine(const EntryColumns& columns) {
  std::string line;
  line.reserve(columns.trustee.size() + columns.mode.size() +
               columns.permissions.size() + columns.inheritance.size() + 5);
  line += '\t';
  line += columns.trustee;
  // An entry that is neither a grant nor a deny keeps an empty mode column,
  // so that every line has the same columns.
  line += '\t';
  line += columns.mode;
  line += '\t';
  line += columns.permissions;
  if (columns.permissionsClosed) line += '\t';
  line += columns.inheritance;
  line += '\n';
  return line;
}

std::string formatEntry(const platform::ExplicitAccess& entry,
                        const std::string& name) {
  return entryLine(entryColumns(entry, name));
}

}  // namespace vesk
