// The stand-in simulator's trace, written as a client drives AI objects through SimConnect.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "platform/simconnect.h"
#include "standin/sim/sim.h"
#include "tests/support/test_support.h"

namespace {

namespace sim = standin::sim;

constexpr double kZurichFeet = 432.0 * 3.280839895;
constexpr double kBaselFeet = 269.0 * 3.280839895;

struct Pose {
  double latitude = 0.0;
  double longitude = 0.0;
  double altitude = 0.0;
  double heading = 0.0;  // degrees
};

std::vector<std::string> lf_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::size_t lf_count(const std::vector<std::string>& lines, const std::string& needle) {
  std::size_t count = 0;
  for (const auto& line : lines) count += line.find(needle) != std::string::npos;
  return count;
}

class SimTraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::reset();
    sim::setFacilityFolder(testing_support::sourceDataFolder() / "sim" / "facilities");
    sim::setTraceFile(trace());
    sim::setCreateDelayFrames(0);
    sim::usePumpedFrames(50.0);
    sim::setRunning(true);
    ASSERT_EQ(SimConnect_Open(&handle, "TEST", nullptr, 0, nullptr, 0), S_OK);
    SimConnect_AddToDataDefinition(handle, 1, "PLANE LATITUDE", "degrees");
    SimConnect_AddToDataDefinition(handle, 1, "PLANE LONGITUDE", "degrees");
    SimConnect_AddToDataDefinition(handle, 1, "PLANE ALTITUDE", "feet");
    SimConnect_AddToDataDefinition(handle, 1, "PLANE HEADING DEGREES TRUE", "degrees");
  }
  void TearDown() override {
    if (handle) SimConnect_Close(handle);
    sim::reset();
  }
  std::filesystem::path trace() const { return dir / "trace.csv"; }
  std::uint32_t create(const std::string& title, const Pose& pose, bool onGround) {
    SimConnectInitPosition position{pose.latitude, pose.longitude, pose.altitude, 0.0, 0.0, pose.heading,
                                    onGround ? 1u : 0u, 0};
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(handle, title.c_str(), "N1", position, 100), S_OK);
    const auto objects = sim::aiObjects();
    return objects.empty() ? 0 : objects.back().objectId;
  }
  void setPose(std::uint32_t objectId, Pose pose) {
    ASSERT_EQ(SimConnect_SetDataOnSimObject(handle, 1, objectId, 0, 1, sizeof pose, &pose), S_OK);
  }
  std::vector<std::string> closedTrace() {
    sim::setTraceFile({});
    EXPECT_FALSE(std::filesystem::exists(trace().string() + ".part"));
    return lf_lines(testing_support::readFile(trace()));
  }
  testing_support::TempDir dir;
  SimConnectHandle handle = nullptr;
};

TEST_F(SimTraceTest, CreatePosesOncePerSimulatorSecondAndRemove) {
  // Created on the ground, it stands on its gear whatever altitude it was given.
  const std::uint32_t id = create("AIG A20N Swiss", {47.4580, 8.5600, 0.0, 96.0}, true);
  ASSERT_NE(id, 0u);
  EXPECT_FALSE(std::filesystem::exists(trace())) << "the trace keeps its name only once complete";
  // Many client poses within the second, one traced pose per simulator second.
  for (int frame = 0; frame < 150; ++frame) {
    setPose(id, {47.4580, 8.5600 + frame * 1e-5, kZurichFeet + 8.0, 96.0});
    sim::pumpFrames(1);
  }
  ASSERT_EQ(SimConnect_AIRemoveObject(handle, id, 101), S_OK);
  sim::pumpFrames(50);  // nothing left to pose
  const auto lines = closedTrace();

  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground,tail,pitch_deg,bank_deg,vs_fpm,gs_kt");
  EXPECT_EQ(lines[1], "0.00,create,1001,AIG A20N Swiss,47.458000,8.560000,1425.3,96.0,1,N1,-0.0,0.0,0,0.0");
  EXPECT_EQ(lines[2].substr(0, 27), "1.00,pose,1001,AIG A20N Swi");
  EXPECT_EQ(lines[3].substr(0, 9), "2.00,pose");
  EXPECT_EQ(lines[4].substr(0, 9), "3.00,pose");
  EXPECT_EQ(lines[5].substr(0, 16), "3.00,remove,1001");
  EXPECT_NE(lines[4].find(",8.561490,"), std::string::npos) << "the pose of the second's last frame: " << lines[4];
}

