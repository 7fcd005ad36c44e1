// The main loop's tick and the engine-step schedule, with spies for every pass.
#include "tests/app/worker_fixture.h"

#include <limits>

#include "traffic/static_stands.h"

namespace {
using worker_test::kSecond;
using worker_test::WorkerFixture;

class MainLoop : public WorkerFixture {
 protected:
  void SetUp() override {
    WorkerFixture::SetUp();
    gf_publishSimChoice(SimChoice{2, 1});  // RT App
    g_simState = 2;
  }
  // One tick with a step due; the names the tick called.
  std::vector<std::string> step() {
    clearCalls();
    g_stepDue = true;
    EXPECT_TRUE(lf_tick());
    return callsSnapshot();
  }
  void parkAtAirportWithStands() {
    gf_setParkAirport(AirportRef{IcaoCode("EHAM"), {52.3, 4.76}, -11});
    seams.parkAirportHasStands = [] { return true; };
  }
  static bool has(const std::vector<std::string>& names, const char* name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  }
};

TEST_F(MainLoop, EveryPassRunsExactlyAtItsSteps) {
  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.objectIdList = true; });
  for (int n = 1; n <= 1200; ++n) {
    const auto names = step();
    ASSERT_EQ(g_stepCount, n);
    EXPECT_EQ(has(names, "setRTAppQueryCentre"), n % 5 == 0) << "housekeeping at step " << n;
    EXPECT_EQ(has(names, "handleParkingRequests"), n % 5 != 0 && n % 14 == 0) << "parking pass at step " << n;
    EXPECT_EQ(has(names, "checkForAllGndIfParkedVersionExistsAndRemove"), n % 5 != 0 && n % 61 == 0)
        << "ground removal at step " << n;
    EXPECT_EQ(has(names, "removeTCASCoverageAcs"), n % 30 == 0) << "reader states at step " << n;
    EXPECT_EQ(has(names, "writeActiveAcFile"), n % 60 == 0) << "minute pass at step " << n;
    EXPECT_EQ(has(names, "logUnmatchedLiveries"), n % 1200 == 0) << "20-minute pass at step " << n;
    EXPECT_TRUE(has(names, "handleAddingStack")) << n;
  }
}

TEST_F(MainLoop, WithoutAStepDueOnlyTheAddingStackRuns) {
  g_stepDue = false;
  EXPECT_TRUE(lf_tick());
  EXPECT_EQ(callsSnapshot(), std::vector<std::string>{"handleAddingStack"});
  EXPECT_EQ(g_stepCount, 0);
  // A stop ends the loop even when no step comes any more.
  gf_requestStop(StopReason::SimWasClosed, 0);
  EXPECT_FALSE(lf_tick());
}

// A running stand search goes on at every tick of a running flight, not only at the steps.
TEST_F(MainLoop, TheStandSearchGetsASliceAtEveryTick) {
  int slices = 0;
  seams.stepStandSearch = [&slices] { return ++slices > 0; };
  gf_setWorkerSeams(seams);
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(lf_tick());
  step();
  EXPECT_EQ(slices, 11);
  g_simState = 1;
  lf_tick();
  EXPECT_EQ(slices, 11) << "the paused engine holds the search as well";
}

// The park airport's runway answer is looked for at every tick of a running flight, so that
// the set-up never waits for it.
TEST_F(MainLoop, TheRunwayReadIsPolledAtEveryTick) {
  int polls = 0;
  seams.pollRunwayRead = [&polls] { return ++polls > 0; };
  gf_setWorkerSeams(seams);
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(lf_tick());
  step();
  EXPECT_EQ(polls, 11);
  EXPECT_EQ(gf_programWorkerSeams().pollRunwayRead(), false) << "the program's poll with nothing in flight";
}

TEST_F(MainLoop, AParkingRequestIsTakenAtThe15thStepAndAdjustedAtThe30th) {
  parkAtAirportWithStands();
  seams.adjustParking = [this](bool flag) { record(flag ? "adjustParking(true)" : "adjustParking(false)"); };
  gf_setWorkerSeams(seams);
  {
    std::lock_guard lock(g_parkingRequestMutex);
    g_parkingRequest.requested = 1;
    g_parkingRequest.flag = true;
  }
  for (int n = 1; n <= 45; ++n) {
    const auto names = step();
    EXPECT_EQ(has(names, "disableParkingControls"), n == 15) << n;
    EXPECT_EQ(has(names, "resetParkedTraffic"), n == 15) << n;
    EXPECT_EQ(has(names, "adjustParking(true)"), n == 30) << n;
    // While the update is in progress the 14-step pass waits.
    if (n == 28) {
      EXPECT_FALSE(has(names, "handleParkingRequests"));
    }
    if (n == 42) {
      EXPECT_TRUE(has(names, "handleParkingRequests"));
    }
  }
  std::lock_guard lock(g_parkingRequestMutex);
  EXPECT_EQ(g_parkingRequest.done, 1u);
  EXPECT_FALSE(g_parkingRequest.flag);
  EXPECT_FALSE(g_parkingRequest.inProgress);
}

