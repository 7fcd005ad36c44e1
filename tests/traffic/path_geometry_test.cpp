#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "traffic/path_geometry.h"

namespace {

constexpr double kDeg = geo::kDegToRad;
const Lalo kOrigin{47.0, 8.0};

Lalo lf_at(const Lalo& origin, double east, double north) { return *LocalFrame(origin).toLalo({east, north}); }

// Heading north from the origin to a corner after leg1 metres, then leg2 metres at a bearing.
TurnRequest lf_turn(double leg1, double leg2, double bearingDeg, const Lalo& origin = kOrigin) {
  TurnRequest rq;
  rq.start = origin;
  rq.corner = lf_at(origin, 0.0, leg1);
  rq.end = lf_at(origin, leg2 * std::sin(bearingDeg * kDeg), leg1 + leg2 * std::cos(bearingDeg * kDeg));
  return rq;
}

double lf_metres(const Lalo& a, const Lalo& b) { return gf_distanceNm(a, b) * 1852.0; }

TEST(TurnPlanTest, LimitsGiveTheirResultCodes) {
  struct Case {
    const char* name;
    TurnRequest request;
    TurnResult expected;
  };
  // Far out along the start heading and back round a U-turn: a loop much longer than the legs.
  TurnRequest loop = lf_turn(100, 20, 20);
  loop.startTangentScale = 8.0;
  loop.endHeading = geo::kPi;
  TurnRequest badHeading = lf_turn(100, 100, 45);
  badHeading.startHeading = 2 * geo::kPi;
  const Case cases[] = {
      {"first leg 1.9 m", lf_turn(1.9, 100, 45), TurnResult::legTooShort},
      {"second leg 1.9 m", lf_turn(100, 1.9, 45), TurnResult::legTooShort},
      {"first leg 251 m", lf_turn(251, 100, 45), TurnResult::legOutOfRange},
      {"second leg 251 m", lf_turn(100, 251, 45), TurnResult::legOutOfRange},
      {"straight on", lf_turn(100, 100, 2), TurnResult::turnTooSmall},
      {"reversal", lf_turn(100, 100, 190), TurnResult::turnTooLarge},
      {"loop", loop, TurnResult::excessiveLength},
      {"heading of 2 pi", badHeading, TurnResult::invalidInput},
      {"ordinary turn", lf_turn(100, 100, 45), TurnResult::none},
  };
  for (const auto& c : cases) {
    TurnPlan plan;
    EXPECT_EQ(plan.build(c.request), c.expected == TurnResult::none) << c.name;
    EXPECT_EQ(plan.result, c.expected) << c.name << ": " << plan.resultText();
  }
}

TEST(TurnPlanTest, LegsOfTwoAndTwoHundredFiftyMetresPassTheLegTest) {
  // A hair inside, against the rounding of the way through degrees.
  for (double leg : {2.0 * (1 + 1e-12), 250.0 * (1 - 1e-12)}) {
    TurnPlan plan;
    plan.build(lf_turn(leg, leg, 45, {0.0, 0.0}));
    EXPECT_NE(plan.result, TurnResult::legTooShort) << leg;
    EXPECT_NE(plan.result, TurnResult::legOutOfRange) << leg;
  }
}

TEST(TurnPlanTest, ResultTexts) {
  const char* const texts[] = {"none",           "invalid input",          "leg too short",
                               "leg out of range", "turn too small",       "turn too large",
                               "start heading mismatch", "invalid tangent", "excessive length", "unknown"};
  for (int code = 0; code <= 9; ++code) EXPECT_EQ(TurnPlan::resultText(static_cast<TurnResult>(code)), texts[code]);
}

TEST(TurnPlanTest, ArcTableRisesFromZeroToOneAndTheCurveRunsStartToEnd) {
  const TurnRequest rq = lf_turn(60, 80, 60);
  TurnPlan plan;
  ASSERT_TRUE(plan.build(rq)) << plan.resultText();
  EXPECT_EQ(plan.lengthShares.front(), 0.0);
  EXPECT_EQ(plan.lengthShares.back(), 1.0);
  EXPECT_TRUE(std::is_sorted(plan.lengthShares.begin(), plan.lengthShares.end()));
  EXPECT_GT(plan.length, 140.0 * 0.8);

  const auto start = plan.evaluate(-1.0);
  ASSERT_TRUE(start);
  EXPECT_LT(lf_metres(start->position, rq.start), 1e-6);
  EXPECT_NEAR(start->heading, 0.0, 1e-9);
  const auto end = plan.evaluate(1.0);
  ASSERT_TRUE(end);
  EXPECT_LT(lf_metres(end->position, rq.end), 1e-3);
  // Half the length is half-way along the curve, not at half the parameter.
  double covered = 0.0;
  Lalo previous = rq.start;
  for (int i = 1; i <= 50; ++i) {
    const Lalo p = plan.evaluate(i / 100.0)->position;
    covered += lf_metres(previous, p);
    previous = p;
  }
  EXPECT_NEAR(covered, plan.length / 2, 0.01 * plan.length);
  // A step goes on from the segment the last one lay in: the answers stay those of a plan asked
  // nothing before, whatever the order of the asks.
  for (const double share : {0.3, 0.305, 0.3, 0.9, 0.1, 0.0, 1.0, 0.5, 0.5078125, 0.99}) {
    TurnPlan fresh = plan;
    fresh.stepSegment = 1;
    EXPECT_EQ(plan.evaluate(share)->position, fresh.evaluate(share)->position) << share;
    fresh.stepSegment = 1;
    EXPECT_EQ(plan.shareWithinTurn(share, share + 0.05, 0.01), fresh.shareWithinTurn(share, share + 0.05, 0.01)) << share;
  }

  plan.clear();
  EXPECT_FALSE(plan.evaluate(0.5));
}

TEST(PositionCurveTest, EvaluatesOnlyWithinItsValues) {
  const Lalo start = kOrigin;
  const Lalo control = lf_at(kOrigin, 0.0, 25.0);
  const Lalo end = lf_at(kOrigin, 100.0, 100.0);
  PositionCurve curve;
  ASSERT_TRUE(curve.build({start, 10.0}, {control, 0.0}, {end, 20.0}));

  const auto first = curve.evaluate(10.0);
  ASSERT_TRUE(first);
  EXPECT_LT(lf_metres(first->position, start), 1e-6);
  EXPECT_NEAR(first->heading, 0.0, 1e-9);
  EXPECT_LT(lf_metres(curve.evaluate(20.0)->position, end), 1e-3);
  EXPECT_FALSE(curve.evaluate(std::nextafter(10.0, 0.0)));
  EXPECT_FALSE(curve.evaluate(std::nextafter(20.0, 30.0)));
  EXPECT_FALSE(curve.evaluate(NAN));

  // The value runs along the length: the mid value lies half the length from both ends' sides.
  double total = 0.0;
  double half = 0.0;
  Lalo previous = start;
  for (int i = 1; i <= 200; ++i) {
    const Lalo p = curve.evaluate(10.0 + i / 20.0)->position;
    total += lf_metres(previous, p);
    if (i == 100) half = total;
    previous = p;
  }
  EXPECT_NEAR(half, total / 2, 0.01 * total);
}

TEST(PositionCurveTest, RefusesBadEnds) {
  PositionCurve curve;
  EXPECT_FALSE(curve.build({kOrigin, 1.0}, {lf_at(kOrigin, 0, 10), 0.0}, {lf_at(kOrigin, 10, 10), 1.0}));
  EXPECT_FALSE(curve.build({kOrigin, 0.0}, {lf_at(kOrigin, 0, 10), NAN}, {lf_at(kOrigin, 10, 10), 1.0}));
  EXPECT_FALSE(curve.build({kOrigin, 0.0}, {kOrigin, 0.0}, {kOrigin, 1.0}));  // no length
  EXPECT_FALSE(curve.isSet());
  EXPECT_FALSE(curve.evaluate(0.5));
}

}  // namespace

