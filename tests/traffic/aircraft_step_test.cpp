// The per-aircraft step: leg timing and speed, the ground step's controls, signed speed and
// take-off trigger, the air step's configuration and approach transitions, the flare, the
// cruise limit and the vertical steps as the engine's hooks run them.
#include "traffic/aircraft_step.h"

#include <utility>

#include "feed/qnh.h"
#include "simlink/sim_ids.h"
#include "tests/traffic/traffic_fixture.h"
#include "traffic/sim_events.h"
#include "traffic/takeoff.h"

namespace {
using namespace traffic_test;
constexpr double kDeg = geo::kDegToRad;

using Event = std::pair<std::uint32_t, std::uint32_t>;  // event id, value

StreamPoint point(const Lalo& at, double altitudeFt, double speedKt, double vsFtMin, std::int32_t time, bool airborne) {
  StreamPoint p;
  p.lalo = at, p.altitude = altitudeFt, p.groundSpeed = speedKt, p.verticalRate = vsFtMin, p.time = time;
  p.airborne = airborne;
  return p;
}

class AircraftStepTest : public EngineTest {
 protected:
  // The client events queued so far, taken out of the link's queue.
  static std::vector<Event> takeEvents() {
    std::lock_guard lock(g_simQueueMutex);
    std::vector<Event> events;
    for (const SimClientEvent& e : g_simClientEvents) events.emplace_back(e.eventId, e.value);
    g_simClientEvents.clear();
    return events;
  }
  static std::vector<ReverseThrustCommand> takeReverseThrust() {
    std::lock_guard lock(g_simQueueMutex);
    return std::exchange(g_simReverseThrustRequests, {});
  }
  static bool has(const std::vector<Event>& events, Event wanted) {
    return std::find(events.begin(), events.end(), wanted) != events.end();
  }
  static std::size_t count(const std::vector<Event>& events, std::uint32_t eventId) {
    return std::count_if(events.begin(), events.end(), [eventId](const Event& e) { return e.first == eventId; });
  }
  // A live aircraft with a two-point stream: the current point where it is, the next one
  // `northM` metres on, due `ticks` from now.
  LiveAc& aircraftWithLeg(const char* model, std::uint32_t state, const StreamPoint& current, double northM,
                          const StreamPoint& nextTemplate, std::int32_t ticks = 500) {
    LiveAc& ac = addLive(Rec(0x4840D6, "KLM1234", model), SimStatus::active, state);
    ac.stream.clear();
    ac.stream.push_back(current);
    StreamPoint next = nextTemplate;
    next.lalo = offset(current.lalo, northM);
    next.time = g_engineTime.load() + ticks;
    ac.stream.push_back(next);
    ac.position = current.lalo;
    ac.altitude = current.altitude;
    ac.onGround = !current.airborne;
    ac.heading = 0.0;
    takeReverseThrust();
    return ac;
  }
};

TEST_F(AircraftStepTest, TicksToTheNextPointNeverBelow25) {
  g_engineTime.store(10000);
  struct Case {
    std::int32_t due;
    std::size_t points;
    std::int32_t ticks;
  };
  const Case cases[] = {{9000, 2, 25}, {10000, 2, 25}, {10010, 2, 25}, {10300, 2, 300}, {20000, 1, 25}};
  for (const Case& c : cases) {
    LiveAc& ac = addLive(Rec(0x100));
    if (c.points == 2) ac.stream.push_back(point(kEham, 0.0, 10.0, 0.0, c.due, false));
    EXPECT_EQ(gf_ticksToNextPoint(ac), c.ticks) << c.due;
    g_liveAcs.clear();
  }
}

TEST_F(AircraftStepTest, LegSpeedNeverBelowOneKnot) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    std::uint32_t state;
    double s0, s1;
    double northM;  // of point 1, reached in 100 ticks
    double kt;
  };
  const Case cases[] = {
      {"both speeds", FlightPhase::flying, 200, 220, 0, 210},
      {"roll from standstill", FlightPhase::takeoff_roll, 0, 1, 0, 1.0},
      {"roll speeding up", FlightPhase::landing_roll, 0, 40, 0, 20},
      {"first only", FlightPhase::flying, 150, nan, 0, 150},
      {"second only", FlightPhase::taxi, -3, 12, 0, 12},
      {"tiny speeds", FlightPhase::taxi, 0.2, 0.4, 0, 1.0},
      {"from the geometry", FlightPhase::flying, nan, nan, 1852.0, 3600.0},
      {"nothing at all", FlightPhase::flying, nan, nan, 0, 1.0},
  };
  for (const Case& c : cases) {
    LiveAc& ac = addLive(Rec(0x100), SimStatus::active, c.state);
    ac.stream[0].groundSpeed = c.s0;
    ac.stream[0].time = 0;
    ac.stream.push_back(point(offset(kEham, c.northM), 0.0, c.s1, 0.0, 100, false));
    EXPECT_NEAR(gf_acSpeedKt(ac), c.kt, 1.0) << c.what;
    EXPECT_GE(gf_acSpeedKt(ac), 1.0) << c.what;
    g_liveAcs.clear();
  }
}

