#include "report/entry_format.h"

#include <cstring>

#include "support/fixture.h"

namespace vesk {
namespace {

using platform::ExplicitAccess;

struct Case {
  uint32_t mode;
  uint32_t mask;
  uint32_t inheritance;
  const char* line;  // after "\tUser"
};

ExplicitAccess entryOf(const Case& c) {
  return {c.mask,
          c.mode,
          c.inheritance,
          {platform::TrusteeForm::Sid, nullptr, nullptr}};
}

class EntryFormatTest : public test::CleanRun {};

TEST_F(EntryFormatTest, DefaultTerms) {
  const Case cases[] = {
      {1, 0x001F01FF, 3, "\tA\tFC\tCI+OI\n"},
      {1, 0x001301BF, 0, "\tA\tRWX\tNP\n"},
      {1, 0x001200A0, 1, "\tA\tRX\tOI\n"},
      {1, 0x00120089, 2, "\tA\tR\tCI\n"},
      {1, 0x00100116, 0, "\tA\tW + CWD + FAP + WEA + WAT\tNP\n"},
      {1, 0x00100116 | 0x00020000, 0, "\tA\tCWD + FAP + WEA + WAT + RC\tNP\n"},
      {3, 0x001200A9, 0, "\tD\tLRD + REA + EXC + RAT + RC\tNP\n"},
      {1, 0, 0, "\tA\tNP\n"},
      {1, 0x10000000, 0, "\tA\tGA\tNP\n"},
      {1, 0x10000001, 0, "\tA\tGA\tNP\n"},
      {1, 0xF0000000, 0, "\tA\tGA + GX + GW + GR\tNP\n"},
      {1, 0x001F01FF | 0x80000000, 0, "\tA\tGR\tNP\n"},
      {1, 0x000F01FF, 0,
       "\tA\tLRD + CWD + FAP + REA + WEA + EXC + DSF + RAT + WAT + SD + RC + "
       "WD + WO\tNP\n"},
      {1, 0x00100000, 0, "\tA\tNP\n"},  // SYNCHRONIZE has no term
      {1, 0x00080000, 0, "\tA\tWO\tNP\n"},
      {2, 0x001F01FF, 3, "\t\tFC\tCI+OI\n"},  // SET_ACCESS: empty mode column
      {0, 0x00120089, 0, "\t\tR\tNP\n"},
      {1, 0x001F01FF, 0x4, "\tA\tFC\tNP + TC\n"},
      {1, 0x001F01FF, 0x7, "\tA\tFC\tCI+OI + TC\n"},
      {1, 0x001F01FF, 0x8, "\tA\tFC\t\n"},
      {1, 0x001F01FF, 0x9, "\tA\tFC\tIO+OI\n"},
      {1, 0x001F01FF, 0xA, "\tA\tFC\tIO+CI\n"},
      {1, 0x001F01FF, 0xB, "\tA\tFC\tIO+CI+OI\n"},
      {1, 0x001F01FF, 0xC, "\tA\tFC\t + TC\n"},
      {1, 0x001F01FF, 0xF, "\tA\tFC\tIO+CI+OI + TC\n"},
      {1, 0x001F01FF, 0x13, "\tA\tFC\t\n"},  // inherited: no term
      {1, 0x001F01FF, 0x10, "\tA\tFC\t\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(std::string("\tUser") + c.line, formatEntry(entryOf(c), "User"));
  }
}

TEST_F(EntryFormatTest, CustomTerms) {
  resetRun();
  std::strcpy(termSlot(kAccessMode, 0), "Allow");
  std::strcpy(termSlot(kAccessMode, 1), "Deny");
  std::strcpy(termSlot(kStandardPermissions, 0), "Full");
  std::strcpy(termSlot(kStandardPermissions, 4), "Write");
  std::strcpy(termSlot(kSpecialPermissions, 1), "Create files");
  std::strcpy(termSlot(kGenericPermissions, 3), "Generic read");
  std::strcpy(termSlot(kInheritance, 3), "this, subfolders, files");
  std::strcpy(termSlot(kInheritance, 7), "one\nlevel");
  std::strcpy(termSlot(kSpecialPermissions, 2), "F\tA\\P");  // as names
  fake::script().backslashIsSeparator = false;               // on Linux
  appendSeparators();
  const Case cases[] = {
      {1, 0x001F01FF, 3, "\tAllow\tFull\tthis, subfolders, files\n"},
      {3, 0x80000000, 7,
       "\tDeny\tGeneric read\tthis, subfolders, files + one\\012level\n"},
      {1, 0x00100116, 0,
       "\tAllow\tWrite + Create files + F\\011A\\134P + WEA + WAT\tNP\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(std::string("\tUser") + c.line, formatEntry(entryOf(c), "User"));
  }
}

// The flat report prints the columns apart: the permissions without the
// tab that closes them in a block, which an empty custom term still has.
TEST_F(EntryFormatTest, ColumnsApart) {
  resetRun();
  std::strcpy(termSlot(kStandardPermissions, 3), "");
  appendSeparators();
  struct ColumnCase {
    Case entry;
    const char* permissions;
    bool closed;
  };
  const ColumnCase cases[] = {
      {{1, 0, 0, "\tA\tNP\n"}, "", false},
      {{1, 0x00120089, 3, "\tA\t\tCI+OI\n"}, "", true},
      {{3, 0x00100116, 4, "\tD\tW + CWD + FAP + WEA + WAT\tNP + TC\n"},
       "W + CWD + FAP + WEA + WAT",
       true},
      {{2, 0x30000000, 0x10, "\t\tGA + GX\t\n"}, "GA + GX", true},
  };
  for (const ColumnCase& c : cases) {
    SCOPED_TRACE(c.entry.line);
    const EntryColumns columns = entryColumns(entryOf(c.entry), "User");
    EXPECT_EQ(c.permissions, columns.permissions);
    EXPECT_EQ(c.closed, columns.permissionsClosed);
    EXPECT_EQ(std::string("\tUser") + c.entry.line, entryLine(columns));
  }
}

TEST_F(EntryFormatTest, LongTermsAndNamesAreNeverCut) {
  resetRun();
  const std::string longest(44, 'x');  // the widest special term that fits
  for (int i = 0; i < 13; ++i)
    std::strcpy(termSlot(kSpecialPermissions, i), longest.c_str());
  appendSeparators();
  const std::string name(600, 'n');
  const std::string line = formatEntry(entryOf({1, 0x000F01BF, 0, ""}), name);
  EXPECT_GT(line.size(), 1023u);
  EXPECT_EQ(0u, line.find("\t" + name + "\tA\t" + longest + " + "));
  EXPECT_EQ(longest + "\tNP\n", line.substr(line.size() - 48));
}

}  // namespace
}  // namespace vesk
