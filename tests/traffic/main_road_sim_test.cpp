// Live flights on the whole road against the stand-in simulator: an arrival flies its reports
// down to the approach and leaves when they and its extensions end; a flight whose feed falls silent flies on
// dead reckoning for a minute, then goes. Every pose handed to the simulator is finite.
#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>

#include "standin/sim/facility_layout.h"
#include "tests/traffic/engine_sim_fixture.h"
#include "tests/traffic/stream_builder.h"
#include "traffic/adding_stack.h"
#include "traffic/removal.h"

namespace {
using namespace traffic_test;
namespace sim = standin::sim;
constexpr std::string_view kTitle = "Stand-in A320 Test Air";
constexpr std::uint32_t kHexid = 0x4840D6;

class MainRoadSimTest : public EngineSimLinkTest {
 protected:
  void SetUp() override {
    EngineSimLinkTest::SetUp();
    for (const char* model : {"B738", "C172"}) g_dbaseModelCodes.insert(model);
    // The park airport at sea level; the arrival comes from the south toward it.
    parkAirport("EHAM", kEham, 0);
    connect();
  }

  // A B738 not yet in the simulator with the given reports.
  static LiveAc& flight(const stream_test::StreamBuilder& reports) {
    const std::deque<StreamPoint> points = reports.build();
    Rec first(kHexid, "KLM1234", "B738");
    first.at(points.front().lalo).air(points.front().altitude, points.front().groundSpeed, points.front().track);
    LiveAc& ac = addLive(first, SimStatus::buffer, FlightPhase::birth);
    reports.into(ac);
    g_liveryChoices[kHexid] = kTitle;
    return ac;
  }

