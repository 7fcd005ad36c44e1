#include "app/time_shift.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "appbase/gui.h"
#include "appbase/stop_request.h"
#include "app/worker_seams.h"
#include "config/keys.h"
#include "config/parameter_load.h"
#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "core/utc_time.h"
#include "feed/rt_api_metar_client.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_traffic_client.h"
#include "feed/rt_app_requests.h"
#include "simlink/user_aircraft.h"

std::atomic<bool> g_timeShifted{false};
std::atomic<bool> g_firstSimTimeShift{true};
std::atomic<std::int64_t> g_lastSimTimeSeconds{0};

namespace {

void lf_enable(const GuiControl& control, bool enabled) {
  if (ui::isWindow(control.window)) ui::enableWindow(control.window, enabled);
}

void lf_setClientOffsets(std::uint32_t minutes) {
  const std::uint32_t offset = std::min(minutes, kMaxTimeShiftMinutes);
  g_rtApiTrafficClient.toffset = offset;
  g_rtApiMetarClient.toffset = offset;
}

// Stamps follow the feed's clock only for a professional licence with a shift in force.
void lf_feedTimeSwitch(std::int64_t minutes) { gf_setFeedTimeSwitch(g_rtProfessional && minutes > 0); }

void lf_showShift(std::int64_t minutes) {
  Gui::showMessage(fmt::format("Time shifted {} minute{}", minutes, minutes == 1 || minutes < 0 ? "" : "s"), true);
}

void lf_restartFeed() { gf_requestStop(StopReason::NewSettings, 0); }

// The clamp and the warning that both automatic variants share.
std::int32_t lf_limitShift(std::int32_t minutes) {
  if (minutes <= static_cast<std::int32_t>(kMaxTimeShiftMinutes)) return minutes;
  gf_logWarning("time shift is limited to 2 weeks !");
  return static_cast<std::int32_t>(kMaxTimeShiftMinutes);
}

double lf_between(double fl, double fromFl, double fromRange, double toFl, double toRange) {
  if (toFl <= fromFl) return toRange;  // equal bounds: the upper radius directly
  return fromRange + (toRange - fromRange) * (fl - fromFl) / (toFl - fromFl);
}

}  // namespace

std::uint32_t gf_timeShiftMinutes() {
  const auto s = g_parameterSnapshot.load();
  return (s->timeShiftDays * 24u + s->timeShiftHours) * 60u + s->timeShiftMins;
}

void gf_setTimeShiftControls(std::uint32_t minutes) {
  IntListOption* lists[] = {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS};
  // Two whole weeks do not fit the day list (0..13): clamping the days alone would drop a
  // whole day, so the lists show the longest shift they can hold instead.
  const std::uint32_t longest = (static_cast<std::uint32_t>(TIME_SHIFT_DAYS.maximum) * 24u +
                                 static_cast<std::uint32_t>(TIME_SHIFT_HOURS.maximum)) * 60u +
                                static_cast<std::uint32_t>(TIME_SHIFT_MINS.maximum);
  minutes = std::min(minutes, longest);
  const std::uint32_t parts[] = {minutes / 1440, (minutes % 1440) / 60, minutes % 60};
  for (int i = 0; i < 3; ++i) {
    IntListOption& list = *lists[i];
    list.value = list.clamped(static_cast<std::int32_t>(std::min<std::uint32_t>(parts[i], INT32_MAX)));
    list.save();
    if (ui::isWindow(list.window)) list.selectInCombo();
    gf_updateParameterSnapshot(list);
  }
  Gui::redrawPanel();
}

void gf_applyTimeShift(std::uint32_t minutes, bool restartAllowed, bool keepControls) {
  const bool shiftedBefore = g_timeShifted.exchange(minutes > 0);
  if (!keepControls) gf_setTimeShiftControls(minutes);
  lf_setClientOffsets(minutes);
  lf_feedTimeSwitch(minutes);
  if (minutes == 0 && !shiftedBefore) {
    Gui::showMessage("Time shift = 0", true);
    return;
  }
  lf_showShift(minutes);
  if (restartAllowed) lf_restartFeed();
}

