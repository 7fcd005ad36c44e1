// The connection's life: waiting, set-up, states, losing and rebuilding it, the wrong edition.
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

  std::size_t waits = 0;
  for (const auto& m : messages()) waits += m == "Waiting for MSFS 2024 ..." ? 1 : 0;
  EXPECT_EQ(waits, 1u);
  EXPECT_NE(log().find("MSFS 2024 (12.1.282.0) connected"), std::string::npos);
  std::lock_guard lock(mutex_);
  EXPECT_EQ(simulatorTexts, std::vector<std::string>{"MSFS 2024 (12.1.282.0)"});
}

TEST_F(SimLinkTest, SetsUpEventsDefinitionsAndClientEventsInOrder) {
  connect();
  const std::vector<std::string> expected{
      "Open(JORV)",
      "SubscribeToSystemEvent(201, Sim)",
      "SubscribeToSystemEvent(202, ObjectAdded)",
      "SubscribeToSystemEvent(203, ObjectRemoved)",
      "SubscribeToSystemEvent(205, FlightLoaded)",
      "SubscribeToSystemEvent(204, Frame)",
      "AddToDataDefinition(407, TITLE, -, STRINGV)",
      "AddToDataDefinition(408, ATC MODEL, -, STRING32)",
      "AddToDataDefinition(409, SIM ON GROUND, Bool, INT64)",
      "AddToDataDefinition(402, Plane Latitude, degree, FLOAT64)",
      "AddToDataDefinition(402, Plane Longitude, degree, FLOAT64)",
      "AddToDataDefinition(402, Plane Pitch degrees, radian, FLOAT64)",
      "AddToDataDefinition(402, Plane Bank degrees, radian, FLOAT64)",
      "AddToDataDefinition(402, Plane Heading degrees true, radian, FLOAT64)",
      "AddToDataDefinition(402, Plane Altitude, feet, FLOAT64)",
      "AddToDataDefinition(402, Vertical Speed, feet per minute, FLOAT64)",
      "AddToDataDefinition(402, Airspeed True, knots, FLOAT64)",
      "AddToDataDefinition(403, Plane Latitude, degree, FLOAT64)",
      "AddToDataDefinition(403, Plane Longitude, degree, FLOAT64)",
      "AddToDataDefinition(403, Plane Pitch degrees, radian, FLOAT64)",
      "AddToDataDefinition(403, Plane Bank degrees, radian, FLOAT64)",
      "AddToDataDefinition(403, Vertical Speed, feet per minute, FLOAT64)",
      "AddToDataDefinition(403, Plane Heading degrees true, radian, FLOAT64)",
      "AddToDataDefinition(403, Plane Altitude, feet, FLOAT64)",
      "AddToDataDefinition(403, Indicated Altitude, feet, FLOAT64)",
      "AddToDataDefinition(403, Plane Alt Above Ground, feet, FLOAT64)",
      "AddToDataDefinition(403, Ground Velocity, knots, FLOAT64)",
      "AddToDataDefinition(403, ZULU TIME, Seconds, INT64)",
      "AddToDataDefinition(403, ZULU DAY OF YEAR, Number, INT64)",
      "AddToDataDefinition(403, ZULU YEAR, Number, INT64)",
      "AddToDataDefinition(403, LIGHT STATES, Mask, INT64)",
      "AddToDataDefinition(403, GPS Ground True Track, degree, FLOAT64)",
      "AddToDataDefinition(405, Static CG to Ground, feet, FLOAT64)",
      "AddToDataDefinition(405, Static Pitch, radian, FLOAT64)",
      "AddToDataDefinition(406, Light On States, Mask, INT64)",
      "AddToDataDefinition(404, Plane Alt Above Ground, feet, FLOAT64)",
      "AddToDataDefinition(404, Ground Altitude, feet, FLOAT64)",
      "AddToDataDefinition(404, SIM ON GROUND, Bool, INT64)",
      "AddToDataDefinition(404, ATC ID, -, STRING32)",
      "AddToDataDefinition(401, SPOILERS HANDLE POSITION, percent, FLOAT64)",
      "AddToDataDefinition(401, GENERAL ENG THROTTLE LEVER POSITION:1, percent, FLOAT64)",
      "AddToDataDefinition(401, GENERAL ENG THROTTLE LEVER POSITION:2, percent, FLOAT64)",
      "MapClientEventToSimEvent(219, GEAR_SET)",
      "MapClientEventToSimEvent(220, ENGINE_AUTO_START)",
      "MapClientEventToSimEvent(221, ENGINE_AUTO_SHUTDOWN)",
      "MapClientEventToSimEvent(222, THROTTLE_SET)",
      "MapClientEventToSimEvent(217, FLAPS_SET)",
      "MapClientEventToSimEvent(218, SPOILERS_SET)",
      "MapClientEventToSimEvent(207, NAV_LIGHTS_SET)",
      "MapClientEventToSimEvent(206, BEACON_LIGHTS_SET)",
      "MapClientEventToSimEvent(210, LANDING_LIGHTS_SET)",
      "MapClientEventToSimEvent(208, TAXI_LIGHTS_SET)",
      "MapClientEventToSimEvent(209, STROBES_SET)",
      "MapClientEventToSimEvent(212, LOGO_LIGHTS_SET)",
      "MapClientEventToSimEvent(211, CABIN_LIGHTS_SET)",
      "MapClientEventToSimEvent(213, ALL_LIGHTS_TOGGLE)",
      "MapClientEventToSimEvent(214, FREEZE_LATITUDE_LONGITUDE_SET)",
      "MapClientEventToSimEvent(215, FREEZE_ALTITUDE_SET)",
      "MapClientEventToSimEvent(216, FREEZE_ATTITUDE_SET)",
      "AddClientEventToNotificationGroup(301, 207, 1)",
      "AddClientEventToNotificationGroup(301, 206, 1)",
      "AddClientEventToNotificationGroup(301, 210, 1)",
      "AddClientEventToNotificationGroup(301, 208, 1)",
      "AddClientEventToNotificationGroup(301, 209, 1)",
      "AddClientEventToNotificationGroup(301, 212, 1)",
      "AddClientEventToNotificationGroup(301, 211, 1)",
      "AddClientEventToNotificationGroup(301, 213, 1)",
      "AddClientEventToNotificationGroup(301, 217, 1)",
      "AddClientEventToNotificationGroup(301, 218, 1)",
      "AddClientEventToNotificationGroup(301, 219, 1)",
      "AddClientEventToNotificationGroup(301, 221, 1)",
      "AddClientEventToNotificationGroup(301, 222, 1)",
      "AddClientEventToNotificationGroup(301, 214, 1)",
      "AddClientEventToNotificationGroup(301, 215, 1)",
      "AddClientEventToNotificationGroup(301, 216, 1)",
      "SetNotificationGroupPriority(301, 1)",
  };
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
  std::size_t waits = 0;
  for (const auto& m : messages()) waits += m == "Waiting for MSFS 2024 ..." ? 1 : 0;
  EXPECT_EQ(waits, 2u);
  const auto updates = running();
  ASSERT_GE(updates.size(), 2u);
  EXPECT_TRUE(updates[0]);
  EXPECT_FALSE(updates[1]);
}

