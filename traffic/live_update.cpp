#include "traffic/live_update.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/log.h"
#include "feed/traffic_mailbox.h"
#include "simlink/ai_positions.h"
#include "traffic/delayed_sim_commands.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/ground_movement.h"
#include "traffic/leg_motion.h"
#include "traffic/movement_geometry.h"
#include "traffic/next_position.h"
#include "traffic/spawning.h"
#include "traffic/stand_departure.h"
#include "traffic/stream_prediction.h"
#include "traffic/traffic_exceptions.h"

namespace {

constexpr double kMetresPerNm = 1852.0;
constexpr double kKtPerMetrePerSecond = 1.9438444924406046;
constexpr double kSamePlaceDeg = 1e-8;
constexpr double kNearPlaceDeg = 0.00015;              // about 15 m: a taxiing aircraft standing
constexpr double kStandLeftNm = 0.10799136069114472;  // 200 m
constexpr std::int32_t kClimbOutTicks = 3000;
constexpr double kRollingKt = 30.0;  // a repeated report this fast is stale, not a stop
constexpr double kTaxiingKt = 5.0;   // moving, as a report says
constexpr double kTailFirstRad = geo::kPi / 2.0;   // further off the nose: behind it
constexpr double kNoseFirstRad = geo::kPi / 6.0;   // this near its own nose: driven nose first
constexpr double kHalfPi = geo::kPi / 2.0;
constexpr double kTwoPi = 2.0 * geo::kPi;

// lf_main only. The buffer keeps its room from tick to tick.
std::vector<AiObjectPose> g_tickPoses;
bool g_collectingPoses = false;

std::int32_t lf_now() { return g_engineTime.load(); }

double lf_metres(const Lalo& a, const Lalo& b) { return gf_distanceNm(a, b) * kMetresPerNm; }

bool lf_onPoint(const StreamPoint& point, const StreamPoint& other) {
  return std::fabs(point.lalo.lat - other.lalo.lat) < kSamePlaceDeg &&
         std::fabs(gf_wrapLongitude(point.lalo.lon - other.lalo.lon)) < kSamePlaceDeg;
}

bool lf_inSim(const LiveAc& aircraft) { return aircraft.simState > SimStatus::adding2sim; }

// While a tug pushes it along its reports they lie a few metres apart at walking pace: a
// report behind the nose is the push going on, or ending where the report is, and one along its
// own reported nose is the aircraft moving off after it. Folded into stops, they ended the push
// short of its reports and left the turn off it to be made on the spot. A standing aircraft's
// reports of 0 kt still wander into a stop.
bool lf_movesInReportedPush(const LiveAc& aircraft, const StreamPoint& last, const StreamPoint& point) {
  if (!gf_pushFollowsReports(aircraft)) return false;
  const bool lastMoves = !last.repeated && last.groundSpeed > 0.0;
  if (!(point.groundSpeed > 0.0) && !lastMoves) return false;
  const double bearing = gf_bearingRad(last.lalo, point.lalo);
  const bool reported = point.trueHeadingRad && std::isfinite(*point.trueHeadingRad);
  const double nose = reported ? *point.trueHeadingRad : aircraft.heading;
  const double off = std::fabs(gf_wrapAngle(bearing - nose));
  if (off > kTailFirstRad) return true;
  return reported && point.groundSpeed > 0.0 && off < kNoseFirstRad;
}

// Metres the point lies ahead of `from` along the aircraft's heading (negative: behind).
double lf_alongM(const LiveAc& aircraft, const Lalo& from, const StreamPoint& point) {
  return gf_relativeGeometry(from, aircraft.heading, point.lalo).alongM;
}

// A point behind the aircraft makes the last points of the stream (up to two) obsolete; with a
// single point the new one is refused (false).
bool lf_dropPointsBehind(LiveAc& aircraft, const StreamPoint& point, double marginM) {
  auto& s = aircraft.stream;
  if (s.size() < 2) return !(lf_alongM(aircraft, s.front().lalo, point) < -marginM);
  const bool three = s.size() >= 3;
  if (lf_alongM(aircraft, s.back().lalo, point) < -marginM) {
    s.pop_back();
    if (three && lf_alongM(aircraft, s.back().lalo, point) < -marginM) s.pop_back();
  }
  return true;
}

double lf_wrapHeading(double heading) {
  if (heading >= 0.0 && heading < kTwoPi) return heading;  // what fmod would give, far cheaper
  double h = std::fmod(heading, kTwoPi);
  if (h < 0.0) h += kTwoPi;
  return h >= kTwoPi ? 0.0 : h;
}

// The pose of an aircraft in the simulator, when every value of it is a number.
void lf_sendPose(const LiveAc& aircraft) {
  const double values[] = {aircraft.position.lat, aircraft.position.lon, aircraft.pitch,     aircraft.bank,
                           aircraft.heading,      aircraft.altitude,     aircraft.nextValue, aircraft.speed};
  if (!std::all_of(std::begin(values), std::end(values), [](double v) { return std::isfinite(v); })) return;
  AiPose single;
  // Written in place: a whole pose built aside and copied in cost a stall on every aircraft.
  AiPose& pose = g_collectingPoses ? g_tickPoses.emplace_back().pose : single;
  if (g_collectingPoses) g_tickPoses.back().objectId = aircraft.objectId;
  pose.latitude = aircraft.position.lat;
  pose.longitude = gf_wrapLongitude(aircraft.position.lon);
  pose.pitch = std::clamp(aircraft.pitch, -kHalfPi, kHalfPi);
  pose.bank = std::clamp(aircraft.bank, -kHalfPi, kHalfPi);
  pose.heading = lf_wrapHeading(aircraft.heading);
  pose.altitude = aircraft.altitude;
  pose.verticalSpeed = aircraft.nextValue;
  pose.airspeedTrue = aircraft.speed;
  if (!g_collectingPoses) gf_setAiPose(aircraft.objectId, pose);
}

// A standing aircraft still turns on the spot: onto a target heading, or a departure lined up on
// its predicted runway.
void lf_turnWhileStanding(LiveAc& aircraft) {
  if (!gf_isDepartureGate(aircraft)) return;
  double target = 0.0;
  if (aircraft.turnTargetSet)
    target = aircraft.turnTargetHeading;
  else if (aircraft.runwayPredicted && aircraft.lineUpRotate && aircraft.stream.size() >= 2)
    target = aircraft.predictedRunwayHeading;  // a single point: the prediction lines it up itself
  else
    return;
  aircraft.maxTurnPerStep = aircraft.defaultTurnPerStep;
  gf_turnTowardHeading(aircraft, target, false);
}

bool lf_done(const LiveAc& aircraft) { return aircraft.dropFromRegistry || aircraft.createCancelled; }

// The stand departure held back until the lights were on.
void lf_releaseDeferredPoint(LiveAc& aircraft) {
  StreamPoint point = aircraft.deferredPoint;
  aircraft.deferredPending = false;
  lf_startStandDeparture(aircraft, point, 0);
  if (!aircraft.stream.empty() && point.time <= aircraft.stream.back().time) point.time = aircraft.stream.back().time + 1;
  aircraft.stream.push_back(point);
}

void lf_logEmpty(std::string_view function) { gf_logWarning(fmt::format("{} empty sz?", function)); }

}  // namespace

