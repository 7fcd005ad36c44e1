// The stand search by day and week: the searched half-hour, the offsets and passes the settings
// allow, aircraft already in use, the alternating direction, and RealTraffic parked aircraft.
#include <functional>

#include "config/parameter_snapshot.h"
#include "feed/rt_api_traffic_client.h"
#include "parking/stand_search.h"
#include "simlink/stand_slots.h"
#include "tests/parking/parking_fixture.h"
#include "traffic/engine_state.h"

namespace parking_test {
namespace {

constexpr WeekTime kMonday2{1, 2};  // Monday 01:00

StandOption option(const char* reg, std::uint32_t day, std::uint32_t slot) {
  StandOption o;
  o.reg = reg;
  o.name1 = std::string("C") + reg;
  o.day = day;
  o.hours = std::uint64_t{1} << slot;
  o.real = 1;
  return o;
}

class StandSearchTest : public ParkingTest {
 protected:
  void SetUp() override {
    ParkingTest::SetUp();
    settings(false, false, false, 47);
  }
  void TearDown() override {
    gf_resetStandSearch();
    gf_resetStandTables();
    {
      std::lock_guard lock(g_rtApiTrafficClient.parkedRecordsMutex);
      g_rtApiTrafficClient.parkedRecords.clear();
      g_rtApiTrafficClient.parkedRecordsPrepared = false;
    }
    gf_resetParameterSnapshot();
    ParkingTest::TearDown();
  }
  static void settings(bool autoPark, bool week, bool soft, std::uint32_t maxFit) {
    gf_changeParameterSnapshot([=](ParameterSnapshot& s) {
      s.autoPark = autoPark;
      s.week = week;
      s.parkSoft = soft;
      s.maxFit = maxFit;
      s.random = false;
    });
  }
  // Stands numbered in order, 100 m apart, each with the options given.
  static void stands(std::vector<std::vector<StandOption>> options, std::uint32_t type = 9) {
    g_stands.clear();
    for (std::size_t i = 0; i < options.size(); ++i) {
      for (std::size_t k = 0; k < options[i].size(); ++k) options[i][k].id = static_cast<std::uint32_t>(k + 1);
      Stand& stand = g_stands.emplace_back(fmt::format("S{}", i + 1), std::move(options[i]),
                                           Lalo{47.0, 8.0 + 0.0015 * static_cast<double>(i)}, 0.0, 20.0, type,
                                           false, false, false);
      stand.id = static_cast<std::uint32_t>(i + 1);
    }
  }
  static std::string hits() {
    std::string text;
    for (const StandSearchHit& hit : g_standSearchHits)
      text += fmt::format("{}:{}+{}{} ", hit.standId, hit.reg, hit.slotOffset, hit.flag ? "" : "rt");
    return text;
  }
  static std::string passesLogged(const std::string& log) {
    std::string passes;
    for (std::size_t at = 0; (at = log.find("Results for ", at)) != std::string::npos; at += 12)
      passes += log.substr(at + 12, log.find(" search", at) - at - 12) + " ";
    return passes;
  }
};

TEST_F(StandSearchTest, TheSearchedHalfHourRunsBackIntoTheDayBefore) {
  // offset, the option's weekday and slot, found
  const std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, bool> cases[] = {
      {5, 7, 45, true}, {5, 7, 44, false}, {5, 1, 45, false}, {2, 1, 0, true}, {0, 1, 2, true}};
  for (const auto& [offset, day, slot, found] : cases) {
    gf_resetStandSearch();
    stands({{option("HB-A", day, slot)}});
    StandSearchCounts counts;
    EXPECT_EQ(lf_searchStands(kMonday2, offset, true, true, counts, 1), found) << offset << " " << slot;
    EXPECT_EQ(hits(), found ? fmt::format("1:HB-A+{} ", offset) : "") << slot;
  }
}

TEST_F(StandSearchTest, MaxFitBoundsTheOffsetsWithoutAutoPark) {
  stands({{option("HB-A", 1, 1)}});
  settings(false, false, false, 0);  // offset 0 only
  EXPECT_FALSE(lf_searchPass(kMonday2, true, true, 1));
  settings(false, false, false, 1);
  EXPECT_TRUE(lf_searchPass(kMonday2, true, true, 1));
  EXPECT_EQ(hits(), "1:HB-A+1 ");
  EXPECT_TRUE(contains(newLog(), "1 airport file position , with Max fit=1.0 hours, day 1\n"));
}

TEST_F(StandSearchTest, PassesBySettingAndSoftQuality) {
  // AUTO_PARK, WEEK, PARK_SOFT, Qf_soft, needed, the passes run (needed 0: none, nothing logged)
  const std::tuple<bool, bool, bool, std::int32_t, std::uint32_t, const char*> cases[] = {
      {false, false, false, 10, 2, "real "},         {true, false, false, 10, 2, "real real/week soft soft/week "},
      {true, false, false, 0, 2, "real real/week "}, {false, true, false, 10, 2, "real real/week "},
      {false, false, true, 10, 2, "real soft "},     {false, true, true, 10, 2, "real real/week soft soft/week "},
      {false, true, true, 10, 0, ""}};
  for (const auto& [autoPark, week, soft, qfSoft, needed, passes] : cases) {
    stands({{option("HB-A", 3, 2)}, {}});
    settings(autoPark, week, soft, 47);
    g_parkAirportQf = StandFileScores{40, qfSoft};
    lf_runStandSearch(WeekTime{3, 2}, needed);
    const std::string log = newLog();
    EXPECT_EQ(passesLogged(log), passes) << autoPark << week << soft << qfSoft << needed;
    EXPECT_EQ(g_standSearchHits.size(), needed ? 1u : 0u);
    EXPECT_EQ(contains(log, "1 airport file position auto park, day 3\n"), autoPark) << log;
    gf_clearStandSearchHits();
  }
}

TEST_F(StandSearchTest, AnOptionWhoseAircraftIsInUseIsSetAsideNotKilled) {
  stands({{option("HB-A", 1, 2), option("HB-D", 1, 2), option("HB-B", 1, 2)}, {}});
  g_stands[0].options[1].id = 0;
  g_standSearchHits.push_back(StandSearchHit{0, 1, 2, 0, {}, "", "", "HB-A", true});
  StandSearchCounts counts;
  EXPECT_TRUE(lf_searchStands(kMonday2, 0, true, true, counts, 1));
  EXPECT_EQ(hits(), "2:HB-A+0 1:HB-B+0 ");
  const std::vector<StandOption>& options = g_stands[0].options;
  EXPECT_TRUE(options[0].id == 1 && options[0].setAside) << "still learned data, only passed over";

  gf_renumberStandOptions(g_stands);
  EXPECT_FALSE(options[0].setAside);
  EXPECT_EQ(fmt::format("{} {} {}", options[0].id, options[1].id, options[2].id), "1 0 2");
}

// name1 while the aircraft stands there the half-hour after now, across midnight by the next day's option.
TEST_F(StandSearchTest, WhichNameTheHitFliesUnder) {
  // now, more slots of the chosen option, the weekday of a second option of the same aircraft holding
  // slot 0 (0: none), name2, useName1
  const std::tuple<WeekTime, std::uint64_t, std::uint32_t, const char*, bool> cases[] = {
      {{1, 2}, 1u << 3, 0, "B", true}, {{1, 2}, 0, 0, "B", false}, {{1, 2}, 0, 0, "", true},
      {{7, 47}, 0, 1, "B", true},      {{7, 47}, 0, 7, "B", false}};
  for (const auto& [now, moreHours, nextDay, name2, useName1] : cases) {
    StandOption chosen = option("HB-A", now.day, now.slot);
    chosen.hours |= moreHours;
    chosen.name2 = name2;
    stands({{chosen, option("HB-A", nextDay, 0)}});
    gf_clearStandSearchHits();
    StandSearchCounts counts;
    ASSERT_TRUE(lf_searchStands(now, 0, true, true, counts, 1));
    EXPECT_EQ(g_standSearchHits.front().useName1, useName1) << now.day << " " << moreHours << nextDay;
  }
}

TEST_F(StandSearchTest, ConsecutiveSearchesStartAtOppositeEnds) {
  std::string chosen;
  for (int search = 0; search < 3; ++search) {
    stands({{option("HB-A", 1, 2)}, {option("HB-B", 1, 2)}});
    gf_clearStandSearchHits();
    StandSearchCounts counts;
    ASSERT_TRUE(lf_searchStands(kMonday2, 0, true, true, counts, 1));
    chosen += hits();
  }
  EXPECT_EQ(chosen, "1:HB-A+0 2:HB-B+0 1:HB-A+0 ");
}

TEST_F(StandSearchTest, RealTrafficParkedAircraftByTheirAgeInTheFirstPass) {
  stands({{}, {}, {}}, 14);
  std::vector<ParkedRecord> records(3);
  for (std::uint32_t i = 0; i < 3; ++i) {
    records[i].hexid = 0xA1 + i;
    records[i].halfHourSlot = std::array{2, 6, 0}[i];
    records[i].callsign = fmt::format("SWR{}", records[i].hexid);
    records[i].registration = fmt::format("HB-{}", records[i].hexid);
    records[i].lalo = g_stands[i].position;
  }
  g_staticHexids.insert(0xA3u);  // flying live
  settings(false, false, false, 4);
  const auto publish = [&records](bool prepared) {
    std::lock_guard lock(g_rtApiTrafficClient.parkedRecordsMutex);
    g_rtApiTrafficClient.parkedRecords = records;
    g_rtApiTrafficClient.parkedRecordsPrepared = prepared;
  };
  publish(false);
  EXPECT_FALSE(lf_searchPass(kMonday2, true, true, 3));
  EXPECT_EQ(hits(), "") << "a list not prepared yet is not read";
  publish(true);
  EXPECT_FALSE(lf_searchPass(kMonday2, true, true, 3));
  EXPECT_EQ(hits(), "1:HB-161+2rt ") << "parked 6 half-hours ago is beyond Max fit";
  settings(false, false, false, 6);
  EXPECT_FALSE(lf_searchPass(kMonday2, true, true, 3));
  EXPECT_EQ(hits(), "1:HB-161+2rt 2:HB-162+6rt ");
  EXPECT_TRUE(contains(newLog(), "\n1 RT park position\n"));
}

// Sliced as finely as it goes (the clock looked at every few stands is always past the slice's
// end), the search plans, keeps and logs what the search in one go does, over every sub-step:
// RealTraffic parked aircraft, static aircraft that stay and the stand file's options of all passes.

TEST_F(StandSearchTest, TheSearchInSlicesPlansAndLogsWhatTheSearchInOneGoDoes) {
  // AUTO_PARK, WEEK, PARK_SOFT, needed
  const std::tuple<bool, bool, bool, std::uint32_t> cases[] = {
      {false, false, false, 3}, {true, false, false, 6}, {false, true, true, 9}, {true, true, true, 30}};
  for (const auto& [autoPark, week, soft, needed] : cases) {
    settings(autoPark, week, soft, 47);
    const auto plan = [&, needed = needed](bool sliced) {
      gf_resetStandSearch();
      g_parkAirportQf = StandFileScores{40, 10};
      std::vector<std::vector<StandOption>> options(14);
      for (std::uint32_t i = 0; i < options.size(); ++i) {
        StandOption o = option(fmt::format("HB-{}", i).c_str(), 1 + i % 3, (2 + SLOTS_PER_DAY - 3 * i) % SLOTS_PER_DAY);
        o.real = i % 4 != 3;
        options[i].push_back(o);
      }
      options[13].push_back(option("HB-S", 1, 1));  // the static aircraft's, half an hour ago
      stands(std::move(options), 14);
      g_staticAcs.clear();
      StaticAc& kept = g_staticAcs.emplace_back();
      kept.callsign = kept.name1 = "CHB-S";
      kept.registration = "HB-S";
      kept.standId = 14;
      kept.simState = SimStatus::active;
      std::vector<ParkedRecord> records(2);
      for (std::uint32_t i = 0; i < records.size(); ++i) {
        records[i].hexid = 0xB1 + i;
        records[i].halfHourSlot = std::array{1, 5}[i];
        records[i].callsign = fmt::format("SWR{}", records[i].hexid);
        records[i].registration = fmt::format("HB-R{}", i);
        records[i].lalo = g_stands[10 + i].position;
      }
      {
        std::lock_guard lock(g_rtApiTrafficClient.parkedRecordsMutex);
        g_rtApiTrafficClient.parkedRecords = records;
        g_rtApiTrafficClient.parkedRecordsPrepared = true;
      }
      newLog();
      int slices = 1;
      if (sliced) {
        std::int64_t nanos = 0;
        const std::function<std::int64_t()> clock = [&nanos] { return ++nanos; };
        gf_startStandSearch(kMonday2, needed);
        for (; gf_stepStandSearch(clock, 1); ++slices) EXPECT_TRUE(gf_standSearchRunning());
        EXPECT_FALSE(gf_standSearchRunning());
      } else {
        lf_runStandSearch(kMonday2, needed);
      }
      std::string taken;
      for (const Stand& stand : g_stands) taken += stand.taken ? "x" : ".";
      return std::pair{fmt::format("{}{} kept {}\n{}", hits(), taken, g_staticAcs[0].keepFlag, newLog()), slices};
    };
    const auto [whole, one] = plan(false);
    const auto [sliced, slices] = plan(true);
    EXPECT_EQ(sliced, whole) << autoPark << week << soft;
    EXPECT_GT(slices, 2) << whole;
  }
}

}  // namespace
}  // namespace parking_test
