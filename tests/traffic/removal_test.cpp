// Removal of live and static aircraft by where their object stands, and the livery respawn.
#include "traffic/removal.h"

#include "tests/traffic/traffic_fixture.h"

namespace {
using namespace traffic_test;

class RemovalTest : public EngineTest {
 protected:
  static std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
};

AiCreateRequest request(std::uint32_t hexid) { return AiCreateRequest{.hexid = hexid}; }

TEST_F(RemovalTest, ASecondRemovalIsBlockedAndQueuesNothing) {
  LiveAc& ac = addLive(Rec(0x100));
  removeAircraftFromSim(ac);
  removeAircraftFromSim(ac);
  EXPECT_EQ(g_removeStack, std::deque<std::uint32_t>{0x100});
  EXPECT_EQ(ac.simState, SimStatus::removingfromsim);
  EXPECT_EQ(count(logText(), "duplicate remove blocked"), 1u);
}

TEST_F(RemovalTest, AQueuedCreationIsCancelledAndOneAlreadySentIsRemovedOnArrival) {
  g_liveCreateQueue = {request(0x201), request(0x200), request(0x202)};
  LiveAc& queued = addLive(Rec(0x200), SimStatus::adding2sim);
  LiveAc& stacked = addLive(Rec(0x300, "KLM2"), SimStatus::adding2sim);
  g_addingStack = {0x300};
  LiveAc& sent = addLive(Rec(0x400, "KLM3"), SimStatus::adding2sim);
  for (LiveAc* ac : {&queued, &stacked, &sent}) removeAircraftFromSim(*ac);
  EXPECT_TRUE(queued.createCancelled && stacked.createCancelled);
  EXPECT_EQ(g_liveCreateQueue.size(), 2u);
  EXPECT_EQ(g_liveCreateQueue.back().hexid, 0x202u);
  EXPECT_TRUE(g_addingStack.empty());
  EXPECT_TRUE(sent.removeWhenCreated);
  EXPECT_FALSE(sent.createCancelled);
  removeAircraftFromSim(sent);  // still on its way: nothing more
  EXPECT_EQ(sent.simState, SimStatus::adding2sim);
  EXPECT_TRUE(g_removeStack.empty());

  StaticAc& parked = g_staticAcs.emplace_back();
  parked.hexid = 42;
  parked.simState = SimStatus::adding2sim;
  g_staticCreateQueue = {request(42)};
  removeAircraftFromSim(parked);
  EXPECT_TRUE(parked.createCancelled && g_staticDropPending && g_staticCreateQueue.empty());
}

TEST_F(RemovalTest, ARemovalDuringARespawnQueuesTheObjectOnce) {
  LiveAc& ac = addLive(Rec(0x100));
  liveryRespawn(ac);
  EXPECT_EQ(ac.simState, SimStatus::liveryrespawn);
  removeAircraftFromSim(ac);
  EXPECT_EQ(ac.simState, SimStatus::removingfromsim);
  EXPECT_EQ(g_removeStack, std::deque<std::uint32_t>{0x100});
}

TEST_F(RemovalTest, ARespawnRestartsTheStreamWhereTheAircraftIs) {
  g_engineTime = 500;
  LiveAc& moving = addLive(Rec(0x100).ground(15.0));
  moving.position = offset(kEham, 30.0);
  moving.heading = geo::kPi / 2;
  moving.stream.push_back(gf_streamPoint(Rec(0x100).at(offset(kEham, 60.0)).due(900)));
  liveryRespawn(moving);
  ASSERT_EQ(moving.stream.size(), 3u);
  EXPECT_EQ(moving.stream[0].lalo, moving.position);
  EXPECT_EQ(moving.stream[0].time, 501);
  EXPECT_DOUBLE_EQ(moving.stream[0].trueHeadingRad.value_or(0.0), geo::kPi / 2);
  EXPECT_FALSE(moving.stream[1].repeated);  // the old point lies 30 m ahead

  LiveAc& parked = addLive(Rec(0x200, "KLM2").ground(3.0), SimStatus::active, FlightPhase::parked);
  parked.heading = geo::kPi;
  for (double north : {5.0, 10.0}) parked.stream.push_back(gf_streamPoint(Rec(0x200).at(offset(kEham, north))));
  liveryRespawn(parked);
  ASSERT_EQ(parked.stream.size(), 2u);  // the stand point and its copy in front
  for (const StreamPoint& p : parked.stream) {
    EXPECT_EQ(p.lalo, kEham);
    EXPECT_TRUE(p.repeated);
    EXPECT_EQ(p.groundSpeed, 0.0);
    EXPECT_DOUBLE_EQ(p.track, 180.0);
  }
}

TEST_F(RemovalTest, AnAircraftWithoutObjectIsMarkedForErasing) {
  LiveAc& buffered = addLive(Rec(0x100), SimStatus::buffer);
  removeAircraftFromSim(buffered);
  EXPECT_TRUE(buffered.dropFromRegistry);
  StaticAc& parked = g_staticAcs.emplace_back();
  parked.simState = SimStatus::active;
  removeAircraftFromSim(parked);
  EXPECT_TRUE(parked.dropFromRegistry && g_staticDropPending);
  EXPECT_NE(logText().find("removeAircraftFromSim removing act"), std::string::npos);
  EXPECT_TRUE(g_removeStack.empty());
}

}  // namespace
