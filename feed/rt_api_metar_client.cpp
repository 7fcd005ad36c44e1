#include "feed/rt_api_metar_client.h"

#include <fmt/format.h>

#include <chrono>
#include <cmath>

#include "core/log.h"
#include "core/text.h"
#include "feed/feed_reports.h"
#include "feed/qnh.h"
#include "feed/rt_api_decode.h"
#include "feed/rt_api_traffic_client.h"

RTAPIMetarClient g_rtApiMetarClient;

namespace {

constexpr std::int64_t kQnhReuseNs = 60'000'000'000;
constexpr RTAPIRequestOptions kMetarOptions{10, 30, false, false};

}  // namespace

std::int64_t gf_steadyNowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

RTAPIMetarClient::RTAPIMetarClient() : metarTransport(16384), nowNs(&gf_steadyNowNs) {}

bool RTAPIMetarClient::requestNearestMetar(std::int32_t& status) {
  status = 0;
  lastRequestTrouble = false;
  const auto auth = session->current();
  if (!auth) {
    status = 401;
    return false;
  }
  const Lalo user = gf_rtApiUserPosition();
  const std::uint32_t offset = toffset.load();
  const std::int64_t now = nowNs();

  const bool qnhPlaceKnown = std::abs(qnhPosition.lat) > 0.0001 || std::abs(qnhPosition.lon) > 0.0001;
  if (qnh != 0 && qnhPlaceKnown && offset == qnhToffset && now - qnhTime < kQnhReuseNs) {
    const double dlat = (qnhPosition.lat - user.lat) * 60.0;
    const double dlon =
        gf_wrapLongitude(qnhPosition.lon - user.lon) * 60.0 * std::cos(qnhPosition.lat * geo::kDegToRad);
    if (dlat * dlat + dlon * dlon <= 100.0) return true;  // within 10 NM: the QNH still holds
  }

  const std::string body = fmt::format("GUID={}&toffset={}&lat={:.4F}&lon={:.4F}", gf_formValue(auth->guid), offset,
                                       user.lat, user.lon);
  auto answer = gf_RTAPIRequest(metarTransport, gf_rtApiUrl("/v6/nearestmetar"), body, kMetarOptions,
                                kRTAPIMetarWait, "nearest metar", &stop);

  if (!stop.load()) {
    const auto now_auth = session->current();
    if (!now_auth || now_auth->generation != auth->generation) {
      status = 401;
      gf_logWarning(fmt::format(
          "nearest metar failed: API status=401, HTTP status=n/a, auth server='{}', message='RT API session changed "
          "while the request was active'",
          auth->server));
      return false;
    }
  }
  lastRequestTrouble = gf_isRTAPITrouble(answer);
  if (!answer) {
    const RTAPIError& error = answer.error();
    if (!stop.load())
      gf_logWarning(fmt::format("{} failed: kind={}, API status=n/a, HTTP status={}, auth server='{}', message='{}'",
                                error.label, gf_rtApiErrorKindText(error.kind), error.httpStatus, auth->server,
                                gf_escapedText(error.message)));
    return false;
  }
  const RTAPIResponse& response = answer.value();
  if (response.apiStatus != 200 || lastRequestTrouble) {
    status = response.apiStatus;
    gf_logWarning(fmt::format("nearest metar failed: API status={}, HTTP status={}, auth server='{}', message='{}'",
                              response.apiStatus, response.httpStatus, gf_escapedText(auth->server),
                              gf_escapedText(response.message)));
    return false;
  }
  auto metars = gf_decodeNearestMetar(response.data);
  if (!metars) {
    gf_logWarning(fmt::format("{}: {}", metars.error().label, gf_escapedText(metars.error().message)));
    return false;
  }
  for (const std::string& metar : metars.value()) {
    const QnhResult found = gf_qnhFromMetar(metar);
    if (!found.hasValue()) {
      gf_logWarning(fmt::format("nearest metar: {} in {}", gf_escapedText(found.error().text), gf_escapedText(metar)));
      continue;
    }
    qnhPosition = user;
    qnhTime = now;
    qnhValidTime = now;
    qnhToffset = offset;
    if (found.value() != qnh) {
      qnh = found.value();
      g_rtApiTrafficClient.qnh = qnh;
      g_qnh.exchange(static_cast<std::int32_t>(qnh));
      gf_postFeedReport(FeedReport::SetQnh, qnh);
    }
    return true;
  }
  gf_logWarning("nearest metar: no METAR contains a valid QNH code");
  return false;
}

bool RTAPIMetarClient::nearestMetar(std::int32_t& status) {
  if (!session->current()) {
    status = 401;
    return false;
  }
  bool result = true;
  bool retried = false;
  std::int32_t troubles = 0;
  while (!stop.load()) {
    if (requestNearestMetar(status)) {
      retried = false;
      troubles = 0;
      sleepFor(static_cast<std::int32_t>(gf_boundedWaitMs(weatherWaitMs.load())));
      continue;
    }
    if (stop.load()) break;
    if (lastRequestTrouble) {
      if (backOff(troubles, gf_boundedWaitMs(weatherWaitMs.load()))) continue;
      result = false;
      break;
    }
    troubles = 0;
    if (status == 401) {
      if (retried) {
        result = false;
        break;
      }
      retried = true;
      metarTransport.reset();
      status = 0;
      gf_logWarning("nearest metar returned 401, retrying once with a new connection");
      continue;
    }
    // No usable QNH in the answer, or a notice: ask again later.
    if (status == 0 || status == 406) {
      sleepFor(troublePauseMs);
      continue;
    }
    result = false;
    break;
  }
  if (stop.load()) {
    status = 9999;
    result = false;
  }
  return result;
}

void RTAPIMetarClient::resetForRestart() {
  resetConnection();
  metarTransport.reset();
  qnhToffset = 0;
  qnh = 0;
  qnhPosition = Lalo{};
  qnhTime = 0;
  qnhValidTime = 0;
}
