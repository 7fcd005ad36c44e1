// Runway matching on hand-made runway lists: the candidate's measures and the three acceptances.
#include "traffic/runway_matching.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "traffic/runway_validation.h"

namespace {

constexpr double kR = 6.371e6;
constexpr double kDeg = geo::kDegToRad;
constexpr double kEast = geo::kPi / 2;

// A 3000 m runway 09-27 at 47/8 (moved north by some metres), 1000 ft, its starts 10 ft above
// and below; with a displaced threshold at 09 when one is given.
Runway runway09(double width = 45.0, double northM = 0.0, std::optional<double> threshold09 = {}) {
  Runway r;
  r.centre = {47.0 + northM / kR * geo::kRadToDeg, 8.0};
  r.heading = 90.0, r.length = 3000.0, r.width = width, r.altitude = 1000.0;
  r.primaryNumber = 9, r.secondaryNumber = 27;
  r.primaryEnd = gf_destinationPoint(r.centre, {270.0 * kDeg, 1500.0 * 3.2808399});
  r.secondaryEnd = gf_destinationPoint(r.centre, {90.0 * kDeg, 1500.0 * 3.2808399});
  r.primaryStart.altitude = 1010.0, r.secondaryStart.altitude = 990.0;
  r.hasPrimaryStart = r.hasSecondaryStart = true;
  if (threshold09) r.primaryThreshold = {*threshold09, width, true};
  return r;
}

// The point `along` metres along the runway's heading from its centre and `cross` to its right.
Lalo at(const Runway& r, double along, double cross) {
  const double h = r.heading * kDeg;
  const double east = std::sin(h) * along + std::cos(h) * cross;
  const double north = std::cos(h) * along - std::sin(h) * cross;
  const double lat = r.centre.lat + north / kR * geo::kRadToDeg;
  return {lat, r.centre.lon + east / (kR * std::cos((lat + r.centre.lat) * 0.5 * kDeg)) * geo::kRadToDeg};
}

std::optional<std::string> endOf(const std::optional<RunwayCandidate>& c) {
  return c ? std::optional<std::string>(c->endName) : std::nullopt;
}

TEST(RunwayMatching, Acceptances) {
  const Runway base = runway09(), wide = runway09(200.0);
  const Lalo centre = at(base, 0, 0), approach = at(base, -2000, 0);  // 500 m before 09
  const std::optional<std::string> no;
  struct Case {
    const char* what;
    std::vector<Runway> runways;
    Lalo position;
    double heading;
    std::optional<std::string> onCentreline, forLanding, endName;
  };
  const Case cases[] = {
      {"no runways", {}, centre, kEast, no, no, no},
      {"heading 2 pi", {base}, centre, 2 * geo::kPi, no, no, no},
      {"negative heading", {base}, centre, -0.001, no, no, no},
      {"heading NaN", {base}, centre, std::numeric_limits<double>::quiet_NaN(), no, no, no},
      {"on the centre line", {base}, centre, kEast, "09", "09", "09"},
      {"19.99 degrees off", {base}, centre, 109.99 * kDeg, "09", "09", "09"},
      {"20.01 degrees off", {base}, centre, 110.01 * kDeg, no, no, no},
      {"16 m aside", {base}, at(base, 0, 16), kEast, no, "09", "09"},
      {"53 m aside", {base}, at(base, 0, 53), kEast, no, no, "09"},
      {"80 m off 45 m", {base}, at(base, 0, 80), kEast, no, no, no},
      {"129 m off 200 m", {wide}, at(wide, 0, 129), kEast, no, "09", "09"},
      {"131 m off 200 m", {wide}, at(wide, 0, 131), kEast, no, no, no},
      {"699 m before", {base}, at(base, -2199, 0), kEast, "09", "09", "09"},
      {"701 m before", {base}, at(base, -2201, 0), kEast, no, no, no},
      {"two equal runways", {base, base}, centre, kEast, no, no, no},
      {"parallel 15 m away", {base, runway09(45.0, -15.0)}, centre, kEast, no, no, "09"},
      {"parallel 25 m away", {base, runway09(45.0, -25.0)}, centre, kEast, "09", "09", "09"},
      {"threshold over 40 %", {runway09(45.0, 0.0, 1201.0)}, approach, kEast, "09", no, "09"},
      {"threshold 0", {runway09(45.0, 0.0, 0.0)}, approach, kEast, "09", no, "09"},
      {"threshold 40 %", {runway09(45.0, 0.0, 1200.0)}, approach, kEast, "09", "09", "09"},
      {"27 of that runway", {runway09(45.0, 0.0, 1201.0)}, at(base, 2000, 0), 270 * kDeg, "27", "27", "27"},
  };
  for (const Case& c : cases) {
    g_parkRunways = c.runways;
    EXPECT_EQ(endOf(gf_matchRunwayOnCentreline(c.position, c.heading)), c.onCentreline) << c.what;
    EXPECT_EQ(endOf(gf_matchRunwayForLanding(c.position, c.heading)), c.forLanding) << c.what;
    EXPECT_EQ(gf_matchRunwayEndName(c.position, c.heading), c.endName) << c.what;
  }
  gf_resetParkRunways();
}

// An approach to 09 crosses runway 07-25 800 m before 09's start, 18 degrees off its own course:
// the runway it lands on is 09 all the way, followed or found ahead, never the one under it.
TEST(RunwayMatching, ApproachesFollowTheRunwayTheyLandOn) {
  const Runway base = runway09();
  Runway crossing = base;
  crossing.centre = at(base, -2300, 0);
  crossing.heading = 72.0, crossing.length = 2000.0;
  crossing.primaryNumber = 7, crossing.secondaryNumber = 25;
  crossing.primaryEnd = gf_destinationPoint(crossing.centre, {252.0 * kDeg, 1000.0 * 3.2808399});
  crossing.secondaryEnd = gf_destinationPoint(crossing.centre, {72.0 * kDeg, 1000.0 * 3.2808399});
  g_parkRunways = {base, crossing};
  const auto nine = gf_matchRunwayForApproach(at(base, -5000, 0), kEast, nullptr);
  ASSERT_EQ(endOf(nine), "09");
  const std::optional<std::string> no;
  struct Case {
    const char* what;
    Lalo position;
    const RunwayCandidate* following;
    std::optional<std::string> forLanding, forApproach;
  };
  const Case cases[] = {
      {"over the crossing runway", at(base, -2300, 0), nullptr, "07", "09"},
      {"over it, following 09", at(base, -2300, 0), &*nine, "07", "09"},
      {"9 km out, 800 m aside", at(base, -10500, 800), nullptr, no, "09"},
      {"11 km out", at(base, -12600, 0), nullptr, no, no},
      {"past the start zone of 09 without a runway", at(base, 500, 0), nullptr, "09", "09"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(endOf(gf_matchRunwayForLanding(c.position, kEast)), c.forLanding) << c.what;
    EXPECT_EQ(endOf(gf_matchRunwayForApproach(c.position, kEast, c.following)), c.forApproach) << c.what;
  }
  gf_resetParkRunways();
}

TEST(RunwayMatching, CandidateMeasures) {
  Runway r = runway09(45.0, 0.0, 300.0);
  r.primaryDesignator = 1, r.secondaryDesignator = 2;
  g_parkRunways = {r};
  // 500 m before the start of 09L, 20 m right of the centre line, heading 95 degrees.
  const auto c = gf_matchRunway(at(r, -2000, 20), 95 * kDeg, false, 75.0);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->endName, "09L");
  EXPECT_EQ(c->runnerUp, "09L-27R:27R");
  EXPECT_NEAR(c->fromStart, -500.0, 1e-6);
  EXPECT_NEAR(c->fromThreshold.value(), -800.0, 1e-6);
  EXPECT_NEAR(c->landingLength.value(), 2700.0, 1e-9);
  EXPECT_DOUBLE_EQ(c->elevation, 1010.0);  // the start's, within 50 ft
  EXPECT_NEAR(c->score, 25.0, 1e-6);
  EXPECT_NEAR(c->runnerUpScore, 20.0 + 175.0, 1e-6);
  EXPECT_GT(gf_matchRunway({46.9999, 8.0}, 0.0, false, 75.0).value().crossTrack, 10.0);  // south: right of 09

  // Without its starts a runway still matches, at its own altitude; a disabled threshold
  // displaces nothing.
  g_parkRunways[0].hasPrimaryStart = g_parkRunways[0].hasSecondaryStart = false;
  g_parkRunways[0].primaryThreshold.enabled = false;
  EXPECT_DOUBLE_EQ(gf_matchRunwayOnCentreline(at(r, 0, 0), kEast).value().elevation, 1000.0);
  EXPECT_NEAR(gf_matchRunwayForLanding(at(r, -2000, 0), kEast).value().fromThreshold.value(), -500.0, 1e-6);

  // Start zones only (1200 m): the centre is 1500 m into either direction; 100 m past 09L's end
  // is 27R's start.
  EXPECT_FALSE(gf_matchRunway(at(r, 0, 0), 0.0, true, 75.0));
  EXPECT_EQ(gf_matchRunway(at(r, -400, 0), 0.0, true, 75.0).value().runnerUp, "");
  EXPECT_EQ(gf_matchRunway(at(r, 1600, 0), 0.0, true, 75.0).value().endName, "27R");

  // A runway by the 180-degree meridian sees an aircraft on the other side, 107 m east.
  g_parkRunways[0].centre = {-16.0, 179.9995};
  EXPECT_NEAR(gf_matchRunway({-16.0, -179.9995}, kEast, false, 75.0).value().alongTrack, 106.9, 0.5);
  gf_resetParkRunways();
}

}  // namespace
