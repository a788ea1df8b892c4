// The Windows layer against the real calls: on Windows, or under Wine by
// scripts/windows-build (which runs it with the ANSI code page 1252).
#include "platform/windows/windows_internal.h"
// After windows.h, which they need.
#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sd/descriptor.h"
#include "support/descriptor_builder.h"
#include "support/platform_agreement.h"

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

// Removes a tree of any depth: std::filesystem stops at MAX_PATH here.
void removeTree(const std::wstring& dir) {
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(dir + L"\\" + name);
      } else {
        DeleteFileW((dir + L"\\" + name).c_str());
      }
    } while (FindNextFileW(search, &data));
    FindClose(search);
  }
  RemoveDirectoryW(dir.c_str());
}

// A fresh folder under the temporary directory, removed afterwards.
class WindowsPlatformTest : public testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo* info =
        testing::UnitTest::GetInstance()->current_test_info();
    root_ = fs::temp_directory_path() / (std::string("vesk-") + info->name() +
                                         "-" + std::to_string(std::rand()));
    removeTree(L"\\\\?\\" + root_.wstring());
    fs::create_directories(root_);
  }
  void TearDown() override {
    fs::current_path(fs::temp_directory_path());
    removeTree(L"\\\\?\\" + root_.wstring());
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
      // Long paths reach the file system: these folders do not exist.
      {pathOfLength(kMaxPath - 1), kErrorPathNotFound},
      {pathOfLength(kMaxPath), kErrorPathNotFound},
      {pathOfLength(kMaxPath + 40), kErrorPathNotFound},
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
  ASSERT_EQ(kErrorSuccess, getExplicitEntriesFromAcl(dacl, &count, &entries));
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
  ASSERT_EQ(kErrorSuccess,
            lookupSecurityDescriptorParts(&owner, &group, &count, &entries,
                                          asDescriptor(bytes)));
  // Owner and group by their bare names, as on Linux.
  ASSERT_NE(nullptr, owner);
  ASSERT_NE(nullptr, group);
  EXPECT_EQ(TrusteeForm::Name, owner->form);
  EXPECT_STREQ("Administrators", owner->name);
  EXPECT_EQ(TrusteeForm::Name, group->form);
  EXPECT_STREQ("SYSTEM", group->name);
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

// "C:" and "\*.*" make the pattern of the drive's root, as they always did.
TEST_F(WindowsPlatformTest, SearchOfADriveSearchesItsRoot) {
  fs::current_path(root_);
  std::set<std::string> found;
  FindEntry entry;
  FindHandle* search = findFirst("C:", &entry);
  ASSERT_NE(nullptr, search);
  do {
    found.insert(entry.fullPath);
  } while (findNext(search, &entry));
  findClose(search);
  EXPECT_EQ(1u, found.count("C:\\windows")) << *found.begin();
  EXPECT_EQ(0u, found.count(path("") + "windows"));
}

TEST_F(WindowsPlatformTest, SearchesThatFindNothing) {
  makeFile("file.txt");
  struct Case {
    std::string dir;
    uint32_t lastError;
  } cases[] = {
      {path("absent"), kErrorPathNotFound},
      {path("file.txt"), kErrorDirectory},
      {pathOfLength(kMaxPath - 4), kErrorPathNotFound},  // + "\*.*"
      {pathOfLength(kMaxPath + 100), kErrorPathNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir);
    FindEntry entry;
    EXPECT_EQ(nullptr, findFirst(c.dir, &entry));
    EXPECT_EQ(c.lastError, getLastError());
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
  test::expectLocalClockIsADate();
}

TEST(WindowsProcessTest, CaseInsensitiveComparison) {
  test::expectComparisons(test::asciiCompareCases());
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

// --- Entries of descriptors built with the system's own calls -------------

// One ACE as the test adds it.
struct AddedAce {
  enum Kind { Allowed, Denied, AllowedObject, DeniedObject } kind;
  DWORD flags;
  DWORD mask;
  const wchar_t* sid;
  bool objectType = false;     // object ACEs: an object type GUID
  bool inheritedType = false;  // object ACEs: an inherited object type GUID
};

struct BuiltCase {
  const char* name;
  std::vector<AddedAce> aces;
  bool nullDacl = false;
  SECURITY_DESCRIPTOR_CONTROL control = 0;  // auto-inherit and protect bits
  const wchar_t* owner = L"S-1-5-32-544";
  const wchar_t* group = L"S-1-5-18";
};

struct LocalSid {
  PSID sid = nullptr;
  explicit LocalSid(const wchar_t* text) { ConvertStringSidToSidW(text, &sid); }
  ~LocalSid() { LocalFree(sid); }
};

// An ACCESS_ALLOWED_OBJECT_ACE or ACCESS_DENIED_OBJECT_ACE: header, mask,
// flags, the GUIDs the flags name, the SID.
std::vector<uint8_t> objectAce(BYTE type, DWORD flags, DWORD mask,
                               const GUID* objectType,
                               const GUID* inheritedType, PSID sid) {
  std::vector<uint8_t> bytes(12);
  auto put = [&bytes](const void* data, size_t size) {
    const uint8_t* from = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), from, from + size);
  };
  DWORD present = 0;
  if (objectType) present |= ACE_OBJECT_TYPE_PRESENT;
  if (inheritedType) present |= ACE_INHERITED_OBJECT_TYPE_PRESENT;
  if (objectType) put(objectType, sizeof(GUID));
  if (inheritedType) put(inheritedType, sizeof(GUID));
  put(sid, GetLengthSid(sid));
  bytes[0] = type;
  bytes[1] = static_cast<BYTE>(flags);
  bytes[2] = static_cast<uint8_t>(bytes.size());
  bytes[3] = static_cast<uint8_t>(bytes.size() >> 8);
  std::memcpy(&bytes[4], &mask, 4);
  std::memcpy(&bytes[8], &present, 4);
  return bytes;
}

// The self-relative bytes of the descriptor the case describes, built with
// InitializeSecurityDescriptor, the Add*Ace calls and MakeSelfRelativeSD.
std::vector<uint8_t> selfRelative(const BuiltCase& c) {
  SECURITY_DESCRIPTOR absolute;
  EXPECT_TRUE(
      InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION));
  alignas(DWORD) uint8_t aclBuffer[1024];
  PACL acl = reinterpret_cast<PACL>(aclBuffer);
  EXPECT_TRUE(InitializeAcl(acl, static_cast<DWORD>(sizeof aclBuffer),
                            ACL_REVISION_DS));
  std::vector<std::unique_ptr<LocalSid>> sids;
  GUID objectType = {0x12345678, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}};
  GUID inheritedType = {0x0fedcba9, 0x8765, 0x4321, {8, 7, 6, 5, 4, 3, 2, 1}};
  for (const AddedAce& ace : c.aces) {
    sids.emplace_back(new LocalSid(ace.sid));
    PSID sid = sids.back()->sid;
    EXPECT_NE(nullptr, sid);
    GUID* type = ace.objectType ? &objectType : nullptr;
    GUID* inherited = ace.inheritedType ? &inheritedType : nullptr;
    BOOL added = FALSE;
    switch (ace.kind) {
      case AddedAce::Allowed:
        added = AddAccessAllowedAceEx(acl, ACL_REVISION_DS, ace.flags, ace.mask,
                                      sid);
        break;
      case AddedAce::Denied:
        added = AddAccessDeniedAceEx(acl, ACL_REVISION_DS, ace.flags, ace.mask,
                                     sid);
        break;
      case AddedAce::AllowedObject:
        added = AddAccessAllowedObjectAce(acl, ACL_REVISION_DS, ace.flags,
                                          ace.mask, type, inherited, sid);
        break;
      case AddedAce::DeniedObject:
        added = AddAccessDeniedObjectAce(acl, ACL_REVISION_DS, ace.flags,
                                         ace.mask, type, inherited, sid);
        break;
    }
    // Wine 8 has the two object calls as stubs (ERROR_INVALID_FUNCTION):
    // there the same ACE goes in through AddAce, laid out as they would.
    if (!added && GetLastError() == ERROR_INVALID_FUNCTION &&
        (ace.kind == AddedAce::AllowedObject ||
         ace.kind == AddedAce::DeniedObject)) {
      std::vector<uint8_t> bytes = objectAce(
          ace.kind == AddedAce::AllowedObject ? ACCESS_ALLOWED_OBJECT_ACE_TYPE
                                              : ACCESS_DENIED_OBJECT_ACE_TYPE,
          ace.flags, ace.mask, type, inherited, sid);
      added = AddAce(acl, ACL_REVISION_DS, MAXDWORD, bytes.data(),
                     static_cast<DWORD>(bytes.size()));
    }
    EXPECT_TRUE(added) << GetLastError();
  }
  EXPECT_TRUE(SetSecurityDescriptorDacl(&absolute, TRUE,
                                        c.nullDacl ? nullptr : acl, FALSE));
  LocalSid owner(c.owner);
  LocalSid group(c.group);
  EXPECT_TRUE(SetSecurityDescriptorOwner(&absolute, owner.sid, FALSE));
  EXPECT_TRUE(SetSecurityDescriptorGroup(&absolute, group.sid, FALSE));
  const SECURITY_DESCRIPTOR_CONTROL bits =
      SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED;
  EXPECT_TRUE(SetSecurityDescriptorControl(&absolute, bits, c.control));
  DWORD size = 0;
  MakeSelfRelativeSD(&absolute, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  EXPECT_TRUE(MakeSelfRelativeSD(&absolute, bytes.data(), &size));
  return bytes;
}

