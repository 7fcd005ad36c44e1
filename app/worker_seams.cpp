#include "app/worker_seams.h"

#include <fmt/format.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "airportscan/airport_scan.h"
#include "app/controls.h"
#include "appbase/gui.h"
#include "app/main_loop.h"
#include "app/main_window.h"
#include "appbase/messages.h"
#include "app/option_controls.h"
#include "app/blocking.h"
#include "app/parking_controls.h"
#include "app/time_shift.h"
#include "app/traffic_source.h"
#include "app/program_entry.h"
#include "app/window_seams.h"
#include "config/keys.h"
#include "config/parameter_load.h"
#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "feed/rt_api_metar_client.h"
#include "feed/rt_api_readers.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_traffic_client.h"
#include "feed/rt_app_requests.h"
#include "feed/rt_app_server.h"
#include "feed/rt_app_traffic.h"
#include "feed/rt_app_weather.h"
#include "feed/rt_license.h"
#include "feed/traffic_handover.h"
#include "liveries/failed_liveries.h"
#include "liveries/livery_database.h"
#include "liveries/livery_matching.h"
#include "liveries/livery_scan.h"
#include "parking/airport_file_read.h"
#include "parking/airport_settings.h"
#include "parking/candidate_stands.h"
#include "parking/park_airports.h"
#include "parking/park_population.h"
#include "parking/park_setup.h"
#include "parking/parked_removal.h"
#include "parking/parked_wait.h"
#include "parking/parking_adjust.h"
#include "parking/parking_hooks.h"
#include "parking/stand_search.h"
#include "parking/static_parked.h"
#include "refdata/airports.h"
#include "refdata/dbase.h"
#include "refdata/library_init.h"
#include "refdata/update_check.h"
#include "simlink/ai_positions.h"
#include "simlink/sim_client.h"
#include "simlink/stand_table.h"
#include "simlink/user_aircraft.h"
#include "traffic/active_aircraft.h"
#include "traffic/adding_stack.h"
#include "traffic/delayed_sim_commands.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/flight_plans.h"
#include "traffic/live_registry.h"
#include "traffic/runway_validation.h"
#include "traffic/stand_conflicts.h"
#include "traffic/stand_names.h"
#include "traffic/static_stands.h"

