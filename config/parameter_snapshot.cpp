#include "config/parameter_snapshot.h"

#include <mutex>
#include <utility>
#include <vector>

#include "config/keys.h"
#include "config/random.h"
#include "config/sim_choice.h"

AtomicSharedPtr<const ParameterSnapshot> g_parameterSnapshot{
    std::make_shared<const ParameterSnapshot>()};
std::atomic<bool> g_blockTrailingUnderscore{false};

namespace {

// The random picks keep their own switch. Loading the newest snapshot under this lock after
// each install keeps a slow publisher from feeding an older value after a newer one.
std::mutex g_randomFeedMutex;

void lf_feedDependents() {
  std::lock_guard lock(g_randomFeedMutex);
  gf_setRandomEnabled(g_parameterSnapshot.load()->random);
}

std::uint32_t lf_u32(std::int32_t value) { return value < 0 ? 0u : static_cast<std::uint32_t>(value); }

std::uint8_t lf_airGroundFilter(const std::string& text) {
  if (text == "Airborne only") return 1;
  if (text == "Ground only") return 2;
  return 0;
}

SnapshotAcIdentity lf_blockedFromOptions() {
  SnapshotAcIdentity blocked;
  blocked.aircraft = BLOCK_AIRCRAFT.value;
  blocked.callsign = BLOCK_CALLSIGN.value;
  blocked.regcode = BLOCK_REGCODE.value;
  blocked.hexid = lf_u32(BLOCK_HEXIDDEC.value);
  blocked.callsignEndsInUnderscore = g_blockTrailingUnderscore.load();
  return blocked;
}

void lf_setTimeShift(ParameterSnapshot& s) {
  s.timeShiftDays = lf_u32(TIME_SHIFT_DAYS.value);
  s.timeShiftHours = lf_u32(TIME_SHIFT_HOURS.value);
  s.timeShiftMins = lf_u32(TIME_SHIFT_MINS.value);
}

using FieldCopy = void (*)(ParameterSnapshot&);

// Each option with a field in the snapshot, and how its value gets there.
const std::vector<std::pair<const Option*, FieldCopy>>& lf_fieldCopies() {
  static const std::vector<std::pair<const Option*, FieldCopy>> copies = {
      {&AUTO_RANGE, [](ParameterSnapshot& s) { s.autoRange = AUTO_RANGE.value; }},
      {&COLLISION_USER_GND, [](ParameterSnapshot& s) { s.collisionUserGnd = COLLISION_USER_GND.value; }},
      {&COLLISION_USER_AIR, [](ParameterSnapshot& s) { s.collisionUserAir = COLLISION_USER_AIR.value; }},
      {&TWO_PROPS, [](ParameterSnapshot& s) { s.twoProps = TWO_PROPS.value; }},
      {&LIGHT_AIRCRAFT, [](ParameterSnapshot& s) { s.lightAircraft = LIGHT_AIRCRAFT.value; }},
      {&HELICOPTERS, [](ParameterSnapshot& s) { s.helicopters = HELICOPTERS.value; }},
      {&HIGH_PERF_AIRCRAFT, [](ParameterSnapshot& s) { s.highPerfAircraft = HIGH_PERF_AIRCRAFT.value; }},
      {&RANDOM, [](ParameterSnapshot& s) { s.random = RANDOM.value; }},
      {&FLIGHT_MESSAGES, [](ParameterSnapshot& s) { s.flightMessages = FLIGHT_MESSAGES.value; }},
      {&GUID_CHANGES, [](ParameterSnapshot& s) { s.guidChanges = GUID_CHANGES.value; }},
      {&NAV_LIGHTS_WHILE_PARKED, [](ParameterSnapshot& s) { s.navLightsWhileParked = NAV_LIGHTS_WHILE_PARKED.value; }},
      {&OBJECTID_LIST, [](ParameterSnapshot& s) { s.objectIdList = OBJECTID_LIST.value; }},
      {&SIM_TIME, [](ParameterSnapshot& s) { s.simTime = SIM_TIME.value; }},
      {&KEEP_SIM_TIME_PAR, [](ParameterSnapshot& s) { s.keepSimTimePar = KEEP_SIM_TIME_PAR.value; }},
      {&SKIP_AIRPORT_SCAN, [](ParameterSnapshot& s) { s.skipAirportScan = SKIP_AIRPORT_SCAN.value; }},
      {&SKIP_LIVERIES_SCAN, [](ParameterSnapshot& s) { s.skipLiveriesScan = SKIP_LIVERIES_SCAN.value; }},
      {&LIG_PRIORITIZE, [](ParameterSnapshot& s) { s.ligPrioritize = LIG_PRIORITIZE.value; }},
      {&LIG_AUTOMATIC, [](ParameterSnapshot& s) { s.ligAutomatic = LIG_AUTOMATIC.value; }},
      {&MATCHING_DEPTH, [](ParameterSnapshot& s) { s.matchingDepth = lf_u32(MATCHING_DEPTH.value); }},
      {&HOLDING_THRESHOLD_METERS,
       [](ParameterSnapshot& s) { s.holdingThresholdMetres = lf_u32(HOLDING_THRESHOLD_METERS.value); }},
      {&MAX_HOLDING_MINUTES, [](ParameterSnapshot& s) { s.maxHoldingMinutes = lf_u32(MAX_HOLDING_MINUTES.value); }},
      {&TCAS_FL, [](ParameterSnapshot& s) { s.tcasFl = lf_u32(TCAS_FL.value); }},
      {&AIRP_RANGE, [](ParameterSnapshot& s) { s.airpRange = lf_u32(AIRP_RANGE.value); }},
      {&AIRP_HEIGHT, [](ParameterSnapshot& s) { s.airpHeight = lf_u32(AIRP_HEIGHT.value); }},
      {&parking_percentage, [](ParameterSnapshot& s) { s.parkingPercentage = lf_u32(parking_percentage.value); }},
      {&MAX_PARK_SEL, [](ParameterSnapshot& s) { s.maxParkSel = lf_u32(MAX_PARK_SEL.value); }},
      {&MAX_LIVE_SEL, [](ParameterSnapshot& s) { s.maxLiveSel = lf_u32(MAX_LIVE_SEL.value); }},
      {&PARKING_INTERVAL_MINUTES,
       [](ParameterSnapshot& s) { s.parkingIntervalMinutes = lf_u32(PARKING_INTERVAL_MINUTES.value); }},
      {&RT_PARKTRAFFIC_ONLY, [](ParameterSnapshot& s) { s.rtParkTrafficOnly = RT_PARKTRAFFIC_ONLY.value; }},
      {&AUTO_PARK, [](ParameterSnapshot& s) { s.autoPark = AUTO_PARK.value; }},
      {&WEEK, [](ParameterSnapshot& s) { s.week = WEEK.value; }},
      {&PARK_SOFT, [](ParameterSnapshot& s) { s.parkSoft = PARK_SOFT.value; }},
      {&MAX_FIT, [](ParameterSnapshot& s) { s.maxFit = lf_u32(MAX_FIT.value); }},
      {&MAX_FIT_FL, [](ParameterSnapshot& s) { s.maxFit = lf_u32(MAX_FIT.value); }},
      {&ALL_AIR_GND_SELECTOR,
       [](ParameterSnapshot& s) { s.airGroundFilter = lf_airGroundFilter(ALL_AIR_GND_SELECTOR.value); }},
      {&DESTINATION, [](ParameterSnapshot& s) { s.destination = DESTINATION.value; }},
      {&BLOCK_AIRCRAFT, [](ParameterSnapshot& s) { s.blocked = lf_blockedFromOptions(); }},
      {&BLOCK_CALLSIGN, [](ParameterSnapshot& s) { s.blocked = lf_blockedFromOptions(); }},
      {&BLOCK_REGCODE, [](ParameterSnapshot& s) { s.blocked = lf_blockedFromOptions(); }},
      {&BLOCK_HEXIDDEC, [](ParameterSnapshot& s) { s.blocked = lf_blockedFromOptions(); }},
      {&TIME_SHIFT_DAYS, lf_setTimeShift},
      {&TIME_SHIFT_HOURS, lf_setTimeShift},
      {&TIME_SHIFT_MINS, lf_setTimeShift},
  };
  return copies;
}

}  // namespace

