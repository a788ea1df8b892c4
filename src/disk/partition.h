// The partition layer: the window of a disk that holds the volume to read
// (the whole source when it is a volume itself). Portable.
#pragma once

#include <cstdint>

#include "disk/source.h"

namespace vesk {
namespace platform {

/// length bytes of below from offset, read through below; closing it
/// closes below.
Source windowOf(Source below, uint64_t offset, uint64_t length);

/// The volume in disk: disk itself when its first sector is NTFS's and
/// wanted is 0, else partition wanted (0: the first NTFS one) of its MBR or
/// GPT. 0 and *out, or kErrorNotSupported (neither a volume nor a disk),
/// kErrorUnrecognizedVolume (a volume of another file system),
/// kErrorInvalidDrive (no partition wanted; a volume has none),
/// kErrorDiskCorrupt (its first sector unreadable, or the volume longer
/// than the disk or partition) or an error of the table (choosePartition);
/// disk is closed on failure.
uint32_t openPartition(Source disk, uint32_t wanted, Source* out);

}  // namespace platform
}  // namespace vesk
