#include "parking/parked_wait.h"

#include <algorithm>
#include <optional>

#include "feed/traffic_handover.h"
#include "parking/park_population.h"
#include "parking/parking_adjust.h"
#include "parking/stand_search.h"

namespace {

std::optional<ParkedWait> g_parkedWait;
std::optional<ParkedWait> g_searching;  // whose stand search runs

void lf_finish(const ParkedWait& wait, bool parkedReady) {
  if (wait.kind == ParkedWait::Kind::population)
    gf_finishPopulation(wait.weekTime, wait.wanted, parkedReady);
  else
    gf_finishAdjustment(wait.weekTime, wait.wanted, wait.flush, parkedReady);
}

void lf_complete(const ParkedWait& wait) {
  if (wait.kind == ParkedWait::Kind::population)
    gf_completePopulation();
  else
    gf_completeAdjustment(wait.weekTime);
}

}  // namespace

ParkedAnswer gf_askParkedOrWait(const ParkedWait& wait) {
  g_parkedWait.reset();
  const ParkedAnswer answer = gf_askParkedTraffic();
  if (answer == ParkedAnswer::waiting) g_parkedWait = wait;
  return answer;
}

bool gf_resumeParkedWait() {
  if (!g_parkedWait) return false;
  const ParkedAnswer answer = gf_parkedTrafficAnswer();
  if (answer == ParkedAnswer::waiting) return true;
  const ParkedWait wait = *g_parkedWait;
  g_parkedWait.reset();
  lf_finish(wait, answer == ParkedAnswer::ready);
  return false;
}

bool gf_parkedWaitPending() { return g_parkedWait.has_value(); }

void gf_searchThenComplete(const ParkedWait& wait) {
  gf_startStandSearch(wait.weekTime, static_cast<std::uint32_t>(std::max(wait.wanted, 0)));
  g_searching = wait;
}

bool gf_stepParkingSearch(const std::function<std::int64_t()>& clock, std::int64_t budgetNanos) {
  if (!g_searching) return false;
  // Cancelled from elsewhere (the search's reset): nothing to complete.
  if (!gf_standSearchRunning()) {
    g_searching.reset();
    return false;
  }
  if (gf_stepStandSearch(clock, budgetNanos)) return true;
  const ParkedWait wait = *g_searching;
  g_searching.reset();
  lf_complete(wait);
  return false;
}

bool gf_parkingSearchPending() { return g_searching && gf_standSearchRunning(); }

void gf_cancelParkedWait() {
  g_parkedWait.reset();
  g_searching.reset();
  gf_cancelStandSearch();
}
