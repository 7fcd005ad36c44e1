// Stands and helipads read from the stand-in simulator's facility data.
#include <cmath>
#include <stdexcept>

#include "simlink/facility_helpers.h"
#include "tests/simlink/facility_fixture.h"

namespace facilitytest {
namespace {

constexpr double kNmPerM = 0.0005399568034557236;

struct StandRead {
  bool ok = false;
  BglAirport airport;
  std::uint32_t helipads = 0;
};

StandRead readStands(const std::string& icao) {
  StandRead read;
  read.ok = gf_readFacilityStands(icao, icao, "", read.airport, read.helipads);
  return read;
}

const Stand* standNamed(const BglAirport& airport, const std::string& name) {
  for (const Stand& stand : airport.stands)
    if (stand.name == name) return &stand;
  return nullptr;
}

TEST_F(FacilityTest, StandNamesComeFromPrefixNumberAndSuffix) {
  json a = airport("LSZH");
  a["TAXI_PARKING"] = {parking(10, 10, 12, 12), parking(10, 10, 12, 0), parking(10, 10, 12, 5),
                       parking(10, 12, 5, 37),  parking(1, 1, 7, 38),   parking(8, 40, 3, 0)};
  sim::addFacilityAirport(a.dump());
  const StandRead read = readStands("LSZH");
  ASSERT_TRUE(read.ok);
  std::vector<std::string> names;
  for (const Stand& stand : read.airport.stands) names.push_back(stand.name);
  EXPECT_EQ(names, (std::vector<std::string>{"GATE 12A", "GATE 12", "GATE 12?", "GATE A5Z", "PARKING 7?", "3"}));
}

TEST_F(FacilityTest, TypeFilterAndFlags) {
  struct Case {
    int type;
    bool kept;
    bool cargo;
    bool ramp;
  };
  const Case cases[] = {{0, false, false, false}, {1, true, false, true},    {4, true, false, true},
                        {5, true, true, false},   {6, true, true, false},    {7, true, false, false},
                        {10, true, false, false}, {13, false, false, false}, {14, true, false, true},
                        {15, true, false, false}, {16, false, false, false}, {-1, false, false, false}};
  json a = airport("EDDF");
  unsigned number = 1;
  for (const Case& c : cases) a["TAXI_PARKING"].push_back(parking(c.type, 1, number++));
  sim::addFacilityAirport(a.dump());
  const StandRead read = readStands("EDDF");
  ASSERT_TRUE(read.ok);
  number = 1;
  for (const Case& c : cases) {
    const Stand* stand = standNamed(read.airport, fmt::format("PARKING {}", number++));
    ASSERT_EQ(stand != nullptr, c.kept) << "type " << c.type;
    if (!stand) continue;
    EXPECT_EQ(stand->type, static_cast<std::uint32_t>(c.type));
    EXPECT_EQ(stand->cargo != 0, c.cargo) << "type " << c.type;
    EXPECT_EQ(stand->ramp != 0, c.ramp) << "type " << c.type;
    EXPECT_EQ(stand->heli, 0);
  }
}

TEST_F(FacilityTest, StandGeometryFollowsTheReferencePointAndBias) {
  json a = airport("LSGG", 46.2381, 6.1089);
  a["TAXI_PARKING"] = {parking(10, 10, 1), parking(10, 10, 2, 0, 100.0, 0.0), parking(10, 10, 3, 0, -50.0, 200.0),
                       parking(10, 10, 4, 0, 0.0, -80.0)};
  sim::addFacilityAirport(a.dump());
  const StandRead read = readStands("LSGG");
  ASSERT_TRUE(read.ok);
  const Lalo reference{46.2381, 6.1089};
  const Stand* onPoint = standNamed(read.airport, "GATE 1");
  ASSERT_NE(onPoint, nullptr);
  EXPECT_EQ(onPoint->position, reference);
  EXPECT_NEAR(onPoint->heading, 90.0 * geo::kDegToRad, 1e-12);
  EXPECT_NEAR(onPoint->radius, 20.0 * kNmPerM, 1e-12);

  struct Case {
    const char* name;
    double bearingDeg;
    double metres;
  };
  for (const Case& c : {Case{"GATE 2", 90.0, 100.0}, Case{"GATE 3", 346.0, 206.2}, Case{"GATE 4", 180.0, 80.0}}) {
    const Stand* stand = standNamed(read.airport, c.name);
    ASSERT_NE(stand, nullptr) << c.name;
    EXPECT_NEAR(gf_distanceNm(reference, stand->position) * 1852.0, c.metres, 0.5) << c.name;
    EXPECT_NEAR(gf_bearingRad(reference, stand->position) * geo::kRadToDeg, c.bearingDeg, 0.3) << c.name;
  }
}

TEST_F(FacilityTest, HelipadsGetRadiiNamesAndACount) {
  json a = airport("LFSB");
  auto helipad = [](double lat, double width, int type) {
    return json{{"LATITUDE", lat}, {"LONGITUDE", 7.5}, {"ALTITUDE", 270.0}, {"HEADING", 45.0},
                {"LENGTH", width}, {"WIDTH", width},   {"SURFACE", 1},      {"TYPE", type}};
  };
  a["HELIPAD"] = {helipad(47.1, 20.0, 2), helipad(47.2, 20.0, 3), helipad(47.3, 10.0, 1)};
  a["TAXI_PARKING"] = {parking(10, 10, 1)};
  sim::addFacilityAirport(a.dump());
  const StandRead read = readStands("LFSB");
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.helipads, 3u);
  ASSERT_EQ(read.airport.stands.size(), 4u);
  // The definition asks for taxi parkings before helipads, and the answer keeps that order.
  EXPECT_EQ(read.airport.stands[0].name, "GATE 1");
  const double radii[] = {14.0, 10.0, 5.0};
  for (int i = 0; i < 3; ++i) {
    const Stand& pad = read.airport.stands[static_cast<std::size_t>(i) + 1];
    EXPECT_EQ(pad.name, fmt::format("HELIPAD {}", i + 1));
    EXPECT_NEAR(pad.radius, radii[i] * kNmPerM, 1e-9) << pad.name;
    EXPECT_EQ(pad.heli, 1);
    EXPECT_EQ(pad.type, 0u);
    EXPECT_EQ(pad.id, 0u);
    EXPECT_NEAR(pad.heading, 45.0 * geo::kDegToRad, 1e-12);
  }
}

TEST_F(FacilityTest, AirportRecordFillsCodeNameAndWholeFeet) {
  json a = airport("lszh");
  a["NAME"] = std::string(32, 'N') + "TAIL";  // 32 bytes, no terminating zero on the wire
  a["ALTITUDE"] = -3.5;                       // -11.48 ft
  a["TAXI_PARKING"] = {parking(10, 10, 1)};
  sim::addFacilityAirport(a.dump());
  const StandRead read = readStands("LSZH");
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.airport.code, IcaoCode("LSZH"));
  EXPECT_EQ(read.airport.name, std::string(32, 'N'));
  EXPECT_EQ(read.airport.altitude, -11);
  EXPECT_EQ(read.airport.position, (Lalo{47.0, 8.0}));
}

