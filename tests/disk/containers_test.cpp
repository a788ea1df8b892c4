#include "disk/containers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "disk/partition_table.h"
#include "platform/errors.h"

namespace vesk {
namespace platform {
namespace {

// Each file is claimed by its bytes alone, by one row at most.
TEST(Containers, EachFileIsClaimedByItsBytes) {
  const char* const kNtfs = "\xEB\x52\x90NTFS    ";  // a volume's boot sector
  struct Case {
    const char* head;  // at byte 0
    const char* tail;  // at the start of the last kProbeBytes
    bool secondSegment;
    const char* claimed;  // the row, "" none, "refused" two rows
  } cases[] = {
      {"EVF\x09\x0D\x0A\xFF", "", false, "EWF"},
      {"conectix", "conectix", false, "VHD"},  // dynamic
      {kNtfs, "conectix", false, "VHD"},       // fixed
      {"vhdxfile", "", false, "VHDX"},
      {"KDMV", "", false, "VMDK"},
      {"# Disk DescriptorFile\nversion=1", "", false, "VMDK"},
      {"QFI\xFB", "", false, "QCOW"},
      {kNtfs, "", true, "split raw"},
      {kNtfs, "", false, ""},  // a lone raw disk
      {"", "", true, ""},      // a piece that holds no disk
      {"QFI", "", false, ""},
      {kNtfs, "conectix", true, "refused"},  // fixed VHD or split raw
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.head) + "/" + c.tail);
    std::vector<uint8_t> head(kProbeBytes), tail(kProbeBytes);
    std::memcpy(head.data(), c.head, std::strlen(c.head));
    std::memcpy(tail.data(), c.tail, std::strlen(c.tail));
    const FileStart file{head.data(), tail.data(), 1u << 20, c.secondSegment};
    const ContainerLayer* layer = nullptr;
    const uint32_t status = claimingLayer(file, &layer);
    const bool refused = std::string(c.claimed) == "refused";
    EXPECT_EQ(status, refused ? kErrorDiskCorrupt : 0u);
    if (!refused) {
      EXPECT_EQ(layer ? layer->name : "", std::string(c.claimed));
    }
  }
}

TEST(Containers, SplitPiecesAndParentsAreNamedBesideTheFile) {
  const char* const segments[][2] = {
      {"/e/disk.001", "/e/disk.002"},
      {"/e/disk.000", "/e/disk.001"},
      {"/e/disk.raw.000", "/e/disk.raw.001"},
      {"/e/d.aa", "/e/d.ab"},
      {"/e/d.aaa", "/e/d.aab"},
      {"d.1", "d.2"},
      {"/e/disk.002", ""},
      {"/e/disk.010", ""},
      {"/e/disk.ab", ""},
      {"/e/disk.a", ""},
      {"/e/disk", ""},
      {"/e.001/disk", ""},
      {"/e/.001", ""},
      {"/e/disk.vhd", ""},
  };
  for (const auto& s : segments) EXPECT_EQ(secondSegmentName(s[0]), s[1]);
  const char* const parents[][3] = {
      {"/e/child.vhdx", "C:\\VMs\\base.vhdx", "/e/base.vhdx"},
      {"/e/child.vhd", ".\\base.vhd", "/e/base.vhd"},
      {"/e/top.qcow2", "../x/base.qcow2", "/e/base.qcow2"},
      {"top.qcow2", "base.qcow2", "base.qcow2"},
      {"/e/top.qcow2", "C:\\", ""},
  };
  for (const auto& p : parents) EXPECT_EQ(besideFile(p[0], p[1]), p[2]);
}

}  // namespace
}  // namespace platform
}  // namespace vesk
