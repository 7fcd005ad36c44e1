// Half-hour slots: the hour-range text, options learned from aircraft seen on a stand (with
// stays across midnight), the match of a parked aircraft and the quality scores.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

#include "core/log.h"
#include "refdata/registration.h"
#include "simlink/stand_slots.h"
#include "tests/support/test_support.h"

namespace {

std::uint64_t slotsOf(std::initializer_list<std::uint32_t> slots) {
  std::uint64_t set = 0;
  for (const std::uint32_t slot : slots) set |= std::uint64_t{1} << slot;
  return set;
}
std::uint64_t runOf(std::uint32_t lo, std::uint32_t hi) {
  std::uint64_t set = 0;
  for (std::uint32_t slot = lo; slot <= hi; ++slot) set |= std::uint64_t{1} << slot;
  return set;
}

constexpr DbaseEntry kSwiss{7, 0, 3, 0, 1};

class StandSlotsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cwd_.emplace(dir_.path());
    gf_openLog();
    newLog();  // past the header line
    gf_resetStandTables();
  }
  void TearDown() override {
    gf_resetStandTables();
    g_dbaseRecords.clear();
    gf_closeLog();
  }
  // What the log gained since the last call.
  std::string newLog() {
    gf_flushLog();
    const std::string text = testing_support::readFile(dir_ / "Log.txt");
    std::string added = text.substr(seen_);
    seen_ = text.size();
    return added;
  }

 private:
  testing_support::TempDir dir_;
  std::optional<testing_support::ScopedCurrentDir> cwd_;
  std::size_t seen_ = 0;
};

TEST(HalfHourSlots, PreviousSlotsWrapToTheDayBefore) {
  using V = std::vector<std::uint32_t>;
  EXPECT_EQ(gf_previousHalfHourSlots({2, 1}, 3), (V{1, 0, 47}));
  EXPECT_EQ(gf_previousHalfHourSlots({1, 20}, 0), V{});
  EXPECT_EQ(gf_previousHalfHourSlots({1, 20}, 60).size(), 48u);
}

