#include "parking/park_population.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "appbase/gui.h"
#include "config/parameter_load.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "feed/rt_api_traffic_client.h"
#include "feed/rt_app_traffic.h"
#include "feed/traffic_handover.h"
#include "parking/park_airports.h"
#include "parking/parked_wait.h"
#include "parking/parking_hooks.h"
#include "parking/stand_search.h"
#include "simlink/stand_table.h"
#include "simlink/user_aircraft.h"
#include "traffic/engine_state.h"
#include "traffic/static_stands.h"

std::atomic<bool> g_parkingGenerating{false};

namespace {

std::int64_t lf_takenStands() {
  return std::count_if(g_stands.begin(), g_stands.end(), [](const Stand& stand) { return stand.taken != 0; });
}

std::int32_t lf_percentOfStands(std::int64_t count) {
  if (g_stands.empty()) return 0;
  const auto stands = static_cast<double>(g_stands.size());
  return static_cast<std::int32_t>(std::lround(static_cast<double>(count) * 100.0 / stands));
}

}  // namespace

WeekTime lf_logDayOfWeek() {
  const WeekTime now = gf_currentWeekTime();
  const double hours = (std::clamp<std::uint32_t>(now.slot, 0, 47) + 1) * 0.5;
  gf_log(fmt::format("\n{} (utc) It is day {} ({}), {:.1F} hours", gf_timeStampHms(), now.day,
                     gf_weekdayName(static_cast<std::int32_t>(now.day)), hours));
  return now;
}

void lf_reserveUserStands() {
  const std::optional<std::string> kept = gf_getUserStand();
  if (kept) gf_blockUserStandsForStatic(*kept, "Reserved");
  const UserAcPosition user = gf_getUserAcPosition();
  const std::optional<std::string> here = gf_parkingHooks().standNameAtPos(Lalo{user.latitude, user.longitude});
  if (here && (!kept || *here != *kept)) gf_blockUserStandsForStatic(*here, "User");
}

std::int32_t gf_wantedParkedCount(const ParameterSnapshot& settings) {
  const std::int64_t cap = settings.maxParkSel;
  if (!settings.rtParkTrafficOnly)
    return gf_setStaticTargetCount({static_cast<double>(settings.parkingPercentage), cap});
  const auto count = static_cast<std::int32_t>(std::min<std::int64_t>(cap, static_cast<std::int64_t>(g_stands.size())));
  g_staticTargetCount = count;
  Gui::enqueueUpdate(gui::SetStaticTarget{count, lf_percentOfStands(count)});
  return count;
}

void gf_populateParkAirport() {
  if (g_stands.empty()) return;
  // An earlier population or adjustment still waiting or searching plans for stands about to be freed.
  gf_cancelParkedWait();
  const WeekTime weekTime = lf_logDayOfWeek();
  const ParkingHooks& hooks = gf_parkingHooks();
  hooks.disableParkingControls();
  g_parkingGenerating = true;
  Gui::redrawParkingBand();

  gf_clearStandSearchHits();
  Gui::enqueueUpdate(gui::SetLiveFit{-1.0f});
  Gui::setStaticFit(-1.0f);
  Gui::hideStaticFit(false);
  gf_clearStaticSets();

  for (Stand& stand : g_stands) stand.taken = stand.blocked = 0;
  lf_reserveUserStands();

  const auto settings = g_parameterSnapshot.load();
  const std::int32_t wanted = gf_wantedParkedCount(*settings);
  bool parkedReady = false;
  if (wanted > 0) {
    const ParkedAnswer answer = gf_askParkedOrWait(ParkedWait{ParkedWait::Kind::population, weekTime, wanted});
    if (answer == ParkedAnswer::waiting) return;  // the parking step goes on once the answer is in
    parkedReady = answer == ParkedAnswer::ready;
  }
  gf_finishPopulation(weekTime, wanted, parkedReady);
}

void gf_finishPopulation(WeekTime weekTime, std::int32_t wanted, bool parkedReady) {
  const auto settings = g_parameterSnapshot.load();
  if (wanted > 0 && parkedReady) gf_processParkedTraffic(static_cast<std::uint32_t>(wanted));
  if (!settings->rtParkTrafficOnly && static_cast<std::size_t>(std::max(wanted, 0)) > g_standSearchHits.size()) {
    gf_searchThenComplete(ParkedWait{ParkedWait::Kind::population, weekTime, wanted});
    return;
  }
  gf_completePopulation();
}

void gf_completePopulation() {
  const ParkingHooks& hooks = gf_parkingHooks();
  const auto settings = g_parameterSnapshot.load();
  std::sort(g_standSearchHits.begin(), g_standSearchHits.end(),
            [](const StandSearchHit& a, const StandSearchHit& b) { return a.slotOffset < b.slotOffset; });

  const std::int64_t taken = lf_takenStands();
  if (taken == 0) {
    gf_log("no parking positions found");
    hooks.parkingGenerationDone();
    return;
  }
  if (settings->rtParkTrafficOnly) {
    gf_logFlush(fmt::format("{} positions with RT Parked only\n", taken));
    return;
  }
  gf_logFlush(fmt::format("{} positions ({}% vs wanted {}%){}\n", taken, lf_percentOfStands(taken),
                          settings->parkingPercentage,
                          settings->autoPark ? std::string(" auto park")
                                             : fmt::format(", with Max fit={:.1F} hours",
                                                           gf_maxFitHours(static_cast<std::int32_t>(
                                                               std::min<std::uint32_t>(settings->maxFit, 47))))));
}

void gf_addParkedFromFeed(std::vector<ParkedRecord>& records, std::uint32_t count) {
  const std::uint32_t maxFit = g_parameterSnapshot.load()->maxFit;
  for (const ParkedRecord& record : records) {
    if (record.halfHourSlot > static_cast<std::int64_t>(maxFit)) return;
    if (record.callsign.empty() || !gf_isCategoryIncluded(gf_categoryOf(record.modelId)) ||
        g_staticHexids.contains(record.hexid))
      continue;
    if (StaticAc* placed = gf_staticPlacedFor(record.hexid)) {
      if (lf_isStandExcludedByOthers(static_cast<std::uint32_t>(placed->standId))) return;
      placed->keepFlag = true;
      if (gf_occupyStand(placed->standId, count)) return;
      continue;
    }
    const std::optional<ParkedPlacement> placement = gf_placeParkedRecord(record);
    if (!placement) continue;
    g_standSearchHits.push_back(StandSearchHit{record.hexid, 0, placement->standId,
                                               static_cast<std::uint32_t>(std::max(record.halfHourSlot, 0)),
                                               placement->aircraft.identity(), record.callsign, "",
                                               record.registration, true});
    if (gf_occupyStand(placement->standId, count)) return;
  }
}

void gf_clearStaticSets() {
  g_staticCallsigns.clear();
  g_staticHexids.clear();
  const auto takeOver = [](std::mutex& mutex, bool& collecting, auto& callsigns, auto& hexids) {
    std::lock_guard lock(mutex);
    collecting = false;
    g_staticCallsigns.clear();
    g_staticHexids.clear();
    g_staticCallsigns.swap(callsigns);
    g_staticHexids.swap(hexids);
  };
  if (gf_isRtDirect()) {
    RTAPITrafficClient& client = g_rtApiTrafficClient;
    takeOver(client.parkedIndexMutex, client.parkedReset, client.parkedCallsigns, client.parkedHexids);
  } else {
    RTAppTrafficReader& reader = g_rtAppTrafficReader;
    takeOver(reader.identityMutex, reader.collectIdentity, reader.liveCallsigns, reader.liveHexids);
  }
}
