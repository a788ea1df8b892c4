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
  uint8_t head[kProbeBytes] = {};
  if (file.size < kProbeBytes || !file.read(0, kProbeBytes, head)) {
    closeSource(&file);
    return kNotAnImage;
  }
  const ContainerLayer* layer = nullptr;
  status = claimingLayer(head, &layer);
  if (status == 0 && layer == nullptr &&
      layoutOfFirstSector(head) == DiskLayout::Unknown)
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
