// Partition tables (MBR with its extended partitions, GPT) read from bytes
// alone, through a reader that tests give literal bytes. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "disk/source.h"
#include "platform/errors.h"

namespace vesk {
namespace platform {

constexpr size_t kSectorSize = 512;

/// One partition: number as Linux counts them (MBR 1-4 primary, 5 on
/// logical; GPT the entry's index + 1), byte offset and length.
struct Partition {
  uint32_t number;
  uint64_t offset;
  uint64_t length;
};

/// What sector 0 of a disk or volume holds: Other is the boot sector of
/// another file system (a signature, but entries no table holds).
enum class DiskLayout { Ntfs, Mbr, Gpt, Other, Unknown };

/// The layout that sector 0 (kSectorSize bytes) shows.
DiskLayout layoutOfFirstSector(const uint8_t* sector);

/// Whether a boot sector (kSectorSize bytes) is NTFS's.
bool isNtfsBootSector(const uint8_t* sector);

/// The partitions of a disk of diskSize bytes with an MBR (extended
/// partitions followed) or a GPT, in table order, in 512- or 4,096-byte
/// sectors. 0, or kErrorDiskCorrupt
/// when a table cannot be read or loops.
uint32_t readPartitions(const ReadAt& read, uint64_t diskSize,
                        std::vector<Partition>* out);

/// The partition to read: number wanted, or with 0 the first whose boot
/// sector is NTFS's. 0, kErrorInvalidDrive (no such number),
/// kErrorUnrecognizedVolume (not NTFS, or none is) or kErrorDiskCorrupt
/// (it lies past the end of the disk).
uint32_t choosePartition(const ReadAt& read, uint64_t diskSize,
                         const std::vector<Partition>& partitions,
                         uint32_t wanted, Partition* chosen);

}  // namespace platform
}  // namespace vesk
