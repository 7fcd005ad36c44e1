#include "config/parameter_load.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>

#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/parameters_file.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "config/xml_helpers.h"
#include "core/log.h"
#include "core/value_types.h"
#include "platform/ui.h"

namespace {

constexpr std::size_t kRanges = 5;  // values 0..4 are ranges, 5..7 flight levels

std::array<IntOption*, 8> lf_radiusOptions() {
  return {&RANGE_GROUND, &RANGE_1, &RANGE_2, &RANGE_3, &RANGE_ABOVE, &FLIGHT_LEVEL_1, &FLIGHT_LEVEL_2, &FLIGHT_LEVEL_3};
}

RadiusLimits lf_unlimited() {
  RadiusLimits limits;
  limits.minimum.fill(-std::numeric_limits<double>::infinity());
  limits.maximum.fill(std::numeric_limits<double>::infinity());
  return limits;
}

std::string lf_versionText(const VersionData& version) {
  return gf_versionString(version.major, version.minor, version.patch);
}

// The list entry nearest to the value, the lower one on a tie.
std::int32_t lf_snapToList(std::int32_t value, const std::vector<std::int32_t>& list) {
  std::int32_t best = list.front();
  for (std::int32_t entry : list) {
    const auto distance = std::llabs(static_cast<long long>(entry) - value);
    const auto bestDistance = std::llabs(static_cast<long long>(best) - value);
    if (distance < bestDistance || (distance == bestDistance && entry < best)) best = entry;
  }
  return best;
}

std::int32_t lf_roundToInt(double value) {
  const double rounded = std::round(value);  // halves away from zero
  if (!(rounded >= std::numeric_limits<std::int32_t>::min())) return std::numeric_limits<std::int32_t>::min();
  if (!(rounded <= std::numeric_limits<std::int32_t>::max())) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(rounded);
}

}  // namespace

RadiusValues gf_applyRadiusRules(RadiusValues given, double step) {
  return gf_applyRadiusRules(given, step, lf_unlimited());
}

RadiusValues gf_applyRadiusRules(RadiusValues given, double step, const RadiusLimits& limits) {
  std::array<double, 8> v = given.values;
  for (std::size_t i = 0; i < 8; ++i) {
    if (i < kRanges && v[i] < 0.0) v[i] = 0.0;
    v[i] = std::clamp(v[i], limits.minimum[i], std::max(limits.minimum[i], limits.maximum[i]));
  }

  // Flight levels: ascending, each at least a step above the one below.
  std::array<double, 3> levels = {v[5], v[6], v[7]};
  std::sort(levels.begin(), levels.end());
  double f1 = levels[0];
  double f2 = levels[1] > f1 ? levels[1] : f1 + step;
  double f3 = levels[2] > f2 ? levels[2] : f2 + step;
  // Pushed up past the top: make room downwards instead (480/480/480 becomes 478/479/480).
  if (f3 > limits.maximum[7]) {
    f3 = limits.maximum[7];
    f2 = std::min(f2, f3 - step);
    f1 = std::min(f1, f2 - step);
  }
  if (f2 > limits.maximum[6]) {
    f2 = limits.maximum[6];
    f1 = std::min(f1, f2 - step);
  }
  f1 = std::min(f1, limits.maximum[5]);
  v[5] = f1;
  v[6] = f2;
  v[7] = f3;

  // Ranges never shrink with height.
  for (std::size_t i = 1; i < kRanges; ++i) v[i] = std::min(std::max(v[i - 1], v[i]), limits.maximum[i]);

  RadiusValues result;
  result.values = v;
  result.changed = v != given.values;
  return result;
}

void gf_loadParameters() {
  if (gf_readParameters()) return;  // a new file holds the defaults: nothing to check or migrate
  const auto options = lf_radiusOptions();
  RadiusValues given;
  RadiusLimits limits;
  for (std::size_t i = 0; i < options.size(); ++i) {
    given.values[i] = options[i]->value;
    limits.minimum[i] = options[i]->minimum;
    limits.maximum[i] = options[i]->maximum;
  }
  const RadiusValues result = gf_applyRadiusRules(given, 1.0, limits);
  if (result.changed) {
    gf_logWarning("Radius parameters changed to fulfill the requirements (see Manual): ");
    for (std::size_t i = 0; i < options.size(); ++i) {
      options[i]->value = options[i]->clamped(lf_roundToInt(result.values[i]));
      options[i]->save();
    }
  } else {
    gf_log("Radius parameters okay");
  }
  gf_versionUpdate();
}

