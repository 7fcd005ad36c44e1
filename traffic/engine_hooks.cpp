#include "traffic/engine_hooks.h"

#include <chrono>
#include <limits>
#include <string_view>
#include <utility>

#include "core/log.h"
#include "traffic/aircraft_step.h"
#include "traffic/change_detection.h"
#include "traffic/decode_existing.h"
#include "traffic/flat_frame.h"
#include "traffic/live_registry.h"
#include "traffic/live_update.h"
#include "traffic/removal.h"
#include "traffic/runway_matching.h"
#include "traffic/stand_conflicts.h"
#include "traffic/stream_prediction.h"
#include "traffic/user_collisions.h"

namespace {

// A step not built yet: the engine goes on as if it had done nothing.
auto lf_missing(std::string_view name) {
  return [name](auto&&...) { gf_logMissingOnce(name); };
}
template <class R>
auto lf_missing(std::string_view name, R result) {
  return [name, result](auto&&...) -> R {
    gf_logMissingOnce(name);
    return result;
  };
}

EngineHooks& lf_hooks() {
  static EngineHooks hooks = gf_defaultEngineHooks();
  return hooks;
}

}  // namespace

EngineHooks gf_defaultEngineHooks() {
  EngineHooks h;
  h.updateLiveAc = [](LiveAc& aircraft) { return updateLiveAc(aircraft); };
  h.checkKnownAcChanges = [](LiveAc& aircraft, TrafficRecord& record) {
    return lf_checkKnownAcChanges(aircraft, record);
  };
  h.decodeExisting = [](LiveAc& aircraft, StreamPoint& point) { decodeExisting(aircraft, point); };
  h.checkExtendingSituations = [](LiveAc& aircraft, StreamPoint& point) {
    return checkExtendingSituations(aircraft, point);
  };
  h.removeAircraftFromSim = [](LiveAc& aircraft) { removeAircraftFromSim(aircraft); };
  h.forgetAircraft = [](std::uint32_t hexid, std::uint32_t objectId) { lf_forgetAircraft(hexid, objectId); };
  h.eraseLiveAc = [](LiveAc& aircraft) { lf_eraseLiveAc(aircraft); };
  h.standUseByOtherLiveAc = [](std::int32_t standId, std::uint32_t hexid) {
    return gf_standUseByOtherLiveAc(standId, hexid);
  };
  h.ownsStandReservation = [](std::int32_t standId, std::uint32_t hexid) {
    return lf_ownsStandReservation(standId, hexid);
  };
  // The user's destination gate is the parking code's: app/ adds it.
  h.isUserStand = [](const Stand& stand, const LiveAc&, std::int32_t) { return gf_isUserStand(stand, {}); };
  h.userGroundCollisionTermNm = [] { return lf_userGroundCollisionTermNm(); };
  h.matchRunwayForLanding = [](const Lalo& position, double headingRad) -> std::optional<std::string> {
    const std::optional<RunwayCandidate> runway = gf_matchRunwayForLanding(position, gf_normalizeAngle(headingRad));
    if (!runway) return std::nullopt;
    return gf_runwayMatchName(*runway);
  };
  h.acSpeedKt = [](LiveAc& aircraft) { return gf_acSpeedKt(aircraft); };

  h.parkAirportReady = lf_missing("the park airport's stand file", false);
  h.eraseStandSearchHits = lf_missing("the stand search hits' erasure");
  h.eraseStandSearchHitsAt = lf_missing("the stand search hits' erasure at a stand");
  h.isNearParkRunway = lf_missing("gf_isNearParkRunway", false);
  h.standSearchHits = lf_missing("the stand search hits", std::size_t{0});
  h.placeStaticAircraft = lf_missing("gf_placeStaticAircraft");
  h.checkUserAcGndCollisions = lf_missing("gf_checkUserAcGndCollisions");
  h.enforceMaxParked = lf_missing("gf_enforceMaxParked");
  h.forgetStaticHexid = lf_missing("the static side's hexid list");
  h.readParkedFile = lf_missing("lf_readParkedFile", std::optional<std::string>());
  h.parkFileFetching = lf_missing("the stand file's fetch", false);
  h.populateParkAirport = lf_missing("gf_populateParkAirport");
  h.resetParkAirport = lf_missing("gf_resetParkAirport");
  h.takeParkRequest = lf_missing("the park request", false);
  h.frontNearestParkAirport = lf_missing("gf_frontNearestParkAirport");
  h.checkParkAirportReach = lf_missing("gf_checkParkAirportReach");
  h.chooseParkAirport = lf_missing("gf_chooseParkAirport");
  h.clearParkingState = lf_missing("the engine reset's parking state");

  h.parkingGenerating = lf_missing("the parking generation flag", false);
  h.parkingGenerationDone = lf_missing("gf_parkingGenerationDone");
  h.restartParkingCountdown = lf_missing("gf_restartParkingCountdown");
  h.requestParkingAdjustment = lf_missing("gf_requestParkingAdjustment");
  h.sendUserPositionToRTApp = lf_missing("gf_sendUserPositionToRTApp");
  h.steadyNanos = [] {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
  return h;
}

const EngineHooks& gf_engineHooks() { return lf_hooks(); }

void gf_setEngineHooks(EngineHooks hooks) { lf_hooks() = std::move(hooks); }