TEST_F(FacilityTest, AnAirportWithoutStandsIsASuccess) {
  sim::addFacilityAirport(airport("EGLL").dump());
  const StandRead read = readStands("EGLL");
  EXPECT_TRUE(read.ok);
  EXPECT_TRUE(read.airport.stands.empty());
  EXPECT_EQ(read.helipads, 0u);
  EXPECT_NE(log().find("Fac: EGLL has no stands"), std::string::npos);
}

TEST_F(FacilityTest, AnAnswerWithoutEndTimesOutAfterThirtySecondsAndCloses) {
  json a = airport("LSZH");
  a["TAXI_PARKING"] = {parking(10, 10, 1)};
  a["faults"] = {{"noEnd", true}};
  sim::addFacilityAirport(a.dump());
  const std::uint64_t before = dispatches();
  EXPECT_FALSE(readStands("LSZH").ok);
  EXPECT_NE(log().find("==> Facility data request timed out for LSZH"), std::string::npos);
  EXPECT_EQ(dispatches() - before, 30u);
  EXPECT_FALSE(gf_isParkingDataReaderOpen());
  EXPECT_EQ(sim::openConnectionCount(), 0u);
}

TEST_F(FacilityTest, RepliesForOtherRequestsAreIgnored) {
  json a = airport("LSZH");
  a["TAXI_PARKING"] = {parking(10, 10, 1), parking(10, 10, 2)};
  a["faults"] = {{"strayRequestId", REQUEST_RUNWAY_FACILITY}};
  sim::addFacilityAirport(a.dump());
  const StandRead read = readStands("LSZH");
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.airport.stands.size(), 2u);
}

