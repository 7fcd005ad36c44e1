#include "feed/rt_api_traffic_client.h"

#include <fmt/format.h>

#include <cmath>
#include <stdexcept>
#include <thread>

#include "appbase/gui.h"
#include "config/parameter_snapshot.h"
#include "core/log.h"
#include "core/text.h"
#include "core/utc_time.h"
#include "feed/traffic_mailbox.h"

RTAPITrafficClient g_rtApiTrafficClient;

namespace {

constexpr RTAPIRequestOptions kLiveOptions{10, 30, false, false};
constexpr RTAPIRequestOptions kParkedOptions{5, 9, true, false};
constexpr std::int32_t kBufferCount = 5;
constexpr std::int32_t kBufferTime = 6;
constexpr double kParkedBoxNm = 3.0;

bool lf_atZero(const Lalo& position) { return std::abs(position.lat) <= 0.0001 && std::abs(position.lon) <= 0.0001; }

// The box of rangeNm around a centre: latitudes by 111.2 km a degree, longitudes by great circle,
// stopped at the date line.
RTAPIQueryBox lf_box(const Lalo& centre, double rangeNm) {
  const double dLat = rangeNm * 1.852 / 111.2;
  const double feet = rangeNm * geo::kFeetPerNm;
  RTAPIQueryBox box;
  box.top = centre.lat + dLat;
  box.bottom = centre.lat - dLat;
  const LonSpan span = gf_lonSpanAround(centre, feet);
  box.left = span.west;
  box.right = span.east;
  return box;
}

std::string lf_boxFields(std::string_view guid, const RTAPIQueryBox& box) {
  return fmt::format("GUID={}&top={:.2F}&bottom={:.2F}&left={:.2F}&right={:.2F}", gf_formValue(guid), box.top,
                     box.bottom, box.left, box.right);
}

void lf_logDatedFailure(const RTAPIError& error) {
  gf_logWarning(fmt::format("{} {} {}: {}", gf_utcDateTimeText(), error.label, gf_rtApiErrorKindText(error.kind),
                            gf_escapedText(error.message)));
}

}  // namespace

RTAPITrafficClient::RTAPITrafficClient() : trafficTransport(16384), parkedTransport(16384) {
  batch.records.reserve(384);
}

void RTAPITrafficClient::updateQueryBox() {
  const Lalo user = gf_rtApiUserPosition();
  if (lf_atZero(user)) return;  // not known yet
  const double range = g_parameterSnapshot.load()->rangeNm;
  std::lock_guard lock(stateMutex);
  queryCentre_ = user;
  cosLat_ = std::cos(user.lat * geo::kDegToRad);
  if (std::abs(user.lat - boxCentre_.lat) < 0.00015 && std::abs(gf_wrapLongitude(user.lon - boxCentre_.lon)) < 0.00015 &&
      range == boxRadius_)
    return;
  boxCentre_ = user;
  boxRadius_ = range;
  queryBox_ = lf_box(user, range);
}

void RTAPITrafficClient::setQueryCentre(const Lalo& centre) {
  std::lock_guard lock(stateMutex);
  queryCentre_ = centre;
  cosLat_ = std::cos(centre.lat * geo::kDegToRad);
}

void RTAPITrafficClient::setParkAirportElevation(std::optional<double> elevationFt) {
  std::lock_guard lock(stateMutex);
  parkElevation_ = elevationFt;
}

void RTAPITrafficClient::resetParkedTraffic() {
  std::lock_guard lock(parkedIndexMutex);
  parkedCallsigns.clear();
  parkedHexids.clear();
  parkedReset = true;
}

RTAPIQueryBox RTAPITrafficClient::queryBox() const {
  std::lock_guard lock(stateMutex);
  return queryBox_;
}

RTAPIQueryBox RTAPITrafficClient::parkedBox() const {
  std::lock_guard lock(stateMutex);
  return parkedBox_;
}

RTAPITrafficClient::Geometry RTAPITrafficClient::geometry() const {
  std::lock_guard lock(stateMutex);
  return Geometry{queryCentre_, cosLat_, parkElevation_, queryBox_};
}

