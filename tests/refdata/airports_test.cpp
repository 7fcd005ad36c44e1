// The airports list: loading "input/airports.enc", lookups and the closest airport.
#include "refdata/airports.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "refdata/enc_file.h"
#include "tests/refdata/enc_fixture.h"
#include "tests/support/test_support.h"

namespace {
namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;

const fs::path kSampleData = testing_support::sourceDataFolder();

class AirportsTest : public refdata_testing::DataSetTest {
 protected:
  void SetUp() override {
    DataSetTest::SetUp();
    gf_resetAirportsForTest();
  }
  void TearDown() override {
    gf_resetAirportsForTest();
    DataSetTest::TearDown();
  }
  // The list loaded from entries; fails the test when it does not load.
  void load(const std::string& entries) {
    writeEnc("input/airports.enc", "<root><airports>" + entries + "</airports></root>");
    const auto result = gf_readAirports();
    ASSERT_TRUE(std::holds_alternative<std::size_t>(result)) << std::get<std::string>(result);
  }
  static std::string ap(const char* code, double lat, double lon, int alt = 100, const char* iata = nullptr) {
    return fmt::format(R"(<ap c="{}" la="{}" lo="{}" a="{}"{}/>)", code, lat, lon, alt,
                       iata ? fmt::format(R"( i="{}")", iata) : std::string());
  }
};

TEST_F(AirportsTest, EntriesAreCheckedOneByOne) {
  load(R"(
      <ap c="LSZH" i="zrh" la="47.4647" lo="8.5492" a="1417"/>
      <ap c="LSZH" i="XXX" la="10" lo="10" a="1"/>
      <ap c="EHAM" la="52.3086" lo="4.7639" a="-11"/>
      <ap c="EDDF" i="FRAA" la="50.03" lo="8.57" a="364"/>
      <ap i="NOC" la="50.03" lo="8.57" a="364"/>
      <ap c="ED-F" la="50.03" lo="8.57" a="364"/>
      <ap c="EDDM" lo="11.78" a="1487"/>
      <ap c="EDDB" la="52.36" lo="13.50"/>
      <ap c="EDDH" la="53.63x" lo="9.98" a="53"/>
      <ap c="EDDL" la="51.28" lo="6.76" a="147.5"/>
      <ap c="EDDK" la=" 50.86" lo="7.14" a="302"/>
      <ap c="EDDS" la="95.0" lo="9.22" a="1276"/>
      <ap c="EDDN" la="0.00001" lo="0.0" a="0"/>
      <ap c="EDDW" la="inf" lo="8.78" a="14"/>
      <ap c="LOWW" la="48.1103" lo="16.5697" a="600"/>)");
  ASSERT_EQ(g_airports.size(), 3u);
  EXPECT_EQ(g_airports[0].code, IcaoCode("EHAM"));
  EXPECT_EQ(g_airports[0].iata, IataCode("XXX"));
  EXPECT_EQ(g_airports[0].altitude, -11);
  EXPECT_EQ(g_airports[1].code, IcaoCode("LOWW"));
  EXPECT_EQ(g_airports[2].code, IcaoCode("LSZH"));
  EXPECT_EQ(g_airports[2].iata, IataCode("ZRH"));  // the first entry stays
  EXPECT_EQ(g_airports[2].position, (Lalo{47.4647, 8.5492}));

  const std::string text = log();
  for (const char* line : {"==> Skipped 1 duplicate airport entry\n", "Skipped airport 'EDDF' 'FRAA': ",
                           "==> Skipped airport entry with missing ICAO code attribute",
                           "Skipped invalid airport code 'ED-F': ", "==> Missing latLons for airport 'EDDM'",
                           "==> Missing alt for airport 'EDDB'", "==> Invalid numeric data for airport 'EDDH'",
                           "==> Invalid numeric data for airport 'EDDL'", "==> Invalid numeric data for airport 'EDDK'",
                           "==> Invalid position for airport 'EDDS'", "==> Invalid position for airport 'EDDN'",
                           "==> Invalid numeric data for airport 'EDDW'", "    3 airports read"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(AirportsTest, DuplicatesAreCountedInTheWarning) {
  load(ap("LSZH", 47.46, 8.55) + ap("LSZH", 47.46, 8.55) + ap("LSZH", 47.46, 8.55) + ap("LSGG", 46.23, 6.10));
  EXPECT_EQ(g_airports.size(), 2u);
  EXPECT_NE(log().find("==> Skipped 2 duplicate airport entries"), std::string::npos);
}

TEST_F(AirportsTest, FileFailuresLeaveTheListAsItWas) {
  struct Case { const char* xml; std::string error; };  // xml nullptr: no file
  const std::string path = (fs::path("input") / "airports.enc").string();
  const Case cases[] = {
      {nullptr, path + " not available"},
      {"<root><airports>", path + " not loaded: "},
      {"<data/>", path + " has no <root> root"},
      {"<root><aps/></root>", path + " has no <airports> section"},
      {"<root><airports><ap c=\"X\"/></airports></root>", path + " contains no valid airports"},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir_ / "input");
    if (c.xml) writeEnc("input/airports.enc", c.xml);
    const auto result = gf_readAirports();
    ASSERT_TRUE(std::holds_alternative<std::string>(result)) << c.error;
    EXPECT_EQ(std::get<std::string>(result).substr(0, c.error.size()), c.error);
    EXPECT_TRUE(g_airports.empty());
  }
}

TEST_F(AirportsTest, TheListIsLoadedOnce) {
  load(ap("LSZH", 47.46, 8.55) + ap("LSGG", 46.23, 6.10));
  fs::remove(dir_ / "input" / "airports.enc");
  const auto again = gf_readAirports();
  ASSERT_TRUE(std::holds_alternative<std::size_t>(again));
  EXPECT_EQ(std::get<std::size_t>(again), 2u);
}

TEST_F(AirportsTest, Lookups) {
  load(ap("LSZH", 47.46, 8.55, 1417, "ZRH") + ap("EHAM", 52.3, 4.76) + ap("KJFK", 40.6, -73.7));
  ASSERT_TRUE(gf_findAirport(IcaoCode("LSZH")).has_value());
  EXPECT_EQ(gf_findAirport(IcaoCode("lszh"))->altitude, 1417);
  EXPECT_FALSE(gf_findAirport(IcaoCode("LSGG")).has_value());
  EXPECT_TRUE(gf_isKnownAirport(IcaoCode("KJFK")));
  EXPECT_FALSE(gf_isKnownAirport(IcaoCode("AAAA")));
  EXPECT_FALSE(gf_isKnownAirport(IcaoCode("ZZZZ")));
}

TEST_F(AirportsTest, ClosestAirportByCentreUnlessAStandIsNearer) {
  // Two airports 4 NM apart, the position 1 NM from the first.
  load(ap("EGLL", 51.0, 0.0) + ap("EGKK", 51.0 + 4.0 / 60.0, 0.0) + ap("EGSS", 51.2, 0.0));
  const Lalo position{51.0 + 1.0 / 60.0, 0.0};
  EXPECT_EQ(gf_findClosestAirport(position)->code, IcaoCode("EGLL"));
  EXPECT_FALSE(gf_findClosestAirport({51.0, 0.2}).has_value());  // 7.5 NM east of both

  gf_setAirportsNeighbours(
      [](const Airport& airport, const Lalo&) {
        if (airport.code == IcaoCode("EGKK")) return ClosestStand{"GATE 7", 0.05, true};
        return ClosestStand{"STAND 1", 0.2, true};
      },
      nullptr);
  EXPECT_EQ(gf_findClosestAirport(position)->code, IcaoCode("EGKK"));
  EXPECT_NE(log().find("Airport EGLL has the closest center, but stand GATE 7 at EGKK is closer (93 meters)"),
            std::string::npos);

  gf_setAirportsNeighbours(
      [](const Airport& airport, const Lalo&) {
        if (airport.code == IcaoCode("EGKK")) return ClosestStand{"GATE 7", 0.3, true};
        return ClosestStand{"", 0.0, false};
      },
      nullptr);
  EXPECT_EQ(gf_findClosestAirport(position)->code, IcaoCode("EGKK"));  // the only one with a stand file

  // A stand file on its way: no choice yet for a caller that can ask again, the centres for one
  // that cannot.
  gf_setAirportsNeighbours(
      [](const Airport& airport, const Lalo&) {
        if (airport.code == IcaoCode("EGKK")) return ClosestStand{"", 0.0, false, true};
        return ClosestStand{"STAND 1", 0.2, true};
      },
      nullptr);
  bool pending = false;
  EXPECT_FALSE(gf_findClosestAirport(position, &pending).has_value());
  EXPECT_TRUE(pending);
  EXPECT_EQ(gf_findClosestAirport(position)->code, IcaoCode("EGLL"));
}

TEST_F(AirportsTest, ClosestAirportAcrossTheDateLine) {
  load(ap("NFNM", -16.69, -179.95) + ap("NGFU", -8.525, 179.1967) + ap("NFFN", -17.75, 177.44));
  const auto west = gf_findClosestAirport({-16.69, 179.98});  // 4 NM west of it, across the line
  ASSERT_TRUE(west.has_value());
  EXPECT_EQ(west->code, IcaoCode("NFNM"));
  const auto east = gf_findClosestAirport({-16.69, -179.99});
  ASSERT_TRUE(east.has_value());
  EXPECT_EQ(east->code, IcaoCode("NFNM"));
  EXPECT_FALSE(gf_findClosestAirport({-8.525, -179.99}).has_value());  // 48 NM from NGFU
  EXPECT_FALSE(gf_findClosestAirport({16.69, 179.98}).has_value());
}

TEST_F(AirportsTest, ParkAirportElevation) {
  EXPECT_FALSE(gf_parkAirportElevation().has_value());  // nobody tells
  Airport park;
  gf_setAirportsNeighbours(nullptr, [&park] { return park; });
  EXPECT_FALSE(gf_parkAirportElevation().has_value());  // code 0
  park.code = IcaoCode("LSZH");
  EXPECT_FALSE(gf_parkAirportElevation().has_value());  // at 0/0
  park.position = {47.46, 8.55};
  park.altitude = 1417;
  ASSERT_TRUE(gf_parkAirportElevation().has_value());
  EXPECT_DOUBLE_EQ(*gf_parkAirportElevation(), 1417.0);
  // Near a position: 10 NM north of the field is outside 5 NM, inside 15.
  const Lalo north{47.46 + 10.0 / 60.0, 8.55};
  EXPECT_FALSE(gf_parkAirportElevationNear(north, 5.0).has_value());
  EXPECT_DOUBLE_EQ(gf_parkAirportElevationNear(north, 15.0).value_or(0.0), 1417.0);
  EXPECT_FALSE(gf_parkAirportElevationNear({NAN, 8.55}, 15.0).has_value());
  // About the bound, north, south and aside, flat and great-circle: as the distance answers.
  for (const double nm : {9.999, 10.0, 10.001, 40.0})
    for (const Lalo& way : {Lalo{1.0, 0.0}, Lalo{-1.0, 0.0}, Lalo{0.6, 1.2}, Lalo{0.0, 1.5}}) {
      const Lalo at{park.position.lat + way.lat * nm / 60.0, park.position.lon + way.lon * nm / 60.0};
      EXPECT_EQ(gf_parkAirportElevationNear(at, 10.0).has_value(), gf_distanceNm(park.position, at) <= 10.0)
          << nm << " NM " << way.lat << "/" << way.lon;
    }
  // A pass over the aircraft sees the airport as it began; the next one sees the change.
  {
    const ParkAirportPass pass;
    park.altitude = 1500;
    EXPECT_DOUBLE_EQ(gf_parkAirportElevation().value_or(0.0), 1417.0);
    EXPECT_DOUBLE_EQ(gf_parkAirportElevationNear(north, 15.0).value_or(0.0), 1417.0);
    park.code = IcaoCode();
    EXPECT_TRUE(gf_parkAirportElevationNear(north, 15.0).has_value());
  }
  EXPECT_FALSE(gf_parkAirportElevationNear(north, 15.0).has_value());
  park.code = IcaoCode("LSZH");
  EXPECT_DOUBLE_EQ(gf_parkAirportElevation().value_or(0.0), 1500.0);
}

TEST_F(AirportsTest, TheSampleListLoadsCleanly) {
  auto plain = gf_readEncFile(kSampleData / "airports.enc", kAirportsPlainLimit);
  ASSERT_TRUE(plain.ok()) << plain.message();
  EXPECT_EQ(plain.buffer().text(), readFile(kSampleData / "airports.xml"));
  writeFile(dir_ / "input" / "airports.enc", readFile(kSampleData / "airports.enc"));
  const auto result = gf_readAirports();
  ASSERT_TRUE(std::holds_alternative<std::size_t>(result)) << std::get<std::string>(result);
  EXPECT_GE(std::get<std::size_t>(result), 300u);
  EXPECT_EQ(log().find("==>"), std::string::npos);  // no entry was skipped
  // The demo's user aircraft stands at Zurich.
  const auto zurich = gf_findClosestAirport({47.450604, 8.561746});
  ASSERT_TRUE(zurich.has_value());
  EXPECT_EQ(zurich->code, IcaoCode("LSZH"));
  EXPECT_EQ(zurich->iata, IataCode("ZRH"));
}

}  // namespace
