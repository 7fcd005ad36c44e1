// The per-aircraft step: leg timing and speed, the ground step's controls, signed speed and
// take-off trigger, the air step's configuration and approach transitions, the flare, the
// cruise limit and the vertical steps as the engine's hooks run them.
#include "traffic/aircraft_step.h"

#include <fmt/format.h>

#include <numeric>
#include <utility>

#include "feed/qnh.h"
#include "simlink/sim_ids.h"
#include "tests/traffic/traffic_fixture.h"
#include "traffic/movement_geometry.h"
#include "traffic/runway_validation.h"
#include "traffic/takeoff.h"

namespace {
using namespace traffic_test;
constexpr double kDeg = geo::kDegToRad;
constexpr bool kAir = true, kGround = false;

using Event = std::pair<std::uint32_t, std::uint32_t>;  // event id, value
using Events = std::vector<Event>;

StreamPoint pt(double altitudeFt, double speedKt, double vsFtMin, bool airborne, const Lalo& at = kEham) {
  StreamPoint p;
  p.lalo = at, p.altitude = altitudeFt, p.groundSpeed = speedKt, p.verticalRate = vsFtMin, p.airborne = airborne;
  return p;
}

class AircraftStepTest : public EngineTest {
 protected:
  static Events takeEvents() {
    std::lock_guard lock(g_simQueueMutex);
    Events events;
    for (const SimClientEvent& e : g_simClientEvents) events.emplace_back(e.eventId, e.value);
    g_simClientEvents.clear();
    return events;
  }
  static std::vector<ReverseThrustCommand> takeReverseThrust() {
    std::lock_guard lock(g_simQueueMutex);
    return std::exchange(g_simReverseThrustRequests, {});
  }
  static bool has(const Events& events, Event e) { return std::find(events.begin(), events.end(), e) != events.end(); }
  static std::size_t count(const Events& events, std::uint32_t id) {
    return std::count_if(events.begin(), events.end(), [id](const Event& e) { return e.first == id; });
  }
  // An aircraft at its current point with the next one `northM` metres on, due in `ticks`.
  LiveAc& withLeg(const char* model, std::uint32_t state, const StreamPoint& current, StreamPoint next, double northM,
                  std::int32_t ticks = 500) {
    LiveAc& ac = addLive(Rec(0x4840D6, "KLM1234", model), SimStatus::active, state);
    next.lalo = offset(current.lalo, northM);
    next.time = g_engineTime.load() + ticks;
    ac.stream = {current, next};
    ac.position = current.lalo;
    ac.altitude = current.altitude;
    ac.onGround = !current.airborne;
    ac.heading = 0.0;
    takeEvents();
    takeReverseThrust();
    return ac;
  }
};

TEST_F(AircraftStepTest, LegTicksAndSpeed) {
  g_engineTime.store(10000);
  const int timing[][3] = {{9000, 2, 25}, {10010, 2, 25}, {10300, 2, 300}, {20000, 1, 25}};  // due, points, ticks
  for (const auto& [due, points, ticks] : timing) {
    LiveAc& ac = addLive(Rec(0x100));
    if (points == 2) ac.stream.push_back(pt(0, 10, 0, kGround));
    ac.stream.back().time = due;
    EXPECT_EQ(gf_ticksToNextPoint(ac), ticks) << due;
    g_liveAcs.clear();
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    std::uint32_t state;
    double s0, s1, northM, kt;  // point 1 lies northM on and is reached in 100 ticks
  };
  const Case cases[] = {{FlightPhase::flying, 200, 220, 0, 210},   {FlightPhase::takeoff_roll, 0, 1, 0, 1},
                        {FlightPhase::landing_roll, 0, 40, 0, 20}, {FlightPhase::taxi, -3, 12, 0, 12},
                        {FlightPhase::taxi, 0.2, 0.4, 0, 1},       {FlightPhase::flying, nan, nan, 1852, 3600}};
  for (const Case& c : cases) {
    LiveAc& ac = withLeg("B738", c.state, pt(0, c.s0, 0, kGround), pt(0, c.s1, 0, kGround), c.northM);
    ac.stream[0].time = ac.stream[1].time - 100;
    EXPECT_NEAR(gf_acSpeedKt(ac), c.kt, 1.0) << c.state << " " << c.s0 << " " << c.s1;
    EXPECT_GE(gf_acSpeedKt(ac), 1.0);
    g_liveAcs.clear();
  }
}

TEST_F(AircraftStepTest, GroundThrottleAndSignedSpeed) {
  struct Case {
    const char* model;
    std::uint32_t state;
    double currentKt, nextKt;
    std::uint32_t throttle;  // 5: none sent
    double signedKt;
  };
  const Case cases[] = {
      {"B738", FlightPhase::takeoff_roll, 10, 15, 0, 15}, {"B738", FlightPhase::takeoff_roll, 16, 18, 1, 18},
      {"B738", FlightPhase::takeoff_roll, 12, 26, 2, 26}, {"B738", FlightPhase::takeoff_roll, 24, 30, 4, 30},
      {"EC35", FlightPhase::takeoff_roll, 5, 5, 4, 5},    {"B738", FlightPhase::taxi, 10, 12, 0, 12},
      {"EC35", FlightPhase::taxi, 10, 12, 4, 12},         {"B738", FlightPhase::pushing_back, 3, 3, 5, -3}};
  for (const Case& c : cases) {
    LiveAc& ac = withLeg(c.model, c.state, pt(0, c.currentKt, 0, kGround), pt(0, c.nextKt, 0, kGround), 60);
    gf_groundStep(ac);
    EXPECT_EQ(ac.throttleStep, c.throttle) << c.model << " " << c.state << " " << c.currentKt;
    EXPECT_EQ(ac.pendingSpeed, c.signedKt) << c.state;
    g_liveAcs.clear();
  }
}

TEST_F(AircraftStepTest, LandingRoll) {
  struct Case {
    const char* model;
    double offDeg, speedKt;
    std::uint32_t state;
    Events sent;
    std::size_t reverseOff;
    double stopM = 0.0;  // the reports stop this far past the next point
    double comesAtKt = 0.0;  // rolling on from a roll-out profile at this pace
    std::int32_t ticks = 1000;
    double exitDeg = 0.0;  // the next point starts a turn off the runway, this sharp 40 m on
    double mostEndKt = 1e9;
    // Reports from the next point to the exit's corner: 0, the next is its turn start.
    int reportsBefore = 0;
  };
  const Case cases[] = {
      {"B738", 15, 60, FlightPhase::taxi, {{THROTTLE_SET, 0}, {SPOILERS_SET, 0}, {LANDING_LIGHTS_SET, 0}}, 1},
      {"C172", -20, 10, FlightPhase::taxi, {{THROTTLE_SET, 0}, {SPOILERS_SET, 0}}, 0},
      {"B738", 5, 120, FlightPhase::landing_roll, {}, 0},
      {"B738", 5, 60, FlightPhase::landing_roll, {{SPOILERS_SET, 0}, {FLAPS_SET, 3072}}, 1},
      {"B738", -14, 25, FlightPhase::landing_roll, {{FLAPS_SET, 0}}, 0},
      {"B77W", 0, 20, FlightPhase::landing_roll, {{FLAPS_SET, 0}}, 0, 6.0},
      // Come to a crawl, onto a leg whose plain profile would brake hard: an even roll-out from a
      // taxi's pace, not a profile of minutes.
      {"B738", 5, 10, FlightPhase::landing_roll, {{FLAPS_SET, 0}}, 0, 0.0, 0.3, 500},
      // Into an exit its nose can follow only slower than the reports' 32 kt.
      {"B738", 0, 40, FlightPhase::landing_roll, {{SPOILERS_SET, 0}, {FLAPS_SET, 3072}}, 1, 0.0, 0.0, 1000, 75.0,
       20.0},
      // The exit planned from the next report itself, its corner within reach there, or from the
      // report after it, 20 m on.
      {"B738", 0, 40, FlightPhase::landing_roll, {{SPOILERS_SET, 0}, {FLAPS_SET, 3072}}, 1, 0.0, 0.0, 1000, 45.0,
       30.0, 1},
      {"B738", 0, 40, FlightPhase::landing_roll, {{SPOILERS_SET, 0}, {FLAPS_SET, 3072}}, 1, 0.0, 0.0, 1000, 75.0,
       25.0, 2}};
  for (const Case& c : cases) {
    const double legM = c.speedKt * 0.9 * motion::kMetresPerSecondPerKt * 10.0;  // 10 s at the mean speed
    LiveAc& ac = withLeg(c.model, FlightPhase::landing_roll, pt(0, c.speedKt, 0, kGround),
                         pt(0, c.speedKt * 0.8, 0, kGround), legM, c.ticks);
    ac.runwayHeading = 90.0 * kDeg;
    ac.heading = (90.0 + c.offDeg) * kDeg;
    if (c.stopM > 0.0) {
      StreamPoint stop = pt(0, 0, 0, kGround, offset(ac.stream[1].lalo, c.stopM));
      stop.time = ac.stream[1].time + 500;
      ac.stream.push_back(stop);
    }
    if (c.exitDeg > 0.0) {
      StreamPoint corner = ac.stream[1], off = ac.stream[1];
      ac.stream[1].turnStart = ac.stream[1].fromPosition = c.reportsBefore == 0;
      if (c.reportsBefore == 2) {
        StreamPoint between = corner;
        between.lalo = offset(ac.stream[1].lalo, 20.0), between.time += 100;
        ac.stream.push_back(between);
      }
      corner.lalo = offset(ac.stream[1].lalo, 40.0), corner.time += 200;  // on along the runway, due north
      off.lalo = gf_destinationPoint(corner.lalo, {c.exitDeg * kDeg, 40.0 * 3.2808399}), off.time += 500;
      ac.stream.push_back(corner), ac.stream.push_back(off);
    }
    if (c.comesAtKt > 0.0) {
      ac.rollContext.valid = true;
      ac.speed = c.comesAtKt;
    }
    gf_groundStep(ac);
    const std::string what = fmt::format("{} {} deg {} kt", c.model, c.offDeg, c.speedKt);
    EXPECT_EQ(ac.state, c.state) << what;
    const Events events = takeEvents();
    for (const Event& e : c.sent) EXPECT_TRUE(has(events, e)) << what << ": " << e.first << "=" << e.second;
    if (c.sent.empty()) { EXPECT_TRUE(events.empty()) << what; }
    const auto reverse = takeReverseThrust();
    EXPECT_EQ(reverse.size(), c.reverseOff) << what;
    EXPECT_TRUE(std::none_of(reverse.begin(), reverse.end(), [](const ReverseThrustCommand& r) { return r.on; }));
    EXPECT_EQ(ac.landingRollEnded, c.state == FlightPhase::taxi) << what;
    // Still rolling: a slowing speed profile from the point's speed runs the leg.
    EXPECT_EQ(ac.rollContext.valid, c.state == FlightPhase::landing_roll) << what;
    if (ac.rollContext.valid) {
      EXPECT_NEAR(ac.rollContext.profile.distance, legM, 1.0) << what;
      EXPECT_LT(ac.rollContext.profile.duration, 30.0) << what;
    }
    EXPECT_LE(ac.rollContext.profile.endSpeed / motion::kMetresPerSecondPerKt, c.mostEndKt)
        << what << " into a " << c.exitDeg << " deg exit";
    // A stop ahead: slow enough to brake into it as a taxi does.
    if (c.stopM > 0.0) {
      EXPECT_LE(ac.rollContext.profile.endSpeed, std::sqrt(2.0 * kGroundBrakingMps2 * c.stopM) + 1e-6) << what;
      EXPECT_GE(ac.rollContext.profile.endAcceleration(), -kGroundBrakingMps2) << what;
    }
    g_liveAcs.clear();
  }
  // A roll that began without a runway heading keeps the one it had on its first leg.
  LiveAc& ac = withLeg("B738", FlightPhase::landing_roll, pt(0, 40, 0, kGround), pt(0, 30, 0, kGround), 180, 1000);
  ac.heading = 30.0 * kDeg;
  gf_groundStep(ac);
  EXPECT_NEAR(ac.runwayHeading, 30.0 * kDeg, 1e-12);
  ac.heading = 50.0 * kDeg;
  gf_groundStep(ac);
  EXPECT_EQ(ac.state, FlightPhase::taxi);
}

TEST_F(AircraftStepTest, TakeoffTrigger) {
  struct Case {
    const char* what;
    std::int32_t sinceStart;
    double speedKt, nextVs;
    bool nextAirborne, removed, pending;
    std::uint32_t state;
  };
  const Case cases[] = {
      {"no lift-off for 2 minutes less a tick", 11999, 43, 0, kGround, false, false, FlightPhase::takeoff_roll},
      {"no lift-off for 2 minutes", 12000, 43, 0, kGround, true, false, FlightPhase::takeoff_roll},
      {"below 43 kt nothing is asked", 20000, 42, 0, kGround, false, false, FlightPhase::takeoff_roll},
      {"ready, too slow for a mode", 100, 60, 2500, kAir, false, true, FlightPhase::takeoff_roll},
      {"ready at lift-off speed", 100, 145, 2500, kAir, false, false, FlightPhase::takeoff},
      // A wait at the line-up is no time at take-off speed: the count starts with the roll.
      {"first leg at speed after 3 minutes lined up", -1, 43, 0, kGround, false, false, FlightPhase::takeoff_roll}};
  for (const Case& c : cases) {
    g_engineTime.store(50000);
    LiveAc& ac = withLeg("B738", FlightPhase::takeoff_roll, pt(0, c.speedKt, 0, kGround),
                         pt(c.nextAirborne ? 50 : 0, c.speedKt + 1, c.nextVs, c.nextAirborne), 100, 200);
    ac.stateSince = 50000 - (c.sinceStart < 0 ? 18000 : c.sinceStart);
    if (c.sinceStart >= 0) ac.unreadySince = 50000 - c.sinceStart;
    ac.speed = c.speedKt;
    gf_groundStep(ac);
    EXPECT_EQ(removed.size(), c.removed ? 1u : 0u) << c.what;
    EXPECT_EQ(ac.takeoffPending, c.pending) << c.what;
    EXPECT_EQ(ac.state, c.state) << c.what;
    // Counting while unready at speed, from the first such leg; not otherwise.
    const bool unready = c.speedKt >= 43.0 && !c.nextAirborne;
    EXPECT_EQ(ac.unreadySince.has_value(), unready) << c.what;
    if (c.sinceStart < 0) { EXPECT_EQ(ac.unreadySince, 50000) << c.what; }
    removed.clear();
    g_liveAcs.clear();
  }
}

TEST_F(AircraftStepTest, EasedGroundLeg) {
  LiveAc& ac = withLeg("B738", FlightPhase::taxi, pt(0, 0, 0, kGround), pt(0, 10, 0, kGround), 30, 400);
  ac.groundKind = 1;  // from standstill
  ac.velocity = {1.0, 1.0};
  ac.predictLimitA = 2700, ac.predictLimitB = 950;
  gf_groundStep(ac);
  ASSERT_EQ(ac.easingWeights.size(), 400u);
  EXPECT_NEAR(std::accumulate(ac.easingWeights.begin(), ac.easingWeights.end(), 0.0), 1.0, 1e-12);
  EXPECT_LT(ac.easingWeights.front(), ac.easingWeights.back());
  EXPECT_EQ(ac.velocity, (Lalo{0.0, 0.0}));
  EXPECT_NEAR(ac.legDelta.lat, ac.stream[1].lalo.lat - kEham.lat, 1e-12);
  EXPECT_EQ(std::pair(ac.predictLimitA, ac.predictLimitB), std::pair(2600, 900));
  g_liveAcs.clear();
  // Into a stop with time to spare, coming at a taxi's pace: it rolls on at that pace, brakes no
  // harder than an airliner does, gets there early and waits. Spread over the whole leg it dropped
  // from 11.5 to 5.2 kt within its first tick; braking evenly from its pace over the whole way, a
  // B772 crept 11 s into its line-up and stood there a second where its reports stand 7.
  struct Stop {
    double metres;
    std::int32_t ticks;
    double comesKt;
  } stops[] = {{22.0, 870, 11.5}, {17.6, 1322, 6.2}};
  for (const Stop& c : stops) {
    g_liveAcs.clear();
    LiveAc& stop = withLeg("B738", FlightPhase::taxi, pt(0, 6, 0, kGround), pt(0, 0, 0, kGround), c.metres, c.ticks);
    stop.groundKind = 2;
    stop.groundStepMetres = c.comesKt * motion::kMetresPerSecondPerKt / 100.0;
    gf_groundStep(stop);
    ASSERT_FALSE(stop.easingWeights.empty());
    const EasedShares& w = stop.easingWeights;
    EXPECT_NEAR(w.front() * c.metres, stop.groundStepMetres, 0.01 * stop.groundStepMetres) << c.metres;
    double hardest = 0.0;
    for (std::size_t i = 1; i < w.size(); ++i) hardest = std::max(hardest, (w[i - 1] - w[i]) * c.metres * 1e4);
    EXPECT_LE(hardest, 1.02 * kGroundBrakingMps2) << c.metres;
    const double mps = c.comesKt * motion::kMetresPerSecondPerKt;
    EXPECT_NEAR(w.size() / 100.0, c.metres / mps + mps / (2.0 * kGroundBrakingMps2), 0.02) << c.metres;
  }
}

// A departure's legs run in the take-off roll's state all the way from its stand: its taxi legs
// speed up at the taxi's rate without the roll's profile; the roll keeps its profile.
TEST_F(AircraftStepTest, ADeparturesTaxiLegRunsWithoutTheRollsProfile) {
  struct Case {
    double fromKt, toKt, metres;
    std::int32_t ticks;
    bool profile;
  } cases[] = {
      {2.0, 16.0, 18.5, 400, false},  // 3.5 kt/s out of a crawl
      {10.0, 12.0, 31.1, 550, true},  // an even taxi leg
      {40.0, 60.0, 128.6, 500, true},  // the roll
  };
  for (const Case& c : cases) {
    LiveAc& ac = withLeg("B738", FlightPhase::takeoff_roll, pt(0, c.fromKt, 0, kGround), pt(0, c.toKt, 0, kGround),
                         c.metres, c.ticks);
    ac.speed = c.fromKt;
    gf_groundStep(ac);
    EXPECT_EQ(ac.rollContext.valid, c.profile) << c.fromKt << " to " << c.toKt << " kt";
    g_liveAcs.clear();
  }
}

TEST_F(AircraftStepTest, ApproachBeginsNearTheParkAirportAndEndsOnAClimb) {
  const Lalo near = offset(kEham, -9000.0), far = offset(kEham, -30000.0);
  struct Case {
    const char* what;
    std::uint32_t state;
    Lalo at;
    double nextAltitude, vs;
    std::uint32_t after;
    Events sent;
    std::int32_t limits;
    double thenAltitude = NAN;  // a third report, 5 s on
    double vsNow = NAN;         // the current report's vertical speed, when not vs
  };
  const Case cases[] = {{"descending near",
                         FlightPhase::flying,
                         near,
                         1300,
                         -800,
                         FlightPhase::landing,
                         {{THROTTLE_SET, 4914}, {FLAPS_SET, 16383}, {GEAR_SET, 1}},
                         2700},
                        {"descending far away", FlightPhase::flying, far, 1300, -800, FlightPhase::flying, {}, 3000},
                        {"climbing on the approach",
                         FlightPhase::landing,
                         near,
                         1700,
                         900,
                         FlightPhase::flying,
                         {{THROTTLE_SET, 16383}, {FLAPS_SET, 0}, {GEAR_SET, 0}},
                         900},
                        {"away from the airport",
                         FlightPhase::landing,
                         far,
                         1300,
                         -800,
                         FlightPhase::flying,
                         {{THROTTLE_SET, 16383}, {GEAR_SET, 0}},
                         900},
                        // The reports turn at their lowest, 30 ft over the field, and climb away
                        // at 704 ft/min: a balked landing leaves the approach there.
                        {"reports climbing away from their lowest",
                         FlightPhase::landing,
                         near,
                         1523,
                         704,
                         FlightPhase::flying,
                         {{THROTTLE_SET, 16383}, {GEAR_SET, 0}},
                         900,
                         1582,
                         -300},
                        {"reports still on the way down to it",
                         FlightPhase::landing,
                         near,
                         1470,
                         -300,
                         FlightPhase::landing,
                         {},
                         2700,
                         1530}};
  for (const Case& c : cases) {
    parkAtElevation(0);
    const double vsNow = std::isfinite(c.vsNow) ? c.vsNow : c.vs;
    LiveAc& ac = withLeg("B738", c.state, pt(1500, 160, vsNow, kAir, c.at), pt(c.nextAltitude, 160, c.vs, kAir), 1000);
    if (std::isfinite(c.thenAltitude)) {
      StreamPoint then = pt(c.thenAltitude, 160, 704, kAir, offset(c.at, 2000.0));
      then.time = ac.stream[1].time + 500;
      ac.stream.push_back(then);
    }
    ac.predictLimitA = ac.predictLimitB = c.state == FlightPhase::landing && c.after == FlightPhase::landing ? 2700 : 3000;
    ac.hasReservation = true, ac.reservedStandId = 12;
    ac.flareStage = 2;
    gf_airStep(ac);
    EXPECT_EQ(ac.state, c.after) << c.what;
    const Events events = takeEvents();
    for (const Event& e : c.sent) EXPECT_TRUE(has(events, e)) << c.what << ": " << e.first << "=" << e.second;
    EXPECT_EQ(std::pair(ac.predictLimitA, ac.predictLimitB), std::pair(c.limits, c.limits)) << c.what;
    if (c.state != c.after && c.after == FlightPhase::landing) {
      EXPECT_FALSE(ac.hasReservation || ac.reservedStandId || ac.cleanClimb);
    }
    if (c.state != c.after && c.state == FlightPhase::landing) {
      EXPECT_TRUE(ac.flareStage == 0 && ac.cleanClimb) << c.what;
    }
    g_liveAcs.clear();
  }
}

TEST_F(AircraftStepTest, LightSetsAboveAndBelow10000FtOncePerFlight) {
  LiveAc& ac = withLeg("B738", FlightPhase::flying, pt(12000, 300, 1500, kAir), pt(12500, 300, 1500, kAir), 3000);
  const auto threeLegs = [&] {
    Events events;
    for (int leg = 0; leg < 3; ++leg) {
      gf_airStep(ac);
      for (const Event& e : takeEvents()) events.push_back(e);
    }
    return events;
  };
  Events events = threeLegs();
  EXPECT_EQ(count(events, NAV_LIGHTS_SET), 1u);
  EXPECT_TRUE(has(events, {LANDING_LIGHTS_SET, 0}) && has(events, {THROTTLE_SET, 11468}));
  EXPECT_EQ(count(events, GEAR_SET), 1u);
  EXPECT_EQ(ac.predictLimitA, 900);
  ac.stream[0].altitude = ac.altitude = 9000.0;
  ac.stream[1].altitude = 8500.0;
  events = threeLegs();
  EXPECT_EQ(count(events, NAV_LIGHTS_SET), 1u);
  EXPECT_TRUE(has(events, {LANDING_LIGHTS_SET, 1}));
  EXPECT_EQ(count(events, CABIN_LIGHTS_SET), 4u);  // the set's, then one per leg above the flaps height
}

TEST_F(AircraftStepTest, FlareStagesByHeightAboveTheField) {
  parkAtElevation(100);
  LiveAc& ac = withLeg("B738", FlightPhase::landing, pt(160, 140, -700, kAir), pt(100, 140, 0, kGround), 500);
  ac.cgHeightFt = 10.0, ac.flareSteps = 4, ac.pitch = 0.0;
  ac.appliedVerticalRate = -700.0 / 6000.0;
  struct Step {
    double aboveField;
    std::uint32_t stage;
    double rateFtMin, pointVs;
  };
  const Step steps[] = {{45, 0, -700, -700}, {40, 1, -600, -601}, {35, 1, -600, -601}, {30, 2, -450, -450},
                        {20, 3, -300, -300}, {13, 4, -150, -150}, {5, 4, -150, -150}};
  for (const Step& s : steps) {
    ac.altitude = 100.0 + s.aboveField;
    gf_flareStep(ac);
    EXPECT_EQ(ac.flareStage, s.stage) << s.aboveField;
    EXPECT_NEAR(ac.appliedVerticalRate * 6000.0, s.rateFtMin, 1e-9) << s.aboveField;
    EXPECT_EQ(ac.stream[0].verticalRate, s.pointVs) << s.aboveField;
    EXPECT_EQ(has(takeEvents(), {THROTTLE_SET, 0}), s.aboveField == 20) << s.aboveField;
  }
  for (int step = 0; step < 10; ++step, gf_flareStep(ac)) ac.pitch += ac.pitchStep;
  EXPECT_NEAR(ac.pitch, -4.0 * kDeg, 1e-12);  // and no further
}

TEST_F(AircraftStepTest, CruiseLimitAlsoHoldsTheClimbOut) {
  const double none = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* model;
    std::uint32_t state;
    double cruise, altitude, rateFtMin, limitedFtMin;
  };
  const Case cases[] = {
      {"C172", FlightPhase::flying, 5000, 5000, -3000, -1200}, {"C172", FlightPhase::flying, 5000, 5000, -900, -900},
      {"C172", FlightPhase::flying, 5000, 5000, 700, 700},     {"C172", FlightPhase::flying, 5000, 5500, 700, 0},
      {"C172", FlightPhase::flying, 5000, 5600, -300, -300},   {"C172", FlightPhase::flying, 5000, 5700, 700, -600},
      {"C172", FlightPhase::takeoff, 5000, 5700, 700, -600},   {"C172", FlightPhase::landing, 5000, 5700, 700, 700},
      {"B738", FlightPhase::flying, 5000, 5700, 700, 700},     {"C172", FlightPhase::flying, none, 5700, 700, 700}};
  for (const Case& c : cases) {
    LiveAc& ac = addLive(Rec(0x100, "T1", c.model).air(c.altitude, 100), SimStatus::active, c.state);
    ac.cruiseAltitude = c.cruise;
    EXPECT_NEAR(gf_cruiseLimit(ac, c.rateFtMin / 6000.0) * 6000.0, c.limitedFtMin, 1e-9)
        << c.model << " " << c.state << " " << c.altitude << " " << c.rateFtMin;
    g_liveAcs.clear();
  }
  // The take-off's climb-out, 1000 ft above a cruise altitude of 1000 ft, turns down by 0.001 a step.
  for (const double cruise : {none, 1000.0}) {
    LiveAc& ac = addLive(Rec(0x100, "T1", "C172").air(2000, 80), SimStatus::active, FlightPhase::takeoff);
    ac.cruiseAltitude = cruise;
    ac.takeoffSteps = -200, ac.verticalRate = 0.1, ac.climbPitchSteps = 1;
    gf_takeoffClimbStep(ac);
    EXPECT_NEAR(ac.appliedVerticalRate, std::isnan(cruise) ? 0.001 : -0.001, 1e-12) << cruise;
    EXPECT_NEAR(ac.altitude, 2000.0 + ac.appliedVerticalRate, 1e-9);
    EXPECT_NEAR(ac.nextValue, ac.appliedVerticalRate * 6000.0, 1e-9);
    g_liveAcs.clear();
  }
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
    LiveAc& ac = withLeg("B738", FlightPhase::landing, pt(600, 140, c.vs0, kAir), pt(500, 140, c.vs1, kAir), 500);
    ac.simAgl = c.agl;
    g_qnh.store(c.qnh);
    EXPECT_NEAR(gf_descentRate(ac), c.ftMin, 1e-9) << c.agl << " " << c.vs0 << " " << c.qnh;
    g_liveAcs.clear();
  }
  g_qnh.store(kStandardQnh);
}