PoseBatch::PoseBatch() {
  g_tickPoses.clear();
  // Room for every aircraft of the pass: the buffer grows only with the traffic.
  g_tickPoses.reserve(g_liveAcs.size());
  g_collectingPoses = true;
}

PoseBatch::~PoseBatch() {
  g_collectingPoses = false;
  g_tickPoses.clear();
}

void PoseBatch::handOver() {
  gf_setAiPoses(g_tickPoses);
  g_tickPoses.clear();
}

bool updateLiveAc(LiveAc& aircraft) {
  if (aircraft.simState == SimStatus::buffer) {
    lf_trySpawn(aircraft);
    return lf_done(aircraft);
  }
  if (!gf_movesInSim(aircraft)) return lf_done(aircraft);
  auto& s = aircraft.stream;
  if (!s.empty() && aircraft.state == FlightPhase::parked && aircraft.deferredPending &&
      aircraft.deferredDue <= lf_now())
    lf_releaseDeferredPoint(aircraft);
  if (s.empty()) {
    gf_logWarning(fmt::format("{} stream empty ? {}, hexid:{:x}, objectid:{}, alt:{:.0f} ft, lalo:{:.6f},{:.6f}, TAS:{:.0f}",
                              "updateLiveAc", aircraft.toString(), aircraft.hexid, aircraft.objectId,
                              aircraft.altitude, aircraft.position.lat, aircraft.position.lon, aircraft.speed));
    gf_engineHooks().removeAircraftFromSim(aircraft);
    return lf_done(aircraft);
  }
  if (s.front().time <= lf_now()) {
    nextPosMain(aircraft);
    aircraft.nextValue = aircraft.pendingNextValue;
    aircraft.speed = !s.empty() && s.front().repeated ? 0.0 : aircraft.pendingSpeed;
  }
  if (!gf_movesInSim(aircraft)) return lf_done(aircraft);

  if (s.empty() || !s.front().repeated) {
    gf_moveAlongLeg(aircraft);
  } else {
    aircraft.groundStepMetres = 0.0;  // standing: the next leg starts from standstill
    aircraft.airStepMetres = -1.0;
    lf_turnWhileStanding(aircraft);
  }
  gf_predictDepartureRunway(aircraft);
  if (aircraft.objectId == 0) {
    gf_logWarning(fmt::format("{} objectid=0? hexid: {:x},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc",
                              aircraft.hexid, aircraft.callsign, aircraft.registration, aircraft.description(),
                              s.size()));
    gf_engineHooks().removeAircraftFromSim(aircraft);
  } else {
    lf_sendPose(aircraft);
  }
  return lf_done(aircraft);
}

