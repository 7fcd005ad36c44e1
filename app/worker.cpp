#include "app/worker.h"

#include <fmt/format.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <shared_mutex>
#include <system_error>

#include "appbase/gui.h"
#include "app/install_path.h"
#include "app/main_loop.h"
#include "app/program_entry.h"
#include "app/shutdown.h"
#include "appbase/stop_request.h"
#include "app/traffic_source.h"
#include "app/worker_seams.h"
#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/files.h"
#include "core/log.h"
#include "core/program.h"
#include "core/text.h"
#include "core/user_exception.h"
#include "core/utc_time.h"
#include "feed/rt_api_session.h"
#include "parking/apf_file.h"
#include "simlink/sim_client.h"
#include "simlink/sim_commands.h"
#include "simlink/user_aircraft.h"
#include "traffic/static_stands.h"

namespace fs = std::filesystem;

std::jthread g_weatherReaderThread;
std::jthread g_trafficReaderThread;
bool g_dbaseLoaded = false;

namespace {

std::jthread g_mainThread;

// A production run is unattended: nobody sees its window, so its errors also go to stderr.
void lf_reportStartupError(std::string_view text) {
  if (gf_productionMode()) gf_sayFaultOnStderr(text);
}

// The error line, then the SYSTEM ERROR stop (unless a stop is stored already). The run ends on
// it: whoever started the program is told why, window or not.
void lf_reportFatalError(std::string_view text) {
  if (text.empty()) text = "Unknown exception";
  gf_sayFaultOnStderr(text);
  Gui::showError(text);
  gf_requestStop(StopReason::SystemError, 0);
}

void lf_requireDocsFolder() {
  std::error_code error;
  const auto status = fs::status(g_docsFolder, error);
  if (error && error != std::errc::no_such_file_or_directory) throw fs::filesystem_error("status", g_docsFolder, error);
  if (!fs::is_directory(status))
    throw jrv::UserRelatedException(41,
                                    fmt::format("{} must be run from the {} folder!", g_programName, g_programName));
}

// A DESTINATION that is no ICAO code is a stale setting, not a reason to stop the program.
void lf_applySavedDestination() {
  const std::string destination = DESTINATION.value;
  if (destination.empty()) return;
  IcaoCode code;
  try {
    code = IcaoCode(destination);
  } catch (const std::exception& e) {
    gf_logWarning(
        fmt::format("DESTINATION '{}' ignored and cleared: {}", gf_escapedText(destination), gf_escapedText(e.what())));
    DESTINATION.setAndSave("");
    gf_updateParameterSnapshot(DESTINATION);
    return;
  }
  const WorkerSeams& s = gf_workerSeams();
  if (auto airport = s.findAirport(code)) s.setDestination(*airport);
}

void lf_runCatching() {
  const WorkerSeams& s = gf_workerSeams();
  // A production run has failed until every data step has succeeded.
  if (gf_productionMode()) gf_setExitCode(1);
  lf_requireDocsFolder();
  if (!lf_setupData()) return;

  s.enableScanControls(false);
  {
    struct ScanControlsGuard {
      const WorkerSeams& seams;
      ~ScanControlsGuard() { seams.enableScanControls(true); }
    } guard{s};
    if (gf_isRunning()) {
      const auto snapshot = g_parameterSnapshot.load();
      std::error_code error;
      const bool scan = !snapshot->skipLiveriesScan || !fs::exists(gf_liveriesScannedFile(), error);
      if (scan) s.scanLiveries();
      try {
        s.processScannedLiveries();
      } catch (const std::exception& e) {
        // A saved result that cannot be used is as good as none: scan, as without one.
        if (scan) throw;
        gf_logWarning(fmt::format("{}: scanning the liveries again", e.what()));
        s.scanLiveries();
        s.processScannedLiveries();
      }
    }
  }
  if (!gf_isRunning()) return;

  Gui::enqueueUpdate(gui::SetSimaddonCount{gf_countFilesInDirectory(g_mySimaddonFolder, "")});
  Gui::enqueueUpdate(gui::SetThirdpartyCount{gf_countFilesInDirectory(g_myThirdpartyFolder, "")});
  if (!gf_isRunning()) return;

  if (s.flightPlanFolder() && !s.ensureFlightPlanFolder()) return;
  s.readMyParkAirportsFile();
  lf_applySavedDestination();
  Gui::enqueueUpdate(gui::SetAlwaysOnTop{ALWAYS_ON_TOP.value});

  g_feedConnected = false;
  s.initTrafficEngine();
  s.enableRtChoice(true);
  gf_flushLog();

  if (!lf_startSimClient()) return;

  if (g_userOnGround) {
    const UserAcPosition user = gf_publishedUserAcPosition();
    if (auto airport = s.findClosestAirport(user)) {
      gf_setParkAirport(*airport);
      Gui::enqueueUpdate(gui::SetParkAirportCode{airport->code});
      gf_log(fmt::format("User aircraft on the ground at {}", airport->code.text()));
      gf_log(fmt::format("The park airport is {}", airport->code.text()));
    }
  }

  if (!(gf_isRtDirect() ? lf_startRTDirect() : lf_startRTApp())) return;
  g_currentWeekTime = gf_weekdayAndHalfHour();
  lf_mainLoop();
}

}  // namespace

void lf_main() {
  try {
    lf_runCatching();
  } catch (const jrv::UserRelatedException& e) {
    lf_reportFatalError(e.what());
  } catch (const fmt::format_error& e) {
    Gui::showError(fmt::format("std::format error: {}", e.what()));
    lf_reportFatalError(e.what());
  } catch (const std::bad_alloc& e) {
    lf_reportFatalError(e.what());
  } catch (const std::exception& e) {
    lf_reportFatalError(e.what());
  } catch (...) {
    lf_reportFatalError("Unknown exception");
  }
  lf_closingDownGuarded();
}

