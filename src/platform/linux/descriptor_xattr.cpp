// The descriptor sources of mounted NTFS volumes: ntfs-3g exposes a file's
// stored descriptor as system.ntfs_acl, the kernel's ntfs3 as
// system.ntfs_security.
#include <errno.h>
#include <linux/limits.h>
#include <sys/types.h>
#include <sys/xattr.h>

#include <vector>

#include "platform/linux/linux_internal.h"
#include "sd/little_endian.h"

namespace vesk {
namespace platform {

// Reads one attribute whole in one call, into a buffer that no attribute
// can outgrow (XATTR_SIZE_MAX). Asking for the size first would cost a second
// round trip to the file system daemon for every object, and a short buffer
// cannot be told from a real failure: ntfs-3g answers it with EIO, ntfs3
// with ENODATA.
int readAttribute(const char* path, bool followLink, const char* name,
                  std::vector<uint8_t>* value) {
  value->resize(XATTR_SIZE_MAX);
  const ssize_t read =
      followLink ? getxattr(path, name, value->data(), value->size())
                 : lgetxattr(path, name, value->data(), value->size());
  if (read < 0) return errno;
  value->resize(static_cast<size_t>(read));
  return 0;
}

namespace {

uint32_t readOne(const char* path, bool followLink, const char* name,
                 std::vector<uint8_t>* bytes) {
  const ReachablePath reachable(path);
  if (reachable.error()) return windowsError(reachable.error());
  const int error = readAttribute(reachable.name(), followLink, name, bytes);
  return error == 0 ? kErrorSuccess : windowsError(error);
}

}  // namespace

uint32_t readNtfs3gDescriptor(const char* path, bool followLink,
                              std::vector<uint8_t>* bytes) {
  return readOne(path, followLink, "system.ntfs_acl", bytes);
}

uint32_t readNtfs3Descriptor(const char* path, bool followLink,
                             std::vector<uint8_t>* bytes) {
  return readOne(path, followLink, "system.ntfs_security", bytes);
}

uint32_t readXattrDescriptor(const char* path, bool followLink,
                             std::vector<uint8_t>* bytes) {
  const ReachablePath reachable(path);
  if (reachable.error()) return windowsError(reachable.error());
  const char* name = reachable.name();
  int error = readAttribute(name, followLink, "system.ntfs_acl", bytes);
  if (error == ENODATA || error == ENOTSUP)
    error = readAttribute(name, followLink, "system.ntfs_security", bytes);
  return error == 0 ? kErrorSuccess : windowsError(error);
}

bool ntfsAttributesSayDirectory(const char* path) {
  // FILE_ATTRIBUTE_DIRECTORY (0x10) of the little-endian word that ntfs-3g
  // reports as system.ntfs_attrib of the object itself.
  uint8_t attributes[4] = {};
  return lgetxattr(path, "system.ntfs_attrib", attributes, sizeof attributes) ==
             sizeof attributes &&
         (read32(attributes) & 0x10) != 0;
}

}  // namespace platform
}  // namespace vesk
