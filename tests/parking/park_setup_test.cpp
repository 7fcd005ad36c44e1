// Setting up the park airport: its stand table installed from the stand file, and the user's
// stand noted in the park-airports list only while the user aircraft is on the ground.
#include "config/parameter_snapshot.h"
#include "parking/airport_settings.h"
#include "parking/park_setup.h"
#include "parking/parking_hooks.h"
#include "simlink/stand_slots.h"
#include "simlink/stand_table.h"
#include "simlink/user_aircraft.h"
#include "tests/parking/parking_fixture.h"

namespace parking_test {
namespace {

class ParkSetupTest : public ParkingTest {
 protected:
  void SetUp() override {
    ParkingTest::SetUp();
    ParkingHooks hooks;
    hooks.standNameAtPos = [this](const Lalo&) { return standAtUser; };
    gf_setParkingHooks(std::move(hooks));
    // A12 and B1 overlap; C3 stands apart.
    write("airports/my_simaddon/LSZH.xml",
          apfXml(parkpos("A12", 47.46, 8.55) + parkpos("B1", 47.46, 8.5502) + parkpos("C3", 47.47, 8.56)));
    setPark("LSZH");
  }
  void TearDown() override {
    g_userOnGround = false;
    gf_setParkingHooks({});
    gf_resetParkSetup();
    gf_resetStandTables();
    gf_publishStandPositions();
    gf_resetParameterSnapshot();
    ParkingTest::TearDown();
  }
  static void setPark(const char* icao) {
    std::unique_lock lock(g_parkAirportLock);
    g_parkAirport = Airport{IcaoCode(icao), g_defaultIataCode, {47.4647, 8.5492}, 1400};
  }
  // "CODE,stand" entries in, and out again.
  static std::vector<std::string> swapList(const std::vector<std::string>& entries) {
    std::lock_guard lock(g_parkAirportsMutex);
    std::vector<std::string> lines;
    for (const ParkAirport& entry : g_parkAirports) lines.push_back(fmt::format("{},{}", entry.code, entry.userStand));
    g_parkAirports.clear();
    for (const std::string& entry : entries)
      g_parkAirports.push_back(ParkAirport{entry.substr(5), 1.0, 1.0, IcaoCode(entry.substr(0, 4))});
    return lines;
  }
  std::optional<std::string> standAtUser;
};

TEST_F(ParkSetupTest, WithoutAStandFileTheTableStays) {
  g_stands.resize(2);
  setPark("KJFK");
  const ParkedFileResult result = lf_readParkedFile();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.text, "lf_readParkedFile KJFK not found");
  EXPECT_EQ(g_stands.size(), 2u);
  EXPECT_FALSE(g_airportFileLoaded);
}

TEST_F(ParkSetupTest, StandsInstalledAndTheUserStandNotedOnlyOnTheGround) {
  struct Case {
    bool onGround;
    std::optional<std::string> stand;
    std::vector<std::string> list;
    std::vector<std::string> want;
    const char* line;
  };
  const Case cases[] = {
      {true, "A12", {"LSZH,", "EDDF,X"}, {"LSZH,A12", "EDDF,X"}, "\nUser aircraft at stand: A12\n"},
      {true, std::nullopt, {"LSZH,B1"}, {"LSZH,B1"}, "\nUser aircraft is not at a stand\n"},
      {true, std::nullopt, {"EDDF,", "LSZH,B1"}, {"LSZH,", "EDDF,"}, "\nUser aircraft is not at a stand\n"},
      {true, "C3", {}, {"LSZH,C3"}, "\nUser aircraft at stand: C3\n"},
      {false, "A12", {"EDDF,"}, {"EDDF,"}, ""},
  };
  for (const Case& c : cases) {
    g_userOnGround = c.onGround;
    standAtUser = c.stand;
    swapList(c.list);
    ASSERT_TRUE(lf_readParkedFile().ok);
    const std::string log = newLog();
    EXPECT_EQ(swapList({}), c.want) << c.want.front();
    EXPECT_TRUE(*c.line ? contains(log, c.line) : !contains(log, "User aircraft")) << log;
    EXPECT_TRUE(contains(log, "          A12     : excludes B1\n"));
  }
  ASSERT_EQ(g_stands.size(), 3u);
  EXPECT_EQ(g_standsByName.at("C3"), 3u);
  EXPECT_EQ(g_standPositions.load()->at(1).name, "B1");
  EXPECT_TRUE(g_airportFileLoaded);
}

}  // namespace
}  // namespace parking_test
