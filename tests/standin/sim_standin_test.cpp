// The stand-in simulator on its own, through the SimConnect calls as a client makes them.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "platform/simconnect.h"
#include "standin/sim/sim.h"
#include "tests/standin/standin_records.h"
#include "tests/support/test_support.h"

namespace {

namespace sim = standin::sim;

void lf_throwOnOpen(const SimConnectRecv* data, std::uint32_t, void*) {
  if (data->id == SIMCONNECT_RECV_ID_OPEN) throw std::runtime_error("from the callback");
}

using namespace standintest;
using Received = std::vector<Record>;

class StandinSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::reset();
    sim::setRunning(true);
    ASSERT_EQ(SimConnect_Open(&handle, "TEST", nullptr, 0, nullptr, 0), S_OK);
  }
  void TearDown() override {
    if (handle) SimConnect_Close(handle);
    sim::reset();
  }
  Received dispatch() {
    Received received;
    EXPECT_EQ(SimConnect_CallDispatch(handle, collect, &received), S_OK);
    return received;
  }
  SimConnectHandle handle = nullptr;
};

TEST(StandinSim, OpenFailsWhileTheSimulatorDoesNotRun) {
  sim::reset();
  SimConnectHandle handle = nullptr;
  EXPECT_LT(SimConnect_Open(&handle, "TEST", nullptr, 0, nullptr, 0), 0);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(sim::openAttempts(), 1u);
}

TEST_F(StandinSimTest, ReplyFollowsTheFieldOrderOfTheDefinition) {
  sim::setUserAircraft(
      {.atcId = "HB-JRV", .onGround = true, .latitude = 47.5, .heading = 3.14159265358979323846 / 2, .altitude = 1234.0});
  SimConnect_AddToDataDefinition(handle, 1, "Plane Altitude", "feet");
  SimConnect_AddToDataDefinition(handle, 1, "Plane Heading degrees true", "degree");
  SimConnect_AddToDataDefinition(handle, 1, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32);
  SimConnect_AddToDataDefinition(handle, 1, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64);
  SimConnect_AddToDataDefinition(handle, 1, "Plane Latitude", "degree");
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 9, 1, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE), S_OK);
  const Received received = dispatch();
  ASSERT_EQ(received.size(), 2u);  // OPEN, then the data
  const auto& data = received[1];
  ASSERT_EQ(data.size(), 40u + 8 + 8 + 32 + 8 + 8);
  EXPECT_EQ(recordId(data), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
  EXPECT_EQ(fieldAt<std::uint32_t>(data, 12), 9u);
  EXPECT_EQ(fieldAt<std::uint32_t>(data, 16), 1u);  // the user's object id
  EXPECT_EQ(fieldAt<double>(data, 40), 1234.0);
  EXPECT_NEAR(fieldAt<double>(data, 48), 90.0, 1e-12);
  EXPECT_STREQ(reinterpret_cast<const char*>(data.data() + 56), "HB-JRV");
  EXPECT_EQ(fieldAt<std::int64_t>(data, 88), 1);
  EXPECT_EQ(fieldAt<double>(data, 96), 47.5);
}

TEST_F(StandinSimTest, CreateIsAnsweredAfterItsFramesOrRefusedForAnUnknownTitle) {
  sim::setCreateDelayFrames(2);
  sim::setAcceptAllTitles(false);
  sim::addKnownTitle("Known");
  SimConnectInitPosition position;
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, "Known", "N1", position, 10000), S_OK);
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, "Unknown", "N2", position, 10001), S_OK);
  std::uint32_t packet = 0;
  ASSERT_EQ(SimConnect_GetLastSentPacketID(handle, &packet), S_OK);
  dispatch();
  sim::pumpFrames(1);
  EXPECT_TRUE(dispatch().empty());
  sim::pumpFrames(1);
  const Received received = dispatch();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(recordId(received[0]), SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID);
  EXPECT_EQ(fieldAt<std::uint32_t>(received[0], 12), 10000u);
  EXPECT_EQ(fieldAt<std::uint32_t>(received[0], 16), 1001u);
  EXPECT_EQ(recordId(received[1]), SIMCONNECT_RECV_ID_EXCEPTION);
  EXPECT_EQ(fieldAt<std::uint32_t>(received[1], 12), SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED);
  EXPECT_EQ(fieldAt<std::uint32_t>(received[1], 16), packet);
  ASSERT_EQ(sim::aiObjects().size(), 1u);
  EXPECT_EQ(sim::aiObjects()[0].tailNumber, "N1");
}

TEST_F(StandinSimTest, AMissingFlightPlanIsRefusedWithException23) {
  sim::setCreateDelayFrames(0);
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, "Stand-in A320", "N1", SimConnectInitPosition{}, 10000), S_OK);
  ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(handle, sim::aiObjects().at(0).objectId, "no/such/plan", 110), S_OK);
  std::uint32_t packet = 0;
  ASSERT_EQ(SimConnect_GetLastSentPacketID(handle, &packet), S_OK);
  const Received received = dispatch();
  ASSERT_EQ(received.size(), 3u);  // OPEN, the object's id, the refusal
  EXPECT_EQ(fieldAt<std::uint32_t>(received[2], 12), SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED);
  EXPECT_EQ(fieldAt<std::uint32_t>(received[2], 16), packet);
}

TEST_F(StandinSimTest, InjectedFailureHitsTheCallAfterTheSkippedOnes) {
  sim::failCall("MapClientEventToSimEvent", 1, E_INVALIDARG);
  EXPECT_EQ(SimConnect_MapClientEventToSimEvent(handle, 1, "GEAR_SET"), S_OK);
  EXPECT_EQ(SimConnect_MapClientEventToSimEvent(handle, 2, "FLAPS_SET"), E_INVALIDARG);
  EXPECT_EQ(SimConnect_MapClientEventToSimEvent(handle, 3, "SPOILERS_SET"), S_OK);
}

