#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "temp_stream.h"
#include "terms/terms.h"

namespace vesk {
namespace {

struct Change {
  TermsSection section;
  int index;
  std::string text;
};

using Table = std::vector<std::vector<std::string>>;

Table snapshot() {
  Table table(kSectionCount);
  for (int s = 0; s < kSectionCount; ++s) {
    for (int i = 0; i < kSections[s].count; ++i) {
      table[s].push_back(term(static_cast<TermsSection>(s), i));
    }
  }
  return table;
}

// The whole table must be the defaults except for the listed entries.
void expectTable(const Table& defaults, const std::vector<Change>& changes) {
  Table expected = defaults;
  for (const Change& change : changes) {
    expected[change.section][change.index] = change.text;
  }
  const Table actual = snapshot();
  for (int s = 0; s < kSectionCount; ++s) {
    for (int i = 0; i < kSections[s].count; ++i) {
      EXPECT_EQ(expected[s][i], actual[s][i])
          << kSections[s].header << " entry " << i;
    }
  }
}

// Reads text as a configuration file into freshly reset terms.
bool readText(const std::string& text, std::string* badLine) {
  FILE* stream = vesk_test::streamWith(text);
  if (stream == nullptr) {
    ADD_FAILURE() << "no temporary file";
    return false;
  }
  const bool good = readTerms(stream, badLine);
  std::fclose(stream);
  return good;
}

struct ReadCase {
  const char* name;
  std::string text;
  std::vector<Change> changes;
  const char* badLine;  // nullptr: the file reads without error
};

TEST(TermsConfigTest, ReadsFilesRuleByRule) {
  const std::string longComment = ";" + std::string(258, 'c');
  const char withNul[] = "[Access Mode]\n00=Al\0low\n01=Deny\n";
  const ReadCase cases[] = {
      {"replacing modes and owner label",
       "[Access Mode]\n00=Allow\n01=Deny\n[Global Flags]\n00=<inherited>\n"
       "01=<not inherited>\n02=Owner is\n",
       {{kAccessMode, 0, "Allow"},
        {kAccessMode, 1, "Deny"},
        {kGlobalFlags, 2, "Owner is"}},
       nullptr},
      {"comments and short lines take no index",
       "[Access Mode]\n\n00=Allow\n;[Global Flags]\n;01=Nope\n01=Deny\n",
       {{kAccessMode, 0, "Allow"}, {kAccessMode, 1, "Deny"}},
       nullptr},
      {"index out of order keeps the defaults",
       "[Access Mode]\n01=Deny\n00=Allow\n",
       {},
       "01=Deny"},
      {"header case is ignored",
       "[inheritance]\n00=none\n[ACCESS mode]\n0=Allow\n",
       {{kInheritance, 0, "none"}, {kAccessMode, 0, "Allow"}},
       nullptr},
      {"a bracket in a value deselects",
       "[Access Mode]\n00=Allow\n00=[none]\n01=Deny\n[Generic Permissions]\n"
       "00=All\n",
       {{kAccessMode, 0, "Allow"}, {kGenericPermissions, 0, "All"}},
       nullptr},
      {"a header with more text selects nothing",
       "[Access Mode] \n00=Allow\n[Nothing]\n00=Allow\n",
       {},
       nullptr},
      {"an empty value is no entry",
       "[Standard Permissions]\n00=Full\n01=\n01=Change\n",
       {{kStandardPermissions, 0, "Full"}, {kStandardPermissions, 1, "Change"}},
       nullptr},
      {"a three-digit index is no entry",
       "[Access Mode]\n123=X\n000=Y\n00=Allow\n",
       {{kAccessMode, 0, "Allow"}},
       nullptr},
      {"one digit or two",
       "[Inheritance]\n00=a\n1=b\n02=c\n3=d\n04=e\n5=f\n",
       {{kInheritance, 0, "a"},
        {kInheritance, 1, "b"},
        {kInheritance, 2, "c"},
        {kInheritance, 3, "d"},
        {kInheritance, 4, "e"},
        {kInheritance, 5, "f"}},
       nullptr},
      {"a sign is one of the two characters",
       "[Access Mode]\n +0=Allow\n+12=X\n  -1=Deny\n",
       {{kAccessMode, 0, "Allow"}},
       "  -1=Deny"},
      {"a repeated header counts from zero again",
       "[Access Mode]\n00=Allow\n[Global Flags]\n00=Inh\n[access mode]\n"
       "00=Grant\n01=Refuse\n",
       {{kAccessMode, 0, "Grant"},
        {kAccessMode, 1, "Refuse"},
        {kGlobalFlags, 0, "Inh"}},
       nullptr},
      {"CRLF line ends and blanks kept",
       "[Access Mode]\r\n00= Allow  all \r\n01=Deny \r\n",
       {{kAccessMode, 0, " Allow  all "}, {kAccessMode, 1, "Deny "}},
       nullptr},
      {"entries beyond the count are ignored",
       "[Access Mode]\n00=a\n01=b\n02=c\n07=d\n",
       {{kAccessMode, 0, "a"}, {kAccessMode, 1, "b"}},
       nullptr},
      {"entries before any header are ignored",
       "01=Zero\n00=Zero\n[Access Mode]\n00=Allow\n",
       {{kAccessMode, 0, "Allow"}},
       nullptr},
      {"the rest of a long line is a line of its own",
       "[Access Mode]\n00=Allow\n" + longComment + "01=Deny\n",
       {{kAccessMode, 0, "Allow"}, {kAccessMode, 1, "Deny"}},
       nullptr},
      {"a long line's lone terminator is skipped",
       "[Access Mode]\n00=Allow\n" + longComment + "\n01=Deny\n",
       {{kAccessMode, 0, "Allow"}, {kAccessMode, 1, "Deny"}},
       nullptr},
      {"a NUL byte ends the line",
       std::string(withNul, sizeof withNul - 1),
       {{kAccessMode, 0, "Al"}, {kAccessMode, 1, "Deny"}},
       nullptr},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    resetRun();
    const Table defaults = snapshot();
    std::string badLine;
    const bool good = readText(c.text, &badLine);
    EXPECT_EQ(c.badLine == nullptr, good);
    if (c.badLine != nullptr) {
      EXPECT_EQ(c.badLine, badLine);
    }
    expectTable(defaults, c.changes);
  }
}

TEST(TermsConfigTest, RefusesValuesLongerThanTheirField) {
  // Visible characters a field holds once the separator is appended.
  struct Limit {
    const char* header;
    TermsSection section;
    size_t room;
  };
  const Limit limits[] = {
      {"[Global Flags]", kGlobalFlags, 63},
      {"[Access Mode]", kAccessMode, 31},
      {"[Standard Permissions]", kStandardPermissions, 28},
      {"[Special Permissions]", kSpecialPermissions, 44},
      {"[Generic Permissions]", kGenericPermissions, 28},
      {"[Inheritance]", kInheritance, 47},
  };
  for (const Limit& limit : limits) {
    SCOPED_TRACE(limit.header);
    const std::string fits = "00=" + std::string(limit.room, 'v');
    const std::string tooLong = "01=" + std::string(limit.room + 1, 'w');

    resetRun();
    const Table defaults = snapshot();
    std::string badLine;
    EXPECT_FALSE(readText(
        std::string(limit.header) + "\n" + fits + "\n" + tooLong + "\n",
        &badLine));
    EXPECT_EQ(tooLong, badLine);
    expectTable(defaults, {{limit.section, 0, std::string(limit.room, 'v')}});
  }
}

TEST(TermsConfigTest, ReportsTheFirstPieceOfAnOverlongLine) {
  resetRun();
  std::string badLine;
  EXPECT_FALSE(
      readText("[Global Flags]\n00=" + std::string(300, 'v') + "\n", &badLine));
  EXPECT_EQ("00=" + std::string(256, 'v'), badLine);
}

class TermsLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    resetRun();
    appendSeparators();
    separated_ = snapshot();
    resetRun();
  }