namespace {

// What one tick gives the stand search: well within the tick, so that the engine's moves stay on time.
constexpr std::int64_t kStandSearchSliceNanos = 3'000'000;

// The park airport's last stand-file read found its file still being fetched (worker only).
bool g_parkFileFetching = false;

std::optional<AirportRef> lf_airportRef(const std::optional<Airport>& airport) {
  if (!airport) return std::nullopt;
  return AirportRef{airport->code, airport->position, airport->altitude, airport->iata};
}

// The worker's record as the airports list keeps it; a record without its IATA code takes the
// list's.
Airport lf_airport(const AirportRef& airport) {
  IataCode iata = airport.iata;
  if (iata == g_defaultIataCode && !airport.code.empty())
    if (const std::optional<Airport> listed = gf_findAirport(airport.code)) iata = listed->iata;
  return Airport{airport.code, iata, airport.position, airport.elevationFt};
}

std::mutex g_seamsMutex;
std::shared_ptr<const WorkerSeams> g_seams;

std::int64_t lf_steadyNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void lf_enable(ui::Hwnd window, bool enabled) {
  if (window != ui::Hwnd::null) ui::enableWindow(window, enabled);
}

std::optional<Lalo> lf_parkAirportLalo() {
  const AirportRef airport = gf_parkAirport();
  if (airport.code.empty()) return std::nullopt;
  return airport.position;
}

void lf_installFeedNeighbours() {
  FeedNeighbours neighbours;
  neighbours.parkAirport = lf_parkAirportLalo;
  neighbours.userStand = gf_getUserStand;
  neighbours.standNameAtPos = gf_standNameAtPos;
  neighbours.userAcState = [] { return gf_getUserAcPosition(); };
  neighbours.userOnGround = [] { return g_userOnGround.load(); };
  neighbours.addParkedFromFeed = gf_addParkedFromFeed;
  gf_setFeedNeighbours(neighbours);
}

// What the engine asks of the window, the shell and the park airport held here.
void lf_installEngineHooks() {
  EngineHooks hooks = gf_defaultEngineHooks();
  hooks.parkingGenerating = [] { return g_parkingGenerating.load(); };
  hooks.parkingGenerationDone = [] { gf_parkingGenerationDone(); };
  hooks.restartParkingCountdown = [] { gf_restartParkingCountdown(); };
  hooks.requestParkingAdjustment = [] { gf_requestParkingAdjustment(); };
  // Without a server of ours there is nobody to send to (see gf_sendUserPositionToFeed).
  hooks.sendUserPositionToRTApp = [] {
    if (g_rtAppServerStarted) gf_workerSeams().sendUserPositionToRTApp();
  };
  hooks.clearParkingState = [] {
    {
      std::unique_lock lock(g_parkAirportLock);
      g_parkAirport = Airport{};
    }
    g_parkingGenerating = false;
    g_parkingSetupRequested = false;
    gf_resetParkSetup();
  };
  hooks.takeParkRequest = [] { return g_parkingSetupRequested.exchange(false); };
  // The user aircraft as the engine last published it on this thread.
  hooks.frontNearestParkAirport = [] {
    gf_frontNearestParkAirport(Lalo{g_workerUserAcPosition.latitude, g_workerUserAcPosition.longitude});
  };
  hooks.checkParkAirportReach = [] {
    gf_checkParkAirportReach(Lalo{g_workerUserAcPosition.latitude, g_workerUserAcPosition.longitude});
  };
  hooks.chooseParkAirport = [] {
    gf_chooseParkAirport(Lalo{g_workerUserAcPosition.latitude, g_workerUserAcPosition.longitude});
  };
  hooks.readParkedFile = []() -> std::optional<std::string> {
    ParkedFileResult result = lf_readParkedFile();
    g_parkFileFetching = result.fetching;
    if (result.ok) return std::nullopt;
    if (result.fetching) {
      g_parkingSetupRequested = true;  // the parking step sets up again once the file is in
      return std::move(result.text);
    }
    gf_noteFailedParkSetup(gf_parkAirport().code, Lalo{g_workerUserAcPosition.latitude, g_workerUserAcPosition.longitude});
    return std::move(result.text);
  };
  hooks.parkFileFetching = [] { return g_parkFileFetching; };
  // A search still running holds half a plan: nothing is placed from it before it is done.
  hooks.standSearchHits = [] { return gf_parkingSearchPending() ? std::size_t{0} : g_standSearchHits.size(); };
  hooks.parkAirportReady = [] { return g_airportFileLoaded.load(); };
  hooks.eraseStandSearchHits = [](const std::function<bool(const DbaseEntry&)>& drop) {
    std::erase_if(g_standSearchHits, [&drop](const StandSearchHit& hit) { return drop(hit.identity); });
  };
  hooks.eraseStandSearchHitsAt = [](std::int32_t standId) {
    std::erase_if(g_standSearchHits, [standId](const StandSearchHit& hit) {
      return static_cast<std::int32_t>(hit.standId) == standId;
    });
  };
  // The destination gate the user set lives with the park airports.
  hooks.isUserStand = [](const Stand& stand, const LiveAc&, std::int32_t) {
    return gf_isUserStand(stand, gf_getUserStand().value_or(std::string()));
  };
  hooks.placeStaticAircraft = [] { gf_placeStaticAircraft(); };
  hooks.populateParkAirport = [] { gf_populateParkAirport(); };
  hooks.resetParkAirport = [] { gf_resetParkAirport(); };
  hooks.enforceMaxParked = [](std::int32_t extra) { gf_enforceMaxParked(extra); };
  hooks.isNearParkRunway = [](const Lalo& position) { return gf_isNearParkRunway(position); };
  hooks.checkUserAcGndCollisions = [] { gf_checkUserAcGndCollisions(); };
  // The static side keeps no list of its hexids: the running number looks at g_staticAcs itself.
  hooks.forgetStaticHexid = [](std::uint32_t) {};
  hooks.steadyNanos = [] { return gf_workerSeams().steadyNanos(); };
  gf_setEngineHooks(std::move(hooks));
}

void lf_installSimLinkHooks() {
  SimLinkHooks hooks;
  hooks.showError = [](std::string_view text) { Gui::showError(text); };
  hooks.setSimulatorText = [](std::string_view text) { Gui::enqueueUpdate(gui::SetSimulatorText{std::string(text)}); };
  hooks.setSimulationRunning = [](bool running) { Gui::enqueueUpdate(gui::SetSimConnected{running}); };
  hooks.clearStatusLine = [] { Gui::clearMessage(); };
  hooks.offlineLearningMode = [] { return g_tbloMode.load(); };
  hooks.showTbloMailHint = [] { gf_showTbloMailHint(); };
  hooks.postSimVersion = [] {
    if (ui::Hwnd window = gf_mainWindow(); window != ui::Hwnd::null) ui::postMessage(window, MSG_SIM_VERSION, 0, 0);
  };
  hooks.rangeNm = [] { return g_parameterSnapshot.load()->rangeNm; };
  gf_setSimLinkHooks(std::move(hooks));

  UserAircraftHooks user;
  user.setUserWingspanKnown = [](bool known) { Gui::enqueueUpdate(gui::SetUserWingspanKnown{known}); };
  user.setUserStand = [](std::string_view text) { Gui::setUserStand(text); };
  user.rtProfessional = [] { return g_rtProfessional.load(); };
  user.standNameAtPos = gf_standNameAtPos;
  user.parkAirportCode = [] { return gf_parkAirport().code; };
  user.storeUserStand = [](const IcaoCode& airport, std::string_view stand) {
    return gf_setUserStand(airport, stand) != 0;
  };
  gf_setUserAircraftHooks(std::move(user));
}

// Giving up the park airport reaches the window's parking controls; the parts of the parking
// code built later keep their own hooks' defaults until then.
void lf_installParkingHooks() {
  ParkAirportHooks hooks;
  hooks.clearStandSearchHits = [] { gf_clearStandSearchHits(); };
  hooks.removeAllStaticAndLiveAtAirport = [] { lf_removeAllStaticAndLiveAtAirport(); };
  hooks.disableParkingControls = [] { gf_disableParkingControls(); };
  hooks.resetParkAirport = [] { gf_resetParkAirport(); };
  gf_setParkAirportHooks(std::move(hooks));

  ParkingHooks parking = gf_defaultParkingHooks();
  parking.updateParkingControls = [] { gf_updateParkingControls(); };
  parking.standNameAtPos = gf_standNameAtPos;
  parking.disableParkingControls = [] { gf_disableParkingControls(); };
  parking.parkingGenerationDone = [] { gf_parkingGenerationDone(); };
  gf_setParkingHooks(std::move(parking));
}

void lf_installAirportsNeighbours() {
  gf_setAirportsNeighbours(gf_candidateClosestStand, [] {
    std::shared_lock lock(g_parkAirportLock);
    return g_parkAirport;
  });
}

}  // namespace

