#include "report/report.h"

#include "log/log.h"
#include "support/descriptor_builder.h"
#include "support/fixture.h"

namespace vesk {
namespace {

using test::AceSpec;
using test::buildDescriptor;
using test::DescriptorSpec;

constexpr uint16_t kPresent = 0x0004;
constexpr uint16_t kAutoInherited = 0x0400;
constexpr uint16_t kProtected = 0x1000;

const char kAdmins[] = "S-1-5-32-544";
const char kUsers[] = "S-1-5-32-545";
const char kSystem[] = "S-1-5-18";

class ReportTest : public test::CleanRun {
 protected:
  void SetUp() override {
    CleanRun::SetUp();
    nameAccounts();
  }

  void nameAccounts() {
    fake::script().accounts["|S-1-5-32-544"] = "Administrators";
    fake::script().accounts["|S-1-5-32-545"] = "Users";
    fake::script().accounts["|S-1-5-18"] = "SYSTEM";
  }

  // A new object in a new run, logged to "log".
  void freshRunWithLog() {
    test::freshRun();
    nameAccounts();
    ASSERT_TRUE(openLog("log"));
  }

  fake::Object& object(const std::string& path, const DescriptorSpec& spec) {
    fake::Object& o = fake::script().objects[path];
    o.descriptor = buildDescriptor(spec);
    return o;
  }

