#pragma once
// WM_COMMAND of the main window: the button, check-box and combo-box handlers. Each control
// change sets its option, saves it to parameters.xml, publishes a new parameter snapshot, then
// does what the change needs (a message, a flag for the engine, a restart with NEW SETTINGS).
#include <optional>
#include <string>

#include "platform/ui.h"

// True when a handler took the command; a handler's exception is logged and counts as not taken.
bool lf_HandleWMCOMMAND(ui::Hwnd window, ui::WParam wParam);

struct ComboSelection {
  int index = -1;
  std::string text;
};
// The selected entry of a combo box on its selection-change notification; empty otherwise.
std::optional<ComboSelection> gf_comboSelection(ui::WParam wParam, ui::Hwnd control);

// MSG_SIM_VERSION: the other simulator edition is running; switch the choice and restart.
void gf_switchSimulatorVersion();
