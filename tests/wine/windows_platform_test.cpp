// The Windows layer against the real calls: on Windows, or under Wine by
// scripts/windows-build. Calls that Wine only stubs (they answer 120) skip
// there and run on Windows.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/descriptor_builder.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using namespace platform;

constexpr size_t kMaxPath = 260;

const Sid* asSid(const std::vector<uint8_t>& bytes) {
  return reinterpret_cast<const Sid*>(bytes.data());
}

const SecurityDescriptor* asDescriptor(const std::vector<uint8_t>& bytes) {
  return reinterpret_cast<const SecurityDescriptor*>(bytes.data());
}

// "C:\" and components of at most 200 characters, length characters in all.
std::string pathOfLength(size_t length) {
  std::string path = "C:\\";
  while (path.size() < length) {
    size_t room = length - path.size();
    if (room > 201) {
      path += std::string(200, 'z') + "\\";
    } else {
      path += std::string(room, 'z');
    }
  }
  return path;
}

std::string readBinary(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder under the temporary directory, removed afterwards.
class WindowsPlatformTest : public testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo* info =
        testing::UnitTest::GetInstance()->current_test_info();
    root_ = fs::temp_directory_path() / (std::string("vesk-") + info->name() +
                                         "-" + std::to_string(std::rand()));
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override {
    fs::current_path(fs::temp_directory_path());
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  std::string path(const std::string& name) const {
    return (root_ / name).string();
  }
  void makeFile(const std::string& name) { std::ofstream(root_ / name) << "x"; }

  fs::path root_;
};

TEST_F(WindowsPlatformTest, NamedSecurityInfoStatuses) {
  makeFile("present.txt");
  struct Case {
    std::string path;
    uint32_t status;
  } cases[] = {
      {path("present.txt"), kErrorSuccess},
      {path("absent.txt"), kErrorFileNotFound},
      {path("absent\\absent.txt"), kErrorPathNotFound},
      {pathOfLength(kMaxPath - 1), kErrorPathNotFound},
      {pathOfLength(kMaxPath), kErrorFilenameTooLong},
      {pathOfLength(kMaxPath + 40), kErrorFilenameTooLong},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    SecurityDescriptor* sd = nullptr;
    EXPECT_EQ(c.status, getNamedSecurityInfo(c.path.c_str(), &sd));
    EXPECT_EQ(c.status == kErrorSuccess, sd != nullptr);
    localFree(sd);
  }
}

TEST_F(WindowsPlatformTest, DescriptorOfAFileHasItsParts) {
  makeFile("f.txt");
  SecurityDescriptor* sd = nullptr;
  ASSERT_EQ(kErrorSuccess, getNamedSecurityInfo(path("f.txt").c_str(), &sd));
  bool present = false;
  bool defaulted = true;
  const Acl* dacl = nullptr;
  ASSERT_TRUE(getSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_NE(nullptr, dacl);
  const Sid* owner = nullptr;
  ASSERT_TRUE(getSecurityDescriptorOwner(sd, &owner, &defaulted));
  EXPECT_TRUE(isValidSid(owner));
  EXPECT_EQ(0u, sidString(owner).rfind("S-1-", 0)) << sidString(owner);
  uint16_t control = 0;
  uint32_t revision = 0;
  ASSERT_TRUE(getSecurityDescriptorControl(sd, &control, &revision));
  EXPECT_EQ(kSeSelfRelative | kSeDaclPresent,
            control & (kSeSelfRelative | kSeDaclPresent));
  EXPECT_EQ(1u, revision);
  localFree(sd);
}

// Descriptors built byte by byte go through the same calls.
TEST(WindowsDescriptorTest, ControlOwnerAndDaclOfBuiltDescriptors) {
  struct Case {
    const char* name;
    test::DescriptorSpec spec;
    bool daclPresent;
    bool daclNull;
  } cases[] = {
      {"protected, auto-inherited",
       {0x1404, "S-1-5-32-544", "S-1-5-18", true, {}, 0},
       true,
       false},
      {"NULL DACL", {0x0004, "S-1-5-18", "", false, {}, 0}, true, true},
      {"no DACL", {0x0000, "", "", false, {}, 0}, false, true},
      {"parts behind a gap",
       {0x0004, "S-1-5-18", "S-1-5-18", true, {}, 16},
       true,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = test::buildDescriptor(c.spec);
    const SecurityDescriptor* sd = asDescriptor(bytes);
    uint16_t control = 0;
    uint32_t revision = 0;
    ASSERT_TRUE(getSecurityDescriptorControl(sd, &control, &revision));
    EXPECT_EQ(c.spec.control | kSeSelfRelative, control);
    bool present = !c.daclPresent;
    bool defaulted = true;
    const Acl* dacl = nullptr;
    ASSERT_TRUE(getSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
    EXPECT_EQ(c.daclPresent, present);
    if (c.daclPresent) {
      EXPECT_EQ(c.daclNull, dacl == nullptr);
    }
    EXPECT_FALSE(defaulted);
    const Sid* owner = nullptr;
    ASSERT_TRUE(getSecurityDescriptorOwner(sd, &owner, &defaulted));
    EXPECT_EQ(c.spec.owner.empty() ? "" : c.spec.owner, sidString(owner));
  }
}

TEST(WindowsDescriptorTest, NullDaclHasNoEntries) {
  uint32_t count = 7;
  ExplicitAccess* entries = reinterpret_cast<ExplicitAccess*>(&count);
  EXPECT_EQ(kErrorSuccess,
            getExplicitEntriesFromAcl(nullptr, &count, &entries));
  EXPECT_EQ(0u, count);
  EXPECT_EQ(nullptr, entries);
}

TEST(WindowsDescriptorTest, ExplicitEntriesAreCopiedWithTheirSids) {
  test::DescriptorSpec spec;
  spec.owner = "S-1-5-32-544";
  spec.aces = {
      {test::kDenied, 0x00, 0x00100116, "S-1-5-32-546"},
      {test::kAllowed, 0x03, 0x001f01ff, "S-1-5-18"},
      {test::kAllowed, 0x0b, 0x10000000, "S-1-3-0"},
      {test::kAllowed, 0x04, 0x001200a9, "S-1-5-21-1-2-3-1001"},
  };
  std::vector<uint8_t> bytes = test::buildDescriptor(spec);
  bool present = false;
  bool defaulted = false;
  const Acl* dacl = nullptr;
  ASSERT_TRUE(getSecurityDescriptorDacl(asDescriptor(bytes), &present, &dacl,
                                        &defaulted));
  uint32_t count = 0;
  ExplicitAccess* entries = nullptr;
  uint32_t status = getExplicitEntriesFromAcl(dacl, &count, &entries);
  if (status == kErrorCallNotImplemented) {
    GTEST_SKIP() << "GetExplicitEntriesFromAclA is a stub here (Wine)";
  }
  ASSERT_EQ(kErrorSuccess, status);
  ASSERT_EQ(spec.aces.size(), count);
  for (uint32_t i = 0; i < count; ++i) {
    const test::AceSpec& ace = spec.aces[i];
    SCOPED_TRACE(ace.sid);
    EXPECT_EQ(ace.mask, entries[i].accessPermissions);
    EXPECT_EQ(ace.type == test::kDenied ? kDenyAccess : kGrantAccess,
              entries[i].accessMode);
    EXPECT_EQ(ace.flags, entries[i].inheritance);
    EXPECT_EQ(TrusteeForm::Sid, entries[i].trustee.form);
    EXPECT_EQ(ace.sid, sidString(entries[i].trustee.sid));
    // The copies lie inside the one block, which is all that is released.
    const char* begin = reinterpret_cast<const char*>(entries);
    const char* sid = reinterpret_cast<const char*>(entries[i].trustee.sid);
    EXPECT_GE(sid, begin + sizeof(ExplicitAccess) * count);
  }
  localFree(entries);
}

TEST(WindowsDescriptorTest, DescriptorPartsKeepTheirTrusteeForms) {
  test::DescriptorSpec spec;
  spec.control = 0x0404;
  spec.owner = "S-1-5-32-544";
  spec.group = "S-1-5-18";
  spec.aces = {
      {test::kAllowed, 0x13, 0x001f01ff, "S-1-5-18"},
      {test::kAllowed, 0x10, 0x00120089, "S-1-5-32-545"},
  };
  std::vector<uint8_t> bytes = test::buildDescriptor(spec);
  Trustee* owner = nullptr;
  Trustee* group = nullptr;
  uint32_t count = 0;
  ExplicitAccess* entries = nullptr;
  uint32_t status = lookupSecurityDescriptorParts(
      &owner, &group, &count, &entries, asDescriptor(bytes));
  if (status == kErrorCallNotImplemented) {
    GTEST_SKIP() << "LookupSecurityDescriptorPartsA is a stub here (Wine)";
  }
  ASSERT_EQ(kErrorSuccess, status);
  ASSERT_NE(nullptr, owner);
  ASSERT_NE(nullptr, group);
  for (const Trustee* trustee : {owner, group}) {
    if (trustee->form == TrusteeForm::Name) {
      ASSERT_NE(nullptr, trustee->name);
      EXPECT_NE(0u, std::strlen(trustee->name));
    } else if (trustee->form == TrusteeForm::Sid) {
      EXPECT_TRUE(isValidSid(trustee->sid));
    }
  }
  EXPECT_EQ(spec.aces.size(), count);
  for (uint32_t i = 0; i < count; ++i) {
    EXPECT_EQ(spec.aces[i].mask, entries[i].accessPermissions);
    EXPECT_EQ(kGrantAccess, entries[i].accessMode);
  }
  localFree(owner);
  localFree(group);
  localFree(entries);
}

TEST(WindowsAccountTest, SidsAndNames) {
  std::vector<uint8_t> system = test::sidBytes("S-1-5-18");
  EXPECT_TRUE(isValidSid(asSid(system)));
  EXPECT_EQ("S-1-5-18", sidString(asSid(system)));

  constexpr uint32_t kCapacity = 260;
  char name[kCapacity] = "stale";
  char domain[kCapacity] = "stale";
  ASSERT_TRUE(
      lookupAccountSid("", asSid(system), name, kCapacity, domain, kCapacity));
  EXPECT_STREQ("SYSTEM", name);

  EXPECT_FALSE(lookupAccountSid("", asSid(system), name, 2, domain, kCapacity));
  EXPECT_EQ(kErrorInsufficientBuffer, getLastError());

  std::vector<uint8_t> broken = system;
  broken[0] = 9;  // revision
  EXPECT_FALSE(isValidSid(asSid(broken)));
  EXPECT_EQ("", sidString(asSid(broken)));
  EXPECT_FALSE(isValidSid(nullptr));
  EXPECT_EQ(kErrorInvalidSid, getLastError());
  EXPECT_EQ("", sidString(nullptr));
}

TEST_F(WindowsPlatformTest, SearchGivesFullPathsAndKinds) {
  fs::create_directory(root_ / "sub");
  makeFile("file.txt");
  // A relative directory is resolved against the current one.
  fs::current_path(root_);
  std::string here = fs::current_path().string();
  for (const std::string& dir : {here, std::string("."), here + "\\"}) {
    SCOPED_TRACE(dir);
    std::map<std::string, FindEntry> found;
    FindEntry entry;
    FindHandle* search = findFirst(dir, &entry);
    ASSERT_NE(nullptr, search);
    do {
      found.emplace(entry.fullPath, entry);
    } while (findNext(search, &entry));
    FindEntry last = entry;
    EXPECT_FALSE(findNext(search, &entry));
    EXPECT_EQ(last.fullPath, entry.fullPath);
    findClose(search);

    int dots = 0;
    for (const auto& item : found) dots += item.second.dotOrDotDot ? 1 : 0;
    EXPECT_EQ(2, dots);  // "." and ".."
    ASSERT_EQ(1u, found.count(here + "\\sub"));
    EXPECT_TRUE(found[here + "\\sub"].directory);
    EXPECT_FALSE(found[here + "\\sub"].dotOrDotDot);
    ASSERT_EQ(1u, found.count(here + "\\file.txt"));
    EXPECT_FALSE(found[here + "\\file.txt"].directory);
    EXPECT_EQ(4u, found.size());
  }
}

TEST_F(WindowsPlatformTest, SearchesThatFindNothing) {
  struct Case {
    std::string dir;
    uint32_t lastError;  // 0: whatever the system says
  } cases[] = {
      {path("absent"), 0},
      {pathOfLength(kMaxPath - 4), kErrorFilenameTooLong},  // + "\*.*"
      {pathOfLength(kMaxPath + 100), kErrorFilenameTooLong},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir);
    FindEntry entry;
    EXPECT_EQ(nullptr, findFirst(c.dir, &entry));
    if (c.lastError != 0) {
      EXPECT_EQ(c.lastError, getLastError());
    }
  }
}

TEST(WindowsProcessTest, ModuleFileNameIsTheTestExecutable) {
  std::string path = moduleFileName();
  ASSERT_GT(path.size(), 3u);
  EXPECT_EQ(":\\", path.substr(1, 2)) << path;
  std::string tail = path.substr(path.rfind('\\') + 1);
  EXPECT_EQ(0, mbsicmp("vesk_windows_tests.exe", tail.c_str())) << path;
}

TEST(WindowsProcessTest, LocalClockIsADateAndATime) {
  LocalTime now = localClock();
  EXPECT_GE(now.year, 2020);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_GE(now.day, 1);
  EXPECT_LE(now.day, 31);
  EXPECT_TRUE(std::regex_match(now.time, std::regex("[0-2][0-9]:[0-5][0-9]:"
                                                    "[0-5][0-9]")))
      << now.time;
}

TEST(WindowsProcessTest, CaseInsensitiveComparison) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"Administrators", "administrators", 0},
      {"\tSYSTEM\tA", "\tsystem\ta", 0},
      {"alpha", "BETA", -1},
      {"Beta", "alpha", 1},
      {"abc", "abcd", -1},
      {"", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " | " + c.b);
    int result = mbsicmp(c.a, c.b);
    EXPECT_EQ(c.sign, result < 0 ? -1 : result > 0 ? 1 : 0);
  }
}

TEST_F(WindowsPlatformTest, TextFilesUseCrLf) {
  FILE* log = createLogFile(path("run.log").c_str());
  ASSERT_NE(nullptr, log);
  EXPECT_FALSE(isTerminal(log));
  std::fputs("one\ntwo\n", log);
  std::fclose(log);
  EXPECT_EQ("one\r\ntwo\r\n", readBinary(root_ / "run.log"));

  FILE* terms = openTermsFile(path("run.log").c_str());
  ASSERT_NE(nullptr, terms);
  char line[16] = {};
  ASSERT_NE(nullptr, std::fgets(line, static_cast<int>(sizeof line), terms));
  EXPECT_STREQ("one\n", line);
  std::fclose(terms);
}

TEST_F(WindowsPlatformTest, FilesThatCannotBeOpened) {
  fs::create_directory(root_ / "dir");
  EXPECT_EQ(nullptr, openTermsFile(path("dir").c_str()));
  EXPECT_EQ(nullptr, openTermsFile(path("absent.cfg").c_str()));
  EXPECT_EQ(nullptr, createLogFile(path("absent\\run.log").c_str()));
  EXPECT_EQ(nullptr, createLogFile(""));
}

}  // namespace
}  // namespace vesk
