#include "traffic/decode_message.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/log.h"
#include "feed/traffic_mailbox.h"
#include "liveries/ac_identity.h"
#include "refdata/airports.h"
#include "refdata/model_ids.h"
#include "refdata/registration.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/traffic_exceptions.h"

namespace {

constexpr double kMetresPerNm = 1852.0;
constexpr double kKnotsPerMetrePerSecond = 1.9438444924406046;
constexpr double kLowAltitudeFt = 10000.0;
constexpr double kParkElevationMarginFt = 120.0;
constexpr double kNoParkElevationFt = -1000.0;
constexpr double kMinAirborneGapNm = 0.2429805615550756;  // 450 m
constexpr double kMinGroundGapNm = 0.010799136069114472;  // 20 m
constexpr double kMaxGroundGapSeconds = 15.0;
constexpr double kSamePlaceNm = 2.0 / 1852.0;  // a crawl's reports this close stand at one place
constexpr double kWatchWindowSeconds = 60.0;
constexpr double kWatchStableMetres = 150.0;
constexpr std::int32_t kWatchStableRecords = 3;

// Per category 0..6: the most the ground speed may change per step, and the pushback speed.
constexpr std::array<double, 7> kAccelerationLimits{0.5, 0.6, 0.75, 0.6, 0.5, 1.0, 0.75};
constexpr std::array<double, 7> kPushbackSpeedsKt{4.0, 3.5, 3.5, 3.0, 2.0, 4.5, 5.0};

double lf_byCategory(const std::array<double, 7>& table, AcCategory category) {
  const auto index = static_cast<std::size_t>(category);
  if (index >= table.size()) throw std::out_of_range("invalid unordered_map<K, T> key");
  return table[index];
}

// A flight below 10000 ft within 120 ft of the park airport's elevation: seen on the ground
// there before it exists in the simulator.
bool lf_atParkElevation(double altitudeFt) {
  if (!(altitudeFt > 0.0 && altitudeFt < kLowAltitudeFt)) return false;
  const double elevation = gf_parkAirportElevation().value_or(kNoParkElevationFt);
  return std::abs(altitudeFt - elevation) <= kParkElevationMarginFt;
}

double lf_positiveSpeed(double knots) { return std::isfinite(knots) && knots > 0.0 ? knots : 0.0; }

// An impossible move of an aircraft taxiing on the ground, from the last report to the record.
bool lf_isGroundJump(const LiveAc& aircraft, const StreamPoint& last, const TrafficRecord& record, double distanceNm,
                     double dt) {
  const Lalo& from = aircraft.lastMessageLalo;
  // Take-off, landing and the landing roll move fast on purpose; in the air there is no jump.
  if (aircraft.state != FlightPhase::taxi) return false;
  if (last.airborne || record.airborne) return false;
  const double metres = distanceNm * kMetresPerNm;
  if (!std::isfinite(metres) || !std::isfinite(dt) || metres < 0.0 || dt <= 0.0) return false;
  const double impliedKt = metres / dt * kKnotsPerMetrePerSecond;
  const double reported = std::max(lf_positiveSpeed(record.gs), lf_positiveSpeed(last.groundSpeed));
  if ((reported <= 5.0 && impliedKt > 30.0) || impliedKt > std::max(3.0 * reported, 60.0)) return true;
  if (impliedKt <= 80.0) return false;
  // Fast near a runway: a jump unless both ends lie on the same runway (a take-off or landing).
  const EngineHooks& hooks = gf_engineHooks();
  if (!hooks.isNearParkRunway(from) && !hooks.isNearParkRunway(record.lalo)) return false;
  if (metres <= 1.0) return true;
  const double bearing = gf_bearingRad(from, record.lalo);
  const auto fromRunway = hooks.matchRunwayForLanding(from, bearing);
  const auto toRunway = hooks.matchRunwayForLanding(record.lalo, bearing);
  return !(fromRunway && toRunway && *fromRunway == *toRunway);
}

// Updates that come too close together to matter, while the stream holds no predicted points.
bool lf_thinnedOut(const TrafficRecord& record, std::uint32_t state, double lastGs, double dt, double trackChange) {
  // The first report of a stop is kept: thinned out, the aircraft rolled on through the wait to
  // the next report taken, as the departure lined up on its runway that crept 20 m at 6 kt there.
  if (!record.airborne && record.gs == 0.0 && lastGs > 0.0) return false;
  // So is every report of a taxi's stop: they tell how long it lasts, and without them a late
  // aircraft took the gap to the next moving report for a roll off and left its stop at once.
  if (!record.airborne && record.gs == 0.0 && (state == FlightPhase::taxi || state == FlightPhase::takeoff_roll))
    return false;
  double minGap = 0.0;
  if (record.airborne && record.gs > 120.0 && std::abs(trackChange) <= 1.0) {
    minGap = kMinAirborneGapNm / (record.gs / 3600.0);
  } else if (!record.airborne && record.gs <= 30.0 && std::abs(trackChange) <= 2.0) {
    minGap = record.gs == 0.0 ? kMaxGroundGapSeconds
                              : std::min(kMinGroundGapNm / (record.gs / 3600.0), kMaxGroundGapSeconds);
  } else {
    return false;
  }
  return dt <= minGap;
}

// A ground report whose speed the feed lost: the speed of its move from the last report. Read
// as 0, a taxiing aircraft stopped dead at it and went on at once.
double lf_speedOfMove(const TrafficRecord& record, double distanceNm, double dt) {
  if (record.airborne || !(dt > 0.0)) return 0.0;
  const double kt = distanceNm / dt * 3600.0;
  return std::isfinite(kt) && kt >= 0.0 ? kt : 0.0;
}

// A ground report thinned out: the first of those at one place is kept in mind for a stop there.
void lf_rememberThinned(LiveAc& aircraft, const TrafficRecord& record) {
  if (record.airborne) {
    aircraft.thinnedAtRest.reset();
    return;
  }
  const auto& kept = aircraft.thinnedAtRest;
  if (kept && gf_distanceNm(kept->lalo, record.lalo) <= kSamePlaceNm) return;
  aircraft.thinnedAtRest = LiveAc::ThinnedReport{record.lalo, record.timestamp, record.mailboxTime};
}

// A stop's first report where thinned-out reports already stood: the stop began with them, and
// taken from this report the aircraft's wait there was cut by the crawl's thinned seconds.
void lf_stopFromItsCrawl(LiveAc& aircraft, TrafficRecord& record, double lastGs) {
  const auto atRest = std::exchange(aircraft.thinnedAtRest, std::nullopt);
  if (!atRest || record.airborne || record.gs != 0.0 || !(lastGs > 0.0)) return;
  if (gf_distanceNm(atRest->lalo, record.lalo) > kSamePlaceNm) return;
  record.timestamp = atRest->timestamp;
  record.mailboxTime = atRest->mailboxTime;
}

void lf_watchJump(const TrafficRecord& record) {
  if (record.hexid == 0 || !gf_isValidLalo(record.lalo) || !std::isfinite(record.timestamp)) return;
  g_jumpWatch.try_emplace(record.hexid, JumpWatchEntry{record.lalo, record.timestamp, 1, false, g_engineTime.load()});
}

// The table's hexids side by side, so that finding a flight reads a few lines instead of a line
// per aircraft: at a thousand flights that walk was most of a record's cost. It lives for one
// drain. A decode adds at most one flight, at the back; any other change to the table (a
// removal) shows in its size or its last hexid and has it rebuilt.
class HexidIndex {
 public:
  void forget() { built_ = false; }

