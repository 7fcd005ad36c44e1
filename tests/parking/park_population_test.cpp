// Filling the park airport: the wanted count, the RealTraffic parked aircraft handed over by the
// feed, the user's stands kept free, the result lines, and the live identities the static side
// takes over from the feed.
#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "feed/feed_neighbours.h"
#include "feed/rt_api_traffic_client.h"
#include "feed/rt_app_traffic.h"
#include "parking/park_population.h"
#include "parking/parking_hooks.h"
#include "parking/stand_search.h"
#include "simlink/stand_table.h"
#include "tests/parking/parking_fixture.h"
#include "traffic/engine_state.h"

namespace parking_test {
namespace {

class ParkPopulationTest : public ParkingTest {
 protected:
  void SetUp() override {
    ParkingTest::SetUp();
    gf_publishSimChoice(SimChoice{2, 1});  // RT App
    FeedNeighbours neighbours;
    neighbours.addParkedFromFeed = gf_addParkedFromFeed;
    gf_setFeedNeighbours(neighbours);
    ParkingHooks hooks;
    hooks.blockUserStandsForStatic = [this](std::string_view reason, const std::string& stand) {
      blocked += fmt::format("{} {}, ", reason, stand);
    };
    hooks.standNameAtPos = [this](const Lalo&) { return userAt; };
    hooks.parkingGenerationDone = [this] { ++generationDone; };
    gf_setParkingHooks(std::move(hooks));
    settings(30, 500, false, 47);
  }
  void TearDown() override {
    gf_setParkingHooks({});
    gf_parkingHooks().staticTargetCount() = 0;
    gf_resetFeedNeighbours();
    g_rtAppTrafficReader.reset();
    gf_publishSimChoice(SimChoice{});
    gf_resetStandSearch();
    gf_resetStandTables();
    gf_resetEngineTables();
    gf_resetParameterSnapshot();
    g_parkingGenerating = false;
    ParkingTest::TearDown();
  }
  static void settings(std::uint32_t percentage, std::uint32_t cap, bool rtOnly, std::uint32_t maxFit) {
    gf_changeParameterSnapshot([=](ParameterSnapshot& s) {
      s.parkingPercentage = percentage;
      s.maxParkSel = cap;
      s.rtParkTrafficOnly = rtOnly;
      s.maxFit = maxFit;
      s.random = false;
    });
  }
  // n stands 100 m apart along a parallel, named A1...
  static void stands(std::size_t n) {
    g_stands.clear();
    for (std::size_t i = 0; i < n; ++i) {
      Stand& stand = g_stands.emplace_back(fmt::format("A{}", i + 1), std::vector<StandOption>{},
                                           Lalo{47.0, 8.0 + 0.0015 * static_cast<double>(i)}, 0.0, 20.0, 14, false,
                                           false, false);
      stand.id = static_cast<std::uint32_t>(i + 1);
    }
    gf_rebuildStandsByName();
  }
  // A prepared parked list (ages in half-hours) as the RT App reader holds it.
  static void parked(std::vector<ParkedRecord> records) {
    std::lock_guard lock(g_rtAppTrafficReader.parkedMutex);
    g_rtAppTrafficReader.parkedSet = std::move(records);
    g_rtAppTrafficReader.parkedSetPrepared = true;
    g_rtAppTrafficReader.parkedReceived = true;
  }
  static ParkedRecord record(std::uint32_t hexid, std::int32_t age, std::size_t standIndex, const char* callsign = "") {
    ParkedRecord r;
    r.hexid = hexid;
    r.halfHourSlot = age;
    r.callsign = *callsign ? callsign : fmt::format("SWR{}", hexid);
    r.registration = fmt::format("HB-{}", hexid);
    r.modelId = gf_internModelName("A320");
    r.lalo = g_stands.at(standIndex).position;
    r.standName = "A2";  // too short to name a stand: found by position
    return r;
  }
  static std::string hits() {
    std::string text;
    for (const StandSearchHit& hit : g_standSearchHits)
      text += fmt::format("{}:{}+{} ", hit.standId, hit.name1, hit.slotOffset);
    return text;
  }
  static std::vector<gui::SetStaticTarget> targetsShown() {
    std::vector<gui::SetStaticTarget> shown;
    std::lock_guard lock(g_gui.queueMutex);
    for (const GuiUpdate& update : g_gui.queue)
      if (const auto* target = std::get_if<gui::SetStaticTarget>(&update)) shown.push_back(*target);
    g_gui.queue.clear();
    return shown;
  }

  std::string blocked;
  std::optional<std::string> userAt;
  int generationDone = 0;
};

TEST_F(ParkPopulationTest, TheWantedCount) {
  struct Case {
    std::size_t stands;
    std::uint32_t percentage, cap;
    bool rtOnly;
    std::int32_t count, percent;
  };
  const Case cases[] = {{1, 0, 500, false, 1, 100}, {3, 40, 500, false, 1, 33}, {4, 40, 500, false, 2, 50},
                        {4, 40, 0, false, 0, 0},    {50, 30, 20, true, 20, 40},  {50, 30, 0, true, 0, 0},
                        {10, 30, 500, true, 10, 100}};
  for (const Case& c : cases) {
    stands(c.stands);
    settings(c.percentage, c.cap, c.rtOnly, 47);
    targetsShown();
    EXPECT_EQ(gf_wantedParkedCount(*g_parameterSnapshot.load()), c.count) << c.stands << " at " << c.percentage;
    EXPECT_EQ(gf_parkingHooks().staticTargetCount(), c.count);
    const std::vector<gui::SetStaticTarget> shown = targetsShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].percent, c.percent) << c.stands << " at " << c.percentage;
  }
}

