// The RT App link under a hostile local network: floods, forged log lines, foreign senders.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "core/log.h"
#include "core/text.h"
#include "feed/rt_api_decode.h"
#include "feed/rt_app_requests.h"
#include "feed/rt_app_server.h"
#include "feed/rt_app_traffic.h"
#include "feed/traffic_handover.h"
#include "feed/traffic_mailbox.h"
#include "standin/realtraffic/web_api_server.h"
#include "tests/feed/feed_store_fixture.h"

namespace {

using namespace std::chrono_literals;
using feed_test::eventually;
using feed_test::FakeApp;

// A live "RTTFC" line of a flight over the test centre.
std::string goodLine(std::uint32_t hexid, const std::string& callsign = "KLM1234",
                     const std::string& registration = "PH-BXA", const std::string& altitude = "10000",
                     const std::string& gs = "250", const std::string& vs = "0") {
  std::vector<std::string> f(44);
  f[0] = "RTTFC", f[1] = std::to_string(hexid), f[2] = "52.000000", f[3] = "4.500000", f[4] = altitude, f[5] = vs;
  f[7] = "90", f[8] = gs, f[9] = callsign, f[10] = "B738", f[11] = registration, f[12] = "AMS", f[13] = "LHR";
  f[14] = "1733400000.5", f[17] = "adsb_other", f[20] = "300", f[23] = "0", f[25] = "0", f[28] = "A3";
  std::string out;
  for (std::size_t i = 0; i < f.size(); ++i) out += (i ? "," : "") + f[i];
  return out;
}

std::atomic<std::int64_t> g_limitClockMs{0};

class HostileFeedTest : public feed_test::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    gf_setLogLimitClock([] { return g_limitClockMs.load(); });
    gf_resetLogLimits();
    gf_resetTrafficMailbox();
    {
      std::lock_guard lock(g_trafficMutex);
      g_trafficMailbox.active = true;
    }
    reader().reset();
    reader().setQueryCentre(kCentre);
    reader().qnhHpa = 1013;
    gf_clearRTAppBufferRequest();
    gf_resetRefusedFlights();
  }
  void TearDown() override {
    g_rtAppServer.close();
    reader().close();
    reader().reset();
    gf_clearRTAppBufferRequest();
    gf_resetTrafficMailbox();
    gf_setLogLimitClock(nullptr);
    gf_resetLogLimits();
    StoreTest::TearDown();
  }
  static RTAppTrafficReader& reader() { return g_rtAppTrafficReader; }
  static std::size_t logSize() {
    gf_flushLog();
    return std::filesystem::file_size("Log.txt");
  }
};

