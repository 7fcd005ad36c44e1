// Stand names by position (per-thread cache, any thread) and by number.
#include "traffic/stand_names.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "simlink/stand_slots.h"
#include "simlink/stand_table.h"
#include "simlink/user_aircraft.h"
#include "tests/traffic/traffic_fixture.h"

namespace {
using traffic_test::kEham;
using traffic_test::offset;

class StandNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Stand a1;
    a1.name = "A1", a1.id = 1, a1.position = kEham;
    g_stands = {a1};
    gf_publishStandPositions();
    g_userOnGround = true;
  }
  void TearDown() override {
    gf_resetStandTables();
    gf_publishStandPositions();
    g_userOnGround = false;
  }
};

TEST_F(StandNamesTest, TheNearestStandWithin20MetresWhileTheUserIsOnTheGround) {
  EXPECT_EQ(gf_standNameAtPos(offset(kEham, 19.0)), "A1");
  EXPECT_EQ(gf_standNameAtPos(offset(kEham, -21.0)), std::nullopt);
  g_userOnGround = false;
  EXPECT_EQ(gf_standNameAtPos(offset(kEham, 1.0)), std::nullopt);
  EXPECT_EQ(gf_standName(0), "sid==0?");
  EXPECT_EQ(gf_standName(1), "A1");
  EXPECT_EQ(gf_standName(2), "sid==?");
}

TEST_F(StandNamesTest, AQueryNearTheLastOneIsAnsweredFromTheCacheUntilStandsArePublished) {
  EXPECT_EQ(gf_standNameAtPos(offset(kEham, 19.0)), "A1");
  // 21.9 m from the stand, but within 3 m of the last query.
  EXPECT_EQ(gf_standNameAtPos(offset(kEham, 21.9)), "A1");
  gf_publishStandPositions();
  EXPECT_EQ(gf_standNameAtPos(offset(kEham, 21.9)), std::nullopt);
}

TEST_F(StandNamesTest, ThreadsAskWhileTheStandsArePublishedAgain) {
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t)
    readers.emplace_back([&, t] {
      for (int i = 0; !done || i < 200; ++i)
        if (gf_standNameAtPos(offset(kEham, 5.0 * ((i + t) % 4))) != "A1") ++wrong;
    });
  for (int i = 0; i < 200; ++i) gf_publishStandPositions();
  done = true;
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(wrong, 0);
}

}  // namespace
