#pragma once
// Numerical routines of the movement, arrival and collision code: positions relative to stands
// and other aircraft, smoothing of speeds and headings, turns, descents and curved paths.
// Each takes values and returns a small record; none keeps state, allocates or logs. Angles
// in radians unless a name says degrees; flat-earth tests use 60 NM per degree.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/geodesy.h"
#include "traffic/flat_frame.h"

// Where a target lies seen from an origin looking along a heading.
struct RelativeGeometry {
  double distanceM = 0.0;
  double relativeBearing = 0.0;  // off the heading, [-pi, pi], positive to the right
  double alongM = 0.0;           // ahead along the heading
  double crossM = 0.0;           // to the right of it
};
// All but the distance 0 within 0.1 m.
RelativeGeometry gf_relativeGeometry(const Lalo& origin, double heading, const Lalo& target);

// Whether two circles (radii in NM) touch; false when the radii add up to 0 or less.
bool gf_withinRadii(const Lalo& a, double radiusANm, const Lalo& b, double radiusBNm);

// A is the user's aircraft, B the other; phase 0 tests only the close case, 1 and 2 the
// caller's two further geometries.
struct ConflictInput {
  std::uint32_t phase = 0;
  double latitudeA = 0.0;
  double longitudeA = 0.0;
  double latitudeB = 0.0;
  double longitudeB = 0.0;
  double cosLatitude = 1.0;
  double headingA = 0.0;
  double headingB = 0.0;
  double altitudeA = 0.0;  // ft
  double altitudeB = 0.0;  // ft
};
struct ConflictResult {
  // Verdict 0: no conflict; 1: close ahead; 2 to 4: the phases' conflicts.
  std::uint32_t verdict = 0;
  // Why not: 1 beyond 4 NM, 2 over 1000 ft apart, 3 headings apart, 4 too far behind, 5 not
  // ahead, 6 too far ahead, 7 too far aside.
  std::uint32_t reason = 0;
  double distanceNm = 0.0;
  double altitudeDifference = 0.0;  // ft, B above A
  double alongNm = 0.0;
  double lateralFt = 0.0;
  double limitFt = 0.0;
  double headingDifference = 0.0;
};
ConflictResult gf_userConflictTest(const ConflictInput& input);

// Easing of t in [0, 1]: mode 0 linear, 1 ease in, 2 ease out, 3 smoothstep.
double gf_ease(double t, std::uint32_t mode);
// A start (mode 1) or a stop (mode 2) that changes speed over the first or last `ramp` share of
// the leg only; other modes and a ramp of 1 are gf_ease.
double gf_rampEase(double t, std::uint32_t mode, double ramp);
// The share of a leg of `metres` in `seconds` that a start from standstill (or a stop) needs at
// the given acceleration; 1 when even the whole leg is too short for it.
double gf_rampShare(double metres, double seconds, double accelerationMps2);
// Ground starts and stops as an airliner makes them, m/s^2: about 2.5 kt/s and 3 kt/s; a take-off
// roll gathers about 4 kt/s.
inline constexpr double kGroundAccelerationMps2 = 2.5 * 0.5144444444444445;
inline constexpr double kGroundBrakingMps2 = 3.0 * 0.5144444444444445;
inline constexpr double kTakeoffRollAccelerationMps2 = 4.0 * 0.5144444444444445;
// In the air an airliner changes its speed by about 3 kt/s, 4 kt/s on its climb-out.
inline constexpr double kAirAccelerationMps2 = 3.0 * 0.5144444444444445;
inline constexpr double kClimbOutAccelerationMps2 = 4.0 * 0.5144444444444445;

// One step of at most `step` from value toward target.
double gf_approachValue(double value, double target, double step);

struct DescentRateLimit {
  double rate = 0.0;  // ft/min
  bool clamped = false;
};
// A descent rate held within 1200 ft/min of the recent ones and the category's limit; never a climb.
DescentRateLimit gf_limitDescentRate(double proposedRate, std::span<const double> recentRates, std::int32_t category);

struct TravelInput {
  double distanceM = 0.0;
  double reportedTimeS = 0.0;
  double speed1Kt = 0.0;
  double speed2Kt = 0.0;
  std::int32_t category = 0;
};
struct TravelTime {
  double minimumTimeS = 0.0;
  double impliedSpeedKt = 0.0;
  bool tooFast = false;
};
// The least time an airborne leg can take at the category's plausible speeds.
TravelTime gf_minTravelTime(const TravelInput& input);

struct ClimbSample {
  double value = 0.0;
  std::uint32_t time = 0;  // engine ticks
};
// The first sample that rose clearly above the reference after an earlier sample of some value.
std::optional<std::size_t> gf_findClimbIndex(std::span<const ClimbSample> samples, double reference);

