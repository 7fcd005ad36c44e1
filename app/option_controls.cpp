#include "app/option_controls.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <mutex>

#include "app/controls.h"
#include "appbase/gui.h"
#include "app/main_window.h"
#include "app/window_seams.h"
#include "app/worker_seams.h"
#include "config/keys.h"
#include "config/parameter_load.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "core/text.h"

namespace {

// Sizes in 96-DPI units; a combo box's height is the height of its opened list.
constexpr int kListShort = 200;
constexpr int kListLong = 300;
constexpr int kButtonHeight = 26;

void lf_add(ui::Hwnd control) {
  if (ui::isWindow(control)) g_optionControls.push_back(control);
}

void lf_checkbox(CheckboxOption& option, ui::Hwnd parent) { lf_add(gf_createCheckboxControl(option, parent)); }
void lf_combo(GuiControl& option, ui::Hwnd parent, int width, int height = kListShort) {
  lf_add(gf_createComboControl(option, parent, width, height));
}
void lf_button(ButtonOption& option, ui::Hwnd parent, int width) {
  lf_add(gf_createButtonControl(option, parent, width, kButtonHeight));
}

void lf_enable(const GuiControl& control, bool enabled = true) {
  if (ui::isWindow(control.window)) ui::enableWindow(control.window, enabled);
}

void lf_fillAndEnable(const IntListOption& option) {
  option.fillCombo();
  lf_enable(option);
}

void lf_fillAndEnable(const ChoiceOption& option) {
  option.fillCombo();
  lf_enable(option);
}

}  // namespace

void lf_createOptionControls(ui::Hwnd parent) {
  g_optionControls.clear();
  lf_button(TBLO_BUTTON, parent, 80);
  for (CheckboxOption* option : {&SKIP_AIRPORT_SCAN, &SKIP_LIVERIES_SCAN, &LIG_PRIORITIZE, &LIG_AUTOMATIC})
    lf_checkbox(*option, parent);
  lf_combo(AI_PACKAGE_SELECTOR, parent, 210, kListLong);
  lf_combo(RT_CHOISE, parent, 110);
  lf_combo(QNH_UNIT, parent, 115);
  lf_combo(SIM_CHOICE, parent, 110);
  lf_combo(ALL_AIR_GND_SELECTOR, parent, 200);
  lf_button(AIRCRAFT_BUTTON, parent, 100);
  lf_combo(AIRCRAFT_SELECTOR, parent, 480, kListLong);
  lf_button(BLOCK_BUTTON, parent, 100);
  lf_button(UNBLOCK_BUTTON, parent, 100);
  lf_checkbox(COLLISION_USER_GND, parent);
  lf_checkbox(COLLISION_USER_AIR, parent);
  lf_combo(RANGE, parent, 70, kListLong);
  lf_checkbox(AUTO_RANGE, parent);
  lf_combo(MAX_LIVE_SEL, parent, 70);
  lf_combo(HOLDING_THRESHOLD_METERS, parent, 70);
  lf_combo(MAX_HOLDING_MINUTES, parent, 70, kListLong);
  for (CheckboxOption* option : {&TWO_PROPS, &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT})
    lf_checkbox(*option, parent);
  lf_combo(MATCHING_DEPTH, parent, 100);
  lf_combo(TCAS_FL, parent, 70);
  lf_combo(PARKING_INTERVAL_MINUTES, parent, 70);

  // The destination is typed, and its Enter key handled by its own procedure.
  DESTINATION.window = ui::createControl(parent, ui::ControlKind::Edit, static_cast<int>(DESTINATION.controlId), "",
                                         ui::Rect{DESTINATION.x, DESTINATION.y + DESTINATION.dy, 70, 28});
  if (ui::isWindow(DESTINATION.window)) {
    DESTINATION.previousWndProc = nullptr;  // the layer's edit has no procedure of its own
    ui::setControlProc(DESTINATION.window, gf_destinationEditProc);
    ui::setWindowFont(DESTINATION.window, g_gui.controlFont, true);
    ui::enableWindow(DESTINATION.window, false);
  }
  lf_add(DESTINATION.window);

  lf_combo(STAND_SELECTOR, parent, 170, kListLong);
  lf_combo(AIRP_RANGE, parent, 70);
  lf_combo(AIRP_HEIGHT, parent, 93);
  lf_checkbox(RT_PARKTRAFFIC_ONLY, parent);
  lf_combo(MAX_FIT_FL, parent, 70, kListLong);
  lf_combo(MAX_PARK_SEL, parent, 70);
  lf_combo(parking_percentage, parent, 70);
  for (CheckboxOption* option : {&AUTO_PARK, &WEEK, &PARK_SOFT}) lf_checkbox(*option, parent);
  lf_button(PARK_BUTTON, parent, 100);
  lf_button(FLUSH_BUTTON, parent, 100);
  for (CheckboxOption* option :
       {&RANDOM, &ALWAYS_ON_TOP, &FLIGHT_MESSAGES, &AEROWINX, &GUID_CHANGES, &OBJECTID_LIST, &NAV_LIGHTS_WHILE_PARKED})
    lf_checkbox(*option, parent);
  lf_combo(TIME_SHIFT_DAYS, parent, 70);
  lf_button(SET_BUTTON, parent, 90);
  lf_checkbox(SIM_TIME, parent);
  lf_combo(TIME_SHIFT_HOURS, parent, 70, kListLong);
  lf_checkbox(KEEP_SIM_TIME_PAR, parent);
  lf_combo(TIME_SHIFT_MINS, parent, 70, kListLong);

  Gui::enqueueUpdate(gui::Redraw{REDRAW_PANEL});
  gf_setParkAirport(AirportRef{});
  Gui::enqueueUpdate(gui::SetCompact{COLLAPSED.value});
}

