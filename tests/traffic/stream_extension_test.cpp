// Extensions of a silent stream, re-timing of the next point, midpoints, look-ahead and turn speed.
#include "traffic/stream_extension.h"

#include <cmath>
#include <limits>

#include "tests/traffic/traffic_fixture.h"

namespace {
using namespace traffic_test;

class StreamExtensionTest : public EngineTest {};

TEST_F(StreamExtensionTest, BudgetsByState) {
  struct Case {
    std::uint32_t state;
    const char* model;
    double lastSpeedKt;
    std::int32_t expected;
  };
  const Case cases[] = {
      {FlightPhase::takeoff_roll, "B738", 0.0, 20}, {FlightPhase::landing, "B738", 0.0, 20},
      {FlightPhase::parked, "B738", 0.0, 1},        {FlightPhase::taxi, "B738", 0.0, 60},  // 3 holding minutes
      {FlightPhase::flying, "B738", 70.0, 20},      {FlightPhase::flying, "B738", 69.0, 0},
      {FlightPhase::flying, "C172", 25.0, 20},      {FlightPhase::flying, "EC35", 0.0, 20},
      {FlightPhase::parking, "B738", 0.0, 0},
  };
  for (const Case& c : cases) {
    reset();
    LiveAc& ac = addLive(Rec(0x100, "KLM1", c.model).air(3000.0, c.lastSpeedKt), SimStatus::active, c.state);
    EXPECT_EQ(gf_extensionBudget(ac), c.expected) << c.state << " " << c.model << " " << c.lastSpeedKt;
  }
  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.lightAircraft = false; });
  EXPECT_EQ(gf_extensionBudget(addLive(Rec(0x200, "N1", "C172"), SimStatus::active, FlightPhase::takeoff)), 0);
}

TEST_F(StreamExtensionTest, AParkedAircraftWithoutFeedStaysAWeek) {
  LiveAc& ac = addLive(Rec(0x100).ground(0.0).due(1000), SimStatus::active, FlightPhase::parked);
  ac.standApproach = true;
  gf_extendStream(ac, 1);
  ASSERT_EQ(ac.stream.size(), 2u);
  EXPECT_EQ(ac.stream.back().time, 1000 + 60'480'000);
  EXPECT_TRUE(ac.stream.back().repeated);
  EXPECT_EQ(ac.stream.back().lalo, kEham);
  EXPECT_FALSE(ac.standApproach);
}

// Without reports an airborne aircraft slows, but no faster than it can and never below a speed
// its type flies, a climbing one not at all, and what its points say of its climb matches the
// height they give.
TEST_F(StreamExtensionTest, AirborneExtensionsSlowNoFurtherThanTheTypeFlies) {
  struct Case {
    const char* what;
    const char* model;
    std::uint32_t state;
    double speedKt;
    double reportedFtMin;  // the last report's vertical speed
    double groundFt;       // the simulator's ground under it; NaN: not known
    int extensions;
    double expectedKt;
    double climbFt;  // over all extensions
    double verticalRate;
  };
  constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"a light climb-out keeps its speed", "C172", FlightPhase::takeoff, 150.0, 2304.0, kUnknown, 2, 150.0, 150.0,
       1500.0},
      {"an airliner's climb-out keeps its speed", "B738", FlightPhase::takeoff, 145.0, 2304.0, kUnknown, 2, 145.0, 150.0,
       1500.0},
      {"a climbing airliner holds its climb and its speed to the end", "B738", FlightPhase::flying, 205.0, 2304.0,
       kUnknown, 20, 205.0, 20 * 115.2, 2304.0},
      {"a departure whose reports end at 208 kt is at 208 kt 12 s on", "B738", FlightPhase::flying, 208.0, 2500.0,
       kUnknown, 4, 208.0, 4 * 125.0, 2500.0},
      {"a climbing light aircraft keeps its speed", "C172", FlightPhase::flying, 76.0, 700.0, kUnknown, 20, 76.0,
       20 * 35.0, 700.0},
      {"a climbing helicopter keeps its speed", "EC35", FlightPhase::flying, 60.0, 500.0, kUnknown, 20, 60.0, 20 * 25.0,
       500.0},
      {"a level airliner loses a knot a second", "B738", FlightPhase::flying, 205.0, 0.0, kUnknown, 20, 145.0, 0.0, 0.0},
      {"a heavy holds a heavy's speed", "B77W", FlightPhase::flying, 160.0, 0.0, kUnknown, 20, 150.0, 0.0, 0.0},
      {"one already slower is not sped up", "B738", FlightPhase::flying, 120.0, 0.0, kUnknown, 3, 120.0, 0.0, 0.0},
      {"a helicopter may come to a hover", "EC35", FlightPhase::flying, 60.0, 0.0, kUnknown, 20, 60.0 * std::pow(0.9, 20),
       0.0, 0.0},
      {"a descent goes on down to 1000 ft over the ground", "B738", FlightPhase::flying, 205.0, -2000.0, 3000.0, 20,
       145.0, -1000.0, 0.0},
      {"a descent over unknown ground levels off", "B738", FlightPhase::flying, 205.0, -2000.0, kUnknown, 1, 202.0, 0.0,
       0.0},
      {"an approach slows from the fourth on, no further than it flies", "B738", FlightPhase::landing, 150.0, -700.0,
       kUnknown, 20, 140.0, -20 * 31.6825, -633.65},
  };
  for (const Case& c : cases) {
    reset();
    LiveAc& ac = addLive(Rec(0x100, "KLM1", c.model).air(5000.0, c.speedKt).due(100), SimStatus::active, c.state);
    ac.stream.front().verticalRate = c.reportedFtMin;
    ac.simGroundFt = c.groundFt;
    ac.heading = geo::kPi / 2;
    for (int i = 0; i < c.extensions; ++i) gf_extendStream(ac, 20 - i);
    const StreamPoint& last = ac.stream.back();
    EXPECT_NEAR(last.groundSpeed, c.expectedKt, 1e-9) << c.what;
    EXPECT_NEAR(last.altitude, 5000.0 + c.climbFt, 1e-9) << c.what;
    EXPECT_DOUBLE_EQ(last.verticalRate, c.verticalRate) << c.what;
    EXPECT_EQ(last.time, 100 + 300 * c.extensions) << c.what;
    EXPECT_GT(last.lalo.lon, ac.stream.front().lalo.lon) << c.what;  // eastward along the heading
  }
}

