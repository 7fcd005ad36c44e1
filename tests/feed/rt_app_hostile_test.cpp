// The RT App link under a hostile local network: floods, forged log lines, foreign senders.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <filesystem>
#include <thread>
#include <vector>

#include "core/log.h"
#include "core/text.h"
#include "feed/rt_api_decode.h"
#include "feed/rt_app_requests.h"
#include "feed/rt_app_server.h"
#include "feed/rt_app_traffic.h"
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

TEST_F(HostileFeedTest, AClientThatAnswersNotAsTheAppIsDroppedAndTheAppBehindItServed) {
  RTAppServer server;
  server.start("0");
  const std::uint16_t port = server.listeningPort().value_or(0);
  FakeApp stray(port);  // connects first and answers with anything but the version
  auto strayAnswers = std::async(std::launch::async, [&] {
    const std::string request = stray.line();
    stray.send("HTTP/1.0 200 OK\r\n\r\n");
    return request;
  });
  auto app = std::async(std::launch::async, [&] {
    FakeApp fake(port);
    const std::string request = fake.line();
    fake.send(R"({"version":"10.0.2","level":2})");
    std::this_thread::sleep_for(300ms);
    return request;
  });
  std::string version;
  auto handshake = std::async(std::launch::async, [&] {
    return gf_rtAppHandshake(
        server, "0", [&](const std::string& reply) { version = reply; }, 50ms, 2000ms);
  });
  if (handshake.wait_for(8s) != std::future_status::ready) gf_requestStop(StopReason::NewSettings, 0);
  EXPECT_TRUE(handshake.get());
  EXPECT_EQ(strayAnswers.get(), "Qs999=version\r\n");
  EXPECT_EQ(app.get(), "Qs999=version\r\n");
  EXPECT_EQ(version, R"({"version":"10.0.2","level":2})");
  EXPECT_NE(
      logText().find("RT App client gave no version (HTTP/1.0 200 OK\\x0D\\x0A\\x0D\\x0A), waiting for a new one ..."),
      std::string::npos)
      << logText();
  server.close();
}

}  // namespace
