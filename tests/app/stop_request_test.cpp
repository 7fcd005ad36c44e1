#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <thread>
#include <vector>

#include "appbase/stop_request.h"
#include "config/sim_choice.h"

namespace {

std::atomic<int> g_serverClosed{0};
void countClose() { ++g_serverClosed; }

class StopRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_resetStopStateForTest();
    g_serverClosed = 0;
  }
  void TearDown() override {
    gf_resetStopStateForTest();
    gf_publishSimChoice(SimChoice{});
  }
};

TEST_F(StopRequestTest, TheFirstOfManyRacingRequestsWins) {
  for (int round = 0; round < 20; ++round) {
    gf_resetStopStateForTest();
    constexpr int kThreads = 8;
    std::barrier start(kThreads);
    std::atomic<int> stored{0};
    std::vector<std::atomic<bool>> sawRunningAfter(kThreads);
    {
      std::vector<std::jthread> threads;
      for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
          start.arrive_and_wait();
          if (gf_requestStop(t % 2 ? StopReason::ReaderError : StopReason::NewFlight, static_cast<std::uint32_t>(t)))
            ++stored;
          sawRunningAfter[static_cast<size_t>(t)] = gf_isRunning();
        });
    }
    EXPECT_EQ(stored, 1);
    for (auto& saw : sawRunningAfter) EXPECT_FALSE(saw);
    ASSERT_TRUE(gf_stopRequest());
    const auto request = *gf_stopRequest();
    EXPECT_EQ(request.reason, request.restartDelaySeconds % 2 ? StopReason::ReaderError : StopReason::NewFlight);
  }
}

TEST_F(StopRequestTest, ClosingTheWindowAfterARestartReasonStillExits) {
  EXPECT_TRUE(gf_requestStop(StopReason::NewSettings, 3));
  EXPECT_FALSE(gf_exitRequested());
  EXPECT_FALSE(gf_requestStop(StopReason::UserClosedSim, 0));
  EXPECT_TRUE(gf_exitRequested());
  EXPECT_EQ(gf_stopRequest()->reason, StopReason::NewSettings);  // the logged reason stays the first

  gf_clearStopRequest();  // the restart's reset does not undo the exit request
  EXPECT_FALSE(gf_isRunning());
}

TEST_F(StopRequestTest, ClosingTheWindowClosesTheRTAppServerOnlyInRTAppMode) {
  gf_setRTAppServerCloser(countClose);
  gf_publishSimChoice(SimChoice{2, 0});  // RT Direct
  gf_requestStop(StopReason::UserClosedSim, 0);
  EXPECT_EQ(g_serverClosed, 0);

  gf_resetStopStateForTest();
  gf_setRTAppServerCloser(countClose);
  gf_publishSimChoice(SimChoice{2, 1});  // RT App
  gf_requestStop(StopReason::SimConnectError, 9);
  gf_requestStop(StopReason::UserClosedSim, 0);
  EXPECT_EQ(g_serverClosed, 1);
}

TEST(StopReasons, TextsAndRestartReasons) {
  struct Case {
    StopReason reason;
    const char* text;
    bool restart;
  } cases[] = {
      {StopReason::NotYetSet, "NOT YET SET", false},
      {StopReason::SimWasClosed, "SIM WAS CLOSED", false},
      {StopReason::NewFlight, "NEW FLIGHT", true},
      {StopReason::NewSettings, "NEW SETTINGS", true},
      {StopReason::UserClosedSim, "USER CLOSED SIM", false},
      {StopReason::InstallPathMissing, "INSTALL PATH MISSING", false},
      {StopReason::SimConnectError, "SIMCONNECT ERROR", true},
      {StopReason::ReaderError, "READER ERROR", true},
      {StopReason::SystemError, "SYSTEM ERROR", false},
      {StopReason::NewVersion, "NEW VERSION", false},
      {StopReason::TrafficMailboxStalled, "TRAFFIC MAILBOX STALLED", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(gf_stopReasonText(c.reason), c.text);
    EXPECT_EQ(gf_isRestartReason(c.reason), c.restart) << c.text;
  }
}

}  // namespace
