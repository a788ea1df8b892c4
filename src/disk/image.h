// A disk image opened as the stack of layers that leads to its volume:
// file, container (containers.h), block cache; then partition.h.
#pragma once

#include <cstdint>
#include <string>

#include "disk/source.h"

namespace vesk {
namespace platform {

/// What openImage returns for a file that is no image: its first bytes
/// show neither a volume, nor a partition table, nor a container.
constexpr uint32_t kNotAnImage = 0xFFFFFFFF;

/// The disk in the file (or block device) at path, read through the
/// container that holds it, if any, and the block cache; named label.
/// 0 and *out, kNotAnImage, or an error code. The volume is then found on
/// it by openPartition (partition.h).
uint32_t openDisk(const std::string& path, const std::string& label,
                  Source* out);

}  // namespace platform
}  // namespace vesk
