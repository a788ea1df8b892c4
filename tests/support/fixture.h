// A clean process for every test: fake platform, run state, default terms.
#pragma once

#include <gtest/gtest.h>

#include "core/state.h"
#include "report/account.h"
#include "report/report.h"
#include "support/fake_platform.h"
#include "support/fresh_run.h"
#include "terms/terms.h"

namespace vesk {
namespace test {

class CleanRun : public ::testing::Test {
 protected:
  void SetUp() override { freshRun(); }
};

}  // namespace test
}  // namespace vesk
