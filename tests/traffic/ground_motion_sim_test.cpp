// Ground movement as a pilot sees it in the simulator: through the installed update pass against
// the stand-in, second by second, the nose stays with the motion, speed changes stay within an
// airliner's, and a turn on the spot is no faster than the aircraft's own turn rate.
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "tests/traffic/engine_sim_fixture.h"
#include "tests/traffic/stream_builder.h"
#include "traffic/adding_stack.h"

namespace {
using namespace traffic_test;
namespace sim = standin::sim;
constexpr std::string_view kTitle = "Stand-in A320 Test Air";
constexpr std::uint32_t kHexid = 0x4840D6;
constexpr double kKtPerMps = 1.9438444924406046;

// What a pilot would object to in one second of the simulator's picture.
struct Faults {
  double worstSlideDeg = 0.0;      // nose against motion above 5 kt
  double worstGainKt = 0.0;        // speed gained in one second
  double worstLossKt = 0.0;        // speed lost in one second
  double worstPivotDegPerS = 0.0;  // turn while standing
  double reachedEndS = -1.0;       // when it first stood within 3 m of its last report
  double turnedBeforeMovingDeg = 0.0;  // the nose's turn before the aircraft first moved 5 m
  double leastRollingKt = INFINITY;    // once it has rolled above 5 kt, short of its last 15 m
  bool rolled = false;
  std::string where;
  void note(double& worst, double value, double t, const char* what) {
    if (!(value > worst)) return;
    worst = value;
    where += std::string(what) + " " + std::to_string(value) + " at " + std::to_string(t) + " s; ";
  }
};

class GroundMotionSimTest : public EngineSimLinkTest {
 protected:
  void SetUp() override {
    EngineSimLinkTest::SetUp();
    g_dbaseModelCodes.insert("B738");
    parkAirport("EHAM", kEham, 0);
    connect();
  }

  static LiveAc& taxiing(const stream_test::StreamBuilder& reports) {
    const std::deque<StreamPoint> points = reports.build();
    Rec first(kHexid, "KLM1234", "B738");
    first.at(points.front().lalo).ground(points.front().groundSpeed, points.front().track);
    LiveAc& ac = addLive(first, SimStatus::buffer, FlightPhase::birth);
    reports.into(ac);
    g_liveryChoices[kHexid] = kTitle;
    return ac;
  }