TEST_F(AircraftStepTest, AirStepRateTurnAndGear) {
  // 500 ft up in 10 s (3000 ft/min), then a turn to the east: nose up, right bank.
  LiveAc& ac = withLeg("B738", FlightPhase::flying, pt(5000, 250, 3000, kAir), pt(5500, 250, 3000, kAir), 1200, 1000);
  ac.stream.push_back(pt(6000, 250, 3000, kAir, offset(ac.stream[1].lalo, 0.0, 1500.0)));
  gf_airStep(ac);
  EXPECT_NEAR(ac.appliedVerticalRate, 0.5, 1e-9);
  EXPECT_LT(ac.pitchStep, 0.0);
  EXPECT_GT(ac.headingRate, 0.0);
  EXPECT_LT(ac.bankStep, 0.0);
  EXPECT_EQ(std::pair(ac.pendingNextValue, ac.pendingSpeed), std::pair(3000.0, 250.0));

  // A new QNH moved its stream 840 ft up: it climbs 1000 ft/min more until it is there, no hop.
  g_liveAcs.clear();
  LiveAc& moved = withLeg("B738", FlightPhase::flying, pt(5000, 250, 3000, kAir), pt(6340, 250, 3000, kAir), 1200, 1000);
  moved.qnhLagFt = -840.0, moved.qnhLagTick = g_engineTime.load();
  gf_airStep(moved);
  EXPECT_NEAR(moved.appliedVerticalRate * 6000.0, 4000.0, 1e-6);
  // A small lag eases off instead of running at 1000 ft/min to the end: a QNH changing back then
  // turns the climb round gently.
  g_liveAcs.clear();
  LiveAc& near = withLeg("B738", FlightPhase::flying, pt(5000, 250, 3000, kAir), pt(5500, 250, 3000, kAir), 1200, 1000);
  near.qnhLagFt = -200.0, near.qnhLagTick = g_engineTime.load();
  gf_airStep(near);
  EXPECT_NEAR(near.appliedVerticalRate * 6000.0, 6.0 * (500.0 - 200.0 * std::exp(-0.5)), 1e-6);

  // Toward a ground point: down to the park airport's field plus the centre of gravity, gear down.
  g_liveAcs.clear();
  parkAtElevation(0);
  LiveAc& lander = withLeg("B738", FlightPhase::flying, pt(300, 140, -700, kAir, offset(kEham, -30000.0)),
                           pt(0, 130, 0, kGround), 800, 1000);
  lander.cgHeightFt = 10.0;
  gf_airStep(lander);
  EXPECT_NEAR(lander.appliedVerticalRate, (10.0 - 300.0) / 1000.0, 1e-9);
  EXPECT_TRUE(has(takeEvents(), {GEAR_SET, 1}));
}

