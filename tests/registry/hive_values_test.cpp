#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "registry/hive_names.h"

namespace vesk {
namespace platform {
namespace {

// A copy of exactly size bytes, so that AddressSanitizer sees a read past
// its end.
std::unique_ptr<uint8_t[]> exactCopy(const std::vector<uint8_t>& bytes) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + 1]);
  if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
  return copy;
}

std::vector<uint8_t> utf16(const std::u16string& text) {
  std::vector<uint8_t> bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return bytes;
}

TEST(HiveValuesTest, MachineSidIsTheLastTwelveBytesOfV) {
  // The three sub-authorities of the evidence's SAM, after other bytes.
  std::vector<uint8_t> v(300, 0xEE);
  const uint8_t tail[] = {0x3f, 0xd3, 0xa3, 0xf2, 0x16, 0x31,
                          0xed, 0xca, 0xc9, 0x21, 0x77, 0x97};
  std::memcpy(v.data() + v.size() - 12, tail, 12);
  struct Case {
    size_t from;  // bytes of v left out at its start
    std::string sid;
  } cases[] = {
      {0, "S-1-5-21-4070822719-3404542230-2541167049"},
      {288, "S-1-5-21-4070822719-3404542230-2541167049"},
      {289, ""},
      {300, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from);
    const std::vector<uint8_t> part(v.begin() + c.from, v.end());
    EXPECT_EQ(c.sid, machineSidOfV(exactCopy(part).get(), part.size()));
  }
  EXPECT_EQ("", machineSidOfV(nullptr, 12));
}

TEST(HiveValuesTest, ProfileFolderNameIsTheLastComponent) {
  struct Case {
    std::u16string path;
    std::string name;
  } cases[] = {
      {u"C:\\Users\\alice", "alice"},
      {u"%SystemDrive%\\Users\\bob", "bob"},
      {u"C:\\Users\\carol\\", "carol"},
      {u"C:/Users/dave//", "dave"},
      {u"C:\\Users\\erin.CONTOSO", "erin.CONTOSO"},
      {u"C:\\Users\\J\u00f6rg", "J\xc3\xb6rg"},
      {u"C:\\Users\\mallory\0\\hidden", "mallory"},
      {u"lone", "lone"},
      {u"C:\\", ""},
      {u"C:", ""},
      {u"\\\\", ""},
      {u"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> bytes = utf16(c.path);
    EXPECT_EQ(c.name, profileFolderName(exactCopy(bytes).get(), bytes.size()));
  }
  // An odd byte at the end is no unit.
  std::vector<uint8_t> odd = utf16(u"C:\\Users\\frank");
  odd.push_back('x');
  EXPECT_EQ("frank", profileFolderName(exactCopy(odd).get(), odd.size()));
  EXPECT_EQ("", profileFolderName(nullptr, 8));
}

TEST(HiveValuesTest, SidTextAsSidTextPrintsIt) {
  struct Case {
    const char* text;
    bool sid;
  } cases[] = {
      {"S-1-5-18", true},
      {"S-1-5-21-4070822719-3404542230-2541167049-1001", true},
      {"S-1-12-1-1-2-3-4", true},
      {"S-1-0", false},
      {"S-1-5-21-1-2-3-1001.bak", false},
      {"S-1-5-21-1-2-3-01", false},
      {"S-1-5-21-4294967296", false},
      {"S-1-5--1", false},
      {"S-1-5-", false},
      {"S-1-", false},
      {"S-2-5-18", false},
      {"s-1-5-18", false},
      {"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15", true},
      {"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.sid, isSidText(c.text));
  }
}

TEST(HiveValuesTest, HiveCutShortWhenItsBinsDoNotFit) {
  std::vector<uint8_t> header(0x2C, 0);
  header[0x29] = 0x70;  // 0x7000 bytes of bins after the 4 KiB header
  EXPECT_FALSE(hiveCutShort(exactCopy(header).get(), header.size(), 0x8000));
  EXPECT_TRUE(hiveCutShort(exactCopy(header).get(), header.size(), 0x7FFF));
  header.pop_back();  // too short to say
  EXPECT_TRUE(hiveCutShort(exactCopy(header).get(), header.size(), 0x8000));
}

}  // namespace
}  // namespace platform
}  // namespace vesk