TEST_F(MainLoop, ParkingMinutesCountDownOnceAMinuteAndAskForAnUpdateAtZero) {
  parkAtAirportWithStands();
  gf_setWorkerSeams(seams);
  g_parkingMinutesLeft = 3;
  for (int n = 1; n <= 59; ++n) step();
  EXPECT_EQ(g_parkingMinutesLeft, 3);
  auto names = step();  // step 60
  EXPECT_EQ(g_parkingMinutesLeft, 2);
  for (int n = 61; n <= 120; ++n) names = step();
  EXPECT_TRUE(has(names, "requestParkedTraffic")) << "one minute before the update, in RT App mode";
  EXPECT_EQ(g_parkingMinutesLeft, 1);
  for (int n = 121; n <= 180; ++n) step();
  EXPECT_EQ(g_parkingMinutesLeft, 20) << "reloaded from the parking interval";
  std::lock_guard lock(g_parkingRequestMutex);
  EXPECT_EQ(g_parkingRequest.requested, 1u);
}

TEST_F(MainLoop, AHandedOverCountdownSkipsTheNextMinutesDecrement) {
  for (int n = 1; n <= 50; ++n) step();
  g_parkingCountdown = 7;
  for (int n = 51; n <= 60; ++n) step();
  EXPECT_EQ(g_parkingMinutesLeft, 7);
  for (int n = 61; n <= 120; ++n) step();
  EXPECT_EQ(g_parkingMinutesLeft, 6);
}

TEST_F(MainLoop, TheLiveMaximumRemovesOnlyTheExcess) {
  struct Case {
    std::int64_t live;
    std::uint32_t maximum;
    int removed;
  } cases[] = {{3, 10, 0}, {10, 10, 0}, {12, 10, 2}, {0, 50, 0}, {700, 500, 0}, {40, 30, 10}};
  for (const Case& c : cases) {
    int removed = 0;
    seams.liveAircraftInSim = [&c] { return c.live; };
    seams.removeFurthestLive = [&removed](double distance) {
      EXPECT_EQ(distance, -1.0);
      ++removed;
      return true;
    };
    gf_setWorkerSeams(seams);
    gf_changeParameterSnapshot([&c](ParameterSnapshot& s) { s.maxLiveSel = c.maximum; });
    g_maxLiveSelChanged = true;
    step();
    EXPECT_EQ(removed, c.removed) << c.live << " live, maximum " << c.maximum;
  }
}

// The air test against the user's aircraft runs only while it flies or stands high above the
// ground; the height is the one above the ground, not above the sea.
TEST_F(MainLoop, TheUserAirTestRunsOnlyForAUserInTheAirOrHighAboveTheGround) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    bool onGround;
    double altitude, aboveGround;
    bool collisionUserAir, tested;
  } cases[] = {
      {"parked at a field 1416 ft high", true, 1416.0, 0.0, true, false},
      {"parked, its height not known", true, 1416.0, nan, true, false},
      {"on the ground 500 ft over the terrain", true, 1916.0, 500.0, true, false},
      {"on the ground 501 ft over the terrain", true, 1917.0, 501.0, true, true},
      {"in the air 200 ft over the field", false, 1616.0, 200.0, true, true},
      {"in the air over the sea", false, 0.0, 0.0, true, true},
      {"in the air, the air test off", false, 3000.0, 3000.0, false, false},
  };
  for (const Case& c : cases) {
    g_userOnGround = c.onGround;
    gf_publishUserAcPosition(UserAcPosition{.latitude = 47.45, .longitude = 8.54, .altitude = c.altitude,
                                            .altitudeAboveGround = c.aboveGround});
    gf_changeParameterSnapshot([&c](ParameterSnapshot& s) { s.collisionUserAir = c.collisionUserAir; });
    EXPECT_EQ(has(step(), "checkParkedAcUserCollisions"), c.tested) << c.what;
  }
}

