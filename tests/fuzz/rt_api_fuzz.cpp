// Web API answers. The input's first byte picks the request the rest answers: 'a' sign-in,
// 't' live traffic, 'b' buffered traffic, 'p' parked traffic, 'm' nearest METAR (any other byte
// picks one by its value). The sign-in goes through the session's own request, read by curl
// from a file; the others through the answer check and the decoders as the clients call them.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "config/parameter_snapshot.h"
#include "feed/qnh.h"
#include "feed/rt_api_decode.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_transport.h"
#include "feed/traffic_mailbox.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr std::string_view kKinds = "atbpm";
constexpr std::int32_t kBufferCount = 5;  // the buffered request's count

void lf_signIn(std::string_view body) {
  static RTAPISession session;
  static const bool ready = [] {
    std::filesystem::create_directories(fuzz::tempFolder() / "v6");
    gf_setRTAPIBaseUrl("file://" + fuzz::tempFolder().string());
    return true;
  }();
  (void)ready;
  fuzz::writeFile(fuzz::tempFolder() / "v6" / "auth", body);
  const auto signedIn = session.requestAuth("0123456789abcdef", "JORV_16.8.2");
  if (signedIn) {
    const RTAPIAuthResult& result = *signedIn.value();
    fuzz::require(!result.guid.empty(), "a sign-in has a GUID");
    const std::uint32_t wait = gf_boundedWaitMs(result.rrlMs);
    fuzz::require(wait >= 250 && wait <= 60000, "the service's wait is bounded");
    (void)gf_rtLicenseText(result.type, gf_rtDaysLeft(result.expiry, 1733400000));
  }
  session.clear();
}

TrafficFilterContext lf_context(bool collectIdentity) {
  TrafficFilterContext context;
  context.queryCentre = fuzz::kParkAirport;
  context.cosQueryLat = std::cos(fuzz::kParkAirport.lat * geo::kDegToRad);
  context.parkAirportElevationFt = fuzz::kParkAirportElevationFt;
  context.qnhHpa = 1013;
  context.snapshot = g_parameterSnapshot.load();
  context.collectIdentity = collectIdentity;
  context.dropZeroCodeOnGround = true;
  return context;
}

void lf_traffic(std::string_view body, bool buffered) {
  const auto checked = gf_checkRTAPIHttp(RTAPIHttpReply{200, body}, "traffic", kRTAPITrafficWait);
  if (!checked || checked.value().apiStatus != 200) return;
  const RTAPIResponse& response = checked.value();
  fuzz::require(response.waitMs >= 250 && response.waitMs <= 60000, "the answer's wait is bounded");
  TrafficBatch batch;
  if (!buffered) {
    const RTAPITrafficDecoded decoded = gf_decodeTrafficResponse(response.data, lf_context(false), batch);
    fuzz::require(decoded.feedTime >= 0, "a feed time is 0 or more");
    gf_postTrafficBatch(batch.records, kLiveTrafficKind, false);
  } else if (response.data.is_object()) {
    // Oldest snapshot first, as the client posts them.
    for (std::int32_t i = kBufferCount - 1; i >= 0; --i) {
      const auto member = response.data.find(fmt::format("buffer_{}", i));
      if (member == response.data.end() || !member->is_object()) continue;
      gf_decodeTrafficResponse(*member, lf_context(true), batch);
      gf_postTrafficBatch(batch.records, (kBufferCount - 1 - i) * 6, false);
    }
  }
  fuzz::checkMailbox();
}

void lf_parked(std::string_view body) {
  const auto checked = gf_checkRTAPIHttp(RTAPIHttpReply{200, body}, "parkedtraffic", kRTAPITrafficWait);
  if (!checked || checked.value().apiStatus != 200) return;
  for (const auto& record : gf_decodeParkedResponse(checked.value().data)) fuzz::checkParked(record);
}

void lf_nearestMetar(std::string_view body) {
  const auto checked = gf_checkRTAPIHttp(RTAPIHttpReply{200, body}, "nearest metar", kRTAPIMetarWait);
  if (!checked || checked.value().apiStatus != 200) return;
  const auto metars = gf_decodeNearestMetar(checked.value().data);
  if (!metars) return;
  for (const std::string& metar : metars.value()) {
    const QnhResult qnh = gf_qnhFromMetar(metar);
    fuzz::require(!qnh.hasValue() || (qnh.value() >= 900 && qnh.value() <= 1100), "a QNH lies in 900..1100 hPa");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto found = kKinds.find(static_cast<char>(data[0]));
  const char kind = kKinds[found == std::string_view::npos ? data[0] % kKinds.size() : found];
  const std::string_view body = fuzz::text(data + 1, size - 1);
  fuzz::resetFeedWorld(true);
  switch (kind) {
    case 'a': lf_signIn(body); break;
    case 't': lf_traffic(body, false); break;
    case 'b': lf_traffic(body, true); break;
    case 'p': lf_parked(body); break;
    default: lf_nearestMetar(body); break;
  }
  return 0;
}
