#pragma once
// Everything the worker asks of the subsystems it drives, gathered in one table. The program's
// table calls the subsystems; tests install a table of fakes and spies. Read only on the worker thread, set
// only while no worker runs.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "core/geodesy.h"
#include "core/value_types.h"
#include "feed/feed_neighbours.h"
#include "parking/park_airports.h"
#include "simlink/user_aircraft.h"

// The part of an airports-list record that the worker uses.
struct AirportRef {
  IcaoCode code;
  Lalo position;
  std::int32_t elevationFt = 0;
  IataCode iata = g_defaultIataCode;  // "XXX" when the list gives none
};

// The park airport (the parking code's g_parkAirport): a copy, under the shared lock.
AirportRef gf_parkAirport();
// Sets it from the worker's record, under the exclusive lock.
void gf_setParkAirport(const AirportRef& airport);

// The user aircraft as last published on the worker (g_userAcPosition); all zero until then.
UserAcPosition gf_publishedUserAcPosition();

// Installs what the subsystems ask of each other and of the window: the engine's hooks, the
// feed's neighbours, the simulator link's and the parking code's hooks. The worker does it at
// its start; tests do it to run the subsystems as the program wires them.
void gf_installProgramHooks();

struct WorkerSeams {
  // Clock and sleeps (steady clock, nanoseconds). Tests let a sleep advance a fake clock.
  std::function<std::int64_t()> steadyNanos;
  std::function<void(std::int64_t nanos)> sleepNanos;

  // parameters.xml, the simulator and traffic-source choice, the first parameter snapshot.
  std::function<void()> loadParameters;
  // MSG_START or MSG_EXIT to the main window, when there is one.
  std::function<void(std::uint32_t message)> postToWindow;

  // Reference data.
  std::function<bool()> checkForUpdates;
  std::function<bool()> readDbase;
  std::function<std::optional<std::string>()> readAirports;  // an error text on failure
  std::function<std::optional<AirportRef>(IcaoCode)> findAirport;
  std::function<std::optional<AirportRef>(const UserAcPosition&)> findClosestAirport;
  std::function<void()> readRTLicenseOrToken;

  // Window: option controls, message boxes, the folder picker, destination, time shift, range.
  std::function<void()> initOptionControls;
  std::function<void()> initTimeShiftControls;
  std::function<void(bool enabled)> enableScanControls;
  std::function<void(bool enabled)> enableRtChoice;
  std::function<void(bool enabled)> enableBlockField;
  std::function<int(std::string_view text, unsigned type)> messageBox;
  std::function<std::optional<std::filesystem::path>(const std::filesystem::path& initial)> pickFolder;
  std::function<void(const AirportRef&)> setDestination;
  std::function<void()> applyRangeMode;
  std::function<void(bool enabled)> enableTimeShiftControls;
  std::function<void()> resetTimeShift;
  std::function<void()> followSimTime;
  std::function<void()> autoRange;
  std::function<void(std::vector<std::string> entries)> setAircraftList;

  // Livery scan and matching.
  std::function<void()> scanLiveries;
  std::function<void()> processScannedLiveries;
  std::function<void()> logLiveryMatchingSummary;
  std::function<void()> logUnmatchedLiveries;
  std::function<void()> clearFailedLiveries;
  std::function<void()> clearNoMatchList;

  // Traffic engine.
  std::function<void()> initTrafficEngine;
  std::function<void()> clearTrafficEngine;
  std::function<void()> handleAddingStack;
  std::function<void()> processDelayedSimCommands;
  std::function<void(const UserAcPosition&)> publishUserAcPosition;
  std::function<std::optional<std::filesystem::path>()> flightPlanFolder;
  std::function<bool()> ensureFlightPlanFolder;
  std::function<void()> removeFlightPlanFolder;
  std::function<void(bool on)> setParkedNavLights;
  std::function<void()> postAircraftCounts;
  std::function<void()> runDueParkedAcAction;
  std::function<void()> matchQueuedStandOption;
  // The stands of the park airport, and the static target from the parking percentage.
  std::function<std::int64_t()> standCount;
  std::function<std::int32_t()> setStaticTargetCount;
  std::function<void(std::int32_t extra)> enforceMaxParked;
  std::function<std::int64_t()> liveAircraftInSim;
  std::function<bool(double distanceNm)> removeFurthestLive;
  std::function<void()> removeAllStatic;
  std::function<std::vector<std::string>()> liveAcDescriptions;
  std::function<void()> checkLiveWithParkedCollisions;
  std::function<void()> removeBlockedAc;
  std::function<void(std::int32_t category)> removeLiveAircraftCategory;
  std::function<void()> removeStaticAircraftCategory;
  std::function<void(const std::string& stand)> clearUserDestGate;
  std::function<void()> removeTCASCoverageAcs;
  std::function<void()> checkForAllGndIfParkedVersionExistsAndRemove;
  std::function<void()> handleParkingRequests;
  std::function<void()> writeActiveAcFile;
  std::function<void()> removeAllStaticAndLiveAtAirport;
  std::function<void()> clearPerRunNames;

