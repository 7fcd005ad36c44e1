#pragma once
// Streams as the feed delivers them: a report every 2 to 10 s along a track at a speed, with the
// faults real feeds have (speeds missing, a position repeated, a report from the past, a gap).
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <random>

#include "core/geodesy.h"
#include "traffic/live_ac.h"

namespace stream_test {

class StreamBuilder {
 public:
  StreamBuilder(const Lalo& start, std::int32_t time) {
    next_.lalo = start;
    next_.time = time;
  }
  StreamBuilder& ground(double speedKt) {
    next_.airborne = false, next_.altitude = 0.0, speedKt_ = speedKt;
    return *this;
  }
  StreamBuilder& air(double altitudeFt, double speedKt, double verticalRate = 0.0) {
    next_.airborne = true, next_.altitude = altitudeFt, next_.verticalRate = verticalRate, speedKt_ = speedKt;
    return *this;
  }
  StreamBuilder& track(double degrees) { return next_.track = degrees, *this; }
  // The nose the reports give from here on (a tug pushes tail first); NaN: none given.
  StreamBuilder& nose(double degrees) {
    next_.trueHeadingRad.reset();
    if (!std::isnan(degrees)) next_.trueHeadingRad = degrees * geo::kDegToRad;
    return *this;
  }
  // Reports `ticks` apart from here on; the feed's range is 200 to 1000.
  StreamBuilder& every(std::int32_t ticks) { return every_ = ticks, *this; }

  // n reports moving along the track, the first one where the builder stands.
  StreamBuilder& moving(int n) {
    for (int i = 0; i < n; ++i) {
      if (!points_.empty()) advance(every_);
      push();
    }
    return *this;
  }
  // n reports at the feed's own pace, 2 to 10 s apart, drawn from the seed.
  StreamBuilder& reports(int n, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::int32_t> interval(200, 1000);
    for (int i = 0; i < n; ++i) {
      if (!points_.empty()) advance(interval(random));
      push();
    }
    return *this;
  }
  // n reports of the last position, later each time, marked as the intake marks them.
  StreamBuilder& repeats(int n) {
    for (int i = 0; i < n; ++i) {
      next_.time += every_;
      push();
      points_.back().repeated = true;
      points_.back().groundSpeed = 0.0;
    }
    return *this;
  }
  StreamBuilder& nanSpeed() {
    points_.back().groundSpeed = std::numeric_limits<double>::quiet_NaN();
    return *this;
  }
  // A report of a time before the last one, at the last position moved on by a tick's travel.
  StreamBuilder& past(std::int32_t ticksBefore) {
    StreamPoint late = points_.back();
    late.time -= ticksBefore;
    late.feedTime = late.time;
    points_.push_back(late);
    return *this;
  }
  // The feed falls silent for a while; the next report comes that much later and farther.
  StreamBuilder& gap(std::int32_t ticks) {
    advance(ticks);
    return *this;
  }

  std::deque<StreamPoint> build() const { return points_; }
  // The aircraft at point 0, heading along the track, with the stream.
  void into(LiveAc& aircraft) const {
    aircraft.stream = points_;
    aircraft.position = points_.front().lalo;
    aircraft.altitude = points_.front().altitude;
    aircraft.heading = points_.front().track * geo::kDegToRad;
    aircraft.onGround = !points_.front().airborne;
  }

 private:
  void advance(std::int32_t ticks) {
    const double feet = speedKt_ * ticks / 360000.0 * geo::kFeetPerNm;
    next_.lalo = gf_destinationPoint(next_.lalo, {next_.track * geo::kDegToRad, feet});
    next_.lalo.lon = gf_wrapLongitude(next_.lalo.lon);
    next_.altitude += next_.verticalRate * ticks / 6000.0;
    next_.time += ticks;
  }
  void push() {
    next_.groundSpeed = speedKt_;
    next_.feedTime = next_.time;
    points_.push_back(next_);
  }

  StreamPoint next_;
  double speedKt_ = 0.0;
  std::int32_t every_ = 500;
  std::deque<StreamPoint> points_;
};

}  // namespace stream_test
