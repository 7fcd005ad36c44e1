#include "traffic/touchdown.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/utc_time.h"
#include "feed/traffic_mailbox.h"
#include "refdata/airports.h"
#include "refdata/model_ids.h"
#include "simlink/sim_commands.h"
#include "traffic/aircraft_step.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/flat_frame.h"
#include "traffic/flight_plans.h"
#include "traffic/ground_index.h"
#include "traffic/movement_geometry.h"
#include "traffic/removal.h"
#include "traffic/runway_matching.h"
#include "traffic/sim_events.h"
#include "traffic/stand_conflicts.h"
#include "traffic/stand_names.h"
#include "traffic/takeoff.h"
#include "traffic/traffic_exceptions.h"

namespace {

constexpr double kMaxPitchCountRad = 0.3490658503988659;  // 20 degrees of pitch difference count
constexpr double kNoseDownPerTick = 2.0 * geo::kDegToRad / 100.0;  // 2 degrees a second
constexpr double kHoldUntilPastThresholdM = 60.0;
constexpr double kClimbRateFtMin = 400.0;
constexpr double kClimbFt = 50.0;
constexpr std::int32_t kClimbGap = 1000;              // hundredths of a second
constexpr std::int32_t kRotorcraftQuietTime = 3000;   // hundredths: a helicopter's hop is no landing
constexpr double kNearParkAirportNmSquared = 25.0;    // 5 NM

// How far the CG of an aircraft standing on its main wheels rises as its nose comes up to the
// landing attitude (ft): the CG sits only a few metres ahead of the main gear.
constexpr double kMaxNoseUpRiseFt = 0.8;

bool lf_within(double value, double low, double high) { return std::isfinite(value) && value >= low && value <= high; }

// A measured or static CG height the altitude may use.
bool lf_usableCg(double feet) { return lf_within(feet, -1.0, 35.0) && feet != 0.0; }

struct HeldRunway {
  double elevation = 0.0;
  double fromThreshold = 0.0;
  double heading = 0.0;  // radians
};

// The runway ahead of an approaching aircraft: matched now, or the one held at the last report
// moved on by the distance flown along it.
std::optional<HeldRunway> lf_landingRunway(const LiveAc& aircraft) {
  if (const auto match = gf_approachRunwayAt(aircraft, aircraft.position);
      match && match->fromThreshold && match->landingLength && *match->landingLength > 0.0)
    return HeldRunway{match->elevation, *match->fromThreshold, match->heading * geo::kDegToRad};
  if (!aircraft.heldRunwaySet) return std::nullopt;
  const RelativeGeometry flown =
      gf_relativeGeometry(aircraft.heldRunwayPos, aircraft.heldRunwayHeading, aircraft.position);
  return HeldRunway{aircraft.heldRunwayElevation, aircraft.heldRunwayFromThreshold + flown.alongM,
                    aircraft.heldRunwayHeading};
}

bool lf_climbRates(const StreamPoint& a, const StreamPoint& b) {
  return std::isfinite(a.verticalRate) && std::isfinite(b.verticalRate) && a.verticalRate >= kClimbRateFtMin &&
         b.verticalRate >= kClimbRateFtMin;
}

bool lf_climbedFrom(const StreamPoint& from, const StreamPoint& to) {
  return to.airborne && std::isfinite(to.altitude) && std::isfinite(from.altitude) &&
         to.altitude >= from.altitude + kClimbFt;
}

// Where the stream takes off again after the touch-down: a go-around climb, or for a light
// aircraft on the runway a touch-and-go in the ground speeds.
std::optional<std::size_t> lf_findClimbStart(LiveAc& aircraft) {
  const RingDeque<StreamPoint>& s = aircraft.stream;
  for (std::size_t i = 1; i < s.size(); ++i) {
    if (lf_climbRates(s[i - 1], s[i]) && lf_climbedFrom(s[i - 1], s[i])) return i;
    if (i + 1 < s.size() && s[i + 1].time - s[i].time <= kClimbGap && lf_climbRates(s[i - 1], s[i]) &&
        lf_climbedFrom(s[i - 1], s[i + 1]))
      return i + 1;
  }
  if (aircraft.category != AcCategory::none ||
      !gf_matchRunwayOnCentreline(aircraft.position, gf_normalizeAngle(aircraft.heading)))
    return std::nullopt;
  std::vector<ClimbSample> samples;
  samples.reserve(s.size());
  for (const StreamPoint& p : s) samples.push_back(ClimbSample{p.groundSpeed, static_cast<std::uint32_t>(p.time)});
  const std::optional<std::size_t> index = gf_findClimbIndex(samples, gf_referenceSpeed(aircraft, 1));
  if (!index) return std::nullopt;
  for (std::size_t i = *index; i < s.size(); ++i)
    if (s[i].airborne) return i;
  return std::nullopt;
}

std::string lf_airlineText(const LiveAc& aircraft) {
  std::string text(gf_airlineName(aircraft.airlineId));
  if (aircraft.secondAirlineId != 0) text += fmt::format(",{}", gf_airlineName(aircraft.secondAirlineId));
  return text;
}

// The park airport's IATA code: the record's own, else the airports list's.
std::string lf_parkIata(const Airport& park) {
  if (park.iata != g_defaultIataCode) return std::string(park.iata.text());
  if (const auto listed = gf_findAirport(park.code); listed && listed->iata != g_defaultIataCode)
    return std::string(listed->iata.text());
  return {};
}

}  // namespace

