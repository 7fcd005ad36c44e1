// RT Direct's parked aircraft are asked for and come at a later parking step: the population and
// the adjustment return at once and go on once the reader has answered (or its wait ran out, or
// the licence refused), never waiting on the worker's tick.
#include "feed/rt_api_traffic_client.h"
#include "parking/parked_wait.h"
#include "tests/parking/parked_fixture.h"

namespace parking_test {
namespace {

std::optional<Lalo> lf_airport() { return Lalo{47.0, 8.0}; }

class ParkedWaitTest : public ParkedTest {
 protected:
  void SetUp() override {
    ParkedTest::SetUp();
    gf_publishSimChoice(SimChoice{2, 0});  // RT Direct
    g_rtApiTrafficClient.resetForRestart();
    FeedNeighbours neighbours;
    neighbours.addParkedFromFeed = gf_addParkedFromFeed;
    neighbours.parkAirport = &lf_airport;
    gf_setFeedNeighbours(neighbours);
    ParkingHooks hooks;
    hooks.parkingGenerationDone = [this] { ++generationDone; };
    gf_setParkingHooks(std::move(hooks));
    // A stand-file aircraft for stand 2 now.
    g_stands[1].options.push_back(StandOption{.reg = "HB-JNA", .name1 = "SWR12",
                                              .hours = std::uint64_t{1} << kNow.slot, .id = 1, .day = kNow.day,
                                              .real = 1});
  }
  void TearDown() override {
    gf_cancelParkedWait();
    g_rtApiTrafficClient.resetForRestart();
    g_rtApiTrafficClient.parkedWaitMs = 10000;
    ParkedTest::TearDown();
  }
  // The reader thread's part: the answer to the request asked last.
  static void answer(std::int32_t status, std::vector<ParkedRecord> records = {}) {
    RTAPITrafficClient& client = g_rtApiTrafficClient;
    ASSERT_TRUE(client.parkedRequested.exchange(false)) << "asked";
    {
      std::lock_guard lock(client.parkedRecordsMutex);
      client.parkedRecords = std::move(records);
      client.parkedRecordsPrepared = false;
    }
    client.parkedStatus = status;
    client.parkedAnswered = client.parkedRequestTag.load();
  }
  // Seen now at stand number stand, as the service reports it.
  static ParkedRecord seen(std::uint32_t hexid, std::size_t stand) {
    ParkedRecord r;
    r.hexid = hexid;
    r.halfHourSlot = gf_halfHourSlot();
    r.callsign = fmt::format("SWR{}", hexid);
    r.registration = fmt::format("HB-{}", hexid);
    r.modelId = gf_internModelName("A320");
    r.lalo = g_stands.at(stand - 1).position;
    r.standName = "A2";
    return r;
  }
  static std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }
  // The log's new lines and the status-line texts queued for the window.
  std::string said() {
    std::string text = newLog();
    std::lock_guard lock(g_gui.queueMutex);
    for (const GuiUpdate& update : g_gui.queue)
      if (const auto* shown = std::get_if<gui::ShowMessage>(&update)) text += shown->text + "\n";
    g_gui.queue.clear();
    return text;
  }
  int generationDone = 0;
};

TEST_F(ParkedWaitTest, APopulationOrAnAdjustmentGoesOnOnceTheAnswerIsIn) {
  enum class Outcome { records, timedOut, gaveUp };
  struct Case {
    const char* what;
    bool adjustment;
    Outcome outcome;
    const char* hits;  // after the answer
    const char* logged;
  };
  const Case cases[] = {
      {"population, aircraft", false, Outcome::records, "5:SWR161+0 ", "\n1 positions with RT Parked only\n"},
      {"adjustment, aircraft", true, Outcome::records, "5:SWR161+0 ", "RT Parking changes: 0 to be removed, 1 to be added"},
      {"population, time out", false, Outcome::timedOut, "2:SWR12+0 ", "ParkedTraffic receiving timed out"},
      {"adjustment, time out", true, Outcome::timedOut, "2:SWR12+0 ", "Parking adjustments: 0 to be removed, 1 to be added"},
      {"population, airport given up", false, Outcome::gaveUp, "", ""},
  };
  for (const Case& c : cases) {
    const bool rtOnly = c.outcome == Outcome::records;
    settings(50, 500, rtOnly);
    gf_clearStandSearchHits();
    g_rtApiTrafficClient.resetForRestart();
    g_rtApiTrafficClient.parkedWaitMs = 10000;
    if (c.adjustment)
      gf_adjustParking(false);
    else
      gf_populateParkAirport();
    // Asked, and back at once: nothing planned yet, the generation not over.
    EXPECT_TRUE(g_rtApiTrafficClient.parkedRequested.load()) << c.what;
    EXPECT_TRUE(gf_parkedWaitPending()) << c.what;
    EXPECT_EQ(hits(), "") << c.what;
    EXPECT_TRUE(gf_resumeParkedWait()) << c.what << ": still waiting";
    switch (c.outcome) {
      case Outcome::records:
        answer(0, {seen(0xA1, 5)});
        break;
      case Outcome::timedOut:
        g_rtApiTrafficClient.parkedWaitMs = 0;
        break;
      case Outcome::gaveUp:
        gf_resetParkAirport();
        stands(10);
        break;
    }
    EXPECT_FALSE(gf_resumeParkedWait()) << c.what;
    EXPECT_FALSE(gf_parkedWaitPending()) << c.what;
    searchToEnd();
    EXPECT_EQ(hits(), c.hits) << c.what;
    const std::string text = said();
    EXPECT_TRUE(contains(text, c.logged)) << c.what << "\n" << text;
    g_rtApiTrafficClient.parkedRequested = false;
  }
  EXPECT_EQ(generationDone, 0);
}

// A licence without parked data: the airport is filled from the stand file, the log says once
// why there are no RealTraffic parked aircraft, and the service is not asked again.
TEST_F(ParkedWaitTest, A403LeavesTheStandFileAircraftAndIsSaidOnce) {
  gf_populateParkAirport();
  answer(403);
  EXPECT_FALSE(gf_resumeParkedWait());
  searchToEnd();
  EXPECT_EQ(hits(), "2:SWR12+0 ");
  gf_adjustParking(false);
  EXPECT_FALSE(gf_parkedWaitPending()) << "not asked again";
  EXPECT_FALSE(g_rtApiTrafficClient.parkedRequested.load());
  searchToEnd();
  gf_populateParkAirport();
  EXPECT_FALSE(gf_parkedWaitPending());
  searchToEnd();
  EXPECT_EQ(hits(), "2:SWR12+0 ");
  const std::string log = newLog();
  EXPECT_EQ(count(log, "No RealTraffic parked aircraft: No data for this license type"), 1u) << log;
  EXPECT_EQ(count(log, "1 positions (10% vs wanted 30%)"), 2u) << log;
}

}  // namespace
}  // namespace parking_test
