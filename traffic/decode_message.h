#pragma once
// What one traffic record means for the engine: an update of a known flight, a new flight, or
// nothing. Duplicates, updates too close to matter, impossible jumps on the ground, flights of
// switched-off categories or unknown types, and new flights seen at the park airport's
// elevation are filtered out here. lf_main only.
#include <cstdint>

#include "core/geodesy.h"
#include "feed/traffic_records.h"

// Never throws: a fault is reported under "decodeMessage" and the record is lost.
void decodeMessage(TrafficRecord& record) noexcept;

// The new-flight branch: the registration's dbase identity, then only an ICAO model code of the
// dbase is created.
void gf_createNewAcFromRecord(TrafficRecord& record);
// Builds the LiveAc and appends it to g_liveAcs, unless the flight is watched, of a category
// switched off, or seen at the park airport's elevation.
void gf_createLiveAc(TrafficRecord& record);

// The jump watch of a flight: true when it may be created (not watched, or the watch ended now:
// airborne, or three records in a row within 150 m, each within 60 s of the one before).
bool gf_updateJumpWatch(std::uint32_t hexid, const Lalo& position, double timestamp, bool airborne);

// Every waiting history batch in the order delivered, then the live records of one tick (at least
// two, a 25th of the batch), the last of the batch first.
void gf_drainTrafficMailbox();
