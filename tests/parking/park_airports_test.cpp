// The park-airports file, the user's stands, the reach test, and choosing and giving up the park
// airport.
#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "feed/feed_neighbours.h"
#include "feed/rt_app_traffic.h"
#include "feed/traffic_mailbox.h"
#include "simlink/user_aircraft.h"
#include "tests/parking/parking_fixture.h"

namespace parking_test {
namespace {

class ParkAirportsTest : public ParkingTest {
 protected:
  void SetUp() override {
    ParkingTest::SetUp();
    ParkAirportHooks hooks;
    hooks.clearStandSearchHits = [this] { calls.emplace_back("clear hits"); };
    hooks.removeAllStaticAndLiveAtAirport = [this] { calls.emplace_back("remove all"); };
    hooks.resetParkAirport = [this] { calls.emplace_back("reset"); };
    hooks.disableParkingControls = [this] { calls.emplace_back("disable controls"); };
    gf_setParkAirportHooks(std::move(hooks));
  }
  void TearDown() override {
    g_userOnGround = false;
    gf_resetParameterSnapshot();
    gf_resetFeedNeighbours();
    ParkingTest::TearDown();
  }
  static void reachNm(std::uint32_t range) {
    gf_changeParameterSnapshot([range](ParameterSnapshot& s) { s.airpRange = range; });
  }
  static std::vector<std::string> listed() {
    std::lock_guard lock(g_parkAirportsMutex);
    std::vector<std::string> lines;
    for (const ParkAirport& entry : g_parkAirports)
      lines.push_back(fmt::format("{}{}{}", entry.code.text(), entry.userStand.empty() ? "" : ",", entry.userStand));
    return lines;
  }
  static IcaoCode parkCode() {
    std::shared_lock lock(g_parkAirportLock);
    return g_parkAirport.code;
  }
  std::vector<std::string> calls;
};

TEST_F(ParkAirportsTest, TheFileKeepsOneLinePerAirportAndEveryRejectedLineVerbatim) {
  write("airports/my_park_airports.txt", "eddf\nEDDF,A12\nEDDF\n\n EDDF , A12 , B\nXXXX1\nKJFK\nLOWW\n");
  for (const char* file : {"EGLL.xml", "EGLL.txt", "LSZH.xml", "EDD.xml", "EDDM1.xml", "LOWW.xml"})
    write(fs::path("airports/my_thirdparty") / file, "");
  EXPECT_FALSE(gf_readMyParkAirportsFile());
  EXPECT_EQ(listed().size(), 4u);
  EXPECT_EQ(listed()[0], "EDDF,A12");
  const std::string log = newLog();
  for (const char* line : {"\n    2 park airports read from 'my_park_airports.txt'\n",
                           "    2 park airports added from 'airports/my_thirdparty'\n",
                           "==> my_park_airports.txt: EDDF , A12 , B wrong syntax, preserved\n",
                           "==> my_park_airports.txt:XXXX1 invalid ICAO code, preserved\n"})
    EXPECT_TRUE(contains(log, line)) << line << "\n" << log;
  EXPECT_EQ(shown(), std::vector<std::string>{"airport KJFK is unknown"});

  gf_saveMyParkAirportsFile();
  EXPECT_EQ(read("airports/my_park_airports.txt"), "EDDF,A12\nEGLL\nLOWW\nLSZH\n\n EDDF , A12 , B\nXXXX1\nKJFK\n");
  gf_saveMyParkAirportsFile();
  EXPECT_TRUE(contains(newLog(), "Park airports file not saved: reading was not completed"));
}

TEST_F(ParkAirportsTest, AFileThatWasNotReadIsNeverWritten) {
  write("airports/my_park_airports.txt/inside", "a folder in the way");
  gf_readMyParkAirportsFile();
  gf_moveParkAirportToFront(IcaoCode("EDDF"), {50.03, 8.57});
  gf_saveMyParkAirportsFile();
  const std::string log = newLog();
  EXPECT_TRUE(contains(log, "==> Could not open 'airports/my_park_airports.txt'"));
  EXPECT_TRUE(contains(log, "Park airports file not saved: reading was not completed"));
  EXPECT_TRUE(fs::is_directory(dir_ / "airports/my_park_airports.txt"));
}

TEST_F(ParkAirportsTest, AStandNameThatWouldSplitItsLineIsNotStored) {
  gf_moveParkAirportToFrontWithStand(IcaoCode("LOWW"), {48.11, 16.57}, "C 35");
  gf_moveParkAirportToFrontWithStand(IcaoCode("EDDF"), {50.03, 8.57}, "A,12");
  EXPECT_EQ(gf_setUserStand(IcaoCode("EDDF"), "B,3"), 0);
  EXPECT_FALSE(gf_storeUserStand("LOWW", "D,1"));
  EXPECT_EQ(listed(), (std::vector<std::string>{"EDDF", "LOWW,C 35"}));
  EXPECT_EQ(std::ranges::count(newLog(), '\n'), 3) << "three warnings";

  EXPECT_EQ(gf_setUserStand(IcaoCode("LOWW"), "V1"), 0) << "not the front entry";
  EXPECT_EQ(gf_setUserStand(IcaoCode("EDDF"), "V1"), 1);
  EXPECT_TRUE(gf_storeUserStand("loww", "D 1"));
  EXPECT_FALSE(gf_storeUserStand("EGLL", "D 1"));
  EXPECT_EQ(listed(), (std::vector<std::string>{"EDDF,V1", "LOWW,D 1"}));
}

TEST_F(ParkAirportsTest, ReachIsHeightAboveGroundThenFlatDistance) {
  reachNm(15);
  // {feet above ground, user latitude (the airport lies at 0.5 N), within}
  for (const auto& [agl, lat, within] : {std::tuple{19000.0, 0.5, false}, std::tuple{18000.0, 0.75, true},
                                         std::tuple{0.0, 0.7500001, false}, std::tuple{0.0, 0.25, true}}) {
    UserAcPosition user;
    user.altitudeAboveGround = agl;
    gf_publishUserAcPosition(user);
    EXPECT_EQ(gf_isWithinParkReach({lat, 10.0}, {0.5, 10.0}), within) << agl << " ft, " << lat;
  }
}

TEST_F(ParkAirportsTest, FlyingTheNearestListedAirportComesToTheFrontAndBecomesThePark) {
  gf_moveParkAirportToFront(IcaoCode("LSZH"), {47.4647, 8.5492});
  gf_moveParkAirportToFront(IcaoCode("EDDF"), {50.0333, 8.5706});
  gf_frontNearestParkAirport({47.5, 8.55});
  EXPECT_EQ(gf_frontParkAirport()->code, IcaoCode("LSZH"));
  {
    std::lock_guard lock(g_parkAirportsMutex);
    std::swap(g_parkAirports[0], g_parkAirports[1]);
  }
  gf_frontNearestParkAirport({47.5 + 3.9 / 60, 8.55});  // within 4 NM of the last look: none
  EXPECT_EQ(gf_frontParkAirport()->code, IcaoCode("EDDF"));
  gf_frontNearestParkAirport({47.5 + 4.1 / 60, 8.55});
  EXPECT_EQ(gf_frontParkAirport()->code, IcaoCode("LSZH"));

  gf_chooseParkAirport({47.5, 8.55});
  EXPECT_TRUE(parkCode() == IcaoCode("LSZH") && g_parkingSetupRequested);
  EXPECT_EQ(shown(), std::vector<std::string>{"LSZH within reach"});
  gf_checkParkAirportReach({47.5 + 25.0 / 60, 8.55});
  EXPECT_EQ(calls, (std::vector<std::string>{"disable controls", "clear hits", "remove all", "reset"}));
  EXPECT_TRUE(parkCode().empty());
  EXPECT_TRUE(contains(newLog(), " LSZH is no longer within reach, parked aircraft will be removed\n"));
}

TEST_F(ParkAirportsTest, ANearerFrontAirportWithinReachReplacesThePark) {
  {
    std::unique_lock lock(g_airportsLock);
    g_airports.push_back(Airport{IcaoCode("LSZR"), g_defaultIataCode, {47.4850, 9.5607}, 1306});
  }
  reachNm(30);
  g_userOnGround = true;
  // On the ground as in flight, the RealTraffic app is asked for the airport's parked aircraft:
  // the request starts a new parked list.
  gf_publishSimChoice(SimChoice{2, 1});
  g_rtAppTrafficReader.parkedReceived = true;
  gf_chooseParkAirport({47.46, 8.55});
  gf_publishSimChoice(SimChoice{});
  EXPECT_FALSE(g_rtAppTrafficReader.parkedReceived) << "the app was not asked for parked traffic";
  EXPECT_EQ(parkCode(), IcaoCode("LSZH"));
  EXPECT_TRUE(contains(newLog(), "User aircraft on the ground at LSZH\n\nThe park airport is LSZH\n"));
  g_userOnGround = false;

  gf_moveParkAirportToFront(IcaoCode("LSZR"), {47.4850, 9.5607});
  gf_checkParkAirportReach({47.47, 9.0});  // still a little nearer Zurich
  EXPECT_EQ(parkCode(), IcaoCode("LSZH"));
  gf_checkParkAirportReach({47.47, 9.1});
  EXPECT_TRUE(parkCode().empty());
  EXPECT_TRUE(contains(newLog(), " LSZR is within reach, parked aircraft at LSZH will be removed first\n"));
}

// A set-up that failed is not tried again at once: the same airport waits five minutes of engine
// time, or until the user has moved 3 NM from where it failed.
TEST_F(ParkAirportsTest, AFailedSetUpIsNotTriedAgainForAWhileOrUntilTheUserMoves) {
  const Lalo user{47.46, 8.55};
  struct Case {
    const char* what;
    bool onGround;
    std::int32_t afterTicks;
    Lalo at;
    bool chosen;
  };
  const Case cases[] = {
      {"on the ground, a second on", true, 100, user, false},
      {"on the ground, four minutes on", true, 4 * 60 * 100, user, false},
      {"on the ground, five minutes on", true, 5 * 60 * 100, user, true},
      {"on the ground, 3.2 NM on", true, 100, {47.46 - 3.2 / 60, 8.55}, true},
      {"flying, a second on", false, 100, user, false},
      {"flying, 3.2 NM on", false, 100, {47.46 + 3.2 / 60, 8.55}, true},
  };
  reachNm(30);
  gf_moveParkAirportToFront(IcaoCode("LSZH"), {47.4582, 8.5555});
  for (const Case& c : cases) {
    g_userOnGround = c.onGround;
    {
      std::unique_lock lock(g_parkAirportLock);
      g_parkAirport = Airport{};
    }
    g_engineTime = 1000;
    gf_noteFailedParkSetup(IcaoCode("LSZH"), user);
    g_engineTime = 1000 + c.afterTicks;
    gf_chooseParkAirport(c.at);
    EXPECT_EQ(parkCode() == IcaoCode("LSZH"), c.chosen) << c.what;
  }
  g_engineTime = 0;
  gf_resetFailedParkSetup();
}

// Fiji: an airport 5 NM east of the user lies across the 180-degree meridian, one 27 NM west
// does not.
TEST_F(ParkAirportsTest, DistancesRunTheShortWayAcrossTheDateLine) {
  const Lalo user{-16.69, 179.95};
  const Lalo east{-16.69, -179.96};
  const Lalo west{-16.69, 179.48};
  reachNm(20);
  gf_publishUserAcPosition(UserAcPosition{});
  gf_moveParkAirportToFront(IcaoCode("NFTE"), east);
  gf_moveParkAirportToFront(IcaoCode("NFTW"), west);
  gf_frontNearestParkAirport(user);
  EXPECT_EQ(gf_frontParkAirport()->code, IcaoCode("NFTE"));
  struct Case {
    const char* what;
    Lalo from, to;
    bool within;
  } cases[] = {
      {"east across the line", user, east, true},
      {"west, too far", user, west, false},
      {"from the other side", east, user, true},
  };
  for (const Case& c : cases) EXPECT_EQ(gf_isWithinParkReach(c.from, c.to), c.within) << c.what;
  {
    std::unique_lock lock(g_parkAirportLock);
    g_parkAirport = Airport{IcaoCode("NFTE"), g_defaultIataCode, east, 10};
  }
  EXPECT_TRUE(gf_isNearParkAirport({-16.69, 179.99}));
  EXPECT_FALSE(gf_isNearParkAirport({-16.69, 179.70}));
}

}  // namespace
}  // namespace parking_test
