#include "feed/rt_app_traffic.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "appbase/stop_request.h"
#include "config/keys.h"
#include "core/log.h"
#include "core/text.h"
#include "core/user_message.h"
#include "core/utc_time.h"
#include "feed/feed_neighbours.h"
#include "feed/feed_reports.h"
#include "feed/qnh.h"
#include "feed/rt_api_session.h"
#include "feed/rt_app_messages.h"
#include "feed/rt_app_requests.h"
#include "feed/rt_app_server.h"
#include "feed/traffic_handover.h"
#include "feed/traffic_mailbox.h"

RTAppTrafficReader g_rtAppTrafficReader;

namespace {

constexpr const char* kReaderName = "Traffic Reader";
constexpr std::uint32_t kReaderReceiving = 0;
constexpr std::uint32_t kReaderStopped = 2;
constexpr std::size_t kFieldCapacity = 64;

// Guards the buffer request flag together with the sends that depend on it.
std::mutex g_rtAppConnectionMutex;
bool g_rtAppBufferRequestedFlag = false;  // under g_rtAppConnectionMutex

std::optional<Lalo> lf_knownUserPosition(const UserAcPosition& user) {
  if (!gf_isUserPositionKnown(user)) return std::nullopt;
  return Lalo{user.latitude, user.longitude};
}

// Buffer kinds go up in steps of 6 seconds; a runaway separator count must not overflow.
std::int32_t lf_bufferKind(std::uint32_t separators) {
  return static_cast<std::int32_t>(std::min<std::uint64_t>(separators, 1u << 24) * 6u);
}

}  // namespace

RTAppTrafficReader::RTAppTrafficReader() { fields.reserve(kFieldCapacity); }

void RTAppTrafficReader::reset() {
  clearReceivedLineState();
  stopFlag = 0;
  batch.clear();
  batchFull = false;
  batchContext.reset();
  lastFeedTime = 0;
  qnhHpa = 0;
  bufferReceived = false;
  parkedReceived = false;
  bufferSepCount = 0;
  unrequestedEndTags = 0;
  fields.clear();
  {
    std::lock_guard lock(identityMutex);
    liveCallsigns.clear();
    liveHexids.clear();
    collectIdentity = false;
    identitiesSince = 0;
  }
  {
    std::lock_guard lock(parkedMutex);
    parkedSet.clear();
    parkedIncoming.clear();
    parkedSetPrepared = false;
    parkedRequested = false;
    parkedEndsOwed = 0;
    parkedListFull = false;
  }
  unrequestedParkedRecords = 0;
  std::lock_guard lock(positionMutex);
  queryCentre = {};
  cosQueryLat = 0.0;
  parkAirportElevationFt.reset();
}

void RTAppTrafficReader::setParkAirportElevation(std::optional<double> elevationFt) {
  std::lock_guard lock(positionMutex);
  parkAirportElevationFt = elevationFt;
}

void RTAppTrafficReader::setQueryCentre(const Lalo& centre) {
  std::lock_guard lock(positionMutex);
  queryCentre = centre;
  cosQueryLat = std::cos(centre.lat * geo::kDegToRad);
}

void RTAppTrafficReader::handleLine() {
  gf_splitRTAppLine(line, fields);
  processRTAppLine();
}

void RTAppTrafficReader::onDisconnect() {
  gf_logNoexcept(fmt::format("{} disconnected", kReaderName));
  gf_postFeedReport(FeedReport::SetTrafficReaderState, kReaderStopped);
}