TEST_F(FacilityTest, AShortRecordIsRefusedAndTheReadFails) {
  for (std::uint32_t type :
       {SIMCONNECT_FACILITY_DATA_AIRPORT, SIMCONNECT_FACILITY_DATA_TAXI_PARKING, SIMCONNECT_FACILITY_DATA_HELIPAD}) {
    json a = airport("LSZH");
    a["TAXI_PARKING"] = {parking(10, 10, 1)};
    a["HELIPAD"] = {json{{"LATITUDE", 47.0}, {"LONGITUDE", 8.0}, {"WIDTH", 10.0}, {"TYPE", 1}}};
    a["faults"] = {{"truncateType", type}, {"truncateBytes", 4}};
    sim::addFacilityAirport(a.dump());
    EXPECT_FALSE(readStands("LSZH").ok) << "type " << type;
    EXPECT_FALSE(gf_isParkingDataReaderOpen()) << "type " << type;
    EXPECT_NE(log().find(fmt::format("Facility data record of type {} too short for LSZH", type)), std::string::npos);
  }
}

TEST_F(FacilityTest, AnExceptionFailsTheReadAndCloses) {
  EXPECT_FALSE(readStands("ZZZZ").ok);  // the stand-in knows no such airport
  EXPECT_NE(log().find("==> SimConnect EXCEPTION id=1 sendID="), std::string::npos);
  EXPECT_FALSE(gf_isParkingDataReaderOpen());
}

TEST_F(FacilityTest, ARefusedRequestLeavesTheConnectionOpen) {
  sim::failCall("RequestFacilityData");
  EXPECT_FALSE(readStands("LSZH").ok);
  EXPECT_NE(log().find("==> RequestFacilityData failed for LSZH (airport LSZH)"), std::string::npos);
  EXPECT_TRUE(gf_isParkingDataReaderOpen());
}

TEST_F(FacilityTest, OpenAndDefinitionFailures) {
  sim::setRunning(false);
  EXPECT_FALSE(readStands("LSZH").ok);
  EXPECT_NE(log().find("==> SimConnect_Open (PARKING_DATA_RDR) FAILED hr=0x80004005"), std::string::npos);

  sim::setRunning(true);
  sim::failCall("AddToFacilityDefinition", 12);
  EXPECT_FALSE(readStands("LSZH").ok);
  EXPECT_NE(log().find("==> SimConnect facility definition initialization failed"), std::string::npos);
  EXPECT_EQ(sim::openConnectionCount(), 0u);
  EXPECT_FALSE(gf_isParkingDataReaderOpen());
}

TEST_F(FacilityTest, ADispatchFailureFailsTheRead) {
  sim::addFacilityAirport(airport("LSZH").dump());
  sim::failNextDispatch(E_HANDLE);
  EXPECT_FALSE(readStands("LSZH").ok);
  EXPECT_NE(log().find("==> SimConnect_CallDispatch failed for LSZH: 0x80070006"), std::string::npos);
  EXPECT_FALSE(gf_isParkingDataReaderOpen());
}

TEST_F(FacilityTest, AStopEndsTheWaitAndCloses) {
  json a = airport("LSZH");
  a["faults"] = {{"noEnd", true}};
  sim::addFacilityAirport(a.dump());
  gf_requestStop(StopReason::NewSettings, 0);
  EXPECT_FALSE(readStands("LSZH").ok);
  EXPECT_FALSE(gf_isParkingDataReaderOpen());
}

TEST_F(FacilityTest, AnInvalidCodeThrowsBeforeAnythingIsAsked) {
  BglAirport out;
  std::uint32_t helipads = 0;
  EXPECT_THROW(gf_readFacilityStands("LSZ", "LSZ", "", out, helipads), std::invalid_argument);
  EXPECT_EQ(sim::openAttempts(), 0u);
}

TEST_F(FacilityTest, TheDemoFixturesServeZurich) {
  sim::setFacilityFolder(testing_support::sourceDataFolder() / "sim" /
                         "facilities");
  const StandRead read = readStands("LSZH");
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.airport.name, "Zurich");
  EXPECT_EQ(read.airport.altitude, 1417);
  EXPECT_EQ(read.helipads, 2u);
  EXPECT_NE(standNamed(read.airport, "GATE A12A"), nullptr);
  EXPECT_EQ(standNamed(read.airport, "PARKING 200"), nullptr);  // the vehicle parking
  const FacilityRunways runways = readRunways("LSZH");
  ASSERT_TRUE(runways.valid);
  EXPECT_EQ(runways.runways.size(), 3u);
  for (const char* icao : {"LSGG", "LFSB"}) EXPECT_TRUE(readRunways(icao).valid) << icao;
}

}  // namespace
}  // namespace facilitytest
