#include "app/blocking.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <exception>
#include <memory>
#include <vector>

#include "appbase/gui.h"
#include "app/main_loop.h"
#include "app/main_window.h"
#include "appbase/messages.h"
#include "app/option_controls.h"
#include "app/window_seams.h"
#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "core/log.h"
#include "core/text.h"
#include "feed/traffic_handover.h"

namespace {

void lf_enable(const GuiControl& control, bool enabled) {
  if (ui::isWindow(control.window)) ui::enableWindow(control.window, enabled);
}

void lf_showAndLog(std::string_view text) { Gui::showMessage(text, true); }

void lf_saveText(StringOption& option, std::string value) {
  option.value = std::move(value);
  option.save();
}

// A selector's list becomes one empty entry, selected.
void lf_emptySelector(DynamicChoiceOption& selector) {
  selector.choices = std::make_shared<const std::vector<std::string>>(std::vector<std::string>{""});
  selector.value = "";
  if (ui::isWindow(selector.window)) {
    selector.fillCombo();
    ui::comboSetCurSel(selector.window, 0);
  }
}

// Steps 4 to 6 of a rejected entry: the field shows the stored destination again.
void lf_rewriteDestinationField() { gf_showInGui(DESTINATION); }

void lf_clearOrTbloHint() {
  if (g_tbloMode)
    gf_showTbloMailHint();
  else
    Gui::enqueueUpdate(gui::ClearMessage{});
}

}  // namespace

std::string lf_getTextFromId(std::uint16_t controlId) {
  const ui::Hwnd control = ui::getDlgItem(gf_mainWindow(), controlId);
  if (control == ui::Hwnd::null) {
    gf_log(fmt::format("{}: GetDlgItem failed for ID {}", "lf_getTextFromId", controlId));
    return {};
  }
  std::string text = ui::getWindowText(control);
  try {
    (void)utf8_to_wide(text);
  } catch (const std::exception& e) {
    gf_log(fmt::format("{}: UTF-16 to UTF-8 failed for ID {}: {}", "lf_getTextFromId", controlId, e.what()));
    return {};
  }
  return text;
}

void gf_blockSelectedAircraft() {
  const std::string entry = AIRCRAFT_SELECTOR.value;
  const std::optional<BlockedAircraft> parsed = gf_parseBlockedAircraft(entry);
  if (!parsed) {
    lf_saveText(BLOCK_AIRCRAFT, "");
    gf_updateParameterSnapshot(BLOCK_AIRCRAFT);
    return;
  }
  lf_saveText(BLOCK_AIRCRAFT, entry);
  lf_saveText(BLOCK_CALLSIGN, parsed->callsign);
  lf_saveText(BLOCK_REGCODE, parsed->regcode);
  g_blockTrailingUnderscore = !parsed->callsign.empty() && parsed->callsign.back() == '_';
  BLOCK_HEXIDDEC.value = BLOCK_HEXIDDEC.clamped(static_cast<std::int32_t>(std::min<std::uint32_t>(parsed->hexid, INT32_MAX)));
  BLOCK_HEXIDDEC.save();
  gf_updateParameterSnapshot(BLOCK_AIRCRAFT);  // rebuilds the whole blocked identity

  lf_showAndLog(fmt::format("Aircraft with callsign: {}, regcode: {} and hexid: {:x} is blocked", parsed->callsign,
                            parsed->regcode, parsed->hexid));
  lf_enable(BLOCK_BUTTON, false);
  lf_enable(UNBLOCK_BUTTON, true);
  lf_enable(AIRCRAFT_BUTTON, false);
  lf_enable(AIRCRAFT_SELECTOR, false);
  lf_enable(ALL_AIR_GND_SELECTOR, false);
  g_removeBlockedRequested = true;
}

void gf_unblockAircraft() {
  if (BLOCK_AIRCRAFT.value.load().empty()) return;
  lf_showAndLog(fmt::format("No more blocking of aircraft: cs: {} reg: {} hexid: {:x} ", BLOCK_CALLSIGN.value.load(),
                            BLOCK_REGCODE.value.load(), static_cast<std::uint32_t>(BLOCK_HEXIDDEC.value)));
  lf_saveText(BLOCK_AIRCRAFT, "");
  lf_saveText(BLOCK_CALLSIGN, "");
  lf_saveText(BLOCK_REGCODE, "");
  g_blockTrailingUnderscore = false;
  BLOCK_HEXIDDEC.value = 0;
  BLOCK_HEXIDDEC.save();
  gf_updateParameterSnapshot(BLOCK_AIRCRAFT);

  lf_enable(BLOCK_BUTTON, false);
  lf_enable(UNBLOCK_BUTTON, false);
  lf_enable(AIRCRAFT_BUTTON, true);
  lf_enable(ALL_AIR_GND_SELECTOR, true);
  lf_enable(AIRCRAFT_SELECTOR, false);
  lf_emptySelector(AIRCRAFT_SELECTOR);
}

