#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/random.h"
#include "config/sim_choice.h"
#include "tests/config/parameters_fixture.h"

using SnapshotTest = params_test::ParametersTest;

TEST_F(SnapshotTest, RangeMetresGrowForRtDirect) {
  gf_publishSimChoice(SimChoice{2, 1});
  gf_initParameterSnapshot();
  EXPECT_EQ(g_parameterSnapshot.load()->rangeMetres, 40u * 1852u);
  gf_publishSimChoice(SimChoice{2, 0});
  gf_initParameterSnapshot();
  const auto snapshot = g_parameterSnapshot.load();
  EXPECT_EQ(snapshot->rangeMetres, 40u * 1852u + 10000u);
  EXPECT_EQ(snapshot->rangeNmSquared, 1600.0);
  EXPECT_EQ(snapshot->range, 40u);
}

TEST_F(SnapshotTest, AirGroundFilterFromExactTexts) {
  const std::pair<const char*, int> cases[] = {
      {"Ground only", 2}, {"Airborne only", 1}, {"ground only", 0}, {"All traffic", 0}};
  for (const auto& [text, expected] : cases) {
    ALL_AIR_GND_SELECTOR.value = text;
    gf_updateParameterSnapshot(ALL_AIR_GND_SELECTOR);
    EXPECT_EQ(g_parameterSnapshot.load()->airGroundFilter, expected) << text;
  }
}

TEST_F(SnapshotTest, ReaderKeepsItsSnapshotUntilItLoadsAgain) {
  const auto held = g_parameterSnapshot.load();
  TCAS_FL.value = 250;
  gf_updateParameterSnapshot(TCAS_FL);
  EXPECT_EQ(held->tcasFl, 180u);
  EXPECT_EQ(g_parameterSnapshot.load()->tcasFl, 250u);
  RANGE.value = 80;
  gf_updateParameterSnapshot(RANGE);  // RANGE has no field here: gf_setRange owns it
  EXPECT_EQ(g_parameterSnapshot.load()->range, 40u);
}

TEST_F(SnapshotTest, TimeShiftAndBlockEntriesMoveTogether) {
  TIME_SHIFT_DAYS.value = 2;
  TIME_SHIFT_HOURS.value = 5;
  TIME_SHIFT_MINS.value = 30;
  gf_updateParameterSnapshot(TIME_SHIFT_HOURS);
  auto snapshot = g_parameterSnapshot.load();
  EXPECT_EQ(snapshot->timeShiftDays, 2u);
  EXPECT_EQ(snapshot->timeShiftMins, 30u);

  BLOCK_AIRCRAFT.value = "BAW123 B738";
  BLOCK_CALLSIGN.value = "BAW123_";
  BLOCK_HEXIDDEC.value = 4000;
  g_blockTrailingUnderscore = true;
  gf_updateParameterSnapshot(BLOCK_CALLSIGN);
  snapshot = g_parameterSnapshot.load();
  EXPECT_EQ(snapshot->blocked.aircraft, "BAW123 B738");
  EXPECT_EQ(snapshot->blocked.hexid, 4000u);
  EXPECT_TRUE(snapshot->blocked.callsignEndsInUnderscore);

  // The traffic store completed the identity; a new run keeps it while the block stands.
  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.blocked.regcode = "G-ABCD"; });
  gf_initParameterSnapshot();
  EXPECT_EQ(g_parameterSnapshot.load()->blocked.regcode, "G-ABCD");
  BLOCK_AIRCRAFT.value = "";
  gf_initParameterSnapshot();
  EXPECT_EQ(g_parameterSnapshot.load()->blocked.regcode, "");
}

TEST_F(SnapshotTest, RandomPicksFollowEveryPublish) {
  RANDOM.value = false;
  gf_updateParameterSnapshot(RANDOM);
  EXPECT_FALSE(gf_randomEnabled());
  RANDOM.value = true;
  gf_initParameterSnapshot();
  EXPECT_TRUE(gf_randomEnabled());
}

// Writers racing on different fields: each retries on the newest snapshot, so none is lost.
TEST_F(SnapshotTest, ConcurrentUpdatesOfDifferentFieldsAllSurvive) {
  constexpr int kRounds = 500;
  std::vector<std::thread> writers;
  const std::function<void(ParameterSnapshot&, int)> changes[] = {
      [](ParameterSnapshot& s, int i) { s.tcasFl = i; }, [](ParameterSnapshot& s, int i) { s.airpHeight = i; },
      [](ParameterSnapshot& s, int i) { s.blocked.callsign = std::to_string(i); },
      [](ParameterSnapshot& s, int) { s.parkingPercentage += 1; }};
  for (const auto& change : changes)
    writers.emplace_back([&change] {
      for (int i = 1; i <= kRounds; ++i) gf_changeParameterSnapshot([&](ParameterSnapshot& s) { change(s, i); });
    });
  std::thread reader([] {
    for (int i = 0; i < kRounds; ++i) {
      const auto s = g_parameterSnapshot.load();
      ASSERT_TRUE(s);
    }
  });
  for (auto& writer : writers) writer.join();
  reader.join();
  const auto final = g_parameterSnapshot.load();
  EXPECT_EQ(final->tcasFl, static_cast<unsigned>(kRounds));
  EXPECT_EQ(final->airpHeight, static_cast<unsigned>(kRounds));
  EXPECT_EQ(final->blocked.callsign, std::to_string(kRounds));
  EXPECT_EQ(final->parkingPercentage, 30u + kRounds);  // increments: every single change kept
}
