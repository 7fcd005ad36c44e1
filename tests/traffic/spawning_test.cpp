// Spawning: the admission of a due flight, the stand of a flight standing at the park airport,
// promotion of a static aircraft and static aircraft making way.
#include "traffic/spawning.h"

#include "liveries/failed_liveries.h"
#include "refdata/airports.h"
#include "traffic/adding_stack.h"
#include "simlink/user_aircraft.h"
#include "tests/traffic/traffic_fixture.h"

namespace {
using namespace traffic_test;
constexpr std::string_view kTitle = "Test Livery";

class SpawningTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    g_liveAcs.reserve(128);
  }
  void TearDown() override {
    g_unmatchedLiveries.clear();
    EngineTest::TearDown();
  }
  // A new flight with its livery chosen earlier and points due at the given engine times.
  LiveAc& flight(std::uint32_t hexid, const std::vector<Rec>& points) {
    LiveAc& ac = addLive(points.front(), SimStatus::buffer, FlightPhase::birth);
    for (std::size_t i = 1; i < points.size(); ++i) ac.stream.push_back(gf_streamPoint(points[i]));
    ac.hexid = hexid;
    g_liveryChoices[hexid] = kTitle;
    return ac;
  }
  static Rec air(std::uint32_t hexid, double feet, std::int32_t due = 0, double northNm = 0.0) {
    return Rec(hexid).at(offset(kEham, northNm * 1852.0)).air(feet, 250.0).due(due);
  }
};

TEST_F(SpawningTest, AFlightWaitsForItsFirstPointAndNeedsTwo) {
  LiveAc& early = flight(0x100, {air(0x100, 5000, 10), air(0x100, 5000, 20)});
  lf_trySpawn(early);
  EXPECT_EQ(early.stream.size(), 2u);
  EXPECT_EQ(early.simState, SimStatus::buffer);
  LiveAc& single = flight(0x200, {air(0x200, 5000)});
  lf_trySpawn(single);
  EXPECT_TRUE(single.dropFromRegistry && single.stream.empty());
}

TEST_F(SpawningTest, AFlightLowOverTheParkAirportLosesPointsUntilOneIsHighEnough) {
  parkAtElevation(100);
  LiveAc& ac = flight(0x100, {air(0x100, 600), air(0x100, 700), air(0x100, 801), air(0x100, 900)});
  std::vector<std::size_t> sizes;
  for (int i = 0; i < 3; ++i) {
    lf_trySpawn(ac);
    sizes.push_back(ac.stream.size());
  }
  EXPECT_EQ(sizes, (std::vector<std::size_t>{3, 2, 2}));
  EXPECT_EQ(ac.state, FlightPhase::flying);
  EXPECT_EQ(ac.simState, SimStatus::adding2sim);
  EXPECT_EQ(g_addingStack, std::vector<std::uint32_t>{0x100});
}

TEST_F(SpawningTest, AdmissionLimits) {
  // Eleven creations waiting hold new flights back.
  g_liveCreateQueue.resize(11);
  LiveAc& held = flight(0x100, {air(0x100, 5000), air(0x100, 5000), air(0x100, 5000)});
  lf_trySpawn(held);
  EXPECT_EQ(held.stream.size(), 2u);
  EXPECT_EQ(held.simState, SimStatus::buffer);

  reset();
  gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.maxLiveSel = 0; });
  LiveAc& none = flight(0x100, {air(0x100, 5000), air(0x100, 5000)});
  lf_trySpawn(none);
  EXPECT_TRUE(none.dropFromRegistry);

  // 100 aircraft 1 to 100 NM north of the user: a flight at 50 NM takes the furthest one's place.
  for (const double at : {50.0, 150.0}) {
    reset();
    gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.maxLiveSel = 100; });
    gf_publishUserAcPosition(UserAcPosition{.latitude = kEham.lat, .longitude = kEham.lon});
    for (std::uint32_t i = 1; i <= 100; ++i) addLive(Rec(i).at(offset(kEham, i * 1852.0)));
    LiveAc& newcomer = flight(0x1000, {air(0x1000, 5000, 0, at), air(0x1000, 5000, 0, at)});
    lf_trySpawn(newcomer);
    EXPECT_EQ(removed, at < 100 ? std::vector<std::uint32_t>{100} : std::vector<std::uint32_t>{}) << at;
    EXPECT_EQ(newcomer.dropFromRegistry, at > 100) << at;
  }
}

