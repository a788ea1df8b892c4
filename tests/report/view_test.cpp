// The views of a report: only DACLs of their own (/explicit), only some
// trustees (/who:), one flat line per entry (/tsv), over one small tree.
#include <vector>

#include "app/command_line.h"
#include "support/descriptor_builder.h"
#include "support/fixture.h"
#include "support/flat_blocks.h"

namespace vesk {
namespace {

using test::AceSpec;
using test::buildDescriptor;
using test::DescriptorSpec;

const char kAdmins[] = "S-1-5-32-544";
const char kUsers[] = "S-1-5-32-545";
const char kSystem[] = "S-1-5-18";
const char kSales[] = "S-1-5-21-7-7-7-1001";
const char kGone[] = "S-1-5-21-1-2-3-1105";  // nobody names it

constexpr uint8_t kInherited = 0x10;

// The blocks that a plain /readacl /s /f prints for the tree, by path.
const char kRoot[] =
    "/v\t<inherited>\n\tAdministrators\tA\tFC\t\n\tUsers\tA\tR\t\n\n";
const char kMixed[] =
    "/v/mixed\t<inherited>\n"
    "\tAdministrators\tA\tFC\t\n"
    "\tS-1-5-21-1-2-3-1105\tA\t\n"
    "\tUsers\tA\tRWX\tCI+OI\n\n";
const char kProtected[] =
    "/v/protected\t<not inherited>\n"
    "\tHR/sales\tD\tLRD + REA + EXC + RAT + RC\t\n"
    "\tSYSTEM\tA\tFC\t\n\n";
const char kInheritedOnly[] =
    "/v/inherited\t<inherited>\n\tSYSTEM\tA\tFC\t\n\n";
const char kFile[] =
    "/v/file.txt\t\n\tHR/sales\tA\tW + CWD + FAP + WEA + WAT\tNP\n\n";

class ViewTest : public test::CleanRun {
 protected:
  void SetUp() override {
    CleanRun::SetUp();
    scriptTree();
  }

  void object(const std::string& path, const DescriptorSpec& spec) {
    fake::script().objects[path].descriptor = buildDescriptor(spec);
  }

  // Auto-inherited only, mixed, protected (inherited entries only),
  // auto-inherited again, NULL and empty DACLs, and a file of plain entries.
  void scriptTree() {
    fake::Script& s = fake::script();
    s.accounts["|S-1-5-32-544"] = "Administrators";
    s.accounts["|S-1-5-32-545"] = "Users";
    s.accounts["|S-1-5-18"] = "SYSTEM";
    s.accounts["|S-1-5-21-7-7-7-1001"] = "HR/sales";
    object("/v", {0x0404,
                  kAdmins,
                  kSystem,
                  true,
                  {{0, 0x13, 0x001F01FF, kAdmins},
                   {0, kInherited, 0x00120089, kUsers}}});
    object("/v/mixed", {0x0404,
                        kAdmins,
                        kSystem,
                        true,
                        {{0, 0x13, 0x001F01FF, kAdmins},
                         {0, 0x03, 0x001301BF, kUsers},
                         {0, kInherited, 0, kGone}}});
    object("/v/protected", {0x1404,
                            kAdmins,
                            kSystem,
                            true,
                            {{0, kInherited, 0x001F01FF, kSystem},
                             {1, kInherited, 0x001200A9, kSales}}});
    object("/v/inherited", {0x0404,
                            kAdmins,
                            kSystem,
                            true,
                            {{0, kInherited, 0x001F01FF, kSystem}}});
    object("/v/null", {0x1004, kAdmins, kSystem, false, {}});
    object("/v/empty", {0x1004, kAdmins, kSystem, true, {}});
    object("/v/file.txt",
           {0x0004, kAdmins, kSystem, true, {{0, 0x00, 0x00100116, kSales}}});
    s.directories["/v"] = {
        {"/v/mixed", true, false},     {"/v/protected", true, false},
        {"/v/inherited", true, false}, {"/v/null", true, false},
        {"/v/empty", true, false},     {"/v/file.txt", false, false},
    };
  }

