// The park airport in flight and the park airport's runways, through the hooks as the program
// installs them: the user flying from Zurich toward Geneva in the stand-in simulator gives Zurich
// up and sets Geneva up with its parked aircraft; a departure from the park airport gets its
// line-up prediction; a landing roll near a runway is no jump.
#include <chrono>
#include <cmath>
#include <thread>

#include "app/main_loop.h"
#include "app/parking_controls.h"
#include "parking/park_population.h"
#include "parking/stand_search.h"
#include "core/utc_time.h"
#include "feed/traffic_mailbox.h"
#include "refdata/dbase.h"
#include "refdata/library_init.h"
#include "refdata/model_ids.h"
#include "simlink/ai_positions.h"
#include "simlink/delayed_commands.h"
#include "simlink/sim_commands.h"
#include "simlink/sim_client.h"
#include "simlink/user_aircraft.h"
#include "tests/app/wiring_fixture.h"
#include "traffic/adding_stack.h"
#include "traffic/decode_message.h"
#include "traffic/delayed_sim_commands.h"
#include "traffic/ground_movement.h"
#include "traffic/static_stands.h"

namespace wiring_test {
namespace {

using namespace std::chrono_literals;

Lalo lerp(const Lalo& a, const Lalo& b, double f) { return {a.lat + (b.lat - a.lat) * f, a.lon + (b.lon - a.lon) * f}; }

// A point along a runway, from its primary end toward the secondary one.
Lalo alongRunway(const Runway& runway, double metres) {
  return lerp(runway.primaryEnd, runway.secondaryEnd, metres / runway.length);
}

class ParkAirportRunwayTest : public WiringTest {};

TEST_F(ParkAirportRunwayTest, ADepartureFromTheParkAirportGetsItsLineUpPrediction) {
  struct Case {
    const char* what;
    Airport park;  // as the worker hands it over: no IATA code of its own
    const char* origin;
    bool predicted;
  };
  const Airport noIata{IcaoCode("LSZH"), g_defaultIataCode, kZurich.position, kZurich.altitude};
  const Case cases[] = {
      {"from the park airport", kZurich, "ZRH", true},
      {"from another airport", kZurich, "GVA", false},
      {"both without a code", noIata, "XXX", false},
  };
  for (const Case& c : cases) {
    {
      std::unique_lock lock(g_airportsLock);
      g_airports = {kGeneva, c.park};
    }
    parkAt(c.park);
    ASSERT_FALSE(g_parkRunways.empty()) << log();
    EXPECT_EQ(gf_parkAirport().iata, c.park.iata) << c.what << ": the code comes from the airports list";
    const Runway& runway = g_parkRunways.front();
    LiveAc aircraft(StreamPoint{}, AcIdentity{}, 0.0);
    aircraft.origin = IataCode(c.origin);
    aircraft.state = FlightPhase::taxi;
    aircraft.onGround = true;
    aircraft.position = alongRunway(runway, 100.0);
    // Turning onto the runway: 20 degrees short of its heading, the next point 10 degrees past it.
    aircraft.heading = gf_normalizeAngle((runway.heading - 20.0) * geo::kDegToRad);
    aircraft.trackToNext = gf_normalizeAngle((runway.heading + 10.0) * geo::kDegToRad);
    gf_predictLineUp(aircraft);
    EXPECT_EQ(aircraft.runwayPredicted, c.predicted) << c.what;
  }
}

// The set-up (the stand file's read) only asks the simulator for the runways; the worker's ticks
// take the answer with the usual lines. A simulator that never answers holds no tick: after the
// 10 seconds the list stays empty and the warning comes once.
TEST_F(ParkAirportRunwayTest, TheSetUpAsksForTheRunwaysAndTheTicksTakeThem) {
  fs::create_directories(dir_.path() / "airports" / "my_thirdparty");
  fs::copy_file(testing_support::sourceDataFolder() / "webserver" / "MSFS2024" / "archive" / "stock" / "LSZH.xml",
                dir_.path() / "airports" / "my_thirdparty" / "LSZH.xml");
  std::uint64_t looks = 0;
  auto clock = std::chrono::steady_clock::time_point{};
  gf_setFacilityClockForTest([&] {
    ++looks;
    return clock += 1s;
  });
  struct RealClockAfter {
    ~RealClockAfter() { gf_setFacilityClockForTest(nullptr); }
  } realClockAfter;
  struct Case {
    const char* what;
    bool silent;
    int waitingTicks;
  };
  for (const Case& c : {Case{"answered", false, 0}, Case{"silent", true, 9}}) {
    gf_resetParkRunways();
    gf_resetParkSetup();
    sim::setFacilityFaults("LSZH", sim::FacilityFaults{.late = c.silent});
    gf_setParkAirport(AirportRef{kZurich.code, kZurich.position, kZurich.altitude});
    const std::uint64_t requests = sim::facilityRequestCount();
    newLog();
    looks = 0;
    ASSERT_FALSE(gf_engineHooks().readParkedFile()) << c.what << log();
    EXPECT_EQ(sim::facilityRequestCount(), requests + 1) << c.what;
    EXPECT_EQ(looks, 1u) << c.what << ": the set-up asked and returned";
    EXPECT_TRUE(g_parkRunways.empty()) << c.what;
    EXPECT_FALSE(contains(newLog(), "RUNWAY_HEADING")) << c.what;
    int ticks = 0;
    for (; gf_workerSeams().pollRunwayRead() && ticks < 100; ++ticks) {
      EXPECT_TRUE(g_parkRunways.empty()) << c.what;
      EXPECT_EQ(looks, static_cast<std::uint64_t>(ticks + 2)) << c.what << ": one look per tick";
    }
    EXPECT_EQ(ticks, c.waitingTicks) << c.what;
    const std::string text = newLog();
    EXPECT_EQ(g_parkRunways.size(), c.silent ? 0u : 3u) << c.what << text;
    EXPECT_EQ(contains(text, "RUNWAY_HEADING: LSZH 3 runways: "), !c.silent) << c.what << text;
    for (const char* warning : {"==> RUNWAY_HEADING: facility data request timed out for LSZH\n",
                                "==> RUNWAY_HEADING: reading runway facilities for LSZH failed\n"}) {
      const std::size_t at = text.find(warning);
      EXPECT_EQ(at != std::string::npos, c.silent) << c.what << warning;
      if (at != std::string::npos) { EXPECT_EQ(text.find(warning, at + 1), std::string::npos) << "once"; }
    }
  }
}

TEST_F(ParkAirportRunwayTest, ALandingRollNearARunwayIsNoJump) {
  struct Case {
    const char* what;
    double fromM, toM, acrossM;
    bool jump;
  };
  // 600 m in 10 s (117 kt) at a reported 45 kt, taxiing (state 2) after the landing.
  const Case cases[] = {
      {"along the runway", 800.0, 1400.0, 0.0, false},
      {"off the runway", 800.0, 1400.0, 400.0, true},
  };
  parkAt(kZurich);
  ASSERT_FALSE(g_parkRunways.empty()) << log();
  const Runway& runway = g_parkRunways.front();
  for (const Case& c : cases) {
    gf_resetEngineTables();
    const std::uint32_t hexid = 0x4B1001;
    StreamPoint last;
    last.lalo = alongRunway(runway, c.fromM);
    last.groundSpeed = 45.0;
    last.track = runway.heading;
    LiveAc& aircraft = g_liveAcs.emplace_back(last, AcIdentity{}, 1000.0);
    aircraft.hexid = hexid;
    aircraft.objectId = 7;
    aircraft.callsign = "SWR2";
    aircraft.state = FlightPhase::taxi;
    aircraft.simState = SimStatus::active;
    aircraft.onGround = true;
    aircraft.lastMessageTime = 1000.0;
    TrafficRecord record;
    record.hexid = hexid;
    record.callsign = "SWR2";
    record.timestamp = 1010.0;
    record.gs = 45.0;
    record.track = runway.heading;
    const Lalo along = alongRunway(runway, c.toM);
    // Across: the record lies beside the runway, clear of its corridor.
    const double across = c.acrossM / 1852.0 / 60.0;
    record.lalo = {along.lat - across * std::sin(runway.heading * geo::kDegToRad),
                   along.lon + across * std::cos(runway.heading * geo::kDegToRad) /
                                   std::cos(along.lat * geo::kDegToRad)};
    decodeMessage(record);
    EXPECT_EQ(g_liveAcs.at(0).simState == SimStatus::removingfromsim, c.jump) << c.what;
    EXPECT_EQ(g_jumpWatch.contains(hexid), c.jump) << c.what;
  }
}

// The user aircraft in the stand-in simulator, read by the link's own thread; the engine's
// ticks publish its position as the worker's.
class ParkAirportFlightTest : public WiringTest {
 protected:
  void SetUp() override {
    WiringTest::SetUp();
    fs::create_directories(dir_.path() / "input");
    fs::copy_file(testing_support::sourceDataFolder() / "dbase.enc", dir_.path() / "input" / "dbase.enc");
    gf_initDataLibraries();
    ASSERT_TRUE(gf_readDbase(dir_.path() / "input"));
    gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.random = false; });
    g_currentWeekTime = gf_weekdayAndHalfHour();
    g_liveAcs.reserve(16);
    g_staticAcs.reserve(16);

