// The engine's heartbeat: the pace at which removals and creations reach the simulator link,
// the adding stack, the engine clock, and an update that throws for one aircraft only.
#include <fmt/format.h>

#include <stdexcept>

#include "traffic/adding_stack.h"
#include "tests/traffic/traffic_fixture.h"

namespace {

using namespace traffic_test;

class AddingStackTest : public EngineTest {
 protected:
  static void ticks(int n) {
    for (int i = 0; i < n; ++i) lf_handleAddingStack();
  }
  static AiCreateRequest request(std::uint32_t hexid) {
    AiCreateRequest r;
    r.hexid = hexid;
    return r;
  }
  static std::vector<std::uint32_t> sentCreates() {
    std::lock_guard lock(g_simQueueMutex);
    std::vector<std::uint32_t> hexids;
    for (const AiCreateRequest& r : g_simCreateRequests) hexids.push_back(r.hexid);
    return hexids;
  }
  static void removeBlocked(SnapshotAcIdentity blocked) {
    gf_changeParameterSnapshot([&](ParameterSnapshot& s) { s.blocked = blocked; });
    gf_removeBlockedAc();
  }
  static std::size_t sentRemovals() {
    std::lock_guard lock(g_simQueueMutex);
    return g_simRemoveRequests.size();
  }
};

TEST_F(AddingStackTest, OneRemovalPer10TicksOneCreationPer20LiveBeforeStatic) {
  for (std::uint32_t id = 1; id <= 8; ++id) g_removeStack.push_back(100 + id);
  g_liveCreateQueue = {request(20001)};
  g_staticCreateQueue = {request(5), request(6)};
  struct Case {
    int tick;
    std::size_t removals;
    std::vector<std::uint32_t> creates;
  };
  const Case cases[] = {
      {9, 0, {}},
      {10, 1, {}},
      {19, 1, {}},
      {20, 2, {20001}},
      {39, 3, {20001}},
      {40, 4, {20001, 5}},
      {60, 6, {20001, 5, 6}},
  };
  int done = 0;
  for (const Case& c : cases) {
    ticks(c.tick - done);
    done = c.tick;
    EXPECT_EQ(sentRemovals(), c.removals) << "after tick " << c.tick;
    EXPECT_EQ(sentCreates(), c.creates) << "after tick " << c.tick;
    EXPECT_EQ(g_engineTime, c.tick);
  }
}

// A static copy of a live flight whose removal still waits in the queue: the simulator would show
// the registration twice if the live one were created first.
TEST_F(AddingStackTest, AStaticOfTheSameRegistrationGoesBeforeTheLiveOneIsCreated) {
  StaticAc parked;
  parked.hexid = 7;
  parked.objectId = 1011;
  parked.registration = "HB-JNA";
  parked.simState = SimStatus::removingfromsim;
  g_staticAcs.push_back(parked);
  for (std::uint32_t id = 1; id <= 4; ++id) g_removeStack.push_back(100 + id);
  g_removeStack.push_back(1011);
  AiCreateRequest live = request(20001);
  live.tailNumber = "HB-JNA";
  g_liveCreateQueue = {live};
  ticks(10);
  {
    std::lock_guard lock(g_simQueueMutex);
    ASSERT_EQ(g_simRemoveRequests.size(), 1u);
    EXPECT_EQ(g_simRemoveRequests.front(), 1011u);
  }
  EXPECT_TRUE(sentCreates().empty());
  ticks(10);
  EXPECT_EQ(sentCreates(), std::vector<std::uint32_t>{20001});
  EXPECT_EQ(sentRemovals(), 2u);
}

TEST_F(AddingStackTest, SpawnedAircraftJoinTheLiveQueueOnePerTickLatestFirst) {
  for (std::uint32_t hexid = 1; hexid <= 30; ++hexid) {
    addLive(Rec(hexid, fmt::format("KLM{}", hexid).c_str()), SimStatus::adding2sim);
    g_addingStack.push_back(hexid);
  }
  g_addingStack.insert(g_addingStack.begin() + 10, 77);  // erased meanwhile: dropped silently
  ticks(1);
  ASSERT_EQ(g_liveCreateQueue.size(), 1u);
  EXPECT_EQ(g_liveCreateQueue.front().hexid, 30u);
  ticks(19);  // the 20th tick sends the queue's front on
  EXPECT_EQ(sentCreates(), std::vector<std::uint32_t>{30});
  EXPECT_EQ(g_liveCreateQueue.size(), 19u);
  ticks(11);
  EXPECT_TRUE(g_addingStack.empty());
  EXPECT_EQ(g_liveCreateQueue.back().hexid, 1u);
  EXPECT_EQ(g_liveCreateQueue.size(), 29u);
}

TEST_F(AddingStackTest, AParkAirportSetUpAdvancesTheEngineClockByTheTimeItTook) {
  std::int64_t now = 0;
  std::int64_t tookMs = 0;
  hooks.steadyNanos = [&] { return now; };
  hooks.readParkedFile = [] { return std::optional<std::string>(); };
  hooks.restartParkingCountdown = [] {};
  hooks.populateParkAirport = [&] { now += tookMs * 1'000'000; };
  install();
  for (const auto& [ms, added] : {std::pair{123, 12}, {4, 0}, {5, 1}, {0, 0}}) {
    g_engineTime = 1000;
    tookMs = ms;
    gf_setupParkAirport();
    EXPECT_EQ(g_engineTime, 1000 + added) << ms << " ms";
  }
}

TEST_F(AddingStackTest, AnAircraftWhoseUpdateThrowsIsReportedAndRemovedTheOthersGoOn) {
  addLive(Rec(1, "KLM1"));
  addLive(Rec(2, "KLM2"), SimStatus::buffer);
  addLive(Rec(3, "KLM3"));
  std::vector<std::uint32_t> updated;
  hooks.updateLiveAc = [&](LiveAc& a) {
    if (a.hexid == 2 || (a.hexid == 3 && a.simState == SimStatus::active)) throw std::runtime_error("bad record");
    updated.push_back(a.hexid);
    return false;
  };
  install();
  lf_handleAddingStack();
  lf_handleAddingStack();
  EXPECT_EQ(updated, (std::vector<std::uint32_t>{1, 1, 3}));
  EXPECT_EQ(removed, (std::vector<std::uint32_t>{2, 3}));
  // Without an object the record goes at once; the other waits for the simulator's answer.
  EXPECT_EQ(hexidsOf(g_liveAcs), (std::vector<std::uint32_t>{1, 3}));
  EXPECT_NE(logText().find("==> Traffic exception in lf_updatePass: bad record\n"), std::string::npos);
  EXPECT_EQ(g_engineTime, 2);
}

TEST_F(AddingStackTest, StepPassesPickTheAircraftTheyRemove) {
  g_workerUserAcPosition.latitude = kEham.lat;
  g_workerUserAcPosition.longitude = kEham.lon;
  addLive(Rec(1, "KLM1").at(offset(kEham, 9000)).registration("PH-BXA"));
  addLive(Rec(2, "KLM2").at(offset(kEham, 30000)), SimStatus::adding2sim);  // further, not in the simulator
  addLive(Rec(3, "KLM3").at(offset(kEham, 20000)).air(5000, 250));
  g_liveAcs[2].tcasCoverage = true;
  struct Case {
    const char* name;
    void (*pass)();
    std::vector<std::uint32_t> removed;
  };
  const Case cases[] = {
      {"blocked by an unknown hexid, then its callsign", [] { removeBlocked({"", "KLM3", "PH-BXA", 9}); }, {3}},
      {"blocked by registration", [] { removeBlocked({"", "", "PH-BXA", 0}); }, {1}},
      {"the furthest beyond 5 NM", [] { EXPECT_FALSE(lf_isThisTheFurthestLive(5.0)); }, {3}},
      {"none beyond 11 NM", [] { EXPECT_TRUE(lf_isThisTheFurthestLive(11.0)); }, {}},
      {"TCAS coverage below FL180 less 1000 ft", [] { gf_removeTCASCoverageAcs(); }, {3}},
  };
  for (const Case& c : cases) {
    removed.clear();
    c.pass();
    EXPECT_EQ(removed, c.removed) << c.name;
    for (LiveAc& a : g_liveAcs) a.simState = a.hexid == 2 ? SimStatus::adding2sim : SimStatus::active;
  }
}

TEST_F(AddingStackTest, AParkedActionRunsOnceDueAndOnlyForAParkedAircraft) {
  addLive(Rec(1), SimStatus::active, FlightPhase::parked).standCargo = true;
  g_parkedAcActions = {{2, 50, 0}, {1, 100, 2}};
  g_engineTime = 99;
  gf_runDueParkedAcAction();
  EXPECT_EQ(g_parkedAcActions.size(), 2u);
  g_engineTime = 100;
  gf_runDueParkedAcAction();
  gf_runDueParkedAcAction();  // hexid 2 is not parked: the entry goes without effect
  EXPECT_TRUE(g_parkedAcActions.empty());
  std::lock_guard lock(g_simQueueMutex);
  ASSERT_EQ(g_simClientEvents.size(), 7u);
  EXPECT_EQ(g_simClientEvents[0].value, 1u) << "NAV while parked";
  EXPECT_EQ(g_simClientEvents[6].value, 0u) << "no cabin light at a cargo stand";
}

}  // namespace
