// The simulator's answers applied to live and static aircraft, and the wait of a new object.
#include "traffic/delayed_sim_commands.h"

#include "liveries/failed_liveries.h"
#include "simlink/delayed_commands.h"
#include "simlink/sim_ids.h"
#include "tests/traffic/traffic_fixture.h"

namespace {
using namespace traffic_test;

class DelayedCommandsTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    gf_clearDelayedSimCommands();
    hooks.eraseLiveAc = [this](LiveAc& a) { erased.push_back(a.hexid); };
    hooks.forgetAircraft = [this](std::uint32_t hexid, std::uint32_t) { forgotten.push_back(hexid); };
    install();
  }
  void TearDown() override {
    g_failedLiveryTitles.clear();
    g_failedLiveryModels.clear();
    EngineTest::TearDown();
  }
  static void answer(std::uint32_t kind, std::uint32_t objectId, std::uint32_t hexid = 0) {
    DelayedSimCommand command;
    command.kind = kind;
    command.objectId = objectId;
    command.hexid = hexid;
    gf_queueDelayedSimCommand(command);
    gf_processDelayedSimCommands();
  }
  // Ticks until the waiting answers are done; 0 when they are not within the limit.
  static int ticksUntilDone(int limit = 600) {
    for (int tick = 1; tick <= limit; ++tick) {
      gf_processDelayedSimCommands();
      if (g_pendingDelayedCommands.empty()) return tick;
    }
    return 0;
  }
  static std::size_t eventCount(std::uint32_t eventId) {
    std::lock_guard lock(g_simQueueMutex);
    return std::count_if(g_simClientEvents.begin(), g_simClientEvents.end(),
                         [eventId](const SimClientEvent& e) { return e.eventId == eventId; });
  }
  std::vector<std::uint32_t> erased, forgotten;
};

TEST_F(DelayedCommandsTest, ObjectIdsBelow3AreIgnoredAndTheFlightDropped) {
  for (std::uint32_t id : {0u, 1u, 2u}) {
    LiveAc& ac = addLive(Rec(0x4000), SimStatus::adding2sim, FlightPhase::flying);
    answer(0, id, 0x4000);
    EXPECT_TRUE(g_pendingDelayedCommands.empty()) << id;
    EXPECT_TRUE(ac.dropFromRegistry) << id;
    EXPECT_EQ(ac.objectId, 0u) << id;
    g_liveAcs.clear();
  }
}

TEST_F(DelayedCommandsTest, AnObjectCreatedAfterItsRecordWentIsRemovedAgain) {
  struct Case {
    std::uint32_t kind;  // 0 a live object, 1 a static one
    std::uint32_t hexid;
    std::uint32_t objectId;
    bool removed;
  };
  for (const Case c : {Case{0, 0x4000, 0, false}, Case{0, 0x4000, 2, false}, Case{0, 0x4000, 3, true},
                       Case{0, 0x4000, 50, true}, Case{1, 0x42, 2, false}, Case{1, 0x42, 51, true}}) {
    reset();
    answer(c.kind, c.objectId, c.hexid);  // no record with this hexid
    EXPECT_TRUE(g_pendingDelayedCommands.empty()) << c.objectId;
    EXPECT_EQ(g_removeStack, c.removed ? std::deque<std::uint32_t>{c.objectId} : std::deque<std::uint32_t>{})
        << c.objectId;
    const std::string logged =
        fmt::format("hexid:{:x} created with object id {} after", c.hexid, c.objectId);
    EXPECT_EQ(logText().find(logged) != std::string::npos, c.removed) << c.objectId;
  }
}

