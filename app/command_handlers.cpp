#include "app/command_handlers.h"

#include <fmt/format.h>

#include <exception>
#include <filesystem>

#include "app/engine_requests.h"
#include "appbase/gui.h"
#include "app/main_window.h"
#include "app/option_controls.h"
#include "appbase/stop_request.h"
#include "app/window_seams.h"
#include "config/keys.h"
#include "config/parameter_load.h"
#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "core/program.h"
#include "feed/rt_app_traffic.h"

namespace {

constexpr std::string_view kProgramName = "JORV";

void lf_show(std::string_view text) { Gui::showMessage(text, false); }
void lf_showAndLog(std::string_view text) { Gui::showMessage(text, true); }

void lf_enable(const GuiControl& control, bool enabled) {
  if (ui::isWindow(control.window)) ui::enableWindow(control.window, enabled);
}

void lf_newSettingsRestart(std::uint32_t delaySeconds) { gf_requestStop(StopReason::NewSettings, delaySeconds); }

// --- buttons ---

bool lf_handleButton(ui::Hwnd window, ui::WParam wParam) {
  const std::uint32_t id = ui::loWord(wParam);
  if (id == BLOCK_BUTTON.controlId) {
    if (ui::comboGetCurSel(AIRCRAFT_SELECTOR.window) >= 0 && !AIRCRAFT_SELECTOR.value.load().empty())
      gf_blockSelectedAircraft();
    else
      lf_showAndLog("Nothing to block ...");
    return true;
  }
  if (id == AIRCRAFT_BUTTON.controlId) {
    g_aircraftListRequested = true;
    lf_enable(BLOCK_BUTTON, false);
    return true;
  }
  if (id == UNBLOCK_BUTTON.controlId) {
    g_unblockRestart = true;
    if (!BLOCK_AIRCRAFT.value.load().empty())
      gf_unblockAircraft();
    else
      lf_showAndLog("Nothing to unblock...");
    return true;
  }
  if (id == FLUSH_BUTTON.controlId) {
    lf_show("All static parked aircraft will be removed ...");
    g_flushStaticRequested = true;
    lf_enable(FLUSH_BUTTON, false);
    return true;
  }
  if (id == SET_BUTTON.controlId) {
    gf_applyTimeShift(gf_timeShiftMinutes(), true, true);
    lf_enable(SET_BUTTON, false);
    return true;
  }
  if (id == TBLO_BUTTON.controlId) {
    lf_enable(TBLO_BUTTON, false);
    g_tbloMode = false;
    if (!gf_shellOpen(g_tbloFolder / g_tbloZipName)) {
      ui::messageBox(window, "Could not open File Explorer at tblo.zip.", kProgramName, ui::MB_ICONEXCLAMATION);
      return false;
    }
    return true;
  }
  if (id == PARK_BUTTON.controlId) {
    if (gf_parkAirportStandsLoaded()) {
      if (!gf_isRtDirect()) gf_requestParkedTraffic();
      gf_requestParkingUpdate();
      gf_restartParkingCountdown();
    }
    return true;
  }
  return false;
}

// --- check boxes ---

CheckboxOption* lf_checkboxOf(std::uint32_t id) {
  for (CheckboxOption* option : g_checkboxOptions)
    if (option->controlId == id) return option;
  return nullptr;
}

void lf_afterCheckbox(CheckboxOption& option) {
  const bool on = option.value;
  if (&option == &LIG_AUTOMATIC) {
    if (on)
      Gui::clearMessage();
    else
      lf_show("The liveries defined by your lfolder parameters will be scanned");
    lf_enable(AI_PACKAGE_SELECTOR, on);
  } else if (&option == &LIG_PRIORITIZE) {
    if (on)
      lf_show("Liveries, for airl+model, in lower lfolders that are already available will be skipped");
    else
      Gui::clearMessage();
  } else if (&option == &RT_PARKTRAFFIC_ONLY) {
    gf_updateParkTrafficOnlyControls();
    gf_setParkedOnlyRequest(on);
    Gui::redrawPanel();
  } else if (&option == &RANDOM) {
    if (!on)
      lf_showAndLog("Be aware: no randomness in matching or parking! (This mode is meant for multi Sims)");
    else
      Gui::clearMessage();
    Gui::redrawPanel();
  } else if (&option == &ALWAYS_ON_TOP) {
    if (on)
      lf_show(fmt::format("{}'s window will remain visible", kProgramName));
    else
      Gui::clearMessage();
    Gui::enqueueUpdate(gui::SetAlwaysOnTop{on});
  } else if (&option == &SIM_TIME) {
    if (!gf_isRtDirect()) return;
    for (IntListOption* list : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
      list->setAndSave(0);
      list->selectInCombo();
    }
    gf_updateParameterSnapshot(TIME_SHIFT_DAYS);
    lf_enable(SET_BUTTON, false);
    Gui::redrawPanel();
    lf_newSettingsRestart(0);
  } else if (&option == &AEROWINX) {
    if (gf_isRtDirect()) return;
    if (on)
      lf_show(fmt::format("Note: This mode is for Aerowinx PSX users only, please re-start {}", kProgramName));
    else
      Gui::clearMessage();
  } else if (&option == &NAV_LIGHTS_WHILE_PARKED) {
    g_pendingLights = static_cast<std::int8_t>(on ? 1 : 0);
  } else if (&option == &OBJECTID_LIST) {
    if (on) {
      std::error_code error;
      std::filesystem::path file = std::filesystem::absolute(g_objectIdListFile, error);
      if (error) file = g_objectIdListFile;
      lf_showAndLog(fmt::format("Every minute info about all active live aircraft is written to the file {}",
                                file.string()));
    } else {
      Gui::clearMessage();
    }
    Gui::redrawPanel();
  } else if (&option == &GUID_CHANGES) {
    if (!on)
      lf_show("Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!");
    else
      Gui::clearMessage();
    Gui::redrawPanel();
  } else if (&option == &TWO_PROPS || &option == &LIGHT_AIRCRAFT || &option == &HELICOPTERS ||
             &option == &HIGH_PERF_AIRCRAFT) {
    if (on) return;
    if (&option == &TWO_PROPS) g_removeTwoProps = true;
    if (&option == &LIGHT_AIRCRAFT) g_removeLightAircraft = true;
    if (&option == &HELICOPTERS) g_removeHelicopters = true;
    if (&option == &HIGH_PERF_AIRCRAFT) g_removeHighPerfAircraft = true;
  } else if (&option == &AUTO_RANGE) {
    gf_applyRangeMode();
  } else if (&option == &AUTO_PARK) {
    gf_updateAutoParkControls();
  } else if (&option == &COLLISION_USER_AIR) {
    if (!on)
      lf_show("Be aware, user aircraft may collide with (run through) live aircraft in the air");
    else
      Gui::clearMessage();
  } else if (&option == &COLLISION_USER_GND) {
    if (!on)
      lf_show("Be aware, user aircraft may collide with (run through) live aircraft and static parked on the ground");
    else
      Gui::clearMessage();
  }
  // FLIGHT_MESSAGES, KEEP_SIM_TIME_PAR, PARK_SOFT, WEEK and the two skip switches: nothing more.
}

bool lf_handleCheckbox(std::uint32_t id) {
  CheckboxOption* option = lf_checkboxOf(id);
  if (!option) return false;
  // A plain check box: the click does not tick it, we do.
  const bool ticked = ui::getCheckState(option->window) != ui::BST_CHECKED;
  ui::setCheck(option->window, ticked);
  option->value = ticked;
  option->save();
  gf_updateParameterSnapshot(*option);
  lf_afterCheckbox(*option);
  return true;
}

// --- combo boxes ---

IntListOption* lf_intListOf(std::uint32_t id) {
  for (IntListOption* option : {&MATCHING_DEPTH, &TCAS_FL, &parking_percentage, &HOLDING_THRESHOLD_METERS,
                                &MAX_HOLDING_MINUTES, &AIRP_RANGE, &AIRP_HEIGHT, &PARKING_INTERVAL_MINUTES,
                                &MAX_PARK_SEL, &MAX_LIVE_SEL, &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS})
    if (option->controlId == id) return option;
  return nullptr;
}

void lf_handleIntList(IntListOption& option, int index) {
  const std::int32_t before = option.value;
  option.value = option.clamped(option.valueAt(index));
  option.save();
  gf_updateParameterSnapshot(option);
  if (&option == &MATCHING_DEPTH && option.value > before) g_rematchRequested = true;
  if (&option == &MAX_LIVE_SEL) g_maxLiveSelChanged = true;
  if (&option == &MAX_PARK_SEL) g_maxParkSelChanged = true;
  if (&option == &PARKING_INTERVAL_MINUTES) gf_restartParkingCountdown();
  if (&option == &TIME_SHIFT_DAYS || &option == &TIME_SHIFT_HOURS || &option == &TIME_SHIFT_MINS)
    lf_enable(SET_BUTTON, true);
}

bool lf_handleCombo(ui::WParam wParam) {
  const std::uint32_t id = ui::loWord(wParam);
  const GuiControl* controls[] = {&SIM_CHOICE, &AI_PACKAGE_SELECTOR, &RT_CHOISE, &QNH_UNIT, &AIRCRAFT_SELECTOR,
                                  &STAND_SELECTOR, &ALL_AIR_GND_SELECTOR, &RANGE, &MAX_FIT_FL};
  const GuiControl* control = nullptr;
  for (const GuiControl* c : controls)
    if (c->controlId == id) control = c;
  IntListOption* intList = control ? nullptr : lf_intListOf(id);
  if (!control && !intList) return false;
  if (ui::hiWord(wParam) != ui::CBN_SELCHANGE) return true;  // ours, but only a selection counts
  const ui::Hwnd combo = control ? control->window : intList->window;
  const auto selection = gf_comboSelection(wParam, combo);
  if (!selection) return true;
  const std::string& text = selection->text;

  if (intList) {
    lf_handleIntList(*intList, selection->index);
  } else if (control == &SIM_CHOICE) {
    if (text == SIM_CHOICE.value) return true;
    SIM_CHOICE.setAndSave(text);
    g_simSwitchRequested = true;
    lf_showAndLog(fmt::format("Switching MSFS version in {}", kProgramName));
    lf_newSettingsRestart(3);
  } else if (control == &AI_PACKAGE_SELECTOR) {
    if (text == AI_PACKAGE_SELECTOR.value) return true;
    AI_PACKAGE_SELECTOR.setAndSave(text);
    lf_showAndLog("If you want to make this choice effective, you must start a Scan for liveries");
  } else if (control == &RT_CHOISE) {
    if (text == RT_CHOISE.value) return true;
    RT_CHOISE.setAndSave(text);
    lf_enable(RT_CHOISE, false);
    if (!gf_isRtDirect() && g_waitingForRTApp) gf_closeRTAppServer();
    lf_newSettingsRestart(0);
  } else if (control == &QNH_UNIT) {
    if (text == QNH_UNIT.value) return true;
    QNH_UNIT.setAndSave(text);
    Gui::enqueueUpdate(gui::SetQnhInHg{text == "QNH inHg"});
  } else if (control == &AIRCRAFT_SELECTOR) {
    if (text == "select an aircraft") return true;
    AIRCRAFT_SELECTOR.value = text;
    lf_enable(BLOCK_BUTTON, true);
  } else if (control == &STAND_SELECTOR) {
    if (text == "select a stand") return true;
    STAND_SELECTOR.value = text;
    const std::string destination = DESTINATION.value;
    lf_showAndLog(fmt::format("selected stand '{}' at airport '{}'", text, destination));
    if (gf_storeUserStand(destination, text))
      Gui::redrawParkingBand();
    else
      gf_logWarning(fmt::format("could not update stand {} in airport {}", text, destination));
  } else if (control == &ALL_AIR_GND_SELECTOR) {
    ALL_AIR_GND_SELECTOR.setAndSave(text);
    gf_updateParameterSnapshot(ALL_AIR_GND_SELECTOR);
  } else if (control == &RANGE) {
    RANGE.value = RANGE.clamped(RANGE.valueAt(selection->index));
    RANGE.save();
    gf_updateParameterSnapshot(RANGE);
    gf_setRange(RANGE.value);
  } else if (control == &MAX_FIT_FL) {
    MAX_FIT_FL.value = MAX_FIT_FL.valueAt(selection->index);
    MAX_FIT.value = MAX_FIT.clamped(gf_maxFitIndex(MAX_FIT_FL.value));
    MAX_FIT.save();
    gf_updateParameterSnapshot(MAX_FIT);
  }
  return true;
}

}  // namespace

