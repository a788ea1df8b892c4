// The block cache: a layer that keeps the last blocks read from the one
// below it. A volume reader reads one 1 KiB record at a time, and the
// records of one directory's files mostly lie side by side. Portable.
#pragma once

#include "disk/source.h"

namespace vesk {
namespace platform {

/// below, read through 16 blocks of 64 KiB, the least recently used
/// replaced; closing it closes below.
Source cachedSource(Source below);

}  // namespace platform
}  // namespace vesk
