#pragma once
// A worker run against fakes: every call the worker makes of a subsystem is a spy that records
// its name (and does nothing), a fake clock whose sleeps pass at once, and a fake simulator
// link that flags one engine step per second of that clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "app/engine_requests.h"
#include "app/gui.h"
#include "app/main_loop.h"
#include "app/messages.h"
#include "app/program_entry.h"
#include "app/shutdown.h"
#include "app/stop_request.h"
#include "app/traffic_source.h"
#include "app/worker.h"
#include "app/worker_seams.h"
#include "config/keys.h"
#include "config/options.h"
#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "feed/feed_neighbours.h"
#include "feed/rt_api_session.h"
#include "feed/traffic_mailbox.h"
#include "simlink/sim_client.h"
#include "simlink/user_aircraft.h"
#include "tests/support/test_support.h"

namespace worker_test {

constexpr std::int64_t kSecond = 1'000'000'000;

class WorkerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.path() / "docs");
    std::filesystem::create_directories(dir.path() / "appdata");
    ::setenv("JORV_APPDATA", (dir.path() / "appdata").c_str(), 1);
    ::setenv("JORV_LOCALAPPDATA", (dir.path() / "local").c_str(), 1);
    gf_resetProgramFolders();
    gf_setParameterWriter(nullptr);
    gf_resetStopStateForTest();
    gf_resetGuiForTest();
    gf_resetEngineRequests();
    gf_resetWorkerForTest();
    gf_resetTrafficMailbox();
    gf_resetFeedNeighbours();
    gf_resetParameterSnapshot();
    lf_resetSimState();
    SIM_CHOICE.value = "MSFS 2024";
    RT_CHOISE.value = "RT App";
    PSX_SERVER_HERE.value = true;
    AEROWINX.value = false;
    DESTINATION.value.clear();
    MSFS_INSTALL_PATH.value.clear();
    MSFS_2024_INSTALL_PATH.value = dir.path() / "packages";
    gf_openLog();
    seams = spies();
    gf_setWorkerSeams(seams);
  }

  void TearDown() override {
    if (g_simClientThread.joinable()) {
      g_simClientThread.request_stop();
      g_simClientThread.join();
    }
    g_weatherReaderThread = std::jthread();
    g_trafficReaderThread = std::jthread();
    gf_closeLog();
    gf_resetWorkerSeams();
    gf_resetStopStateForTest();
    gf_resetGuiForTest();
    lf_resetSimState();
    gf_publishSimChoice(SimChoice{});
    gf_setExitCode(0);
    ::unsetenv("JORV_APPDATA");
    ::unsetenv("JORV_LOCALAPPDATA");
    gf_resetProgramFolders();
  }

  static void lf_resetSimState() {
    g_simState = 0;
    g_stepDue = false;
    g_userInfoReceived = 0;
    g_userOnGround = false;
    g_rtProfessional = false;
    g_feedConnected = false;
  }

  // The calls in order, by name.
  void record(const std::string& name) {
    std::lock_guard lock(callsMutex);
    calls.push_back(name);
  }
  std::vector<std::string> callsSnapshot() {
    std::lock_guard lock(callsMutex);
    return calls;
  }
  std::int64_t count(const std::string& name) {
    auto copy = callsSnapshot();
    return std::count(copy.begin(), copy.end(), name);
  }
  bool called(const std::string& name) { return count(name) > 0; }

  template <class R, class... A>
  void spy(std::function<R(A...)>& function, const char* name) {
    function = [this, name](A...) -> R {
      record(name);
      if constexpr (!std::is_void_v<R>) return R{};
    };
  }

  // Every seam a spy; the few that must answer "yes" for the run to go on do so.
  WorkerSeams spies() {
    WorkerSeams s;
    spy(s.steadyNanos, "steadyNanos");
    spy(s.sleepNanos, "sleepNanos");
    spy(s.loadParameters, "loadParameters");
    spy(s.postToWindow, "postToWindow");
    spy(s.checkForUpdates, "checkForUpdates");
    spy(s.readDbase, "readDbase");
    spy(s.readAirports, "readAirports");
    spy(s.findAirport, "findAirport");
    spy(s.findClosestAirport, "findClosestAirport");
    spy(s.readRTLicenseOrToken, "readRTLicenseOrToken");
    spy(s.initOptionControls, "initOptionControls");
    spy(s.initTimeShiftControls, "initTimeShiftControls");
    spy(s.enableScanControls, "enableScanControls");
    spy(s.enableRtChoice, "enableRtChoice");
    spy(s.enableBlockField, "enableBlockField");
    spy(s.messageBox, "messageBox");
    spy(s.pickFolder, "pickFolder");
    spy(s.setDestination, "setDestination");
    spy(s.applyRangeMode, "applyRangeMode");
    spy(s.enableTimeShiftControls, "enableTimeShiftControls");
    spy(s.resetTimeShift, "resetTimeShift");
    spy(s.followSimTime, "followSimTime");
    spy(s.autoRange, "autoRange");
    spy(s.setAircraftList, "setAircraftList");
    spy(s.scanLiveries, "scanLiveries");
    spy(s.processScannedLiveries, "processScannedLiveries");
    spy(s.logLiveryMatchingSummary, "logLiveryMatchingSummary");
    spy(s.logUnmatchedLiveries, "logUnmatchedLiveries");
    spy(s.clearFailedLiveries, "clearFailedLiveries");
    spy(s.clearNoMatchList, "clearNoMatchList");
    spy(s.initTrafficEngine, "initTrafficEngine");
    spy(s.clearTrafficEngine, "clearTrafficEngine");
    spy(s.handleAddingStack, "handleAddingStack");
    spy(s.processDelayedSimCommands, "processDelayedSimCommands");
    spy(s.publishUserAcPosition, "publishUserAcPosition");
    spy(s.flightPlanFolder, "flightPlanFolder");
    spy(s.ensureFlightPlanFolder, "ensureFlightPlanFolder");
    spy(s.removeFlightPlanFolder, "removeFlightPlanFolder");
    spy(s.setParkedNavLights, "setParkedNavLights");
    spy(s.postAircraftCounts, "postAircraftCounts");
    spy(s.runDueParkedAcAction, "runDueParkedAcAction");
    spy(s.matchQueuedStandOption, "matchQueuedStandOption");
    spy(s.standCount, "standCount");
    spy(s.setStaticTargetCount, "setStaticTargetCount");
    spy(s.enforceMaxParked, "enforceMaxParked");
    spy(s.liveAircraftInSim, "liveAircraftInSim");
    spy(s.removeFurthestLive, "removeFurthestLive");
    spy(s.removeAllStatic, "removeAllStatic");
    spy(s.liveAcDescriptions, "liveAcDescriptions");
    spy(s.checkLiveWithParkedCollisions, "checkLiveWithParkedCollisions");
    spy(s.removeBlockedAc, "removeBlockedAc");
    spy(s.removeLiveAircraftCategory, "removeLiveAircraftCategory");
    spy(s.removeStaticAircraftCategory, "removeStaticAircraftCategory");
    spy(s.clearUserDestGate, "clearUserDestGate");
    spy(s.removeTCASCoverageAcs, "removeTCASCoverageAcs");
    spy(s.checkForAllGndIfParkedVersionExistsAndRemove, "checkForAllGndIfParkedVersionExistsAndRemove");
    spy(s.handleParkingRequests, "handleParkingRequests");
    spy(s.writeActiveAcFile, "writeActiveAcFile");
    spy(s.removeAllStaticAndLiveAtAirport, "removeAllStaticAndLiveAtAirport");
    spy(s.clearPerRunNames, "clearPerRunNames");
    spy(s.readMyParkAirportsFile, "readMyParkAirportsFile");
    spy(s.saveMyParkAirportsFile, "saveMyParkAirportsFile");
    spy(s.hasAirportData, "hasAirportData");
    spy(s.setupParkAirport, "setupParkAirport");
    spy(s.checkParkedAcUserCollisions, "checkParkedAcUserCollisions");
    spy(s.getUserStand, "getUserStand");
    spy(s.standSearchRunning, "standSearchRunning");
    spy(s.standSearchHits, "standSearchHits");
    spy(s.adjustParking, "adjustParking");
    spy(s.parkAirportHasStands, "parkAirportHasStands");
    spy(s.clearStandSearchHits, "clearStandSearchHits");
    spy(s.resetParkAirport, "resetParkAirport");
    spy(s.disableParkingControls, "disableParkingControls");
    spy(s.resetParkedTraffic, "resetParkedTraffic");
    spy(s.scanAirports, "scanAirports");
    spy(s.initSimClient, "initSimClient");
    spy(s.simClientBody, "simClientBody");
    spy(s.resetSimClient, "resetSimClient");
    spy(s.getUserAcPosition, "getUserAcPosition");
    spy(s.clearAiPoseMaps, "clearAiPoseMaps");
    spy(s.startRTAppServer, "startRTAppServer");
    spy(s.closeRTAppServer, "closeRTAppServer");
    spy(s.resetRTAppReaders, "resetRTAppReaders");
    spy(s.sendUserPositionToRTApp, "sendUserPositionToRTApp");
    spy(s.sendTimeOffsetToRTApp, "sendTimeOffsetToRTApp");
    spy(s.rtAppWeatherReader, "rtAppWeatherReader");
    spy(s.rtAppTrafficReader, "rtAppTrafficReader");
    spy(s.stopRTAppReaders, "stopRTAppReaders");
    spy(s.setRTAppQueryCentre, "setRTAppQueryCentre");
    spy(s.rtAppBufferTrafficReceived, "rtAppBufferTrafficReceived");
    spy(s.requestParkedTraffic, "requestParkedTraffic");
    spy(s.parkedTrafficReceived, "parkedTrafficReceived");
    spy(s.waitForFirstTraffic, "waitForFirstTraffic");
    spy(s.updateQueryBox, "updateQueryBox");
    spy(s.setRTDirectQueryCentre, "setRTDirectQueryCentre");
    spy(s.holdRTAPICooldown, "holdRTAPICooldown");
    spy(s.persistRTAPICooldown, "persistRTAPICooldown");
    spy(s.authenticate, "authenticate");
    spy(s.isAuthenticated, "isAuthenticated");
    spy(s.deauthenticate, "deauthenticate");
    spy(s.rtDirectWeatherReader, "rtDirectWeatherReader");
    spy(s.rtDirectTrafficReader, "rtDirectTrafficReader");
    spy(s.stopRTDirectReaders, "stopRTDirectReaders");
    spy(s.rtDirectFirstTrafficAnswer, "rtDirectFirstTrafficAnswer");
    spy(s.resetRTDirectClients, "resetRTDirectClients");
    spy(s.weatherReceiving, "weatherReceiving");
    spy(s.trafficReceiving, "trafficReceiving");
    spy(s.rtAppHandshake, "rtAppHandshake");
    s.steadyNanos = [this] { return now.load(); };
    s.sleepNanos = [this](std::int64_t nanos) { advance(nanos); };
    s.loadParameters = [this] {
      record("loadParameters");
      gf_publishSimChoice(SimChoice{SIM_CHOICE.value == "MSFS 2020" ? 1 : 2, RT_CHOISE.value == "RT App" ? 1 : 0});
      gf_initParameterSnapshot();
    };
    s.postToWindow = [this](std::uint32_t message) {
      record(message == MSG_START ? "MSG_START" : message == MSG_EXIT ? "MSG_EXIT" : "MSG_OTHER");
    };
    auto yes = [this](const char* name) {
      return [this, name](auto&&...) {
        record(name);
        return true;
      };
    };
    s.checkForUpdates = yes("checkForUpdates");
    s.readDbase = yes("readDbase");
    s.ensureFlightPlanFolder = yes("ensureFlightPlanFolder");
    s.rtAppBufferTrafficReceived = yes("rtAppBufferTrafficReceived");
    s.parkedTrafficReceived = yes("parkedTrafficReceived");
    s.sendUserPositionToRTApp = yes("sendUserPositionToRTApp");
    s.isAuthenticated = yes("isAuthenticated");
    s.rtDirectFirstTrafficAnswer = yes("rtDirectFirstTrafficAnswer");
    s.rtAppHandshake = [this](const std::string&, const std::function<void(const std::string&)>& processVersion) {
      record("rtAppHandshake");
      processVersion(R"({"version":"10.0.1","level":2})");
      return true;
    };
    s.getUserAcPosition = [] {
      UserAcPosition user;
      user.latitude = 52.3;
      user.longitude = 4.76;
      return user;
    };
    s.publishUserAcPosition = [](const UserAcPosition& user) { gf_publishUserAcPosition(user); };
    s.simClientBody = [this](std::stop_token token) { fakeSimClient(token); };
    return s;
  }

  // The fake clock: a sleep passes at once; each new second of it flags an engine step while
  // the simulated flight runs.
  void advance(std::int64_t nanos) {
    const std::int64_t before = now.fetch_add(std::max<std::int64_t>(nanos, 1));
    if ((before + nanos) / kSecond != before / kSecond && g_simState.load() == 2) g_stepDue = true;
    if (onSleep) onSleep();
    std::this_thread::yield();
  }

  void fakeSimClient(const std::stop_token& token) {
    record("SimClient started");
    g_simState = simStateWhenConnected;
    g_userOnGround = userOnGround;
    while (!token.stop_requested() && gf_isRunning()) {
      g_userInfoReceived = kUserTitleReceived | kUserModelReceived;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    while (!token.stop_requested()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    record("SimClient ended");
  }

  std::string log() {
    gf_flushLog();
    return testing_support::readFile(dir.path() / "Log.txt");
  }
  // Offsets of the lines in the log, -1 when missing.
  std::ptrdiff_t at(const std::string& text) {
    const std::string all = log();
    const auto found = all.find(text);
    return found == std::string::npos ? -1 : static_cast<std::ptrdiff_t>(found);
  }
  std::vector<std::string> shownMessages() {
    std::vector<std::string> texts;
    std::lock_guard lock(g_gui.queueMutex);
    for (const GuiUpdate& update : g_gui.queue) {
      if (auto* message = std::get_if<gui::ShowMessage>(&update)) texts.push_back(message->text);
      if (auto* error = std::get_if<gui::ShowError>(&update)) texts.push_back("Error " + error->text);
    }
    return texts;
  }

  testing_support::TempDir dir;
  testing_support::ScopedCurrentDir cwd{dir.path()};
  WorkerSeams seams;
  std::atomic<std::int64_t> now{1'000 * kSecond};
  std::function<void()> onSleep;
  std::uint8_t simStateWhenConnected = 2;
  bool userOnGround = false;
  std::mutex callsMutex;
  std::vector<std::string> calls;
};

}  // namespace worker_test