std::optional<ComboSelection> gf_comboSelection(ui::WParam wParam, ui::Hwnd control) {
  if (ui::hiWord(wParam) != ui::CBN_SELCHANGE || !ui::isWindow(control)) return std::nullopt;
  const int index = ui::comboGetCurSel(control);
  const auto items = ui::comboItems(control);
  if (index < 0 || static_cast<std::size_t>(index) >= items.size()) return std::nullopt;
  return ComboSelection{index, items[static_cast<std::size_t>(index)]};
}

bool lf_HandleWMCOMMAND(ui::Hwnd window, ui::WParam wParam) {
  try {
    return lf_handleButton(window, wParam) || lf_handleCheckbox(ui::loWord(wParam)) || lf_handleCombo(wParam);
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("{} exception {}", "lf_HandleWMCOMMAND", e.what()));
    return false;
  }
}

void gf_switchSimulatorVersion() {
  const std::string choice = gf_isMsfs2020() ? "MSFS 2024" : "MSFS 2020";
  SIM_CHOICE.setAndSave(choice);
  if (auto index = SIM_CHOICE.indexOfValue(); index && ui::isWindow(SIM_CHOICE.window))
    ui::comboSetCurSel(SIM_CHOICE.window, static_cast<int>(*index));
  lf_showAndLog(fmt::format("Switching MSFS version in {}", kProgramName));
  gf_requestStop(StopReason::NewSettings, 0);
}