  // A fresh run over the same tree, its terms file read; its exit code.
  int run(std::vector<const char*> args) {
    const fake::Script kept = fake::script();
    fake::reset();
    fake::script() = kept;
    startUp();
    args.insert(args.begin(), "vesk");
    return runCommandLine(static_cast<int>(args.size()), args.data());
  }

  std::vector<const char*> walk(std::vector<const char*> views) {
    std::vector<const char*> args = {"/v", "/readacl", "/s", "/f"};
    args.insert(args.end(), views.begin(), views.end());
    return args;
  }
};

TEST_F(ViewTest, ExplicitPrintsProtectedAndOwnEntriesWholeAndKeepsTheLog) {
  ASSERT_EQ(0, run(walk({"/l:log"})));
  EXPECT_EQ(std::string(kRoot) + kMixed + kProtected + kInheritedOnly + kFile,
            fake::output());
  const std::string plainLog = fake::file("log");

  ASSERT_EQ(0, run(walk({"/l:log", "/EXPLICIT"})));
  EXPECT_EQ(std::string(kMixed) + kProtected + kFile, fake::output());
  EXPECT_EQ(plainLog, fake::file("log"));
  EXPECT_EQ(0, fake::record().liveBlocks);
  EXPECT_TRUE(entryLines.empty());
}

TEST_F(ViewTest, WhoKeepsTheLinesOfTheTrusteesAskedFor) {
  const std::string users =
      "/v\t<inherited>\n\tUsers\tA\tR\t\n\n"
      "/v/mixed\t<inherited>\n\tUsers\tA\tRWX\tCI+OI\n\n";
  struct Case {
    std::vector<const char*> views;
    std::string output;
  };
  const Case cases[] = {
      {{"/who:Users"}, users},
      {{"/who:S-1-5-32-545"}, users},
      {{"/WHO:uSERS"}, users},
      {{"/who:s-1-5-32-545"}, users},
      {{"/who:S-1-5-21-1-2-3-1105"},
       "/v/mixed\t<inherited>\n\tS-1-5-21-1-2-3-1105\tA\t\n\n"},
      {{"/who:Nobody"}, ""},
      {{"/who:User"}, ""},
      {{"/who:Users", "/who:system"},
       "/v\t<inherited>\n\tUsers\tA\tR\t\n\n"
       "/v/mixed\t<inherited>\n\tUsers\tA\tRWX\tCI+OI\n\n"
       "/v/protected\t<not inherited>\n\tSYSTEM\tA\tFC\t\n\n" +
           std::string(kInheritedOnly)},
      {{"/who:Users", "/explicit"},
       "/v/mixed\t<inherited>\n\tUsers\tA\tRWX\tCI+OI\n\n"},
      {{"/who:system", "/explicit"},
       "/v/protected\t<not inherited>\n\tSYSTEM\tA\tFC\t\n\n"},
      // The header keeps its owner column.
      {{"/who:HR/sales", "/o"},
       "/v/protected\t<not inherited>\tOwner: Administrators\n"
       "\tHR/sales\tD\tLRD + REA + EXC + RAT + RC\t\n\n"
       "/v/file.txt\t\tOwner: Administrators\n"
       "\tHR/sales\tA\tW + CWD + FAP + WEA + WAT\tNP\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.views[0]);
    EXPECT_EQ(0, run(walk(c.views)));
    EXPECT_EQ(c.output, fake::output());
    EXPECT_EQ(0, fake::record().liveBlocks);
    EXPECT_TRUE(entryLines.empty());
  }
}

TEST_F(ViewTest, AWhoNameHoldingAnOptionSwitchesItOn) {
  // "/s" in the name walks the tree; no "/f": the file is not reached.
  EXPECT_EQ(0, run({"/v", "/readacl", "/who:HR/sales"}));
  EXPECT_TRUE(appState.recurse);
  EXPECT_EQ(
      "/v/protected\t<not inherited>\n"
      "\tHR/sales\tD\tLRD + REA + EXC + RAT + RC\t\n\n",
      fake::output());
}

TEST_F(ViewTest, TrusteesInNameFormAreFoundByTheirName) {
  fake::script().objects["/v/mixed"].entriesInNameForm = true;
  EXPECT_EQ(0, run({"/v/mixed", "/readacl", "/who:users"}));
  EXPECT_EQ("/v/mixed\t<inherited>\n\tUsers\tA\tRWX\tCI+OI\n\n",
            fake::output());
}

TEST_F(ViewTest, FlatLinesInWalkOrderAndBlockOrder) {
  ASSERT_EQ(0, run(walk({"/tsv", "/o"})));
  EXPECT_EQ(
      "/v\t<inherited>\tAdministrators\tAdministrators\tA\tFC\t\n"
      "/v\t<inherited>\tAdministrators\tUsers\tA\tR\t\n"
      "/v/mixed\t<inherited>\tAdministrators\tAdministrators\tA\tFC\t\n"
      "/v/mixed\t<inherited>\tAdministrators\tS-1-5-21-1-2-3-1105\tA\t\t\n"
      "/v/mixed\t<inherited>\tAdministrators\tUsers\tA\tRWX\tCI+OI\n"
      "/v/protected\t<not inherited>\tAdministrators\tHR/sales\tD\t"
      "LRD + REA + EXC + RAT + RC\t\n"
      "/v/protected\t<not inherited>\tAdministrators\tSYSTEM\tA\tFC\t\n"
      "/v/inherited\t<inherited>\tAdministrators\tSYSTEM\tA\tFC\t\n"
      "/v/file.txt\t\tAdministrators\tHR/sales\tA\t"
      "W + CWD + FAP + WEA + WAT\tNP\n",
      fake::output());

  ASSERT_EQ(0, run(walk({"/TSV", "/who:users", "/explicit"})));
  EXPECT_EQ("/v/mixed\t<inherited>\t\tUsers\tA\tRWX\tCI+OI\n", fake::output());
}

// Every flat report, rebuilt into blocks, is the plain report: plain and
// custom terms, odd bytes in paths and names, entries of every shape.
TEST_F(ViewTest, FlatLinesRebuildTheBlocks) {
  fake::Script& s = fake::script();
  const std::string odd = "/v/tab\there %s";
  s.directories["/v"].push_back({odd, true, false});
  s.accounts["|S-1-5-21-7-7-7-1002"] = "odd\tname\n";
  object(odd, {0x0004 | 0x0008 | 0x0001,
               "S-1-5-21-7-7-7-1002",
               kSystem,
               true,
               {{0, 0, 0, "S-1-5-21-7-7-7-1002"},
                {test::kAllowedObject, 0x04, 0x10000000, kUsers, 1},
                {1, 0x0B, 0x001200A9, kGone},
                {0, 0x00, 0x00100116, "S-1-5-21-7-7-7-1002"}}});
  const char kCustom[] =
      "[Global Flags]\n00=<auto>\n01=<own>\n02=Owned by\n"
      "[Access Mode]\n00=allow\n01=deny\n"
      "[Standard Permissions]\n00=Full\n";
  // Configured tabs and control bytes, printed escaped as names are.
  const char kControls[] =
      "[Global Flags]\n00=<au\tto>\n01=<o\x01wn>\n02=Owned\tby\n"
      "[Access Mode]\n00=al\tlow\n[Inheritance]\n00=N\x7fP\n";
  const std::vector<std::vector<const char*>> views = {
      {},
      {"/o"},
      {"/explicit", "/o"},
      {"/who:Users", "/who:odd\\011name\\012"}};
  for (const char* terms : {"", kCustom, kControls}) {
    for (const auto& v : views) {
      SCOPED_TRACE(std::string(terms).substr(0, 14) + (v.empty() ? "" : v[0]));
      if (*terms) s.files["/opt/vesk/vesk.cfg"] = terms;
      ASSERT_EQ(0, run(walk(v)));
      const std::string blocks = fake::output();
      EXPECT_NE("", blocks);
      std::vector<const char*> flat = v;
      flat.push_back("/tsv");
      ASSERT_EQ(0, run(walk(flat)));
      std::string error;
      const bool owner = !v.empty() && std::string(v.back()) == "/o";
      EXPECT_EQ(blocks, test::blocksFromFlat(
                            fake::output(),
                            owner ? printedTerm(kGlobalFlags, 2) : "", &error));
      EXPECT_EQ("", error);
    }
  }
}

}  // namespace
}  // namespace vesk
