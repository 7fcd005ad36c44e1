// The trace picture tool: what it accepts, what it counts and that it draws.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/simconnect.h"
#include "standin/sim/sim.h"
#include "tests/support/test_support.h"
#include "tools/trace_picture.h"

namespace {

using namespace tracepicture;

constexpr const char* kHeader = "t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground\n";

standin::sim::FacilityLayout lf_zurich() {
  return standin::sim::readFacilityLayout(testing_support::sourceDataFolder() / "sim" / "facilities" / "LSZH.json");
}

TEST(TracePicture, ABadTraceIsRefusedWithItsLine) {
  struct Case {
    std::string text;
    std::string clue;
  };
  const std::string h = kHeader;
  const Case cases[] = {
      {"", "the trace is empty"},
      {"time,event\n1,create\n", "line 1: not a trace header"},
      {h, "the trace has no events"},
      {h + "\n\n", "the trace has no events"},
      {h + "1.0,create,1001,A,47.4,8.5,1500,90\n", "line 2: 8 fields where 9 belong"},
      {h + "1.0,create,1001,A,47.4,8.5,1500,90,0\n2.0,teleport,1001,A,47.4,8.5,1500,90,0\n", "line 3: unknown event \"teleport\""},
      {h + "1.0,pose,1001,A,47.4,8.5x,1500,90,0\n", "line 2: lon \"8.5x\" is not a number"},
      {h + "1.0,pose,,A,47.4,8.5,1500,90,0\n", "line 2: a pose without object_id"},
      {h + "1.0,pose,-3,A,47.4,8.5,1500,90,0\n", "line 2: object_id \"-3\" is not a number"},
      {h + "-1.0,pose,3,A,47.4,8.5,1500,90,0\n", "line 2: t_s \"-1.0\" is not a time"},
      {h + "1.0,pose,3,A,47.4,8.5,1500,90,yes\n", "line 2: on_ground \"yes\" is neither 0 nor 1"},
      {h + "1.0,pose,3,\"A,47.4,8.5,1500,90,1\n", "line 2: a quoted field is not closed"},
      {h + "1.0,pose,3,\"A\"B,47.4,8.5,1500,90,1\n", "line 2: text after a quoted field"},
      {h + "1.0,pose,3,A,47.4,8.5,1500,90,1,HB-JDA\n", "line 2: 10 fields where 9 belong"},
      {"t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground,tail\n1.0,pose,3,A,47.4,8.5,1500,90,1\n",
       "line 2: 9 fields where 10 belong"},
  };
  for (const Case& c : cases) {
    try {
      parseTrace(c.text, "trace.csv");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.clue), std::string::npos) << e.what() << " lacks " << c.clue;
      EXPECT_EQ(std::string(e.what()).rfind("trace.csv", 0), 0u) << e.what();
    }
  }
  EXPECT_THROW(readTrace("/no/such/trace.csv"), std::runtime_error);
}

TEST(TracePicture, CountsFollowTheObjectsPresentAndQuotedTitlesComeBackWhole) {
  const std::string text = std::string(kHeader) +
                           "0.00,create,1001,\"Bulk SWR A319, \"\"Heritage\"\"\",47.46,8.55,5000.0,280.0,0\r\n"
                           "0.50,refuse,,Unknown,47.47,8.54,3000.0,10.0,0\r\n"
                           "1.00,create,1002,B,47.45,8.56,1425.3,90.0,1\r\n"
                           "1.00,pose,1001,\"Bulk SWR A319, \"\"Heritage\"\"\",nan,nan,nan,0.0,0\r\n"
                           "2.00,remove,1001,\"Bulk SWR A319, \"\"Heritage\"\"\",47.46,8.56,4800.0,280.0,0\r\n"
                           "2.00,create,1003,\"two\nlines\",47.44,8.57,1425.3,90.0,1\r\n"
                           "3.00,pose,1002,B,47.45,8.57,1425.3,90.0,1\r\n";
  const Trace trace = parseTrace(text, "trace.csv");
  ASSERT_EQ(trace.events.size(), 7u);
  EXPECT_EQ(trace.events[0].title, "Bulk SWR A319, \"Heritage\"");
  EXPECT_FALSE(trace.events[1].objectId);
  EXPECT_EQ(trace.events[5].title, "two\nlines");
  EXPECT_TRUE(trace.events[6].onGround);
  const TraceCounts counts = countTrace(trace);
  EXPECT_EQ(counts.created, 3u);
  EXPECT_EQ(counts.refused, 1u);
  EXPECT_EQ(counts.removed, 1u);
  EXPECT_EQ(counts.mostAtOnce, 2u);
  EXPECT_EQ(counts.nonFinitePoses, 1u);
  EXPECT_EQ(countsLine(counts), "3 created, 1 refused, 1 removed, at most 2 at once");

  testing_support::TempDir dir;
  drawTracePicture(trace, lf_zurich(), dir / "trace.png");
  const std::string png = testing_support::readFile(dir / "trace.png");
  ASSERT_GT(png.size(), 10000u);
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "trace.png.tmp"));
  EXPECT_THROW(drawTracePicture(trace, lf_zurich(), dir / "no-such-folder" / "trace.png"), std::runtime_error);
}

