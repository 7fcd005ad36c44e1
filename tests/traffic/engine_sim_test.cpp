// The engine against the stand-in simulator: a spawned flight is created, attached, finished and
// removed; a refused livery erases its flight; a static aircraft gets its centre of gravity and pose.
#include "liveries/failed_liveries.h"
#include "tests/simlink/sim_fixture.h"
#include "tests/traffic/traffic_fixture.h"
#include "traffic/adding_stack.h"
#include "traffic/removal.h"

namespace {
using namespace traffic_test;
namespace sim = standin::sim;
constexpr std::string_view kTitle = "Stand-in A320 Test Air";

class EngineSimTest : public simtest::SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    actest::installModels();
    gf_resetParameterSnapshot();
    gf_resetFeedNeighbours();
    gf_resetTrafficMailbox();
    gf_setAirportsNeighbours({}, {});
    gf_resetEngineTables();
    g_liveAcs.reserve(8);
    EngineHooks hooks = gf_defaultEngineHooks();
    hooks.eraseLiveAc = [](LiveAc& a) { std::erase_if(g_liveAcs, [&a](const LiveAc& b) { return &a == &b; }); };
    gf_setEngineHooks(hooks);
    connect();
  }
  void TearDown() override {
    stopClient();
    gf_setEngineHooks(gf_defaultEngineHooks());
    gf_resetEngineTables();
    gf_resetModelTables();
    g_failedLiveryTitles.clear();
    g_failedLiveryModels.clear();
    SimLinkTest::TearDown();
  }
  // Engine ticks, each followed by a simulator frame, until the condition holds.
  bool runUntil(const std::function<bool()>& done, int limit = 400) {
    for (int tick = 0; tick < limit; ++tick) {
      lf_handleAddingStack();
      frame();
      if (done()) return true;
    }
    return false;
  }
  static LiveAc& newFlight() {
    LiveAc& ac = addLive(Rec(0x4000).air(5000.0, 250.0), SimStatus::buffer, FlightPhase::birth);
    ac.stream.push_back(gf_streamPoint(Rec(0x4000).at(offset(kEham, 2000.0)).air(5100.0, 250.0).due(300)));
    g_liveryChoices[0x4000] = kTitle;
    return ac;
  }
};

TEST_F(EngineSimTest, AFlightIsCreatedFinishedAndRemoved) {
  newFlight();
  ASSERT_TRUE(runUntil([] { return g_liveAcs[0].simState == SimStatus::active; }));
  const LiveAc& ac = g_liveAcs[0];
  const auto object = sim::object(ac.objectId);
  ASSERT_TRUE(object);
  EXPECT_EQ(object->title, kTitle);
  EXPECT_EQ(object->tailNumber, "KLM1234");
  EXPECT_TRUE(object->events.contains("ENGINE_AUTO_START"));
  EXPECT_EQ(object->events.at("STROBES_SET"), 1u);
  EXPECT_TRUE(ac.cgKnown);
  EXPECT_DOUBLE_EQ(ac.cgHeightFt, 8.0);

  removeAircraftFromSim(g_liveAcs[0]);
  ASSERT_TRUE(runUntil([] { return g_liveAcs.empty(); }, 50));
  EXPECT_TRUE(sim::aiObjects().empty());
}

TEST_F(EngineSimTest, ARefusedLiveryErasesItsFlight) {
  sim::setAcceptAllTitles(false);
  newFlight();
  ASSERT_TRUE(runUntil([] { return g_liveAcs.empty(); }, 60));
  EXPECT_TRUE(gf_isFailedLivery(kTitle));
  EXPECT_TRUE(sim::aiObjects().empty());
}

TEST_F(EngineSimTest, AStaticAircraftTakesTheSimulatorsCentreOfGravityAndPose) {
  StaticAc& parked = g_staticAcs.emplace_back();
  parked.hexid = 7;
  parked.callsign = "STAT7";
  parked.simState = SimStatus::adding2sim;
  g_staticCreateQueue.push_back(AiCreateRequest{
      .position = {.latitude = kEham.lat, .longitude = kEham.lon, .altitude = 10.0, .heading = 90.0, .onGround = 1},
      .tailNumber = "PH-STA",
      .containerTitle = std::string(kTitle),
      .hexid = 7});
  ASSERT_TRUE(runUntil([&parked] { return parked.simState == SimStatus::active; }));
  EXPECT_TRUE(parked.poseKnown && parked.cgKnown && parked.cgHeightFlag);
  EXPECT_DOUBLE_EQ(parked.cgHeightFt, 8.0);
  EXPECT_DOUBLE_EQ(parked.refPitch, 0.01);
  EXPECT_NEAR(parked.initialPose.heading, geo::kPi / 2, 1e-9);
  frame();
  const auto object = sim::object(parked.objectId);
  ASSERT_TRUE(object);
  EXPECT_TRUE(object->events.contains("ENGINE_AUTO_SHUTDOWN"));
  EXPECT_EQ(object->events.at("LOGO_LIGHTS_SET"), 1u);
  EXPECT_EQ(g_staticParkedCount, 1u);
}

}  // namespace
