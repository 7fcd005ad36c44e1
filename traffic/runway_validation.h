#pragma once
// The park airport's runways: read from the simulator's facility data once per airport and
// stand-file publisher without holding the worker's tick, checked for plausibility, and rid of
// the runways a constant table ignores. The checks only report ("RUNWAY_HEADING: " warnings): a
// doubtful runway stays, and runway matching skips the records it cannot use. lf_main only, no
// lock.
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/geodesy.h"
#include "core/value_types.h"
#include "simlink/facility_reader.h"

// The park airport's runways in the simulator's order, minus the ignored ones. Read by runway
// matching and the near-runway test of the intake.
extern std::vector<Runway> g_parkRunways;
// The airport (ICAO text) and stand-file publisher that g_parkRunways was last filled for.
extern std::string g_runwayCheckIcao;
extern std::string g_runwayCheckPublisher;

// Fills g_parkRunways for the park airport and the publisher of its stand file ("stock" for
// the simulator's own airports) unless it is current for both or its read is in flight. The call
// only asks the simulator: gf_pollRunwayFacilities takes the answer at later ticks, logs the
// doubts and a summary, and fills the list; until then it is empty. A failed read leaves the list
// empty and is tried again on the next call. The park airport's altitude and reference point come
// from the installed park-airport reader (refdata) when the answer is in.
void gf_checkRunwayFacilities(IcaoCode icao, std::string_view publisher);
// Every tick: takes what the simulator has answered, without waiting; true while the read goes on.
bool gf_pollRunwayFacilities();
bool gf_runwayCheckPending();

// The doubts about one runway, in check order, each as it follows "{icao} runway {name}: ".
// names collects the pair names seen so far at this airport (a repeat is a doubt); reference is
// the park airport's reference point (0/0 when unknown: the distance is not checked).
std::vector<std::string> gf_runwayProblems(const Runway& runway, std::set<std::string>& names, const Lalo& reference);

// The reason why the table ignores this runway of the airport under this publisher, either end
// first; none when it does not.
std::optional<std::string_view> gf_ignoredRunwayReason(std::string_view publisher, std::string_view icao,
                                                       const Runway& runway);

// No runways, no read in flight, and the next check reads again: the park-airport reset and the
// engine's.
void gf_resetParkRunways();
