#include "traffic/spawning.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "core/utc_time.h"
#include "feed/feed_neighbours.h"
#include "feed/traffic_mailbox.h"
#include "liveries/ac_stands.h"
#include "liveries/failed_liveries.h"
#include "liveries/livery_matching.h"
#include "refdata/airports.h"
#include "refdata/registration.h"
#include "simlink/sim_commands.h"
#include "simlink/user_aircraft.h"
#include "traffic/adding_stack.h"
#include "traffic/delayed_sim_commands.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/flat_frame.h"
#include "traffic/live_registry.h"
#include "traffic/movement_geometry.h"
#include "traffic/removal.h"
#include "traffic/stand_conflicts.h"
#include "traffic/stand_departure.h"
#include "traffic/stand_names.h"
#include "traffic/static_stands.h"
#include "traffic/user_collisions.h"

namespace {

constexpr double kDeg = geo::kDegToRad;
constexpr double kSamePlaceDeg = 1e-8;
constexpr double kMinHeightAboveParkFt = 700.0;  // lower flights are on the ground there, or about to be
constexpr std::size_t kCreateQueueLimit = 11;
constexpr std::uint32_t kNoLiveLimit = 500;
constexpr double kStandAreaNmSquared = 25.0;  // 5 NM around the park airport
constexpr double kStandingSpeedKt = 6.0;
constexpr double kStandingSpreadNmSquared = 0.0003571528532577005;  // about 35 m
constexpr double kSpawnGroundSpeedLimitKt = 30.0;
constexpr double kPushbackReportKt = 8.0;                 // no tug pushes faster
constexpr double kPushbackSeenMetres = 3.0;               // moved this far, the direction tells
constexpr double kTailFirstRad = 135.0 * geo::kDegToRad;  // motion this far from the nose: backwards
constexpr double kGroundPitchRad = 0.010471975511965976;  // 0.6 degree nose down
constexpr std::int64_t kHundredNanosPerSecond = 10'000'000;

bool lf_endsInUnderscore(const std::string& text) { return !text.empty() && text.back() == '_'; }

bool lf_samePlace(const Lalo& a, const Lalo& b) {
  return std::fabs(a.lat - b.lat) <= kSamePlaceDeg && std::fabs(gf_wrapLongitude(a.lon - b.lon)) <= kSamePlaceDeg;
}

// Flat squared distance in NM, 60 NM per degree, longitude scaled by cos(reference latitude).
double lf_flatDistanceSquared(const Lalo& a, const Lalo& b, double referenceLat) {
  const double dy = (a.lat - b.lat) * 60.0;
  const double dx = gf_wrapLongitude(a.lon - b.lon) * 60.0 * std::cos(referenceLat * kDeg);
  return dx * dx + dy * dy;
}

void lf_drop(LiveAc& aircraft) { aircraft.dropFromRegistry = true; }

// The largest bank of the air step by the category's class.
double lf_categoryBankLimit(AcCategory category) {
  switch (category) {
    case AcCategory::high_performance:
      return 12.0 * kDeg;
    case AcCategory::rotorcraft:
      return 20.0 * kDeg;
    default:
      return 8.0 * kDeg;
  }
}

bool lf_dropPointOnUserConflict(LiveAc& aircraft) {
  const UserAcPosition& user = g_workerUserAcPosition;
  const Lalo userPosition{user.latitude, user.longitude};
  const auto snapshot = g_parameterSnapshot.load();
  const EngineHooks& hooks = gf_engineHooks();
  StreamPoint& first = aircraft.stream.front();
  const double agl = user.altitudeAboveGround;
  if (g_userOnGround.load() && (!std::isfinite(agl) || agl <= 500.0)) {
    bool conflict = false;
    if (aircraft.spawnConflict) {
      conflict =
          user.groundSpeed > 8.0 ||
          (!first.airborne && (first.groundSpeed > 8.0 || gf_distanceNm(userPosition, first.lalo) * 1852.0 < 500.0));
    }
    if (!conflict && !first.airborne && snapshot->collisionUserGnd)
      conflict = gf_withinRadii(userPosition, hooks.userGroundCollisionTermNm(), first.lalo, aircraft.groundRadius);
    if (!conflict) return false;
  } else {
    if (!snapshot->collisionUserAir) return false;
    if (!first.airborne && agl > 500.0) return false;
    aircraft.position = first.lalo;
    aircraft.altitude = first.altitude;
    bool removed = false;
    if (first.airborne) {
      removed = checkUserAirCollision(aircraft, std::cos(user.latitude * kDeg));
    } else {
      aircraft.onGround = true;
      removed = checkUserAirGndCollision(aircraft);
    }
    if (!removed) return false;
    aircraft.spawnConflict = true;
  }
  aircraft.stream.pop_front();
  return true;
}

void lf_prepareIdentity(LiveAc& aircraft) {
  if (aircraft.prepared) return;
  if (!aircraft.registration.empty()) {
    if (const auto entry = gf_lookupRegistration(aircraft.registration)) {
      aircraft.airlineId = entry->airlineId;
      aircraft.modelId = entry->modelId;
    }
  }
  if (aircraft.airlineId == 0 && !aircraft.setAirlineFromCallsign()) aircraft.airlineId = gf_internAirlineName("PVT");
  if (gf_modelName(aircraft.modelId) == "B777" && gf_isCargo(aircraft.identity())) {
    aircraft.modelId = gf_internModelName("B77F");
    aircraft.cargo777 = 1;
  }
  aircraft.prepared = true;
}

bool lf_chooseSpawnLivery(LiveAc& aircraft, double altitudeFt) {
  if (!aircraft.matchedTitle.empty()) return true;
  if (const auto choice = g_liveryChoices.find(aircraft.hexid); choice != g_liveryChoices.end()) {
    // A flight that spawns again keeps its livery, unless the simulator refused it.
    if (!gf_isFailedLivery(choice->second.title)) {
      aircraft.matchedTitle = choice->second.title;
      return true;
    }
    g_liveryChoices.erase(choice);
  }
  gf_matchLivery(aircraft, altitudeFt);
  if (aircraft.matchedTitle.empty()) return false;
  g_liveryChoices[aircraft.hexid] = aircraft.matchedTitle;
  return true;
}

// Whether a live aircraft on one of the stand's excluded stands reaches into it.
bool lf_excludedStandOccupied(const LiveAc& aircraft, const Stand& stand) {
  for (const std::int32_t excluded : stand.excludes)
    for (const LiveAc& other : g_liveAcs)
      if (lf_isStandOccupantColliding(other, excluded, aircraft, stand)) return true;
  return false;
}

// Reports of a push-back under way: moving slowly, tail first, the nose where the report has it.
bool lf_reportedPushingBack(const RingDeque<StreamPoint>& stream) {
  const StreamPoint& first = stream.front();
  if (first.airborne || !first.trueHeadingRad || !std::isfinite(*first.trueHeadingRad) ||
      !(first.groundSpeed <= kPushbackReportKt))
    return false;
  for (std::size_t i = 1; i < stream.size(); ++i) {
    if (stream[i].airborne || !(stream[i].groundSpeed <= kPushbackReportKt)) return false;
    if (gf_distanceNm(first.lalo, stream[i].lalo) * 1852.0 < kPushbackSeenMetres) continue;
    const double off = std::fabs(gf_wrapAngle(gf_bearingRad(first.lalo, stream[i].lalo) - *first.trueHeadingRad));
    return off > kTailFirstRad;
  }
  return false;
}

const Stand* lf_findSpawnStand(LiveAc& aircraft) {
  const Airport park = gf_parkAirportRecord();
  if (g_stands.empty() || park.code.empty() || !gf_isValidLalo(park.position)) return nullptr;
  RingDeque<StreamPoint>& stream = aircraft.stream;
  StreamPoint& first = stream.front();
  if (lf_flatDistanceSquared(first.lalo, park.position, park.position.lat) > kStandAreaNmSquared) return nullptr;
  if (!first.repeated) {
    const bool slow = std::all_of(stream.begin(), stream.end(),
                                  [](const StreamPoint& p) { return p.groundSpeed <= kStandingSpeedKt; });
    if (!slow || lf_flatDistanceSquared(stream.back().lalo, first.lalo, first.lalo.lat) > kStandingSpreadNmSquared)
      return nullptr;
  }
  const Lalo candidate = first.repeated ? first.lalo : stream.back().lalo;
  // A search that found nothing is not repeated for the same place.
  if (lf_samePlace(candidate, aircraft.lastSearchPos) && !aircraft.lastSearchFound) return nullptr;
  aircraft.lastSearchPos = candidate;
  double distanceMetres = 0.0;
  const Stand* stand = gf_nearestStand(g_stands, candidate, aircraft, distanceMetres, true);
  aircraft.lastSearchFound = stand != nullptr;
  if (!stand) return nullptr;
  const EngineHooks& hooks = gf_engineHooks();
  if (hooks.isUserStand(*stand, aircraft, 0)) return nullptr;
  const auto standId = static_cast<std::int32_t>(stand->id);
  if (!lf_checkStandIsNotUsedByOtherLiveAircraftSub(standId, aircraft) ||
      lf_excludedStandOccupied(aircraft, *stand) || hooks.standUseByOtherLiveAc(standId, aircraft.hexid) != 0 ||
      !gf_standByNumber(g_stands, standId)) {
    // Another aircraft holds the stand this flight stands on: it is a copy or a mistake.
    lf_drop(aircraft);
    return nullptr;
  }
  aircraft.promoteFrom = lf_makeWayAtStand(aircraft, *stand, true).value_or(0);
  first.repeated = true;
  first.groundSpeed = 0.0;
  return stand;
}

// A flight made again after the simulator lost it (or for its livery) that is back on the ground:
// its approach went by while it was away, every point too low to be made in the air dropped. It
// comes back rolling out as a landing, or taxiing when slow, instead of in an air phase, whose
// silent feed stops it dead on the runway.
void lf_landedWhileAway(LiveAc& aircraft) {
  if (aircraft.state != FlightPhase::flying && aircraft.state != FlightPhase::landing) return;
  const bool rolling = aircraft.stream.front().groundSpeed > kSpawnGroundSpeedLimitKt;
  gf_changeState(aircraft, rolling ? FlightPhase::landing_roll : FlightPhase::taxi);
  aircraft.landingFlag = false;
  aircraft.arrivalConfirmed = true;
  aircraft.slowPointSet = false;
}

void lf_clearStandBookkeeping(LiveAc& aircraft) {
  aircraft.pushbackDue = 0;
  aircraft.pushbackDueSet = false;
  aircraft.lightsOnTime = 0;
  aircraft.lightsOn = false;
  aircraft.lightsDue = 0;
  aircraft.lightsDueSet = false;
  aircraft.awayCount = 0;
  aircraft.awayRefDist = 0.0;
  aircraft.awayLastDist = 0.0;
  aircraft.confirmStartDist = 0.0;
  aircraft.confirmLastDist = 0.0;
  aircraft.confirmPos = {};
  aircraft.confirmTime = 0;
  aircraft.confirmCount = 0;
  aircraft.confirmPending = false;
}

void lf_placeOnStand(LiveAc& aircraft, const Stand& stand) {
  gf_assignStand(aircraft, stand);
  aircraft.arrivalConfirmed = false;
  gf_changeState(aircraft, FlightPhase::parked);
  aircraft.createdWeekTime = g_currentWeekTime.load();
  aircraft.lastAtStandClock = gf_systemSeconds() * kHundredNanosPerSecond;
  lf_clearStandBookkeeping(aircraft);
  gf_takeReportsOnStand(aircraft, aircraft.stream);
  aircraft.stream.resize(1);
  StreamPoint& first = aircraft.stream.front();
  first.lalo = aircraft.standPos;
  first.track = aircraft.standHeading * geo::kRadToDeg;
  gf_addRealStandOption(aircraft.standId, aircraft, 1);
  if (aircraft.promoteFrom == 0) gf_engineHooks().enforceMaxParked(1);
}

// The best known ground under a flight that starts on the ground: its stand's ground as the
// simulator reported it, else the elevation of the park airport or of the airport whose centre
// lies within 5 NM. Feeds give ground traffic 0 ft, which at most airports is under the ground.
std::optional<double> lf_knownGroundAltitude(const LiveAc& aircraft, const Lalo& at) {
  if (aircraft.state == FlightPhase::parked && aircraft.standGroundAltitudeSet &&
      std::isfinite(aircraft.standGroundAltitude))
    return aircraft.standGroundAltitude;
  const Airport park = gf_parkAirportRecord();
  if (!park.code.empty() && gf_isValidLalo(park.position) &&
      lf_flatDistanceSquared(at, park.position, park.position.lat) <= kStandAreaNmSquared)
    return static_cast<double>(park.altitude);
  if (const std::optional<Airport> nearest = gf_findClosestAirportCentre(at))
    return static_cast<double>(nearest->altitude);
  return std::nullopt;
}

// A flight first seen rolling on the ground goes straight for its next report from its object's
// first frame: a reported nose off that way (caught half-way round a corner) would trail the motion
// for seconds while it swung round. A flight made again where it was keeps the nose it had.
bool lf_rollsOffAlongFirstLeg(const LiveAc& aircraft, const StreamPoint& first, const StreamPoint* second) {
  if (aircraft.restartedHere || !second || second->repeated || second->airborne) return false;
  return gf_rollingKt(aircraft) > 0.0 && !lf_samePlace(first.lalo, second->lalo);
}

void lf_setInitialPose(LiveAc& aircraft) {
  const StreamPoint& first = aircraft.stream.front();
  // A flight placed on its stand has a single point left.
  const StreamPoint* second = aircraft.stream.size() >= 2 ? &aircraft.stream[1] : nullptr;
  aircraft.bank = 0.0;
  if (first.rollRad && std::isfinite(*first.rollRad)) {
    const double limit = gf_bankLimit(lf_categoryBankLimit(aircraft.category), aircraft.state == FlightPhase::landing,
                                      aircraft.simAgl, false);
    aircraft.bank = std::clamp(*first.rollRad, -limit, limit);
  }
  aircraft.pitch = first.airborne ? lf_pitchFromVerticalRate(first, aircraft.category) : kGroundPitchRad;
  aircraft.position = first.lalo;
  aircraft.altitude = first.altitude;
  if (!first.airborne)
    if (const std::optional<double> ground = lf_knownGroundAltitude(aircraft, first.lalo)) aircraft.altitude = *ground;
  aircraft.nextValue = first.verticalRate;
  aircraft.speed = first.TAS;
  double heading = 0.0;
  if (first.trueHeadingRad && !lf_rollsOffAlongFirstLeg(aircraft, first, second))
    heading = *first.trueHeadingRad;
  else if (aircraft.state == FlightPhase::parked)
    heading = aircraft.standHeading;
  else if (!second || second->repeated)
    heading = first.track * kDeg;
  else
    heading = gf_bearingRad(first.lalo, second->lalo);
  aircraft.heading = std::isfinite(heading) ? gf_normalizeAngle(heading) : 0.0;
  aircraft.groundHeading = first.airborne ? 0.0 : aircraft.heading;
  aircraft.spawnConflict = false;
}

// The static aircraft that stands on a stand, in the simulator, reaching into the wanted one.
void lf_makeWayAtExcludedStand(LiveAc& aircraft, std::int32_t excludedId, const Stand& stand) {
  const Stand* excluded = gf_standByNumber(g_stands, excludedId);
  if (!excluded) return;
  for (StaticAc& parked : g_staticAcs) {
    if (parked.simState != SimStatus::active || parked.standId != excludedId) continue;
    const double reach = parked.groundRadius + aircraft.groundRadius;
    if (lf_flatDistanceSquared(excluded->position, stand.position, excluded->position.lat) > reach * reach) continue;
    gf_log(fmt::format("{:14}: {:8} makes way for {} parking at excluded stand {}", excluded->name, parked.callsign,
                       aircraft.callsign, stand.name));
    removeAircraftFromSim(parked);
    return;
  }
}

bool lf_promoteStaticToLive(LiveAc& aircraft) {
  const EngineHooks& hooks = gf_engineHooks();
  StaticAc* parked = gf_findStaticAc(aircraft.promoteFrom);
  if (!parked || parked->simState != SimStatus::active || parked->standId != aircraft.standId || parked->objectId < 3 ||
      !hooks.ownsStandReservation(aircraft.standId, aircraft.hexid) ||
      hooks.standUseByOtherLiveAc(aircraft.standId, aircraft.hexid) != 0)
    return false;

  const std::uint32_t objectId = parked->objectId;
  const std::uint32_t staticHexid = parked->hexid;
  const std::string staticCallsign = parked->callsign;
  aircraft.matchedTitle = parked->matchedTitle;
  aircraft.initialPose = parked->initialPose;
  aircraft.poseKnown = parked->poseKnown;
  aircraft.cgKnown = parked->cgKnown;
  aircraft.cgHeightFt = parked->cgHeightFt;
  aircraft.cgHeightFlag = parked->cgHeightFlag;
  aircraft.refPitch = parked->refPitch;
  std::erase_if(g_pendingDelayedCommands, [&](const DelayedSimCommand& c) { return c.hexid == staticHexid; });
  std::erase(g_addingStack, staticHexid);
  hooks.forgetStaticHexid(staticHexid);
  std::erase_if(g_parkedAcActions, [&](const ParkedAcAction& a) { return a.hexid == staticHexid; });
  std::erase_if(g_staticAcs, [&](const StaticAc& a) { return a.hexid == staticHexid; });
  ++g_promotionCount;

  aircraft.parkedAltitudePlaced = true;  // the static object stands where it should
  lf_applyParkedPose(aircraft);
  {
    std::lock_guard lock(g_simQueueMutex);
    g_simPromotedObjects.push_back(objectId);
  }
  DelayedSimCommand created;
  created.objectId = objectId;
  created.hexid = aircraft.hexid;
  created.kind = 0;
  if (!lf_attachCreatedLiveObject(aircraft, created)) {
    gf_logWarning(fmt::format("Promotion failed for {} object {}", aircraft.callsign, gf_objectIdText(objectId)));
    g_removeStack.push_back(objectId);  // nobody owns the object any more
    return false;
  }
  if (!aircraft.poseKnown || !aircraft.cgKnown) {
    aircraft.simState = SimStatus::adding2sim;
    created.age = 200;  // finished as soon as the data arrive
    g_pendingDelayedCommands.push_back(created);
  } else {
    lf_finishLiveCreation(aircraft);
  }
  gf_log(fmt::format("{:14}: {:8} {} promoted to live {} {}", gf_standName(aircraft.standId),
                     gf_objectIdText(objectId), staticCallsign, aircraft.callsign, aircraft.registration));
  return true;
}

}  // namespace

