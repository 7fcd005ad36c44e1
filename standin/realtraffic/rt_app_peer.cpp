#include "standin/realtraffic/rt_app_peer.h"

#include <fmt/format.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <thread>

namespace rtstandin {

namespace {

constexpr std::size_t kTrafficFieldCount = 44;
constexpr std::size_t kOversizedBytes = 20000;

std::string lf_number(double value, int decimals) { return fmt::format("{:.{}f}", value, decimals); }

std::string lf_join(const std::array<std::string, kTrafficFieldCount>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) line += ',';
    line += fields[i];
  }
  return line;
}

}  // namespace

std::string trafficLine(const Flight& flight, const TrackPoint& point, std::int64_t startTime, const char* tag,
                        TrafficLayout layout, double qnhHpa) {
  std::array<std::string, kTrafficFieldCount> f;
  f[0] = tag;
  f[1] = std::to_string(flight.hexid);
  f[2] = lf_number(point.lat, 6);
  f[3] = lf_number(point.lon, 6);
  // On the ground the feed's 0 stays 0.
  f[4] = lf_number(point.altitude > 0 ? point.altitude + qnhCorrectionFeet(qnhHpa) : point.altitude, 0);
  f[5] = lf_number(point.vs, 0);
  f[6] = point.altitude > 0 ? "1" : "0";
  f[7] = lf_number(point.track, 1);
  f[8] = lf_number(point.gs, 1);
  f[9] = flight.callsign;
  f[10] = flight.type;
  f[11] = flight.registration;
  f[12] = flight.origin;
  f[13] = flight.destination;
  f[14] = lf_number(static_cast<double>(startTime) + point.t, 2);
  f[17] = flight.sourceType;
  f[20] = lf_number(point.tas, 0);
  f[23] = lf_number(point.roll, 1);
  f[25] = lf_number(point.trueHeading, 1);
  f[28] = flight.emitterCategory;
  const bool vendor = layout == TrafficLayout::vendor || (layout == TrafficLayout::mixed && flight.hexid % 2 == 1);
  if (vendor) {
    f[42] = lf_number(point.altitude, 0);
    // "0" without a key, else a number of the key: both forms occur.
    f[43] = flight.hexid % 4 < 2 ? "0" : std::to_string(flight.hexid % 999983 + 17);
  } else {
    f[43] = flight.airline;
  }
  return lf_join(f);
}

std::optional<TrafficLayout> trafficLayoutNamed(std::string_view name) {
  if (name == "airline") return TrafficLayout::airlineCode;
  if (name == "vendor") return TrafficLayout::vendor;
  if (name == "mixed") return TrafficLayout::mixed;
  return std::nullopt;
}

std::string parkedLine(const ParkedAircraft& aircraft, std::int64_t startTime) {
  return fmt::format("RTPARK,{:X},{:.6f},{:.6f},{},{},{},{},{:.0f}", aircraft.hexid, aircraft.lat, aircraft.lon,
                     aircraft.callsign, aircraft.type, aircraft.registration, aircraft.stand,
                     static_cast<double>(startTime) + aircraft.seen);
}

std::string weatherDatagram(const Metar& metar) {
  return nlohmann::json{{"ICAO", metar.icao}, {"METAR", metar.text}}.dump();
}

RTAppPeer::RTAppPeer(TrafficScenario scenario, PeerOptions options)
    : scenario_(std::move(scenario)), options_(std::move(options)), qnhHpa_(scenarioQnhHpa(scenario_)) {
  udp_ = net::createUdpSocket();
}

RTAppPeer::~RTAppPeer() {
  disconnect();
  net::closeSocket(udp_);
}

bool RTAppPeer::connect() {
  if (connected()) return true;
  socket_ = net::connectTcp(options_.host, options_.tcpPort);
  if (!connected()) return false;
  lines_.emplace(socket_);
  linesOnConnection_ = 0;
  return true;
}

void RTAppPeer::disconnect() {
  lines_.reset();
  net::closeSocket(socket_);
  socket_ = net::kInvalidSocket;
}

int RTAppPeer::pumpRequests(int timeoutMilliseconds) {
  int handled = 0;
  while (connected()) {
    // Waits for the first line only; whatever else has arrived is answered at once.
    std::string line;
    const auto status = lines_->next(line, handled ? 0 : timeoutMilliseconds);
    if (status == net::LineReceiver::Status::Timeout) break;
    if (status == net::LineReceiver::Status::Overlong) continue;
    if (status != net::LineReceiver::Status::Line) {
      disconnect();
      break;
    }
    handleLine(line);
    ++handled;
    const int dropAfter = options_.faults.dropConnectionAfterLines;
    if (dropAfter > 0 && ++linesOnConnection_ >= static_cast<std::size_t>(dropAfter)) {
      disconnect();
      break;
    }
  }
  return handled;
}

void RTAppPeer::handleLine(const std::string& line) {
  {
    std::lock_guard lock(requestsMutex_);
    requests_.push_back(line);
  }
  std::string request = line;
  while (!request.empty() && (request.back() == '\n' || request.back() == '\r')) request.pop_back();
  if (request == "Qs999=version") {
    sendText(options_.versionReply);
  } else if (request.rfind("Qs999=sendbuffer=", 0) == 0) {
    sendBuffer();
  } else if (request.rfind("Qs999=sendparked,", 0) == 0) {
    double box[4] = {0, 0, 0, 0};
    if (std::sscanf(request.c_str() + 17, "%lf,%lf,%lf,%lf", &box[0], &box[1], &box[2], &box[3]) == 4)
      sendParked(box[0], box[1], box[2], box[3]);
  }
  // Qs121 (user position) and Qs123 (simulator time) are only recorded.
}