  std::string log() { return fake::file("log"); }
};

const std::vector<AceSpec> kThreeAces = {
    {0, 0x03, 0x00120089, kUsers},
    {0, 0x03, 0x001F01FF, kSystem},
    {0, 0x03, 0x001F01FF, kAdmins},
};

TEST_F(ReportTest, BlockAndLogGroupOfAProtectedDirectory) {
  freshRunWithLog();
  appState.showOwner = true;
  object("D:\\Data",
         {kPresent | kProtected, kAdmins, kSystem, true, kThreeAces});
  EXPECT_EQ(kReportDone, reportObject("D:\\Data"));
  EXPECT_EQ(
      "D:\\Data\t<not inherited>\tOwner: Administrators\n"
      "\tAdministrators\tA\tFC\tCI+OI\n"
      "\tSYSTEM\tA\tFC\tCI+OI\n"
      "\tUsers\tA\tR\tCI+OI\n"
      "\n",
      fake::output());
  EXPECT_EQ(
      "Logfile created by VESK:\n"
      "\n"
      "2009-05-11 09:15:42\tGetSecurityDescriptorDacl () successfully for: "
      "D:\\Data\n"
      "2009-05-11 09:15:42\tpDACL present\n"
      "2009-05-11 09:15:42\tGetExplicitEntriesFromAcl () read 3 Entries from "
      "DACL\n",
      log());
  EXPECT_EQ(0, fake::record().liveBlocks);
  EXPECT_EQ(2, fake::record().releasedBlocks);  // descriptor, entries
  EXPECT_TRUE(entryLines.empty());
}

TEST_F(ReportTest, FailingStepsPrintNothingAndReleaseEverything) {
  struct Case {
    const char* name;
    uint16_t control;
    void (*script)(fake::Object*);
    int status;
    const char* logTail;
    int released;
  };
  const Case cases[] = {
      {"descriptor", kPresent, [](fake::Object* o) { o->status = 5; },
       kReportNoDescriptor,
       "GetNamedSecurityInfo () failed for: X\n"
       "2009-05-11 09:15:42\tGetNamedSecurityInfo () error: 5\n",
       0},
      {"dacl", kPresent, [](fake::Object* o) { o->daclFails = true; },
       kReportNoDacl, "GetSecurityDescriptorDacl () failed for: X\n", 1},
      {"parts", kPresent | kAutoInherited,
       [](fake::Object* o) { o->partsStatus = 120; }, kReportNoInheritedEntries,
       "LookupSecurityDescriptorParts () failed: 0x00000078\n", 1},
      {"explicit", kPresent, [](fake::Object* o) { o->explicitStatus = 0x78; },
       kReportNoEntries, "GetExplicitEntriesFromAcl () failed: 0x00000078\n",
       1},
      {"corrupt", kPresent,
       [](fake::Object* o) { o->descriptor.resize(o->descriptor.size() - 1); },
       kReportNoDescriptor,
       "GetNamedSecurityInfo () failed for: X\n"
       "2009-05-11 09:15:42\tGetNamedSecurityInfo () error: 1338\n",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    freshRunWithLog();
    appState.showOwner = true;
    c.script(&object("X", {c.control, kAdmins, kSystem, true, kThreeAces}));
    EXPECT_EQ(c.status, reportObject("X"));
    EXPECT_EQ("", fake::output());
    const std::string tail = std::string("2009-05-11 09:15:42\t") + c.logTail;
    const std::string text = log();
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(tail, text.substr(text.size() - tail.size()));
    EXPECT_EQ(0, fake::record().liveBlocks);
    EXPECT_EQ(c.released, fake::record().releasedBlocks);
    EXPECT_EQ(0, fake::record().doubleFrees);
    EXPECT_TRUE(entryLines.empty());
  }
}

TEST_F(ReportTest, OneReadPerObjectAndOneStampWhileALogIsOpen) {
  struct Case {
    const char* name;
    uint16_t control;
    void (*script)(fake::Object*);
  };
  const Case cases[] = {
      {"printed", kPresent, [](fake::Object*) {}},
      {"auto-inherited", kPresent | kAutoInherited, [](fake::Object*) {}},
      {"no entries", kPresent, [](fake::Object* o) { o->descriptor.clear(); }},
      {"descriptor", kPresent, [](fake::Object* o) { o->status = 5; }},
      {"dacl", kPresent, [](fake::Object* o) { o->daclFails = true; }},
      {"parts", kPresent | kAutoInherited,
       [](fake::Object* o) { o->partsStatus = 120; }},
      {"explicit", kPresent, [](fake::Object* o) { o->explicitStatus = 8; }},
  };
  for (bool logged : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (logged ? " with a log" : ""));
      test::freshRun();
      nameAccounts();
      if (logged) {
        ASSERT_TRUE(openLog("log"));
      }
      appState.showOwner = true;
      fake::Object& o =
          object("X", {c.control, kAdmins, kSystem, true, kThreeAces});
      c.script(&o);
      if (o.descriptor.empty())
        o.descriptor = buildDescriptor({c.control, kAdmins, kSystem, true, {}});
      reportObject("X");
      reportObject("not there");
      EXPECT_EQ((std::vector<std::string>{"X", "not there"}),
                fake::record().reads);
      EXPECT_EQ(logged ? 2 : 0, fake::record().clockReadings);
    }
  }
}

TEST_F(ReportTest, ObjectsInDifferentSecondsCarryTheirOwnStamps) {
  struct Case {
    platform::LocalTime start;
    int step;  // seconds per clock reading
    const char* first;
    const char* second;
  };
  const Case cases[] = {
      {{2009, 5, 11, "09:15:42"},
       0,
       "2009-05-11 09:15:42",
       "2009-05-11 09:15:42"},
      {{2009, 5, 11, "09:15:42"},
       1,
       "2009-05-11 09:15:42",
       "2009-05-11 09:15:43"},
      {{2009, 12, 31, "23:59:59"},
       1,
       "2009-12-31 23:59:59",
       "2010-01-01 00:00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.second);
    freshRunWithLog();
    appState.verbose = true;
    fake::script().clock = c.start;
    fake::script().secondsPerReading = c.step;
    object("A", {kPresent, kAdmins, kSystem, true, {{0, 0, 1, kUsers}}});
    object(
        "B",
        {kPresent, kAdmins, kSystem, true, {{0, 0, 1, "S-1-5-21-1-2-3-1105"}}});
    reportObject("A");
    reportObject("B");
    // One group per object, every line of it under the object's stamp; the
    // unnamed trustee of B adds one failed lookup per server slot (/v).
    auto group = [](const std::string& stamp, const std::string& path) {
      return "\n" + stamp +
             "\tGetSecurityDescriptorDacl () successfully for: " + path + "\n" +
             stamp + "\tpDACL present\n" + stamp +
             "\tGetExplicitEntriesFromAcl () read 1 Entries from DACL\n";
    };
    std::string lookups;
    for (int slot = 0; slot < kServerSlots; ++slot)
      lookups += c.second + std::string("\tLookupAccountSid () failed: 1332\n");
    EXPECT_EQ("Logfile created by VESK:\n" + group(c.first, "A") +
                  group(c.second, "B") + lookups,
              log());
    EXPECT_EQ(2, fake::record().clockReadings);
  }
}

TEST_F(ReportTest, EmptyAndNullDaclsPrintNoBlock) {
  const DescriptorSpec specs[] = {
      {kPresent, kAdmins, kSystem, true, {}},
      {kPresent, kAdmins, kSystem, false, {}},  // NULL DACL
      {0, kAdmins, kSystem, false, {}},         // no DACL at all
      {kPresent | kAutoInherited, kAdmins, kSystem, true, {}},
  };
  for (const DescriptorSpec& spec : specs) {
    SCOPED_TRACE(spec.control + spec.storeDacl);
    freshRunWithLog();
    appState.showOwner = true;
    object("X", spec);
    EXPECT_EQ(kReportDone, reportObject("X"));
    EXPECT_EQ("", fake::output());
    EXPECT_NE(std::string::npos, log().find(" read 0 Entries"));
    EXPECT_EQ(0, fake::record().liveBlocks);
    EXPECT_EQ(0, fake::record().doubleFrees);
  }
}

TEST_F(ReportTest, HeaderFlagsAndOwnerColumn) {
  struct Case {
    uint16_t control;
    bool showOwner;
    bool ownerInNameForm;
    const char* header;
  };
  const Case cases[] = {
      {kPresent, false, true, "X\t\n"},
      {kPresent, true, true, "X\t\tOwner: Administrators\n"},
      {kPresent | kAutoInherited, true, true,
       "X\t<inherited>\tOwner: Administrators\n"},
      {kPresent | kAutoInherited, false, true, "X\t<inherited>\n"},
      {kPresent | kAutoInherited, true, false, "X\t<inherited>\n"},
      {kPresent | kAutoInherited | kProtected, false, true,
       "X\t<not inherited>\n"},
      {kPresent | 0x0008 | 0x0002 | 0x0001, false, true,
       "X\t SE_DACL_DEFAULTED SE_GROUP_DEFAULTED SE_OWNER_DEFAULTED\n"},
      {kPresent | kProtected | 0x0001, true, true,
       "X\t<not inherited> SE_OWNER_DEFAULTED\tOwner: Administrators\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    test::freshRun();
    nameAccounts();
    appState.showOwner = c.showOwner;
    object("X", {c.control, kAdmins, kSystem, true, {{0, 0, 1, kUsers}}})
        .ownerInNameForm = c.ownerInNameForm;
    EXPECT_EQ(kReportDone, reportObject("X"));
    EXPECT_EQ(std::string(c.header) + "\tUsers\tA\tLRD\tNP\n\n",
              fake::output());
    EXPECT_EQ(0, fake::record().liveBlocks);
    EXPECT_EQ(0, fake::record().doubleFrees);
  }
}

TEST_F(ReportTest, TrusteesInNameFormArePrintedByTheirName) {
  object("X", {kPresent | kAutoInherited, kAdmins, kSystem, true, kThreeAces})
      .entriesInNameForm = true;
  fake::script().accounts["|S-1-5-32-545"] = "Local Users";
  EXPECT_EQ(kReportDone, reportObject("X"));
  EXPECT_EQ(
      "X\t<inherited>\n"
      "\tAdministrators\tA\tFC\tCI+OI\n"
      "\tLocal Users\tA\tR\tCI+OI\n"
      "\tSYSTEM\tA\tFC\tCI+OI\n"
      "\n",
      fake::output());
  EXPECT_TRUE(fake::record().lookups.empty());
  EXPECT_EQ(0, fake::record().liveBlocks);
}

TEST_F(ReportTest, UnnamedTrusteeKeepsItsIdentifier) {
  object("X", {kPresent,
               kAdmins,
               kSystem,
               true,
               {{1, 0, 0x001F01FF, "S-1-5-21-1-2-3-1105"}}});
  EXPECT_EQ(kReportDone, reportObject("X"));
  EXPECT_EQ("X\t\n\tS-1-5-21-1-2-3-1105\tD\tFC\tNP\n\n", fake::output());
}

// A name the output's code page lacks prints with "?" and is spelt out in
// the log once, first in its group; the others are untouched.
TEST_F(ReportTest, NamesBeyondTheCodePageAreLoggedInEscapes) {
  freshRunWithLog();
  fake::script().asciiCodePage = true;
  const std::string lossy = "D:\\\xc4\x81\\\xf0\x9f\x98\x80.txt";  // D:\ā\😀.txt
  object(lossy,
         {kPresent, kAdmins, kSystem, true, {{0, 0, 0x001F01FF, kSystem}}});
  object("D:\\plain",
         {kPresent, kAdmins, kSystem, true, {{0, 0, 0x001F01FF, kSystem}}});
  reportObject(lossy);
  reportObject("D:\\plain");
  EXPECT_EQ(
      "D:\\?\\?.txt\t\n\tSYSTEM\tA\tFC\tNP\n\n"
      "D:\\plain\t\n\tSYSTEM\tA\tFC\tNP\n\n",
      fake::output());
  EXPECT_EQ(
      "Logfile created by VESK:\n"
      "\n"
      "2009-05-11 09:15:42\tName printed with ? for characters outside the "
      "code page: D:\\\\\\u0101\\\\\\ud83d\\ude00.txt\n"
      "2009-05-11 09:15:42\tGetSecurityDescriptorDacl () successfully for: "
      "D:\\?\\?.txt\n"
      "2009-05-11 09:15:42\tpDACL present\n"
      "2009-05-11 09:15:42\tGetExplicitEntriesFromAcl () read 1 Entries from "
      "DACL\n"
      "\n"
      "2009-05-11 09:15:42\tGetSecurityDescriptorDacl () successfully for: "
      "D:\\plain\n"
      "2009-05-11 09:15:42\tpDACL present\n"
      "2009-05-11 09:15:42\tGetExplicitEntriesFromAcl () read 1 Entries from "
      "DACL\n",
      log());
}

TEST_F(ReportTest, ObjectsInARowDoNotShareLines) {
  object("A", {kPresent, kAdmins, kSystem, true, {{0, 0, 1, kUsers}}});
  object("B", {kPresent, kAdmins, kSystem, true, {{1, 0, 2, kSystem}}});
  reportObject("A");
  reportObject("B");
  EXPECT_EQ("A\t\n\tUsers\tA\tLRD\tNP\n\nB\t\n\tSYSTEM\tD\tCWD\tNP\n\n",
            fake::output());
}

TEST_F(ReportTest, SortIgnoresCaseAndKeepsTheOrderOfEqualLines) {
  fake::script().accounts["|S-1-5-32-546"] = "users";
  fake::script().accounts["|S-1-5-32-547"] = "USERS";
  object("X", {kPresent,
               kAdmins,
               kSystem,
               true,
               {{0, 0, 1, "S-1-5-32-546"},
                {0, 0, 1, kUsers},
                {0, 0, 1, kSystem},
                {0, 0, 1, "S-1-5-32-547"},
                {1, 0, 1, kUsers},
                {0, 0, 1, kAdmins}}});
  reportObject("X");
  EXPECT_EQ(
      "X\t\n"
      "\tAdministrators\tA\tLRD\tNP\n"
      "\tSYSTEM\tA\tLRD\tNP\n"
      "\tusers\tA\tLRD\tNP\n"
      "\tUsers\tA\tLRD\tNP\n"
      "\tUSERS\tA\tLRD\tNP\n"
      "\tUsers\tD\tLRD\tNP\n"
      "\n",
      fake::output());
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

// Objects that share descriptor bytes, as most objects of an NTFS volume
// do: a layer that vouches for equal bytes gets each descriptor decoded and
// named once, and the blocks and the log come out exactly as without that.
class RememberedReportTest : public ReportTest {
 protected:
  // The output and log of reporting paths, descriptors keyed or not.
  std::pair<std::string, std::string> run(bool keyed,
                                          const std::vector<std::string>& paths,
                                          bool verbose = false,
                                          const ViewState& view = {}) {
    freshRunWithLog();
    fake::script().keyedDescriptors = keyed;
    appState.showOwner = true;
    appState.verbose = verbose;
    viewState = view;
    const DescriptorSpec inherited{kPresent | kAutoInherited, kAdmins, kSystem,
                                   true, kThreeAces};
    const DescriptorSpec plain{
        kPresent,
        kAdmins,
        kSystem,
        true,
        {{0, 0, 0x1F01FF, "S-1-5-21-9-9-9-500"}, {1, 0, 0x120089, kUsers}}};
    const DescriptorSpec empty{kPresent, kAdmins, kSystem, true, {}};
    const DescriptorSpec noOwner{kPresent, "", kSystem, true, kThreeAces};
    for (size_t i = 0; i < paths.size(); ++i) {
      const DescriptorSpec* specs[] = {&inherited, &plain, &empty, &noOwner};
      object(paths[i], *specs[i % 4]);
    }
    fake::Object& failing = fake::script().objects["/d/failing"];
    failing.status = 5;
    for (const std::string& path : paths) reportObject(path);
    reportObject("/d/failing");
    for (const std::string& path : paths) reportObject(path);
    return {fake::output(), log()};
  }
};

TEST_F(RememberedReportTest, SameBlocksAndLogAsWithoutMemory) {
  const std::vector<std::string> paths = {"/d/a", "/d/b", "/d/c", "/d/e",
                                          "/d/f", "/d/g", "/d/h", "/d/i"};
  // Plain, /v, /explicit, /who: and the flat view (which is never
  // remembered: its lines hold the path).
  const struct {
    bool verbose;
    ViewState view;
    bool remembered;
  } cases[] = {
      {false, {}, true},
      {true, {}, false},
      {false, {true, false, {}, "", false}, true},
      {false, {false, false, {"Users", "S-1-5-18"}, "", false}, true},
      {false, {false, true, {}, "", false}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.verbose) + std::to_string(c.view.flat) +
                 std::to_string(c.view.explicitOnly) +
                 std::to_string(c.view.who.size()));
    const bool verbose = c.verbose;
    const auto plain = run(false, paths, verbose, c.view);
    const int blocksWithout = fake::record().releasedBlocks;
    const auto keyed = run(true, paths, verbose, c.view);
    EXPECT_EQ(plain.first, keyed.first);
    EXPECT_EQ(plain.second, keyed.second);
    EXPECT_EQ(0, fake::record().liveBlocks);
    // Entry lists and trustees are asked for only where a report is made.
    const int blocksWith = fake::record().releasedBlocks;
    if (c.remembered) {
      EXPECT_LT(blocksWith, blocksWithout);
    } else {
      EXPECT_EQ(blocksWithout, blocksWith);  // made afresh each time
    }
  }
}

TEST_F(RememberedReportTest, ReadsStayOnePerObject) {
  run(true, {"/d/a", "/d/b", "/d/c", "/d/e", "/d/f"});
  EXPECT_EQ(11u, fake::record().reads.size());
}

}  // namespace
}  // namespace vesk
