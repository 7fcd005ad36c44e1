#include <gtest/gtest.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "appbase/stop_request.h"
#include "feed/qnh.h"
#include "feed/rt_app_messages.h"
#include "feed/rt_app_requests.h"
#include "feed/rt_app_server.h"
#include "platform/net.h"
#include "standin/realtraffic/rt_app_peer.h"
#include "standin/realtraffic/traffic_scenario.h"

namespace {

using namespace rtstandin;

std::vector<std::string_view> split(std::string_view line) {
  std::vector<std::string_view> fields;
  gf_splitRTAppLine(line, fields);
  return fields;
}

// Every datagram that arrives until the channel stays quiet for a moment.
std::vector<std::string> drain(net::UdpReceiver& receiver) {
  std::vector<std::string> datagrams;
  std::string text;
  while (receiver.receive(text)) datagrams.push_back(text);
  return datagrams;
}

TEST(TrafficScenarioFile, TheSampleDecodesWithTheProgramsOwnReaders) {
  // The hand-written flights first, then the generated traffic around Zurich.
  const TrafficScenario scenario = loadScenario(JORV_SAMPLE_SCENARIO);
  ASSERT_GT(scenario.flights.size(), 5u + 15u);
  ASSERT_EQ(scenario.parked.size(), 14u);
  ASSERT_EQ(scenario.metars.size(), 2u);
  EXPECT_EQ(scenario.flights[0].hexid, 0x4840D6u);

  for (const Flight& flight : scenario.flights) {
    for (double t = flight.track.front().t; t <= flight.track.back().t; t += 7.5) {
      const auto point = positionAt(flight, t);
      ASSERT_TRUE(point) << flight.callsign << " at " << t;
      for (const TrafficLayout layout : {TrafficLayout::airlineCode, TrafficLayout::vendor, TrafficLayout::mixed}) {
        const std::string line = trafficLine(flight, *point, scenario.startTime, "RTTFC", layout, scenarioQnhHpa(scenario));
        const auto fields = split(line);
        ASSERT_EQ(fields.size(), kRTAppTrafficFieldCount) << line;
        TrafficFields decoded;
        ASSERT_NO_THROW(gf_decodeRTAppPosition(fields, decoded)) << line;
        ASSERT_NO_THROW(gf_decodeRTAppTraffic(fields, decoded)) << line;
        EXPECT_EQ(decoded.hexid, flight.hexid);
        EXPECT_EQ(decoded.callsign, flight.callsign);
        EXPECT_NEAR(decoded.timestamp, static_cast<double>(scenario.startTime) + t, 0.01);
        EXPECT_NEAR(decoded.lat, point->lat, 1e-6);
        // The sample's QNH is 1013 hPa: the app's altitude is the pressure altitude 7.5 ft lower.
        EXPECT_NEAR(decoded.altitude, point->altitude > 0 ? point->altitude - 7.5 : 0.0, 0.51) << line;
        // RealTraffic's own layout: an authentication number, the uncorrected baro altitude before it.
        const bool vendor =
            layout == TrafficLayout::vendor || (layout == TrafficLayout::mixed && flight.hexid % 2 == 1);
        if (vendor) {
          EXPECT_FALSE(fields[43].empty()) << line;
          EXPECT_EQ(fields[43].find_first_not_of("0123456789"), std::string_view::npos) << line;
          EXPECT_NEAR(std::stod(std::string(fields[42])), point->altitude, 0.51) << line;
        } else {
          EXPECT_EQ(decoded.airlineCode, flight.airline) << line;
        }
      }
    }
  }
  for (const ParkedAircraft& aircraft : scenario.parked) {
    const std::string line = parkedLine(aircraft, scenario.startTime);
    const ParkedFields decoded = gf_decodeRTAppParked(split(line));
    EXPECT_EQ(decoded.hexid, aircraft.hexid) << line;
    EXPECT_EQ(decoded.standName, aircraft.stand);
    EXPECT_EQ(decoded.timestamp, scenario.startTime + static_cast<std::int64_t>(aircraft.seen));
  }
  const auto qnh = gf_metarFromWeatherData(nlohmann::json::parse(weatherDatagram(*metarAt(scenario, 10))));
  ASSERT_TRUE(qnh.hasValue());
  EXPECT_EQ(qnh.value(), 1013u);
  EXPECT_EQ(gf_metarFromWeatherData(nlohmann::json::parse(weatherDatagram(*metarAt(scenario, 400)))).value(), 1012u);
}

// The app sends the barometric altitude set to the QNH in field 4, which the program takes as it
// is below 17,000 ft, and as the transponder sent it in field 42; the scenario holds the latter.
TEST(TrafficScenarioFile, TheAppSetsTheScenariosAltitudesToItsQnh) {
  struct Metars {
    std::vector<Metar> metars;
    double qnh;
  } days[] = {
      {{}, 1013.25},
      {{{0, "LSZH", "LSZH 051150Z 24008KT 9999 FEW030 08/04 Q0985 NOSIG"}}, 985.0},
      {{{0, "EGLL", "EGLL 051150Z AUTO 24008KT CAVOK 08/04 NOSIG"}, {60, "LSZH", "LSZH 051220Z Q1035"}}, 1035.0},
      {{{0, "LSZH", "LSZH 051150Z Q1022="}, {60, "LSZH", "LSZH 051220Z Q1012"}}, 1013.25},  // "Q1022=" is no group
  };
  for (const Metars& day : days) {
    TrafficScenario scenario;
    scenario.metars = day.metars;
    EXPECT_EQ(scenarioQnhHpa(scenario), day.qnh == 1013.25 && !day.metars.empty() ? 1012.0 : day.qnh);
  }
  Flight flight;
  flight.hexid = 0x4B1001;  // odd: RealTraffic's own layout when mixed
  flight.callsign = "SWR100";
  flight.type = "A320";
  struct Case {
    double qnh;
    double pressureFeet;
    const char* field4;
    const char* field42;
    const char* airborne;
  } cases[] = {
      {1013.25, 3000.0, "3000", "3000", "1"},
      {985.0, 3000.0, "2152", "3000", "1"},   // 28.25 hPa low: 847.5 ft lower
      {1035.0, 3000.0, "3652", "3000", "1"},  // 652.5 ft higher
      {1035.0, 37000.0, "37652", "37000", "1"},
      {985.0, 0.0, "0", "0", "0"},  // the feed's ground stays the ground
  };
  for (const Case& c : cases) {
    TrackPoint point;
    point.lat = 47.46;
    point.lon = 8.55;
    point.altitude = c.pressureFeet;
    point.gs = 150.0;
    for (const TrafficLayout layout : {TrafficLayout::vendor, TrafficLayout::mixed, TrafficLayout::airlineCode}) {
      const std::string line = trafficLine(flight, point, 1733400000, "RTTFC", layout, c.qnh);
      const auto fields = split(line);
      ASSERT_EQ(fields.size(), kRTAppTrafficFieldCount) << line;
      EXPECT_EQ(fields[4], c.field4) << line;
      EXPECT_EQ(fields[6], c.airborne) << line;
      EXPECT_EQ(fields[42], layout == TrafficLayout::airlineCode ? "" : c.field42) << line;
    }
  }
}

TEST(TrafficScenarioFile, MistakesAreNamed) {
  struct Case {
    const char* json;
    const char* clue;
  };
  const Case cases[] = {
      {"{", "JSON"},
      {"[]", "not an object"},
      {R"({"flights":[]})", "\"start\" missing"},
      {R"({"start":1733400000,"flights":[{"hexid":"48G0D6","callsign":"A","type":"B738","track":[]}]})", "hexid"},
      {R"({"start":1733400000,"flights":[{"hexid":"4840D6","callsign":"A","type":"B738","track":[]}]})", "at least one point"},
      {R"({"start":1733400000,"flights":[{"hexid":"4840D6","callsign":"A","type":"B738","track":[
          {"t":5,"lat":1,"lon":1,"alt":0,"gs":0,"track":0},{"t":5,"lat":1,"lon":1,"alt":0,"gs":0,"track":0}]}]})",
       "times must increase"},
      {R"({"start":1733400000,"flights":[{"hexid":"4840D6","callsign":"A","type":"B738","track":[
          {"t":5,"lat":91,"lon":1,"alt":0,"gs":0,"track":0}]}]})",
       "outside the globe"},
      {R"({"start":1733400000,"flights":[{"hexid":"4840D6","callsign":"A","type":"B738","track":[
          {"t":5,"lat":"north","lon":1,"alt":0,"gs":0,"track":0}]}]})",
       "\"lat\" is not a number"},
      {R"({"start":1733400000,"parked":[{"hexid":"4840D6","type":"B738"}]})", "\"stand\" missing"},
      {R"({"start":1733400000,"metars":[{"t":9,"metar":"A"},{"t":1,"metar":"B"}]})", "times must not decrease"},
  };
  for (const Case& c : cases) {
    try {
      parseScenario(c.json);
      ADD_FAILURE() << "accepted: " << c.json;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.clue), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(loadScenario("/nonexistent/scenario.json"), std::runtime_error);
}

