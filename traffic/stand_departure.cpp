#include "traffic/stand_departure.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "core/log.h"
#include "core/utc_time.h"
#include "feed/traffic_mailbox.h"
#include "liveries/ac_stands.h"
#include "simlink/sim_commands.h"
#include "traffic/engine_hooks.h"
#include "traffic/traffic_exceptions.h"

namespace {

constexpr double kMetresPerNm = 1852.0;
constexpr double kDirectionFromNm = 0.008099352051835854;  // 15 m: nearer, the bearing is noise
constexpr double kAtStandNm = 0.05399568034557236;         // 100 m
constexpr double kStepM = 3.0;                             // the least move that counts
constexpr double kConfirmSlackM = 5.0;
constexpr double kConfirmMaxM = 262.0;
constexpr double kConfirmMinGainM = 3.0;
constexpr double kConfirmFarStartM = 30.0;
constexpr double kConfirmFarGainM = 10.0;
constexpr double kConfirmMinStepM = 12.0;
constexpr double kPushbackMetresPerSecond = 12.86111111111111;  // 25 kt
constexpr double kConfirmWindowS = 120.0;
constexpr double kBackwardMaxM = 262.0;
constexpr double kForwardMaxM = 300.0;
constexpr double kNoseInReleaseExtraM = 30.0;
constexpr std::int32_t kPushbackDueTicks = 3000;  // 30 s
constexpr std::int32_t kLightsLeadTicks = 2000;   // the lights are on 20 s before the pushback
constexpr std::int64_t kHundredNanosPerSecond = 10'000'000;
constexpr std::int64_t kStandSettleTicks = 30 * kHundredNanosPerSecond;  // 30 s of the wall clock
constexpr double kParkedPointLead = 60'480'000.0;                        // a parked point lies one week ahead
constexpr std::uint32_t kDepartureLights[7] = {1, 1, 0, 1, 0, 1, 0};     // nav, beacon, taxi, logo

// A stay below this many minutes after landing here is a short one; 0: never short.
double lf_shortStayMinutes(AcCategory category) {
  switch (category) {
    case AcCategory::heavy:
      return 60.0;
    case AcCategory::large:
      return 25.0;
    case AcCategory::twoprops:
    case AcCategory::buzjet:
      return 15.0;
    default:
      return 0.0;
  }
}

std::int64_t lf_wallClock() { return gf_systemSeconds() * kHundredNanosPerSecond; }

// The forward distance a pull-out must reach before it counts.
double lf_releaseMetres(const LiveAc& aircraft) {
  double metres = 180.0;
  switch (aircraft.category) {
    case AcCategory::none:
      metres = 120.0;
      break;
    case AcCategory::twoprops:
    case AcCategory::buzjet:
      metres = 140.0;
      break;
    case AcCategory::heavy:
      metres = 220.0;
      break;
    default:
      break;
  }
  return aircraft.standNoseIn ? metres + kNoseInReleaseExtraM : metres;
}

void lf_switchLightsOn(LiveAc& aircraft) {
  gf_queueLightEvents(aircraft.objectId, kDepartureLights);
  aircraft.lightsOnTime = g_engineTime.load();
  aircraft.lightsOn = true;
}

// Lights on now, and the pushback not before they have been on for 20 s.
void lf_switchLightsOnForPushback(LiveAc& aircraft) {
  if (aircraft.lightsOn) return;
  lf_switchLightsOn(aircraft);
  aircraft.lightsDue = g_engineTime.load() + kLightsLeadTicks;
  aircraft.lightsDueSet = true;
}

// A new aircraft, one that holds a reservation of this stand, or one that drove in more than
// 30 s ago may leave: its lights may come on with the first move.
bool lf_mayLeave(const LiveAc& aircraft, std::int64_t now) {
  if (aircraft.prevState == FlightPhase::birth) return true;
  if (aircraft.hasReservation && aircraft.reservedStandId == aircraft.standId) return true;
  return aircraft.prevState == FlightPhase::parking && aircraft.standArrivalClock != 0 &&
         now - aircraft.standArrivalClock > kStandSettleTicks;
}

bool lf_defer(LiveAc& aircraft, const StreamPoint& point) {
  std::int32_t due = aircraft.pushbackDueSet ? aircraft.pushbackDue : g_engineTime.load();
  if (aircraft.lightsDueSet) due = std::max(due, aircraft.lightsDue);
  aircraft.deferredPoint = point;
  aircraft.deferredDue = due;
  aircraft.deferredPending = true;
  return false;
}

bool lf_stay(LiveAc& aircraft) {
  aircraft.departureStarted = false;
  return false;
}

// The run of points away from the stand starts again at this distance.
bool lf_restartRun(LiveAc& aircraft, double distanceNm) {
  aircraft.awayRefDist = aircraft.awayLastDist = distanceNm;
  aircraft.pushbackDueSet = false;
  aircraft.awayCount = 0;
  return lf_stay(aircraft);
}

bool lf_removeFarAway(LiveAc& aircraft, double fromStandM) {
  gf_log(fmt::format("{} {} removed: reported {:.0f} m from its stand, too far for a push-back or a taxi-out",
                     aircraft.callsign, aircraft.registration, fromStandM));
  gf_addRealStandOption(aircraft.standId, aircraft, 3);
  try {
    gf_engineHooks().removeAircraftFromSim(aircraft);
  } catch (...) {
    gf_reportTrafficException("checkAtStandSituations");
  }
  return false;
}

bool lf_confirmPushback(LiveAc& aircraft, const StreamPoint& point, double distanceNm, bool hasDirection,
                        bool forward) {
  const double fromStand = distanceNm * kMetresPerNm;
  const double fromLast = gf_distanceNm(aircraft.confirmPos, point.lalo) * kMetresPerNm;
  const double dt = (static_cast<double>(point.time) - static_cast<double>(aircraft.confirmTime)) / 100.0;
  const double startM = aircraft.confirmStartDist * kMetresPerNm;
  const bool plausible =
      std::isfinite(fromStand) && std::isfinite(fromLast) && std::isfinite(dt) && dt > 0.0 && dt <= kConfirmWindowS &&
      fromLast <= std::max(kConfirmMinStepM, dt * kPushbackMetresPerSecond) && fromStand <= kConfirmMaxM &&
      fromStand >= aircraft.confirmLastDist * kMetresPerNm - kConfirmSlackM && fromStand >= startM - kConfirmSlackM;
  const double gain = fromStand - startM;
  const bool confirmed = gain >= kConfirmMinGainM &&
                         ((hasDirection && !forward) || (startM >= kConfirmFarStartM && gain >= kConfirmFarGainM));
  if (plausible && confirmed) {
    aircraft.confirmPending = false;
    return lf_defer(aircraft, point);
  }
  if (plausible && aircraft.confirmCount < 1) {
    aircraft.confirmLastDist = distanceNm;
    aircraft.confirmPos = point.lalo;
    aircraft.confirmTime = point.time;
    aircraft.confirmCount += 1;
    return lf_stay(aircraft);
  }
  aircraft.confirmPending = false;
  return lf_restartRun(aircraft, distanceNm);
}

// The run of points away from the stand, lights aside: whether this point moved it on.
bool lf_stepRun(LiveAc& aircraft, const StreamPoint& point, double distanceNm) {
  if (aircraft.awayLastDist == 0.0) return lf_restartRun(aircraft, distanceNm);
  const double fromStand = distanceNm * kMetresPerNm;
  const double lastM = aircraft.awayLastDist * kMetresPerNm;
  if (fromStand >= lastM + kStepM) {
    if (aircraft.awayCount == 0) {
      aircraft.pushbackDue = std::min(g_engineTime.load() + kPushbackDueTicks, point.time);
      aircraft.pushbackDueSet = true;
    }
    aircraft.awayLastDist = distanceNm;
    aircraft.awayCount += 1;
    return true;
  }
  if (fromStand <= lastM - kStepM) return lf_restartRun(aircraft, distanceNm);
  return false;
}

bool lf_nearStand(LiveAc& aircraft, const StreamPoint& point, double distanceNm, bool hasDirection, bool forward) {
  const std::int64_t now = lf_wallClock();
  aircraft.lastAtStandClock = now;
  if (lf_stepRun(aircraft, point, distanceNm)) {
    if (!aircraft.lightsOn && lf_mayLeave(aircraft, now)) lf_switchLightsOn(aircraft);
    if (aircraft.awayCount < 2) return lf_stay(aircraft);
    // The record keeps half the span: backwards by half a wingspan.
    if (distanceNm - aircraft.awayRefDist < aircraft.wingspan || !hasDirection || forward) return lf_stay(aircraft);
    lf_switchLightsOnForPushback(aircraft);
    aircraft.confirmStartDist = aircraft.confirmLastDist = distanceNm;
    aircraft.confirmPos = point.lalo;
    aircraft.confirmTime = point.time;
    aircraft.confirmCount = 0;
    aircraft.confirmPending = true;
    return false;
  }
  return lf_stay(aircraft);
}

}  // namespace

