// Built without libwbclient: no domain account is named through winbindd.
#include <cstdint>
#include <string>

#include "platform/linux/linux_internal.h"

namespace vesk {
namespace platform {

bool winbindAccountName(const uint8_t*, std::string*, std::string*) {
  return false;
}

}  // namespace platform
}  // namespace vesk
