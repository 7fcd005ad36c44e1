#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <vector>

#include "config/keys.h"
#include "core/utc_time.h"
#include "feed/feed_reports.h"
#include "feed/qnh.h"
#include "feed/rt_app_requests.h"
#include "feed/rt_app_server.h"
#include "feed/rt_app_traffic.h"
#include "feed/rt_app_weather.h"
#include "feed/traffic_handover.h"
#include "feed/traffic_mailbox.h"
#include "tests/feed/feed_store_fixture.h"

namespace {

using namespace std::chrono_literals;
using feed_test::eventually;
using feed_test::FakeApp;

// One "RTTFC"-layout line of fieldCount fields (44 in the protocol).
struct Line {
  std::string tag = "RTTFC";
  std::string hexid = "4735190";  // 0x4840D6
  std::string lat = "52.000000";
  std::string lon = "4.500000";
  std::string altitude = "10000";
  std::string gs = "250";
  std::string callsign = "KLM1234";
  std::string type = "B738";
  std::string registration = "PH-BXA";
  std::string timestamp = "1733400000.5";
  std::size_t fieldCount = 44;

  std::string text() const {
    std::vector<std::string> f(fieldCount);
    f[0] = tag, f[1] = hexid, f[2] = lat, f[3] = lon, f[4] = altitude, f[5] = "0", f[7] = "90", f[8] = gs;
    f[9] = callsign, f[10] = type, f[11] = registration, f[12] = "AMS", f[13] = "LHR", f[14] = timestamp;
    f[17] = "adsb_other", f[20] = "300", f[23] = "0", f[25] = "0", f[28] = "A3";
    std::string out;
    for (std::size_t i = 0; i < f.size(); ++i) out += (i ? "," : "") + f[i];
    return out;
  }
};

std::string parkLine(const std::string& callsign, const std::string& stand, std::int64_t time,
                     const std::string& hexid = "4840D6") {
  return fmt::format("RTPARK,{},52.0,4.5,{},B738,,{},{}", hexid, callsign, stand, time);
}

struct StopReport {
  std::string reader;
  std::string text;
};
std::mutex g_stopMutex;
std::vector<StopReport> g_stops;

class TrafficReaderTest : public feed_test::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    gf_resetTrafficMailbox();
    {
      std::lock_guard lock(g_trafficMutex);
      g_trafficMailbox.active = true;
    }
    reader().reset();
    reader().setQueryCentre(kCentre);
    reader().qnhHpa = 1013;
    gf_clearRTAppBufferRequest();
    gf_setFeedTime(0);
    {
      std::lock_guard lock(g_stopMutex);
      g_stops.clear();
    }
    gf_setFeedReportSinks({nullptr, [](std::string_view name, std::string_view text) {
                             std::lock_guard lock(g_stopMutex);
                             g_stops.push_back({std::string(name), std::string(text)});
                           }});
  }
  void TearDown() override {
    gf_setFeedReportSinks({});
    g_rtAppServer.close();
    reader().close();
    reader().reset();
    gf_clearRTAppBufferRequest();
    gf_resetTrafficMailbox();
    gf_setFeedTime(0);
    StoreTest::TearDown();
  }
  static RTAppTrafficReader& reader() { return g_rtAppTrafficReader; }
  void feed(const std::string& text) { reader().handleText(text); }
};

class ConnectedAppTest : public TrafficReaderTest {
 protected:
  void SetUp() override {
    TrafficReaderTest::SetUp();
    g_rtAppServer.start("0");
    app = std::make_unique<FakeApp>(g_rtAppServer.listeningPort().value_or(0));
    ASSERT_TRUE(g_rtAppServer.waitForClient());
  }
  void TearDown() override {
    app.reset();
    TrafficReaderTest::TearDown();
  }
  std::unique_ptr<FakeApp> app;
};

TEST_F(TrafficReaderTest, FortyFourFieldsAreAMessageFortyThreeAreNot) {
  Line line;
  feed(line.text());
  EXPECT_EQ(reader().batch.records.size(), 1u);
  line.fieldCount = 43;
  feed(line.text());
  EXPECT_EQ(reader().batch.records.size(), 1u);
  EXPECT_NE(logText().find("Ignoring incomplete RT App message: 43 fields received, 44 required: RTTFC,4735190,"),
            std::string::npos);
  feed("RTPARK,4840D6,52.0,4.5,KLM1,B738,,D5");  // 8 of 9
  EXPECT_NE(logText().find("Ignoring incomplete RT App message: 8 fields received, 9 required: RTPARK,"),
            std::string::npos);
}