std::string gf_identityKey(const FeedRecordHead& aircraft) {
  return fmt::format("{:8} {}", aircraft.callsign, aircraft.registration);
}

double lf_pitchFromVerticalRate(const StreamPoint& point, AcCategory category) {
  struct PitchModel {
    double baseDeg, climbFactor, descentFactor, lowestRate, highestRate;
  };
  constexpr PitchModel kFast{-2.5, 2.6, 1.3, -3600.0, 3600.0};
  constexpr PitchModel kRotor{0.0, 1.5, 0.75, -1800.0, 1800.0};
  constexpr PitchModel kOthers{-3.0, 2.2, 1.1, -3000.0, 2400.0};
  const PitchModel& m = category == AcCategory::high_performance ? kFast
                        : category == AcCategory::rotorcraft     ? kRotor
                                                                 : kOthers;
  const double vr =
      std::clamp(std::isfinite(point.verticalRate) ? point.verticalRate : 0.0, m.lowestRate, m.highestRate);
  const double factor = vr >= 0.0 ? m.climbFactor : m.descentFactor;
  return (m.baseDeg - vr / 600.0 * factor) * kDeg;
}

void lf_trySpawn(LiveAc& aircraft) {
  RingDeque<StreamPoint>& stream = aircraft.stream;
  if (stream.empty()) return lf_drop(aircraft);
  if (stream.front().time > g_engineTime.load()) return;
  if (stream.size() == 1) {
    stream.pop_front();
    return lf_drop(aircraft);
  }
  if (lf_endsInUnderscore(aircraft.callsign) && gf_isGhostCallsign(aircraft.callsign)) return lf_drop(aircraft);
  if (aircraft.category != AcCategory::rotorcraft &&
      std::any_of(stream.begin(), stream.end(), [](const StreamPoint& p) { return p.airborne; })) {
    const double elevation = gf_parkAirportElevation().value_or(0.0);
    if (stream.front().altitude - elevation <= kMinHeightAboveParkFt) {
      stream.pop_front();
      return;
    }
  }
  if (lf_dropPointOnUserConflict(aircraft)) return;
  if (g_liveCreateQueue.size() >= kCreateQueueLimit && aircraft.state == FlightPhase::birth) {
    stream.pop_front();
    return;
  }
  const auto snapshot = g_parameterSnapshot.load();
  if (snapshot->maxLiveSel == 0) return lf_drop(aircraft);
  if (snapshot->maxLiveSel != kNoLiveLimit) {
    const auto live = std::count_if(g_liveAcs.begin(), g_liveAcs.end(), [](const LiveAc& a) {
      return a.simState == SimStatus::adding2sim || a.simState == SimStatus::active;
    });
    if (live >= static_cast<std::int64_t>(snapshot->maxLiveSel)) {
      const UserAcPosition& user = g_workerUserAcPosition;
      // Room is made only by a further aircraft than this one.
      if (lf_isThisTheFurthestLive(gf_distanceNm({user.latitude, user.longitude}, stream.front().lalo)))
        return lf_drop(aircraft);
    }
  }
  lf_prepareIdentity(aircraft);
  if (aircraft.callsign.empty()) {
    if (aircraft.registration.empty()) return lf_drop(aircraft);
    aircraft.callsign = aircraft.registration;
  }
  if (stream.front().altitude <= snapshot->tcasFl * 100.0 && g_unmatchedLiveries.contains(gf_identityKey(aircraft)))
    return lf_drop(aircraft);
  if (lf_endsInUnderscore(aircraft.callsign) && lf_liveAcWithCallsignExists(aircraft.callsign))
    return lf_drop(aircraft);
  spawnLiveAc(aircraft);
}

