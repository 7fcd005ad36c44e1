#pragma once
// What the movement step keeps about the leg an aircraft is on: the planned ground turn or
// curve with its progress, the runway roll, the tow path of an aircraft moved by a tug and the
// record of a corrective move into a stand. Plain values, reset with each new leg.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
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

// The values every step reads lie together in the middle (the curve's end, these, the turn's
// start), the sample tables either side: the engine's pass over every aircraft reads a few
// neighbouring cache lines of a plan.
struct LegPlan {
  PositionCurve curve;  // the fallback: position (0) through point 1 to point 2 (1.0)
  // These and the turn's length and result, read at every tick, share one cache line.
  alignas(64) std::uint32_t planKind = PlanKind::none;
  double legTurnAngle = std::numeric_limits<double>::quiet_NaN();  // degrees the plan was built for
  double legFraction = 0.0;      // share of the turn or curve covered
  double legFractionStep = 0.0;  // share added per step
  double lastShare = -1.0;       // share the last step of a ground turn took; -1: none yet
  TurnPlan turn;

  // A turn plan stands: built and with a length.
  bool hasTurn() const { return turn.result == TurnResult::none && turn.length > 0.0; }
  bool hasCurve() const { return curve.isSet(); }
  void reset() { *this = LegPlan{}; }
};

// A runway roll (take-off or landing) run by a speed profile in metres and seconds; the step
// counter counts ticks since the roll's start.
struct RollContext {
  bool valid = false;
  bool fromTakeoffRoll = false;         // begun in takeoff_roll: the speed is capped
  std::int32_t step = 0;
  SpeedProfile profile;
  Lalo start;
  Lalo end;
  std::optional<double> runwayHeading;  // radians

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

// The shares of an eased ground leg, one per tick: ease((i + 1) / n) - ease(i / n) for the
// leg's easing kind, worked out when asked rather than stored, so that a new leg allocates
// nothing. A leg of no ticks has the one share 1. A start (kind 1) or a stop (kind 2) speeds up or
// slows down over the leg's first or last `ramp` share only and rolls evenly over the rest.
class EasedShares {
 public:
  EasedShares() = default;
  EasedShares(std::int32_t ticks, std::uint32_t kind, double ramp = 1.0)
      : m_ticks(ticks < 1 ? 1 : static_cast<std::size_t>(ticks)),
        m_kind(ticks < 1 ? 0 : kind),
        m_ramp(ramp > 0.0 && ramp < 1.0 ? ramp : 1.0) {}

  std::size_t size() const { return m_ticks; }
  bool empty() const { return m_ticks == 0; }
  double operator[](std::size_t i) const;
  double front() const { return (*this)[0]; }
  double back() const { return (*this)[m_ticks - 1]; }

  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = double;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = double;
    Iterator() = default;
    Iterator(const EasedShares* shares, std::size_t i) : m_shares(shares), m_i(i) {}
    double operator*() const { return (*m_shares)[m_i]; }
    Iterator& operator++() {
      ++m_i;
      return *this;
    }
    Iterator operator++(int) {
      Iterator was = *this;
      ++m_i;
      return was;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.m_i == b.m_i; }

   private:
    const EasedShares* m_shares = nullptr;
    std::size_t m_i = 0;
  };
  Iterator begin() const { return {this, 0}; }
  Iterator end() const { return {this, m_ticks}; }

 private:
  std::size_t m_ticks = 0;
  std::uint32_t m_kind = 0;
  double m_ramp = 1.0;
};
