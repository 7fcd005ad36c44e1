#include "tests/e2e/scenario_run.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <thread>

#include "platform/net.h"
#include "refdata/model_ids.h"
#include "simlink/facility_stand.h"
#include "standin/realtraffic/rt_app_peer.h"
#include "standin/realtraffic/web_api_server.h"
#include "tests/app/program_run.h"
#include "tests/e2e/livery_expectations.h"
#include "tools/traffic_gen.h"

namespace e2e {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path lf_data() { return testing_support::sourceDataFolder(); }

double lf_seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

std::uint16_t lf_freeTcpPort() {
  const net::Socket s = net::createTcpSocket();
  std::uint16_t port = 0;
  if (s != net::kInvalidSocket && net::bindLoopback(s, 0)) port = net::localPort(s).value_or(0);
  net::closeSocket(s);
  if (port == 0) throw std::runtime_error("no free TCP port");
  return port;
}

// The simulator's scenario: the demo's, every title accepted, the outage, the fixtures of data/.
void lf_writeSimScenario(const fs::path& file, const FaultPlan& plan) {
  nlohmann::json doc = nlohmann::json::parse(testing_support::readFile(lf_data() / "sim" / "scenario.json"));
  doc.erase("knownTitles");
  doc.erase("otherAircraft");
  doc["startAfterSeconds"] = 0.5;
  doc["facilitiesFolder"] = (lf_data() / "sim" / "facilities").string();
  if (plan.userAt) {
    doc["userAircraft"]["latitude"] = plan.userAt->first;
    doc["userAircraft"]["longitude"] = plan.userAt->second;
  }
  doc["outages"] = nlohmann::json::array(
      {{{"atSeconds", plan.simulatorOutageAt}, {"forSeconds", plan.simulatorOutageFor}}});
  testing_support::writeFile(file, doc.dump(2));
}

void lf_writeParameters(const fs::path& file, std::uint16_t port, FeedMode mode) {
  testing_support::writeFile(file, fmt::format(R"(<?xml version="1.0" encoding="UTF-8"?>
<root>
  <parameters>
    <parameter name="RT_CHOISE" value="{}" />
    <parameter name="PORT_NUMBER" value="{}" />
    <parameter name="RANDOM" value="false" />
    <parameter name="AUTO_RANGE" value="false" />
    <parameter name="RANGE" value="40" />
  </parameters>
</root>
)",
                                                 mode == FeedMode::RTApp ? "RT App" : "RT Direct", port));
}

// Which flights get which noise: by their place in the list, so that every run is the same.
bool lf_repeated(std::size_t i) { return i % 3 == 1; }
bool lf_inGap(std::size_t i, double t) {
  const double from = 28.0 + static_cast<double>(i % 5);
  return i % 4 == 2 && t >= from && t < from + 8.0;
}
bool lf_nanSpeeds(std::size_t i) { return i % 5 == 3; }

}  // namespace

bool standTakes(const standin::sim::LayoutStand& stand, const std::string& type, bool heavy) {
  const Stand programs(stand.name, {}, {stand.latitude, stand.longitude}, 0.0, stand.radiusMetres,
                       static_cast<std::uint32_t>(stand.type), stand.type == 5, false, false);
  return programs.fitsAircraft(heavy ? AcCategory::heavy : AcCategory::large, halfSpanMetres(type) * kNmPerMetre);
}