TEST(TrafficScenarioFile, PositionsBetweenTrackPoints) {
  Flight flight;
  flight.track = {{10, 50, 4, 1000, 100, 350, 0, 350, 0, 120}, {20, 51, 6, 2000, 200, 10, 0, 10, 0, 140}};
  EXPECT_FALSE(positionAt(flight, 9.9));
  EXPECT_FALSE(positionAt(flight, 20.1));
  const auto middle = positionAt(flight, 15);
  ASSERT_TRUE(middle);
  EXPECT_DOUBLE_EQ(middle->altitude, 1500);
  EXPECT_NEAR(middle->track, 0.0, 1e-9);  // the short way round through north
  EXPECT_DOUBLE_EQ(positionAt(flight, 20)->altitude, 2000);
  // Along the segment at the reported speeds, changing evenly: a roll from standstill covers a
  // quarter of its way in the first half of its time, not half of it at a speed never reported.
  struct Case {
    double gsA, gsB, t, along;
  } cases[] = {{100, 200, 15, 625.0 / 1500.0}, {0, 30, 14, 0.16}, {0, 30, 15, 0.25}, {30, 0, 15, 0.75},
               {150, 150, 15, 0.5}, {0, 0, 15, 0.5}, {100, 200, 20, 1.0}};
  for (const Case& c : cases) {
    flight.track[0].gs = c.gsA;
    flight.track[1].gs = c.gsB;
    const auto at = positionAt(flight, c.t);
    ASSERT_TRUE(at);
    EXPECT_NEAR(at->lat, 50.0 + c.along, 1e-9) << c.gsA << " to " << c.gsB << " kt at " << c.t;
    EXPECT_NEAR(at->lon, 4.0 + 2.0 * c.along, 1e-9) << c.gsA << " to " << c.gsB << " kt at " << c.t;
  }
}

class RTAppPeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_resetStopStateForTest();
    server.start("0");
    ASSERT_TRUE(traffic.open(0, 200));
    ASSERT_TRUE(weather.open(0, 200));
    options.tcpPort = server.listeningPort().value_or(0);
    options.trafficPort = traffic.port();
    options.weatherPort = weather.port();
    // The hand-written part of the sample, whose flights' times these tests count on.
    scenario = loadScenario(JORV_FIXED_SCENARIO);
  }
  void TearDown() override {
    server.close();
    gf_resetStopStateForTest();
  }
  std::unique_ptr<RTAppPeer> connectedPeer() {
    auto peer = std::make_unique<RTAppPeer>(scenario, options);
    EXPECT_TRUE(peer->connect());
    EXPECT_TRUE(server.waitForClient());
    return peer;
  }
  RTAppServer server;
  net::UdpReceiver traffic;
  net::UdpReceiver weather;
  PeerOptions options;
  TrafficScenario scenario;
};

TEST_F(RTAppPeerTest, AnswersTheProgramsRequestsAndRecordsThem) {
  auto peer = connectedPeer();
  peer->setTime(100);
  ASSERT_TRUE(server.sendDataPacket(std::string(kRTAppVersionRequest)));
  EXPECT_EQ(peer->pumpRequests(2000), 1);
  EXPECT_EQ(gf_parseRTAppVersion(server.receive()).licenseText, "RT App prof edition: 10.0.244");

  ASSERT_TRUE(server.sendDataPacket(gf_rtAppBufferLine(Lalo{52.3086, 4.7639}, 40)));
  ASSERT_TRUE(server.sendDataPacket(gf_rtAppParkedLine(Lalo{52.3086, 4.7639})));
  ASSERT_TRUE(server.sendDataPacket(gf_rtAppTimeLine(1733400100)));
  EXPECT_EQ(peer->pumpRequests(2000), 3);

  const auto datagrams = drain(traffic);
  std::vector<std::string> tags;
  for (const auto& d : datagrams) tags.emplace_back(split(d)[0]);
  // Three history batches (t = 70, 80, 90), separated, then the end marker; then the parked list.
  const auto sep1 = std::find(tags.begin(), tags.end(), "RTBUF_SEP");
  ASSERT_NE(sep1, tags.end());
  EXPECT_EQ(std::count(tags.begin(), tags.end(), "RTBUF_SEP"), 2);
  const auto bufEnd = std::find(tags.begin(), tags.end(), "RTBUF_EOT");
  ASSERT_NE(bufEnd, tags.end());
  // TRA5432 is rolling from t = 30; SWR172 flies at Zurich from t = -30.
  EXPECT_EQ(std::count(tags.begin(), bufEnd, "RTBUF"), 6 + 6 + 6);
  EXPECT_EQ(std::count(tags.begin(), tags.end(), "RTPARK"), 4);
  EXPECT_EQ(tags.back(), "RTPARK_EOT");

  const auto lines = peer->requestLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Qs999=version\r\n");
  EXPECT_EQ(lines[1].rfind("Qs999=sendbuffer=5,6,", 0), 0u);
  EXPECT_EQ(lines[3], "Qs123=1733400100000\r\n");
}

