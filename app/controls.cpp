#include "app/controls.h"

#include <algorithm>

#include "appbase/gui.h"
#include "core/text.h"

namespace {

constexpr int kCheckboxSize = 14;

ui::FontHandle lf_controlFont() { return g_gui.controlFont ? g_gui.controlFont : g_gui.normalFont; }

}  // namespace

ui::Hwnd gf_createCheckboxControl(CheckboxOption& option, ui::Hwnd parent) {
  // Not an automatic check box: the command handler flips the state itself.
  option.window = ui::createControl(parent, ui::ControlKind::CheckBox, static_cast<int>(option.controlId), "",
                                    ui::Rect{option.x, option.y + option.dy, kCheckboxSize, kCheckboxSize});
  if (!ui::isWindow(option.window)) return option.window;
  ui::setControlProc(option.window, gf_checkboxWndProc);
  ui::setCheck(option.window, option.value);
  ui::invalidateRect(option.window, std::nullopt, false);
  ui::enableWindow(option.window, true);
  return option.window;
}

ui::Hwnd gf_createComboControl(GuiControl& option, ui::Hwnd parent, int width, int dropDownHeight) {
  // A drop-down list's window height is its list's height.
  option.window = ui::createControl(parent, ui::ControlKind::ComboBox, static_cast<int>(option.controlId), "",
                                    ui::Rect{option.x, option.y + option.dy, width, dropDownHeight});
  if (!ui::isWindow(option.window)) return option.window;
  ui::setWindowFont(option.window, lf_controlFont(), true);
  if (dropDownHeight >= 1) g_gui.comboHeights[option.window] = dropDownHeight;
  return option.window;
}

ui::Hwnd gf_createButtonControl(ButtonOption& option, ui::Hwnd parent, int width, int height) {
  option.window = ui::createControl(parent, ui::ControlKind::Button, static_cast<int>(option.controlId), option.name,
                                    ui::Rect{option.x, option.y + option.dy, width, height});
  if (ui::isWindow(option.window)) ui::setWindowFont(option.window, lf_controlFont(), true);
  return option.window;
}

ui::LResult gf_checkboxWndProc(ui::Hwnd hwnd, std::uint32_t message, ui::WParam wParam, ui::LParam lParam) {
  switch (message) {
    case ui::WM_PAINT:
      gf_paintCheckbox(hwnd, ui::beginPaint(hwnd));
      ui::endPaint(hwnd);
      return 0;
    case ui::WM_ERASEBKGND:
      return 1;  // painting covers everything
    default:
      return ui::defWindowProc(hwnd, message, wParam, lParam);
  }
}

void gf_paintCheckbox(ui::Hwnd hwnd, ui::Canvas& canvas) {
  const ui::Rect client = ui::clientRect(hwnd);
  const int w = client.width, h = client.height;
  canvas.fillRect(client, g_gui.lightBlue);
  const bool enabled = ui::isWindowEnabled(hwnd);
  const int state = ui::getCheckState(hwnd);
  // Greyed when disabled, so that a switched-off choice reads as such.
  canvas.box(client, enabled ? ui::rgb(96, 96, 96) : ui::rgb(160, 160, 160),
             enabled ? ui::rgb(255, 255, 255) : ui::rgb(240, 240, 240));
  if (state != ui::BST_CHECKED) return;  // unticked or indeterminate
  const int pen = std::max(ui::mulDiv(2, static_cast<int>(ui::getDpiForWindow(hwnd)), 96), 1);
  canvas.polyline({{w / 5, h / 2}, {2 * w / 5, 3 * h / 4}, {4 * w / 5, h / 4}},
                  enabled ? ui::rgb(0, 0, 0) : ui::rgb(128, 128, 128), pen);
}

std::optional<std::filesystem::path> gf_pickFolder(ui::Hwnd owner, const std::filesystem::path& initialFolder) {
  try {
    // An initial folder that does not exist still opens the picker at its default place.
    auto picked = ui::pickFolder(owner, initialFolder.empty() ? std::string() : gf_pathToUtf8(initialFolder));
    if (!picked || picked->empty()) return std::nullopt;
    return std::filesystem::path(utf8_to_wide(*picked));
  } catch (...) {
    return std::nullopt;  // the caller treats every failure like a cancel
  }
}
