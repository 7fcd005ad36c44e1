// RT Direct end to end: sign-in, the two readers against the web API stand-in, and how each
// kind of trouble ends (or does not end) them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/user_exception.h"
#include "core/utc_time.h"
#include "feed/feed_neighbours.h"
#include "feed/feed_reports.h"
#include "feed/qnh.h"
#include "feed/rt_api_metar_client.h"
#include "feed/rt_api_readers.h"
#include "feed/rt_api_traffic_client.h"
#include "feed/rt_license.h"
#include "feed/traffic_mailbox.h"
#include "refdata/model_ids.h"
#include "tests/feed/rt_api_test_support.h"

namespace {

using rtstandin::WebApiFault;
using rtstandin::WebApiFaultKind;
using namespace std::chrono_literals;

constexpr Lalo kEham{52.3086, 4.7639};

void lf_placeUser(double lat, double lon) { gf_publishUserAcPosition({.latitude = lat, .longitude = lon}); }

std::optional<Lalo> lf_eham() { return kEham; }
std::atomic<std::int64_t> g_clockShiftNs{0};

std::mutex g_reportsMutex;
std::vector<std::pair<FeedReport, std::uint32_t>> g_reports;

class DirectTest : public feed_test::WebApiTest {
 protected:
  void SetUp() override {
    WebApiTest::SetUp();
    g_rtApiTrafficClient.resetForRestart();
    g_rtApiMetarClient.resetForRestart();
    g_rtApiMetarClient.troublePauseMs = 200;
    g_rtApiMetarClient.nowNs = [] { return gf_steadyNowNs() + g_clockShiftNs.load(); };
    g_clockShiftNs = 0;
    gf_resetTrafficMailbox();
    gf_setMailboxActive(true);  // as in the main loop: live batches are taken
    lf_placeUser(kEham.lat, kEham.lon);
    FeedNeighbours neighbours;
    neighbours.parkAirport = &lf_eham;
    gf_setFeedNeighbours(neighbours);
    for (const char* model : {"E190", "B772", "A320", "A319"}) g_dbaseModelCodes.insert(model);
    {
      std::lock_guard lock(g_reportsMutex);
      g_reports.clear();
    }
    gf_setFeedReportSinks({[](FeedReport kind, std::uint32_t value) {
                             std::lock_guard lock(g_reportsMutex);
                             g_reports.emplace_back(kind, value);
                           },
                           nullptr});
    g_rtCredential = "ABCD-1234";
    g_qnh = kStandardQnh;
  }
  void TearDown() override {
    gf_stopRTAPIReaders();
    weather_ = {};
    traffic_ = {};
    g_rtApiTrafficClient.resetForRestart();
    g_rtApiMetarClient.resetForRestart();
    g_rtApiMetarClient.nowNs = &gf_steadyNowNs;
    g_rtApiMetarClient.troublePauseMs = 30000;
    g_rtApiTrafficClient.troublePauseMs = 30000;
    gf_resetFeedNeighbours();
    gf_resetModelTables();
    gf_setFeedReportSinks({});
    gf_resetTrafficMailbox();
    gf_setFeedTime(0);
    g_rtCredential.clear();
    WebApiTest::TearDown();
  }

  void signInAndStart() {
    rtstandin::WebApiOptions options;
    options.rrlMs = 250;
    options.wrrlMs = 250;
    startServer(options);
    server().setTime(60);
    gf_authenticater();
    ASSERT_TRUE(g_rtApiSession.isAuthenticated());
    g_rtApiTrafficClient.updateQueryBox();
    weatherDone_ = false;
    trafficDone_ = false;
    weather_ = std::jthread([this] {
      gf_RTAPIWeatherReader();
      weatherDone_ = true;
    });
    traffic_ = std::jthread([this] {
      gf_RTAPITrafficReader();
      trafficDone_ = true;
    });
  }

