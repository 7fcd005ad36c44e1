#include "traffic/runway_matching.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "simlink/facility_helpers.h"
#include "traffic/flat_frame.h"
#include "traffic/runway_validation.h"

namespace {

constexpr double kEarthRadiusM = 6.371e6;  // the runway frame's own sphere
constexpr double kCorridorMarginM = 30.0;  // beyond the runway's half width
constexpr double kBeyondEndM = 700.0;      // before either end still counts
constexpr double kStartZoneShare = 0.4;
constexpr double kStartZoneMaxM = 1200.0;
constexpr double kMaxThresholdShare = 0.4;  // a longer displaced threshold is not believed
constexpr double kMaxHeadingDiffDeg = 20.0;
constexpr double kOnCentrelineM = 15.0;
constexpr double kClearLead = 20.0;         // the score gap over the runner-up for a sure match
constexpr double kClearLeadForName = 10.0;  // enough for naming the runway in a log line
constexpr double kApproachReachM = 10000.0;  // before the start, on the extended centre line
constexpr double kApproachSplay = 0.1;       // the corridor widens by this per metre farther out

bool lf_isUsable(const Runway& runway) {
  return gf_isValidLalo(runway.centre) && gf_isRunwayHeadingValid(runway.heading) &&
         gf_isRunwayLengthValid(runway.length) && gf_isRunwayWidthValid(runway.width);
}

std::optional<double> lf_startAltitude(const RunwayStart& start, bool present) {
  return present ? std::optional<double>(start.altitude) : std::nullopt;
}

// The aircraft in the flat frame of one runway.
struct TrackOffsets {
  double along = 0.0;
  double cross = 0.0;
};

TrackOffsets lf_trackOffsets(const Runway& runway, const Lalo& position) {
  const double meanLatitude = (position.lat + runway.centre.lat) * 0.5 * geo::kDegToRad;
  const double north = (position.lat - runway.centre.lat) * geo::kDegToRad * kEarthRadiusM;
  // Wrapped, so a runway by the 180-degree meridian sees aircraft on its other side.
  const double east =
      std::cos(meanLatitude) * gf_wrapLongitude(position.lon - runway.centre.lon) * geo::kDegToRad * kEarthRadiusM;
  const double h = runway.heading * geo::kDegToRad;
  return {std::sin(h) * east + std::cos(h) * north, std::cos(h) * east - std::sin(h) * north};
}

RunwayCandidate lf_candidate(const Runway& runway, const std::string& runwayName, TrackOffsets offsets,
                             double aircraftHeading, bool reciprocal) {
  RunwayCandidate c;
  c.runwayName = runwayName;
  const double direction = gf_normalizeAngle(runway.heading * geo::kDegToRad + (reciprocal ? geo::kPi : 0.0));
  c.heading = direction * geo::kRadToDeg;
  c.headingDiff = std::fabs(gf_wrapAngle(direction - aircraftHeading)) * geo::kRadToDeg;
  c.crossTrack = offsets.cross;
  c.alongTrack = offsets.along;
  c.fromStart = reciprocal ? runway.length * 0.5 - offsets.along : offsets.along + runway.length * 0.5;
  c.startZone = std::min(kStartZoneShare * runway.length, kStartZoneMaxM);
  c.length = runway.length;
  c.width = runway.width;

  const RunwayStart& ownStart = reciprocal ? runway.secondaryStart : runway.primaryStart;
  const bool ownPresent = reciprocal ? runway.hasSecondaryStart : runway.hasPrimaryStart;
  const RunwayStart& otherStart = reciprocal ? runway.primaryStart : runway.secondaryStart;
  const bool otherPresent = reciprocal ? runway.hasPrimaryStart : runway.hasSecondaryStart;
  c.elevation = gf_chooseElevation(runway.altitude, lf_startAltitude(ownStart, ownPresent),
                                   lf_startAltitude(otherStart, otherPresent))
                    .value;

  const RunwayThreshold& threshold = reciprocal ? runway.secondaryThreshold : runway.primaryThreshold;
  std::optional<double> offset;
  if (!threshold.enabled) {
    offset = 0.0;
  } else if (std::isfinite(threshold.length) && threshold.length > 0.0 &&
             threshold.length <= kMaxThresholdShare * runway.length) {
    offset = threshold.length;
  }
  if (offset) {
    c.fromThreshold = c.fromStart - *offset;
    c.landingLength = runway.length - *offset;
  }

  const std::uint32_t number = reciprocal ? runway.secondaryNumber : runway.primaryNumber;
  const std::uint32_t designator = reciprocal ? runway.secondaryDesignator : runway.primaryDesignator;
  c.endName = gf_formatRunwayName(number, static_cast<std::int32_t>(designator));
  c.farEnd = reciprocal ? runway.primaryEnd : runway.secondaryEnd;
  c.score = std::fabs(c.crossTrack) + c.headingDiff;
  return c;
}

// A direction an aircraft may land on from here: aligned, in its corridor, with a known threshold.
bool lf_inApproachCorridor(const RunwayCandidate& c) {
  if (!(c.headingDiff <= kMaxHeadingDiffDeg) || !c.fromThreshold || !std::isfinite(*c.fromThreshold) ||
      !c.landingLength || !std::isfinite(*c.landingLength) || !(*c.landingLength > 0.0))
    return false;
  if (!(c.fromStart >= -kApproachReachM && c.fromStart <= c.length)) return false;
  const double outside = std::max(0.0, -c.fromStart - kBeyondEndM);
  return std::fabs(c.crossTrack) <= c.width * 0.5 + kCorridorMarginM + kApproachSplay * outside;
}

// Ahead of the runner-up by at least the lead, when there is one.
bool lf_clearlyBest(const RunwayCandidate& c, double lead) {
  return c.runnerUp.empty() || c.runnerUpScore - c.score >= lead;
}

// The best-scored of non-empty candidates, naming the runner-up for the log.
RunwayCandidate lf_bestWithRunnerUp(std::vector<RunwayCandidate>& candidates) {
  std::sort(candidates.begin(), candidates.end(),
            [](const RunwayCandidate& a, const RunwayCandidate& b) { return a.score < b.score; });
  RunwayCandidate best = candidates.front();
  if (candidates.size() >= 2) {
    best.runnerUp = fmt::format("{}:{}", candidates[1].runwayName, candidates[1].endName);
    best.runnerUpScore = candidates[1].score;
  }
  return best;
}

}  // namespace