uint32_t modeOf(AddedAce::Kind kind) {
  return kind == AddedAce::Allowed || kind == AddedAce::AllowedObject
             ? kGrantAccess
             : kDenyAccess;
}

std::string narrow(const wchar_t* text) { return utf8Of(text); }

TEST(WindowsEntriesTest, SameEntriesAsThePortableReader) {
  const DWORD ci = CONTAINER_INHERIT_ACE, oi = OBJECT_INHERIT_ACE;
  const DWORD io = INHERIT_ONLY_ACE, inh = INHERITED_ACE;
  const BuiltCase cases[] = {
      {"allowed and denied, every inheritance",
       {{AddedAce::Denied, 0, 0x00100116, L"S-1-5-32-546"},
        {AddedAce::Allowed, ci | oi, 0x001f01ff, L"S-1-5-18"},
        {AddedAce::Allowed, io | ci | oi, GENERIC_ALL, L"S-1-3-0"},
        {AddedAce::Allowed, NO_PROPAGATE_INHERIT_ACE | ci, 0x001200a9,
         L"S-1-5-21-1-2-3-1001"},
        {AddedAce::Denied, inh | oi, 0x000d0116, L"S-1-1-0"}}},
      {"object ACEs: the SID behind the GUIDs",
       {{AddedAce::AllowedObject, ci, 0x00000130, L"S-1-5-11", true, false},
        {AddedAce::DeniedObject, 0, 0x00000010, L"S-1-5-7", true, true},
        {AddedAce::AllowedObject, inh | ci, 0x00000004, L"S-1-5-32-545", false,
         true},
        {AddedAce::AllowedObject, 0, 0x00020094, L"S-1-5-9", false, false}}},
      {"inherited, auto-inherited DACL",
       {{AddedAce::Allowed, inh | ci | oi, 0x001f01ff, L"S-1-5-32-544"},
        {AddedAce::Allowed, inh, 0x001200a9, L"S-1-5-32-545"}},
       false,
       SE_DACL_AUTO_INHERITED},
      {"protected and auto-inherited",
       {{AddedAce::Allowed, 0, 0x001f01ff, L"S-1-5-18"}},
       false,
       SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED},
      {"empty DACL", {}},
      {"NULL DACL", {}, true},
      {"owner nobody names",
       {{AddedAce::Allowed, 0, 0x001f01ff, L"S-1-5-21-9-9-9-4242"}},
       false,
       SE_DACL_AUTO_INHERITED,
       L"S-1-5-21-9-9-9-4242"},
  };
  for (const BuiltCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> bytes = selfRelative(c);
    const SecurityDescriptor* sd = asDescriptor(bytes);

    // The portable reader on the same bytes.
    DescriptorView view;
    ASSERT_EQ(kErrorSuccess,
              parseDescriptor(bytes.data(), bytes.size(), &view));
    uint32_t portableCount = 0;
    ExplicitAccess* portable = nullptr;
    ASSERT_EQ(kErrorSuccess,
              buildExplicitEntries(view.dacl, &portableCount, &portable));

    bool present = false;
    bool defaulted = false;
    const Acl* dacl = nullptr;
    ASSERT_TRUE(getSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_EQ(c.nullDacl, dacl == nullptr);
    uint32_t explicitCount = 99;
    ExplicitAccess* explicitEntries = nullptr;
    ASSERT_EQ(kErrorSuccess, getExplicitEntriesFromAcl(dacl, &explicitCount,
                                                       &explicitEntries));

    Trustee* owner = nullptr;
    Trustee* group = nullptr;
    uint32_t partsCount = 99;
    ExplicitAccess* partsEntries = nullptr;
    ASSERT_EQ(kErrorSuccess,
              lookupSecurityDescriptorParts(&owner, &group, &partsCount,
                                            &partsEntries, sd));
    ASSERT_NE(nullptr, owner);
    EXPECT_EQ(TrusteeForm::Name, owner->form);
    const std::string ownerText = narrow(c.owner);
    EXPECT_STREQ(
        ownerText == "S-1-5-32-544" ? "Administrators" : ownerText.c_str(),
        owner->name);
    ASSERT_NE(nullptr, group);
    EXPECT_STREQ("SYSTEM", group->name);

    ASSERT_EQ(c.aces.size(), portableCount);
    ASSERT_EQ(c.aces.size(), explicitCount);
    ASSERT_EQ(c.aces.size(), partsCount);
    EXPECT_EQ(c.aces.empty(), explicitEntries == nullptr);
    for (size_t i = 0; i < c.aces.size(); ++i) {
      SCOPED_TRACE(narrow(c.aces[i].sid));
      for (const ExplicitAccess* list : {explicitEntries, partsEntries}) {
        const ExplicitAccess& got = list[i];
        EXPECT_EQ(portable[i].accessPermissions, got.accessPermissions);
        EXPECT_EQ(portable[i].accessMode, got.accessMode);
        EXPECT_EQ(portable[i].inheritance, got.inheritance);
        EXPECT_EQ(TrusteeForm::Sid, got.trustee.form);
        EXPECT_EQ(sidString(portable[i].trustee.sid),
                  sidString(got.trustee.sid));
        // And what the test asked for, so that both readers cannot agree
        // on the same mistake.
        EXPECT_EQ(c.aces[i].mask, got.accessPermissions);
        EXPECT_EQ(modeOf(c.aces[i].kind), got.accessMode);
        EXPECT_EQ(c.aces[i].flags, got.inheritance);
        EXPECT_EQ(narrow(c.aces[i].sid), sidString(got.trustee.sid));
      }
    }
    std::free(portable);
    localFree(explicitEntries);
    localFree(partsEntries);
    localFree(owner);
    localFree(group);
  }
}

// GetAce walks by the sizes the ACEs state; one that runs past its ACL is
// refused before anything reads it.
TEST(WindowsEntriesTest, AceRunningPastItsAclIsRefused) {
  test::DescriptorSpec spec;
  spec.aces = {{test::kAllowed, 0, 0x001f01ff, "S-1-5-18"},
               {test::kDenied, 0, 0x00010000, "S-1-1-0"}};
  std::vector<uint8_t> bytes = test::buildDescriptor(spec);
  bool present = false;
  bool defaulted = false;
  const Acl* dacl = nullptr;
  ASSERT_TRUE(getSecurityDescriptorDacl(asDescriptor(bytes), &present, &dacl,
                                        &defaulted));
  uint8_t* acl = const_cast<uint8_t*>(reinterpret_cast<const uint8_t*>(dacl));
  const uint16_t firstSize =
      static_cast<uint16_t>(acl[8 + 2] | acl[8 + 3] << 8);
  uint8_t* second = acl + 8 + firstSize;
  second[2] = 0xF0;  // its size: far beyond the ACL
  second[3] = 0x00;
  uint32_t count = 7;
  ExplicitAccess* entries = nullptr;
  EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_ACL),
            getExplicitEntriesFromAcl(dacl, &count, &entries));
  EXPECT_EQ(0u, count);
  EXPECT_EQ(nullptr, entries);
}

