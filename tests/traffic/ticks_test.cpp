#include <gtest/gtest.h>

#include <cmath>

#include "traffic/ticks.h"

namespace {

TEST(TicksTest, DistanceOverSpeedWithAFloor) {
  struct Case {
    double nm, kt;
    std::int32_t floor, expected;
  };
  const Case cases[] = {
      {0.01, 20, 25, 180},  // a taxi leg
      {0.001, 20, 25, 25},  {0.01, 20, 100, 180}, {0.01002, 20, 25, 180}, {0.01003, 20, 25, 181},
      {0, 20, 25, 25},      {-1, 20, 25, 25},     {1, 0, 25, 25},           {1, -5, 25, 25},
      {NAN, 20, 25, 25},    {1, NAN, 25, 25},     {INFINITY, 20, 25, 25},   {1e9, 1, 25, 2147483647},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(gf_ticksForDistance(c.nm, c.kt, c.floor), c.expected) << c.nm << " NM at " << c.kt << " kt";
  }
  EXPECT_EQ(gf_roundedTicks(99.5, 25), 100);
}

}  // namespace