TEST_F(RTAppPeerTest, LiveBatchesAndWeather) {
  RTAppPeer peer(scenario, options);  // datagrams need no request connection
  peer.setTime(10);
  peer.sendLiveTraffic();
  peer.sendWeather();
  const auto datagrams = drain(traffic);
  ASSERT_EQ(datagrams.size(), 5u + 1u);  // TRA5432 starts at t = 30
  EXPECT_EQ(datagrams.back(), "RTTFC_EOT");
  const auto metar = drain(weather);
  ASSERT_EQ(metar.size(), 1u);
  EXPECT_EQ(gf_metarFromWeatherData(nlohmann::json::parse(metar[0])).value(), 1013u);
}

TEST_F(RTAppPeerTest, FaultsReachTheProgramAsThePartsExpectThem) {
  options.faults.repeatDatagrams = true;
  options.faults.oversizedEvery = 1;
  options.faults.shortEvery = 1;
  options.faults.badFieldsEvery = 1;
  RTAppPeer peer(scenario, options);
  peer.setTime(10);
  peer.sendLiveTraffic();

  int oversized = 0;
  int empty = 0;
  int incomplete = 0;
  int refused = 0;
  int good = 0;
  std::string buffer(16385, '\0');
  for (;;) {
    const int got = net::receiveDatagram(traffic.socket(), buffer.data(), buffer.size());
    if (got < 0) {
      if (net::lastError() == net::WSAEMSGSIZE) {
        ++oversized;
        continue;
      }
      break;
    }
    const std::string text(buffer.data(), static_cast<std::size_t>(got));
    if (text.empty()) {
      ++empty;
      continue;
    }
    const auto fields = split(text);
    if (gf_rtAppTag(fields[0]) != RTAppTag::Traffic) continue;
    if (fields.size() < kRTAppTrafficFieldCount) {
      ++incomplete;
      continue;
    }
    TrafficFields decoded;
    try {
      gf_decodeRTAppPosition(fields, decoded);
      gf_decodeRTAppTraffic(fields, decoded);
      ++good;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()).rfind("hexid:x", 0), 0u) << e.what();
      ++refused;
    }
  }
  EXPECT_EQ(oversized, 2);
  EXPECT_EQ(empty, 2);
  EXPECT_EQ(incomplete, 2);
  EXPECT_EQ(refused, 2);
  EXPECT_EQ(good, 10);  // the five flights of t = 10, each sent twice
}

