#pragma once
// The closest-airport check's tie-break between candidate airports: each candidate's stand
// nearest to the user. A stand file on this computer is read at once; an archived one is fetched
// and read on a thread of its own, as the park airport's file is, so that the worker never waits
// on the maker's server. Any thread.
#include <chrono>
#include <cstddef>

#include "core/geodesy.h"
#include "refdata/airports.h"

// How long a candidate's fetch is waited for; after it the airport is judged by its centre.
inline constexpr std::chrono::seconds kCandidateFetchTimeout{10};

// The airport's stand nearest to the position; pending while its archived file is on its way,
// not found when it has none or its fetch failed or outlasted kCandidateFetchTimeout. A file
// once read is kept for the run.
ClosestStand gf_candidateClosestStand(const Airport& airport, const Lalo& position);
// Every fetch broken off and its thread joined (within about a second), what was read forgotten.
void gf_resetCandidateStands();
// Fetch threads not yet joined: each is joined at the next look once its file has come, so that
// finished threads do not pile up over a long run.
std::size_t gf_candidateFetchThreadsHeld();
