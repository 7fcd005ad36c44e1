// A landed aircraft chooses the stand it enters, and who else holding a stand gives way: through
// the engine's hooks as installed and its live-versus-parked pass.
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "traffic/arrival_stand.h"
#include "traffic/live_registry.h"
#include "traffic/stand_conflicts.h"
#include "tests/traffic/traffic_fixture.h"

namespace {

using namespace traffic_test;

constexpr double kDeg = geo::kDegToRad;
constexpr std::uint32_t kGateHeavy = 10;

class ArrivalStandTest : public EngineTest {
 protected:
  void TearDown() override {
    g_stands.clear();
    EngineTest::TearDown();
  }
  // A stand heading north; radius in metres.
  static Stand& addStand(const char* name, const Lalo& position, double radiusM = 14.0,
                         std::uint32_t type = kGateHeavy) {
    g_stands.reserve(8);  // references to earlier stands stay good
    Stand& stand = g_stands.emplace_back(name, std::vector<StandOption>{}, position, 0.0, radiusM, type, false, false,
                                         false);
    stand.id = static_cast<std::uint32_t>(g_stands.size());
    return stand;
  }
  // A B738 that landed and taxis north at `speedKt`, `southM` south of EHAM.
  static LiveAc& arrival(double southM, double speedKt = 3.0, std::uint32_t hexid = 0x4840D6,
                         const char* callsign = "KLM1234") {
    LiveAc& a = addLive(Rec(hexid, callsign).at(offset(kEham, -southM)).ground(speedKt));
    a.prevState = FlightPhase::landing_roll;
    a.arrivalConfirmed = true;
    a.speed = speedKt;
    return a;
  }
  static bool refused(const LiveAc& a, std::int32_t standId, const std::string& reason) {
    return std::any_of(a.standRefusals.begin(), a.standRefusals.end(),
                       [&](const StandRefusal& r) { return r.standId == standId && r.reason == reason; });
  }
  static void step() { gf_checkLiveWithParkedCollisions(); }
};

TEST_F(ArrivalStandTest, WhoTakesAStand) {
  struct Case {
    const char* what;
    double speedKt;
    bool confirmed, routed;
    const char* reason;  // noted for stand 1, or "" for none
    bool takes;
    double reportsKt;  // its reports ahead reach the stand at this pace; 0: none ahead
  } cases[] = {
      {"landed here, rolling at 6 kt", 6.0, true, true, "", true, 0.0},
      {"landed here, rolling at 7 kt", 7.0, true, true, "current speed exceeds 6 kt", false, 0.0},
      {"a route but no landing seen", 3.0, false, true, "arrival context not confirmed", false, 0.0},
      {"no route, no landing, first look", 3.0, false, false, "unknown route; stand approach not confirmed", false, 0.0},
      {"landed here, its reports taxi into the stand at 5 kt", 5.0, true, true, "", true, 5.0},
  };
  for (const Case& c : cases) {
    reset();
    g_stands.clear();
    addStand("B7", kEham);
    LiveAc& a = arrival(20.0, c.speedKt);
    a.arrivalConfirmed = c.confirmed;
    if (c.routed) a.origin = IataCode("LHR"), a.destination = IataCode("AMS");
    a.pushbackSpeedKt = 3.0;
    const double dueTicks = 20.0 / (c.reportsKt * 0.5144444444444445) * 100.0;
    if (c.reportsKt > 0.0) {
      StreamPoint p = a.stream.front();
      p.lalo = offset(kEham, -10.0);
      p.time = g_engineTime.load() + static_cast<std::int32_t>(dueTicks / 2.0);
      a.stream.push_back(p);
      p.lalo = kEham;
      p.groundSpeed = 0.0;
      p.time = g_engineTime.load() + static_cast<std::int32_t>(dueTicks);
      a.stream.push_back(p);
    }
    step();
    if (c.reportsKt > 0.0) {
      ASSERT_GE(a.stream.size(), 2u) << c.what;
      EXPECT_NEAR(a.stream[1].time - g_engineTime.load(), dueTicks, 50.0) << c.what << ": at its reports' pace";
    }
    step();  // a second look notes nothing twice
    EXPECT_EQ(a.state, c.takes ? FlightPhase::parking : FlightPhase::taxi) << c.what;
    EXPECT_EQ(a.standId, c.takes ? 1 : 0) << c.what;
    EXPECT_EQ(a.standTaken, c.takes) << c.what;
    EXPECT_EQ(a.standRefusals.size(), std::string(c.reason).empty() ? 0u : 1u) << c.what;
    if (*c.reason) { EXPECT_TRUE(refused(a, 1, c.reason)) << c.what; }
  }
}

TEST_F(ArrivalStandTest, WithoutARouteItMustComeHalfAMetreCloser) {
  addStand("B7", kEham);
  LiveAc& a = arrival(20.0);
  a.arrivalConfirmed = false;
  step();
  EXPECT_EQ(a.state, FlightPhase::taxi) << "no earlier position to compare";
  a.position = offset(kEham, -19.7);
  step();
  EXPECT_EQ(a.state, FlightPhase::taxi) << "0.3 m closer";
  a.position = offset(kEham, -19.1);
  step();
  EXPECT_EQ(a.state, FlightPhase::parking) << "0.6 m closer";
  EXPECT_EQ(a.standId, 1);
}

TEST_F(ArrivalStandTest, TheSmallerRemainingApproachWinsInEitherOrder) {
  // Two stands side by side: the aircraft lies on the centre line of the one 5 m east.
  for (const bool nearFirst : {true, false}) {
    reset();
    g_stands.clear();
    const Lalo nearStand = offset(kEham, 0.0, 5.0);
    const Lalo farStand = offset(kEham, 2.0, 5.0);
    addStand(nearFirst ? "NEAR" : "FAR", nearFirst ? nearStand : farStand);
    addStand(nearFirst ? "FAR" : "NEAR", nearFirst ? farStand : nearStand);
    LiveAc& a = arrival(20.0);
    a.position = offset(kEham, -20.0, 5.0);
    step();
    ASSERT_EQ(a.state, FlightPhase::parking) << nearFirst;
    EXPECT_EQ(g_stands[static_cast<std::size_t>(a.standId - 1)].name, "NEAR") << nearFirst;
  }
}

// The pass looks only at the stands within reach north and south of each aircraft: it settles
// every aircraft as the walk over the whole table does, in a grid of stands of mixed sizes with
// taxiing aircraft among them, slow and fast, on and off the centre lines.
TEST_F(ArrivalStandTest, ThePassFindsWhatTheWholeTableWalkFinds) {
  g_stands.clear();
  g_stands.reserve(400);
  for (int row = 0; row < 20; ++row)
    for (int column = 0; column < 20; ++column) {
      const double radiusM = 10.0 + 7.0 * ((row * 20 + column) % 4);
      addStand("G", offset(kEham, row * 45.0, column * 40.0), radiusM);
    }
  std::vector<LiveAc> aircraft;
  for (int i = 0; i < 60; ++i) {
    LiveAc& a = arrival(0.0, i % 5 == 0 ? 9.0 : 3.0, 0x480000 + i, "KLM");
    a.position = offset(kEham, (i % 20) * 45.0 - 25.0 + (i % 3) * 4.0, (i % 13) * 40.0 + (i % 2) * 3.0);
    a.heading = (i % 7 == 0 ? 20.0 : 0.0) * kDeg;
    a.lastStandCheckPos = offset(a.position, -3.0);
    aircraft.push_back(a);
  }
  // The whole-table walk, aircraft by aircraft as the pass takes them.
  for (LiveAc& a : g_liveAcs) lf_chooseArrivalStand(a);
  std::vector<std::tuple<std::int32_t, decltype(LiveAc::state), std::size_t>> walked;
  for (const LiveAc& a : g_liveAcs) walked.emplace_back(a.standId, a.state, a.standRefusals.size());
  // The pass, from the same start.
  for (Stand& stand : g_stands) stand.taken = stand.blocked = 0;
  for (std::size_t i = 0; i < aircraft.size(); ++i) g_liveAcs[i] = aircraft[i];
  step();
  std::size_t took = 0;
  for (std::size_t i = 0; i < g_liveAcs.size(); ++i) {
    const LiveAc& a = g_liveAcs[i];
    EXPECT_EQ(std::make_tuple(a.standId, a.state, a.standRefusals.size()), walked[i]) << i;
    took += a.state == FlightPhase::parking;
  }
  EXPECT_GT(took, 10u);
}

TEST_F(ArrivalStandTest, RefusalsBeyond60MetresAreNotNoted) {
  const Stand& stand = addStand("B7", kEham);
  LiveAc& a = arrival(20.0);
  lf_noteStandRefusal(a, stand, "x", 60.5);
  EXPECT_TRUE(a.standRefusals.empty());
  lf_noteStandRefusal(a, stand, "x", 59.5);
  lf_noteStandRefusal(a, stand, "x", 10.0);
  EXPECT_EQ(a.standRefusals.size(), 1u);

  // A stand 70 m ahead is too far to be refused for anything.
  g_stands.clear();
  addStand("B9", offset(kEham, 50.0));
  LiveAc& b = arrival(20.0, 9.0, 0x4840D7, "KLM5");
  step();
  EXPECT_TRUE(b.standRefusals.empty());
}

TEST_F(ArrivalStandTest, AB738FitsAHeavyGateByItsHalfSpan) {
  // Half span 17.9 m over a 14 m stand radius: 3.9 m overhang is allowed; the full span is not.
  const Stand& stand = addStand("G1", kEham, 14.0, kGateHeavy);
  LiveAc& a = arrival(20.0);
  EXPECT_FALSE(stand.fitsAircraft(a.category, 2.0 * a.wingspan));
  step();
  EXPECT_EQ(a.state, FlightPhase::parking);
  EXPECT_EQ(a.standId, 1);
}

TEST_F(ArrivalStandTest, AHelicopterTakesAHelipadThoughHelipadsHaveNoParkingType) {
  Stand& pad = addStand("HELIPAD 1", kEham, 14.0, PARKING_NONE);
  pad.heli = 1;
  LiveAc& a = addLive(Rec(0x100, "LIFE1", "EC35").at(offset(kEham, -20.0)).ground(2.0));
  a.prevState = FlightPhase::landing_roll;
  a.arrivalConfirmed = true;
  a.speed = 2.0;
  step();
  EXPECT_EQ(a.standId, 1);
  EXPECT_EQ(a.state, FlightPhase::parking);
}

TEST_F(ArrivalStandTest, AFailedTakeIsNoted) {
  addStand("B7", kEham);
  LiveAc& other = arrival(200.0, 0.0, 0x100, "DLH4");
  other.state = FlightPhase::parking;  // driving into B7 already
  other.standId = 1;
  LiveAc& a = arrival(20.0);
  step();
  EXPECT_EQ(a.state, FlightPhase::taxi);
  EXPECT_TRUE(refused(a, 1, "stand protected, occupied or not reserved"));
  EXPECT_TRUE(removed.empty());
}

class StandConflictTest : public ArrivalStandTest {};

TEST_F(StandConflictTest, AnOccupantGivesWayOnlyWhenParked) {
  struct Case {
    const char* what;
    std::uint32_t occupantState;
    bool occupantRemoved;
  } cases[] = {
      {"parked", FlightPhase::parked, true},
      {"holding after pushback", FlightPhase::pushed_back, false},
      {"driving in", FlightPhase::parking, false},
  };
  for (const Case& c : cases) {
    reset();
    g_stands.clear();
    const Stand& stand = addStand("B7", kEham);
    LiveAc& occupant = addLive(Rec(0x100, "DLH4").at(kEham).ground(0.0), SimStatus::active, c.occupantState);
    occupant.standId = 1;
    LiveAc& a = arrival(20.0);
    EXPECT_FALSE(lf_takeStand(a, stand, true)) << c.what << ": never in the same step";
    EXPECT_EQ(a.state, FlightPhase::taxi) << c.what;
    EXPECT_EQ(removed, c.occupantRemoved ? std::vector<std::uint32_t>{0x100} : std::vector<std::uint32_t>{})
        << c.what;
  }
  EXPECT_EQ(logText().find("DLH4     removed, KLM1234 wants to park there") == std::string::npos, false);
}

TEST_F(StandConflictTest, GhostsAndCopiesOnAStand) {
  struct Case {
    const char* what;
    const char* holder;
    const char* wanting;
    bool seen;  // the holder was seen at its stand
    bool holderRemoved;
    const char* line;
  } cases[] = {
      {"the ghost wants the flight's stand", "KLM12", "KLM12_", false, false, ""},
      {"the flight replaces its ghost", "KLM12_", "KLM12", false, true, "KLM12_   ghost, replace by KLM12"},
      {"same callsign", "KLM12", "KLM12", false, true, "ac with same callsign KLM12 wants it, remove existing"},
      {"another flight, seen at its stand", "DLH4", "KLM12", true, false, ""},
      {"another flight, never seen there", "DLH4", "KLM12", false, true,
       "DLH4     removed because another live KLM12 wants the stand ..."},
  };
  for (const Case& c : cases) {
    reset();
    g_stands.clear();
    addStand("B7", kEham);
    LiveAc& holder = addLive(Rec(0x100, c.holder).at(kEham).ground(0.0), SimStatus::active, FlightPhase::parked);
    holder.standId = 1;
    holder.atStandSeen = c.seen;
    LiveAc& a = addLive(Rec(0x200, c.wanting).at(kEham).ground(0.0), SimStatus::buffer, FlightPhase::birth);
    // The removed holder still stands there until its record is gone.
    EXPECT_FALSE(lf_checkStandIsNotUsedByOtherLiveAircraftSub(1, a)) << c.what;
    EXPECT_EQ(removed.size(), c.holderRemoved ? 1u : 0u) << c.what;
    if (*c.line) { EXPECT_NE(logText().find(c.line), std::string::npos) << c.what; }
  }
  reset();
  LiveAc& a = addLive(Rec(0x200).at(kEham).ground(0.0), SimStatus::buffer, FlightPhase::birth);
  EXPECT_TRUE(lf_checkStandIsNotUsedByOtherLiveAircraftSub(1, a)) << "nobody there";
}

TEST_F(StandConflictTest, AnOccupantOfAnExcludedStandBlocksOnlyWithinBothRadii) {
  // B738s reach 44.2 m each: a neighbour 80 m away overlaps, one 100 m away does not.
  for (const double apartM : {80.0, 100.0}) {
    reset();
    g_stands.clear();
    Stand& wanted = addStand("B7", kEham);
    addStand("B8", offset(kEham, 0.0, apartM));
    wanted.excludes = {2};
    LiveAc& neighbour = addLive(Rec(0x100, "DLH4").at(offset(kEham, 0.0, apartM)).ground(0.0), SimStatus::active,
                                FlightPhase::parked);
    neighbour.standId = 2;
    LiveAc& a = arrival(20.0);
    const bool overlaps = apartM < 88.0;
    EXPECT_EQ(lf_isStandOccupantColliding(neighbour, 2, a, wanted), overlaps) << apartM;
    EXPECT_EQ(lf_takeStand(a, wanted, true), !overlaps) << apartM;
    EXPECT_EQ(removed.size(), overlaps ? 1u : 0u) << apartM;
    if (overlaps) {
      EXPECT_NE(logText().find("DLH4     removed by parking KLM1234 at colliding adjacent stand B7"), std::string::npos);
    }
  }
}

TEST_F(StandConflictTest, TheUsersGateAndTheStandsOverlappingItAreRefused) {
  Stand& wanted = addStand("B7", kEham);
  addStand("B8", offset(kEham, 0.0, 30.0));
  addStand("B9", offset(kEham, 0.0, 90.0));
  wanted.excludes = {2};
  EXPECT_TRUE(gf_isUserStand(wanted, "B7"));
  EXPECT_TRUE(gf_isUserStand(wanted, "B8"));
  EXPECT_FALSE(gf_isUserStand(wanted, "B9"));
  EXPECT_FALSE(gf_isUserStand(wanted, "")) << "no gate, and the user is not on a stand";

  hooks.isUserStand = [](const Stand& stand, const LiveAc&, std::int32_t) { return gf_isUserStand(stand, "B8"); };
  install();
  LiveAc& a = arrival(20.0);
  EXPECT_FALSE(lf_takeStand(a, wanted, true));
  EXPECT_EQ(a.state, FlightPhase::taxi);
}

}  // namespace
