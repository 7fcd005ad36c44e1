#include "app/traffic_source.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <stdexcept>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "appbase/gui.h"
#include "app/main_loop.h"
#include "appbase/stop_request.h"
#include "app/window_seams.h"
#include "app/worker.h"
#include "app/worker_seams.h"
#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "core/log.h"
#include "core/text.h"
#include "core/utc_time.h"
#include "feed/rt_api_session.h"
#include "feed/rt_app_traffic.h"
#include "feed/traffic_mailbox.h"
#include "simlink/user_aircraft.h"

std::atomic<bool> g_rtAppServerStarted{false};

namespace {

Lalo lf_userLalo() {
  const UserAcPosition user = gf_publishedUserAcPosition();
  return {user.latitude, user.longitude};
}

// Polls every step until done() or the program stops; false when time ran out or it stopped.
template <class Done>
bool lf_waitFor(Done done, std::int32_t steps, std::int64_t stepMs) {
  for (std::int32_t i = 0; i < steps && gf_isRunning(); ++i) {
    if (done()) return true;
    gf_workerSleepMs(stepMs);
  }
  return done();
}

// A port number as the resolver reads it (leading blanks and a sign included) must be 1 to 65535:
// beyond, the resolver takes it modulo 65536, and 0 is a free port that no app would find. A
// service name is the resolver's to refuse.
void lf_checkPortNumber(const std::string& text) {
  char* end = nullptr;
  std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || end == text.c_str() || *end != '\0') return;
  unsigned long port = 0;
  const auto [last, error] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (error == std::errc() && last == text.data() + text.size() && port >= 1 && port <= 65535) return;
  throw std::runtime_error(fmt::format("PORT_NUMBER \"{}\" is not a port number from 1 to 65535", gf_escapedText(text)));
}

// A fresh source: the mailbox off until the main loop switches it on.
void lf_resetTrafficMailboxState() { gf_setMailboxActive(false); }

}  // namespace

void gf_workerSleepMs(std::int64_t ms) {
  const WorkerSeams& s = gf_workerSeams();
  const std::int64_t end = s.steadyNanos() + ms * 1'000'000;
  for (std::int64_t now = s.steadyNanos(); now < end && gf_isRunning(); now = s.steadyNanos())
    s.sleepNanos(std::min<std::int64_t>(end - now, 100'000'000));
}

void lf_processRTVersion(std::string_view answer) {
  if (answer.empty()) {
    Gui::showMessage("No RealTraffic version received?", false);
    g_rtProfessional = false;
    return;
  }
  nlohmann::json reply;
  try {
    reply = nlohmann::json::parse(answer);
  } catch (const nlohmann::json::parse_error& e) {
    gf_log(fmt::format("{}: JSON parse failed: {}", "lf_processRTVersion", gf_escapedText(e.what())));
  }
  if (!reply.is_object()) {
    g_rtProfessional = false;
    Gui::setRTLicenseText("");
    return;
  }
  std::int64_t level = 1;
  if (auto it = reply.find("level"); it != reply.end() && it->is_number_integer()) level = it->get<std::int64_t>();
  std::string version;
  if (auto it = reply.find("version"); it != reply.end() && it->is_string()) version = it->get<std::string>();
  g_rtProfessional = level == 2;
  Gui::setRTLicenseText(fmt::format("RT App {} edition: {}", level == 2 ? "prof" : "stnd", version));
}

bool gf_watchRTAppSeat() {
  if (!g_rtAppServerStarted || !g_feedConnected) return true;
  if (gf_workerSeams().rtAppSeatHeld()) return true;
  gf_reportRTAppGone();
  return false;
}

void lf_rtAppHandshake() {
  const WorkerSeams& s = gf_workerSeams();
  Gui::showMessage("Waiting for the RealTraffic App to run ... (did you start it?)", true);
  gf_logFlush(" ");
  g_waitingForRTApp = true;
  s.resetRTAppReaders();
  // The handshake logs "RealTraffic connected" itself.
  if (s.rtAppHandshake([](const std::string& answer) { lf_processRTVersion(answer); }))
    g_feedConnected = true;
  g_waitingForRTApp = false;
  Gui::clearMessage();
}