    quickSimClient();
    user.onGround = false;
    user.altitude = 6000.0;
    user.indicatedAltitude = 6000.0;
    user.groundAltitude = 1400.0;
    user.altitudeAboveGround = 4600.0;
    fly(kZurich.position);
    sim::setFlightRunning(true);
    gf_initSimClient();
    client = std::jthread([](std::stop_token token) { SimClient(std::move(token)); });
    ASSERT_TRUE(sim::waitUntil([] { return g_simState.load() == 2; }));
  }
  void TearDown() override {
    if (client.joinable()) {
      client.request_stop();
      sim::waitUntil([this] {
        sim::pumpFrames(1);
        return !client.joinable() || g_simState.load() == 0;
      }, 2s);
      client.join();
    }
    gf_resetSimClientForTest();
    gf_setSimSteadyClockForTest({});
    gf_resetDbaseTables();
    gf_resetModelTables();
    g_parkingGenerating = false;
    g_currentWeekTime = 0;
    WiringTest::TearDown();
  }

  void fly(const Lalo& position) {
    user.latitude = position.lat;
    user.longitude = position.lon;
    sim::setUserAircraft(user);
  }
  // Engine ticks, each followed by a frame, until the worker's copy of the user shows the position.
  bool tickUntilPublished(const Lalo& position) {
    for (int tick = 0; tick < 200; ++tick) {
      lf_handleAddingStack();
      sim::pumpFrames(1);
      if (!sim::waitForIdle()) return false;
      const UserAcPosition& seen = g_workerUserAcPosition;
      if (std::fabs(seen.latitude - position.lat) < 1e-9 && std::fabs(seen.longitude - position.lon) < 1e-9)
        return true;
    }
    return false;
  }

