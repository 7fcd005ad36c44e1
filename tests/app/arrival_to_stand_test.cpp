// A whole arrival through the program as it wires itself: the traffic generator's flight that
// lands at Zurich and taxis to a stand, sent as the RT App stand-in sends it (its traffic lines,
// one batch a second, into the RT App reader), flown by the worker's tick in the stand-in
// simulator. It lands and parks; a static aircraft on its stand goes before it drives in.
#include <chrono>
#include <cmath>
#include <thread>

#include "app/main_loop.h"
#include "core/utc_time.h"
#include "feed/rt_app_traffic.h"
#include "feed/traffic_mailbox.h"
#include "refdata/dbase.h"
#include "refdata/library_init.h"
#include "refdata/model_ids.h"
#include "simlink/sim_client.h"
#include "simlink/sim_commands.h"
#include "simlink/user_aircraft.h"
#include "standin/realtraffic/rt_app_peer.h"
#include "tests/app/wiring_fixture.h"
#include "tools/traffic_gen.h"
#include "traffic/static_ac.h"

namespace wiring_test {
namespace {

using namespace std::chrono_literals;
constexpr std::string_view kTitle = "Stand-in A320 Test Air";
constexpr std::int64_t kScenarioStart = 1733400000;

class ArrivalToStandTest : public WiringTest {
 protected:
  void SetUp() override {
    WiringTest::SetUp();
    const fs::path data = testing_support::sourceDataFolder();
    fs::create_directories(dir_.path() / "input");
    fs::create_directories(dir_.path() / "output" / "info");
    fs::create_directories(dir_.path() / "airports" / "my_thirdparty");
    fs::copy_file(data / "dbase.enc", dir_.path() / "input" / "dbase.enc");
    fs::copy_file(data / "webserver" / "MSFS2024" / "archive" / "stock" / "LSZH.xml",
                  dir_.path() / "airports" / "my_thirdparty" / "LSZH.xml");
    gf_initDataLibraries();
    ASSERT_TRUE(gf_readDbase(dir_.path() / "input"));
    gf_changeParameterSnapshot([](ParameterSnapshot& s) {
      s.random = false;
      s.objectIdList = true;
    });
    g_currentWeekTime = gf_weekdayAndHalfHour();
    g_liveAcs.reserve(16);
    g_staticAcs.reserve(16);

    // The user flies over Zurich, its park airport: stands from the stand file, runways from
    // the simulator.
    quickSimClient();
    sim::UserAircraft user;
    user.onGround = false;
    user.altitude = user.indicatedAltitude = 6000.0;
    user.groundAltitude = 1400.0;
    user.altitudeAboveGround = 4600.0;
    user.latitude = kZurich.position.lat;
    user.longitude = kZurich.position.lon;
    sim::setUserAircraft(user);
    sim::setFlightRunning(true);
    gf_initSimClient();
    client_ = std::jthread([](std::stop_token token) { SimClient(std::move(token)); });
    ASSERT_TRUE(sim::waitUntil([] { return g_simState.load() == 2; }));
    parkAt(kZurich);
    ASSERT_FALSE(gf_engineHooks().readParkedFile()) << log();
    ASSERT_FALSE(g_stands.empty());
    ASSERT_FALSE(g_parkRunways.empty()) << log();
    // As the park airport's population sets it: room for parked aircraft.
    ASSERT_GT(gf_workerSeams().setStaticTargetCount(), 0);
    // As the worker asks once the simulator runs: the on-ground state every second, which
    // steps the engine, and the user aircraft's title.
    gf_queueSimCommand(SimCommand{2, 0});
    gf_queueSimCommand(SimCommand{1, 0});

    RTAppTrafficReader& reader = g_rtAppTrafficReader;
    reader.reset();
    reader.setQueryCentre(kZurich.position);
    reader.qnhHpa = 1013;
    gf_resetTrafficMailbox();
    gf_setMailboxActive(true);
    gf_resetMainLoopState();

    flight_ = generatedArrival();
    g_liveryChoices[flight_.hexid] = LiveryChoice(kTitle);
  }
  void TearDown() override {
    if (client_.joinable()) {
      client_.request_stop();
      sim::waitUntil([this] {
        sim::pumpFrames(1);
        return !client_.joinable() || g_simState.load() == 0;
      }, 2s);
      client_.join();
    }
    g_rtAppTrafficReader.reset();
    gf_setFeedTime(0);
    gf_resetTrafficMailbox();
    gf_resetMainLoopState();
    gf_resetSimClientForTest();
    gf_setSimSteadyClockForTest({});
    gf_resetDbaseTables();
    gf_resetModelTables();
    g_currentWeekTime = 0;
    WiringTest::TearDown();
  }