TEST_F(AircraftStepTest, GroundThrottleBySpeedAndSignedSpeed) {
  struct Case {
    const char* model;
    std::uint32_t state;
    double currentKt, nextKt;
    std::uint32_t throttle;  // index expected, 5 when none is sent
    double signedKt;
  };
  const Case cases[] = {
      {"B738", FlightPhase::takeoff_roll, 10, 15, 0, 15}, {"B738", FlightPhase::takeoff_roll, 16, 18, 1, 18},
      {"B738", FlightPhase::takeoff_roll, 12, 26, 2, 26}, {"B738", FlightPhase::takeoff_roll, 24, 30, 4, 30},
      {"EC35", FlightPhase::takeoff_roll, 5, 5, 4, 5},    {"B738", FlightPhase::taxi, 10, 12, 0, 12},
      {"EC35", FlightPhase::taxi, 10, 12, 4, 12},         {"B738", FlightPhase::pushing_back, 3, 3, 5, -3},
      {"B738", FlightPhase::pushed_back, 0, 2, 5, 2},
  };
  for (const Case& c : cases) {
    reset();
    LiveAc& ac = aircraftWithLeg(c.model, c.state, point(kEham, 0, c.currentKt, 0, 0, false), 60.0,
                                 point(kEham, 0, c.nextKt, 0, 0, false));
    gf_groundStep(ac);
    EXPECT_EQ(ac.throttleStep, c.throttle) << c.model << " " << c.state << " " << c.currentKt;
    EXPECT_EQ(ac.pendingSpeed, c.signedKt) << c.state;
    EXPECT_EQ(ac.pendingNextValue, 0.0);
  }
}

TEST_F(AircraftStepTest, LandingRoll) {
  struct Case {
    const char* what;
    const char* model;
    double offDeg, speedKt;
    std::uint32_t state;
    std::vector<Event> sent;
    std::size_t reverseOff;
  };
  const Case cases[] = {
      {"turned off the runway",
       "B738",
       15.0,
       60.0,
       FlightPhase::taxi,
       {{FLAPS_SET, 0}, {THROTTLE_SET, 0}, {SPOILERS_SET, 0}, {NAV_LIGHTS_SET, 1}, {LANDING_LIGHTS_SET, 0}},
       1},
      {"light type turned off", "C172", -20.0, 10.0, FlightPhase::taxi, {{THROTTLE_SET, 0}, {SPOILERS_SET, 0}}, 0},
      {"fast on the runway", "B738", 5.0, 120.0, FlightPhase::landing_roll, {}, 0},
      {"slowing on the runway",
       "B738",
       5.0,
       60.0,
       FlightPhase::landing_roll,
       {{SPOILERS_SET, 0}, {FLAPS_SET, 3072}},
       1},
      {"slow on the runway", "B738", -14.0, 25.0, FlightPhase::landing_roll, {{FLAPS_SET, 0}}, 0},
  };
  for (const Case& c : cases) {
    reset();
    LiveAc& ac = aircraftWithLeg(c.model, FlightPhase::landing_roll, point(kEham, 0, c.speedKt, 0, 0, false), 200.0,
                                 point(kEham, 0, c.speedKt, 0, 0, false));
    ac.runwayHeading = 90.0 * kDeg;
    ac.heading = (90.0 + c.offDeg) * kDeg;
    takeEvents();
    gf_groundStep(ac);
    EXPECT_EQ(ac.state, c.state) << c.what;
    const std::vector<Event> events = takeEvents();
    for (const Event& e : c.sent) EXPECT_TRUE(has(events, e)) << c.what << " " << e.first << "=" << e.second;
    if (c.sent.empty()) EXPECT_TRUE(events.empty()) << c.what;
    const std::vector<ReverseThrustCommand> reverse = takeReverseThrust();
    EXPECT_EQ(reverse.size(), c.reverseOff) << c.what;
    for (const ReverseThrustCommand& r : reverse) EXPECT_FALSE(r.on) << c.what;
    if (c.state == FlightPhase::taxi) {
      EXPECT_TRUE(ac.landingRollEnded) << c.what;
      EXPECT_FALSE(std::isfinite(ac.runwayHeading)) << c.what;
    }
  }
}