TEST(WindowsAccountTest, InvalidSidSetsTheLastError) {
  std::vector<uint8_t> broken = test::sidBytes("S-1-5-18");
  broken[1] = 40;  // more sub-authorities than a SID can have
  SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_FALSE(isValidSid(asSid(broken)));
  EXPECT_EQ(kErrorInvalidSid, getLastError());
  SetLastError(ERROR_ACCESS_DENIED);
  char name[64];
  char domain[64];
  EXPECT_FALSE(lookupAccountSid("", asSid(broken), name, 64, domain, 64));
  EXPECT_EQ(kErrorInvalidSid, getLastError());
}

// --- Text: UTF-8 inside, UTF-16 to the system, the code page outside -------

TEST(WindowsTextTest, Utf16RoundTripsUnitForUnit) {
  const std::wstring names[] = {
      L"plain.txt",
      L"\u0101.txt",
      L"\u0109dir",
      L"\u4e2d\u6587",
      L"\U0001F600.txt",
      std::wstring(1, wchar_t(0xD800)) + L"lone",  // an unpaired surrogate
  };
  for (const std::wstring& name : names) {
    SCOPED_TRACE(utf8Of(name));
    EXPECT_EQ(name, wideOf(utf8Of(name)));
  }
  EXPECT_EQ("\xc4\x81", utf8Of(L"\u0101"));
  EXPECT_EQ("\xf0\x9f\x98\x80", utf8Of(L"\U0001F600"));
}

