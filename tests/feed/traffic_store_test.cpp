#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "feed/qnh.h"
#include "feed/traffic_handover.h"
#include "feed/traffic_store.h"

namespace {

TEST(TrafficStoreNames, Callsigns) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"KLM1234", "KLM1234"}, {".AB", ""},        {".ABC", "ABC"},     {"ABCDEFGHI", ""}, {"ABCDEFGH", "ABCDEFGH"},
      {"N100000", ""},        {"A00000", ""},     {"0000", "0000"},    {"null", ""},      {"KL@M", ""},
      {"AB", ""},             {"", ""},           {"ABC", "ABC"},      {".ABCDEFG", "ABCDEFG"},
  };
  for (const Case& c : cases) EXPECT_EQ(gf_cleanCallsign(c.in), c.out) << c.in;
}

TEST(TrafficStoreNames, RegistrationsKeepThreeToTwelveCharactersAndAirportCodesThreeLetters) {
  for (const auto& [in, out] : {std::pair<const char*, const char*>{"PH", ""}, {"PHB", "PHB"}, {"null", ""},
                                {"ABCDEFGHIJKL", "ABCDEFGHIJKL"}, {"ABCDEFGHIJKLM", ""}})
    EXPECT_EQ(gf_cleanRegistration(in), out) << in;
  for (const char* code : {"null", "", "AMST", "A-S", " AMS"}) EXPECT_TRUE(gf_iataCodeOrNull(code).empty()) << code;
  EXPECT_EQ(gf_iataCodeOrNull("ams").text(), "AMS");
}