double gf_tailAllowanceFt(double halfWingspanNm) {
  return std::clamp(2.0 * halfWingspanNm * geo::kFeetPerNm * 0.22, 4.0, 20.0);
}

void lf_applyGroundReport(LiveAc& aircraft, const DelayedSimCommand& report) {
  const double ground = report.value1;
  const double height = report.value2;
  aircraft.simAgl = height;
  if (aircraft.state == FlightPhase::parked) {
    if (std::isfinite(ground)) {
      aircraft.standGroundAltitude = ground;
      aircraft.standGroundAltitudeSet = true;
    }
    if (aircraft.parkedAltitudePlaced && aircraft.poseKnown) return;
  }
  // A report without a ground altitude would draw the aircraft nowhere.
  if (!std::isfinite(ground)) return;
  aircraft.simGroundFt = ground;
  if (!aircraft.onGround) {
    const double cg = aircraft.cgHeightFt;
    if (aircraft.state == FlightPhase::landing && aircraft.landingFlag && !aircraft.cgHeightFlag &&
        lf_within(cg, 1.0, 35.0) && lf_within(height, -1.0, cg + 1.0) &&
        lf_within(aircraft.altitude - ground, -1.0, cg + 1.0)) {
      aircraft.measuredCgHeight = cg;
      aircraft.measuredCgHeightSet = true;
      aircraft.pitchAtMeasure = aircraft.pitch;
      aircraft.altitude = cg + ground;
      lf_touchDown(aircraft);
    }
    if (!aircraft.onGround) {
      if (aircraft.groundCounter < 2 || !std::isfinite(cg)) return;
      const double tail = gf_tailAllowanceFt(aircraft.wingspan);
      if (std::isfinite(aircraft.refPitch) && std::isfinite(aircraft.pitch) && tail > 0.0) {
        const double difference = std::clamp(std::fabs(aircraft.pitch - aircraft.refPitch), 0.0, kMaxPitchCountRad);
        aircraft.altitude = ground + cg + tail * std::sin(difference);
      } else {
        aircraft.altitude = ground + cg;
      }
      return;
    }
  }

  if (aircraft.state == FlightPhase::landing_roll && !aircraft.measuredCgHeightSet) {
    std::optional<double> measured;
    if (lf_usableCg(height))
      measured = height;
    else if (lf_usableCg(aircraft.altitude - ground))
      measured = aircraft.altitude - ground;
    // The wheels are on the runway: a height above the standing one by more than the raised nose
    // explains is the float of the touch-down, which would stay until the nose came down.
    if (measured && lf_usableCg(aircraft.cgHeightFt))
      measured = std::min(*measured, aircraft.cgHeightFt + kMaxNoseUpRiseFt);
    if (measured) {
      aircraft.measuredCgHeight = *measured;
      aircraft.measuredCgHeightSet = true;
      aircraft.pitchAtMeasure = aircraft.pitch;
    } else {
      aircraft.measureFailed = true;
    }
  }
  const double h = aircraft.cgHeightFt;
  const bool staticCg = lf_usableCg(h);
  if (aircraft.measuredCgHeightSet && lf_usableCg(aircraft.measuredCgHeight)) {
    const double m = aircraft.measuredCgHeight;
    if (!staticCg) {
      aircraft.altitude = ground + m;
      return;
    }
    const double span = aircraft.pitchAtMeasure - aircraft.refPitch;
    if (std::isfinite(aircraft.pitchAtMeasure) && std::isfinite(aircraft.pitch) && std::isfinite(aircraft.refPitch) &&
        std::fabs(span) > 1e-9) {
      // The CG sinks from its touch-down height to its standing height as the nose comes down.
      const double f = std::clamp(std::fabs((aircraft.pitch - aircraft.refPitch) / span), 0.0, 1.0);
      aircraft.altitude = ground + h + (m - h) * f;
    } else {
      aircraft.altitude = ground + h;
    }
    return;
  }
  aircraft.altitude = staticCg ? ground + h : ground;
}

