#include "app/parking_controls.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <chrono>
#include <mutex>
#include <thread>

#include "appbase/gui.h"
#include "app/main_loop.h"
#include "app/traffic_source.h"
#include "appbase/stop_request.h"
#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "core/program.h"
#include "feed/rt_api_traffic_client.h"
#include "feed/rt_app_traffic.h"
#include "traffic/engine_state.h"
#include "traffic/live_registry.h"
#include "traffic/static_stands.h"

namespace {

void lf_enable(const GuiControl& control, bool enabled) {
  if (ui::isWindow(control.window)) ui::enableWindow(control.window, enabled);
}

// In the order in which they are switched.
const std::array<const GuiControl*, 11>& lf_parkingControls() {
  static const std::array<const GuiControl*, 11> controls{
      &parking_percentage, &AUTO_PARK,    &WEEK,         &PARK_SOFT,   &MAX_FIT_FL,         &MAX_PARK_SEL,
      &MAX_LIVE_SEL,       &FLUSH_BUTTON, &PARKING_INTERVAL_MINUTES, &PARK_BUTTON, &RT_PARKTRAFFIC_ONLY};
  return controls;
}

void lf_redrawPanel() { Gui::enqueueUpdate(gui::Redraw{REDRAW_PANEL}); }

bool lf_maxFitEnabled(const ParameterSnapshot& s) { return !s.autoPark || s.rtParkTrafficOnly; }
// Each of the two options rules them out on its own; either update must respect both.
bool lf_weekAndSoftEnabled(const ParameterSnapshot& s) { return !s.autoPark && !s.rtParkTrafficOnly; }

}  // namespace

void gf_disableParkingControls() {
  for (const GuiControl* control : lf_parkingControls()) lf_enable(*control, false);
  lf_redrawPanel();
}

void gf_updateParkTrafficOnlyControls() {
  const auto s = g_parameterSnapshot.load();
  lf_enable(parking_percentage, !s->rtParkTrafficOnly);
  lf_enable(AUTO_PARK, !s->rtParkTrafficOnly);
  // AUTO_PARK keeps them off whatever RT_PARKTRAFFIC_ONLY says.
  lf_enable(WEEK, lf_weekAndSoftEnabled(*s));
  lf_enable(PARK_SOFT, lf_weekAndSoftEnabled(*s));
  lf_enable(MAX_FIT_FL, lf_maxFitEnabled(*s));
  lf_redrawPanel();
}

void gf_updateAutoParkControls() {
  const auto s = g_parameterSnapshot.load();
  lf_enable(MAX_FIT_FL, lf_maxFitEnabled(*s));
  // RT_PARKTRAFFIC_ONLY keeps them off whatever AUTO_PARK says.
  lf_enable(WEEK, lf_weekAndSoftEnabled(*s));
  lf_enable(PARK_SOFT, lf_weekAndSoftEnabled(*s));
  lf_redrawPanel();
}

void gf_updateParkingControls() {
  gf_updateParkTrafficOnlyControls();
  gf_updateAutoParkControls();
  lf_enable(MAX_FIT_FL, lf_maxFitEnabled(*g_parameterSnapshot.load()));
}

void gf_parkingGenerationDone() {
  g_parkingGenerating = false;
  for (const GuiControl* control : lf_parkingControls()) lf_enable(*control, true);
  gf_updateParkTrafficOnlyControls();
  gf_updateAutoParkControls();
  const auto s = g_parameterSnapshot.load();
  lf_enable(MAX_FIT_FL, lf_maxFitEnabled(*s));
  Gui::enqueueUpdate(gui::SetNextParkingUpdate{s->parkingIntervalMinutes});
  lf_redrawPanel();
  Gui::clearMessage();  // the tblo hint instead while in tblo mode
}

void gf_restartParkingCountdown() {
  const std::uint32_t minutes = g_parameterSnapshot.load()->parkingIntervalMinutes;
  g_parkingCountdown = static_cast<std::int32_t>(std::min<std::uint32_t>(minutes, INT32_MAX));
  Gui::enqueueUpdate(gui::SetNextParkingUpdate{minutes});
}

void gf_requestParkingUpdate() {
  Gui::showMessage(fmt::format("{} will update static parking soon ...", g_programName), false);
  gf_disableParkingControls();
  std::lock_guard lock(g_parkingRequestMutex);
  ++g_parkingRequest.requested;
}

void gf_requestParkingAdjustment() {
  std::lock_guard lock(g_parkingRequestMutex);
  ++g_parkingRequest.requested;
}

void gf_setParkedOnlyRequest(bool parkedOnly) {
  std::lock_guard lock(g_parkingRequestMutex);
  g_parkingRequest.flag = parkedOnly;
  ++g_parkingRequest.second;
}

bool gf_waitForTraffic(const std::function<bool()>& received, const std::function<void()>& sleep100Ms) {
  for (int step = 0; step < 150; ++step) {
    if (!gf_isRunning()) return false;
    if (received()) return true;
    sleep100Ms();
  }
  if (received()) return true;
  gf_log("No traffic in this region");
  return false;
}

void gf_waitForFirstTraffic() {
  gf_waitForTraffic(
      [] {
        if (gf_isRtDirect()) return g_rtApiTrafficClient.answersReceived.load() > 0;
        // An app that has gone sends nothing more: the restart waits for the next one.
        if (!gf_watchRTAppSeat()) return false;
        return g_rtAppTrafficReader.lastFeedTime.load() != 0;  // a live message in range
      },
      [] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); });
}

void gf_resetParkingControlsForTest() { g_parkingGenerating = false; }

void gf_postAircraftCounts() {
  const auto live = std::count_if(g_liveAcs.begin(), g_liveAcs.end(), [](const LiveAc& a) {
    return a.simState == SimStatus::active && a.state != FlightPhase::parked;
  });
  Gui::enqueueUpdate(gui::SetLiveAircraftCount{static_cast<std::uint64_t>(live)});
  const std::int32_t parkedLive = gf_countParkedLive(true);
  const std::int64_t parkedStatic = gf_countParkedStatic(true);
  Gui::enqueueUpdate(gui::SetParkedCounts{static_cast<std::uint64_t>(std::max(parkedLive, 0)),
                                          static_cast<std::uint64_t>(std::max<std::int64_t>(parkedStatic, 0))});
}
