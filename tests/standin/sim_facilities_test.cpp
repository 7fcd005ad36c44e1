// The stand-in simulator's facility data, through the SimConnect calls as a client makes them.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "standin/sim/sim.h"
#include "tests/standin/standin_records.h"
#include "tests/support/test_support.h"

namespace {

namespace sim = standin::sim;
using nlohmann::json;
using namespace standintest;

std::uint32_t lf_request(const Record& r) { return fieldAt<std::uint32_t>(r, 12); }
std::uint32_t lf_unique(const Record& r) { return fieldAt<std::uint32_t>(r, 16); }
std::uint32_t lf_parent(const Record& r) { return fieldAt<std::uint32_t>(r, 20); }
std::uint32_t lf_type(const Record& r) { return fieldAt<std::uint32_t>(r, 24); }

const char* const kRunwayDefinition[] = {
    "OPEN AIRPORT",    "N_RUNWAYS",     "ALTITUDE",     "OPEN RUNWAY", "PRIMARY_NUMBER", "HEADING",
    "OPEN PRIMARY_THRESHOLD", "ENABLE", "CLOSE PRIMARY_THRESHOLD", "OPEN SECONDARY_THRESHOLD", "LENGTH",
    "CLOSE SECONDARY_THRESHOLD", "CLOSE RUNWAY", "OPEN START", "NUMBER", "CLOSE START", "CLOSE AIRPORT"};

class StandinFacilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::reset();
    sim::setRunning(true);
    ASSERT_EQ(SimConnect_Open(&handle, "FAC", nullptr, 0, nullptr, 0), S_OK);
    dispatch();  // the OPEN record
    json a{{"ICAO", "LSZH"}, {"ALTITUDE", 432.0}};
    a["RUNWAY"] = {{{"PRIMARY_NUMBER", 10},
                    {"HEADING", 96.5},
                    {"PRIMARY_THRESHOLD", {{"ENABLE", 1}}},
                    {"SECONDARY_THRESHOLD", {{"LENGTH", 120.0}}}},
                   {{"PRIMARY_NUMBER", 14}, {"HEADING", 137.0}}};
    a["START"] = {{{"NUMBER", 10}}, {{"NUMBER", 28}}, {{"NUMBER", 14}}};
    sim::addFacilityAirport(a.dump());
  }
  void TearDown() override {
    if (handle) SimConnect_Close(handle);
    sim::reset();
  }
  std::vector<Record> dispatch() {
    std::vector<Record> records;
    EXPECT_EQ(SimConnect_CallDispatch(handle, collect, &records), S_OK);
    return records;
  }
  void define(std::uint32_t id) {
    for (const char* entry : kRunwayDefinition) ASSERT_EQ(SimConnect_AddToFacilityDefinition(handle, id, entry), S_OK);
  }
  SimConnectHandle handle = nullptr;
};

TEST_F(StandinFacilityTest, AnswersFollowTheDefinitionWithParentIds) {
  define(7);
  ASSERT_EQ(SimConnect_RequestFacilityData(handle, 7, 99, "lszh"), S_OK);
  const auto records = dispatch();
  ASSERT_EQ(records.size(), 1u + 2u + 2u + 3u + 1u);
  std::vector<std::uint32_t> types;
  for (std::size_t i = 0; i + 1 < records.size(); ++i) {
    EXPECT_EQ(recordId(records[i]), SIMCONNECT_RECV_ID_FACILITY_DATA);
    EXPECT_EQ(lf_request(records[i]), 99u);
    types.push_back(lf_type(records[i]));
  }
  EXPECT_EQ(types, (std::vector<std::uint32_t>{0, 1, 23, 23, 1, 2, 2, 2}));
  // Airport: N_RUNWAYS from the array, then ALTITUDE, as the definition ordered them.
  ASSERT_EQ(records[0].size(), 40u + 4u + 8u);
  EXPECT_EQ(fieldAt<std::int32_t>(records[0], 40), 2);
  EXPECT_DOUBLE_EQ(fieldAt<double>(records[0], 44), 432.0);
  EXPECT_EQ(lf_parent(records[0]), 0u);
  // First runway and its thresholds, which name it as their parent.
  EXPECT_EQ(fieldAt<std::int32_t>(records[1], 40), 10);
  EXPECT_FLOAT_EQ(fieldAt<float>(records[1], 44), 96.5f);
  EXPECT_EQ(lf_parent(records[1]), lf_unique(records[0]));
  EXPECT_EQ(lf_parent(records[2]), lf_unique(records[1]));
  EXPECT_EQ(fieldAt<std::int32_t>(records[2], 40), 1);
  EXPECT_EQ(lf_parent(records[3]), lf_unique(records[1]));
  EXPECT_FLOAT_EQ(fieldAt<float>(records[3], 40), 120.0f);
  // The second runway has no thresholds in its file and gets none.
  EXPECT_EQ(fieldAt<std::int32_t>(records[4], 40), 14);
  EXPECT_EQ(fieldAt<std::int32_t>(records[7], 40), 14);
  EXPECT_EQ(recordId(records.back()), SIMCONNECT_RECV_ID_FACILITY_DATA_END);
  EXPECT_EQ(fieldAt<std::uint32_t>(records.back(), 12), 99u);
}