namespace {

void lf_swapAirframes(rtstandin::Flight& a, rtstandin::Flight& b) {
  std::swap(a.hexid, b.hexid);
  std::swap(a.callsign, b.callsign);
  std::swap(a.type, b.type);
  std::swap(a.registration, b.registration);
  std::swap(a.airline, b.airline);
  std::swap(a.emitterCategory, b.emitterCategory);
}

// The stand-in's Zurich has smaller stands than the real one, and the generator draws airframes
// without regard to them: an A380 on a gate a third too small is one the program never shows
// standing (no stand fits it), only once it moves, as a taxiing aircraft. A real airport gives
// each flight a stand that takes it; so does the scenario: a flight that starts on a stand swaps
// its airframe with an airborne flight's that its stand takes (not one a parked aircraft shares).
// Arrivals find their stands themselves.
void lf_fitAirframesToStands(std::vector<trafficgen::GeneratedFlight>& flights,
                             const standin::sim::FacilityLayout& airport, const trafficgen::Fleet& fleet,
                             const std::vector<rtstandin::ParkedAircraft>& parked) {
  auto standOf = [&](const trafficgen::GeneratedFlight& g) -> const standin::sim::LayoutStand* {
    if (g.stand.empty()) return nullptr;
    for (const auto& stand : airport.stands)
      if (stand.name == g.stand) return &stand;
    return nullptr;
  };
  auto takes = [&](const standin::sim::LayoutStand& stand, const rtstandin::Flight& flight) {
    return standTakes(stand, flight.type, fleet.heavy.contains(flight.type));
  };
  for (auto& standing : flights) {
    const bool startsThere = standing.kind == trafficgen::FlightKind::TaxiOut ||
                             standing.kind == trafficgen::FlightKind::DepartureFromStand;
    const auto* stand = startsThere ? standOf(standing) : nullptr;
    if (!stand || takes(*stand, standing.flight)) continue;
    for (auto& other : flights) {
      const bool parkedToo = std::any_of(parked.begin(), parked.end(), [&](const rtstandin::ParkedAircraft& p) {
        return p.registration == other.flight.registration;
      });
      if (standOf(other) || parkedToo || !takes(*stand, other.flight)) continue;
      lf_swapAirframes(standing.flight, other.flight);
      break;
    }
  }
}

// What happened when, on the test's clock: the faults and the trace's create and remove lines.
class Timeline {
 public:
  explicit Timeline(fs::path trace) : trace_(std::move(trace)) {}
  void note(std::string_view what) {
    std::lock_guard lock(mutex_);
    text_ += fmt::format("{:7.2f} {}\n", lf_seconds(start_), what);
  }
  void followTrace() {
    // The simulator renames the file when its run ends, maybe between a look and a read: a file
    // that cannot be opened is read at the next look, or not at all.
    std::ifstream in(fs::path(trace_).concat(".part"), std::ios::binary);
    if (!in) return;
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::size_t end = 0;
    while ((end = text.find('\n', read_)) != std::string::npos) {
      const std::string line = text.substr(read_, end - read_);
      read_ = end + 1;
      if (line.find(",pose,") == std::string::npos) note("trace " + line);
      // A line is read after it was written: the least gap between the clocks is the truest.
      char* after = nullptr;
      const double simSeconds = std::strtod(line.c_str(), &after);
      if (after != line.c_str() && *after == ',') {
        std::lock_guard lock(mutex_);
        simBehind_ = std::min(simBehind_, lf_seconds(start_) - simSeconds);
      }
    }
  }
  double now() const { return lf_seconds(start_); }
  // The simulator's clock reads this much less than the test's; 0 before any trace line.
  double simBehind() const {
    std::lock_guard lock(mutex_);
    return std::isfinite(simBehind_) ? simBehind_ : 0.0;
  }
  std::string text() const {
    std::lock_guard lock(mutex_);
    return text_;
  }

 private:
  fs::path trace_;
  std::size_t read_ = 0;
  Clock::time_point start_ = Clock::now();
  mutable std::mutex mutex_;
  std::string text_;
  double simBehind_ = std::numeric_limits<double>::infinity();
};

// The desktop app played from here: the peer answers the program's requests; the traffic
// datagrams, with their noise, go out from this loop.
class Feeder {
 public:
  Feeder(rtstandin::TrafficScenario scenario, Knowledge& knowledge, const FaultPlan& plan, std::uint16_t port,
         Timeline& timeline)
      : scenario_(std::move(scenario)), knowledge_(knowledge), plan_(plan), port_(port), timeline_(timeline) {
    udp_ = net::createUdpSocket();
  }
  ~Feeder() { net::closeSocket(udp_); }

