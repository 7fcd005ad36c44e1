#include "config/keys.h"

#include <algorithm>
#include <memory>

namespace {

// Every integer from first to last.
std::vector<std::int32_t> lf_everyInt(std::int32_t first, std::int32_t last, std::int32_t step = 1) {
  std::vector<std::int32_t> values;
  for (std::int32_t v = first; v <= last; v += step) values.push_back(v);
  return values;
}

// Every ordering of every non-empty subset of the four packages: larger sets first, sets in
// lexicographic order, the orderings of one set in lexicographic order.
std::vector<std::string> lf_packageOrders() {
  static const std::string packages[] = {"AIG", "FSLTL", "JF", "MTL"};
  std::vector<std::string> orders;
  for (int size = 4; size >= 1; --size) {
    // Choose `size` of the four in lexicographic order of the chosen indices.
    std::vector<bool> chosen(4, false);
    std::fill(chosen.begin(), chosen.begin() + size, true);
    do {
      std::vector<int> picked;
      for (int i = 0; i < 4; ++i)
        if (chosen[static_cast<std::size_t>(i)]) picked.push_back(i);
      do {
        std::string order;
        for (int index : picked) order += (order.empty() ? "" : ", ") + packages[index];
        orders.push_back(std::move(order));
      } while (std::next_permutation(picked.begin(), picked.end()));
    } while (std::prev_permutation(chosen.begin(), chosen.end()));
  }
  return orders;
}

ChoiceList lf_oneEmptyText() {
  return std::make_shared<std::vector<std::string>>(1, std::string());
}

std::vector<float> lf_halfHours() {
  std::vector<float> hours;
  for (int i = 1; i <= 48; ++i) hours.push_back(0.5f * static_cast<float>(i));
  return hours;
}

}  // namespace

// Window and display.
IntOption MAIN_WINDOW_X("MAIN_WINDOW_X", 400, -30000, 30000);
IntOption MAIN_WINDOW_Y("MAIN_WINDOW_Y", 20, -30000, 30000);
BoolOption COLLAPSED("COLLAPSED", true);
CheckboxOption ALWAYS_ON_TOP("ALWAYS_ON_TOP", false, 32773, 775, 795, 175, 1);
ChoiceOption QNH_UNIT("QNH_UNIT", "QNH hPa", {"QNH hPa", "QNH inHg"}, 32784, {775, 775, 135, -7});
CheckboxOption FLIGHT_MESSAGES("FLIGHT_MESSAGES", true, 32796, 765, 785, 239, 1);

// Stored versions and time stamps.
StringOption PROGRAM_VERSION("PROGRAM_VERSION", "");
StringOption AIG_VERSION("AIG_VERSION", "");
StringOption ARCHIVES_VERSION("ARCHIVES_VERSION", "");
StringOption DBASE_VERSION("DBASE_VERSION", "");
StringOption WEEKLY_TRAFFIC_AIRPORTS_VERSION("WEEKLY_TRAFFIC_AIRPORTS_VERSION", "");
StringOption AIRPORTS_VERSION("AIRPORTS_VERSION", "");
IntOption LAST_EPOCH_TIME("LAST_EPOCH_TIME:", 0, 0, 2147483647);

// Simulator, traffic source and links.
ChoiceOption SIM_CHOICE("SIM_CHOICE", "MSFS 2024", {"MSFS 2020", "MSFS 2024"}, 32778, {657, 657, 167, -7});
ChoiceOption RT_CHOISE("RT_CHOISE", "RT Direct", {"RT Direct", "RT App"}, 32779, {657, 657, 135, -7});
StringOption PORT_NUMBER("PORT_NUMBER", "10747");
BoolOption PSX_SERVER_HERE("PSX_SERVER_HERE", true);
CheckboxOption AEROWINX("AEROWINX", false, 32774, 657, 677, 271, 1);
PathOption MSFS_INSTALL_PATH("MSFS_INSTALL_PATH", {});
PathOption MSFS_2024_INSTALL_PATH("MSFS_2024_INSTALL_PATH", {});

