// The Linux layer against a real NTFS volume: a fresh image mounted through
// ntfs-3g, descriptors written with setfattr and read back through the
// platform operations.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/linux_internal.h"
#include "platform/platform.h"
#include "sd/descriptor.h"
#include "support/descriptor_builder.h"
#include "support/platform_agreement.h"

namespace vesk {
namespace platform {
namespace {

namespace fs = std::filesystem;
using test::AceSpec;
using test::DescriptorSpec;

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a shell command; its exit status, and its output in *output.
int run(const std::string& command, const fs::path& scratch,
        std::string* output = nullptr) {
  fs::path log = scratch / "command.out";
  int status =
      std::system((command + " >" + shellQuoted(log) + " 2>&1").c_str());
  if (output != nullptr) {
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    *output = text.str();
  }
  return status;
}

// Owns what getNamedSecurityInfo hands out.
struct Read {
  uint32_t status;
  SecurityDescriptor* sd = nullptr;
  explicit Read(const std::string& path) {
    status = getNamedSecurityInfo(path.c_str(), &sd);
  }
  ~Read() { localFree(sd); }
};

struct Entries {
  uint32_t count = 0;
  ExplicitAccess* list = nullptr;
  ~Entries() { localFree(list); }
};

class NtfsVolume : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    problem_ = prepare();
    if (!problem_.empty()) TearDownTestSuite();
  }

  static void TearDownTestSuite() {
    resetLayer();
    if (mounted_) {
      std::string output;
      if (run("umount " + shellQuoted(mount_), scratch_, &output) != 0)
        ADD_FAILURE() << "umount " << mount_ << " failed: " << output;
      mounted_ = false;
    }
    if (!scratch_.empty()) {
      std::error_code ignored;
      fs::remove_all(scratch_, ignored);
      scratch_.clear();
    }
  }

  void SetUp() override {
    if (!problem_.empty()) FAIL() << "NTFS volume not available: " << problem_;
  }

  static std::string prepare() {
    if (!fs::exists("/dev/fuse")) return "/dev/fuse is missing";
    if (std::system("test \"$(id -u)\" = 0") != 0)
      return "these tests must run as root (mount, setfattr system.*)";
    for (const char* tool : {"mkntfs", "ntfs-3g", "setfattr", "getfattr"}) {
      std::string check = std::string("command -v ") + tool + " >/dev/null";
      if (std::system(check.c_str()) != 0)
        return std::string(tool) + " is not installed (packages ntfs-3g, attr)";
    }
    std::random_device random;
    for (int attempt = 0; scratch_.empty() && attempt < 10; ++attempt) {
      fs::path candidate =
          fs::temp_directory_path() / ("vesk-ntfs-" + std::to_string(random()));
      if (fs::create_directory(candidate)) scratch_ = candidate;
    }
    if (scratch_.empty()) return "no scratch directory could be made";
    fs::path image = scratch_ / "volume.img";
    mount_ = (scratch_ / "mnt").string();
    fs::create_directory(mount_);
    std::string output;
    if (run("truncate -s 32M " + shellQuoted(image) + " && mkntfs -F -Q -q " +
                shellQuoted(image),
            scratch_, &output) != 0)
      return "mkntfs failed: " + output;
    if (run("ntfs-3g -o permissions " + shellQuoted(image) + " " +
                shellQuoted(mount_),
            scratch_, &output) != 0)
      return "ntfs-3g mount failed: " + output;
    mounted_ = true;
    return "";
  }

  // A new file on the volume holding the descriptor.
  static std::string fileWith(const std::string& name,
                              const DescriptorSpec& spec) {
    std::string path = mount_ + "/" + name;
    std::ofstream(path).put('x');
    store(path, spec);
    return path;
  }

  static void store(const std::string& path, const DescriptorSpec& spec) {
    std::string output;
    int status = run("setfattr -n system.ntfs_acl -v " +
                         test::toHex(test::buildDescriptor(spec)) + " " +
                         shellQuoted(path),
                     scratch_, &output);
    ASSERT_EQ(status, 0) << "setfattr " << path << ": " << output;
  }