bool lf_setupData() {
  const WorkerSeams& s = gf_workerSeams();
  s.loadParameters();
  Gui::enqueueUpdate(gui::Redraw{REDRAW_HEADER});
  s.initOptionControls();
  Gui::enqueueUpdate(gui::SetCompact{COLLAPSED.value});

  gf_fixCommunityInstallPath(gf_installPathOption());
  lf_createFolders();
  // The production job needs no feed, and the license dialog would wait for nobody.
  if (gf_isRtDirect() && !gf_productionMode()) s.readRTLicenseOrToken();

  if (!g_restartPending && !s.checkForUpdates()) {
    lf_reportStartupError("the update check ended the run");
    return false;
  }
  s.initTimeShiftControls();
  g_currentWeekTime = gf_weekdayAndHalfHour();

  if (!g_dbaseLoaded) {
    if (!s.readDbase()) throw std::runtime_error("reading data files failed!");
    g_dbaseLoaded = true;
  }
  if (auto error = s.readAirports()) throw std::runtime_error(*error);

  if (gf_installPathOption().value.load().empty() && !lf_promptInstallPath()) {
    lf_reportStartupError("no simulator install path is known");
    gf_requestStop(StopReason::InstallPathMissing, 0);
    return false;
  }
  Gui::enqueueUpdate(gui::Redraw{REDRAW_PANEL});

  if (gf_productionMode()) {
    lf_commandLineJob();
    return false;
  }
  gf_flushLog();
  return true;
}

void lf_commandLineJob() {
  try {
    gf_log("Command line job:");
    if (gf_productionMode()) {
      gf_log("production");
      gf_setExitCode(0);
    }
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("exception {}", e.what()));
    lf_reportStartupError(e.what());
    gf_setExitCode(1);
  }
}

void lf_createFolders() {
  for (const fs::path* folder : {&g_outputFolder, &g_infoFolder, &g_errorsFolder, &g_airportsFolder, &g_learnedFolder,
                                 &g_learnedStockFolder, &g_learnedSimaddonFolder, &g_learnedThirdpartyFolder,
                                 &g_mySimaddonFolder, &g_myThirdpartyFolder, &g_myRegcodesFolder}) {
    std::error_code error;
    const auto status = fs::status(*folder, error);
    if (error && error != std::errc::no_such_file_or_directory) throw fs::filesystem_error("status", *folder, error);
    if (!fs::is_directory(status)) fs::create_directories(*folder);
  }
  std::error_code error;
  if (fs::exists(g_objectIdListFile, error)) fs::remove(g_objectIdListFile);
  for (const fs::path* folder : {&g_airportsFolder, &g_learnedFolder, &g_learnedStockFolder, &g_learnedSimaddonFolder,
                                 &g_learnedThirdpartyFolder, &g_mySimaddonFolder, &g_myThirdpartyFolder})
    gf_removeStaleApfTemporaries(*folder);
}

bool lf_startSimClient() {
  const WorkerSeams& s = gf_workerSeams();
  s.initSimClient();
  Gui::enqueueUpdate(gui::Redraw{REDRAW_HEADER});
  g_simClientThread = std::jthread([body = s.simClientBody](std::stop_token token) { body(std::move(token)); });
  return lf_waitForSimulator();
}

bool lf_waitForSimulator() {
  const WorkerSeams& s = gf_workerSeams();
  auto publish = [&s] {
    gf_queueSimCommand(SimCommand{3, 0});
    s.publishUserAcPosition(s.getUserAcPosition());
  };
  while (g_simState.load() != 2) {
    if (!gf_isRunning()) return false;
    gf_workerSleepMs(100);
  }
  gf_queueSimCommand(SimCommand{2, 0});
  // The park airport and the app's parked traffic at start hang on the on-ground state.
  while (!g_userOnGroundKnown.load() || !gf_isUserPositionKnown(gf_publishedUserAcPosition())) {
    if (!gf_isRunning()) return false;
    publish();
    gf_workerSleepMs(500);
  }
  g_userInfoReceived = 0;
  gf_queueSimCommand(SimCommand{1, 0});
  // A dropped link is waited out as everywhere else. The new connection knows none of the old
  // one's requests: once the flight runs again, ask it for the on-ground state and the title.
  bool linked = true;
  while ((g_userInfoReceived.load() & (kUserTitleReceived | kUserModelReceived)) !=
         (kUserTitleReceived | kUserModelReceived)) {
    if (!gf_isRunning()) return false;
    const bool running = g_simState.load() == 2;
    if (running && !linked) {
      gf_queueSimCommand(SimCommand{2, 0});
      gf_queueSimCommand(SimCommand{1, 0});
    }
    linked = running;
    gf_workerSleepMs(10);
  }
  while (!gf_isUserPositionKnown(gf_publishedUserAcPosition())) {
    if (!gf_isRunning()) return false;
    publish();
    gf_workerSleepMs(200);
  }
  return true;
}

void gf_startMainThread() {
  gf_joinMainThread();
  g_mainThread = std::jthread([] { lf_main(); });
}

void gf_joinMainThread() {
  if (g_mainThread.joinable()) g_mainThread.join();
}

void gf_resetWorkerForTest() {
  g_dbaseLoaded = false;
  g_restartPending = false;
  g_rtAppServerStarted = false;
  gf_resetMainLoopState();
  g_staticTargetCount = 0;
}