  // Running, with the buffered history and a first live answer in.
  void startAndSettle() {
    signInAndStart();
    ASSERT_TRUE(waitFor([] { return g_rtApiTrafficClient.answersReceived >= 2; }));
  }
  // The parking step's way: ask, then look at each step until the answer is in.
  static ParkedAnswer askParked() {
    if (!g_rtApiTrafficClient.askParkedTraffic()) return ParkedAnswer::none;
    ParkedAnswer answer = ParkedAnswer::waiting;
    waitFor([&] { return (answer = g_rtApiTrafficClient.parkedOutcome()) != ParkedAnswer::waiting; });
    return answer;
  }
  static bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 15s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }
  bool readersEnded() { return waitFor([this] { return weatherDone_.load() && trafficDone_.load(); }); }
  static StopReason stopReason() { return gf_stopRequest()->reason; }
  static std::vector<std::string> trafficQueries(const rtstandin::WebApiServer& server) {
    std::vector<std::string> kinds;
    for (const auto& request : server.requests("/v6/traffic")) {
      if (request.form.count("buffercount")) kinds.push_back("buffer");
      else kinds.push_back(request.form.at("querytype") == "parkedtraffic" ? "parked" : "live");
    }
    return kinds;
  }

  std::jthread weather_;
  std::jthread traffic_;
  std::atomic<bool> weatherDone_{false};
  std::atomic<bool> trafficDone_{false};
};

TEST_F(DirectTest, TrafficParkedTrafficAndQnhEndToEnd) {
  signInAndStart();
  // Buffered history first, then live polls, each answer handed to the mailbox.
  ASSERT_TRUE(waitFor([] { return g_rtApiTrafficClient.answersReceived >= 3; }));
  std::vector<std::int32_t> bufferKinds;
  {
    std::lock_guard lock(g_trafficMutex);
    bufferKinds = g_trafficMailbox.bufferKinds;
  }
  EXPECT_EQ(bufferKinds, (std::vector<std::int32_t>{0, 6, 12, 18, 24}));
  ASSERT_TRUE(waitFor([] {
    std::lock_guard lock(g_trafficMutex);
    return g_trafficMailbox.liveBatches >= 1;
  }));
  const std::vector<TrafficRecord> live = gf_takeTrafficBatch();
  ASSERT_FALSE(live.empty());
  EXPECT_TRUE(std::any_of(live.begin(), live.end(), [](const TrafficRecord& r) { return r.callsign == "KLM1234"; }));
  EXPECT_GT(g_rtApiTrafficClient.feedTime.load(), 1733400000);
  {
    const auto sent = server().requests("/v6/traffic");
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0].form.at("buffercount"), "5");
    EXPECT_EQ(sent[0].form.at("buffertime"), "6");
    EXPECT_EQ(sent[1].form.at("querytype"), "locationtraffic");
    EXPECT_EQ(sent[1].form.count("buffercount"), 0u);
    // Live polls keep their connection.
    EXPECT_EQ(sent[1].remotePort, sent[0].remotePort);
  }

  // The parking side asks; the reader carries it out between two live polls.
  ASSERT_EQ(askParked(), ParkedAnswer::ready);
  {
    std::lock_guard lock(g_rtApiTrafficClient.parkedRecordsMutex);
    EXPECT_EQ(g_rtApiTrafficClient.parkedRecords.size(), 4u);
  }
  const std::size_t before = server().requests("/v6/traffic").size();
  ASSERT_TRUE(server().waitForRequests("/v6/traffic", before + 1, 10s));
  const auto kinds = trafficQueries(server());
  const auto parked = std::find(kinds.begin(), kinds.end(), "parked");
  ASSERT_NE(parked, kinds.end());
  ASSERT_NE(parked, kinds.begin());
  ASSERT_NE(parked + 1, kinds.end());
  EXPECT_EQ(*(parked - 1), "live");
  EXPECT_EQ(*(parked + 1), "live");

  // METARs to QNH: 1013 at first, 1012 once the scenario's second report is valid and the
  // cached one has aged past a minute.
  ASSERT_TRUE(waitFor([] { return g_rtApiMetarClient.qnhValidTime.load() != 0; }));
  EXPECT_EQ(g_qnh.load(), 1013);
  server().setTime(400);
  g_clockShiftNs = 61'000'000'000;
  ASSERT_TRUE(waitFor([] { return g_qnh.load() == 1012; }));
  EXPECT_EQ(g_rtApiTrafficClient.qnh.load(), 1012u);
  {
    std::lock_guard lock(g_reportsMutex);
    EXPECT_NE(std::find(g_reports.begin(), g_reports.end(), std::make_pair(FeedReport::SetQnh, 1012u)),
              g_reports.end());
  }
  const auto metarRequest = server().requests("/v6/nearestmetar").back();
  EXPECT_EQ(metarRequest.form.at("lat"), "52.3086");
  EXPECT_EQ(metarRequest.form.at("lon"), "4.7639");

  // Told to stop: both end at once, nothing is reported, and the sign-off closes the session.
  gf_stopRTAPIReaders();
  ASSERT_TRUE(readersEnded());
  EXPECT_TRUE(gf_isRunning());
  deauthenticate();
  EXPECT_EQ(server().activeSessions(), 0u);
  const std::string log = logText();
  EXPECT_NE(log.find("Traffic RTAPIreader connected"), std::string::npos);
  EXPECT_NE(log.find("Weather RTAPIreader connected"), std::string::npos);
  EXPECT_NE(log.find("RT parked traffic received"), std::string::npos);
  EXPECT_EQ(log.find("RT API error"), std::string::npos) << log;
}

