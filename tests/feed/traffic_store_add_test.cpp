#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/feed/feed_store_fixture.h"

namespace {

using feed_test::StoreTest;
using testing::StrEq;
using testing::ThrowsMessage;

TEST_F(StoreTest, TheRangeEndsAtFortyMilesOfFlatDistance) {
  TrafficFields fields = flight();
  fields.lat = kCentre.lat + 40.0 / 60.0;
  EXPECT_TRUE(add(fields).record) << "40.0 NM due north";
  fields.lat = kCentre.lat + 40.01 / 60.0;
  const TrafficAddResult outside = add(fields);
  EXPECT_FALSE(outside.record) << "40.01 NM";
  EXPECT_EQ(outside.timestampSeconds, 1733400001);  // the time check ran before the range check

  TrafficFilterContext noSnapshot = context();
  noSnapshot.snapshot.reset();
  const TrafficAddResult none = store.addTraffic(flight(), noSnapshot);
  EXPECT_FALSE(none.record);
  EXPECT_EQ(none.timestampSeconds, 0);
}

TEST_F(StoreTest, RangeAndGroundRadiusReachAcrossTheDateLine) {
  constexpr Lalo kTaveuni{-16.80, 179.98};
  TrafficFilterContext taveuni = context();
  taveuni.queryCentre = kTaveuni;
  taveuni.cosQueryLat = std::cos(kTaveuni.lat * geo::kDegToRad);
  TrafficFields fields = flight();
  fields.lat = kTaveuni.lat;
  fields.lon = -179.92;  // 5.7 NM east, over the line
  EXPECT_TRUE(store.addTraffic(fields, taveuni).record);

  setParkAirport(kTaveuni);
  fields.altitude = 0.0;
  fields.lon = -179.97;  // 2.9 NM from the park airport
  EXPECT_TRUE(store.addTraffic(fields, taveuni).record) << "on the ground";
}

TEST_F(StoreTest, BadTimesPositionsAndHeadingsThrowWithTheirValue) {
  struct Case {
    const char* name;
    void (*change)(TrafficFields&);
    const char* message;
  };
  const Case cases[] = {
      {"zero time", [](TrafficFields& f) { f.timestamp = 0.0; }, "timestamp outside range: 0.000"},
      {"2^63", [](TrafficFields& f) { f.timestamp = 9223372036854775808.0; },
       "timestamp outside range: 9223372036854775808.000"},
      {"NaN time", [](TrafficFields& f) { f.timestamp = std::nan(""); }, "timestamp outside range: nan"},
      {"latitude", [](TrafficFields& f) { f.lat = 90.5; }, "invalid lalo: 90.500000,4.500000"},
      {"0/0", [](TrafficFields& f) { f.lat = 0.00005, f.lon = -0.0001; }, "invalid lalo: 0.000050,-0.000100"},
      {"heading", [](TrafficFields& f) { f.sourceType = "adsb_icao", f.trueheading = 360.5; }, "true heading: 360.50"},
  };
  for (const Case& c : cases) {
    TrafficFields fields = flight();
    c.change(fields);
    EXPECT_THAT([&] { add(fields); }, ThrowsMessage<std::runtime_error>(StrEq(c.message))) << c.name;
  }
}

TEST_F(StoreTest, PerFieldFiltersAtTheirBounds) {
  struct Case {
    const char* name;
    void (*change)(TrafficFields&);
    bool kept;
  };
  const Case cases[] = {
      {"hexid 10000", [](TrafficFields& f) { f.hexid = 10000; }, false},
      {"hexid 10001", [](TrafficFields& f) { f.hexid = 10001; }, true},
      {"glider", [](TrafficFields& f) { f.typeDesignator = "GLID"; }, false},
      {"balloon category", [](TrafficFields& f) { f.emitterCategory = "B2"; }, false},
      {"C172 A1", [](TrafficFields& f) { f.typeDesignator = "C172", f.emitterCategory = "A1"; }, true},
      {"no names", [](TrafficFields& f) { f.callsign = "null", f.registration = "PH"; }, false},
      {"registration only", [](TrafficFields& f) { f.callsign = ""; }, true},
      {"airborne standing still", [](TrafficFields& f) { f.gs = 0.0; }, false},
      {"airborne with unknown speed", [](TrafficFields& f) { f.gs = std::nan(""); }, false},
      {"hovering helicopter", [](TrafficFields& f) { f.typeDesignator = "EC35", f.gs = 0.0; }, true},
      {"origin empty", [](TrafficFields& f) { f.origin = ""; }, true},
      {"origin null", [](TrafficFields& f) { f.origin = "null"; }, true},
      {"destination invalid", [](TrafficFields& f) { f.destination = "L-X"; }, true},
  };
  for (const Case& c : cases) {
    TrafficFields fields = flight();
    c.change(fields);
    EXPECT_EQ(add(fields).record.has_value(), c.kept) << c.name;
  }
}

TEST_F(StoreTest, AKeptRecordCarriesItsNamesCodesAndNumbers) {
  TrafficFields fields = flight();
  fields.typeDesignator = "B73H";  // the dbase corrects it
  fields.origin = "ams";
  fields.destination = "null";
  fields.roll = 10.0;
  fields.vs = -700.0;
  fields.TAS = -1.0;
  fields.altitude = 3000.0;
  const TrafficRecord record = add(fields).record.value();
  EXPECT_EQ(record.callsign, "KLM1234");
  EXPECT_EQ(record.registration, "PH-BXA");
  EXPECT_EQ(gf_modelName(record.modelId), "B738");
  EXPECT_EQ(gf_airlineName(record.airlineId), "KLM");
  EXPECT_EQ(record.origin.text(), "AMS");
  EXPECT_TRUE(record.destination.empty());
  EXPECT_NEAR(*record.rollRad, -10.0 * geo::kDegToRad, 1e-12);
  EXPECT_EQ(record.vs, -700.0);
  EXPECT_EQ(record.TAS, 220.0);  // 3000 ft
  EXPECT_EQ(record.altitude, 3000.0);
  EXPECT_TRUE(record.airborne);
  EXPECT_FALSE(record.hasTrueHeading);  // not an "adsb_icao" source
  EXPECT_EQ(record.mailboxTime, 0);

  fields.roll = 95.0;
  fields.airlineCode = "TRA";  // the operator wins over the callsign
  fields.vs = std::nan("");
  const TrafficRecord other = add(fields).record.value();
  EXPECT_FALSE(other.rollRad);
  EXPECT_EQ(gf_airlineName(other.airlineId), "TRA");
  EXPECT_EQ(other.vs, 0.0);

  fields.airlineCode = "null";  // absent: the callsign names the airline
  EXPECT_EQ(gf_airlineName(add(fields).record.value().airlineId), "KLM");
}

// RealTraffic's own app writes an authentication number where our layout has the operator:
// only a three-letter designator names the airline, everything else leaves it to the callsign.
TEST_F(StoreTest, OnlyADesignatorInTheAirlineFieldNamesTheAirline) {
  const struct {
    const char* code;
    const char* airline;
  } cases[] = {{"TRA", "TRA"}, {"0", "KLM"},    {"1234567", "KLM"}, {"", "KLM"},   {"null", "KLM"},
               {"tra", "KLM"}, {"TR", "KLM"},   {"TRAX", "KLM"},    {"T1A", "KLM"}, {"123", "KLM"}};
  for (const auto& c : cases) {
    TrafficFields fields = flight();
    fields.airlineCode = c.code;
    const auto record = add(fields).record;
    ASSERT_TRUE(record) << c.code;
    EXPECT_EQ(gf_airlineName(record->airlineId), c.airline) << c.code;
  }
}

TEST_F(StoreTest, TrueHeadingZeroIsNorthAndGivesTheTrack) {
  TrafficFields fields = flight();
  fields.sourceType = "adsb_icao";
  fields.trueheading = 0.0;
  fields.track = 0.0;
  const TrafficRecord north = add(fields).record.value();
  EXPECT_EQ(*north.trueHeadingRad, 2.0 * geo::kPi);
  EXPECT_NEAR(north.track, 360.0, 1e-9);
  fields.trueheading = 90.0;
  fields.track = 85.0;
  const TrafficRecord east = add(fields).record.value();
  EXPECT_NEAR(*east.trueHeadingRad, geo::kPi / 2.0, 1e-12);
  EXPECT_EQ(east.track, 85.0);
  fields.trueheading = -5.0;
  EXPECT_FALSE(add(fields).record.value().hasTrueHeading);
}

TEST_F(StoreTest, TrueHeadingOnlyFromAnAdsbIcaoSourceWithOrWithoutItsOneLetterPrefix) {
  const std::pair<const char*, bool> cases[] = {
      {"adsb_icao", true},     {"F_adsb_icao", true},  {"X_adsb_icao", true}, {"FX_adsb_icao", false},
      {"_adsb_icao", false},   {"1_adsb_icao", false}, {"F-adsb_icao", false}, {"adsb_icao_nt", false},
      {"ADSB_ICAO", false},    {"mlat", false},        {"", false},
  };
  TrafficFields fields = flight();
  fields.trueheading = 90.0;
  for (const auto& [source, heading] : cases) {
    fields.sourceType = source;
    EXPECT_EQ(add(fields).record.value().hasTrueHeading, heading) << source;
  }
}

TEST_F(StoreTest, A777OfACargoOperatorBecomesAFreighter) {
  TrafficFields fields = flight();
  fields.typeDesignator = "B777";
  fields.callsign = "FDX12";
  const TrafficRecord cargo = add(fields).record.value();
  EXPECT_EQ(gf_modelName(cargo.modelId), "B77F");
  EXPECT_EQ(cargo.cargo777, 1);
  fields.callsign = "KLM12";
  const TrafficRecord passenger = add(fields).record.value();
  EXPECT_EQ(gf_modelName(passenger.modelId), "B777");
  EXPECT_EQ(passenger.cargo777, 0);
}

TEST_F(StoreTest, HighTrafficFollowsTheUserAircraftsAltimeter) {
  gf_publishUserAcPosition(
      {.latitude = kCentre.lat, .longitude = kCentre.lon, .altitude = 35200.0, .indicatedAltitude = 35000.0});
  TrafficFields fields = flight();
  fields.altitude = 30000.0;
  EXPECT_NEAR(add(fields).record.value().altitude, 30000.0 + 7.5 + 200.0, 1e-9);
}

TEST_F(StoreTest, GroundTrafficStaysOnlyWithinFiveMilesOfTheParkAirport) {
  const Lalo airport{1.0, 4.5};  // where 5/60 degrees of latitude come out as 5.0 NM in doubles
  TrafficFilterContext ctx = context();
  ctx.queryCentre = airport;
  ctx.cosQueryLat = std::cos(airport.lat * geo::kDegToRad);
  TrafficFields fields = flight();
  fields.altitude = 0.0;
  fields.gs = 5.0;
  fields.lat = airport.lat + 5.0 / 60.0;
  EXPECT_FALSE(store.addTraffic(fields, ctx).record) << "no park airport";
  setParkAirport(airport);
  EXPECT_TRUE(store.addTraffic(fields, ctx).record) << "5.0 NM";
  fields.lat = airport.lat + 5.1 / 60.0;
  EXPECT_FALSE(store.addTraffic(fields, ctx).record) << "5.1 NM";
  fields.lat = airport.lat;
  fields.lon = airport.lon + 5.0 / 60.0;  // east, shortened by the cosine
  EXPECT_TRUE(store.addTraffic(fields, ctx).record) << "5 minutes of longitude";
  setParkAirport(Lalo{0.0, 0.0});
  fields.lat = 0.01;
  fields.lon = 0.0;
  ctx.queryCentre = {0.0, 0.0};
  EXPECT_FALSE(store.addTraffic(fields, ctx).record) << "a park airport at 0/0 is none";
}

TEST_F(StoreTest, ALowSlowAircraftNearTheParkAirportSnapsToTheGround) {
  setParkAirport(kCentre);
  TrafficFilterContext ctx = context();
  ctx.parkAirportElevationFt = 100.0;
  TrafficFields fields = flight();
  fields.gs = 100.0;  // limit 57.5 ft
  fields.altitude = 150.0;
  const TrafficRecord snapped = store.addTraffic(fields, ctx).record.value();
  EXPECT_EQ(snapped.altitude, 0.0);
  EXPECT_TRUE(snapped.airborne);  // by the feed's altitude, so no ground-distance test
  fields.altitude = 160.0;
  EXPECT_EQ(store.addTraffic(fields, ctx).record.value().altitude, 160.0);
}

TEST_F(StoreTest, IdentitiesComeBeforeOrAfterTheNameChecks) {
  TrafficFields nameless = flight();
  nameless.callsign = "";
  nameless.registration = "";
  TrafficFilterContext ctx = context();
  ctx.collectIdentity = true;
  ctx.identityBeforeNameChecks = true;
  TrafficAddResult app = store.addTraffic(nameless, ctx);
  EXPECT_FALSE(app.record);
  EXPECT_EQ(app.identity, (LiveIdentity{"", 0x4840D6}));

  ctx.identityBeforeNameChecks = false;
  EXPECT_FALSE(store.addTraffic(nameless, ctx).identity);
  TrafficFields ground = flight();
  ground.altitude = 0.0;
  ground.codeText = "0000";
  ctx.dropZeroCodeOnGround = true;
  setParkAirport(kCentre);
  EXPECT_FALSE(store.addTraffic(ground, ctx).record);
  ground.codeText = "7000";
  EXPECT_EQ(store.addTraffic(ground, ctx).identity, (LiveIdentity{"KLM1234", 0x4840D6}));
}

class BlockFilterTest : public StoreTest {
 protected:
  void block(SnapshotAcIdentity identity) {
    gf_changeParameterSnapshot([&](ParameterSnapshot& s) { s.blocked = identity; });
  }
  SnapshotAcIdentity blocked() { return g_parameterSnapshot.load()->blocked; }
};

TEST_F(BlockFilterTest, TheBlockedAircraftIsDroppedAndItsIdentityCompleted) {
  block({"KLM1234,,0,x", "KLM1234", "", 0, false});
  TrafficFields fields = flight();
  EXPECT_FALSE(add(fields).record);
  EXPECT_EQ(blocked().hexid, 0x4840D6u);
  EXPECT_EQ(blocked().regcode, "PH-BXA");

  // Now known by its registration: a new callsign and hexid do not hide it.
  fields.callsign = "KLM99";
  fields.hexid = 0x123456;
  EXPECT_FALSE(add(fields).record);
  EXPECT_EQ(blocked().hexid, 0x123456u);
  EXPECT_EQ(blocked().callsign, "KLM1234");
}

TEST_F(BlockFilterTest, EmptyBlockedFieldsMatchNothing) {
  block({"KLM1234,,0,x", "KLM1234", "", 0, false});
  TrafficFields fields = flight();
  fields.callsign = "TRA456";
  fields.registration = "";  // no registration on either side
  EXPECT_TRUE(add(fields).record);
  block({"x,,0,x", "", "PH-BXA", 0, false});
  fields.callsign = "";
  fields.registration = "PH-BXB";
  EXPECT_TRUE(add(fields).record);
  EXPECT_EQ(blocked().regcode, "PH-BXA");
  EXPECT_EQ(blocked().hexid, 0u);
}

TEST_F(BlockFilterTest, ANullRegistrationIsLearnedByHexidAndATrailingUnderscoreByStem) {
  block({"KLM12_,null,4840D6,x", "KLM12_", "null", 0x4840D6, true});
  TrafficFields fields = flight();
  EXPECT_FALSE(add(fields).record);
  EXPECT_EQ(blocked().regcode, "PH-BXA");

  block({"KLM12_,,0,x", "KLM12_", "", 0, true});
  fields.callsign = "KLM12";
  fields.hexid = 0x777777;
  EXPECT_FALSE(add(fields).record);
  EXPECT_EQ(blocked().callsign, "KLM12");
  EXPECT_EQ(blocked().hexid, 0x777777u);
  EXPECT_FALSE(blocked().callsignEndsInUnderscore);
}

TEST_F(BlockFilterTest, ABlockChangedMeanwhileIsNotOverwritten) {
  SnapshotAcIdentity stale{"KLM1234,,0,x", "KLM1234", "", 0, false};
  block({"TRA1,,0,x", "TRA1", "", 0, false});  // the user blocked another aircraft since
  TrafficRecord record;
  record.callsign = "KLM1234";
  record.hexid = 0x4840D6;
  EXPECT_FALSE(gf_passesBlockFilter(record, stale));
  EXPECT_EQ(blocked().callsign, "TRA1");
  EXPECT_EQ(blocked().hexid, 0u);
}

using ParkedStoreTest = StoreTest;

TEST_F(ParkedStoreTest, ParkedAircraftAndTheirRefusals) {
  struct Case {
    const char* name;
    void (*change)(ParkedFields&);
    bool kept;
  };
  const Case cases[] = {
      {"as sent", [](ParkedFields&) {}, true},
      {"hexid 10000", [](ParkedFields& f) { f.hexid = 10000; }, false},
      {"no time", [](ParkedFields& f) { f.timestamp = 0; }, false},
      {"no type", [](ParkedFields& f) { f.typeDesignator = ""; }, false},
      {"unknown type", [](ParkedFields& f) { f.typeDesignator = "XX99"; }, false},
      {"no stand", [](ParkedFields& f) { f.standName = ""; }, false},
      {"light aircraft switched off", [](ParkedFields& f) { f.typeDesignator = "C172"; }, false},
      {"on the user's stand", [](ParkedFields& f) { f.standName = "D7"; }, false},
      {"unknown type but known registration", [](ParkedFields& f) { f.typeDesignator = "XX99", f.registration = "PHBXA"; },
       true},
  };
  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.lightAircraft = false; });
  feed_test::g_testUserStand = "D7";
  for (const Case& c : cases) {
    ParkedFields fields = parked();
    c.change(fields);
    EXPECT_EQ(store.addParked(fields).has_value(), c.kept) << c.name;
  }
  ParkedFields bad = parked();
  bad.lat = -91.0;
  EXPECT_THAT([&] { store.addParked(bad); }, ThrowsMessage<std::runtime_error>(StrEq("lalo: -91.000000,4.500000")));
}

