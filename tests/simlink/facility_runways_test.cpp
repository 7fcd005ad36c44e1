// Runways read from the stand-in simulator's facility data, joined with their starts and checked.
#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>

#include "tests/simlink/facility_fixture.h"

namespace facilitytest {
namespace {

struct RunwaySpec {
  int primary;
  int primaryDesignator;
  int secondary;
  int secondaryDesignator;
  double heading = 90.0;
  double length = 2500.0;
  double width = 45.0;
  bool primaryStart = true;
  bool secondaryStart = true;
};

json runwayStart(int number, int designator, double lat, double altitude = 110.0, int type = 1) {
  return json{{"LATITUDE", lat},  {"LONGITUDE", 8.0},         {"ALTITUDE", altitude}, {"HEADING", 90.0},
              {"NUMBER", number}, {"DESIGNATOR", designator}, {"TYPE", type}};
}

// An airport whose runways all lie at one centre; each gets its two starts unless left out.
json runwayAirport(const std::string& icao, const std::vector<RunwaySpec>& specs) {
  json a{{"ICAO", icao}, {"LATITUDE", 47.0}, {"LONGITUDE", 8.0}, {"ALTITUDE", 100.0}};
  a["RUNWAY"] = json::array();
  a["START"] = json::array();
  for (const RunwaySpec& r : specs) {
    a["RUNWAY"].push_back({{"LATITUDE", 47.0},
                           {"LONGITUDE", 8.0},
                           {"ALTITUDE", 120.0},
                           {"HEADING", r.heading},
                           {"LENGTH", r.length},
                           {"WIDTH", r.width},
                           {"PRIMARY_NUMBER", r.primary},
                           {"PRIMARY_DESIGNATOR", r.primaryDesignator},
                           {"SECONDARY_NUMBER", r.secondary},
                           {"SECONDARY_DESIGNATOR", r.secondaryDesignator},
                           {"PRIMARY_THRESHOLD", {{"LENGTH", 150.0}, {"WIDTH", r.width}, {"ENABLE", 1}}},
                           {"SECONDARY_THRESHOLD", {{"LENGTH", 0.0}, {"WIDTH", r.width}, {"ENABLE", 0}}}});
    if (r.primaryStart) a["START"].push_back(runwayStart(r.primary, r.primaryDesignator, 47.001));
    if (r.secondaryStart) a["START"].push_back(runwayStart(r.secondary, r.secondaryDesignator, 47.002));
  }
  return a;
}

TEST_F(FacilityTest, RunwayChecks) {
  struct Case {
    const char* what;
    std::vector<RunwaySpec> runways;
    const char* failure;  // the runway the warning names, or nullptr when the set passes
  };
  const Case cases[] = {
      {"09/27", {{9, 0, 27, 0}}, nullptr},
      {"09/28", {{9, 0, 28, 0}}, "09-28"},
      {"18/36", {{18, 0, 36, 0}}, nullptr},
      {"36/18", {{36, 0, 18, 0}}, nullptr},
      {"N/S", {{37, 0, 41, 0}}, nullptr},
      {"NW/SE", {{44, 0, 40, 0}}, nullptr},
      {"N/E", {{37, 0, 39, 0}}, "N-E"},
      {"09/N", {{9, 0, 37, 0}}, "09-N"},
      {"0/18", {{0, 0, 18, 0}}, "#0-18"},
      {"designator 7", {{9, 7, 27, 2}}, "09(7)-27R"},
      {"duplicate 09L/27R", {{9, 1, 27, 2}, {9, 1, 27, 2}}, "09L-27R"},
      {"duplicate secondary", {{9, 1, 27, 2}, {9, 3, 27, 2}}, "09C-27R"},
      {"no secondary start", {{9, 0, 27, 0, 90.0, 2500.0, 45.0, true, false}}, "09-27"},
      {"no primary start", {{9, 0, 27, 0, 90.0, 2500.0, 45.0, false, true}}, "09-27"},
      {"width 500.0", {{9, 0, 27, 0, 90.0, 2500.0, 500.0}}, nullptr},
      {"width 500.1", {{9, 0, 27, 0, 90.0, 2500.0, 500.1}}, "09-27"},
      {"width 0", {{9, 0, 27, 0, 90.0, 2500.0, 0.0}}, "09-27"},
      {"length 0", {{9, 0, 27, 0, 90.0, 0.0}}, "09-27"},
      {"length 10000", {{9, 0, 27, 0, 90.0, 10000.0}}, nullptr},
      {"length 10001", {{9, 0, 27, 0, 90.0, 10001.0}}, "09-27"},
      {"heading 360", {{9, 0, 27, 0, 360.0}}, "09-27"},
      {"heading 0", {{9, 0, 27, 0, 0.0}}, nullptr},
      {"heading -1", {{9, 0, 27, 0, -1.0}}, "09-27"},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string icao = fmt::format("T{:03}", n++);
    sim::addFacilityAirport(runwayAirport(icao, c.runways).dump());
    const FacilityRunways result = readRunways(icao);
    const std::string warning =
        c.failure
            ? fmt::format("==> RUNWAY_HEADING: {} invalid or duplicate runway {}; correction disabled", icao, c.failure)
            : std::string("RUNWAY_HEADING: ") + icao;
    EXPECT_EQ(result.valid, c.failure == nullptr) << c.what;
    if (c.failure) {
      EXPECT_NE(log().find(warning), std::string::npos) << c.what;
      EXPECT_TRUE(result.runways.empty()) << c.what;
    } else {
      EXPECT_EQ(log().find(warning), std::string::npos) << c.what;
      EXPECT_EQ(result.runways.size(), c.runways.size()) << c.what;
    }
  }
}

TEST_F(FacilityTest, ARunwayCarriesItsEndsStartsAndThresholds) {
  json a = runwayAirport("LSZH", {{10, 1, 28, 2, 96.0, 2500.0, 60.0}, {14, 0, 32, 0, 137.0, 3300.0, 60.0}});
  // A second start for 10L replaces the first; a start of another type, or for no runway, is ignored.
  a["START"].push_back(runwayStart(10, 1, 47.005, 130.0));
  a["START"].push_back(runwayStart(28, 2, 47.009, 999.0, 2));
  a["START"].push_back(runwayStart(16, 0, 47.009, 999.0));
  sim::addFacilityAirport(a.dump());
  const FacilityRunways result = readRunways("LSZH");
  ASSERT_TRUE(result.valid);
  EXPECT_NEAR(result.altitude, 328.08399, 1e-6);
  ASSERT_EQ(result.runways.size(), 2u);
  const Runway& r = result.runways[0];
  EXPECT_EQ(r.primaryNumber, 10u);
  EXPECT_EQ(r.secondaryDesignator, 2u);
  EXPECT_NEAR(r.altitude, 120.0 * 3.2808399, 1e-9);
  EXPECT_DOUBLE_EQ(r.heading, 96.0);
  EXPECT_NEAR(gf_distanceNm(r.primaryEnd, r.centre) * 1852.0, 1250.0, 0.5);
  EXPECT_NEAR(gf_bearingRad(r.centre, r.primaryEnd) * geo::kRadToDeg, 276.0, 0.1);
  EXPECT_NEAR(gf_bearingRad(r.centre, r.secondaryEnd) * geo::kRadToDeg, 96.0, 0.1);
  EXPECT_TRUE(r.hasPrimaryStart);
  EXPECT_NEAR(r.primaryStart.position.lat, 47.005, 1e-12);
  EXPECT_NEAR(r.primaryStart.altitude, 130.0 * 3.2808399, 1e-9);
  EXPECT_EQ(r.primaryStartType, 1u);
  EXPECT_TRUE(r.hasSecondaryStart);
  EXPECT_NEAR(r.secondaryStart.altitude, 110.0 * 3.2808399, 1e-9);
  EXPECT_DOUBLE_EQ(r.primaryThreshold.length, 150.0);
  EXPECT_TRUE(r.primaryThreshold.enabled);
  EXPECT_DOUBLE_EQ(r.secondaryThreshold.length, 0.0);
  EXPECT_FALSE(r.secondaryThreshold.enabled);
  EXPECT_DOUBLE_EQ(r.secondaryThreshold.width, 60.0);
}

// The demo's airports take landings: a threshold is not enabled, or enabled with a displaced
// length that the landing match accepts (above 0, at most 40 percent of the runway).
TEST_F(FacilityTest, TheDemoAirportsAreReadAndEveryRunwayEndTakesLandings) {
  int airports = 0;
  for (const auto& entry : std::filesystem::directory_iterator(testing_support::sourceDataFolder() / "sim" / "facilities")) {
    if (entry.path().extension() != ".json") continue;
    ++airports;
    const std::string icao = entry.path().stem().string();
    sim::loadFacilityFile(entry.path());
    const FacilityRunways result = readRunways(icao);
    ASSERT_TRUE(result.valid) << icao;
    ASSERT_FALSE(result.runways.empty()) << icao;
    for (const Runway& r : result.runways) {
      for (const RunwayThreshold* t : {&r.primaryThreshold, &r.secondaryThreshold}) {
        const std::string end = fmt::format("{} {}/{} {}", icao, r.primaryNumber, r.secondaryNumber,
                                            t == &r.primaryThreshold ? "primary" : "secondary");
        if (t->enabled) {
          EXPECT_GT(t->length, 0.0) << end;
          EXPECT_LE(t->length, 0.4 * r.length) << end;
        }
      }
    }
  }
  EXPECT_GE(airports, 3);
}

TEST_F(FacilityTest, AdvertisedCountsMustMatch) {
  json a = runwayAirport("EDDF", {{7, 1, 25, 2}});
  a["N_RUNWAYS"] = 2;
  sim::addFacilityAirport(a.dump());
  EXPECT_FALSE(readRunways("EDDF").valid);
  EXPECT_NE(
      log().find("==> RUNWAY_HEADING: EDDF incomplete runway data: advertised 2, returned 1; correction disabled"),
      std::string::npos);

  json b = runwayAirport("EDDM", {{8, 1, 26, 2}});
  b["N_STARTS"] = 3;
  sim::addFacilityAirport(b.dump());
  EXPECT_FALSE(readRunways("EDDM").valid);
  EXPECT_NE(log().find("==> RUNWAY_HEADING: EDDM incomplete START data: advertised 3, returned 2; correction disabled"),
            std::string::npos);

  sim::addFacilityAirport(runwayAirport("EDDB", {}).dump());
  EXPECT_FALSE(readRunways("EDDB").valid);
  EXPECT_NE(log().find("advertised 0, returned 0"), std::string::npos);
}

TEST_F(FacilityTest, ARunwayAnswerWithoutEndTimesOutAfterTenSecondsAndCloses) {
  json a = runwayAirport("LSZH", {{10, 0, 28, 0}});
  a["faults"] = {{"noEnd", true}};
  sim::addFacilityAirport(a.dump());
  const std::uint64_t before = dispatches();
  EXPECT_FALSE(readRunways("LSZH").valid);
  EXPECT_NE(log().find("==> RUNWAY_HEADING: facility data request timed out for LSZH"), std::string::npos);
  EXPECT_EQ(dispatches() - before, 10u);
  EXPECT_FALSE(gf_isParkingDataReaderOpen());
}

// A failed read's replies that arrive late (its answer and an exception) must not reach the next
// read: the failure closes the connection, and they go with it.
TEST_F(FacilityTest, LateRepliesOfAFailedReadDoNotSpillIntoTheNext) {
  json slow = runwayAirport("LSGG", {{4, 0, 22, 0}});
  slow["faults"] = {{"late", true}, {"lateException", true}};
  sim::addFacilityAirport(slow.dump());
  sim::addFacilityAirport(runwayAirport("LSZH", {{10, 0, 28, 0}, {14, 0, 32, 0}}).dump());
  EXPECT_FALSE(readRunways("LSGG").valid);
  const FacilityRunways next = readRunways("LSZH");
  ASSERT_TRUE(next.valid);
  EXPECT_EQ(next.runways.size(), 2u);
  EXPECT_EQ(next.runways[0].primaryNumber, 10u);
  EXPECT_EQ(sim::callLog("Open").size(), 2u);
}

TEST_F(FacilityTest, EveryRunwayFailureClosesTheConnection) {
  sim::addFacilityAirport(runwayAirport("EGLL", {{9, 1, 28, 2}}).dump());
  EXPECT_FALSE(readRunways("EGLL").valid);
  EXPECT_FALSE(gf_isParkingDataReaderOpen());

  sim::failCall("RequestFacilityData");
  EXPECT_FALSE(readRunways("EGLL").valid);
  EXPECT_NE(log().find("==> RUNWAY_HEADING: RequestFacilityData for EGLL failed: 0x80004005"), std::string::npos);
  EXPECT_FALSE(gf_isParkingDataReaderOpen());

  sim::failCall("AddToFacilityDefinition", 32);  // the parking definition passes, the runway one fails
  EXPECT_FALSE(readRunways("EGLL").valid);
  EXPECT_NE(log().find("==> RUNWAY_HEADING: facility definition initialization failed"), std::string::npos);
  EXPECT_FALSE(gf_isParkingDataReaderOpen());

  EXPECT_FALSE(readRunways("NONE").valid);
  EXPECT_NE(log().find("==> RUNWAY_HEADING: SimConnect exception id=1 sendID="), std::string::npos);
  EXPECT_FALSE(gf_isParkingDataReaderOpen());
}

TEST_F(FacilityTest, AShortRunwayRecordFailsTheRead) {
  for (std::uint32_t type : {SIMCONNECT_FACILITY_DATA_AIRPORT, SIMCONNECT_FACILITY_DATA_RUNWAY,
                             SIMCONNECT_FACILITY_DATA_START, SIMCONNECT_FACILITY_DATA_RUNWAY_THRESHOLD}) {
    json a = runwayAirport("LSZH", {{10, 0, 28, 0}});
    a["faults"] = {{"truncateType", type}, {"truncateBytes", 1}};
    sim::addFacilityAirport(a.dump());
    EXPECT_FALSE(readRunways("LSZH").valid) << "type " << type;
  }
  EXPECT_EQ(countOf(log(), "RUNWAY_HEADING: facility data record of type"), 4u);
}

TEST_F(FacilityTest, StandsAndRunwaysShareOneConnectionAndEachDefinitionIsMadeOnce) {
  sim::addFacilityAirport(runwayAirport("LSZH", {{10, 0, 28, 0}}).dump());
  sim::addFacilityAirport(airport("LSGG").dump());
  BglAirport out;
  std::uint32_t helipads = 0;
  ASSERT_TRUE(gf_readFacilityStands("LSZH", "LSZH", "", out, helipads));
  ASSERT_TRUE(gf_readFacilityStands("LSGG", "LSGG", "", out, helipads));
  EXPECT_EQ(sim::callLog("AddToFacilityDefinition").size(), 30u);
  ASSERT_TRUE(readRunways("LSZH").valid);
  ASSERT_TRUE(readRunways("LSZH").valid);
  EXPECT_EQ(sim::callLog("Open").size(), 1u);
  EXPECT_EQ(sim::callLog("Open").front().detail, "PARKING_DATA_RDR");
  EXPECT_EQ(sim::callLog("AddToFacilityDefinition").size(), 30u + 36u);
  gf_closeParkingDataReader();
  EXPECT_EQ(sim::openConnectionCount(), 0u);
  const std::string text = log();
  EXPECT_NE(text.find("SimConnect closed ok"), std::string::npos);
  EXPECT_NE(text.find("SimConnect (PARKING_DATA_RDR) closed"), std::string::npos);
  ASSERT_TRUE(readRunways("LSZH").valid);
  EXPECT_EQ(sim::callLog("AddToFacilityDefinition").size(), 2 * (30u + 36u));
}

// The read never waits: the start only asks, and each poll dispatches once and returns. An answer
// that is already there completes at the first poll; one that never comes (or never ends) ends
// at the poll whose look passes the 10 seconds, with one warning, and the connection closed.
TEST_F(FacilityTest, TheRunwayReadIsStartedAndPolledWithoutWaiting) {
  struct Case {
    const char* what;
    json faults;
    std::uint64_t polls;  // until the read ends
    bool valid;
  };
  const Case cases[] = {
      {"answered", json::object(), 1, true},
      {"never answered", {{"late", true}}, 10, false},
      {"never ended", {{"noEnd", true}}, 10, false},
  };
  for (const Case& c : cases) {
    json a = runwayAirport("LSZH", {{10, 0, 28, 0}});
    a["faults"] = c.faults;
    sim::addFacilityAirport(a.dump());
    const std::string before = log();
    const std::uint64_t dispatchesBefore = dispatches();
    const std::uint64_t requests = sim::facilityRequestCount();
    ASSERT_TRUE(gf_startFacilityRunwaysRead("LSZH")) << c.what;
    EXPECT_EQ(sim::facilityRequestCount(), requests + 1) << c.what;
    EXPECT_EQ(dispatches(), dispatchesBefore) << c.what << ": the start only asks";
    std::optional<FacilityRunways> read;
    std::uint64_t polls = 0;
    while (!read && polls < 100) {
      EXPECT_TRUE(gf_facilityRunwaysReadPending()) << c.what;
      read = gf_pollFacilityRunwaysRead();
      ++polls;
      EXPECT_EQ(dispatches() - dispatchesBefore, polls) << c.what << ": one dispatch per poll";
    }
    ASSERT_TRUE(read) << c.what;
    EXPECT_EQ(polls, c.polls) << c.what;
    EXPECT_EQ(read->valid, c.valid) << c.what;
    EXPECT_EQ(read->runways.size(), c.valid ? 1u : 0u) << c.what;
    EXPECT_FALSE(gf_facilityRunwaysReadPending()) << c.what;
    EXPECT_EQ(gf_isParkingDataReaderOpen(), c.valid) << c.what;
    const std::string added = log().substr(before.size());
    EXPECT_EQ(countOf(added, "==> RUNWAY_HEADING: facility data request timed out for LSZH"), c.valid ? 0u : 1u)
        << c.what;
    // With nothing in flight, a poll ends at once with nothing, and asks the simulator nothing.
    const std::uint64_t after = dispatches();
    const std::optional<FacilityRunways> idle = gf_pollFacilityRunwaysRead();
    ASSERT_TRUE(idle) << c.what;
    EXPECT_FALSE(idle->valid) << c.what;
    EXPECT_EQ(dispatches(), after) << c.what;
  }
}

// A read in flight is dropped by a new start, a stand read on the shared connection, or a drop:
// its replies reach no later read, and the dropped read ends with nothing.
TEST_F(FacilityTest, ARunwayReadInFlightIsDroppedWithItsReplies) {
  json slow = runwayAirport("LSGG", {{4, 0, 22, 0}});
  slow["faults"] = {{"late", true}, {"lateException", true}};
  sim::addFacilityAirport(slow.dump());
  sim::addFacilityAirport(runwayAirport("LSZH", {{10, 0, 28, 0}, {14, 0, 32, 0}}).dump());
  sim::addFacilityAirport(airport("LFSB").dump());
  const std::function<void()> drops[] = {
      [] { ASSERT_TRUE(gf_startFacilityRunwaysRead("LSZH")); },
      [] {
        BglAirport out;
        std::uint32_t helipads = 0;
        ASSERT_TRUE(gf_readFacilityStands("LFSB", "LFSB", "", out, helipads));
      },
      [] { gf_dropFacilityRunwaysRead(); },
  };
  for (const auto& drop : drops) {
    ASSERT_TRUE(gf_startFacilityRunwaysRead("LSGG"));
    ASSERT_FALSE(gf_pollFacilityRunwaysRead()) << "still under way";
    drop();
    const FacilityRunways next = readRunways("LSZH");
    ASSERT_TRUE(next.valid) << log();
    EXPECT_EQ(next.runways.size(), 2u);
    EXPECT_EQ(next.runways[0].primaryNumber, 10u);
  }
  EXPECT_EQ(countOf(log(), "RUNWAY_HEADING: SimConnect exception"), 0u);
  EXPECT_EQ(countOf(log(), "timed out"), 0u);
}

}  // namespace
}  // namespace facilitytest