TEST_F(DirectTest, BufferedHistoryIsPostedOldestFirst) {
  rtstandin::Flight north{.hexid = 0x4840D6, .callsign = "KLM1234", .type = "E190", .registration = "PH-EXA"};
  north.track = {{.t = 0, .lat = 52.0, .lon = 4.76, .altitude = 5000, .gs = 250},
                 {.t = 300, .lat = 52.5, .lon = 4.76, .altitude = 5000, .gs = 250}};
  rtstandin::TrafficScenario scenario{.startTime = 1733400000, .flights = {north}};
  rtstandin::WebApiOptions options;
  options.rrlMs = 250;
  options.wrrlMs = 250;
  startServer(options, scenario);
  server().setTime(100);
  gf_authenticater();
  g_rtApiTrafficClient.updateQueryBox();
  std::int32_t status = 0;
  ASSERT_TRUE(g_rtApiTrafficClient.requestBufferTraffic(status));

  std::vector<std::pair<double, std::int32_t>> seen;  // latitude, mailbox time, in the order delivered
  for (const HistoryBatch& batch : gf_takeHistoryBatches())
    for (const TrafficRecord& record : batch.records) seen.emplace_back(record.lalo.lat, record.mailboxTime);
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << "delivered oldest (southmost) first";
  // The further north (the younger), the later due.
  std::sort(seen.begin(), seen.end());
  for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i].second, seen[i - 1].second) << i;
}

TEST_F(DirectTest, EntriesOfAnotherShapeAreLoggedOncePerRun) {
  const auto logged = [this] {
    const std::string log = logText();
    std::size_t count = 0;
    for (auto at = log.find("entries of another shape"); at != std::string::npos;
         at = log.find("entries of another shape", at + 1))
      ++count;
    return count;
  };
  g_rtApiTrafficClient.noteSkippedEntries(0);
  EXPECT_EQ(logged(), 0u);
  g_rtApiTrafficClient.noteSkippedEntries(3);
  g_rtApiTrafficClient.noteSkippedEntries(4);
  EXPECT_EQ(logged(), 1u);
  EXPECT_NE(logText().find("RT API traffic: 3 entries of another shape skipped"), std::string::npos);
  g_rtApiTrafficClient.resetForRestart();
  g_rtApiTrafficClient.noteSkippedEntries(2);
  EXPECT_EQ(logged(), 2u);
}

TEST_F(DirectTest, NoticeContinuesAndAnExpiredLicenceEnds) {
  ASSERT_NO_FATAL_FAILURE(startAndSettle());
  server().addFault("/v6/traffic:live", WebApiFault{WebApiFaultKind::Status, 406, 200, "slow down"});
  const std::uint64_t answers = g_rtApiTrafficClient.answersReceived;
  ASSERT_TRUE(waitFor([&] { return g_rtApiTrafficClient.answersReceived > answers; }));
  EXPECT_NE(logText().find("curl traffic msg: slow down"), std::string::npos);
  EXPECT_TRUE(gf_isRunning());

  server().addFault("/v6/traffic:live", WebApiFault{WebApiFaultKind::Status, 402, 200, "expired"});
  ASSERT_TRUE(readersEnded());
  EXPECT_EQ(stopReason(), StopReason::SystemError);
  EXPECT_NE(logText().find("Traffic RT API error: 402"), std::string::npos);
  const auto shown = shownMessages();
  EXPECT_NE(std::find(shown.begin(), shown.end(),
                      "Your RealTraffic license has expired (error 402). Check your license and API token."),
            shown.end());
}