void spawnLiveAc(LiveAc& aircraft) {
  aircraft.promoteFrom = 0;
  RingDeque<StreamPoint>& stream = aircraft.stream;
  if (stream.size() < 2) {
    gf_logWarning(fmt::format("{} sz:{}", "spawnLiveAc", stream.size()));
    return;
  }
  if (aircraft.registration.empty()) aircraft.registration = aircraft.callsign;
  if (stream[1].repeated) {
    stream[0].repeated = true;
    stream[0].groundSpeed = stream[1].groundSpeed = 0.0;
    if (stream.size() >= 3 && stream[2].repeated) stream[2].groundSpeed = 0.0;
  } else {
    stream[0].repeated = false;
  }
  if (aircraft.state == FlightPhase::birth) {
    if (!lf_chooseSpawnLivery(aircraft, stream.front().altitude)) {
      lf_drop(aircraft);
      // Said once, when it happens: the flight stays away for the session without a word else.
      if (!aircraft.tcasCoverage && !aircraft.registration.empty() &&
          g_unmatchedLiveries.insert(gf_identityKey(aircraft)).second)
        gf_log(fmt::format("No livery matches {} ({} {}): its reports at or below FL{} are left out",
                           gf_identityKey(aircraft), gf_airlineName(aircraft.airlineId), gf_modelName(aircraft.modelId),
                           g_parameterSnapshot.load()->tcasFl));
      return;
    }
    if (stream.front().airborne) {
      gf_changeState(aircraft, FlightPhase::flying);
    } else if (const Stand* stand = lf_findSpawnStand(aircraft)) {
      lf_placeOnStand(aircraft, *stand);
    } else {
      if (stream[1].repeated || std::any_of(stream.begin(), stream.end(), [](const StreamPoint& p) {
            return p.groundSpeed > kSpawnGroundSpeedLimitKt;
          })) {
        stream.pop_front();
        return;
      }
      // Made as a taxi, a flight first seen while a tug pushes it turned on the spot to face its
      // push and drove it nose first.
      aircraft.pushFromReports = lf_reportedPushingBack(stream);
      gf_changeState(aircraft, aircraft.pushFromReports ? FlightPhase::pushing_back : FlightPhase::taxi);
      const Airport park = gf_parkAirportRecord();
      aircraft.arrivalConfirmed = !park.code.empty() && !aircraft.destination.empty() &&
                                  aircraft.destination == park.iata && !(aircraft.origin == park.iata);
    }
  } else if (!stream.front().airborne) {
    lf_landedWhileAway(aircraft);
  }
  if (aircraft.dropFromRegistry) return;
  lf_setInitialPose(aircraft);
  if (aircraft.promoteFrom != 0 && lf_promoteStaticToLive(aircraft)) return;
  aircraft.simState = SimStatus::adding2sim;
  g_addingStack.push_back(aircraft.hexid);
  if (!lf_endsInUnderscore(aircraft.callsign)) lf_removeGhostWithUnderscoreIfPresent(aircraft.callsign);
  // A static aircraft of the same flight elsewhere (the stand file's or the feed's parked copy)
  // goes as the live one comes: the simulator never shows one registration twice.
  lf_checkForStaticWithCallsignOrHexidAndRemove(aircraft, false);
}

