// Ground reports, the touch-down, parking over a static aircraft, live against parked aircraft and
// the flight plan of a new object: through the engine's hooks as installed.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <variant>

#include "appbase/gui.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "traffic/delayed_sim_commands.h"
#include "traffic/flight_plans.h"
#include "traffic/live_registry.h"
#include "traffic/touchdown.h"

#include <optional>
#include "tests/traffic/traffic_fixture.h"

namespace {

using namespace traffic_test;
namespace fs = std::filesystem;

constexpr double kDeg = geo::kDegToRad;

class TouchdownTest : public EngineTest {
 protected:
  void TearDown() override {
    g_stands.clear();
    takeMessages();
    EngineTest::TearDown();
  }
  // The flight messages posted to the window since the last call.
  static std::string takeMessages() {
    std::string text;
    std::lock_guard lock(g_gui.queueMutex);
    for (const GuiUpdate& update : g_gui.queue)
      if (const auto* message = std::get_if<gui::ShowMessage>(&update)) text += message->text + "\n";
    g_gui.queue.clear();
    return text;
  }
  static DelayedSimCommand report(double groundFt, double heightFt, bool onGround = true) {
    DelayedSimCommand c;
    c.kind = 3;
    c.value1 = groundFt;
    c.value2 = heightFt;
    c.hexid = onGround ? 1 : 0;
    return c;
  }
  static Stand& addStand(const char* name, const Lalo& position) {
    Stand& stand =
        g_stands.emplace_back(name, std::vector<StandOption>{}, position, 0.0, 14.0, 10, false, false, false);
    stand.id = static_cast<std::uint32_t>(g_stands.size());
    return stand;
  }
  // A B738 static aircraft shown on the stand.
  static StaticAc& addStatic(std::int32_t standId, const char* callsign = "TRA55") {
    const Stand& stand = g_stands.at(static_cast<std::size_t>(standId - 1));
    StaticAc& parked = g_staticAcs.emplace_back(actest::aircraftOf("B738", callsign), standId,
                                                GeoPose{stand.position, stand.heading}, false);
    parked.hexid = 7;
    parked.objectId = 900;
    parked.simState = SimStatus::active;
    return parked;
  }
};

TEST_F(TouchdownTest, GroundReportsSetTheAltitude) {
  struct Case {
    const char* what;
    bool onGround;
    std::int32_t groundCounter;
    double staticCg, measured;  // 0: none
    double pitchDeg;            // against a ground pitch of 0
    double expected;            // ft above the 100 ft ground
  } cases[] = {
      {"on the ground, measured CG only", true, 1, 0.0, 6.0, 0.0, 6.0},
      {"on the ground, static CG only", true, 1, 8.0, 0.0, 0.0, 8.0},
      {"on the ground, neither", true, 1, 0.0, 0.0, 0.0, 0.0},
      {"nose halfway down from the touch-down pitch", true, 1, 8.0, 12.0, -2.0, 10.0},
      // C172: 11 m span, 7.94 ft of tail allowance (the half span would give the 4 ft clamp).
      {"airborne after a touch-down, 20 degrees nose up", false, 2, 5.0, 0.0, -20.0, 5.0 + 7.94 * std::sin(20 * kDeg)},
      {"airborne, nose up beyond 20 degrees counts 20", false, 2, 5.0, 0.0, -30.0, 5.0 + 7.94 * std::sin(20 * kDeg)},
  };
  for (const Case& c : cases) {
    reset();
    LiveAc& a = addLive(Rec(0x100, "N172SP", "C172").ground(10.0));
    a.onGround = c.onGround;
    a.state = c.onGround ? FlightPhase::taxi : FlightPhase::flying;
    a.groundCounter = c.groundCounter;
    a.cgHeightFt = c.staticCg;
    a.refPitch = 0.0;
    a.pitch = c.pitchDeg * kDeg;
    a.measuredCgHeightSet = c.measured != 0.0;
    a.measuredCgHeight = c.measured;
    a.pitchAtMeasure = -4.0 * kDeg;
    lf_applyGroundReport(a, report(100.0, 7.0, c.onGround));
    EXPECT_NEAR(a.altitude, 100.0 + c.expected, 0.01) << c.what;
    EXPECT_EQ(a.simAgl, 7.0) << c.what;
  }
  EXPECT_NEAR(gf_tailAllowanceFt(5.5 / 1852.0), 7.94, 0.01);
}

TEST_F(TouchdownTest, TheLandingRollMeasuresTheCgOnce) {
  LiveAc& a = addLive(Rec(0x100).ground(120.0), SimStatus::active, FlightPhase::landing_roll);
  a.cgHeightFt = 0.0;
  lf_applyGroundReport(a, report(10.0, 9.5));
  EXPECT_TRUE(a.measuredCgHeightSet);
  EXPECT_DOUBLE_EQ(a.measuredCgHeight, 9.5);
  EXPECT_DOUBLE_EQ(a.altitude, 19.5);
  lf_applyGroundReport(a, report(10.0, 3.0));
  EXPECT_DOUBLE_EQ(a.measuredCgHeight, 9.5) << "kept";
  lf_applyGroundReport(a, report(std::nan(""), 3.0));
  EXPECT_DOUBLE_EQ(a.altitude, 19.5) << "a report without ground altitude moves nothing";
}

TEST_F(TouchdownTest, ASimulatorReportOfTheGroundLandsTheApproach) {
  parkAtElevation(0);
  LiveAc& a = addLive(Rec(0x100).air(300.0, 140.0), SimStatus::active, FlightPhase::landing);
  a.origin = IataCode("LHR");
  a.registration = "PH-BXA";
  a.rolloutSteps = 10;
  a.pitch = -4.0 * kDeg;
  a.refPitch = -1.0 * kDeg;
  a.bank = 2.0 * kDeg;
  a.stream.push_back(gf_streamPoint(Rec(0x100).air(0.0, 130.0)));
  DelayedSimCommand ground = report(0.0, 5.0);
  ground.objectId = a.objectId;
  gf_queueDelayedSimCommand(ground);
  gf_processDelayedSimCommands();

  EXPECT_EQ(a.state, FlightPhase::landing_roll);
  EXPECT_TRUE(a.onGround);
  EXPECT_TRUE(a.arrivalConfirmed) << "it landed here";
  EXPECT_EQ(a.groundCounter, 1);
  EXPECT_TRUE(a.touchdownLogged);
  EXPECT_NEAR(a.pitchStep, 0.02 * kDeg, 1e-9) << "the nose no faster than 2 degrees a second";
  EXPECT_NEAR(a.bankStep, -0.2 * kDeg, 1e-9);
  EXPECT_EQ(g_landedHexids, std::vector<std::uint32_t>{0x100});
  const std::string messages = takeMessages();
  EXPECT_NE(messages.find(" KLM1234 PH-BXA "), std::string::npos) << messages;
  EXPECT_NE(messages.find(" B738 touch down at EHAM from LHR ...\n"), std::string::npos) << messages;
  std::lock_guard lock(g_simQueueMutex);
  ASSERT_EQ(g_simReverseThrustRequests.size(), 1u);
  EXPECT_TRUE(g_simReverseThrustRequests[0].on);
  g_simReverseThrustRequests.clear();
}

TEST_F(TouchdownTest, ALandingEasesTheNoseDownOverTheCategorysSteps) {
  struct Case {
    const char* what;
    std::optional<std::int32_t> rolloutSteps;  // none: the type's own
    double expectedStep;
    bool slotsLine;
  };
  const Case cases[] = {
      {"a B738 over its 350 steps, not in one", std::nullopt, 3.5 * kDeg / 350, false},
      {"over 100 steps it would come down 3.5 degrees a second", 100, 0.02 * kDeg, false},
      {"without steps it would come down at once", 0, 0.02 * kDeg, true},
  };
  for (const Case& c : cases) {
    reset();
    parkAtElevation(0);
    LiveAc& a = addLive(Rec(0x100).air(30.0, 140.0), SimStatus::active, FlightPhase::landing);
    if (c.rolloutSteps) a.rolloutSteps = *c.rolloutSteps;
    a.pitch = -4.5 * kDeg;
    a.refPitch = -1.0 * kDeg;
    lf_touchDown(a);
    EXPECT_EQ(a.state, FlightPhase::landing_roll) << c.what;
    EXPECT_NEAR(a.pitchStep, c.expectedStep, 1e-12) << c.what;
    EXPECT_EQ(logText().find("onGround slots") != std::string::npos, c.slotsLine) << c.what;
  }
}

TEST_F(TouchdownTest, ARotorcraftHopRightAfterItsCreationWritesNoLine) {
  for (const std::int32_t sinceCreation : {2900, 3100}) {
    reset();
    g_engineTime = 10000;
    LiveAc& a = addLive(Rec(0x100, "LIFE1", "EC35").air(50.0, 20.0), SimStatus::active, FlightPhase::landing);
    a.createdAirborne = true;
    a.createdTime = 10000 - sinceCreation;
    lf_touchDown(a);
    EXPECT_EQ(a.state, FlightPhase::landing_roll) << sinceCreation;
    EXPECT_TRUE(a.touchdownLogged) << sinceCreation;
    EXPECT_EQ(takeMessages().find("LIFE1") != std::string::npos, sinceCreation >= 3000) << sinceCreation;
  }
}

TEST_F(TouchdownTest, AfterLandingANoisyPointStartsNothingButAClimbTakesOff) {
  struct Case {
    const char* what;
    double lastAltitude, lastRate, altitude, rate;
    bool lastAirborne;
    std::uint32_t state;
  } cases[] = {
      {"one airborne point of noise", 0.0, 0.0, 30.0, 0.0, false, FlightPhase::taxi},
      {"60 ft at 500 ft/min", 100.0, 500.0, 160.0, 500.0, true, FlightPhase::takeoff_roll},
  };
  for (const Case& c : cases) {
    reset();
    LiveAc& a = addLive(Rec(0x100).air(20.0, 130.0), SimStatus::active, FlightPhase::landing);
    lf_touchDown(a);
    ASSERT_TRUE(a.arrivalConfirmed) << c.what;
    gf_changeState(a, FlightPhase::taxi);  // off the runway
    StreamPoint& last = a.stream.back();
    last.airborne = c.lastAirborne;
    last.altitude = c.lastAltitude;
    last.verticalRate = c.lastRate;
    last.time = 100;
    StreamPoint point = gf_streamPoint(Rec(0x100).at(offset(kEham, 150.0)).air(c.altitude, 40.0));
    point.verticalRate = c.rate;
    point.time = 600;
    gf_engineHooks().decodeExisting(a, point);
    EXPECT_EQ(a.state, c.state) << c.what;
  }
}

TEST_F(TouchdownTest, AnArmedTouchDownFindsTheGoAroundInTheStream) {
  LiveAc& a = addLive(Rec(0x100).air(50.0, 140.0), SimStatus::active, FlightPhase::landing);
  a.touchdownHoldArmed = true;
  const struct {
    double altitude, rate;
    std::int32_t time;
  } points[] = {{20.0, -600.0, 200}, {5.0, 450.0, 400}, {80.0, 900.0, 600}};
  for (const auto& p : points) {
    StreamPoint point = gf_streamPoint(Rec(0x100).air(p.altitude, 140.0));
    point.verticalRate = p.rate;
    point.time = p.time;
    a.stream.push_back(point);
  }
  lf_touchDown(a);
  EXPECT_EQ(a.state, FlightPhase::takeoff_roll) << "the climb starts the take-off again";
  EXPECT_FALSE(a.touchdownHold);
  ASSERT_EQ(a.stream.size(), 4u);
  EXPECT_FALSE(a.stream[2].airborne);
  EXPECT_TRUE(a.stream[3].airborne) << "the climb stays airborne";
}

TEST_F(TouchdownTest, ASpawnOntoAStandWithAStaticAircraftParksOverIt) {
  addStand("B7", kEham);
  StaticAc& parked = addStatic(1);
  LiveAc& a = addLive(Rec(0x100).at(kEham).ground(0.0), SimStatus::adding2sim, FlightPhase::parked);
  a.standId = 1;
  hp_handleGroundTraffic(a, false);
  EXPECT_TRUE(a.onGround);
  EXPECT_EQ(a.groundCounter, 1);
  EXPECT_EQ(parked.simState, SimStatus::removingfromsim);
  const std::string log = logText();
  EXPECT_NE(log.find("B7            : KLM1234  parks\n"), std::string::npos) << log;
  EXPECT_NE(log.find("B7            : KLM1234  parks over static TRA55 , static will be removed"), std::string::npos);
}

TEST_F(TouchdownTest, LiveAgainstParked) {
  struct Case {
    const char* what;
    double headingDeg;
    double crossM, alongM;  // the aircraft against the stand
    bool staticRemoved, taken;
  } cases[] = {
      {"10 degrees: removes and takes", 10.0, 0.0, -30.0, true, true},
      {"15 degrees, drifting onto the centre line", 15.0, -2.5, -20.0, true, true},
      {"15 degrees, drifting away", 15.0, 2.5, -20.0, true, false},
      {"15 degrees, 3.5 m aside", 15.0, -3.5, -20.0, true, false},
      {"15 degrees, too close to turn in", 15.0, -2.5, -12.0, true, false},
      {"46 degrees: across its path, no collision", 46.0, 0.0, -30.0, false, false},
  };
  for (const Case& c : cases) {
    reset();
    g_stands.clear();
    addStand("B7", kEham);
    StaticAc& parked = addStatic(1);
    LiveAc& a = addLive(Rec(0x100).at(offset(kEham, c.alongM, c.crossM)).ground(5.0));
    a.prevState = FlightPhase::landing_roll;
    a.heading = c.headingDeg * kDeg;
    gf_checkLiveWithParkedCollisions();
    EXPECT_EQ(parked.simState == SimStatus::removingfromsim, c.staticRemoved) << c.what;
    EXPECT_EQ(a.state, c.taken ? FlightPhase::parking : FlightPhase::taxi) << c.what;
    EXPECT_EQ(a.standId, c.taken ? 1 : 0) << c.what;
    EXPECT_EQ(a.prevPosition, a.position) << c.what;
  }
  EXPECT_NE(logText().find("B7            : TRA55    removed for 'live vs parked' collision avoidance with KLM1234, "
                           "delta hdg:10"),
            std::string::npos);
}

// North or south of a parked aircraft, a taxiing one touches it up to the sum of their radii and
// no farther.
TEST_F(TouchdownTest, LiveAgainstParkedAtTheEdgeOfTheirRadii) {
  struct Case {
    double side;    // 1 north of the stand, -1 south
    double beyond;  // metres past the sum of the radii
    bool removed;
  } cases[] = {{1.0, -0.05, true}, {1.0, 0.05, false}, {-1.0, -0.05, true}, {-1.0, 0.05, false}};
  for (const Case& c : cases) {
    reset();
    g_stands.clear();
    addStand("B7", kEham);
    StaticAc& parked = addStatic(1);
    LiveAc& a = addLive(Rec(0x100).at(kEham).ground(5.0));
    a.prevState = FlightPhase::landing_roll;
    a.heading = g_stands.front().heading;
    const double reachM = (a.groundRadius + parked.groundRadius) * 1852.0;
    ASSERT_GT(reachM, 1.0);
    a.position = offset(kEham, c.side * (reachM + c.beyond));
    gf_checkLiveWithParkedCollisions();
    EXPECT_EQ(parked.simState == SimStatus::removingfromsim, c.removed) << c.side << " " << c.beyond;
  }
}

class FlightPlanHookTest : public TouchdownTest {
 protected:
  void SetUp() override {
    TouchdownTest::SetUp();
    ::setenv("JORV_APPDATA", dir.path().c_str(), 1);
    gf_resetProgramFolders();
    gf_publishSimChoice(SimChoice{1, 0});
  }
  void TearDown() override {
    gf_publishSimChoice(SimChoice{});
    ::unsetenv("JORV_APPDATA");
    gf_resetProgramFolders();
    {
      std::lock_guard lock(g_simQueueMutex);
      g_simFlightPlanRequests.clear();
    }
    TouchdownTest::TearDown();
  }
  static std::vector<FlightPlanCommand> queuedPlans() {
    std::lock_guard lock(g_simQueueMutex);
    return g_simFlightPlanRequests;
  }
  LiveAc& routed(const char* origin, const char* destination, const char* model = "B738") {
    LiveAc& a = addLive(Rec(0x100, "KLM1234", model).air(3000.0, 200.0));
    a.objectId = 4711;
    if (*origin) a.origin = IataCode(origin);
    if (*destination) a.destination = IataCode(destination);
    return a;
  }
  const fs::path folder = dir.path() / "JORV" / "orig_dest";
};

TEST_F(FlightPlanHookTest, ANewObjectWithARouteGetsItsPlan) {
  ASSERT_TRUE(gf_ensureFlightPlanFolder());
  LiveAc& a = routed("LHR", "AMS", "EC35");
  lf_createFlightPlan(a);
  EXPECT_TRUE(a.hasFlightPlan);
  EXPECT_EQ(testing_support::readFile(folder / "4711.pln"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
            "<FlightPlan.FlightPlan>\n<FPType>VFR</FPType>\n<DepartureID>LHR</DepartureID>\n"
            "<DestinationID>AMS</DestinationID>\n</FlightPlan.FlightPlan>\n</SimBase.Document>\n");
  const std::vector<FlightPlanCommand> plans = queuedPlans();
  ASSERT_EQ(plans.size(), 1u);
  EXPECT_EQ(plans[0].objectId, 4711u);
  EXPECT_EQ(plans[0].path, folder / "4711") << "the simulator is given the path without \".pln\"";

  // Its removal takes the plan along.
  lf_cleanupLiveAircraft(a);
  EXPECT_FALSE(fs::exists(folder / "4711.pln"));
}

TEST_F(FlightPlanHookTest, NoPlanWithoutBothCodesOrWithMsfs2024) {
  ASSERT_TRUE(gf_ensureFlightPlanFolder());
  lf_createFlightPlan(routed("LHR", ""));
  lf_createFlightPlan(routed("", "AMS"));
  EXPECT_TRUE(queuedPlans().empty());

  gf_publishSimChoice(SimChoice{2, 0});
  LiveAc& a = routed("LHR", "AMS");
  a.hasFlightPlan = true;
  lf_createFlightPlan(a);
  EXPECT_FALSE(a.hasFlightPlan);
  EXPECT_TRUE(queuedPlans().empty());
  EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(FlightPlanHookTest, AFileInTheFolderPlaceFailsThePlan) {
  fs::create_directories(folder.parent_path());
  testing_support::writeFile(folder, "");
  EXPECT_FALSE(gf_ensureFlightPlanFolder());
  LiveAc& a = routed("LHR", "AMS");
  lf_createFlightPlan(a);
  EXPECT_FALSE(a.hasFlightPlan);
  EXPECT_TRUE(queuedPlans().empty());
  const std::string log = logText();
  EXPECT_NE(log.find(fmt::format("Flight-plan path '{}' is not a directory", folder.string())), std::string::npos);
  const std::size_t failed = log.find("creating a flight plan failed");
  ASSERT_NE(failed, std::string::npos) << log;
  EXPECT_NE(log.rfind("KLM1234", failed), std::string::npos);
}

}  // namespace