void lf_initOptionControls() {
  // 1
  lf_enable(OBJECTID_LIST);
  lf_fillAndEnable(RT_CHOISE);
  lf_fillAndEnable(QNH_UNIT);
  Gui::enqueueUpdate(gui::SetQnhInHg{QNH_UNIT.value == "QNH inHg"});
  // 2
  // A control that hangs on a condition follows it both ways: it may have been created enabled.
  lf_enable(GUID_CHANGES, gf_isMsfs2020());
  for (CheckboxOption* option : {&RANDOM, &ALWAYS_ON_TOP, &NAV_LIGHTS_WHILE_PARKED, &LIG_AUTOMATIC, &LIG_PRIORITIZE,
                                 &SKIP_AIRPORT_SCAN, &SKIP_LIVERIES_SCAN})
    lf_enable(*option);
  // 3
  if (!g_tbloMode) {
    std::error_code error;
    if (std::filesystem::exists(g_tbloFolder / g_tbloZipName, error)) {
      g_tbloMode = true;
      gf_showTbloMailHint();
    }
  }
  lf_enable(TBLO_BUTTON);
  // 4
  for (CheckboxOption* option : {&TWO_PROPS, &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT}) lf_enable(*option);
  RANGE.fillCombo();
  lf_enable(AUTO_RANGE);
  lf_enable(RANGE, !AUTO_RANGE.value);
  // 5
  lf_fillAndEnable(HOLDING_THRESHOLD_METERS);
  lf_fillAndEnable(MAX_HOLDING_MINUTES);
  TCAS_FL.fillCombo();
  lf_fillAndEnable(MATCHING_DEPTH);
  // 6
  lf_enable(BLOCK_BUTTON);
  lf_enable(UNBLOCK_BUTTON, !BLOCK_AIRCRAFT.value.load().empty());
  lf_enable(COLLISION_USER_GND);
  lf_enable(COLLISION_USER_AIR);
  lf_enable(PARK_BUTTON);
  // 7
  lf_fillAndEnable(MAX_PARK_SEL);
  lf_fillAndEnable(MAX_LIVE_SEL);
  lf_fillAndEnable(ALL_AIR_GND_SELECTOR);
  lf_enable(AIRCRAFT_BUTTON);
  AIRCRAFT_SELECTOR.fillCombo();
  lf_enable(AIRCRAFT_SELECTOR);
  STAND_SELECTOR.fillCombo();
  lf_enable(STAND_SELECTOR);
  // 8
  lf_enable(AEROWINX, !gf_isRtDirect());
  // 9
  // Filled always: ticking "automatic" later only enables it.
  AI_PACKAGE_SELECTOR.fillCombo();
  lf_enable(AI_PACKAGE_SELECTOR, LIG_AUTOMATIC.value);
  lf_fillAndEnable(SIM_CHOICE);
  lf_enable(DESTINATION);
  // 10
  for (IntListOption* option : {&AIRP_RANGE, &AIRP_HEIGHT, &PARKING_INTERVAL_MINUTES, &parking_percentage})
    lf_fillAndEnable(*option);
  // 11
  if (ui::isWindow(MAX_FIT_FL.window)) {
    ui::comboResetContent(MAX_FIT_FL.window);
    for (float hours : MAX_FIT_FL.values) ui::comboAddString(MAX_FIT_FL.window, fmt::format("{:.1f}", hours));
    auto it = std::find(MAX_FIT_FL.values.begin(), MAX_FIT_FL.values.end(), MAX_FIT_FL.value);
    if (it != MAX_FIT_FL.values.end())
      ui::comboSetCurSel(MAX_FIT_FL.window, static_cast<int>(it - MAX_FIT_FL.values.begin()));
    gf_syncMaxFitFl();
  }
  // 12
  for (const GuiControl* control :
       std::initializer_list<const GuiControl*>{&WEEK, &PARK_SOFT, &FLUSH_BUTTON, &AUTO_PARK, &RT_PARKTRAFFIC_ONLY})
    lf_enable(*control);
  gf_updateParkTrafficOnlyControls();
  gf_updateAutoParkControls();
  lf_enable(MAX_FIT_FL, !(!RT_PARKTRAFFIC_ONLY.value && AUTO_PARK.value));
}