  // Parking.
  std::function<void()> readMyParkAirportsFile;
  std::function<void()> saveMyParkAirportsFile;
  std::function<bool(IcaoCode)> hasAirportData;
  std::function<void()> setupParkAirport;
  std::function<void()> checkParkedAcUserCollisions;
  std::function<std::optional<std::string>()> getUserStand;
  std::function<bool()> standSearchRunning;
  std::function<std::uint64_t()> standSearchHits;
  std::function<void(bool flag)> adjustParking;
  // Each step: a population or adjustment waiting for the parked answer goes on once it is in.
  std::function<bool()> resumeParkedWait;
  // Every tick: a slice of a running stand search, and the population or adjustment completed
  // once it is done; true while it runs.
  std::function<bool()> stepStandSearch;
  // Every tick: the park airport's runways taken from the simulator's answer once it is in; true
  // while the read goes on.
  std::function<bool()> pollRunwayRead;
  std::function<bool()> parkAirportHasStands;
  std::function<void()> clearStandSearchHits;
  std::function<void()> resetParkAirport;
  std::function<void()> disableParkingControls;
  std::function<void()> resetParkedTraffic;

  // Airport scan.
  std::function<void()> scanAirports;

  // Simulator link.
  std::function<void()> initSimClient;
  std::function<void(std::stop_token)> simClientBody;
  std::function<void()> resetSimClient;
  std::function<UserAcPosition()> getUserAcPosition;
  std::function<void()> clearAiPoseMaps;

  // RT App.
  std::function<void(const std::string& port)> startRTAppServer;
  std::function<void()> closeRTAppServer;
  // The app's connection closed, the server still listening (RTAppServer::dropClient).
  std::function<void()> dropRTAppClient;
  // Waits for the app and hands its version reply on; false when the wait ended without one.
  std::function<bool(const std::function<void(const std::string&)>& processVersion)> rtAppHandshake;
  std::function<void()> resetRTAppReaders;
  std::function<bool()> sendUserPositionToRTApp;  // false: the app is gone
  // Whether the app still holds its seat (RTAppServer::watchClient): every tick and every wait.
  std::function<bool()> rtAppSeatHeld;
  std::function<void()> sendTimeOffsetToRTApp;
  std::function<void(std::stop_token)> rtAppWeatherReader;
  std::function<void(std::stop_token)> rtAppTrafficReader;
  std::function<void()> stopRTAppReaders;
  std::function<void(const Lalo& centre)> setRTAppQueryCentre;
  std::function<bool()> rtAppBufferTrafficReceived;
  std::function<void()> requestParkedTraffic;
  std::function<bool()> parkedTrafficReceived;
  std::function<void()> waitForFirstTraffic;

  // RT Direct.
  std::function<void()> updateQueryBox;
  std::function<void(const Lalo& centre)> setRTDirectQueryCentre;
  std::function<void()> holdRTAPICooldown;
  std::function<void()> persistRTAPICooldown;
  std::function<void()> authenticate;
  std::function<bool()> isAuthenticated;
  std::function<void()> deauthenticate;
  std::function<void(std::stop_token)> rtDirectWeatherReader;
  std::function<void(std::stop_token)> rtDirectTrafficReader;
  std::function<void()> stopRTDirectReaders;
  std::function<bool()> rtDirectFirstTrafficAnswer;
  std::function<void()> resetRTDirectClients;

  // Reader lamps of the chosen source: fresh weather, and traffic since the last look.
  std::function<bool()> weatherReceiving;
  std::function<bool()> trafficReceiving;
};

// The program's table: the subsystems themselves.
WorkerSeams gf_programWorkerSeams();

const WorkerSeams& gf_workerSeams();
void gf_setWorkerSeams(WorkerSeams seams);
// Tests: the program's table again, the park airport and the user position cleared.
void gf_resetWorkerSeams();
