// The device operations through which libntfs-3g reads a volume: a
// source, read at a file position of the library's own, that refuses every
// write.
#pragma once

#include "disk/source.h"
#include "ntfs/ntfs3g.h"

namespace vesk {
namespace platform {

// The source that holds the volume, and a file position for the library's
// seek and read.
struct DeviceSource {
  Source source;
  s64 position = 0;
};

/// The operations for an ntfs_device whose d_private is a DeviceSource:
/// reads within the source, EROFS for any write or read-write open.
extern ntfs_device_operations deviceOperations;

}  // namespace platform
}  // namespace vesk
