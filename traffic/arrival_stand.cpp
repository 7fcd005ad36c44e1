#include "traffic/arrival_stand.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "traffic/flat_frame.h"
#include "traffic/ground_index.h"
#include "traffic/movement_geometry.h"
#include "traffic/stand_conflicts.h"

namespace {

constexpr double kMetresPerNm = 1852.0;
constexpr double kNoteReachM = 60.0;
constexpr double kNoteReachNm = 0.032397408207343416;          // 60 m
constexpr double kAheadReachNmSquared = 0.0010495920585532426;  // 60 m, squared
constexpr double kMaxSpeedKt = 6.0;
constexpr double kCloserM = 0.5;  // an unrouted aircraft shows it enters the stand by coming this much closer

constexpr std::string_view kNotConfirmed = "arrival context not confirmed";
constexpr std::string_view kTooFast = "current speed exceeds 6 kt";
constexpr std::string_view kNoType = "stand has no parking type";
constexpr std::string_view kBlocked = "stand blocked";
constexpr std::string_view kWrongType = "aircraft type does not match stand";
constexpr std::string_view kNoFit = "aircraft does not fit stand";
constexpr std::string_view kUnconfirmedApproach = "unknown route; stand approach not confirmed";
constexpr std::string_view kNotTaken = "stand protected, occupied or not reserved";

// NM on the flat earth at the first position's latitude, whose cosine is cosLat.
double lf_flatNm(const Lalo& from, const Lalo& to, double cosLat) {
  const double dy = (to.lat - from.lat) * 60.0;
  const double dx = gf_wrapLongitude(to.lon - from.lon) * 60.0 * cosLat;
  return std::hypot(dx, dy);
}
double lf_flatNm(const Lalo& from, const Lalo& to) {
  return lf_flatNm(from, to, std::cos(from.lat * geo::kDegToRad));
}

// The stands within reachNm north and south of the position: from the pass's index while it
// stands, else every stand. In table order.
const std::vector<std::uint32_t>& lf_standsNear(const Lalo& position, double reachNm) {
  static std::vector<std::uint32_t> found;
  if (g_groundIndex.active) {
    g_groundIndex.stands.near(position.lat, reachNm / 60.0 * 1.000001, found);
  } else {
    found.resize(g_stands.size());
    for (std::uint32_t i = 0; i < found.size(); ++i) found[i] = i;
  }
  return found;
}

// Helipads carry no parking type: for them the helipad flag is the type.
bool lf_hasParkingType(const Stand& stand) { return stand.type != PARKING_NONE || stand.heli != 0; }

// Empty when the stand could take the aircraft.
std::string_view lf_standVerdict(const LiveAc& aircraft, const Stand& stand) {
  if (!lf_hasParkingType(stand)) return kNoType;
  if (stand.blocked != 0) return kBlocked;
  if ((stand.heli != 0) != (aircraft.category == AcCategory::rotorcraft)) return kWrongType;
  // The record's half span, against the stand's half width.
  if (!stand.fitsAircraft(aircraft.category, aircraft.wingspan)) return kNoFit;
  return {};
}

double lf_nearReachM(const LiveAc& aircraft, const Stand& stand) {
  return (stand.radius + aircraft.groundRadius) * kMetresPerNm + 10.0;
}

bool lf_isZero(const Lalo& position) { return position.lat == 0.0 && position.lon == 0.0; }

}  // namespace

void lf_noteStandRefusal(LiveAc& aircraft, const Stand& stand, std::string_view reason, double distanceM) {
  if (distanceM > kNoteReachM) return;
  const auto standId = static_cast<std::int32_t>(stand.id);
  const bool known = std::any_of(aircraft.standRefusals.begin(), aircraft.standRefusals.end(),
                                 [&](const StandRefusal& r) { return r.standId == standId && r.reason == reason; });
  if (!known) aircraft.standRefusals.push_back(StandRefusal{standId, std::string(reason)});
}

