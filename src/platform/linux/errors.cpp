// The last error of a failed call on Linux.
#include "platform/linux/linux_internal.h"

namespace vesk {
namespace platform {
namespace {

// The tool runs on one thread, so one value serves as the thread's last
// error.
uint32_t lastError = kErrorSuccess;

}  // namespace

void resetLastError() { lastError = kErrorSuccess; }

bool fail(uint32_t code) {
  lastError = code;
  return false;
}

uint32_t getLastError() { return lastError; }

}  // namespace platform
}  // namespace vesk
