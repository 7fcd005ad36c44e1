// RT Direct's parked aircraft through the program as it wires itself: the reader against the web
// API stand-in, the park airport's set-up and the parking steps through the worker's seams. The
// parked answer comes 1.9 s late, or is refused: no set-up and no step waits for it, and the
// parked aircraft (or, refused, the stand file's aircraft) come at a later step.
#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "appbase/stop_request.h"
#include "config/keys.h"
#include "feed/rt_api_readers.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_traffic_client.h"
#include "feed/rt_api_transport.h"
#include "feed/rt_license.h"
#include "parking/park_population.h"
#include "parking/parked_wait.h"
#include "parking/stand_search.h"
#include "refdata/dbase.h"
#include "refdata/library_init.h"
#include "refdata/model_ids.h"
#include "simlink/stand_table.h"
#include "simlink/user_aircraft.h"
#include "standin/realtraffic/web_api_server.h"
#include "tests/app/wiring_fixture.h"

namespace wiring_test {
namespace {

using namespace std::chrono_literals;
using rtstandin::WebApiFault;
using rtstandin::WebApiFaultKind;

class ParkedAnswerTest : public WiringTest {
 protected:
  void SetUp() override {
    WiringTest::SetUp();
    gf_publishSimChoice(SimChoice{2, 0});  // RT Direct
    fs::create_directories(dir_.path() / "input");
    fs::create_directories(dir_.path() / "airports" / "my_thirdparty");
    fs::copy_file(testing_support::sourceDataFolder() / "dbase.enc", dir_.path() / "input" / "dbase.enc");
    fs::copy_file(testing_support::sourceDataFolder() / "webserver" / "MSFS2024" / "archive" / "stock" / "LSZH.xml",
                  dir_.path() / "airports" / "my_thirdparty" / "LSZH.xml");
    gf_initDataLibraries();
    ASSERT_TRUE(gf_readDbase(dir_.path() / "input"));
    gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.random = false; });
    // The feed's parked aircraft alone fill the stands (the stand file's settings publish it).
    RT_PARKTRAFFIC_ONLY.value = true;
    g_currentWeekTime = 3u | (std::uint64_t{6} << 32);  // a Wednesday at 03:00, not the clock: the schedules differ by the hour
    gf_resetRTAPISessionForTest();
    g_rtApiTrafficClient.resetForRestart();
    parkAt(kZurich);
    // The stands first, for the stand-in to report aircraft on three of them.
    ASSERT_FALSE(gf_engineHooks().readParkedFile()) << log();
    ASSERT_GE(g_stands.size(), 3u);
    rtstandin::TrafficScenario scenario{.startTime = 1733400000};
    for (std::uint32_t i = 0; i < 3; ++i)
      scenario.parked.push_back(rtstandin::ParkedAircraft{0x4B1800 + i, fmt::format("SWR10{}", i), "A320",
                                                          fmt::format("HB-JL{}", static_cast<char>('A' + i)),
                                                          "LSZH_" + g_stands[i * 2].name,
                                                          g_stands[i * 2].position.lat, g_stands[i * 2].position.lon,
                                                          30.0});
    rtstandin::WebApiOptions options;
    options.rrlMs = 250;
    options.wrrlMs = 250;
    server_ = std::make_unique<rtstandin::WebApiServer>(std::move(scenario), options);
    server_->setTime(60);
    gf_setRTAPIBaseUrl(server_->baseUrl());
    g_rtCredential = "ABCD-1234";
    UserAcPosition user;
    user.latitude = kZurich.position.lat;
    user.longitude = kZurich.position.lon;
    gf_publishUserAcPosition(user);
    gf_authenticater();
    ASSERT_TRUE(g_rtApiSession.isAuthenticated());
    g_rtApiTrafficClient.updateQueryBox();
    reader_ = std::jthread([] { gf_RTAPITrafficReader(); });
  }
  void TearDown() override {
    gf_stopRTAPIReaders();
    if (server_) server_->releaseStalls();
    reader_ = {};
    server_.reset();
    gf_cancelParkedWait();
    g_rtApiTrafficClient.resetForRestart();
    gf_resetRTAPISessionForTest();
    gf_setRTAPIBaseUrl("");
    g_rtCredential.clear();
    gf_resetDbaseTables();
    gf_resetModelTables();
    RT_PARKTRAFFIC_ONLY.value = false;
    g_parkingGenerating = false;
    g_currentWeekTime = 0;
    WiringTest::TearDown();
  }
  static bool answered() {
    return g_rtApiTrafficClient.parkedAnswered.load() == g_rtApiTrafficClient.parkedRequestTag.load() &&
           g_rtApiTrafficClient.parkedStatus.load() != -1;
  }
  static std::string hits() {
    std::string text;
    for (const StandSearchHit& hit : g_standSearchHits) text += hit.name1 + " ";
    return text;
  }
  // Parking steps a tenth of a second apart, each through the worker's seam, until none waits;
  // every step that still waited returned while the answer was out. The longest step's time.
  double stepUntilDone(int& waitingSteps) {
    const WorkerSeams& s = gf_workerSeams();
    double longestMs = 0.0;
    waitingSteps = 0;
    for (int step = 0; step < 300; ++step) {
      const bool before = answered();
      const auto start = std::chrono::steady_clock::now();
      const bool waiting = s.resumeParkedWait();
      longestMs = std::max(longestMs, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      if (!waiting) break;
      EXPECT_FALSE(before) << "a step waited with the answer in";
      ++waitingSteps;
      std::this_thread::sleep_for(100ms);
    }
    return longestMs;
  }

  // The program's seams with a clock that moves a millisecond at each look: how many ticks the
  // search takes does not hang on the machine's speed.
  void sliceByLooks() {
    WorkerSeams seams = gf_programWorkerSeams();
    seams.steadyNanos = [this] { return fakeNanos_ += 1'000'000; };
    gf_setWorkerSeams(std::move(seams));
  }
  // Ticks through the worker's seam while the search runs; the ticks it took.
  static int tickUntilSearched() {
    int ticks = 0;
    for (; gf_parkingSearchPending() && ticks < 100000; ++ticks) gf_workerSeams().stepStandSearch();
    return ticks;
  }
  static std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }

