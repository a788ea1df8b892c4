// A file or block device read as it is, read-only: the bottom of the stack.
#pragma once

#include <cstdint>
#include <string>

#include "disk/source.h"

namespace vesk {
namespace platform {

/// Opens path read-only as a source named path. 0, kErrorAccessDenied,
/// kErrorFileNotFound (cannot be opened) or kErrorNotSupported (no size).
uint32_t openRawFile(const std::string& path, Source* out);

}  // namespace platform
}  // namespace vesk