AirportRef gf_parkAirport() {
  std::shared_lock lock(g_parkAirportLock);
  return AirportRef{g_parkAirport.code, g_parkAirport.position, g_parkAirport.altitude, g_parkAirport.iata};
}

void gf_setParkAirport(const AirportRef& airport) {
  const Airport record = lf_airport(airport);
  std::unique_lock lock(g_parkAirportLock);
  g_parkAirport = record;
}

void gf_installProgramHooks() {
  lf_installAirportsNeighbours();
  lf_installEngineHooks();
  lf_installFeedNeighbours();
  lf_installSimLinkHooks();
  lf_installParkingHooks();
}

UserAcPosition gf_publishedUserAcPosition() {
  auto position = g_userAcPosition.load();
  return position ? *position : UserAcPosition{};
}

WorkerSeams gf_programWorkerSeams() {
  WorkerSeams s;
  s.steadyNanos = lf_steadyNanos;
  s.sleepNanos = [](std::int64_t nanos) {
    if (nanos > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(nanos));
  };

  s.loadParameters = [] {
    gf_loadParameters();
    gf_setSimChoice();
    gf_initParameterSnapshot();
  };
  s.postToWindow = [](std::uint32_t message) {
    if (ui::Hwnd window = gf_mainWindow(); window != ui::Hwnd::null) ui::postMessage(window, message, 0, 0);
  };

  s.checkForUpdates = [] {
    UpdateCheckSetup setup;
    setup.programFolder = std::filesystem::current_path();
    setup.inputFolder = g_inputFolder;
    setup.versionStore = &gf_parameterVersionStore();
    setup.programUpdate.programFolder = setup.programFolder;
    // An unattended production run must not wait on a message box.
    if (!gf_productionMode())
      setup.programUpdate.messageBox = [](std::string_view text, std::string_view title) {
        ui::messageBox(gf_mainWindow(), text, title, ui::MB_OK | ui::MB_ICONEXCLAMATION);
      };
    return gf_checkForUpdates(setup);
  };
  s.readDbase = [] {
    gf_initDataLibraries();
    return gf_readDbase(g_inputFolder);
  };
  s.readAirports = []() -> std::optional<std::string> {
    lf_installAirportsNeighbours();
    auto result = gf_readAirports();
    if (const auto* error = std::get_if<std::string>(&result)) return *error;
    return std::nullopt;
  };
  s.findAirport = [](IcaoCode code) { return lf_airportRef(gf_findAirport(code)); };
  s.findClosestAirport = [](const UserAcPosition& user) {
    return lf_airportRef(gf_findClosestAirport(Lalo{user.latitude, user.longitude}));
  };
  s.readRTLicenseOrToken = [] { gf_readRTLicenseOrToken(); };

  s.initOptionControls = [] { lf_initOptionControls(); };
  s.initTimeShiftControls = [] { lf_initTimeShiftControls(); };
  s.enableScanControls = [](bool enabled) {
    if (enabled) {
      lf_reenableScanControls();
      return;
    }
    lf_enable(LIG_AUTOMATIC.window, false);
    lf_enable(AI_PACKAGE_SELECTOR.window, false);
    lf_enable(LIG_PRIORITIZE.window, false);
  };
  s.enableRtChoice = [](bool enabled) { lf_enable(RT_CHOISE.window, enabled); };
  s.enableBlockField = [](bool enabled) { lf_enable(AIRCRAFT_SELECTOR.window, enabled); };
  s.messageBox = [](std::string_view text, unsigned type) {
    return ui::messageBox(gf_mainWindow(), text, "JORV", type);
  };
  s.pickFolder = [](const std::filesystem::path& initial) { return gf_pickFolder(gf_mainWindow(), initial); };
  s.setDestination = [](const AirportRef& a) {
    gf_setDestination(std::string(a.code.text()), lf_airport(a));
  };
  s.applyRangeMode = [] { gf_applyRangeMode(); };
  s.enableTimeShiftControls = [](bool enabled) { gf_enableTimeShiftControls(enabled); };
  s.resetTimeShift = [] { gf_applyTimeShift(0, false, false); };
  s.followSimTime = [] { gf_followSimTime(); };
  s.autoRange = [] { gf_autoRange(); };
  s.setAircraftList = [](std::vector<std::string> entries) { gf_setAircraftList(std::move(entries)); };

  s.scanLiveries = [] { gf_scanLiveries(); };
  s.processScannedLiveries = [] { gf_processScannedLiveries(); };
  s.logLiveryMatchingSummary = [] { gf_logLiveryMatchingSummary(); };
  s.logUnmatchedLiveries = [] { gf_logUnmatchedLiveries(); };
  // The refused liveries stay out of the match for the whole process, restarts and days included.
  s.clearFailedLiveries = [] {};
  s.clearNoMatchList = [] { g_unmatchedLiveries.clear(); };

  s.initTrafficEngine = [] {
    lf_installEngineHooks();
    gf_initTrafficEngine();
  };
  s.clearTrafficEngine = [] { gf_clearTrafficEngine(); };
  s.handleAddingStack = [] { lf_handleAddingStack(); };
  s.processDelayedSimCommands = [] { gf_processDelayedSimCommands(); };
  s.publishUserAcPosition = [](const UserAcPosition& position) { gf_publishUserAcPosition(position); };
  s.flightPlanFolder = [] { return gf_flightPlanFolder(); };
  s.ensureFlightPlanFolder = [] { return gf_ensureFlightPlanFolder(); };
  s.removeFlightPlanFolder = [] { gf_removeFlightPlanFolder(); };
  s.setParkedNavLights = [](bool on) { gf_setParkedNavLights(on); };
  s.postAircraftCounts = [] { gf_postAircraftCounts(); };
  s.runDueParkedAcAction = [] { gf_runDueParkedAcAction(); };
  s.matchQueuedStandOption = [] { gf_matchQueuedStandOption(); };
  s.standCount = [] { return static_cast<std::int64_t>(g_stands.size()); };
  s.setStaticTargetCount = [] {
    const auto snapshot = g_parameterSnapshot.load();
    return gf_setStaticTargetCount({static_cast<double>(snapshot->parkingPercentage), snapshot->maxParkSel});
  };
  s.enforceMaxParked = [](std::int32_t extra) { gf_enforceMaxParked(extra); };
  s.liveAircraftInSim = [] { return gf_liveAircraftInSim(); };
  s.removeFurthestLive = [](double distanceNm) { return lf_isThisTheFurthestLive(distanceNm); };
  s.removeAllStatic = [] { gf_removeAllStatic(); };
  s.liveAcDescriptions = [] { return gf_liveAcDescriptions(); };
  s.checkLiveWithParkedCollisions = [] { gf_checkLiveWithParkedCollisions(); };
  s.removeBlockedAc = [] { gf_removeBlockedAc(); };
  s.removeLiveAircraftCategory = [](std::int32_t category) {
    gf_removeLiveAircraftCategory(static_cast<AcCategory>(category));
  };
  s.removeStaticAircraftCategory = [] { gf_removeStaticAircraftCategory(); };
  s.clearUserDestGate = [](const std::string& stand) { gf_clearUserDestGate(stand); };
  s.removeTCASCoverageAcs = [] { gf_removeTCASCoverageAcs(); };
  s.checkForAllGndIfParkedVersionExistsAndRemove = [] { gf_checkForAllGndIfParkedVersionExistsAndRemove(); };
  s.handleParkingRequests = [] {
    // A population or adjustment waiting for its parked answer or searching its stands is not
    // the end of the generation.
    if (!gf_parkedWaitPending() && !gf_parkingSearchPending()) gf_handleParkingRequests();
  };
  s.writeActiveAcFile = [] { gf_writeActiveAcFile(); };
  s.removeAllStaticAndLiveAtAirport = [] { lf_removeAllStaticAndLiveAtAirport(); };
  s.clearPerRunNames = [] { g_ghostCallsigns.clear(); };

  s.readMyParkAirportsFile = [] { gf_readMyParkAirportsFile(); };
  s.saveMyParkAirportsFile = [] { gf_saveMyParkAirportsFile(); };
  s.hasAirportData = [](IcaoCode code) { return gf_hasAirportData(code); };
  s.setupParkAirport = [] { gf_setupParkAirport(); };
  s.checkParkedAcUserCollisions = [] { gf_checkLiveAcUserCollisions(); };
  s.getUserStand = [] { return gf_getUserStand(); };
  s.standSearchRunning = [] { return g_parkingGenerating.load(); };
  s.standSearchHits = [] { return static_cast<std::uint64_t>(g_standSearchHits.size()); };
  s.adjustParking = [](bool flush) {
    // The stand search runs: the parking step unlocks the parking controls once its hits are placed.
    g_parkingGenerating = true;
    gf_adjustParking(flush);
  };
  s.resumeParkedWait = [] { return gf_resumeParkedWait(); };
  s.stepStandSearch = [] { return gf_stepParkingSearch(gf_workerSeams().steadyNanos, kStandSearchSliceNanos); };
  s.pollRunwayRead = [] { return gf_pollRunwayFacilities(); };
  s.parkAirportHasStands = [] { return !g_stands.empty(); };
  s.clearStandSearchHits = [] { gf_clearStandSearchHits(); };
  s.resetParkAirport = [] { gf_resetParkAirport(); };
  s.disableParkingControls = [] { gf_disableParkingControls(); };
  s.resetParkedTraffic = [] { gf_resetParkedTraffic(); };

  s.scanAirports = [] { gf_scanAirports(); };

  s.initSimClient = [] {
    lf_installFeedNeighbours();
    lf_installSimLinkHooks();
    lf_installParkingHooks();
    gf_initSimClient();
  };
  s.simClientBody = [](std::stop_token token) { SimClient(std::move(token)); };
  s.resetSimClient = [] { gf_resetSimClient(); };
  s.getUserAcPosition = [] { return gf_getUserAcPosition(); };
  s.clearAiPoseMaps = [] { gf_clearAiPoseMaps(); };

  s.startRTAppServer = [](const std::string& port) { g_rtAppServer.start(port); };
  s.closeRTAppServer = [] { g_rtAppServer.close(); };
  s.dropRTAppClient = [] { g_rtAppServer.dropClient(); };
  s.rtAppHandshake = [](const std::function<void(const std::string&)>& processVersion) {
    return gf_rtAppHandshake(g_rtAppServer, processVersion);
  };
  s.resetRTAppReaders = [] {
    g_rtAppWeatherReader.resetReceivedLineState();
    g_rtAppWeatherReader.stopFlag = 0;  // the traffic reader's reset clears its own
    g_rtAppTrafficReader.reset();
  };
  s.sendUserPositionToRTApp = [] {
    gf_sendUserPositionToRTApp();
    return true;
  };
  s.rtAppSeatHeld = [] { return g_rtAppServer.watchClient(); };
  s.sendTimeOffsetToRTApp = [] { gf_sendSimTimeToRTApp(); };
  // The bodies keep a stop that came before the thread ran; resetRTAppReaders clears it for a new run.
  s.rtAppWeatherReader = [](std::stop_token) { gf_weatherReader(kRTAppWeatherPort); };
  s.rtAppTrafficReader = [](std::stop_token) { gf_trafficReader(kRTAppTrafficPort); };
  s.stopRTAppReaders = [] {
    g_rtAppWeatherReader.requestStop();
    g_rtAppTrafficReader.requestStop();
  };
  s.setRTAppQueryCentre = [](const Lalo& centre) { g_rtAppTrafficReader.setQueryCentre(centre); };
  s.rtAppBufferTrafficReceived = [] { return g_rtAppTrafficReader.bufferReceived.load(); };
  s.requestParkedTraffic = [] { gf_requestParkedTraffic(); };
  s.parkedTrafficReceived = [] { return g_rtAppTrafficReader.parkedReceived.load(); };
  s.waitForFirstTraffic = [] { gf_waitForFirstTraffic(); };

  s.updateQueryBox = [] { g_rtApiTrafficClient.updateQueryBox(); };
  s.setRTDirectQueryCentre = [](const Lalo& centre) { g_rtApiTrafficClient.setQueryCentre(centre); };
  s.holdRTAPICooldown = [] { gf_holdRTAPICooldown(); };
  s.persistRTAPICooldown = [] { gf_persistRTAPICooldown(); };
  s.authenticate = [] { gf_authenticater(); };
  s.isAuthenticated = [] { return g_rtApiSession.isAuthenticated(); };
  s.deauthenticate = [] { deauthenticate(); };
  s.rtDirectWeatherReader = [](std::stop_token) { gf_RTAPIWeatherReader(); };
  s.rtDirectTrafficReader = [](std::stop_token) { gf_RTAPITrafficReader(); };
  s.stopRTDirectReaders = [] { gf_stopRTAPIReaders(); };
  s.rtDirectFirstTrafficAnswer = [] { return g_rtApiTrafficClient.answersReceived.load() > 0; };
  s.resetRTDirectClients = [] {
    g_rtApiTrafficClient.resetConnection();
    g_rtApiTrafficClient.resetForRestart();
    g_rtApiMetarClient.resetConnection();
    g_rtApiMetarClient.resetForRestart();
  };

  s.weatherReceiving = [] {
    const std::int64_t now = lf_steadyNanos();
    if (gf_isRtDirect()) {
      const std::int64_t last = g_rtApiMetarClient.qnhValidTime.load();
      return last != 0 && now >= last && now - last <= 120'000'000'000;
    }
    const std::int64_t last = g_rtAppWeatherReader.lastMetarTime.load();
    return last != 0 && now >= last && now - last <= 90'000'000'000;
  };
  s.trafficReceiving = [] {
    if (gf_isRtDirect()) return g_rtApiTrafficClient.receivedCount.exchange(0) > 0;
    const std::uint32_t count = g_rtAppTrafficReader.datagramCount.load();
    const bool changed = count != g_rtAppTrafficReader.countSeen;
    g_rtAppTrafficReader.countSeen = count;
    return changed;
  };

  return s;
}

const WorkerSeams& gf_workerSeams() {
  std::lock_guard lock(g_seamsMutex);
  if (!g_seams) g_seams = std::make_shared<const WorkerSeams>(gf_programWorkerSeams());
  return *g_seams;
}

void gf_setWorkerSeams(WorkerSeams seams) {
  std::lock_guard lock(g_seamsMutex);
  g_seams = std::make_shared<const WorkerSeams>(std::move(seams));
}

void gf_resetWorkerSeams() {
  {
    std::lock_guard lock(g_seamsMutex);
    g_seams.reset();
  }
  gf_setParkAirport(AirportRef{});
  gf_publishUserAcPosition(UserAcPosition{});
  gf_resetMissingLogged();
}
