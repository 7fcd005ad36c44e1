#pragma once
// What the engine tells about its live aircraft in the simulator: the per-minute file
// output/info/ObjectIdList.txt and the list that the main window's aircraft selector offers.
// lf_main only.
#include <string>
#include <vector>

// One line per live aircraft in the simulator, in table order: "object id;callsign;
// registration;airline;model;GND or AIR;PARKED or empty". Rewritten whole (empty without
// aircraft); a failure is logged as a warning and the old file stays.
void gf_writeActiveAcFile();

// "callsign, registration, hexid, oid=object id" of each live aircraft in the simulator that
// passes the airborne/ground filter of the settings, "null" for an empty text, sorted.
std::vector<std::string> gf_liveAcDescriptions();
