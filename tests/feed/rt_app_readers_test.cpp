#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "feed/feed_reports.h"
#include "feed/qnh.h"
#include "feed/rt_app_socket.h"
#include "feed/rt_app_weather.h"
#include "tests/feed/feed_test_support.h"

namespace {

using feed_test::eventually;
using testing::StrEq;
using testing::ThrowsMessage;

class RecordingSocket : public RTAppSocket {
 public:
  std::vector<std::string> lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  std::atomic<int> disconnects{0};

 protected:
  void handleLine() override {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
  }
  void onDisconnect() override { ++disconnects; }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

struct Report {
  FeedReport kind;
  std::uint32_t value;
};
std::mutex g_reportsMutex;
std::vector<Report> g_reports;
void recordReport(FeedReport kind, std::uint32_t value) {
  std::lock_guard lock(g_reportsMutex);
  g_reports.push_back({kind, value});
}

class RTAppReaderTest : public feed_test::LoggedTest {
 protected:
  void SetUp() override {
    LoggedTest::SetUp();
    g_qnh = kStandardQnh;
    g_rtAppWeatherReader.resetReceivedLineState();
    g_rtAppWeatherReader.stopFlag = 0;
    {
      std::lock_guard lock(g_reportsMutex);
      g_reports.clear();
    }
    gf_setFeedReportSinks({recordReport, nullptr});
    sender = net::createUdpSocket();
  }
  void TearDown() override {
    net::closeSocket(sender);
    gf_setFeedReportSinks({});
    g_rtAppWeatherReader.close();
    g_rtAppWeatherReader.resetReceivedLineState();
    g_rtAppWeatherReader.stopFlag = 0;
    g_qnh = kStandardQnh;
    LoggedTest::TearDown();
  }
  void send(std::uint16_t port, const std::string& text) {
    ASSERT_EQ(net::sendDatagram(sender, "127.0.0.1", port, text), static_cast<int>(text.size()));
  }
  std::vector<Report> reports() {
    std::lock_guard lock(g_reportsMutex);
    return g_reports;
  }
  net::Socket sender = net::kInvalidSocket;
};

TEST_F(RTAppReaderTest, RepeatsAreHandledOnceAndOversizedDatagramsAreDiscarded) {
  RecordingSocket socket;
  socket.create();
  socket.bindToPort(0);
  const std::uint16_t port = socket.boundPort().value_or(0);
  ASSERT_NE(port, 0);
  std::jthread receiver([&] { socket.receive(); });

  send(port, "RTTFC_EOT");
  send(port, "RTTFC_EOT");
  send(port, std::string(RTAppSocket::kMaxDatagram + 1, 'x'));  // 16385: one too many
  send(port, std::string(20000, 'y'));                          // beyond the buffer
  send(port, std::string(RTAppSocket::kMaxDatagram, 'z'));      // 16384 fits
  send(port, "RTPARK_EOT");
  send(port, "RTTFC_EOT");
  send(port, "");  // nothing to count
  ASSERT_TRUE(eventually([&] { return socket.datagramCount == 7; })) << socket.datagramCount;
  ASSERT_TRUE(eventually([&] { return socket.lines().size() == 4; }));
  socket.requestStop();
  receiver.join();

  const auto lines = socket.lines();
  EXPECT_EQ(lines[0], "RTTFC_EOT");
  EXPECT_EQ(lines[1], std::string(RTAppSocket::kMaxDatagram, 'z'));
  EXPECT_EQ(lines[2], "RTPARK_EOT");
  EXPECT_EQ(lines[3], "RTTFC_EOT");  // again after another datagram
  EXPECT_EQ(socket.disconnects, 1);
  const std::string log = logText();
  std::size_t count = 0;
  for (auto at = log.find("UDP datagram exceeds 16384 bytes; discarded"); at != std::string::npos;
       at = log.find("UDP datagram exceeds 16384 bytes; discarded", at + 1))
    ++count;
  EXPECT_EQ(count, 2u) << log;
}

// A bind failure is pinned through the traffic reader, which reports its text.
TEST_F(RTAppReaderTest, SocketMisuseThrows) {
  RecordingSocket socket;
  EXPECT_THAT([&] { socket.bindToPort(0); },
              ThrowsMessage<std::runtime_error>(StrEq("bindToPort: socket_ is INVALID_SOCKET")));
  EXPECT_THAT([&] { socket.receive(); }, ThrowsMessage<std::runtime_error>(StrEq("receive: socket_ is INVALID_SOCKET")));
}

TEST_F(RTAppReaderTest, AStopAskedForBeforeTheLoopStartsIsKept) {
  enum class StopAt { AfterBind, BeforeCreate, BeforeACreateAgain };
  for (const StopAt at : {StopAt::AfterBind, StopAt::BeforeCreate, StopAt::BeforeACreateAgain}) {
    RecordingSocket socket;
    if (at == StopAt::BeforeACreateAgain) socket.create();
    if (at != StopAt::AfterBind) socket.requestStop();
    socket.create();
    socket.bindToPort(0);
    if (at == StopAt::AfterBind) socket.requestStop();
    std::jthread receiver([&] { socket.receive(); });
    EXPECT_TRUE(eventually([&] { return socket.disconnects == 1; })) << static_cast<int>(at);
    socket.requestStop();  // frees a loop that lost the stop
  }
}

TEST_F(RTAppReaderTest, TheWeatherThreadStoppedBeforeItStartsEndsAtOnce) {
  g_rtAppWeatherReader.requestStop();
  std::atomic<bool> ended{false};
  std::jthread thread([&ended, port = feed_test::freeUdpPort()] {
    gf_weatherReader(port);
    ended = true;
  });
  EXPECT_TRUE(eventually([&] { return ended.load(); }));
  EXPECT_TRUE(gf_isRunning());
  if (!ended) gf_requestStop(StopReason::NewSettings, 0);
  thread.join();
  EXPECT_NE(logText().find("QNH Reader disconnected"), std::string::npos);
}

TEST_F(RTAppReaderTest, WeatherLinesPublishTheQnhOnceAndComplainAboutBadReports) {
  RTAppWeatherReader& reader = g_rtAppWeatherReader;
  reader.handleText(R"({"ICAO":"EHAM","METAR":"EHAM 051025Z 24012KT 9999 Q1008"})");
  EXPECT_EQ(g_qnh, 1008);
  EXPECT_EQ(reader.lastQnh, 1008u);
  const std::int64_t firstSeen = reader.lastMetarTime;
  EXPECT_GT(firstSeen, 0);

  reader.handleText(R"({"ICAO":"EHAM","METAR":"EHAM 051025Z 24012KT 9999 Q1008","extra":1})");  // same METAR
  EXPECT_GE(reader.lastMetarTime.load(), firstSeen);
  reader.handleText(R"({"METAR":"EHAM 051055Z 24013KT 9999 Q1008"})");  // new report, same QNH
  EXPECT_EQ(reader.lastMetar, "EHAM 051055Z 24013KT 9999 Q1008");
  reader.handleText(R"({"METAR":"EHAM 051125Z 24013KT 9999 Q1O13"})");
  reader.handleText(R"({"METAR":"EHAM 051125Z 24013KT NIL"})");
  reader.handleText(R"({"METAR":12})");
  // Junk, refused without an exception: not JSON, cut short, a value with more behind it.
  for (const char* junk : {"not json", R"({"METAR":"EHAM 051125Z Q1010")", R"({"METAR":"EHAM Q1020"}x)"})
    reader.handleText(junk);
  EXPECT_EQ(g_qnh, 1008);
  EXPECT_EQ(reader.lastMetar, "EHAM 051055Z 24013KT 9999 Q1008");

  const auto posted = reports();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].kind, FeedReport::SetQnh);
  EXPECT_EQ(posted[0].value, 1008u);