  sim::UserAircraft user;
  std::jthread client;
};

// Six heavy stands at Geneva, each used every half-hour of every day by a registration the dbase
// knows.
std::string genevaStandFile() {
  const char* regs[] = {"HB-JNA", "OE-LPA", "G-STBA", "PH-BHA", "A6-EDA", "9V-SKA"};
  std::string stands;
  for (int i = 0; i < 6; ++i) {
    std::string options;
    for (int day = 1; day <= 7; ++day) options += fmt::format(R"(<opt reg="{}" day="{}" hh="0:47" />)", regs[i], day);
    stands += fmt::format(
        R"(<parkpos id="GATE G{}" typestr="GATE_HEAVY" latitude="{:.6f}" longitude="{:.6f}" heading="140.0" radius="40.0">{}</parkpos>)",
        i + 1, 46.2330, 6.1000 + 0.0012 * i, options);
  }
  return fmt::format(
      R"(<?xml version="1.0" encoding="UTF-8"?><root><meta><info name="copyright" value="c"/><info name="sim" value="2"/></meta>)"
      R"(<parameters><parameter name="icao" value="LSGG"/><parameter name="iata" value="GVA"/>)"
      R"(<parameter name="airport_name" value="Geneva"/><parameter name="publisher" value="stock"/>)"
      R"(<parameter name="altitude" value="1411"/></parameters><parkpositions>{}</parkpositions></root>)",
      stands);
}