void noMoreNextPos(LiveAc& aircraft) noexcept {
  try {
    gf_engineHooks().removeAircraftFromSim(aircraft);
  } catch (...) {
    gf_reportTrafficException("noMoreNextPos");
  }
}

bool checkExtendingSituations(LiveAc& aircraft, StreamPoint& point) {
  switch (aircraft.state) {
    case FlightPhase::parked:
      return lf_inSim(aircraft) && checkAtStandSituations(aircraft, point);
    case FlightPhase::parking:
      if (!lf_inSim(aircraft) || !(gf_distanceNm(point.lalo, aircraft.standPos) > kStandLeftNm)) return false;
      gf_changeState(aircraft, FlightPhase::taxi);
      point.repeated = false;
      return true;
    case FlightPhase::pushing_back:
      if (gf_pushFollowsReports(aircraft)) break;
      aircraft.holdRefPos = point.lalo;
      aircraft.holdRefSet = true;
      aircraft.holdLeaving = false;
      aircraft.holdLeaveCount = 0;
      return false;
    case FlightPhase::pushed_back:
      return lf_checkHoldRelease(aircraft, point);
    case FlightPhase::landing:
    case FlightPhase::landing_roll:
      return checkNewPosDuringLanding(aircraft, point);
    case FlightPhase::takeoff_roll:
    case FlightPhase::takeoff:
      return checkNewPosDuringTakeoff(aircraft, point);
    default:
      break;
  }
  const bool taken = lf_filterGroundPoint(aircraft, point);
  if (!taken || aircraft.extensionCount < 1) return taken;
  // The aircraft runs on predicted points: a real report takes over at once, unless it lies
  // behind an airborne aircraft.
  if (aircraft.stream.empty()) {
    lf_logEmpty("checkExtendingSituations");
    return false;
  }
  if (!aircraft.onGround) {
    const RelativeGeometry g = gf_relativeGeometry(aircraft.position, aircraft.heading, point.lalo);
    if (g.distanceM > 0.1 && g.alongM < -50.0) return false;
  }
  gf_resetPrediction(aircraft);
  aircraft.extensionFlag = false;
  aircraft.stream.front().time = lf_now() + 1;
  return true;
}

