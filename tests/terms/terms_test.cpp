#include "terms/terms.h"

#include <gtest/gtest.h>

#include <string>

namespace vesk {
namespace {

TEST(TermsTableTest, SeparatorsFollowPermissionTermsOnly) {
  resetRun();
  std::string before[kSectionCount][13];
  for (int s = 0; s < kSectionCount; ++s) {
    for (int i = 0; i < kSections[s].count; ++i) {
      before[s][i] = term(static_cast<TermsSection>(s), i);
    }
  }
  appendSeparators();
  const bool separated[kSectionCount] = {false, false, true, true, true, false};
  for (int s = 0; s < kSectionCount; ++s) {
    for (int i = 0; i < kSections[s].count; ++i) {
      SCOPED_TRACE(std::string(kSections[s].header) + " " + std::to_string(i));
      EXPECT_EQ(before[s][i] + (separated[s] ? " + " : ""),
                term(static_cast<TermsSection>(s), i));
    }
  }
  resetRun();
  EXPECT_STREQ("FC", term(kStandardPermissions, 0));
}

TEST(TermsTableTest, ConfigurationFileNameReplacesTheExtension) {
  struct Case {
    const char* executable;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\Tools\\vesk.exe", "C:\\Tools\\vesk.cfg"},
      {"/x/build/vesk", "/x/build/vesk.cfg"},
      {"C:\\a.b\\vesk.exe", "C:\\a.b\\vesk.cfg"},
      {"/opt/v.1/vesk", "/opt/v.1/vesk.cfg"},
      {"C:\\a.b/vesk", "C:\\a.b/vesk.cfg"},
      {"C:\\a.b\\vesk", "C:\\a.b\\vesk.cfg"},
      {"/x/vesk.tar.gz", "/x/vesk.tar.cfg"},
      {"/x/vesk.", "/x/vesk.cfg"},
      {"vesk.exe", "vesk.cfg"},
      {"vesk", "vesk.cfg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.executable);
    EXPECT_EQ(c.expected, termsFileName(c.executable));
  }
}

}  // namespace
}  // namespace vesk