TEST_F(DelayedCommandsTest, AnAirborneCreationFinishesAt200WithoutPoseAParkedOneWaitsTo500) {
  struct Case {
    std::uint32_t state;
    bool airborne;
    int ticks;
    double groundKt = 0.0;
    bool moves = false;
  };
  for (const Case c : {Case{FlightPhase::flying, true, 200, 0.0, true}, Case{FlightPhase::parked, false, 500},
                       Case{FlightPhase::taxi, false, 200, 8.0, true}, Case{FlightPhase::taxi, false, 200, 1.0, false}}) {
    reset();
    Rec rec = Rec(0x4000);
    c.airborne ? rec.air(5000.0, 250.0) : rec.ground(c.groundKt);
    LiveAc& ac = addLive(rec, SimStatus::adding2sim, c.state);
    ac.standId = c.state == FlightPhase::parked ? 1 : 0;  // a parked aircraft holds its stand
    // Its first two reports already due when its object comes: it flies from the first at their pace.
    const std::int32_t now = g_engineTime.load();
    ac.stream.push_back(ac.stream.front());
    ac.stream[0].time = now - 300;
    ac.stream[1].time = now - 100;
    ac.airStepMetres = 40.0;  // an earlier object's pace
    answer(0, 50, 0x4000);
    EXPECT_LT(ac.airStepMetres, 0.0) << c.state;
    if (c.airborne) {
      EXPECT_EQ(ac.stream[1].time - ac.stream[0].time, 200) << c.state;
      EXPECT_EQ(ac.stream[0].time, now) << c.state;
    }
    // Made in the air, it flies on while it waits, as its object would hang in the sky otherwise;
    // made taxiing, it rolls on at its speed instead of standing, then leaping to it, once its
    // height over the ground is drawn from its centre of gravity and the simulator's ground.
    EXPECT_EQ(gf_movesInSim(ac), c.moves && c.airborne) << c.state;
    if (!c.airborne) {
      answer(3, 50);  // the ground before the centre of gravity: not yet
      EXPECT_EQ(gf_movesInSim(ac), false) << c.state;
      ac.cgKnown = true;
      answer(3, 50);
      EXPECT_EQ(gf_movesInSim(ac), c.moves) << c.state;
      ac.cgKnown = false;  // the answer never comes: the creation ends on its time
    }
    if (!c.airborne) {
      EXPECT_NEAR(ac.groundStepMetres * 100.0 / motion::kMetresPerSecondPerKt, c.moves ? c.groundKt : 0.0, 1e-9) << c.state;
    }
    EXPECT_EQ(ticksUntilDone() + (c.airborne ? 0 : 2), c.ticks) << c.state;  // the two ground reports took a pass each
    EXPECT_EQ(ac.simState, SimStatus::active) << c.state;
    EXPECT_TRUE(gf_movesInSim(ac)) << c.state;
    EXPECT_FALSE(ac.movesWhileCreated) << c.state;
    EXPECT_EQ(eventCount(ALL_LIGHTS_TOGGLE), 2u) << c.state;
    EXPECT_NE(logText().find("initial simulator pose/CG unavailable; using fallback position"), std::string::npos);
  }
}

TEST_F(DelayedCommandsTest, TheFallbackWarningOnlyWhenWhatTheAircraftNeedsIsMissing) {
  struct Case {
    std::uint32_t state;
    bool pose, cg;
    bool warned;
  };
  // Only a parked aircraft is asked for its pose; the ground altitude of a stand never comes here.
  for (const Case c : {Case{FlightPhase::flying, false, true, false}, Case{FlightPhase::flying, false, false, true},
                       Case{FlightPhase::parked, true, true, true}}) {
    reset();
    LiveAc& ac = addLive(Rec(0x4000).air(5000.0, 250.0), SimStatus::adding2sim, c.state);
    ac.standId = 1;
    ac.poseKnown = c.pose;
    ac.cgKnown = c.cg;
    const std::size_t before = logText().size();
    answer(0, 50, 0x4000);
    EXPECT_GT(ticksUntilDone(), 0) << c.state;
    EXPECT_EQ(logText().find("pose/CG unavailable", before) != std::string::npos, c.warned) << c.state << c.cg;
  }
}

TEST_F(DelayedCommandsTest, AParkedAircraftThatLostItsStandIsCreatedAndRemovedAtItsFirstApply) {
  hooks.ownsStandReservation = [](std::int32_t, std::uint32_t) { return false; };
  install();
  LiveAc& ac = addLive(Rec(0x4000).ground(0.0), SimStatus::adding2sim, FlightPhase::parked);
  answer(0, 50, 0x4000);
  EXPECT_NE(logText().find("created without owning the live stand reservation, will be removed"), std::string::npos);
  EXPECT_EQ(ticksUntilDone(), 200);
  EXPECT_EQ(ac.simState, SimStatus::removingfromsim);
  EXPECT_EQ(removed, std::vector<std::uint32_t>{0x4000});
}

