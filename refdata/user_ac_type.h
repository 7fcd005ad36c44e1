#pragma once
// The user aircraft's ICAO type from the simulator's ATC model text, helped by its title.
#include <optional>
#include <string>
#include <string_view>

// A type designator the aircraft database knows, or nothing (the caller falls back to other
// data).
std::optional<std::string> gf_userAcIcaoType(std::string model, std::string_view title);
