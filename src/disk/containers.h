// Container formats: the layers that turn a file into the disk it holds
// (an evidence file's media, a virtual machine's disk, a split image),
// tried in a fixed order as rows of one table (containers.cpp). A file
// that no row claims is read as it is. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "disk/source.h"

namespace vesk {
namespace platform {

/// The first bytes that probes look at, and the last.
constexpr size_t kProbeBytes = 512;

/// What a probe sees of a file: its first and last kProbeBytes (zeros
/// where the file is shorter), its size, and whether its name is a split
/// image's first segment's with the second beside it.
struct FileStart {
  const uint8_t* head;
  const uint8_t* tail;
  uint64_t size;
  bool secondSegment;
};

/// One row: whether a file is this format's, and how to open it as the
/// disk it holds. open is nullptr in a build without the format's
/// library: such a file is then not supported.
struct ContainerLayer {
  const char* name;
  bool (*probe)(const FileStart& file);
  uint32_t (*open)(const std::string& path, Source* out);
};

/// The rows, in the order they are tried; *count of them.
const ContainerLayer* containerLayers(size_t* count);

/// The one row whose probe claims file, in *layer (nullptr when none does,
/// and the file is read as it is). 0, or kErrorDiskCorrupt when two rows
/// claim it: reading it as either could show the wrong disk.
uint32_t claimingLayer(const FileStart& file, const ContainerLayer** layer);

/// The second segment's name when path names the first of a split image
/// (name.000 or name.001, any width of digits; name.aa, name.aaa), else "".
std::string secondSegmentName(const std::string& path);

/// The file named recorded (its last part, after / or \) in the folder of
/// path: where a disk's parent is looked for.
std::string besideFile(const std::string& path, const std::string& recorded);

/// The longest chain of parents a disk may have; a longer one (or a loop)
/// is a damaged disk.
constexpr size_t kMaxParents = 16;

}  // namespace platform
}  // namespace vesk
