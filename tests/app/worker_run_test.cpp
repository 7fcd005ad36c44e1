// Whole runs of the worker against fakes: set-up, main loop, a stop request, the shutdown in
// order, then a restart or the exit.
#include "tests/app/worker_fixture.h"

namespace {
using worker_test::kSecond;
using worker_test::WorkerFixture;

class WorkerRun : public WorkerFixture {
 protected:
  // Requests the stop once the engine has made `steps` steps.
  void stopAfterSteps(int steps, StopReason reason, std::uint32_t delay) {
    seams.runDueParkedAcAction = [this, steps, reason, delay] {
      record("step");
      if (++stepsSeen == steps) gf_requestStop(reason, delay);
    };
    gf_setWorkerSeams(seams);
  }
  // Every text in order; -1 for the first missing one.
  void expectInOrder(const std::vector<std::string>& texts) {
    const std::string all = log();
    std::size_t from = 0;
    for (const std::string& text : texts) {
      const auto found = all.find(text, from);
      ASSERT_NE(found, std::string::npos) << "missing after offset " << from << ": " << text << "\n" << all;
      from = found + text.size();
    }
  }
  int stepsSeen = 0;
};

TEST_F(WorkerRun, NewFlightShutsDownInOrderAndRestartsWithoutTheUpdateCheck) {
  stopAfterSteps(20, StopReason::NewFlight, 60);
  const std::int64_t start = now;
  lf_main();

  EXPECT_EQ(stepsSeen, 20);
  expectInOrder(
      {" Exiting: NEW FLIGHT\n", "Shutdown cleanup: waiting for SimClient\n", "Shutdown cleanup: SimClient stopped\n",
       "Shutdown cleanup: stopping readers\n", "Shutdown cleanup: waiting for weather reader\n",
       "Shutdown cleanup: weather reader stopped\n", "Shutdown cleanup: waiting for traffic reader\n",
       "Shutdown cleanup: traffic reader stopped\n",
       "Shutdown cleanup: dropping the RT App client; the server listens on\n", "Restarting after 60 seconds\n",
       "Restart countdown finished\n",
       "Restart phase: reinitializing SimConnect state\n", "Restart phase: reinitializing traffic state\n",
       "Restart phase: reinitializing GUI state\n", "Restart phase: reinitializing main state\n",
       "Restart phase: state reinitialization completed\n", "Restart cleanup completed; posting MSG_START\n"});
  EXPECT_EQ(count("MSG_START"), 1);
  EXPECT_EQ(count("MSG_EXIT"), 0);
  EXPECT_GE(now - start, 80 * kSecond);  // 20 steps of a second, then the 60-s countdown
  EXPECT_TRUE(gf_isRunning()) << "the main-state reset empties the request";
  EXPECT_EQ(g_stepCount, 0);
  EXPECT_EQ(count("checkForUpdates"), 1);
  EXPECT_EQ(count("readDbase"), 1);
  EXPECT_EQ(count("resetSimClient"), 1);
  EXPECT_EQ(count("clearTrafficEngine"), 1);

  // The window procedure would start the next run now.
  stepsSeen = 0;
  stopAfterSteps(3, StopReason::SimWasClosed, 0);
  lf_main();
  EXPECT_EQ(count("checkForUpdates"), 1) << "a restart skips the update check";
  EXPECT_EQ(count("readDbase"), 1) << "the dbase is read once per process";
  EXPECT_EQ(count("loadParameters"), 2);
  EXPECT_EQ(count("SimClient started"), 2);
  EXPECT_EQ(count("MSG_EXIT"), 1);
  EXPECT_NE(at(" Exiting: SIM WAS CLOSED\n"), -1);
  EXPECT_NE(at("Shutdown cleanup completed; posting MSG_EXIT\n"), -1);
  EXPECT_FALSE(g_restartPending);
}

TEST_F(WorkerRun, ClosingTheWindowCutsTheCountdownShortAndExits) {
  stopAfterSteps(3, StopReason::NewFlight, 60);
  int countdownSleeps = 0;
  std::int64_t countdownStart = 0;
  onSleep = [&] {
    if (!g_restartPending) return;
    if (countdownSleeps++ == 0) countdownStart = now;
    if (countdownSleeps == 50) gf_requestStop(StopReason::UserClosedSim, 0);  // 5 s into it
  };
  lf_main();
  EXPECT_EQ(count("MSG_EXIT"), 1);
  EXPECT_EQ(count("MSG_START"), 0);
  EXPECT_EQ(at("Restart phase:"), -1);
  EXPECT_EQ(at("Restart countdown finished"), -1);
  EXPECT_NE(at(" Exiting: NEW FLIGHT\n"), -1) << "the first reason is the one logged";
  EXPECT_LT(now - countdownStart, 7 * kSecond);
  EXPECT_FALSE(g_restartPending);
  EXPECT_EQ(count("resetSimClient"), 0);
}

TEST_F(WorkerRun, RTDirectRunSignsOffAndRecordsTheCooldown) {
  RT_CHOISE.value = "RT Direct";
  stopAfterSteps(2, StopReason::TrafficMailboxStalled, 0);
  lf_main();
  for (const char* call :
       {"readRTLicenseOrToken", "holdRTAPICooldown", "authenticate", "updateQueryBox", "rtDirectWeatherReader",
        "rtDirectTrafficReader", "stopRTDirectReaders", "deauthenticate", "persistRTAPICooldown", "closeRTAppServer"})
    EXPECT_TRUE(called(call)) << call;
  EXPECT_FALSE(called("startRTAppServer"));
  EXPECT_FALSE(called("rtAppHandshake"));
  EXPECT_EQ(count("MSG_EXIT"), 1);
  EXPECT_NE(at(" Exiting: TRAFFIC MAILBOX STALLED\n"), -1);
}

TEST_F(WorkerRun, TheUserOnTheGroundGetsTheNearestAirportAsParkAirport) {
  userOnGround = true;
  seams.findClosestAirport = [this](const UserAcPosition&) {
    record("findClosestAirport");
    return std::optional<AirportRef>(AirportRef{IcaoCode("EHAM"), {52.3, 4.76}, -11});
  };
  gf_setWorkerSeams(seams);
  stopAfterSteps(1, StopReason::SimWasClosed, 0);
  lf_main();
  EXPECT_NE(at("User aircraft on the ground at EHAM\nThe park airport is EHAM\n"), -1) << log();
  EXPECT_TRUE(called("requestParkedTraffic"));
  EXPECT_TRUE(called("hasAirportData"));
  // Shutdown takes the park airport's aircraft away and forgets it.
  EXPECT_TRUE(called("removeAllStaticAndLiveAtAirport"));
  EXPECT_TRUE(gf_parkAirport().code.empty());
}

// The simulator tells the on-ground state a while after the position: the start waits for it,
// so the user parked at an airport still gets it as park airport and its parked traffic.
TEST_F(WorkerRun, TheStartWaitsForALateOnGroundState) {
  seams.findClosestAirport = [this](const UserAcPosition&) {
    record("findClosestAirport");
    return std::optional<AirportRef>(AirportRef{IcaoCode("EHAM"), {52.3, 4.76}, -11});
  };
  seams.simClientBody = [this](const std::stop_token& token) {
    g_simState = 2;
    const std::int64_t replyAt = now + 3 * kSecond;
    while (!token.stop_requested()) {
      g_userInfoReceived = kUserTitleReceived | kUserModelReceived;
      if (now >= replyAt && !g_userOnGroundKnown) {
        g_userOnGround = true;
        g_userOnGroundKnown = true;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  };
  gf_setWorkerSeams(seams);
  stopAfterSteps(1, StopReason::SimWasClosed, 0);
  lf_main();
  EXPECT_NE(at("User aircraft on the ground at EHAM\nThe park airport is EHAM\n"), -1) << log();
  EXPECT_TRUE(called("requestParkedTraffic"));
  EXPECT_EQ(at("user not at an airport"), -1);
}

TEST_F(WorkerRun, NoSimulatorKeepsTheWorkerWaitingUntilTheWindowCloses) {
  simStateWhenConnected = 0;
  int sleeps = 0;
  onSleep = [&] {
    if (++sleeps == 300) gf_requestStop(StopReason::UserClosedSim, 0);
  };
  lf_main();
  EXPECT_FALSE(called("scanAirports")) << "the traffic source waits for the simulator";
  EXPECT_NE(at(" Exiting: USER CLOSED SIM\n"), -1);
  EXPECT_NE(at("Shutdown cleanup: SimClient stopped\n"), -1);
  EXPECT_EQ(count("MSG_EXIT"), 1);
}

TEST_F(WorkerRun, ALinkThatDropsWhileTheTitleIsAskedForIsWaitedOut) {
  // The simulator drops the link when the title and model are asked for, and is back a second
  // later (on the worker's clock) knowing nothing of the old connection's requests.
  seams.simClientBody = [this](const std::stop_token& token) {
    g_simState = 2;
    std::int64_t backAt = -1;
    while (!token.stop_requested()) {
      std::vector<SimCommand> asked;
      {
        std::lock_guard lock(g_simQueueMutex);
        asked.swap(g_simCommands);
      }
      for (const SimCommand& command : asked) {
        if (command.kind == 2) g_userOnGroundKnown = true;  // the on-ground reply
        if (command.kind != 1) continue;
        record(backAt < 0 ? "title asked" : "title asked again");
        if (backAt < 0) {
          g_simState = 0;
          backAt = now + kSecond;
        } else {
          g_userInfoReceived = kUserTitleReceived | kUserModelReceived;
        }
      }
      if (backAt >= 0 && now >= backAt) g_simState = 2;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  };
  gf_setWorkerSeams(seams);
  stopAfterSteps(3, StopReason::UserClosedSim, 0);
  lf_main();

  EXPECT_EQ(count("title asked"), 1);
  EXPECT_EQ(count("title asked again"), 1) << "the new connection is asked again";
  EXPECT_TRUE(called("scanAirports"));
  EXPECT_EQ(at(" Exiting: NOT YET SET\n"), -1);
  EXPECT_NE(at(" Exiting: USER CLOSED SIM\n"), -1);
}

}  // namespace