  // What one run of the flight showed, tick by tick.
  struct Run {
    std::vector<std::uint32_t> states;  // each state once, in order
    bool created = false;
    bool gone = false;
    bool finite = true;
    std::int32_t ticks = 0;
    double fastestKt = 0.0;  // over each second of the flight in the simulator
  };
  // Engine ticks with a simulator frame every tenth, until the flight has gone or the limit. At
  // tick remakeAt the simulator's new session asks for the flight again.
  Run fly(std::int32_t limit, std::int32_t remakeAt = -1) {
    Run run;
    std::optional<std::pair<Lalo, std::int32_t>> lastSecond;  // where, at which tick
    for (; run.ticks < limit; ++run.ticks) {
      lf_handleAddingStack();
      if (run.ticks % 10 == 0) frame();
      if (g_liveAcs.empty()) {
        run.gone = true;
        break;
      }
      if (run.ticks == remakeAt) gf_recreateLostLiveAc(g_liveAcs[0]);
      const LiveAc& ac = g_liveAcs[0];
      if (ac.simState == SimStatus::active) {
        run.created = true;
        if (run.ticks % 100 == 0) {
          if (lastSecond) {
            const double kt = gf_distanceNm(lastSecond->first, ac.position) * 3600.0 * 100.0 / (run.ticks - lastSecond->second);
            run.fastestKt = std::max(run.fastestKt, kt);
          }
          lastSecond = {ac.position, run.ticks};
        }
        for (double v : {ac.position.lat, ac.position.lon, ac.pitch, ac.bank, ac.heading, ac.altitude, ac.nextValue,
                         ac.speed})
          run.finite = run.finite && std::isfinite(v);
        if (const auto object = sim::object(ac.objectId))
          run.finite = run.finite && std::isfinite(object->latitude) && std::isfinite(object->longitude) &&
                       std::isfinite(object->altitude);
      }
      if (run.states.empty() || run.states.back() != ac.state) run.states.push_back(ac.state);
    }
    // The removal reaches the simulator.
    frame(3);
    return run;
  }
};

TEST_F(MainRoadSimTest, AnArrivalFliesItsReportsIntoTheApproachAndLeavesWhenTheyEnd) {
  // 12 NM south at 3800 ft, descending 700 ft/min at 160 kt toward the airport: below the flaps
  // height (2050 ft for a B738) well within 10 NM.
  stream_test::StreamBuilder reports(offset(kEham, -12.0 * 1852.0), 50);
  reports.air(3800.0, 160.0, -700.0).track(0.0).reports(30, 7);
  flight(reports);
  const std::int32_t lastDue = reports.build().back().time;

  const Run run = fly(lastDue + 20000);
  EXPECT_TRUE(run.created);
  ASSERT_TRUE(run.gone) << "still there after " << run.ticks << " ticks";
  EXPECT_GT(run.ticks, lastDue) << "left before its last report was due";
  EXPECT_TRUE(run.finite);
  ASSERT_GE(run.states.size(), 2u);
  EXPECT_EQ(run.states.front(), FlightPhase::birth);
  EXPECT_NE(std::find(run.states.begin(), run.states.end(), FlightPhase::flying), run.states.end());
  EXPECT_EQ(run.states.back(), FlightPhase::landing);
  EXPECT_TRUE(sim::aiObjects().empty());
  // It ran out of reports and extensions in the ordinary way, not through a fault.
  const std::string text = log();
  EXPECT_EQ(countOf(text, "guard exceeded"), 0u) << text;
  EXPECT_EQ(countOf(text, "objectid=0?"), 0u) << text;
}

TEST_F(MainRoadSimTest, AFlightWhoseFeedFallsSilentFliesOnForAMinuteThenGoes) {
  // Cruising far from the park airport; the user is near (range known), so the flight may be
  // extended a minute's worth: 20 points of 3 s.
  g_workerUserAcPosition.latitude = 51.0;
  g_workerUserAcPosition.longitude = 4.0;
  stream_test::StreamBuilder reports(Lalo{51.0, 4.5}, 50);
  reports.air(12000.0, 300.0).track(90.0).every(500).moving(6);
  flight(reports);
  const std::int32_t lastDue = reports.build().back().time;

  const Run run = fly(lastDue + 20000);
  g_workerUserAcPosition = UserAcPosition{};
  EXPECT_TRUE(run.created);
  ASSERT_TRUE(run.gone);
  // 20 extensions of 3 s after the last report, give or take the leg it was on.
  EXPECT_NEAR(run.ticks - lastDue, 20 * 300, 400);
  EXPECT_LE(run.fastestKt, 1.5 * 300.0) << "no rush from its last report into the reckoning";
  EXPECT_TRUE(run.finite);
  EXPECT_EQ(run.states.back(), FlightPhase::flying);
  EXPECT_TRUE(sim::aiObjects().empty());
}

// The simulator's new session makes a cruising flight again while reports still come, or while it
// flies on by reckoning: the new object takes a while, and the flight goes on at its own pace
// from where it was instead of making the wait up in a rush.
TEST_F(MainRoadSimTest, AFlightMadeAgainGoesOnAtItsOwnPace) {
  for (const std::int32_t remakeAt : {1500, 3300}) {
    g_workerUserAcPosition.latitude = 51.0;
    g_workerUserAcPosition.longitude = 4.0;
    stream_test::StreamBuilder reports(Lalo{51.0, 4.5}, g_engineTime.load() + 50);
    reports.air(34000.0, 480.0).track(5.0).every(200).moving(12);
    flight(reports);
    const Run run = fly(10000, remakeAt);
    g_workerUserAcPosition = UserAcPosition{};
    EXPECT_TRUE(run.created) << remakeAt;
    EXPECT_TRUE(run.gone) << remakeAt;
    EXPECT_TRUE(run.finite) << remakeAt;
    EXPECT_LE(run.fastestKt, 1.2 * 480.0) << remakeAt;
  }
}

// A flight taxiing at Zurich, 1417 ft up, is reported at 0 ft like all ground traffic; it is
// created standing on the airport's ground and never shown under it, in the simulator or by us.
TEST_F(MainRoadSimTest, AFlightTaxiingAtAHighAirportNeverStandsUnderItsGround) {
  const std::filesystem::path file = testing_support::sourceDataFolder() / "sim" / "facilities" / "LSZH.json";
  const sim::FacilityLayout layout = sim::readFacilityLayout(file);
  sim::loadFacilityFile(file);
  const Lalo zurich{layout.latitude, layout.longitude};
  const double groundFt = layout.elevationMetres * sim::kFeetPerMetre;
  ASSERT_GT(groundFt, 1000.0);
  Airport park;
  park.code = IcaoCode("LSZH");
  park.position = zurich;
  park.altitude = static_cast<std::int32_t>(std::lround(groundFt));
  gf_setAirportsNeighbours({}, [park] { return park; });
  stream_test::StreamBuilder reports(offset(zurich, 300.0), 50);
  reports.ground(15.0).track(90.0).every(500).moving(12);
  flight(reports);

  double lowestInSim = std::numeric_limits<double>::infinity();
  double lowestSent = lowestInSim;
  bool onItsGround = false;
  for (int tick = 0; tick < 3000 && !g_liveAcs.empty(); ++tick) {
    lf_handleAddingStack();
    if (tick % 10 == 0) frame();
    for (const sim::ObjectState& object : sim::aiObjects()) {
      lowestInSim = std::min(lowestInSim, object.altitude);
      onItsGround = onItsGround || object.onGround;
    }
    if (!g_liveAcs.empty() && g_liveAcs[0].simState == SimStatus::active)
      lowestSent = std::min(lowestSent, g_liveAcs[0].altitude);
  }
  ASSERT_TRUE(std::isfinite(lowestInSim)) << "never created";
  ASSERT_TRUE(std::isfinite(lowestSent)) << "never finished";
  EXPECT_TRUE(onItsGround);
  EXPECT_GE(lowestInSim, groundFt - 1.0);
  EXPECT_GE(lowestSent, groundFt - 1.0);
  frame(3);
}

}  // namespace