  const std::string log = logText();
  EXPECT_NE(log.find(R"(==> invalid QNH code: Q1O13 in {"METAR":"EHAM 051125Z 24013KT 9999 Q1O13"})"), std::string::npos)
      << log;
  EXPECT_NE(log.find(R"(no QNH {"METAR":"EHAM 051125Z 24013KT NIL"})"), std::string::npos);
  EXPECT_NE(log.find(R"(no QNH {"METAR":12})"), std::string::npos);
  EXPECT_NE(log.find("Exception [json.exception.parse_error.101] parse error at line 1, column 2: syntax error while "
                     "parsing value - invalid literal; last read: 'no', in not json"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(R"(unexpected end of input; expected '}', in {"METAR":"EHAM 051125Z Q1010")"), std::string::npos)
      << log;
  EXPECT_NE(log.find(R"(, in {"METAR":"EHAM Q1020"}x)"), std::string::npos);
}

TEST_F(RTAppReaderTest, TheWeatherThreadReceivesPublishesAndEndsOnStop) {
  const std::uint16_t port = feed_test::freeUdpPort();
  std::jthread thread([port] { gf_weatherReader(port); });
  ASSERT_TRUE(eventually([] { return g_rtAppWeatherReader.boundPort().has_value(); }));
  ASSERT_TRUE(eventually([&] {
    send(port, R"({"METAR":"EDDF 051020Z 27005KT CAVOK 05/01 Q1021="})");
    return g_qnh == 1021;
  }));
  gf_requestStop(StopReason::NewSettings, 0);
  g_rtAppWeatherReader.requestStop();
  thread.join();

  const auto posted = reports();
  ASSERT_GE(posted.size(), 3u);
  EXPECT_EQ(posted.front().kind, FeedReport::SetWeatherReaderState);
  EXPECT_EQ(posted.front().value, 0u);
  EXPECT_EQ(posted[1].kind, FeedReport::SetQnh);
  EXPECT_EQ(posted[1].value, 1021u);
  EXPECT_EQ(posted.back().kind, FeedReport::SetWeatherReaderState);
  EXPECT_EQ(posted.back().value, 2u);
  const std::string log = logText();
  EXPECT_NE(log.find("QNH Reader connected"), std::string::npos);
  EXPECT_NE(log.find("QNH Reader disconnected"), std::string::npos);
  EXPECT_FALSE(g_rtAppWeatherReader.boundPort());
}

TEST_F(RTAppReaderTest, TheWeatherThreadRetriesAfterASocketErrorAndGivesUpOnStop) {
  net::UdpReceiver holder;  // keeps the port taken, so every bind fails
  ASSERT_TRUE(holder.open(0, 10));
  std::jthread thread([port = holder.port()] { gf_weatherReader(port); });
  ASSERT_TRUE(eventually([&] { return logText().find("reconnecting ...") != std::string::npos; }));
  gf_requestStop(StopReason::NewSettings, 0);
  thread.join();
  const std::string log = logText();
  EXPECT_NE(log.find("==> gf_weatherReader exception: bind failed, error: 10048 Address already in use; reconnecting ..."),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("QNH Reader disconnected"), std::string::npos);
}

}  // namespace
