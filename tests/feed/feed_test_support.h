#pragma once
// A fresh log in a temporary folder and a clean stop state for each feed test.
#include <gtest/gtest.h>

#include <string>

#include "app/stop_request.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "tests/support/test_support.h"

namespace feed_test {

class LoggedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_resetStopStateForTest();
    gf_openLog();
  }
  void TearDown() override {
    gf_closeLog();
    gf_resetStopStateForTest();
    gf_publishSimChoice(SimChoice{});
  }
  std::string logText() {
    gf_flushLog();
    return testing_support::readFile(dir_.path() / "Log.txt");
  }

 private:
  testing_support::TempDir dir_;
  testing_support::ScopedCurrentDir cwd_{dir_.path()};
};

}  // namespace feed_test
