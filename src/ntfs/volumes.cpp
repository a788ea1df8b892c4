// The table of volume readers: a reader is one file and one row here, a
// row under its build flag when its library is optional.
#include "disk/partition_table.h"
#include "ntfs/volume.h"
#include "platform/errors.h"

namespace vesk {
namespace platform {

#if VESK_WITH_NTFS3G
uint32_t openNtfs3gVolume(Source source, Volume** out);  // ntfs3g_volume.cpp
#endif

namespace {

const VolumeReader kReaders[] = {
#if VESK_WITH_NTFS3G
    {"libntfs-3g", isNtfsBootSector, openNtfs3gVolume},
#endif
    {nullptr, nullptr, nullptr},  // the end; a table is never empty
};

constexpr size_t kReaderCount = sizeof kReaders / sizeof kReaders[0] - 1;

}  // namespace

bool volumeReadersBuilt() { return kReaderCount > 0; }

uint32_t openVolume(Source source, Volume** out) {
  *out = nullptr;
  uint8_t sector[kSectorSize];
  const bool read =
      source.size >= kSectorSize && source.read(0, kSectorSize, sector);
  for (size_t i = 0; read && i < kReaderCount; ++i) {
    if (kReaders[i].probe(sector))
      return kReaders[i].open(std::move(source), out);
  }
  closeSource(&source);
  if (kReaderCount == 0) return kErrorNotSupported;
  return read ? kErrorUnrecognizedVolume : kErrorNotSupported;
}

}  // namespace platform
}  // namespace vesk
