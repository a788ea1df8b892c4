// Objects an unattended audit meets on volumes nobody cleaned.
#include <vector>

#include "app/command_line.h"
#include "core/text.h"
#include "report/entry_format.h"
#include "support/descriptor_builder.h"
#include "support/fixture.h"

namespace vesk {
namespace {

using test::buildDescriptor;

TEST(PrintableTest, ControlBytesBecomeOctalAndBackslashesWhereNamesHoldThem) {
  struct Case {
    const char* text;
    const char* onWindows;  // "\\" separates parts of a path
    const char* onLinux;    // "\\" is a byte of a name
  };
  const Case cases[] = {
      {"plain", "plain", "plain"},
      {"a\tb", "a\\011b", "a\\011b"},
      {"line\nbreak\r", "line\\012break\\015", "line\\012break\\015"},
      {"\x01\x1f\x7f", "\\001\\037\\177", "\\001\\037\\177"},
      {"%s%n\\", "%s%n\\", "%s%n\\134"},
      {"tab\\011here", "tab\\011here", "tab\\134011here"},
      {"C:\\Data\\x", "C:\\Data\\x", "C:\\134Data\\134x"},
      {"caf\xe9 \xff", "caf\xe9 \xff", "caf\xe9 \xff"},  // not UTF-8: kept
      {"", "", ""},
  };
  for (bool separator : {true, false}) {
    fake::reset();
    fake::script().backslashIsSeparator = separator;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.text) + (separator ? " windows" : " linux"));
      EXPECT_EQ(separator ? c.onWindows : c.onLinux, printable(c.text));
    }
  }
  fake::reset();
}

class HostileTest : public test::CleanRun {
 protected:
  std::vector<uint8_t> good() {
    return buildDescriptor(
        {0x0004, "S-1-5-18", "", true, {{0, 0, 0x001F01FF, "S-1-5-18"}}});
  }
  int run(std::vector<const char*> args) {
    args.insert(args.begin(), "vesk");
    return runCommandLine(static_cast<int>(args.size()), args.data());
  }
};

// Damaged descriptors between good objects: each is logged and skipped.
TEST_F(HostileTest, DamagedDescriptorsAreSkippedAndTheirNeighboursPrinted) {
  std::vector<std::vector<uint8_t>> damaged;
  const std::vector<uint8_t> whole = good();
  for (size_t cut = 0; cut < whole.size(); ++cut)
    damaged.emplace_back(whole.begin(), whole.begin() + cut);
  std::vector<uint8_t> zeroAce = whole;
  zeroAce[whole.size() - 20 + 2] = 0;  // the ACE's size
  zeroAce[whole.size() - 20 + 3] = 0;
  damaged.push_back(zeroAce);
  std::vector<uint8_t> pastEnd = whole;
  pastEnd[16] = 0xF0;  // DACL offset
  damaged.push_back(pastEnd);

  std::vector<platform::FindEntry> entries;
  fake::script().objects["/v/a-good"].descriptor = whole;
  entries.push_back({"/v/a-good", false, false});
  for (size_t i = 0; i < damaged.size(); ++i) {
    const std::string path = "/v/bad" + std::to_string(i);
    fake::script().objects[path].descriptor = damaged[i];
    entries.push_back({path, false, false});
  }
  fake::script().objects["/v/z-good"].descriptor = whole;
  entries.push_back({"/v/z-good", false, false});
  fake::script().directories["/v"] = entries;
  fake::script().objects["/v"].descriptor = whole;
  fake::script().accounts["|S-1-5-18"] = "SYSTEM";

  EXPECT_EQ(0, run({"/v", "/readacl", "/f", "/l:log"}));
  EXPECT_EQ(
      "/v\t\n\tSYSTEM\tA\tFC\tNP\n\n"
      "/v/a-good\t\n\tSYSTEM\tA\tFC\tNP\n\n"
      "/v/z-good\t\n\tSYSTEM\tA\tFC\tNP\n\n",
      fake::output());
  const std::string log = fake::file("log");
  size_t refused = 0;
  for (size_t at = 0; (at = log.find("error: 1338\n", at)) != std::string::npos;
       ++at)
    ++refused;
  EXPECT_EQ(damaged.size(), refused);
  EXPECT_EQ(0, fake::record().liveBlocks);
}

TEST_F(HostileTest, NamesAreDataNeverFormats) {
  const std::string dir = "/v/%s%n\t%d\nnext";
  fake::script().objects[dir].descriptor = buildDescriptor(
      {0x0004, "S-1-5-21-9-9-9-1", "", true, {{0, 0, 1, "S-1-5-21-9-9-9-1"}}});
  fake::script().accounts["|S-1-5-21-9-9-9-1"] = "odd\tname %s";
  fake::script().uncreatable.insert("%s%n");
  EXPECT_EQ(0, run({dir.c_str(), "/readacl", "/o", "/l:%n"}));
  EXPECT_EQ(
      "/v/%s%n\\011%d\\012next\t\tOwner: odd\\011name %s\n"
      "\todd\\011name %s\tA\tLRD\tNP\n\n",
      fake::output());
  EXPECT_NE(
      std::string::npos,
      fake::file("%n").find("successfully for: /v/%s%n\\011%d\\012next\n"));
}

TEST_F(HostileTest, VanishedEntriesAreLoggedAndTheWalkGoesOn) {
  fake::script().objects["/v"].descriptor = good();
  fake::script().objects["/v/kept"].descriptor = good();
  fake::script().accounts["|S-1-5-18"] = "SYSTEM";
  // Listed, then gone before their turn; a directory that cannot be listed.
  fake::script().directories["/v"] = {{"/v/gone-file", false, false},
                                      {"/v/gone-dir", true, false},
                                      {"/v/kept", true, false}};
  EXPECT_EQ(0, run({"/v", "/readacl", "/s", "/f", "/l:log"}));
  EXPECT_EQ("/v\t\n\tSYSTEM\tA\tFC\tNP\n\n/v/kept\t\n\tSYSTEM\tA\tFC\tNP\n\n",
            fake::output());
  EXPECT_EQ((std::vector<std::string>{"/v", "/v/gone-dir", "/v/kept"}),
            fake::record().searched);
  const std::string log = fake::file("log");
  EXPECT_NE(std::string::npos, log.find("failed for: /v/gone-file\n"));
  EXPECT_NE(std::string::npos, log.find("failed for: /v/gone-dir\n"));
}

}  // namespace
}  // namespace vesk