  // One engine tick per update with a simulator frame every tenth, read once a second from the
  // simulator's own object.
  // The nose is set to startHeadingDeg once the aircraft is in the simulator.
  Faults taxi(std::int32_t ticks, double startHeadingDeg, std::optional<Lalo> end = std::nullopt) {
    Faults faults;
    struct Second {
      Lalo at;
      double heading;
      double kt;
    };
    std::optional<Second> last;
    std::optional<Lalo> first;
    for (std::int32_t tick = 0; tick < ticks && !g_liveAcs.empty(); ++tick) {
      lf_handleAddingStack();
      if (tick % 10 == 0) frame();
      if (g_liveAcs[0].simState != SimStatus::active) continue;
      if (!std::isnan(startHeadingDeg)) {
        g_liveAcs[0].heading = startHeadingDeg * geo::kDegToRad;
        startHeadingDeg = std::nan("");
      }
      if (tick % 100 != 0) continue;
      const auto object = sim::object(g_liveAcs[0].objectId);
      if (!object) continue;
      const Lalo at{object->latitude, object->longitude};
      const double heading = object->heading;
      if (end && faults.reachedEndS < 0.0 && gf_distanceNm(at, *end) * 1852.0 < 3.0) faults.reachedEndS = tick / 100.0;
      if (!first) first = at;
      if (last && gf_distanceNm(*first, at) * 1852.0 < 5.0)
        faults.turnedBeforeMovingDeg += std::fabs(gf_wrapAngle(heading - last->heading)) / geo::kDegToRad;
      if (last) {
        const double metres = gf_distanceNm(last->at, at) * 1852.0;
        const double kt = metres * kKtPerMps;
        const double t = tick / 100.0;
        if (faults.rolled && end && gf_distanceNm(at, *end) * 1852.0 > 15.0)
          faults.leastRollingKt = std::min(faults.leastRollingKt, kt);
        faults.rolled = faults.rolled || kt > 5.0;
        if (kt > 5.0) {
          const double motion = gf_bearingRad(last->at, at);
          const double middle = last->heading + gf_wrapAngle(heading - last->heading) / 2.0;
          faults.note(faults.worstSlideDeg, std::fabs(gf_wrapAngle(middle - motion)) / geo::kDegToRad, t, "slide");
        }
        if (!std::isnan(last->kt)) {
          faults.note(faults.worstGainKt, kt - last->kt, t, "gain");
          faults.note(faults.worstLossKt, last->kt - kt, t, "loss");
        }
        if (kt < 1.0 && !(last->kt >= 1.0))
          faults.note(faults.worstPivotDegPerS, std::fabs(gf_wrapAngle(heading - last->heading)) / geo::kDegToRad, t,
                      "pivot");
        last = Second{at, heading, kt};
      } else {
        last = Second{at, heading, std::nan("")};
      }
    }
    return faults;
  }
};

TEST_F(GroundMotionSimTest, ATaxiWithTurnsStartsStopsAndTurnsAsAnAirlinerDoes) {
  struct Leg {
    double trackDeg, speedKt;
    int reports;
    double noseDeg = NAN;  // the nose the reports give, where a tug pushes
  };
  struct Case {
    const char* what;
    double startTrackDeg;  // the nose at the start
    std::vector<Leg> legs;
    int standingReports;   // at the last point; 0: the reports end while it rolls
    double mostLossKt = 6.0;  // in one second; a stop the program makes up brakes evenly
    double mostLateS = 99.0;  // at its last point, against the feed's time for it
    double mostTurnFirstDeg = 360.0;  // before it has moved 5 m
    double leastRollingKt = 0.0;      // once rolling, short of its stop
    std::int32_t everyTicks = 400;    // between reports
    double mostSlideDeg = 20.0;       // nose against motion, over a second above 5 kt
  } cases[] = {
      // Each right angle at 15 kt costs it about 4.5 s: it brakes to about 5 kt before the turn.
      {"turns of 45 and 90 degrees, then a stop", 0.0, {{0.0, 15.0, 5}, {45.0, 15.0, 5}, {315.0, 15.0, 5}}, 3, 4.0, 8.0},
      {"the reports end while it rolls", 0.0, {{0.0, 18.0, 6}}, 0, 3.5},
      // What the start after the stop costs it is taken off the wait there.
      {"a stop amid the taxi, then on", 0.0, {{0.0, 15.0, 4}, {0.0, 0.0, 3}, {0.0, 15.0, 4}}, 2, 6.0, 6.0},
      {"a start from standstill 40 degrees aside", 320.0, {{0.0, 0.0, 2}, {0.0, 12.0, 6}}, 2, 6.0, 8.0},
      {"a start from standstill 100 degrees aside", 260.0, {{0.0, 0.0, 2}, {0.0, 12.0, 6}}, 2, 6.0, 16.0},
      {"four right angles in a row",
       0.0,
       {{0.0, 15.0, 5}, {90.0, 15.0, 5}, {0.0, 15.0, 5}, {90.0, 15.0, 5}, {0.0, 15.0, 5}},
       2,
       4.0,
       19.0},
      // Off the runway at taxi speed, the reports ending soon after the turn: on out of the turn
      // at its pace, then the stop the program makes up, begun at the speed it rolls at.
      {"off the runway at 22 kt, then the reports end", 138.0, {{138.0, 22.0, 3}, {166.0, 20.0, 3}}, 0, 3.5},
      {"a 30-degree turn at 20 kt, then a stop", 0.0, {{0.0, 20.0, 4}, {30.0, 20.0, 4}}, 3, 3.5, 5.0},
      // Too sharp for its pace: it slows before the turn at its braking rate, not inside it.
      {"a right angle at 18 kt", 0.0, {{0.0, 18.0, 5}, {90.0, 18.0, 5}}, 3, 4.0, 12.0},
      {"a right angle at 20 kt, then the reports end", 0.0, {{0.0, 20.0, 4}, {270.0, 20.0, 4}}, 0, 4.0},
      // Out of a stop straight into a turn: it gathers speed at an airliner's rate in the turn too.
      {"a start from standstill into a 60-degree turn", 0.0, {{0.0, 0.0, 2}, {0.0, 12.0, 2}, {60.0, 12.0, 4}}, 2, 4.0, 14.0},
      // First seen while a tug pushes it: on tail first, as reported, instead of turning on the
      // spot to drive the push nose first; then round to its taxi leg before it rolls.
      {"first seen pushed back, then taxiing 110 degrees aside",
       180.0,
       {{0.0, 3.0, 8, 180.0}, {0.0, 0.0, 3}, {70.0, 10.0, 6}},
       2,
       6.0,
       30.0,
       5.0},
      // Its nose 135 degrees off the way to a corner of 43 degrees 15 m on, the next leg 9 m:
      // turned on the spot, it takes the corner on a path instead of creeping round it.
      {"a start from standstill 135 degrees aside into a corner",
       180.0,
       {{45.0, 0.0, 2}, {45.0, 7.5, 2}, {88.0, 4.5, 2}, {70.0, 10.0, 8}},
       2,
       4.0,
       99.0,
       360.0,
       3.0,
       200},
      // First seen rolling off the runway at its exit's corner, its nose reported half-way round:
      // the first leg runs on 19 degrees from that nose, and the nose goes along it from the start.
      {"first seen rolling at a corner, its nose reported half-way round", NAN,
       {{166.0, 20.0, 1, 147.0}, {166.0, 20.0, 5}}, 0, 3.5, 99.0, 360.0, 0.0, 400, 5.0},
  };
  // A B738 turns on the spot at most 1.2 times its base rate of 7 degrees a second.
  const double pivotLimit = 1.2 * 7.0 + 0.5;
  for (const Case& c : cases) {
    g_liveAcs.clear();
    stream_test::StreamBuilder reports(kEham, g_engineTime.load() + 50);
    reports.every(c.everyTicks);
    bool first = true;
    for (const Leg& leg : c.legs) {
      reports.ground(leg.speedKt).track(leg.trackDeg).nose(leg.noseDeg);
      if (first) {
        reports.moving(leg.reports);
        first = false;
      } else if (leg.speedKt == 0.0) {
        reports.repeats(leg.reports);  // standing amid the taxi, as the intake marks it
      } else {
        reports.gap(c.everyTicks).moving(leg.reports - 1);
      }
    }
    if (c.standingReports > 0) reports.repeats(c.standingReports);
    taxiing(reports);
    const std::deque<StreamPoint> points = reports.build();
    const std::int32_t lastDue = points.back().time - g_engineTime.load();
    const Faults f = taxi(lastDue + 3000, c.startTrackDeg, points.back().lalo);
    // Due where it stops with the last moving report.
    const double stopDueS = (lastDue - c.everyTicks * c.standingReports) / 100.0;
    // The turns and starts the program slows for make it late; it stays within its window of the
    // feed's times and a stop takes what it is late off the wait.
    if (c.standingReports > 0) {
      ASSERT_GE(f.reachedEndS, 0.0) << c.what;
      EXPECT_LE(f.reachedEndS - stopDueS, c.mostLateS) << c.what;
    }
    EXPECT_LE(f.worstSlideDeg, c.mostSlideDeg) << c.what << ": " << f.where;
    EXPECT_LE(f.worstGainKt, 3.5) << c.what << ": " << f.where;
    EXPECT_LE(f.worstLossKt, c.mostLossKt) << c.what << ": " << f.where;
    EXPECT_LE(f.worstPivotDegPerS, pivotLimit) << c.what << ": " << f.where;
    EXPECT_LE(f.turnedBeforeMovingDeg, c.mostTurnFirstDeg) << c.what;
    EXPECT_GE(f.leastRollingKt, c.leastRollingKt) << c.what << ": " << f.where;
  }
}

}  // namespace