void lf_initTimeShiftControls() {
  IntListOption* lists[] = {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS};
  if (!gf_isRtDirect()) {
    lf_enable(KEEP_SIM_TIME_PAR, false);
    for (IntListOption* list : lists) lf_enable(*list, false);
    lf_enable(SIM_TIME, false);
    Gui::enqueueUpdate(gui::LockTimeShift{});
    lf_enable(SET_BUTTON, false);
    return;
  }
  for (IntListOption* list : lists) list->fillCombo();
  lf_enable(KEEP_SIM_TIME_PAR);
  const bool shifted = TIME_SHIFT_DAYS.value != TIME_SHIFT_DAYS.defaultValue ||
                       TIME_SHIFT_HOURS.value != TIME_SHIFT_HOURS.defaultValue ||
                       TIME_SHIFT_MINS.value != TIME_SHIFT_MINS.defaultValue;
  if (!SIM_TIME.value && shifted) gf_applyTimeShift(gf_timeShiftMinutes(), false, true);
  if (SIM_TIME.value) gf_resetLastSimTime();
  for (IntListOption* list : lists) lf_enable(*list);
  lf_enable(SIM_TIME);
  lf_enable(SET_BUTTON, false);
}

void lf_reenableScanControls() {
  lf_enable(LIG_AUTOMATIC);
  lf_enable(LIG_PRIORITIZE);
  lf_enable(SKIP_LIVERIES_SCAN);
  lf_enable(AI_PACKAGE_SELECTOR, LIG_AUTOMATIC.value);
  Gui::enqueueUpdate(gui::Redraw{REDRAW_PANEL});
}

namespace {

void lf_showTextInGui(std::uint32_t controlId, const std::string& text) noexcept {
  try {
    try {
      (void)utf8_to_wide(text);  // the control takes only text that converts
    } catch (const std::exception& e) {
      gf_logNoexcept(fmt::format("utf8_to_wide failed for '{}': {}", text, e.what()));
      return;
    }
    const ui::Hwnd control = ui::getDlgItem(gf_mainWindow(), static_cast<int>(controlId));
    if (control == ui::Hwnd::null) {
      gf_logNoexcept(fmt::format("GetDlgItem failed for ID {}", controlId));
      return;
    }
    ui::setWindowText(control, text);
    Gui::enqueueUpdate(gui::Redraw{REDRAW_PANEL});
  } catch (...) {
    // Never throws: this runs inside the saves of parameters.xml.
  }
}

}  // namespace

void gf_showInGui(const IntListOption& option) noexcept {
  try {
    lf_showTextInGui(option.controlId, std::to_string(option.value));
  } catch (...) {
  }
}

void gf_showInGui(const GuiStringOption& option) noexcept { lf_showTextInGui(option.controlId, option.value); }

int gf_maxFitIndex(float hours) {
  const float held = std::clamp(hours, 0.5f, 24.0f);
  return std::clamp(static_cast<int>(std::lround(2.0f * held)) - 1, 0, 47);
}

void gf_clampMaxFitValue(float hours) {
  MAX_FIT_FL.value = std::clamp(hours, MAX_FIT_FL.minimum, MAX_FIT_FL.maximum);
}
