#pragma once
// What the movement step keeps about the leg an aircraft is on: the planned ground turn or
// curve with its progress, the runway roll, the tow path of an aircraft moved by a tug and the
// record of a corrective move into a stand. Plain values, reset with each new leg.
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "core/geodesy.h"
#include "traffic/flat_frame.h"
#include "traffic/path_geometry.h"
#include "traffic/speed_profile.h"

// Kind of a planned ground turn.
namespace PlanKind {
enum : std::uint32_t {
  none = 0,
  ordinary = 1,
  runwayExit = 2,    // off the runway after landing
  takeoffRoll = 3,   // a turn during the take-off roll
};
}

struct LegPlan {
  TurnPlan turn;
  PositionCurve curve;  // the fallback: position (0) through point 1 to point 2 (1.0)
  std::uint32_t planKind = PlanKind::none;
  double legTurnAngle = std::numeric_limits<double>::quiet_NaN();  // degrees the plan was built for
  double legFraction = 0.0;      // share of the turn or curve covered
  double legFractionStep = 0.0;  // share added per step

  // A turn plan stands: built and with a length.
  bool hasTurn() const { return turn.result == TurnResult::none && turn.length > 0.0; }
  bool hasCurve() const { return curve.isSet(); }
  void reset() { *this = LegPlan{}; }
};

// A runway roll (take-off or landing) run by a speed profile in metres and seconds; the step
// counter counts ticks since the roll's start.
struct RollContext {
  SpeedProfile profile;
  Lalo start;
  Lalo end;
  std::int32_t step = 0;
  std::optional<double> runwayHeading;  // radians
  bool fromTakeoffRoll = false;         // begun in takeoff_roll: the speed is capped
  bool valid = false;

  void reset() { *this = RollContext{}; }
};

// A tug's path between two poses, timed on the engine clock with an easing (gf_ease modes).
struct TowPath {
  GeoPose from;
  GeoPose to;
  std::int32_t startTick = 0;
  std::int32_t endTick = 0;
  std::uint32_t easing = 0;
  bool valid = false;
};

// A drive back into a stand after overshooting or stopping short of it.
struct CorrectiveMove {
  Lalo start;
  double startHeading = 0.0;  // radians
  std::int32_t startTick = 0;
  std::int32_t arrivalTick = 0;
  bool valid = false;
};