TEST_F(TrafficReaderTest, RTBUFXIsABufferMessageAndRTBUIsNothing) {
  Line line;
  line.tag = "RTBUFX";
  feed(line.text());
  EXPECT_EQ(reader().batch.records.size(), 1u);
  line.tag = "RTBU";
  feed(line.text());
  line.tag = "rttfc";
  feed(line.text());
  EXPECT_EQ(reader().batch.records.size(), 1u);
  EXPECT_EQ(logText().find("RTBU,"), std::string::npos) << "ignored without a message";
}

TEST_F(ConnectedAppTest, SeparatorsPostHistoryInOrderAndTheRestWaitsForTheLiveEnd) {
  ASSERT_TRUE(gf_requestRTAppBuffer());
  Line line;
  for (const char* time : {"1733399900", "1733399960", "1733400020"}) {
    line.tag = "RTBUF";
    line.timestamp = time;
    feed(line.text());
    feed("RTBUF_SEP");
  }
  line.timestamp = "1733400050";
  feed(line.text());
  feed("RTBUF_EOT");
  EXPECT_TRUE(reader().bufferReceived);
  EXPECT_FALSE(gf_rtAppBufferRequested());
  EXPECT_TRUE(gf_takeTrafficBatch().empty()) << "the buffer's end posts nothing";
  auto history = gf_takeHistoryBatches();
  ASSERT_EQ(history.size(), 3u);
  EXPECT_EQ(history[0].kind, 0);
  EXPECT_EQ(history[1].kind, 6);
  EXPECT_EQ(history[2].kind, 12);
  EXPECT_EQ(history[2].records.at(0).timestamp, 1733400020.0);

  feed("RTTFC_EOT");
  const auto live = gf_takeTrafficBatch();
  ASSERT_EQ(live.size(), 1u);
  EXPECT_EQ(live[0].timestamp, 1733400050.0);
  EXPECT_EQ(live[0].mailboxTime, 3000);
  EXPECT_TRUE(reader().batch.records.empty());
  EXPECT_NE(logText().find(" Buffer traffic received"), std::string::npos);
}

