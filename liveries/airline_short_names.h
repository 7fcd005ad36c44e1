#pragma once
// How livery titles write an airline's name ("Lufthansa", not "DLH"), for finding a partner
// airline inside the titles of an operator's liveries.
#include <string_view>

// The short name for an ICAO airline code, compared exactly; empty for a code not listed.
// Safe from any thread.
std::string_view lf_airlineShortName(std::string_view code);