TrafficFilterContext RTAPITrafficClient::filterContext(const Geometry& geometry, bool collectIdentity) const {
  TrafficFilterContext context;
  context.queryCentre = geometry.centre;
  context.cosQueryLat = geometry.cosLat;
  context.parkAirportElevationFt = geometry.parkElevation;
  context.qnhHpa = static_cast<std::int32_t>(qnh.load());
  context.snapshot = g_parameterSnapshot.load();
  context.collectIdentity = collectIdentity;
  context.dropZeroCodeOnGround = true;
  context.identityBeforeNameChecks = false;
  return context;
}

void RTAPITrafficClient::postBatch(TrafficBatch& posted, std::int32_t kind, std::int64_t batchFeedTime) {
  if (batchFeedTime != 0) {
    feedTime = batchFeedTime;
    gf_setFeedTime(batchFeedTime);  // the clock of time stamps under a time shift
  }
  bool collecting;
  {
    std::lock_guard lock(parkedIndexMutex);
    collecting = parkedReset;
  }
  if (collecting && !(posted.callsigns.empty() && posted.hexids.empty())) {
    std::lock_guard lock(parkedIndexMutex);
    if (parkedReset) {
      parkedCallsigns.insert(posted.callsigns.begin(), posted.callsigns.end());
      parkedHexids.insert(posted.hexids.begin(), posted.hexids.end());
    }
  }
  receivedCount += posted.records.size();
  gf_postTrafficBatch(posted.records, kind, false);
}

void RTAPITrafficClient::noteSkippedEntries(std::size_t count) {
  if (count == 0 || skippedEntriesLogged) return;
  skippedEntriesLogged = true;
  gf_logWarning(fmt::format("RT API traffic: {} entries of another shape skipped (a flight is an array of at least "
                            "{} elements); further ones are not logged",
                            count, kRTAPITrafficEntrySize));
}

bool RTAPITrafficClient::requestBufferTraffic(std::int32_t& status) {
  const auto auth = session->current();
  if (!auth) return false;
  const Geometry copied = geometry();
  const std::string body = fmt::format("{}&querytype=locationtraffic&toffset={}&buffercount={}&buffertime={}",
                                       lf_boxFields(auth->guid, copied.box), toffset.load(), kBufferCount, kBufferTime);
  auto answer = gf_RTAPIRequest(trafficTransport, gf_rtApiUrl("/v6/traffic"), body, kLiveOptions, kRTAPITrafficWait,
                                "buffer traffic", &stop);
  bool result = false;
  if (!answer) {
    if (!stop.load()) lf_logDatedFailure(answer.error());
  } else if (answer.value().apiStatus == 200) {
    const RTAPIResponse& response = answer.value();
    waitMs = gf_boundedWaitMs(response.waitMs);
    resetParkedTraffic();
    if (response.data.is_object() && !response.data.empty()) {
      result = true;
      const TrafficFilterContext context = filterContext(copied, true);
      // "buffer_0" is the youngest snapshot: post the oldest first, due at once, and each younger
      // one a step later, so that the history plays forward.
      for (std::int32_t step = 0; step < kBufferCount; ++step) {
        const auto member = response.data.find(fmt::format("buffer_{}", kBufferCount - 1 - step));
        RTAPITrafficDecoded decoded;
        if (member == response.data.end() || !member->is_object() || member->empty()) {
          batch.clear();
        } else {
          decoded = gf_decodeTrafficResponse(*member, context, batch);
        }
        noteSkippedEntries(decoded.skippedEntries);
        postBatch(batch, step * kBufferTime, decoded.feedTime);
      }
      ++answersReceived;
    }
  } else {
    status = answer.value().apiStatus;
    if (status == 406) gf_logWarning(fmt::format("buffer traffic msg {}", gf_escapedText(answer.value().message)));
  }
  sleepFor(static_cast<std::int32_t>(waitMs.load()));
  if (stop.load()) {
    status = 9999;
    result = false;
  }
  return result;
}