  // The generator's arrival to a stand on runway 28 (a seed with a short taxi), from about 3 NM
  // out: its reports below 900 ft over the field (one first seen below 700 ft is not created in
  // the air).
  rtstandin::Flight generatedArrival() {
    const fs::path data = testing_support::sourceDataFolder();
    const auto layout = sim::readFacilityLayout(data / "sim" / "facilities" / "LSZH.json");
    const trafficgen::Fleet fleet =
        trafficgen::readFleet(data / "dbase.xml", data / "airports.xml", "LSZH");
    trafficgen::Options options;
    options.arrivals = options.departures = options.overflights = options.taxiOut = options.taxiIn = 0;
    options.arrivalsToStand = 1;
    options.seed = 1;
    options.arrivalRunways = {"28"};
    options.durationSeconds = 20000.0;
    const auto flights = trafficgen::generateTraffic(layout, fleet, options, {}, {});
    EXPECT_EQ(flights.size(), 1u);
    if (flights.empty()) return {};
    rtstandin::Flight flight = flights.front().flight;
    for (const auto& stand : layout.stands)
      if (stand.name == flights.front().stand) standAt_ = {stand.latitude, stand.longitude};
    const double elevation = layout.elevationMetres * sim::kFeetPerMetre;
    std::erase_if(flight.track, [&](const rtstandin::TrackPoint& p) {
      return p.altitude > elevation + 900.0 && p.t < flight.track.back().t - 1.0;
    });
    // Its reports end soon after it has come to rest on the stand.
    const auto stopped = std::find_if(flight.track.begin(), flight.track.end(),
                                      [](const rtstandin::TrackPoint& p) { return p.altitude == 0.0 && p.gs == 0.0; });
    if (stopped != flight.track.end() && std::next(stopped) != flight.track.end())
      flight.track.erase(std::next(stopped, 2), flight.track.end());
    // The first report at 0 s.
    const double first = flight.track.front().t;
    for (auto& p : flight.track) p.t -= first;
    return flight;
  }

  // The stand of g_stands the generated flight goes to.
  const Stand* targetStand() const {
    const Stand* nearest = nullptr;
    double best = 1e9;
    for (const Stand& stand : g_stands) {
      const double metres = gf_distanceNm(stand.position, standAt_) * 1852.0;
      if (metres < best) best = metres, nearest = &stand;
    }
    return best < 5.0 ? nearest : nullptr;
  }

  // What the run showed, step by step.
  struct Run {
    std::vector<std::uint32_t> states;  // each state once, in order
    std::size_t creates = 0;            // of live aircraft
    std::size_t removals = 0;
    bool parked = false;
    std::int32_t staticGoneTick = -1;  // when the static's object left the simulator
    double metresOutAtStaticGone = -1.0;  // how far the arrival was from its stand then
    std::int32_t parkingTick = -1;     // when the arrival began to drive into its stand
  };

  // The scenario a second at a time: a live batch of the RT App stand-in's lines, then a second
  // of the worker's 10-ms ticks and the simulator's 20-ms frames; until the arrival has parked
  // and stood for a minute.
  Run fly(std::uint32_t staticObject = 0) {
    Run run;
    RTAppTrafficReader& reader = g_rtAppTrafficReader;
    const double end = flight_.track.back().t;
    std::int32_t tick = 0;
    std::int32_t parkedAt = -1;
    std::int32_t parkedStep = 0;
    for (double t = 0.0; t < end + 400.0; t += 1.0) {
      if (const auto point = rtstandin::positionAt(flight_, t))
        reader.handleText(rtstandin::trafficLine(flight_, *point, kScenarioStart, "RTTFC"));
      reader.handleText("RTTFC_EOT");
      g_gui.drainUpdates();  // the window's thread: flight messages reach the log
      for (int i = 0; i < 100; ++i, ++tick) {
        lf_tick();
        if (i % 2 == 1) {
          sim::pumpFrames(1);
          EXPECT_TRUE(sim::waitForIdle());
        }
        const auto live = std::find_if(g_liveAcs.begin(), g_liveAcs.end(),
                                       [this](const LiveAc& a) { return a.hexid == flight_.hexid; });
        if (staticObject && run.staticGoneTick < 0 && !sim::object(staticObject)) {
          run.staticGoneTick = tick;
          if (live != g_liveAcs.end()) run.metresOutAtStaticGone = gf_distanceNm(live->position, standAt_) * 1852.0;
        }
        if (live == g_liveAcs.end()) continue;
        if (run.states.empty() || run.states.back() != live->state) run.states.push_back(live->state);
        if (live->state == FlightPhase::parking && run.parkingTick < 0) run.parkingTick = tick;
        if (live->state == FlightPhase::parked && parkedAt < 0) parkedAt = tick, parkedStep = g_stepCount;
      }
      // Until the first minute pass after parking has written the aircraft list.
      if (parkedAt >= 0 && g_stepCount / 60 > parkedStep / 60) break;
    }
    run.parked = parkedAt >= 0;
    for (const auto& call : sim::callLog("AICreateNonATCAircraft"))
      run.creates += call.detail.starts_with(kTitle) ? 1 : 0;
    run.removals = sim::callLog("AIRemoveObject").size();
    return run;
  }