TEST_F(SimLinkTest, DispatchFailureIsLoggedAndTheConnectionRebuilt) {
  connect();
  sim::failNextDispatch(E_FAIL);
  ASSERT_TRUE(sim::waitUntil([] { return sim::callLog("Open").size() >= 2 && g_simState.load() != 0; }));
  const std::string text = log();
  EXPECT_NE(text.find("SimConnect dispatch failed; hr=0x80004005 (Unspecified error); reconnecting ..."),
            std::string::npos);
  EXPECT_NE(text.find("SimConnect diagnostic: no AI position update recorded"), std::string::npos);
  EXPECT_NE(text.find("SimConnect closed ok"), std::string::npos);
}

TEST_F(SimLinkTest, DispatchFailureWithoutSystemTextSaysSo) {
  connect();
  sim::failNextDispatch(static_cast<HRESULT>(0x8000FFFFu));
  ASSERT_TRUE(sim::waitUntil([] { return sim::callLog("Open").size() >= 2; }));
  EXPECT_NE(log().find("SimConnect dispatch failed; hr=0x8000FFFF (no system description); reconnecting ..."),
            std::string::npos);
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
    AiCreateRequest request;
    request.containerTitle = "Stand-in A320";
    request.tailNumber = "D-ABCD";
    request.hexid = 0x3C6444;
    gf_queueCreateAiObject(request);
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
