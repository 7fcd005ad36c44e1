#include "parking/parked_wait.h"

#include <optional>

#include "feed/traffic_handover.h"
#include "parking/park_population.h"
#include "parking/parking_adjust.h"

namespace {

std::optional<ParkedWait> g_parkedWait;

void lf_finish(const ParkedWait& wait, bool parkedReady) {
  if (wait.kind == ParkedWait::Kind::population)
    gf_finishPopulation(wait.weekTime, wait.wanted, parkedReady);
  else
    gf_finishAdjustment(wait.weekTime, wait.wanted, wait.flush, parkedReady);
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

void gf_cancelParkedWait() { g_parkedWait.reset(); }