TEST_F(DirectTest, TwoMetar401sInARowRestart) {
  signInAndStart();
  ASSERT_TRUE(waitFor([] { return g_rtApiMetarClient.qnhValidTime.load() != 0; }));
  server().addFault("/v6/nearestmetar", WebApiFault{WebApiFaultKind::Status, 401, 401, "GUID not found"}, 2);
  g_clockShiftNs = 61'000'000'000;  // the cached QNH no longer holds: ask again
  ASSERT_TRUE(readersEnded());
  EXPECT_EQ(stopReason(), StopReason::ReaderError);
  const std::string log = logText();
  EXPECT_NE(log.find("nearest metar returned 401, retrying once with a new connection"), std::string::npos);
  EXPECT_NE(log.find("re-authentication to RT API is needed, restart JORV"), std::string::npos);
  const auto shown = shownMessages();
  EXPECT_NE(std::find(shown.begin(), shown.end(), "The Weather RTAPIreader has stopped with an error"), shown.end());
  // The traffic reader was told to stop and reported nothing of its own.
  EXPECT_EQ(std::find(shown.begin(), shown.end(), "The Traffic RTAPIreader has stopped with an error"), shown.end());
}

TEST_F(DirectTest, ForbiddenEndsThePartnerAndExits) {
  ASSERT_NO_FATAL_FAILURE(startAndSettle());
  server().addFault("/v6/traffic:live", WebApiFault{WebApiFaultKind::Status, 403, 200, "no data"});
  ASSERT_TRUE(readersEnded());
  EXPECT_EQ(stopReason(), StopReason::SystemError);
  EXPECT_TRUE(g_rtApiMetarClient.stop.load());
  const std::string log = logText();
  EXPECT_NE(log.find("Traffic RT API: No data for this license type"), std::string::npos);
  EXPECT_EQ(log.find("Weather RT API"), std::string::npos);
  std::lock_guard lock(g_reportsMutex);
  EXPECT_NE(std::find(g_reports.begin(), g_reports.end(), std::make_pair(FeedReport::SetWeatherReaderState, 2u)),
            g_reports.end());
}

// Passing trouble of the server, alike in both readers: four in a row are backed off and
// retried, the fifth restarts (READER ERROR) instead of ending the program.
class TroubleTest : public DirectTest, public testing::WithParamInterface<std::tuple<bool, int>> {};

TEST_P(TroubleTest, IsRetriedAndARunOfItRestarts) {
  const WebApiFault faults[] = {
      {WebApiFaultKind::HtmlPage, 0, 502},
      {WebApiFaultKind::Status, 503, 503, "unavailable"},
      {WebApiFaultKind::Status, 500, 200, "database"},
      {WebApiFaultKind::HtmlPage, 0, 200},
  };
  const auto [weather, index] = GetParam();
  const WebApiFault fault = faults[index];
  const std::string endpoint = weather ? "/v6/nearestmetar" : "/v6/traffic:live";
  g_rtApiTrafficClient.troublePauseMs = 20;
  g_rtApiMetarClient.troublePauseMs = 20;
  ASSERT_NO_FATAL_FAILURE(startAndSettle());
  ASSERT_TRUE(waitFor([] { return g_rtApiMetarClient.qnhValidTime.load() != 0; }));
  // A METAR is asked for again only once the cached QNH is a minute old.
  const auto troubleFor = [&](int count) {
    server().addFault(endpoint, fault, count);
    if (weather) g_clockShiftNs += 61'000'000'000;
  };
  const auto progress = [weather = weather] {
    return weather ? g_rtApiMetarClient.qnhValidTime.load()
                   : static_cast<std::int64_t>(g_rtApiTrafficClient.answersReceived.load());
  };
  const std::int64_t before = progress();
  troubleFor(4);
  ASSERT_TRUE(waitFor([&] { return progress() > before; }));
  EXPECT_TRUE(gf_isRunning());
  EXPECT_FALSE(weatherDone_.load() || trafficDone_.load());

  troubleFor(5);
  ASSERT_TRUE(readersEnded());
  EXPECT_EQ(stopReason(), StopReason::ReaderError);
}