struct DescentInput {
  // q0 vertical rate ft/min; q1 - q2 the height ft; q3 and q4 distances m (q3 < q4); q5 speed kt;
  // q6, q7, q8 the values that, with the flag, leave the descent alone.
  std::array<double, 9> q{};
  bool flag = false;
};
struct DescentCorrection {
  double rate = 0.0;          // ft/min
  double aimDistanceM = 0.0;
  bool corrected = false;
};
// A steeper descent when the height would not be lost before the aim point.
DescentCorrection gf_descentCorrection(const DescentInput& input);

bool gf_isDescentGeometryValid(const std::array<double, 7>& q);

struct HeadingLinePull {
  Lalo a;
  Lalo b;
  double heading = 0.0;
  double bearingLimit = 0.0;
  double offsetLimitM = 0.0;
  double fraction = 0.0;  // share of the cross offset kept
};
struct HeadingLinePullResult {
  Lalo point;
  double bearing = 0.0;  // from A to the point
  double relativeBearing = 0.0;
  double crossM = 0.0;
  bool moved = false;
};
// B moved toward the line from A along the heading, when it lies ahead within the limits.
HeadingLinePullResult gf_pullTowardHeadingLine(const HeadingLinePull& input);

struct StraightAhead {
  Lalo position;
  std::span<const Lalo> points;
  double heading = 0.0;
  double minimumM = 0.0;
  double maximumM = 0.0;
  double angleLimit = 0.0;
};
struct StraightAheadResult {
  double heading = 0.0;
  double distanceM = 0.0;
  bool found = false;
};
// The heading to the farthest of the points ahead when they lie on a straight line near it.
StraightAheadResult gf_straightAheadHeading(const StraightAhead& input);

struct TurnStepInput {
  double heading = 0.0;
  double targetHeading = 0.0;
  double bank = 0.0;
  double forcedBank = 0.0;
  bool useForced = false;
  double speedKt = 0.0;
  double dt = 0.0;            // s
  double timeConstant = 0.0;  // s
  double maxTurnRate = 0.0;   // rad/s
  double maxBank = 0.0;
  double maxRollRate = 0.0;   // rad/s
};
struct TurnStepResult {
  double bank = 0.0;
  double turnRate = 0.0;
  double rollRate = 0.0;
  double targetBank = 0.0;
  bool forced = false;
  bool forceRejected = false;
};
// One step of a coordinated turn toward the target heading; all zero for unusable limits.
TurnStepResult gf_turnStep(const TurnStepInput& input);

// The bank allowed near the ground (height in ft): 5 degrees when tight, up to 10 degrees below
// 100 ft widening to the full bank at 1000 ft.
double gf_bankLimit(double bank, bool limited, double heightFt, bool tight);

struct HermitePoseInput {
  Lalo start;
  Lalo end;
  double endHeading = 0.0;
  double angleLimit = 0.0;  // largest bend of the end direction off the chord
  double t = 0.0;
};
struct HermitePose {
  Lalo position;
  double heading = 0.0;
  bool curved = false;
  bool valid = false;
};
HermitePose gf_hermitePose(const HermitePoseInput& input);

// An aircraft's position against a stand, seen from the stand along its heading.
struct StandAlignment {
  double distanceM = 0.0;
  double headingDifferenceDeg = 0.0;
  double alongM = 0.0;
  double crossM = 0.0;
  bool ahead = false;       // more than 3 m ahead
  bool far = false;         // more than 15 m away
  bool headingOff = false;  // 45 degrees or more off the stand heading
  bool offCentre = false;   // more than 8 m aside
  bool notOk = false;       // not ahead and one of the three above
  bool aligned = false;
};
StandAlignment gf_standAlignment(const GeoPose& stand, const Lalo& aircraft, double aircraftHeading);

struct StandApproachCheck {
  double distanceM = 0.0;
  bool ok = false;
  std::string_view reason;  // why not; empty when ok
};
StandApproachCheck gf_checkStandApproach(const GeoPose& stand, double standRadiusNm, const Lalo& aircraft,
                                         double aircraftHeading, double aircraftRadiusNm);

// A cubic Bezier between two poses with control points a third of the distance along their headings.
GeoPose gf_bezierPose(const GeoPose& a, const GeoPose& b, double t);

// Whether an aircraft 3 to 13 m short of a stand can drive straight in.
bool gf_isDirectFinalOk(const GeoPose& stand, const Lalo& aircraft, double aircraftHeading);

// The offset behind a stand (10 or else 5 m) from which the aircraft can turn in within 15
// degrees; along and cross relative to the stand.
std::optional<double> gf_findApproachOffset(double alongM, double crossM);