std::string gf_runwayPairName(const Runway& runway) {
  return fmt::format(
      "{}-{}", gf_formatRunwayName(runway.primaryNumber, static_cast<std::int32_t>(runway.primaryDesignator)),
      gf_formatRunwayName(runway.secondaryNumber, static_cast<std::int32_t>(runway.secondaryDesignator)));
}

std::optional<RunwayCandidate> gf_matchRunway(const Lalo& position, double heading, bool startZoneOnly,
                                              double minHalfCorridor) {
  if (!gf_isValidLalo(position) || !(heading >= 0.0 && heading < motion::kTwoPi)) return std::nullopt;
  std::vector<RunwayCandidate> candidates;
  candidates.reserve(2 * g_parkRunways.size());
  for (const Runway& runway : g_parkRunways) {
    if (!lf_isUsable(runway)) continue;
    const TrackOffsets offsets = lf_trackOffsets(runway, position);
    if (!(std::fabs(offsets.cross) <= std::max(runway.width * 0.5 + kCorridorMarginM, minHalfCorridor) &&
          std::fabs(offsets.along) <= runway.length * 0.5 + kBeyondEndM))
      continue;
    const std::string runwayName = gf_runwayPairName(runway);
    candidates.push_back(lf_candidate(runway, runwayName, offsets, heading, false));
    candidates.push_back(lf_candidate(runway, runwayName, offsets, heading, true));
  }
  if (startZoneOnly)
    std::erase_if(candidates,
                  [](const RunwayCandidate& c) { return c.fromStart < -kBeyondEndM || c.fromStart > c.startZone; });
  if (candidates.empty()) return std::nullopt;

  return lf_bestWithRunnerUp(candidates);
}

std::optional<RunwayCandidate> gf_matchRunwayOnCentreline(const Lalo& position, double heading) {
  auto c = gf_matchRunway(position, heading, false, kRunwayMinHalfCorridor);
  if (!c) return std::nullopt;
  const bool accepted = c->headingDiff <= kMaxHeadingDiffDeg && std::fabs(c->crossTrack) <= kOnCentrelineM &&
                        std::isfinite(c->length) && c->length > 0.0 && gf_isValidLalo(c->farEnd) &&
                        c->fromStart >= -kBeyondEndM && c->fromStart <= c->length && lf_clearlyBest(*c, kClearLead);
  if (!accepted) return std::nullopt;
  return c;
}

std::optional<RunwayCandidate> gf_matchRunwayForLanding(const Lalo& position, double heading) {
  auto c = gf_matchRunway(position, heading, false, kRunwayMinHalfCorridor);
  if (!c) return std::nullopt;
  const bool accepted = c->headingDiff <= kMaxHeadingDiffDeg &&
                        std::fabs(c->crossTrack) <= c->width * 0.5 + kCorridorMarginM && c->fromThreshold &&
                        std::isfinite(*c->fromThreshold) && c->landingLength && std::isfinite(*c->landingLength) &&
                        *c->landingLength > 0.0 && lf_clearlyBest(*c, kClearLead);
  if (!accepted) return std::nullopt;
  return c;
}

std::optional<RunwayCandidate> gf_matchRunwayForApproach(const Lalo& position, double heading,
                                                         const RunwayCandidate* following) {
  if (!gf_isValidLalo(position) || !(heading >= 0.0 && heading < motion::kTwoPi)) return std::nullopt;
  std::vector<RunwayCandidate> ahead;
  for (const Runway& runway : g_parkRunways) {
    if (!lf_isUsable(runway)) continue;
    const TrackOffsets offsets = lf_trackOffsets(runway, position);
    const std::string runwayName = gf_runwayPairName(runway);
    for (const bool reciprocal : {false, true}) {
      RunwayCandidate c = lf_candidate(runway, runwayName, offsets, heading, reciprocal);
      if (!lf_inApproachCorridor(c)) continue;
      if (following && c.runwayName == following->runwayName && c.endName == following->endName) return c;
      // Past its start zone the aircraft is over that runway, not on its way to it.
      if (c.fromStart <= c.startZone) ahead.push_back(std::move(c));
    }
  }
  if (ahead.empty()) return gf_matchRunwayForLanding(position, heading);
  RunwayCandidate best = lf_bestWithRunnerUp(ahead);
  if (!lf_clearlyBest(best, kClearLead)) return std::nullopt;
  return best;
}

std::optional<std::string> gf_matchRunwayEndName(const Lalo& position, double heading) {
  auto c = gf_matchRunway(position, heading, false, kRunwayMinHalfCorridor);
  if (!c || !(c->headingDiff <= kMaxHeadingDiffDeg) || !lf_clearlyBest(*c, kClearLeadForName)) return std::nullopt;
  return c->endName;
}