// The share a rate-limited ground turn may reach in one tick, looked up in the plan's table,
// against a fine bisection on the headings the curve really has.
TEST(TurnPlanTest, ShareWithinTurnMatchesTheCurvesHeadings) {
  struct Case {
    const char* name;
    TurnRequest request;
    double limitDeg;
  };
  TurnRequest mismatched = lf_turn(40, 60, 50);
  mismatched.startHeading = 15.0 * kDeg;
  TurnRequest toCorner = lf_turn(50, 50, -90);
  toCorner.endAtCorner = true;
  const Case cases[] = {
      {"right 90, slow airliner", lf_turn(60, 80, 90), 0.02},
      {"left 120, light aircraft", lf_turn(30, 30, -120), 0.1},
      {"start heading off the leg", mismatched, 0.05},
      {"ends at the corner", toCorner, 0.03},
      {"whole turn in one step", lf_turn(60, 80, 45), 90.0},
  };
  for (const auto& c : cases) {
    TurnPlan plan;
    ASSERT_TRUE(plan.build(c.request)) << c.name << ": " << plan.resultText();
    const double limit = c.limitDeg * kDeg;
    const auto turnedBetween = [&](double a, double b) {
      return std::fabs(gf_wrapAngle(plan.evaluate(b)->heading - plan.evaluate(a)->heading));
    };
    for (double from = 0.0; from < 1.0; from += 0.037) {
      const double to = std::min(1.0, from + 0.05);
      double lo = from;
      double hi = to;
      if (turnedBetween(from, to) > limit) {
        for (int i = 0; i < 60; ++i) {
          const double mid = (lo + hi) / 2.0;
          (turnedBetween(from, mid) > limit ? hi : lo) = mid;
        }
      } else {
        lo = to;
      }
      const double share = plan.shareWithinTurn(from, to, limit);
      EXPECT_GE(share, from) << c.name << " from " << from;
      EXPECT_LE(share, to) << c.name << " from " << from;
      // The same pace as the bisection to within a hundredth of the step, and the nose no more
      // than a twentieth of the limit beyond it.
      EXPECT_NEAR(share, lo, 0.01 * (to - from) + 1e-9) << c.name << " from " << from;
      EXPECT_LE(turnedBetween(from, share), 1.05 * limit + 1e-12) << c.name << " from " << from;
      // Braking evenly from the speed that fits the bends ahead, the nose never turns faster than
      // its rate (the limit taken as a rate a second, the braking as an airliner's).
      const double v = plan.fittingSpeed(from, 100.0 * limit, 1.5);
      ASSERT_GT(v, 0.0) << c.name << " from " << from;
      // Asked at another rate, the plan answers as one asked at no other: a slower nose, no faster.
      TurnPlan fresh;
      ASSERT_TRUE(fresh.build(c.request));
      EXPECT_EQ(plan.fittingSpeed(from, 50.0 * limit, 1.5), fresh.fittingSpeed(from, 50.0 * limit, 1.5)) << c.name;
      EXPECT_LE(fresh.fittingSpeed(from, 50.0 * limit, 1.5), v) << c.name << " from " << from;
      for (double a = from; std::isfinite(v) && a + 0.004 < 1.0; a += 0.004) {
        const double metres = 0.004 * plan.length;
        const double pace = std::sqrt(std::max(0.0, v * v - 2.0 * 1.5 * (a - from) * plan.length));
        EXPECT_LE(pace * turnedBetween(a, a + 0.004) / metres, 1.1 * 100.0 * limit) << c.name << " from " << from;
      }
    }
  }
  // Asked step after step along a turn, on segments' very starts and going back, the plan answers
  // as one asked afresh.
  TurnPlan walked;
  ASSERT_TRUE(walked.build(lf_turn(60, 80, 90)));
  std::vector<double> shares;
  for (int k = 0; k <= 1000; ++k) shares.push_back(k / 1000.0);
  for (int k = 1000; k >= 0; k -= 7) shares.push_back(k / 1000.0 + 0.0003);
  shares.insert(shares.end(), walked.lengthShares.begin(), walked.lengthShares.end());
  for (const double from : shares) {
    TurnPlan fresh;
    ASSERT_TRUE(fresh.build(lf_turn(60, 80, 90)));
    EXPECT_EQ(walked.fittingSpeed(from, 0.3, 1.5), fresh.fittingSpeed(from, 0.3, 1.5)) << "from " << from;
  }
  TurnPlan unbuilt;
  EXPECT_EQ(unbuilt.shareWithinTurn(0.2, 0.3, 0.01), 0.3);
  EXPECT_TRUE(std::isinf(unbuilt.fittingSpeed(0.0, 0.1, 1.5)));
}