std::optional<std::uint32_t> lf_makeWayAtStand(LiveAc& aircraft, const Stand& stand, bool allowPromotion) {
  std::optional<std::uint32_t> promote;
  const auto standId = static_cast<std::int32_t>(stand.id);
  const auto parked = std::find_if(g_staticAcs.begin(), g_staticAcs.end(),
                                   [standId](const StaticAc& a) { return a.standId == standId; });
  if (parked != g_staticAcs.end()) {
    const bool sameLive = parked->callsign == aircraft.callsign || parked->registration == aircraft.registration;
    const auto line = [&](std::string_view format) {
      return fmt::format(fmt::runtime(format), stand.name, parked->callsign, parked->registration,
                         sameLive ? " the same live version" : "", aircraft.callsign, aircraft.registration);
    };
    if (parked->simState == SimStatus::adding2sim) {
      if (!gf_removeFromAddingDeque(g_staticCreateQueue, parked->hexid)) {
        parked->removeWhenCreated = true;
      } else {
        parked->createCancelled = true;
        gf_log(line("queued {:8}: {:8} {} makes way for{} {} {}"));
        const EngineHooks& hooks = gf_engineHooks();
        for (const StaticAc& a : g_staticAcs)
          if (a.createCancelled) hooks.forgetAircraft(a.hexid, a.objectId);
        std::erase_if(g_staticAcs, [](const StaticAc& a) { return a.createCancelled; });
      }
    } else if (parked->simState == SimStatus::active) {
      if (allowPromotion && parked->objectId >= 3 && !parked->removeWhenCreated && !parked->registration.empty() &&
          parked->registration == aircraft.registration) {
        promote = parked->hexid;
      } else {
        gf_log(line("{:14}: {:8} {} makes way for{} {} {}"));
        removeAircraftFromSim(*parked);
      }
    }
  }
  for (const std::int32_t excluded : stand.excludes) lf_makeWayAtExcludedStand(aircraft, excluded, stand);
  return promote;
}