void RTAppTrafficReader::processRTAppLine() {
  if (fields.empty()) return;
  const RTAppTag tag = gf_rtAppTag(fields[0]);
  try {
    switch (tag) {
      case RTAppTag::Traffic:
      case RTAppTag::Buffer:
      case RTAppTag::Parked: {
        const std::size_t required = gf_rtAppRequiredFieldCount(tag);
        if (fields.size() < required) {
          gf_logLimited("Ignoring incomplete RT App message",
                        gf_incompleteRTAppMessageText(fields.size(), required, line));
          return;
        }
        if (tag == RTAppTag::Parked) {
          processParkLine();
        } else {
          ensureBatchContext();
          processLine();
        }
        return;
      }
      case RTAppTag::TrafficEnd:
        postBatch(kLiveTrafficKind);
        batchContext.reset();
        return;
      case RTAppTag::BufferSeparator:
        // Anyone on the network can send a bare tag: only the buffer we asked for is taken.
        if (!gf_rtAppBufferRequested()) return countUnrequestedEndTag();
        postBatch(lf_bufferKind(bufferSepCount));
        ++bufferSepCount;
        return;
      case RTAppTag::BufferEnd:
        if (!gf_rtAppBufferRequested()) return countUnrequestedEndTag();
        bufferReceived = true;
        batchContext.reset();
        gf_clearRTAppBufferRequest();
        gf_logLimited("Buffer traffic received", fmt::format("{} Buffer traffic received", gf_utcTimeText()));
        return;
      case RTAppTag::ParkedEnd: {
        {
          std::lock_guard lock(parkedMutex);
          if (!parkedRequested) return countUnrequestedEndTag();
          ++parkedListNumber;
          if (parkedEndsOwed > 1) {
            // An older request's list ended: the newest one's is still to come.
            --parkedEndsOwed;
            parkedIncoming.clear();
            parkedListFull = false;
            return;
          }
          parkedEndsOwed = 0;
          parkedRequested = false;
          parkedListFull = false;
          parkedSet.swap(parkedIncoming);
          parkedIncoming.clear();
          parkedSetPrepared = false;
        }
        parkedReceived = true;
        gf_logLimited("park traffic received", fmt::format("{} park traffic received", gf_utcTimeText()));
        return;
      }
      case RTAppTag::Unknown: return;
    }
  } catch (const std::exception& e) {
    gf_logLimited("exception in processRTAppLine",
                  fmt::format("exception in processRTAppLine: {}", gf_escapedText(e.what())));
  }
}

void RTAppTrafficReader::countUnrequestedEndTag() {
  const std::uint64_t count = ++unrequestedEndTags;
  gf_logLimited("RT App end tag without a request",
                fmt::format("RT App end tag without a request of ours ignored: {} ({} so far)",
                            gf_escapedText(line), count));
}

void RTAppTrafficReader::ensureBatchContext() {
  if (batchContext) return;
  BatchContext context;
  {
    std::lock_guard lock(positionMutex);
    context.queryCentre = queryCentre;
    context.cosQueryLat = cosQueryLat;
    context.parkAirportElevationFt = parkAirportElevationFt;
  }
  context.snapshot = g_parameterSnapshot.load();
  batchContext = std::move(context);
}

void RTAppTrafficReader::processLine() {
  try {
    TrafficFields decoded;
    gf_decodeRTAppPosition(fields, decoded);
    TrafficFilterContext context;
    context.queryCentre = batchContext->queryCentre;
    context.cosQueryLat = batchContext->cosQueryLat;
    context.parkAirportElevationFt = batchContext->parkAirportElevationFt;
    context.qnhHpa = qnhHpa;
    context.snapshot = batchContext->snapshot;
    {
      std::lock_guard lock(identityMutex);
      context.collectIdentity = collectIdentity;
    }
    context.dropZeroCodeOnGround = false;
    context.identityBeforeNameChecks = true;
    const TrafficFieldCheck check = gf_checkTrafficFields(decoded, context);
    if (check.seconds != 0) {
      lastFeedTime = check.seconds;
      gf_setFeedTime(check.seconds);
    }
    if (!check.inside) return;
    if (batch.hexids.size() >= kMaxLiveIdentities || batch.records.size() >= kMaxLiveIdentities) {
      if (!std::exchange(batchFull, true))
        gf_log(fmt::format("RT App traffic batch reached {} aircraft; the rest of it is ignored", kMaxLiveIdentities));
      return;
    }
    gf_decodeRTAppTraffic(fields, decoded);
    TrafficAddResult result = store.addTraffic(decoded, context);
    if (!result.refusedValue.empty()) gf_logRefusedFlight(decoded.hexid, result.refusedValue);
    ++batch.count;
    if (result.identity) {
      batch.hexids.insert(result.identity->hexid);
      if (result.record && !result.identity->callsign.empty()) batch.callsigns.insert(result.identity->callsign);
    }
    if (result.record) batch.records.push_back(std::move(*result.record));
  } catch (const std::exception& e) {
    gf_logLimited("exception in processLine", fmt::format("exception in processLine: {}", gf_escapedText(e.what())));
  }
}