TEST_F(StandSlotsTest, HourRangeText) {
  struct Case {
    const char* text;
    std::uint64_t set;
    const char* warning;  // "" for none
  };
  const Case cases[] = {
      {"14:20", runOf(14, 20), ""},
      {"17", slotsOf({17}), ""},
      {"20:14", 0, "==> gf_hours2bitset descending range not allowed (20:14 in 20:14)"},
      {"1:2:3", 0, "==> gf_hours2bitset more than one colon char in: 1:2:3"},
      {"3, x, 9", slotsOf({3, 9}), "==> operator () invalid hour 'x' in 3, x, 9"},
      {"12h", slotsOf({12}), ""},
      {"-0", slotsOf({0}), ""},
      {"48", 0, "invalid hour '48'"},
      {"-3", 0, "invalid hour '-3'"},
      {"4294967296", 0, "invalid hour '4294967296'"},
      {"5:x", 0, "invalid hour 'x' in 5:x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(gf_hours2bitset(c.text), c.set) << c.text;
    const std::string log = newLog();
    if (*c.warning)
      EXPECT_NE(log.find(c.warning), std::string::npos) << c.text << "\n" << log;
    else
      EXPECT_EQ(log, "") << c.text;
  }
  EXPECT_EQ(gf_bitset2hours(slotsOf({5, 7})), std::nullopt);
  EXPECT_EQ(gf_bitset2hours(0), std::nullopt);
  EXPECT_EQ(gf_bitset2hours(slotsOf({7})), "7");
  EXPECT_EQ(gf_bitset2hours(runOf(0, 47)), "0:47");
  EXPECT_EQ(gf_bitset2hours(slotsOf({48})), std::nullopt);
}

TEST_F(StandSlotsTest, FindOrAddKeepsOneOptionPerRegistrationDayAndIdentity) {
  std::vector<StandOption> options;
  EXPECT_EQ(gf_findOrAddStandOption(options, kSwiss, 4, 10, "HB-JCA_", 1).added, true);
  EXPECT_EQ(options[0].reg, "HB-JCA");
  EXPECT_EQ(options[0].hours, slotsOf({10}));
  const OptionAdded again = gf_findOrAddStandOption(options, kSwiss, 4, 11, "HB-JCA", 1);
  EXPECT_EQ(again.id, 1u);
  EXPECT_FALSE(again.added);
  EXPECT_EQ(gf_findOrAddStandOption(options, kSwiss, 5, 11, "HB-JCA", 1).id, 2u);
  EXPECT_THROW(gf_findOrAddStandOption(options, kSwiss, 6, 48, "HB-JCA", 1), std::out_of_range);
}

// An aircraft already learned on stand 1 is seen there again.
TEST_F(StandSlotsTest, LearningExtendsAStayAndBridgesMidnight) {
  struct Option {
    std::uint32_t day;
    std::uint64_t hours;
  };
  struct Case {
    const char* name;
    AcCategory category;
    std::uint8_t cargo;    // of the registration's dbase entry
    Option before;         // option 1, learned
    std::uint32_t fromFile;
    WeekTime now;
    std::vector<Option> after;
    std::uint32_t updates;
  };
  const Case cases[] = {
      {"gap 3 across midnight", AcCategory::large, 0, {3, runOf(44, 46)}, 0, {4, 1},
       {{3, runOf(44, 47)}, {4, slotsOf({0, 1})}}, 1},
      {"gap of the limit", AcCategory::large, 0, {3, runOf(40, 43)}, 0, {4, 1},
       {{3, runOf(40, 43)}, {4, slotsOf({1})}}, 0},
      {"same day", AcCategory::large, 0, {4, slotsOf({8, 9})}, 0, {4, 12}, {{4, runOf(8, 12)}}, 1},
      {"Sunday to Monday", AcCategory::large, 0, {7, slotsOf({47})}, 0, {1, 0},
       {{7, slotsOf({47})}, {1, slotsOf({0})}}, 1},
      {"heavy, gap 7", AcCategory::heavy, 0, {4, slotsOf({5})}, 0, {4, 12}, {{4, runOf(5, 12)}}, 1},
      {"large, gap 7", AcCategory::large, 0, {4, slotsOf({5})}, 0, {4, 12}, {{4, slotsOf({5})}}, 0},
      {"cargo, gap 11", AcCategory::large, 1, {4, slotsOf({1})}, 0, {4, 12}, {{4, runOf(1, 12)}}, 1},
      {"file option not covering now", AcCategory::large, 0, {4, slotsOf({30})}, 1, {4, 12},
       {{4, slotsOf({30})}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gf_resetStandTables();
    const DbaseEntry entry{9, 0, 3, c.cargo, 1};
    g_dbaseRecords = {DbaseRecord{"HB-JCA", entry}};
    Stand stand("A1", {}, Lalo{47.0, 8.0}, 0.0, 20.0, 9, false, false, false);
    stand.id = 1;
    StandOption learned;
    learned.identity = entry;
    learned.reg = "HB-JCA";
    learned.hours = c.before.hours;
    learned.id = 1;
    learned.day = c.before.day;
    learned.real = 1;
    learned.fromFile = c.fromFile;
    stand.options.push_back(learned);
    g_stands.push_back(stand);

    OptionAircraft aircraft{DbaseEntry{}, c.category, "SWR12_", "HB-JCA_"};
    gf_addRealStandOption(g_stands, 1, aircraft, 1, c.now);
    EXPECT_EQ(aircraft.identity, entry);
    ASSERT_EQ(g_stands[0].options.size(), c.after.size());
    for (std::size_t i = 0; i < c.after.size(); ++i) {
      EXPECT_EQ(g_stands[0].options[i].day, c.after[i].day) << i;
      EXPECT_EQ(g_stands[0].options[i].hours, c.after[i].hours) << i;
      EXPECT_EQ(g_stands[0].options[i].id, i + 1);
    }
    if (c.after.size() > 1) {
      EXPECT_EQ(g_stands[0].options[1].name1, "SWR12");
    }
    EXPECT_EQ(g_standOptionUpdates, c.updates);
  }
}

TEST_F(StandSlotsTest, ABridgedStayRecordsItsSecondOption) {
  Stand stand("A1", {}, Lalo{}, 0.0, 20.0, 9, false, false, false);
  stand.options.push_back(StandOption{kSwiss, "HB-JCA", "", "", slotsOf({46}), 1, 3, 0, 1, 0});
  OptionUse last{{3, 46}, 0};
  const OptionAircraft aircraft{kSwiss, AcCategory::large, "SWR12", "HB-JCA"};
  EXPECT_TRUE(gf_extendRealStandOption({4, 1}, stand, 1, last, aircraft, "HB-JCA", true));
  EXPECT_EQ(last.time, (WeekTime{4, 1}));
  EXPECT_EQ(last.wrappedOption, 2u);
  EXPECT_EQ(stand.options[1].cpl, 1);
  EXPECT_EQ(stand.options[0].name1, "SWR12");
}

TEST(StandOptionMatch, ParkedAircraftTakesTheNamesOfANearbyOption) {
  Stand stand("A1", {}, Lalo{}, 0.0, 20.0, 9, false, false, false);
  stand.options.push_back(StandOption{kSwiss, "HB-JCA", "SWR12", "LX12", slotsOf({20}), 1, 4, 1, 1, 0});
  const std::vector<Stand> stands{stand};
  struct Case {
    AcCategory category;
    const char* callsign;
    WeekTime now;
    bool matches;
  };
  for (const Case& c : {Case{AcCategory::large, "SWR12_", {4, 30}, true},
                        Case{AcCategory::large, "LX12", {4, 31}, false},  // 10 slots either side
                        Case{AcCategory::heavy, "LX12", {4, 34}, true},   // 14 for heavies
                        Case{AcCategory::large, "SWR12", {5, 20}, false},
                        Case{AcCategory::large, "_", {4, 20}, false}}) {
    const auto names = gf_matchRealStandOption(stands, c.now, OptionAircraft{kSwiss, c.category, c.callsign, ""});
    EXPECT_EQ(names.has_value(), c.matches) << c.callsign << " at " << c.now.slot;
    if (names) {
      EXPECT_EQ(*names, (std::pair<std::string, std::string>{"SWR12", "LX12"}));
    }
  }
}

TEST(StandFileScores, FullStandsFuelStandsAndNoOptions) {
  Stand full("A1", {}, Lalo{}, 0.0, 20.0, 9, false, false, false);
  for (std::uint32_t i = 0; i < 200; ++i)
    full.options.push_back(StandOption{kSwiss, "R", "", "", runOf(0, 47), i + 1, i % 7 + 1, 1, 1, 0});
  Stand fuel = full;
  fuel.type = PARKING_FUEL;
  Stand dead = full;
  for (StandOption& option : dead.options) option.id = 0;
  Stand empty("B1", {}, Lalo{}, 0.0, 20.0, 9, false, false, false);

  EXPECT_EQ(gf_standFileScores(std::vector<Stand>{full}), (StandFileScores{100, 0}));
  EXPECT_EQ(gf_standFileScores(std::vector<Stand>{full, empty}), (StandFileScores{50, 0}));
  EXPECT_EQ(gf_standFileScores(std::vector<Stand>{fuel, fuel}), (StandFileScores{0, 0}));
  EXPECT_EQ(gf_standFileScores(std::vector<Stand>{empty, dead}), (StandFileScores{-1, -1}));
  EXPECT_EQ(gf_standFileScores(std::vector<Stand>{}), (StandFileScores{-1, -1}));
}

}  // namespace
