#pragma once
// Two light readers of airport stand files for callers outside the park airport: the stand of an
// airport nearest to a position (the airports list's closest-airport check) and the stand names
// of an airport (the destination setting of the main window). Each finds and fetches the file as
// the park airport's read does but reads only its parkpositions: no cache, no learned file. Any
// thread; each call stands alone. Failures come back as the error text, never logged.
#include <string>
#include <variant>
#include <vector>

#include "core/geodesy.h"
#include "core/value_types.h"
#include "refdata/airports.h"

// The stand of the airport's file nearest to the position (found set), or the error text.
// localOnly: a file that would have to come from the maker's server is not fetched (an error).
std::variant<ClosestStand, std::string> gf_readDestApfForClosestStand(IcaoCode airport, const Lalo& reference,
                                                                      bool localOnly = false);

// A stand of an airport file: its id as written and its position.
struct NamedStandPosition {
  std::string name;
  Lalo position;
};
// The stands of the airport's file with a valid position and an id, in file order (at least
// one), or the error text. A file from the maker's server is fetched: not for the worker.
std::variant<std::vector<NamedStandPosition>, std::string> gf_readApfStandPositions(IcaoCode airport);
// Of the stands, the one nearest to the reference (found set unless there are none), measured flat.
ClosestStand gf_closestOfStands(const std::vector<NamedStandPosition>& stands, const Lalo& reference);

// The airport file's stand names, trimmed and upper-cased, each once, in file order; or the error.
std::variant<std::vector<std::string>, std::string> gf_readApfForStands(IcaoCode airport);
