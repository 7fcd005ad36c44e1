// Stands and statics: the static target, occupying stands, a static built on its stand, the
// simulator's pose answer, the user's stand blocked, statics counted, and the published stand
// positions read while they are republished.
#include "traffic/static_stands.h"

#include <atomic>
#include <thread>

#include "appbase/gui.h"
#include "simlink/stand_table.h"
#include "tests/traffic/traffic_fixture.h"

namespace {

using namespace traffic_test;

constexpr double kDeg = geo::kDegToRad;

class StaticStands : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    gf_resetGuiForTest();
  }
  void TearDown() override {
    g_stands.clear();
    gf_rebuildStandsByName();
    g_currentWeekTime = 0;
    g_gui.staticFitHold = false;
    gf_resetGuiForTest();
    EngineTest::TearDown();
  }
  // n stands "S1".."Sn", or the given names, numbered in table order.
  static void stands(std::size_t n, std::vector<std::string> names = {}) {
    g_stands.clear();
    for (std::size_t i = 0; i < n; ++i) {
      const std::string name = i < names.size() ? names[i] : "S" + std::to_string(i + 1);
      g_stands.emplace_back(name, std::vector<StandOption>{}, offset(kEham, 50.0 * i), 0.0, 20.0, 10, false, false, false);
      g_stands.back().id = static_cast<std::uint32_t>(i + 1);
    }
    gf_rebuildStandsByName();
  }
  template <class Update>
  static std::vector<Update> posted() {
    std::vector<Update> found;
    std::lock_guard lock(g_gui.queueMutex);
    for (const GuiUpdate& update : g_gui.queue)
      if (const auto* u = std::get_if<Update>(&update)) found.push_back(*u);
    return found;
  }
};

TEST_F(StaticStands, TheStaticTarget) {
  struct Case {
    std::size_t stands;
    double percent;
    std::int64_t maximum;
    std::int32_t target, shownPercent;
  } cases[] = {
      {2, 20.0, 500, 1, 50},   // up to three stands below 50 %: one
      {3, 50.0, 500, 2, 67},
      {10, 30.0, 500, 3, 30},
      {10, 30.0, 2, 2, 20},
      {10, 30.0, 0, 0, 0},
      {1, 0.0, 500, 1, 100},
  };
  for (const Case& c : cases) {
    gf_resetGuiForTest();
    stands(c.stands);
    EXPECT_EQ(gf_setStaticTargetCount({c.percent, c.maximum}), c.target) << c.stands << " at " << c.percent;
    EXPECT_EQ(g_staticTargetCount, c.target);
    const auto shown = posted<gui::SetStaticTarget>();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].percent, c.shownPercent) << c.stands << " at " << c.percent;
  }
}

TEST_F(StaticStands, OccupyingAStandTwice) {
  stands(3);
  g_stands[0].excludes = {2};
  EXPECT_FALSE(gf_occupyStand(1, 2));
  EXPECT_TRUE(g_stands[1].blocked);
  EXPECT_FALSE(gf_occupyStand(1, 1)) << "taken already";
  EXPECT_TRUE(gf_occupyStand(3, 2));
  EXPECT_FALSE(gf_occupyStand(4, 0)) << "no such stand";
}

TEST_F(StaticStands, AStaticOnItsStand) {
  stands(3, {"GATE B12", "GAT", "APRON GATE"});
  for (const auto& [number, gate] : {std::pair{1, true}, {2, false}, {3, true}, {0, false}}) {
    const StaticAc s(actest::aircraftOf("B738"), number, {kEham, 1.0}, true);
    EXPECT_EQ(s.atGate, gate) << number;
    EXPECT_EQ(s.standId, number);
    EXPECT_TRUE(s.cargo);
    EXPECT_EQ(s.heading, 1.0);
    EXPECT_EQ(s.hitFlag, 1u);
    EXPECT_EQ(s.throttleStep, 5u);
  }
}