void gf_versionUpdate() {
  const std::string running = lf_versionText(g_programVersion);
  if (PROGRAM_VERSION.value == PROGRAM_VERSION.defaultValue) {
    PROGRAM_VERSION.setAndSave(running);
    return;
  }
  const VersionData stored(PROGRAM_VERSION.value);
  if (stored != g_programVersion) PROGRAM_VERSION.setAndSave(running);
  if (!(g_programVersion > stored)) return;

  gf_log(fmt::format("This is a version update from {} -> {}", lf_versionText(stored), running));
  gf_removeParameter(StringOption("COLLISION_LIVE_PARKED_GND", ""));

  const std::int32_t holding = HOLDING_THRESHOLD_METERS.value;
  std::int32_t snapped = 0;
  if (holding <= 10) {
    snapped = 10;
  } else if (holding >= 900) {
    snapped = 900;
  } else {
    snapped = lf_snapToList(holding, HOLDING_THRESHOLD_METERS.values);
  }
  HOLDING_THRESHOLD_METERS.setAndSave(snapped);

  // The installer's download folder has done its job.
  std::error_code error;
  if (!std::filesystem::remove(g_newVersionFolder, error) && error == std::errc::directory_not_empty)
    std::filesystem::remove_all(g_newVersionFolder, error);
}

void gf_setSimChoice() {
  SimChoice choice;
  const std::string sim = SIM_CHOICE.value;
  if (sim == "MSFS 2020") {
    choice.sim = 1;
  } else if (sim == "MSFS 2024") {
    choice.sim = 2;
  } else {
    gf_logWarning(fmt::format("Invalid simulator choice '{}', using '{}'", sim, "MSFS 2024"));
    SIM_CHOICE.value = "MSFS 2024";
    choice.sim = 2;
  }
  const std::string source = RT_CHOISE.value;
  if (source == "RT App") {
    choice.rtApp = 1;
  } else if (source == "RT Direct") {
    choice.rtApp = 0;
  } else {
    gf_logWarning(fmt::format("Invalid traffic source '{}', using '{}'", source, "RT Direct"));
    RT_CHOISE.value = "RT Direct";
    choice.rtApp = 0;
  }
  gf_publishSimChoice(choice);
}

void gf_setRange(std::int32_t n) {
  RANGE.value = RANGE.clamped(n);
  RANGE.selectInCombo();
  // Wide arithmetic: the snapshot takes n as given, however large.
  const double nm = n;
  const long long metres = static_cast<long long>(n) * 1852 + (gf_isRtDirect() ? 10000 : 0);
  const auto rangeMetres = static_cast<std::uint32_t>(
      std::clamp<long long>(metres, 0, std::numeric_limits<std::uint32_t>::max()));
  gf_changeParameterSnapshot([nm, rangeMetres](ParameterSnapshot& s) {
    s.rangeNm = nm;
    s.rangeNmSquared = nm * nm;
    s.rangeMetres = rangeMetres;
  });
}

float gf_maxFitHours(int index) { return static_cast<float>(std::clamp(index, 0, 47) + 1) * 0.5f; }

void gf_syncMaxFitFl() {
  const float f = std::clamp(gf_maxFitHours(MAX_FIT.value), MAX_FIT_FL.minimum, MAX_FIT_FL.maximum);
  MAX_FIT_FL.value = f;
  const auto it = std::find(MAX_FIT_FL.values.begin(), MAX_FIT_FL.values.end(), f);
  if (it != MAX_FIT_FL.values.end() && ui::isWindow(MAX_FIT_FL.window))
    ui::comboSetCurSel(MAX_FIT_FL.window, static_cast<int>(it - MAX_FIT_FL.values.begin()));
}
