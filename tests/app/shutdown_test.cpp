// lf_closingDown for each stop reason: restart after its countdown, or exit; the system-error
// hold; what the exit clears.
#include "core/background_saver.h"
#include "tests/app/worker_fixture.h"
#include "tests/support/held_disk.h"

namespace {
using worker_test::kSecond;
using worker_test::WorkerFixture;

class Shutdown : public WorkerFixture {
 protected:
  void SetUp() override {
    WorkerFixture::SetUp();
    gf_publishSimChoice(SimChoice{2, 1});  // RT App
  }
};

TEST_F(Shutdown, EachReasonRestartsAfterItsCountdownOrExits) {
  struct Case {
    StopReason reason;
    std::uint32_t delay;
    bool restart;
  } cases[] = {
      {StopReason::NewFlight, 60, true},
      {StopReason::NewSettings, 0, true},
      {StopReason::NewSettings, 3, true},
      {StopReason::SimConnectError, 9, true},
      {StopReason::ReaderError, 15, true},
      {StopReason::NotYetSet, 0, false},
      {StopReason::SimWasClosed, 0, false},
      {StopReason::UserClosedSim, 0, false},
      {StopReason::InstallPathMissing, 0, false},
      {StopReason::NewVersion, 0, false},
      {StopReason::TrafficMailboxStalled, 0, false},
  };
  for (const Case& c : cases) {
    const std::string text(gf_stopReasonText(c.reason));
    gf_resetStopStateForTest();
    clearCalls();
    if (c.reason != StopReason::NotYetSet) gf_requestStop(c.reason, c.delay);
    const std::int64_t start = now;
    lf_closingDown();
    EXPECT_NE(at(" Exiting: " + text + "\n"), -1) << text;
    EXPECT_EQ(count("MSG_START"), c.restart ? 1 : 0) << text;
    EXPECT_EQ(count("MSG_EXIT"), c.restart ? 0 : 1) << text;
    EXPECT_EQ(count("resetSimClient"), c.restart ? 1 : 0) << text;
    EXPECT_EQ(g_restartPending, c.restart) << text;
    EXPECT_GE(now - start, static_cast<std::int64_t>(c.delay) * kSecond) << text;
    EXPECT_LT(now - start, static_cast<std::int64_t>(c.delay + 1) * kSecond) << text;
    // A restart empties the request; an exit keeps it (the program ends).
    if (c.reason != StopReason::NotYetSet) {
      EXPECT_EQ(gf_isRunning(), c.restart) << text;
    }
  }
}

TEST_F(Shutdown, SystemErrorHoldsTheErrorLineFor25SecondsUnlessTheWindowCloses) {
  gf_requestStop(StopReason::SystemError, 0);
  std::int64_t start = now;
  lf_closingDown();
  EXPECT_GE(now - start, 25 * kSecond);
  EXPECT_LT(now - start, 26 * kSecond);
  EXPECT_EQ(count("MSG_EXIT"), 1);

  gf_resetStopStateForTest();
  gf_requestStop(StopReason::SystemError, 0);
  int sleeps = 0;
  onSleep = [&] {
    if (++sleeps == 20) gf_requestStop(StopReason::UserClosedSim, 0);
  };
  start = now;
  lf_closingDown();
  EXPECT_LT(now - start, 3 * kSecond);
  EXPECT_EQ(count("MSG_EXIT"), 2);
}

TEST_F(Shutdown, UnblockEndsALongCountdownAtOnceButNotAShortOne) {
  gf_requestStop(StopReason::NewFlight, 60);
  int sleeps = 0;
  onSleep = [&] {
    if (++sleeps == 30) g_unblockRestart = true;
  };
  std::int64_t start = now;
  lf_closingDown();
  EXPECT_LT(now - start, 4 * kSecond);
  EXPECT_EQ(count("MSG_START"), 1);
  const auto messages = shownMessages();
  EXPECT_NE(std::find(messages.begin(), messages.end(),
                      "Restarting after 60 seconds              ( or push Unblock to re-start )"),
            messages.end());

  gf_resetStopStateForTest();
  gf_requestStop(StopReason::ReaderError, 15);
  g_unblockRestart = true;  // a countdown of 15 s ignores the button
  start = now;
  lf_closingDown();
  EXPECT_GE(now - start, 15 * kSecond);
  EXPECT_EQ(count("MSG_START"), 2);
  const auto later = shownMessages();
  EXPECT_NE(std::find(later.begin(), later.end(), "Restarting after 1 second"), later.end());
  EXPECT_NE(std::find(later.begin(), later.end(), "Restarting after 15 seconds"), later.end());
}

TEST_F(Shutdown, AnExitClearsBlockEntriesAndInRTDirectTheTimeShift) {
  gf_publishSimChoice(SimChoice{2, 0});  // RT Direct
  BLOCK_CALLSIGN.value = "KLM123";
  BLOCK_HEXIDDEC.value = 4711;
  TIME_SHIFT_HOURS.value = 5;
  DESTINATION.value = "EHAM";
  gf_requestStop(StopReason::SimWasClosed, 0);
  lf_closingDown();
  EXPECT_EQ(BLOCK_CALLSIGN.value.load(), "");
  EXPECT_EQ(BLOCK_HEXIDDEC.value.load(), 0);
  EXPECT_EQ(TIME_SHIFT_HOURS.value.load(), 0);
  EXPECT_EQ(DESTINATION.value.load(), "");
  EXPECT_TRUE(called("persistRTAPICooldown"));
  EXPECT_TRUE(called("stopRTDirectReaders"));
  EXPECT_FALSE(called("stopRTAppReaders"));
}

TEST_F(Shutdown, SwitchingToRTDirectRecordsTheCooldownInRTAppMode) {
  RT_CHOISE.value = "RT Direct";  // the user's new choice; this run was RT App
  gf_requestStop(StopReason::NewSettings, 0);
  lf_closingDown();
  EXPECT_TRUE(called("persistRTAPICooldown"));
  EXPECT_FALSE(called("deauthenticate"));

  gf_resetStopStateForTest();
  RT_CHOISE.value = "RT App";
  clearCalls();
  gf_requestStop(StopReason::NewSettings, 0);
  lf_closingDown();
  EXPECT_FALSE(called("persistRTAPICooldown"));
}

TEST_F(Shutdown, AFailureInsideTheShutdownEndsTheProgramInsteadOfRestarting) {
  seams.saveMyParkAirportsFile = [] { throw std::runtime_error("disk full"); };
  gf_setWorkerSeams(seams);
  gf_requestStop(StopReason::NewFlight, 60);
  lf_closingDownGuarded();
  EXPECT_NE(at("==> lf_closingDown exception: disk full\n"), -1) << log();
  EXPECT_EQ(count("MSG_EXIT"), 1);
  EXPECT_EQ(count("MSG_START"), 0);
  EXPECT_FALSE(g_restartPending);
}

TEST_F(Shutdown, TheReadersAreJoinedAfterTheSimulatorLinkWeatherFirst) {
  g_simClientThread = std::jthread([this](std::stop_token token) {
    while (!token.stop_requested()) std::this_thread::sleep_for(std::chrono::microseconds(100));
    record("SimClient ended");
  });
  g_weatherReaderThread = std::jthread([this](std::stop_token token) {
    while (!token.stop_requested()) std::this_thread::sleep_for(std::chrono::microseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    record("weather ended");
  });
  g_trafficReaderThread = std::jthread([this](std::stop_token token) {
    while (!token.stop_requested()) std::this_thread::sleep_for(std::chrono::microseconds(100));
    record("traffic ended");
  });
  gf_requestStop(StopReason::SimWasClosed, 0);
  lf_closingDown();
  EXPECT_LT(position("SimClient ended"), position("stopRTAppReaders"));
  EXPECT_LT(position("stopRTAppReaders"), position("closeRTAppServer"));
  EXPECT_LT(position("traffic ended"), position("closeRTAppServer"));
  EXPECT_LT(at("Shutdown cleanup: weather reader stopped"), at("Shutdown cleanup: waiting for traffic reader"));
}

// The park-airports list goes to the saver through the program's own seam; the run does not end
// before the disk has it, however slow the disk is.
TEST_F(Shutdown, TheRunEndsOnlyOnceEverySaveIsOnTheDisk) {
  const WorkerSeams program = gf_programWorkerSeams();
  seams.saveMyParkAirportsFile = program.saveMyParkAirportsFile;
  gf_setWorkerSeams(seams);
  const std::filesystem::path list = std::filesystem::path("airports") / "my_park_airports.txt";
  testing_support::writeFile(list, "X,Y,Z\n");  // kept as it is by the list's read and save
  program.readMyParkAirportsFile();
  std::filesystem::remove(list);

  testing_support::HeldDisk disk;
  disk.hold();
  std::thread release([&disk] {
    disk.waitUntilSyncing();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    disk.release();
  });
  gf_requestStop(StopReason::SimWasClosed, 0);
  lf_closingDown();
  release.join();
  ASSERT_TRUE(std::filesystem::exists(list));
  EXPECT_EQ(testing_support::readFile(list), "X,Y,Z\n");
  EXPECT_EQ(gf_pendingSaves(), 0u);
  EXPECT_LT(at("Shutdown cleanup: waiting for file saves"), at("Shutdown cleanup: file saves written"));
  EXPECT_LT(at("Shutdown cleanup: file saves written"), at("Shutdown cleanup completed; posting MSG_EXIT"));
}

}  // namespace
