#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "traffic/leg_plan.h"
#include "traffic/movement_geometry.h"
#include "traffic/path_geometry.h"

namespace {

constexpr double kDeg = geo::kDegToRad;
const Lalo kHere{47.0, 8.0};
const double kCos = std::cos(47.0 * kDeg);

Lalo lf_at(const Lalo& origin, double east, double north) { return *LocalFrame(origin).toLalo({east, north}); }
Lalo lf_atNm(const Lalo& origin, double eastNm, double northNm) {
  return {origin.lat + northNm / 60.0, origin.lon + eastNm / 60.0 / std::cos(origin.lat * kDeg)};
}
double lf_metres(const Lalo& a, const Lalo& b) { return gf_distanceNm(a, b) * 1852.0; }

ConflictInput lf_conflict(std::uint32_t phase, double eastNm, double northNm, double headingBDeg, double altDiff) {
  const Lalo b = lf_atNm(kHere, eastNm, northNm);
  return {phase, kHere.lat, kHere.lon, b.lat, b.lon, kCos, 0.0, headingBDeg * kDeg, 3000.0, 3000.0 + altDiff};
}

// The angle folds give what the library's exact remainders give, at the edges of the range they
// pass unchanged as well.
TEST(MovementGeometryTest, AngleFoldsAreTheExactRemainders) {
  const double pi = motion::kTwoPi / 2.0;
  const double cases[] = {0.0,  -0.0, pi,  -pi, std::nextafter(pi, 4.0), std::nextafter(-pi, -4.0), motion::kTwoPi,
                          std::nextafter(motion::kTwoPi, 0.0), -1e-18, 7.0, -7.0, 1e6, 3.0,
                          // a difference of two headings, one turn off, and just past that shortcut
                          4.0, -4.0, 8.79, -8.79, 8.8, -8.8, 9.4248, -9.4248, 12.0};
  for (const double in : cases) {
    EXPECT_EQ(gf_wrapAngle(in), std::remainder(in, motion::kTwoPi)) << in;
    double folded = std::fmod(in, motion::kTwoPi);
    if (folded < 0.0) folded += motion::kTwoPi;
    if (folded >= motion::kTwoPi) folded = 0.0;
    EXPECT_EQ(gf_normalizeAngle(in), folded) << in;
  }
  EXPECT_EQ(gf_normalizeAngle(std::nan("")), 0.0);
  EXPECT_EQ(gf_normalizeAngle(INFINITY), 0.0);
}

// An eased leg's shares add up to the whole leg for every easing kind and length, one per tick;
// a leg of no ticks moves all the way at once.
TEST(MovementGeometryTest, EasedSharesCoverTheLeg) {
  struct Case {
    std::int32_t ticks;
    std::uint32_t kind;
    std::size_t size;
  };
  constexpr Case kCases[] = {{400, 1, 400}, {400, 2, 400}, {7, 3, 7}, {1, 1, 1}, {0, 2, 1}, {-5, 3, 1}, {2000, 0, 2000}};
  for (const Case& c : kCases) {
    const EasedShares shares(c.ticks, c.kind);
    ASSERT_EQ(shares.size(), c.size) << c.ticks << " ticks, kind " << c.kind;
    EXPECT_NEAR(std::accumulate(shares.begin(), shares.end(), 0.0), 1.0, 1e-12) << c.ticks << " ticks, kind " << c.kind;
    const double n = static_cast<double>(c.size);
    for (std::size_t i = 0; i < shares.size(); i += 3)
      EXPECT_EQ(shares[i], gf_ease((i + 1) / n, c.size == 1 && c.ticks < 1 ? 0 : c.kind) - gf_ease(i / n, c.kind));
  }
  EXPECT_LT(EasedShares(400, 1).front(), EasedShares(400, 1).back()) << "from standstill: slow first";
  EXPECT_GT(EasedShares(400, 2).front(), EasedShares(400, 2).back()) << "to a stop: slow last";
}

// A start or a stop on a long leg changes speed over a ramp at the given acceleration and rolls
// evenly at the rest of the leg's pace; a leg too short for it eases over its whole length.
TEST(MovementGeometryTest, AStartOrAStopRampsAtTheAcceleration) {
  struct Case {
    double metres, seconds, acceleration;
    bool ramped;
  } cases[] = {{200.0, 30.0, 1.286, true}, {60.0, 10.0, 1.543, true}, {60.0, 5.0, 1.286, false}};
  for (const Case& c : cases) {
    const double r = gf_rampShare(c.metres, c.seconds, c.acceleration);
    EXPECT_EQ(r < 1.0, c.ramped) << c.metres << " m in " << c.seconds << " s";
    if (!c.ramped) continue;
    const double cruise = c.metres / (c.seconds * (1.0 - r / 2.0));
    EXPECT_NEAR(cruise / (r * c.seconds), c.acceleration, 1e-9) << c.metres << " m in " << c.seconds << " s";
    for (const std::uint32_t kind : {1u, 2u}) {
      const EasedShares shares(static_cast<std::int32_t>(c.seconds * 100.0), kind, r);
      EXPECT_NEAR(std::accumulate(shares.begin(), shares.end(), 0.0), 1.0, 1e-12) << kind;
      // The even roll: the share per tick at the pace of the cruise.
      const double even = kind == 1 ? shares.back() : shares.front();
      EXPECT_NEAR(even * c.metres * 100.0, cruise, 1e-6 * cruise) << kind;
    }
  }
}

TEST(MovementGeometryTest, Examples) {
  const RelativeGeometry near = gf_relativeGeometry(kHere, 1.0, gf_destinationPoint(kHere, {0.3, 0.05 * 3.2808399}));
  const TravelTime jet = gf_minTravelTime({1852.0, 2.0, 100.0, 100.0, 3});
  const GeoPose stand{kHere, 0.0};
  struct Case {
    std::string name;
    double actual, expected;
  };
  const Case cases[] = {
      {"relative distance at 5 cm", near.distanceM, 0.05},
      {"relative bearing at 5 cm", near.relativeBearing, 0.0},
      {"along at 5 cm", near.alongM, 0.0},
      {"cross at 5 cm", near.crossM, 0.0},
      {"radii 0 at the same place", double(gf_withinRadii(kHere, 0.0, kHere, 0.0)), 0},
      {"conflict phase 0", double(gf_userConflictTest(lf_conflict(0, 0.4, 0.3, 0, 200)).verdict), 1},
      {"conflict phase 1", double(gf_userConflictTest(lf_conflict(1, 0.4, 0.3, 0, 200)).verdict), 1},
      {"conflict phase 2", double(gf_userConflictTest(lf_conflict(2, 0.4, 0.3, 0, 200)).verdict), 1},
      {"ease 1.5 mode 3", gf_ease(1.5, 3), 1.0},
      {"jet minimum time", jet.minimumTimeS, 10.0},
      {"jet clamped speed", 1852.0 * 1.9438444924406046 / jet.minimumTimeS, 360.0},
      {"jet too fast", double(jet.tooFast), 1},
      {"approach offset", gf_findApproachOffset(-20, 2).value_or(-1), 10.0},
      {"12 degrees off a stand far away",
       double(gf_checkStandApproach(stand, 0.02, lf_at(kHere, 0, -1000), 12 * kDeg, 0.02).reason ==
              "heading exceeds 10 deg"),
       1},
  };
  for (const auto& c : cases) EXPECT_NEAR(c.actual, c.expected, 1e-6) << c.name;
}

TEST(MovementGeometryTest, PositionsAcrossTheDateLineAreMetresApart) {
  const Lalo west{10.0, 179.9999};
  const Lalo east{10.0, -179.9999};
  const Lalo further = lf_at(west, 200, 0);
  EXPECT_LT(further.lon, -179.99);
  EXPECT_TRUE(gf_withinRadii(west, 0.02, east, 0.0));
  EXPECT_TRUE(gf_withinRadii(east, 0.02, west, 0.0));
  const ConflictInput across{0, west.lat, west.lon, east.lat, east.lon, std::cos(10 * kDeg), 0, 0, 0, 0};
  EXPECT_LT(gf_userConflictTest(across).distanceNm, 0.02);
  const FlatPoint flat = LocalFrame(west).toFlat(east);
  EXPECT_NEAR(flat.east, lf_metres(west, east), 0.01);
  EXPECT_NEAR(LocalFrame(west).toLalo(flat)->lon, east.lon, 1e-9);

  TurnPlan plan;
  ASSERT_TRUE(plan.build({.start = west, .corner = lf_at(west, 100, 0), .end = lf_at(west, 170, -70),
                          .startHeading = geo::kPi / 2}))
      << plan.resultText();
  PositionCurve curve;
  ASSERT_TRUE(curve.build({west, 0}, {east, 0}, {further, 1}));
  struct Case {
    const char* name;
    std::optional<Lalo> point;
    Lalo near;
    double withinM;
  };
  const Case cases[] = {
      {"turn plan", plan.evaluate(0.5)->position, lf_at(west, 120, -10), 40},
      {"position curve", curve.evaluate(0.5)->position, lf_at(west, 100, 0), 30},
      {"hermite pose", gf_hermitePose({west, east, geo::kPi / 2, 0.3, 0.5}).position, {10, 180}, 0.1},
      {"hermite pose under 10 m", gf_hermitePose({{10, 179.99998}, {10, -179.99998}, 0, 0, 0.5}).position, {10, 180},
       0.1},
      {"bezier pose", gf_bezierPose({west, geo::kPi / 2}, {further, geo::kPi / 2}, 0.5).position, lf_at(west, 100, 0),
       1},
      {"pulled point", gf_pullTowardHeadingLine({west, lf_at(west, 100, 10), geo::kPi / 2, 0.5, 20, 0.5}).point,
       lf_at(west, 100, 5), 0.1},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(c.point) << c.name;
    EXPECT_LT(lf_metres(*c.point, c.near), c.withinM) << c.name << " " << fmt::format("{}", *c.point);
  }
}

TEST(MovementGeometryTest, ConflictVerdictsAndReasons) {
  struct Case {
    ConflictInput input;
    std::uint32_t verdict, reason;
  };
  const Case cases[] = {
      {lf_conflict(0, 0.0, 0.5, 0, 500), 0, 0},     {lf_conflict(1, 0.0, 5.0, 0, 0), 0, 1},
      {lf_conflict(1, 0.0, 0.5, 0, 1100), 0, 2},    {lf_conflict(1, 0.05, 0.5, 0, 500), 4, 0},
      {lf_conflict(1, 0.2, 0.5, 0, 500), 0, 7},     {lf_conflict(1, 0.05, 0.5, 30, 500), 0, 3},
      {lf_conflict(1, 0.05, -0.5, 0, 500), 0, 5},   {lf_conflict(2, 0.1, -1.0, 0, 500), 2, 0},
      {lf_conflict(2, 0.1, -2.0, 0, 500), 0, 4},    {lf_conflict(2, 0.2, 1.0, 0, 500), 3, 0},
      {lf_conflict(2, 0.3, 1.0, 0, 500), 0, 7},     {lf_conflict(2, 0.0, 2.0, 0, 500), 0, 6},
      {lf_conflict(2, 0.0, 1.0, 25, 500), 0, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(fmt::format("phase {} at {},{}", c.input.phase, c.input.latitudeB, c.input.longitudeB));
    const ConflictResult r = gf_userConflictTest(c.input);
    EXPECT_EQ(r.verdict, c.verdict);
    EXPECT_EQ(r.reason, c.reason);
  }
}

TEST(MovementGeometryTest, StandApproach) {
  const GeoPose stand{kHere, 0.0};  // facing north: aircraft arrive from the south, heading north
  struct Case {
    double cross, along, aircraftRadius;
    std::string_view reason;  // empty: ok
  };
  const Case cases[] = {
      {0, -8, 0.02, ""},
      {2, -20, 0.02, ""},
      {0, -1, 0.02, ""},
      {2, -10, 0.02, ""},
      {3.5, -20, 0.02, "over 3 m from centerline"},
      {0, 2, 0.02, "too close to or past stand"},
      {2.9, -10, 0.02, "direct final approach exceeds 15 deg"},
      {3, -14, 0.02, "approach turn exceeds 15 deg"},
      {0, -100, 0.01, "outside stand overlap"},
      {0, -8, -1, "invalid stand or aircraft geometry"},
  };
  for (const auto& c : cases) {
    const StandApproachCheck r = gf_checkStandApproach(stand, 0.02, lf_at(kHere, c.cross, c.along), 0, c.aircraftRadius);
    EXPECT_EQ(r.ok, c.reason.empty()) << c.cross << "," << c.along;
    EXPECT_EQ(r.reason, c.reason) << c.cross << "," << c.along;
  }
}

TEST(MovementGeometryTest, StandAlignmentNarrowsWithDistance) {
  const GeoPose stand{kHere, 0.0};
  EXPECT_TRUE(gf_standAlignment(stand, lf_at(kHere, 0, 5), 8.9 * kDeg).aligned);
  EXPECT_FALSE(gf_standAlignment(stand, lf_at(kHere, 0, 5), 9.0 * kDeg).aligned);
  EXPECT_TRUE(gf_standAlignment(stand, lf_at(kHere, 0, 11.9), 4.0 * kDeg).aligned);
  EXPECT_TRUE(gf_standAlignment(stand, lf_at(kHere, 9, -20), 0).notOk);
}

TEST(MovementGeometryTest, DescentRates) {
  struct Case {
    double proposed;
    std::vector<double> recent;
    std::int32_t category;
    double rate;
    bool clamped;
  };
  const Case cases[] = {
      {-500, {}, 3, -500, false},           {-2000, {}, 3, -1200, true},
      {-2000, {-1000, -1000}, 3, -2000, false}, {-5000, {-3000, -3000}, 3, -3000, true},
      {-5000, {-3000, -3000}, 5, -3600, true},  {-5000, {-3000, -3000}, 6, -1800, true},
      {300, {}, 3, 0, true},                 {NAN, {-1000, NAN, -9000}, 3, -1000, true},
  };
  for (const auto& c : cases) {
    const DescentRateLimit r = gf_limitDescentRate(c.proposed, c.recent, c.category);
    EXPECT_EQ(r.rate, c.rate) << c.proposed << " category " << c.category;
    EXPECT_EQ(r.clamped, c.clamped) << c.proposed << " category " << c.category;
  }

  // 150 ft to lose at 140 kt: -300 ft/min would not make it before 1000 m; aim at 600 m instead.
  DescentInput in{{-300, 150, 0, 0, 3000, 140, 0, 0, 0}, false};
  DescentCorrection d = gf_descentCorrection(in);
  EXPECT_TRUE(d.corrected);
  EXPECT_NEAR(d.aimDistanceM, 600.0, 1e-9);
  EXPECT_NEAR(d.rate, -150 * 60 / (600 / (140 * 0.5144444444444445)), 1e-9);
  in.q[0] = -1500;  // steep enough already
  EXPECT_FALSE(gf_descentCorrection(in).corrected);
  in = {{-300, 150, 0, 0, 3000, 140, 400, 400, 50}, true};
  EXPECT_EQ(gf_descentCorrection(in).aimDistanceM, 0.0);
}

TEST(MovementGeometryTest, TurnsAndBanks) {
  // 150 kt toward 90 degrees right: the turn rate is held to 3 deg/s, the roll to 5 deg/s.
  TurnStepInput in{0, geo::kPi / 2, 0, 0, false, 150, 1, 1, 3 * kDeg, 25 * kDeg, 5 * kDeg};
  TurnStepResult r = gf_turnStep(in);
  EXPECT_NEAR(r.turnRate, 3 * kDeg, 1e-12);
  EXPECT_NEAR(r.targetBank, -std::atan(3 * kDeg * 150 * 0.5144444444444445 / 9.80665), 1e-12);
  EXPECT_NEAR(r.rollRate, -5 * kDeg, 1e-12);
  in.useForced = true;
  in.forcedBank = 2.0;  // beyond 90 degrees
  EXPECT_TRUE(gf_turnStep(in).forceRejected);

  const double bank = 30 * kDeg;
  EXPECT_NEAR(gf_bankLimit(bank, true, 100, false), 10 * kDeg, 1e-12);
  EXPECT_NEAR(gf_bankLimit(bank, true, 550, false), 20 * kDeg, 1e-12);
  EXPECT_NEAR(gf_bankLimit(bank, true, 1000, true), 5 * kDeg, 1e-12);
  EXPECT_EQ(gf_bankLimit(-bank, false, 1000, false), 0.0);
}

TEST(MovementGeometryTest, CurvedPathsEndOnTheirPoses) {
  const Lalo end = lf_at(kHere, 300, 300);
  const double bearing = gf_bearingRad(kHere, end);
  const HermitePose bent = gf_hermitePose({kHere, end, bearing + 30 * kDeg, 20 * kDeg, 1.0});
  ASSERT_TRUE(bent.valid && bent.curved);
  EXPECT_LT(lf_metres(bent.position, end), 0.01);
  EXPECT_NEAR(bent.heading, bearing + 20 * kDeg, 0.01);  // the end heading held to the limit
  const HermitePose straight = gf_hermitePose({kHere, end, bearing + 100 * kDeg, 20 * kDeg, 0.5});
  EXPECT_FALSE(straight.curved);
  EXPECT_NEAR(straight.heading, bearing, 1e-12);

  const GeoPose a{kHere, 0.0};
  const GeoPose b{lf_at(kHere, 200, 200), geo::kPi / 2};
  EXPECT_EQ(gf_bezierPose(a, b, -1).position, a.position);
  EXPECT_EQ(gf_bezierPose(a, b, 1).position, b.position);
  EXPECT_NEAR(gf_bezierPose(a, b, 0.5).heading, geo::kPi / 4, 0.01);
}

TEST(MovementGeometryTest, StraightAheadAndClimbs) {
  const double b5 = 5 * kDeg;
  std::vector<Lalo> line;
  for (double d : {0.5, 20.0, 40.0, 60.0, 80.0}) line.push_back(lf_at(kHere, d * std::sin(b5), d * std::cos(b5)));
  StraightAheadResult r = gf_straightAheadHeading({kHere, line, 0.0, 30, 70, 0.2});
  EXPECT_TRUE(r.found);
  EXPECT_NEAR(r.heading, b5, 1e-4);
  EXPECT_NEAR(r.distanceM, 60, 0.01);
  line[3] = lf_at(kHere, 60 * std::sin(30 * kDeg), 60 * std::cos(30 * kDeg));  // a bend
  EXPECT_FALSE(gf_straightAheadHeading({kHere, line, 0.0, 30, 70, 0.2}).found);

  const std::vector<ClimbSample> samples{{50, 0}, {55, 100}, {70, 200}, {90, 2500}};
  EXPECT_EQ(gf_findClimbIndex(samples, 55), 2u);
  EXPECT_EQ(gf_findClimbIndex(samples, 75), std::nullopt);  // 90 only 2300 ticks after the 50
  EXPECT_EQ(gf_findClimbIndex(samples, 0), std::nullopt);
}

}  // namespace
