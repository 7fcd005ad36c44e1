// The connection's life: waiting, set-up, states, losing and rebuilding it, the wrong edition.
#include <algorithm>

#include "tests/simlink/sim_fixture.h"

namespace simtest {
namespace {

std::vector<std::string> lf_setupCalls() {
  std::vector<std::string> calls;
  for (const auto& record : sim::callLog())
    if (record.call != "Close" && record.call != "RequestDataOnSimObject" && record.call != "SetDataOnSimObject")
      calls.push_back(record.call + "(" + record.detail + ")");
  return calls;
}

TEST_F(SimLinkTest, WaitsWithOneMessageUntilTheSimulatorRunsThenConnects) {
  startClient();
  ASSERT_TRUE(sim::waitUntil([] { return sim::openAttempts() >= 5; }));
  EXPECT_EQ(g_simState.load(), 0);
  sim::setRunning(true);
  ASSERT_TRUE(sim::waitUntil([] { return g_simState.load() == 1; }));

  EXPECT_EQ(std::ranges::count(messages(), "Waiting for MSFS 2024 ..."), 1);
  EXPECT_NE(log().find("MSFS 2024 (12.1.282.0) connected"), std::string::npos);
  std::lock_guard lock(mutex_);
  EXPECT_EQ(simulatorTexts, std::vector<std::string>{"MSFS 2024 (12.1.282.0)"});
}

TEST_F(SimLinkTest, SetsUpEventsDefinitionsAndClientEventsInOrder) {
  connect();
  std::vector<std::string> expected{"Open(JORV)"};
  const auto add = [&](const char* call, std::initializer_list<std::string> details, const char* tail = "") {
    for (const std::string& d : details) expected.push_back(fmt::format("{}({}{})", call, d, tail));
  };
  add("SubscribeToSystemEvent", {"201, Sim", "202, ObjectAdded", "203, ObjectRemoved", "205, FlightLoaded", "204, Frame"});
  add("AddToDataDefinition", {"407, TITLE, -, STRINGV", "408, ATC MODEL, -, STRING32", "409, SIM ON GROUND, Bool, INT64"});
  const char* const planeAttitude[] = {"Plane Latitude, degree", "Plane Longitude, degree", "Plane Pitch degrees, radian",
                                       "Plane Bank degrees, radian"};
  for (const char* v : planeAttitude) add("AddToDataDefinition", {fmt::format("402, {}", v)}, ", FLOAT64");
  add("AddToDataDefinition", {"402, Plane Heading degrees true, radian", "402, Plane Altitude, feet",
                              "402, Vertical Speed, feet per minute", "402, Airspeed True, knots"}, ", FLOAT64");
  for (const char* v : planeAttitude) add("AddToDataDefinition", {fmt::format("403, {}", v)}, ", FLOAT64");
  add("AddToDataDefinition", {"403, Vertical Speed, feet per minute", "403, Plane Heading degrees true, radian",
                              "403, Plane Altitude, feet", "403, Indicated Altitude, feet",
                              "403, Plane Alt Above Ground, feet", "403, Ground Velocity, knots"}, ", FLOAT64");
  add("AddToDataDefinition", {"403, ZULU TIME, Seconds", "403, ZULU DAY OF YEAR, Number", "403, ZULU YEAR, Number",
                              "403, LIGHT STATES, Mask"}, ", INT64");
  add("AddToDataDefinition", {"403, GPS Ground True Track, degree, FLOAT64", "405, Static CG to Ground, feet, FLOAT64",
                              "405, Static Pitch, radian, FLOAT64", "406, Light On States, Mask, INT64",
                              "404, Plane Alt Above Ground, feet, FLOAT64", "404, Ground Altitude, feet, FLOAT64",
                              "404, SIM ON GROUND, Bool, INT64", "404, ATC ID, -, STRING32",
                              "401, SPOILERS HANDLE POSITION, percent, FLOAT64"});
  add("AddToDataDefinition", {"401, GENERAL ENG THROTTLE LEVER POSITION:1", "401, GENERAL ENG THROTTLE LEVER POSITION:2"},
      ", percent, FLOAT64");
  add("MapClientEventToSimEvent",
      {"219, GEAR_SET", "220, ENGINE_AUTO_START", "221, ENGINE_AUTO_SHUTDOWN", "222, THROTTLE_SET", "217, FLAPS_SET",
       "218, SPOILERS_SET", "207, NAV_LIGHTS_SET", "206, BEACON_LIGHTS_SET", "210, LANDING_LIGHTS_SET",
       "208, TAXI_LIGHTS_SET", "209, STROBES_SET", "212, LOGO_LIGHTS_SET", "211, CABIN_LIGHTS_SET",
       "213, ALL_LIGHTS_TOGGLE", "214, FREEZE_LATITUDE_LONGITUDE_SET", "215, FREEZE_ALTITUDE_SET",
       "216, FREEZE_ATTITUDE_SET"});
  for (int event : {207, 206, 210, 208, 209, 212, 211, 213, 217, 218, 219, 221, 222, 214, 215, 216})
    add("AddClientEventToNotificationGroup", {fmt::format("301, {}, 1", event)});
  add("SetNotificationGroupPriority", {"301, 1"});
  EXPECT_EQ(lf_setupCalls(), expected);
}

TEST_F(SimLinkTest, SimEventMovesBetweenStatesOneAndTwo) {
  connect(false);
  EXPECT_EQ(g_simState.load(), 1);
  sim::setFlightRunning(true);
  ASSERT_TRUE(sim::waitForIdle());
  EXPECT_EQ(g_simState.load(), 2);
  sim::setFlightRunning(false);
  ASSERT_TRUE(sim::waitForIdle());
  EXPECT_EQ(g_simState.load(), 1);
  EXPECT_EQ(running(), (std::vector<bool>{false, true, false}));
}

TEST_F(SimLinkTest, QuitGoesBackToWaitingKeepsTheObjectsAndReconnects) {
  connect();
  createObject(0xABC001);
  sim::quit();
  ASSERT_TRUE(sim::waitUntil([] { return sim::openConnectionCount() == 0; }));
  EXPECT_EQ(g_simState.load(), 0);
  EXPECT_TRUE(sim::callLog("AIRemoveObject").empty());
  EXPECT_TRUE(gf_isRunning());

  sim::setRunning(true);
  ASSERT_TRUE(sim::waitUntil([] { return g_simState.load() != 0; }));
  EXPECT_EQ(std::ranges::count(messages(), "Waiting for MSFS 2024 ..."), 2);
  const auto updates = running();
  ASSERT_GE(updates.size(), 2u);
  EXPECT_TRUE(updates[0]);
  EXPECT_FALSE(updates[1]);
}

TEST_F(SimLinkTest, ANewConnectionTellsTheEngineThatTheOldObjectsAreGoneAndNothingElseOfThem) {
  connect();
  createObject(0xABC001);  // its "created" answer waits for the engine
  std::uint32_t objectId = 0;
  {
    std::lock_guard lock(g_delayedSimCommandsMutex);
    ASSERT_EQ(g_delayedSimCommands.size(), 1u);
    objectId = g_delayedSimCommands.front().objectId;
    // An answer of the old session that names the object: not for the engine any more.
    g_delayedSimCommands.push_back(DelayedSimCommand{.objectId = objectId, .kind = 4});
  }
  sim::quit();
  ASSERT_TRUE(sim::waitUntil([] { return sim::openConnectionCount() == 0; }));
  sim::setRunning(true);
  ASSERT_TRUE(sim::waitUntil([] { return g_simState.load() != 0; }));
  ASSERT_TRUE(sim::waitForIdle());
  const auto told = takeDelayed();
  ASSERT_EQ(told.size(), 2u) << "created, then removed: the engine drops its record";
  EXPECT_EQ(told[0].kind, 0u);
  EXPECT_EQ(told[1].kind, 2u);
  EXPECT_EQ(told[1].objectId, objectId);
  EXPECT_EQ(told[1].hexid, kGoneWithSession) << "not a removal the engine asked for";

  gf_queueDelayedSimCommand({.objectId = 7, .kind = 2});
  stopClient();
  gf_resetSimClient();
  EXPECT_TRUE(takeDelayed().empty()) << "the restart's reset";
}

TEST_F(SimLinkTest, ACreationTheOldSessionNeverAnsweredIsReportedAsLostWithIt) {
  connect();
  sim::setCreateDelayFrames(1000);  // asked for, never answered before the simulator goes
  gf_queueCreateAiObject({.position = {.latitude = 47.0, .longitude = 8.0, .altitude = 1400.0, .heading = 90.0, .onGround = 1},
                          .tailNumber = "N123AB",
                          .containerTitle = "Stand-in A320 Test Air",
                          .hexid = 0xABC002});
  for (int i = 0; i < 3; ++i) frame();
  ASSERT_TRUE(sim::aiObjects().empty());
  sim::quit();
  ASSERT_TRUE(sim::waitUntil([] { return sim::openConnectionCount() == 0; }));
  sim::setCreateDelayFrames(1);
  sim::setRunning(true);
  ASSERT_TRUE(sim::waitUntil([] { return g_simState.load() != 0; }));
  ASSERT_TRUE(sim::waitForIdle());
  const auto told = takeDelayed();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].kind, 6u);
  EXPECT_EQ(told[0].hexid, 0xABC002u);
  EXPECT_EQ(told[0].objectId, kGoneWithSession) << "lost with the session, not refused";
}