void lf_touchDown(LiveAc& aircraft) {
  if (aircraft.simState == SimStatus::removingfromsim || aircraft.state == FlightPhase::takeoff) return;
  if (aircraft.state == FlightPhase::landing) {
    if (const auto runway = lf_landingRunway(aircraft);
        runway && std::isfinite(runway->elevation) && std::isfinite(runway->fromThreshold) &&
        runway->fromThreshold < kHoldUntilPastThresholdM) {
      // Short of the runway: held just above it until it gets there.
      aircraft.altitude = std::max(std::max(aircraft.cgHeightFt, 0.0) + runway->elevation + 1.0, aircraft.altitude);
      aircraft.nextValue = 0.0;
      aircraft.pendingNextValue = 0.0;
      aircraft.appliedVerticalRate = 0.0;
      aircraft.heldRunwaySet = true;
      aircraft.heldRunwayElevation = runway->elevation;
      aircraft.heldRunwayFromThreshold = runway->fromThreshold;
      aircraft.heldRunwayHeading = runway->heading;
      aircraft.heldRunwayPos = aircraft.position;
      return;
    }
  }
  const bool armed = aircraft.state == FlightPhase::landing && aircraft.touchdownHoldArmed;
  if (aircraft.landingFlag || aircraft.state == FlightPhase::landing) {
    if (aircraft.state != FlightPhase::landing_roll) gf_changeState(aircraft, FlightPhase::landing_roll);
    // It landed here: its time on the ground is an arrival, not a departure's.
    aircraft.arrivalConfirmed = true;
    aircraft.slowPointSet = false;
    lf_logTouchDown(aircraft);
  }
  std::optional<std::size_t> climbStart;
  if (armed) {
    aircraft.touchdownHold = true;
    if (!aircraft.stream.empty()) {
      aircraft.holdAlt = aircraft.stream.back().altitude;
      aircraft.holdVs = aircraft.stream.back().verticalRate;
    }
    climbStart = lf_findClimbStart(aircraft);
    const std::size_t end = climbStart.value_or(aircraft.stream.size());
    for (std::size_t i = 0; i < end && i < aircraft.stream.size(); ++i) aircraft.stream[i].airborne = false;
    if (climbStart) aircraft.touchdownHold = false;
  }
  if (aircraft.profileActive) {
    // The glide still under way goes on along the ground.
    const double steps = std::max(1, aircraft.profileSteps - aircraft.profileStep);
    aircraft.velocity = Lalo{(aircraft.profileTo.lat - aircraft.position.lat) / steps,
                             gf_wrapLongitude(aircraft.profileTo.lon - aircraft.position.lon) / steps};
    aircraft.profileActive = false;
  }
  aircraft.onGround = true;
  aircraft.appliedVerticalRate = 0.0;
  aircraft.groundCounter = 1;
  aircraft.lastAirborneAltSet = false;
  for (auto p = aircraft.stream.rbegin(); p != aircraft.stream.rend(); ++p) {
    if (p->airborne && std::isfinite(p->altitude) && p->altitude > 0.0) {
      aircraft.lastAirborneAlt = p->altitude;
      aircraft.lastAirborneAltSet = true;
      break;
    }
  }
  if (climbStart)
    gf_lineUpForTakeoff(aircraft, true);
  else
    gf_beginRollOut(aircraft);
}