  Table separated_;  // what loading leaves when the file changes nothing
};

TEST_F(TermsLoadTest, AbsentFileLeavesDefaultsWithSeparators) {
  fake::script().executable = "/opt/vesk/vesk";
  loadTerms();
  expectTable(separated_, {});
  EXPECT_TRUE(fake::record().alerts.empty());
}

TEST_F(TermsLoadTest, UnknownExecutableReadsNoFile) {
  fake::script().executable = "";
  fake::script().files[".cfg"] = "[Access Mode]\n00=Allow\n";
  loadTerms();
  expectTable(separated_, {});
}

TEST_F(TermsLoadTest, ReadsTheFileBesideTheExecutable) {
  fake::script().executable = "C:\\tools.d\\vesk.exe";
  fake::script().files["C:\\tools.d\\vesk.cfg"] =
      "[Standard Permissions]\n00=Full\n[Access Mode]\n00=Allow\n";
  loadTerms();
  expectTable(separated_, {{kStandardPermissions, 0, "Full + "},
                           {kAccessMode, 0, "Allow"}});
  EXPECT_TRUE(fake::record().alerts.empty());
}

TEST_F(TermsLoadTest, BadLineIsShownAndEarlierEntriesStay) {
  fake::script().executable = "/opt/vesk/vesk";
  fake::script().files["/opt/vesk/vesk.cfg"] =
      "[Special Permissions]\n00=List\n[Access Mode]\n01=Deny\n00=Allow\n";
  loadTerms();
  expectTable(separated_, {{kSpecialPermissions, 0, "List + "}});
  const std::vector<std::string> alerts = {"Error in Line|01=Deny|E"};
  EXPECT_EQ(alerts, fake::record().alerts);
}

}  // namespace
}  // namespace vesk
