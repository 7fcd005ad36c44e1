#pragma once
// A population or a parking adjustment that asked the feed for its RealTraffic parked aircraft
// and goes on at a later parking step, once the answer is in or its wait ran out: the worker's
// tick never waits for the network. lf_main only.
#include <cstdint>

#include "core/utc_time.h"
#include "feed/rt_api_traffic_client.h"  // ParkedAnswer

struct ParkedWait {
  enum class Kind { population, adjustment };
  Kind kind = Kind::population;
  WeekTime weekTime{};
  std::int32_t wanted = 0;
  bool flush = false;  // an adjustment's
};

// Asks for the parked aircraft. waiting: wait was stored and gf_resumeParkedWait finishes it;
// otherwise the caller goes on at once, with the parked list when ready. A new ask replaces an
// older wait.
ParkedAnswer gf_askParkedOrWait(const ParkedWait& wait);
// Parking step: finishes the waiting population or adjustment once its answer is in; true while
// one is still waiting.
bool gf_resumeParkedWait();
bool gf_parkedWaitPending();
// The park airport is given up: nothing to finish.
void gf_cancelParkedWait();