TEST_F(ParkAirportFlightTest, FlyingFromZurichTowardGenevaGivesZurichUpAndSetsGenevaUp) {
  fs::create_directories(dir_.path() / "airports" / "my_thirdparty");
  fs::copy_file(testing_support::sourceDataFolder() / "webserver" / "MSFS2024" / "archive" / "stock" / "LSZH.xml",
                dir_.path() / "airports" / "my_thirdparty" / "LSZH.xml");
  write(fs::path("airports") / "my_thirdparty" / "LSGG.xml", genevaStandFile());
  write(fs::path("airports") / "my_park_airports.txt", "LSZH\nLSGG\n");
  gf_readMyParkAirportsFile();

  // Airborne over Zurich, its park airport set up at start.
  ASSERT_TRUE(tickUntilPublished(kZurich.position));
  parkAt(kZurich);
  gf_setupParkAirport();
  ASSERT_TRUE(gf_findStandByName("GATE A1")) << log();
  newLog();

  // Toward Geneva in steps of about 2 NM; the parking step runs after each.
  constexpr int kSteps = 64;
  bool gaveUp = false;
  for (int step = 1; step <= kSteps && gf_parkAirport().code != kGeneva.code; ++step) {
    const Lalo here = lerp(kZurich.position, kGeneva.position, static_cast<double>(step) / kSteps);
    fly(here);
    ASSERT_TRUE(tickUntilPublished(here)) << "step " << step;
    gf_handleParkingRequests();
    gaveUp = gaveUp || gf_parkAirport().code.empty();
  }
  EXPECT_TRUE(gaveUp) << "Zurich given up on the way";
  ASSERT_EQ(gf_parkAirport().code, kGeneva.code) << log();
  EXPECT_EQ(gf_parkAirport().iata, kGeneva.iata);
  gf_handleParkingRequests();  // takes the park request: the set-up
  // The ticks run its stand search and take its runways.
  for (bool busy = true; busy;) {
    const bool searching = gf_workerSeams().stepStandSearch();
    busy = gf_workerSeams().pollRunwayRead() || searching;
  }

  const std::string flight = newLog();
  EXPECT_TRUE(contains(flight, " LSZH is no longer within reach, parked aircraft will be removed")) << flight;
  EXPECT_TRUE(contains(flight, "\nThe park airport is LSGG")) << flight;
  EXPECT_TRUE(contains(flight, "RUNWAY_HEADING: LSGG ")) << flight;
  EXPECT_FALSE(g_parkingSetupRequested.load());
  EXPECT_FALSE(gf_findStandByName("GATE A1"));
  EXPECT_EQ(g_stands.size(), 6u);
  EXPECT_TRUE(gf_findStandByName("GATE G1"));
  EXPECT_FALSE(g_standSearchHits.empty()) << "parked aircraft planned at Geneva\n" << flight;
  EXPECT_TRUE(contains(flight, " positions (")) << flight;
  for (const StandSearchHit& hit : g_standSearchHits) EXPECT_TRUE(gf_standByNumber(g_stands, hit.standId));
  EXPECT_FALSE(contains(log(), "is not built yet")) << log();
}

