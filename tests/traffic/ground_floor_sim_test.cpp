// An airport 1417 ft up whose runways the program does not know (the simulator gave no facility
// data): an arrival the feed brings down onto the ground lands there instead of sinking under
// it, and a departure that takes off climbs away in the simulator.
#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>

#include "tests/traffic/engine_sim_fixture.h"
#include "tests/traffic/stream_builder.h"
#include "traffic/adding_stack.h"

namespace {
using namespace traffic_test;
namespace sim = standin::sim;
constexpr std::string_view kTitle = "Stand-in A320 Test Air";
constexpr std::uint32_t kHexid = 0x7C6B2D;
constexpr double kFieldFt = 1417.0;
const Lalo kField{47.4581, 8.5481};

class GroundFloorSimTest : public EngineSimLinkTest {
 protected:
  void SetUp() override {
    EngineSimLinkTest::SetUp();
    g_dbaseModelCodes.insert("B738");
    parkAirport("LSZH", kField, static_cast<std::int32_t>(kFieldFt));
    // The user waits on the field, so the simulator reports the aircraft around it.
    sim::UserAircraft user = sim::userAircraft();
    user.latitude = kField.lat + 0.02;
    user.longitude = kField.lon + 0.02;
    user.altitude = user.groundAltitude = kFieldFt;
    sim::setUserAircraft(user);
    connect();
  }

  // The flight with its first `known` reports; the others reach it as the feed delivers them,
  // 10 s before they are due.
  LiveAc& flight(const stream_test::StreamBuilder& reports, std::size_t known = 1000) {
    std::deque<StreamPoint> points = reports.build();
    Rec first(kHexid, "QFA1", "B738");
    first.at(points.front().lalo);
    if (points.front().airborne)
      first.air(points.front().altitude, points.front().groundSpeed, points.front().track);
    else
      first.ground(points.front().groundSpeed, points.front().track);
    LiveAc& ac = addLive(first, SimStatus::buffer, FlightPhase::birth);
    reports.into(ac);
    ac.onGround = false;  // as the intake makes it: the creation puts it on the ground
    known = std::min(known, points.size());
    ac.stream.resize(known);
    later_.assign(points.begin() + static_cast<std::ptrdiff_t>(known), points.end());
    g_liveryChoices[kHexid] = kTitle;
    return ac;
  }

  struct Run {
    double lowestAirborne = std::numeric_limits<double>::infinity();  // ours, while not on the ground
    double lowestInSimClimbingOut = std::numeric_limits<double>::infinity();  // once flying after the take-off
    bool landed = false;
    bool tookOff = false;
    bool created = false;
  };
  // Engine ticks with a simulator frame every tenth.
  Run fly(std::int32_t limit) {
    Run run;
    for (std::int32_t tick = 0; tick < limit && !g_liveAcs.empty(); ++tick) {
      while (!later_.empty() && later_.front().time - 1000 <= g_engineTime.load()) {
        gf_engineHooks().decodeExisting(g_liveAcs[0], later_.front());
        later_.pop_front();
      }
      lf_handleAddingStack();
      if (tick % 10 == 0) frame();
      if (g_liveAcs.empty()) break;
      const LiveAc& ac = g_liveAcs[0];
      if (ac.simState != SimStatus::active) continue;
      run.created = true;
      if (!ac.onGround) run.lowestAirborne = std::min(run.lowestAirborne, ac.altitude);
      run.landed = run.landed || ac.state == FlightPhase::landing_roll;
      run.tookOff = run.tookOff || ac.state == FlightPhase::takeoff;
      const auto object = sim::object(ac.objectId);
      if (object && run.tookOff && ac.state == FlightPhase::flying)
        run.lowestInSimClimbingOut = std::min(run.lowestInSimClimbingOut, object->altitude);
    }
    frame(3);
    return run;
  }

  std::deque<StreamPoint> later_;
};

TEST_F(GroundFloorSimTest, AnArrivalWithoutRunwayDataLandsWhereTheFeedPutsItOnTheGround) {
  // 6 NM out at 3100 ft (1700 ft above the field), 700 ft/min down at 140 kt toward the field,
  // then on the ground rolling out.
  stream_test::StreamBuilder reports(offset(kField, -6.0 * 1852.0), 50);
  reports.air(3100.0, 140.0, -700.0).track(0.0).every(500).moving(20);
  reports.ground(60.0).moving(10);
  flight(reports);

  const Run run = fly(reports.build().back().time + 3000);
  ASSERT_TRUE(run.created);
  EXPECT_GE(run.lowestAirborne, kFieldFt) << "airborne below the field";
  EXPECT_TRUE(run.landed) << "never touched down";
}

TEST_F(GroundFloorSimTest, ADepartureWithoutRunwayDataClimbsAwayInTheSimulator) {
  // Taxiing north for a minute, then rolling faster and faster, then climbing 2000 ft/min.
  stream_test::StreamBuilder reports(offset(kField, -2500.0), 50);
  reports.ground(15.0).track(0.0).every(300).moving(20);
  reports.ground(90.0).moving(2);
  reports.ground(150.0).moving(2);
  reports.air(kFieldFt + 100.0, 160.0, 2000.0).moving(12);
  flight(reports, 2);

  const Run run = fly(reports.build().back().time + 1000);
  ASSERT_TRUE(run.created);
  EXPECT_TRUE(run.tookOff);
  ASSERT_TRUE(std::isfinite(run.lowestInSimClimbingOut)) << "never climbed out";
  EXPECT_GT(run.lowestInSimClimbingOut, kFieldFt + 700.0) << "put back on the ground in the simulator";
}

}  // namespace