void gf_setAircraftList(std::vector<std::string> entries) {
  entries.insert(entries.begin(), std::string(kSelectAnAircraft));
  AIRCRAFT_SELECTOR.value = entries.front();
  AIRCRAFT_SELECTOR.choices = std::make_shared<const std::vector<std::string>>(std::move(entries));
  if (const ui::Hwnd window = gf_mainWindow(); window != ui::Hwnd::null)
    ui::postMessage(window, MSG_AIRCRAFT_LIST, 0, 0);
}

void gf_showAircraftList() {
  const auto entries = AIRCRAFT_SELECTOR.choices.load();
  if (ui::isWindow(AIRCRAFT_SELECTOR.window)) {
    AIRCRAFT_SELECTOR.fillCombo();
    ui::comboSetCurSel(AIRCRAFT_SELECTOR.window, 0);
  }
  lf_enable(BLOCK_BUTTON, entries && entries->size() > 1);
}

ui::LResult gf_destinationEditProc(ui::Hwnd hwnd, std::uint32_t message, ui::WParam wParam, ui::LParam lParam) {
  if (message == ui::WM_KEYDOWN && wParam == ui::VK_RETURN) {
    lf_clearOrTbloHint();
    // Enter comes through no command dispatcher: a code the IcaoCode refuses must not take the
    // GUI thread down, so it is logged here as the dispatcher would and nothing is stored.
    try {
      gf_destinationEntered();
    } catch (const std::exception& e) {
      gf_logWarning(fmt::format("{} exception {}", "gf_destinationEditProc", e.what()));
      lf_rewriteDestinationField();
    }
    return 0;  // swallowed: a single-line edit would only beep
  }
  if (DESTINATION.previousWndProc) return DESTINATION.previousWndProc(hwnd, message, wParam, lParam);
  return ui::defWindowProc(hwnd, message, wParam, lParam);
}

void gf_destinationEntered() {
  lf_clearOrTbloHint();
  std::string text = lf_getTextFromId(static_cast<std::uint16_t>(DESTINATION.controlId));
  if (text.empty()) {
    lf_saveText(DESTINATION, "");
    gf_updateParameterSnapshot(DESTINATION);
    lf_emptySelector(STAND_SELECTOR);
    lf_enable(STAND_SELECTOR, false);
    lf_showAndLog("destination set to empty");
    return;
  }
  if (text.size() != 4) {
    lf_showAndLog(fmt::format("destination '{}' is not valid", text));
    lf_rewriteDestinationField();
    return;
  }
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (text == DESTINATION.value) {
    lf_showAndLog(fmt::format("destination '{}' was already set ...", text));
    lf_rewriteDestinationField();
    return;
  }
  // Four characters that are not letters and digits throw here; the command dispatcher logs it.
  const IcaoCode code(text);
  if (const std::optional<Airport> airport = gf_findAirport(code)) {
    gf_setDestination(text, *airport);
    return;
  }
  lf_showAndLog(fmt::format("destination '{}' is not supported ...", text));
  lf_rewriteDestinationField();
}

void gf_setDestination(const std::string& icao, const Airport& airport) {
  lf_saveText(DESTINATION, icao);
  gf_updateParameterSnapshot(DESTINATION);
  lf_rewriteDestinationField();

  const ApfStands read = gf_destinationStandNames(airport.code);
  auto stands = std::make_shared<std::vector<std::string>>();
  if (!read.names) {
    STAND_SELECTOR.choices = stands;
    lf_showAndLog(fmt::format("New destination: {}, failed to read stands, {}", icao, read.error));
    lf_enable(STAND_SELECTOR, false);
    gf_moveParkAirportToFront(airport.code, airport.position);
    return;
  }
  const std::vector<std::string>& names = *read.names;
  const std::optional<std::string> userStand = gf_getUserStandOf(airport.code);
  const bool reserved = userStand && std::find(names.begin(), names.end(), *userStand) != names.end();
  if (!reserved) stands->push_back("select a stand");
  stands->insert(stands->end(), names.begin(), names.end());
  STAND_SELECTOR.choices = stands;
  const std::string selected = reserved ? *userStand : "select a stand";
  if (reserved) {
    lf_showAndLog(fmt::format("New destination: {}, with reserved stand: {}", icao, *userStand));
  } else {
    lf_showAndLog(names.empty() ? fmt::format("New destination: {}, no stands available", icao)
                                : fmt::format("New destination: {}", icao));
  }
  STAND_SELECTOR.value = selected;
  if (ui::isWindow(STAND_SELECTOR.window)) {
    STAND_SELECTOR.fillCombo();
    const auto it = std::find(stands->begin(), stands->end(), selected);
    ui::comboSetCurSel(STAND_SELECTOR.window, static_cast<int>(it - stands->begin()));
  }
  lf_enable(STAND_SELECTOR, !names.empty());
  gf_moveParkAirportToFront(airport.code, airport.position);
}
