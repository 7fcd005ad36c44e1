#pragma once
// The option controls as child windows of the main window: owner-painted check boxes,
// drop-down combo boxes and push buttons, placed in 96-DPI units (the main window rescales
// them to its DPI afterwards); and the folder picker.
#include <filesystem>
#include <optional>

#include "config/options.h"
#include "platform/canvas.h"
#include "platform/ui.h"

// Each returns the control's handle (also stored in the option), null when it could not be made.
ui::Hwnd gf_createCheckboxControl(CheckboxOption& option, ui::Hwnd parent);
ui::Hwnd gf_createComboControl(GuiControl& option, ui::Hwnd parent, int width, int dropDownHeight);
ui::Hwnd gf_createButtonControl(ButtonOption& option, ui::Hwnd parent, int width, int height);

// The check boxes' window procedure: painted by us, everything else as a plain control.
ui::LResult gf_checkboxWndProc(ui::Hwnd hwnd, std::uint32_t message, ui::WParam wParam, ui::LParam lParam);
// Draws the check box into its client area on the canvas.
void gf_paintCheckbox(ui::Hwnd hwnd, ui::Canvas& canvas);

// A folder chosen by the user; empty when cancelled or when anything failed.
std::optional<std::filesystem::path> gf_pickFolder(ui::Hwnd owner, const std::filesystem::path& initialFolder);
