// A file of its own: only a program that links a platform layer (the OS's
// or the tests' fake) takes it, since it asks that layer for the name.
#include "sd/account_name.h"

namespace vesk {
namespace platform {

namespace {

constexpr uint32_t kNameCapacity = 260;

}  // namespace

std::string localAccountName(const Sid* sid) {
  char name[kNameCapacity] = "";
  char domain[kNameCapacity] = "";
  if (lookupAccountSid("", sid, name, kNameCapacity, domain, kNameCapacity))
    return name;
  return sidString(sid);
}

}  // namespace platform
}  // namespace vesk
