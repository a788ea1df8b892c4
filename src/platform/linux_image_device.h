// The device operations through which libntfs-3g reads a volume: a window
// onto an image source, read in chunks, that refuses every write.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/linux_image.h"
#include "platform/ntfs3g.h"

namespace vesk {
namespace platform {

// The window of the source that holds the volume, and a file position for
// the library's seek and read.
struct Window {
  ImageSource source;
  uint64_t offset = 0;
  uint64_t length = 0;
  s64 position = 0;
  // The last chunks of the source read, by chunk number: the library
  // reads one 1 KiB record at a time, and the records of one directory's
  // files mostly lie side by side.
  struct Chunk {
    uint64_t number = UINT64_MAX;
    size_t size = 0;
    std::vector<uint8_t> bytes;
  };
  Chunk chunks[16];
};

/// The operations for an ntfs_device whose d_private is a Window: reads
/// within the window, EROFS for any write or read-write open.
extern ntfs_device_operations windowOperations;

}  // namespace platform
}  // namespace vesk