TEST_F(StandinFacilityTest, RefusedEntriesAndRequestsComeBackAsExceptions) {
  for (const char* entry :
       {"LATITUDE", "OPEN RUNWAY", "OPEN AIRPORT", "BOGUS", "OPEN PRIMARY_THRESHOLD", "CLOSE RUNWAY"})
    ASSERT_EQ(SimConnect_AddToFacilityDefinition(handle, 3, entry), S_OK);
  std::vector<std::uint32_t> exceptions;
  for (const auto& record : dispatch())
    if (recordId(record) == SIMCONNECT_RECV_ID_EXCEPTION) exceptions.push_back(fieldAt<std::uint32_t>(record, 12));
  // Only "OPEN AIRPORT" fits where it stands.
  EXPECT_EQ(exceptions, std::vector<std::uint32_t>(5, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED));

  ASSERT_EQ(SimConnect_RequestFacilityData(handle, 3, 1, "LSZH"), S_OK);  // definition still open
  define(4);
  ASSERT_EQ(SimConnect_RequestFacilityData(handle, 4, 1, "XXXX"), S_OK);  // unknown airport
  const auto records = dispatch();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(fieldAt<std::uint32_t>(records[0], 12), SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);
  EXPECT_EQ(fieldAt<std::uint32_t>(records[1], 12), SIMCONNECT_EXCEPTION_ERROR);
}

TEST_F(StandinFacilityTest, Faults) {
  define(7);
  sim::FacilityFaults faults;
  faults.noEnd = true;
  faults.strayRequestId = 55;
  sim::setFacilityFaults("LSZH", faults);
  ASSERT_EQ(SimConnect_RequestFacilityData(handle, 7, 99, "LSZH"), S_OK);
  auto records = dispatch();
  ASSERT_EQ(records.size(), 2u + 8u);
  EXPECT_EQ(lf_request(records[0]), 55u);
  EXPECT_EQ(fieldAt<std::uint32_t>(records[1], 12), 55u);  // the stray END
  EXPECT_EQ(recordId(records.back()), SIMCONNECT_RECV_ID_FACILITY_DATA);

  faults = {};
  faults.late = true;
  faults.lateException = true;
  sim::setFacilityFaults("LSZH", faults);
  ASSERT_EQ(SimConnect_RequestFacilityData(handle, 7, 100, "LSZH"), S_OK);
  EXPECT_TRUE(dispatch().empty());
  sim::setFacilityFaults("LSZH", {});
  ASSERT_EQ(SimConnect_RequestFacilityData(handle, 7, 101, "LSZH"), S_OK);
  records = dispatch();
  ASSERT_EQ(records.size(), 2u * 9u + 1u);  // the held answer and its exception come first
  EXPECT_EQ(lf_request(records[0]), 100u);
  EXPECT_EQ(recordId(records[9]), SIMCONNECT_RECV_ID_EXCEPTION);
  EXPECT_EQ(lf_request(records[10]), 101u);

  faults = {};
  faults.truncateType = SIMCONNECT_FACILITY_DATA_START;
  faults.truncateBytes = 3;
  sim::setFacilityFaults("LSZH", faults);
  ASSERT_EQ(SimConnect_RequestFacilityData(handle, 7, 102, "LSZH"), S_OK);
  records = dispatch();
  EXPECT_EQ(records[5].size(), 40u + 4u - 3u);
  EXPECT_EQ(records[6].size(), 44u);
}

TEST(StandinFacilities, BadFilesAreRefusedWithTheirReason) {
  sim::reset();
  EXPECT_THROW(sim::addFacilityAirport("{"), std::runtime_error);
  EXPECT_THROW(sim::addFacilityAirport(R"({"NAME": "no code"})"), std::runtime_error);
  EXPECT_THROW(sim::addFacilityAirport(R"({"ICAO": "LSZH", "PRIMARY_THRESHOLD": {}})"), std::runtime_error);
  EXPECT_THROW(sim::addFacilityAirport(R"({"ICAO": "LSZH", "RUNWAY": [3]})"), std::runtime_error);
  EXPECT_THROW(sim::loadFacilityFile("/nonexistent/LSZH.json"), std::runtime_error);
}

TEST(StandinFacilities, TheScenarioFindsItsFacilityFolder) {
  const auto data = testing_support::sourceDataFolder() / "sim";
  sim::loadScenario(data / "scenario.json");
  sim::setRunning(true);
  SimConnectHandle handle = nullptr;
  ASSERT_EQ(SimConnect_Open(&handle, "FAC", nullptr, 0, nullptr, 0), S_OK);
  for (const char* entry : {"OPEN AIRPORT", "N_TAXI_PARKINGS", "CLOSE AIRPORT"})
    ASSERT_EQ(SimConnect_AddToFacilityDefinition(handle, 1, entry), S_OK);
  ASSERT_EQ(SimConnect_RequestFacilityData(handle, 1, 1, "LSZH"), S_OK);
  std::vector<Record> records;
  ASSERT_EQ(SimConnect_CallDispatch(handle, collect, &records), S_OK);
  ASSERT_GE(records.size(), 3u);
  EXPECT_EQ(recordId(records[1]), SIMCONNECT_RECV_ID_FACILITY_DATA);
  EXPECT_GT(fieldAt<std::int32_t>(records[1], 40), 20);
  EXPECT_EQ(sim::facilityRequestCount(), 1u);
  SimConnect_Close(handle);
  sim::reset();
}

}  // namespace
