// The block cache: a layer that keeps the pages last read from the one
// below it. A volume reader reads one 1 KiB record at a time; the records
// of one directory's files mostly lie side by side, but are read in the
// order of their names, and a large directory's records span many MiB.
// Portable.
#pragma once

#include "disk/source.h"

namespace vesk {
namespace platform {

/// below, read through 16 MiB of 4 KiB pages, ahead up to 64 KiB when
/// reads follow one another; closing it closes below.
Source cachedSource(Source below);

}  // namespace platform
}  // namespace vesk
