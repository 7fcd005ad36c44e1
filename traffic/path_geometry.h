#pragma once
// Smooth paths for aircraft instead of corners: the turn planner (a cubic Hermite curve round a
// corner, held to a fixed list of limits) and the position curve (a quadratic Bezier between two
// positions, run by a value such as time). Pure computation in a local flat frame at the start.
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "core/geodesy.h"
#include "traffic/flat_frame.h"

struct TurnRequest {
  Lalo start;                 // P0, the aircraft's position
  Lalo corner;                // P1
  Lalo end;                   // P2, the point after the corner
  double startHeading = 0.0;  // radians in [0, 2 pi)
  bool endAtCorner = false;   // the curve ends at P1 instead of P2
  // Limits of a corner turn; a value not above 0 takes the default.
  double minLeg = 15.0;            // m, shortest leg
  double minLegSum = 50.0;         // m, shortest sum of both legs
  double maxEntryAngle = 60.0;     // degrees between start heading and second leg
  double maxStartMismatch = 60.0;  // degrees between start heading and first leg
  double cornerRatio = 0.35;       // how close the curve passes the corner, share of the shorter leg
  double maxCurvature = 3.0;       // degrees of heading change per metre
  double startTangentScale = 2.0;  // start tangent length in first-leg lengths
  std::optional<double> endHeading;  // radians in [0, 2 pi)
};

enum class TurnResult : std::int32_t {
  none = 0,
  invalidInput = 1,
  legTooShort = 2,
  legOutOfRange = 3,
  turnTooSmall = 4,
  turnTooLarge = 5,
  startHeadingMismatch = 6,
  invalidTangent = 7,
  excessiveLength = 8,
};

struct TurnPlan {
  static constexpr std::size_t kSamples = 128;

  // First: every step of every aircraft asks whether a plan stands.
  double length = 0.0;  // m
  TurnResult result = TurnResult::none;
  // The segment the last pose or turn share lay in: a step goes on from there, instead of a
  // search of the table at every step.
  mutable std::uint8_t stepSegment = 1;
  // fittingSpeed's working for the segment the last ask lay in, kept beside the values every step
  // reads: the tables below are read only when a step leaves the segment (a 128th of the path),
  // not at every step, where they cost several cache misses for each turning aircraft.
  struct FitBend {
    double turningSquared = std::numeric_limits<double>::quiet_NaN();  // NaN: it does not bend
    double start = 0.0;  // share where the segment begins
  };
  struct FitWindow {
    std::uint8_t segment = 0;  // 0: none kept
    double from = 0.0;         // the segment's shares
    double to = 0.0;
    FitBend own;    // the segment itself
    FitBend at;     // the least from the segment on, asked from its very start
    FitBend after;  // the least from the next segment on
  };
  mutable FitWindow fitWindow;
  Lalo origin;             // P0
  double metresPerDegreeLon = 0.0;  // the flat frame's at P0: its cosine worked out once, not at every pose
  FlatPoint corner;        // P1 in the frame of P0
  FlatPoint end;           // P2 in the frame of P0
  FlatPoint startTangent;  // m0
  FlatPoint endTangent;    // m1
  double turnAngle = 0.0;         // degrees between the two legs
  double startMismatch = 0.0;     // degrees between the start heading and the first leg
  double maxTurnOffset = 0.0;     // m, largest offset from the first leg's line toward the turn
  double maxEndLineOffset = 0.0;  // m, largest offset from the line through the end direction
  double maxCornerCut = 0.0;      // m, deepest the path runs inside both legs' lines, across the corner
  bool cornerTurn = false;
  bool endAtCorner = false;
  std::array<double, kSamples + 1> lengthShares{};  // cumulative length at t = k/128 over the total
  std::array<double, kSamples + 1> turned{};        // radians turned from the start at t = k/128, signed
  // fittingSpeed's working, done once for the rate and braking it is asked with (an aircraft's
  // own, the same every step): for each segment k, the one from k on whose bend, braked for from
  // the start, allows the least speed (0: none bends).
  mutable double fitRate = std::numeric_limits<double>::quiet_NaN();
  mutable double fitBraking = std::numeric_limits<double>::quiet_NaN();
  mutable std::array<std::uint8_t, kSamples + 2> fitLeast{};
  mutable std::uint8_t fitSegment = 1;  // where the last ask lay: a step goes on from there

  // Fills the plan; false with the failure in `result`.
  bool build(const TurnRequest& request);
  // The pose at a share (clamped to 0..1) of the length; none for a plan that did not build.
  std::optional<GeoPose> evaluate(double fraction) const;
  // The furthest share in [from, to] (shares of the length) whose heading lies within `limit`
  // radians of the heading at `from`; `to` when the plan did not build.
  double shareWithinTurn(double from, double to, double limit) const;
  // The fastest speed (m/s) at share `from` from which braking at `brakingMps2` brings the
  // aircraft down to a pace at which its nose, turning at most `rate` radians a second, follows
  // every bend of the rest of the path; infinite when nothing ahead bends.
  double fittingSpeed(double from, double rate, double brakingMps2) const;
  std::string_view resultText() const { return resultText(result); }
  static std::string_view resultText(TurnResult code);
  // No path (length 0): evaluate fails until the next build.
  void clear() { *this = TurnPlan{}; }
};

// A curve end: a position and its value (time or share).
struct CurvePoint {
  Lalo position;
  double value = 0.0;
};

struct PositionCurve {
  static constexpr std::size_t kSamples = 64;
  static constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

  // The table first: a plan that holds a curve ends it with the values every step reads.
  std::array<double, kSamples + 1> lengthShares{};
  Lalo origin;        // start position
  double s0 = kNaN;   // value at the start
  FlatPoint end;      // m from the origin
  double s1 = kNaN;   // value at the end
  FlatPoint control{kNaN, kNaN};  // m from the origin; NaN while the curve is not set

  // False, and the curve not set, unless all three positions are in range with finite values,
  // s0 < s1 and the curve has a length.
  bool build(const CurvePoint& start, const CurvePoint& controlPoint, const CurvePoint& endPoint);
  // The pose at a value in [s0, s1]; none outside it or for a curve that is not set.
  std::optional<GeoPose> evaluate(double value) const;
  bool isSet() const { return !std::isnan(control.east) && !std::isnan(control.north); }
  void clear() { *this = PositionCurve{}; }
};