// The simulator closes and comes back while the user stands at Zurich: the new session has none
// of our objects. The flight in the air is created again from where it was, and the park
// airport's parked aircraft are planned again at the next 15-step pass, not 20 minutes later.
TEST_F(ParkAirportFlightTest, ANewSimulatorSessionPutsTheAirportsAircraftBackPromptly) {
  fs::create_directories(dir_.path() / "airports" / "my_thirdparty");
  fs::copy_file(testing_support::sourceDataFolder() / "webserver" / "MSFS2024" / "archive" / "stock" / "LSZH.xml",
                dir_.path() / "airports" / "my_thirdparty" / "LSZH.xml");
  ASSERT_TRUE(tickUntilPublished(kZurich.position));
  parkAt(kZurich);
  gf_setupParkAirport();
  ASSERT_FALSE(g_stands.empty()) << log();
  while (gf_workerSeams().stepStandSearch()) {
  }
  gf_clearStandSearchHits();
  g_parkingGenerating = false;

  // One flight and one parked aircraft, each with its object in this session.
  const auto created = [](std::uint32_t hexid, const std::string& tail, const Lalo& at) {
    gf_queueCreateAiObject({.position = {.latitude = at.lat, .longitude = at.lon, .altitude = 3000.0, .heading = 90.0},
                            .tailNumber = tail,
                            .containerTitle = "Stand-in A320 Test Air",
                            .hexid = hexid});
    for (int i = 0; i < 20; ++i) {
      sim::pumpFrames(1);
      EXPECT_TRUE(sim::waitForIdle());
      for (const auto& o : sim::aiObjects())
        if (o.tailNumber == tail) return o.objectId;
    }
    ADD_FAILURE() << "no object for " << tail;
    return std::uint32_t{0};
  };
  const Lalo approach{kZurich.position.lat + 0.05, kZurich.position.lon};
  const std::uint32_t flightObject = created(0x4B1001, "HB-JNA", approach);
  const std::uint32_t parkedObject = created(5, "HB-JNB", g_stands.front().position);
  sim::pumpFrames(2);
  ASSERT_TRUE(sim::waitForIdle());
  std::vector<DelayedSimCommand> answers;
  gf_takeDelayedSimCommands(answers);  // the creations: the records below stand for their outcome

  StreamPoint point;
  point.lalo = approach;
  point.altitude = 3000.0;
  point.airborne = true;
  point.time = g_engineTime.load() + 5;
  LiveAc& flight = g_liveAcs.emplace_back(point, AcIdentity{}, 1000.0);
  flight.hexid = 0x4B1001;
  flight.objectId = flightObject;
  flight.callsign = "SWR1";
  flight.state = FlightPhase::flying;
  flight.simState = SimStatus::active;
  flight.position = approach;
  point.time += 5;
  flight.stream.push_back(point);
  StaticAc& parked = g_staticAcs.emplace_back();
  parked.hexid = 5;
  parked.objectId = parkedObject;
  parked.standId = static_cast<std::int32_t>(g_stands.front().id);
  parked.simState = SimStatus::active;
  std::uint64_t requestedBefore = 0;
  {
    std::lock_guard lock(g_parkingRequestMutex);
    requestedBefore = g_parkingRequest.requested;
  }
  newLog();

  sim::quit();
  ASSERT_TRUE(sim::waitUntil([] {
    sim::pumpFrames(1);
    return g_simState.load() == 0;
  }));
  sim::setRunning(true);
  sim::setFlightRunning(true);
  ASSERT_TRUE(sim::waitUntil([] {
    sim::pumpFrames(1);
    return g_simState.load() == 2;
  }));
  // The new session tells the engine of both objects.
  ASSERT_TRUE(sim::waitUntil([] {
    std::lock_guard lock(g_delayedSimCommandsMutex);
    return g_delayedSimCommands.size() >= 2;
  }));
  gf_workerSeams().processDelayedSimCommands();  // as the paused ticks and the steps do

  ASSERT_EQ(g_liveAcs.size(), 1u) << "the flight's record stays";
  EXPECT_EQ(g_liveAcs[0].simState, SimStatus::buffer);
  EXPECT_EQ(g_liveAcs[0].objectId, 0u);
  EXPECT_LE(g_liveAcs[0].stream.front().time, g_engineTime.load() + 1) << "created again at the next tick";
  EXPECT_TRUE(g_staticAcs.empty());
  {
    std::lock_guard lock(g_parkingRequestMutex);
    EXPECT_GT(g_parkingRequest.requested, requestedBefore) << newLog();
  }
  // Two 15-step passes: the first takes the request, the second adjusts.
  lf_minuteWork(15);
  lf_minuteWork(45);
  while (gf_workerSeams().stepStandSearch()) {
  }
  const std::string adjusted = newLog();
  EXPECT_TRUE(contains(adjusted, "Results for real search")) << adjusted;
  EXPECT_FALSE(g_standSearchHits.empty()) << "the parked aircraft planned again\n" << adjusted;
  EXPECT_FALSE(contains(log(), "is not built yet")) << log();
}

}  // namespace
}  // namespace wiring_test