void RTAPITrafficClient::requestParkedTraffic() {
  // Taken before the box is read: the box is then that of this fetch or of a later one.
  const std::uint64_t tag = parkedRequestTag.load();
  struct Answered {
    std::atomic<std::uint64_t>& answered;
    std::uint64_t tag;
    ~Answered() { answered = tag; }  // after parkedStatus is written, on every path
  } answered{parkedAnswered, tag};
  const auto auth = session->current();
  if (!auth) {
    parkedStatus = 1;
    return;
  }
  {
    std::lock_guard lock(parkedRecordsMutex);
    parkedRecords.clear();
    parkedRecordsPrepared = false;
  }
  const std::string body =
      fmt::format("{}&querytype=parkedtraffic&toffset={}", lf_boxFields(auth->guid, parkedBox()), toffset.load());
  auto answer = gf_RTAPIRequest(parkedTransport, gf_rtApiUrl("/v6/traffic"), body, kParkedOptions,
                                kRTAPITrafficWait, "parkedtraffic", &stop);
  if (!answer) {
    if (!stop.load()) lf_logDatedFailure(answer.error());
    parkedStatus = 1;
    return;
  }
  const RTAPIResponse& response = answer.value();
  if (response.apiStatus == 200) {
    waitMs = gf_boundedWaitMs(response.waitMs);
    std::vector<ParkedRecord> decoded = gf_decodeParkedResponse(response.data);
    {
      std::lock_guard lock(parkedRecordsMutex);
      parkedRecords = std::move(decoded);
      parkedRecordsPrepared = false;
    }
    gf_log(fmt::format("{} RT parked traffic received", gf_utcTimeText()));
    Gui::clearMessage();
    parkedStatus = 0;
  } else if (response.apiStatus == 406) {
    gf_logWarning(fmt::format("parkedtraffic msg: {}", gf_escapedText(response.message)));
    parkedStatus = 0;
  } else {
    parkedStatus = response.apiStatus;
  }
}

bool RTAPITrafficClient::askParkedTraffic() {
  if (parkedRefused.load()) return false;
  const std::optional<Lalo> airport = gf_rtApiParkAirport();
  if (!airport || !gf_isValidLalo(*airport)) return false;
  {
    std::lock_guard lock(stateMutex);
    parkedBox_ = lf_box(*airport, kParkedBoxNm);
  }
  Gui::showMessage(fmt::format("{} Requesting RT parked traffic ...", gf_utcTimeText()), true);
  ++parkedRequestTag;
  parkedStatus = -1;
  parkedAskedAt_ = std::chrono::steady_clock::now();
  parkedSettled_.reset();
  parkedRequested = true;
  return true;
}

ParkedAnswer RTAPITrafficClient::parkedOutcome() {
  if (parkedSettled_) return *parkedSettled_;
  const std::int32_t outcome = parkedAnswered.load() == parkedRequestTag.load() ? parkedStatus.load() : -1;
  if (outcome == -1) {
    if (std::chrono::steady_clock::now() - parkedAskedAt_ < std::chrono::milliseconds(parkedWaitMs))
      return ParkedAnswer::waiting;
    gf_log("ParkedTraffic receiving timed out after 10 seconds");
    return *(parkedSettled_ = ParkedAnswer::none);
  }
  if (outcome <= 0) return *(parkedSettled_ = ParkedAnswer::ready);
  // A licence without parked data, or a request the service can't take, is no reason to stop:
  // the stand files still fill the airport.
  if (outcome == 403) {
    parkedRefused = true;
    gf_logWarning("No RealTraffic parked aircraft: No data for this license type");
  } else if (outcome == 400) {
    if (!parkedFaultLogged_) gf_logWarning("No RealTraffic parked aircraft: RT API parameter fault");
    parkedFaultLogged_ = true;
  } else if (outcome == 401) {
    gf_logWarning(fmt::format("RT Parked: re-authentication to RT API is needed {}", "JORV"));
  } else if (outcome != 1) {
    gf_logWarning(fmt::format("RT Parked error status: {}", outcome));
  }
  return *(parkedSettled_ = ParkedAnswer::none);
}

