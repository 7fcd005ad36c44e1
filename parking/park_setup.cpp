#include "parking/park_setup.h"

#include <fmt/format.h>

#include <mutex>
#include <optional>
#include <shared_mutex>
#include <variant>

#include "appbase/gui.h"
#include "core/log.h"
#include "feed/feed_neighbours.h"
#include "parking/airport_file_read.h"
#include "parking/airport_settings.h"
#include "parking/park_airports.h"
#include "parking/park_population.h"
#include "parking/parking_adjust.h"
#include "parking/parking_hooks.h"
#include "parking/stand_download.h"
#include "parking/stand_search.h"
#include "parking/static_parked.h"
#include "simlink/stand_table.h"
#include "simlink/user_aircraft.h"
#include "traffic/runway_validation.h"

std::string g_parkAirportName;

namespace {

// The stand the user aircraft stands at goes into the park-airports list: kept for the front
// entry, or with the airport moved to the front.
void lf_noteUserStand(const Airport& park) {
  const UserAcPosition& user = g_workerUserAcPosition;
  const std::optional<std::string> stand = gf_parkingHooks().standNameAtPos(Lalo{user.latitude, user.longitude});
  gf_log(stand ? fmt::format("\nUser aircraft at stand: {}", *stand) : std::string("\nUser aircraft is not at a stand"));
  const std::optional<ParkAirport> front = gf_frontParkAirport();
  if (front && front->code == park.code) {
    if (stand && front->userStand != *stand) gf_setUserStand(park.code, *stand);
    return;
  }
  gf_moveParkAirportToFrontWithStand(park.code, park.position, stand.value_or(""));
}

}  // namespace

ParkedFileResult lf_readParkedFile() {
  Airport park;
  {
    std::shared_lock lock(g_parkAirportLock);
    park = g_parkAirport;
  }
  const std::optional<std::filesystem::path> path = gf_findAirportFile(park.code);
  if (!path) return ParkedFileResult{fmt::format("{} {} not found", "lf_readParkedFile", park.code), false};
  // The maker's server may be slow or silent: its file is fetched on a thread of its own.
  std::optional<DownloadedAirportFile> fetched;
  if (gf_parkAirportFileNeedsFetch(*path)) {
    if (gf_fetchParkAirportFile(*path) == ParkFileFetch::running) return ParkedFileResult{"", false, true};
    fetched = gf_takeParkAirportFile(*path);
  }
  auto read = gf_readAirportFile(*path, fetched ? &*fetched : nullptr);
  if (auto* error = std::get_if<std::string>(&read)) return ParkedFileResult{std::move(*error), false};
  AirportFileData& file = std::get<AirportFileData>(read);

  gf_applyAirportFileSettings(file);
  g_parkAirportName = file.airportName;
  g_parkAirportQf = file.quality;
  g_stands.clear();
  g_stands = std::move(file.stands);
  gf_rebuildStandsByName();
  gf_publishStandPositions();
  gf_checkRunwayFacilities(park.code, file.publisher);
  for (const Stand& stand : g_stands)
    if (!stand.excludes.empty()) gf_log(gf_describeStandExcludes(stand));
  if (g_userOnGround) lf_noteUserStand(park);
  Gui::setParkAirport(true, g_parkAirportName);
  g_standOptionUpdates = 0;
  return ParkedFileResult{"", true};
}

void gf_resetParkSetup() {
  gf_dropParkAirportFetch();
  g_parkAirportName.clear();
  gf_clearAppliedAirportFile();
  gf_resetStandSearch();
  g_parkingRemovals.clear();
  g_parkingGenerating = false;
  g_staticRunningNumber = 0;
}