TEST_F(AircraftStepTest, TakeoffRollThatNeverLiftsOffIsRemovedAfterTwoMinutes) {
  struct Case {
    std::int32_t sinceStart;
    double speedKt;
    bool removed;
  };
  const Case cases[] = {{11999, 43.0, false}, {12000, 43.0, true}, {20000, 42.0, false}};
  for (const Case& c : cases) {
    reset();
    g_engineTime.store(50000);
    LiveAc& ac = aircraftWithLeg("B738", FlightPhase::takeoff_roll, point(kEham, 0, c.speedKt, 0, 0, false), 100.0,
                                 point(kEham, 0, c.speedKt + 1.0, 0, 0, false));
    ac.stateSince = 50000 - c.sinceStart;
    gf_groundStep(ac);
    EXPECT_EQ(removed.size(), c.removed ? 1u : 0u) << c.sinceStart << " " << c.speedKt;
    EXPECT_FALSE(ac.takeoffPending);
  }
}

TEST_F(AircraftStepTest, TakeoffRollWaitsForItsModeOrStarts) {
  // The stream lifts off 100 m ahead: ready at once; at 60 kt no mode yet, at lift-off speed mode 1.
  for (const double speedKt : {60.0, 145.0}) {
    reset();
    LiveAc& ac = aircraftWithLeg("B738", FlightPhase::takeoff_roll, point(kEham, 0, speedKt, 0, 0, false), 100.0,
                                 point(kEham, 50.0, speedKt, 2500.0, 0, true), 200);
    ac.speed = speedKt;
    gf_groundStep(ac);
    if (speedKt < 100.0) {
      EXPECT_TRUE(ac.takeoffPending);
      EXPECT_EQ(ac.state, FlightPhase::takeoff_roll);
    } else {
      EXPECT_FALSE(ac.takeoffPending);
      EXPECT_EQ(ac.state, FlightPhase::takeoff);
    }
  }
}

TEST_F(AircraftStepTest, EasedGroundLegSharesOutTheLeg) {
  LiveAc& ac = aircraftWithLeg("B738", FlightPhase::taxi, point(kEham, 0, 0, 0, 0, false), 30.0,
                               point(kEham, 0, 10, 0, 0, false), 400);
  ac.groundKind = 1;
  ac.velocity = {1.0, 1.0};
  ac.predictLimitA = 2700;
  ac.predictLimitB = 950;
  gf_groundStep(ac);
  ASSERT_EQ(ac.easingWeights.size(), 400u);
  double sum = 0.0;
  for (const double w : ac.easingWeights) sum += w;
  EXPECT_NEAR(sum, 1.0, 1e-12);
  EXPECT_LT(ac.easingWeights.front(), ac.easingWeights.back());  // easing in from standstill
  EXPECT_EQ(ac.velocity, (Lalo{0.0, 0.0}));
  EXPECT_NEAR(ac.legDelta.lat, ac.stream[1].lalo.lat - kEham.lat, 1e-12);
  EXPECT_EQ(ac.predictLimitA, 2600);
  EXPECT_EQ(ac.predictLimitB, 900);
}

TEST_F(AircraftStepTest, LandingRollRunsOnASpeedProfile) {
  LiveAc& ac = aircraftWithLeg("B738", FlightPhase::landing_roll, point(kEham, 0, 100, 0, 0, false), 400.0,
                               point(kEham, 0, 60, 0, 0, false), 1000);
  ac.runwayHeading = 0.0;
  gf_groundStep(ac);
  ASSERT_TRUE(ac.rollContext.valid);
  EXPECT_FALSE(ac.rollContext.fromTakeoffRoll);
  EXPECT_NEAR(ac.rollContext.profile.distance, 400.0, 1.0);
  EXPECT_NEAR(ac.rollContext.profile.duration, 10.0, 1e-9);
  EXPECT_LE(ac.rollContext.profile.maxSpeed(), 100.0 * motion::kMetresPerSecondPerKt + 1e-9);
}