// Scans, liveries and matching.
CheckboxOption SKIP_AIRPORT_SCAN("SKIP_AIRPORT_SCAN", false, 32785, 113, 133, 135, 1);
CheckboxOption SKIP_LIVERIES_SCAN("SKIP_LIVERIES_SCAN", false, 32786, 113, 133, 167, 1);
CheckboxOption LIG_PRIORITIZE("LIG_PRIORITIZE", true, 32789, 548, 568, 167, 1);
CheckboxOption LIG_AUTOMATIC("LIG_AUTOMATIC", true, 32788, 222, 242, 167, 1);
const std::vector<std::string> g_aiPackageOrders = lf_packageOrders();
ChoiceOption AI_PACKAGE_SELECTOR("AI_PACKAGE_SELECTOR", "AIG, FSLTL, JF, MTL", g_aiPackageOrders, 32780,
                                 {331, 331, 167, -5});
StringOption lfolder[10] = {StringOption("lfolder0", ""), StringOption("lfolder1", ""), StringOption("lfolder2", ""),
                            StringOption("lfolder3", ""), StringOption("lfolder4", ""), StringOption("lfolder5", ""),
                            StringOption("lfolder6", ""), StringOption("lfolder7", ""), StringOption("lfolder8", ""),
                            StringOption("lfolder9", "")};
IntListOption MATCHING_DEPTH("MATCHING_DEPTH", 4, lf_everyInt(1, 7), 32795, {113, 5, 439, -7});
CheckboxOption RANDOM("RANDOM", true, 32782, 657, 677, 239, 1);
CheckboxOption GUID_CHANGES("GUID_CHANGES", true, 32775, 765, 785, 271, 1);
CheckboxOption OBJECTID_LIST("OBJECTID_LIST", false, 32776, 657, 677, 303, 1);
ButtonOption TBLO_BUTTON("Tblo", 32793, 222, 222, 135, -4);

// Traffic injection.
IntOption RANGE_GROUND("RANGE_GROUND", 10, 2, 100);
IntOption RANGE_1("RANGE_1", 20, 2, 100);
IntOption RANGE_2("RANGE_2", 40, 2, 100);
IntOption RANGE_3("RANGE_3", 50, 1, 100);
IntOption RANGE_ABOVE("RANGE_ABOVE", 60, 2, 100);
IntOption FLIGHT_LEVEL_1("FLIGHT_LEVEL_1", 100, 2, 480);
IntOption FLIGHT_LEVEL_2("FLIGHT_LEVEL_2", 200, 2, 480);
IntOption FLIGHT_LEVEL_3("FLIGHT_LEVEL_3", 300, 2, 480);
IntListOption RANGE("RANGE", 40, lf_everyInt(2, 100), 32802, {113, 188, 375, -5});
CheckboxOption AUTO_RANGE("AUTO_RANGE", true, 32803, 222, 242, 375, 1);
const std::vector<std::int32_t> g_maxSelValues{0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 75, 100, 200, 500};
IntListOption MAX_LIVE_SEL("MAX_LIVE_SEL", 500, g_maxSelValues, 32824, {494, 569, 375, -5});
IntListOption HOLDING_THRESHOLD_METERS("HOLDING_THRESHOLD_METERS", 250,
                                       {10, 50, 100, 150, 200, 250, 300, 350, 400, 450, 500, 600, 700, 800, 900},
                                       32794, {113, 188, 407, -5});
IntListOption MAX_HOLDING_MINUTES("MAX_HOLDING_MINUTES", 3, lf_everyInt(1, 60), 32805, {385, 460, 407, -5});
IntListOption TCAS_FL("TCAS_FL", 180, {100, 120, 140, 160, 180, 200, 220, 240, 260, 280, 300, 320, 440}, 32804,
                      {222, 297, 439, -7});
ChoiceOption ALL_AIR_GND_SELECTOR("ALL_AIR_GND_SELECTOR", "All traffic",
                                  {"All traffic", "Airborne only", "Ground only"}, 32808, {5, 5, 239, -2});
