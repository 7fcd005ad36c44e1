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

}  // namespace
