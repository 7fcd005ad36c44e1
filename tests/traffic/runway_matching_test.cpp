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

// A 3000 m by 45 m runway 09-27 at 1000 ft with its starts 10 ft above and below.
Runway runway09(double width = 45.0, double northOffsetM = 0.0) {
  Runway r;
  r.centre = {47.0 + northOffsetM / kR * geo::kRadToDeg, 8.0};
  r.heading = 90.0;
  r.length = 3000.0;
  r.width = width;
  r.altitude = 1000.0;
  r.primaryNumber = 9;
  r.secondaryNumber = 27;
  r.primaryEnd = gf_destinationPoint(r.centre, {270.0 * kDeg, 1500.0 * 3.2808399});
  r.secondaryEnd = gf_destinationPoint(r.centre, {90.0 * kDeg, 1500.0 * 3.2808399});
  r.primaryStart.altitude = 1010.0;
  r.secondaryStart.altitude = 990.0;
  r.hasPrimaryStart = r.hasSecondaryStart = true;
  return r;
}

// The point `along` metres along the runway's heading from its centre and `cross` to its right.
Lalo at(const Runway& r, double along, double cross) {
  const double h = r.heading * kDeg;
  const double east = std::sin(h) * along + std::cos(h) * cross;
  const double north = std::cos(h) * along - std::sin(h) * cross;
  const double lat = r.centre.lat + north / kR * geo::kRadToDeg;
  const double meanLat = (lat + r.centre.lat) * 0.5 * kDeg;
  return {lat, r.centre.lon + east / (kR * std::cos(meanLat)) * geo::kRadToDeg};
}

class RunwayMatching : public ::testing::Test {
 protected:
  void SetUp() override { gf_resetParkRunways(); }
  void TearDown() override { gf_resetParkRunways(); }
};

std::optional<std::string> endOf(const std::optional<RunwayCandidate>& c) {
  return c ? std::optional<std::string>(c->endName) : std::nullopt;
}

TEST_F(RunwayMatching, Acceptances) {
  const Runway base = runway09();
  Runway wide = runway09(200.0);
  Runway longThreshold = runway09();
  longThreshold.primaryThreshold = {1201.0, 45.0, true};
  Runway zeroThreshold = runway09();
  zeroThreshold.primaryThreshold = {0.0, 45.0, true};
  Runway fullThreshold = runway09();
  fullThreshold.primaryThreshold = {1200.0, 45.0, true};
  const double east = geo::kPi / 2;
  const std::optional<std::string> none;
  struct Case {
    const char* what;
    std::vector<Runway> runways;
    Lalo position;
    double heading;
    std::optional<std::string> onCentreline, forLanding, endName;
  };
  const Case cases[] = {
      {"no runways", {}, at(base, 0, 0), east, none, none, none},
      {"heading 2 pi", {base}, at(base, 0, 0), 2 * geo::kPi, none, none, none},
      {"negative heading", {base}, at(base, 0, 0), -0.001, none, none, none},
      {"heading NaN", {base}, at(base, 0, 0), std::numeric_limits<double>::quiet_NaN(), none, none, none},
      {"position 0/0", {base}, {0.0, 0.0}, east, none, none, none},
      {"on the centre line", {base}, at(base, 0, 0), east, "09", "09", "09"},
      {"the other way", {base}, at(base, 0, 0), 270 * kDeg, "27", "27", "27"},
      {"19.99 degrees off", {base}, at(base, 0, 0), 109.99 * kDeg, "09", "09", "09"},
      {"20.01 degrees off", {base}, at(base, 0, 0), 110.01 * kDeg, none, none, none},
      {"16 m aside", {base}, at(base, 0, 16), east, none, "09", "09"},
      {"53 m aside", {base}, at(base, 0, 53), east, none, none, "09"},
      {"80 m off 45 m", {base}, at(base, 0, 80), east, none, none, none},
      {"129 m off 200 m", {wide}, at(wide, 0, 129), east, none, "09", "09"},
      {"131 m off 200 m", {wide}, at(wide, 0, 131), east, none, none, none},
      {"699 m before", {base}, at(base, -2199, 0), east, "09", "09", "09"},
      {"701 m before", {base}, at(base, -2201, 0), east, none, none, none},
      {"two equal runways", {base, base}, at(base, 0, 0), east, none, none, none},
      {"parallel 15 m away", {base, runway09(45.0, -15.0)}, at(base, 0, 0), east, none, none, "09"},
      {"parallel 25 m away", {base, runway09(45.0, -25.0)}, at(base, 0, 0), east, "09", "09", "09"},
      {"threshold over 40 %", {longThreshold}, at(base, -2000, 0), east, "09", none, "09"},
      {"threshold 0 enabled", {zeroThreshold}, at(base, -2000, 0), east, "09", none, "09"},
      {"threshold 40 %", {fullThreshold}, at(base, -2000, 0), east, "09", "09", "09"},
      {"long threshold, other end", {longThreshold}, at(base, 2000, 0), 270 * kDeg, "27", "27", "27"},
  };
  for (const Case& c : cases) {
    g_parkRunways = c.runways;
    EXPECT_EQ(endOf(gf_matchRunwayOnCentreline(c.position, c.heading)), c.onCentreline) << c.what;
    EXPECT_EQ(endOf(gf_matchRunwayForLanding(c.position, c.heading)), c.forLanding) << c.what;
    EXPECT_EQ(gf_matchRunwayEndName(c.position, c.heading), c.endName) << c.what;
  }
}

