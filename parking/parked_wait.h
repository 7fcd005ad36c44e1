#pragma once
// A population or a parking adjustment that asked the feed for its RealTraffic parked aircraft
// and goes on at a later parking step, once the answer is in or its wait ran out; and one whose
// stand search runs in slices on the worker's ticks and is completed once the search is done:
// the worker's tick never waits for the network nor holds the whole search. lf_main only.
#include <cstdint>
#include <functional>

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

// Starts the stand search for wait.wanted stands; gf_stepParkingSearch completes the population
// or adjustment once it is done. Replaces a search in flight.
void gf_searchThenComplete(const ParkedWait& wait);
// Every tick: a slice of the search, and the completion once it is done. True while it runs.
bool gf_stepParkingSearch(const std::function<std::int64_t()>& clock, std::int64_t budgetNanos);
// A search runs or its completion is due: its hits are not a plan yet.
bool gf_parkingSearchPending();

// The park airport is given up, or a new population or adjustment starts: neither the wait nor
// the search in flight is finished.
void gf_cancelParkedWait();
