#include "traffic/static_stands.h"

#include <fmt/format.h>

#include <cmath>
#include <limits>

#include "appbase/gui.h"
#include "core/log.h"
#include "core/utc_time.h"
#include "simlink/sim_commands.h"
#include "simlink/stand_table.h"
#include "traffic/engine_state.h"
#include "traffic/sim_events.h"

std::atomic<std::int32_t> g_staticTargetCount{0};

namespace {
constexpr double kDeg = geo::kDegToRad;
constexpr std::int32_t kSlotsPerWeek = 7 * 48;

bool lf_namesGate(std::string_view name) { return name.find("GATE") != std::string_view::npos; }

// Flat distance in NM, 60 NM per degree, longitude at a's latitude.
double lf_flatNm(const Lalo& a, const Lalo& b) {
  const double north = (b.lat - a.lat) * 60.0;
  const double east = gf_wrapLongitude(b.lon - a.lon) * 60.0 * std::cos(a.lat * kDeg);
  return std::sqrt(north * north + east * east);
}
}  // namespace

StaticAc::StaticAc(AcIdentity&& identity, std::int32_t standNumber, const GeoPose& standPose, bool noCabinLight)
    : AcIdentity(std::move(identity)),
      standId(standNumber),
      cargo(noCabinLight),
      position(standPose.position),
      heading(standPose.heading) {
  const Stand* stand = gf_standByNumber(g_stands, standNumber);
  atGate = stand && stand->name.size() >= 4 && lf_namesGate(stand->name);
}

void gf_assignStand(LiveAc& aircraft, const Stand& stand) {
  aircraft.standPos = stand.position;
  aircraft.standHeading = stand.heading;
  aircraft.standId = static_cast<std::int32_t>(stand.id);
  aircraft.standCargo = stand.cargo != 0;
  aircraft.standNoseIn = lf_namesGate(stand.name);
}

void gf_applyStaticPose(AcIdentity& aircraft, bool& cgKnown, const DelayedSimCommand& answer) {
  const double cg = answer.value1;
  if (std::isfinite(cg) && cg >= -1.0 && cg <= 35.0 && cg != 0.0) {
    aircraft.cgHeightFt = cg;
    aircraft.cgHeightFlag = true;
  } else {
    aircraft.cgHeightFt = gf_categoryModel(aircraft.category).cgHeightFt;
    aircraft.cgHeightFlag = false;
  }
  cgKnown = true;
  const double pitch = answer.value2;
  aircraft.refPitch = pitch > -1.0 * kDeg && pitch <= 2.5 * kDeg ? pitch : 0.7 * kDeg;
}

void gf_setParkedSystems(StaticAc& aircraft) {
  gf_setThrottle(aircraft, 0);
  gf_setFlaps(aircraft, 0);
  gf_queueEngineShutdown(aircraft.objectId);
  gf_queueLightSet(aircraft.objectId, gf_parkedLightSet(aircraft.cargo));
}

Stand* gf_findStandByName(std::string_view name) {
  const auto found = g_standsByName.find(name);
  if (found == g_standsByName.end() || found->second < 1) return nullptr;
  return gf_standByNumber(g_stands, found->second);
}

void gf_blockUserStandsForStatic(std::string_view name, std::string_view label) {
  Stand* stand = gf_findStandByName(name);
  if (!stand) return;
  stand->blocked = 1;
  gf_log(fmt::format("{} user stand '{}' blocked for static aircraft", label, stand->name));
  for (const std::int32_t id : stand->excludes) {
    if (Stand* excluded = gf_standByNumber(g_stands, id)) {
      excluded->blocked = 1;
      gf_log(fmt::format("{} excluded by {} user stand '{}' blocked for static aircraft", excluded->name, label,
                         stand->name));
    }
  }
}

std::int32_t gf_setStaticTargetCount(const StaticTargetInput& input) {
  const auto stands = static_cast<std::int64_t>(g_stands.size());
  std::int64_t target = 0;
  if (input.maximum > 0) {
    if (stands <= 1 || (stands <= 3 && input.percent < 50.0))
      target = 1;
    else
      target = std::llround(input.percent * static_cast<double>(stands) / 100.0);
    target = std::clamp<std::int64_t>(target, 0, input.maximum);
  }
  const auto count = static_cast<std::int32_t>(std::min<std::int64_t>(target, std::numeric_limits<std::int32_t>::max()));
  g_staticTargetCount = count;
  const auto percent =
      stands > 0 ? static_cast<std::int32_t>(std::lround(static_cast<double>(count) * 100.0 / stands)) : 0;
  Gui::enqueueUpdate(gui::SetStaticTarget{count, percent});
  return count;
}

std::int64_t gf_countParkedStatic(bool post) {
  std::int64_t inSim = 0;
  std::int64_t timed = 0;
  std::int64_t slots = 0;
  const WeekTime now = gf_currentWeekTime();
  const std::int32_t nowSlot = (static_cast<std::int32_t>(now.day) - 1) * 48 + static_cast<std::int32_t>(now.slot);
  for (const StaticAc& aircraft : g_staticAcs) {
    if (aircraft.simState != SimStatus::active && aircraft.simState != SimStatus::removingfromsim) continue;
    ++inSim;
    const WeekTime parked = aircraft.parkedWeekTime;
    if (parked.day < 1 || parked.day > 7 || parked.slot > 47 || now.day < 1 || now.day > 7 || now.slot > 47) continue;
    std::int32_t since = nowSlot - ((static_cast<std::int32_t>(parked.day) - 1) * 48 + static_cast<std::int32_t>(parked.slot));
    if (since < 0) since += kSlotsPerWeek;
    slots += since;
    ++timed;
  }
  if (post && !g_gui.closing.load() && !g_gui.staticFitHold.load()) {
    const double hours = timed > 0 ? static_cast<double>(slots) / (2.0 * static_cast<double>(timed)) + 0.5 : 0.0;
    Gui::enqueueUpdate(gui::SetStaticFit{static_cast<float>(hours)});
  }
  return inSim;
}

bool gf_standNameMatches(const Stand& stand, std::string_view name) {
  if (stand.name == name) return true;
  for (const std::int32_t id : stand.excludes)
    if (const Stand* excluded = gf_standByNumber(g_stands, id); excluded && excluded->name == name) return true;
  return false;
}

bool gf_standOfPositionMatches(const Stand& stand, const Lalo& position) {
  const Stand* nearest = nullptr;
  double nearestNm = std::numeric_limits<double>::infinity();
  for (const Stand& candidate : g_stands) {
    const double nm = lf_flatNm(position, candidate.position);
    if (nm < nearestNm) {
      nearestNm = nm;
      nearest = &candidate;
    }
  }
  // The stand within 20 m of the position is the nearest one, and so is the fallback.
  return nearest && gf_standNameMatches(stand, nearest->name);
}
