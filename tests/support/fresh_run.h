// A new process, as far as the logic can tell: a fresh fake platform, then
// the start-up of a real run (every record reset, terms loaded).
#pragma once

#include "app/command_line.h"
#include "support/fake_platform.h"

namespace vesk {
namespace test {

inline void freshRun() {
  fake::reset();
  startUp();
}

}  // namespace test
}  // namespace vesk
