// The scripted fake is held to the Linux layer's answers, and its scripted
// failures follow the path they were given to.
#include "support/fake_platform.h"

#include "support/descriptor_builder.h"
#include "support/fixture.h"
#include "support/platform_agreement.h"

namespace vesk {
namespace platform {
namespace {

class FakePlatformTest : public test::CleanRun {};

TEST_F(FakePlatformTest, AnswersAsTheLinuxLayerDoes) {
  for (const test::AgreementCase& c : test::agreementCases()) {
    SCOPED_TRACE(c.name);
    test::freshRun();
    fake::script().objects["X"].descriptor = test::buildDescriptor(c.stored);
    SecurityDescriptor* sd = nullptr;
    ASSERT_EQ(kErrorSuccess, getNamedSecurityInfo("X", &sd));
    test::expectAgreement(sd, c);
    localFree(sd);
    EXPECT_EQ(0, fake::record().liveBlocks);
    EXPECT_EQ(0, fake::record().strayAcls);
  }
}

// The entries of the DACL that sd hands out.
uint32_t entriesOf(const SecurityDescriptor* sd, uint32_t* count) {
  bool present = false;
  bool defaulted = false;
  const Acl* dacl = nullptr;
  EXPECT_TRUE(getSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
  ExplicitAccess* entries = nullptr;
  const uint32_t status = getExplicitEntriesFromAcl(dacl, count, &entries);
  localFree(entries);
  return status;
}

TEST_F(FakePlatformTest, EntryFailureFollowsThePathOfItsDescriptor) {
  struct Case {
    const char* name;
    bool storeDacl;  // false: NULL DACLs, both handed out as null
    bool failFirst;  // the failure is scripted for A, else for B
  };
  const Case cases[] = {
      {"ACLs, A fails", true, true},
      {"ACLs, B fails", true, false},
      {"NULL DACLs, A fails", false, true},
      {"NULL DACLs, B fails", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::freshRun();
    const test::DescriptorSpec spec = {
        0x0004, "S-1-5-32-544", "", c.storeDacl, {{0, 0, 1, "S-1-1-0"}}};
    fake::script().objects["A"].descriptor = test::buildDescriptor(spec);
    fake::script().objects["B"] = fake::script().objects["A"];
    fake::script().objects[c.failFirst ? "A" : "B"].explicitStatus = 0x78;
    SecurityDescriptor* a = nullptr;
    SecurityDescriptor* b = nullptr;
    ASSERT_EQ(kErrorSuccess, getNamedSecurityInfo("A", &a));
    ASSERT_EQ(kErrorSuccess, getNamedSecurityInfo("B", &b));
    uint32_t count = 0;
    // Both are live; the one asked last decides when the DACLs are null.
    EXPECT_EQ(c.failFirst ? 0x78u : 0u, entriesOf(a, &count));
    EXPECT_EQ(c.failFirst ? 0u : 0x78u, entriesOf(b, &count));
    localFree(b);
    localFree(a);
    EXPECT_EQ((std::vector<std::string>{"A", "B"}), fake::record().reads);
    EXPECT_EQ(0, fake::record().liveBlocks);
  }
}

TEST_F(FakePlatformTest, AclOfAReleasedDescriptorIsNotRead) {
  fake::script().objects["X"].descriptor = test::buildDescriptor(
      {0x0004, "S-1-5-32-544", "", true, {{0, 0, 1, "S-1-1-0"}}});
  SecurityDescriptor* sd = nullptr;
  ASSERT_EQ(kErrorSuccess, getNamedSecurityInfo("X", &sd));
  bool present = false;
  bool defaulted = false;
  const Acl* dacl = nullptr;
  ASSERT_TRUE(getSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
  localFree(sd);
  uint32_t count = 7;
  ExplicitAccess* entries = nullptr;
  EXPECT_EQ(kErrorInvalidParameter,
            getExplicitEntriesFromAcl(dacl, &count, &entries));
  EXPECT_EQ(1, fake::record().strayAcls);
}

TEST_F(FakePlatformTest, ClockMovesOnByItsStepPerReading) {
  struct Case {
    LocalTime start;
    int step;
    const char* second;  // "date time" of the second reading
  };
  const Case cases[] = {
      {{2009, 5, 11, "09:15:42"}, 0, "2009-5-11 09:15:42"},
      {{2009, 5, 11, "09:15:42"}, 1, "2009-5-11 09:15:43"},
      {{2009, 5, 11, "09:59:59"}, 61, "2009-5-11 10:01:00"},
      {{2008, 2, 28, "23:59:59"}, 1, "2008-2-29 00:00:00"},
      {{2009, 2, 28, "23:59:59"}, 1, "2009-3-1 00:00:00"},
      {{2009, 12, 31, "23:59:59"}, 1, "2010-1-1 00:00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.second);
    test::freshRun();
    fake::script().clock = c.start;
    fake::script().secondsPerReading = c.step;
    const LocalTime first = localClock();
    EXPECT_STREQ(c.start.time, first.time);
    const LocalTime next = localClock();
    EXPECT_EQ(c.second, std::to_string(next.year) + "-" +
                            std::to_string(next.month) + "-" +
                            std::to_string(next.day) + " " + next.time);
    EXPECT_EQ(2, fake::record().clockReadings);
  }
}

}  // namespace
}  // namespace platform
}  // namespace vesk