void gf_changeParameterSnapshot(const std::function<void(ParameterSnapshot&)>& change) {
  std::shared_ptr<const ParameterSnapshot> current = g_parameterSnapshot.load();
  for (;;) {
    auto next = std::make_shared<ParameterSnapshot>(*current);
    change(*next);
    std::shared_ptr<const ParameterSnapshot> desired = std::move(next);
    // On failure current becomes the snapshot that won; the change is made again on it.
    if (g_parameterSnapshot.compare_exchange_strong(current, desired)) break;
  }
  lf_feedDependents();
}

void gf_initParameterSnapshot() {
  auto s = std::make_shared<ParameterSnapshot>();
  for (const auto& [option, copy] : lf_fieldCopies()) {
    (void)option;
    copy(*s);
  }
  const std::int32_t n = RANGE.value;
  s->rangeNm = n;
  s->rangeNmSquared = static_cast<double>(n) * static_cast<double>(n);
  s->rangeMetres = lf_u32(n) * 1852u + (gf_isRtDirect() ? 10000u : 0u);
  s->range = lf_u32(n);
  const std::shared_ptr<const ParameterSnapshot> current = g_parameterSnapshot.load();
  const std::string blockedEntry = BLOCK_AIRCRAFT.value;
  if (!blockedEntry.empty() && blockedEntry == current->blocked.aircraft)
    s->blocked = current->blocked;  // keeps what the traffic store completed
  g_parameterSnapshot.store(std::move(s));
  lf_feedDependents();
}

void gf_updateParameterSnapshot(const Option& option) {
  for (const auto& [candidate, copy] : lf_fieldCopies()) {
    if (candidate != &option) continue;
    gf_changeParameterSnapshot(copy);
    return;
  }
}

void gf_resetParameterSnapshot() {
  g_parameterSnapshot.store(std::make_shared<const ParameterSnapshot>());
  g_blockTrailingUnderscore.store(false);
  lf_feedDependents();
}