TEST_F(StreamExtensionTest, ATakeOffRollSpeedsUpTo180KtAndIsGivenAClimb) {
  LiveAc& ac = addLive(Rec(0x100).ground(128.0), SimStatus::active, FlightPhase::takeoff_roll);
  std::vector<std::pair<double, double>> seen;  // speed, vertical rate
  for (int i = 0; i < 12; ++i) {
    gf_extendStream(ac, 20);
    seen.emplace_back(ac.stream.back().groundSpeed, ac.stream.back().verticalRate);
  }
  EXPECT_EQ(seen[1], std::make_pair(140.0, 600.0));
  EXPECT_EQ(seen[2], std::make_pair(146.0, 1200.0));
  EXPECT_EQ(seen[7], std::make_pair(176.0, 2400.0));
  EXPECT_EQ(seen.back(), std::make_pair(180.0, 2400.0));
}

TEST_F(StreamExtensionTest, RetimingStaysInItsWindow) {
  struct Case {
    const char* what;
    std::int32_t offset;
    std::int32_t extensions;
    std::vector<std::int32_t> expected;
  };
  // now 1000; the next point due at 2000, the window 1100..2900.
  const Case cases[] = {
      {"earlier than allowed", 50, 0, {1000, 1100, 2100, 3000}},
      {"later, not reaching the point after", 1050, 0, {1000, 2050, 2100, 3000}},
      {"later past the point after: the rest moves too", 5000, 0, {1000, 2900, 3000, 3900}},
      {"while extending", 50, 1, {1000, 2000, 2100, 3000}},
  };
  for (const Case& c : cases) {
    reset();
    g_engineTime = 1000;
    LiveAc& ac = addLive(Rec(0x100).due(1000));
    for (std::int32_t t : {2000, 2100, 3000}) ac.stream.push_back(gf_streamPoint(Rec(0x100).due(t)));
    ac.extensionCount = c.extensions;
    gf_retimeNextPoint(ac, c.offset);
    std::vector<std::int32_t> times;
    for (const StreamPoint& p : ac.stream) times.push_back(p.time);
    EXPECT_EQ(times, c.expected) << c.what;
  }
  g_engineTime = 5000;  // a window wholly in the past still ends after now
  LiveAc& late = addLive(Rec(0x200).due(1000));
  late.stream.push_back(gf_streamPoint(Rec(0x200).due(2000)));
  gf_retimeNextPoint(late, -100);
  EXPECT_EQ(late.stream[1].time, 5001);
}

TEST_F(StreamExtensionTest, AMidpointAcrossTheDateLineStaysThere) {
  LiveAc& ac = addLive(Rec(0x100).at({10.0, 179.9999}).air(1000.0, 200.0).due(100));
  ac.stream.push_back(gf_streamPoint(Rec(0x100).at({10.0, -179.9999}).air(0.0, 100.0).due(201)));
  gf_insertMidPoint(ac);
  ASSERT_EQ(ac.stream.size(), 3u);
  EXPECT_NEAR(std::fabs(ac.stream[1].lalo.lon), 180.0, 1e-9);
  EXPECT_DOUBLE_EQ(ac.stream[1].altitude, 500.0);
  EXPECT_DOUBLE_EQ(ac.stream[1].groundSpeed, 150.0);
  EXPECT_EQ(ac.stream[1].time, 151);
  // Slowing from 200 to 100 kt, it is due halfway along before half the leg's time.
  EXPECT_EQ(ac.stream[1].feedTime, 142);
}

TEST(StreamExtension, LookAheadAndTurnSpeed) {
  EXPECT_DOUBLE_EQ(gf_lookAheadMetres(20.0), 100.0);
  EXPECT_NEAR(gf_lookAheadMetres(35.0), 126.0, 0.1);
  EXPECT_DOUBLE_EQ(gf_lookAheadMetres(60.0), 160.0);
  const std::pair<double, double> turns[] = {{8.0, 1.2},  {11.5, 1.1}, {15.0, 1.0},
                                             {20.0, 1.0}, {25.0, 0.8}, {45.0, 0.6}};
  for (const auto& [turn, factor] : turns) EXPECT_NEAR(gf_turnSpeedFactor(turn), factor, 1e-12) << turn;
}

}  // namespace
