// The Linux layer's operations that need no NTFS volume.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/linux_internal.h"
#include "platform/platform.h"
#include "sd/well_known_sids.h"
#include "support/descriptor_builder.h"
#include "support/platform_agreement.h"

namespace vesk {
namespace platform {
namespace {

namespace fs = std::filesystem;

const Sid* asSid(const std::vector<uint8_t>& bytes) {
  return reinterpret_cast<const Sid*>(bytes.data());
}

// A few names as Microsoft documents them, one or two per authority and
// domain, written here rather than taken from the layer's table; then the
// Unix accounts, which come from the system's databases.
TEST(LookupAccountSid, NamesWellKnownAndUnixAccounts) {
  const char* cases[][3] = {
      {"S-1-0-0", "NULL SID", ""},
      {"S-1-1-0", "Everyone", ""},
      {"S-1-3-0", "CREATOR OWNER", ""},
      {"S-1-5-11", "Authenticated Users", "NT AUTHORITY"},
      {"S-1-5-18", "SYSTEM", "NT AUTHORITY"},
      {"S-1-5-32-544", "Administrators", "BUILTIN"},
      {"S-1-5-32-545", "Users", "BUILTIN"},
      {"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
       "TrustedInstaller", "NT SERVICE"},
      {"S-1-15-2-1", "ALL APPLICATION PACKAGES",
       "APPLICATION PACKAGE AUTHORITY"},
      {"S-1-22-1-0", "root", "Unix User"},
      {"S-1-22-2-0", "root", "Unix Group"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c[0]);
    std::vector<uint8_t> sid = test::sidBytes(c[0]);
    char name[260] = "?";
    char domain[260] = "?";
    ASSERT_TRUE(lookupAccountSid("", asSid(sid), name, sizeof name, domain,
                                 sizeof domain))
        << getLastError();
    EXPECT_STREQ(name, c[1]);
    EXPECT_STREQ(domain, c[2]);
  }
}

// Every row of the table is reached through the SID's bytes: its text is
// the canonical form (a typo such as "S-1-5-032-544" would never match),
// it appears once, and its name fits the callers' 260-byte buffers.
TEST(LookupAccountSid, EveryWellKnownRowIsNamedFromItsBytes) {
  size_t count = 0;
  const WellKnownSid* rows = wellKnownSids(&count);
  ASSERT_GT(count, 0u);
  std::set<std::string> seen;
  for (size_t i = 0; i < count; ++i) {
    const WellKnownSid& row = rows[i];
    SCOPED_TRACE(row.sid);
    EXPECT_TRUE(seen.insert(row.sid).second) << "listed twice";
    std::vector<uint8_t> sid = test::sidBytes(row.sid);
    ASSERT_TRUE(isValidSid(asSid(sid)));
    EXPECT_EQ(sidString(asSid(sid)), row.sid);
    EXPECT_EQ(findWellKnownSid(row.sid), &row);
    char name[260] = "?";
    char domain[260] = "?";
    ASSERT_TRUE(lookupAccountSid("", asSid(sid), name, sizeof name, domain,
                                 sizeof domain))
        << getLastError();
    EXPECT_STREQ(name, row.name);
    EXPECT_STREQ(domain, row.domain);
    EXPECT_NE(name[0], '\0');
  }
}

TEST(LookupAccountSid, FailuresLeaveTheBuffersAlone) {
  struct Case {
    const char* system;
    const char* sid;
    uint32_t nameCapacity;
    uint32_t domainCapacity;
    uint32_t error;
  };
  const Case cases[] = {
      {"", "S-1-5-21-1-2-3-1001", 260, 260, kErrorNoneMapped},
      {"", "S-1-5-32-553", 260, 260, kErrorNoneMapped},
      {"", "S-1-22-1-4000000000", 260, 260, kErrorNoneMapped},
      {"", "S-1-22-3-0", 260, 260, kErrorNoneMapped},
      {"fs01", "S-1-5-18", 260, 260, kErrorRpcServerUnavailable},
      {"", "S-1-5-18", 6, 260, kErrorInsufficientBuffer},  // "SYSTEM" + NUL
      {"", "S-1-5-18", 7, 12, kErrorInsufficientBuffer},   // "NT AUTHORITY"
      {"", "S-1-1-0", 0, 260, kErrorInsufficientBuffer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.system << " " << c.sid << " " << c.nameCapacity);
    std::vector<uint8_t> sid = test::sidBytes(c.sid);
    char name[260] = "name";
    char domain[260] = "domain";
    EXPECT_FALSE(lookupAccountSid(c.system, asSid(sid), name, c.nameCapacity,
                                  domain, c.domainCapacity));
    EXPECT_EQ(getLastError(), c.error);
    EXPECT_STREQ(name, "name");
    EXPECT_STREQ(domain, "domain");
  }
}

TEST(LookupAccountSid, ExactFitSucceeds) {
  std::vector<uint8_t> sid = test::sidBytes("S-1-5-18");
  char name[7];
  char domain[13];
  EXPECT_TRUE(lookupAccountSid("", asSid(sid), name, sizeof name, domain,
                               sizeof domain));
  EXPECT_STREQ(name, "SYSTEM");
  EXPECT_STREQ(domain, "NT AUTHORITY");
}

TEST(Sids, ValidityAndText) {
  struct Case {
    std::vector<uint8_t> bytes;
    bool valid;
    const char* text;
  };
  std::vector<uint8_t> sixteen = test::sidBytes("S-1-5-1-2-3-4-5-6-7-8-9-10");
  sixteen[1] = 16;
  sixteen.resize(8 + 16 * 4, 0);
  std::vector<uint8_t> revision2 = test::sidBytes("S-1-5-18");
  revision2[0] = 2;
  const Case cases[] = {
      {test::sidBytes("S-1-5-18"), true, "S-1-5-18"},
      {test::sidBytes("S-1-5"), true, "S-1-5"},
      {test::sidBytes("S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15"), true,
       "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15"},
      {sixteen, false, ""},
      {revision2, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(isValidSid(asSid(c.bytes)), c.valid);
    EXPECT_EQ(sidString(asSid(c.bytes)), c.text);
  }
  EXPECT_FALSE(isValidSid(nullptr));
  EXPECT_EQ(sidString(nullptr), "");
}

TEST(Mbsicmp, FoldsAsciiLettersOnly) {
  std::vector<test::CompareCase> cases = test::asciiCompareCases();
  // Bytes above 0x7F are compared as they are.
  cases.push_back({"\xE9", "\xC9", 1});
  cases.push_back({"\xE9", "z", 1});
  test::expectComparisons(cases);
}

class Scratch : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() /
        ("vesk-posix-" +
         std::to_string(std::hash<std::string>()(
             testing::UnitTest::GetInstance()->current_test_info()->name())));
    fs::remove_all(dir_);
    fs::create_directory(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

// Lines as /proc/self/mounts writes them, blanks, tabs and backslashes
// escaped as \ooo.
TEST_F(Scratch, MountTableNamesNetworkSharesTheWindowsWay) {
  struct Case {
    const char* line;
    const char* remote;  // nullptr: not a network share
  };
  const Case cases[] = {
      {"//fs01/home /mnt/home cifs rw,relatime 0 0", "\\\\fs01\\home"},
      {"//nas/data/sub /mnt/d smb3 rw 0 0", "\\\\nas\\data\\sub"},
      {"//nas/my\\040share /mnt/s cifs rw 0 0", "\\\\nas\\my share"},
      {"//nas/a\\134b /mnt/s cifs rw 0 0", "\\\\nas\\a\\b"},
      {"//nas/tab\\011x /mnt/s cifs rw 0 0", "\\\\nas\\tab\tx"},
      {"/dev/vda1 / ext4 rw 0 0", nullptr},
      {"server:/export /mnt/nfs nfs4 rw 0 0", nullptr},
      {"//fs01/home /mnt/cifs fuse.sshfs rw 0 0", nullptr},
      {"//fs01/home /mnt/home cifsx rw 0 0", nullptr},
      {"", nullptr},
      {"//fs01/home", nullptr},
  };
  const fs::path table = dir_ / "mounts";
  std::vector<std::string> all;
  std::string whole;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::ofstream(table) << c.line << "\n";
    std::vector<std::string> remotes;
    ASSERT_TRUE(readNetworkShares(table.c_str(), &remotes));
    if (c.remote == nullptr) {
      EXPECT_TRUE(remotes.empty());
    } else {
      EXPECT_EQ(remotes, std::vector<std::string>{c.remote});
      all.push_back(c.remote);
    }
    whole += std::string(c.line) + "\n";
  }
  // All lines in one table: the shares in table order.
  std::ofstream(table) << whole;
  std::vector<std::string> remotes;
  ASSERT_TRUE(readNetworkShares(table.c_str(), &remotes));
  EXPECT_EQ(remotes, all);
  EXPECT_FALSE(readNetworkShares((dir_ / "absent").c_str(), &remotes));
}

TEST(NetEnum, EnumerationEndsWithNoMoreItems) {
  NetEnum* handle = nullptr;
  ASSERT_EQ(wnetOpenEnum(&handle), kErrorSuccess);
  ASSERT_NE(handle, nullptr);
  std::string remote;
  int shares = 0;
  uint32_t status;
  while ((status = wnetEnumResource(handle, &remote)) == kErrorSuccess) {
    EXPECT_EQ(remote.rfind("\\\\", 0), 0u) << remote;
    ASSERT_LT(++shares, 10000);
  }
  EXPECT_EQ(status, kErrorNoMoreItems);
  EXPECT_EQ(wnetEnumResource(handle, &remote), kErrorNoMoreItems);
  wnetCloseEnum(handle);
}

TEST_F(Scratch, TermsFileOpensFilesButNotDirectories) {
  std::ofstream(dir_ / "terms.txt") << "FC=Full\n";
  FILE* file = openTermsFile((dir_ / "terms.txt").c_str());
  ASSERT_NE(file, nullptr);
  char line[32] = "";
  EXPECT_NE(std::fgets(line, sizeof line, file), nullptr);
  EXPECT_STREQ(line, "FC=Full\n");
  std::fclose(file);
  EXPECT_EQ(openTermsFile(dir_.c_str()), nullptr);
  EXPECT_EQ(openTermsFile((dir_ / "absent").c_str()), nullptr);
}

TEST(MessageBox, WritesOneLineToStandardError) {
  testing::internal::CaptureStderr();
  messageBox("50% done %s", "VESK 1.00", AlertIcon::Error);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "VESK 1.00: 50% done %s\n");
}

TEST(ModuleFileName, IsThisTestProgram) {
  std::string path = moduleFileName();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path[0], '/');
  EXPECT_TRUE(fs::equivalent(path, "/proc/self/exe"));
}

TEST(LocalClock, GivesADateAndAClockTime) { test::expectLocalClockIsADate(); }

}  // namespace
}  // namespace platform
}  // namespace vesk