std::string troubleName(const testing::TestParamInfo<std::tuple<bool, int>>& param) {
  static const char* const kFaults[] = {"Http502Page", "Http503", "Status500", "HtmlAt200"};
  return std::string(std::get<0>(param.param) ? "Weather" : "Traffic") + kFaults[std::get<1>(param.param)];
}
INSTANTIATE_TEST_SUITE_P(BothReaders, TroubleTest, testing::Combine(testing::Bool(), testing::Range(0, 4)),
                         troubleName);

TEST_F(DirectTest, AForgottenGuidRestarts) {
  ASSERT_NO_FATAL_FAILURE(startAndSettle());
  server().addFault("/v6/traffic:live", WebApiFault{WebApiFaultKind::GuidChange});
  ASSERT_TRUE(readersEnded());
  EXPECT_EQ(stopReason(), StopReason::ReaderError);
}

TEST_F(DirectTest, AStopInTheMiddleOfAPollEndsBothReadersQuietly) {
  ASSERT_NO_FATAL_FAILURE(startAndSettle());
  const std::size_t sent = server().requests("/v6/traffic").size();
  server().addFault("/v6/traffic:live", WebApiFault{WebApiFaultKind::Stall});
  ASSERT_TRUE(server().waitForRequests("/v6/traffic", sent + 1, 10s));
  std::this_thread::sleep_for(50ms);  // the reader now sits in the stalled transfer
  gf_stopRTAPIReaders();
  ASSERT_TRUE(waitFor([this] { return weatherDone_.load() && trafficDone_.load(); }, 5s));
  EXPECT_TRUE(gf_isRunning());
  for (const std::string& text : shownMessages()) EXPECT_EQ(text.find("stopped"), std::string::npos) << text;
  server().releaseStalls();
}

// Refusals of the parked request end nothing: the parking code goes on without RealTraffic
// parked aircraft; after a 403 this licence is not asked again, and the log says why once.
TEST_F(DirectTest, ParkedRefusalsLeaveTheProgramRunning) {
  ASSERT_NO_FATAL_FAILURE(startAndSettle());
  const auto parkedQueries = [this] {
    const auto kinds = trafficQueries(server());
    return std::count(kinds.begin(), kinds.end(), "parked");
  };
  server().addFault("/v6/traffic:parkedtraffic", WebApiFault{WebApiFaultKind::Status, 406, 200, "later"});
  EXPECT_EQ(askParked(), ParkedAnswer::ready);  // a notice: success, with no aircraft
  {
    std::lock_guard lock(g_rtApiTrafficClient.parkedRecordsMutex);
    EXPECT_TRUE(g_rtApiTrafficClient.parkedRecords.empty());
  }
  server().addFault("/v6/traffic:parkedtraffic", WebApiFault{WebApiFaultKind::HtmlPage, 0, 502});
  EXPECT_EQ(askParked(), ParkedAnswer::none);
  for (int i = 0; i < 2; ++i) {
    server().addFault("/v6/traffic:parkedtraffic", WebApiFault{WebApiFaultKind::Status, 400, 200, "bad box"});
    EXPECT_EQ(askParked(), ParkedAnswer::none);
  }
  for (int i = 0; i < 2; ++i) {
    server().addFault("/v6/traffic:parkedtraffic", WebApiFault{WebApiFaultKind::Status, 403, 200, "no data"});
    EXPECT_EQ(askParked(), ParkedAnswer::none);
  }
  EXPECT_EQ(parkedQueries(), 5) << "not asked again after the 403";
  EXPECT_FALSE(g_rtApiTrafficClient.askParkedTraffic());
  // None of it ends the readers.
  EXPECT_FALSE(trafficDone_.load());
  EXPECT_TRUE(gf_isRunning());
  const std::string log = logText();
  EXPECT_NE(log.find("parkedtraffic msg: later"), std::string::npos);
  for (const char* once : {"No RealTraffic parked aircraft: RT API parameter fault",
                           "No RealTraffic parked aircraft: No data for this license type"}) {
    const std::size_t at = log.find(once);
    ASSERT_NE(at, std::string::npos) << once;
    EXPECT_EQ(log.find(once, at + 1), std::string::npos) << once << ": once";
  }
  // The next start may bring another licence.
  g_rtApiTrafficClient.resetForRestart();
  EXPECT_FALSE(g_rtApiTrafficClient.parkedRefused.load());
}

