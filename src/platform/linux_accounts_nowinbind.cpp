// Built without libwbclient: no domain account is named through winbindd.
#include <string>

#include "platform/linux_internal.h"

namespace vesk {
namespace platform {

bool winbindAccountName(const std::string&, std::string*, std::string*) {
  return false;
}

}  // namespace platform
}  // namespace vesk
