// The park airport's runways: read through the stand-in simulator's facility data, checked,
// the ignored ones dropped; and the checks of one runway on hand-made records.
#include "traffic/runway_validation.h"

#include <set>

#include "refdata/airports.h"
#include "tests/simlink/facility_fixture.h"
#include "traffic/runway_matching.h"

namespace {

using facilitytest::json;
namespace sim = standin::sim;

class RunwayValidation : public facilitytest::FacilityTest {
 protected:
  void SetUp() override {
    FacilityTest::SetUp();
    gf_resetParkRunways();
    sim::setFacilityFolder(std::filesystem::path(JORV_SOURCE_DIR) / "tests/traffic/fixtures");
    setParkAirport("CYUL", {45.4706, -73.7408}, 118);
  }
  void TearDown() override {
    gf_resetParkRunways();
    gf_resetAirportsForTest();
    FacilityTest::TearDown();
  }

  static void setParkAirport(const char* icao, Lalo position, std::int32_t altitude) {
    Airport park;
    park.code = IcaoCode(icao);
    park.position = position;
    park.altitude = altitude;
    gf_setAirportsNeighbours(nullptr, [park] { return park; });
  }

  // The check and the ticks that take its answer; the number of ticks.
  static int check(const char* icao, std::string_view publisher) {
    gf_checkRunwayFacilities(IcaoCode(icao), publisher);
    int ticks = 0;
    while (gf_pollRunwayFacilities() && ticks < 1000) ++ticks;
    return ticks;
  }

