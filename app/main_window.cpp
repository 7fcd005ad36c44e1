#include "app/main_window.h"

#include <fmt/format.h>

#include <atomic>
#include <filesystem>
#include <pugixml.hpp>
#include <thread>

#include "appbase/gui.h"
#include "config/keys.h"
#include "config/parameters_file.h"
#include "config/program_folders.h"
#include "config/xml_helpers.h"
#include "core/log.h"
#include "feed/rt_license.h"

namespace {

std::atomic<ui::Hwnd> g_mainWindow{ui::Hwnd::null};

void lf_takePosition(IntOption& option, const pugi::xml_document& document) {
  const auto read = gf_getIntParameter(document, option.name);
  option.value = read ? option.clamped(*read) : option.defaultValue;
}

}  // namespace

ui::Hwnd gf_mainWindow() { return g_mainWindow.load(); }

void gf_setMainWindow(ui::Hwnd hwnd) { g_mainWindow = hwnd; }

void gf_readSavedWindowPosition() {
  namespace fs = std::filesystem;
  const fs::path file = g_parametersPath.get();
  const std::string name = file.string();
  std::error_code error;
  const bool exists = fs::exists(file, error);
  if (error) {
    gf_logWarning(fmt::format("Could not check whether '{}' exists: {}", name, error.message()));
    return;
  }
  if (!exists) return;
  pugi::xml_document document;
  // Through the guarded reader: a huge file is refused before it is read, as the worker's load
  // refuses it.
  const ParametersLoadResult result = gf_loadParametersDocument(file, document);
  switch (result.outcome) {
    case ParametersLoadOutcome::loaded: break;
    case ParametersLoadOutcome::notFound: return;
    case ParametersLoadOutcome::openFailed:
      gf_logWarning(fmt::format("{} could not be opened", name));
      return;
    case ParametersLoadOutcome::parseFailed:
      // Left as it is: the worker's load keeps the broken text aside and takes the kept
      // generation, which a fresh file here would have let the defaults overwrite.
      gf_logWarning(fmt::format("{} failed to load ({}); the window takes its default position", name,
                                result.description));
      return;
  }
  lf_takePosition(MAIN_WINDOW_X, document);
  lf_takePosition(MAIN_WINDOW_Y, document);
}

bool initInstance(const char* title) {
  Gui& gui = g_gui;
  gui.guiThreadId = std::this_thread::get_id();
  gui.closing = false;
  gui.comboHeights.clear();
  gf_registerGuiMessageSink();

  if (!ui::setProcessDpiAwareness()) gf_logWarning(fmt::format("SetProcessDpiAwarenessContext failed: {}", 0));

  gui.dpi = ui::getDpiForSystem();
  // Painting draws in logical units that the mapping scales, so its fonts stay at 96 DPI.
  gui.normalFont = gf_createGuiFont(false, ui::USER_DEFAULT_DPI);
  gui.boldFont = gf_createGuiFont(true, ui::USER_DEFAULT_DPI);
  gui.controlFont = gf_createGuiFont(false, gui.dpi);
  if (!gui.normalFont || !gui.boldFont || !gui.controlFont) {
    gf_logWarning("Creating GUI fonts failed");
    return false;
  }

  gf_readSavedWindowPosition();

  const ui::Rect size = gui.windowSizeForClient(static_cast<std::uint32_t>(gui.clientHeightUnits()));
  const ui::Hwnd window =
      ui::createWindow(title, title, ui::Rect{MAIN_WINDOW_X.value, MAIN_WINDOW_Y.value, size.width, size.height});
  if (window == ui::Hwnd::null) return false;
  gui.window = window;

  // The controls were laid out in 96-DPI units.
  const std::uint32_t windowDpi = ui::getDpiForWindow(window);
  gui.rescaleChildren(ui::USER_DEFAULT_DPI, windowDpi);
  gui.updateControlFont(windowDpi);
  gui.dpi = windowDpi;
  gui.invalidate(REDRAW_LAYOUT);
  gui.placeWindow(MAIN_WINDOW_X.defaultValue, MAIN_WINDOW_Y.defaultValue);

  gui.postWaitingUpdates();
  // The RealTraffic license dialog asks over the main window.
  gf_setLicensePrompt(
      [](ui::Hwnd owner, const TextPromptRequest& request) { return ui::promptText(owner, request.title, request.label, request.maxChars); },
      window);

  ui::showWindow(window, true);
  return true;
}

void gf_saveWindowPosition() {
  const ui::Hwnd window = g_gui.window.load();
  if (!ui::isWindow(window)) return;
  ui::Rect rect = ui::windowRect(window);
  if (auto placement = ui::getWindowPlacement(window);
      placement && (placement->showCmd == ui::SW_SHOWMINIMIZED || placement->showCmd == ui::SW_SHOWMAXIMIZED))
    rect = placement->normalPosition;
  const std::int32_t previousX = MAIN_WINDOW_X.value, previousY = MAIN_WINDOW_Y.value;
  MAIN_WINDOW_X.value = MAIN_WINDOW_X.clamped(rect.x);
  MAIN_WINDOW_Y.value = MAIN_WINDOW_Y.clamped(rect.y);
  MAIN_WINDOW_X.save();
  MAIN_WINDOW_Y.save();
  g_gui.placeWindow(previousX, previousY);
}

void gf_applyDpiChange(std::uint32_t newDpi, const ui::Rect* suggested) {
  const ui::Hwnd window = g_gui.window.load();
  if (newDpi == 0 || suggested == nullptr || !ui::isWindow(window)) return;
  g_gui.rescaleChildren(g_gui.dpi, newDpi);
  g_gui.updateControlFont(newDpi);
  g_gui.dpi = newDpi;
  const ui::Rect size = g_gui.windowSizeForClient(static_cast<std::uint32_t>(g_gui.clientHeightUnits()));
  ui::setWindowPos(window, ui::ZOrder::unchanged, suggested->x, suggested->y, size.width, size.height,
                   ui::SWP_NOZORDER | ui::SWP_NOACTIVATE);
  ui::invalidateRect(window, std::nullopt, true);
}
