// The descriptor source of disk images, partitions and evidence files: the
// path is routed to its volume, which reads the stored descriptor itself.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/linux/image_route.h"
#include "platform/linux/linux_internal.h"

namespace vesk {
namespace platform {

namespace {

uint32_t descriptorAt(const ImagePath& image, std::vector<uint8_t>* bytes) {
  if (image.volume == nullptr) return image.status;
  return image.volume->descriptor(image.inner, bytes);
}

// Whether path itself is a symbolic link of a mounted file system.
bool isMountedLink(const char* path) {
  const ReachablePath reachable(path);
  struct stat st;
  return reachable.error() == 0 && lstat(reachable.name(), &st) == 0 &&
         S_ISLNK(st.st_mode);
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

uint32_t orImageDescriptor(uint32_t status, const char* path, bool followLink,
                           std::vector<uint8_t>* bytes) {
  ImagePath image;
  // A file without Samba's attribute may be an image as well as one
  // without an NTFS descriptor.
  const bool mayBeImage =
      mayBeImagePath(status) || status == kErrorNoSecurityOnObject;
  if (status == kErrorSuccess || !mayBeImage) return status;
  // A link read as itself names no image, even when it points to one.
  if (!followLink && isMountedLink(path)) return status;
  if (!findImagePath(path, &image)) return status;
  return descriptorAt(image, bytes);
}

}  // namespace platform
}  // namespace vesk