TEST_F(AircraftStepTest, DescentNearTheParkAirportBeginsTheApproachAndAClimbEndsIt) {
  parkAtElevation(0);
  const Lalo near = offset(kEham, -9000.0);
  struct Case {
    const char* what;
    std::uint32_t state;
    Lalo at;
    double altitude, nextAltitude, vs;
    std::uint32_t after;
    std::vector<Event> sent;
    std::int32_t limits;
  };
  const Case cases[] = {
      {"descending near",
       FlightPhase::flying,
       near,
       1500,
       1300,
       -800,
       FlightPhase::landing,
       {{THROTTLE_SET, 4914}, {FLAPS_SET, 16383}, {GEAR_SET, 1}},
       2700},
      {"descending far away",
       FlightPhase::flying,
       offset(kEham, -40000.0),
       1500,
       1300,
       -800,
       FlightPhase::flying,
       {},
       3000},
      {"climbing on the approach",
       FlightPhase::landing,
       near,
       1500,
       1700,
       900,
       FlightPhase::flying,
       {{THROTTLE_SET, 16383}, {FLAPS_SET, 0}, {GEAR_SET, 0}},
       900},
      {"on the approach, left the airport",
       FlightPhase::landing,
       offset(kEham, -30000.0),
       1500,
       1300,
       -800,
       FlightPhase::flying,
       {{THROTTLE_SET, 16383}, {GEAR_SET, 0}},
       900},
  };
  for (const Case& c : cases) {
    reset();
    parkAtElevation(0);
    LiveAc& ac = aircraftWithLeg("B738", c.state, point(c.at, c.altitude, 160, c.vs, 0, true), 1000.0,
                                 point(c.at, c.nextAltitude, 160, c.vs, 0, true));
    ac.predictLimitA = ac.predictLimitB = 3000;
    ac.hasReservation = true;
    ac.reservedStandId = 12;
    ac.flareStage = 2;
    takeEvents();
    gf_airStep(ac);
    EXPECT_EQ(ac.state, c.after) << c.what;
    const std::vector<Event> events = takeEvents();
    for (const Event& e : c.sent) EXPECT_TRUE(has(events, e)) << c.what << " " << e.first << "=" << e.second;
    EXPECT_EQ(ac.predictLimitA, c.limits) << c.what;
    EXPECT_EQ(ac.predictLimitB, c.limits) << c.what;
    if (c.after == FlightPhase::landing) {
      EXPECT_FALSE(ac.hasReservation) << c.what;
      EXPECT_EQ(ac.reservedStandId, 0) << c.what;
      EXPECT_FALSE(ac.cleanClimb) << c.what;
    }
    if (c.state == FlightPhase::landing) {
      EXPECT_EQ(ac.flareStage, 0u) << c.what;
      EXPECT_TRUE(ac.cleanClimb) << c.what;
    }
  }
}

TEST_F(AircraftStepTest, HighAltitudeSetOncePerFlightAndLowLightsOnce) {
  LiveAc& ac = aircraftWithLeg("B738", FlightPhase::flying, point(kEham, 12000, 300, 1500, 0, true), 3000.0,
                               point(kEham, 12500, 300, 1500, 0, true));
  ac.predictLimitA = ac.predictLimitB = 2700;
  takeEvents();
  std::vector<Event> events;
  for (int leg = 0; leg < 3; ++leg) {
    gf_airStep(ac);
    for (const Event& e : takeEvents()) events.push_back(e);
  }
  EXPECT_EQ(count(events, NAV_LIGHTS_SET), 1u);
  EXPECT_TRUE(has(events, {LANDING_LIGHTS_SET, 0}));
  EXPECT_TRUE(has(events, {THROTTLE_SET, 11468}));
  EXPECT_EQ(count(events, GEAR_SET), 1u);
  EXPECT_EQ(ac.predictLimitA, 900);

  // Down through 10000 ft: every light on, once.
  ac.stream[0].altitude = ac.altitude = 9000.0;
  ac.stream[1].altitude = 8500.0;
  events.clear();
  for (int leg = 0; leg < 3; ++leg) {
    gf_airStep(ac);
    for (const Event& e : takeEvents()) events.push_back(e);
  }
  EXPECT_EQ(count(events, NAV_LIGHTS_SET), 1u);
  EXPECT_TRUE(has(events, {LANDING_LIGHTS_SET, 1}));
  EXPECT_EQ(count(events, CABIN_LIGHTS_SET), 4u);  // the set's own, then one per leg above the flaps height
}

