// The ground an airborne aircraft never sinks under, one update through the installed hooks: the
// captured runway's, the park airport's near it, the simulator's where higher; and the touch-down
// of an approach whose wheels reach that ground; the simulator's on-ground flag, which
// lands only an aircraft near the ground the same report gives.
#include <cmath>
#include <limits>

#include "simlink/delayed_commands.h"
#include "tests/traffic/traffic_fixture.h"
#include "traffic/aircraft_step.h"
#include "traffic/delayed_sim_commands.h"
#include "traffic/touchdown.h"

namespace {

using namespace traffic_test;

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr double kFieldFt = 1417.0;
constexpr double kCgFt = 8.0;

using GroundFloor = EngineTest;

TEST_F(GroundFloor, AnAirborneAircraftNeverSinksUnderTheGroundItIsOver) {
  struct Case {
    const char* what;
    std::uint32_t state;
    bool towardGround;  // the leg ends on a point the feed has on the ground
    double northNm;     // from the park airport
    double simGroundFt;
    double runwayFt;  // the captured runway's elevation
    double altitude;
    double expected;
    std::uint32_t expectedState;
  } cases[] = {
      {"flying under the field is lifted onto it", FlightPhase::flying, false, 2.0, kNone, kNone, 1300.0,
       kFieldFt + kCgFt, FlightPhase::flying},
      {"above the floor nothing changes", FlightPhase::flying, false, 2.0, kNone, kNone, 1500.0, 1500.0,
       FlightPhase::flying},
      // Its wheels meet the ground: the simulator has it on them, whatever the feed's last point says.
      {"the approach toward an airborne point lands on the floor", FlightPhase::landing, false, 1.0, kNone, kNone,
       1400.0, kFieldFt + kCgFt, FlightPhase::landing_roll},
      {"the approach toward a ground point lands where it is", FlightPhase::landing, true, 0.5, kNone, kNone, 1410.0,
       kFieldFt + kCgFt, FlightPhase::landing_roll},
      {"the approach within its gear's reach lands on its wheels, nose up", FlightPhase::landing, false, 0.5, kNone,
       kNone, kFieldFt + kCgFt + 1.9, kFieldFt + kCgFt + 0.8, FlightPhase::landing_roll},
      {"the approach a little lower lands at that height", FlightPhase::landing, true, 0.5, kNone, kNone,
       kFieldFt + kCgFt + 0.5, kFieldFt + kCgFt + 0.5, FlightPhase::landing_roll},
      {"the approach beyond its gear's reach flies on", FlightPhase::landing, true, 0.5, kNone, kNone,
       kFieldFt + kCgFt + 2.2, kFieldFt + kCgFt + 2.2, FlightPhase::landing},
      {"a flight within that reach only keeps off the ground", FlightPhase::flying, false, 2.0, kNone, kNone,
       kFieldFt + kCgFt + 1.5, kFieldFt + kCgFt + 1.5, FlightPhase::flying},
      {"the simulator's higher ground holds", FlightPhase::flying, false, 2.0, 1500.0, kNone, 1450.0, 1500.0 + kCgFt,
       FlightPhase::flying},
      {"a lower simulator ground leaves the field's", FlightPhase::flying, false, 2.0, 1000.0, kNone, 1300.0,
       kFieldFt + kCgFt, FlightPhase::flying},
      {"a captured runway below the field: its own elevation counts", FlightPhase::landing, false, 0.5, kNone, 1390.0,
       1405.0, 1405.0, FlightPhase::landing},
      {"a captured runway below the field, under it", FlightPhase::landing, false, 0.5, kNone, 1390.0, 1380.0,
       1390.0 + kCgFt, FlightPhase::landing_roll},
      {"far from the field without a report nothing is known", FlightPhase::flying, false, 20.0, kNone, kNone, 500.0,
       500.0, FlightPhase::flying},
      {"far from the field the simulator's report holds", FlightPhase::flying, false, 20.0, 900.0, kNone, 500.0,
       900.0 + kCgFt, FlightPhase::flying},
  };
  for (const Case& c : cases) {
    reset();
    parkAtElevation(static_cast<std::int32_t>(kFieldFt));
    LiveAc& a = addLive(Rec(0x4840D6).at(offset(kEham, c.northNm * 1852.0)).air(c.altitude, 140.0).due(500),
                        SimStatus::active, c.state);
    a.stream.front().airborne = !c.towardGround;
    a.cgHeightFt = kCgFt;
    a.simGroundFt = c.simGroundFt;
    a.flareStage = 4;  // the flare has had its say: no rate of its own
    a.rolloutSteps = 10;
    if (!std::isnan(c.runwayFt)) {
      a.approachRunway.emplace();
      a.approachRunway->elevation = c.runwayFt;
    }
    gf_engineHooks().updateLiveAc(a);
    EXPECT_NEAR(a.altitude, c.expected, 1e-6) << c.what;
    EXPECT_EQ(a.state, c.expectedState) << c.what;
    EXPECT_EQ(a.onGround, c.expectedState == FlightPhase::landing_roll) << c.what;
    EXPECT_GE(a.nextValue, 0.0) << c.what;
  }
}

TEST_F(GroundFloor, TheSimulatorsOnGroundFlagLandsOnlyAnAircraftNearTheGroundItReports) {
  struct Case {
    const char* what;
    std::uint32_t state;
    double aboveGroundFt;
    bool landed;
  } cases[] = {
      {"a flight climbing out, far above the reported ground", FlightPhase::flying, 800.0, false},
      {"a flight just above it", FlightPhase::flying, 5.0, true},
      {"a flight a report's lag above it", FlightPhase::flying, 60.0, true},
      {"a flight circling low over it", FlightPhase::flying, 400.0, false},
      {"the approach just above it", FlightPhase::landing, 5.0, true},
  };
  for (const Case& c : cases) {
    reset();
    parkAtElevation(static_cast<std::int32_t>(kFieldFt));
    LiveAc& a = addLive(Rec(0x4840D6).air(kFieldFt + c.aboveGroundFt, 140.0), SimStatus::active, c.state);
    a.cgHeightFt = kCgFt;
    a.rolloutSteps = 10;
    DelayedSimCommand report;
    report.kind = 3;
    report.objectId = a.objectId;
    report.hexid = 1;  // on the ground, says the simulator
    report.value1 = kFieldFt;
    report.value2 = 0.0;
    gf_queueDelayedSimCommand(report);
    gf_processDelayedSimCommands();
    EXPECT_EQ(a.onGround, c.landed) << c.what;
    if (!c.landed) {
      EXPECT_EQ(a.state, c.state) << c.what;
      EXPECT_DOUBLE_EQ(a.altitude, kFieldFt + c.aboveGroundFt) << c.what;
    }
  }
}

}  // namespace