  static fs::path scratch_;
  static std::string mount_;
  static std::string problem_;
  static bool mounted_;
};

fs::path NtfsVolume::scratch_;
std::string NtfsVolume::mount_;
std::string NtfsVolume::problem_;
bool NtfsVolume::mounted_ = false;

std::string ownerText(const SecurityDescriptor* sd) {
  const Sid* owner = nullptr;
  bool defaulted = true;
  EXPECT_TRUE(getSecurityDescriptorOwner(sd, &owner, &defaulted));
  return owner == nullptr ? "(none)" : sidString(owner);
}

void readDaclEntries(const SecurityDescriptor* sd, Entries* entries) {
  bool present = false;
  bool defaulted = false;
  const Acl* dacl = nullptr;
  ASSERT_TRUE(getSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
  ASSERT_TRUE(present);
  ASSERT_EQ(getExplicitEntriesFromAcl(dacl, &entries->count, &entries->list),
            kErrorSuccess);
}

TEST_F(NtfsVolume, ControlWordDropsSaclBitsAndIsSelfRelative) {
  struct Case {
    uint16_t stored;
    uint16_t reported;
    bool daclDefaulted;
  };
  const Case cases[] = {
      {0x0004, 0x8004, false}, {0x1404, 0x9404, false}, {0x0C14, 0x8404, false},
      {0x000C, 0x800C, true},  {0x3C3F, 0x940F, true},  {0x0007, 0x8007, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    DescriptorSpec spec;
    spec.control = c.stored;
    spec.owner = "S-1-5-32-544";
    spec.group = "S-1-5-18";
    spec.aces = {{test::kAllowed, 0, 0x1F01FF, "S-1-1-0"}};
    Read read(fileWith("control" + std::to_string(n++), spec));
    ASSERT_EQ(read.status, kErrorSuccess);
    uint16_t control = 0;
    uint32_t revision = 0;
    ASSERT_TRUE(getSecurityDescriptorControl(read.sd, &control, &revision));
    EXPECT_EQ(control, c.reported);
    EXPECT_EQ(revision, 1u);
    bool present = false;
    bool defaulted = !c.daclDefaulted;
    const Acl* dacl = nullptr;
    ASSERT_TRUE(
        getSecurityDescriptorDacl(read.sd, &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_NE(dacl, nullptr);
    EXPECT_EQ(defaulted, c.daclDefaulted);
  }
}

TEST_F(NtfsVolume, EntriesComeBackInAclOrder) {
  DescriptorSpec spec;
  spec.owner = "S-1-5-32-544";
  spec.group = "S-1-5-18";
  spec.aces = {
      {test::kDenied, 0x00, 0x00000040, "S-1-5-21-11-22-33-1001"},
      {test::kAllowed, 0x13, 0x001F01FF, "S-1-5-32-544"},
      {test::kAllowedObject, 0x02, 0x00000100, "S-1-5-11", 3},
      {test::kAudit, 0x40, 0x00010000, "S-1-1-0"},
      {test::kAllowed, 0x0B, 0x001200A9, "S-1-5-32-545"},
  };
  const uint32_t modes[] = {kDenyAccess, kGrantAccess, kGrantAccess,
                            kNotUsedAccess, kGrantAccess};
  const uint32_t inheritance[] = {0x00, 0x13, 0x02, 0x00, 0x0B};
  Read read(fileWith("entries", spec));
  ASSERT_EQ(read.status, kErrorSuccess);
  Entries entries;
  ASSERT_NO_FATAL_FAILURE(readDaclEntries(read.sd, &entries));
  ASSERT_EQ(entries.count, spec.aces.size());
  for (size_t i = 0; i < spec.aces.size(); ++i) {
    SCOPED_TRACE(i);
    const ExplicitAccess& entry = entries.list[i];
    EXPECT_EQ(entry.accessPermissions, spec.aces[i].mask);
    EXPECT_EQ(entry.accessMode, modes[i]);
    EXPECT_EQ(entry.inheritance, inheritance[i]);
    ASSERT_EQ(entry.trustee.form, TrusteeForm::Sid);
    EXPECT_EQ(sidString(entry.trustee.sid), spec.aces[i].sid);
  }
}

TEST_F(NtfsVolume, OwnerAndGroupAreNamedByTheLocalLookup) {
  struct Case {
    const char* owner;
    const char* group;
    const char* ownerName;
    const char* groupName;
  };
  const Case cases[] = {
      {"S-1-5-32-544", "S-1-5-18", "Administrators", "SYSTEM"},
      {"S-1-5-21-1-2-3-1001", "S-1-22-2-0", "S-1-5-21-1-2-3-1001", "root"},
      {"S-1-22-1-0", "S-1-1-0", "root", "Everyone"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.owner);
    DescriptorSpec spec;
    spec.owner = c.owner;
    spec.group = c.group;
    spec.aces = {{test::kAllowed, 0x03, 0x1F01FF, "S-1-5-32-545"}};
    Read read(fileWith("parts" + std::to_string(n++), spec));
    ASSERT_EQ(read.status, kErrorSuccess);
    EXPECT_EQ(ownerText(read.sd), c.owner);

    Trustee* owner = nullptr;
    Trustee* group = nullptr;
    Entries entries;
    ASSERT_EQ(lookupSecurityDescriptorParts(&owner, &group, &entries.count,
                                            &entries.list, read.sd),
              kErrorSuccess);
    ASSERT_NE(owner, nullptr);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(owner->form, TrusteeForm::Name);
    EXPECT_EQ(std::string(owner->name), c.ownerName);
    EXPECT_EQ(std::string(group->name), c.groupName);
    ASSERT_EQ(entries.count, 1u);
    EXPECT_EQ(entries.list[0].trustee.form, TrusteeForm::Sid);
    EXPECT_EQ(sidString(entries.list[0].trustee.sid), "S-1-5-32-545");
    localFree(owner);
    localFree(group);
  }
}

TEST_F(NtfsVolume, NullDaclIsPresentWithoutEntries) {
  DescriptorSpec spec;
  spec.owner = "S-1-5-32-544";
  spec.group = "S-1-5-18";
  spec.storeDacl = false;
  Read read(fileWith("nulldacl", spec));
  ASSERT_EQ(read.status, kErrorSuccess);
  bool present = false;
  bool defaulted = true;
  const Acl* dacl = reinterpret_cast<const Acl*>(&spec);
  ASSERT_TRUE(getSecurityDescriptorDacl(read.sd, &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_EQ(dacl, nullptr);
  EXPECT_FALSE(defaulted);
  Entries entries;
  entries.count = 5;
  EXPECT_EQ(getExplicitEntriesFromAcl(dacl, &entries.count, &entries.list),
            kErrorSuccess);
  EXPECT_EQ(entries.count, 0u);
  EXPECT_EQ(entries.list, nullptr);
}

// The same cases the fake answers in the unit tests.
TEST_F(NtfsVolume, AnswersAsTheFakeDoes) {
  int n = 0;
  for (const test::AgreementCase& c : test::agreementCases()) {
    SCOPED_TRACE(c.name);
    std::string path;
    ASSERT_NO_FATAL_FAILURE(
        path = fileWith("agree" + std::to_string(n++), c.stored));
    Read read(path);
    ASSERT_EQ(read.status, kErrorSuccess);
    test::expectAgreement(read.sd, c);
  }
}

std::vector<uint8_t> fromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), 0, 16)));
  return bytes;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<uint32_t>(b[at + 3]) << 24);
}

TEST_F(NtfsVolume, RootDescriptorWithItsGapIsRead) {
  std::string output;
  ASSERT_EQ(run("getfattr --absolute-names --only-values -n system.ntfs_acl " +
                    shellQuoted(mount_) + " | od -An -v -tx1 | tr -d ' \\n'",
                scratch_, &output),
            0);
  std::vector<uint8_t> raw = fromHex(output);
  ASSERT_GE(raw.size(), 20u) << output;
  size_t ownerAt = le32(raw, 4);
  size_t daclAt = le32(raw, 16);
  ASSERT_GE(ownerAt, 0x1000u) << "mkntfs no longer leaves a gap";
  ASSERT_LT(ownerAt + 8, raw.size());
  ASSERT_LT(daclAt + 8, raw.size());

  Read read(mount_);
  ASSERT_EQ(read.status, kErrorSuccess);
  EXPECT_EQ(ownerText(read.sd), sidText(raw.data() + ownerAt));
  Entries entries;
  ASSERT_NO_FATAL_FAILURE(readDaclEntries(read.sd, &entries));
  EXPECT_EQ(entries.count, raw[daclAt + 4] | (raw[daclAt + 5] << 8));
  EXPECT_GT(entries.count, 0u);
}

TEST_F(NtfsVolume, FailuresMapToWindowsCodes) {
  std::string outside = (scratch_ / "plain.txt").string();
  std::ofstream(outside) << "not on NTFS";
  std::string onVolume = mount_ + "/plainfile";
  std::ofstream(onVolume) << "x";
  struct Case {
    std::string path;
    uint32_t status;
  };
  // Outside the volume, on the host's own file system: where Samba could
  // keep its attribute there (ext4, tmpfs, ...), its absence has a code of
  // its own.
  const uint32_t outsideStatus =
      descriptorReaderOfObject(outside.c_str()) == readNtaclDescriptor
          ? kErrorNoSecurityOnObject
          : kErrorNotSupported;
  const Case cases[] = {
      {outside, outsideStatus},
      {mount_ + "/missing", kErrorFileNotFound},
      {mount_ + "/missing/deeper", kErrorFileNotFound},
      {onVolume + "/below", kErrorPathNotFound},
      {mount_ + "/" + std::string(300, 'n'), kErrorFilenameTooLong},
      {mount_ + std::string(5000, '/') + "x", kErrorFileNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.substr(0, 120));
    SecurityDescriptor* sd = nullptr;
    EXPECT_EQ(getNamedSecurityInfo(c.path.c_str(), &sd), c.status);
    EXPECT_EQ(sd, nullptr);
  }
}

// Whether a search of dir lists path, whole.
bool searchFinds(const std::string& dir, const std::string& path) {
  FindEntry entry;
  FindHandle* handle = findFirst(dir, &entry);
  if (handle == nullptr) return false;
  bool seen = false;
  do {
    if (entry.fullPath == path) seen = true;
  } while (findNext(handle, &entry));
  findClose(handle);
  return seen;
}

TEST_F(NtfsVolume, PathsLongerThanWindowsLimitAreRead) {
  std::string dir = mount_;
  while (dir.size() < 600) {
    dir += "/" + std::string(60, 'd');
    fs::create_directory(dir);
  }
  DescriptorSpec spec;
  spec.owner = "S-1-5-32-544";
  spec.group = "S-1-5-18";
  spec.aces = {{test::kDenied, 0, 0x2, "S-1-5-7"}};
  std::string file = dir + "/deep.txt";
  std::ofstream(file) << "x";
  store(file, spec);
  Read read(file);
  ASSERT_EQ(read.status, kErrorSuccess);
  EXPECT_EQ(ownerText(read.sd), "S-1-5-32-544");

  EXPECT_TRUE(searchFinds(dir, file)) << "full path of the file cut or changed";
}

// Beyond PATH_MAX the kernel refuses a path whole: the layer still reads the
// object and lists the directory, by the path as given.
TEST_F(NtfsVolume, PathsLongerThanTheKernelTakesAreRead) {
  const fs::path start = fs::current_path();
  fs::current_path(mount_);
  std::string dir = mount_;
  while (dir.size() < 4600) {
    const std::string part(200, static_cast<char>('a' + dir.size() % 26));
    fs::create_directory(part);
    fs::current_path(part);
    dir += "/" + part;
  }
  std::ofstream("deep.txt") << "x";
  fs::current_path(start);
  const std::string file = dir + "/deep.txt";
  ASSERT_GT(file.size(), 4096u);

  Read read(file);
  ASSERT_EQ(read.status, kErrorSuccess);
  EXPECT_TRUE(searchFinds(dir, file)) << "full path of the file cut or changed";
}

// Long paths are read through a directory the layer keeps open from one
// path to the next: going down, back up, across to another branch and
// through a link, each read must still name the object its text names.
TEST_F(NtfsVolume, LongPathsInAnyOrderNameTheirOwnObjects) {
  const std::string base =
      mount_ + "/" + std::string(120, 'b') + "/" + std::string(120, 'c');
  const std::string a = base + "/a", b = base + "/b";
  fs::create_directories(a + "/deep");
  fs::create_directories(b + "/deep");
  fs::create_directory_symlink("../b", a + "/tob");
  const std::string files[] = {a + "/deep/f", a + "/f", b + "/deep/f", b + "/f",
                               base + "/f"};
  std::map<std::string, std::string> owners;
  int n = 0;
  for (const std::string& file : files) {
    std::ofstream(file) << "x";
    DescriptorSpec spec;
    spec.owner = "S-1-5-21-9-9-9-" + std::to_string(++n);
    spec.group = "S-1-5-18";
    spec.aces = {{test::kAllowed, 0, 0x1F01FF, "S-1-1-0"}};
    store(file, spec);
    owners[file] = spec.owner;
  }
  owners[a + "/tob/f"] = owners[b + "/f"];
  owners[a + "/tob/deep/f"] = owners[b + "/deep/f"];
  owners[a + "/tob/../a/f"] = owners[a + "/f"];
  owners[a + "/deep/../f"] = owners[a + "/f"];
  const std::string order[] = {
      a + "/deep/f", a + "/f",          base + "/f",       b + "/deep/f",
      a + "/tob/f",  a + "/tob/deep/f", a + "/tob/../a/f", b + "/f",
      a + "/deep/f", a + "/deep/../f",  base + "/f",       a + "/tob/deep/f"};
  for (const std::string& path : order) {
    SCOPED_TRACE(path.substr(base.size()));
    ASSERT_GT(path.size(), 256u);
    Read read(path);
    ASSERT_EQ(read.status, kErrorSuccess);
    EXPECT_EQ(ownerText(read.sd), owners[path]);
  }
  SecurityDescriptor* sd = nullptr;
  EXPECT_EQ(getNamedSecurityInfo((b + "/missing/f").c_str(), &sd),
            kErrorFileNotFound);
  Read after(a + "/f");
  EXPECT_EQ(ownerText(after.sd), owners[a + "/f"]);
}

struct Found {
  bool directory;
  bool dotOrDotDot;
  bool link;
  bool operator==(const Found& o) const {
    return directory == o.directory && dotOrDotDot == o.dotOrDotDot &&
           link == o.link;
  }
};

std::ostream& operator<<(std::ostream& out, const Found& f) {
  return out << "{directory " << f.directory << ", dot " << f.dotOrDotDot
             << ", link " << f.link << "}";
}

// Every entry of a search, by full path.
std::map<std::string, Found> search(const std::string& dir) {
  std::map<std::string, Found> found;
  FindEntry entry;
  FindHandle* handle = findFirst(dir, &entry);
  if (handle == nullptr) return found;
  do {
    EXPECT_TRUE(found.count(entry.fullPath) == 0) << entry.fullPath;
    found[entry.fullPath] = {entry.directory, entry.dotOrDotDot, entry.link};
  } while (findNext(handle, &entry));
  EXPECT_FALSE(findNext(handle, &entry));
  findClose(handle);
  return found;
}

// Links count as what they point to and are marked; ".." is resolved in the
// text only where no link stands before it, so that every full path names
// the entry the kernel listed.
TEST_F(NtfsVolume, SearchListsEveryEntryWithItsKind) {
  fs::path dir = fs::path(mount_) / "tree";
  fs::create_directories(dir / "sub" / "inner");
  std::ofstream(dir / "a.txt") << "a";
  std::ofstream(dir / ".hidden") << "h";
  std::ofstream(dir / "with space") << "s";
  fs::create_directory_symlink("sub", dir / "linkdir");
  fs::create_directory_symlink("sub/inner", dir / "linkdeep");
  fs::create_symlink("a.txt", dir / "linkfile");
  fs::create_symlink("nowhere", dir / "dangling");

  const std::map<std::string, Found> tree = {
      {".", {true, true, false}},
      {"..", {true, true, false}},
      {"a.txt", {false, false, false}},
      {".hidden", {false, false, false}},
      {"with space", {false, false, false}},
      {"sub", {true, false, false}},
      {"linkdir", {true, false, true}},
      {"linkdeep", {true, false, true}},
      {"linkfile", {false, false, true}},
      {"dangling", {false, false, true}},
  };
  const std::map<std::string, Found> sub = {{".", {true, true, false}},
                                            {"..", {true, true, false}},
                                            {"inner", {true, false, false}}};
  const std::string d = dir.string();
  struct Case {
    std::string spelling;
    std::string prefix;  // of every full path
    const std::map<std::string, Found>& entries;
  };
  const Case cases[] = {
      {d, d + "/", tree},
      {d + "/", d + "/", tree},
      {d + "//sub/./..", d + "/", tree},
      {d + "/sub/inner/../..", d + "/", tree},
      {d + "/linkdir", d + "/linkdir/", sub},
      {d + "/linkdir/..", d + "/linkdir/../", tree},
      {d + "/linkdeep/..", d + "/linkdeep/../", sub},
      {d + "/linkdeep/../..", d + "/linkdeep/../../", tree},
      {d + "/linkdeep/../inner/..", d + "/linkdeep/../", sub},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spelling);
    std::map<std::string, Found> expected;
    for (const auto& [name, kind] : c.entries) expected[c.prefix + name] = kind;
    EXPECT_EQ(search(c.spelling), expected);
  }
}

