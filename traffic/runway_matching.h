#pragma once
// Which runway of the park airport an aircraft is on or lined up with, in which direction, and
// how far it is from that direction's start and landing threshold. Pure computation on
// g_parkRunways: no simulator call, no logging. Runs on lf_main.
#include <optional>
#include <string>

#include "core/geodesy.h"
#include "simlink/facility_reader.h"

// One direction of one runway as seen from an aircraft.
struct RunwayCandidate {
  std::string runwayName;               // the pair, "09L-27R"
  std::string endName;                  // where movement in this direction begins: "09L", or "27R" for the reciprocal
  std::string runnerUp;                 // "{runwayName}:{endName}" of the second best, or empty
  double heading = 0.0;                 // degrees [0, 360), the direction of use
  double headingDiff = 0.0;             // degrees [0, 180], off the aircraft's heading
  double crossTrack = 0.0;              // m, right of the primary heading; the same in both directions
  double alongTrack = 0.0;              // m, along the primary heading from the centre
  double fromStart = 0.0;               // m past the end where this direction begins; negative before it
  double startZone = 0.0;               // m, min(0.4 x length, 1200)
  double length = 0.0;                  // m
  double width = 0.0;                   // m
  double elevation = 0.0;               // ft
  Lalo farEnd;                          // the end this direction runs toward
  std::optional<double> fromThreshold;  // m, fromStart less the displaced threshold; empty when unknown
  std::optional<double> landingLength;  // m, length less the displaced threshold; empty when unknown
  double score = 0.0;                   // |crossTrack| in m plus headingDiff in degrees, as plain numbers
  double runnerUpScore = 0.0;           // 0 without a runner-up
};

// "{}-{}" of the two ends' designations, "09L-27R".
std::string gf_runwayPairName(const Runway& runway);

// The half-corridor the accepting matches ask for at least (m).
inline constexpr double kRunwayMinHalfCorridor = 75.0;

// The best candidate of g_parkRunways for an aircraft at a position with a heading in radians
// [0, 2 pi), or none. A runway is a candidate within max(width / 2 + 30, minHalfCorridor) of
// its centre line and up to 700 m beyond either end; with startZoneOnly, a direction counts only
// from 700 m before its start to the end of its start zone.
std::optional<RunwayCandidate> gf_matchRunway(const Lalo& position, double heading, bool startZoneOnly,
                                              double minHalfCorridor);

// On or right in front of a runway: within 20 degrees and 15 m of the centre line, from 700 m
// before the start to the far end, and clearly better than the runner-up.
std::optional<RunwayCandidate> gf_matchRunwayOnCentreline(const Lalo& position, double heading);

// Lined up for landing: within 20 degrees and the runway's half width plus 30 m, on a direction
// whose displaced threshold is known, and clearly better than the runner-up.
std::optional<RunwayCandidate> gf_matchRunwayForLanding(const Lalo& position, double heading);

// The runway an approach lands on: the one it follows (when given) wherever it is within 20
// degrees and its corridor, out to 10 km before its start with the corridor widening; otherwise the
// best-aligned direction still ahead of the aircraft, so that a runway it crosses on its way is
// never taken for its own; else the landing match.
std::optional<RunwayCandidate> gf_matchRunwayForApproach(const Lalo& position, double heading,
                                                         const RunwayCandidate* following);

// The end name of a loosely accepted best candidate, for " runway {}" in log lines.
std::optional<std::string> gf_matchRunwayEndName(const Lalo& position, double heading);