TEST_F(AircraftStepTest, FlareStagesByHeightAboveTheField) {
  parkAtElevation(100);
  LiveAc& ac = aircraftWithLeg("B738", FlightPhase::landing, point(kEham, 160, 140, -700, 0, true), 500.0,
                               point(kEham, 100, 140, 0, 0, false));
  ac.cgHeightFt = 10.0;
  ac.flareSteps = 4;
  ac.pitch = 0.0;
  struct Step {
    double aboveField;
    std::uint32_t stage;
    double rateFtMin, pointVs;
  };
  const Step steps[] = {{45.0, 0, -700.0, -700.0}, {40.0, 1, -600.0, -601.0}, {35.0, 1, -600.0, -601.0},
                        {30.0, 2, -450.0, -450.0}, {20.0, 3, -300.0, -300.0}, {13.0, 4, -150.0, -150.0},
                        {5.0, 4, -150.0, -150.0}};
  ac.appliedVerticalRate = -700.0 / 6000.0;
  takeEvents();
  for (const Step& s : steps) {
    ac.altitude = 100.0 + s.aboveField;
    gf_engineHooks().flareStep(ac);
    EXPECT_EQ(ac.flareStage, s.stage) << s.aboveField;
    EXPECT_NEAR(ac.appliedVerticalRate * 6000.0, s.rateFtMin, 1e-9) << s.aboveField;
    EXPECT_EQ(ac.stream[0].verticalRate, s.pointVs) << s.aboveField;
    if (s.stage == 3) EXPECT_TRUE(has(takeEvents(), {THROTTLE_SET, 0}));
  }
  // The nose came to -4 degrees and stays there.
  for (int step = 0; step < 10; ++step) {
    ac.pitch += ac.pitchStep;
    gf_flareStep(ac);
  }
  EXPECT_NEAR(ac.pitch, -4.0 * kDeg, 1e-12);
}

TEST_F(AircraftStepTest, CruiseLimit) {
  struct Case {
    const char* model;
    std::uint32_t state;
    double cruise, altitude, rateFtMin, limitedFtMin;
  };
  const double none = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"C172", FlightPhase::flying, 5000, 5000, -3000, -1200}, {"C172", FlightPhase::flying, 5000, 5000, -900, -900},
      {"C172", FlightPhase::flying, 5000, 5000, 700, 700},     {"C172", FlightPhase::flying, 5000, 5500, 700, 0},
      {"C172", FlightPhase::flying, 5000, 5600, -300, -300},   {"C172", FlightPhase::flying, 5000, 5700, 700, -600},
      {"C172", FlightPhase::takeoff, 5000, 5700, 700, -600},   {"C172", FlightPhase::landing, 5000, 5700, 700, 700},
      {"B738", FlightPhase::flying, 5000, 5700, 700, 700},     {"C172", FlightPhase::flying, none, 5700, 700, 700},
  };
  for (const Case& c : cases) {
    LiveAc& ac = addLive(Rec(0x100, "T1", c.model).air(c.altitude, 100), SimStatus::active, c.state);
    ac.cruiseAltitude = c.cruise;
    EXPECT_NEAR(gf_engineHooks().cruiseLimit(ac, c.rateFtMin / 6000.0) * 6000.0, c.limitedFtMin, 1e-9)
        << c.model << " " << c.state << " " << c.altitude << " " << c.rateFtMin;
    g_liveAcs.clear();
  }
}

TEST_F(AircraftStepTest, TakeoffClimbIsHeldByTheCruiseAltitude) {
  for (const double cruise : {std::numeric_limits<double>::quiet_NaN(), 1000.0}) {
    LiveAc& ac = addLive(Rec(0x100, "T1", "C172").air(2000, 80), SimStatus::active, FlightPhase::takeoff);
    ac.cruiseAltitude = cruise;
    ac.takeoffSteps = -200;
    ac.verticalRate = 0.1;
    ac.climbPitchSteps = 1;
    gf_takeoffClimbStep(ac);
    if (std::isnan(cruise)) {
      EXPECT_NEAR(ac.appliedVerticalRate, 0.001, 1e-12);  // climbing, 0.001 a step
      EXPECT_GT(ac.altitude, 2000.0);
    } else {
      EXPECT_NEAR(ac.appliedVerticalRate, -0.001, 1e-12);  // 1000 ft above its cruise: down
      EXPECT_LT(ac.altitude, 2000.0);
    }
    EXPECT_NEAR(ac.nextValue, ac.appliedVerticalRate * 6000.0, 1e-9);
    EXPECT_EQ(ac.pendingNextValue, ac.nextValue);
    g_liveAcs.clear();
  }
}

