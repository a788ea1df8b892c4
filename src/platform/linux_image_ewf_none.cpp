// Built without libewf: evidence files are not supported.
#include "platform/linux_image.h"
#include "platform/platform.h"

namespace vesk {
namespace platform {

uint32_t openEwfSource(const std::string&, ImageSource*) {
  return kErrorNotSupported;
}

}  // namespace platform
}  // namespace vesk