TEST_F(MainLoop, RTParkedTrafficOnlyTargetsTheParkSelectionWithinTheStands) {
  struct Case {
    std::uint32_t maxParkSel;
    std::int64_t stands;
    std::int32_t target;
    std::int32_t percent;
    bool surplusRemoved;  // the target fell
  } cases[] = {{500, 40, 40, 100, false},
               {10, 40, 10, 25, true},
               {1, 3, 1, 33, true},
               {2, 3, 2, 67, false},
               {0, 12, 0, 0, true}};
  for (const Case& c : cases) {
    seams.standCount = [&c] { return c.stands; };
    gf_setWorkerSeams(seams);
    gf_resetGuiForTest();
    gf_changeParameterSnapshot([&c](ParameterSnapshot& s) {
      s.rtParkTrafficOnly = true;
      s.maxParkSel = c.maxParkSel;
    });
    g_maxParkSelChanged = true;
    EXPECT_EQ(has(step(), "enforceMaxParked"), c.surplusRemoved) << c.maxParkSel << " of " << c.stands;
    EXPECT_EQ(g_staticTargetCount, c.target) << c.maxParkSel << " of " << c.stands;
    std::lock_guard lock(g_gui.queueMutex);
    bool posted = false;
    for (const GuiUpdate& update : g_gui.queue)
      if (auto* target = std::get_if<gui::SetStaticTarget>(&update)) {
        posted = true;
        EXPECT_EQ(target->count, c.target);
        EXPECT_EQ(target->percent, c.percent) << c.maxParkSel << " of " << c.stands;
      }
    EXPECT_TRUE(posted);
  }
  // Without stands nothing happens.
  seams.standCount = [] { return std::int64_t{0}; };
  gf_setWorkerSeams(seams);
  g_maxParkSelChanged = true;
  const auto names = step();
  EXPECT_FALSE(has(names, "setStaticTargetCount"));
}

TEST_F(MainLoop, APausedFlightKeepsRepliesAndTheFeedPositionGoingButNoTraffic) {
  g_simState = 1;
  g_rtAppServerStarted = true;
  gf_setMailboxActive(true);
  g_engineTime = 7;
  for (int i = 0; i < 250; ++i) EXPECT_TRUE(lf_tick());
  EXPECT_EQ(g_engineTime, 7) << "the engine clock stands still in a pause";
  EXPECT_EQ(count("processDelayedSimCommands"), 250);
  EXPECT_EQ(count("sendUserPositionToRTApp"), 2) << "once every 100 ticks";
  EXPECT_EQ(count("clearAiPoseMaps"), 1);
  EXPECT_FALSE(called("handleAddingStack"));
  EXPECT_TRUE(g_flightPaused);
  {
    std::lock_guard lock(g_trafficMutex);
    EXPECT_FALSE(g_trafficMailbox.active);
  }
  EXPECT_NE(at(" Flight not running\n"), -1);

  g_simState = 2;
  step();
  EXPECT_FALSE(g_flightPaused);
  EXPECT_NE(at(" Flight resumed\n"), -1);
  std::lock_guard lock(g_trafficMutex);
  EXPECT_TRUE(g_trafficMailbox.active);
}

TEST_F(MainLoop, APausedFlightSendsNothingToAnRTAppWhoseServerWeDidNotStart) {
  g_simState = 1;
  g_rtAppServerStarted = false;
  for (int i = 0; i < 300; ++i) lf_tick();
  EXPECT_EQ(count("sendUserPositionToRTApp"), 0);
  EXPECT_TRUE(gf_isRunning());
}

TEST_F(MainLoop, TicksEvery10msAndRebasesADeadlineMoreThan100msLate) {
  std::vector<std::int64_t> sleeps;
  seams.sleepNanos = [&](std::int64_t nanos) {
    sleeps.push_back(nanos);
    now += nanos;
  };
  int ticks = 0;
  seams.handleAddingStack = [&] {
    ++ticks;
    if (ticks == 5) now += 150'000'000;  // a slow tick: 150 ms
    if (ticks == 8) now += 60'000'000;   // late, but within the limit: caught up
    if (ticks == 12) gf_requestStop(StopReason::SimWasClosed, 0);
  };
  gf_setWorkerSeams(seams);
  lf_mainLoop();
  // Ticks 1-4 sleep 10 ms each. After the 150-ms tick the schedule starts again from now: one
  // 10-ms sleep, no burst of catch-up ticks. After the 60-ms tick (within the limit) the ticks
  // catch up back to back until the stop.
  EXPECT_EQ(sleeps, std::vector<std::int64_t>(7, 10'000'000));
  EXPECT_EQ(ticks, 12);
}

}  // namespace