bool RTAPITrafficClient::requestTraffic(std::int32_t& status) {
  if (!session->current()) return false;
  gf_log(fmt::format("{} Requesting buffer traffic ...", gf_utcTimeText()));
  if (!requestBufferTraffic(status) && !stop.load()) gf_logWarning(fmt::format("buffer failed {}", status));
  gf_log(fmt::format("{} Requesting traffic received", gf_utcTimeText()));
  Gui::clearMessage();

  bool result = false;
  if (!stop.load()) {
    result = true;
    liveLoopActive = true;
    struct LoopEnd {
      std::atomic<bool>& active;
      ~LoopEnd() { active = false; }
    } loopEnd{liveLoopActive};
    std::int32_t troubles = 0;
    while (!stop.load()) {
      if (parkedRequested.exchange(false)) {
        requestParkedTraffic();
        sleepFor(static_cast<std::int32_t>(waitMs.load()));
        continue;
      }
      const auto auth = session->current();
      if (!auth) {
        status = 401;
        result = false;
        break;
      }
      const Geometry copied = geometry();
      const std::string body = fmt::format("{}&querytype=locationtraffic&toffset={}",
                                           lf_boxFields(auth->guid, copied.box), toffset.load());
      auto answer = gf_RTAPIRequest(trafficTransport, gf_rtApiUrl("/v6/traffic"), body, kLiveOptions,
                                    kRTAPITrafficWait, "traffic receive", &stop);
      if (!answer && stop.load()) break;
      if (answer) {
        const auto now = session->current();
        if (!now || now->generation != auth->generation) {
          status = 401;
          result = false;
          break;
        }
      }
      if (gf_isRTAPITrouble(answer)) {
        if (!answer) {
          const RTAPIError& error = answer.error();
          gf_logWarning(
              fmt::format("{} {}: {}", error.label, gf_rtApiErrorKindText(error.kind), gf_escapedText(error.message)));
        } else {
          gf_logWarning(fmt::format("traffic receive failed: API status={}, HTTP status={}, message='{}'",
                                    answer.value().apiStatus, answer.value().httpStatus,
                                    gf_escapedText(answer.value().message)));
        }
        // A passing network or server trouble: back off and try again; only a run of them ends
        // the loop, and the reader then restarts rather than exits.
        if (!backOff(troubles, waitMs.load())) {
          status = answer && answer.value().apiStatus != 200 ? answer.value().apiStatus : 0;
          result = false;
          break;
        }
        continue;
      }
      troubles = 0;
      const RTAPIResponse& response = answer.value();
      if (response.apiStatus == 200) {
        waitMs = gf_boundedWaitMs(response.waitMs);
        bool collect;
        {
          std::lock_guard lock(parkedIndexMutex);
          collect = parkedReset;
        }
        const RTAPITrafficDecoded decoded =
            gf_decodeTrafficResponse(response.data, filterContext(copied, collect), batch);
        noteSkippedEntries(decoded.skippedEntries);
        postBatch(batch, kLiveTrafficKind, decoded.feedTime);
        ++answersReceived;
      } else if (response.apiStatus == 406) {
        gf_logWarning(fmt::format("{} curl traffic msg: {}", gf_utcDateTimeText(), gf_escapedText(response.message)));
      } else {
        status = response.apiStatus;
        result = false;
        break;
      }
      sleepFor(static_cast<std::int32_t>(waitMs.load()));
    }
  }
  if (stop.load()) {
    status = 9999;
    result = false;
  }
  return result;
}

void RTAPITrafficClient::resetForRestart() {
  resetConnection();
  // The next run starts on new connections, as the session's and the METAR client's do.
  trafficTransport.reset();
  parkedTransport.reset();
  feedTime = 0;
  {
    std::lock_guard lock(parkedIndexMutex);
    parkedCallsigns.clear();
    parkedHexids.clear();
    parkedReset = false;
  }
  {
    std::lock_guard lock(parkedRecordsMutex);
    parkedRecords.clear();
    parkedRecordsPrepared = false;
  }
  batch.clear();
  receivedCount = 0;
  answersReceived = 0;
  qnh = 0;
  skippedEntriesLogged = false;
  parkedStatus = -1;
  parkedRequested = false;
  parkedRefused = false;  // a new start may bring another licence
  // The request tags keep counting: a number is never reused for another request.
  liveLoopActive = false;
  waitMs = 2000;
  std::lock_guard lock(stateMutex);
  parkElevation_.reset();
  queryCentre_ = Lalo{};
  boxCentre_ = Lalo{};
  cosLat_ = 0.0;
  boxRadius_ = -1.0;
  queryBox_ = RTAPIQueryBox{};
  parkedBox_ = RTAPIQueryBox{};
}