// Well-formed but beyond reason: far away, absurdly high, at a time whose fractions are lost.
TEST(TracePicture, OutlandishValuesStillGiveAPicture) {
  const std::string text = std::string(kHeader) +
                           "100000000000000000.00,create,1,A,89.9,179.9,1e300,0.0,0\n"
                           "100000000000000000.50,pose,1,A,-89.9,-179.9,-1e300,0.0,0\n"
                           "100000000000000001.00,pose,1,A,47.46,8.55,inf,0.0,0\n"
                           "100000000000000001.00,remove,1,A,47.46,8.55,1500,0.0,0\n";
  testing_support::TempDir dir;
  drawTracePicture(parseTrace(text, "trace.csv"), lf_zurich(), dir / "trace.png");
  EXPECT_TRUE(std::filesystem::exists(dir / "trace.png"));
}

// What the stand-in simulator writes, the picture tool reads back as it was meant.
TEST(TracePicture, ReadsTheStandInSimulatorsOwnTrace) {
  namespace sim = standin::sim;
  testing_support::TempDir dir;
  sim::reset();
  sim::setFacilityFolder(testing_support::sourceDataFolder() / "sim" / "facilities");
  sim::setTraceFile(dir / "trace.csv");
  sim::setCreateDelayFrames(0);
  sim::usePumpedFrames(30.0);
  sim::setRunning(true);
  SimConnectHandle handle = nullptr;
  ASSERT_EQ(SimConnect_Open(&handle, "TEST", nullptr, 0, nullptr, 0), S_OK);
  const SimConnectInitPosition position{47.4580, 8.5600, 1425.3, 0.0, 0.0, 96.0, 1, 0};
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, "AIG A20N \"Swiss\", HB-JDA", "HB-JDA", position, 1), S_OK);
  sim::pumpFrames(95);
  ASSERT_EQ(SimConnect_AIRemoveObject(handle, sim::aiObjects().at(0).objectId, 2), S_OK);
  SimConnect_Close(handle);
  sim::reset();  // closes the trace

  const Trace trace = readTrace(dir / "trace.csv");
  ASSERT_EQ(trace.events.size(), 5u);  // create, three poses, remove
  EXPECT_EQ(trace.events[0].title, "AIG A20N \"Swiss\", HB-JDA");
  EXPECT_TRUE(trace.events[0].onGround);
  EXPECT_DOUBLE_EQ(trace.events[3].t, 3.0);
  for (const TraceEvent& e : trace.events) EXPECT_EQ(e.tailNumber, "HB-JDA") << e.event;
  EXPECT_EQ(countsLine(countTrace(trace)), "1 created, 0 refused, 1 removed, at most 1 at once");
}

// The airport's moments from the simulator's side, one object at a time. Poses are a second apart;
// at 47.46 degrees 0.0001 degree of latitude is about 11 m.
TEST(TracePicture, TheAirportsMomentsAreCountedPerObject) {
  struct Case {
    const char* what;
    std::string events;
    AirportMoments expected;
  };
  auto pose = [](int t, const char* id, const char* title, double lat, double heading, bool ground) {
    return fmt::format("{}.00,pose,{},{},{:.6f},8.550000,{},{},{}\n", t, id, title, lat, ground ? 1425.3 : 2000.0,
                       heading, ground ? 1 : 0);
  };
  std::string landing = "0.00,create,7,\"Airliner, Swiss\",47.4500,8.55,2000.0,0.0,0\n";
  for (int t = 1; t <= 3; ++t) landing += pose(t, "7", "\"Airliner, Swiss\"", 47.45 + 0.001 * t, 0.0, t >= 3);
  // Lifts off within its first second, then is gone.
  const std::string quickLiftOff = "0.00,create,8,A,47.45,8.55,1425.3,0.0,1\n" + pose(1, "8", "A", 47.451, 0.0, false) +
                                   "1.50,remove,8,A,47.451,8.55,2100.0,0.0,0\n";
  // 20 m north tail first (the nose points south), then 120 m on nose first.
  std::string pushAndTaxi = "0.00,create,9,A,47.4600,8.55,1425.3,180.0,1\n";
  for (int t = 1; t <= 2; ++t) pushAndTaxi += pose(t, "9", "A", 47.46 + 0.00009 * t, 180.0, true);
  for (int t = 3; t <= 14; ++t) pushAndTaxi += pose(t, "9", "A", 47.46018 + 0.00009 * (t - 2), 0.0, true);
  // Turns round on the spot: no push-back, no taxiing.
  std::string spin = "0.00,create,10,A,47.46,8.55,1425.3,20.0,1\n";
  for (int t = 1; t <= 9; ++t) spin += pose(t, "10", "A", 47.46, 20.0 + 20.0 * t, true);
  // An object id given again after a removal is another aircraft: two landings.
  const std::string again = landing + "4.00,remove,7,A,47.453,8.55,1425.3,0.0,1\n" + landing;
  const Case cases[] = {
      {"a landing with a comma in its title", landing, {1, 0, 0, 0}},
      {"a lift-off in the first second", quickLiftOff, {0, 1, 0, 0}},
      {"a push-back and a taxi", pushAndTaxi, {0, 0, 1, 1}},
      {"a turn on the spot", spin, {0, 0, 0, 0}},
      {"an object id given again", again, {2, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const AirportMoments m = countAirportMoments(parseTrace(std::string(kHeader) + c.events, "trace.csv"));
    EXPECT_EQ(momentsLine(m), momentsLine(c.expected)) << c.what;
  }
  EXPECT_EQ(momentsLine({4, 2, 8, 3}), "4 landed, 2 took off, 8 taxied more than 100 m, 3 were pushed back");
}

}  // namespace