bool lf_touchDownOnItsWheels(LiveAc& aircraft, double groundFt) {
  const double cg = std::isfinite(aircraft.cgHeightFt) ? std::max(aircraft.cgHeightFt, 0.0) : 0.0;
  const double above = aircraft.altitude - groundFt - cg;
  lf_touchDown(aircraft);
  if (!aircraft.onGround) return false;
  const double wheels = cg + (std::isfinite(above) ? std::clamp(above, 0.0, kMaxNoseUpRiseFt) : 0.0);
  aircraft.altitude = groundFt + wheels;
  aircraft.nextValue = std::max(aircraft.nextValue, 0.0);
  if (lf_usableCg(aircraft.cgHeightFt)) {
    // The roll-out lowers it from here to its standing height as the nose comes down.
    aircraft.measuredCgHeight = wheels;
    aircraft.measuredCgHeightSet = true;
    aircraft.pitchAtMeasure = aircraft.pitch;
  }
  return true;
}

void lf_logTouchDown(LiveAc& aircraft) {
  aircraft.touchdownLogged = true;
  const bool hop = aircraft.category == AcCategory::rotorcraft && aircraft.createdAirborne &&
                   g_engineTime.load() - aircraft.createdTime < kRotorcraftQuietTime;
  if (!hop) {
    const Airport park = gf_parkAirportRecord();
    std::string at = " at ?";
    if (!park.code.empty()) {
      const double dy = (aircraft.position.lat - park.position.lat) * 60.0;
      const double dx = gf_wrapLongitude(aircraft.position.lon - park.position.lon) * 60.0 *
                        std::cos(aircraft.position.lat * geo::kDegToRad);
      if (dx * dx + dy * dy <= kNearParkAirportNmSquared) at = fmt::format(" at {}", park.code.text());
    }
    std::string from;
    if (!aircraft.origin.empty() && (park.code.empty() || aircraft.origin.text() != lf_parkIata(park)))
      from = fmt::format(" from {}", aircraft.origin.text());
    std::string runway;
    if (const auto end = gf_matchRunwayEndName(aircraft.position, gf_normalizeAngle(aircraft.heading)))
      runway = fmt::format(" runway {}", *end);
    gf_postFlightMessage(fmt::format("{} {} {} {} {} touch down{}{}{} ...", gf_timeStampHm(), aircraft.callsign,
                                     aircraft.registration, lf_airlineText(aircraft), gf_modelName(aircraft.modelId),
                                     at, runway, from));
  }
  aircraft.heldRunwaySet = false;
  aircraft.touchdownHeading = aircraft.heading;
  gf_setSpoilers(aircraft, true);
  // Jets and turboprops pull their levers into reverse; without the flag the levers go to full
  // forward thrust.
  aircraft.reverseThrust = aircraft.category >= AcCategory::twoprops && aircraft.category <= AcCategory::heavy;
  if (aircraft.category != AcCategory::none) gf_queueReverseThrust(aircraft.objectId, true, aircraft.reverseThrust);
  const std::int32_t n = aircraft.rolloutSteps;
  if (n > 0) {
    aircraft.bankStep = (0.0 - aircraft.bank) / n;
    aircraft.pitchStep = (aircraft.refPitch - aircraft.pitch) / n;
  } else {
    gf_log(fmt::format("{} ! onGround slots {:.1f}", aircraft.callsign, static_cast<double>(n)));
    aircraft.pitchStep = aircraft.refPitch - aircraft.pitch;
    aircraft.bankStep = 0.0;
  }
  // The main wheels touch first; a pilot lets the nose down over seconds, never at once.
  if (std::isfinite(aircraft.pitchStep))
    aircraft.pitchStep = std::clamp(aircraft.pitchStep, -kNoseDownPerTick, kNoseDownPerTick);
  // The movement step brings pitch and bank to their ground values by these steps.
  aircraft.pitchTransition = true;
  g_landedHexids.push_back(aircraft.hexid);
}

void hp_handleGroundTraffic(LiveAc& aircraft, bool quiet) {
  const EngineHooks& hooks = gf_engineHooks();
  aircraft.onGround = true;
  gf_setGear(aircraft, true);
  aircraft.appliedVerticalRate = 0.0;
  if (aircraft.state != FlightPhase::parked) {
    aircraft.groundCounter = 1;
    return;
  }
  aircraft.createdWeekTime = g_currentWeekTime.load();
  const std::string standName = gf_standName(aircraft.standId);
  if (!quiet) gf_log(fmt::format("{:14}: {:8} parks", standName, aircraft.callsign));
  hooks.eraseStandSearchHitsAt(aircraft.standId);
  for (StaticAc& parked : g_staticAcs) {
    if (parked.simState != SimStatus::active || parked.standId != aircraft.standId) continue;
    gf_log(fmt::format("{:14}: {:8} parks over static {} , static will be removed", standName, aircraft.callsign,
                       parked.callsign));
    try {
      removeAircraftFromSim(parked);
    } catch (...) {
      gf_reportTrafficException("hp_handleGroundTraffic");
    }
    break;
  }
  aircraft.groundCounter = 1;
}

