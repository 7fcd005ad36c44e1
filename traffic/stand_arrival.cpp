#include "traffic/stand_arrival.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "config/random.h"
#include "core/log.h"
#include "core/utc_time.h"
#include "feed/traffic_mailbox.h"
#include "liveries/ac_stands.h"
#include "simlink/facility_stand.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/flat_frame.h"
#include "traffic/sim_events.h"
#include "traffic/stand_names.h"

namespace {

constexpr double kStandReachNm = 0.009719222462203024;  // 18 m
constexpr double kStandHeadingDeg = 40.0;
constexpr std::int64_t kHundredNanosPerSecond = 10'000'000;

bool lf_tryAgain(LiveAc& aircraft) {
  aircraft.extensionCount = 1;
  return false;
}

void lf_giveStandUp(LiveAc& aircraft) {
  aircraft.standId = 0;
  aircraft.standPos = Lalo{};
  aircraft.standHeading = 0.0;
  aircraft.standCargo = false;
  aircraft.standNoseIn = false;
  if (aircraft.state != FlightPhase::taxi) gf_changeState(aircraft, FlightPhase::taxi);
}

// Engines off, then taxi-in lights, then the parked lights; 10, 15 and 30 s after arrival
// (plus random seconds with RANDOM on). Kept with the earliest entry last.
void lf_scheduleParkedActions(std::uint32_t hexid, std::int32_t arrival) {
  const auto r = static_cast<std::int32_t>(gf_random(10));
  const auto at = [arrival](std::int64_t offset) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(arrival + offset, std::numeric_limits<std::int32_t>::max()));
  };
  g_parkedAcActions.push_back({hexid, at(1000 + 100 * r), 0});
  g_parkedAcActions.push_back({hexid, at(1500 + 100 * (r + static_cast<std::int32_t>(gf_random(5)))), 1});
  g_parkedAcActions.push_back({hexid, at(3000 + 100 * (r + static_cast<std::int32_t>(gf_random(100)))), 2});
  std::stable_sort(g_parkedAcActions.begin(), g_parkedAcActions.end(),
                   [](const ParkedAcAction& a, const ParkedAcAction& b) { return a.due > b.due; });
}

}  // namespace

bool gf_arrivedAtStand(LiveAc& aircraft) {
  const EngineHooks& hooks = gf_engineHooks();
  aircraft.predictLimitA = aircraft.predictLimitB = 900;
  aircraft.correctiveMove.valid = false;
  if (hooks.standUseByOtherLiveAc(aircraft.standId, aircraft.hexid) != 0) return lf_tryAgain(aircraft);
  if (std::fabs(gf_wrapAngle(aircraft.heading - aircraft.standHeading)) > kStandHeadingDeg * geo::kDegToRad)
    return lf_tryAgain(aircraft);
  if (!(gf_distanceNm(aircraft.position, aircraft.standPos) <= kStandReachNm)) {
    lf_giveStandUp(aircraft);
    return true;
  }
  if (aircraft.standId < 1 || aircraft.hexid == 0) return lf_tryAgain(aircraft);
  if (hooks.standUseByOtherLiveAc(aircraft.standId, aircraft.hexid) != 0) return lf_tryAgain(aircraft);
  if (!gf_standByNumber(g_stands, aircraft.standId)) return lf_tryAgain(aircraft);

  if (aircraft.state != FlightPhase::parked) gf_changeState(aircraft, FlightPhase::parked);
  aircraft.standArrivalClock = aircraft.lastAtStandClock = gf_systemSeconds() * kHundredNanosPerSecond;
  aircraft.createdWeekTime = g_currentWeekTime.load();
  if (aircraft.reservedStandId != aircraft.standId) aircraft.hasReservation = false;
  if (aircraft.towed) gf_log(fmt::format("          towed aircraft {} parks", aircraft));

  if (!aircraft.stream.empty()) aircraft.stream.front().repeated = true;
  aircraft.standApproach = false;
  aircraft.correctiveMove = CorrectiveMove{};
  aircraft.towPath = TowPath{};
  aircraft.turnHold = false;
  aircraft.turnHoldTicks = 0;
  aircraft.turnPending = false;
  aircraft.turnSpeed = 0.0;
  aircraft.forcedTurn = false;
  aircraft.legPlan.reset();

  gf_setThrottle(aircraft, 0);
  gf_setFlaps(aircraft, 0);
  lf_scheduleParkedActions(aircraft.hexid,
                           aircraft.stream.empty() ? g_engineTime.load() : aircraft.stream.front().time);
  gf_log(fmt::format("{:14}: {:8} arrived at stand", gf_standName(aircraft.standId), aircraft.callsign));
  g_landedHexids.push_back(aircraft.hexid);
  gf_addRealStandOption(aircraft.standId, aircraft, 0);
  hooks.enforceMaxParked(0);
  return true;
}