  // The flight's place in g_liveAcs, or its size when it is not there.
  std::size_t find(std::uint32_t hexid) {
    sync();
    const std::size_t found = position(hexid);
    if (found == ids_.size() || g_liveAcs[found].hexid == hexid) return found;
    rebuild();  // a change the sync could not see; cannot happen through the engine's own paths
    return position(hexid);
  }

 private:
  std::size_t position(std::uint32_t hexid) const {
    return static_cast<std::size_t>(std::find(ids_.begin(), ids_.end(), hexid) - ids_.begin());
  }

  bool lastInPlace() const { return ids_.empty() || g_liveAcs[ids_.size() - 1].hexid == ids_.back(); }

  void sync() {
    const std::size_t size = g_liveAcs.size();
    if (!built_ || size < ids_.size() || size > ids_.size() + 1 || !lastInPlace()) {
      rebuild();
    } else if (size == ids_.size() + 1) {
      ids_.push_back(g_liveAcs.back().hexid);
    }
  }

  void rebuild() {
    ids_.clear();
    for (const LiveAc& aircraft : g_liveAcs) ids_.push_back(aircraft.hexid);
    built_ = true;
  }

  std::vector<std::uint32_t> ids_;
  bool built_ = false;
};

// lf_main only, like the table.
HexidIndex g_hexidIndex;

void lf_decode(TrafficRecord& record) {
  const EngineHooks& hooks = gf_engineHooks();
  std::size_t index = g_hexidIndex.find(record.hexid);
  if (index == g_liveAcs.size()) {
    if (!std::isfinite(record.gs)) record.gs = 0.0;
    if (!record.callsign.empty() && std::any_of(g_liveAcs.begin(), g_liveAcs.end(), [&](const LiveAc& a) {
          return a.callsign == record.callsign && a.modelId == record.modelId;
        }))
      return;  // already shown under another hexid
    gf_createNewAcFromRecord(record);
    return;
  }
  LiveAc& aircraft = g_liveAcs[index];
  if (aircraft.simState == SimStatus::liveryrespawn) return;
  if (aircraft.simState == SimStatus::removingfromsim) {
    if (g_jumpWatch.contains(record.hexid))
      gf_updateJumpWatch(record.hexid, record.lalo, record.timestamp, record.airborne);
    return;
  }
  if (!aircraft.stream.empty()) {
    const StreamPoint& last = aircraft.stream.back();
    const double dt = record.timestamp - aircraft.lastMessageTime;
    // Over the same span as dt: from the last report taken, not from the stream's end, which may be
    // a predicted point or an older report kept while the newer ones moved the aircraft too little.
    const double distanceNm = gf_distanceNm(aircraft.lastMessageLalo, record.lalo);
    const double trackChange = record.track - last.track;
    const bool jump = lf_isGroundJump(aircraft, last, record, distanceNm, dt);
    if (record.timestamp == aircraft.lastMessageTime || dt <= 1.0) return;
    if (jump) {
      lf_watchJump(record);
      gf_log(fmt::format("{} {} removed: its report jumped {:.0f} m on the ground in {:.0f} s", aircraft.callsign,
                         aircraft.registration, distanceNm * 1852.0, dt));
      hooks.removeAircraftFromSim(aircraft);
      return;
    }
    if (!std::isfinite(record.gs)) record.gs = lf_speedOfMove(record, distanceNm, dt);
    if (aircraft.extensionCount < 1 && lf_thinnedOut(record, aircraft.state, last.groundSpeed, dt, trackChange)) {
      lf_rememberThinned(aircraft, record);
      return;
    }
    lf_stopFromItsCrawl(aircraft, record, last.groundSpeed);
  }
  if (!std::isfinite(record.gs)) record.gs = 0.0;
  if (aircraft.simState == SimStatus::buffer && lf_atParkElevation(record.altitude)) return;
  if (!hooks.checkKnownAcChanges(aircraft, record)) return;
  // The change detection may have reshaped the table.
  if (index >= g_liveAcs.size() || g_liveAcs[index].hexid != record.hexid) index = g_hexidIndex.find(record.hexid);
  if (index == g_liveAcs.size()) return;
  LiveAc& known = g_liveAcs[index];
  known.lastMessageTime = record.timestamp;
  known.lastMessageLalo = record.lalo;
  StreamPoint point = gf_streamPoint(record);
  point.time = gf_ticksLater(point.time, known.reportLagTicks);
  point.feedTime = point.time;
  hooks.decodeExisting(known, point);
}

// The index is trusted only within one drain: between drains the engine's passes change the table.
void lf_decodeIndexed(TrafficRecord& record) noexcept {
  try {
    lf_decode(record);
  } catch (...) {
    gf_reportTrafficException("decodeMessage");
  }
}

}  // namespace

