#include <gtest/gtest.h>

#include <cmath>

#include "core/geodesy.h"

namespace {
constexpr double kPi = geo::kPi;

TEST(GeodesyTest, OneDegreeOfArcIsSixtyNauticalMiles) {
  EXPECT_NEAR(gf_distanceNm({0, 0}, {0, 1}), 60.0, 1e-6);
  EXPECT_NEAR(gf_distanceNm({10, 20}, {11, 20}), 60.0, 1e-6);
  EXPECT_EQ(gf_distanceNm({52.3, 4.76}, {52.3, 4.76}), 0.0);
}

TEST(GeodesyTest, AntipodalPointsGiveHalfTheCircumferenceNotNan) {
  const double half = kPi * geo::kEarthRadiusNm;
  struct Case {
    Lalo a, b;
  };
  // The last three round the haversine term past 1.
  const Case cases[] = {{{0, 0}, {0, 180}},
                        {{52.3, 4.76}, {-52.3, -175.24}},
                        {{90, 0}, {-90, 0}},
                        {{88.498895864987276, 154.85553536980325}, {-88.498895864987276, -25.144464630196751}},
                        {{-67.730695658078417, 8.8781791293412198}, {67.730695658078417, -171.12182087065878}},
                        {{3.9670091231011213, 144.58877609976173}, {-3.9670091231011213, -35.411223900238269}}};
  for (const auto& c : cases) {
    const double d = gf_distanceNm(c.a, c.b);
    EXPECT_FALSE(std::isnan(d));
    EXPECT_NEAR(d, half, 1e-3) << fmt::format("{} - {}", c.a, c.b);
  }
}

TEST(GeodesyTest, BearingsAreInZeroToTwoPi) {
  EXPECT_NEAR(gf_bearingRad({0, 0}, {0, 1}), kPi / 2, 1e-12);
  EXPECT_NEAR(gf_bearingRad({0, 0}, {0, -1}), 3 * kPi / 2, 1e-12);
  EXPECT_NEAR(gf_bearingRad({0, 0}, {-1, 0}), kPi, 1e-12);
  EXPECT_EQ(gf_bearingRad({0, 0}, {1, 0}), 0.0);
  // Just west of north: a tiny negative angle, which must not come back as 2 pi.
  for (double dLon : {-1e-9, -1e-13, -1e-17}) {
    const double b = gf_bearingRad({10, 20}, {11, 20 + dLon});
    EXPECT_GE(b, 0.0) << dLon;
    EXPECT_LT(b, 2 * kPi) << dLon;
  }
  // Across the 180th meridian eastwards.
  EXPECT_NEAR(gf_bearingRad({0, 179.5}, {0, -179.5}), kPi / 2, 1e-9);
}

TEST(GeodesyTest, DestinationOneMileEastAtAmsterdam) {
  const Lalo p = gf_destinationPoint({52.3, 4.76}, {kPi / 2, geo::kFeetPerNm});
  EXPECT_NEAR(p.lon - 4.76, 1.0 / 60.0 / std::cos(52.3 * geo::kDegToRad), 1e-6);
  EXPECT_NEAR(p.lon - 4.76, 0.0273, 0.00005);
  EXPECT_LT(p.lat, 52.3);
  EXPECT_GT(p.lat, 52.3 - 1e-4);
}

TEST(GeodesyTest, DestinationWrapsAtTheDateLine) {
  const Lalo east = gf_destinationPoint({0, 179.99}, {kPi / 2, 2 * geo::kFeetPerNm});
  EXPECT_NEAR(east.lon, -180 + (2.0 / 60 - 0.01), 1e-6);
  const Lalo west = gf_destinationPoint({0, -179.99}, {-kPi / 2, 2 * geo::kFeetPerNm});
  EXPECT_NEAR(west.lon, 180 - (2.0 / 60 - 0.01), 1e-6);
  EXPECT_GE(east.lon, -180.0);
  EXPECT_LE(west.lon, 180.0);
}

TEST(GeodesyTest, AnEastWestSpanStopsAtTheDateLineOnTheFarSide) {
  const double feet = 40 * geo::kFeetPerNm;
  const LonSpan west = gf_lonSpanAround({-16.80, 179.98}, feet);  // Taveuni, west of the line
  EXPECT_NEAR(west.west, 179.98 - 40.0 / 60.0 / std::cos(16.80 * geo::kDegToRad), 1e-3);
  EXPECT_EQ(west.east, 180.0);
  const LonSpan east = gf_lonSpanAround({-16.80, -179.98}, feet);
  EXPECT_EQ(east.west, -180.0);
  EXPECT_NEAR(east.east, -179.98 + 40.0 / 60.0 / std::cos(16.80 * geo::kDegToRad), 1e-3);
  const LonSpan amsterdam = gf_lonSpanAround({52.3, 4.76}, feet);
  EXPECT_NEAR(amsterdam.west + amsterdam.east, 2 * 4.76, 1e-9);
}

TEST(GeodesyTest, DestinationAtThePoleIsNotNan) {
  // Due north exactly to the pole: the asin argument rounds to 1 plus a hair.
  struct Case {
    double lat, feet;
  };
  const Case cases[] = {{75.925321266543818, 5131162.4081475995}, {84.292134288530548, 2080899.075857965},
                        {-84.303621959427616, 63545336.241046935}};
  for (const auto& c : cases) {
    const Lalo p = gf_destinationPoint({c.lat, 10}, {0, c.feet});
    EXPECT_FALSE(std::isnan(p.lat)) << c.lat;
    EXPECT_FALSE(std::isnan(p.lon)) << c.lat;
    EXPECT_NEAR(p.lat, 90.0, 1e-6) << c.lat;
  }
  const Lalo half = gf_destinationPoint({0, 0}, {0, kPi * geo::kEarthRadiusNm * geo::kFeetPerNm});
  EXPECT_FALSE(std::isnan(half.lat));
  EXPECT_NEAR(half.lat, 0.0, 1e-4);
  EXPECT_NEAR(std::fabs(half.lon), 180.0, 1e-6);
}

TEST(GeodesyTest, DestinationAndDistanceAgree) {
  const Lalo from{52.3, 4.76};
  const Lalo to = gf_destinationPoint(from, {1.0, 25 * geo::kFeetPerNm});
  EXPECT_NEAR(gf_distanceNm(from, to), 25.0, 1e-6);
  EXPECT_NEAR(gf_bearingRad(from, to), 1.0, 1e-9);
}

// Short distances are measured flat: they agree with the great circle within 2e-5 of the
// distance at every latitude and bearing, across the date line too, and nothing jumps where
// the flat measure gives way to the great circle.
TEST(GeodesyTest, ShortDistancesAgreeWithTheGreatCircle) {
  const auto greatCircle = [](const Lalo& a, const Lalo& b) {
    const double sinLat = std::sin((b.lat - a.lat) * geo::kDegToRad / 2.0);
    const double sinLon = std::sin((b.lon - a.lon) * geo::kDegToRad / 2.0);
    const double h = sinLat * sinLat + std::cos(a.lat * geo::kDegToRad) * std::cos(b.lat * geo::kDegToRad) * sinLon * sinLon;
    return 2.0 * geo::kEarthRadiusNm * std::asin(std::sqrt(h));
  };
  for (const double lat : {0.0, -33.9, 52.3, 70.0, 79.9, 85.0})
    for (const double lon : {4.76, 179.99, -179.999})
      for (const double nm : {0.0005, 0.3, 4.0, 9.99, 10.01, 30.0})
        for (double bearing = 0.0; bearing < 360.0; bearing += 22.5) {
          const Lalo from{lat, lon};
          const Lalo to = gf_destinationPoint(from, {bearing * geo::kDegToRad, nm * geo::kFeetPerNm});
          EXPECT_NEAR(gf_distanceNm(from, to), greatCircle(from, to), 2e-5 * nm)
              << fmt::format("{} NM at {} from {}", nm, bearing, from);
          EXPECT_EQ(gf_distanceNm(from, to), gf_distanceNm(to, from));
        }
}

// The cosine gives the library's to the last bits over every latitude, and the library's
// own answer outside them.
TEST(GeodesyTest, LatitudeCosineIsTheLibrarys) {
  for (double deg = -90.0; deg <= 90.0; deg += 0.37) {
    const double rad = deg * geo::kDegToRad;
    EXPECT_NEAR(gf_cosLatitude(rad), std::cos(rad), 4e-16) << deg;
  }
  for (const double rad : {geo::kPi / 2.0, -geo::kPi / 2.0, 1.5708, 2.0, -3.0, 40.0})
    EXPECT_NEAR(gf_cosLatitude(rad), std::cos(rad), 4e-16) << rad;
  EXPECT_TRUE(std::isnan(gf_cosLatitude(std::nan(""))));
  EXPECT_TRUE(std::isnan(gf_cosLatitude(INFINITY)));
}

TEST(GeodesyTest, ValidPositions) {
  EXPECT_TRUE(gf_isValidLalo({52.3, 4.76}));
  EXPECT_TRUE(gf_isValidLalo({-90, 180}));
  EXPECT_FALSE(gf_isValidLalo({0, 0}));
  EXPECT_FALSE(gf_isValidLalo({0.0001, -0.0001}));
  EXPECT_TRUE(gf_isValidLalo({0.00011, 0}));
  EXPECT_FALSE(gf_isValidLalo({90.1, 0}));
  EXPECT_FALSE(gf_isValidLalo({0, -180.1}));
  EXPECT_FALSE(gf_isValidLalo({std::nan(""), 4}));
  EXPECT_EQ(fmt::format("{}", Lalo{52.3, -4.76}), "52.300000,-4.760000");
}

TEST(GeodesyTest, LongitudeDifferencesWrapAcrossTheDateLine) {
  struct Case {
    double in, wrapped;
  };
  const Case cases[] = {{179.9999 - -179.9999, -0.0002}, {-179.9999 - 179.9999, 0.0002}, {190, -170},
                        {-190, 170},  {180, 180},  {-180, -180},  {0.5, 0.5}, {720.25, 0.25}};
  for (const auto& c : cases) EXPECT_NEAR(gf_wrapLongitude(c.in), c.wrapped, 1e-9) << c.in;
  EXPECT_NEAR(gf_wrapLongitude(179.9999 + 0.0003), -179.9998, 1e-9);
  EXPECT_TRUE(std::isnan(gf_wrapLongitude(std::nan(""))));
}

// The wrap answers exactly as the library's remainder does, at the edges of its shortcut too.
TEST(GeodesyTest, LongitudeWrapIsTheExactRemainder) {
  const double cases[] = {0.0,   -0.0,   180.0, -180.0, std::nextafter(180.0, 200.0), std::nextafter(-180.0, -200.0),
                          179.9, -179.9, 360.0, -540.0, 1e-300,                       1e9,
                          540.0, 900.5};
  for (const double in : cases) {
    const double wrapped = gf_wrapLongitude(in);
    EXPECT_EQ(wrapped, std::remainder(in, 360.0)) << in;
    EXPECT_EQ(std::signbit(wrapped), std::signbit(std::remainder(in, 360.0))) << in;
  }
}

TEST(GeodesyTest, NormalisedPositionsFoldOverThePoles) {
  struct Case {
    Lalo in, out;
  };
  const Case cases[] = {{{95, 10}, {85, -170}}, {{-95, -170}, {-85, 10}}, {{52, 180}, {52, -180}},
                        {{52, -190}, {52, 170}}, {{52, 540.5}, {52, -179.5}}};
  for (const Case& c : cases) {
    Lalo p = c.in;
    gf_normalizeLalo(p);
    EXPECT_NEAR(p.lat, c.out.lat, 1e-9) << c.in.lat << "," << c.in.lon;
    EXPECT_NEAR(p.lon, c.out.lon, 1e-9) << c.in.lat << "," << c.in.lon;
  }
}

}  // namespace