TEST_F(ParkedStoreTest, TheDbaseNamesARegisteredAircraft) {
  ParkedFields fields = parked();
  fields.registration = "PHBXA";  // found with the dash put in
  fields.callsign = "";
  const ParkedRecord record = store.addParked(fields).value();
  EXPECT_EQ(record.callsign, "PHBXA");
  EXPECT_EQ(gf_airlineName(record.airlineId), "KLM");
  EXPECT_EQ(gf_modelName(record.modelId), "B738");
  EXPECT_EQ(record.marker, 1);
  EXPECT_EQ(record.halfHourSlot, 21);  // 10:29:30

  // A callsign that is a registration: the operator's name wins when it has one.
  fields = parked();
  fields.registration = "";
  fields.callsign = "PH-EXA";
  const ParkedRecord regional = store.addParked(fields).value();
  EXPECT_EQ(regional.registration, "PH-EXA");
  EXPECT_EQ(gf_airlineName(regional.airlineId), "KLC");
  EXPECT_EQ(gf_airlineName(regional.secondAirlineId), "KLC");
}

TEST_F(ParkedStoreTest, WithoutAUserStandTheStandUnderTheUserCounts) {
  feed_test::g_testStandAtUser = "E3";
  ParkedFields fields = parked();
  fields.standName = "E3";
  EXPECT_TRUE(store.addParked(fields)) << "user position unknown";
  feed_test::g_testUserState = {.latitude = kCentre.lat, .longitude = kCentre.lon};
  EXPECT_FALSE(store.addParked(fields));
  fields.standName = "E4";
  EXPECT_TRUE(store.addParked(fields));
}

}  // namespace