CheckboxOption TWO_PROPS("TWO_PROPS", true, 32798, 113, 133, 471, 1);
CheckboxOption LIGHT_AIRCRAFT("LIGHT_AIRCRAFT", true, 32799, 222, 242, 471, 1);
CheckboxOption HELICOPTERS("HELICOPTERS", true, 32800, 331, 351, 471, 1);
CheckboxOption HIGH_PERF_AIRCRAFT("HIGH_PERF_AIRCRAFT", true, 32801, 440, 460, 471, 1);
CheckboxOption NAV_LIGHTS_WHILE_PARKED("NAV_LIGHTS_WHILE_PARKED", true, 32777, 765, 785, 303, 1);

// Collision avoidance.
CheckboxOption COLLISION_USER_GND("COLLISION_USER_GND", true, 32815, 494, 514, 239, 1);
CheckboxOption COLLISION_USER_AIR("COLLISION_USER_AIR", true, 32814, 494, 514, 271, 1);

// Blocking aircraft.
StringOption BLOCK_AIRCRAFT("BLOCK_AIRCRAFT", "");
StringOption BLOCK_CALLSIGN("BLOCK_CALLSIGN", "");
StringOption BLOCK_REGCODE("BLOCK_REGCODE", "");
IntOption BLOCK_HEXIDDEC("BLOCK_HEXIDDEC", 0, 0, 16777215);  // 24-bit transponder address
DynamicChoiceOption AIRCRAFT_SELECTOR("AIRCRAFT_SELECTOR", "", lf_oneEmptyText(), 32810, {5, 5, 271, -2});
ButtonOption AIRCRAFT_BUTTON("Aircraft", 32809, 222, 222, 239, 0);
ButtonOption BLOCK_BUTTON("Block", 32811, 5, 5, 303, 2);
ButtonOption UNBLOCK_BUTTON("Unblock", 32812, 113, 113, 303, 2);

// Parking.
GuiStringOption DESTINATION("DESTINATION", "", 32819, {5, 80, 543, -4});
DynamicChoiceOption STAND_SELECTOR("STAND_SELECTOR", "", lf_oneEmptyText(), 32818, {167, 341, 543, -3});
IntListOption AIRP_RANGE("AIRP_RANGE", 20, {5, 10, 15, 20, 25, 30}, 32820, {494, 569, 543, -5});
IntListOption AIRP_HEIGHT("AIRP_HEIGHT", 18000,
                          {2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 36000, 48000}, 32821,
                          {657, 755, 543, -5});
IntListOption MAX_PARK_SEL("MAX_PARK_SEL", 500, g_maxSelValues, 32823, {385, 460, 575, -5});
IntListOption PARKING_INTERVAL_MINUTES("PARKING_INTERVAL_MINUTES", 20, {10, 15, 20, 25, 30, 40, 50, 60, 90, 1440},
                                       32827, {657, 732, 479, -5});
CheckboxOption RT_PARKTRAFFIC_ONLY("RT_PARKTRAFFIC_ONLY", false, 32832, 5, 25, 575, 1);
IntOption MAX_FIT("MAX_FIT", 47, 0, 47);
FloatListOption MAX_FIT_FL("MAX_FIT_FL", 24.0f, lf_halfHours(), 32830, {222, 297, 575, -5});
CheckboxOption WEEK("WEEK", false, 32829, 331, 351, 607, 1);
CheckboxOption PARK_SOFT("PARK_SOFT", false, 32828, 494, 514, 607, 1);
IntListOption parking_percentage("parking_percentage", 30, lf_everyInt(0, 100, 5), 32825, {113, 188, 607, -5});
CheckboxOption AUTO_PARK("AUTO_PARK", true, 32826, 5, 25, 607, 1);
ButtonOption PARK_BUTTON("Park", 32822, 765, 765, 511, -2);
ButtonOption FLUSH_BUTTON("Flush", 32833, 765, 765, 607, 2);

