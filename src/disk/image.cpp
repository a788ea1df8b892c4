#include "disk/image.h"

#include "disk/cache.h"
#include "disk/containers.h"
#include "disk/partition_table.h"
#include "disk/raw_file.h"
#include "platform/errors.h"

namespace vesk {
namespace platform {

uint32_t openDisk(const std::string& path, const std::string& label,
                  Source* out) {
  Source file;
  uint32_t status = openRawFile(path, &file);
  if (status != 0) return status;
  // A descriptor that names a disk's extents may be shorter than a
  // sector: the probes see zeros past the end.
  uint8_t head[kProbeBytes] = {};
  uint8_t tail[kProbeBytes] = {};
  const size_t headBytes =
      file.size < kProbeBytes ? static_cast<size_t>(file.size) : kProbeBytes;
  if (file.size == 0 || !file.read(0, headBytes, head) ||
      (file.size >= kProbeBytes &&
       !file.read(file.size - kProbeBytes, kProbeBytes, tail))) {
    closeSource(&file);
    return kNotAnImage;
  }
  const std::string second = secondSegmentName(resolvedPath(path));
  const FileStart start{head, tail, file.size,
                        !second.empty() && isRegularFile(second)};
  const ContainerLayer* layer = nullptr;
  status = claimingLayer(start, &layer);
  if (status == 0 && layer == nullptr &&
      (file.size < kProbeBytes ||
       layoutOfFirstSector(head) == DiskLayout::Unknown))
    status = kNotAnImage;
  Source disk;
  if (layer != nullptr || status != 0) {
    closeSource(&file);
    if (status != 0) return status;
    if (layer->open == nullptr) return kErrorNotSupported;
    status = layer->open(path, &disk);
    if (status != 0) return status;
  } else {
    disk = std::move(file);
  }
  disk.name = label;
  *out = cachedSource(std::move(disk));
  return 0;
}

}  // namespace platform
}  // namespace vesk
