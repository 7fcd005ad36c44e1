#include "app/window_seams.h"

#include <mutex>
#include <utility>

#include "feed/rt_app_server.h"
#include "parking/airport_settings.h"
#include "parking/destination_readers.h"

std::atomic<bool> g_waitingForRTApp{false};
std::atomic<bool> g_simSwitchRequested{false};

namespace {

std::mutex g_neighboursMutex;
ParkingNeighbours g_neighbours;

ParkingNeighbours lf_neighbours() {
  std::lock_guard lock(g_neighboursMutex);
  return g_neighbours;
}

}  // namespace

void gf_setParkingNeighboursForTest(ParkingNeighbours neighbours) {
  std::lock_guard lock(g_neighboursMutex);
  g_neighbours = std::move(neighbours);
}

ApfStands gf_destinationStandNames(IcaoCode airport) {
  const auto n = lf_neighbours();
  if (n.readApfForStands) return n.readApfForStands(airport);
  auto read = gf_readApfForStands(airport);
  if (auto* error = std::get_if<std::string>(&read)) return ApfStands{std::nullopt, std::move(*error)};
  return ApfStands{std::get<std::vector<std::string>>(std::move(read)), ""};
}

bool gf_parkAirportStandsLoaded() {
  const auto n = lf_neighbours();
  return n.standsLoaded ? n.standsLoaded() : g_airportFileLoaded.load();
}

std::int32_t gf_parkingWeekNumber() {
  const auto n = lf_neighbours();
  return n.weekNumber ? n.weekNumber() : g_rtTrafficWeek.load();
}

void gf_closeRTAppServer() { g_rtAppServer.close(); }