TEST_F(SimTraceTest, TitlesAreQuotedAndRefusalsHaveNoObject) {
  sim::setAcceptAllTitles(false);
  sim::addKnownTitle("Bulk SWR A319, \"Heritage\"");
  create("Bulk SWR A319, \"Heritage\"", {47.46, 8.55, 5000.0, 280.0}, false);
  create("Unknown livery", {47.47, 8.54, 3000.0, 10.0}, false);
  const auto lines = closedTrace();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], R"(0.00,create,1001,"Bulk SWR A319, ""Heritage""",47.460000,8.550000,5000.0,280.0,0,N1,-0.0,0.0,0,0.0)");
  EXPECT_EQ(lines[2], "0.00,refuse,,Unknown livery,47.470000,8.540000,3000.0,10.0,0,N1,-0.0,0.0,0,0.0");
}

// The ground is flat at the nearest fixture airport's elevation: the same altitude is on the
// ground at Zurich and in the air at Basel, and the simulator reports that ground to its client.
TEST_F(SimTraceTest, OnGroundFollowsTheNearestAirportsElevation) {
  struct Case {
    const char* where;
    Pose pose;
    bool onGround;
    double groundFeet;
  };
  const Case cases[] = {
      {"Zurich, on its gear", {47.4580, 8.5600, kZurichFeet + 8.0, 0.0}, true, kZurichFeet},
      {"Zurich, just above the gear's slack", {47.4580, 8.5600, kZurichFeet + 10.5, 0.0}, false, kZurichFeet},
      {"Zurich, on short final", {47.4800, 8.5300, kZurichFeet + 300.0, 0.0}, false, kZurichFeet},
      {"Basel at Zurich's elevation", {47.5896, 7.5299, kZurichFeet + 8.0, 0.0}, false, kBaselFeet},
      {"Basel, on its gear", {47.5896, 7.5299, kBaselFeet + 5.0, 0.0}, true, kBaselFeet},
  };
  const std::uint32_t id = create("AIG A20N Swiss", {47.0, 8.0, 20000.0, 0.0}, false);
  for (const Case& c : cases) {
    setPose(id, c.pose);
    sim::pumpFrames(50);
    const auto object = sim::object(id);
    ASSERT_TRUE(object);
    EXPECT_EQ(object->onGround, c.onGround) << c.where;
    EXPECT_NEAR(object->groundAltitude, c.groundFeet, 1e-6) << c.where;
  }
  const auto lines = closedTrace();
  ASSERT_EQ(lines.size(), 2u + std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_NE(lines[2 + i].find(cases[i].onGround ? ",1,N1," : ",0,N1,"), std::string::npos) << cases[i].where << ": " << lines[2 + i];
}

TEST_F(SimTraceTest, QuitRemovesEveryObjectAndAnUnwritableTraceIsNoTrace) {
  create("A", {47.46, 8.55, 5000.0, 0.0}, false);
  create("B", {47.46, 8.56, 6000.0, 0.0}, false);
  sim::quit();
  const auto lines = closedTrace();
  EXPECT_EQ(lf_count(lines, ",remove,"), 2u);

  sim::setTraceFile(dir / "no-such-folder" / "trace.csv");
  sim::setRunning(true);
  SimConnect_Close(handle);
  ASSERT_EQ(SimConnect_Open(&handle, "TEST", nullptr, 0, nullptr, 0), S_OK);
  EXPECT_NE(create("C", {47.46, 8.55, 5000.0, 0.0}, false), 0u);
  sim::pumpFrames(60);
  sim::setTraceFile({});
  EXPECT_FALSE(std::filesystem::exists(dir / "no-such-folder"));
}

// The attitude and speeds a client sends, and the speed over the ground its poses make, as a pilot
// would read them: nose up positive, the bank as sent, the vertical speed as sent.
TEST_F(SimTraceTest, PosesCarryPitchBankTheSentVerticalSpeedAndTheGroundSpeed) {
  SimConnect_AddToDataDefinition(handle, 2, "PLANE LATITUDE", "degrees");
  SimConnect_AddToDataDefinition(handle, 2, "PLANE LONGITUDE", "degrees");
  SimConnect_AddToDataDefinition(handle, 2, "PLANE ALTITUDE", "feet");
  SimConnect_AddToDataDefinition(handle, 2, "PLANE PITCH DEGREES", "radians");
  SimConnect_AddToDataDefinition(handle, 2, "PLANE BANK DEGREES", "radians");
  SimConnect_AddToDataDefinition(handle, 2, "VERTICAL SPEED", "feet per minute");
  const std::uint32_t id = create("AIG A20N Swiss", {47.4800, 8.5000, 3000.0, 90.0}, false);
  ASSERT_NE(id, 0u);
  struct Attitude {
    double latitude, longitude, altitude, pitch, bank, verticalSpeed;
  };
  // Eastward at 0.001 degrees of longitude a second (75.2 m/s at 47.48 N: 146 kt), 5 degrees
  // nose up (the simulator's pitch is nose down positive), banked 10 degrees, sinking 700 ft/min.
  for (int frame = 0; frame <= 100; ++frame) {
    const Attitude a{47.48, 8.5 + frame * 0.001 / 50.0, 3000.0 - frame * 700.0 / 60.0 / 50.0, -5.0 * M_PI / 180.0,
                     10.0 * M_PI / 180.0, -700.0};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(handle, 2, id, 0, 1, sizeof a, &a), S_OK);
    sim::pumpFrames(1);
  }
  const auto lines = closedTrace();
  ASSERT_GE(lines.size(), 4u);
  const std::string& pose = lines[3];  // the second traced pose: a whole second of motion behind it
  ASSERT_EQ(pose.substr(0, 9), "2.00,pose") << pose;
  std::vector<std::string> fields;
  std::stringstream in(pose);
  for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
  ASSERT_EQ(fields.size(), 14u) << pose;
  EXPECT_EQ(fields[10], "5.0");
  EXPECT_EQ(fields[11], "10.0");
  EXPECT_EQ(fields[12], "-700");
  EXPECT_NEAR(std::stod(fields[13]), 146.2, 1.0);
}

}  // namespace
