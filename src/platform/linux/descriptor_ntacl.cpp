// The descriptor source of Samba file servers: with vfs objects = acl_xattr,
// smbd keeps each file's Windows descriptor in security.NTACL, NDR-encoded,
// on whatever Linux file system backs the share.
#include <errno.h>

#include <cstring>
#include <vector>

#include "platform/linux/linux_internal.h"
#include "sd/ntacl.h"

namespace vesk {
namespace platform {

uint32_t readNtaclDescriptor(const char* path, bool followLink,
                             std::vector<uint8_t>* bytes) {
  const ReachablePath reachable(path);
  if (reachable.error()) return windowsError(reachable.error());
  const int error =
      readAttribute(reachable.name(), followLink, "security.NTACL", bytes);
  // A file made on the server itself, not through Samba, has none.
  if (error == ENODATA) return kErrorNoSecurityOnObject;
  if (error != 0) return windowsError(error);
  size_t start = 0;
  const uint32_t status = unwrapNtacl(bytes->data(), bytes->size(), &start);
  if (status != kErrorSuccess) return status;
  // The reader's contract: the descriptor from the buffer's first byte.
  std::memmove(bytes->data(), bytes->data() + start, bytes->size() - start);
  bytes->resize(bytes->size() - start);
  return kErrorSuccess;
}

uint32_t readAnyDescriptor(const char* path, bool followLink,
                           std::vector<uint8_t>* bytes) {
  const uint32_t status = readXattrDescriptor(path, followLink, bytes);
  if (status != kErrorNotSupported) return status;
  const uint32_t samba = readNtaclDescriptor(path, followLink, bytes);
  return samba == kErrorNoSecurityOnObject ? kErrorNotSupported : samba;
}

}  // namespace platform
}  // namespace vesk