TEST_F(SimLinkTest, ANewConnectionIsAskedForTheOnGroundValueAgainSoTheEngineStepsOn) {
  connect();
  gf_queueSimCommand(SimCommand{2, 0});
  frame();
  ASSERT_TRUE(g_stepDue.exchange(false));
  sim::quit();
  ASSERT_TRUE(sim::waitUntil([] { return sim::openConnectionCount() == 0; }));
  sim::setRunning(true);
  sim::setFlightRunning(true);
  ASSERT_TRUE(sim::waitUntil([] { return g_simState.load() == 2; }));
  frame(50);
  EXPECT_TRUE(g_stepDue.load());
}

TEST_F(SimLinkTest, DispatchFailureIsLoggedAndTheConnectionRebuilt) {
  struct Case {
    HRESULT hr;
    const char* line;
  };
  const Case cases[] = {{E_FAIL, "hr=0x80004005 (Unspecified error); reconnecting ..."},
                        {static_cast<HRESULT>(0x8000FFFFu), "hr=0x8000FFFF (no system description); reconnecting ..."}};
  connect();
  std::size_t opens = 1;
  for (const Case& c : cases) {
    sim::failNextDispatch(c.hr);
    ASSERT_TRUE(sim::waitUntil([&] { return sim::callLog("Open").size() > opens && g_simState.load() != 0; }));
    opens = sim::callLog("Open").size();
    EXPECT_NE(log().find(std::string("SimConnect dispatch failed; ") + c.line), std::string::npos) << c.line;
  }
  const std::string text = log();
  EXPECT_NE(text.find("SimConnect diagnostic: no AI position update recorded"), std::string::npos);
  EXPECT_NE(text.find("SimConnect closed ok"), std::string::npos);
}

