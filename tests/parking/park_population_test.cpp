// Filling the park airport: the wanted count, the RealTraffic parked aircraft handed over by the
// feed, the user's stands kept free, the result lines.
#include "tests/parking/parked_fixture.h"

namespace parking_test {
namespace {

class ParkPopulationTest : public ParkedTest {
 protected:
  void SetUp() override {
    ParkedTest::SetUp();
    FeedNeighbours neighbours;
    neighbours.addParkedFromFeed = gf_addParkedFromFeed;
    gf_setFeedNeighbours(neighbours);
    ParkingHooks hooks;
    hooks.standNameAtPos = [this](const Lalo&) { return userAt; };
    hooks.parkingGenerationDone = [this] { ++generationDone; };
    gf_setParkingHooks(std::move(hooks));
  }
  // A prepared parked list (ages in half-hours) as the RT App reader holds it.
  static void parked(std::vector<ParkedRecord> records) {
    std::lock_guard lock(g_rtAppTrafficReader.parkedMutex);
    g_rtAppTrafficReader.parkedSet = std::move(records);
    g_rtAppTrafficReader.parkedSetPrepared = true;
    g_rtAppTrafficReader.parkedReceived = true;
  }
  // Reported at stand number stand; "A2" is too short a stand name to be looked for.
  static ParkedRecord record(std::uint32_t hexid, std::int32_t age, std::size_t stand) {
    ParkedRecord r;
    r.hexid = hexid;
    r.halfHourSlot = age;
    r.callsign = fmt::format("SWR{}", hexid);
    r.registration = fmt::format("HB-{}", hexid);
    r.modelId = gf_internModelName("A320");
    r.lalo = g_stands.at(stand - 1).position;
    r.standName = "A2";
    return r;
  }
  static std::vector<gui::SetStaticTarget> targetsShown() {
    std::vector<gui::SetStaticTarget> shown;
    std::lock_guard lock(g_gui.queueMutex);
    for (const GuiUpdate& update : g_gui.queue)
      if (const auto* target = std::get_if<gui::SetStaticTarget>(&update)) shown.push_back(*target);
    g_gui.queue.clear();
    return shown;
  }

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
    settings(c.percentage, c.cap, c.rtOnly);
    targetsShown();
    EXPECT_EQ(gf_wantedParkedCount(*g_parameterSnapshot.load()), c.count) << c.stands << " at " << c.percentage;
    EXPECT_EQ(g_staticTargetCount, c.count);
    const std::vector<gui::SetStaticTarget> shown = targetsShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].percent, c.percent) << c.stands << " at " << c.percentage;
  }
}

TEST_F(ParkPopulationTest, RealTrafficParkedOnlyPlacesTheFeedsAircraftWithoutASearch) {
  stands(50);
  settings(30, 20, true);
  parked({record(0xA1, 3, 1), record(0xA2, 1, 6), record(0xA3, 2, 10)});
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
  g_stands[1].options.push_back(
      StandOption{.reg = "HB-JNA", .name1 = "SWR12", .hours = std::uint64_t{1} << kNow.slot, .id = 1, .day = kNow.day,
                  .real = 1});
  settings(50, 500, false);
  gf_populateParkAirport();
  searchToEnd();
  EXPECT_EQ(hits(), "2:SWR12+0 ");
  EXPECT_TRUE(contains(newLog(), "\n1 positions (50% vs wanted 50%) auto park\n"));

  g_stands[1].options.clear();
  gf_populateParkAirport();
  searchToEnd();
  EXPECT_TRUE(contains(newLog(), "no parking positions found"));
  EXPECT_EQ(generationDone, 1);
}

TEST_F(ParkPopulationTest, TheFeedsParkedAircraftUpToMaxFitOnFreeStands) {
  settings(30, 500, false, 4);
  StaticAc& placed = staticParked("SWR163", 4);  // stands for 0xA3 already
  placed.hitFlag = 0;
  placed.hitKind = 0xA3;
  g_staticHexids.insert(0xA2);  // flying live
  std::vector<ParkedRecord> records = {record(0xA1, 0, 1), record(0xA2, 1, 2), record(0xA3, 1, 3),
                                       record(0xA4, 2, 5), record(0xA5, 5, 6)};
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
  // kept user stand of the front park airport, stand at the user aircraft, stands blocked
  const std::tuple<const char*, std::optional<std::string>, const char*> cases[] = {
      {"A1", "A2", "A1 A2 "}, {"A1", "A1", "A1 "}, {"", "A2", "A2 "}, {"", std::nullopt, ""}};
  for (const auto& [kept, at, expected] : cases) {
    stands(3);
    gf_resetParkAirports();
    if (*kept) gf_moveParkAirportToFrontWithStand(IcaoCode("LSZH"), {47.0, 8.0}, kept);
    userAt = at;
    lf_reserveUserStands();
    std::string blocked;
    for (const Stand& stand : g_stands)
      if (stand.blocked) blocked += stand.name + " ";
    EXPECT_EQ(blocked, expected) << kept;
  }
}

}  // namespace
}  // namespace parking_test
