// ObjectIdList.txt and the aircraft selector's list, for both simulators.
#include "traffic/active_aircraft.h"

#include <filesystem>

#include "config/program_folders.h"
#include "core/background_saver.h"
#include "config/sim_choice.h"
#include "tests/support/held_disk.h"
#include "tests/traffic/traffic_fixture.h"

namespace {
using namespace traffic_test;

class ActiveAircraftTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    std::filesystem::create_directories(g_objectIdListFile.parent_path());
    LiveAc& parked = addLive(Rec(0x4A1, "KLM1", "B738").registration("PH-BXA"), SimStatus::active, FlightPhase::parked);
    parked.airlineId = gf_internAirlineName("KLM"), parked.objectId = 255;
    addLive(Rec(0x4B2, "", "B77W").air(9000.0, 300.0), SimStatus::active, FlightPhase::flying).objectId = 4096;
    addLive(Rec(0x4C3, "DLH2"), SimStatus::adding2sim);  // not in the simulator yet
  }
  void TearDown() override {
    gf_publishSimChoice(SimChoice{});
    EngineTest::TearDown();
  }
};

TEST_F(ActiveAircraftTest, OneLinePerAircraftInTheSimulator) {
  struct Case {
    std::int32_t sim;
    const char* text;
  };
  const Case cases[] = {{1, "255;KLM1;PH-BXA;KLM;B738;GND;PARKED\n4096;;;;B77W;AIR;\n"},
                        {2, "ff;KLM1;PH-BXA;KLM;B738;GND;PARKED\n1000;;;;B77W;AIR;\n"}};
  for (const Case& c : cases) {
    gf_publishSimChoice(SimChoice{c.sim, 0});
    gf_writeActiveAcFile();
    gf_awaitSave(g_objectIdListFile);
    EXPECT_EQ(testing_support::readFile(g_objectIdListFile), c.text) << c.sim;
  }
  g_liveAcs.clear();
  gf_writeActiveAcFile();
  gf_awaitSave(g_objectIdListFile);
  EXPECT_EQ(testing_support::readFile(g_objectIdListFile), "");
}

// The loop hands the list to the saver and goes on while the disk is busy; the list itself is
// never synced.
TEST_F(ActiveAircraftTest, TheListIsWrittenWithoutWaitingForTheDisk) {
  testing_support::HeldDisk disk;
  disk.hold();
  gf_queueSave(BackgroundSave{"learned.xml", "a save ahead of the list", true, false, {}});
  disk.waitUntilSyncing();
  gf_writeActiveAcFile();
  EXPECT_FALSE(std::filesystem::exists(g_objectIdListFile));
  disk.release();
  gf_awaitSave(g_objectIdListFile);
  EXPECT_EQ(testing_support::readFile(g_objectIdListFile), "ff;KLM1;PH-BXA;KLM;B738;GND;PARKED\n1000;;;;B77W;AIR;\n");
  EXPECT_EQ(disk.syncs(), 2) << "the save ahead: its file and its folder";
}

TEST_F(ActiveAircraftTest, TheSelectorListIsFilteredAndSorted) {
  gf_publishSimChoice(SimChoice{1, 0});
  EXPECT_EQ(gf_liveAcDescriptions(),
            (std::vector<std::string>{"KLM1, PH-BXA, 4a1, oid=255", "null, null, 4b2, oid=4096"}));
  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.airGroundFilter = 1; });
  EXPECT_EQ(gf_liveAcDescriptions(), std::vector<std::string>{"null, null, 4b2, oid=4096"});
  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.airGroundFilter = 2; });
  EXPECT_EQ(gf_liveAcDescriptions(), std::vector<std::string>{"KLM1, PH-BXA, 4a1, oid=255"});
}

}  // namespace