TEST_F(DelayedCommandsTest, RemovalsByTheSimulator) {
  LiveAc& replaced = addLive(Rec(0x4000), SimStatus::liveryrespawn);
  replaced.objectId = 0x4000;
  replaced.throttleStep = 2;
  replaced.flapsIndex = 1;
  addLive(Rec(0x5000, "KLM2"));
  StaticAc& parked = g_staticAcs.emplace_back();
  parked.hexid = 7;
  parked.objectId = 70;
  answer(2, 0x4000);
  answer(2, 0x5000);
  answer(2, 70);
  EXPECT_EQ(replaced.simState, SimStatus::buffer);
  EXPECT_EQ(replaced.objectId, 0u);
  EXPECT_EQ(replaced.throttleStep, 5u);
  EXPECT_EQ(replaced.flapsIndex, 4u);
  EXPECT_EQ(erased, std::vector<std::uint32_t>{0x5000});
  EXPECT_EQ(forgotten, std::vector<std::uint32_t>{7});
  EXPECT_TRUE(g_staticAcs.empty());
}

// The simulator's new session took the old one's objects: nobody removed them on purpose.
TEST_F(DelayedCommandsTest, ObjectsThatWentWithTheSessionComeBackAtOnce) {
  struct Case {
    const char* what;
    std::uint32_t simState;
    std::uint32_t state;
    std::uint32_t marker;  // kGoneWithSession or an ordinary removal
    bool recreated;        // else erased
    std::int32_t extensions = 0;
    bool atItsLastPoint = false;  // the stream ran dry there, its next extension not yet made
  };
  const Case cases[] = {
      {"flying", SimStatus::active, FlightPhase::flying, kGoneWithSession, true},
      {"flying on extensions", SimStatus::active, FlightPhase::flying, kGoneWithSession, true, 2},
      {"flying on extensions, at its last point", SimStatus::active, FlightPhase::flying, kGoneWithSession, true, 9,
       true},
      {"flying its last extension", SimStatus::active, FlightPhase::flying, kGoneWithSession, false, 1},
      {"parked", SimStatus::active, FlightPhase::parked, kGoneWithSession, true},
      {"being removed anyway", SimStatus::removingfromsim, FlightPhase::taxi, kGoneWithSession, false},
      {"removed by the simulator alone", SimStatus::active, FlightPhase::taxi, 0, false},
  };
  for (const Case& c : cases) {
    reset();
    erased.clear();
    hooks.eraseLiveAc = [this](LiveAc& a) { erased.push_back(a.hexid); };
    install();
    g_engineTime = 500;
    const Lalo here = offset(kEham, 300.0);
    LiveAc& ac = addLive(Rec(0x4000).air(3000.0, 180.0).time(1010.0).due(510), SimStatus::active, c.state);
    if (!c.atItsLastPoint) {
      ac.stream.push_back(gf_streamPoint(Rec(0x4000).air(3200.0, 180.0).time(1020.0).due(520)));
      ac.stream.back().repeated = false;  // on its way: for a parked one, the departure it has begun
    }
    ac.simState = c.simState;
    ac.objectId = 60;
    ac.position = c.atItsLastPoint ? ac.stream.front().lalo : here;
    ac.heading = 1.0;
    ac.extensionCount = c.extensions;
    answer(2, 60, c.marker);
    if (!c.recreated) {
      EXPECT_EQ(erased, std::vector<std::uint32_t>{0x4000}) << c.what;
      continue;
    }
    EXPECT_TRUE(erased.empty()) << c.what;
    EXPECT_EQ(ac.simState, SimStatus::buffer) << c.what;
    EXPECT_EQ(ac.objectId, 0u) << c.what;
    ASSERT_EQ(ac.stream.size(), c.atItsLastPoint ? 2u : 3u)
        << c.what << ": every point kept, the current place before them";
    EXPECT_FALSE(ac.stream.back().repeated) << c.what << ": in the air nothing stands";
    EXPECT_EQ(ac.stream.front().time, 501) << c.what << ": due at the next tick, not after the feed's delay";
    EXPECT_NEAR(ac.stream.front().lalo.lat, ac.position.lat, 1e-9) << c.what;
    EXPECT_EQ(ac.stream.front().repeated, c.state == FlightPhase::parked) << c.what << ": a parked one stands";
    EXPECT_EQ(ac.stream.front().trueHeadingRad, 1.0) << c.what;
  }
}

