#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "config/keys.h"
#include "tests/config/parameters_fixture.h"

namespace {

// A row whose key is the option's own identifier.
#define K(option, ...) {&option, #option, __VA_ARGS__}

// Every option with a control: key or caption, id and layout as the main window places them.
struct GuiRow {
  const GuiControl* control;
  const char* name;
  std::uint32_t id;
  ControlLayout layout;
};

const std::vector<GuiRow>& guiRows() {
  static const std::vector<GuiRow> rows{
      K(ALWAYS_ON_TOP, 32773, {775, 795, 175, 1}), K(QNH_UNIT, 32784, {775, 775, 135, -7}),
      K(FLIGHT_MESSAGES, 32796, {765, 785, 239, 1}), K(SIM_CHOICE, 32778, {657, 657, 167, -7}),
      K(RT_CHOISE, 32779, {657, 657, 135, -7}), K(AEROWINX, 32774, {657, 677, 271, 1}),
      K(SKIP_AIRPORT_SCAN, 32785, {113, 133, 135, 1}), K(SKIP_LIVERIES_SCAN, 32786, {113, 133, 167, 1}),
      K(LIG_PRIORITIZE, 32789, {548, 568, 167, 1}), K(LIG_AUTOMATIC, 32788, {222, 242, 167, 1}),
      K(AI_PACKAGE_SELECTOR, 32780, {331, 331, 167, -5}), K(MATCHING_DEPTH, 32795, {113, 5, 439, -7}),
      K(RANDOM, 32782, {657, 677, 239, 1}), K(GUID_CHANGES, 32775, {765, 785, 271, 1}),
      K(OBJECTID_LIST, 32776, {657, 677, 303, 1}), {&TBLO_BUTTON, "Tblo", 32793, {222, 222, 135, -4}},
      K(RANGE, 32802, {113, 188, 375, -5}), K(AUTO_RANGE, 32803, {222, 242, 375, 1}),
      K(MAX_LIVE_SEL, 32824, {494, 569, 375, -5}), K(HOLDING_THRESHOLD_METERS, 32794, {113, 188, 407, -5}),
      K(MAX_HOLDING_MINUTES, 32805, {385, 460, 407, -5}), K(TCAS_FL, 32804, {222, 297, 439, -7}),
      K(ALL_AIR_GND_SELECTOR, 32808, {5, 5, 239, -2}), K(TWO_PROPS, 32798, {113, 133, 471, 1}),
      K(LIGHT_AIRCRAFT, 32799, {222, 242, 471, 1}), K(HELICOPTERS, 32800, {331, 351, 471, 1}),
      K(HIGH_PERF_AIRCRAFT, 32801, {440, 460, 471, 1}), K(NAV_LIGHTS_WHILE_PARKED, 32777, {765, 785, 303, 1}),
      K(COLLISION_USER_GND, 32815, {494, 514, 239, 1}), K(COLLISION_USER_AIR, 32814, {494, 514, 271, 1}),
      K(AIRCRAFT_SELECTOR, 32810, {5, 5, 271, -2}), {&AIRCRAFT_BUTTON, "Aircraft", 32809, {222, 222, 239, 0}},
      {&BLOCK_BUTTON, "Block", 32811, {5, 5, 303, 2}}, {&UNBLOCK_BUTTON, "Unblock", 32812, {113, 113, 303, 2}},
      K(DESTINATION, 32819, {5, 80, 543, -4}), K(STAND_SELECTOR, 32818, {167, 341, 543, -3}),
      K(AIRP_RANGE, 32820, {494, 569, 543, -5}), K(AIRP_HEIGHT, 32821, {657, 755, 543, -5}),
      K(MAX_PARK_SEL, 32823, {385, 460, 575, -5}), K(PARKING_INTERVAL_MINUTES, 32827, {657, 732, 479, -5}),
      K(RT_PARKTRAFFIC_ONLY, 32832, {5, 25, 575, 1}), K(MAX_FIT_FL, 32830, {222, 297, 575, -5}),
      K(WEEK, 32829, {331, 351, 607, 1}), K(PARK_SOFT, 32828, {494, 514, 607, 1}),
      K(parking_percentage, 32825, {113, 188, 607, -5}), K(AUTO_PARK, 32826, {5, 25, 607, 1}),
      {&PARK_BUTTON, "Park", 32822, {765, 765, 511, -2}}, {&FLUSH_BUTTON, "Flush", 32833, {765, 765, 607, 2}},
      K(TIME_SHIFT_DAYS, 32838, {765, 840, 375, -5}), K(TIME_SHIFT_HOURS, 32839, {765, 840, 407, -5}),
      K(TIME_SHIFT_MINS, 32841, {765, 840, 439, -5}), K(SIM_TIME, 32842, {657, 677, 407, 1}),
      K(KEEP_SIM_TIME_PAR, 32843, {657, 677, 439, 1}), {&SET_BUTTON, "Set", 32840, {657, 657, 372, -2}},
  };
  return rows;
}

TEST(KeysTest, ControlIdsAreUniqueAndEachControlSitsWhereItBelongs) {
  std::set<std::uint32_t> ids;
  for (const auto& row : guiRows()) {
    const GuiControl& c = *row.control;
    EXPECT_TRUE(ids.insert(c.controlId).second) << row.name << " repeats id " << c.controlId;
    EXPECT_GE(c.controlId, 32773u) << row.name;
    EXPECT_LE(c.controlId, 32843u) << row.name;
    EXPECT_EQ(c.controlId, row.id) << row.name;
    EXPECT_EQ(c.x, row.layout.x) << row.name;
    EXPECT_EQ(c.labelX, row.layout.labelX) << row.name;
    EXPECT_EQ(c.y, row.layout.y) << row.name;
    EXPECT_EQ(c.dy, row.layout.dy) << row.name;
    EXPECT_EQ(c.window, ui::Hwnd::null) << row.name;
    EXPECT_EQ(dynamic_cast<const Option&>(c).name, row.name);
  }
  // Every check box of the stored list is among the rows, so no control was left out.
  for (const CheckboxOption* box : g_checkboxOptions)
    EXPECT_TRUE(std::any_of(guiRows().begin(), guiRows().end(),
                            [box](const GuiRow& r) { return r.control == box; }))
        << box->name;
  EXPECT_EQ(guiRows().size(), 54u);  // the main window's 54 option controls
}

TEST(KeysTest, DefaultsAndLimits) {
  struct IntRow { const IntOption* option; const char* key; std::int32_t defaultValue, minimum, maximum; };
  const IntRow ints[] = {
      K(MAIN_WINDOW_X, 400, -30000, 30000), K(MAIN_WINDOW_Y, 20, -30000, 30000),
      {&LAST_EPOCH_TIME, "LAST_EPOCH_TIME:", 0, 0, 2147483647}, K(RANGE_GROUND, 10, 2, 100), K(RANGE_1, 20, 2, 100),
      K(RANGE_2, 40, 2, 100), K(RANGE_3, 50, 1, 100), K(RANGE_ABOVE, 60, 2, 100), K(FLIGHT_LEVEL_1, 100, 2, 480),
      K(FLIGHT_LEVEL_2, 200, 2, 480), K(FLIGHT_LEVEL_3, 300, 2, 480), K(BLOCK_HEXIDDEC, 0, 0, 16777215),
      K(MAX_FIT, 47, 0, 47), K(RANGE, 40, 2, 100), K(MAX_LIVE_SEL, 500, 0, 500),
      K(HOLDING_THRESHOLD_METERS, 250, 10, 900), K(MAX_HOLDING_MINUTES, 3, 1, 60), K(TCAS_FL, 180, 100, 440),
      K(MATCHING_DEPTH, 4, 1, 7), K(AIRP_RANGE, 20, 5, 30), K(AIRP_HEIGHT, 18000, 2000, 48000),
      K(MAX_PARK_SEL, 500, 0, 500), K(PARKING_INTERVAL_MINUTES, 20, 10, 1440), K(parking_percentage, 30, 0, 100),
      K(TIME_SHIFT_DAYS, 0, 0, 13), K(TIME_SHIFT_HOURS, 0, 0, 23), K(TIME_SHIFT_MINS, 0, 0, 59),
  };
  for (const auto& r : ints) {
    EXPECT_EQ(r.option->name, r.key);
    EXPECT_EQ(r.option->defaultValue, r.defaultValue) << r.key;
    EXPECT_EQ(r.option->value.load(), r.defaultValue) << r.key;
    EXPECT_EQ(r.option->minimum, r.minimum) << r.key;
    EXPECT_EQ(r.option->maximum, r.maximum) << r.key;
  }

  struct BoolRow { const BoolOption* option; const char* key; bool defaultValue; };
  const BoolRow bools[] = {
      K(COLLAPSED, true), K(ALWAYS_ON_TOP, false), K(FLIGHT_MESSAGES, true), K(PSX_SERVER_HERE, true),
      K(AEROWINX, false), K(SKIP_AIRPORT_SCAN, false), K(SKIP_LIVERIES_SCAN, false), K(LIG_PRIORITIZE, true),
      K(LIG_AUTOMATIC, true), K(RANDOM, true), K(GUID_CHANGES, true), K(OBJECTID_LIST, false), K(AUTO_RANGE, true),
      K(TWO_PROPS, true), K(LIGHT_AIRCRAFT, true), K(HELICOPTERS, true), K(HIGH_PERF_AIRCRAFT, true),
      K(NAV_LIGHTS_WHILE_PARKED, true), K(COLLISION_USER_GND, true), K(COLLISION_USER_AIR, true),
      K(RT_PARKTRAFFIC_ONLY, false), K(WEEK, false), K(PARK_SOFT, false), K(AUTO_PARK, true), K(SIM_TIME, false),
      K(KEEP_SIM_TIME_PAR, false),
  };
  for (const auto& r : bools) {
    EXPECT_EQ(r.option->name, r.key);
    EXPECT_EQ(r.option->defaultValue, r.defaultValue) << r.key;
  }

  struct TextRow { const StringOption* option; const char* key; const char* defaultValue; };
  const TextRow texts[] = {
      K(QNH_UNIT, "QNH hPa"), K(SIM_CHOICE, "MSFS 2024"), K(RT_CHOISE, "RT Direct"), K(PORT_NUMBER, "10747"),
      K(AI_PACKAGE_SELECTOR, "AIG, FSLTL, JF, MTL"), K(ALL_AIR_GND_SELECTOR, "All traffic"), K(PROGRAM_VERSION, ""),
      K(DBASE_VERSION, ""), K(BLOCK_AIRCRAFT, ""), K(DESTINATION, ""), K(AIRCRAFT_SELECTOR, ""),
      K(STAND_SELECTOR, ""), {&lfolder[0], "lfolder0", ""}, {&lfolder[9], "lfolder9", ""},
  };
  for (const auto& r : texts) {
    EXPECT_EQ(r.option->name, r.key);
    EXPECT_EQ(r.option->defaultValue, r.defaultValue) << r.key;
  }
  EXPECT_TRUE(MSFS_INSTALL_PATH.defaultValue.empty());
  EXPECT_TRUE(MSFS_2024_INSTALL_PATH.defaultValue.empty());
  EXPECT_EQ(*AIRCRAFT_SELECTOR.choices.load(), std::vector<std::string>{""});
  EXPECT_EQ(*STAND_SELECTOR.choices.load(), std::vector<std::string>{""});
}

TEST(KeysTest, ValueLists) {
  EXPECT_EQ(RANGE.values.size(), 99u);
  EXPECT_EQ(RANGE.values.front(), 2);
  EXPECT_EQ(RANGE.values.back(), 100);
  EXPECT_EQ(MAX_PARK_SEL.values, MAX_LIVE_SEL.values);
  EXPECT_EQ(MAX_LIVE_SEL.values, (std::vector<std::int32_t>{0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 75, 100, 200, 500}));
  EXPECT_EQ(parking_percentage.values.size(), 21u);
  EXPECT_EQ(parking_percentage.values[20], 100);
  EXPECT_EQ(MAX_HOLDING_MINUTES.values.size(), 60u);
  EXPECT_EQ(TIME_SHIFT_MINS.values.size(), 60u);
  ASSERT_EQ(MAX_FIT_FL.values.size(), 48u);
  EXPECT_EQ(MAX_FIT_FL.values.front(), 0.5f);
  EXPECT_EQ(MAX_FIT_FL.values.back(), 24.0f);
  EXPECT_EQ(MAX_FIT_FL.value.load(), 24.0f);
  EXPECT_EQ(SIM_CHOICE.choices, (std::vector<std::string>{"MSFS 2020", "MSFS 2024"}));
  EXPECT_EQ(RT_CHOISE.choices, (std::vector<std::string>{"RT Direct", "RT App"}));
  EXPECT_EQ(ALL_AIR_GND_SELECTOR.choices, (std::vector<std::string>{"All traffic", "Airborne only", "Ground only"}));
  EXPECT_EQ(QNH_UNIT.choices, (std::vector<std::string>{"QNH hPa", "QNH inHg"}));
}

TEST(KeysTest, SixtyFourPackageOrders) {
  const auto& orders = AI_PACKAGE_SELECTOR.choices;
  ASSERT_EQ(orders.size(), 64u);
  EXPECT_EQ(std::set<std::string>(orders.begin(), orders.end()).size(), 64u);
  struct Case { std::size_t position; const char* order; };  // position counted from 1
  const Case cases[] = {{1, "AIG, FSLTL, JF, MTL"}, {2, "AIG, FSLTL, MTL, JF"}, {24, "MTL, JF, FSLTL, AIG"},
                        {25, "AIG, FSLTL, JF"},      {30, "JF, FSLTL, AIG"},      {31, "AIG, FSLTL, MTL"},
                        {48, "MTL, JF, FSLTL"},      {49, "AIG, FSLTL"},          {50, "FSLTL, AIG"},
                        {51, "AIG, JF"},             {60, "MTL, JF"},             {61, "AIG"},
                        {63, "JF"},                  {64, "MTL"}};
  for (const auto& c : cases) EXPECT_EQ(orders[c.position - 1], c.order) << c.position;
  EXPECT_EQ(AI_PACKAGE_SELECTOR.defaultValue, orders.front());
}

TEST(KeysTest, StoredListsHoldEachKeyOnceAndNothingUnstored) {
  const std::vector<std::string> names = params_test::storedNames();
  EXPECT_EQ(names.size(), 2u + 24 + 14 + 13 + 22 + 4 + 2);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
  for (const char* never : {"AIRCRAFT_SELECTOR", "STAND_SELECTOR", "MAX_FIT_FL", "Tblo", "Set", "Park"})
    EXPECT_EQ(std::count(names.begin(), names.end(), never), 0) << never;
  // Stored by their plain part: an int and a text.
  EXPECT_EQ(g_intOptions[2], static_cast<IntOption*>(&PARKING_INTERVAL_MINUTES));
  EXPECT_EQ(g_stringOptions[1], static_cast<StringOption*>(&AI_PACKAGE_SELECTOR));
  EXPECT_EQ(g_stringOptions.back(), static_cast<StringOption*>(&DESTINATION));
  EXPECT_EQ(g_checkboxOptions.front()->name, "SKIP_AIRPORT_SCAN");
  EXPECT_EQ(g_checkboxOptions.back()->name, "AUTO_PARK");
  EXPECT_EQ(g_intListOptions.back()->name, "parking_percentage");
}

}  // namespace
