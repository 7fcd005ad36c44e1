#pragma once
// The installed livery for an aircraft: a ladder of ever looser rules over the livery database,
// from the aircraft's own registration down to any livery of its category, stopping at the
// first rule that yields a title the simulator has not refused. The rule that matched is its
// step number:
//   0 the registration's own special livery, 1 a livery of the registration,
//   2 the airline (and operator) for the model, 3 the airline for a similar model,
//   4 a generic livery of the model (private flights reach it from depth 2),
//   5 any airline for the model, 6 any airline for a similar model,
//   7 any livery of the category, 8 a B738 or A320 livery.
// MATCHING_DEPTH limits the ladder; light aircraft, twoprops, bizjets and rotorcraft always
// climb to step 7, and a live flight seen with the user above TCAS_FL climbs to step 8.
//
// Worker thread only, after gf_processScannedLiveries; the matched titles are views into the
// database.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "liveries/ac_identity.h"
#include "simlink/facility_stand.h"

inline constexpr std::size_t kMatchStepCount = 9;

// Accepted live matches per step, for the whole process.
extern std::array<std::int32_t, kMatchStepCount> g_matchStepCounters;

// Live flight at altitudeFt: fills matchedTitle (empty when nothing matched), isFsltlLivery and
// tcasCoverage. tcasCoverage marks a match that only the climb to step 8 reached, an aircraft
// that is there for the user's TCAS alone.
void gf_matchLivery(AcIdentity& aircraft, double altitudeFt);
// Static aircraft on a stand; the stand's cargo flag stands in for the aircraft's. True when a
// livery was found or was already set. Steps are not counted.
bool gf_matchStaticLivery(AcIdentity& aircraft, const Stand& stand);
// The step counters and the refused airline/models in the log; nothing before the first match.
void gf_logLiveryMatchingSummary();

// One title of a list into matchedTitle, at random (the first with RANDOM off), never a special
// livery; false and matchedTitle untouched when the list holds none but special ones.
bool lf_pickTitle(AcIdentity& aircraft, std::span<const std::string_view> titles);