TEST_F(DirectTest, ALateParkedAnswerServesNoLaterAsk) {
  ASSERT_NO_FATAL_FAILURE(startAndSettle());
  // The first parked request stalls past its ask's wait; the second one is refused.
  server().addFault("/v6/traffic:parkedtraffic", WebApiFault{WebApiFaultKind::Stall});
  server().addFault("/v6/traffic:parkedtraffic", WebApiFault{WebApiFaultKind::Status, 500, 200, "busy"});
  g_rtApiTrafficClient.parkedWaitMs = 300;
  EXPECT_EQ(askParked(), ParkedAnswer::none);
  ASSERT_TRUE(waitFor([this] {
    const auto kinds = trafficQueries(server());
    return std::count(kinds.begin(), kinds.end(), "parked") == 1;
  }));
  EXPECT_NE(logText().find("ParkedTraffic receiving timed out after 10 seconds"), std::string::npos);

  g_rtApiTrafficClient.parkedWaitMs = 10000;
  ASSERT_TRUE(g_rtApiTrafficClient.askParkedTraffic());
  ASSERT_TRUE(waitFor([] { return g_rtApiTrafficClient.parkedRequested.load(); }));
  EXPECT_EQ(g_rtApiTrafficClient.parkedOutcome(), ParkedAnswer::waiting);
  server().releaseStalls();  // the stalled request now answers with aircraft
  ParkedAnswer second = ParkedAnswer::waiting;
  ASSERT_TRUE(waitFor([&] { return (second = g_rtApiTrafficClient.parkedOutcome()) != ParkedAnswer::waiting; }));
  // The second ask took its own answer, the refusal, not the late records.
  EXPECT_EQ(second, ParkedAnswer::none);
  const auto kinds = trafficQueries(server());
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "parked"), 2);
  EXPECT_NE(logText().find("RT Parked error status: 500"), std::string::npos);
}

TEST_F(DirectTest, AuthenticaterRefusals) {
  rtstandin::WebApiOptions options;
  options.wrrlMs = 250;
  startServer(options);
  server().addFault("/v6/auth", WebApiFault{WebApiFaultKind::Status, 500, 200, "db"});
  EXPECT_THROW(gf_authenticater(), std::runtime_error);

  // The refusal is shown for ten seconds; closing the window ends the wait.
  const std::string text = "More than one RealTraffic session is not possible, do not run the RealTraffic app";
  server().addFault("/v6/auth", WebApiFault{WebApiFaultKind::Status, 405, 200, "two sessions"});
  std::jthread closer([&] {
    waitFor([&] {
      const auto shown = shownMessages();
      return std::find(shown.begin(), shown.end(), text) != shown.end();
    });
    gf_requestStop(StopReason::NewSettings, 0);
  });
  try {
    gf_authenticater();
    FAIL() << "no exception";
  } catch (const jrv::UserRelatedException& e) {
    EXPECT_EQ(e.code, 405);
    EXPECT_EQ(std::string(e.what()), "405: " + text);
  }
}

TEST_F(DirectTest, QueryBoxFollowsTheUser) {
  startServer();
  const auto boxAt = [](double lat, double lon) {
    lf_placeUser(lat, lon);
    g_rtApiTrafficClient.updateQueryBox();
    return g_rtApiTrafficClient.queryBox();
  };
  EXPECT_EQ(boxAt(0.0, 0.0), RTAPIQueryBox{});
  const RTAPIQueryBox box = boxAt(52.3, 4.7);
  EXPECT_NEAR(box.top - box.bottom, 2 * 40 * 1.852 / 111.2, 1e-9);
  EXPECT_LT(box.left, 4.7);
  EXPECT_GT(box.right, 4.7);
  EXPECT_EQ(boxAt(52.3001, 4.7), box);
  EXPECT_NE(boxAt(52.3002, 4.7), box);
  // Taveuni: the box stops at the date line on the far side.
  EXPECT_EQ(boxAt(-16.80, 179.98).right, 180.0);
  EXPECT_EQ(boxAt(-16.80, -179.98).left, -180.0);

  gf_resetFeedNeighbours();
  EXPECT_FALSE(g_rtApiTrafficClient.askParkedTraffic());
  EXPECT_TRUE(server().requests("/v6/traffic").empty());
}

}  // namespace
