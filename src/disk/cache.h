// The block cache: a layer that keeps the last blocks read from the one
// below it. A volume reader reads one 1 KiB record at a time, and the
// records of one directory's files mostly lie side by side. Portable.
#pragma once

#include <cstddef>

#include "disk/source.h"

namespace vesk {
namespace platform {

/// Blocks for a file read as it is, whose misses cost a read each.
constexpr size_t kFileCacheBlocks = 16;

/// Blocks for a container, whose misses cost a library's work: many small
/// reads (VHD), a cluster inflated (compressed QCOW, stream-optimized VMDK).
constexpr size_t kContainerCacheBlocks = 64;

/// below, read through that many blocks of 64 KiB, the least recently used
/// replaced; closing it closes below.
Source cachedSource(Source below, size_t blocks);

}  // namespace platform
}  // namespace vesk