TEST_F(DelayedCommandsTest, StaticAircraftThatWentWithTheSessionAskForOneParkingAdjustment) {
  int requests = 0;
  hooks.requestParkingAdjustment = [&requests] { ++requests; };
  install();
  for (std::uint32_t i = 0; i < 3; ++i) {
    StaticAc& parked = g_staticAcs.emplace_back();
    parked.hexid = i;
    parked.objectId = 70 + i;
    parked.simState = SimStatus::active;
  }
  answer(2, 70);  // removed on purpose (a removal the engine asked for)
  EXPECT_EQ(requests, 0);
  for (std::uint32_t objectId : {71u, 72u})
    gf_queueDelayedSimCommand(DelayedSimCommand{.objectId = objectId, .hexid = kGoneWithSession, .kind = 2});
  gf_processDelayedSimCommands();
  EXPECT_TRUE(g_staticAcs.empty());
  EXPECT_EQ(requests, 1) << "one request for all of them";
  answer(2, 99, kGoneWithSession);  // nobody of ours
  EXPECT_EQ(requests, 1);
}

TEST_F(DelayedCommandsTest, ARefusedCreationIsRoutedByHexid) {
  LiveAc& live = addLive(Rec(0x4000), SimStatus::adding2sim);
  live.matchedTitle = "Refused Live";
  LiveAc& lowLive = addLive(Rec(7, "KLM2"), SimStatus::adding2sim);  // a transponder code that low is read as static
  StaticAc& parked = g_staticAcs.emplace_back();
  parked.hexid = 7;
  parked.matchedTitle = "Refused Static";
  answer(6, 0, 0x4000);
  answer(6, 0, 7);
  EXPECT_EQ(erased, std::vector<std::uint32_t>{0x4000});
  EXPECT_TRUE(g_staticAcs.empty());
  EXPECT_EQ(forgotten, std::vector<std::uint32_t>{7});
  EXPECT_FALSE(lowLive.dropFromRegistry);
  EXPECT_TRUE(gf_isFailedLivery("Refused Live") && gf_isFailedLivery("Refused Static"));
}

}  // namespace

// A creation the simulator's old session never answered: not the livery's fault, and not a wait for ever.
TEST_F(DelayedCommandsTest, ACreationLostWithTheSessionIsAskedForAgainWithoutBlamingTheLivery) {
  int requests = 0;
  hooks.requestParkingAdjustment = [&requests] { ++requests; };
  install();
  LiveAc& live = addLive(Rec(0x4000), SimStatus::adding2sim);
  live.matchedTitle = "Lost Live";
  LiveAc& flying = addLive(Rec(0x4001), SimStatus::active);  // created meanwhile: not touched
  flying.objectId = 61;
  StaticAc& parked = g_staticAcs.emplace_back();
  parked.hexid = 7;
  parked.matchedTitle = "Lost Static";
  for (std::uint32_t hexid : {0x4000u, 0x4001u, 7u})
    gf_queueDelayedSimCommand(DelayedSimCommand{.objectId = kGoneWithSession, .hexid = hexid, .kind = 6});
  gf_processDelayedSimCommands();
  EXPECT_TRUE(erased.empty());
  EXPECT_EQ(live.simState, SimStatus::buffer);
  EXPECT_EQ(flying.simState, SimStatus::active);
  EXPECT_EQ(flying.objectId, 61u);
  EXPECT_TRUE(g_staticAcs.empty());
  EXPECT_EQ(requests, 1);
  EXPECT_FALSE(gf_isFailedLivery("Lost Live") || gf_isFailedLivery("Lost Static"));
}
