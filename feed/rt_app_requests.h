#pragma once
// The request lines that go to the RealTraffic desktop app, its version reply, and the
// version handshake over the TCP server.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/geodesy.h"

class RTAppServer;

inline constexpr std::string_view kRTAppVersionRequest = "Qs999=version\r\n";

// The user aircraft's state as the app takes it (radians, feet, knots).
struct RTAppUserState {
  double pitchRad = 0.0;
  double bankRad = 0.0;
  double trueHeadingRad = 0.0;
  double indicatedAltitudeFt = 0.0;
  double groundSpeedKt = 0.0;
  double latRad = 0.0;
  double lonRad = 0.0;
};

// South, west, north, east in degrees.
struct RTAppBox {
  double south = 0.0;
  double west = 0.0;
  double north = 0.0;
  double east = 0.0;
};

// The box of rangeNm around the centre: latitude by the flat factor, longitudes by great circle.
RTAppBox gf_rtAppBox(const Lalo& centre, double rangeNm);
// The fixed 3-NM box of the parked-traffic request.
RTAppBox gf_rtAppParkedBox(const Lalo& centre);

std::string gf_rtAppPositionLine(const RTAppUserState& user);           // "Qs121=..."
std::string gf_rtAppTimeLine(std::int64_t simSeconds);                  // "Qs123=..."
// Without a known user position the request goes without a box.
std::string gf_rtAppBufferLine(const std::optional<Lalo>& user, double rangeNm);
std::string gf_rtAppParkedLine(const Lalo& centre);

// Sends the simulator's UTC time, only to a connected app and only for a time of at least 1 s.
void gf_sendTimeOffsetToRTApp(std::int64_t seconds);

// The app's answer to the version request.
struct RTAppVersionReply {
  enum class Status { Empty, ParseFailed, NotObject, Ok };
  Status status = Status::Empty;
  bool professional = false;  // level 2
  std::string version;
  bool hasVersion = false;  // a "version" text was there
  std::string licenseText;  // "RT App {} edition: {}"
  std::string parseError;   // the parser's text with ParseFailed
};
RTAppVersionReply gf_parseRTAppVersion(std::string_view reply);
// An object with a "version" text: what only the app answers.
bool gf_isRTAppVersionReply(std::string_view reply);

// The handshake loop: waits for the client that answers the version request with the app's
// version reply (RTAppServer::waitForApp), lets the app settle and drops whatever else it sent.
// A connection still up then hands its reply to processVersion and the function returns true;
// a stale one is dropped and the next client asked, on the same listening socket. False when the
// wait ends without an app (server closed, program stopping).
bool gf_rtAppHandshake(RTAppServer& server, const std::function<void(const std::string&)>& processVersion,
                       std::chrono::milliseconds settle = std::chrono::seconds(2),
                       std::chrono::milliseconds answerTimeout = std::chrono::seconds(10));
