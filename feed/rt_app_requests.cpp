#include "feed/rt_app_requests.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "appbase/stop_request.h"
#include "core/log.h"
#include "core/text.h"
#include "feed/rt_app_server.h"

namespace {

constexpr double kKmPerNm = 1.852;
constexpr double kKmPerDegreeLat = 111.2;
constexpr double kParkedBoxNm = 3.0;
constexpr double kParkedBoxDLat = 0.04996402877697842;  // 3 x 1.852 / 111.2
constexpr double kParkedBoxFeet = 18228.34647;          // 3 NM

RTAppBox lf_box(const Lalo& centre, double dLat, double distanceFt) {
  const LonSpan span = gf_lonSpanAround(centre, distanceFt);
  return {centre.lat - dLat, span.west, centre.lat + dLat, span.east};
}

// Waits in short steps so that a stop is never held up by the settle time.
void lf_sleepWhileRunning(std::chrono::milliseconds duration) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  while (gf_isRunning()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) break;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(deadline - now, std::chrono::milliseconds(50)));
  }
}

}  // namespace

RTAppBox gf_rtAppBox(const Lalo& centre, double rangeNm) {
  return lf_box(centre, rangeNm * kKmPerNm / kKmPerDegreeLat, rangeNm * geo::kFeetPerNm);
}

RTAppBox gf_rtAppParkedBox(const Lalo& centre) {
  static_assert(kParkedBoxNm * kKmPerNm / kKmPerDegreeLat > 0.0499 && kParkedBoxNm * kKmPerNm / kKmPerDegreeLat < 0.0500);
  return lf_box(centre, kParkedBoxDLat, kParkedBoxFeet);
}

std::string gf_rtAppPositionLine(const RTAppUserState& user) {
  return fmt::format("Qs121={:.0f};{:.0f};{:.6f};{:.0f};{:.0f};{:.6f};{:.6f}\r\n", user.pitchRad * -100000.0,
                     user.bankRad * 100000.0, user.trueHeadingRad, user.indicatedAltitudeFt * 1000.0,
                     user.groundSpeedKt * 1000.0, user.latRad, user.lonRad);
}

std::string gf_rtAppTimeLine(std::int64_t simSeconds) { return fmt::format("Qs123={}\r\n", simSeconds * 1000); }

std::string gf_rtAppBufferLine(const std::optional<Lalo>& user, double rangeNm) {
  if (!user) return "Qs999=sendbuffer=5,6\n";
  const RTAppBox box = gf_rtAppBox(*user, rangeNm);
  return fmt::format("Qs999=sendbuffer=5,6,{:.6f},{:.6f},{:.6f},{:.6f}\n", box.south, box.west, box.north, box.east);
}

std::string gf_rtAppParkedLine(const Lalo& centre) {
  const RTAppBox box = gf_rtAppParkedBox(centre);
  return fmt::format("Qs999=sendparked,{:.6f},{:.6f},{:.6f},{:.6f}\r\n", box.south, box.west, box.north, box.east);
}

void gf_sendTimeOffsetToRTApp(std::int64_t seconds) {
  if (seconds < 1 || !g_rtAppServer.isConnected()) return;
  g_rtAppServer.sendDataPacket(gf_rtAppTimeLine(seconds));
}

RTAppVersionReply gf_parseRTAppVersion(std::string_view reply) {
  RTAppVersionReply result;
  if (reply.empty()) return result;
  nlohmann::json value;
  try {
    value = nlohmann::json::parse(reply);
  } catch (const nlohmann::json::exception& e) {
    result.status = RTAppVersionReply::Status::ParseFailed;
    result.parseError = e.what();
    return result;
  }
  if (!value.is_object()) {
    result.status = RTAppVersionReply::Status::NotObject;
    return result;
  }
  result.status = RTAppVersionReply::Status::Ok;
  std::int64_t level = 1;
  if (const auto member = value.find("level"); member != value.end() && member->is_number_integer())
    level = member->get<std::int64_t>();
  if (const auto member = value.find("version"); member != value.end() && member->is_string()) {
    result.version = member->get<std::string>();
    result.hasVersion = true;
  }
  result.professional = level == 2;
  result.licenseText = fmt::format("RT App {} edition: {}", result.professional ? "prof" : "stnd", result.version);
  return result;
}

bool gf_isRTAppVersionReply(std::string_view reply) {
  const RTAppVersionReply parsed = gf_parseRTAppVersion(reply);
  return parsed.status == RTAppVersionReply::Status::Ok && parsed.hasVersion;
}

bool gf_rtAppHandshake(RTAppServer& server, const std::function<void(const std::string&)>& processVersion,
                       std::chrono::milliseconds settle, std::chrono::milliseconds answerTimeout) {
  // Whoever else reaches the port (a scanner, a stray client, an impostor) must not hold the
  // app out nor take its seat: only a client that answers as the app does is kept.
  while (std::optional<std::string> reply = server.waitForApp(kRTAppVersionRequest, gf_isRTAppVersionReply, answerTimeout)) {
    // A client gone during the settle frees the seat then, not at its end.
    const auto settled = std::chrono::steady_clock::now() + settle;
    while (gf_isRunning() && std::chrono::steady_clock::now() < settled && server.watchClient())
      lf_sleepWhileRunning(std::min<std::chrono::milliseconds>(settle, std::chrono::milliseconds(50)));
    if (!gf_isRunning()) return false;
    server.drainReceiveBuffer();
    if (server.isConnected()) {
      processVersion(*reply);
      gf_log("RealTraffic connected");
      return true;
    }
    // Only the seat is freed: the listening socket stays, and with it the app's connection
    // already waiting in its queue, asked at once.
    gf_log("RT App connection was stale, waiting for a new one ...");
    server.dropClient();
  }
  return false;
}
