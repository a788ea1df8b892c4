// A new process, as far as the logic can tell: fake platform, run state,
// default terms, no entry lines, no remembered names.
#pragma once

#include "app/state.h"
#include "report/account.h"
#include "report/report.h"
#include "support/fake_platform.h"
#include "terms/terms.h"

namespace vesk {
namespace test {

inline void freshRun() {
  fake::reset();
  resetAppState();
  resetTerms();
  appendSeparators();
  entryLines.clear();
  forgetAccountNames();
}

}  // namespace test
}  // namespace vesk