TEST(TrafficStoreFilters, WhatCountsAsAircraft) {
  struct Case {
    const char* type;
    const char* emitter;
    bool aircraft;
  };
  const Case cases[] = {
      {"GLID", "A1", false}, {"TWR", "A1", false},  {"ZZZZ", "", false}, {"C172", "B2", false},
      {"C172", "A1", true},  {"B738", "", true},    {"C", "A1", false},  {"B7378", "A3", false},
      {"EC", "A7", true},    {"", "A1", false},     {"null", "A1", false}, {"0", "A1", false},
      {"C172", "B1", false}, {"C172", "B4", false}, {"C172", "C1", false}, {"C172", "C2", false},
      {"C172", "B3", true},  {"GND", "", false},    {"SHIP", "", false},   {"glid", "", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(gf_isAircraftTraffic(c.type, c.emitter), c.aircraft) << c.type << "/" << c.emitter;
}

TEST(TrafficStoreNumbers, DefaultTrueAirspeedAndParkedHalfHourSlots) {
  for (const auto& [feet, knots] : {std::pair{0, 180}, {2000, 180}, {3000, 220}, {10000, 250}, {20000, 350}, {20001, 430}})
    EXPECT_EQ(gf_defaultTasKt(feet), knots) << feet;
  const std::int64_t day = 1733356800;  // 2024-12-05 00:00:00 UTC
  EXPECT_EQ(gf_parkedHalfHourSlot(day + 10 * 3600 + 29 * 60 + 29), 20);
  EXPECT_EQ(gf_parkedHalfHourSlot(day + 10 * 3600 + 29 * 60 + 30), 21);
  EXPECT_EQ(gf_parkedHalfHourSlot(day + 23 * 3600 + 45 * 60), 47);
  EXPECT_EQ(gf_parkedHalfHourSlot(day), 0);
  EXPECT_EQ(gf_parkedHalfHourSlot(std::numeric_limits<std::int64_t>::max()), -1);
}

TEST(TrafficStoreAltitude, BarometricBlendAndGroundNearTheParkAirport) {
  struct Case {
    const char* name;
    double altitude;
    double gs;
    std::optional<double> elevation;
    std::int32_t qnh;
    double userOffset;
    bool rtDirect;
    double expected;
  };
  // QNH 1023.25: d = 300 ft.
  const Case cases[] = {
      {"on the ground stays 0", -50, 10, std::nullopt, 1013, 0, false, 0},
      {"low, RT App: feed altitude", 5000, 250, std::nullopt, 1023, 0, false, 5000},
      {"low, RT Direct: plus d", 5000, 250, std::nullopt, 1033, 0, true, 5000 + (1033 - 1013.25) * 30},
      {"high, RT App: minus d plus user offset", 30000, 450, std::nullopt, 1033, 120, false,
       30000 - (1033 - 1013.25) * 30 + 120},
      {"high, RT Direct: plus user offset", 30000, 450, std::nullopt, 1033, 120, true, 30120},
      {"blend at 18000 ft weighs 0.25", 18000, 400, std::nullopt, 1033, 0, false,
       18000 * 0.75 + (18000 - (1033 - 1013.25) * 30) * 0.25},
      {"RT Direct's blend at 17500 ft weighs 0.0244", 17500, 400, std::nullopt, 1000, 0, true,
       17500 + (1.0 - 0.0244140625) * (1000 - 1013.25) * 30},
      // 150 and 160 ft at 100 kt over a 100 ft airport: ALowSlowAircraftNearTheParkAirportSnapsToTheGround.
      {"any height at 130 kt flies", 101, 130, 100.0, 1013, 0, false, 101},
      {"89 ft above at 40 kt is on the ground", 189, 40, 100.0, 1013, 0, false, 0},
      {"89 ft above at a speed the feed lost is on the ground", 189, std::nan(""), 100.0, 1013, 0, true, 0},
      {"below the elevation is on the ground", 80, 200, 100.0, 1013, 0, false, 0},
      {"above 14000 ft no ground test", 14000, 10, 13990.0, 1013, 0, false, 14000},
  };
  for (const Case& c : cases) {
    TrafficRecord record;
    record.altitude = c.altitude, record.gs = c.gs;
    gf_correctFeedAltitude(record, c.elevation, c.qnh, c.userOffset, c.rtDirect);
    EXPECT_NEAR(record.altitude, c.expected, 1e-9) << c.name;
    // Corrected for the standard QNH, then moved to this one by the feed's own altitude: the same.
    TrafficRecord standard;
    standard.altitude = c.altitude, standard.gs = c.gs;
    gf_correctFeedAltitude(standard, c.elevation, kStandardQnh, c.userOffset, c.rtDirect);
    EXPECT_EQ(standard.altitudeQnh, kStandardQnh) << c.name;
    EXPECT_EQ(standard.feedAltitude, c.altitude) << c.name;
    if (standard.altitude > 0.0 && record.altitude > 0.0) {
      EXPECT_NEAR(standard.altitude + gf_feedAltitudeShiftFt(standard.feedAltitude, kStandardQnh, c.qnh, c.rtDirect),
                  record.altitude, 1e-9)
          << c.name;
    }
  }
}

std::vector<TrafficRecord> recordsAt(std::initializer_list<double> timestamps) {
  std::vector<TrafficRecord> records;
  for (double t : timestamps) {
    TrafficRecord record;
    record.timestamp = t;
    records.push_back(record);
  }
  return records;
}

TEST(MailboxTimes, RecordsKeepTheirSpacingAroundTheMedian) {
  auto one = recordsAt({1733400000.7});
  gf_setMailboxTimeOffsets(one, 500, 30);
  EXPECT_EQ(one[0].mailboxTime, 3500);

  auto three = recordsAt({100.5, 100.0, 99.5});
  gf_setMailboxTimeOffsets(three, 1000, 30);
  EXPECT_EQ(three[0].mailboxTime, 4050);
  EXPECT_EQ(three[1].mailboxTime, 4000);
  EXPECT_EQ(three[2].mailboxTime, 3950);

  // An even count centres on the mean of the two middle values; a NaN moves nothing.
  auto even = recordsAt({10.0, 11.0, std::nan(""), 12.0, 13.0});
  gf_setMailboxTimeOffsets(even, 0, 0);
  EXPECT_EQ(even[0].mailboxTime, -150);
  EXPECT_EQ(even[2].mailboxTime, 0);
  EXPECT_EQ(even[3].mailboxTime, 50);

  auto none = recordsAt({std::nan(""), INFINITY});
  gf_setMailboxTimeOffsets(none, 7, 6);
  EXPECT_EQ(none[0].mailboxTime, 607);
  EXPECT_EQ(none[1].mailboxTime, 607);

  // Far outliers saturate instead of wrapping.
  auto wild = recordsAt({0.0, 1e300, -1e300});
  gf_setMailboxTimeOffsets(wild, std::numeric_limits<std::int32_t>::max(), 30);
  EXPECT_EQ(wild[0].mailboxTime, std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(wild[1].mailboxTime, std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(wild[2].mailboxTime, std::numeric_limits<std::int32_t>::min());

  std::vector<TrafficRecord> empty;
  gf_setMailboxTimeOffsets(empty, 1, 1);
  EXPECT_TRUE(empty.empty());
}

TEST(BlockedAircraftEntry, Parsing) {
  EXPECT_EQ(gf_parseBlockedAircraft("KLM1234,PH-BXA,4840D6,x"), (BlockedAircraft{"KLM1234", "PH-BXA", 0x4840D6}));
  EXPECT_EQ(gf_parseBlockedAircraft("KLM1234,,004840d6,"), (BlockedAircraft{"KLM1234", "", 0x4840D6}));
  const char* refused[] = {"KLM1234,PH-BXA,4840D6",     ",PH-BXA,4840D6,x",      "KLM1234,PH-BXA,4840G6,x",
                           "KLM1234,PH-BXA,14840D6FF,x", "KLM1234,PH-BXA,,x",      "KLM1234,PH-BXA,4840D6,x,y",
                           "",                            "KLM1234,PH-BXA,-4840D6,x"};
  for (const char* entry : refused) EXPECT_FALSE(gf_parseBlockedAircraft(entry)) << entry;
}

}  // namespace