TEST(WindowsTextTest, OutputTextInTheAnsiCodePage) {
  // scripts/windows-build runs Wine with an English locale.
  ASSERT_EQ(1252u, GetACP());
  struct Case {
    const char* text;
    const char* printed;
    bool lossy;
  } cases[] = {
      {"C:\\Data\\plain.txt", "C:\\Data\\plain.txt", false},
      {"caf\xc3\xa9", "caf\xe9", false},  // é is in 1252: the same byte
      {"\xc4\x81.txt", "?.txt", true},    // ā, not "a"
      {"\xc4\x89"
       "dir",
       "?dir", true},  // ĉ, not "c"
      {"\xe4\xb8\xad\xe6\x96\x87", "??", true},
      {"\xf0\x9f\x98\x80", "??", true},  // one "?" per UTF-16 unit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    bool lossy = !c.lossy;
    EXPECT_EQ(c.printed, outputText(c.text, &lossy));
    EXPECT_EQ(c.lossy, lossy);
  }
}

TEST(WindowsTextTest, LongPathsGoBehindThePrefix) {
  const std::string longDir = "C:\\" + std::string(300, 'x');
  const std::string share = "\\\\server\\share\\" + std::string(300, 'y');
  struct Case {
    std::string path;
    std::wstring system;
  } cases[] = {
      {"C:\\short\\path", L"C:\\short\\path"},
      {"relative/short", L"relative/short"},
      {longDir, L"\\\\?\\" + wideOf(longDir)},
      {longDir + "\\.\\sub\\..\\file",
       L"\\\\?\\" + wideOf(longDir) + L"\\file"},
      {"C:/" + std::string(300, 'x'), L"\\\\?\\" + wideOf(longDir)},
      {share, L"\\\\?\\UNC\\server\\share\\" + wideOf(std::string(300, 'y'))},
      {"\\\\?\\" + longDir, L"\\\\?\\" + wideOf(longDir)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.substr(0, 40));
    EXPECT_EQ(c.system, systemPath(c.path));
  }
}