  std::unique_ptr<rtstandin::WebApiServer> server_;
  std::jthread reader_;
  std::atomic<std::int64_t> fakeNanos_{0};
};

TEST_F(ParkedAnswerTest, ALateAnswerFillsTheStandsAtALaterStepAndNoStepWaitsForIt) {
  server_->addFault("/v6/traffic:parkedtraffic", WebApiFault{.kind = WebApiFaultKind::Stall, .stall = 1900ms});
  const auto start = std::chrono::steady_clock::now();
  gf_workerSeams().setupParkAirport();
  const double setupMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  EXPECT_FALSE(answered()) << "the set-up returned before the answer";
  EXPECT_TRUE(gf_parkedWaitPending());
  EXPECT_EQ(hits(), "");
  int waitingSteps = 0;
  const double longestMs = stepUntilDone(waitingSteps);
  EXPECT_GE(waitingSteps, 5) << "the answer came 1.9 s later";
  EXPECT_EQ(hits(), "SWR100 SWR101 SWR102 ") << log();
  // Far below the answer's 1.9 s even on a busy machine: neither waited for it.
  EXPECT_LT(setupMs, 1000.0);
  EXPECT_LT(longestMs, 1000.0);
}

TEST_F(ParkedAnswerTest, ALicenceWithoutParkedDataLeavesTheStandFileAircraftAndSaysWhyOnce) {
  RT_PARKTRAFFIC_ONLY.value = false;
  for (int i = 0; i < 2; ++i)
    server_->addFault("/v6/traffic:parkedtraffic", WebApiFault{WebApiFaultKind::Status, 403, 200, "no data"});
  gf_workerSeams().setupParkAirport();
  int waitingSteps = 0;
  stepUntilDone(waitingSteps);
  tickUntilSearched();
  EXPECT_TRUE(gf_isRunning());
  const std::size_t planned = g_standSearchHits.size();
  EXPECT_GT(planned, 0u) << "the stand file's aircraft\n" << log();
  // The next adjustment asks nobody and goes on at once.
  gf_workerSeams().adjustParking(false);
  EXPECT_FALSE(gf_parkedWaitPending());
  const std::string text = log();
  const std::string why = "No RealTraffic parked aircraft: No data for this license type";
  const std::size_t at = text.find(why);
  ASSERT_NE(at, std::string::npos) << text;
  EXPECT_EQ(text.find(why, at + 1), std::string::npos) << "said once";
  const auto kinds = server_->requests("/v6/traffic");
  EXPECT_EQ(std::count_if(kinds.begin(), kinds.end(),
                          [](const auto& r) { return r.form.count("querytype") && r.form.at("querytype") == "parkedtraffic"; }),
            1);
}