// Time shift.
IntListOption TIME_SHIFT_DAYS("TIME_SHIFT_DAYS", 0, lf_everyInt(0, 13), 32838, {765, 840, 375, -5});
IntListOption TIME_SHIFT_HOURS("TIME_SHIFT_HOURS", 0, lf_everyInt(0, 23), 32839, {765, 840, 407, -5});
IntListOption TIME_SHIFT_MINS("TIME_SHIFT_MINS", 0, lf_everyInt(0, 59), 32841, {765, 840, 439, -5});
CheckboxOption SIM_TIME("SIM_TIME", false, 32842, 657, 677, 407, 1);
CheckboxOption KEEP_SIM_TIME_PAR("KEEP_SIM_TIME_PAR", false, 32843, 657, 677, 439, 1);
ButtonOption SET_BUTTON("Set", 32840, 657, 657, 372, -2);

// Built after every option above (same file, so in this order at static construction).
const std::vector<BoolOption*> g_boolOptions{&PSX_SERVER_HERE, &COLLAPSED};
const std::vector<CheckboxOption*> g_checkboxOptions{
    &SKIP_AIRPORT_SCAN, &SKIP_LIVERIES_SCAN, &LIG_PRIORITIZE,      &LIG_AUTOMATIC,       &COLLISION_USER_GND,
    &COLLISION_USER_AIR, &RANDOM,            &ALWAYS_ON_TOP,       &FLIGHT_MESSAGES,     &AEROWINX,
    &GUID_CHANGES,       &OBJECTID_LIST,     &NAV_LIGHTS_WHILE_PARKED, &AUTO_RANGE,      &TWO_PROPS,
    &LIGHT_AIRCRAFT,     &HELICOPTERS,       &HIGH_PERF_AIRCRAFT,  &SIM_TIME,            &KEEP_SIM_TIME_PAR,
    &WEEK,               &PARK_SOFT,         &RT_PARKTRAFFIC_ONLY, &AUTO_PARK};
const std::vector<IntOption*> g_intOptions{
    &MAIN_WINDOW_X, &MAIN_WINDOW_Y, &PARKING_INTERVAL_MINUTES, &LAST_EPOCH_TIME, &BLOCK_HEXIDDEC,
    &MAX_FIT,       &RANGE_GROUND,  &RANGE_1,                  &RANGE_2,         &RANGE_3,
    &RANGE_ABOVE,   &FLIGHT_LEVEL_1, &FLIGHT_LEVEL_2,          &FLIGHT_LEVEL_3};
const std::vector<IntListOption*> g_intListOptions{
    &RANGE,          &HOLDING_THRESHOLD_METERS, &MAX_HOLDING_MINUTES, &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS,
    &MATCHING_DEPTH, &TCAS_FL,                  &TIME_SHIFT_MINS,     &MAX_PARK_SEL,    &MAX_LIVE_SEL,
    &AIRP_RANGE,     &AIRP_HEIGHT,              &parking_percentage};
const std::vector<StringOption*> g_stringOptions{
    &PROGRAM_VERSION,  &AI_PACKAGE_SELECTOR, &AIG_VERSION, &ARCHIVES_VERSION, &DBASE_VERSION,
    &WEEKLY_TRAFFIC_AIRPORTS_VERSION, &AIRPORTS_VERSION, &PORT_NUMBER,
    &lfolder[0], &lfolder[1], &lfolder[2], &lfolder[3], &lfolder[4],
    &lfolder[5], &lfolder[6], &lfolder[7], &lfolder[8], &lfolder[9],
    &BLOCK_AIRCRAFT, &BLOCK_CALLSIGN, &BLOCK_REGCODE, &DESTINATION};
const std::vector<PathOption*> g_pathOptions{&MSFS_INSTALL_PATH, &MSFS_2024_INSTALL_PATH};
const std::vector<ChoiceOption*> g_choiceOptions{&ALL_AIR_GND_SELECTOR, &SIM_CHOICE, &RT_CHOISE, &QNH_UNIT};