  void run(const std::atomic<bool>& stop) {
    // Scenario time 0 is the first connection: before it the program is still starting.
    for (;;) {
      if (stop) return;
      scenario_.startTime = static_cast<std::int64_t>(std::time(nullptr));
      rtstandin::PeerOptions options;
      options.tcpPort = port_;
      options.layout = plan_.layout;
      peer_.emplace(scenario_, options);
      if (peer_->connect()) break;
      followTrace();
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ++counts.connects;
    const auto begin = Clock::now();
    connectedAt = timeline_.now();
    note("the app connects");
    double nextBatch = 0.0;
    bool dropped = false;
    while (!stop) {
      const double t = lf_seconds(begin);
      peer_->setTime(t);
      const bool away = t >= plan_.appDisconnectAt && t < plan_.appDisconnectAt + plan_.appDisconnectFor;
      if (away && peer_->connected()) {
        peer_->disconnect();
        dropped = true;
        note("the app disconnects");
      }
      if (!away && !peer_->connected() && peer_->connect() && dropped) {
        ++counts.connects;
        reconnectedAt.push_back(timeline_.now());
        note("the app connects again");
      }
      followTrace();
      if (t >= nextBatch) {
        nextBatch += 1.0;
        if (!(t >= plan_.silenceFrom && t < plan_.silenceTo) && t < plan_.feedEnd) sendBatch(t);
        if (t >= plan_.silenceFrom && t < plan_.silenceFrom + 1.0) note("the feed falls silent");
        if (t >= plan_.silenceTo && t < plan_.silenceTo + 1.0) note("the feed speaks again");
        if (t >= plan_.feedEnd && t < plan_.feedEnd + 1.0) note("the feed ends");
      }
      if (peer_->connected())
        peer_->pumpRequests(50);
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      knowledge_.playedUntil = t - knowledge_.delaySeconds;
    }
    followTrace();
    requests = peer_->requestLines();
  }

  FeedCounts counts;
  double connectedAt = 0.0;  // the feed clock's 0 on the timeline's
  std::vector<std::string> requests;
  std::vector<double> reconnectedAt;  // on the timeline's clock

 private:
  void note(std::string_view what) { timeline_.note(what); }
  void followTrace() { timeline_.followTrace(); }

  void send(const std::string& text) { net::sendDatagram(udp_, "127.0.0.1", 49005, text); }

  void sendBatch(double t) {
    ++counts.batches;
    for (std::size_t i = 0; i < scenario_.flights.size(); ++i) {
      const rtstandin::Flight& flight = scenario_.flights[i];
      const auto point = rtstandin::positionAt(flight, t);
      if (!point) continue;
      if (lf_inGap(i, t)) {
        ++counts.gapsSkipped;
        continue;
      }
      const std::string line =
          rtstandin::trafficLine(flight, *point, scenario_.startTime, "RTTFC", plan_.layout, qnhHpa_);
      send(line);
      ++counts.records;
      if (!std::isfinite(point->gs)) ++counts.nanSpeeds;
      if (lf_repeated(i)) {
        send(line);
        ++counts.repeated;
      }
      knowledge_.flights[flight.registration].sent.push_back({t, point->lat, point->lon, point->altitude});
    }
    if (counts.batches % 7 == 0) {
      // Cut, unreadable and empty lines, as a busy network hands them on.
      send("RTTFC,4840406,52.1");
      send("RTTFC,x4840406,47.4,8.5,1500,0,1,90,150,ABC123,A320,HB-XXX,ZRH,GVA,1,,,,,,,,,,,,,,,,,,,,,,,,,,,,,");
      send("");
      send("RTTFC,not,a,record");
      counts.badLines += 4;
    }
    send("RTTFC_EOT");
    peer_->sendWeather();
  }

  rtstandin::TrafficScenario scenario_;
  double qnhHpa_ = rtstandin::scenarioQnhHpa(scenario_);
  Knowledge& knowledge_;
  FaultPlan plan_;
  std::uint16_t port_ = 0;
  Timeline& timeline_;
  std::optional<rtstandin::RTAppPeer> peer_;
  net::Socket udp_ = net::kInvalidSocket;
};

}  // namespace

rtstandin::TrafficScenario scenarioTraffic(std::map<std::string, Kind>& kinds, std::map<std::string, double>* pushbacks,
                                           std::optional<int> qnhDay) {
  const fs::path data = lf_data();
  const auto airport = standin::sim::readFacilityLayout(data / "sim" / "facilities" / "LSZH.json");
  const trafficgen::Fleet fleet = trafficgen::readFleet(data / "dbase.xml", data / "airports.xml", airport.icao);
  rtstandin::TrafficScenario base = rtstandin::loadScenario(data / "realtraffic" / "sample_fixed.json");
  const double writtenQnh = rtstandin::scenarioQnhHpa(base);
  trafficgen::Options options = trafficgen::sampleOptions();
  options.seed = 40;
  options.durationSeconds = 110.0;  // the feed outlasts what the program flies of it
  options.arrivals = 4;
  options.departures = 3;
  options.overflights = 3;
  options.taxiOut = 3;
  options.taxiIn = 3;
  // Taxi-outs stand on their stands from the feed's start, as at an airport, and push back only
  // after the program, which flies reports 30 s after they come, has placed them there: the
  // program sees each push from its stand, as it would almost always see one. Pushed as far as
  // an airliner is, they are well clear of the stand before the feed ends.
  options.standWaitSeconds = {55.0, 65.0};
  options.momentWindows = {{trafficgen::FlightKind::TaxiOut, {46.0, 52.0}}};
  options.pushBackMetres = 70.0;
  options.fittingStands = true;  // as an airport gives each flight a stand that takes it
  // Beside those, as a real feed loses aircraft: an arrival and a departure whose reports stop in
  // the air for 30 s, after the app's silence, and come back while the program still flies, and
  // a departure whose reports end; in airframes this installation has liveries for, as the
  // program leaves others out below FL180.
  using Extra = trafficgen::Options::ExtraFlight;
  options.extraFlights = {
      Extra{.kind = trafficgen::FlightKind::Arrival, .runways = {"28"}, .airline = "SWR", .type = "B77W",
            .window = {98.0, 102.0}, .gapAfter = -62.0, .gapSeconds = 30.0},
      Extra{.kind = trafficgen::FlightKind::Departure, .runways = {"34"}, .airline = "KLM", .type = "B789",
            .window = {44.0, 46.0}, .gapAfter = 3.0, .gapSeconds = 30.0},
      Extra{.kind = trafficgen::FlightKind::Departure, .runways = {"32"}, .airline = "EZY", .type = "A319",
            .window = {-60.0, -56.0}, .gapAfter = 108.0, .gapSeconds = std::numeric_limits<double>::infinity()},
  };
  if (qnhDay) {
    // Another day, the weather's QNH far from the standard one: the first arrival lands on 32,
    // its approach passing over runway 16/34 700 m before its threshold, early enough to be shown
    // by a short run; those for 28 wait for the departure below.
    // Its QNH changes while the program flies, the reports staying as they were: up 3 hPa, down
    // 10, and back to where it was before the landings on 32 and 28.
    auto metar = [](int qnh) { return fmt::format("LSZH 051150Z 24008KT 9999 FEW030 08/04 Q{:04d} NOSIG", qnh); };
    base.metars = {{0.0, "LSZH", metar(*qnhDay)},
                   {20.0, "LSZH", metar(*qnhDay + 3)},
                   {40.0, "LSZH", metar(*qnhDay - 7)},
                   {58.0, "LSZH", metar(*qnhDay)}};
    options.arrivalRunways = {"32", "28"};
    options.momentWindows[trafficgen::FlightKind::Arrival] = {64.0, 70.0};
    // The runs that fly the take-offs outlast the feed: it follows the arrivals for 28, which wait
    // for those, down to their landings.
    options.pastEndSeconds[trafficgen::FlightKind::Arrival] = 120.0;
    // A calm day: no flight lost in the air, and a departure seen taxiing on to 28 that waits a
    // minute lined up and takes off while the program flies it, the feed following it well into
    // its climb. The others give way to it on the runways, as to a flight cleared before them.
    options.extraFlights = {
        Extra{.kind = trafficgen::FlightKind::Departure, .runways = {"28"}, .airline = "EZY", .type = "A320",
              .window = {109.0, 111.0}, .taxiOn = true, .lineUpSeconds = 60.0, .pastEndSeconds = 30.0,
              .keepsItsPlace = true},
        // A heavy lined up at the end of 32 behind the first landing there, once that has slowed,
        // that waits 20 s before its roll.
        Extra{.kind = trafficgen::FlightKind::Departure, .runways = {"32"}, .airline = "BAW", .type = "A388",
              .window = {174.0, 176.0}, .lineUpSeconds = 20.0, .pastEndSeconds = 30.0, .keepsItsPlace = true},
        // Beside the others, where they leave room: on 34 once the light aircraft's low pass
        // there has climbed away and the departure on 28 has crossed it, an arrival followed
        // until it is off the runway, and a heavy taxiing on to 34 right behind its landing that
        // stands lined up 10 s while the arrival turns off ahead of it, as its reports do, and
        // rolls as that one has left the runway.
        Extra{.kind = trafficgen::FlightKind::Arrival, .runways = {"34"}, .airline = "EZY", .type = "A320",
              .window = {126.0, 128.0}, .pastEndSeconds = 60.0, .asPlaced = true},
        Extra{.kind = trafficgen::FlightKind::Departure, .runways = {"34"}, .airline = "SWR", .type = "B77W",
              .taxiOn = true, .lineUpSeconds = 10.0, .pastEndSeconds = 90.0, .asPlaced = true, .linesUpBehind = 2,
              .behindSeconds = 0.0},
    };
  }
  std::set<std::uint32_t> taken;
  for (const auto& parked : base.parked) taken.insert(parked.hexid);
  for (const auto& flight : base.flights) taken.insert(flight.hexid);
  rtstandin::TrafficScenario scenario;
  scenario.metars = base.metars;
  auto near = [&](double lat, double lon) {
    return standin::sim::distanceMetres(lat, lon, airport.latitude, airport.longitude) < 10000.0;
  };
  for (const auto& parked : base.parked)
    if (near(parked.lat, parked.lon)) scenario.parked.push_back(parked);
  options.qnhHpa = rtstandin::scenarioQnhHpa(scenario);
  std::vector<trafficgen::GeneratedFlight> generatedFlights =
      trafficgen::generateTraffic(airport, fleet, options, taken, base.parked);
  lf_fitAirframesToStands(generatedFlights, airport, fleet, base.parked);
  for (auto& generated : generatedFlights) {
    static constexpr Kind kKinds[] = {Kind::Arrival, Kind::Departure, Kind::Overflight, Kind::TaxiOut,
                                      Kind::TaxiIn,  Kind::Arrival,   Kind::Departure};
    static_assert(std::size(kKinds) == static_cast<std::size_t>(trafficgen::FlightKind::DepartureFromStand) + 1);
    kinds[generated.flight.registration] = kKinds[static_cast<int>(generated.kind)];
    if (pushbacks && std::isfinite(generated.pushbackAt)) (*pushbacks)[generated.flight.registration] = generated.pushbackAt;
    scenario.flights.push_back(std::move(generated.flight));
  }
  // Speeds the feed lost: the segment after the first point of some flights has none.
  for (std::size_t i = 0; i < scenario.flights.size(); ++i) {
    auto& track = scenario.flights[i].track;
    if (lf_nanSpeeds(i) && track.size() > 3)
      for (std::size_t p = 1; p < track.size() / 2; ++p) track[p].gs = std::numeric_limits<double>::quiet_NaN();
  }
  // On the calm day, after those, the hand-written flights at the airport (a balked landing over
  // runway 34 before the departure on 28 rolls across it) at the heights they were written for:
  // their pressure altitudes move with the day's QNH. The sample's day takes the simulator away
  // while the landing would go around, and under 700 ft nothing is made again in the air.
  const double shiftFt = rtstandin::qnhCorrectionFeet(writtenQnh) -
                         rtstandin::qnhCorrectionFeet(rtstandin::scenarioQnhHpa(scenario));
  for (auto& flight : base.flights) {
    if (!qnhDay || std::none_of(flight.track.begin(), flight.track.end(),
                                [&](const rtstandin::TrackPoint& p) { return near(p.lat, p.lon); }))
      continue;
    for (auto& p : flight.track)
      if (p.altitude > 0.0) p.altitude += shiftFt;
    scenario.flights.push_back(std::move(flight));
  }
  return scenario;
}

RunResult runScenario(const fs::path& runFolder, const FaultPlan& plan, FeedMode mode) {
  RunResult result;
  std::map<std::string, Kind> kinds;
  std::map<std::string, double> pushbacks;
  rtstandin::TrafficScenario scenario = scenarioTraffic(kinds, &pushbacks, plan.qnhHpa);
  result.knowledge = knowledgeOf(scenario, kinds);
  for (const auto& [registration, at] : pushbacks) result.knowledge.flights[registration].pushbackAt = at;
  {
    // What the feed was to say, for a look after a failure.
    static constexpr const char* kKindNames[] = {"arrival", "departure", "overflight", "taxi out", "taxi in", "parked"};
    nlohmann::json flights = nlohmann::json::array();
    for (const auto& flight : scenario.flights) {
      nlohmann::json track = nlohmann::json::array();
      for (const auto& p : flight.track) track.push_back({p.t, p.lat, p.lon, p.altitude, p.gs});
      const FlightFact& fact = result.knowledge.flights[flight.registration];
      flights.push_back({{"registration", flight.registration}, {"callsign", flight.callsign}, {"type", flight.type},
                         {"kind", kKindNames[static_cast<int>(fact.kind)]},
                         {"pushbackAt", std::isfinite(fact.pushbackAt) ? nlohmann::json(fact.pushbackAt) : nlohmann::json()},
                         {"track", track}});
    }
    fs::create_directories(runFolder);
    testing_support::writeFile(runFolder / "traffic.json", flights.dump(1));
  }
  for (const auto& entry : fs::directory_iterator(lf_data() / "sim" / "facilities"))
    if (entry.path().extension() == ".json")
      result.knowledge.airports.push_back(standin::sim::readFacilityLayout(entry.path()));

  testing_support::ProgramRun program;
  const std::uint16_t port = lf_freeTcpPort();
  lf_writeParameters(program.appdata / "JORV" / "parameters.xml", port, mode);
  std::optional<rtstandin::WebApiServer> server;
  if (mode == FeedMode::RTDirect) {
    testing_support::writeFile(program.appdata / "InsideSystems" / "RealTraffic.lic",
                               R"({"License":"e2e-scenario-license","Name":"JORV tests"})");
    rtstandin::TrafficScenario served = scenario;
    served.startTime = static_cast<std::int64_t>(std::time(nullptr));
    server.emplace(std::move(served), rtstandin::WebApiOptions{});
    // Its clock stands at 0 until the program first asks (as the app's starts at the first
    // connection): how long the program takes to start must not eat the flights' beginnings.
    server->setTime(0.0);
  }
  fs::create_directories(program.program / "airports" / "my_thirdparty");
  fs::copy_file(lf_data() / "webserver" / "MSFS2024" / "archive" / "stock" / "LSZH.xml",
                program.program / "airports" / "my_thirdparty" / "LSZH.xml");
  fs::create_directories(runFolder);
  const fs::path simScenario = runFolder / "sim-scenario.json";
  const fs::path trace = runFolder / "sim-trace.csv";
  const fs::path windowTexts = runFolder / "window-texts.txt";
  fs::remove(windowTexts);
  lf_writeSimScenario(simScenario, plan);

  ::setenv("JORV_SIM_SCENARIO", simScenario.c_str(), 1);
  ::setenv("JORV_SIM_TRACE", trace.c_str(), 1);
  if (server) ::setenv("JORV_RTAPI_URL", server->baseUrl().c_str(), 1);
  ::setenv("JORV_WINDOW_TEXTS", windowTexts.c_str(), 1);
  const pid_t pid = program.start(plan.programSeconds);
  ::unsetenv("JORV_WINDOW_TEXTS");
  ::unsetenv("JORV_SIM_SCENARIO");
  ::unsetenv("JORV_SIM_TRACE");
  ::unsetenv("JORV_RTAPI_URL");

  Timeline timeline(trace);
  std::atomic<bool> stop{false};
  if (mode == FeedMode::RTApp) {
    Feeder feeder(scenario, result.knowledge, plan, port, timeline);
    std::thread feed([&] { feeder.run(stop); });
    result.exitCode = testing_support::ProgramRun::wait(pid);
    stop = true;
    feed.join();
    result.feed = feeder.counts;
    result.appRequests = feeder.requests;
    result.knowledge.feedToSimSeconds = feeder.connectedAt - timeline.simBehind();
    for (const double at : feeder.reconnectedAt) result.programBackAt.push_back(at - timeline.simBehind());
  } else {
    double firstQuery = -1.0;
    double feedToTimeline = 0.0;
    std::thread watch([&] {
      bool faulted = false;
      while (!stop) {
        if (firstQuery < 0.0 && !server->requests("/v6/traffic").empty()) {
          server->runClock(1.0, false);
          feedToTimeline = timeline.now() - server->time();
          firstQuery = server->time();
          timeline.note("the first traffic query");
        }
        const double t = server->time();
        if (!faulted && t >= plan.apiFaultAt) {
          // A proxy's "503 Service Unavailable" page for one live traffic query.
          rtstandin::WebApiFault fault;
          fault.kind = rtstandin::WebApiFaultKind::HtmlPage;
          fault.httpStatus = 503;
          server->addFault("/v6/traffic:live", fault);
          faulted = true;
          result.feed.trafficQueriesBeforeFault = server->requests("/v6/traffic").size();
          timeline.note("the web API answers the next live query with 503");
        }
        timeline.followTrace();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
    result.exitCode = testing_support::ProgramRun::wait(pid);
    const double end = server->time();
    stop = true;
    watch.join();
    result.feed.trafficQueries = server->requests("/v6/traffic").size();
    result.feed.connects = server->requests("/v6/auth").size();
    server->stop();
    // The service answers from the scenario: from the first query on, what it could say is what it said.
    for (const rtstandin::Flight& flight : scenario.flights)
      for (double t = std::max(firstQuery, 0.0); t <= end; t += 1.0)
        if (const auto point = rtstandin::positionAt(flight, t))
          result.knowledge.flights[flight.registration].sent.push_back({t, point->lat, point->lon, point->altitude});
    result.knowledge.playedUntil = end - result.knowledge.delaySeconds;
    result.knowledge.feedToSimSeconds = feedToTimeline - timeline.simBehind();
  }
  timeline.followTrace();
  timeline.note(fmt::format("the feed's clock 0 is the simulator's {:.2f} s", result.knowledge.feedToSimSeconds));
  testing_support::writeFile(runFolder / "timeline.txt", timeline.text());
  if (std::error_code error; fs::exists(program.program / "Log0.txt", error)) {
    result.earlierLog = testing_support::readFile(program.program / "Log0.txt");
    fs::copy_file(program.program / "Log0.txt", runFolder / "Log0.txt", fs::copy_options::overwrite_existing);
  }
  result.log = program.log();
  // "SimConnect shutdown cleanup: initially owned N, ...": the last one is the program's end.
  constexpr std::string_view kOwned = "SimConnect shutdown cleanup: initially owned ";
  if (const std::size_t at = result.log.rfind(kOwned); at != std::string::npos)
    result.knowledge.ownedAtShutdown = std::strtoul(result.log.c_str() + at + kOwned.size(), nullptr, 10);
  result.errors = program.errors();
  result.programFolder = program.program;
  fs::copy_file(program.program / "Log.txt", runFolder / "Log.txt", fs::copy_options::overwrite_existing);
  result.trace = tracepicture::readTrace(trace);
  if (std::error_code error; fs::exists(windowTexts, error))
    result.window = windowCountsOf(testing_support::readFile(windowTexts));
  const LiveryChoices choices = liveryChoices(program.program, program.appdata, result.knowledge, result.trace);
  result.expectedTitles = choices.expected;
  result.installedTitles = choices.installed;
  return result;
}

}  // namespace e2e
