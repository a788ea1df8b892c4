// Windows error codes on Linux: the last error of a failed call, and the
// codes that stand for errno values.
#include <errno.h>

#include "platform/linux_internal.h"

namespace vesk {
namespace platform {
namespace {

// The tool runs on one thread, so one value serves as the thread's last
// error.
uint32_t lastError = kErrorSuccess;

}  // namespace

uint32_t windowsError(int error) {
  switch (error) {
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
      return kErrorAccessDenied;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case ENODATA:
    case ENOTSUP:
      return kErrorNotSupported;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case ELOOP:
      return kErrorCantResolveFilename;
    case EIO:
      return kErrorIoDevice;
    default:
      return kErrorGenFailure;
  }
}

bool fail(uint32_t code) {
  lastError = code;
  return false;
}

uint32_t getLastError() { return lastError; }

}  // namespace platform
}  // namespace vesk
