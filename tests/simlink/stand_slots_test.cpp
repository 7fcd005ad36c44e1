// Half-hour slots: the hour-range text, options learned from aircraft seen on a stand (with
// stays across midnight) and the quality scores.
#include <gtest/gtest.h>

#include <optional>

#include "core/log.h"
#include "refdata/registration.h"
#include "simlink/stand_slots.h"
#include "tests/support/test_support.h"

namespace {

std::uint64_t runOf(std::uint32_t lo, std::uint32_t hi) { return ((std::uint64_t{2} << hi) - 1) >> lo << lo; }

constexpr DbaseEntry kSwiss{9, 0, 3, 0, 1};

class StandSlotsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cwd_.emplace(dir_.path());
    gf_openLog();
    newLog();  // past the header line
  }
  void TearDown() override {
    gf_resetStandTables();
    g_dbaseRecords.clear();
    gf_closeLog();
  }
  std::string newLog() {  // what the log gained since the last call
    gf_flushLog();
    const std::string text = testing_support::readFile(dir_ / "Log.txt");
    return text.substr(std::exchange(seen_, text.size()));
  }

 private:
  testing_support::TempDir dir_;
  std::optional<testing_support::ScopedCurrentDir> cwd_;
  std::size_t seen_ = 0;
};

TEST_F(StandSlotsTest, SlotListsAndHourRangeText) {
  EXPECT_EQ(gf_previousHalfHourSlots({2, 1}, 3), (std::vector<std::uint32_t>{1, 0, 47}));
  struct Case {
    const char* text;
    std::uint64_t set;
    const char* warning;  // "" for none
  };
  const Case cases[] = {
      {"14:20", runOf(14, 20), ""},
      {"20:14", 0, "==> gf_hours2bitset descending range not allowed (20:14 in 20:14)"},
      {"1:2:3", 0, "==> gf_hours2bitset more than one colon char in: 1:2:3"},
      {"3, x, 9", runOf(3, 3) | runOf(9, 9), "==> operator () invalid hour 'x' in 3, x, 9"},
      {"12h", runOf(12, 12), ""},
      {"-0", runOf(0, 0), ""},
      {"48", 0, "invalid hour '48'"},
      {"4294967296", 0, "invalid hour '4294967296'"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(gf_hours2bitset(c.text), c.set) << c.text;
    const std::string log = newLog();
    EXPECT_TRUE(*c.warning ? log.find(c.warning) != std::string::npos : log.empty()) << c.text << "\n" << log;
  }
  EXPECT_EQ(gf_bitset2hours(runOf(5, 5) | runOf(7, 7)), std::nullopt);
  EXPECT_EQ(gf_bitset2hours(runOf(7, 7)), "7");
  EXPECT_EQ(gf_bitset2hours(runOf(0, 47)), "0:47");
}

// An aircraft learned on stand 1 (option 1) is seen there again.
TEST_F(StandSlotsTest, LearningExtendsAStayAndBridgesMidnight) {
  struct Case {
    const char* name;
    AcCategory category;
    std::uint8_t cargo;  // of the registration's dbase entry
    std::uint32_t day, fromFile;
    std::uint64_t hours;
    WeekTime now;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> after;  // day and slots of each option
    std::uint32_t updates;
  };
  using C = AcCategory;
  const Case cases[] = {
      {"gap 3 across midnight", C::large, 0, 3, 0, runOf(44, 46), {4, 1}, {{3, runOf(44, 47)}, {4, runOf(0, 1)}}, 1},
      {"gap of the limit", C::large, 0, 3, 0, runOf(40, 43), {4, 1}, {{3, runOf(40, 43)}, {4, runOf(1, 1)}}, 0},
      {"Sunday to Monday", C::large, 0, 7, 0, runOf(47, 47), {1, 0}, {{7, runOf(47, 47)}, {1, runOf(0, 0)}}, 1},
      {"heavy, gap 7", C::heavy, 0, 4, 0, runOf(5, 5), {4, 12}, {{4, runOf(5, 12)}}, 1},
      {"large, gap 7", C::large, 0, 4, 0, runOf(5, 5), {4, 12}, {{4, runOf(5, 5)}}, 0},
      {"cargo, gap 11", C::large, 1, 4, 0, runOf(1, 1), {4, 12}, {{4, runOf(1, 12)}}, 1},
      {"file option not now", C::large, 0, 4, 1, runOf(30, 30), {4, 12}, {{4, runOf(30, 30)}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_resetStandTables();
    const DbaseEntry entry{9, 0, 3, c.cargo, 1};
    g_dbaseRecords = {DbaseRecord{"HB-JCA", entry}};
    g_stands = {Stand("A1", {}, Lalo{}, 0.0, 20.0, 9, false, false, false)};
    g_stands[0].id = 1;
    g_stands[0].options = {StandOption{entry, "HB-JCA", "", "", c.hours, 1, c.day, c.fromFile, 1, 0}};
    OptionAircraft aircraft{DbaseEntry{}, c.category, "SWR12_", "HB-JCA_"};
    gf_addRealStandOption(g_stands, 1, aircraft, 1, c.now);
    EXPECT_EQ(aircraft.identity, entry);
    ASSERT_EQ(g_stands[0].options.size(), c.after.size());
    for (std::size_t i = 0; i < c.after.size(); ++i) {
      const StandOption& option = g_stands[0].options[i];
      EXPECT_EQ(std::pair(option.day, option.hours), c.after[i]) << i;
      EXPECT_EQ(option.name1, i > 0 ? "SWR12" : (c.updates ? "SWR12" : "")) << i;
    }
    EXPECT_EQ(g_standOptionUpdates, c.updates);
  }
  // Called with its own last use, the bridge reports the second option beside it.
  OptionUse last{{3, 46}, 0};
  Stand& stand = g_stands[0];
  stand.options = {StandOption{kSwiss, "HB-JCA", "", "", runOf(46, 46), 1, 3, 0, 1, 0}};
  const OptionAircraft aircraft{kSwiss, AcCategory::large, "SWR12", "HB-JCA"};
  EXPECT_TRUE(gf_extendRealStandOption({4, 1}, stand, 1, last, aircraft, "HB-JCA", true));
  EXPECT_EQ(last.time, (WeekTime{4, 1}));
  EXPECT_EQ(last.wrappedOption, 2u);
  EXPECT_EQ(stand.options[1].cpl, 1);
}

TEST(StandFileScores, FullStandsFuelStandsAndNoOptions) {
  Stand full("A1", {}, Lalo{}, 0.0, 20.0, 9, false, false, false);
  for (std::uint32_t i = 0; i < 200; ++i)
    full.options.push_back(StandOption{kSwiss, "R", "", "", runOf(0, 47), i + 1, i % 7 + 1, 1, 1, 0});
  Stand fuel = full, dead = full, empty = full;
  fuel.type = PARKING_FUEL;
  for (StandOption& option : dead.options) option.id = 0;
  empty.options.clear();
  EXPECT_EQ(gf_standFileScores(std::vector{full}), (StandFileScores{100, 0}));
  EXPECT_EQ(gf_standFileScores(std::vector{full, empty}), (StandFileScores{50, 0}));
  EXPECT_EQ(gf_standFileScores(std::vector{fuel, fuel}), (StandFileScores{0, 0}));
  EXPECT_EQ(gf_standFileScores(std::vector{empty, dead}), (StandFileScores{-1, -1}));
  EXPECT_EQ(gf_standFileScores(std::vector<Stand>{}), (StandFileScores{-1, -1}));
}

}  // namespace