void RTAppPeer::sendText(const std::string& text) {
  if (connected() && !net::sendAll(socket_, text)) disconnect();
}

void RTAppPeer::sendDatagram(std::uint16_t port, const std::string& text) {
  const int copies = options_.faults.repeatDatagrams ? 2 : 1;
  for (int i = 0; i < copies; ++i)
    if (net::sendDatagram(udp_, options_.host, port, text) >= 0) ++datagramsSent_;
}

void RTAppPeer::sendLiveTraffic() {
  ++liveBatches_;
  auto due = [this](int every) { return every > 0 && liveBatches_ % static_cast<std::uint64_t>(every) == 0; };
  const PeerFaults& faults = options_.faults;
  for (const Flight& flight : scenario_.flights)
    if (const auto point = positionAt(flight, time_))
      sendDatagram(options_.trafficPort, trafficLine(flight, *point, scenario_.startTime, "RTTFC", options_.layout, qnhHpa_));
  if (due(faults.oversizedEvery)) sendDatagram(options_.trafficPort, "RTTFC," + std::string(kOversizedBytes, '9'));
  if (due(faults.shortEvery)) {
    sendDatagram(options_.trafficPort, "RTTFC,4840406,52.1");
    sendDatagram(options_.trafficPort, "");
  }
  if (due(faults.badFieldsEvery) && !scenario_.flights.empty()) {
    Flight bad = scenario_.flights.front();
    TrackPoint point = bad.track.front();
    point.t = time_;
    std::string line = trafficLine(bad, point, scenario_.startTime, "RTTFC");
    line.replace(line.find(',') + 1, 0, "x");  // the decimal hexid gets a letter
    sendDatagram(options_.trafficPort, line);
  }
  sendDatagram(options_.trafficPort, "RTTFC_EOT");
}

void RTAppPeer::sendWeather() {
  if (const Metar* metar = metarAt(scenario_, time_)) sendDatagram(options_.weatherPort, weatherDatagram(*metar));
}

void RTAppPeer::sendBuffer() {
  for (int batch = options_.bufferBatches; batch >= 1; --batch) {
    const double t = time_ - batch * options_.bufferStepSeconds;
    for (const Flight& flight : scenario_.flights)
      if (const auto point = positionAt(flight, t))
        sendDatagram(options_.trafficPort, trafficLine(flight, *point, scenario_.startTime, "RTBUF", options_.layout, qnhHpa_));
    if (batch > 1) sendDatagram(options_.trafficPort, "RTBUF_SEP");
  }
  sendDatagram(options_.trafficPort, "RTBUF_EOT");
}

void RTAppPeer::sendParked(double south, double west, double north, double east) {
  for (const ParkedAircraft& aircraft : scenario_.parked)
    if (aircraft.lat >= south && aircraft.lat <= north && aircraft.lon >= west && aircraft.lon <= east)
      sendDatagram(options_.trafficPort, parkedLine(aircraft, scenario_.startTime));
  sendDatagram(options_.trafficPort, "RTPARK_EOT");
}

std::vector<std::string> RTAppPeer::requestLines() const {
  std::lock_guard lock(requestsMutex_);
  return requests_;
}

void RTAppPeer::run(const std::atomic<bool>& stop, double speed, bool loop) {
  using Clock = std::chrono::steady_clock;
  const auto origin = Clock::now();
  const std::int64_t originalStart = scenario_.startTime;
  std::int64_t lapStart = originalStart;  // the start time of the replay's first lap
  auto begin = origin;
  const double end = scenarioEnd(scenario_);
  auto nextBatch = begin;
  auto nextConnect = begin;
  bool started = !options_.startOnConnection;
  while (!stop) {
    const auto now = Clock::now();
    if (!connected() && now >= nextConnect) {
      if (connect()) {
        // A program that connects anew has most likely restarted: it sees the scenario from the
        // beginning again.
        started = !options_.startOnConnection;
      } else {
        nextConnect = now + std::chrono::milliseconds(500);
      }
    }
    if (!started && connected()) {
      // Whole seconds, so that the records' times stay on the scenario's clock.
      const auto waited = std::chrono::duration_cast<std::chrono::seconds>(now - origin);
      scenario_.startTime = originalStart + waited.count();
      lapStart = scenario_.startTime;
      begin = origin + waited;
      nextBatch = now;
      started = true;
    }
    if (!started) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    double t = std::chrono::duration<double>(now - begin).count() * speed;
    if (loop) {
      const ReplayLap lap = replayLap(t, end);
      t = lap.t;
      scenario_.startTime = lapStart + lap.shift;
    }
    setTime(t);
    if (now >= nextBatch) {
      sendWeather();
      sendLiveTraffic();
      nextBatch += std::chrono::seconds(1);
      if (nextBatch < now) nextBatch = now + std::chrono::seconds(1);
    }
    if (connected())
      pumpRequests(100);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace rtstandin
