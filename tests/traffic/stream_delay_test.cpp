// The ground rules' re-timing held to the aircraft's window around its feed's times (a standing
// aircraft making up what it is late runs through the update pass in ground_motion_sim_test).
#include "traffic/stream_delay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>


namespace {

constexpr std::int32_t kNow = 10000;

struct Point {
  std::int32_t time;
  std::optional<std::int32_t> feedTime;
  bool repeated = false;
};

LiveAc lf_aircraft(const std::vector<Point>& points, std::int32_t limitB) {
  LiveAc aircraft(StreamPoint{}, AcIdentity{}, 0.0);
  aircraft.stream.clear();
  for (const Point& p : points) {
    StreamPoint point;
    point.time = p.time;
    point.feedTime = p.feedTime;
    point.repeated = p.repeated;
    aircraft.stream.push_back(point);
  }
  aircraft.predictLimitB = limitB;
  return aircraft;
}

std::vector<std::int32_t> lf_times(const LiveAc& aircraft) {
  std::vector<std::int32_t> times;
  for (const StreamPoint& p : aircraft.stream) times.push_back(p.time);
  return times;
}

TEST(StreamDelayTest, TheGroundRulesMoveAStreamNoLaterThanItsWindow) {
  struct Case {
    const char* what;
    std::vector<Point> points;
    std::int64_t ticks;
    std::size_t first;
    std::int32_t moved;
    std::vector<std::int32_t> times;
  } cases[] = {
      {"well within", {{kNow, kNow}, {kNow + 400, kNow + 400}}, 300, 0, 300, {kNow + 300, kNow + 700}},
      {"held at the window", {{kNow, kNow}, {kNow + 800, kNow + 400}}, 900, 0, 500, {kNow + 500, kNow + 1300}},
      {"at the window already", {{kNow, kNow}, {kNow + 1300, kNow + 400}}, 100, 0, 0, {kNow, kNow + 1300}},
      {"later points only", {{kNow, kNow - 5000}, {kNow + 400, kNow + 400}}, 300, 1, 300, {kNow, kNow + 700}},
      // Points the program made itself (a stop it brakes to) follow; the feed's still bound.
      {"a made point after a fed one", {{kNow + 400, kNow + 400}, {kNow + 600, std::nullopt}}, 2000, 0, 900,
       {kNow + 1300, kNow + 1500}},
      {"no fed point: as asked", {{kNow, std::nullopt}, {kNow + 600, std::nullopt}}, 2000, 0, 2000,
       {kNow + 2000, kNow + 2600}},
      {"nothing asked", {{kNow, kNow}}, 0, 0, 0, {kNow}},
      {"beyond the clock's end", {{2147483000, 2147483000}}, 2000, 0, 647, {2147483647}},
  };
  for (const Case& c : cases) {
    LiveAc aircraft = lf_aircraft(c.points, 900);
    EXPECT_EQ(gf_delayStream(aircraft, c.ticks, c.first), c.moved) << c.what;
    EXPECT_EQ(lf_times(aircraft), c.times) << c.what;
  }
  // The point that refused a delay is asked first the next time; points before `first`, and a
  // point that has since taken its place, do not refuse for it.
  LiveAc aircraft = lf_aircraft({{kNow, kNow}, {kNow + 1300, kNow + 400}, {kNow + 1700, kNow + 1700}}, 900);
  EXPECT_EQ(gf_delayStream(aircraft, 100), 0);
  EXPECT_EQ(gf_delayStream(aircraft, 100, 2), 100);
  aircraft.stream.pop_front();
  EXPECT_EQ(gf_delayStream(aircraft, 100), 0);
  aircraft.stream.pop_front();
  EXPECT_EQ(gf_delayStream(aircraft, 100), 100);
  EXPECT_EQ(lf_times(aircraft), std::vector<std::int32_t>{kNow + 1900});
}

// A point the program puts on a reported leg: due where the aircraft is due there.
TEST(StreamDelayTest, APointPutOnALegIsDueWhereItLies) {
  struct Case {
    const char* what;
    std::optional<std::int32_t> fromFeed, toFeed;
    double fromKt, toKt, share;
    std::optional<std::int32_t> feedTime;
  } cases[] = {
      {"steady", 1000, 3400, 20.0, 20.0, 0.5, 2200},
      {"slowing: the second half takes longer", 1000, 2000, 140.0, 60.0, 0.5, 1404},
      {"from a stand-still", 1000, 2000, 0.0, 20.0, 0.25, 1500},
      {"at the far end", 1000, 2000, 140.0, 60.0, 1.0, 2000},
      {"no speeds: by its distance", 1000, 2000, NAN, NAN, 0.25, 1250},
      {"the far point made by the program", 1000, std::nullopt, 20.0, 20.0, 0.5, std::nullopt},
  };
  for (const Case& c : cases) {
    StreamPoint from, to;
    from.feedTime = c.fromFeed, to.feedTime = c.toFeed;
    from.groundSpeed = c.fromKt, to.groundSpeed = c.toKt;
    EXPECT_EQ(gf_feedTimeBetween(from, to, c.share), c.feedTime) << c.what;
  }
  // The midpoint of a 24-s leg late by 2 s: the bound leaves it the window less that, not less
  // the 12 s it would seem late by against the first point's time.
  LiveAc aircraft = lf_aircraft({{kNow, kNow}, {kNow + 1400, std::nullopt}, {kNow + 2600, kNow + 2400}}, 900);
  aircraft.stream[1].feedTime = gf_feedTimeBetween(aircraft.stream[0], aircraft.stream[2], 0.5);
  EXPECT_EQ(gf_delayStream(aircraft, 900, 1), 700);
}

}  // namespace
