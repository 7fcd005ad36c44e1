#include "app/program_entry.h"

#include <fmt/format.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <strings.h>

#include "app/main_window.h"
#include "appbase/messages.h"
#include "app/window_proc.h"
#include "core/log.h"
#include "feed/rt_api_transport.h"
#include "refdata/downloader.h"
#include "platform/os.h"
#include "platform/termination_signals.h"
#include "platform/ui.h"

namespace {

std::optional<bool> g_productionSwitch;
std::atomic<bool> g_productionMode{false};
std::atomic<std::int32_t> g_exitCode{0};

// The per-user folder: roaming AppData joined with the program's name.
std::filesystem::path lf_programFolder() { return os::knownFolderPath(os::KnownFolder::RoamingAppData) / "JORV"; }

// The two web addresses are settings of the machine, not of the user: empty unless given,
// so that nothing leaves the machine unasked.
void lf_applyAddressSettings() {
  if (const char* maker = std::getenv("JORV_MAKER_URL"); maker && *maker) gf_setMakerBaseUrl(maker);
  if (const char* api = std::getenv("JORV_RTAPI_URL"); api && *api) gf_setRTAPIBaseUrl(api);
}

}  // namespace

const char* gf_loadString(int id) { return id == IDS_APP_TITLE ? "JORV" : nullptr; }

bool gf_hasProductionSwitch() {
  const auto& args = os::commandLineArgs();
  for (std::size_t i = 1; i < args.size(); ++i)
    if (strcasecmp(args[i].c_str(), "--production") == 0) return true;
  return false;
}

bool gf_productionMode() { return g_productionMode; }
void gf_setExitCode(std::int32_t code) { g_exitCode = code; }
std::int32_t gf_exitCode() { return g_exitCode; }

int wWinMain() {
  if (os::createNamedMutex("Local\\$JORV$") < 0) return -1;
  return gf_runGuiGuarded();
}

int gf_runGuiGuarded() {
  try {
    return gf_runGui();
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("Windows startup failed: {}", e.what()));
  } catch (...) {
    gf_logWarning("Windows startup failed with an unknown exception");
  }
  return 0;
}

int gf_runGui() {
  lf_applyAddressSettings();
  if (gf_hasProductionSwitch()) g_productionSwitch = true;

  const char* title = gf_loadString(IDS_APP_TITLE);
  if (!title) {
    gf_log("Failed to load application title");
    return 0;
  }
  if (!ui::registerClass(ui::WindowClass{title, WndProc})) {
    gf_log("Failed to register window class");
    return 0;
  }
  try {
    const auto folder = lf_programFolder();
    if (!std::filesystem::exists(folder)) std::filesystem::create_directories(folder);
  } catch (const std::filesystem::filesystem_error& e) {
    gf_log(fmt::format("Failed to create directory: {}", e.what()));
    return 0;
  }
  if (!initInstance(title)) {
    gf_logWarning("initInstance failed");
    return 0;
  }
  g_productionMode = g_productionSwitch.value_or(false);

  // Ctrl+C, a logout or a service manager's stop close the window as its close button would.
  const ui::CloseOnTerminationSignals closeOnSignals(gf_mainWindow());
  if (ui::Hwnd window = gf_mainWindow(); window != ui::Hwnd::null) ui::postMessage(window, MSG_START, 0, 0);

  ui::Msg msg;
  for (;;) {
    int got = ui::getMessage(msg);
    if (got == 0) return static_cast<int>(static_cast<std::int32_t>(msg.wParam));
    if (got < 0) {
      gf_logWarning(fmt::format("GetMessageW failed: {}", got));
      return 0;
    }
    ui::dispatchMessage(msg);
  }
}