TEST_F(ConnectedAppTest, EndTagsAreTakenOnlyWhileTheirRequestIsOpen) {
  struct Case {
    const char* tag;
    bool asked;
  };
  const Case cases[] = {{"RTBUF_EOT", false}, {"RTBUF_SEP", false}, {"RTPARK_EOT", false},
                        {"RTBUF_EOT", true},  {"RTBUF_SEP", true},  {"RTPARK_EOT", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(fmt::format("{} asked {}", c.tag, c.asked));
    reader().reset();
    reader().setQueryCentre(kCentre);
    gf_clearRTAppBufferRequest();
    gf_takeHistoryBatches();
    {
      std::lock_guard lock(reader().parkedMutex);
      reader().parkedSet.assign(2, ParkedRecord{});  // the list the parking code works with
    }
    const bool parked = std::string_view(c.tag) == "RTPARK_EOT";
    if (c.asked && parked) {
      setParkAirport(kCentre);
      gf_requestParkedTraffic();
      feed(parkLine("KLM1", "D5", 1733400000));
    }
    if (c.asked && !parked) { ASSERT_TRUE(gf_requestRTAppBuffer()); }
    Line line;
    line.tag = "RTBUF";
    feed(line.text());
    feed(c.tag);

    EXPECT_EQ(reader().unrequestedEndTags.load(), c.asked ? 0u : 1u);
    EXPECT_EQ(reader().bufferReceived.load(), c.asked && std::string_view(c.tag) == "RTBUF_EOT");
    EXPECT_EQ(gf_takeHistoryBatches().size(), c.asked && std::string_view(c.tag) == "RTBUF_SEP" ? 1u : 0u);
    EXPECT_EQ(reader().parkedReceived.load(), c.asked && parked);
    std::lock_guard lock(reader().parkedMutex);
    EXPECT_EQ(reader().parkedSet.size(), c.asked && parked ? 1u : 2u);
  }
}

TEST_F(TrafficReaderTest, TheBatchKeepsItsCentreUntilItsEnd) {
  Line line;
  line.lat = "52.5";  // 30 NM north
  feed(line.text());
  reader().setQueryCentre({50.0, 4.5});  // the user moved far away meanwhile
  feed(line.text());
  EXPECT_EQ(reader().batch.records.size(), 2u);
  feed("RTTFC_EOT");
  feed(line.text());
  EXPECT_EQ(reader().batch.records.size(), 0u) << "the next batch uses the new centre";
}

TEST_F(TrafficReaderTest, TheFeedTimeFollowsEveryMessageThatPassedTheTimeCheck) {
  gf_setFeedTimeSwitch(true);
  Line line;
  line.lat = "55.0";  // out of range, but its time counts
  line.timestamp = "1733400100.4";
  feed(line.text());
  EXPECT_TRUE(reader().batch.records.empty());
  EXPECT_EQ(reader().lastFeedTime, 1733400100);
  EXPECT_EQ(gf_nowSeconds(true), 1733400100);
  gf_setFeedTimeSwitch(false);
}

TEST_F(TrafficReaderTest, BadFieldsAreLoggedAndTheMessageDropped) {
  Line line;
  line.gs = "fast";
  feed(line.text());
  line = Line{};
  line.registration = "PH-BXA";
  line.timestamp = "0";
  feed(line.text());
  {
    std::lock_guard lock(reader().parkedMutex);
    reader().parkedRequested = true;  // parked records are decoded only while asked for
  }
  feed("RTPARK,ZZ,52.0,4.5,KLM1,B738,,D5,1733400000");
  EXPECT_TRUE(reader().batch.records.empty());
  const std::string log = logText();
  EXPECT_NE(log.find("exception in processLine: gs:fast"), std::string::npos) << log;
  EXPECT_NE(log.find("exception in processLine: timestamp outside range: 0.000"), std::string::npos) << log;
  EXPECT_NE(log.find("exception in processRTAppLine: hexid incorrectZZ"), std::string::npos) << log;
}

TEST_F(TrafficReaderTest, LiveIdentitiesAreCollectedOnlyAfterAParkedReset) {
  Line named;
  Line nameless;
  nameless.hexid = "1000000";
  nameless.callsign = "";
  nameless.registration = "";
  feed(named.text());
  feed("RTTFC_EOT");
  {
    std::lock_guard lock(reader().identityMutex);
    EXPECT_TRUE(reader().liveHexids.empty());
  }
  gf_resetParkedTraffic();
  feed(named.text());
  feed(nameless.text());
  feed("RTTFC_EOT");
  std::lock_guard lock(reader().identityMutex);
  EXPECT_EQ(reader().liveHexids, (std::unordered_set<std::uint32_t>{0x4840D6, 1000000}));
  EXPECT_EQ(reader().liveCallsigns, (std::unordered_set<std::string>{"KLM1234"}));
}

TEST_F(ConnectedAppTest, ParkedListsCompleteAtTheirEndAndAreHandedOverPrepared) {
  feed("RTPARK_EOT");
  EXPECT_FALSE(reader().parkedReceived) << "nothing was asked for";

  const std::int64_t now = kDay + 12 * 3600 + 10 * 60;  // slot 24
  gf_setSystemClockForTest([now] { return now; });
  setParkAirport(Lalo{52.0, 4.5});
  gf_requestParkedTraffic();  // forgets the last list
  EXPECT_FALSE(reader().parkedReceived);
  feed(parkLine("KLM1", "D5", now - 3 * 1800, "A00001"));   // older sighting of stand D5
  feed(parkLine("KLM2", "D5", now - 1800, "A00002"));       // younger one wins D5
  feed(parkLine("KLM3", "D6", now - 2 * 1800, "A00003"));
  feed(parkLine("KLM3", "D7", now, "A00004"));              // KLM3 is at D7 now
  feed(parkLine("KLM4", "", now, "A00005"));                // no stand: refused by the store
  feed("RTPARK_EOT");

  static std::vector<ParkedRecord> handed;
  static std::uint32_t wantedSeen = 0;
  handed.clear();
  FeedNeighbours neighbours;
  neighbours.parkAirport = [] { return feed_test::g_testParkAirport; };
  neighbours.addParkedFromFeed = [](std::vector<ParkedRecord>& records, std::uint32_t wanted) {
    handed = records;
    wantedSeen = wanted;
  };
  gf_setFeedNeighbours(neighbours);
  gf_processParkedTraffic(9);
  EXPECT_TRUE(handed.empty()) << "only with RT_PARKTRAFFIC_ONLY";
  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.rtParkTrafficOnly = true; });
  gf_processParkedTraffic(9);
  gf_setSystemClockForTest({});
  ASSERT_EQ(handed.size(), 2u);
  EXPECT_EQ(wantedSeen, 9u);
  EXPECT_EQ(handed[0].callsign, "KLM3");
  EXPECT_EQ(handed[0].standName, "D7");
  EXPECT_EQ(handed[0].halfHourSlot, 0);
  EXPECT_EQ(handed[1].callsign, "KLM2");
  EXPECT_EQ(handed[1].halfHourSlot, 1);
}

