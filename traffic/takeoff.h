#pragma once
// A departure on its runway: the departure taxi and line-up, when it is on the runway and fast
// enough, in which of three ways the take-off starts, the rotation and initial climb (state 4)
// until the climb-out hands over to the airborne phase, what happens when the stream never takes
// off (back to taxi, or removal at the runway's end), and the end of a landing roll. lf_main only.
#include <cstdint>
#include <optional>
#include <string>

#include "traffic/live_ac.h"

// Knots: phase 1 the lift-off speed, 2 the speed of a full-runway take-off, 3 the lowest speed at
// which a take-off from the runway is accepted. Heavies 140 and 135 in phases 2 and 3; light types
// one speed in every phase; others from the category's speed, 10 and 20 kt less in phases 2 and 3.
double gf_referenceSpeed(const LiveAc& aircraft, std::int32_t phase);
// ft per tick: the model's climb rate right after lift-off.
double gf_initialClimbRate(AcCategory category);

void gf_startDepartureTaxi(LiveAc& aircraft);
// rolling: the aircraft is already at its lift-off speed on the runway.
void gf_lineUpForTakeoff(LiveAc& aircraft, bool rolling);

// 0 not ready, 1 the stream lifts off at its next point, 2 ready for a take-off run.
std::int32_t gf_takeoffReadiness(LiveAc& aircraft);
// 0 not yet; 1 lift-off right away, 2 a full-runway take-off, 3 a take-off from the runway's end.
std::int32_t gf_takeoffMode(LiveAc& aircraft);
void gf_beginTakeoff(LiveAc& aircraft, std::int32_t mode);
void gf_takeoff(LiveAc& aircraft, std::int32_t mode);
// Once per step in state 4: rotation, then the climb-out until state 5.
void gf_takeoffClimbStep(LiveAc& aircraft);
// In state 3, every step: a take-off forced at the runway's end, the runway given up, or the
// aircraft removed when its run ends beyond the runway; true when removed.
bool gf_runwayEndCheck(LiveAc& aircraft);
// The aircraft has turned off its runway: taxi (state 2) with the taxi configuration.
void gf_vacateRunway(LiveAc& aircraft);

// In state 3 with the nose along its runway (the one it departs from, or the predicted one), or in
// state 4: the roll's rate applies, not a departure taxi's.
bool gf_linedUpToRoll(const LiveAc& aircraft);
// The departure runway, looked up at the aircraft's position and heading when it has none.
const DepartureRunway* gf_departureRunway(LiveAc& aircraft);
// Metres along the departure runway's heading from its far end (negative on the runway); none
// without a departure runway.
std::optional<double> gf_alongRunway(LiveAc& aircraft, const Lalo& point);
// Within 20 degrees and 15 m of the departure runway's centre line, from limitM before its far
// end to 10 m beyond it.
bool gf_isOnRunway(LiveAc& aircraft, double limitM);

// The airport a position belongs to for the flight messages: the park airport within 5 NM, else
// the flight's origin, else the nearest known airport within 5 NM.
std::optional<std::string> gf_airportOfPosition(const LiveAc& aircraft);
// The same airport with its IATA code ("XXX" when none is known), for comparing with the
// flight's IATA codes; the nearest airport is found by its centre alone.
struct PositionAirport {
  std::string text;  // the ICAO code, or the flight's IATA origin
  IataCode iata = g_defaultIataCode;
};
std::optional<PositionAirport> gf_airportCodesOfPosition(const LiveAc& aircraft);
// The status line for 25 s and the log, while FLIGHT_MESSAGES is on.
void gf_postFlightMessage(const std::string& text);
// "{} {} {} {} {} take off{}{}{} ...": time, callsign, registration, airline, model, origin,
// runway and destination parts.
std::string gf_takeoffMessage(LiveAc& aircraft);
