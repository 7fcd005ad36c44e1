// The command queues: what one frame performs, in which order, and what a failure drops.
#include <algorithm>
#include <filesystem>

#include "tests/simlink/sim_fixture.h"

namespace simtest {
namespace {

std::vector<std::string> lf_callsSince(std::size_t from) {
  const auto calls = sim::callLog();
  std::vector<std::string> result;
  for (std::size_t i = from; i < calls.size(); ++i)
    if (calls[i].call != "SetDataOnSimObject") result.push_back(calls[i].call + "(" + calls[i].detail + ")");
  return result;
}

TEST_F(SimLinkTest, CreateIsSentBeforeARemoveOfTheSameCycle) {
  connect();
  const std::uint32_t first = createObject(0xA00001, "N1");
  const std::size_t from = sim::callLog().size();
  gf_queueRemoveAiObject(first);
  gf_queueCreateAiObject({.tailNumber = "N2", .containerTitle = "Stand-in A320", .hexid = 0xA00002});
  frame();
  EXPECT_EQ(lf_callsSince(from), (std::vector<std::string>{"AICreateNonATCAircraft(Stand-in A320, N2, 10001)",
                                                           fmt::format("AIRemoveObject({}, 105)", first)}));
}

TEST_F(SimLinkTest, FailedDataRequestStopsTheCycleAndEntersStateThree) {
  connect();
  const std::uint32_t id = createObject(0xA00001);
  sim::failCall("RequestDataOnSimObjectType");
  const std::size_t from = sim::callLog().size();
  gf_queueNavLights(id, 1);
  gf_queueSimCommand(SimCommand{0, 0});
  gf_queueCreateAiObject({.containerTitle = "Stand-in A320", .hexid = 0xA00002});
  gf_queueRemoveAiObject(id);
  frame();
  EXPECT_EQ(lf_callsSince(from), std::vector<std::string>{"RequestDataOnSimObjectType(101, 404, 84080, 2)"});
  EXPECT_EQ(g_simState.load(), 3);
  auto stop = gf_stopRequest();
  ASSERT_TRUE(stop);
  EXPECT_EQ(stop->reason, StopReason::SimConnectError);
  EXPECT_EQ(stop->restartDelaySeconds, 9u);
  EXPECT_NE(log().find("==> SimConnect request ac within range fails"), std::string::npos);
  const auto shown = messages();
  EXPECT_NE(std::find(shown.begin(), shown.end(), "SimConnect request error"), shown.end());

  // State 3 is kept: the Sim event leaves it, and later commands are dropped unsent.
  sim::setFlightRunning(true);
  gf_queueNavLights(id, 0);
  frame();
  EXPECT_EQ(g_simState.load(), 3);
  EXPECT_EQ(lf_callsSince(from).size(), 1u);
  std::lock_guard lock(g_simQueueMutex);
  EXPECT_TRUE(g_simClientEvents.empty());
}

TEST_F(SimLinkTest, FlightPlansAreDroppedWithMsfs2024) {
  connect();
  const std::uint32_t id = createObject(0xA00001);
  gf_queueFlightPlan(id, "orig_dest/ABC123.pln");
  {
    std::lock_guard lock(g_simQueueMutex);
    EXPECT_TRUE(g_simFlightPlanRequests.empty());
    g_simFlightPlanRequests.push_back(FlightPlanCommand{id, "orig_dest/ABC123"});  // queued before the switch
  }
  frame();
  EXPECT_TRUE(sim::callLog("AISetAircraftFlightPlan").empty());
  std::lock_guard lock(g_simQueueMutex);
  EXPECT_TRUE(g_simFlightPlanRequests.empty());
}

TEST_F(SimLinkTest, FlightPlansAreLoadedWithoutTheirExtensionWithMsfs2020) {
  gf_publishSimChoice(SimChoice{1, 0});
  sim::setApplicationName(std::string(sim::kMsfs2020Name));
  connect();
  const std::uint32_t id = createObject(0xA00001);
  std::filesystem::create_directories("orig_dest");
  testing_support::writeFile("orig_dest/ABC123.pln", "<plan/>\n");
  gf_queueFlightPlan(id, "orig_dest/ABC123.pln");
  frame();
  EXPECT_EQ(sim::object(id)->flightPlan, "orig_dest/ABC123");
  EXPECT_EQ(sim::object(id)->flightPlanText, "<plan/>\n");
  EXPECT_EQ(sim::callLog("AISetAircraftFlightPlan").back().detail, fmt::format("{}, orig_dest/ABC123, 110", id));
}

TEST_F(SimLinkTest, ClientEventsGoWithGroup301AndFlapsAreWrappedInReleases) {
  connect();
  const std::uint32_t id = createObject(0xA00001);
  const std::size_t from = sim::callLog().size();
  gf_queueEngineStart(id);
  const std::uint32_t lights[7] = {1, 0, 1, 0, 1, 0, 1};
  gf_queueLightEvents(id, lights);
  {
    std::lock_guard lock(g_simQueueMutex);
    g_simClientEvents.push_back(SimClientEvent{id, FLAPS_SET, 2});
  }
  frame();
  const auto t = [id](std::uint32_t event, std::uint32_t value) {
    return fmt::format("TransmitClientEvent({}, {}, {}, 301, 0)", id, event, value);
  };
  const std::string release = fmt::format("AIReleaseControl({}, 104)", id);
  EXPECT_EQ(lf_callsSince(from), (std::vector<std::string>{t(220, 0), t(207, 1), t(206, 0), t(210, 1), t(208, 0),
                                                            t(209, 1), t(212, 0), t(211, 1), release, t(217, 2),
                                                            release}));
  EXPECT_EQ(sim::object(id)->events.at("ENGINE_AUTO_START"), 0u);
  EXPECT_EQ(sim::object(id)->events.at("CABIN_LIGHTS_SET"), 1u);
}

TEST_F(SimLinkTest, TheUserAircraftIsNeverRemoved) {
  connect();
  gf_queueSimCommand(SimCommand{3, 0});
  frame();
  ASSERT_EQ(g_userObjectId.load(), 1u);
  gf_queueRemoveAiObject(1);
  frame();
  EXPECT_TRUE(sim::callLog("AIRemoveObject").empty());
  EXPECT_NE(log().find("==> SimConnect call to remove ac with objectid 1"), std::string::npos);
  EXPECT_EQ(g_simState.load(), 2);
}

TEST_F(SimLinkTest, ReverseThrustSetsSpoilersAndThrottles) {
  connect();
  const std::uint32_t id = createObject(0xA00001);
  gf_queueReverseThrust(id, true, true);
  frame();
  auto object = sim::object(id);
  EXPECT_EQ(object->spoilers, 100.0);
  EXPECT_EQ(object->throttle1, -100.0);
  EXPECT_EQ(object->throttle2, -100.0);
  gf_queueReverseThrust(id, false, true);
  frame();
  object = sim::object(id);
  EXPECT_EQ(object->spoilers, 0.0);
  EXPECT_EQ(object->throttle1, 0.0);
}

TEST_F(SimLinkTest, StaticCgAndInitialPoseComeBackAsKindsFourAndFive) {
  connect();
  const std::uint32_t id = createObject(42);
  takeDelayed();
  gf_requestStaticCg(id);
  gf_requestInitialAiPose(id);
  frame();
  const auto delayed = takeDelayed();
  ASSERT_EQ(delayed.size(), 2u);
  EXPECT_EQ(delayed[0].kind, 4u);
  EXPECT_EQ(delayed[0].objectId, id);
  EXPECT_EQ(delayed[0].value1, 8.0);
  EXPECT_EQ(delayed[0].value2, 0.01);
  EXPECT_EQ(delayed[1].kind, 5u);
  EXPECT_EQ(delayed[1].pose.latitude, 47.0);
  EXPECT_EQ(delayed[1].pose.longitude, 8.0);
  EXPECT_EQ(delayed[1].pose.altitude, 1400.0);
  EXPECT_NEAR(delayed[1].pose.heading, 3.14159265358979 / 2, 1e-12);
}

TEST_F(SimLinkTest, FailedCreateReportsTheRequestError) {
  connect();
  sim::failCall("AICreateNonATCAircraft");
  gf_queueCreateAiObject({.tailNumber = "N7", .containerTitle = "Stand-in A320"});
  frame();
  EXPECT_EQ(g_simState.load(), 3);
  EXPECT_NE(log().find("==> ! create failed hr=0x80004005, requestId:10000, tailnumber:N7"), std::string::npos);
}

}  // namespace
}  // namespace simtest
