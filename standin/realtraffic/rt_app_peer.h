#pragma once
// The RealTraffic desktop app as the program sees it: a TCP client of the program's request
// port that answers the version query and the buffer and parked requests, and a sender of
// traffic and weather datagrams replayed from a traffic scenario. Faults can be switched on to
// see how the program copes with a misbehaving app.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net.h"
#include "standin/realtraffic/traffic_scenario.h"

namespace rtstandin {

struct PeerFaults {
  bool repeatDatagrams = false;       // every datagram goes out twice in a row
  int oversizedEvery = 0;             // with every Nth live batch one datagram above 16384 bytes
  int shortEvery = 0;                 // with every Nth live batch a cut "RTTFC" and an empty datagram
  int badFieldsEvery = 0;             // with every Nth live batch one "RTTFC" with unreadable fields
  int dropConnectionAfterLines = 0;   // closes the request connection after so many lines
};

// Field 43 of "RTTFC"/"RTBUF": the operator's airline code (this stand-in's first layout), or, as
// RealTraffic's own app writes it, an authentication number with the uncorrected baro altitude
// in field 42; mixed gives every flight with an odd hexid RealTraffic's layout.
enum class TrafficLayout { airlineCode, vendor, mixed };

struct PeerOptions {
  std::string host = "127.0.0.1";
  std::uint16_t tcpPort = 10747;
  std::uint16_t trafficPort = 49005;
  std::uint16_t weatherPort = 49004;
  std::string versionReply = R"({"version":"10.0.244","level":2})";
  int bufferBatches = 3;            // history batches sent on a buffer request
  double bufferStepSeconds = 10.0;  // their spacing, back from the current time
  // run() keeps the replay at its start, sending nothing, until the program takes the connection,
  // and starts it over when the program connects anew: a program that starts slowly or restarts
  // still sees the whole scenario.
  bool startOnConnection = false;
  TrafficLayout layout = TrafficLayout::mixed;
  PeerFaults faults;
};

// One line of the traffic channel for a flight at a position ("RTTFC" or "RTBUF", 44 fields). The
// scenario's altitudes are barometric against the standard pressure, as transponders send them;
// the app sends them set to the QNH in field 4, and as they came in field 42 (its own layout).
std::string trafficLine(const Flight& flight, const TrackPoint& point, std::int64_t startTime, const char* tag,
                        TrafficLayout layout = TrafficLayout::airlineCode, double qnhHpa = kStandardQnhHpa);
// The layout name of the command line: "airline", "vendor" or "mixed"; nothing for another text.
std::optional<TrafficLayout> trafficLayoutNamed(std::string_view name);
std::string parkedLine(const ParkedAircraft& aircraft, std::int64_t startTime);
std::string weatherDatagram(const Metar& metar);

class RTAppPeer {
 public:
  RTAppPeer(TrafficScenario scenario, PeerOptions options);
  ~RTAppPeer();
  RTAppPeer(const RTAppPeer&) = delete;
  RTAppPeer& operator=(const RTAppPeer&) = delete;

  // One attempt to reach the program's request port.
  bool connect();
  bool connected() const { return socket_ != net::kInvalidSocket; }
  void disconnect();

  // The scenario time that answers and live batches use.
  void setTime(double t) { time_ = t; }
  double time() const { return time_; }

  // Waits up to timeoutMilliseconds for a request line, then answers it and every further line
  // already there; the number of lines handled.
  // A connection the program closed is dropped (connected() turns false).
  int pumpRequests(int timeoutMilliseconds);

  void sendLiveTraffic();  // the flights at time(), then "RTTFC_EOT"
  void sendWeather();      // the METAR valid at time(), if any
  void sendBuffer();       // history batches with "RTBUF_SEP" between them, then "RTBUF_EOT"
  void sendParked(double south, double west, double north, double east);

  // Every request line received, with its line end, in order.
  std::vector<std::string> requestLines() const;
  std::uint64_t datagramsSent() const { return datagramsSent_; }

  // The program's loop: scenario time runs at speed x real time (played again after its end and a
  // pause when loop is set, with fresh times: replayLap); a live batch and the weather once per
  // second; reconnects when the link drops.
  // Started on connection, the scenario's start time moves on by the seconds waited.
  void run(const std::atomic<bool>& stop, double speed, bool loop);

 private:
  void handleLine(const std::string& line);
  void sendDatagram(std::uint16_t port, const std::string& text);
  void sendText(const std::string& text);

  TrafficScenario scenario_;
  PeerOptions options_;
  double qnhHpa_;
  net::Socket socket_ = net::kInvalidSocket;
  net::Socket udp_ = net::kInvalidSocket;
  std::optional<net::LineReceiver> lines_;
  double time_ = 0.0;
  std::uint64_t liveBatches_ = 0;
  std::atomic<std::uint64_t> datagramsSent_{0};
  std::size_t linesOnConnection_ = 0;
  mutable std::mutex requestsMutex_;
  std::vector<std::string> requests_;
};

}  // namespace rtstandin
