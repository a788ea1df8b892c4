// The name an account is shown by in the owner and group that
// lookupSecurityDescriptorParts hands out, the same on every layer.
#pragma once

#include <string>

#include "platform/platform.h"

namespace vesk {
namespace platform {

/// The bare account name that lookupAccountSid gives for sid on this
/// machine, or the SID's text when nobody names it.
std::string localAccountName(const Sid* sid);

}  // namespace platform
}  // namespace vesk
