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
#include "appbase/gui.h"
#include "app/main_loop.h"
#include "appbase/messages.h"
#include "app/program_entry.h"
#include "app/shutdown.h"
#include "appbase/stop_request.h"
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
#include "simlink/sim_commands.h"
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
    DESTINATION.value = "";
    MSFS_INSTALL_PATH.value = "";
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
    g_userOnGroundKnown = false;
    g_rtProfessional = false;
    g_feedConnected = false;
    std::lock_guard lock(g_simQueueMutex);
    g_simCommands.clear();  // the requests of an earlier test's run
  }

  // The calls in order, by name.
  void record(const std::string& name) {
    std::lock_guard lock(callsMutex);
    calls.push_back(name);
  }
  void clearCalls() {
    std::lock_guard lock(callsMutex);
    calls.clear();
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
  // Where the call stands among the calls so far; past the end when missing.
  std::ptrdiff_t position(const char* name) {
    const auto names = callsSnapshot();
    return std::find(names.begin(), names.end(), name) - names.begin();
  }
  static void joinReaders() {
    g_weatherReaderThread.join();
    g_trafficReaderThread.join();
  }

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
#define JORV_SPY(seam) spy(s.seam, #seam);
    JORV_SPY(readAirports) JORV_SPY(findAirport) JORV_SPY(findClosestAirport) JORV_SPY(readRTLicenseOrToken)
    JORV_SPY(initOptionControls) JORV_SPY(initTimeShiftControls) JORV_SPY(enableScanControls) JORV_SPY(enableRtChoice)
    JORV_SPY(enableBlockField) JORV_SPY(messageBox) JORV_SPY(pickFolder) JORV_SPY(setDestination)
    JORV_SPY(applyRangeMode) JORV_SPY(enableTimeShiftControls) JORV_SPY(resetTimeShift) JORV_SPY(followSimTime)
    JORV_SPY(autoRange) JORV_SPY(setAircraftList) JORV_SPY(scanLiveries) JORV_SPY(processScannedLiveries)
    JORV_SPY(logLiveryMatchingSummary) JORV_SPY(logUnmatchedLiveries) JORV_SPY(clearFailedLiveries)
    JORV_SPY(clearNoMatchList) JORV_SPY(initTrafficEngine) JORV_SPY(clearTrafficEngine) JORV_SPY(handleAddingStack)
    JORV_SPY(processDelayedSimCommands) JORV_SPY(flightPlanFolder) JORV_SPY(removeFlightPlanFolder)
    JORV_SPY(setParkedNavLights) JORV_SPY(postAircraftCounts) JORV_SPY(runDueParkedAcAction)
    JORV_SPY(matchQueuedStandOption) JORV_SPY(standCount) JORV_SPY(setStaticTargetCount) JORV_SPY(enforceMaxParked)
    JORV_SPY(liveAircraftInSim) JORV_SPY(removeFurthestLive) JORV_SPY(removeAllStatic) JORV_SPY(liveAcDescriptions)
    JORV_SPY(checkLiveWithParkedCollisions) JORV_SPY(removeBlockedAc) JORV_SPY(removeLiveAircraftCategory)
    JORV_SPY(removeStaticAircraftCategory) JORV_SPY(clearUserDestGate) JORV_SPY(removeTCASCoverageAcs)
    JORV_SPY(checkForAllGndIfParkedVersionExistsAndRemove) JORV_SPY(handleParkingRequests) JORV_SPY(writeActiveAcFile)
    JORV_SPY(removeAllStaticAndLiveAtAirport) JORV_SPY(clearPerRunNames) JORV_SPY(readMyParkAirportsFile)
    JORV_SPY(saveMyParkAirportsFile) JORV_SPY(hasAirportData) JORV_SPY(setupParkAirport)
    JORV_SPY(checkParkedAcUserCollisions) JORV_SPY(getUserStand) JORV_SPY(standSearchRunning)
    JORV_SPY(standSearchHits) JORV_SPY(adjustParking) JORV_SPY(resumeParkedWait) JORV_SPY(parkAirportHasStands) JORV_SPY(clearStandSearchHits)
    JORV_SPY(resetParkAirport) JORV_SPY(disableParkingControls) JORV_SPY(resetParkedTraffic) JORV_SPY(scanAirports)
    JORV_SPY(initSimClient) JORV_SPY(resetSimClient) JORV_SPY(clearAiPoseMaps) JORV_SPY(startRTAppServer)
    JORV_SPY(closeRTAppServer) JORV_SPY(dropRTAppClient) JORV_SPY(resetRTAppReaders) JORV_SPY(sendTimeOffsetToRTApp)
    JORV_SPY(rtAppWeatherReader) JORV_SPY(rtAppTrafficReader) JORV_SPY(stopRTAppReaders) JORV_SPY(setRTAppQueryCentre)
    JORV_SPY(requestParkedTraffic) JORV_SPY(waitForFirstTraffic) JORV_SPY(updateQueryBox)
    JORV_SPY(setRTDirectQueryCentre) JORV_SPY(holdRTAPICooldown) JORV_SPY(persistRTAPICooldown) JORV_SPY(authenticate)
    JORV_SPY(deauthenticate) JORV_SPY(rtDirectWeatherReader) JORV_SPY(rtDirectTrafficReader)
    JORV_SPY(stopRTDirectReaders) JORV_SPY(resetRTDirectClients) JORV_SPY(weatherReceiving) JORV_SPY(trafficReceiving)
#undef JORV_SPY
    s.stepStandSearch = [] { return false; };  // every tick; not recorded, as nothing is searched
    s.pollRunwayRead = [] { return false; };   // every tick; not recorded, as nothing is read
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
    s.rtAppSeatHeld = [this] { return !appLeavesSeat.load(); };  // asked every tick: not recorded
    s.isAuthenticated = yes("isAuthenticated");
    s.rtDirectFirstTrafficAnswer = yes("rtDirectFirstTrafficAnswer");
    s.rtAppHandshake = [this](const std::function<void(const std::string&)>& processVersion) {
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
    g_userOnGroundKnown = true;
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
  std::atomic<bool> appLeavesSeat{false};  // the seated app has closed its end
  bool userOnGround = false;
  std::mutex callsMutex;
  std::vector<std::string> calls;
};

}  // namespace worker_test
