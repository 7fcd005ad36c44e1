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
    EXPECT_EQ(g_runwayRemovedDepartures.contains(0x100), c.removed) << c.what;
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