TEST_F(SpawningTest, AFlightWithoutLiveryIsNotTriedAgainBelowTheTcasLevel) {
  LiveAc& first = flight(0x100, {air(0x100, 5000), air(0x100, 5000)});
  first.registration = "PH-ABC";
  g_liveryChoices.clear();  // nothing installed matches
  lf_trySpawn(first);
  EXPECT_TRUE(first.dropFromRegistry);
  EXPECT_TRUE(g_unmatchedLiveries.contains(gf_identityKey(first)));
  for (const double feet : {5000.0, 30000.0}) {
    LiveAc& again = flight(0x200, {air(0x200, feet), air(0x200, feet)});
    again.registration = "PH-ABC";
    lf_trySpawn(again);
    EXPECT_EQ(again.dropFromRegistry, feet <= 18000.0) << feet;  // TCAS_FL 180
    g_liveAcs.pop_back();
  }
  // The user learns why the flight is missing, once.
  const std::string line = "No livery matches " + gf_identityKey(first);
  const std::string log = logText();
  ASSERT_NE(log.find(line), std::string::npos) << log;
  EXPECT_EQ(log.find(line), log.rfind(line)) << log;
  EXPECT_NE(log.find("are left out"), std::string::npos) << log;
}

// Ground traffic comes at 0 ft; a flight that starts on the ground is created on the ground the
// simulator knows best, and asks the simulator to stand it there.
TEST_F(SpawningTest, AFlightStartingOnTheGroundIsCreatedOnTheBestKnownGround) {
  const Lalo far = offset(kEham, 40.0 * 1852.0);  // no park airport within reach
  struct Case {
    const char* name;
    Lalo at;
    bool airborne;
    bool airportNearby;  // one of 500 ft in the airports list, 1 NM off
    double altitude;
  };
  const Case cases[] = {
      {"taxiing at the park airport", offset(kEham, 1000.0), false, true, 1417.0},
      {"taxiing near another airport", far, false, true, 500.0},
      {"taxiing where no airport is known", far, false, false, 0.0},
      {"in the air at the park airport", offset(kEham, 1000.0), true, true, 5000.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    parkAtElevation(1417);
    if (c.airportNearby)
      g_airports = {Airport{IcaoCode("EHLE"), IataCode("LEY"), offset(far, 1852.0), 500}};
    const Rec first = c.airborne ? Rec(0x100).at(c.at).air(5000.0, 250.0, 90.0)
                                 : Rec(0x100).at(c.at).ground(15.0, 90.0);
    const Rec second = c.airborne ? Rec(0x100).at(offset(c.at, 0.0, 600.0)).air(5000.0, 250.0, 90.0).due(300)
                                  : Rec(0x100).at(offset(c.at, 0.0, 40.0)).ground(15.0, 90.0).due(500);
    LiveAc& ac = flight(0x100, {first, second});
    lf_trySpawn(ac);
    ASSERT_EQ(ac.simState, SimStatus::adding2sim);
    EXPECT_DOUBLE_EQ(ac.altitude, c.altitude);
    lf_handleAddingStack();
    ASSERT_EQ(g_liveCreateQueue.size(), 1u);
    EXPECT_DOUBLE_EQ(g_liveCreateQueue.front().position.altitude, c.altitude);
    EXPECT_EQ(g_liveCreateQueue.front().position.onGround, c.airborne ? 0u : 1u);
    gf_resetAirportsForTest();
  }
}

class SpawnAtStandTest : public SpawningTest {
 protected:
  void SetUp() override {
    SpawningTest::SetUp();
    parkAtElevation(0);
    Stand& stand = g_stands.emplace_back("GATE B1", std::vector<StandOption>{}, offset(kEham, 400.0), 1.0, 25.0, 9,
                                         false, false, false);
    stand.id = 1;
  }
  // A B738 standing 10 m from the stand, reported twice.
  LiveAc& standing() {
    const Lalo at = offset(g_stands[0].position, 10.0);
    LiveAc& ac = flight(0x4000, {Rec(0x4000).at(at).ground(2.0), Rec(0x4000).at(at).ground(0.0)});
    ac.registration = "PH-ABC";
    return ac;
  }
  StaticAc& staticOnStand(const char* registration) {
    StaticAc& parked = g_staticAcs.emplace_back();
    parked.hexid = 7;
    parked.callsign = "KLM7";
    parked.registration = registration;
    parked.standId = 1;
    parked.objectId = 77;
    parked.simState = SimStatus::active;
    parked.matchedTitle = "Static Livery";
    parked.poseKnown = parked.cgKnown = true;
    parked.initialPose = {kEham.lat, kEham.lon, 0.01, 0.0, 1.0, 12.0, 0.0, 0.0};
    return parked;
  }
};

TEST_F(SpawnAtStandTest, AFlightStandingAtTheParkAirportIsPlacedOnTheNearestStand) {
  LiveAc& ac = standing();
  lf_trySpawn(ac);
  EXPECT_EQ(ac.state, FlightPhase::parked);
  EXPECT_EQ(ac.standId, 1);
  ASSERT_EQ(ac.stream.size(), 1u);
  EXPECT_EQ(ac.stream.front().lalo, g_stands[0].position);
  EXPECT_DOUBLE_EQ(ac.heading, 1.0);
  EXPECT_EQ(ac.simState, SimStatus::adding2sim);
}

TEST_F(SpawnAtStandTest, AFlightOnAStandIsCreatedOnTheGroundOfItsAirport) {
  parkAtElevation(1417);
  LiveAc& ac = standing();
  lf_trySpawn(ac);
  ASSERT_EQ(ac.state, FlightPhase::parked);
  EXPECT_DOUBLE_EQ(ac.altitude, 1417.0);
  lf_handleAddingStack();
  ASSERT_EQ(g_liveCreateQueue.size(), 1u);
  EXPECT_DOUBLE_EQ(g_liveCreateQueue.front().position.altitude, 1417.0);
  EXPECT_EQ(g_liveCreateQueue.front().position.onGround, 1u);
}

TEST_F(SpawnAtStandTest, AStaticAircraftOfTheSameRegistrationIsPromoted) {
  staticOnStand("PH-ABC");
  LiveAc& ac = standing();
  lf_trySpawn(ac);
  EXPECT_TRUE(g_addingStack.empty());  // no create request
  EXPECT_TRUE(g_staticAcs.empty());
  EXPECT_EQ(ac.objectId, 77u);
  EXPECT_EQ(ac.simState, SimStatus::active);
  EXPECT_EQ(ac.matchedTitle, "Static Livery");
  EXPECT_DOUBLE_EQ(ac.altitude, 12.0);
  EXPECT_EQ(g_promotionCount, 1u);
  std::lock_guard lock(g_simQueueMutex);
  EXPECT_EQ(g_simPromotedObjects, std::vector<std::uint32_t>{77});
  g_simPromotedObjects.clear();
}

TEST_F(SpawnAtStandTest, AStaticAircraftOfAnotherRegistrationMakesWay) {
  StaticAc& parked = staticOnStand("PH-XYZ");
  LiveAc& ac = standing();
  lf_trySpawn(ac);
  EXPECT_EQ(parked.simState, SimStatus::removingfromsim);
  EXPECT_EQ(g_removeStack, std::deque<std::uint32_t>{77});
  EXPECT_EQ(g_addingStack, std::vector<std::uint32_t>{0x4000});
  EXPECT_NE(logText().find("GATE B1       : KLM7     PH-XYZ makes way for KLM1234 PH-ABC"), std::string::npos);
}

// The same flight parked elsewhere as a static aircraft (the stand file's copy of a registration
// that now flies or taxis live) goes as the live one is created; another flight's stays.
TEST_F(SpawnAtStandTest, AStaticCopyOfTheFlightElsewhereGoesAsTheLiveOneComes) {
  struct Case {
    const char* name;
    const char* staticRegistration;
    bool airborne;
    bool removed;
  } cases[] = {
      {"an arrival, its copy parked at a cargo stand", "PH-ABC", true, true},
      {"a taxiing flight, its copy parked elsewhere", "PH-ABC", false, true},
      {"another flight's static aircraft", "PH-XYZ", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_staticAcs.clear();
    g_removeStack.clear();
    g_addingStack.clear();
    g_liveAcs.clear();
    StaticAc& parked = staticOnStand(c.staticRegistration);
    parked.standId = 2;  // not the live flight's stand
    LiveAc& ac = c.airborne ? flight(0x4000, {air(0x4000, 3000, 0, 5.0), air(0x4000, 2800, 5, 4.8)}) : [&]() -> LiveAc& {
      // Taxiing 600 m from every stand.
      const Lalo at = offset(kEham, -600.0);
      return flight(0x4000, {Rec(0x4000).at(at).ground(12.0), Rec(0x4000).at(offset(at, 10.0)).ground(12.0).due(2)});
    }();
    ac.registration = "PH-ABC";
    lf_trySpawn(ac);
    ASSERT_EQ(g_addingStack, std::vector<std::uint32_t>{0x4000});
    EXPECT_EQ(parked.simState == SimStatus::removingfromsim, c.removed);
    EXPECT_EQ(g_removeStack.size(), c.removed ? 1u : 0u);
  }
}

}  // namespace
