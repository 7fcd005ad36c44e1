// The traffic engine's exception reporter: what it writes, and that it stops after 20.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "core/log.h"
#include "tests/support/test_support.h"
#include "traffic/traffic_exceptions.h"

namespace {

template <typename T>
void reportThrown(T thrown) {
  try {
    throw thrown;
  } catch (...) {
    gf_reportTrafficException("nextPosGround");
  }
}

TEST(TrafficExceptions, TextsAndTheLimitOfTwenty) {
  testing_support::TempDir dir;
  testing_support::ScopedCurrentDir cwd(dir.path());
  gf_openLog();
  gf_resetTrafficExceptionsForTest();
  const auto log = [&] {
    gf_flushLog();
    return testing_support::readFile(dir / "Log.txt");
  };
  reportThrown(42);
  gf_reportTrafficException("checkUserAirCollision");
  for (int i = 3; i <= 19; ++i) reportThrown(std::runtime_error(fmt::format("fault {}", i)));
  const std::string nineteen = log();
  EXPECT_NE(nineteen.find("==> Traffic exception in nextPosGround: non-standard exception\n"), std::string::npos);
  EXPECT_NE(nineteen.find("==> Traffic exception in checkUserAirCollision: unknown exception\n"), std::string::npos);
  EXPECT_NE(nineteen.find("==> Traffic exception in nextPosGround: fault 19\n"), std::string::npos);

  reportThrown(std::runtime_error("fault 20"));
  const std::string twenty = log();
  EXPECT_EQ(twenty.substr(nineteen.size()),
            "==> Traffic exception in nextPosGround: fault 20 (further traffic exceptions will be suppressed)\n");
  reportThrown(std::runtime_error("fault 21"));
  EXPECT_EQ(log(), twenty);
  gf_resetTrafficExceptionsForTest();
  gf_closeLog();
}

}  // namespace
