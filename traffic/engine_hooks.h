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
#include "simlink/delayed_commands.h"
#include "simlink/facility_stand.h"
#include "traffic/live_ac.h"
#include "traffic/static_ac.h"

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
  // lf_eraseLiveAc: cleans the record up and erases it from g_liveAcs (the last record takes its
  // place). Default: nothing; the record stays.
  std::function<void(LiveAc&)> eraseLiveAc;
  // gf_standUseByOtherLiveAc: 0 when no live aircraft of another hexid holds the stand, 2 when one
  // is parked on it in the simulator, 1 when one holds it otherwise. Default: 0.
  std::function<std::int32_t(std::int32_t standId, std::uint32_t hexid)> standUseByOtherLiveAc;
  // lf_ownsStandReservation: a live aircraft of the hexid holds the stand. Default: true.
  std::function<bool(std::int32_t standId, std::uint32_t hexid)> ownsStandReservation;
  // lf_removeGhostWithUnderscoreIfPresent: removes the flight's copy under callsign + "_".
  std::function<void(const std::string& callsign)> removeGhostWithUnderscoreIfPresent;
  // lf_liveAcWithCallsignExists: a live aircraft not being removed shows the ghost's callsign
  // without its last character. Default: false.
  std::function<bool(const std::string& ghostCallsign)> liveAcWithCallsignExists;
  // lf_checkStandIsNotUsedByOtherLiveAircraftSub: no other live aircraft holds the stand (after
  // removing a ghost or a same-callsign copy). Default: true.
  std::function<bool(std::int32_t standId, LiveAc& aircraft)> checkStandIsNotUsedByOtherLiveAircraftSub;
  // lf_isStandOccupantColliding: occupant holds stand standId, which lies within both aircraft's
  // radii of the wanted stand. Default: false.
  std::function<bool(const LiveAc& occupant, std::int32_t standId, const LiveAc& aircraft, const Stand& wanted)>
      isStandOccupantColliding;
  // gf_isUserStand: the stand at the user aircraft's position or the user's destination gate.
  // Default: false.
  std::function<bool(const Stand& stand, const LiveAc& aircraft, std::int32_t mode)> isUserStand;
  // gf_standName: the stand's name, "sid==0?" for 0 and "sid==?" for a number not in g_stands.
  std::function<std::string(std::int32_t standId)> standName;
  // hp_handleGroundTraffic: an aircraft created on the ground, parked or not.
  std::function<void(LiveAc&, bool quiet)> handleGroundTraffic;
  // lf_createFlightPlan: the plan of a new object, when origin and destination are known.
  std::function<void(LiveAc&)> createFlightPlan;
  // lf_touchDown: the simulator reports the object on the ground.
  std::function<void(LiveAc&)> touchDown;
  // lf_applyGroundReport: the object's altitude from the simulator's ground report (kind 3).
  std::function<void(LiveAc&, const DelayedSimCommand&)> applyGroundReport;
  // checkUserAirCollision / checkUserAirGndCollision: remove the aircraft on a conflict with the
  // user's aircraft; true when it was removed. Default: false.
  std::function<bool(LiveAc&, double cosUserLatitude)> checkUserAirCollision;
  std::function<bool(LiveAc&)> checkUserAirGndCollision;
  // lf_userGroundCollisionTermNm: the user aircraft's reach on the ground (NM). Default: 0.
  std::function<double()> userGroundCollisionTermNm;
  // The movement step's turn in progress is called off (take-off).
  std::function<void(LiveAc&)> resetTurnState;
  // gf_matchRunwayForLanding: "runway name:end name" of the park-airport runway an aircraft at
  // the position, heading that way (radians), would use; none when none fits.
  std::function<std::optional<std::string>(const Lalo& position, double headingRad)> matchRunwayForLanding;

  // ---- Ground movement: calls into the next-position and per-aircraft steps, the stand
  // approach and parking ----
  // gf_holdAtPoint: fixes the arrival time of a next point that does not move.
  std::function<void(LiveAc&)> holdAtPoint;
  // gf_acSpeedKt: the speed for the next leg (kt, at least 1.0). Default: NaN, the leg takes 25 ticks.
  std::function<double(LiveAc&)> acSpeedKt;
  // gf_flareStep: the landing flare, airborne below 400 ft above the runway.
  std::function<void(LiveAc&)> flareStep;
  // gf_cruiseLimit: a vertical rate (ft per tick) held by the cruise altitude.
  std::function<double(LiveAc&, double rate)> cruiseLimit;
  // gf_applyVerticalRate: the rate (ft per tick) applied to the altitude, changing by at most 0.001 a step.
  std::function<void(LiveAc&, double rate)> applyVerticalRate;
  // gf_approachVerticalStep: the approach's vertical step on the glide path.
  std::function<void(LiveAc&)> approachVerticalStep;
  // lf_takeStand: takes the stand for the aircraft and plans the drive into it (drive2Stand);
  // true when taken. Default: false.
  std::function<bool(LiveAc&, const Stand& stand, bool arrivalMode)> takeStand;
  // The park airport's stand file is applied: taxiing arrivals may look for a stand. Default: false.
  std::function<bool()> parkAirportReady;

  // ---- Bookkeeping: what stand departures, known aircraft and the registry ask of others ----
  // checkExtendingSituations: the state's own check of a known aircraft's new point; false
  // refuses it.
  std::function<bool(LiveAc&, StreamPoint&)> checkExtendingSituations;
  // lf_filterGroundPoint: whether the point of an aircraft not placed yet is taken.
  std::function<bool(LiveAc&, StreamPoint&)> filterGroundPoint;
  // gf_deferRunwayStop: a stop reported on the runway is held back; true when it took the point.
  // Default: false.
  std::function<bool(LiveAc&, const StreamPoint&)> deferRunwayStop;
  // collisionWithParked: a taxiing aircraft against the static aircraft; notes prevPosition.
  // Never throws. Default: nothing.
  std::function<void(LiveAc&)> collisionWithParked;
  // lf_chooseArrivalStand: a taxiing arrival looks for the stand it enters. Default: nothing.
  std::function<void(LiveAc&)> chooseArrivalStand;
  // The hexid of the RealTraffic parked aircraft a static aircraft stands for (placed from a
  // parked aircraft, not from the stand file); none otherwise. Default: none.
  std::function<std::optional<std::uint32_t>(const StaticAc&)> staticAcHitHexid;
  // Parking: erases the pending stand-search hits whose identity the predicate picks, keeping the
  // order of the others. Default: nothing.
  std::function<void(const std::function<bool(const DbaseEntry& identity)>& drop)> eraseStandSearchHits;
  // Parking: erases the pending stand-search hits for the stand (a live aircraft parks there).
  // Default: nothing.
  std::function<void(std::int32_t standId)> eraseStandSearchHitsAt;

  // ---- Parking ----
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