TEST_F(TrafficReaderTest, PreparingParkedRecordsAgesCleansAndKeepsTheYoungestSighting) {
  const std::int64_t now = kDay + 1 * 3600 + 5 * 60;  // slot 2
  gf_setSystemClockForTest([now] { return now; });
  auto record = [](const char* callsign, const char* stand, std::int32_t slot) {
    ParkedRecord r;
    r.callsign = callsign, r.standName = stand, r.halfHourSlot = slot;
    return r;
  };
  std::vector<ParkedRecord> records{record("KLM1", "A1", 2), record(".AB", "A2", 2), record("KLM2", "A3", 47),
                                    record("KLM3", "A4", 1), record("KLM4", "A5", -1)};
  gf_changeParameterSnapshot([](ParameterSnapshot& s) {
    s.rtParkTrafficOnly = false;
    s.autoPark = false;
    s.maxFit = 0;
  });
  std::vector<ParkedRecord> strict = records;
  gf_prepareParkedRecords(strict);
  ASSERT_EQ(strict.size(), 1u) << "MAX_FIT 0 keeps the current half hour only";
  EXPECT_EQ(strict[0].callsign, "KLM1");

  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.autoPark = true; });
  gf_prepareParkedRecords(records);
  gf_setSystemClockForTest({});
  ASSERT_EQ(records.size(), 4u);  // ".AB" has no callsign left
  EXPECT_EQ(records[0].callsign, "KLM1");
  EXPECT_EQ(records[1].halfHourSlot, 1);
  EXPECT_EQ(records[2].halfHourSlot, 3);   // slot 47 of yesterday
  EXPECT_EQ(records[3].halfHourSlot, 47);  // time unknown: the oldest
}

TEST_F(TrafficReaderTest, TheWeatherReaderSetsTheQnhOfTheNextMessages) {
  g_rtAppWeatherReader.resetReceivedLineState();
  g_rtAppWeatherReader.handleText(R"({"METAR":"EHAM 051025Z 24012KT 9999 Q0993"})");
  EXPECT_EQ(reader().qnhHpa, 993);
  g_rtAppWeatherReader.resetReceivedLineState();
  g_qnh = kStandardQnh;
}

TEST_F(ConnectedAppTest, TheReaderThreadAsksForTheBufferAndPostsWhatArrives) {
  reader().qnhHpa = 0;
  const std::uint16_t port = feed_test::freeUdpPort();
  std::jthread thread([port] { gf_trafficReader(port); });
  EXPECT_EQ(app->line(), "Qs999=sendbuffer=5,6\n");  // no user position yet
  ASSERT_TRUE(eventually([] { return g_rtAppTrafficReader.boundPort().has_value(); }));
  EXPECT_EQ(reader().qnhHpa, 1013);
  EXPECT_EQ(g_qnh, 1013);

  const net::Socket sender = net::createUdpSocket();
  const auto send = [&](const std::string& text) { net::sendDatagram(sender, "127.0.0.1", port, text); };
  Line line;
  send(line.text());
  send(line.text());  // repeated: handled once
  send(std::string(16385, 'x'));
  line.hexid = "4735191";
  send(line.text());
  send("RTTFC_EOT");
  std::vector<TrafficRecord> live;
  ASSERT_TRUE(eventually([&] {
    live = gf_takeTrafficBatch();
    return !live.empty();
  }));
  EXPECT_EQ(live.size(), 2u);
  EXPECT_EQ(reader().datagramCount, 5u);

  gf_requestStop(StopReason::NewSettings, 0);
  reader().requestStop();
  thread.join();
  net::closeSocket(sender);
  EXPECT_FALSE(gf_rtAppBufferRequested());
  const std::string log = logText();
  EXPECT_NE(log.find("Traffic Reader connected"), std::string::npos);
  EXPECT_NE(log.find(" Requesting buffer traffic ..."), std::string::npos);
  EXPECT_NE(log.find("UDP datagram exceeds 16384 bytes; discarded"), std::string::npos);
  EXPECT_NE(log.find("Traffic Reader disconnected"), std::string::npos);
  std::lock_guard lock(g_stopMutex);
  EXPECT_TRUE(g_stops.empty());
}