void gf_enableTimeShiftControls(bool enabled) {
  for (const GuiControl* control : {static_cast<const GuiControl*>(&TIME_SHIFT_DAYS),
                                    static_cast<const GuiControl*>(&TIME_SHIFT_HOURS),
                                    static_cast<const GuiControl*>(&TIME_SHIFT_MINS),
                                    static_cast<const GuiControl*>(&SIM_TIME)})
    lf_enable(*control, enabled);
  if (!enabled) Gui::enqueueUpdate(gui::LockTimeShift{});
  lf_enable(SET_BUTTON, false);
}

void gf_followSimTime() {
  if (!g_simZuluTimeValid) {
    g_lastSimTimeSeconds = 0;
    return;
  }
  const std::int64_t simSeconds = g_simZuluTime;
  if (std::llabs(simSeconds - g_lastSimTimeSeconds) >= 30) {
    // A simulator clock ahead of real time asks for no shift.
    const std::int64_t behind = (gf_systemSeconds() - simSeconds) / 60;
    const auto minutes = static_cast<std::int32_t>(std::clamp<std::int64_t>(behind, 0, INT32_MAX));
    if (gf_isRtDirect())
      gf_simTimeShiftRtDirect(minutes);
    else
      gf_simTimeShiftRtApp(minutes);
  }
  g_lastSimTimeSeconds = simSeconds;
}

void gf_simTimeShiftRtDirect(std::int32_t minutes) {
  if (minutes == 0 && g_firstSimTimeShift) return;
  g_timeShifted = minutes > 0;
  minutes = lf_limitShift(minutes);
  gf_setTimeShiftControls(static_cast<std::uint32_t>(std::max(minutes, 0)));
  lf_feedTimeSwitch(minutes);
  lf_showShift(minutes);
  if (g_firstSimTimeShift.exchange(false)) {
    lf_setClientOffsets(static_cast<std::uint32_t>(std::max(minutes, 0)));
    return;
  }
  g_lastSimTimeSeconds = 0;
  g_timeShifted = false;
  lf_restartFeed();
}

void gf_simTimeShiftRtApp(std::int32_t minutes) {
  if (minutes == 0 && g_firstSimTimeShift) return;
  g_timeShifted = minutes > 0;
  minutes = lf_limitShift(minutes);
  lf_feedTimeSwitch(minutes);
  lf_showShift(minutes);
  // The app takes the simulator's time itself ("Qs123="); no offset to store.
  if (g_firstSimTimeShift.exchange(false)) return;
  g_lastSimTimeSeconds = 0;
  g_timeShifted = false;
  lf_restartFeed();
}

void gf_sendSimTimeToRTApp() {
  if (g_simZuluTimeValid) gf_sendTimeOffsetToRTApp(g_simZuluTime);
}

void gf_resetLastSimTime() {
  g_firstSimTimeShift = true;
  g_lastSimTimeSeconds = 0;
  g_timeShifted = false;
}

void gf_applyRangeMode() {
  const auto snapshot = g_parameterSnapshot.load();
  if (snapshot->autoRange)
    gf_autoRange();
  else
    gf_setRange(RANGE.value);
  lf_enable(RANGE, !snapshot->autoRange);
}

double gf_autoRangeRadius(bool onGround, double flightLevel) {
  const double ground = RANGE_GROUND.value;
  if (onGround) return ground;
  const double fl = std::max(flightLevel, 0.0);
  const double fl1 = FLIGHT_LEVEL_1.value, fl2 = FLIGHT_LEVEL_2.value, fl3 = FLIGHT_LEVEL_3.value;
  if (fl <= fl1) return lf_between(fl, 0, ground, fl1, RANGE_1.value);
  if (fl <= fl2) return lf_between(fl, fl1, RANGE_1.value, fl2, RANGE_2.value);
  if (fl <= fl3) return lf_between(fl, fl2, RANGE_2.value, fl3, RANGE_3.value);
  return RANGE_ABOVE.value;
}

void gf_autoRange() {
  const UserAcPosition user = gf_publishedUserAcPosition();
  const double radius = gf_autoRangeRadius(g_userOnGround, user.altitude / 100.0);
  const double before = g_parameterSnapshot.load()->rangeNm;
  gf_setRange(static_cast<std::int32_t>(std::lround(radius)));
  if (gf_isRtDirect() && g_parameterSnapshot.load()->rangeNm != before) g_rtApiTrafficClient.updateQueryBox();
}

void gf_resetTimeShiftForTest() {
  gf_resetLastSimTime();
  gf_setFeedTimeSwitch(false);
}