TEST_F(ParkPopulationTest, RealTrafficParkedOnlyPlacesTheFeedsAircraftWithoutASearch) {
  stands(50);
  settings(30, 20, true, 47);
  parked({record(0xA1, 3, 0), record(0xA2, 1, 5), record(0xA3, 2, 9)});
  gf_populateParkAirport();
  EXPECT_TRUE(g_parkingGenerating);
  EXPECT_EQ(hits(), "6:SWR162+1 10:SWR163+2 1:SWR161+3 ");
  const std::string log = newLog();
  EXPECT_TRUE(contains(log, "\n3 positions with RT Parked only\n")) << log;
  EXPECT_FALSE(contains(log, "Results for"));
  EXPECT_EQ(generationDone, 0);
}

TEST_F(ParkPopulationTest, TheResultLineAndNoPositionAtAll) {
  stands(2);
  StandOption option;
  option.reg = "HB-JNA";
  option.name1 = "SWR12";
  option.id = 1;
  option.day = 1;
  option.real = 1;
  option.hours = std::uint64_t{1} << 4;
  g_stands[1].options.push_back(option);
  g_currentWeekTime = gf_packWeekTime(WeekTime{1, 4});
  settings(50, 500, false, 47);
  gf_populateParkAirport();
  EXPECT_EQ(hits(), "2:SWR12+0 ");
  EXPECT_TRUE(contains(newLog(), "\n1 positions (50% vs wanted 50%) auto park\n"));

  g_stands[1].options.clear();
  gf_populateParkAirport();
  EXPECT_TRUE(contains(newLog(), "no parking positions found"));
  EXPECT_EQ(generationDone, 1);
  g_currentWeekTime = 0;
}

TEST_F(ParkPopulationTest, TheFeedsParkedAircraftUpToMaxFitOnFreeStands) {
  stands(6);
  settings(30, 500, false, 4);
  StaticAc& placed = g_staticAcs.emplace_back();  // stands for 0xA3 already
  placed.hitFlag = 0;
  placed.hitKind = 0xA3;
  placed.standId = 4;
  placed.simState = SimStatus::active;
  g_staticHexids.insert(0xA2);  // flying live
  std::vector<ParkedRecord> records = {record(0xA1, 0, 0), record(0xA2, 1, 1), record(0xA3, 1, 2),
                                       record(0xA4, 2, 4), record(0xA5, 5, 5)};
  records[0].callsign.clear();
  gf_addParkedFromFeed(records, 10);
  EXPECT_EQ(hits(), "5:SWR164+2 ") << "none without a callsign, flying live or older than Max fit";
  EXPECT_TRUE(placed.keepFlag && g_stands[3].taken && g_stands[4].taken);

  gf_clearStandSearchHits();
  for (Stand& stand : g_stands) stand.taken = 0;
  gf_addParkedFromFeed(records, 1);
  EXPECT_EQ(hits(), "") << "the kept aircraft reached the count";
}

TEST_F(ParkPopulationTest, TheUsersStandsAreKeptFree) {
  // kept user stand of the front park airport, stand at the user aircraft, blocked
  const std::tuple<const char*, std::optional<std::string>, const char*> cases[] = {
      {"A1", "A2", "Reserved A1, User A2, "}, {"A1", "A1", "Reserved A1, "}, {"", "A2", "User A2, "},
      {"", std::nullopt, ""}};
  for (const auto& [kept, at, expected] : cases) {
    gf_resetParkAirports();
    if (*kept) gf_moveParkAirportToFrontWithStand(IcaoCode("LSZH"), {47.0, 8.0}, kept);
    userAt = at;
    blocked.clear();
    lf_reserveUserStands();
    EXPECT_EQ(blocked, expected) << kept;
  }
}

TEST_F(ParkPopulationTest, TheStaticSetsTakeOverTheActiveSourcesIndex) {
  g_staticCallsigns = {"OLD"};
  {
    std::lock_guard lock(g_rtAppTrafficReader.identityMutex);
    g_rtAppTrafficReader.liveCallsigns = {"SWR1"};
    g_rtAppTrafficReader.liveHexids = {0x4B};
    g_rtAppTrafficReader.collectIdentity = true;
  }
  gf_clearStaticSets();
  EXPECT_EQ(g_staticCallsigns, std::unordered_set<std::string>{"SWR1"});
  EXPECT_EQ(g_staticHexids, std::unordered_set<std::uint32_t>{0x4B});
  EXPECT_TRUE(g_rtAppTrafficReader.liveCallsigns.empty() && !g_rtAppTrafficReader.collectIdentity);

  gf_publishSimChoice(SimChoice{2, 0});  // RT Direct
  {
    std::lock_guard lock(g_rtApiTrafficClient.parkedIndexMutex);
    g_rtApiTrafficClient.parkedHexids = {7};
    g_rtApiTrafficClient.parkedReset = true;
  }
  gf_clearStaticSets();
  EXPECT_TRUE(g_staticCallsigns.empty() && g_staticHexids == std::unordered_set<std::uint32_t>{7});
  EXPECT_FALSE(g_rtApiTrafficClient.parkedReset);
  g_rtApiTrafficClient.parkedHexids.clear();
}

}  // namespace
}  // namespace parking_test
