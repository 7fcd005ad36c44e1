#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <atomic>
#include <future>
#include <string>
#include <thread>

#include "feed/rt_app_requests.h"
#include "feed/rt_app_server.h"
#include "tests/feed/feed_test_support.h"

namespace {

using namespace std::chrono_literals;
using feed_test::FakeApp;
using testing::ThrowsMessage;

class RTAppServerTest : public feed_test::LoggedTest {
 protected:
  void SetUp() override {
    LoggedTest::SetUp();
    server.start("0");
    port = server.listeningPort().value_or(0);
    ASSERT_NE(port, 0);
  }
  void TearDown() override {
    server.close();
    LoggedTest::TearDown();
  }
  // Connects an app and accepts it.
  std::unique_ptr<FakeApp> connectApp() {
    auto app = std::make_unique<FakeApp>(port);
    EXPECT_TRUE(app->connected());
    EXPECT_TRUE(server.waitForClient());
    return app;
  }
  RTAppServer server;
  std::uint16_t port = 0;
};

TEST(WinsockErrorText, KnownAndUnknownCodes) {
  EXPECT_EQ(gf_winsockErrorText(10040), "10040 Messenger too long");
  EXPECT_EQ(gf_winsockErrorText(11004), "11004 No host data of that type was found");
  EXPECT_EQ(gf_winsockErrorText(5), "5 Unknown errror code");
  EXPECT_EQ(gf_winsockErrorText(11002), "11002 Unknown errror code");
  EXPECT_EQ(gf_winsockErrorText(0), "0 Unknown errror code");
}

TEST_F(RTAppServerTest, LinesGoOutWholeAndASecondWaitWhileConnectedReturnsAtOnce) {
  auto app = connectApp();
  EXPECT_TRUE(server.isConnected());
  EXPECT_FALSE(server.waitForClient());  // returns without accepting anyone
  EXPECT_TRUE(server.sendDataPacket("Qs999=version\r\n"));
  EXPECT_TRUE(server.sendDataPacket("Qs999=sendbuffer=5,6\n"));
  EXPECT_EQ(app->line(), "Qs999=version\r\n");
  EXPECT_EQ(app->line(), "Qs999=sendbuffer=5,6\n");
}

TEST_F(RTAppServerTest, NothingIsSentOrReceivedWithoutAnApp) {
  EXPECT_FALSE(server.sendDataPacket("Qs123=1000\r\n"));
  EXPECT_EQ(server.receive(), "");
  server.drainReceiveBuffer();
  EXPECT_FALSE(server.isConnected());
}

TEST_F(RTAppServerTest, TheReplyIsReadAndARepliesBufferFullIsAnOverrun) {
  auto app = connectApp();
  app->send(R"({"version":"10.0.2","level":2})");
  EXPECT_EQ(server.receive(), R"({"version":"10.0.2","level":2})");

  app->send(std::string(RTAppServer::kReceiveBufferSize, 'x'));
  // The whole 16384 bytes may arrive in pieces over loopback; wait until they are all there.
  for (int i = 0; i < 100 && net::waitReadable(server.clientSocket(), 0) == 0; ++i) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(server.receive(), "");
  EXPECT_NE(logText().find("receive: buffer overrun: 16384"), std::string::npos);
}

TEST_F(RTAppServerTest, DrainingDropsInputAndNoticesAnAppThatHasGone) {
  auto app = connectApp();
  app->send("chatter the program does not read\r\n");
  std::this_thread::sleep_for(20ms);
  server.drainReceiveBuffer();
  EXPECT_TRUE(server.isConnected());
  EXPECT_TRUE(server.sendDataPacket("Qs123=5000\r\n"));
  EXPECT_EQ(app->line(), "Qs123=5000\r\n");

  app->close();
  std::this_thread::sleep_for(20ms);
  server.drainReceiveBuffer();
  EXPECT_FALSE(server.isConnected());
  // The server still listens: the app may come back.
  auto again = connectApp();
  EXPECT_TRUE(server.isConnected());
}

TEST_F(RTAppServerTest, AFailedWriteClosesTheConnectionAndSaysSo) {
  auto app = connectApp();
  app->close();
  bool sent = true;
  for (int i = 0; i < 100 && sent; ++i) {
    sent = server.sendDataPacket("Qs121=0;0;0.000000;0;0;0.000000;0.000000\r\n");
    if (sent) std::this_thread::sleep_for(5ms);
  }
  EXPECT_FALSE(sent);
  EXPECT_FALSE(server.isConnected());
  const std::string log = logText();
  EXPECT_NE(log.find("sendDataPacket to RealTraffic failed: 10054 Connection reset by peer"), std::string::npos) << log;
  EXPECT_NE(log.find("RealTraffic client socket closed"), std::string::npos);
}

// An app that stops reading: once its socket's buffers are full a send gives up instead of
// holding the worker, and the connection is closed for the app to come back.
TEST_F(RTAppServerTest, AnAppThatStopsReadingHoldsNoSend) {
  auto app = connectApp();
  const std::string line(64 * 1024, 'x');
  bool sent = true;
  int sends = 0;
  for (; sends < 2000 && sent; ++sends) sent = server.sendDataPacket(line);  // 128 MB at most
  EXPECT_FALSE(sent) << sends << " sends all taken";
  EXPECT_FALSE(server.isConnected());
  EXPECT_NE(logText().find("sendDataPacket to RealTraffic failed"), std::string::npos);
}

TEST_F(RTAppServerTest, StartFailuresNameTheirStep) {
  RTAppServer other;
  EXPECT_THAT([&] { other.start("nosuchservicexyz"); },
              ThrowsMessage<std::runtime_error>(testing::StartsWith("getaddrinfo failed with error ")));
  EXPECT_THAT([&] { other.start(std::to_string(port)); },  // held by the fixture's server
              ThrowsMessage<std::runtime_error>(
                  "Bind failed at port " + std::to_string(port) + " with error 10048 Address already in use"));
  EXPECT_FALSE(other.listeningPort());
  // After a close the same port can be taken again.
  server.close();
  other.start(std::to_string(port));
  EXPECT_EQ(other.listeningPort(), port);
  other.close();
}

TEST_F(RTAppServerTest, CloseFromAnotherThreadEndsTheWait) {
  auto waiting = std::async(std::launch::async, [&] { return server.waitForClient(); });
  std::this_thread::sleep_for(20ms);
  server.close();
  ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
  EXPECT_FALSE(waiting.get());
  EXPECT_FALSE(server.waitForClient());  // not listening any more
}

TEST_F(RTAppServerTest, AStopRequestEndsTheWait) {
  auto waiting = std::async(std::launch::async, [&] { return server.waitForClient(); });
  gf_requestStop(StopReason::NewSettings, 0);
  ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
  EXPECT_FALSE(waiting.get());
}

TEST_F(RTAppServerTest, ClosingTheWindowClosesTheRunningProgramServer) {
  gf_publishSimChoice(SimChoice{2, 1});  // RT App
  g_rtAppServer.start("0");
  auto waiting = std::async(std::launch::async, [] { return g_rtAppServer.waitForClient(); });
  gf_requestStop(StopReason::UserClosedSim, 0);
  ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
  EXPECT_FALSE(waiting.get());
  EXPECT_FALSE(g_rtAppServer.listeningPort());
}

TEST_F(RTAppServerTest, TheTimeGoesOnlyToAConnectedAppAndOnlyWhenKnown) {
  g_rtAppServer.start("0");
  FakeApp app(g_rtAppServer.listeningPort().value_or(0));
  ASSERT_TRUE(g_rtAppServer.waitForClient());
  gf_sendTimeOffsetToRTApp(0);
  gf_sendTimeOffsetToRTApp(1733400000);
  EXPECT_EQ(app.line(), "Qs123=1733400000000\r\n");
  g_rtAppServer.close();
}

TEST_F(RTAppServerTest, TheHandshakeHandsOnTheReplyOfALiveConnection) {
  std::string version;
  auto app = std::async(std::launch::async, [&] {
    FakeApp fake(port);
    const std::string request = fake.line();
    fake.send(R"({"version":"10.0.2","level":1})");
    std::this_thread::sleep_for(300ms);  // stays connected through the settle time
    return request;
  });
  EXPECT_TRUE(gf_rtAppHandshake(server, [&](const std::string& reply) { version = reply; }, 50ms));
  EXPECT_EQ(app.get(), "Qs999=version\r\n");
  EXPECT_EQ(version, R"({"version":"10.0.2","level":1})");
  EXPECT_NE(logText().find("RealTraffic connected"), std::string::npos);
}

TEST_F(RTAppServerTest, AStaleConnectionRestartsTheServerOnThePort) {
  std::string version;
  std::atomic<bool> handshakeDone{false};
  auto apps = std::async(std::launch::async, [&] {
    {
      FakeApp stale(port);
      stale.line();
      stale.send(R"({"version":"old","level":1})");
    }  // gone before the settle time ends
    // Asked while the stale one still held the seat, it is dropped with the others: it comes back.
    bool answered = false;
    for (int attempt = 0; attempt < 500 && !handshakeDone; ++attempt) {
      FakeApp fresh(port);
      if (!fresh.connected()) {
        std::this_thread::sleep_for(10ms);
        continue;
      }
      if (fresh.line() != "Qs999=version\r\n") continue;
      fresh.send(R"({"version":"new","level":2})");
      answered = true;
      std::this_thread::sleep_for(500ms);
    }
    return answered;
  });
  EXPECT_TRUE(gf_rtAppHandshake(server, [&](const std::string& reply) { version = reply; }, 100ms));
  handshakeDone = true;
  EXPECT_TRUE(apps.get());
  EXPECT_EQ(version, R"({"version":"new","level":2})");
  EXPECT_NE(logText().find("RT App connection was stale, waiting for a new one ..."), std::string::npos);
}

TEST_F(RTAppServerTest, ASilentFirstClientIsDroppedAndTheAppBehindItServed) {
  FakeApp silent(port);  // connects first and never answers
  auto app = std::async(std::launch::async, [&] {
    FakeApp fake(port);
    const std::string request = fake.line();
    fake.send(R"({"version":"10.0.2","level":2})");
    std::this_thread::sleep_for(300ms);
    return request;
  });
  std::string version;
  auto handshake = std::async(std::launch::async, [&] {
    return gf_rtAppHandshake(server, [&](const std::string& reply) { version = reply; }, 50ms, 200ms);
  });
  if (handshake.wait_for(8s) != std::future_status::ready) gf_requestStop(StopReason::NewSettings, 0);
  EXPECT_TRUE(handshake.get());
  EXPECT_EQ(app.get(), "Qs999=version\r\n");
  EXPECT_EQ(version, R"({"version":"10.0.2","level":2})");
  EXPECT_EQ(silent.line(100), "Qs999=version\r\n");  // it was asked first
}

TEST(RTAppVersion, RepliesAndEditions) {
  using Status = RTAppVersionReply::Status;
  struct Case {
    const char* reply;
    Status status;
    bool professional;
    const char* licenseText;
  };
  const Case cases[] = {
      {"", Status::Empty, false, ""},
      {"not json", Status::ParseFailed, false, ""},
      {"[1,2]", Status::NotObject, false, ""},
      {R"({"version":"10.0.2","level":2})", Status::Ok, true, "RT App prof edition: 10.0.2"},
      {R"({"version":"10.0.2","level":1})", Status::Ok, false, "RT App stnd edition: 10.0.2"},
      {R"({"version":"9.1"})", Status::Ok, false, "RT App stnd edition: 9.1"},
      {R"({"version":"9.1","level":"2"})", Status::Ok, false, "RT App stnd edition: 9.1"},
      {"{\"version\":\"9.1\",\"level\":3}\r\n", Status::Ok, false, "RT App stnd edition: 9.1"},
  };
  for (const Case& c : cases) {
    const RTAppVersionReply reply = gf_parseRTAppVersion(c.reply);
    EXPECT_EQ(reply.status, c.status) << c.reply;
    EXPECT_EQ(reply.professional, c.professional) << c.reply;
    EXPECT_EQ(reply.licenseText, c.licenseText) << c.reply;
  }
  EXPECT_FALSE(gf_parseRTAppVersion("{").parseError.empty());
}

TEST(RTAppRequestLines, BufferAndParkedBoxes) {
  EXPECT_EQ(gf_rtAppBufferLine(std::nullopt, 40), "Qs999=sendbuffer=5,6\n");

  // On the equator a box is symmetric, and its east-west half width is the range in minutes.
  const std::string line = gf_rtAppBufferLine(Lalo{0.0, 10.0}, 40);
  double south = 0, west = 0, north = 0, east = 0;
  ASSERT_EQ(std::sscanf(line.c_str(), "Qs999=sendbuffer=5,6,%lf,%lf,%lf,%lf\n", &south, &west, &north, &east), 4) << line;
  EXPECT_EQ(line.back(), '\n');
  EXPECT_NE(line[line.size() - 2], '\r');
  EXPECT_NEAR(south, -40 * 1.852 / 111.2, 1e-6);
  EXPECT_NEAR(north, 40 * 1.852 / 111.2, 1e-6);
  EXPECT_NEAR(west, 10.0 - 40.0 / 60.0, 1e-5);
  EXPECT_NEAR(east, 10.0 + 40.0 / 60.0, 1e-5);

  // Near the date line the box stops at it on the far side: west stays below east.
  const RTAppBox taveuni = gf_rtAppParkedBox(Lalo{-16.80, -179.98});
  EXPECT_EQ(taveuni.west, -180.0);
  EXPECT_LT(taveuni.west, taveuni.east);
  EXPECT_TRUE(gf_rtAppBufferLine(Lalo{-16.80, 179.98}, 40).ends_with(",180.000000\n"));

  const RTAppBox parked = gf_rtAppParkedBox(Lalo{52.308601, 4.763889});
  EXPECT_NEAR(parked.north - 52.308601, 0.049964, 1e-6);
  EXPECT_NEAR((parked.east - parked.west) / 2 * std::cos(52.308601 * geo::kDegToRad), 3.0 / 60.0, 1e-4);
  const std::string parkedLine = gf_rtAppParkedLine(Lalo{52.308601, 4.763889});
  EXPECT_TRUE(parkedLine.starts_with("Qs999=sendparked,52.258637,") && parkedLine.ends_with("\r\n")) << parkedLine;
}

}  // namespace