void RTAppTrafficReader::processParkLine() {
  std::uint64_t list = 0;
  {
    std::lock_guard lock(parkedMutex);
    if (!parkedRequested) {
      const std::uint64_t count = ++unrequestedParkedRecords;
      gf_logLimited("RT App parked record without a request",
                    fmt::format("RT App parked record without a request of ours ignored ({} so far)", count));
      return;
    }
    if (parkedEndsOwed > 1) return;  // an older request's record: its list is not kept
    list = parkedListNumber;
    if (parkedIncoming.size() >= kMaxRTAppParkedRecords) {
      if (!parkedListFull)
        gf_log(fmt::format("RT App parked list reached {} records; the rest of it is ignored", kMaxRTAppParkedRecords));
      parkedListFull = true;
      return;
    }
  }
  for (std::size_t i = 4; i <= 7; ++i) {
    if (fields[i].size() > kMaxRTAppParkedFieldLength) {
      gf_logLimited("RT App parked record refused",
                    fmt::format("RT App parked record refused: field {} is longer than {} characters", i,
                                kMaxRTAppParkedFieldLength));
      return;
    }
  }
  const ParkedFields decoded = gf_decodeRTAppParked(fields);
  std::optional<ParkedRecord> record = store.addParked(decoded);
  if (!record) return;
  std::lock_guard lock(parkedMutex);
  // The request may have ended or been made anew while this record was decoded.
  if (parkedRequested && list == parkedListNumber && parkedIncoming.size() < kMaxRTAppParkedRecords)
    parkedIncoming.push_back(std::move(*record));
}

void RTAppTrafficReader::postBatch(std::int32_t kind) {
  if (!batch.callsigns.empty() || !batch.hexids.empty()) {
    std::lock_guard lock(identityMutex);
    // Identities seen before a reset of the index still describe aircraft that move now.
    if (collectIdentity) {
      const std::int64_t now = lastFeedTime.load();
      if (now - identitiesSince > kLiveIdentityKeepSeconds ||
          liveHexids.size() + batch.hexids.size() > kMaxLiveIdentities ||
          liveCallsigns.size() + batch.callsigns.size() > kMaxLiveIdentities) {
        liveCallsigns.clear();
        liveHexids.clear();
        identitiesSince = now;
      }
      liveCallsigns.insert(batch.callsigns.begin(), batch.callsigns.end());
      liveHexids.insert(batch.hexids.begin(), batch.hexids.end());
    }
  }
  gf_postTrafficBatch(batch.records, kind, true);
  batch.clear();
  batchFull = false;
}

void gf_trafficReader(std::uint16_t port) {
  RTAppTrafficReader& reader = g_rtAppTrafficReader;
  try {
    reader.create();
    reader.bindToPort(port);
    gf_postFeedReport(FeedReport::SetTrafficReaderState, kReaderReceiving);
    gf_log(fmt::format("{} connected", kReaderName));
    std::int32_t unset = 0;
    if (reader.qnhHpa.compare_exchange_strong(unset, kStandardQnh)) {
      g_qnh = kStandardQnh;
      gf_postFeedReport(FeedReport::SetQnh, static_cast<std::uint32_t>(kStandardQnh));
    }
    gf_showUserMessage(fmt::format("{} Requesting buffer traffic ...", gf_utcTimeText()), true);
    reader.bufferSepCount = 0;
    reader.batchContext.reset();
    reader.bufferReceived = false;
    gf_resetParkedTraffic();
    if (!gf_requestRTAppBuffer()) gf_logWarning("Receiving buffer traffic failed");
    reader.receive();
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("{} exception: {}", "gf_trafficReader", e.what()));
    gf_reportFeedReaderStopped(kReaderName, e.what());
  } catch (...) {
    gf_reportFeedReaderStopped(kReaderName, "Unknown exception");
  }
  gf_clearRTAppBufferRequest();
  reader.close();
  gf_logNoexcept(fmt::format("{} disconnected", kReaderName));
}

