#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/keys.h"
#include "config/parameter_load.h"
#include "config/parameter_snapshot.h"
#include "config/parameters_file.h"
#include "config/sim_choice.h"
#include "tests/config/parameters_fixture.h"

namespace fs = std::filesystem;
using params_test::parametersIn;
using params_test::ParametersTest;
using params_test::valueOf;
using Parameters = std::vector<std::pair<std::string, std::string>>;

namespace {

RadiusValues radius(std::array<double, 8> values) { return RadiusValues{values, false}; }

std::size_t count(const std::string& text, const std::string& piece) {
  std::size_t n = 0;
  for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(RadiusRulesTest, PureRules) {
  struct Case { const char* what; std::array<double, 8> given, expected; bool changed; };
  const Case cases[] = {
      {"ranges shrink", {10, 20, 15, 50, 40, 100, 200, 300}, {10, 20, 20, 50, 50, 100, 200, 300}, true},
      {"levels unsorted", {10, 20, 40, 50, 60, 300, 100, 200}, {10, 20, 40, 50, 60, 100, 200, 300}, true},
      {"levels equal", {10, 20, 40, 50, 60, 100, 100, 100}, {10, 20, 40, 50, 60, 100, 101, 102}, true},
      {"negative range", {-5, 20, 40, 50, 60, 100, 200, 300}, {0, 20, 40, 50, 60, 100, 200, 300}, true},
      {"all fine", {10, 20, 40, 50, 60, 100, 200, 300}, {10, 20, 40, 50, 60, 100, 200, 300}, false},
  };
  for (const Case& c : cases) {
    const RadiusValues result = gf_applyRadiusRules(radius(c.given), 1.0);
    EXPECT_EQ(result.values, c.expected) << c.what;
    EXPECT_EQ(result.changed, c.changed) << c.what;
  }
}

// The rules must not produce what the option limits clamp back: 480/480/480 would become
// 480/481/482, be clamped to 480/480/480 and be "corrected" again at every start.
TEST(RadiusRulesTest, WithinLimitsLevelsMakeRoomDownwards) {
  RadiusLimits limits;
  limits.minimum = {2, 2, 2, 1, 2, 2, 2, 2};
  limits.maximum = {100, 100, 100, 100, 100, 480, 480, 480};
  const RadiusValues first = gf_applyRadiusRules(radius({10, 20, 40, 50, 60, 480, 480, 480}), 1.0, limits);
  EXPECT_TRUE(first.changed);
  EXPECT_EQ(first.values, (std::array<double, 8>{10, 20, 40, 50, 60, 478, 479, 480}));
  const RadiusValues again = gf_applyRadiusRules(first, 1.0, limits);
  EXPECT_FALSE(again.changed);
  const RadiusValues negative = gf_applyRadiusRules(radius({-5, 20, 40, 50, 60, 100, 200, 300}), 1.0, limits);
  EXPECT_EQ(negative.values[0], 2);
}

TEST_F(ParametersTest, RulesAreSavedOnceAndHoldAtTheNextStart) {
  writeParameters({{"PROGRAM_VERSION", "16.8.2"}, {"FLIGHT_LEVEL_1", "480"}, {"FLIGHT_LEVEL_2", "480"},
                   {"FLIGHT_LEVEL_3", "480"}, {"RANGE_GROUND", "-5"}});
  gf_loadParameters();
  EXPECT_EQ(FLIGHT_LEVEL_1.value.load(), 478);
  EXPECT_EQ(FLIGHT_LEVEL_2.value.load(), 479);
  EXPECT_EQ(FLIGHT_LEVEL_3.value.load(), 480);
  EXPECT_EQ(RANGE_GROUND.value.load(), 2);  // -5 is held to the minimum at load already
  const Parameters saved = parametersIn(file());
  EXPECT_EQ(valueOf(saved, "FLIGHT_LEVEL_2"), "479");
  gf_loadParameters();
  const std::string text = log();
  EXPECT_EQ(count(text, "Radius parameters changed to fulfill the requirements (see Manual): "), 1u);
  EXPECT_NE(text.find("Radius parameters okay"), std::string::npos);
}

TEST_F(ParametersTest, NewFileSkipsRulesAndMigration) {
  gf_loadParameters();
  const std::string text = log();
  EXPECT_EQ(text.find("Radius parameters"), std::string::npos);
  EXPECT_EQ(text.find("version update"), std::string::npos);
}

TEST_F(ParametersTest, VersionUpdateMigratesOnlyAfterAnUpdate) {
  struct Case { const char* stored; const char* holding; bool migrates; const char* holdingAfter; };
  const Case cases[] = {
      {"", "260", false, "260"},         // empty: just record the version
      {"16.8.1", "260", true, "250"},    // update
      {"16.8.1", "275", true, "250"},    // tie: the lower entry
      {"16.8.1", "276", true, "300"},
      {"16.8.1", "5", true, "10"},
      {"16.9.0", "260", false, "260"},   // downgrade: version set back only
      {"garbage", "75", true, "50"},     // unreadable counts as 0.0.0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    params_test::resetOptions();
    fs::remove(backup());
    fs::remove(folder_ / "parameters.xml");
    writeParameters({{"PROGRAM_VERSION", c.stored}, {"COLLISION_LIVE_PARKED_GND", "true"},
                     {"HOLDING_THRESHOLD_METERS", c.holding}});
    fs::create_directories("new_version/sub");
    gf_loadParameters();
    const Parameters after = parametersIn(file());
    EXPECT_EQ(valueOf(after, "PROGRAM_VERSION"), "16.8.2");
    EXPECT_EQ(valueOf(after, "COLLISION_LIVE_PARKED_GND") == "<missing>", c.migrates);
    EXPECT_EQ(valueOf(after, "HOLDING_THRESHOLD_METERS"), c.holdingAfter);
    EXPECT_EQ(fs::exists("new_version"), !c.migrates);
  }
  const std::string text = log();
  EXPECT_NE(text.find("This is a version update from 16.8.1 -> 16.8.2"), std::string::npos);
  EXPECT_NE(text.find("This is a version update from 0.0.0 -> 16.8.2"), std::string::npos);
  EXPECT_EQ(text.find("from 16.9.0"), std::string::npos);
}

TEST_F(ParametersTest, SimChoiceIsValidatedForThisRunOnly) {
  SIM_CHOICE.value = "msfs 2020";
  RT_CHOISE.value = "RT App";
  gf_setSimChoice();
  EXPECT_FALSE(gf_isMsfs2020());
  EXPECT_FALSE(gf_isRtDirect());
  EXPECT_EQ(SIM_CHOICE.value.load(), "MSFS 2024");
  EXPECT_FALSE(fs::exists(file()));  // not saved
  SIM_CHOICE.value = "MSFS 2020";
  RT_CHOISE.value = "rt direct";
  gf_setSimChoice();
  EXPECT_TRUE(gf_isMsfs2020());
  EXPECT_TRUE(gf_isRtDirect());
  const std::string text = log();
  EXPECT_NE(text.find("Invalid simulator choice 'msfs 2020', using 'MSFS 2024'"), std::string::npos);
  EXPECT_NE(text.find("Invalid traffic source 'rt direct', using 'RT Direct'"), std::string::npos);
}

TEST_F(ParametersTest, SetRangeClampsTheOptionButNotTheSnapshot) {
  gf_publishSimChoice(SimChoice{2, 0});
  gf_setRange(40);
  EXPECT_EQ(g_parameterSnapshot.load()->rangeMetres, 84080u);
  gf_setRange(500);
  EXPECT_EQ(RANGE.value.load(), 100);
  const auto snapshot = g_parameterSnapshot.load();
  EXPECT_EQ(snapshot->rangeNm, 500.0);
  EXPECT_EQ(snapshot->rangeNmSquared, 250000.0);
  EXPECT_EQ(snapshot->range, 40u);  // untouched
  gf_setRange(100000);  // no 32-bit overflow on the way
  EXPECT_EQ(g_parameterSnapshot.load()->rangeNmSquared, 1e10);
}

TEST_F(ParametersTest, MaxFitFlFollowsMaxFit) {
  const std::pair<int, float> cases[] = {{47, 24.0f}, {-3, 0.5f}, {60, 24.0f}, {0, 0.5f}, {5, 3.0f}};
  for (const auto& [maxFit, expected] : cases) {
    MAX_FIT.value = maxFit;
    gf_syncMaxFitFl();
    EXPECT_EQ(MAX_FIT_FL.value.load(), expected) << maxFit;
  }
}