TEST_F(AircraftStepTest, VerticalRateChangesByAtMostAThousandthAStep) {
  LiveAc& ac = addLive(Rec(0x100).air(3000, 200), SimStatus::active, FlightPhase::flying);
  ac.appliedVerticalRate = 0.05;
  const EngineHooks& hooks = gf_engineHooks();
  hooks.applyVerticalRate(ac, -0.1);
  EXPECT_NEAR(ac.appliedVerticalRate, 0.049, 1e-12);
  EXPECT_NEAR(ac.altitude, 3000.049, 1e-9);
  EXPECT_NEAR(ac.nextValue, 294.0, 1e-9);
  hooks.applyVerticalRate(ac, 0.0495);
  EXPECT_NEAR(ac.appliedVerticalRate, 0.0495, 1e-12);
  // Off the approach the approach step applies the rate as it stands.
  hooks.approachVerticalStep(ac);
  EXPECT_NEAR(ac.appliedVerticalRate, 0.0495, 1e-12);
}

TEST_F(AircraftStepTest, DescentRate) {
  struct Case {
    double agl, vs0, vs1;
    std::int32_t qnh;
    double ftMin;
  };
  const Case cases[] = {{100, -900, -900, 1013, -600},
                        {500, -900, -700, 1013, -798.5},
                        {500, -100, 0, 1013, -601},
                        {500, -900, -900, 1023, -958.5},
                        {500, 200, 200, 1013, -601}};
  for (const Case& c : cases) {
    LiveAc& ac = aircraftWithLeg("B738", FlightPhase::landing, point(kEham, 600, 140, c.vs0, 0, true), 500,
                                 point(kEham, 500, 140, c.vs1, 0, true));
    ac.simAgl = c.agl;
    g_qnh.store(c.qnh);
    EXPECT_NEAR(gf_descentRate(ac), c.ftMin, 1e-9) << c.agl << " " << c.vs0 << " " << c.qnh;
    g_liveAcs.clear();
  }
  g_qnh.store(kStandardQnh);
}

TEST_F(AircraftStepTest, AirStepRatesPitchAndTurn) {
  // Climbing 500 ft in 10 s: 3000 ft/min; the nose comes up; a turn to the east banks right.
  LiveAc& ac = aircraftWithLeg("B738", FlightPhase::flying, point(kEham, 5000, 250, 3000, 0, true), 1200.0,
                               point(kEham, 5500, 250, 3000, 0, true), 1000);
  ac.stream.push_back(point(offset(ac.stream[1].lalo, 0.0, 1500.0), 6000, 250, 3000, 2000, true));
  gf_airStep(ac);
  EXPECT_NEAR(ac.appliedVerticalRate, 0.5, 1e-9);
  EXPECT_LT(ac.pitchStep, 0.0);
  EXPECT_GT(ac.headingRate, 0.0);
  EXPECT_LT(ac.bankStep, 0.0);
  EXPECT_EQ(ac.pendingNextValue, 3000.0);
  EXPECT_NEAR(ac.pendingSpeed, 250.0, 1e-9);
}

TEST_F(AircraftStepTest, AirStepTowardAGroundPointLowersTheGear) {
  parkAtElevation(0);
  LiveAc& ac = aircraftWithLeg("B738", FlightPhase::flying, point(offset(kEham, -30000.0), 300, 140, -700, 0, true),
                               800.0, point(kEham, 0, 130, 0, 0, false), 1000);
  ac.cgHeightFt = 10.0;
  takeEvents();
  gf_airStep(ac);
  EXPECT_NEAR(ac.appliedVerticalRate, (0.0 + 10.0 - 300.0) / 1000.0, 1e-9);
  EXPECT_TRUE(has(takeEvents(), {GEAR_SET, 1}));
}

}  // namespace