void gf_takeReportsOnStand(LiveAc& aircraft, const RingDeque<StreamPoint>& reports) {
  for (const StreamPoint& point : reports) {
    const double distanceNm = gf_distanceNm(aircraft.standPos, point.lalo);
    if (!std::isfinite(distanceNm) || distanceNm > kAtStandNm) continue;
    // 0 means no reference yet: a report right on the stand point is one.
    lf_stepRun(aircraft, point, std::max(distanceNm, 1e-9));
  }
  aircraft.departureStarted = false;
}

bool checkAtStandSituations(LiveAc& aircraft, StreamPoint& point) {
  aircraft.atStandSeen = true;
  if (aircraft.deferredPending) return false;
  // Just driven in, the aircraft may still stand off its stand.
  const double factor = aircraft.prevState == FlightPhase::parking ? 2.0 : 1.0;
  const double distanceNm = gf_distanceNm(aircraft.standPos, point.lalo);
  bool hasDirection = false;
  bool forward = false;
  if (distanceNm >= kDirectionFromNm) {
    const double off =
        std::remainder(gf_bearingRad(aircraft.standPos, point.lalo) - aircraft.standHeading, 2.0 * geo::kPi) *
        geo::kRadToDeg;
    forward = std::abs(off) <= (aircraft.standNoseIn ? 30.0 : 60.0);
    hasDirection = true;
  }
  if (aircraft.confirmPending) return lf_confirmPushback(aircraft, point, distanceNm, hasDirection, forward);
  if (distanceNm <= factor * kAtStandNm) return lf_nearStand(aircraft, point, distanceNm, hasDirection, forward);
  if (!(distanceNm > factor * kAtStandNm) || !hasDirection) return lf_stay(aircraft);

  const double fromStand = distanceNm * kMetresPerNm;
  if (forward) {
    if (fromStand < lf_releaseMetres(aircraft)) return lf_stay(aircraft);
    if (fromStand > kForwardMaxM) return lf_removeFarAway(aircraft, fromStand);
    lf_startStandDeparture(aircraft, point, 1);
    return true;
  }
  if (fromStand > kBackwardMaxM) return lf_removeFarAway(aircraft, fromStand);
  lf_switchLightsOnForPushback(aircraft);
  if (aircraft.pushbackDueSet || aircraft.lightsDueSet) return lf_defer(aircraft, point);
  lf_startStandDeparture(aircraft, point, 0);
  return true;
}

void lf_startStandDeparture(LiveAc& aircraft, StreamPoint& point, std::uint32_t kind) {
  point.repeated = false;
  aircraft.departureStarted = true;
  if (aircraft.prevState == FlightPhase::parked) return;
  aircraft.departureKind = static_cast<std::uint8_t>(kind);
  if (aircraft.extensionCount > 0) {
    if (aircraft.state == FlightPhase::parked && !aircraft.stream.empty()) {
      if (aircraft.prevPrevState == FlightPhase::landing_roll) {
        const double minutes =
            (g_engineTime.load() - static_cast<double>(aircraft.stream.front().time) + kParkedPointLead) / 6000.0;
        if (minutes < lf_shortStayMinutes(aircraft.category)) aircraft.shortStay = true;
        aircraft.prevPrevState = FlightPhase::birth;
      }
      aircraft.stream.front().time = g_engineTime.load() + 1;
    }
    gf_resetPrediction(aircraft);
  }
  gf_addRealStandOption(aircraft.standId, aircraft, 2);
  aircraft.hasReservation = false;
  aircraft.arrivalConfirmed = false;
  if (aircraft.state != FlightPhase::parked) gf_changeState(aircraft, FlightPhase::parked);
}