void lf_noteStandRefusalAhead(LiveAc& aircraft, std::string_view reason) {
  const Stand* closest = nullptr;
  double closestM = kNoteReachM;
  const double cosLat = std::cos(aircraft.position.lat * geo::kDegToRad);
  for (const std::uint32_t i : lf_standsNear(aircraft.position, kNoteReachNm)) {
    const Stand& stand = g_stands[i];
    if (!lf_standVerdict(aircraft, stand).empty()) continue;
    const double nm = lf_flatNm(aircraft.position, stand.position, cosLat);
    if (!std::isfinite(nm) || !(nm * nm <= kAheadReachNmSquared)) continue;
    const RelativeGeometry g = gf_relativeGeometry(stand.position, stand.heading, aircraft.position);
    const double headingOff = std::fabs(gf_wrapAngle(aircraft.heading - stand.heading)) * geo::kRadToDeg;
    if (!(g.distanceM <= lf_nearReachM(aircraft, stand)) || !(g.alongM <= -5.0) || !(std::fabs(g.crossM) <= 5.0) ||
        !(headingOff <= 15.0))
      continue;
    if (g.distanceM < closestM) {
      closestM = g.distanceM;
      closest = &stand;
    }
  }
  if (closest) lf_noteStandRefusal(aircraft, *closest, reason, closestM);
}

void lf_chooseArrivalStand(LiveAc& aircraft) {
  if (!aircraft.onGround || aircraft.simState != SimStatus::active || aircraft.state != FlightPhase::taxi ||
      aircraft.prevState == FlightPhase::pushed_back || aircraft.prevState == FlightPhase::parked ||
      aircraft.stream.empty())
    return;
  const Lalo previous = aircraft.lastStandCheckPos;
  aircraft.lastStandCheckPos = aircraft.position;

  bool confirmApproach = false;
  if (!aircraft.arrivalConfirmed) {
    if (!aircraft.origin.empty() || !aircraft.destination.empty()) {
      lf_noteStandRefusalAhead(aircraft, kNotConfirmed);
      return;
    }
    confirmApproach = true;
  }
  if (!std::isfinite(aircraft.speed) || std::fabs(aircraft.speed) > kMaxSpeedKt) {
    lf_noteStandRefusalAhead(aircraft, kTooFast);
    return;
  }

  const Stand* nearest = nullptr;
  std::string_view nearestVerdict;
  double nearestM = std::numeric_limits<double>::infinity();
  const Stand* best = nullptr;
  double bestRemainingM = std::numeric_limits<double>::infinity();
  const double cosLat = std::cos(aircraft.position.lat * geo::kDegToRad);
  const double reachNm = std::max(g_groundIndex.maxStandRadiusNm + aircraft.groundRadius, kNoteReachNm);
  for (const std::uint32_t i : lf_standsNear(aircraft.position, reachNm)) {
    const Stand& stand = g_stands[i];
    const double nm = lf_flatNm(aircraft.position, stand.position, cosLat);
    if (!std::isfinite(nm) || !(nm <= std::max(stand.radius + aircraft.groundRadius, kNoteReachNm))) continue;
    const double d = nm * kMetresPerNm;
    std::string_view verdict = lf_standVerdict(aircraft, stand);
    double remainingM = std::numeric_limits<double>::quiet_NaN();
    if (verdict.empty()) {
      const StandApproachCheck check = gf_checkStandApproach(GeoPose{stand.position, stand.heading}, stand.radius,
                                                             aircraft.position, aircraft.heading, aircraft.groundRadius);
      remainingM = check.distanceM;
      if (!check.ok) {
        verdict = check.reason;
      } else if (confirmApproach) {
        const double before = lf_flatNm(previous, stand.position) * kMetresPerNm;
        if (lf_isZero(previous) || !std::isfinite(before) || !std::isfinite(remainingM) ||
            !(before - remainingM >= kCloserM))
          verdict = kUnconfirmedApproach;
      }
    }
    if (d < nearestM && d <= std::min(lf_nearReachM(aircraft, stand), kNoteReachM)) {
      nearest = &stand;
      nearestVerdict = verdict;
      nearestM = d;
    }
    if (verdict.empty() && remainingM < bestRemainingM) {
      best = &stand;
      bestRemainingM = remainingM;
    }
  }

  if (best) {
    if (lf_takeStand(aircraft, *best, true)) {
      aircraft.standTaken = true;
      return;
    }
    lf_noteStandRefusal(aircraft, *best, kNotTaken, bestRemainingM);
    return;
  }
  if (nearest && !nearestVerdict.empty()) lf_noteStandRefusal(aircraft, *nearest, nearestVerdict, nearestM);
}