TEST_F(StaticStands, TheSimulatorsCentreOfGravityAndPitch) {
  struct Case {
    double cgFt, pitchDeg;
    double heldCgFt, heldPitchDeg;
    bool fromSim;
  } cases[] = {
      {0.0, 2.0, 8.0, 2.0, false},   // exactly 0 is no answer: the large category's 8 ft
      {5.0, 2.5, 5.0, 2.5, true},
      {35.5, 3.0, 8.0, 0.7, false},
      {-1.0, -1.0, -1.0, 0.7, true},
  };
  for (const Case& c : cases) {
    StaticAc s(actest::aircraftOf("B738"), 0, {}, false);
    DelayedSimCommand answer;
    answer.kind = 4;
    answer.value1 = c.cgFt;
    answer.value2 = c.pitchDeg * kDeg;
    gf_applyStaticPose(s, answer);
    EXPECT_EQ(s.cgHeightFt, c.heldCgFt) << c.cgFt;
    EXPECT_EQ(s.cgHeightFlag, c.fromSim) << c.cgFt;
    EXPECT_NEAR(s.refPitch, c.heldPitchDeg * kDeg, 1e-15) << c.pitchDeg;
    EXPECT_TRUE(s.cgKnown);
  }
}

TEST_F(StaticStands, TheUsersStandAndItsNeighboursAreBlocked) {
  stands(3);
  g_stands[1].excludes = {1, 3};
  gf_blockUserStandsForStatic("S2", "[park]");
  gf_blockUserStandsForStatic("NONE", "[park]");
  for (const Stand& s : g_stands) EXPECT_TRUE(s.blocked) << s.name;
  EXPECT_EQ(gf_findStandByName("S3"), &g_stands[2]);
  EXPECT_EQ(gf_findStandByName("S4"), nullptr);
  EXPECT_NE(logText().find("S1 excluded by [park] user stand 'S2' blocked for static aircraft"), std::string::npos);
  EXPECT_TRUE(gf_standNameMatches(g_stands[1], "S3"));
  EXPECT_FALSE(gf_standNameMatches(g_stands[0], "S3"));
  EXPECT_TRUE(gf_standOfPositionMatches(g_stands[1], offset(kEham, 95.0)));
  EXPECT_FALSE(gf_standOfPositionMatches(g_stands[0], offset(kEham, 95.0)));
}

TEST_F(StaticStands, StaticsCountedWithTheirMeanParkedTime) {
  g_currentWeekTime = gf_packWeekTime({1, 0});  // Monday 00:00
  for (const auto& [state, parked] : {std::pair{SimStatus::active, WeekTime{7, 47}},  // half an hour before
                                      {SimStatus::removingfromsim, WeekTime{7, 44}},
                                      {SimStatus::adding2sim, WeekTime{1, 0}}}) {
    StaticAc& s = g_staticAcs.emplace_back();
    s.simState = state;
    s.parkedWeekTime = parked;
  }
  EXPECT_EQ(gf_countParkedStatic(true), 2);
  const auto fit = posted<gui::SetStaticFit>();
  ASSERT_EQ(fit.size(), 1u);
  EXPECT_FLOAT_EQ(fit[0].fit, 5.0f / 4.0f + 0.5f);
  g_gui.staticFitHold = true;
  gf_countParkedStatic(true);
  EXPECT_EQ(posted<gui::SetStaticFit>().size(), 1u) << "held while the fit is hidden";
}

TEST_F(StaticStands, StandPositionsAreReadWhileRepublished) {
  stands(40);
  gf_publishStandPositions();
  std::atomic<bool> done{false};
  std::atomic<std::size_t> reads{0};
  auto reader = [&] {
    while (!done) {
      const auto positions = g_standPositions.load();
      std::size_t length = 0;
      for (const StandPosition& p : *positions) length += p.name.size();
      if (!positions->empty() && length > 0) ++reads;
    }
  };
  std::thread a(reader), b(reader);
  for (int i = 0; i < 300; ++i) {
    g_stands[static_cast<std::size_t>(i) % g_stands.size()].name = "R" + std::to_string(i);
    gf_publishStandPositions();
  }
  while (reads.load() < 100) std::this_thread::yield();
  done = true;
  a.join();
  b.join();
  EXPECT_EQ(g_standPositions.load()->size(), 40u);
}

}  // namespace
