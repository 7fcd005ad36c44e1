#pragma once
// The live table's bookkeeping: who holds a stand, the clean-up and erasure of a record, ghost
// copies of a flight (its callsign followed by "_"), and the bulk removals that settings, the
// park airport and the periodic passes ask for. Every removal goes through removeAircraftFromSim;
// records leave the tables only by erasure. lf_main only.
//
// An aircraft holds stand S when its standId is S and its state is 0, 1, 8 or 9.
#include <cstdint>
#include <optional>
#include <string>

#include "refdata/model_ids.h"
#include "traffic/live_ac.h"

// 0 when no live aircraft of another hexid holds the stand (or the id is below 1); 2 when one of
// them is parked on it in the simulator (state 9, object id above 2); 1 when one holds it only
// otherwise.
std::int32_t gf_standUseByOtherLiveAc(std::int32_t standId, std::uint32_t hexid);
// A valid stand of g_stands that no other live aircraft holds, for a real hexid.
bool lf_standReservable(std::int32_t standId, std::uint32_t hexid);
// The live aircraft of this (real) hexid holds the stand.
bool lf_ownsStandReservation(std::int32_t standId, std::uint32_t hexid);

// Takes the aircraft out of the side lists: its pending simulator answers (by hexid, or by
// object id for answers without one), the adding stack, the landed list and the parked actions.
void lf_forgetAircraft(std::uint32_t hexid, std::uint32_t objectId);
// Before a record goes: its flight plan file (a failure is logged and passed over), then
// lf_forgetAircraft.
void lf_cleanupLiveAircraft(LiveAc& aircraft);
// Cleans the record up and erases it: the last record of g_liveAcs takes its place. Nothing for
// a record that is not in the table.
void lf_eraseLiveAc(LiveAc& aircraft);

// Removes the first live aircraft shown as callsign + "_" (not being removed already) and notes
// its callsign in g_ghostCallsigns.
void lf_removeGhostWithUnderscoreIfPresent(const std::string& callsign);
// A live aircraft not being removed shows the ghost's callsign without its last character.
bool lf_liveAcWithCallsignExists(const std::string& ghostCallsign);

// Removes the first static aircraft in the simulator that is this live flight (by parked hexid,
// registration, callsign or the names); its stand when wantStand is set and the registrations
// agree. Never throws.
std::optional<std::int32_t> lf_checkForStaticWithCallsignOrHexidAndRemove(LiveAc& aircraft, bool wantStand) noexcept;

// Every static aircraft: removed in the simulator, or its creation called off or marked.
void gf_removeAllStatic();
// The live aircraft of a category the user switched off.
void gf_removeLiveAircraftCategory(AcCategory category);
// Static rotorcraft, and the rotorcraft among the pending stand-search hits.
void gf_removeStaticAircraftCategory();
// The aircraft on the user's destination gate: a static one first, else a parked live one.
void gf_clearUserDestGate(const std::string& standName);
// The park airport changes or the program ends: every static aircraft, and every live one that
// stands, drives on the ground or holds a stand there.
void lf_removeAllStaticAndLiveAtAirport();
// Live aircraft parked at a stand in the simulator; with report set, their mean time parked
// (hours) goes to the main window.
std::int32_t gf_countParkedLive(bool report);

// Engine step: taxiing aircraft against the static aircraft, and the arrival stand choice.
void gf_checkLiveWithParkedCollisions() noexcept;
// A live aircraft on the ground whose static parked version is still shown removes that
// version (the first pair only).
void gf_checkForAllGndIfParkedVersionExistsAndRemove() noexcept;

// The navigation lights of every aircraft parked in the simulator, static or live, switched.
void gf_setParkedNavLights(bool on);
// One entry of the stand-option queue (g_landedHexids, front first): a live aircraft not matched
// yet takes the callsigns of the real stand option it matches, and a static aircraft that is the
// same flight is removed; its stand goes to an aircraft that holds none. Never throws.
void gf_matchQueuedStandOption() noexcept;
