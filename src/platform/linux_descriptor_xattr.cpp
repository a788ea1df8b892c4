// The descriptor sources of mounted NTFS volumes: ntfs-3g exposes a file's
// stored descriptor as system.ntfs_acl, the kernel's ntfs3 as
// system.ntfs_security.
#include <errno.h>
#include <linux/limits.h>
#include <sys/types.h>
#include <sys/xattr.h>

#include <vector>

#include "platform/linux_internal.h"

namespace vesk {
namespace platform {

// Reads one attribute whole in one call, into a buffer that no attribute
// can outgrow (XATTR_SIZE_MAX). Asking for the size first would cost a second
// round trip to the file system daemon for every object, and a short buffer
// cannot be told from a real failure: ntfs-3g answers it with EIO, ntfs3
// with ENODATA.
int readAttribute(const char* path, const char* name,
                  std::vector<uint8_t>* value) {
  value->resize(XATTR_SIZE_MAX);
  const ssize_t read = lgetxattr(path, name, value->data(), value->size());
  if (read < 0) return errno;
  value->resize(static_cast<size_t>(read));
  return 0;
}

namespace {

uint32_t readOne(const char* path, const char* name,
                 std::vector<uint8_t>* bytes) {
  const ReachablePath reachable(path);
  if (reachable.error()) return windowsError(reachable.error());
  const int error = readAttribute(reachable.name(), name, bytes);
  return error == 0 ? kErrorSuccess : windowsError(error);
}

}  // namespace

uint32_t readNtfs3gDescriptor(const char* path, std::vector<uint8_t>* bytes) {
  return readOne(path, "system.ntfs_acl", bytes);
}

uint32_t readNtfs3Descriptor(const char* path, std::vector<uint8_t>* bytes) {
  return readOne(path, "system.ntfs_security", bytes);
}

uint32_t readXattrDescriptor(const char* path, std::vector<uint8_t>* bytes) {
  const ReachablePath reachable(path);
  if (reachable.error()) return windowsError(reachable.error());
  int error = readAttribute(reachable.name(), "system.ntfs_acl", bytes);
  if (error == ENODATA || error == ENOTSUP)
    error = readAttribute(reachable.name(), "system.ntfs_security", bytes);
  return error == 0 ? kErrorSuccess : windowsError(error);
}

}  // namespace platform
}  // namespace vesk