bool lf_filterGroundPoint(LiveAc& aircraft, StreamPoint& point) {
  if (aircraft.stream.empty()) return true;
  StreamPoint& last = aircraft.stream.back();
  // A report of 0 kt on the place of a moving one ends the movement there: the stop is the
  // feed's, and lasts as long as the reports on it. Kept moving, the last report was taken for
  // a stale position and the stand dropped as the aircraft rolled off.
  const auto stopAtLast = [&point, &last] {
    if (point.groundSpeed == 0.0 && !last.repeated && last.groundSpeed > 0.0) last.groundSpeed = 0.0;
  };
  point.repeated = lf_onPoint(point, last);
  if (aircraft.state == FlightPhase::landing) return true;
  const bool refusedInAir = point.airborne || (lf_inSim(aircraft) && !aircraft.onGround);
  const bool rolling = aircraft.state == FlightPhase::takeoff_roll;
  if (!point.repeated) {
    const bool near = std::fabs(point.lalo.lat - last.lalo.lat) < kNearPlaceDeg &&
                      std::fabs(gf_wrapLongitude(point.lalo.lon - last.lalo.lon)) < kNearPlaceDeg;
    if (near) {
      if (refusedInAir) return false;
      if (rolling && point.groundSpeed > 0.0 && last.groundSpeed >= 50.0) return false;
      // Only a standing aircraft's reports wander: reports a second apart in a taxi turn lie this
      // close, as does the place a taxiing aircraft stops at. Made stops where the last report
      // is, they halted a taxiing airliner for a second at every other report.
      if (point.groundSpeed > kTaxiingKt || last.groundSpeed > kTaxiingKt) return true;
      if (lf_movesInReportedPush(aircraft, last, point)) return true;
      stopAtLast();
      // Standing where the last point is, for as long as the report says: its own time stays.
      const std::int32_t time = point.time;
      const std::optional<std::int32_t> feedTime = point.feedTime;
      point = last;
      point.time = time;
      point.feedTime = feedTime;
      point.repeated = true;
      point.groundSpeed = 0.0;
      return true;
    }
    if (point.groundSpeed != 0.0) return true;
    if (!rolling && !point.airborne) return true;
    return last.groundSpeed < 50.0;
  }
  if (refusedInAir) return false;
  if (!rolling || !(point.groundSpeed > 0.0)) {
    stopAtLast();
    point.groundSpeed = 0.0;
    return true;
  }
  if (last.groundSpeed >= 30.0) return false;
  point.groundSpeed = 0.0;
  return true;
}

bool lf_checkHoldRelease(LiveAc& aircraft, StreamPoint& point) {
  const auto finish = [&aircraft] {
    if (aircraft.predictActive) gf_resetPrediction(aircraft);
    return false;
  };
  if (!aircraft.holdRefSet) {
    aircraft.holdRefPos = point.lalo;
    aircraft.holdRefSet = true;
    aircraft.holdLeaving = false;
    aircraft.holdLeaveCount = 0;
    return finish();
  }
  if (lf_metres(point.lalo, aircraft.holdRefPos) < 4.0) return finish();
  aircraft.holdRefPos = point.lalo;
  // Two full wingspans (the record keeps half of one) from the stand, at least 25 m.
  const double clearM = std::max(4.0 * aircraft.wingspan * kMetresPerNm, 25.0);
  if (lf_metres(point.lalo, aircraft.standPos) < clearM) {
    aircraft.holdLeaving = false;
    aircraft.holdLeaveCount = 0;
    return finish();
  }
  if (!aircraft.holdLeaving) {
    aircraft.holdLeaving = true;
    aircraft.holdLeavePos = point.lalo;
    return finish();
  }
  ++aircraft.holdLeaveCount;
  if (!(aircraft.holdLeaveCount >= 2 && lf_metres(point.lalo, aircraft.holdLeavePos) >= 15.0)) return finish();
  point.repeated = false;
  if (aircraft.predictActive) {
    if (!aircraft.stream.empty()) aircraft.stream.front().time = lf_now() + 1;
    gf_resetPrediction(aircraft);
  } else if (!aircraft.stream.empty() && !aircraft.stream.front().repeated) {
    // The leg begun while pushed back (standing) starts again from here as a taxi leg: its turn
    // and its start are planned, instead of rolling off at once with the nose still aside.
    StreamPoint here = aircraft.stream.front();
    here.lalo = aircraft.position;
    here.groundSpeed = 0.0;
    here.turnStart = here.fromPosition = false;
    here.time = lf_now() + 1;
    aircraft.stream.push_front(here);
  }
  aircraft.holdRefSet = false;
  aircraft.holdLeaving = false;
  aircraft.holdLeaveCount = 0;
  if (aircraft.state != FlightPhase::taxi) gf_changeState(aircraft, FlightPhase::taxi);
  aircraft.standPos = Lalo{};
  aircraft.standHeading = 0.0;
  aircraft.standId = 0;
  aircraft.standCargo = false;
  aircraft.standNoseIn = false;
  return true;
}

