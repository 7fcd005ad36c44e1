#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "traffic/speed_profile.h"

namespace {

TEST(SpeedProfileTest, BuildsAndScalesTheEndSpeeds) {
  struct Case {
    double d, t, vs, ve, storedStart, storedEnd;
  };
  const double scaled = 40.0 * 3.0 / std::sqrt(32.0);  // about 21.2
  const Case cases[] = {{100, 10, 0, 20, 0, 20}, {100, 10, 40, 40, scaled, scaled}, {100, 10, -5, 10, 0, 10}};
  for (const auto& c : cases) {
    SpeedProfile p;
    ASSERT_TRUE(p.build(c.d, c.t, c.vs, c.ve)) << c.vs << " " << c.ve;
    EXPECT_NEAR(p.startSpeed, c.storedStart, 1e-9) << c.vs << " " << c.ve;
    EXPECT_NEAR(p.endSpeed, c.storedEnd, 1e-9) << c.vs << " " << c.ve;
    EXPECT_NEAR(p.speedAt(0), c.storedStart, 1e-9);
    EXPECT_NEAR(p.speedAt(c.t), c.storedEnd, 1e-9);
    EXPECT_NEAR(p.positionAt(c.t), c.d, 1e-9);
    EXPECT_EQ(p.positionAt(std::numeric_limits<double>::infinity()), p.positionAt(c.t));
    EXPECT_EQ(p.positionAt(NAN), 0.0);
  }
  SpeedProfile p;
  EXPECT_FALSE(p.build(0, 10, 1, 1));
  EXPECT_FALSE(p.build(100, NAN, 1, 1));
}

TEST(SpeedProfileTest, ExtremeAndRangeOfSpeeds) {
  SpeedProfile p;
  ASSERT_TRUE(p.build(100, 10, 0, 0));  // from standstill to standstill: fastest half-way
  EXPECT_NEAR(p.extremeTime(), 0.5, 1e-12);
  EXPECT_NEAR(p.maxSpeed(), 15.0, 1e-9);
  EXPECT_EQ(p.minSpeed(), 0.0);
  ASSERT_TRUE(p.build(100, 10, 5, 15));  // steady acceleration: no extreme
  EXPECT_EQ(p.extremeTime(), -1.0);
  EXPECT_EQ(p.maxSpeed(), 15.0);
}

TEST(SpeedProfileTest, EmptyProfileAnswersZero) {
  const SpeedProfile p;
  EXPECT_EQ(p.speedAt(1.0), 0.0);
  EXPECT_EQ(p.positionAt(1.0), 0.0);
  EXPECT_EQ(p.minSpeed(), 0.0);
  EXPECT_EQ(p.maxSpeed(), 0.0);
}

TEST(SpeedProfileTest, AcceleratingProfiles) {
  SpeedProfile p;
  // Start above the mean of 10 and an end that needs a slowdown: neither try fits.
  EXPECT_FALSE(p.buildAccelerating(100, 10, 15, 5, 50));
  EXPECT_FALSE(p.valid);
  EXPECT_EQ(p.speedAt(5), 0.0);
  // The wanted stop would brake at the end; the second try keeps accelerating to 2 x 10 - 5.
  ASSERT_TRUE(p.buildAccelerating(100, 10, 5, 0, 50));
  EXPECT_DOUBLE_EQ(p.startSpeed, 5.0);
  EXPECT_DOUBLE_EQ(p.endSpeed, 15.0);
  // The first try fits as wanted.
  ASSERT_TRUE(p.buildAccelerating(100, 10, 8, 12, 50));
  EXPECT_DOUBLE_EQ(p.endSpeed, 12.0);
  // Both tries would exceed the highest speed.
  EXPECT_FALSE(p.buildAccelerating(100, 10, 5, 0, 14));
}

TEST(SpeedProfileTest, PositionNeverDecreases) {
  std::mt19937 random(20240522);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int run = 0; run < 2000; ++run) {
    const double d = 1.0 + 999.0 * unit(random);
    const double t = 1.0 + 99.0 * unit(random);
    const double mean = d / t;
    SpeedProfile p;
    const bool built = run % 2 ? p.build(d, t, 6 * mean * unit(random), 6 * mean * unit(random))
                               : p.buildAccelerating(d, t, 2 * mean * unit(random), 3 * mean * unit(random), 4 * mean);
    if (!built) continue;
    double previous = 0.0;
    for (int i = 1; i <= 400; ++i) {
      const double s = p.positionAt(t * i / 400.0);
      ASSERT_GE(s, previous - 1e-9 * d) << "run " << run << " d " << d << " t " << t << " vs " << p.startSpeed
                                        << " ve " << p.endSpeed;
      previous = s;
    }
    EXPECT_NEAR(previous, d, 1e-9 * d);
  }
}

}  // namespace