TEST_F(HostileFeedTest, AMinuteOfJunkDatagramsKeepsTheLogSmallAndGoodFlightsFlowing) {
  const std::uint16_t port = feed_test::freeUdpPort();
  std::jthread thread([port] { gf_trafficReader(port); });
  ASSERT_TRUE(eventually([] { return g_rtAppTrafficReader.boundPort().has_value(); }));
  const net::Socket sender = net::createUdpSocket();
  std::uint32_t sent = 0;
  // Each datagram is waited for: the loopback must not drop what the reader is to judge.
  const auto send = [&](const std::string& text) {
    ASSERT_EQ(net::sendDatagram(sender, "127.0.0.1", port, text), static_cast<int>(text.size()));
    ++sent;
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (reader().datagramCount.load() < sent && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
    ASSERT_EQ(reader().datagramCount.load(), sent);
  };

  std::size_t flights = 0;
  g_limitClockMs = 0;
  // Two minutes of the program's clock at 100 datagrams a second, of three kinds of junk.
  for (int i = 0; i < 12'000; ++i) {
    g_limitClockMs += 10;
    std::string junk;
    switch (i % 3) {
      case 0: junk = fmt::format("RTTFC,{},", i) + std::string(16000, 'x'); break;          // incomplete, nearly 16 KB
      case 1: junk = std::string(16385 + i % 7, 'y'); break;                                // beyond a datagram
      default: junk = fmt::format("RTTFC,{},{},junk", i, std::string(i % 50, ',')); break;  // short junk
    }
    send(junk);
    if (i % 600 == 0) {
      send(goodLine(5'000'000 + static_cast<std::uint32_t>(i)));
      send("RTTFC_EOT");
      // Counted on arrival, posted a moment later.
      std::vector<TrafficRecord> batch;
      ASSERT_TRUE(eventually([&] {
        batch = gf_takeTrafficBatch();
        return !batch.empty();
      }));
      flights += batch.size();
    }
  }
  net::closeSocket(sender);
  reader().requestStop();
  thread.join();

  EXPECT_EQ(flights, 20u) << "every good flight among the junk reached the engine";
  EXPECT_LT(logSize(), 200'000u) << "without a limit this run writes over 60 MB";
  const std::string log = logText();
  EXPECT_NE(log.find("Ignoring incomplete RT App message: 3 fields received, 44 required: RTTFC,0,"),
            std::string::npos);
  EXPECT_NE(log.find("more lines like 'Ignoring incomplete RT App message' not logged in the last minute"),
            std::string::npos);
  EXPECT_NE(log.find("more lines like 'UDP datagram exceeds' not logged in the last minute"), std::string::npos);

  // Made-up aircraft by the ten thousand while the parking code collects the live identities:
  // what is kept of them is bounded, and forgotten once they are not reported again.
  gf_resetParkedTraffic();
  const auto identities = [] {
    std::lock_guard lock(reader().identityMutex);
    return std::pair(reader().liveHexids.size(), reader().liveCallsigns.size());
  };
  std::size_t most = 0;
  for (std::uint32_t i = 0; i < 45'000; ++i) {
    reader().handleText(goodLine(7'000'000 + i, fmt::format("XY{}", 111'111 + i)));
    if (i % 1000 == 999 || i == 44'999) reader().handleText("RTTFC_EOT");
    most = std::max(most, identities().first);
  }
  // One batch without its end: cut off at the bound.
  for (std::uint32_t i = 0; i <= kMaxLiveIdentities; ++i) reader().handleText(goodLine(8'000'000 + i, "XY222222"));
  reader().handleText("RTTFC_EOT");
  EXPECT_LE(std::max(most, identities().first), kMaxLiveIdentities);
  EXPECT_NE(logText().find("RT App traffic batch reached 20000 aircraft; the rest of it is ignored"), std::string::npos);
  std::string later = goodLine(5'000'001, "KLM1");
  later.replace(later.find("1733400000.5"), 12, "1733400400.5");
  reader().handleText(later);
  reader().handleText("RTTFC_EOT");
  EXPECT_EQ(identities(), (std::pair<std::size_t, std::size_t>(1, 1))) << "the made-up ones are gone";
  gf_takeTrafficBatch();
}

TEST_F(HostileFeedTest, AForgedLineStaysOneEscapedLine) {
  reader().handleText("RTTFC,1\n13:00:00 Exiting: FORGED LINE FROM THE NETWORK\x1b[2J\xff\xfe");
  const std::string log = logText();
  EXPECT_EQ(log.find("\n13:00:00 Exiting"), std::string::npos) << log;
  EXPECT_NE(log.find("Ignoring incomplete RT App message: 2 fields received, 44 required: "
                     "RTTFC,1\\x0A13:00:00 Exiting: FORGED LINE FROM THE NETWORK\\x1B[2J\\xFF\\xFE\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find('\x1b'), std::string::npos);
}

// Reports no aircraft could make, and texts with what no window or simulator should show, as
// both traffic sources hand them to the store.
struct HostileReport {
  const char* name;
  std::string altitude = "10000", gs = "250", vs = "0", registration = "PH-BXA", callsign = "KLM1234";
  std::string keptRegistration;  // empty: refused
  std::string keptCallsign;
};

const HostileReport kHostileReports[] = {
    {.name = "altitude 1e308", .altitude = "1e308"},
    {.name = "altitude 1e30", .altitude = "1e30"},
    {.name = "deep below the sea", .altitude = "-90000"},
    {.name = "ground speed 1e308", .gs = "1e308"},
    {.name = "vertical rate 1e6", .vs = "1000000"},
    {.name = "escape sequences and invalid UTF-8",
     .registration = "PH-\x1b[31mBX\xff\xfe",
     .callsign = "KLM\x07"
                 "123",
     .keptRegistration = "PH-[31mBX",
     .keptCallsign = "KLM123"},
    {.name = "right-to-left override",
     .registration = "\xe2\x80\xaePH-BXA",
     .keptRegistration = "PH-BXA",
     .keptCallsign = "KLM1234"},
};

void expectShown(const std::vector<TrafficRecord>& records, const HostileReport& report) {
  if (report.keptRegistration.empty()) {
    EXPECT_TRUE(records.empty());
    return;
  }
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].registration, report.keptRegistration);
  EXPECT_EQ(records[0].callsign, report.keptCallsign);
  EXPECT_TRUE(gf_isPrintableText(records[0].registration) && gf_isPrintableText(records[0].callsign));
}

TEST_F(HostileFeedTest, TheAppsAbsurdValuesAreRefusedOncePerFlightAndTextsKeepWhatCanBeShown) {
  std::uint32_t hexid = 4'000'000;
  for (const HostileReport& report : kHostileReports) {
    SCOPED_TRACE(report.name);
    ++hexid;
    const std::string line =
        goodLine(hexid, report.callsign, report.registration, report.altitude, report.gs, report.vs);
    reader().handleText(line);
    reader().handleText(line);  // the same flight again: logged once
    reader().handleText("RTTFC_EOT");
    std::vector<TrafficRecord> records = gf_takeTrafficBatch();
    if (!report.keptRegistration.empty()) {
      ASSERT_EQ(records.size(), 2u);
      records.pop_back();
    }
    expectShown(records, report);
  }
  const std::string log = logText();
  EXPECT_NE(log.find("Refused flight 3D0901: altitude 1e+308 ft is beyond any aircraft\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Refused flight 3D0904: ground speed 1e+308 kt is beyond any aircraft\n"), std::string::npos);
  EXPECT_NE(log.find("Refused flight 3D0905: vertical rate 1e+06 ft/min is beyond any aircraft\n"), std::string::npos);
  std::size_t refusals = 0;
  for (auto at = log.find("Refused flight"); at != std::string::npos; at = log.find("Refused flight", at + 1))
    ++refusals;
  EXPECT_EQ(refusals, 5u);
}

TEST_F(HostileFeedTest, TheWebApisAbsurdValuesAndTextsFareAlike) {
  for (const HostileReport& report : kHostileReports) {
    SCOPED_TRACE(report.name);
    const rtstandin::Flight flight{.hexid = 0x4840D6,
                                   .callsign = "KLM1234",
                                   .type = "B738",
                                   .registration = "PH-BXA",
                                   .airline = "KLM",
                                   .origin = "AMS",
                                   .destination = "LHR"};
    const rtstandin::TrackPoint point{.lat = kCentre.lat,
                                      .lon = kCentre.lon,
                                      .altitude = std::stod(report.altitude),
                                      .gs = std::stod(report.gs),
                                      .track = 90,
                                      .vs = std::stod(report.vs),
                                      .trueHeading = 91,
                                      .roll = 0,
                                      .tas = 300};
    nlohmann::json entry = nlohmann::json::parse(rtstandin::webApiTrafficEntry(flight, point, 1733400000));
    // The texts as a parsed answer holds them (the parser itself refuses invalid UTF-8).
    entry[9] = report.registration;
    entry[13] = report.callsign;
    TrafficBatch batch;
    gf_decodeTrafficResponse(nlohmann::json{{"a", entry}}, context(), batch);
    expectShown(batch.records, report);
  }
  EXPECT_NE(logText().find("Refused flight 4840D6: altitude 1e+308 ft is beyond any aircraft"), std::string::npos);
}

// Another host on the network, played by a second loopback address.
class ForeignSender {
 public:
  ForeignSender() : socket_(::socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(0x7F000002u);
    EXPECT_EQ(::bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
  }
  ~ForeignSender() { ::close(socket_); }
  void send(std::uint16_t port, const std::string& text) { net::sendDatagram(socket_, "127.0.0.1", port, text); }

 private:
  int socket_;
};

TEST_F(HostileFeedTest, AForeignSenderAndASecondClientDoNotDisturbTheAppsTraffic) {
  g_rtAppServer.start("0");
  const std::uint16_t tcpPort = g_rtAppServer.listeningPort().value_or(0);
  FakeApp app(tcpPort);
  ASSERT_TRUE(g_rtAppServer.waitForClient());
  const std::uint16_t port = feed_test::freeUdpPort();
  std::jthread thread([port] { gf_trafficReader(port); });
  EXPECT_EQ(app.line(), "Qs999=sendbuffer=5,6\n");
  ASSERT_TRUE(eventually([] { return g_rtAppTrafficReader.boundPort().has_value(); }));
  FakeApp stray(tcpPort);  // waits in the backlog, never served
  ForeignSender foreign;
  const net::Socket appUdp = net::createUdpSocket();
  for (std::uint32_t round = 0; round < 3; ++round) {
    foreign.send(port, goodLine(6'000'000 + round, "EVIL" + std::to_string(round)));
    foreign.send(port, "RTTFC_EOT");
    net::sendDatagram(appUdp, "127.0.0.1", port, goodLine(5'000'000 + round));
    net::sendDatagram(appUdp, "127.0.0.1", port, "RTTFC_EOT");
    std::vector<TrafficRecord> live;
    ASSERT_TRUE(eventually([&] {
      live = gf_takeTrafficBatch();
      return !live.empty();
    }));
    ASSERT_EQ(live.size(), 1u);
    EXPECT_EQ(live[0].hexid, 5'000'000 + round);
  }
  EXPECT_EQ(reader().datagramCount.load(), 6u) << "only the app's datagrams count as the feed's life";
  EXPECT_TRUE(g_rtAppServer.isConnected());
  net::closeSocket(appUdp);
  reader().requestStop();
  thread.join();
  EXPECT_NE(logText().find("UDP datagram from 127.0.0.2 ignored: not the RT App's address"), std::string::npos);

  // Without a connected app the program cannot tell the app's address: it takes every sender.
  g_rtAppServer.close();
  EXPECT_TRUE(g_rtAppServer.acceptsDatagramFrom(0x7F000002u));
}

// The app's side as the handshake meets it: the version request, then its reply.
std::string answerAsApp(FakeApp& app) {
  const std::string request = app.line();
  app.send(R"({"version":"10.0.2","level":2})");
  return request;
}

// The handshake as the worker runs it: the program's server, its port and time-outs.
std::future<bool> programHandshake(std::string& version) {
  return std::async(std::launch::async, [&version] {
    return gf_rtAppHandshake(g_rtAppServer, [&version](const std::string& reply) { version = reply; });
  });
}

// The reader as the worker starts it once the app holds the seat: its buffer request must reach
// that app, and the app's traffic the engine. What the engine got.
std::vector<TrafficRecord> trafficOfTheSeatedApp(FakeApp& app, std::uint32_t hexid) {
  const std::uint16_t port = feed_test::freeUdpPort();
  std::jthread thread([port] { gf_trafficReader(port); });
  EXPECT_EQ(app.line(), "Qs999=sendbuffer=5,6\n");
  std::vector<TrafficRecord> live;
  if (eventually([] { return g_rtAppTrafficReader.boundPort().has_value(); })) {
    const net::Socket appUdp = net::createUdpSocket();
    net::sendDatagram(appUdp, "127.0.0.1", port, goodLine(hexid));
    net::sendDatagram(appUdp, "127.0.0.1", port, "RTTFC_EOT");
    eventually([&] {
      live = gf_takeTrafficBatch();
      return !live.empty();
    });
    net::closeSocket(appUdp);
  }
  g_rtAppTrafficReader.requestStop();
  return live;
}

TEST_F(HostileFeedTest, ClientsThatAnswerNotAsTheAppAreDroppedAndTheAppBehindThemServed) {
  // Blank, junk that only starts like the app's reply, valid JSON that is not the app's, a web server.
  const std::vector<std::string> impostorAnswers = {"\r\n", " ", "{ not the app", "{}", R"({"level":2})",
                                                    R"(["version"])", "HTTP/1.0 200 OK\r\n\r\n"};
  g_rtAppServer.start("0");
  const std::uint16_t tcpPort = g_rtAppServer.listeningPort().value_or(0);
  std::vector<std::unique_ptr<FakeApp>> impostors;
  for (std::size_t i = 0; i < impostorAnswers.size(); ++i) impostors.push_back(std::make_unique<FakeApp>(tcpPort));
  std::string version;
  std::future<bool> handshake = programHandshake(version);
  for (std::size_t i = 0; i < impostors.size(); ++i) {
    EXPECT_EQ(impostors[i]->line(), "Qs999=version\r\n");
    impostors[i]->send(impostorAnswers[i]);
  }
  FakeApp app(tcpPort);
  EXPECT_EQ(answerAsApp(app), "Qs999=version\r\n");
  if (handshake.wait_for(10s) != std::future_status::ready) gf_requestStop(StopReason::NewSettings, 0);
  ASSERT_TRUE(handshake.get());
  EXPECT_EQ(version, R"({"version":"10.0.2","level":2})");
  for (std::size_t i = 0; i < impostors.size(); ++i)
    EXPECT_EQ(impostors[i]->line(1000), "<none>") << "dropped, never asked again: " << impostorAnswers[i];

  const std::vector<TrafficRecord> live = trafficOfTheSeatedApp(app, 5'000'001);
  ASSERT_EQ(live.size(), 1u);
  EXPECT_EQ(live[0].hexid, 5'000'001u);
  const std::string log = logText();
  EXPECT_NE(log.find("RT App client gave no version (HTTP/1.0 200 OK\\x0D\\x0A\\x0D\\x0A), waiting for a new one ..."),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("RT App client gave no version ({ not the app), waiting for a new one ..."), std::string::npos);
  EXPECT_EQ(log.find("JSON parse failed"), std::string::npos);
}

// The app's answer as a slow link or a busy machine brings it, and with more of its text behind
// it: the first JSON value is the answer, whatever follows is the app's.
TEST_F(HostileFeedTest, TheAppsAnswerInSeveralReadsOrWithMoreBehindItSeatsTheApp) {
  const std::string answer = R"({"version":"10.0.2","level":2})";
  const struct Case {
    const char* name;
    std::vector<std::string> reads;
  } cases[] = {
      {"two reads", {R"({"version":"10.)", R"(0.2","level":2})"}},
      {"cut inside a string after an escape", {R"(  {"version":"10.0.2","x":"\)", R"("}")", R"(,"level":2})"}},
      {"more text behind it", {answer + "\r\n{\"other\":1}RTTFC,junk"}},
      {"three reads and a second value", {"\r\n{", R"("version":"10.0.2",)", R"("level":2}{"version":"9"})"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_rtAppServer.start("0");
    FakeApp app(g_rtAppServer.listeningPort().value_or(0));
    std::string version;
    std::future<bool> handshake = programHandshake(version);
    EXPECT_EQ(app.line(), "Qs999=version\r\n");
    for (const std::string& read : c.reads) {
      EXPECT_NE(handshake.wait_for(300ms), std::future_status::ready) << "judged before its answer was whole";
      app.send(read);
    }
    if (handshake.wait_for(10s) != std::future_status::ready) gf_requestStop(StopReason::NewSettings, 0);
    ASSERT_TRUE(handshake.get());
    EXPECT_TRUE(g_rtAppServer.isConnected());
    const std::string expected = std::string_view(c.name) == "cut inside a string after an escape"
                                     ? R"({"version":"10.0.2","x":"\"}","level":2})"
                                     : answer;
    EXPECT_EQ(version, expected);
    g_rtAppServer.close();
  }
  EXPECT_EQ(logText().find("gave no version"), std::string::npos);
}

// A client that answers as the app does and then closes must not keep the seat: the watch the
// worker runs every tick frees it at once, and the handshake of the restarted run asks the client
// waiting behind it.
TEST_F(HostileFeedTest, ASeatedClientThatClosesFreesTheSeatAndTheNextIsAsked) {
  g_rtAppServer.start("0");
  const std::uint16_t tcpPort = g_rtAppServer.listeningPort().value_or(0);
  auto impostor = std::make_unique<FakeApp>(tcpPort);
  std::string version;
  std::future<bool> handshake = programHandshake(version);
  EXPECT_EQ(answerAsApp(*impostor), "Qs999=version\r\n");
  ASSERT_EQ(handshake.wait_for(10s), std::future_status::ready);
  ASSERT_TRUE(handshake.get());
  FakeApp app(tcpPort);  // the real app, waiting behind it
  EXPECT_TRUE(g_rtAppServer.watchClient());
  EXPECT_EQ(app.line(300), "<none>") << "not asked while the seat is held";

  impostor.reset();  // closes its end
  ASSERT_TRUE(eventually([] { return !g_rtAppServer.watchClient(); }));
  EXPECT_FALSE(g_rtAppServer.isConnected());
  // The restart as the worker runs it: the client dropped, the server started again on its port
  // text, which keeps the queue of clients waiting.
  g_rtAppServer.dropClient();
  g_rtAppServer.start("0");
  EXPECT_EQ(g_rtAppServer.listeningPort(), tcpPort);
  handshake = programHandshake(version);
  EXPECT_EQ(answerAsApp(app), "Qs999=version\r\n");
  ASSERT_EQ(handshake.wait_for(10s), std::future_status::ready);
  ASSERT_TRUE(handshake.get());
  EXPECT_EQ(trafficOfTheSeatedApp(app, 5'000'003).size(), 1u);
  EXPECT_EQ(logText().find("sendDataPacket to RealTraffic failed"), std::string::npos) << "no send had to fail first";

  // Gone while the handshake lets it settle: the app already waiting in the queue is asked at once,
  // on its first connection, not reset with the listening socket.
  g_rtAppServer.close();
  g_rtAppServer.start("0");
  const std::uint16_t again = g_rtAppServer.listeningPort().value_or(0);
  auto gone = std::make_unique<FakeApp>(again);
  handshake = programHandshake(version);
  EXPECT_EQ(answerAsApp(*gone), "Qs999=version\r\n");
  ASSERT_TRUE(eventually([] { return g_rtAppServer.isConnected(); }));
  FakeApp queued(again);
  const auto closed = std::chrono::steady_clock::now();
  gone.reset();
  EXPECT_EQ(answerAsApp(queued), "Qs999=version\r\n");
  EXPECT_LT(std::chrono::steady_clock::now() - closed, 1s);
  ASSERT_EQ(handshake.wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(handshake.get());
  EXPECT_NE(logText().find("RT App connection was stale, waiting for a new one ..."), std::string::npos);
}

TEST_F(HostileFeedTest, SilentClientsQueuedBeforeTheAppDoNotHoldItsSeat) {
  g_rtAppServer.start("0");
  const std::uint16_t tcpPort = g_rtAppServer.listeningPort().value_or(0);
  std::vector<std::unique_ptr<FakeApp>> silent;
  for (int i = 0; i < 50; ++i) silent.push_back(std::make_unique<FakeApp>(tcpPort));
  std::string version;
  std::future<bool> handshake = programHandshake(version);
  const auto appStarts = std::chrono::steady_clock::now();
  FakeApp app(tcpPort);
  EXPECT_EQ(answerAsApp(app), "Qs999=version\r\n");
  if (handshake.wait_for(15s) != std::future_status::ready) gf_requestStop(StopReason::NewSettings, 0);
  ASSERT_TRUE(handshake.get());
  EXPECT_EQ(trafficOfTheSeatedApp(app, 5'000'002).size(), 1u);
  const auto firstTraffic = std::chrono::steady_clock::now() - appStarts;
  // One at a time, the silent clients would have held the app out for 50 answer time-outs.
  EXPECT_LT(firstTraffic, 15s);
  for (auto& client : silent) EXPECT_EQ(client->line(100), "Qs999=version\r\n") << "each was asked";

  // A byte every 50 ms keeps a client readable, not within its answer's time limit.
  g_rtAppServer.close();
  g_rtAppServer.start("0");
  FakeApp trickler(g_rtAppServer.listeningPort().value_or(0));
  handshake = std::async(std::launch::async, [&version] {
    return gf_rtAppHandshake(g_rtAppServer, [&version](const std::string& reply) { version = reply; }, 50ms, 500ms);
  });
  EXPECT_EQ(trickler.line(), "Qs999=version\r\n");
  const auto dropped = [this] { return logText().find("RT App client gave no version ({") != std::string::npos; };
  for (int i = 0; i < 60 && !dropped(); ++i) {
    trickler.send(i == 0 ? "{" : " ");
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_TRUE(dropped()) << "still trickling after 3 s";
  g_rtAppServer.close();
  EXPECT_FALSE(handshake.get());
}

TEST_F(HostileFeedTest, AFloodOfBareEndTagsKeepsTheLogSmallAndTheParkedSetWhole) {
  {
    std::lock_guard lock(reader().parkedMutex);
    reader().parkedSet.assign(3, ParkedRecord{});
  }
  const std::uint16_t port = feed_test::freeUdpPort();
  std::jthread thread([port] { gf_trafficReader(port); });  // no app: nothing asked for
  ASSERT_TRUE(eventually([] { return g_rtAppTrafficReader.boundPort().has_value(); }));
  const net::Socket sender = net::createUdpSocket();
  const char* const tags[] = {"RTBUF_EOT", "RTPARK_EOT", "RTBUF_SEP"};
  std::uint32_t sent = 0;
  g_limitClockMs = 0;
  // Ten minutes of the limiter's clock; sent in bursts the loopback holds whole.
  for (int burst = 0; burst < 600; ++burst) {
    for (int i = 0; i < 100; ++i, ++sent) {
      g_limitClockMs += 10;
      net::sendDatagram(sender, "127.0.0.1", port, tags[sent % 3]);
    }
    if (!eventually([&] { return reader().datagramCount.load() == sent; })) break;
  }
  net::closeSocket(sender);
  reader().requestStop();
  thread.join();

  EXPECT_EQ(reader().unrequestedEndTags.load(), sent);
  EXPECT_FALSE(reader().bufferReceived);
  EXPECT_FALSE(reader().parkedReceived);
  {
    std::lock_guard lock(reader().parkedMutex);
    EXPECT_EQ(reader().parkedSet.size(), 3u);
  }
  EXPECT_TRUE(gf_takeHistoryBatches().empty());
  EXPECT_LT(logSize(), 1'000'000u) << "unlimited, this flood writes over 1.5 MB";
  const std::string log = logText();
  EXPECT_EQ(log.find("park traffic received"), std::string::npos);
  EXPECT_NE(log.find("more lines like 'RT App end tag without a request' not logged in the last minute"),
            std::string::npos);
}

TEST_F(HostileFeedTest, AFloodOfParkedRecordsStaysBoundedAndTheAppsParkedSetIsKept) {
  g_rtAppServer.start("0");
  FakeApp app(g_rtAppServer.listeningPort().value_or(0));
  ASSERT_TRUE(g_rtAppServer.waitForClient());
  const std::uint16_t port = feed_test::freeUdpPort();
  std::jthread thread([port] { gf_trafficReader(port); });
  EXPECT_EQ(app.line(), "Qs999=sendbuffer=5,6\n");
  ASSERT_TRUE(eventually([] { return g_rtAppTrafficReader.boundPort().has_value(); }));
  {
    std::lock_guard lock(reader().parkedMutex);
    reader().parkedSet.assign(3, ParkedRecord{});  // the list the parking code works with
  }
  const net::Socket sender = net::createUdpSocket();
  std::uint32_t sent = 0;
  const auto flood = [&](std::uint32_t count, std::size_t standLength) {
    for (std::uint32_t i = 0; i < count; ++i, ++sent) {
      g_limitClockMs += 10;
      const std::string stand = standLength ? std::string(standLength, 'S') : fmt::format("F{}", i);
      net::sendDatagram(sender, "127.0.0.1", port,
                        fmt::format("RTPARK,{:X},52.0,4.5,FLD{},B738,,{},1733400000", 0x100000 + sent, i, stand));
      // In bursts the loopback holds whole.
      const std::uint32_t burst = standLength > 1000 ? 10 : 100;
      if (sent % burst == burst - 1) {
        ASSERT_TRUE(eventually([&] { return reader().datagramCount.load() == sent + 1; }));
      }
    }
    ASSERT_TRUE(eventually([&] { return reader().datagramCount.load() == sent; }));
  };
  const auto parkedCounts = [&] {
    std::lock_guard lock(reader().parkedMutex);
    return std::pair(reader().parkedSet.size(), reader().parkedIncoming.size());
  };

  // Nothing asked for: short records and records with 8-KB stand names alike are not taken.
  flood(3000, 0);
  flood(3000, 8192);
  EXPECT_EQ(reader().unrequestedParkedRecords.load(), 6000u);
  EXPECT_EQ(parkedCounts(), (std::pair<std::size_t, std::size_t>(3, 0))) << "the parked set stays as it was";

  // Asked for: the app's four aircraft, then more records than any airport has, then its end.
  setParkAirport(kCentre);
  gf_requestParkedTraffic();
  EXPECT_TRUE(app.line().starts_with("Qs999=sendparked,"));
  for (int i = 1; i <= 4; ++i) {
    net::sendDatagram(sender, "127.0.0.1", port,
                      fmt::format("RTPARK,A0000{},52.0,4.5,KLM{},B738,PH-BX{},D{},1733400000", i, i, i, i));
    ++sent;
  }
  flood(2000, 8192);
  flood(static_cast<std::uint32_t>(kMaxRTAppParkedRecords) + 1000, 0);
  EXPECT_EQ(parkedCounts().second, kMaxRTAppParkedRecords);
  net::sendDatagram(sender, "127.0.0.1", port, "RTPARK_EOT");
  ++sent;
  ASSERT_TRUE(eventually([] { return g_rtAppTrafficReader.parkedReceived.load(); }));
  std::vector<ParkedRecord> bounded;
  {
    std::lock_guard lock(reader().parkedMutex);
    bounded = reader().parkedSet;
  }

  // Two requests in a row: the first's end tag and its late records are not the second's list.
  const auto park = [&](const std::string& callsign) {
    net::sendDatagram(sender, "127.0.0.1", port,
                      fmt::format("RTPARK,B{:05X},52.0,4.5,{},B738,,S1,1733400000", ++sent, callsign));
  };
  gf_requestParkedTraffic();
  EXPECT_TRUE(app.line().starts_with("Qs999=sendparked,"));
  park("OLD1");
  gf_requestParkedTraffic();
  EXPECT_TRUE(app.line().starts_with("Qs999=sendparked,"));
  park("OLD2");
  net::sendDatagram(sender, "127.0.0.1", port, "RTPARK_EOT");
  ++sent;
  for (const char* callsign : {"NEW1", "NEW2"}) park(callsign);
  ASSERT_TRUE(eventually([&] { return reader().datagramCount.load() == sent; }));
  EXPECT_FALSE(g_rtAppTrafficReader.parkedReceived.load()) << "the first request's end is not the list's";
  net::sendDatagram(sender, "127.0.0.1", port, "RTPARK_EOT");
  ASSERT_TRUE(eventually([] { return g_rtAppTrafficReader.parkedReceived.load(); }));
  {
    std::lock_guard lock(reader().parkedMutex);
    ASSERT_EQ(reader().parkedSet.size(), 2u);
    EXPECT_EQ(reader().parkedSet[0].callsign, "NEW1");
    EXPECT_EQ(reader().parkedSet[1].callsign, "NEW2");
  }
  net::closeSocket(sender);
  reader().requestStop();
  thread.join();

  std::lock_guard lock(reader().parkedMutex);
  reader().parkedSet = bounded;
  ASSERT_EQ(reader().parkedSet.size(), kMaxRTAppParkedRecords);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(reader().parkedSet[i].callsign, fmt::format("KLM{}", i + 1));
    EXPECT_EQ(reader().parkedSet[i].standName, fmt::format("D{}", i + 1));
  }
  for (const ParkedRecord& record : reader().parkedSet) ASSERT_LE(record.standName.size(), kMaxRTAppParkedFieldLength);
  const std::string log = logText();
  EXPECT_NE(log.find(fmt::format("RT App parked list reached {} records; the rest of it is ignored",
                                 kMaxRTAppParkedRecords)),
            std::string::npos);
  EXPECT_NE(log.find("RT App parked record refused: field 7 is longer than 64 characters"), std::string::npos);
  EXPECT_NE(log.find("RT App parked record without a request of ours ignored (1 so far)"), std::string::npos);
  EXPECT_LT(logSize(), 100'000u);
}

}  // namespace