// A long run keeps its latest calls in the order they came, pose writes with their numbers.
TEST_F(StandinSimTest, TheCallLogKeepsTheLatestCallsInOrder) {
  sim::clearCallLog();
  constexpr std::uint32_t kCalls = 50'000 + 7;
  const double pose[8] = {};
  SimConnect_MapClientEventToSimEvent(handle, 1, "GEAR_SET");
  for (std::uint32_t i = 0; i < kCalls; ++i)
    SimConnect_SetDataOnSimObject(handle, 1, 900000 + i, 0, 0, sizeof pose, pose);
  const auto log = sim::callLog();
  ASSERT_EQ(log.size(), 50'000u);
  EXPECT_EQ(log.front().detail, "1, 900007, 64");  // the event and the first 7 writes gave way
  EXPECT_EQ(log.back().call, "SetDataOnSimObject");
  EXPECT_EQ(log.back().detail, fmt::format("1, {}, 64", 900000 + kCalls - 1));
}

TEST_F(StandinSimTest, AnExceptionOfTheCallbackReachesTheCallerAndKeepsTheRest) {
  sim::sendSystemEvent("Sim", 1);  // nobody subscribed: nothing queued
  SimConnect_SubscribeToSystemEvent(handle, 201, "Sim");
  EXPECT_THROW(SimConnect_CallDispatch(handle, lf_throwOnOpen, nullptr), std::runtime_error);
  const Received received = dispatch();
  ASSERT_EQ(received.size(), 1u);  // the OPEN was delivered; the Sim event waits
  EXPECT_EQ(recordId(received[0]), SIMCONNECT_RECV_ID_EVENT);
}

TEST_F(StandinSimTest, TruncatedRecordIsDeliveredAtItsShortSize) {
  sim::truncateNext(SIMCONNECT_RECV_ID_EVENT, 3);
  SimConnect_SubscribeToSystemEvent(handle, 201, "Sim");
  const Received received = dispatch();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[1].size(), 21u);
}

TEST(StandinSimScenario, LoadsTheDemoScenarioAndRefusesABadOne) {
  testing_support::TempDir dir;
  testing_support::writeFile(dir / "good.json", R"({"edition": "MSFS 2020", "framesPerSecond": 40,
      "userAircraft": {"title": "Demo", "latitude": 47.45, "longitude": 8.56, "objectId": 3}})");
  sim::loadScenario(dir / "good.json");
  EXPECT_TRUE(sim::isRunning());
  EXPECT_EQ(sim::userAircraft().title, "Demo");
  EXPECT_EQ(sim::userAircraft().objectId, 3u);
  SimConnectHandle handle = nullptr;
  ASSERT_EQ(SimConnect_Open(&handle, "TEST", nullptr, 0, nullptr, 0), S_OK);
  Received received;
  SimConnect_CallDispatch(handle, collect, &received);
  ASSERT_FALSE(received.empty());
  EXPECT_STREQ(reinterpret_cast<const char*>(received[0].data() + 12), "KittyHawk");
  SimConnect_Close(handle);

  testing_support::writeFile(dir / "bad.json", R"({"edition": "FS9"})");
  try {
    sim::loadScenario(dir / "bad.json");
    ADD_FAILURE() << "a bad edition was accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("edition 'FS9'"), std::string::npos);
  }
  testing_support::writeFile(dir / "broken.json", "{ not json");
  EXPECT_THROW(sim::loadScenario(dir / "broken.json"), std::runtime_error);
  sim::reset();
}

}  // namespace

namespace {

// The scenario's outage: the simulator quits at its time, refuses connections for the span, then
// runs again; a bad list is refused whole.
TEST(StandinSimScenario, AnOutageQuitsTheSimulatorAndItComesBack) {
  testing_support::TempDir dir;
  testing_support::writeFile(dir / "outage.json", R"({"framesPerSecond": 100,
      "outages": [{"atSeconds": 0.2, "forSeconds": 0.3}]})");
  sim::loadScenario(dir / "outage.json");
  SimConnectHandle handle = nullptr;
  ASSERT_EQ(SimConnect_Open(&handle, "TEST", nullptr, 0, nullptr, 0), S_OK);
  bool quitSeen = false;
  ASSERT_TRUE(sim::waitUntil([&] {
    Received received;
    SimConnect_CallDispatch(handle, standintest::collect, &received);
    for (const Record& r : received) quitSeen = quitSeen || standintest::recordId(r) == SIMCONNECT_RECV_ID_QUIT;
    return quitSeen;
  }));
  SimConnect_Close(handle);
  EXPECT_FALSE(sim::isRunning());
  EXPECT_LT(SimConnect_Open(&handle, "TEST", nullptr, 0, nullptr, 0), 0) << "still out";
  EXPECT_TRUE(sim::waitUntil([&] { return SimConnect_Open(&handle, "TEST", nullptr, 0, nullptr, 0) == S_OK; }));
  EXPECT_TRUE(sim::isRunning());
  SimConnect_Close(handle);

  for (const char* bad : {R"({"outages": [{"atSeconds": 5, "forSeconds": 0}]})",
                          R"({"outages": [{"atSeconds": 5, "forSeconds": 2}, {"atSeconds": 6, "forSeconds": 2}]})",
                          R"({"outages": [{"forSeconds": 2}]})"}) {
    testing_support::writeFile(dir / "bad.json", bad);
    EXPECT_THROW(sim::loadScenario(dir / "bad.json"), std::runtime_error) << bad;
  }
  sim::reset();
}

}  // namespace