void lf_applyParkedPose(LiveAc& aircraft) {
  if (aircraft.state != FlightPhase::parked || !aircraft.poseKnown) return;
  const AiPose& pose = aircraft.initialPose;
  aircraft.position = {pose.latitude, pose.longitude};
  aircraft.pitch = pose.pitch;
  aircraft.bank = pose.bank;
  aircraft.heading = pose.heading;
  aircraft.altitude = pose.altitude;
  aircraft.nextValue = 0.0;
  aircraft.speed = 0.0;
  if (!aircraft.stream.empty()) {
    StreamPoint& first = aircraft.stream.front();
    first.lalo = aircraft.position;
    first.track = pose.heading * geo::kRadToDeg;
    first.altitude = pose.altitude;
  }
  aircraft.groundHeading = aircraft.heading;
  lf_applyParkedAltitude(aircraft);
}

void lf_applyParkedAltitude(LiveAc& aircraft) {
  if (aircraft.state != FlightPhase::parked || aircraft.parkedAltitudePlaced || !aircraft.poseKnown ||
      !aircraft.standGroundAltitudeSet || !aircraft.cgKnown)
    return;
  aircraft.altitude = aircraft.standGroundAltitude + aircraft.cgHeightFt;
  if (!aircraft.stream.empty()) aircraft.stream.front().altitude = aircraft.altitude;
  aircraft.parkedAltitudePlaced = true;
}