TEST_F(TrafficReaderTest, ASocketFailureEndsTheReaderWithARestartReport) {
  net::UdpReceiver holder;
  ASSERT_TRUE(holder.open(0, 10));
  gf_trafficReader(holder.port());
  std::lock_guard lock(g_stopMutex);
  ASSERT_EQ(g_stops.size(), 1u);
  EXPECT_EQ(g_stops[0].reader, "Traffic Reader");
  EXPECT_EQ(g_stops[0].text, "bind failed, error: 10048 Address already in use");
  EXPECT_NE(logText().find("==> gf_trafficReader exception: bind failed"), std::string::npos);
}

TEST_F(TrafficReaderTest, AFailedBufferRequestIsSentAgainNextTime) {
  EXPECT_FALSE(gf_requestRTAppBuffer());  // no app
  EXPECT_FALSE(gf_rtAppBufferRequested());
  g_rtAppServer.start("0");
  FakeApp app(g_rtAppServer.listeningPort().value_or(0));
  ASSERT_TRUE(g_rtAppServer.waitForClient());
  gf_publishUserAcPosition({.latitude = 52.0, .longitude = 4.5});
  EXPECT_TRUE(gf_requestRTAppBuffer());
  EXPECT_FALSE(gf_requestRTAppBuffer()) << "once per connection";
  EXPECT_EQ(app.line(), gf_rtAppBufferLine(Lalo{52.0, 4.5}, 40.0));
  EXPECT_EQ(app.line(200), "<none>");
}

TEST_F(ConnectedAppTest, ParkedRequestsGoAroundTheParkAirportOrTheUserOnTheGround) {
  gf_requestParkedTraffic();  // no park airport, user in the air
  setParkAirport(Lalo{52.3, 4.76});
  gf_requestParkedTraffic();
  EXPECT_EQ(app->line(), gf_rtAppParkedLine({52.3, 4.76}));
  setParkAirport(std::nullopt);
  gf_publishUserAcPosition({.latitude = 51.0, .longitude = 3.0});
  feed_test::g_testUserOnGround = true;
  gf_requestParkedTraffic();
  EXPECT_EQ(app->line(), gf_rtAppParkedLine({51.0, 3.0}));
  EXPECT_EQ(app->line(200), "<none>");
}

TEST_F(ConnectedAppTest, TheUserPositionGoesOnlyWhenKnownAndAGoneAppStopsTheRun) {
  PSX_SERVER_HERE.value = true;
  gf_sendUserPositionToRTApp();  // 0/0: nothing
  gf_publishUserAcPosition({.latitude = 52.0, .longitude = 4.0, .pitch = 0.01, .bank = -0.02, .heading = 1.5,
                            .indicatedAltitude = 1000.0, .groundSpeed = 150.0});
  gf_sendUserPositionToRTApp();
  EXPECT_EQ(app->line(), "Qs121=-1000;-2000;1.500000;1000000;150000;0.907571;0.069813\r\n");
  EXPECT_TRUE(gf_isRunning());

  g_rtAppServer.close();
  gf_sendUserPositionToRTApp();
  EXPECT_FALSE(gf_isRunning());
  EXPECT_EQ(gf_stopRequest()->reason, StopReason::NewSettings);
  EXPECT_NE(logText().find(" RealTraffic App gone"), std::string::npos);
}

TEST_F(ConnectedAppTest, ClosingTheServerWakesAReceiveAtOnce) {
  auto receiving = std::async(std::launch::async, [] { return g_rtAppServer.receive(); });
  std::this_thread::sleep_for(20ms);
  g_rtAppServer.close();
  ASSERT_EQ(receiving.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(receiving.get(), "");
}

}  // namespace