TEST_F(SimLinkTest, RejectedVariableFailsTheSetUpAfterEveryCallAndRetries) {
  sim::rejectVariable("Plane Bank degrees");
  sim::setRunning(true);
  startClient();
  ASSERT_TRUE(sim::waitUntil([] { return sim::callLog("Open").size() >= 2; }));
  stopClient();
  // The first set-up made every call although two of them failed.
  const auto calls = sim::callLog();
  std::size_t firstSetUp = 0;
  for (std::size_t i = 1; i < calls.size() && calls[i].call != "Close"; ++i) ++firstSetUp;
  EXPECT_EQ(firstSetUp, 75u);
  const std::string text = log();
  EXPECT_NE(text.find("==> SimConnect setup failed: SimConnect_AddToDataDefinition(l_hsimconnect, "
                      "DEFINITION_LATLONPIBAHEALVSTAS, \"Plane Bank degrees\", kUnitRadian) (hr=0x80004005)"),
            std::string::npos);
  EXPECT_NE(text.find("DEFINITION_LATLONPIBAVSHETRALTGSZULI, \"Plane Bank degrees\", kUnitRadian)"), std::string::npos);
  EXPECT_EQ(g_simState.load(), 0);
}

TEST_F(SimLinkTest, OtherEditionRunningPostsSimVersionOnceAndCreatesNothing) {
  struct Case {
    std::int32_t chosen;
    std::string_view running;
  };
  for (const Case c : {Case{1, sim::kMsfs2024Name}, Case{2, sim::kMsfs2020Name}}) {
    sim::reset();
    gf_publishSimChoice(SimChoice{c.chosen, 0});
    sim::setApplicationName(std::string(c.running));
    sim::useOwnFrameClock(1000.0);  // frames flow, so a create would be sent at once
    sim::setRunning(true);
    sim::setFlightRunning(true);
    gf_queueCreateAiObject({.tailNumber = "D-ABCD", .containerTitle = "Stand-in A320", .hexid = 0x3C6444});
    simVersionPosts = 0;
    startClient();
    ASSERT_TRUE(sim::waitUntil([this] { return simVersionPosts.load() > 0; })) << c.running;
    join();  // the thread ends by itself

    EXPECT_EQ(simVersionPosts.load(), 1) << c.running;
    EXPECT_TRUE(sim::callLog("AICreateNonATCAircraft").empty()) << c.running;
    EXPECT_TRUE(sim::aiObjects().empty()) << c.running;
    EXPECT_EQ(g_simState.load(), 0) << c.running;
    EXPECT_TRUE(gf_isRunning()) << c.running;
  }
  EXPECT_EQ(countOf(log(), "MSFS and JORV do not match, restarting ..."), 2u);
}

TEST_F(SimLinkTest, SimulatorOfAnotherKindEndsTheThreadWithAnErrorAndNoStop) {
  sim::setApplicationName("Kitty-Hawk X");
  sim::setRunning(true);
  startClient();
  ASSERT_TRUE(sim::waitUntil([this] {
    std::lock_guard lock(mutex_);
    return !errors.empty();
  }));
  join();
  std::lock_guard lock(mutex_);
  EXPECT_EQ(errors, std::vector<std::string>{"77: 'KittyHawk X' not being MSFS 2020 or MSFS 2024 connects ... ?"});
  EXPECT_TRUE(gf_isRunning());
  EXPECT_EQ(g_simState.load(), 0);
}

TEST_F(SimLinkTest, FlightLoadedRequestsARestartAsNewFlight) {
  connect();
  sim::loadFlight("flights/other.FLT");
  ASSERT_TRUE(sim::waitForIdle());
  auto request = gf_stopRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->reason, StopReason::NewFlight);
  EXPECT_EQ(request->restartDelaySeconds, 60u);
  EXPECT_NE(log().find("==> SimConnect: New file event"), std::string::npos);
}

}  // namespace
}  // namespace simtest
