// Take-off: reference speeds, the climb-out, the end of the take-off run and the flight message.
#include "traffic/takeoff.h"

#include "simlink/sim_ids.h"
#include "tests/traffic/traffic_fixture.h"
#include "traffic/runway_validation.h"

namespace {
using namespace traffic_test;
constexpr double kDeg = geo::kDegToRad;

// A 3000 m runway 09-27 at 47/8; points `along` metres east of its centre.
Runway runway09() {
  Runway r;
  r.centre = {47.0, 8.0};
  r.heading = 90.0, r.length = 3000.0, r.width = 45.0, r.altitude = 1000.0;
  r.primaryNumber = 9, r.secondaryNumber = 27;
  r.primaryEnd = gf_destinationPoint(r.centre, {270.0 * kDeg, 1500.0 * 3.2808399});
  r.secondaryEnd = gf_destinationPoint(r.centre, {90.0 * kDeg, 1500.0 * 3.2808399});
  return r;
}
Lalo east(double metres) { return gf_destinationPoint({47.0, 8.0}, {90.0 * kDeg, metres * 3.2808399}); }

class TakeoffTest : public EngineTest {};

TEST_F(TakeoffTest, ReferenceSpeeds) {
  struct Case {
    const char* model;
    double phase1, phase2, phase3;
  };
  const Case cases[] = {{"B77W", 150, 140, 135}, {"C172", 65, 65, 65},    {"BE58", 80, 80, 80},
                        {"E190", 130, 120, 110}, {"B738", 140, 130, 120}, {"EC35", 0, 0, 0}};
  for (const Case& c : cases) {
    LiveAc& ac = addLive(Rec(0x100, "T1", c.model));
    EXPECT_EQ(gf_referenceSpeed(ac, 1), c.phase1) << c.model;
    EXPECT_EQ(gf_referenceSpeed(ac, 2), c.phase2) << c.model;
    EXPECT_EQ(gf_referenceSpeed(ac, 3), c.phase3) << c.model;
    g_liveAcs.clear();
  }
}

TEST_F(TakeoffTest, TheGearGoesUpOnceOnTheStepThatStartsAtMinus299) {
  LiveAc& ac = addLive(Rec(0x100).air(500.0, 160.0), SimStatus::active, FlightPhase::takeoff);
  ac.climbPitchSteps = 1;  // the climb pitch is reached at once
  ac.verticalRate = 0.3;
  std::vector<int> gearSteps;
  for (int step = 1; step <= 400 && ac.state == FlightPhase::takeoff; ++step) {
    gf_takeoffClimbStep(ac);
    std::lock_guard lock(g_simQueueMutex);
    for (const SimClientEvent& e : g_simClientEvents)
      if (e.eventId == GEAR_SET) gearSteps.push_back(step);
    g_simClientEvents.clear();
  }
  EXPECT_EQ(gearSteps, std::vector<int>{300});
  EXPECT_EQ(ac.state, FlightPhase::flying);  // 2500 ft above ground hands over below -300
  EXPECT_TRUE(ac.cleanClimb);
  EXPECT_EQ(ac.throttleStep, 3u);
  EXPECT_GT(ac.altitude, 500.0);
}

TEST_F(TakeoffTest, TheEndOfTheRunway) {
  struct Case {
    const char* what;
    double alongM, nextAlongM, speedKt;
    bool airborneAhead;
    bool removed;
    std::uint32_t state;
  };
  // 27's threshold, the far end of a roll on 09, lies 1500 m east of the centre.
  const Case cases[] = {
      {"slow on the threshold, on the ground: taxis off", 1500, 1530, 20, false, false, FlightPhase::taxi},
      {"past the end without lifting off: removed", 1650, 1700, 20, false, true, FlightPhase::takeoff_roll},
      {"mid runway, lifting off ahead: rolls on", 0, 100, 150, true, false, FlightPhase::takeoff_roll},
      {"at take-off speed near the end: takes off", 1400, 1450, 130, false, false, FlightPhase::takeoff},
  };
  for (const Case& c : cases) {
    reset();
    g_parkRunways = {runway09()};
    LiveAc& ac = addLive(Rec(0x100).at(east(c.alongM)).ground(c.speedKt), SimStatus::active, FlightPhase::takeoff_roll);
    ac.heading = 90.0 * kDeg;
    ac.speed = c.speedKt;
    Rec next = Rec(0x100).at(east(c.nextAlongM));
    if (c.airborneAhead)
      next.air(100.0, c.speedKt);
    else
      next.ground(c.speedKt);
    ac.stream.push_back(gf_streamPoint(next));
    EXPECT_EQ(gf_runwayEndCheck(ac), c.removed) << c.what;
    EXPECT_EQ(ac.state, c.state) << c.what;
    EXPECT_EQ(removed.size(), c.removed ? 1u : 0u) << c.what;
    EXPECT_EQ(ac.simState == SimStatus::removingfromsim, c.removed) << c.what;
  }
}

TEST_F(TakeoffTest, TheMessageLeavesOutTheDestinationWhenItIsTheOrigin) {
  for (const char* destination : {"AMS", "LHR"}) {
    LiveAc& ac = addLive(Rec(0x100).registration("PH-ABC"));
    ac.origin = IataCode("AMS");
    ac.destination = IataCode(destination);
    const std::string text = gf_takeoffMessage(ac);
    const std::string tail =
        std::string(destination) == "AMS" ? " take off from AMS ..." : " take off from AMS to LHR ...";
    EXPECT_NE(text.find("KLM1234 PH-ABC"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << text;
    g_liveAcs.clear();
  }
}

TEST_F(TakeoffTest, Readiness) {
  struct Later {
    bool airborne;
    double kt, vs;
  };
  struct Case {
    const char* what;
    bool rolling;
    double currentVs, runwayLength;  // length 0: no departure runway
    std::vector<Later> later;
    std::int32_t readiness;
  };
  const Case cases[] = {
      {"rolling, lifting off next", true, 0, 0, {{true, 150, 900}}, 1},
      {"rolling, on the ground", true, 0, 0, {{false, 150, 0}}, 2},
      {"climbing all along, airborne", false, 300, 0, {{true, 150, 900}, {true, 160, 900}}, 1},
      {"climbing all along, airborne at the end", false, 300, 0, {{false, 150, 300}, {true, 160, 900}}, 2},
      {"airborne and fast", false, 0, 0, {{true, 121, 0}, {true, 130, 0}}, 2},
      {"a steep climb somewhere", false, 0, 0, {{false, 50, 2500}}, 2},
      {"no runway", false, 0, 0, {{false, 130, 0}}, 0},
      {"short runway, fast", false, 0, 1500, {{false, 125, 0}, {false, 130, 0}}, 2},
      {"short runway, one slow point", false, 0, 1500, {{false, 100, 0}, {false, 130, 0}}, 0},
      {"long runway", false, 0, 3000, {{false, 130, 0}}, 0}};
  for (const Case& c : cases) {
    LiveAc& ac = addLive(Rec(0x100).ground(120, 90), SimStatus::active, FlightPhase::takeoff_roll);
    ac.rolling = c.rolling;
    ac.stream[0].verticalRate = c.currentVs;
    if (c.runwayLength > 0) ac.departureRunway = DepartureRunway{"09", east(1500), 90.0, c.runwayLength};
    for (const Later& p : c.later) {
      ac.stream.push_back(gf_streamPoint(Rec(0x100).air(p.airborne ? 100 : 0, p.kt, 90)));
      ac.stream.back().airborne = p.airborne, ac.stream.back().verticalRate = p.vs;
    }
    EXPECT_EQ(gf_takeoffReadiness(ac), c.readiness) << c.what;
    g_liveAcs.clear();
  }
}

TEST_F(TakeoffTest, Mode) {
  struct Case {
    const char* what;
    double eastM, speedKt;  // east of the runway's centre: 1500 m is the end of a roll on 09
    bool rolling;
    double airborneAtM;  // east too; 0: no airborne point
    std::int32_t ticksToIt;
    std::int32_t mode;
  };
  const Case cases[] = {{"lift-off speed, lifting off just ahead", -1500, 145, false, -1200, 200, 1},
                        {"full-runway speed on the runway", 500, 135, false, 1300, 1000, 2},
                        {"near the end at the lowest speed", 1300, 125, false, 3000, 2000, 3},
                        {"too slow", 500, 50, false, 1400, 300, 0},
                        {"rolling fast on the ground", -200, 155, true, 0, 0, 1},
                        {"on the ground, long runway", 1300, 135, false, 0, 0, 0}};
  g_parkRunways = {runway09()};
  for (const Case& c : cases) {
    LiveAc& ac =
        addLive(Rec(0x100).at(east(c.eastM)).ground(c.speedKt, 90), SimStatus::active, FlightPhase::takeoff_roll);
    ac.heading = 90.0 * kDeg;
    ac.speed = c.speedKt;
    ac.rolling = c.rolling;
    Rec next = Rec(0x100).at(east(c.airborneAtM != 0 ? c.airborneAtM : c.eastM + 300));
    next.ground(c.speedKt + 5, 90);
    if (c.airborneAtM != 0) next.air(100, c.speedKt + 5, 90);
    ac.stream.push_back(gf_streamPoint(next));
    ac.stream.back().time = c.ticksToIt;
    EXPECT_EQ(gf_takeoffMode(ac), c.mode) << c.what;
    g_liveAcs.clear();
  }
}

TEST_F(TakeoffTest, VacatingTheRunway) {
  for (const char* model : {"B738", "C172", "EC35"}) {
    LiveAc& ac = addLive(Rec(0x100, "T1", model), SimStatus::active, FlightPhase::landing_roll);
    ac.runwayHeading = 1.0;
    clearSimQueues();
    g_simReverseThrustRequests.clear();
    gf_vacateRunway(ac);
    const std::string m = model;
    EXPECT_EQ(std::pair(ac.state, ac.prevState), std::pair(+FlightPhase::taxi, +FlightPhase::landing_roll)) << m;
    EXPECT_TRUE(ac.landingRollEnded && std::isnan(ac.runwayHeading)) << m;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> events;
    for (const SimClientEvent& e : g_simClientEvents) events.emplace_back(e.eventId, e.value);
    const auto sent = [&](std::uint32_t id, std::uint32_t value) {
      return std::find(events.begin(), events.end(), std::pair(id, value)) != events.end();
    };
    EXPECT_TRUE(sent(THROTTLE_SET, m == "EC35" ? 16383 : 0)) << m;
    EXPECT_EQ(sent(FLAPS_SET, 0) && sent(SPOILERS_SET, 0), m != "EC35") << m;
    EXPECT_TRUE(sent(LANDING_LIGHTS_SET, 0) && sent(TAXI_LIGHTS_SET, 1) && sent(CABIN_LIGHTS_SET, 1)) << m;
    EXPECT_EQ(g_simReverseThrustRequests.size(), m == "C172" ? 0u : 1u) << m;
    g_liveAcs.clear();
  }
}

// The park airport is known by its ICAO code and its IATA code; the flight's codes are IATA.
TEST_F(TakeoffTest, TheMessageComparesTheDestinationWithTheOriginsIataCode) {
  struct Case {
    const char* what;
    const char* parkIata;  // the park airport EHAM, under the aircraft
    const char* origin;
    const char* destination;
    const char* tail;
  };
  const Case cases[] = {
      {"back to the park airport", "AMS", "", "AMS", " take off from EHAM ..."},
      {"to another airport", "AMS", "", "LHR", " take off from EHAM to LHR ..."},
      {"the park airport without a code", "XXX", "", "AMS", " take off from EHAM to AMS ..."},
      {"a destination without a code", "AMS", "", "XXX", " take off from EHAM ..."},
  };
  for (const Case& c : cases) {
    static IataCode parkIata;
    parkIata = IataCode(c.parkIata);
    gf_setAirportsNeighbours({}, [] { return Airport{IcaoCode("EHAM"), parkIata, kEham, -11}; });
    LiveAc& ac = addLive(Rec(0x100).registration("PH-ABC").at(kEham));
    ac.position = kEham;
    if (*c.origin) ac.origin = IataCode(c.origin);
    ac.destination = IataCode(c.destination);
    const std::string text = gf_takeoffMessage(ac);
    const std::string tail = c.tail;
    EXPECT_TRUE(text.ends_with(tail)) << c.what << ": " << text;
    g_liveAcs.clear();
  }
}

// The nearest airport of a flight without an origin is found by its centre: the stand files
// stay closed while the message is built.
TEST_F(TakeoffTest, TheMessagesNearestAirportReadsNoStandFile) {
  int standReads = 0;
  gf_setAirportsNeighbours(
      [&standReads](const Airport&, const Lalo&) {
        ++standReads;
        return ClosestStand{"A1", 0.01, true};
      },
      {});
  {
    std::unique_lock lock(g_airportsLock);
    g_airports = {Airport{IcaoCode("EHAM"), IataCode("AMS"), kEham, -11},
                  Airport{IcaoCode("EHLE"), IataCode("LEY"), offset(kEham, 3000.0), -11}};
  }
  LiveAc& ac = addLive(Rec(0x100).registration("PH-ABC").at(offset(kEham, 1000.0)));
  ac.position = offset(kEham, 1000.0);
  ac.destination = IataCode("AMS");
  const std::string text = gf_takeoffMessage(ac);
  EXPECT_TRUE(text.ends_with(" take off from EHAM ...")) << text;
  EXPECT_EQ(standReads, 0);
  gf_resetAirportsForTest();
}

}  // namespace