void decodeMessage(TrafficRecord& record) noexcept {
  g_hexidIndex.forget();
  lf_decodeIndexed(record);
}

void gf_createNewAcFromRecord(TrafficRecord& record) {
  if (const auto entry = gf_lookupRegistration(record.registration)) {
    record.airlineId = entry->airlineId;
    record.modelId = entry->modelId;
  }
  if (gf_isIcaoModelCode(gf_modelName(record.modelId))) gf_createLiveAc(record);
}

void gf_createLiveAc(TrafficRecord& record) {
  if (record.hexid == 0) return;
  if (!gf_updateJumpWatch(record.hexid, record.lalo, record.timestamp, record.airborne)) return;
  if (!gf_isCategoryIncluded(gf_categoryOf(record.modelId))) return;
  if (lf_atParkElevation(record.altitude)) return;
  record.name1 = record.callsign;
  record.name2.clear();
  record.engineValue = 0;
  AcIdentity identity(static_cast<const FeedRecordHead&>(record));
  identity.hexid = record.hexid;
  identity.maxTurnPerStep = identity.defaultTurnPerStep;
  identity.accelerationLimit = lf_byCategory(kAccelerationLimits, identity.category);
  identity.pushbackSpeedKt = lf_byCategory(kPushbackSpeedsKt, identity.category);
  g_liveAcs.emplace_back(gf_streamPoint(record), std::move(identity), record.timestamp);
}

bool gf_updateJumpWatch(std::uint32_t hexid, const Lalo& position, double timestamp, bool airborne) {
  const auto it = g_jumpWatch.find(hexid);
  if (it == g_jumpWatch.end()) return true;
  JumpWatchEntry& entry = it->second;
  bool ended = airborne;
  if (!ended && !entry.holdUntilAirborne) {
    const double since = timestamp - entry.time;
    if (!std::isfinite(since) || since > kWatchWindowSeconds) {
      entry.stableCount = 1;
    } else if (since > 0.0) {
      const double metres = gf_distanceNm(entry.position, position) * kMetresPerNm;
      if (std::isfinite(metres) && metres <= kWatchStableMetres)
        ended = ++entry.stableCount >= kWatchStableRecords;
      else
        entry.stableCount = 1;
    }
  }
  if (ended) {
    g_jumpWatch.erase(it);
    return true;
  }
  entry.position = position;
  entry.time = timestamp;
  entry.lastSeen = g_engineTime.load();
  return false;
}

void gf_drainTrafficMailbox() {
  // The buffered past first, in the order the feed sent it, so that the live records land on it.
  g_hexidIndex.forget();
  for (HistoryBatch& batch : gf_takeHistoryBatches())
    for (TrafficRecord& record : batch.records) lf_decodeIndexed(record);
  const std::size_t perTick = gf_mailboxDrainPerTick();
  TrafficRecord record;
  for (std::size_t taken = 0; taken < perTick && gf_takeMailboxRecord(record); ++taken) lf_decodeIndexed(record);
}
