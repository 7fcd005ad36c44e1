#include "parking/parking_adjust.h"

#include <fmt/format.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <utility>

#include "appbase/gui.h"
#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "feed/rt_api_traffic_client.h"
#include "feed/rt_app_traffic.h"
#include "feed/traffic_handover.h"
#include "parking/airport_settings.h"
#include "parking/learned_save.h"
#include "parking/park_airports.h"
#include "parking/park_population.h"
#include "parking/parked_wait.h"
#include "parking/parked_removal.h"
#include "parking/stand_search.h"
#include "platform/ui.h"
#include "simlink/stand_table.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/removal.h"
#include "traffic/runway_validation.h"
#include "traffic/stand_names.h"
#include "traffic/traffic_exceptions.h"

std::vector<NamedMark> g_parkingRemovals;

namespace {

constexpr std::int64_t kTicksPerMinute = 600'000'000;  // 100-ns ticks
constexpr std::int64_t kHundredNanosPerSecond = 10'000'000;

void lf_listUnkeptStatics() {
  for (const StaticAc& aircraft : g_staticAcs)
    if (!aircraft.keepFlag) gf_addParkingRemoval(aircraft, static_cast<std::uint32_t>(aircraft.standId));
}

void lf_disable(const GuiControl& control) {
  if (ui::isWindow(control.window)) ui::enableWindow(control.window, false);
}

}  // namespace

void gf_addParkingRemoval(const StaticAc& aircraft, std::uint32_t standId) {
  const bool listed = std::any_of(g_parkingRemovals.begin(), g_parkingRemovals.end(),
                                  [&](const NamedMark& mark) { return mark.callsign == aircraft.callsign; });
  if (!listed) g_parkingRemovals.push_back(NamedMark{aircraft.callsign, standId});
}

void lf_collectLiveStayers() {
  const std::int64_t now = gf_systemSeconds() * kHundredNanosPerSecond;
  g_liveStayers.clear();
  g_liveStayers.reserve(g_liveAcs.size());
  const EngineHooks& hooks = gf_engineHooks();
  for (LiveAc& aircraft : g_liveAcs) {
    if (aircraft.state != FlightPhase::parked || aircraft.simState != SimStatus::active) continue;
    const auto minutes = static_cast<std::int32_t>((now - aircraft.lastAtStandClock) / kTicksPerMinute);
    // The at-stand check renews lastAtStandClock with every report near the stand; its flag, once
    // set, stays: silence is measured from the clock for every aircraft.
    const std::int32_t limit = aircraft.category == AcCategory::heavy ? 180 : 90;
    if (minutes > limit) {
      try {
        hooks.removeAircraftFromSim(aircraft);
      } catch (...) {
        gf_reportTrafficException("lf_collectLiveStayers");
      }
      continue;
    }
    g_liveStayers.push_back(LiveStayer{aircraft.callsign, aircraft.registration,
                                       static_cast<std::uint32_t>(aircraft.standId),
                                       aircraft.atStandSeen ? 0 : minutes});
  }
  std::sort(g_liveStayers.begin(), g_liveStayers.end(),
            [](const LiveStayer& a, const LiveStayer& b) { return a.minutesParked < b.minutesParked; });
}

void lf_removeRemovals() {
  for (const NamedMark& mark : g_parkingRemovals) {
    const auto found = std::find_if(g_staticAcs.begin(), g_staticAcs.end(), [&](const StaticAc& a) {
      return a.standId == static_cast<std::int32_t>(mark.standId);
    });
    if (found == g_staticAcs.end() ||
        (found->simState != SimStatus::active && found->simState != SimStatus::removingfromsim))
      continue;
    try {
      gf_log(fmt::format("{:14}: {:8} static parked removed, no longer within your specs",
                         gf_standName(found->standId), found->callsign));
      removeAircraftFromSim(*found);
    } catch (...) {
      gf_reportTrafficException("lf_removeRemovals");
    }
  }
  g_parkingRemovals.clear();
}

void lf_reconcileStaticCallsigns(WeekTime now) {
  for (StaticAc& aircraft : g_staticAcs) {
    if (aircraft.hitFlag == 0 || !aircraft.keepFlag || aircraft.name2.empty() || aircraft.callsign != aircraft.name1)
      continue;
    const Stand* stand = gf_standByNumber(g_stands, aircraft.standId);
    if (!stand) continue;
    const DbaseEntry identity = aircraft.identity();
    const auto option = std::find_if(stand->options.begin(), stand->options.end(), [&](const StandOption& o) {
      return o.id >= 1 && o.day == now.day && o.name1 == aircraft.name1 && gf_sameIdentity(o.identity, identity);
    });
    if (option == stand->options.end() || gf_optionHoldsNextHalfHour(*stand, *option, now)) continue;
    aircraft.callsign = aircraft.name2;
  }
}

void lf_reconcileRemovalsWithHits() {
  std::set<std::pair<std::uint32_t, std::string>> unchanged;
  for (const NamedMark& mark : g_parkingRemovals)
    for (const StandSearchHit& hit : g_standSearchHits)
      if (hit.standId == mark.standId && hit.name1 == mark.callsign) unchanged.emplace(mark.standId, mark.callsign);
  std::erase_if(g_parkingRemovals,
                [&](const NamedMark& mark) { return unchanged.contains({mark.standId, mark.callsign}); });
  std::erase_if(g_standSearchHits,
                [&](const StandSearchHit& hit) { return unchanged.contains({hit.standId, hit.name1}); });

  std::set<std::uint32_t> refilled;
  for (const NamedMark& mark : g_parkingRemovals)
    if (std::any_of(g_standSearchHits.begin(), g_standSearchHits.end(),
                    [&](const StandSearchHit& hit) { return hit.standId == mark.standId; }))
      refilled.insert(mark.standId);
  if (refilled.empty()) return;
  std::stable_partition(g_parkingRemovals.begin(), g_parkingRemovals.end(),
                        [&](const NamedMark& mark) { return refilled.contains(mark.standId); });
  std::stable_partition(g_standSearchHits.begin(), g_standSearchHits.end(),
                        [&](const StandSearchHit& hit) { return refilled.contains(hit.standId); });
}

