// The engine against the stand-in simulator: a spawned flight is created, attached, finished and
// removed; a refused livery erases its flight; a static aircraft gets its centre of gravity and pose.
#include "liveries/failed_liveries.h"
#include "simlink/sim_client_detail.h"
#include "tests/traffic/engine_sim_fixture.h"
#include "traffic/adding_stack.h"
#include "traffic/decode_message.h"
#include "traffic/live_registry.h"
#include "traffic/removal.h"

namespace {
using namespace traffic_test;
namespace sim = standin::sim;
constexpr std::string_view kTitle = "Stand-in A320 Test Air";

class EngineSimTest : public EngineSimLinkTest {
 protected:
  void SetUp() override {
    EngineSimLinkTest::SetUp();
    EngineHooks hooks = gf_defaultEngineHooks();
    hooks.eraseLiveAc = [](LiveAc& a) { std::erase_if(g_liveAcs, [&a](const LiveAc& b) { return &a == &b; }); };
    gf_setEngineHooks(hooks);
    connect();
  }
  void TearDown() override {
    g_failedLiveryTitles.clear();
    g_failedLiveryModels.clear();
    EngineSimLinkTest::TearDown();
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

// Hours of traffic: every flight is created, flown, removed and forgotten; every tenth jumps on
// the ground and vanishes, every tenth has a ghost that is removed. Once the flights have been
// gone long enough, every side list is as empty as at the start.
TEST_F(EngineSimTest, TenThousandFlightsLeaveEverySideListAtItsSteadySize) {
  gf_setEngineHooks(gf_defaultEngineHooks());
  constexpr std::uint32_t kFlights = 10000;
  constexpr int kTicksPerFlight = 20;        // one creation per 200 ms
  constexpr std::int32_t kTimeBetween = 200;  // and two seconds more between two flights
  std::size_t peakChoices = 0;
  std::size_t peakTails = 0;
  std::size_t peakWatches = 0;
  std::uint32_t created = 0;
  const auto tick = [&](int count) {
    for (int i = 0; i < count; ++i) {
      lf_handleAddingStack();
      if (g_engineTime.load() % (2 * kTicksPerFlight) == 0) frame();
      for (LiveAc& ac : g_liveAcs) {
        if (ac.simState != SimStatus::active || g_engineTime.load() - ac.createdTime < 50) continue;
        ++created;
        removeAircraftFromSim(ac);
      }
    }
  };
  for (std::uint32_t i = 0; i < kFlights; ++i) {
    const std::uint32_t hexid = 0x100000 + i;
    const std::string callsign = fmt::format("TST{}", i);
    const std::int32_t now = g_engineTime.load();
    addLive(Rec(hexid, callsign.c_str()).air(5000.0, 250.0).due(now), SimStatus::buffer, FlightPhase::birth)
        .stream.push_back(gf_streamPoint(
            Rec(hexid, callsign.c_str()).at(offset(kEham, 2000.0)).air(5100.0, 250.0).due(now + 3000)));
    g_liveryChoices[hexid] = kTitle;
    if (i % 10 == 3) {
      // Taxiing, then five kilometres further ten seconds later: removed and watched.
      const std::uint32_t jumper = 0x800000 + i;
      LiveAc& ac = addLive(Rec(jumper, "JMP").ground(10.0), SimStatus::buffer, FlightPhase::taxi);
      ac.lastMessageTime = 1000.0;
      TrafficRecord far = Rec(jumper, "JMP").at(offset(kEham, 5000.0)).ground(10.0).time(1010.0);
      decodeMessage(far);
    }
    if (i % 10 == 7) {
      const std::string ghost = callsign + "_";
      for (int twice = 0; twice < 2; ++twice) {
        addLive(Rec(0x900000 + i, ghost.c_str()).air(5000.0, 250.0), SimStatus::buffer, FlightPhase::birth);
        lf_removeGhostWithUnderscoreIfPresent(callsign);
      }
    }
    tick(kTicksPerFlight);
    g_engineTime += kTimeBetween;
    peakChoices = std::max(peakChoices, g_liveryChoices.size());
    peakWatches = std::max(peakWatches, g_jumpWatch.size());
    peakTails = std::max(peakTails, g_objectTailNumbers.size());
  }
  for (int rounds = 0; rounds < 100 && !g_liveAcs.empty(); ++rounds) tick(kTicksPerFlight);
  ASSERT_TRUE(g_liveAcs.empty()) << g_liveAcs.size();
  EXPECT_GT(created, kFlights * 9 / 10);
  // Bounded meanwhile by what the keep times let through, far below the number of flights: the
  // flights of one keep time and those between two ageing passes.
  const std::size_t perKeep = kLiveryChoiceKeep / (kTicksPerFlight + kTimeBetween) + 6000 / kTicksPerFlight;
  EXPECT_LT(peakChoices, perKeep + 100);
  EXPECT_LT(peakWatches, perKeep / 10 + 50);
  EXPECT_LT(peakTails, 50u);

  g_engineTime += kLiveryChoiceKeep;
  runUntil([] { return false; }, 6000);  // the once-a-minute ageing runs
  EXPECT_TRUE(g_liveryChoices.empty()) << g_liveryChoices.size();
  EXPECT_TRUE(g_jumpWatch.empty()) << g_jumpWatch.size();
  EXPECT_TRUE(g_ghostCallsigns.empty()) << g_ghostCallsigns.size();
  EXPECT_TRUE(g_objectTailNumbers.empty()) << g_objectTailNumbers.size();
  EXPECT_TRUE(g_ownedObjects.empty()) << g_ownedObjects.size();
  EXPECT_TRUE(sim::aiObjects().empty());
  for (const std::size_t size : {g_pendingDelayedCommands.size(), g_addingStack.size(), g_landedHexids.size(),
                                 g_parkedAcActions.size(), g_removeStack.size(), g_liveCreateQueue.size()})
    EXPECT_EQ(size, 0u);
}

}  // namespace