void lf_createFlightPlan(LiveAc& aircraft) {
  const auto folder = gf_flightPlanFolder();
  if (!folder) {
    aircraft.hasFlightPlan = false;
    return;
  }
  if (aircraft.origin.empty() || aircraft.destination.empty()) return;
  const std::filesystem::path path = gf_flightPlanPath(*folder, aircraft.objectId);
  if (gf_writeFlightPlan(path, aircraft)) {
    gf_queueFlightPlan(aircraft.objectId, path);
    aircraft.hasFlightPlan = true;
    return;
  }
  gf_logWarning(fmt::format("{} creating a flight plan failed",
                            fmt::format("{:8} {} {}", aircraft.callsign, aircraft.registration, aircraft.description())));
  aircraft.hasFlightPlan = false;
}

void collisionWithParked(LiveAc& aircraft) noexcept {
  try {
    if (!aircraft.onGround) return;
    aircraft.prevPosition = aircraft.position;
    StaticAc* hit = nullptr;
    const Stand* stand = nullptr;
    double delta = 0.0;  // degrees
    // Within the pass only the static aircraft within reach north and south are looked at.
    static std::vector<std::uint32_t> near;
    if (g_groundIndex.active) {
      const double band = (aircraft.groundRadius + g_groundIndex.maxStaticRadiusNm) / 60.0 * 1.000001;
      g_groundIndex.statics.near(aircraft.position.lat, band, near);
    } else {
      near.resize(g_staticAcs.size());
      for (std::uint32_t i = 0; i < near.size(); ++i) near[i] = i;
    }
    for (const std::uint32_t i : near) {
      if (i >= g_staticAcs.size()) break;
      StaticAc& parked = g_staticAcs[i];
      if (parked.simState != SimStatus::active || (aircraft.objectId != 0 && parked.objectId == aircraft.objectId))
        continue;
      // The flat distance is at least the north-south one: the rows of parked aircraft farther
      // north or south than both radii are passed over (with a margin for the test's rounding).
      const double reach = aircraft.groundRadius + parked.groundRadius;
      if (std::fabs(aircraft.position.lat - parked.position.lat) * 60.0 > reach * 1.000001) continue;
      const Stand* its = gf_standByNumber(g_stands, parked.standId);
      if (!its) continue;
      const double d = std::fabs(gf_wrapAngle(aircraft.heading - its->heading)) * geo::kRadToDeg;
      if (d <= 45.0 && gf_withinRadii(aircraft.position, aircraft.groundRadius, parked.position, parked.groundRadius)) {
        hit = &parked;
        stand = its;
        delta = d;
        break;
      }
    }
    if (!hit) return;
    gf_log(fmt::format("{:14}: {:8} removed for 'live vs parked' collision avoidance with {}, delta hdg:{:.0f}",
                       gf_standName(hit->standId), hit->callsign, aircraft.callsign, delta));
    removeAircraftFromSim(*hit);
    if (hit->simState != SimStatus::removingfromsim || aircraft.state != FlightPhase::taxi ||
        aircraft.prevState == FlightPhase::pushed_back || aircraft.prevState == FlightPhase::parked || delta > 20.0)
      return;
    if (delta <= 10.0) {
      lf_takeStand(aircraft, *stand, true);
      return;
    }
    // Less well aligned: only when it will be on the stand's centre line at the point 10 m short
    // of the stand, drifting toward it.
    const RelativeGeometry g = gf_relativeGeometry(stand->position, stand->heading, aircraft.position);
    const double behind = -10.0 - g.alongM;
    const double cross = g.crossM;
    const double projected =
        std::fabs(std::tan(gf_wrapAngle(aircraft.heading - stand->heading)) * behind + cross);
    if (std::isfinite(cross) && std::fabs(cross) <= 3.0 && behind >= 5.0 && std::isfinite(projected) &&
        projected <= 2.0 && projected < std::fabs(cross))
      lf_takeStand(aircraft, *stand, true);
  } catch (...) {
    gf_reportTrafficException("collisionWithParked");
  }
}
