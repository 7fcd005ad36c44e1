// Idents, helipads and parking positions of BGL airport records.
#include "airportscan/bgl_airport.h"

#include <gtest/gtest.h>

#include "tests/airportscan/scan_fixture.h"
#include "tools/bgl_generator.h"

namespace {
using bglgen::Helipad;
using bglgen::OtherSubrecord;
using bglgen::Parking;
using bglgen::ParkingList;

constexpr double kTwoPi = 6.283185307179586;

class BglAirportTest : public airportscan_testing::ScanTest {
 protected:
  // The records back to back after `lead` bytes; the first one read.
  static BglAirportRead read(const std::vector<bglgen::AirportRecord>& records, std::size_t lead = 0) {
    bglgen::Bytes file(lead, 0);
    for (const auto& record : records) {
      const bglgen::Bytes bytes = bglgen::airportRecordBytes(record);
      file.insert(file.end(), bytes.begin(), bytes.end());
    }
    const auto size = bglgen::airportRecordBytes(records.front()).size();
    return gf_readBglAirportRecord(file, BglRecordRef{kBglAirportRecordId, lead, size});
  }
  static Parking gate(std::uint32_t code, std::uint32_t number, std::uint32_t type = 10, float heading = 90.0f) {
    return Parking{code, type, number, 20.0f, heading, 51.47, -0.45, 1};
  }
  static std::vector<std::string> names(const BglAirportRead& airport) {
    std::vector<std::string> result;
    for (const Stand& stand : airport.airport.stands) result.push_back(stand.name);
    return result;
  }
};

TEST_F(BglAirportTest, Idents) {
  knownAirports({"EGLL"});
  const struct { std::uint32_t ident; const char* text; std::uint8_t ok, reason; } cases[] = {
      {bglgen::packIdent("EGLL") | 0x1F, "EGLL", 1, 0},
      {bglgen::packIdent("ABC"), "ABC", 0, 2},
      {bglgen::packIdent("ZZZ9"), "ZZZ9", 0, 3},
      {bglgen::packIdent("E GL"), "E GL", 0, 1},
      {bglgen::packIdent("E?GL"), "E?GL", 0, 1},
      {0, "", 0, 2}};
  for (const auto& c : cases) {
    const BglIdent ident = lf_decodeBglIdent(c.ident);
    EXPECT_EQ(ident.text, c.text);
    EXPECT_EQ(ident.ok, c.ok) << c.text;
    EXPECT_EQ(ident.reason, c.reason) << c.text;
  }
  EXPECT_EQ(g_airportScanMessages, std::vector<std::string>{"ZZZ9 is not known"});
}

TEST_F(BglAirportTest, ParkingNamesAndValues) {
  const BglAirportRead airport = read({{"EGLL", 0, {ParkingList{{
      gate(12, 5), gate(10, 5, 5, 0.0f), gate(0, 5, 14, 360.0f), gate(40, 6, 1), gate(1, 7, 0), gate(1, 8, 13),
      gate(3, 9, 2), Parking{11, 3, 1, 20.0f, 0.0f, 0.00005, -0.00009}, gate(11, 1, 3)}}}}});
  ASSERT_EQ(names(airport), (std::vector<std::string>{"GATE A5", "GATE 5", "5", "6", "NE_PARKING 9", "DOCK 1a"}));
  const auto& stands = airport.airport.stands;
  EXPECT_DOUBLE_EQ(stands[0].heading, kTwoPi / 4);
  // 0 and 360 degrees are one heading: north, kept in [0, 2 pi) by the stand record.
  EXPECT_EQ(stands[1].heading, 0.0);
  EXPECT_EQ(stands[2].heading, 0.0);
  EXPECT_EQ(std::vector<int>({stands[1].cargo, stands[2].ramp, stands[3].ramp, stands[0].cargo, stands[0].ramp}),
            std::vector<int>({1, 1, 1, 0, 0}));
  EXPECT_DOUBLE_EQ(stands[0].radius, 20.0 * kNmPerMetre);
  EXPECT_NEAR(stands[0].position.lat, 51.47, 1e-6);
  EXPECT_NEAR(stands[0].position.lon, -0.45, 1e-6);
  EXPECT_TRUE(messaged("LatLon 0.000050,-0.000090 invalid (skipped)"));  // its name DOCK 1 stays taken
}

TEST_F(BglAirportTest, TwelveEqualNames) {
  const BglAirportRead airport = read({{"EGLL", 0, {ParkingList{std::vector<Parking>(12, gate(10, 7))}}}});
  EXPECT_EQ(names(airport), (std::vector<std::string>{"GATE 7", "GATE 7a", "GATE 7b", "GATE 7c", "GATE 7d", "GATE 7e",
                                                       "GATE 7f", "GATE 7g", "GATE 7h", "GATE 7i", "GATE 7j"}));
  EXPECT_EQ(g_airportScanMessages, std::vector<std::string>{"===> Warning: more than 10 duplicate IDs GATE 7"});
}

// The list and the walk stay inside their sub-record and airport record, whatever the counts
// and sizes say; fields are read at their bytes, on any alignment.
TEST_F(BglAirportTest, ReadsStayInsideTheirRecords) {
  ParkingList tooMany{{gate(10, 1), gate(10, 2)}, 5};
  const BglAirportRead listed = read({{"EGLL", 0, {tooMany, OtherSubrecord{0x33, 64}, Helipad{51.0, 0.1, 20.0f}}},
                                      {"EGLL", 0, {ParkingList{{gate(10, 3)}}}}}, 2);
  EXPECT_EQ(names(listed), (std::vector<std::string>{"GATE 1", "GATE 2"}));
  EXPECT_TRUE(messaged("parking list holds 5 entries, only 2 fit in its 128 bytes (rest skipped)"));

  // A helipad last in its record: the next record's parking list is not this airport's.
  const BglAirportRead helipads =
      read({{"EGLL", 100000, {Helipad{51.0, 0.1, 30.0f}, Helipad{51.0, 0.1, 30.0f}, OtherSubrecord{0x33, 12},
                              Helipad{51.1, 0.1, 10.0f}}},
            {"KJFK", 0, {ParkingList{{gate(10, 3)}}}}}, 1);
  EXPECT_EQ(names(helipads), (std::vector<std::string>{"helipad1", "helipad2"}));
  EXPECT_EQ(helipads.helipadCount, 2u);
  EXPECT_DOUBLE_EQ(helipads.airport.stands[0].radius, 15.0 * kNmPerMetre);
  EXPECT_EQ(helipads.airport.stands[1].heli, 1);
  EXPECT_EQ(helipads.airport.altitude, 328);
  EXPECT_TRUE(messaged("double helipad  (skipped) 51.000000,0.100000"));
  EXPECT_EQ(read({{"EGLL", 4'000'000, {}}}).airport.altitude, 0);  // 13,123 ft: above 10,000
}

}  // namespace
