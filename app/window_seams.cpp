#include "app/window_seams.h"

#include "config/keys.h"
#include "feed/rt_app_server.h"

std::atomic<bool> g_waitingForRTApp{false};
std::atomic<bool> g_simSwitchRequested{false};

void gf_blockSelectedAircraft() {}
void gf_unblockAircraft() {}

ui::LResult gf_destinationEditProc(ui::Hwnd hwnd, std::uint32_t message, ui::WParam wParam, ui::LParam lParam) {
  return ui::defWindowProc(hwnd, message, wParam, lParam);
}

bool gf_storeUserStand(std::string_view, std::string_view) { return false; }

std::uint32_t gf_timeShiftMinutes() {
  return static_cast<std::uint32_t>(TIME_SHIFT_DAYS.value) * 1440u +
         static_cast<std::uint32_t>(TIME_SHIFT_HOURS.value) * 60u + static_cast<std::uint32_t>(TIME_SHIFT_MINS.value);
}

void gf_applyTimeShift(std::uint32_t, bool, bool) {}
void gf_applyRangeMode() {}
void gf_resetLastSimTime() {}

void gf_updateParkTrafficOnlyControls() {}
void gf_updateAutoParkControls() {}
void gf_restartParkingCountdown() {}
void gf_requestParkingUpdate() {}
bool gf_parkAirportStandsLoaded() { return false; }

void gf_closeRTAppServer() { g_rtAppServer.close(); }
void gf_setParkedOnlyRequest(bool) {}