TEST_F(AircraftStepTest, LandingPointPulledBackToTheTouchDownZone) {
  // Runway 09 of 3000 m centred at 47/8, field at 1000 ft; the aircraft 500 m before its threshold.
  Runway r;
  r.centre = {47.0, 8.0}, r.heading = 90.0, r.length = 3000.0, r.width = 45.0, r.altitude = 1000.0;
  r.primaryNumber = 9, r.secondaryNumber = 27;
  const auto east = [](double m) { return gf_destinationPoint({47.0, 8.0}, {90.0 * kDeg, m * 3.2808399}); };
  r.primaryEnd = east(-1500.0), r.secondaryEnd = east(1500.0);
  g_parkRunways = {r};
  LiveAc& ac = withLeg("B738", FlightPhase::landing, pt(1150, 140, -700, kAir, east(-2000.0)),
                       pt(1000, 130, 0, kGround), 0, 3000);
  ac.stream[1].lalo = east(0.0);
  ac.heading = 90.0 * kDeg, ac.cgHeightFt = 10.0, ac.predictLimitA = 2700;
  gf_landingPointAdjust(ac);
  // 300 m past the threshold is 0.4 of the leg: 0.4 of its time, more than 140 ft at 1500 ft/min take.
  EXPECT_LT(gf_distanceNm(ac.stream[1].lalo, east(-1200.0)) * 1852.0, 1.0);
  EXPECT_NEAR(ac.stream[1].time, 1200, 5);
  ASSERT_TRUE(ac.approachRunway.has_value());
  EXPECT_EQ(ac.approachRunway->endName, "09");
}

}  // namespace
