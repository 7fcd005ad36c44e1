// The small helpers of the runway and stand logic.
#include "simlink/facility_helpers.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "simlink/facility_stand.h"

namespace {

TEST(FacilityHelpers, RunwayNames) {
  struct Case {
    std::uint32_t number;
    std::int32_t designator;
    const char* name;
  };
  for (const Case& c : {Case{9, 1, "09L"}, Case{37, 0, "N"}, Case{45, 9, "#45(9)"}, Case{1, 0, "01"},
                        Case{36, 3, "36C"}, Case{44, 6, "NWB"}, Case{40, 4, "SEW"}, Case{0, 0, "#0"},
                        Case{27, 2, "27R"}, Case{18, 5, "18A"}, Case{12, -1, "12(-1)"}, Case{9, 7, "09(7)"}})
    EXPECT_EQ(gf_formatRunwayName(c.number, c.designator), c.name) << c.number << "/" << c.designator;
}

TEST(FacilityHelpers, ElevationChoice) {
  struct Case {
    const char* what;
    double base;
    std::optional<double> candidate;
    std::optional<double> reference;
    double value;
    bool deviates;
  };
  const double nan = std::nan("");
  const Case cases[] = {
      {"other end as far the other way", 100.0, 180.0, 20.0, 180.0, false},
      {"other end on the same side", 100.0, 180.0, 120.0, 100.0, true},
      {"no candidate", 100.0, std::nullopt, 20.0, 100.0, false},
      {"candidate not finite", 100.0, nan, 20.0, 100.0, false},
      {"candidate 50 ft off", 100.0, 150.0, std::nullopt, 150.0, false},
      {"candidate 50.1 ft off, no reference", 100.0, 150.1, std::nullopt, 100.0, true},
      {"reference only 50 ft off", 100.0, 180.0, 50.0, 100.0, true},
      {"reference not finite", 100.0, 20.0, nan, 100.0, true},
      {"base not finite", nan, 70.0, std::nullopt, 70.0, false},
  };
  for (const Case& c : cases) {
    const ElevationChoice choice = gf_chooseElevation(c.base, c.candidate, c.reference);
    EXPECT_DOUBLE_EQ(choice.value, c.value) << c.what;
    EXPECT_EQ(choice.deviates, c.deviates) << c.what;
  }
  const ElevationChoice nothing = gf_chooseElevation(nan, std::nullopt, 20.0);
  EXPECT_TRUE(std::isnan(nothing.value));
  EXPECT_FALSE(nothing.deviates);
}

Stand standAt(const char* name, std::uint32_t id, const Lalo& from, double metresNorth) {
  Stand stand(name, {}, gf_destinationPoint(from, {0.0, metresNorth * 3.2808399}), 0.0, 20.0, 10, false, false, false);
  stand.id = id;
  return stand;
}

TEST(FacilityHelpers, StandByNameNear) {
  const Lalo here{47.45, 8.56};
  const std::vector<Stand> stands = {standAt("GATE 120", 1, here, 10.0), standAt("GATE 12A", 2, here, 10.0),
                                     standAt("GATE 12", 3, here, 300.0), standAt("GATE 12", 4, here, 200.0),
                                     standAt("12 WEST", 5, here, 10.0)};
  EXPECT_EQ(gf_findStandByNameNear(stands, "STAND12", here), 4u);
  EXPECT_EQ(gf_findStandByNameNear(stands, "GATE 12", here), 4u);
  EXPECT_EQ(gf_findStandByNameNear(std::span(stands).subspan(0, 3), "GATE 12", here), 0u);
  EXPECT_EQ(gf_findStandByNameNear(stands, "ABCD 12 WEST", here), 5u);
  EXPECT_EQ(gf_findStandByNameNear(stands, "ST 12", here), 0u);  // shorter than six
}

TEST(FacilityHelpers, ParkingNamePrefixes) {
  struct Case {
    std::uint32_t code;
    const char* prefix;
  };
  for (const Case& c :
       {Case{0, ""}, Case{1, "PARKING "}, Case{2, "N_PARKING "}, Case{9, "NW_PARKING "}, Case{10, "GATE "},
        Case{11, "DOCK "}, Case{12, "GATE A"}, Case{37, "GATE Z"}, Case{38, ""}, Case{40, ""}, Case{0xFFFFFFFFu, ""}})
    EXPECT_EQ(gf_parkingNamePrefix(c.code), c.prefix) << c.code;
}

}  // namespace