  static std::string lastLine(const std::string& text) {
    std::string trimmed = text;
    while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == '\r')) trimmed.pop_back();
    return trimmed.substr(trimmed.rfind('\n') == std::string::npos ? 0 : trimmed.rfind('\n') + 1);
  }

  rtstandin::Flight flight_;
  Lalo standAt_;
  std::jthread client_;
};

const std::vector<std::uint32_t> kLandAndPark{FlightPhase::birth,        FlightPhase::flying, FlightPhase::landing,
                                              FlightPhase::landing_roll, FlightPhase::taxi,   FlightPhase::parking,
                                              FlightPhase::parked};

TEST_F(ArrivalToStandTest, AnArrivalWithARouteLandsAndParks) {
  ASSERT_FALSE(flight_.origin.empty());
  ASSERT_TRUE(targetStand()) << "the generated stand is in the stand file";
  const Run run = fly();
  const std::string text = log();
  ASSERT_TRUE(run.parked) << text;
  EXPECT_EQ(run.states, kLandAndPark) << text;
  EXPECT_EQ(run.creates, 1u);
  EXPECT_EQ(run.removals, 0u);
  EXPECT_TRUE(contains(text, "touch down")) << text;
  EXPECT_TRUE(contains(text, fmt::format("{:14}: {:8} arrived at stand", targetStand()->name, flight_.callsign)))
      << text;
  const std::string list = testing_support::readFile(dir_.path() / "output" / "info" / "ObjectIdList.txt");
  EXPECT_TRUE(lastLine(list).ends_with("GND;PARKED")) << list;
  EXPECT_TRUE(contains(lastLine(list), flight_.callsign)) << list;
  for (const char* fault : {"exception", "guard exceeded", "stream empty", "objectid=0"})
    EXPECT_FALSE(contains(text, fault)) << fault << "\n" << text;
}

TEST_F(ArrivalToStandTest, AStaticAircraftOnTheStandGoesBeforeTheArrivalDrivesIn) {
  const Stand* stand = targetStand();
  ASSERT_TRUE(stand);
  FeedRecordHead head;
  head.callsign = "STAT1";
  head.modelId = gf_internModelName("A320");
  AcIdentity identity(std::move(head));
  identity.hexid = 1;
  StaticAc& parked =
      g_staticAcs.emplace_back(std::move(identity), static_cast<std::int32_t>(stand->id),
                               GeoPose{stand->position, stand->heading}, stand->cargo != 0);
  parked.simState = SimStatus::adding2sim;
  g_staticCreateQueue.push_back(AiCreateRequest{.position = {.latitude = stand->position.lat,
                                                             .longitude = stand->position.lon,
                                                             .altitude = 1417.0,
                                                             .heading = stand->heading * 180.0 / geo::kPi,
                                                             .onGround = 1},
                                                .tailNumber = "HB-STA",
                                                .containerTitle = std::string(kTitle),
                                                .hexid = 1});
  for (int i = 0; i < 700 && g_staticAcs.front().simState != SimStatus::active; ++i) {
    lf_tick();
    sim::pumpFrames(1);
    ASSERT_TRUE(sim::waitForIdle());
  }
  ASSERT_EQ(g_staticAcs.front().simState, SimStatus::active) << log();
  const std::uint32_t staticObject = g_staticAcs.front().objectId;
  sim::clearCallLog();

  const Run run = fly(staticObject);
  const std::string text = log();
  ASSERT_TRUE(run.parked) << text;
  EXPECT_EQ(run.states, kLandAndPark) << text;
  ASSERT_GE(run.staticGoneTick, 0) << text;
  ASSERT_GE(run.parkingTick, 0);
  EXPECT_LE(run.staticGoneTick, run.parkingTick + 100) << "the static goes as the stand is taken";
  EXPECT_GT(run.metresOutAtStaticGone, 30.0) << "well before the arrival reaches it";
  EXPECT_EQ(run.creates, 1u);
  EXPECT_EQ(run.removals, 1u) << "the static only";
  EXPECT_TRUE(contains(text, fmt::format("{:14}: {:8} arrived at stand", stand->name, flight_.callsign))) << text;
}

}  // namespace
}  // namespace wiring_test
