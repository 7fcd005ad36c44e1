#pragma once
// Every setting of the program, one option object per key of parameters.xml, named as its key
// (case and spelling included: RT_CHOISE, lfolder0..9, parking_percentage; LAST_EPOCH_TIME's
// key ends in a colon). Built at static construction with their defaults.
#include <string>
#include <vector>

#include "config/options.h"

// Window and display. MAIN_WINDOW_X/Y belong to the main window's Gui object, which refers to
// these two (config cannot reach into the window's code).
extern IntOption MAIN_WINDOW_X;
extern IntOption MAIN_WINDOW_Y;
extern BoolOption COLLAPSED;
extern CheckboxOption ALWAYS_ON_TOP;
extern ChoiceOption QNH_UNIT;
extern CheckboxOption FLIGHT_MESSAGES;

// Stored versions and time stamps.
extern StringOption PROGRAM_VERSION;
extern StringOption AIG_VERSION;
extern StringOption ARCHIVES_VERSION;
extern StringOption DBASE_VERSION;
extern StringOption WEEKLY_TRAFFIC_AIRPORTS_VERSION;
extern StringOption AIRPORTS_VERSION;
extern IntOption LAST_EPOCH_TIME;  // key "LAST_EPOCH_TIME:"

// Simulator, traffic source and links.
extern ChoiceOption SIM_CHOICE;
extern ChoiceOption RT_CHOISE;
extern StringOption PORT_NUMBER;
extern BoolOption PSX_SERVER_HERE;
extern CheckboxOption AEROWINX;
extern PathOption MSFS_INSTALL_PATH;
extern PathOption MSFS_2024_INSTALL_PATH;

// Scans, liveries and matching.
extern CheckboxOption SKIP_AIRPORT_SCAN;
extern CheckboxOption SKIP_LIVERIES_SCAN;
extern CheckboxOption LIG_PRIORITIZE;
extern CheckboxOption LIG_AUTOMATIC;
extern const std::vector<std::string> g_aiPackageOrders;  // the 64 orders of AIG, FSLTL, JF, MTL
extern ChoiceOption AI_PACKAGE_SELECTOR;
extern StringOption lfolder[10];  // keys "lfolder0" .. "lfolder9"
extern IntListOption MATCHING_DEPTH;
extern CheckboxOption RANDOM;
extern CheckboxOption GUID_CHANGES;
extern CheckboxOption OBJECTID_LIST;
extern ButtonOption TBLO_BUTTON;

// Traffic injection.
extern IntOption RANGE_GROUND;
extern IntOption RANGE_1;
extern IntOption RANGE_2;
extern IntOption RANGE_3;
extern IntOption RANGE_ABOVE;
extern IntOption FLIGHT_LEVEL_1;
extern IntOption FLIGHT_LEVEL_2;
extern IntOption FLIGHT_LEVEL_3;
extern IntListOption RANGE;
extern CheckboxOption AUTO_RANGE;
extern const std::vector<std::int32_t> g_maxSelValues;  // shared by MAX_LIVE_SEL and MAX_PARK_SEL
extern IntListOption MAX_LIVE_SEL;
extern IntListOption HOLDING_THRESHOLD_METERS;
extern IntListOption MAX_HOLDING_MINUTES;
extern IntListOption TCAS_FL;
extern ChoiceOption ALL_AIR_GND_SELECTOR;
extern CheckboxOption TWO_PROPS;
extern CheckboxOption LIGHT_AIRCRAFT;
extern CheckboxOption HELICOPTERS;
extern CheckboxOption HIGH_PERF_AIRCRAFT;
extern CheckboxOption NAV_LIGHTS_WHILE_PARKED;

// Collision avoidance.
extern CheckboxOption COLLISION_USER_GND;
extern CheckboxOption COLLISION_USER_AIR;

// Blocking aircraft.
extern StringOption BLOCK_AIRCRAFT;
extern StringOption BLOCK_CALLSIGN;
extern StringOption BLOCK_REGCODE;
extern IntOption BLOCK_HEXIDDEC;
extern DynamicChoiceOption AIRCRAFT_SELECTOR;
extern ButtonOption AIRCRAFT_BUTTON;
extern ButtonOption BLOCK_BUTTON;
extern ButtonOption UNBLOCK_BUTTON;

// Parking.
extern GuiStringOption DESTINATION;
extern DynamicChoiceOption STAND_SELECTOR;
extern IntListOption AIRP_RANGE;
extern IntListOption AIRP_HEIGHT;
extern IntListOption MAX_PARK_SEL;
extern IntListOption PARKING_INTERVAL_MINUTES;
extern CheckboxOption RT_PARKTRAFFIC_ONLY;
extern IntOption MAX_FIT;
extern FloatListOption MAX_FIT_FL;
extern CheckboxOption WEEK;
extern CheckboxOption PARK_SOFT;
extern IntListOption parking_percentage;
extern CheckboxOption AUTO_PARK;
extern ButtonOption PARK_BUTTON;
extern ButtonOption FLUSH_BUTTON;

// Time shift.
extern IntListOption TIME_SHIFT_DAYS;
extern IntListOption TIME_SHIFT_HOURS;
extern IntListOption TIME_SHIFT_MINS;
extern CheckboxOption SIM_TIME;
extern CheckboxOption KEEP_SIM_TIME_PAR;
extern ButtonOption SET_BUTTON;

// The options by class, as parameters.xml stores them; their order is the order in which
// defaults are written and values logged. PARKING_INTERVAL_MINUTES is stored as a plain int
// and AI_PACKAGE_SELECTOR as a plain text. The selectors, MAX_FIT_FL and the buttons are
// never stored.
extern const std::vector<BoolOption*> g_boolOptions;
extern const std::vector<CheckboxOption*> g_checkboxOptions;
extern const std::vector<IntOption*> g_intOptions;
extern const std::vector<IntListOption*> g_intListOptions;
extern const std::vector<StringOption*> g_stringOptions;
extern const std::vector<PathOption*> g_pathOptions;
extern const std::vector<ChoiceOption*> g_choiceOptions;
