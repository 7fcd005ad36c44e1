#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "feed/rt_app_messages.h"

namespace {

// A complete "RTTFC" line with realistic values; overrides replace single fields.
std::string trafficLine(const std::map<std::size_t, std::string>& overrides = {}, std::size_t count = 44,
                        const std::string& tag = "RTTFC") {
  std::vector<std::string> fields(count, "0");
  fields[0] = tag;
  const std::map<std::size_t, std::string> base = {
      {1, "4840406"},  {2, "52.3086"},    {3, "4.7639"},    {4, "1825"},       {5, "-768"},  {6, "12"},
      {7, "241.5"},    {8, "148"},        {9, "KLM1234"},   {10, "B738"},      {11, "PH-BXA"}, {12, "LHR"},
      {13, "AMS"},     {14, "1733400000.25"}, {17, "adsb_icao"}, {20, "152"},  {23, "-2.5"}, {25, "240.1"},
      {28, "A3"},      {43, "KLM"}};
  for (const auto& [index, value] : base)
    if (index < count) fields[index] = value;
  for (const auto& [index, value] : overrides)
    if (index < count) fields[index] = value;
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + fields[i];
  return line;
}

// The views point into line: literals, or strings that outlive the fields.
std::vector<std::string_view> split(std::string_view line) {
  std::vector<std::string_view> fields;
  gf_splitRTAppLine(line, fields);
  return fields;
}

// Decodes a whole live message as the reader does; the error text when it is refused.
std::string decodeTraffic(const std::string& line, TrafficFields& out) {
  const auto fields = split(line);
  try {
    gf_decodeRTAppPosition(fields, out);
    gf_decodeRTAppTraffic(fields, out);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return {};
}

TEST(RTAppTags, DispatchOrderAndUnknownTags) {
  struct Case {
    const char* tag;
    RTAppTag expected;
  };
  const Case cases[] = {
      {"RTTFC", RTAppTag::Traffic},          {"RTTFC_EOT", RTAppTag::TrafficEnd},
      {"RTBUF_SEP", RTAppTag::BufferSeparator}, {"RTBUF_EOT", RTAppTag::BufferEnd},
      {"RTBUF", RTAppTag::Buffer},           {"RTBUFX", RTAppTag::Buffer},
      {"RTBUF_SEPX", RTAppTag::Buffer},      {"RTPARK", RTAppTag::Parked},
      {"RTPARK_EOT", RTAppTag::ParkedEnd},   {"RTBU", RTAppTag::Unknown},
      {"rttfc", RTAppTag::Unknown},          {"RTTFCX", RTAppTag::Unknown},
      {"", RTAppTag::Unknown},               {"RTPARKX", RTAppTag::Unknown},
  };
  for (const Case& c : cases) EXPECT_EQ(gf_rtAppTag(c.tag), c.expected) << c.tag;
}

TEST(RTAppSplit, EmptyFieldsCount) {
  EXPECT_EQ(split("A,,B,").size(), 4u);
  EXPECT_EQ(split("A,,B,")[3], "");
  EXPECT_EQ(split("").size(), 1u);
}

TEST(RTAppTraffic, ACompleteMessageFillsEveryField) {
  const std::string line = trafficLine();
  TrafficFields f;
  ASSERT_EQ(decodeTraffic(line, f), "");
  EXPECT_EQ(f.hexid, 4840406u);
  EXPECT_DOUBLE_EQ(f.lat, 52.3086);
  EXPECT_DOUBLE_EQ(f.lon, 4.7639);
  EXPECT_DOUBLE_EQ(f.altitude, 1825);
  EXPECT_DOUBLE_EQ(f.vs, -768);
  EXPECT_DOUBLE_EQ(f.track, 241.5);
  EXPECT_DOUBLE_EQ(f.gs, 148);
  EXPECT_DOUBLE_EQ(f.timestamp, 1733400000.25);
  EXPECT_DOUBLE_EQ(f.TAS, 152);
  EXPECT_DOUBLE_EQ(f.roll, -2.5);
  EXPECT_DOUBLE_EQ(f.trueheading, 240.1);
  EXPECT_EQ(f.callsign, "KLM1234");
  EXPECT_EQ(f.typeDesignator, "B738");
  EXPECT_EQ(f.registration, "PH-BXA");
  EXPECT_EQ(f.origin, "LHR");
  EXPECT_EQ(f.destination, "AMS");
  EXPECT_EQ(f.sourceType, "adsb_icao");
  EXPECT_EQ(f.emitterCategory, "A3");
  EXPECT_EQ(f.airlineCode, "KLM");
  EXPECT_TRUE(f.codeText.empty());
}

TEST(RTAppTraffic, MalformedFieldsRefuseTheMessageNamingTheField) {
  struct Case {
    const char* name;
    std::map<std::size_t, std::string> overrides;
    const char* error;  // "" = accepted
  };
  const Case cases[] = {
      {"hexid with a sign", {{1, "+255"}}, "hexid:+255"},
      {"hexid with a blank", {{1, " 255"}}, "hexid: 255"},
      {"hexid with a hex letter", {{1, "25a"}}, "hexid:25a"},
      {"empty hexid", {{1, ""}}, "hexid:"},
      {"hexid beyond 32 bits", {{1, "4294967296"}}, "hexid:4294967296"},
      {"largest hexid", {{1, "4294967295"}}, ""},
      {"lat text", {{2, "abc"}}, "lat:abc"},
      {"lat not a number", {{2, "nan"}}, "lat:nan"},
      {"lon infinite", {{3, "inf"}}, "lon:inf"},
      {"lon too large for a double", {{3, "1e400"}}, "lon:1e400"},
      {"altitude with trailing text", {{4, "1825ft"}}, "altitude:1825ft"},
      {"altitude with a blank", {{4, "1825 "}}, "altitude:1825 "},
      {"empty vs", {{5, ""}}, "vs:"},
      {"empty track is 0", {{7, ""}}, ""},
      {"bad track", {{7, "x"}}, "track:x"},
      {"empty gs", {{8, ""}}, "gs:"},
      {"timestamp text", {{14, "now"}}, "timestamp:now"},
      {"empty TAS", {{20, ""}}, "TAS:"},
      {"bad roll", {{23, "-"}}, "roll:-"},
      {"bad true heading of adsb_icao", {{25, "x"}}, "trueheading:x"},
      {"bad true heading of another source", {{17, "adsb_other"}, {25, "x"}}, ""},
      {"unused fields are not read", {{6, "junk"}, {15, "junk"}, {42, "junk"}}, ""},
  };
  for (const Case& c : cases) {
    TrafficFields f;
    EXPECT_EQ(decodeTraffic(trafficLine(c.overrides), f), c.error) << c.name;
  }
}

TEST(RTAppTraffic, TrueHeadingOnlyFromAdsbIcaoAndTrackZeroWhenEmpty) {
  TrafficFields f;
  ASSERT_EQ(decodeTraffic(trafficLine({{17, "mlat"}, {25, "123.4"}, {7, ""}}), f), "");
  EXPECT_EQ(f.trueheading, 0.0);
  EXPECT_EQ(f.track, 0.0);
  ASSERT_EQ(decodeTraffic(trafficLine({{17, "ADSB_ICAO"}, {25, "123.4"}}), f), "");
  EXPECT_EQ(f.trueheading, 0.0);  // compared exactly
  ASSERT_EQ(decodeTraffic(trafficLine({{17, "F_adsb_icao"}, {25, "123.4"}}), f), "");
  EXPECT_EQ(f.trueheading, 123.4);
}

TEST(RTAppTraffic, AShortFieldListIsRefusedNotOverRead) {
  const std::string line = trafficLine({}, 20);
  const auto fields = split(line);
  TrafficFields f;
  EXPECT_THROW(gf_decodeRTAppPosition(fields, f), std::runtime_error);
  EXPECT_THROW(gf_decodeRTAppTraffic(fields, f), std::runtime_error);
  EXPECT_THROW(gf_decodeRTAppParked(split("RTPARK,ff,1")), std::runtime_error);
}

TEST(RTAppParked, FieldsAndTheirFailures) {
  const auto good = split("RTPARK,4840D6,52.3086,4.7639,KLM1234,B738,PH-BXA,D7,1733400000.9");
  const ParkedFields p = gf_decodeRTAppParked(good);
  EXPECT_EQ(p.hexid, 0x4840D6u);
  EXPECT_DOUBLE_EQ(p.lat, 52.3086);
  EXPECT_DOUBLE_EQ(p.lon, 4.7639);
  EXPECT_EQ(p.timestamp, 1733400000);  // truncated
  EXPECT_EQ(p.callsign, "KLM1234");
  EXPECT_EQ(p.typeDesignator, "B738");
  EXPECT_EQ(p.registration, "PH-BXA");
  EXPECT_EQ(p.standName, "D7");

  struct Case {
    const char* line;
    const char* error;  // "" = accepted
    std::uint32_t hexid;
  };
  const Case cases[] = {
      {"RTPARK,ff,52,4,C,T,R,S,1", "", 255},
      {"RTPARK,FF,52,4,C,T,R,S,1", "", 255},
      {"RTPARK,000000ff,52,4,C,T,R,S,1", "", 255},
      {"RTPARK,ffffffff,52,4,C,T,R,S,1", "", 0xffffffff},
      {"RTPARK,1ffffffff,52,4,C,T,R,S,1", "hexid incorrect1ffffffff", 0},
      {"RTPARK,fg,52,4,C,T,R,S,1", "hexid incorrectfg", 0},
      {"RTPARK,,52,4,C,T,R,S,1", "hexid incorrect", 0},
      {"RTPARK,0x1f,52,4,C,T,R,S,1", "hexid incorrect0x1f", 0},
      {"RTPARK,ff,52,4,C,T,R,S,0", "timestamp outside range:0.000", 0},
      {"RTPARK,ff,52,4,C,T,R,S,-5", "timestamp outside range:-5.000", 0},
      {"RTPARK,ff,52,4,C,T,R,S,1e19", "timestamp outside range:10000000000000000000.000", 0},
      {"RTPARK,ff,52,4,C,T,R,S,soon", "timestamp:soon", 0},
      {"RTPARK,ff,north,4,C,T,R,S,1", "lat:north", 0},
      {"RTPARK,ff,52,,C,T,R,S,1", "lon:", 0},
      {"RTPARK,ff,52,4,,,,,1,extra", "", 255},
  };
  for (const Case& c : cases) {
    std::string error;
    ParkedFields parked;
    try {
      parked = gf_decodeRTAppParked(split(c.line));
    } catch (const std::runtime_error& e) {
      error = e.what();
    }
    EXPECT_EQ(error, c.error) << c.line;
    if (!*c.error) {
      EXPECT_EQ(parked.hexid, c.hexid) << c.line;
    }
  }
  // The two encodings of one address.
  TrafficFields live;
  ASSERT_EQ(decodeTraffic(trafficLine({{1, "255"}}), live), "");
  EXPECT_EQ(live.hexid, gf_decodeRTAppParked(split("RTPARK,ff,52,4,C,T,R,S,1")).hexid);
}

// Random damage to valid lines: every outcome is a decoded message or a runtime_error.
TEST(RTAppMessages, DamagedLinesNeverCrash) {
  std::mt19937 random(20261206);
  const std::string samples[] = {trafficLine(), trafficLine({}, 44, "RTBUF"),
                                 "RTPARK,4840D6,52.3086,4.7639,KLM1234,B738,PH-BXA,D7,1733400000"};
  const std::string alphabet = ",,,,0123456789.-+eEabcfx \t\r\n\0\xff";
  for (int round = 0; round < 3000; ++round) {
    std::string line = samples[round % 3];
    const int edits = 1 + static_cast<int>(random() % 6);
    for (int e = 0; e < edits && !line.empty(); ++e) {
      const std::size_t at = random() % line.size();
      switch (random() % 3) {
        case 0: line[at] = alphabet[random() % alphabet.size()]; break;
        case 1: line.erase(at, 1 + random() % 8); break;
        default: line.resize(at); break;
      }
    }
    const auto fields = split(line);
    const RTAppTag tag = gf_rtAppTag(fields[0]);
    if (fields.size() < gf_rtAppRequiredFieldCount(tag)) continue;
    try {
      if (tag == RTAppTag::Parked) {
        gf_decodeRTAppParked(fields);
      } else if (tag == RTAppTag::Traffic || tag == RTAppTag::Buffer) {
        TrafficFields f;
        gf_decodeRTAppPosition(fields, f);
        gf_decodeRTAppTraffic(fields, f);
      }
    } catch (const std::runtime_error&) {
    }
  }
}

}  // namespace
