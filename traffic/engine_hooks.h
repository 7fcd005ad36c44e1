#pragma once
// The engine's calls that run up to the parking code and the shell (app/ installs them at start,
// see app/worker_seams.cpp), plus the few steps of the engine's own that tests and the intake
// benchmark replace to watch or steer a pass. Every other step of the engine is a direct call.
// An entry nobody installed logs "{} is not built yet: skipped" once and does nothing.
//
// Read on lf_main only; set while the engine does not run (worker start, tests).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/geodesy.h"
#include "feed/traffic_records.h"
#include "simlink/facility_stand.h"
#include "traffic/live_ac.h"

struct EngineHooks {
  // ---- The engine's own steps that tests replace ----
  // updateLiveAc: works one aircraft at an engine step; true when it is now marked
  // dropFromRegistry or createCancelled. May throw: the update pass reports and removes it.
  std::function<bool(LiveAc&)> updateLiveAc;
  // lf_checkKnownAcChanges: takes over what a record of a known aircraft changes; true when the
  // record is to be applied, false when it is dropped.
  std::function<bool(LiveAc&, TrafficRecord&)> checkKnownAcChanges;
  // decodeExisting: applies an accepted point to a known aircraft (the intake benchmark keeps
  // streams short without the movement step).
  std::function<void(LiveAc&, StreamPoint&)> decodeExisting;
  // checkExtendingSituations: the state's own check of a known aircraft's new point; false
  // refuses it.
  std::function<bool(LiveAc&, StreamPoint&)> checkExtendingSituations;
  // removeAircraftFromSim: queues the object's removal or marks the record.
  std::function<void(LiveAc&)> removeAircraftFromSim;
  // lf_forgetAircraft: takes a hexid and object id out of the engine's side lists.
  std::function<void(std::uint32_t hexid, std::uint32_t objectId)> forgetAircraft;
  // lf_eraseLiveAc: cleans the record up and erases it from g_liveAcs (the last record takes its
  // place).
  std::function<void(LiveAc&)> eraseLiveAc;
  // gf_standUseByOtherLiveAc: 0 when no live aircraft of another hexid holds the stand, 2 when one
  // is parked on it in the simulator, 1 when one holds it otherwise.
  std::function<std::int32_t(std::int32_t standId, std::uint32_t hexid)> standUseByOtherLiveAc;
  // lf_ownsStandReservation: a live aircraft of the hexid holds the stand.
  std::function<bool(std::int32_t standId, std::uint32_t hexid)> ownsStandReservation;
  // gf_isUserStand: the stand at the user aircraft's position or the user's destination gate
  // (app/ adds the gate, which the parking code knows).
  std::function<bool(const Stand& stand, const LiveAc& aircraft, std::int32_t mode)> isUserStand;
  // lf_userGroundCollisionTermNm: the user aircraft's reach on the ground (NM).
  std::function<double()> userGroundCollisionTermNm;
  // gf_matchRunwayForLanding: "runway name:end name" of the park-airport runway an aircraft at
  // the position, heading that way (radians), would use; none when none fits.
  std::function<std::optional<std::string>(const Lalo& position, double headingRad)> matchRunwayForLanding;
  // gf_acSpeedKt: the speed for the next leg (kt, at least 1.0).
  std::function<double(LiveAc&)> acSpeedKt;

  // ---- Parking ----
  // The park airport's stand file is applied: taxiing arrivals may look for a stand. Default: false.
  std::function<bool()> parkAirportReady;
  // Erases the pending stand-search hits whose identity the predicate picks, keeping the order of
  // the others. Default: nothing.
  std::function<void(const std::function<bool(const DbaseEntry& identity)>& drop)> eraseStandSearchHits;
  // Erases the pending stand-search hits for the stand (a live aircraft parks there).
  // Default: nothing.
  std::function<void(std::int32_t standId)> eraseStandSearchHitsAt;
  std::function<bool(const Lalo& position)> isNearParkRunway;  // gf_isNearParkRunway
  std::function<std::size_t()> standSearchHits;                // pending stand-search hits
  std::function<void()> placeStaticAircraft;                   // gf_placeStaticAircraft: one hit
  std::function<void()> checkUserAcGndCollisions;              // gf_checkUserAcGndCollisions
  // gf_enforceMaxParked: removes parked aircraft beyond the parked maximum plus `extra`.
  std::function<void(std::int32_t extra)> enforceMaxParked;
  // The static side's own list of the hexid, when a static aircraft is taken over by a live one.
  std::function<void(std::uint32_t hexid)> forgetStaticHexid;
  // lf_readParkedFile: the park airport's stands and parked data; none on success, else the
  // message for the user.
  std::function<std::optional<std::string>()> readParkedFile;
  // The last readParkedFile found the stand file still on its way (off the worker): the set-up
  // is asked again later, the park airport kept.
  std::function<bool()> parkFileFetching;
  std::function<void()> populateParkAirport;  // gf_populateParkAirport
  std::function<void()> resetParkAirport;     // gf_resetParkAirport
  std::function<bool()> takeParkRequest;  // the park request flag, cleared when taken
  std::function<void()> frontNearestParkAirport;  // gf_frontNearestParkAirport
  std::function<void()> checkParkAirportReach;    // gf_checkParkAirportReach
  std::function<void()> chooseParkAirport;        // gf_chooseParkAirport
  // The engine reset's part of the parking state: no park airport, no generation or park request.
  std::function<void()> clearParkingState;

  // ---- Window and shell ----
  std::function<bool()> parkingGenerating;  // parking is being generated
  std::function<void()> parkingGenerationDone;
  std::function<void()> restartParkingCountdown;
  // A parking adjustment at the next chance, without the user's asking (the static aircraft went).
  std::function<void()> requestParkingAdjustment;
  std::function<void()> sendUserPositionToRTApp;  // only while our RT App server runs
  // Steady clock, nanoseconds: how long a park-airport set-up took.
  std::function<std::int64_t()> steadyNanos;
};

// The engine's own functions and the logged stand-ins.
EngineHooks gf_defaultEngineHooks();
const EngineHooks& gf_engineHooks();
void gf_setEngineHooks(EngineHooks hooks);
