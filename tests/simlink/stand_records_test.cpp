// Stand records: heading and radius as built, parking types, which aircraft a stand takes,
// and the numbered lookup.
#include <gtest/gtest.h>

#include <cmath>

#include "simlink/facility_stand.h"

namespace {

constexpr double kM = 1.0 / 1852.0;  // one metre in NM
constexpr double kEdge = 0.01 * kM;  // a centimetre either side of a limit

Stand standOf(std::uint32_t type, double radiusMetres, bool heli = false) {
  return Stand("S", {}, Lalo{47.0, 8.0}, 0.0, radiusMetres, type, false, false, heli);
}

TEST(StandRecord, HeadingIsHeldInOneTurnAndRadiusInNm) {
  struct Case {
    double degrees;
    double expectedRad;
  };
  for (const Case& c : {Case{-90.0, 1.5 * geo::kPi}, Case{360.0, 0.0}, Case{765.0, 0.25 * geo::kPi},
                        Case{-1e-14, 0.0}, Case{NAN, 0.0}}) {
    const Stand stand("S", {}, Lalo{}, c.degrees * geo::kDegToRad, 20.0, 1, false, true, false);
    EXPECT_NEAR(stand.heading, c.expectedRad, 1e-12) << c.degrees;
    EXPECT_LT(stand.heading, 2.0 * geo::kPi) << c.degrees;
    EXPECT_NEAR(stand.radius, 0.0107991, 1e-7);
  }
}

TEST(StandRecord, ParkingTypesByNumberAndName) {
  EXPECT_EQ(gf_parkingTypeOf("RAMP_CARGO"), 5u);
  EXPECT_TRUE(gf_parkingTypeInfo(5)->cargo);
  EXPECT_FALSE(gf_parkingTypeInfo(5)->ramp);
  EXPECT_TRUE(gf_parkingTypeInfo(14)->ramp);
  for (std::uint32_t type = 0; type < PARKING_TYPE_COUNT; ++type)
    EXPECT_EQ(gf_parkingTypeOf(gf_parkingTypeInfo(type)->name), type);
  EXPECT_EQ(gf_parkingTypeOf("GATE"), std::nullopt);
  EXPECT_EQ(gf_parkingTypeInfo(16), std::nullopt);
}

TEST(StandRecord, FitByTypeCategoryAndWidth) {
  using C = AcCategory;
  struct Case {
    std::uint32_t type;
    C category;
    double overhangNm;  // the aircraft's half wingspan minus the stand's radius
    bool heli;
    bool fits;
  };
  const Case cases[] = {
      // Every type refuses an aircraft more than 5.4 m wider than the stand.
      {10, C::heavy, 5.4 * kM - kEdge, false, true},
      {10, C::heavy, 5.4 * kM + kEdge, false, false},
      {12, C::large, 5.0 * kM - kEdge, false, true},  // FUEL: any category within 5.0 m
      {12, C::large, 5.0 * kM + kEdge, false, false},
      {14, C::heavy, 1.8 * kM - kEdge, false, true},  // the EXTRA types: within 1.8 m
      {15, C::none, 1.8 * kM + kEdge, false, false},
      {8, C::large, 0.0, false, true},  // GATE_SMALL takes a large aircraft no wider than itself
      {8, C::large, kEdge, false, false},
      {8, C::buzjet, 3.0 * kM, false, true},
      {0, C::large, -10 * kM, false, false},
      {13, C::large, -10 * kM, false, false},
      {1, C::rotorcraft, 0.0, false, true},
      {1, C::large, 0.0, false, false},
      {3, C::twoprops, 0.0, false, false},
      {4, C::buzjet, 0.0, false, false},
      {6, C::heavy, 0.0, false, true},
      {7, C::high_performance, 0.0, false, true},
      {7, C::buzjet, 0.0, false, false},
      {9, C::heavy, 0.0, false, false},
      // A helipad (type 0 as the readers give it) takes rotorcraft by the width alone.
      {0, C::rotorcraft, 5.4 * kM - kEdge, true, true},
      {0, C::rotorcraft, 5.4 * kM + kEdge, true, false},
      {10, C::none, -5 * kM, true, false},
  };
  for (const Case& c : cases) {
    const Stand stand = standOf(c.type, 20.0, c.heli);
    EXPECT_EQ(stand.fitsAircraft(c.category, stand.radius + c.overhangNm), c.fits)
        << "type " << c.type << " category " << static_cast<int>(c.category) << " overhang "
        << c.overhangNm / kM << " m heli " << c.heli;
  }
}

TEST(StandRecord, NumberedLookupChecksTheNumber) {
  std::vector<Stand> stands{standOf(1, 10.0), standOf(1, 10.0), standOf(1, 10.0)};
  stands[0].id = 1;
  stands[1].id = 2;  // stands[2] not numbered yet
  stands[1].name = "B2";
  EXPECT_EQ(gf_standByNumber(stands, 2), &stands[1]);
  for (const std::int64_t number : {0, 3, 4, -1})
    EXPECT_EQ(gf_standByNumber(stands, number), nullptr) << number;

  g_stands = stands;
  g_stands[0].excludes = {2, 3};
  EXPECT_EQ(gf_describeStandExcludes(g_stands[0]), "          S       : excludes B2");
  EXPECT_EQ(gf_describeStandExcludes(g_stands[1]), "");
  g_stands.clear();
}

}  // namespace
