#include "app/window_seams.h"

#include <mutex>
#include <utility>

#include "feed/rt_app_server.h"

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

ApfStands gf_readApfForStands(IcaoCode airport) {
  const auto n = lf_neighbours();
  if (n.readApfForStands) return n.readApfForStands(airport);
  return ApfStands{std::nullopt, "no airport stand files yet"};
}

bool gf_parkAirportStandsLoaded() {
  const auto n = lf_neighbours();
  return n.standsLoaded ? n.standsLoaded() : false;
}

std::int32_t gf_parkingWeekNumber() {
  const auto n = lf_neighbours();
  return n.weekNumber ? n.weekNumber() : 0;
}

void gf_closeRTAppServer() { g_rtAppServer.close(); }