// With the stand file searched as well, the search runs on the worker's ticks after the late
// answer: nothing is placed from half a plan, and the parked aircraft and the stand file's come
// once it is done.
TEST_F(ParkedAnswerTest, AfterALateAnswerTheSearchIsSpreadOverTicksAndPlacedOnlyWhenDone) {
  RT_PARKTRAFFIC_ONLY.value = false;
  sliceByLooks();
  server_->addFault("/v6/traffic:parkedtraffic", WebApiFault{.kind = WebApiFaultKind::Stall, .stall = 1900ms});
  const WorkerSeams& s = gf_workerSeams();
  s.setupParkAirport();
  int waitingSteps = 0;
  stepUntilDone(waitingSteps);
  EXPECT_GE(waitingSteps, 5) << "the answer came 1.9 s later";
  ASSERT_TRUE(gf_parkingSearchPending()) << "the step that took the answer left the search to the ticks";
  int ticks = 0;
  for (; g_standSearchHits.empty() && ticks < 100000; ++ticks) s.stepStandSearch();
  ASSERT_TRUE(gf_parkingSearchPending()) << "more stands wanted than the first hit";
  EXPECT_EQ(gf_engineHooks().standSearchHits(), 0u) << "nothing to place from half a plan";
  s.handleParkingRequests();
  EXPECT_TRUE(g_parkingGenerating) << "half a plan is not the end of the generation";
  EXPECT_EQ(count(log(), " positions ("), 0u);

  ticks += tickUntilSearched();
  EXPECT_GT(ticks, 1) << "spread over ticks";
  const std::string planned = hits();
  for (const char* parked : {"SWR100 ", "SWR101 ", "SWR102 "})
    EXPECT_EQ(count(planned, parked), 1u) << parked << " among " << planned;
  EXPECT_GT(g_standSearchHits.size(), 3u) << "and the stand file's aircraft\n" << log();
  EXPECT_EQ(gf_engineHooks().standSearchHits(), g_standSearchHits.size());
  EXPECT_EQ(count(log(), " positions ("), 1u);
}

// Giving the airport up, or a new population, while a search is half done: nothing of the old
// search is placed, completed or searched on.
TEST_F(ParkedAnswerTest, AResetOrANewPopulationDuringTheSearchLeavesNoHalfPlan) {
  RT_PARKTRAFFIC_ONLY.value = false;
  sliceByLooks();
  const WorkerSeams& s = gf_workerSeams();
  for (const bool reset : {true, false}) {
    s.setupParkAirport();
    int waitingSteps = 0;
    stepUntilDone(waitingSteps);
    for (int tick = 0; tick < 3; ++tick) EXPECT_TRUE(s.stepStandSearch()) << "half done";
    const std::string before = log();
    if (reset) {
      s.resetParkAirport();
      EXPECT_FALSE(gf_parkingSearchPending());
      EXPECT_FALSE(s.stepStandSearch());
      EXPECT_TRUE(g_standSearchHits.empty());
      EXPECT_EQ(count(log().substr(before.size()), " positions ("), 0u) << "nothing completed";
      parkAt(kZurich);
      ASSERT_FALSE(gf_engineHooks().readParkedFile()) << log();
      continue;
    }
    s.setupParkAirport();
    EXPECT_FALSE(s.stepStandSearch()) << "the old search goes on no more while the new one asks";
    stepUntilDone(waitingSteps);
    EXPECT_EQ(gf_engineHooks().standSearchHits(), 0u);
    tickUntilSearched();
    const std::string after = log().substr(before.size());
    EXPECT_EQ(count(after, " positions ("), 1u) << after;
    EXPECT_EQ(count(after, "Results for real search"), 1u) << "searched once, from its start\n" << after;
    std::set<std::uint32_t> stands;
    for (const StandSearchHit& hit : g_standSearchHits) {
      EXPECT_TRUE(stands.insert(hit.standId).second) << "stand " << hit.standId << " planned twice";
      const Stand* stand = gf_standByNumber(g_stands, hit.standId);
      EXPECT_TRUE(stand && stand->taken) << hit.standId;
    }
    EXPECT_FALSE(stands.empty());
  }
}

}  // namespace
}  // namespace wiring_test
