// Stand records: heading and radius as built, parking types, which aircraft a stand takes,
// and the numbered lookup.
#include <gtest/gtest.h>

#include "simlink/facility_stand.h"

namespace {

constexpr double kM = 1.0 / 1852.0;  // one metre in NM
constexpr double kEdge = 0.01 * kM;  // a centimetre either side of a limit

TEST(StandRecord, HeadingInOneTurnRadiusInNmAndTypeNames) {
  using P = std::pair<double, double>;  // degrees, radians held
  for (const auto& [degrees, rad] : {P{-90.0, 1.5 * geo::kPi}, P{360.0, 0.0}, P{-1e-14, 0.0}, P{NAN, 0.0}}) {
    const Stand stand("S", {}, Lalo{}, degrees * geo::kDegToRad, 20.0, 1, false, true, false);
    EXPECT_NEAR(stand.heading, rad, 1e-12) << degrees;
    EXPECT_NEAR(stand.radius, 0.0107991, 1e-7);
  }
  EXPECT_EQ(gf_parkingTypeOf("RAMP_CARGO"), 5u);
  EXPECT_TRUE(gf_parkingTypeInfo(5)->cargo && !gf_parkingTypeInfo(5)->ramp);
  EXPECT_EQ(gf_parkingTypeInfo(15)->name, "GATE_EXTRA");
}

TEST(StandRecord, FitByTypeCategoryAndWidth) {
  using C = AcCategory;
  struct Case {
    std::uint32_t type;
    C category;
    double overhangNm;  // the aircraft's half wingspan minus the stand's radius
    bool heli, fits;
  };
  const Case cases[] = {
      {10, C::heavy, 5.4 * kM - kEdge, false, true},  // no type takes more than 5.4 m
      {10, C::heavy, 5.4 * kM + kEdge, false, false},
      {12, C::large, 5.0 * kM - kEdge, false, true},  // FUEL: any category within 5.0 m
      {12, C::large, 5.0 * kM + kEdge, false, false},
      {14, C::heavy, 1.8 * kM - kEdge, false, true},  // the EXTRA types: within 1.8 m
      {15, C::none, 1.8 * kM + kEdge, false, false},
      {8, C::large, 0.0, false, true},  // GATE_SMALL: a large aircraft no wider than itself
      {8, C::large, kEdge, false, false},
      {8, C::buzjet, 3.0 * kM, false, true},
      {0, C::large, -10 * kM, false, false},
      {13, C::large, -10 * kM, false, false},
      {1, C::rotorcraft, 0.0, false, true},
      {1, C::large, 0.0, false, false},
      {7, C::buzjet, 0.0, false, false},
      // A helipad (type 0 as the readers give it) takes rotorcraft by the width alone.
      {0, C::rotorcraft, 5.4 * kM - kEdge, true, true},
      {0, C::rotorcraft, 5.4 * kM + kEdge, true, false},
      {10, C::none, -5 * kM, true, false},
  };
  for (const Case& c : cases) {
    const Stand stand("S", {}, Lalo{}, 0.0, 20.0, c.type, false, false, c.heli);
    EXPECT_EQ(stand.fitsAircraft(c.category, stand.radius + c.overhangNm), c.fits)
        << "type " << c.type << " category " << static_cast<int>(c.category) << " overhang "
        << c.overhangNm / kM << " m heli " << c.heli;
  }
}

TEST(StandRecord, NumberedLookupChecksTheNumber) {
  g_stands.assign(3, Stand("B2", {}, Lalo{}, 0.0, 20.0, 1, false, true, false));
  g_stands[0].id = 1;
  g_stands[1].id = 2;  // the third not numbered yet
  EXPECT_EQ(gf_standByNumber(g_stands, 2), &g_stands[1]);
  for (const std::int64_t number : {0, 3, 4, -1}) EXPECT_EQ(gf_standByNumber(g_stands, number), nullptr) << number;
  g_stands[0].excludes = {2, 3};
  EXPECT_EQ(gf_describeStandExcludes(g_stands[0]), "          B2      : excludes B2");
  g_stands.clear();
}

}  // namespace