TEST_F(RunwayMatching, CandidateMeasures) {
  Runway r = runway09();
  r.primaryDesignator = 1;
  r.secondaryDesignator = 2;
  r.primaryThreshold = {300.0, 45.0, true};
  g_parkRunways = {r};
  // 500 m before the start of 09L, 20 m right of the centre line, heading 95 degrees.
  const auto c = gf_matchRunway(at(r, -2000, 20), 95 * kDeg, false, 75.0);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->runwayName, "09L-27R");
  EXPECT_EQ(c->endName, "09L");
  EXPECT_EQ(c->runnerUp, "09L-27R:27R");
  EXPECT_NEAR(c->heading, 90.0, 1e-9);
  EXPECT_NEAR(c->headingDiff, 5.0, 1e-9);
  EXPECT_NEAR(c->crossTrack, 20.0, 1e-6);
  EXPECT_NEAR(c->alongTrack, -2000.0, 1e-6);
  EXPECT_NEAR(c->fromStart, -500.0, 1e-6);
  EXPECT_NEAR(*c->fromThreshold, -800.0, 1e-6);
  EXPECT_NEAR(*c->landingLength, 2700.0, 1e-9);
  EXPECT_DOUBLE_EQ(c->startZone, 1200.0);
  EXPECT_DOUBLE_EQ(c->elevation, 1010.0);  // the start's, within 50 ft
  EXPECT_EQ(c->farEnd, r.secondaryEnd);
  EXPECT_NEAR(c->score, 25.0, 1e-6);
  EXPECT_NEAR(c->runnerUpScore, 20.0 + 175.0, 1e-6);

  // South of a runway heading east is to its right.
  EXPECT_GT(gf_matchRunway({46.9999, 8.0}, 0.0, false, 75.0)->crossTrack, 10.0);

  // Without its starts a runway still matches, at its own altitude.
  g_parkRunways[0].hasPrimaryStart = g_parkRunways[0].hasSecondaryStart = false;
  EXPECT_DOUBLE_EQ(gf_matchRunwayOnCentreline(at(r, 0, 0), geo::kPi / 2)->elevation, 1000.0);
  // A disabled threshold displaces nothing.
  g_parkRunways[0].primaryThreshold.enabled = false;
  EXPECT_NEAR(*gf_matchRunwayForLanding(at(r, -2000, 0), geo::kPi / 2)->fromThreshold, -500.0, 1e-6);
}

TEST_F(RunwayMatching, StartZoneOnly) {
  const Runway r = runway09();  // start zone 1200 m
  g_parkRunways = {r};
  EXPECT_FALSE(gf_matchRunway(at(r, 0, 0), 0.0, true, 75.0));  // 1500 m into either direction
  const auto primary = gf_matchRunway(at(r, -400, 0), 0.0, true, 75.0);
  ASSERT_TRUE(primary);
  EXPECT_EQ(primary->endName, "09");
  EXPECT_TRUE(primary->runnerUp.empty());
  EXPECT_DOUBLE_EQ(primary->runnerUpScore, 0.0);
  EXPECT_EQ(gf_matchRunway(at(r, 1600, 0), 0.0, true, 75.0)->endName, "27");  // 100 m beyond 09's end
}

TEST_F(RunwayMatching, AcrossTheDateLine) {
  Runway r = runway09();
  r.centre = {-16.0, 179.9995};
  g_parkRunways = {r};
  const auto c = gf_matchRunway({-16.0, -179.9995}, geo::kPi / 2, false, 75.0);  // about 107 m east
  ASSERT_TRUE(c);
  EXPECT_NEAR(c->alongTrack, 106.9, 0.5);
}

}  // namespace
