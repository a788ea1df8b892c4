#include "disk/partition.h"

#include <memory>
#include <vector>

#include "disk/partition_table.h"
#include "platform/errors.h"
#include "sd/little_endian.h"

namespace vesk {
namespace platform {

namespace {

// Whether the NTFS volume at the start of window claims more bytes than
// the window holds: an image cut short, or split with its last piece
// missing. Its records past the end would fail one by one.
bool isCutShort(const Source& disk, const Partition& window) {
  uint8_t boot[kSectorSize];
  if (!disk.read(window.offset, kSectorSize, boot) || !isNtfsBootSector(boot))
    return false;
  const uint64_t sectors = read64(boot + 0x28);
  const uint64_t sectorSize = read16(boot + 11);
  return sectorSize != 0 && sectors > window.length / sectorSize;
}

}  // namespace

Source windowOf(Source below, uint64_t offset, uint64_t length) {
  auto shared = std::make_shared<Source>(std::move(below));
  Source window;
  window.size = length;
  window.name = shared->name;
  window.read = [shared, offset, length](uint64_t at, size_t count,
                                         uint8_t* out) {
    if (at > length || count > length - at) return false;
    return shared->read(offset + at, count, out);
  };
  window.close = [shared] { closeSource(shared.get()); };
  return window;
}

uint32_t openPartition(Source disk, uint32_t wanted, Source* out) {
  uint8_t sector[kSectorSize];
  if (disk.size < kSectorSize) {
    closeSource(&disk);
    return kErrorNotSupported;
  }
  // A container whose first bytes cannot be read is damaged or cut short.
  if (!disk.read(0, kSectorSize, sector)) {
    closeSource(&disk);
    return kErrorDiskCorrupt;
  }
  const DiskLayout layout = layoutOfFirstSector(sector);
  uint32_t status = 0;
  Partition chosen{0, 0, disk.size};
  if (layout == DiskLayout::Ntfs && wanted == 0) {
    // The volume itself.
  } else if (layout == DiskLayout::Other) {
    status = kErrorUnrecognizedVolume;  // a volume, not NTFS
  } else if (layout == DiskLayout::Ntfs || layout == DiskLayout::Unknown) {
    // Not a disk: a file that holds no volume, or no partition N.
    status =
        layout == DiskLayout::Ntfs ? kErrorInvalidDrive : kErrorNotSupported;
  } else {
    std::vector<Partition> partitions;
    status = readPartitions(disk.read, disk.size, &partitions);
    if (status == 0)
      status =
          choosePartition(disk.read, disk.size, partitions, wanted, &chosen);
  }
  if (status == 0 && isCutShort(disk, chosen)) status = kErrorDiskCorrupt;
  if (status != 0) {
    closeSource(&disk);
    return status;
  }
  *out = windowOf(std::move(disk), chosen.offset, chosen.length);
  return 0;
}

}  // namespace platform
}  // namespace vesk
