// The nearest stand for an aircraft, the fallback to stands that know it, helipads for
// rotorcraft, and stand options taught and matched on the aircraft's own record.
#include <gtest/gtest.h>

#include <cmath>

#include "liveries/ac_stands.h"
#include "refdata/registration.h"
#include "tests/liveries/ac_fixture.h"
#include "tests/simlink/facility_fixture.h"

namespace actest {
namespace {

constexpr Lalo kHere{47.0, 8.0};

// A stand the given metres north (or east) of kHere.
Stand standAt(double metres, std::uint32_t type = 10, bool east = false, double radiusM = 40.0) {
  const double degrees = metres / 1852.0 / 60.0;
  const Lalo at = east ? Lalo{kHere.lat, kHere.lon + degrees / std::cos(kHere.lat * geo::kDegToRad)}
                       : Lalo{kHere.lat + degrees, kHere.lon};
  return Stand("S", {}, at, 0.0, radiusM, type, false, false, false);
}

class AcStandsTest : public ::testing::Test {
 protected:
  void SetUp() override { installModels(); }
  void TearDown() override {
    gf_resetModelTables();
    gf_resetStandTables();
    g_dbaseRecords.clear();
    g_currentWeekTime = 0;
  }
};

TEST_F(AcStandsTest, NearestFreeFittingStandWithinTheGroundRadius) {
  // Taken, too narrow a GATE_SMALL, no type, then two that fit; the ground radius is 44.22 m.
  std::vector<Stand> stands{standAt(10.0), standAt(15.0, PARKING_GATE_SMALL, false, 10.0), standAt(5.0, PARKING_NONE),
                            standAt(25.0), standAt(20.0, 10, true), standAt(45.0)};
  stands[0].taken = 1;
  double metres = 0.0;
  EXPECT_EQ(gf_nearestStand(stands, kHere, aircraftOf("B738"), metres, false), &stands[4]);
  EXPECT_NEAR(metres, 20.0, 0.01);
  stands.erase(stands.begin() + 3, stands.begin() + 5);
  EXPECT_EQ(gf_nearestStand(stands, kHere, aircraftOf("B738"), metres, true), nullptr);
  EXPECT_EQ(metres, 99999.0);
}

// A heavy's wide ground radius (81.25 m) reaches to the edge of the search.
TEST_F(AcStandsTest, FallbackToStandsThatKnowTheAircraftOnlyWhenAllowed) {
  struct Case {
    double metres;
    bool east;
    const char* optionCallsign;
    bool sameIdentity, allowed, found;
  };
  const Case cases[] = {{70.0, false, "BAW1", false, true, true},  {70.0, false, "BAW1", false, false, false},
                        {70.0, false, "BAW2", false, true, false}, {70.0, false, "BAW2", true, true, true},
                        {81.0, true, "BAW1", false, true, true},   {81.5, true, "BAW1", false, true, false}};
  const AcIdentity b77w = aircraftOf("B77W", "BAW1");
  for (const Case& c : cases) {
    std::vector<Stand> stands{standAt(c.metres, 10, c.east)};
    DbaseEntry identity = b77w.identity();
    if (!c.sameIdentity) identity.modelId = 0;
    stands[0].options.push_back(StandOption{identity, "G-STBA", c.optionCallsign, "", 1, 1, 1, 0, 1, 0});
    double metres = 0.0;
    const Stand* stand = gf_nearestStand(stands, kHere, b77w, metres, c.allowed);
    EXPECT_EQ(stand != nullptr, c.found) << c.metres << " m, " << c.optionCallsign << " allowed " << c.allowed;
    EXPECT_NEAR(metres, stand ? c.metres : 99999.0, 0.01);
  }
}

using facilitytest::FacilityTest;

TEST_F(FacilityTest, ARotorcraftGetsTheHelipadAFixedWingAircraftNever) {
  installModels();
  facilitytest::sim::setFacilityFolder(testing_support::sourceDataFolder() / "sim" / "facilities");
  BglAirport lszh;
  std::uint32_t helipads = 0;
  ASSERT_TRUE(gf_readFacilityStands("LSZH", "LSZH", "", lszh, helipads));
  Stand* pad = nullptr;
  for (Stand& stand : lszh.stands)
    if (stand.name == "HELIPAD 1") pad = &stand;
  ASSERT_NE(pad, nullptr);
  ASSERT_EQ(pad->type, PARKING_NONE);

  double metres = 0.0;
  EXPECT_EQ(gf_nearestStand(lszh.stands, pad->position, aircraftOf("EC35"), metres, false), pad);
  for (const char* fixedWing : {"C172", "F16"}) {
    const Stand* stand = gf_nearestStand(lszh.stands, pad->position, aircraftOf(fixedWing), metres, true);
    EXPECT_TRUE(stand == nullptr || !stand->heli) << fixedWing;
  }
  gf_resetModelTables();
}

TEST_F(AcStandsTest, TheRecordLearnsAndMatchesStandOptions) {
  const DbaseEntry entry{gf_internAirlineName("SWR"), 0, gf_internModelName("A20N"), 0, 1};
  g_dbaseRecords = {DbaseRecord{"HB-JDA", entry}};
  g_stands = {standAt(0.0)};
  g_stands[0].id = 1;
  g_currentWeekTime = gf_packWeekTime({3, 20});
  AcIdentity ac = aircraftOf("B738", "SWR8_", "HB-JDA");
  gf_addRealStandOption(1, ac, 0);
  EXPECT_EQ(ac.identity(), entry);
  ASSERT_EQ(g_stands[0].options.size(), 1u);
  EXPECT_EQ(g_stands[0].options[0].hours, std::uint64_t{1} << 20);
  EXPECT_EQ(g_stands[0].options[0].name1, "SWR8");

  g_stands[0].options[0].name2 = "LX8";
  AcIdentity parked = aircraftOf("A20N", "SWR8");
  gf_matchRealStandOption(g_stands, {3, 25}, parked);
  EXPECT_EQ(parked.name1, "SWR8");
  EXPECT_EQ(parked.name2, "LX8");
}

}  // namespace
}  // namespace actest