bool lf_startRTApp() {
  const WorkerSeams& s = gf_workerSeams();
  Gui::enqueueUpdate(gui::LockTimeShift{});
  if (!gf_isRunning()) return false;
  Gui::enqueueUpdate(gui::SetSimaddonCount{0});
  Gui::enqueueUpdate(gui::SetThirdpartyCount{0});
  s.scanAirports();
  s.applyRangeMode();

  g_rtAppServerStarted = false;
  if (PSX_SERVER_HERE.value && !AEROWINX.value) {
    lf_checkPortNumber(PORT_NUMBER.value);
    s.startRTAppServer(PORT_NUMBER.value);
    g_rtAppServerStarted = true;
  } else {
    s.closeRTAppServer();  // one the run before left listening
  }
  if (!PSX_SERVER_HERE.value) g_feedConnected = true;
  if (!gf_isRunning()) return false;
  Gui::enqueueUpdate(gui::FeedStarted{});

  if (PSX_SERVER_HERE.value) {
    if (AEROWINX.value)
      g_rtProfessional = false;
    else
      lf_rtAppHandshake();
    if (g_rtProfessional && g_rtAppServerStarted) s.sendTimeOffsetToRTApp();
  }
  if (!gf_isRunning()) return false;
  lf_resetTrafficMailboxState();
  gf_sendUserPositionToFeed();

  g_weatherReaderThread =
      std::jthread([body = s.rtAppWeatherReader](std::stop_token token) { body(std::move(token)); });
  if (gf_isRunning()) s.setRTAppQueryCentre(lf_userLalo());
  g_trafficReaderThread =
      std::jthread([body = s.rtAppTrafficReader](std::stop_token token) { body(std::move(token)); });

  // An app that goes meanwhile is not waited for: the restart asks the next one.
  if (!lf_waitFor([&s] { return !gf_watchRTAppSeat() || s.rtAppBufferTrafficReceived(); }, 600, 50) &&
      gf_isRunning())
    gf_logWarning("Time out: no buffer traffic received?");
  if (!gf_isRunning()) return false;

  if (g_userOnGround && !gf_parkAirport().code.empty() && gf_isValidLalo(gf_parkAirport().position)) {
    Gui::showMessage(fmt::format("{} Requesting RT parked traffic ...", gf_utcTimeText()), true);
    s.requestParkedTraffic();
    if (!lf_waitFor([&s] { return !gf_watchRTAppSeat() || s.parkedTrafficReceived(); }, 200, 50) &&
        gf_isRunning())
      gf_logWarning("Time out: no parked traffic received?");
  } else {
    gf_log("user not at an airport, no RT parked Traffic needed");
  }
  if (!gf_isRunning()) return false;
  gf_workerSleepMs(100);
  s.waitForFirstTraffic();
  gf_flushLog();
  return true;
}

bool lf_startRTDirect() {
  const WorkerSeams& s = gf_workerSeams();
  s.closeRTAppServer();  // one an RT App run before left listening
  if (!gf_isRunning()) return false;
  Gui::enqueueUpdate(gui::SetSimaddonCount{0});
  Gui::enqueueUpdate(gui::SetThirdpartyCount{0});
  s.scanAirports();
  s.applyRangeMode();
  Gui::enqueueUpdate(gui::FeedStarted{});
  if (!gf_isRunning()) return false;
  lf_resetTrafficMailboxState();
  gf_flushLog();

  gf_log(fmt::format("{} waiting for the user aircraft position ...", gf_utcTimeText()));
  const bool known = lf_waitFor([] { return gf_isUserPositionKnown(gf_publishedUserAcPosition()); }, 120, 500);
  if (!gf_isRunning())
    gf_log(fmt::format("{} waiting for user aircraft position interrupted, program is stopping", gf_utcTimeText()));
  else if (!known)
    gf_log(fmt::format("{} user aircraft position still not valid after 60 seconds, continuing aborted",
                       gf_utcTimeText()));

  s.updateQueryBox();
  s.holdRTAPICooldown();

  if (gf_isRunning()) {
    s.authenticate();
    Gui::enqueueUpdate(gui::SetTrafficReaderState{1});
    Gui::enqueueUpdate(gui::SetWeatherReaderState{1});
    s.enableTimeShiftControls(g_rtProfessional);
    if (!g_rtProfessional) {
      s.resetTimeShift();
      if (g_parameterSnapshot.load()->keepSimTimePar) {
        KEEP_SIM_TIME_PAR.value = false;
        KEEP_SIM_TIME_PAR.save();
        if (KEEP_SIM_TIME_PAR.window != ui::Hwnd::null)
          ui::invalidateRect(KEEP_SIM_TIME_PAR.window, std::nullopt, true);
        gf_updateParameterSnapshot(KEEP_SIM_TIME_PAR);
      }
      Gui::enqueueUpdate(gui::LockTimeShift{});
    }
  }
  lf_waitFor([&s] { return s.isAuthenticated(); }, 20, 200);

  if (gf_isRunning())
    g_weatherReaderThread =
        std::jthread([body = s.rtDirectWeatherReader](std::stop_token token) { body(std::move(token)); });
  if (gf_isRunning())
    g_trafficReaderThread =
        std::jthread([body = s.rtDirectTrafficReader](std::stop_token token) { body(std::move(token)); });

  gf_workerSleepMs(300);
  s.setRTDirectQueryCentre(lf_userLalo());
  s.waitForFirstTraffic();

  const std::int64_t start = s.steadyNanos();
  while (gf_isRunning() && !s.rtDirectFirstTrafficAnswer()) {
    if (s.steadyNanos() - start > 10'000'000'000) {
      gf_log("RTAPI TrafficReader receiving timed out after 10 seconds?");
      gf_requestStop(StopReason::ReaderError, 15);
      break;
    }
    gf_workerSleepMs(100);
  }
  gf_flushLog();
  return true;
}