TEST_F(NtfsVolume, SearchOfRelativePathGivesAbsolutePaths) {
  fs::path dir = fs::path(mount_) / "relative";
  fs::create_directories(dir / "child");
  fs::path before = fs::current_path();
  fs::current_path(mount_);
  std::map<std::string, Found> found = search("relative");
  fs::current_path(before);
  EXPECT_EQ(found.size(), 3u);
  EXPECT_EQ(found.count(dir.string() + "/child"), 1u);
}

TEST_F(NtfsVolume, SearchThatCannotStartGivesNull) {
  std::string file = mount_ + "/notadir";
  std::ofstream(file) << "x";
  const std::string dirs[] = {mount_ + "/absent", file, ""};
  for (const std::string& dir : dirs) {
    SCOPED_TRACE(dir);
    FindEntry entry{"untouched", false, false};
    EXPECT_EQ(findFirst(dir, &entry), nullptr);
    EXPECT_EQ(entry.fullPath, "untouched");
  }
}

TEST(RootSearch, FullPathsUnderRootHaveOneSlash) {
  std::map<std::string, Found> found = search("/");
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(found.count("/."), 1u);
  EXPECT_EQ(found.count("/.."), 1u);
  for (const auto& [path, kind] : found) {
    SCOPED_TRACE(path);
    EXPECT_EQ(path.rfind('/'), 0u);
  }
}

}  // namespace
}  // namespace platform
}  // namespace vesk
