#pragma once
// The calls of the engine's intake and passes into code that is built elsewhere: the engine's
// own later steps (same library), the parking code (above it) and the window (app/). Each entry
// has a default: the engine's own function where it exists, else a stand-in that logs
// "{} is not built yet: skipped" once and does nothing. A step that lands replaces its entry's
// default in gf_defaultEngineHooks (engine code) or is installed by app/ (parking, window).
//
// Read on lf_main only; set while the engine does not run (worker start, tests).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/geodesy.h"
#include "feed/traffic_records.h"
#include "traffic/live_ac.h"

struct EngineHooks {
  // ---- Later steps of the engine ----
  // updateLiveAc: works one aircraft at an engine step; true when it is now marked
  // dropFromRegistry or createCancelled. May throw: the update pass reports and removes it.
  std::function<bool(LiveAc&)> updateLiveAc;
  // lf_checkKnownAcChanges: takes over what a record of a known aircraft changes; true when the
  // record is to be applied, false when it is dropped. Default: applied.
  std::function<bool(LiveAc&, TrafficRecord&)> checkKnownAcChanges;
  // decodeExisting: applies an accepted point to a known aircraft. Default: appended.
  std::function<void(LiveAc&, StreamPoint&)> decodeExisting;
  // gf_processDelayedSimCommands: the simulator's answers; every tick, in a pause too.
  std::function<void()> processDelayedSimCommands;
  // removeAircraftFromSim: queues the object's removal or marks the record.
  std::function<void(LiveAc&)> removeAircraftFromSim;
  // lf_cleanupLiveAircraft: run before a record is erased from g_liveAcs.
  std::function<void(LiveAc&)> cleanupLiveAircraft;
  // lf_forgetAircraft: takes a hexid and object id out of the engine's side lists.
  std::function<void(std::uint32_t hexid, std::uint32_t objectId)> forgetAircraft;
  // gf_matchRunwayForLanding: "runway name:end name" of the park-airport runway an aircraft at
  // the position, heading that way (radians), would use; none when none fits.
  std::function<std::optional<std::string>(const Lalo& position, double headingRad)> matchRunwayForLanding;

  // ---- Parking ----
  std::function<bool(const Lalo& position)> isNearParkRunway;  // gf_isNearParkRunway
  std::function<std::size_t()> standSearchHits;                // pending stand-search hits
  std::function<void()> placeStaticAircraft;                   // gf_placeStaticAircraft: one hit
  std::function<void()> checkUserAcGndCollisions;              // gf_checkUserAcGndCollisions
  // lf_readParkedFile: the park airport's stands and parked data; none on success, else the
  // message for the user.
  std::function<std::optional<std::string>()> readParkedFile;
  std::function<void()> populateParkAirport;  // gf_populateParkAirport
  std::function<void()> resetParkAirport;     // gf_resetParkAirport
  std::function<void(bool post)> countParkedStatic;  // gf_countParkedStatic
  std::function<void(bool post)> countParkedLive;    // gf_countParkedLive
  std::function<bool()> takeParkRequest;  // the park request flag, cleared when taken
  std::function<void()> frontNearestParkAirport;  // gf_frontNearestParkAirport
  std::function<void()> checkParkAirportReach;    // gf_checkParkAirportReach
  std::function<void()> chooseParkAirport;        // gf_chooseParkAirport
  std::function<void()> publishStandPositions;    // gf_publishStandPositions
  // The engine reset's part of the parking state: no park airport, no generation or park request.
  std::function<void()> clearParkingState;

  // ---- Window and shell ----
  std::function<bool()> parkingGenerating;  // parking is being generated
  std::function<void()> parkingGenerationDone;
  std::function<void()> restartParkingCountdown;
  std::function<void()> sendUserPositionToRTApp;  // only while our RT App server runs
  // Steady clock, nanoseconds: how long a park-airport set-up took.
  std::function<std::int64_t()> steadyNanos;
};

// The engine's own functions and the logged stand-ins.
EngineHooks gf_defaultEngineHooks();
const EngineHooks& gf_engineHooks();
void gf_setEngineHooks(EngineHooks hooks);