TEST_F(RTAppPeerTest, ADroppedConnectionIsNoticedByTheServer) {
  options.faults.dropConnectionAfterLines = 1;
  auto peer = connectedPeer();
  ASSERT_TRUE(server.sendDataPacket(std::string(kRTAppVersionRequest)));
  EXPECT_EQ(peer->pumpRequests(2000), 1);
  EXPECT_FALSE(peer->connected());
  EXPECT_FALSE(server.receive().empty());  // the reply went out before the drop
  for (int i = 0; i < 100 && server.isConnected(); ++i) {
    server.drainReceiveBuffer();
    if (server.isConnected()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(server.isConnected());
  // It comes back like the real app.
  EXPECT_TRUE(peer->connect());
  EXPECT_TRUE(server.waitForClient());
}

// A program that takes long to start, or restarts, still sees the scenario from its beginning,
// stamped with the time it is sent.
TEST_F(RTAppPeerTest, StartedOnConnectionTheReplayWaitsForTheProgram) {
  const std::uint16_t port = options.tcpPort;
  server.close();  // nobody listens yet
  options.startOnConnection = true;
  TrafficScenario brief;
  brief.startTime = 1733400000;
  Flight flight = scenario.flights.front();
  flight.track = {TrackPoint{.t = 0.0, .lat = 47.0, .lon = 8.0, .gs = 140.0},
                  TrackPoint{.t = 1.0, .lat = 47.01, .lon = 8.0, .gs = 140.0}};
  brief.flights = {flight};
  RTAppPeer peer(brief, options);
  std::atomic<bool> stop{false};
  std::jthread replay([&] { peer.run(stop, 1.0, false); });

  std::this_thread::sleep_for(std::chrono::milliseconds(1600));
  EXPECT_TRUE(drain(traffic).empty()) << "sent before the program was there";
  // The flight's first second, timed after the wait.
  auto expectTheFlightsStart = [&](double notBefore) {
    // Batches without the flight (an end marker alone) may come before.
    const auto datagrams = drain(traffic);
    const auto line = std::find_if(datagrams.begin(), datagrams.end(),
                                   [](const std::string& d) { return d.rfind("RTTFC,", 0) == 0; });
    ASSERT_NE(line, datagrams.end()) << "the flight was not sent again";
    const auto fields = split(*line);
    EXPECT_EQ(std::stoul(std::string(fields[1])), flight.hexid);
    // Within its first leg: a busy machine may send the first line some hundred ms late.
    EXPECT_GE(std::stod(std::string(fields[2])), 47.0);
    EXPECT_LT(std::stod(std::string(fields[2])), 47.01);
    EXPECT_GE(std::stod(std::string(fields[14])), notBefore);
  };
  server.start(std::to_string(port));
  ASSERT_TRUE(server.waitForClient());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  expectTheFlightsStart(1733400001.0);

  // The program goes away long enough for the flight to end, and comes back.
  server.close();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  drain(traffic);
  server.start(std::to_string(port));
  ASSERT_TRUE(server.waitForClient());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  stop = true;
  replay.join();
  expectTheFlightsStart(1733400003.0);
}

// A looped replay plays the scenario again after a pause, its records' times going on with the
// clock: the program takes every lap as new traffic.
TEST(TrafficScenarioFile, ALoopedReplayGoesOnWithFreshTimes) {
  struct Case {
    double elapsed;
    double end;
    double t;
    std::int64_t shift;
  } cases[] = {
      {0.0, 300.0, 0.0, 0},           {299.5, 300.0, 299.5, 0},
      {330.0, 300.0, 330.0, 0},       // the pause: past every track's end, nothing is reported
      {365.0, 300.0, 5.0, 360},       {725.0, 300.0, 5.0, 720},
      {100.0, 299.2, 100.0, 0},       {361.0, 299.2, 1.0, 360},  // whole seconds: times stay on the clock
      {50.0, 0.0, 50.0, 0},
  };
  for (const Case& c : cases) {
    const rtstandin::ReplayLap lap = rtstandin::replayLap(c.elapsed, c.end);
    EXPECT_DOUBLE_EQ(lap.t, c.t) << c.elapsed << " of " << c.end;
    EXPECT_EQ(lap.shift, c.shift) << c.elapsed << " of " << c.end;
    // The record's time is the replay's clock.
    if (c.end > 0.0) {
      EXPECT_DOUBLE_EQ(static_cast<double>(lap.shift) + lap.t, c.elapsed);
    }
  }
}

}  // namespace
