#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <vector>

#include "config/random.h"

namespace {

class RandomTest : public ::testing::Test {
 protected:
  void TearDown() override { gf_setRandomEnabled(true); }
};

TEST_F(RandomTest, SwitchedOffEveryPickIsTheFirst) {
  gf_setRandomEnabled(false);
  std::vector<std::uint16_t> values(20);
  std::iota(values.begin(), values.end(), std::uint16_t{0});
  const auto original = values;
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(gf_random(1000), 0u);
    gf_shuffle(values);
  }
  EXPECT_EQ(values, original);
  // Not governed by the switch: both ways, and no change for a percentage of 0 or below.
  std::set<double> seen;
  for (int i = 0; i < 200; ++i) seen.insert(gf_randomizeByPercent(100.0, 10.0));
  EXPECT_EQ(seen, (std::set<double>{90.0, 110.0}));
  EXPECT_EQ(gf_randomizeByPercent(100.0, 0.0), 100.0);
  EXPECT_EQ(gf_randomizeByPercent(100.0, -5.0), 100.0);
}

TEST_F(RandomTest, DrawsStayInRangeAndReachEveryIndex) {
  EXPECT_EQ(gf_random(0), 0u);
  EXPECT_EQ(gf_random(1), 0u);
  std::set<std::uint64_t> seen;
  for (int i = 0; i < 2000; ++i) {
    const std::uint64_t r = gf_random(5);
    ASSERT_LT(r, 5u);
    seen.insert(r);
  }
  EXPECT_EQ(seen.size(), 5u);
}

TEST_F(RandomTest, ShuffleKeepsTheValuesAndMovesThem) {
  std::vector<std::uint16_t> values(50);
  std::iota(values.begin(), values.end(), std::uint16_t{100});
  const auto original = values;
  bool moved = false;
  for (int i = 0; i < 5 && !moved; ++i) {
    gf_shuffle(values);
    auto sorted = values;
    std::sort(sorted.begin(), sorted.end());
    ASSERT_EQ(sorted, original);
    moved = values != original;
  }
  EXPECT_TRUE(moved);
  std::vector<std::uint16_t> one{7};
  gf_shuffle(one);
  EXPECT_EQ(one, std::vector<std::uint16_t>{7});
}

}  // namespace
