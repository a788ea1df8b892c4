// MBR and GPT partition tables, read from bytes alone: every offset and
// count comes from the disk and is checked against the buffer and the disk.
// A table counts in logical sectors of 512 or 4,096 bytes (a 4K-native
// disk); the sector size is found from the table itself.
#include "disk/partition_table.h"

#include <cstring>
#include <set>
#include <utility>

#include "sd/little_endian.h"

namespace vesk {
namespace platform {

namespace {

constexpr size_t kMbrEntries = 4;
constexpr size_t kMbrTable = 446;
constexpr uint8_t kTypeEmpty = 0x00;
constexpr uint8_t kTypeGptProtective = 0xEE;
constexpr uint32_t kMaxLogical = 128;  // a chain longer than this loops
constexpr uint32_t kMaxGptEntries = 1024;
constexpr uint64_t kSectorSizes[] = {512, 4096};

bool hasBootSignature(const uint8_t* sector) {
  return sector[510] == 0x55 && sector[511] == 0xAA;
}

bool isExtendedType(uint8_t type) {
  return type == 0x05 || type == 0x0F || type == 0x85;
}

struct MbrSlot {
  uint8_t status;
  uint8_t type;
  uint64_t firstSector;
  uint64_t sectors;
};

MbrSlot mbrSlot(const uint8_t* sector, size_t index) {
  const uint8_t* entry = sector + kMbrTable + 16 * index;
  return MbrSlot{entry[0], entry[4], read32(entry + 8), read32(entry + 12)};
}

// Sectors in bytes, saturated: a count from the disk may be anything.
uint64_t bytesOf(uint64_t sectors, uint64_t sectorSize) {
  return sectors > UINT64_MAX / sectorSize ? UINT64_MAX : sectors * sectorSize;
}

// The first kSectorSize bytes of logical sector lba.
bool readSector(const ReadAt& read, uint64_t diskSize, uint64_t lba,
                uint8_t* sector, uint64_t sectorSize = kSectorSize) {
  if (diskSize < kSectorSize || lba > (diskSize - kSectorSize) / sectorSize)
    return false;
  return read(lba * sectorSize, kSectorSize, sector);
}

// Logical partitions: each extended boot record holds one partition
// (relative to itself) and a link to the next (relative to the start of
// the extended partition).
uint32_t readLogical(const ReadAt& read, uint64_t diskSize, uint64_t size,
                     uint64_t extendedStart, std::vector<Partition>* out) {
  std::set<uint64_t> seen;
  uint64_t ebr = extendedStart;
  uint32_t number = 5;
  uint8_t sector[kSectorSize];
  while (seen.insert(ebr).second) {
    if (seen.size() > kMaxLogical ||
        !readSector(read, diskSize, ebr, sector, size) ||
        !hasBootSignature(sector))
      return kErrorDiskCorrupt;
    const MbrSlot own = mbrSlot(sector, 0);
    const MbrSlot link = mbrSlot(sector, 1);
    if (own.type != kTypeEmpty && own.sectors != 0)
      out->push_back(Partition{number++, (ebr + own.firstSector) * size,
                               own.sectors * size});
    if (link.type == kTypeEmpty || link.firstSector == 0) return 0;
    ebr = extendedStart + link.firstSector;
  }
  return kErrorDiskCorrupt;
}

uint32_t readMbr(const ReadAt& read, uint64_t diskSize, uint64_t size,
                 const uint8_t* sector, std::vector<Partition>* out) {
  for (size_t i = 0; i < kMbrEntries; ++i) {
    const MbrSlot slot = mbrSlot(sector, i);
    if (slot.type == kTypeEmpty || slot.sectors == 0) continue;
    if (isExtendedType(slot.type)) {
      const uint32_t status =
          readLogical(read, diskSize, size, slot.firstSector, out);
      if (status != 0) return status;
      continue;
    }
    out->push_back(Partition{static_cast<uint32_t>(i + 1),
                             slot.firstSector * size, slot.sectors * size});
  }
  return 0;
}

uint32_t readGpt(const ReadAt& read, uint64_t diskSize,
                 std::vector<Partition>* out) {
  // The header is logical sector 1, found at the first size that holds it.
  uint8_t header[kSectorSize];
  uint64_t size = 0;
  for (uint64_t candidate : kSectorSizes) {
    if (readSector(read, diskSize, 1, header, candidate) &&
        std::memcmp(header, "EFI PART", 8) == 0) {
      size = candidate;
      break;
    }
  }
  if (size == 0) return kErrorDiskCorrupt;
  const uint64_t entriesLba = read64(header + 72);
  const uint32_t count = read32(header + 80);
  const uint32_t entrySize = read32(header + 84);
  if (count > kMaxGptEntries || entrySize < 128 || entrySize > 4096 ||
      entrySize % 8 != 0)
    return kErrorDiskCorrupt;
  std::vector<uint8_t> entry(entrySize);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t at = static_cast<uint64_t>(i) * entrySize;
    if (entriesLba > diskSize / size ||
        entriesLba * size + at + entrySize > diskSize ||
        !read(entriesLba * size + at, entrySize, entry.data()))
      return kErrorDiskCorrupt;
    static const uint8_t kUnused[16] = {};
    if (std::memcmp(entry.data(), kUnused, 16) == 0) continue;
    const uint64_t first = read64(entry.data() + 32);
    const uint64_t last = read64(entry.data() + 40);
    if (last < first) return kErrorDiskCorrupt;
    out->push_back(Partition{i + 1, bytesOf(first, size),
                             bytesOf(last - first + 1, size)});
  }
  return 0;
}

bool fitsDisk(const Partition& partition, uint64_t diskSize) {
  return partition.offset / kSectorSize <= diskSize / kSectorSize &&
         partition.offset <= diskSize &&
         partition.length <= diskSize - partition.offset;
}

bool startsWithNtfs(const ReadAt& read, uint64_t diskSize,
                    const Partition& partition) {
  uint8_t sector[kSectorSize];
  return fitsDisk(partition, diskSize) && partition.length >= kSectorSize &&
         read(partition.offset, kSectorSize, sector) &&
         isNtfsBootSector(sector);
}

// An MBR does not say its sector size: the one at which a partition starts
// with the NTFS boot sector it should start with, else 512 bytes.
uint32_t readMbrOfSomeSize(const ReadAt& read, uint64_t diskSize,
                           const uint8_t* sector, std::vector<Partition>* out) {
  for (uint64_t size : kSectorSizes) {
    std::vector<Partition> found;
    if (readMbr(read, diskSize, size, sector, &found) != 0) continue;
    for (const Partition& partition : found) {
      if (!startsWithNtfs(read, diskSize, partition)) continue;
      *out = std::move(found);
      return 0;
    }
  }
  return readMbr(read, diskSize, kSectorSize, sector, out);
}

// Boot code of another file system (FAT, exFAT) where a table would be
// fills the entries with what no table holds: a status other than 0x00 or
// 0x80, or a partition that starts at the table itself.
bool isPlausibleSlot(const MbrSlot& slot) {
  return (slot.status == 0x00 || slot.status == 0x80) &&
         (slot.type == kTypeEmpty || slot.firstSector != 0);
}

}  // namespace

bool isNtfsBootSector(const uint8_t* sector) {
  return std::memcmp(sector + 3, "NTFS    ", 8) == 0;
}

DiskLayout layoutOfFirstSector(const uint8_t* sector) {
  if (isNtfsBootSector(sector)) return DiskLayout::Ntfs;
  if (!hasBootSignature(sector)) return DiskLayout::Unknown;
  bool any = false;
  bool gpt = false;
  for (size_t i = 0; i < kMbrEntries; ++i) {
    const MbrSlot slot = mbrSlot(sector, i);
    if (!isPlausibleSlot(slot)) return DiskLayout::Other;
    gpt = gpt || slot.type == kTypeGptProtective;
    any = any || slot.type != kTypeEmpty;
  }
  if (gpt) return DiskLayout::Gpt;
  return any ? DiskLayout::Mbr : DiskLayout::Unknown;
}

uint32_t readPartitions(const ReadAt& read, uint64_t diskSize,
                        std::vector<Partition>* out) {
  out->clear();
  uint8_t sector[kSectorSize];
  if (!readSector(read, diskSize, 0, sector)) return kErrorDiskCorrupt;
  switch (layoutOfFirstSector(sector)) {
    case DiskLayout::Mbr:
      return readMbrOfSomeSize(read, diskSize, sector, out);
    case DiskLayout::Gpt:
      return readGpt(read, diskSize, out);
    default:
      return kErrorDiskCorrupt;
  }
}

uint32_t choosePartition(const ReadAt& read, uint64_t diskSize,
                         const std::vector<Partition>& partitions,
                         uint32_t wanted, Partition* chosen) {
  bool pastTheEnd = false;
  for (const Partition& partition : partitions) {
    if (wanted != 0 && partition.number != wanted) continue;
    if (!fitsDisk(partition, diskSize)) {
      if (wanted != 0) return kErrorDiskCorrupt;
      pastTheEnd = true;
      continue;
    }
    const bool ntfs = startsWithNtfs(read, diskSize, partition);
    if (!ntfs && wanted != 0) return kErrorUnrecognizedVolume;
    if (!ntfs) continue;
    *chosen = partition;
    return 0;
  }
  if (wanted != 0) return kErrorInvalidDrive;
  return pastTheEnd ? kErrorDiskCorrupt : kErrorUnrecognizedVolume;
}

}  // namespace platform
}  // namespace vesk
