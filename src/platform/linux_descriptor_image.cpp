// The descriptor source of disk images, partitions and evidence files: the
// path is routed to its volume, which reads the stored descriptor itself.
#include <string>
#include <vector>

#include "platform/linux_image.h"
#include "platform/linux_internal.h"

namespace vesk {
namespace platform {

namespace {

uint32_t descriptorAt(const ImagePath& image, std::vector<uint8_t>* bytes) {
  if (image.volume == nullptr) return image.status;
  return imageDescriptor(image.volume, image.inner, bytes);
}

}  // namespace

bool isOpenImagePath(const char* path) {
  ImagePath image;
  return findOpenImagePath(path, &image);
}

uint32_t readImageDescriptor(const char* path, bool,
                             std::vector<uint8_t>* bytes) {
  ImagePath image;
  if (!findImagePath(path, &image)) return kErrorPathNotFound;
  return descriptorAt(image, bytes);
}

uint32_t readXattrOrImageDescriptor(const char* path, bool followLink,
                                    std::vector<uint8_t>* bytes) {
  const uint32_t status = readXattrDescriptor(path, followLink, bytes);
  ImagePath image;
  if (status == kErrorSuccess || !mayBeImagePath(status) ||
      !findImagePath(path, &image))
    return status;
  return descriptorAt(image, bytes);
}

}  // namespace platform
}  // namespace vesk