void gf_adjustParking(bool flush) {
  // A plan still waiting or searching is for stands this adjustment frees again.
  gf_cancelParkedWait();
  const WeekTime weekTime = lf_logDayOfWeek();
  const auto settings = g_parameterSnapshot.load();
  gf_clearStaticSets();
  Gui::hideStaticFit(false);
  g_parkingRemovals.clear();
  g_liveStayers.clear();
  gf_clearStandSearchHits();
  for (Stand& stand : g_stands) stand.taken = stand.blocked = 0;
  gf_renumberStandOptions(g_stands);
  for (StaticAc& aircraft : g_staticAcs) aircraft.keepFlag = false;
  lf_reserveUserStands();
  if (flush)
    for (const StaticAc& aircraft : g_staticAcs)
      if (aircraft.hitFlag == 1 && aircraft.simState == SimStatus::active)
        gf_addParkingRemoval(aircraft, static_cast<std::uint32_t>(aircraft.standId));

  const std::int32_t wanted = std::max(gf_wantedParkedCount(*settings), 0);
  lf_collectLiveStayers();
  if (!settings->rtParkTrafficOnly && g_liveStayers.size() > static_cast<std::size_t>(wanted)) {
    const auto surplus = static_cast<std::int64_t>(g_liveStayers.size()) - wanted;
    Gui::showMessage(fmt::format("Parking adjustments: {} more live ac than wanted", surplus), true);
    lf_removeNOldestLiveParked(surplus);
    g_liveStayers.clear();
    lf_collectLiveStayers();
  }
  for (const LiveStayer& stayer : g_liveStayers) gf_occupyStand(stayer.standId, wanted);
  const ParkedAnswer answer =
      gf_askParkedOrWait(ParkedWait{ParkedWait::Kind::adjustment, weekTime, wanted, flush});
  if (answer == ParkedAnswer::waiting) return;  // the parking step goes on once the answer is in
  gf_finishAdjustment(weekTime, wanted, flush, answer == ParkedAnswer::ready);
}

void gf_finishAdjustment(WeekTime weekTime, std::int32_t wanted, bool flush, bool parkedReady) {
  const auto settings = g_parameterSnapshot.load();
  if (parkedReady) gf_processParkedTraffic(static_cast<std::uint32_t>(wanted));

  if (settings->rtParkTrafficOnly) {
    if (!flush) lf_listUnkeptStatics();
    Gui::showMessage(fmt::format("RT Parking changes: {} to be removed, {} to be added", g_parkingRemovals.size(),
                                 g_standSearchHits.size()),
                     true);
    lf_removeRemovals();
    return;
  }
  const auto taken = std::count_if(g_stands.begin(), g_stands.end(), [](const Stand& s) { return s.taken != 0; });
  if (wanted > taken) {
    gf_searchThenComplete(ParkedWait{ParkedWait::Kind::adjustment, weekTime, wanted, flush});
    return;
  }
  gf_completeAdjustment(weekTime);
}

void gf_completeAdjustment(WeekTime weekTime) {
  lf_listUnkeptStatics();
  lf_reconcileStaticCallsigns(weekTime);
  lf_reconcileRemovalsWithHits();
  // Placement takes hits from the back: the smallest offsets first.
  std::sort(g_standSearchHits.begin(), g_standSearchHits.end(),
            [](const StandSearchHit& a, const StandSearchHit& b) { return a.slotOffset > b.slotOffset; });
  gf_log("");
  Gui::showMessage(fmt::format("Parking adjustments: {} to be removed, {} to be added\n", g_parkingRemovals.size(),
                               g_standSearchHits.size()),
                   true);
  lf_removeRemovals();
  gf_flushLog();
}

void gf_resetParkAirport() {
  gf_cancelParkedWait();
  if (g_airportFileLoaded) {
    gf_saveLearned(g_stands, g_airportFileHandmade);
    gf_restoreParkingSettings();
  }
  gf_clearAppliedAirportFile();
  lf_disable(PARK_BUTTON);
  lf_disable(FLUSH_BUTTON);
  g_rtTrafficWeek = 0;
  {
    std::unique_lock lock(g_parkAirportLock);
    g_parkAirport = Airport{};
  }
  Gui::enqueueUpdate(gui::SetParkAirportCode{IcaoCode()});
  if (gf_isRtDirect())
    g_rtApiTrafficClient.setParkAirportElevation(std::nullopt);
  else
    g_rtAppTrafficReader.setParkAirportElevation(std::nullopt);
  Gui::enqueueUpdate(gui::SetParkingUpdateCount{0});
  g_parkingRemovals.clear();
  gf_clearStandSearchHits();
  // The next airport's population tests its own stands and aircraft against the stayers.
  g_liveStayers.clear();
  g_stands.clear();
  gf_rebuildStandsByName();
  gf_resetParkRunways();
  gf_publishStandPositions();
  Gui::setParkAirport(false, "");
  Gui::setAirportFileLabel("", false);
}