  std::string runwayNames() const {
    std::string names;
    for (const Runway& r : g_parkRunways) names += gf_runwayPairName(r) + " ";
    return names;
  }
};

// One runway 2500 m by 45 m at 47/8, 120 m up, with its two starts, in the stand-in's facility data.
json oneRunwayAirport(const std::string& icao, int primary, int pd, int secondary, int sd) {
  const json runway{{"LATITUDE", 47.0},          {"LONGITUDE", 8.0},         {"ALTITUDE", 120.0},
                    {"HEADING", 90.0},           {"LENGTH", 2500.0},         {"WIDTH", 45.0},
                    {"PRIMARY_NUMBER", primary}, {"PRIMARY_DESIGNATOR", pd}, {"SECONDARY_NUMBER", secondary},
                    {"SECONDARY_DESIGNATOR", sd}};
  const auto start = [](int number, int designator) {
    return json{{"LATITUDE", 47.0}, {"LONGITUDE", 8.0},         {"ALTITUDE", 120.0},
                {"NUMBER", number}, {"DESIGNATOR", designator}, {"TYPE", 1}};
  };
  return json{{"ICAO", icao},      {"LATITUDE", 47.0},   {"LONGITUDE", 8.0},
              {"ALTITUDE", 120.0}, {"RUNWAY", {runway}}, {"START", {start(primary, pd), start(secondary, sd)}}};
}

TEST_F(RunwayValidation, ReadOncePerAirportAndPublisherAndTheIgnoredRunway) {
  check("CYUL", "stock");
  check("CYUL", "stock");
  EXPECT_EQ(sim::facilityRequestCount(), 1u);
  EXPECT_EQ(runwayNames(), "06L-24R 06R-24L ");
  std::string text = log();
  EXPECT_EQ(facilitytest::countOf(text,
                                  "RUNWAY_HEADING: CYUL stock runway 28-10 ignored: "
                                  "permanently converted to Taxiway C\n"),
            1u);
  EXPECT_NE(text.find("RUNWAY_HEADING: CYUL 2 runways: 06L-24R, 06R-24L\n"), std::string::npos);
  EXPECT_EQ(text.find("==> RUNWAY_HEADING"), std::string::npos);  // a sound airport raises no doubt

  check("CYUL", "Some Developer");
  EXPECT_EQ(sim::facilityRequestCount(), 2u);
  EXPECT_EQ(runwayNames(), "06L-24R 06R-24L 28-10 ");
  EXPECT_NE(log().find("RUNWAY_HEADING: CYUL 3 runways: 06L-24R, 06R-24L, 28-10\n"), std::string::npos);

  gf_resetParkRunways();  // the park-airport reset: read again
  check("CYUL", "Some Developer");
  EXPECT_EQ(sim::facilityRequestCount(), 3u);

  // An airport the simulator does not know: no runways, no summary, and read again next time.
  check("ZZZZ", "stock");
  check("ZZZZ", "stock");
  EXPECT_EQ(sim::facilityRequestCount(), 5u);
  EXPECT_TRUE(g_parkRunways.empty());
  EXPECT_EQ(facilitytest::countOf(log(), "==> RUNWAY_HEADING: reading runway facilities for ZZZZ failed\n"), 2u);
  EXPECT_EQ(log().find("RUNWAY_HEADING: ZZZZ 0"), std::string::npos);
}

TEST_F(RunwayValidation, SummaryLinesAndKeptDoubts) {
  setParkAirport("LSZH", {47.0, 8.0}, 394);
  sim::addFacilityAirport(oneRunwayAirport("LSZH", 9, 0, 27, 0).dump());
  check("LSZH", "stock");
  EXPECT_NE(log().find("RUNWAY_HEADING: LSZH 1 runway: 09-27\n"), std::string::npos);

  // The table's runway given the other way round, and nothing else: all gone.
  sim::addFacilityAirport(oneRunwayAirport("CYYC", 26, 0, 8, 0).dump());
  check("CYYC", "stock");
  EXPECT_TRUE(g_parkRunways.empty());
  EXPECT_NE(log().find("RUNWAY_HEADING: CYYC stock runway 26-08 ignored: permanently converted to Taxiway L\n"
                       "RUNWAY_HEADING: CYYC 0 runways: \n"),
            std::string::npos);

  // Designators that do not pair pass the reader; the check reports them and keeps the runway.
  // The airport lies 300 ft off the park airport's altitude.
  setParkAirport("LSGG", {47.0, 8.0}, 94);
  sim::addFacilityAirport(oneRunwayAirport("LSGG", 9, 1, 27, 1).dump());
  check("LSGG", "stock");
  EXPECT_EQ(runwayNames(), "09L-27L ");
  const std::string text = log();
  for (const char* line : {
           "==> RUNWAY_HEADING: LSGG airport altitude difference too large: Facilities=393.7 ft, airport file=94.0 "
           "ft, difference=+299.7 ft\n",
           "==> RUNWAY_HEADING: LSGG runway 09L-27L: runway designators are not reciprocal\n",
           "RUNWAY_HEADING: LSGG 1 runway: 09L-27L\n",
       })
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

// The check only asks: the list stays empty, the simulator is not polled, and the ticks take the
// answer with the same lines as ever. A second check while it is on the way asks nothing more; a
// reset drops it, quietly, and the next check asks again.
TEST_F(RunwayValidation, TheCheckAsksAndLaterTicksFillTheRunways) {
  const std::uint64_t dispatchesBefore = dispatches();
  gf_checkRunwayFacilities(IcaoCode("CYUL"), "stock");
  gf_checkRunwayFacilities(IcaoCode("CYUL"), "stock");
  EXPECT_EQ(sim::facilityRequestCount(), 1u);
  EXPECT_EQ(dispatches(), dispatchesBefore) << "the set-up returned before the answer";
  EXPECT_TRUE(g_parkRunways.empty());
  EXPECT_TRUE(gf_runwayCheckPending());
  EXPECT_EQ(log().find("RUNWAY_HEADING"), std::string::npos);
  EXPECT_FALSE(gf_pollRunwayFacilities()) << "the stand-in's answer is in at the first tick";
  EXPECT_EQ(runwayNames(), "06L-24R 06R-24L ");
  EXPECT_NE(log().find("RUNWAY_HEADING: CYUL 2 runways: 06L-24R, 06R-24L\n"), std::string::npos);
  EXPECT_EQ(check("CYUL", "stock"), 0) << "current: nothing asked";
  EXPECT_EQ(sim::facilityRequestCount(), 1u);

  gf_checkRunwayFacilities(IcaoCode("CYUL"), "Some Developer");
  EXPECT_TRUE(g_parkRunways.empty()) << "another publisher's runways are not in yet";
  gf_resetParkRunways();
  EXPECT_FALSE(gf_runwayCheckPending());
  EXPECT_FALSE(gf_pollRunwayFacilities());
  EXPECT_TRUE(g_parkRunways.empty());
  EXPECT_EQ(log().find("CYUL 3 runways"), std::string::npos);
  EXPECT_EQ(log().find("==> RUNWAY_HEADING"), std::string::npos) << "a dropped read is no failure";
  EXPECT_EQ(check("CYUL", "Some Developer"), 0);
  EXPECT_EQ(sim::facilityRequestCount(), 3u);
  EXPECT_EQ(runwayNames(), "06L-24R 06R-24L 28-10 ");
}

// A sound 3000 m runway 09-27 at 47/8 whose ends lie `halfDistance` metres from its centre.
Runway soundRunway(double halfDistance = 1500.0) {
  Runway r;
  r.centre = {47.0, 8.0};
  r.heading = 90.0, r.length = 3000.0, r.width = 45.0, r.altitude = 1000.0;
  r.primaryNumber = 9, r.secondaryNumber = 27;
  r.primaryEnd = gf_destinationPoint(r.centre, {270.0 * geo::kDegToRad, halfDistance * 3.2808399});
  r.secondaryEnd = gf_destinationPoint(r.centre, {90.0 * geo::kDegToRad, halfDistance * 3.2808399});
  r.primaryStart.altitude = r.secondaryStart.altitude = 1000.0;
  r.hasPrimaryStart = r.hasSecondaryStart = true;
  return r;
}

TEST(RunwayChecks, OneRunway) {
  const auto numbered = [](std::uint32_t p, std::uint32_t pd, std::uint32_t s, std::uint32_t sd) {
    Runway r = soundRunway();
    r.primaryNumber = p, r.primaryDesignator = pd, r.secondaryNumber = s, r.secondaryDesignator = sd;
    return r;
  };
  Runway atZero = soundRunway(), startsUp = soundRunway();
  atZero.centre = {0.0, 0.0};
  startsUp.primaryStart.altitude = startsUp.secondaryStart.altitude = 1060.0;
  const std::string startDoubt =
      " START altitude 1060.0 ft differs from runway center 1000.0 ft; using runway center altitude";
  struct Case {
    const char* what;
    Runway runway;
    std::vector<std::string> problems;
    Lalo reference = {47.01, 8.0};
  };
  const Case cases[] = {
      {"09-27", soundRunway(), {}},
      {"09-28", numbered(9, 0, 28, 0), {"runway numbers are not reciprocal"}},
      {"09L-27L", numbered(9, 1, 27, 1), {"runway designators are not reciprocal"}},
      {"09A-27L", numbered(9, 5, 27, 1), {}},
      {"centre 0/0", atZero, {"invalid center or endpoint coordinates"}},
      {"ends 3002.9 m apart", soundRunway(1501.45), {}},
      {"ends 3003.1 m apart", soundRunway(1501.55), {"endpoint distance differs from facility length"}},
      {"starts both 60 ft up", startsUp, {"primary" + startDoubt, "secondary" + startDoubt}},
      {"11 NM away",
       soundRunway(),
       {"center is more than 10 NM from airport reference point"},
       {47.0 + 11.0 / 60, 8.0}},
      {"airport at 0/0", soundRunway(), {}, {0.0, 0.0}},
  };
  for (const Case& c : cases) {
    std::set<std::string> names;
    EXPECT_EQ(gf_runwayProblems(c.runway, names, c.reference), c.problems) << c.what;
  }
  std::set<std::string> names{"09-27"};
  EXPECT_EQ(gf_runwayProblems(soundRunway(), names, {47.0, 8.0}),
            std::vector<std::string>{"duplicate runway designation"});
}

}  // namespace