bool gf_requestRTAppBuffer() {
  std::lock_guard lock(g_rtAppConnectionMutex);
  if (g_rtAppBufferRequestedFlag) return false;
  g_rtAppBufferRequestedFlag = true;
  const auto user = g_userAcPosition.load();
  const std::string text = gf_rtAppBufferLine(lf_knownUserPosition(*user), g_parameterSnapshot.load()->rangeNm);
  g_rtAppServer.drainReceiveBuffer();
  const bool sent = g_rtAppServer.sendDataPacket(text);
  if (!sent) g_rtAppBufferRequestedFlag = false;
  return sent;
}

void gf_clearRTAppBufferRequest() noexcept {
  std::lock_guard lock(g_rtAppConnectionMutex);
  g_rtAppBufferRequestedFlag = false;
}

bool gf_rtAppBufferRequested() {
  std::lock_guard lock(g_rtAppConnectionMutex);
  return g_rtAppBufferRequestedFlag;
}

void gf_requestParkedTraffic() {
  RTAppTrafficReader& reader = g_rtAppTrafficReader;
  reader.parkedReceived = false;
  {
    std::lock_guard lock(reader.parkedMutex);
    reader.parkedSet.clear();
    reader.parkedIncoming.clear();
    reader.parkedSetPrepared = false;
    reader.parkedListFull = false;
  }
  std::optional<Lalo> centre = gf_feedParkAirport();
  if (!centre || !gf_isValidLalo(*centre)) {
    centre.reset();
    if (gf_feedUserOnGround()) centre = lf_knownUserPosition(*g_userAcPosition.load());
  }
  if (!centre || !g_rtAppServer.isConnected()) return;
  // Open before the line goes: the app may answer before the send returns.
  {
    std::lock_guard lock(reader.parkedMutex);
    reader.parkedRequested = true;
    ++reader.parkedEndsOwed;
    ++reader.parkedListNumber;
  }
  if (g_rtAppServer.sendDataPacket(gf_rtAppParkedLine(*centre))) return;
  std::lock_guard lock(reader.parkedMutex);
  --reader.parkedEndsOwed;
  ++reader.parkedListNumber;
  reader.parkedRequested = reader.parkedEndsOwed > 0;
}

void gf_sendUserPositionToRTApp() {
  if (!PSX_SERVER_HERE.value) return;
  const UserAcPosition& user = g_workerUserAcPosition;
  if (!gf_isUserPositionKnown(user)) return;
  if (g_rtAppServer.isConnected()) {
    const RTAppUserState state{user.pitch,       user.bank,
                               user.heading,     user.indicatedAltitude,
                               user.groundSpeed, user.latitude * geo::kDegToRad,
                               user.longitude * geo::kDegToRad};
    if (g_rtAppServer.sendDataPacket(gf_rtAppPositionLine(state))) {
      std::lock_guard lock(g_rtAppConnectionMutex);
      if (!g_rtAppBufferRequestedFlag) g_rtAppServer.drainReceiveBuffer();
      return;
    }
    g_feedConnected = false;
    gf_showUserMessage("RealTraffic App gone", true);
    gf_requestStop(StopReason::NewSettings, 0);
    return;
  }
  gf_reportRTAppGone();
}

void gf_reportRTAppGone() {
  g_feedConnected = false;
  gf_showUserMessage(fmt::format("{} RealTraffic App gone", gf_utcTimeText()), true);
  gf_requestStop(StopReason::NewSettings, 0);
}
