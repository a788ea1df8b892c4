// The routing of paths to namespaces. A path is the mounted tree's unless
// it lies inside the start path's image: once that is open its paths are
// known by their text alone; before, a path whose read or listing the
// mounted tree refuses in the way a path through a file is refused is
// tried as a path into the image (which opens it).
#include "platform/linux/image_route.h"
#include "platform/linux/linux_internal.h"
#include "platform/linux/namespace.h"

namespace vesk {
namespace platform {

namespace {

// Whether status, the mounted tree's answer for path, may mean that path
// passes through a file: missing, below a file, or a file without the
// attribute (ENODATA, ENOTSUP) or without Samba's.
bool mayPassThroughFile(uint32_t status) {
  return status == kErrorFileNotFound || status == kErrorPathNotFound ||
         status == kErrorNotSupported || status == kErrorNoSecurityOnObject ||
         status == kErrorDirectory;
}

bool inImage(const std::string& path) {
  ImagePath image;
  return findImagePath(path, &image);
}

uint32_t routedDescriptor(const char* path, bool followLink,
                          std::vector<uint8_t>* bytes) {
  if (isOpenImagePath(path))
    return imageNamespace().descriptor(path, followLink, bytes);
  const uint32_t status = mountedTree().descriptor(path, followLink, bytes);
  if (status == kErrorSuccess || status == kErrorDirectory ||
      !mayPassThroughFile(status))
    return status;
  // A link read as itself names no image, even when it points to one.
  if (!followLink && isMountedLink(path)) return status;
  if (!inImage(path)) return status;
  return imageNamespace().descriptor(path, followLink, bytes);
}

FindHandle* routedList(const std::string& dir, FindEntry* first,
                       uint32_t* status) {
  if (isOpenImagePath(dir.c_str()))
    return imageNamespace().list(dir, first, status);
  FindHandle* found = mountedTree().list(dir, first, status);
  if (found != nullptr || *status == kErrorNoSecurityOnObject ||
      !mayPassThroughFile(*status) || !inImage(dir))
    return found;
  return imageNamespace().list(dir, first, status);
}

bool routedIdentity(const std::string& dir, DirectoryIdentity* identity) {
  if (isOpenImagePath(dir.c_str()))
    return imageNamespace().identity(dir, identity);
  return mountedTree().identity(dir, identity);
}

}  // namespace

const Namespace& pathNamespace() {
  static const Namespace router = {routedDescriptor, routedList,
                                   routedIdentity};
  return router;
}

}  // namespace platform
}  // namespace vesk