// Names outside the code page and paths of 400 characters, as the walk
// meets them: every object by its exact name.
TEST_F(WindowsPlatformTest, SearchAndReadBeyondTheCodePageAndMaxPath) {
  std::wstring deep = L"\\\\?\\" + root_.wstring();
  while (deep.size() < 400) {
    deep += L"\\" + std::wstring(100, L'd');
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr)) << GetLastError();
  }
  const std::string dir = utf8Of(deep.substr(4));
  const std::wstring names[] = {L"\u0101.txt", L"a.txt", L"\u0109dir",
                                L"\u4e2d\u6587.txt", L"\U0001F600.txt"};
  for (const std::wstring& name : names) {
    const std::wstring full = deep + L"\\" + name;
    HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << GetLastError();
    CloseHandle(file);
  }
  std::map<std::string, bool> found;
  FindEntry entry;
  FindHandle* search = findFirst(dir, &entry);
  ASSERT_NE(nullptr, search) << getLastError();
  do {
    if (!entry.dotOrDotDot) found[entry.fullPath] = entry.directory;
  } while (findNext(search, &entry));
  findClose(search);
  ASSERT_EQ(5u, found.size());
  for (const std::wstring& name : names) {
    const std::string full = dir + "\\" + utf8Of(name);
    SCOPED_TRACE(utf8Of(name));
    ASSERT_EQ(1u, found.count(full));
    SecurityDescriptor* sd = nullptr;
    EXPECT_EQ(kErrorSuccess, getNamedSecurityInfo(full.c_str(), &sd));
    localFree(sd);
  }
  // The parent of 400 characters itself, and a log file in it.
  DirectoryIdentity byName{};
  DirectoryIdentity again{};
  ASSERT_TRUE(directoryIdentity(dir, &byName));
  ASSERT_TRUE(directoryIdentity(dir + "\\.", &again));
  EXPECT_EQ(byName.index, again.index);
  FILE* log = createLogFile((dir + "\\\xc4\x81.log").c_str());
  ASSERT_NE(nullptr, log);
  std::fclose(log);
}

TEST_F(WindowsPlatformTest, DirectoryIdentityTellsDirectoriesApart) {
  fs::create_directories(root_ / "one");
  fs::create_directories(root_ / "two");
  DirectoryIdentity one{};
  DirectoryIdentity oneAgain{};
  DirectoryIdentity two{};
  ASSERT_TRUE(directoryIdentity(path("one"), &one));
  ASSERT_TRUE(directoryIdentity(path("two\\..\\one"), &oneAgain));
  ASSERT_TRUE(directoryIdentity(path("two"), &two));
  EXPECT_EQ(one.volume, oneAgain.volume);
  EXPECT_EQ(one.index, oneAgain.index);
  EXPECT_EQ(one.volume, two.volume);
  EXPECT_NE(one.index, two.index);
  EXPECT_FALSE(directoryIdentity(path("absent"), &two));
}

}  // namespace
}  // namespace vesk
