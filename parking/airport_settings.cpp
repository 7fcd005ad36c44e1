#include "parking/airport_settings.h"

#include <mutex>
#include <optional>
#include <shared_mutex>

#include "appbase/gui.h"
#include "config/keys.h"
#include "config/parameter_load.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "core/text.h"
#include "feed/rt_api_traffic_client.h"
#include "feed/rt_app_traffic.h"
#include "parking/learned_file.h"
#include "parking/park_airports.h"
#include "parking/parking_hooks.h"
#include "refdata/airports.h"

std::atomic<bool> g_airportFileLoaded{false};
bool g_airportFileHandmade = false;
std::atomic<std::int32_t> g_rtTrafficWeek{0};
LoadedApfInfo g_loadedApfInfo;

namespace {

// Below this real quality a file says too little about its stands to fill them by day alone.
constexpr std::int32_t kLowQuality = 16;

void lf_switch(CheckboxOption& option, bool on) {
  if (option.value != on) option.setState(on);
}

void lf_switchAutoParkOn(std::string_view reason) {
  if (AUTO_PARK.value) return;
  AUTO_PARK.setState(true);
  gf_log(reason);
}

void lf_applyWithoutLearnedFile(const AirportFileData& file) {
  gf_log("learned airport file not available");
  const std::size_t n = file.stands.size();
  if (file.quality.real < kLowQuality) {
    lf_switch(RT_PARKTRAFFIC_ONLY, false);
    lf_switchAutoParkOn(fmt::format("auto park set because Qf is very low: {}", file.quality));
  }
  const std::int32_t percentage = parking_percentage.value;
  if (n < 3 && percentage != 100 && percentage != 65) {
    const std::int32_t target = n == 1 ? 100 : 65;
    parking_percentage.setClamped(target);
    gf_logWarning(fmt::format("target parking % set at {}, because this airport has just {} stand{}", target, n,
                              gf_pluralS(static_cast<std::int64_t>(n))));
    lf_switch(RT_PARKTRAFFIC_ONLY, false);
    lf_switchAutoParkOn("auto park set");
  }
  gf_publishParkingSettings();
  gf_logIndented(fmt::format("{:24}: {}%", parking_percentage.name, parking_percentage.value.load()));
  parking_percentage.selectInCombo();
  if (ui::isWindow(parking_percentage.window)) ui::enableWindow(parking_percentage.window, true);
}

void lf_applyLearnedSettings(const AirportFileData& file) {
  const LearnedSettings& learned = file.learned;
  parking_percentage.setClamped(learned.parking_percentage ? static_cast<std::int32_t>(*learned.parking_percentage)
                                                           : parking_percentage.defaultValue);
  parking_percentage.selectInCombo();
  for (const auto& [value, option] : {std::pair{learned.WEEK, &WEEK}, std::pair{learned.PARK_SOFT, &PARK_SOFT},
                                      std::pair{learned.RT_PARKTRAFFIC_ONLY, &RT_PARKTRAFFIC_ONLY},
                                      std::pair{learned.AUTO_PARK, &AUTO_PARK}})
    if (value) option->setState(*value);
  if (learned.MAX_FIT) {
    MAX_FIT.setClamped(static_cast<std::int32_t>(std::min<std::uint32_t>(*learned.MAX_FIT, 0x7FFFFFFF)));
    gf_syncMaxFitFl();
  }
  gf_publishParkingSettings();
  gf_parkingHooks().updateParkingControls();
  if (file.handmade) gf_log("A handmade airport file overruled the archived file!");
}

}  // namespace

std::string gf_qualityText(const StandFileScores& quality) {
  if (quality.real >= 35) return fmt::format("{:2}", quality.real);
  if (quality.real <= 0 && quality.soft < 1) return "  ";
  return fmt::format("{:2}/{:2}", quality.real, quality.soft);
}

void gf_applyAirportFileSettings(const AirportFileData& file) {
  g_airportFileHandmade = file.handmade;
  g_rtTrafficWeek = file.rtTrafficWeek;
  {
    std::unique_lock lock(g_parkAirportLock);
    g_parkAirport.altitude = file.altitude;
  }
  if (file.learnedLoaded)
    lf_applyLearnedSettings(file);
  else
    lf_applyWithoutLearnedFile(file);

  const std::size_t n = file.stands.size();
  Gui::enqueueUpdate(gui::SetStandCount{n});
  gf_log(fmt::format("Airport file read from '{}'",
                     gf_pathToUtf8(file.source == ApfSource::cache ? file.loadedPath : file.requestedPath)));
  Gui::setAirportFileLabel(file.version ? fmt::format("{} ({})", file.publisher, *file.version) : file.publisher,
                           file.handmade);
  gf_logIndented(fmt::format("{:24}: {}", "publisher", file.publisher));
  if (file.version) gf_logIndented(fmt::format("{:24}: {}", "version", *file.version));
  gf_logIndented(fmt::format("{:24}: {} ft", "altitude", file.altitude));
  gf_logIndented(fmt::format("{:24}: {}", "num_parkpos", n));
  const std::string quality = gf_qualityText(file.quality);
  gf_logIndented(fmt::format("{:24}: {}", "quality factor", quality));
  gf_logIndented(fmt::format("{:24}: {}", "RT traffic week", file.rtTrafficWeek));
  Gui::enqueueUpdate(gui::SetQualityText{quality});

  g_airportFileLoaded = true;
  g_loadedApfInfo = LoadedApfInfo{file.airportName, file.publisher, file.altitude, file.learnedPath};
  gf_keepParkingSettings();

  const std::optional<double> elevation = gf_parkAirportElevation();
  if (gf_isRtDirect())
    g_rtApiTrafficClient.setParkAirportElevation(elevation);
  else
    g_rtAppTrafficReader.setParkAirportElevation(elevation);
  Gui::redrawParkingBand();
}

void gf_clearAppliedAirportFile() {
  g_airportFileLoaded = false;
  g_airportFileHandmade = false;
  g_rtTrafficWeek = 0;
  g_loadedApfInfo = LoadedApfInfo{};
}
