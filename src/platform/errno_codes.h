// The Windows error code that stands for an errno value: the one map, for
// the Linux layer and the readers below it. Portable (<cerrno> only).
#pragma once

#include <cerrno>
#include <cstdint>

#include "platform/errors.h"

namespace vesk {
namespace platform {

/// The Windows error code for an errno value (31, ERROR_GEN_FAILURE, for
/// one without a counterpart).
inline uint32_t windowsError(int error) {
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

}  // namespace platform
}  // namespace vesk
