#include "disk/partition_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <vector>

namespace vesk {
namespace platform {
namespace {

// A disk of any size held as the sectors that are not zero.
struct Disk {
  uint64_t size = 64ull << 20;
  std::map<uint64_t, std::vector<uint8_t>> sectors;

  uint8_t* sector(uint64_t lba) {
    std::vector<uint8_t>& bytes = sectors[lba];
    bytes.resize(kSectorSize);
    return bytes.data();
  }
  ReadAt reader() const {
    return [this](uint64_t offset, size_t length, uint8_t* out) {
      if (offset > size || length > size - offset) return false;
      for (size_t i = 0; i < length; ++i) {
        const auto found = sectors.find((offset + i) / kSectorSize);
        out[i] = found == sectors.end()
                     ? 0
                     : found->second[(offset + i) % kSectorSize];
      }
      return true;
    };
  }
};

void put32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

void put64(uint8_t* p, uint64_t value) {
  put32(p, static_cast<uint32_t>(value));
  put32(p + 4, static_cast<uint32_t>(value >> 32));
}

void signature(uint8_t* sector) {
  sector[510] = 0x55;
  sector[511] = 0xAA;
}

void mbrEntry(uint8_t* sector, int slot, uint8_t type, uint32_t first,
              uint32_t count) {
  uint8_t* entry = sector + 446 + 16 * slot;
  entry[4] = type;
  put32(entry + 8, first);
  put32(entry + 12, count);
  signature(sector);
}

void ntfsBoot(Disk* disk, uint64_t lba) {
  uint8_t* boot = disk->sector(lba);
  std::memcpy(boot + 3, "NTFS    ", 8);
  signature(boot);
}

// A GPT whose entries are given as (first, last) sectors of sectorSize
// bytes; {0, 0} is unused.
void gpt(Disk* disk, const std::vector<std::pair<uint64_t, uint64_t>>& parts,
         uint32_t count = 128, uint32_t entrySize = 128,
         uint64_t sectorSize = kSectorSize) {
  mbrEntry(disk->sector(0), 0, 0xEE, 1, 0xFFFFFFFF);
  uint8_t* header = disk->sector(sectorSize / kSectorSize);
  std::memcpy(header, "EFI PART", 8);
  put64(header + 72, 2);
  put32(header + 80, count);
  put32(header + 84, entrySize);
  for (size_t i = 0; i < parts.size(); ++i) {
    if (parts[i].first == 0) continue;
    const uint64_t at = 2 * sectorSize + i * entrySize;
    uint8_t* entry = disk->sector(at / kSectorSize) + at % kSectorSize;
    entry[0] = 0xA2;  // any type that is not all zeros
    put64(entry + 32, parts[i].first);
    put64(entry + 40, parts[i].second);
  }
}

struct Layout {
  uint32_t number;
  uint64_t firstSector;
  uint64_t sectors;
};

std::vector<Layout> layoutOf(const std::vector<Partition>& partitions) {
  std::vector<Layout> out;
  for (const Partition& p : partitions)
    out.push_back({p.number, p.offset / kSectorSize, p.length / kSectorSize});
  return out;
}

void expectLayout(const std::vector<Partition>& got,
                  const std::vector<Layout>& want) {
  const std::vector<Layout> layout = layoutOf(got);
  ASSERT_EQ(layout.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(layout[i].number, want[i].number);
    EXPECT_EQ(layout[i].firstSector, want[i].firstSector);
    EXPECT_EQ(layout[i].sectors, want[i].sectors);
  }
}

TEST(PartitionTable, FirstSectorTellsTheLayout) {
  Disk ntfs, mbr, gptDisk, blank, signatureOnly, fat, exfat;
  ntfsBoot(&ntfs, 0);
  mbrEntry(mbr.sector(0), 1, 0x07, 2048, 100);
  mbr.sector(0)[446 + 16] = 0x80;  // bootable
  gpt(&gptDisk, {});
  signature(signatureOnly.sector(0));
  blank.sector(0);
  // Boot code and messages of other file systems where a table would be.
  const char message[] = "\r\nRemove disks or other media.\xFF\r\nDisk error";
  std::memcpy(fat.sector(0) + 440, message, sizeof message);
  signature(fat.sector(0));
  std::memset(exfat.sector(0) + 120, 0xF4, 390);
  signature(exfat.sector(0));
  EXPECT_EQ(layoutOfFirstSector(ntfs.sector(0)), DiskLayout::Ntfs);
  EXPECT_EQ(layoutOfFirstSector(mbr.sector(0)), DiskLayout::Mbr);
  EXPECT_EQ(layoutOfFirstSector(gptDisk.sector(0)), DiskLayout::Gpt);
  EXPECT_EQ(layoutOfFirstSector(blank.sector(0)), DiskLayout::Unknown);
  EXPECT_EQ(layoutOfFirstSector(signatureOnly.sector(0)), DiskLayout::Unknown);
  EXPECT_EQ(layoutOfFirstSector(fat.sector(0)), DiskLayout::Other);
  EXPECT_EQ(layoutOfFirstSector(exfat.sector(0)), DiskLayout::Other);
}

// 4K-native disks count their tables in sectors of 4,096 bytes: a GPT
// header found there, an MBR whose partition starts with NTFS's boot sector
// only when so counted.
TEST(PartitionTable, FourKilobyteSectors) {
  Disk gptDisk, mbr;
  gpt(&gptDisk, {{6, 255}, {256, 1279}}, 128, 128, 4096);
  ntfsBoot(&gptDisk, 256 * 8);
  mbrEntry(mbr.sector(0), 0, 0x07, 256, 1024);
  ntfsBoot(&mbr, 256 * 8);
  struct Case {
    const char* name;
    Disk* disk;
    std::vector<Layout> want;  // in 512-byte sectors
  };
  const Case cases[] = {
      {"GPT", &gptDisk, {{1, 48, 2000}, {2, 2048, 8192}}},
      {"MBR", &mbr, {{1, 2048, 8192}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Partition> partitions;
    ASSERT_EQ(readPartitions(c.disk->reader(), c.disk->size, &partitions), 0u);
    expectLayout(partitions, c.want);
    Partition chosen{};
    EXPECT_EQ(
        choosePartition(c.disk->reader(), c.disk->size, partitions, 0, &chosen),
        0u);
    EXPECT_EQ(chosen.offset, 256u * 4096);
  }
}

TEST(PartitionTable, MbrPrimaryAndLogicalPartitions) {
  Disk disk;
  uint8_t* mbr = disk.sector(0);
  mbrEntry(mbr, 0, 0x83, 2048, 2048);
  mbrEntry(mbr, 1, 0x05, 8192, 40000);  // extended
  mbrEntry(mbr, 3, 0x07, 60000, 1000);
  // Logical partitions: each relative to its own record, links relative
  // to the start of the extended partition.
  mbrEntry(disk.sector(8192), 0, 0x07, 2048, 10000);
  mbrEntry(disk.sector(8192), 1, 0x05, 20000, 15000);
  mbrEntry(disk.sector(28192), 0, 0x07, 63, 5000);
  std::vector<Partition> partitions;
  ASSERT_EQ(readPartitions(disk.reader(), disk.size, &partitions), 0u);
  expectLayout(
      partitions,
      {{1, 2048, 2048}, {5, 10240, 10000}, {6, 28255, 5000}, {4, 60000, 1000}});
}

TEST(PartitionTable, BrokenTablesAreCorrupt) {
  struct Case {
    const char* name;
    std::function<void(Disk*)> build;
  };
  const Case cases[] = {
      {"logical chain loops",
       [](Disk* d) {
         mbrEntry(d->sector(0), 0, 0x0F, 100, 1000);
         mbrEntry(d->sector(100), 0, 0x07, 1, 10);
         mbrEntry(d->sector(100), 1, 0x05, 50, 10);
         mbrEntry(d->sector(150), 0, 0x07, 1, 10);
         mbrEntry(d->sector(150), 1, 0x05, 50, 10);  // links to itself
       }},
      {"extended record past the end",
       [](Disk* d) { mbrEntry(d->sector(0), 0, 0x05, 0xFFFFFFF0, 10); }},
      {"extended record without signature",
       [](Disk* d) {
         mbrEntry(d->sector(0), 0, 0x05, 100, 10);
         d->sector(100);
       }},
      {"GPT header missing",
       [](Disk* d) {
         gpt(d, {});
         d->sector(1)[0] = 0;
       }},
      {"GPT entry count huge", [](Disk* d) { gpt(d, {}, 0x10000000); }},
      {"GPT entry size odd", [](Disk* d) { gpt(d, {}, 4, 129); }},
      {"GPT entries past the end",
       [](Disk* d) {
         gpt(d, {});
         put64(d->sector(1) + 72, 1ull << 60);
       }},
      {"GPT last before first",
       [](Disk* d) {
         gpt(d, {{500, 100}});
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Disk disk;
    c.build(&disk);
    std::vector<Partition> partitions;
    EXPECT_EQ(readPartitions(disk.reader(), disk.size, &partitions),
              kErrorDiskCorrupt);
  }
  Disk tiny;
  tiny.size = 100;
  std::vector<Partition> none;
  EXPECT_EQ(readPartitions(tiny.reader(), tiny.size, &none), kErrorDiskCorrupt);
}

TEST(PartitionTable, ChoosesByNumberOrFirstNtfs) {
  Disk disk;
  gpt(&disk, {{34, 2047}, {2048, 10000}, {0, 0}, {20000, 30000}});
  ntfsBoot(&disk, 2048);
  ntfsBoot(&disk, 20000);
  std::vector<Partition> partitions;
  ASSERT_EQ(readPartitions(disk.reader(), disk.size, &partitions), 0u);
  expectLayout(partitions, {{1, 34, 2014}, {2, 2048, 7953}, {4, 20000, 10001}});
  struct Case {
    uint32_t wanted;
    uint32_t status;
    uint64_t firstSector;
  };
  const Case cases[] = {
      {0, 0, 2048},
      {2, 0, 2048},
      {4, 0, 20000},
      {1, kErrorUnrecognizedVolume, 0},  // there, but not NTFS
      {3, kErrorInvalidDrive, 0},        // an unused entry
      {9, kErrorInvalidDrive, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wanted);
    Partition chosen{};
    EXPECT_EQ(choosePartition(disk.reader(), disk.size, partitions, c.wanted,
                              &chosen),
              c.status);
    if (c.status == 0) {
      EXPECT_EQ(chosen.offset / kSectorSize, c.firstSector);
    }
  }
}

TEST(PartitionTable, PartitionsPastTheEndAreNotRead) {
  Disk disk;
  disk.size = 1 << 20;                               // 2048 sectors
  mbrEntry(disk.sector(0), 0, 0x07, 100, 4000);      // runs past the end
  mbrEntry(disk.sector(0), 1, 0x07, 0xFFFFFF00, 8);  // starts past it
  ntfsBoot(&disk, 100);
  std::vector<Partition> partitions;
  ASSERT_EQ(readPartitions(disk.reader(), disk.size, &partitions), 0u);
  Partition chosen{};
  EXPECT_EQ(choosePartition(disk.reader(), disk.size, partitions, 0, &chosen),
            kErrorDiskCorrupt);
  EXPECT_EQ(choosePartition(disk.reader(), disk.size, partitions, 1, &chosen),
            kErrorDiskCorrupt);
  EXPECT_EQ(choosePartition(disk.reader(), disk.size, partitions, 2, &chosen),
            kErrorDiskCorrupt);
  // A disk with no NTFS partition at all.
  Disk linux;
  mbrEntry(linux.sector(0), 0, 0x83, 2048, 2048);
  ASSERT_EQ(readPartitions(linux.reader(), linux.size, &partitions), 0u);
  EXPECT_EQ(choosePartition(linux.reader(), linux.size, partitions, 0, &chosen),
            kErrorUnrecognizedVolume);
}

}  // namespace
}  // namespace platform
}  // namespace vesk