bool checkNewPosDuringLanding(LiveAc& aircraft, StreamPoint& point) {
  auto& s = aircraft.stream;
  if (s.empty()) {
    lf_logEmpty("checkNewPosDuringLanding");
    return false;
  }
  if (aircraft.touchdownHold) {
    // After touch-down only a real climb lifts the aircraft again.
    if (!point.airborne) {
      aircraft.touchdownHold = false;
    } else if (point.altitude >= aircraft.holdAlt + 50.0 && std::isfinite(aircraft.holdVs) &&
               std::isfinite(point.verticalRate) && aircraft.holdVs >= 400.0 && point.verticalRate >= 400.0) {
      aircraft.touchdownHold = false;
    } else {
      point.airborne = false;
    }
    aircraft.holdAlt = point.altitude;
    aircraft.holdVs = point.verticalRate;
  }
  if (lf_onPoint(point, s.back())) return false;
  if (s.size() < 2) {
    const double along = lf_alongM(aircraft, s.front().lalo, point);
    if (aircraft.state == FlightPhase::landing) {
      if (along < -20.0) return false;
    } else if (along < -10.0) {
      if (aircraft.extensionCount > 0) return false;
      // The roll ran ahead of its reports: start the stream again where the aircraft is.
      StreamPoint restart = s.front();
      restart.lalo = aircraft.position;
      restart.time = lf_now() + 1;
      s.clear();
      s.push_back(restart);
    }
  } else {
    lf_dropPointsBehind(aircraft, point, 20.0);
  }
  if (aircraft.extensionCount > 0) gf_resetPrediction(aircraft);
  point.repeated = lf_onPoint(point, s.back());
  if (point.repeated || point.airborne || aircraft.state == FlightPhase::landing_roll) return true;
  if (point.groundSpeed > s.back().groundSpeed && point.groundSpeed > 40.0) point.groundSpeed = s.back().groundSpeed;
  return true;
}

bool checkNewPosDuringTakeoff(LiveAc& aircraft, StreamPoint& point) {
  auto& s = aircraft.stream;
  if (s.empty()) {
    lf_logEmpty("checkNewPosDuringTakeoff");
    return false;
  }
  // A departure stopped at its line-up keeps its standing reports: without them its stream runs
  // dry and the extension rolls it down the runway before its time.
  const bool waiting = aircraft.state == FlightPhase::takeoff_roll && aircraft.onGround && !point.airborne &&
                       !(point.groundSpeed > 0.0) && !(s.back().groundSpeed >= kRollingKt);
  if (lf_onPoint(point, s.back())) {
    if (!waiting) return false;
    point.repeated = true;
    point.groundSpeed = 0.0;
  }
  const double margin = aircraft.state == FlightPhase::takeoff_roll ? 10.0 : 25.0;
  if (!lf_dropPointsBehind(aircraft, point, margin)) return false;
  if (!lf_takeoffPointPlausible(aircraft, point)) return false;
  if (aircraft.extensionCount > 0) gf_resetPrediction(aircraft);
  aircraft.extensionFlag = false;
  point.repeated = lf_onPoint(point, s.back());
  if (point.repeated) return true;
  if (s.back().groundSpeed > point.groundSpeed && s.back().groundSpeed > 40.0) point.groundSpeed = s.back().groundSpeed;
  return true;
}

bool lf_takeoffPointPlausible(LiveAc& aircraft, const StreamPoint& point) {
  if (!(aircraft.extensionFlag && aircraft.extensionCount >= 1 && !aircraft.onGround)) return true;
  const std::int32_t now = lf_now();
  const bool climbOut = aircraft.state == FlightPhase::takeoff ||
                        (aircraft.state == FlightPhase::flying && aircraft.prevState == FlightPhase::takeoff &&
                         now - aircraft.stateSince <= kClimbOutTicks);
  if (!climbOut) return true;
  if (point.time <= now + 1) return false;
  const double margin = aircraft.state == FlightPhase::takeoff_roll ? 10.0 : 25.0;
  const RelativeGeometry g = gf_relativeGeometry(aircraft.position, aircraft.heading, point.lalo);
  if (g.distanceM <= 0.1 || g.alongM < -margin) return false;
  const double seconds = (static_cast<double>(point.time) - now) / 100.0;
  if (seconds < 1.0) return true;
  const double last = aircraft.stream.empty() ? point.groundSpeed : aircraft.stream.back().groundSpeed;
  const double reference = last > 1.0 ? last : point.groundSpeed;
  const bool light = aircraft.category == AcCategory::none;
  if (!std::isfinite(g.distanceM) || !std::isfinite(reference) || g.distanceM <= 1.0 || seconds < 5.0 ||
      reference < (light ? 55.0 : 120.0))
    return true;
  const double implied = g.distanceM / seconds * kKtPerMetrePerSecond;
  if (implied >= (light ? 35.0 : 100.0)) return true;
  return implied >= 0.65 * reference;
}
