// What a platform layer answers about one stored descriptor. The scripted
// fake (unit tests) and the Linux layer (on a real NTFS volume) run the same
// cases, so the fake cannot drift from the layer it stands in for.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/descriptor_builder.h"

namespace vesk {
namespace test {

/// The answers a layer gives about one descriptor.
struct Answers {
  bool present;         // getSecurityDescriptorDacl: present flag
  bool daclNull;        //   the DACL pointer is null
  bool daclDefaulted;   //   defaulted flag
  bool ownerDefaulted;  // getSecurityDescriptorOwner: defaulted flag
  uint16_t control;     // getSecurityDescriptorControl
  uint32_t entries;     // getExplicitEntriesFromAcl on that DACL
};

struct AgreementCase {
  const char* name;
  DescriptorSpec stored;  // as written to the object
  Answers expected;
};

/// The cases, each with its expected answers.
inline std::vector<AgreementCase> agreementCases() {
  const char* admins = "S-1-5-32-544";
  const char* system = "S-1-5-18";
  const std::vector<AceSpec> two = {{kAllowed, 0x03, 0x001F01FF, admins},
                                    {kDenied, 0x00, 0x00000040, "S-1-1-0"}};
  const std::vector<AceSpec> withAudit = {
      {kAllowed, 0x00, 0x001200A9, "S-1-5-32-545"},
      {kAudit, 0x40, 0x00010000, "S-1-1-0"}};
  return {
      {"present DACL",
       {0x0004, admins, system, true, two},
       {true, false, false, false, 0x8004, 2}},
      {"DACL defaulted",
       {0x000C, admins, system, true, two},
       {true, false, true, false, 0x800C, 2}},
      {"defaulted bit without a DACL",
       {0x0008, admins, system, false, {}},
       {false, true, false, false, 0x8008, 0}},
      {"no DACL",
       {0x0000, admins, system, false, {}},
       {false, true, false, false, 0x8000, 0}},
      {"NULL DACL",
       {0x0004, admins, system, false, {}},
       {true, true, false, false, 0x8004, 0}},
      {"NULL DACL defaulted",
       {0x000C, admins, system, false, {}},
       {true, true, true, false, 0x800C, 0}},
      {"empty DACL",
       {0x0004, admins, system, true, {}},
       {true, false, false, false, 0x8004, 0}},
      {"SACL bits masked out",
       {0x3C3F, admins, system, true, two},
       {true, false, true, true, 0x940F, 2}},
      {"SACL present alone",
       {0x0014, admins, system, true, two},
       {true, false, false, false, 0x8004, 2}},
      {"owner and group defaulted",
       {0x0007, admins, system, true, two},
       {true, false, false, true, 0x8007, 2}},
      {"inheritance bits kept",
       {0x1404, admins, system, true, withAudit},
       {true, false, false, false, 0x9404, 2}},
      {"parts after a gap",
       {0x000D, admins, system, true, two, 64},
       {true, false, true, true, 0x800D, 2}},
  };
}

/// Asks the platform everything the report asks of sd and checks the
/// answers against the case.
inline void expectAgreement(const platform::SecurityDescriptor* sd,
                            const AgreementCase& c) {
  using namespace platform;
  // Outputs start opposite to the expected answer: one left unwritten shows.
  const Answers& e = c.expected;
  bool present = !e.present;
  bool defaulted = !e.daclDefaulted;
  static const uint8_t sentinel[8] = {};
  const Acl* dacl =
      e.daclNull ? reinterpret_cast<const Acl*>(sentinel) : nullptr;
  ASSERT_TRUE(getSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
  EXPECT_EQ(e.present, present);
  EXPECT_EQ(e.daclNull, dacl == nullptr);
  EXPECT_EQ(e.daclDefaulted, defaulted);

  const Sid* owner = nullptr;
  bool ownerDefaulted = !e.ownerDefaulted;
  ASSERT_TRUE(getSecurityDescriptorOwner(sd, &owner, &ownerDefaulted));
  ASSERT_NE(nullptr, owner);
  EXPECT_EQ(c.stored.owner, sidString(owner));
  EXPECT_EQ(e.ownerDefaulted, ownerDefaulted);

  uint16_t control = 0;
  uint32_t revision = 0;
  ASSERT_TRUE(getSecurityDescriptorControl(sd, &control, &revision));
  EXPECT_EQ(e.control, control);
  EXPECT_EQ(1u, revision);

  uint32_t count = e.entries + 1;
  ExplicitAccess* entries = nullptr;
  ASSERT_EQ(kErrorSuccess, getExplicitEntriesFromAcl(dacl, &count, &entries));
  EXPECT_EQ(e.entries, count);
  EXPECT_EQ(e.entries == 0, entries == nullptr);
  for (uint32_t i = 0; entries && i < count && i < c.stored.aces.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(c.stored.aces[i].mask, entries[i].accessPermissions);
    EXPECT_EQ(c.stored.aces[i].sid, sidString(entries[i].trustee.sid));
  }
  localFree(entries);
}

// The checks that each OS layer's own tests (tests/ntfs, tests/wine) make
// alike, written once.

/// mbsicmp cases that every layer answers alike: ASCII letters compared
/// without case, every other byte as it is. sign: of the result.
struct CompareCase {
  const char* a;
  const char* b;
  int sign;
};

inline std::vector<CompareCase> asciiCompareCases() {
  return {
      {"", "", 0},
      {"Users", "users", 0},
      {"ADMINISTRATORS", "administrators", 0},
      {"\tSYSTEM\tA", "\tsystem\ta", 0},
      {"a", "B", -1},
      {"B", "a", 1},
      {"alpha", "BETA", -1},
      {"abc", "abcd", -1},
      {"abcd", "ABC", 1},
      {"[", "a", -1},  // '[' sorts before 'a', after 'A'
      {"_", "a", -1},
  };
}

/// Runs the cases through the layer's mbsicmp.
inline void expectComparisons(const std::vector<CompareCase>& cases) {
  for (const CompareCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " vs " << c.b);
    const int result = platform::mbsicmp(c.a, c.b);
    EXPECT_EQ((result > 0) - (result < 0), c.sign);
  }
}

/// localClock gives a date and a clock time "hh:mm:ss".
inline void expectLocalClockIsADate() {
  const platform::LocalTime now = platform::localClock();
  EXPECT_GE(now.year, 2020);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_GE(now.day, 1);
  EXPECT_LE(now.day, 31);
  ASSERT_EQ(std::strlen(now.time), 8u) << now.time;
  int h = -1, m = -1, s = -1;
  ASSERT_EQ(std::sscanf(now.time, "%2d:%2d:%2d", &h, &m, &s), 3) << now.time;
  EXPECT_LT(h, 24);
  EXPECT_LT(m, 60);
  EXPECT_LT(s, 61);
}

}  // namespace test
}  // namespace vesk
