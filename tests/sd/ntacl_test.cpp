#include "sd/ntacl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sd/descriptor.h"
#include "support/descriptor_builder.h"

namespace vesk {
namespace platform {
namespace {

using test::AceSpec;
using test::buildDescriptor;
using test::DescriptorSpec;
using test::wrapNtacl;

std::vector<uint8_t> fromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(
        static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

// Unwraps and parses a copy of exactly the attribute's size, so that
// AddressSanitizer sees any read past its end. *descriptor receives the
// rebased descriptor's bytes on success.
uint32_t readNtacl(const std::vector<uint8_t>& attribute,
                   std::vector<uint8_t>* descriptor = nullptr,
                   size_t* startOut = nullptr) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[attribute.size()]);
  if (!attribute.empty())
    std::memcpy(copy.get(), attribute.data(), attribute.size());
  size_t start = 0;
  uint32_t status = unwrapNtacl(copy.get(), attribute.size(), &start);
  if (status != kErrorSuccess) {
    EXPECT_TRUE(attribute.empty() || std::memcmp(copy.get(), attribute.data(),
                                                 attribute.size()) == 0)
        << "a refused attribute was changed";
    return status;
  }
  EXPECT_LE(start + 20, attribute.size());
  DescriptorView view;
  status = parseDescriptor(copy.get() + start, attribute.size() - start, &view);
  if (status == kErrorSuccess && descriptor != nullptr)
    descriptor->assign(copy.get() + start, copy.get() + attribute.size());
  if (startOut != nullptr) *startOut = start;
  return status;
}

DescriptorSpec sampleSpec() {
  DescriptorSpec spec;
  spec.control = 0x1404;
  spec.owner = "S-1-5-21-1-2-3-1000";
  spec.group = "S-1-5-32-544";
  spec.aces = {{test::kAllowed, 0x03, 0x1F01FF, "S-1-5-32-544"},
               {test::kDenied, 0x00, 0x1200A9, "S-1-5-21-1-2-3-1105"},
               {test::kAllowedObject, 0x10, 0x100, "S-1-1-0", 1}};
  return spec;
}

TEST(UnwrapNtacl, EveryVersionGivesBackTheDescriptorAsStored) {
  const std::vector<uint8_t> original = buildDescriptor(sampleSpec());
  struct Case {
    uint16_t version;
    const char* description;
    size_t start;
  } cases[] = {
      {1, "", 8},
      {2, "", 28},
      {3, "", 80},
      {4, "", 152},
      {4, "a", 152},
      {4, "abc", 156},
      {4, "posix_acl", 160},
      {4, "a longer text", 164},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.version) + " '" + c.description + "'");
    std::vector<uint8_t> rebased;
    size_t start = 0;
    ASSERT_EQ(kErrorSuccess,
              readNtacl(wrapNtacl(original, c.version, c.description), &rebased,
                        &start));
    EXPECT_EQ(c.start, start);
    EXPECT_EQ(original, rebased);
  }
}

// Written by Samba's own tools: samba-tool ntacl set --use-ntvfs (version 1)
// and --use-s3fs (version 4, description "posix_acl").
TEST(UnwrapNtacl, AttributesWrittenBySamba) {
  struct Case {
    const char* name;
    const char* hex;
    size_t start;
    const char* owner;
    uint16_t entries;
  } cases[] = {
      {"v1",
       "0100010000000200010004901c000000380000000000000048000000010500000000"
       "000515000000010000000200000003000000e8030000010200000000000520000000"
       "20020000040044000200000000001800ff0100000102000000000005200000002002"
       "000001032400a900120001050000000000051500000001000000020000000300000051"
       "040000",
       8, "S-1-5-21-1-2-3-1000", 2},
      {"v4",
       "040004000000020004000200010094ae1bd97b5d8d91c91537469f8cb053588a7781"
       "8bb67c2c4a2afdf9d1c9e63600000000000000000000000000000000000000000000"
       "00000000000000000000706f7369785f61636c001468e0557d87dd0109614fd2c231"
       "ee538f1e6ef85c5af601442f61488e0b837e6d228543ccc6a1fe0000000000000000"
       "00000000000000000000000000000000000000000000000001001484b4000000c400"
       "000000000000d4000000010200000000001601000000000000000102000000000016"
       "0200000000000000040034000200000000001800ff01000001020000000000160100"
       "0000000000000010140089001200010100000000000100000000",
       160, "S-1-22-1-0", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> rebased;
    size_t start = 0;
    ASSERT_EQ(kErrorSuccess, readNtacl(fromHex(c.hex), &rebased, &start));
    EXPECT_EQ(c.start, start);
    DescriptorView view;
    ASSERT_EQ(kErrorSuccess,
              parseDescriptor(rebased.data(), rebased.size(), &view));
    ASSERT_NE(nullptr, view.owner);
    EXPECT_EQ(c.owner, sidText(view.owner));
    ASSERT_NE(nullptr, view.dacl);
    EXPECT_EQ(c.entries, view.dacl[4] | (view.dacl[5] << 8));
  }
}

TEST(UnwrapNtacl, RefusesWrappersThatHoldNoDescriptor) {
  const std::vector<uint8_t> good = wrapNtacl(buildDescriptor(sampleSpec()), 3);
  struct Case {
    const char* name;
    size_t at;
    uint8_t value;
  } cases[] = {
      {"version 0", 0, 0},
      {"version 5", 0, 5},
      {"level 2 under version 3", 2, 2},
      {"NULL hash record", 6, 0},
      {"NULL descriptor", 10, 0},
      {"owner before the descriptor", 80 + 4, 0x10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bad = good;
    bad[c.at] = c.value;
    if (c.at == 6 || c.at == 10) bad[c.at - 1] = bad[c.at - 2] = 0;
    EXPECT_EQ(kErrorInvalidSecurityDescr, readNtacl(bad));
  }
  std::vector<uint8_t> v1 = wrapNtacl(buildDescriptor(sampleSpec()), 1);
  v1[6] = 0;
  EXPECT_EQ(kErrorInvalidSecurityDescr, readNtacl(v1)) << "NULL in version 1";
  std::vector<uint8_t> noEnd(100, 'x');
  noEnd[0] = noEnd[2] = 4;
  noEnd[1] = noEnd[3] = 0;
  EXPECT_EQ(kErrorInvalidSecurityDescr, readNtacl(noEnd))
      << "a description without its NUL";
}

TEST(UnwrapNtacl, OffsetsPastTheEndAreRefusedByTheParser) {
  std::vector<uint8_t> attribute = wrapNtacl(buildDescriptor(sampleSpec()), 2);
  attribute[28 + 16] = 0xF0;  // DACL offset, low byte
  attribute[28 + 17] = 0xFF;
  EXPECT_EQ(kErrorInvalidSecurityDescr, readNtacl(attribute));
}

TEST(UnwrapNtacl, EveryTruncationIsRefused) {
  const std::vector<uint8_t> descriptor = buildDescriptor(sampleSpec());
  for (uint16_t version = 1; version <= 4; ++version) {
    const std::vector<uint8_t> whole = wrapNtacl(descriptor, version);
    for (size_t size = 0; size < whole.size(); ++size) {
      SCOPED_TRACE("version " + std::to_string(version) + ", " +
                   std::to_string(size) + " bytes");
      const std::vector<uint8_t> cut(whole.begin(), whole.begin() + size);
      EXPECT_EQ(kErrorInvalidSecurityDescr, readNtacl(cut));
    }
  }
}

}  // namespace
}  // namespace platform
}  // namespace vesk
