#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "config/parameter_snapshot.h"
#include "feed/feed_neighbours.h"
#include "feed/rt_api_decode.h"
#include "feed/rt_api_session.h"
#include "refdata/model_ids.h"
#include "standin/realtraffic/web_api_server.h"

namespace {

using Json = nlohmann::json;

constexpr double kStart = 1733400000.0;

Json flightEntry(const char* hex = "4CA1FA", double lat = 52.40, double lon = 4.80, double altitude = 4000) {
  const rtstandin::Flight flight{.hexid = 0x4CA1FA, .callsign = "EIN123", .type = "A320", .registration = "EI-ABC",
                                 .airline = "EIN", .origin = "DUB", .destination = "AMS"};
  const rtstandin::TrackPoint point{.lat = lat, .lon = lon, .altitude = altitude, .gs = 200, .track = 90,
                                    .trueHeading = 91, .roll = 10, .tas = 230};
  Json entry = Json::parse(rtstandin::webApiTrafficEntry(flight, point, static_cast<std::int64_t>(kStart)));
  entry[0] = hex;
  return entry;
}

TrafficFilterContext context() {
  return {.queryCentre = {52.31, 4.76}, .cosQueryLat = std::cos(52.31 * geo::kDegToRad), .qnhHpa = 1013,
          .snapshot = g_parameterSnapshot.load(), .dropZeroCodeOnGround = true};
}

struct Decoded {
  TrafficBatch batch;
  std::int64_t time = 0;
  std::size_t skipped = 0;
};

Decoded decode(const Json& data, bool collect = false) {
  Decoded out;
  TrafficFilterContext c = context();
  c.collectIdentity = collect;
  const RTAPITrafficDecoded decoded = gf_decodeTrafficResponse(data, c, out.batch);
  out.time = decoded.feedTime;
  out.skipped = decoded.skippedEntries;
  return out;
}

TEST(RTAPIDecodeTraffic, ArraysOf49OrMoreElementsAreFlights) {
  Json data = Json::object();
  data["ok"] = flightEntry();
  Json shorter = flightEntry("4CA1FB");
  shorter.erase(shorter.size() - 1);
  data["short"] = shorter;
  Json longer = flightEntry("4CA1FC");
  longer.push_back("a field added later");
  data["long"] = longer;
  data["object"] = Json::object({{"a", 1}});
  data["number"] = 5;  // not an entry at all
  const auto [batch, time, skipped] = decode(data);
  ASSERT_EQ(batch.records.size(), 2u);
  EXPECT_EQ(batch.records[0].hexid, 0x4CA1FCu);  // "long": the first 49 elements read
  EXPECT_EQ(skipped, 2u);
  const TrafficRecord& record = batch.records[1];
  EXPECT_EQ(record.hexid, 0x4CA1FAu);
  EXPECT_EQ(record.callsign, "EIN123");
  EXPECT_EQ(record.registration, "EI-ABC");
  EXPECT_TRUE(record.airborne);
  EXPECT_DOUBLE_EQ(record.timestamp, kStart);
  EXPECT_EQ(time, static_cast<std::int64_t>(kStart));
  ASSERT_TRUE(record.rollRad.has_value());
  EXPECT_NEAR(*record.rollRad, -10 * geo::kDegToRad, 1e-12);  // right bank in the feed is negative here
  EXPECT_DOUBLE_EQ(record.TAS, 230.0);
}

TEST(RTAPIDecodeTraffic, HexAddressRule) {
  struct Case {
    Json hex;
    bool kept;
  };
  const Case cases[] = {{"4CA1FA", true},  {"4ca1fa", true},  {"004ca1fa", true}, {"0x4CA1FA", false},
                        {"4CA1FG", false}, {"", false},       {"-4CA1FA", false}, {"1FFFFFFFF", false},
                        {0x4CA1FA, false}, {nullptr, false}};
  for (const Case& c : cases) {
    Json entry = flightEntry();
    entry[0] = c.hex;
    const auto batch = decode(Json{{"a", entry}}).batch;
    EXPECT_EQ(batch.records.size(), c.kept ? 1u : 0u) << c.hex.dump();
    if (c.kept && !batch.records.empty()) {
      EXPECT_EQ(batch.records[0].hexid, 0x4CA1FAu);
    }
  }
}

TEST(RTAPIDecodeTraffic, TimestampRuleAndTheBatchTime) {
  for (const Json& bad : {Json(0), Json(-5), Json("1733400000"), Json(nullptr), Json(1e19)}) {
    Json entry = flightEntry();
    entry[10] = bad;
    const auto [batch, time, skipped] = decode(Json{{"a", entry}});
    EXPECT_TRUE(batch.records.empty()) << bad.dump();
    EXPECT_EQ(time, 0) << bad.dump();
  }
  // The time follows the entry even when the store then drops it (here: at 0/0).
  Json dropped = flightEntry("4CA1FA", 0.0, 0.0);
  dropped[10] = kStart + 0.6;
  const auto [batch, time, skipped] = decode(Json{{"a", dropped}});
  EXPECT_TRUE(batch.records.empty());
  EXPECT_EQ(time, static_cast<std::int64_t>(kStart) + 1);
}

TEST(RTAPIDecodeTraffic, ASquawkOfZeroDropsGroundTrafficAsTextOrNumber) {
  FeedNeighbours neighbours;
  neighbours.parkAirport = [] { return std::optional<Lalo>(Lalo{52.40, 4.80}); };
  gf_setFeedNeighbours(neighbours);
  const std::pair<Json, bool> cases[] = {{"0000", false}, {0, false},     {0.0, false},   {"1000", true},
                                         {1000, true},    {7700, true},   {10000, true},  {-0.5, true},
                                         {nullptr, true}};
  for (const auto& [code, kept] : cases) {
    Json entry = flightEntry("4CA1FA", 52.40, 4.80, 0.0);  // on the ground at the park airport
    entry[6] = code;
    EXPECT_EQ(decode(Json{{"a", entry}}).batch.records.size(), kept ? 1u : 0u) << code.dump();
  }
  // A speed the feed lost stays unknown: read as 0 it stopped a taxiing aircraft dead.
  Json lost = flightEntry("4CA1FA", 52.40, 4.80, 0.0);
  lost[5] = nullptr;
  const auto ground = decode(Json{{"a", lost}}).batch;
  ASSERT_EQ(ground.records.size(), 1u);
  EXPECT_TRUE(std::isnan(ground.records[0].gs));
  gf_resetFeedNeighbours();
}

TEST(RTAPIDecodeTraffic, MissingRollAndAirspeed) {
  Json entry = flightEntry();
  entry[23] = nullptr;
  entry[20] = "fast";
  const auto batch = decode(Json{{"a", entry}}).batch;
  ASSERT_EQ(batch.records.size(), 1u);
  ASSERT_TRUE(batch.records[0].rollRad.has_value());  // wings level, not "none"
  EXPECT_EQ(*batch.records[0].rollRad, 0.0);
  EXPECT_DOUBLE_EQ(batch.records[0].TAS, 220.0);  // the store's table for 4000 ft
}

TEST(RTAPIDecodeTraffic, MembersInNameOrderAndIdentities) {
  Json data = Json::object();
  data["b"] = flightEntry("4CA1FB");
  data["a"] = flightEntry("4CA1FA");
  const auto batch = decode(data, true).batch;
  ASSERT_EQ(batch.records.size(), 2u);
  EXPECT_EQ(batch.records[0].hexid, 0x4CA1FAu);
  EXPECT_EQ(batch.records[1].hexid, 0x4CA1FBu);
  EXPECT_EQ(batch.hexids.size(), 2u);
  EXPECT_EQ(batch.callsigns.count("EIN123"), 1u);

  EXPECT_TRUE(decode(Json::array({flightEntry()})).batch.records.empty());
  TrafficFilterContext noSnapshot = context();
  noSnapshot.snapshot.reset();
  TrafficBatch empty;
  gf_decodeTrafficResponse(data, noSnapshot, empty);
  EXPECT_TRUE(empty.records.empty());
}

TEST(RTAPIDecodeTraffic, ARefusedEntryCostsOnlyItself) {
  Json data = Json::object();
  Json badHeading = flightEntry("4CA1FA");
  badHeading[25] = 400.0;  // the store refuses a true heading above 360
  data["a"] = badHeading;
  data["b"] = flightEntry("4CA1FB");
  const auto batch = decode(data).batch;
  ASSERT_EQ(batch.records.size(), 1u);
  EXPECT_EQ(batch.records[0].hexid, 0x4CA1FBu);
}

TEST(RTAPIDecodeParked, Members) {
  g_dbaseModelCodes.insert("E190");  // the store keeps only parked aircraft of known models
  Json data = Json::object();
  data["ABC123"] = Json::array({52.3093, 4.7637, "B13", "E190", "PH-EZA", kStart - 600.4, "KLM1402"});
  data["ABC124"] = Json::array({52.3093, 4.7637, "B14", "E190", "PH-EZB", kStart});
  data["XYZ"] = Json::array({52.3093, 4.7637, "B15", "E190", "PH-EZC", kStart, "KLM1"});
  data["ABC125"] = Json::array({52.3093, 4.7637, "B16", "E190", "PH-EZD", 0, "KLM2"});
  data["ABC126"] = "not an aircraft";
  const auto parked = gf_decodeParkedResponse(data);
  ASSERT_EQ(parked.size(), 1u);
  EXPECT_EQ(parked[0].hexid, 0xABC123u);
  EXPECT_EQ(parked[0].standName, "B13");
  EXPECT_EQ(parked[0].callsign, "KLM1402");
  EXPECT_EQ(parked[0].registration, "PH-EZA");
  EXPECT_TRUE(gf_decodeParkedResponse(Json::array()).empty());
  gf_resetModelTables();
}

TEST(RTAPIDecodeMetar, Shapes) {
  struct Case {
    const char* name;
    Json data;
    std::vector<std::string> metars;
    const char* error;
  };
  const Case cases[] = {
      {"two stations", Json::parse(R"([{"METAR":""},{"METAR":"EHAM 1 Q1013"}])"), {"EHAM 1 Q1013"}, ""},
      {"one object", Json::parse(R"({"ICAO":"EHAM","METAR":"EHAM 2 Q1012"})"), {"EHAM 2 Q1012"}, ""},
      {"order", Json::parse(R"([{"METAR":"A"},5,{"METAR":7},{"METAR":"B"}])"), {"A", "B"}, ""},
      {"empty array", Json::array(), {}, "response contains no METAR station with a valid METAR string"},
      {"no METAR", Json::parse(R"([{"ICAO":"EHAM"}])"), {}, "response contains no METAR station with a valid METAR string"},
      {"string", Json("EHAM"), {}, "response contains invalid METAR data"},
      {"number", Json(5), {}, "response contains invalid METAR data"},
  };
  for (const Case& c : cases) {
    auto decoded = gf_decodeNearestMetar(c.data);
    if (*c.error) {
      ASSERT_FALSE(decoded) << c.name;
      EXPECT_EQ(decoded.error().label, "nearest metar") << c.name;
      EXPECT_EQ(decoded.error().message, c.error) << c.name;
    } else {
      ASSERT_TRUE(decoded) << c.name;
      EXPECT_EQ(decoded.value(), c.metars) << c.name;
    }
  }
}

}  // namespace
