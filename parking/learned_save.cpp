#include "parking/learned_save.h"

#include <fmt/format.h>

#include <mutex>
#include <shared_mutex>

#include "config/keys.h"
#include "config/parameter_load.h"
#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "core/background_saver.h"
#include "core/log.h"
#include "core/text.h"
#include "parking/airport_settings.h"
#include "parking/apf_file.h"
#include "parking/learned_file.h"
#include "parking/park_airports.h"
#include "parking/parking_hooks.h"
#include "simlink/stand_slots.h"

namespace {

ParkingSettings lf_settingsInForce() {
  const auto s = g_parameterSnapshot.load();
  ParkingSettings settings;
  settings.parking_percentage = s->parkingPercentage;
  settings.MAX_FIT = s->maxFit;
  settings.RT_PARKTRAFFIC_ONLY = s->rtParkTrafficOnly;
  settings.AUTO_PARK = s->autoPark;
  settings.WEEK = s->week;
  settings.PARK_SOFT = s->parkSoft;
  settings.valid = 1;
  return settings;
}

// The settings file is rewritten (and synced) per setting: the saver's wait, not the worker's.
// The value restored now is what goes in: by the time the saver writes, the next park airport's
// file may have put its own value in force, which must never reach the settings file.
void lf_saveLater(const Option& option, std::string valueText) {
  gf_queueTask(fmt::format("parameter {}", option.name),
               [name = option.name, text = std::move(valueText)] { gf_saveParameterText(name, text); });
}

void lf_saveLater(const IntOption& option) {
  lf_saveLater(option, std::to_string(option.value.load()));
}

void lf_restoreFlag(CheckboxOption& option, bool kept) {
  if (option.value == kept) return;
  option.setState(kept);
  lf_saveLater(option, kept ? "true" : "false");
}

}  // namespace

std::size_t lf_dropFileOptions(std::vector<StandOption>& options) {
  return std::erase_if(options, [](const StandOption& option) { return option.fromFile == 1 || option.id == 0; });
}

void gf_saveLearned(std::span<const Stand> stands, bool handmade) {
  Airport park;
  {
    std::shared_lock lock(g_parkAirportLock);
    park = g_parkAirport;
  }
  if (park.code.empty() || !g_airportFileLoaded) {
    gf_logWarning("gf_saveLearned called without a loaded airport file");
    return;
  }
  AirportFile record;
  record.icao = park.code;
  record.airportName = g_loadedApfInfo.airportName;
  record.altitude = g_loadedApfInfo.altitude;
  record.publisher = g_loadedApfInfo.publisher;
  for (const Stand& stand : stands) {
    Stand copy = stand;
    if (!handmade) {
      lf_dropFileOptions(copy.options);
      if (!copy.manual && copy.options.empty()) continue;
    }
    record.stands.push_back(std::move(copy));
  }
  if (handmade) {
    const StandFileScores scores = gf_standFileScores(record.stands);
    record.qfReal = scores.real;
    record.qfSoft = scores.soft;
  }
  // The place the read of the stand file looked for this airport's learning, so that the next
  // read finds what is saved now.
  const std::filesystem::path& path = g_loadedApfInfo.learnedPath;
  if (path.empty()) {
    gf_logWarning(fmt::format("cannot construct a safe learned path for publisher '{}'", record.publisher));
    return;
  }
  const std::string name = gf_pathToUtf8(path);
  std::optional<std::string> text =
      gf_apfText(record, ApfMode::learned, static_cast<std::uint32_t>(gf_simChoice()->sim), handmade,
                 lf_settingsInForce());
  const std::uint32_t updates = g_standOptionUpdates;
  g_standOptionUpdates = 0;
  if (!text) {
    gf_log(fmt::format("saving '{}' did not succeed", name));
    return;
  }
  // The disk's wait is the saver's; the next read of this file waits for it (gf_awaitSave).
  BackgroundSave save{path, std::move(*text), true, true, {}};
  save.done = [name, handmade, updates](bool ok, const std::string& error) {
    if (!ok) {
      gf_logWarning(fmt::format("gf_writeApf: could not replace '{}': {}", name, error));
      gf_log(fmt::format("saving '{}' did not succeed", name));
      return;
    }
    gf_log(fmt::format("{} '{}' saved with {} update{}", handmade ? " handmade" : "", name, updates,
                       gf_pluralS(updates)));
  };
  gf_queueSave(std::move(save));
}

void gf_restoreParkingSettings() {
  const KeptParkingSettings& kept = g_keptParkingSettings;
  const auto asInt = [](std::uint32_t value) {
    return static_cast<std::int32_t>(std::min<std::uint32_t>(value, INT32_MAX));
  };
  if (MAX_FIT.value != asInt(kept.maxFit)) {
    MAX_FIT.setClamped(asInt(kept.maxFit));
    lf_saveLater(MAX_FIT);
    gf_syncMaxFitFl();
  }
  if (parking_percentage.value != asInt(kept.parkingPercentage)) {
    parking_percentage.setClamped(asInt(kept.parkingPercentage));
    lf_saveLater(parking_percentage);
    parking_percentage.selectInCombo();
    gf_updateParameterSnapshot(parking_percentage);
  }
  lf_restoreFlag(RT_PARKTRAFFIC_ONLY, kept.rtParkTrafficOnly);
  lf_restoreFlag(AUTO_PARK, kept.autoPark);
  lf_restoreFlag(PARK_SOFT, kept.parkSoft);
  lf_restoreFlag(WEEK, kept.week);
  gf_publishParkingSettings();
  gf_parkingHooks().updateParkingControls();
}
