// The traffic engine's exception reporter: what it writes, and that it stops after 20.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

#include "core/log.h"
#include "tests/support/test_support.h"
#include "traffic/traffic_exceptions.h"

namespace {

class TrafficExceptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cwd_.emplace(dir_.path());
    gf_openLog();
    gf_resetTrafficExceptionsForTest();
  }
  void TearDown() override {
    gf_resetTrafficExceptionsForTest();
    gf_closeLog();
  }
  std::string log() {
    gf_flushLog();
    return testing_support::readFile(dir_ / "Log.txt");
  }
  static void reportThrown(auto thrown) {
    try {
      throw thrown;
    } catch (...) {
      gf_reportTrafficException("nextPosGround");
    }
  }

 private:
  testing_support::TempDir dir_;
  std::optional<testing_support::ScopedCurrentDir> cwd_;
};

TEST_F(TrafficExceptionsTest, TextsOfTheException) {
  reportThrown(std::runtime_error("bad stream"));
  reportThrown(42);
  gf_reportTrafficException("checkUserAirCollision");
  const std::string text = log();
  for (const char* line : {"==> Traffic exception in nextPosGround: bad stream\n",
                           "==> Traffic exception in nextPosGround: non-standard exception\n",
                           "==> Traffic exception in checkUserAirCollision: unknown exception\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(TrafficExceptionsTest, TheTwentiethSaysSoAndLaterOnesWriteNothing) {
  for (int i = 1; i <= 19; ++i) reportThrown(std::runtime_error(fmt::format("fault {}", i)));
  EXPECT_EQ(log().find("suppressed"), std::string::npos);
  reportThrown(std::runtime_error("fault 20"));
  const std::string afterTwenty = log();
  EXPECT_NE(afterTwenty.find("fault 20 (further traffic exceptions will be suppressed)\n"), std::string::npos);
  for (int i = 21; i <= 25; ++i) reportThrown(std::runtime_error(fmt::format("fault {}", i)));
  EXPECT_EQ(log(), afterTwenty);
}

}  // namespace
