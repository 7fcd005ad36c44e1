#pragma once
// Every table of the traffic engine, in one place with one reset. They belong to lf_main and
// carry no lock (the mailbox and the simulator link's queues have their own).
//
// A new table of the engine is declared here, defined in engine_state.cpp and emptied in
// gf_resetEngineTables, so that the start of a run, a restart and every test begin clean.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/geodesy.h"
#include "simlink/delayed_commands.h"
#include "simlink/sim_commands.h"
#include "traffic/live_ac.h"
#include "traffic/static_ac.h"

// 64-bit FNV-1a over the four bytes of a hexid, low byte first.
struct HexidHash {
  std::size_t operator()(std::uint32_t hexid) const noexcept;
};

// A flight removed for an impossible ground jump, watched until its position is stable again.
struct JumpWatchEntry {
  Lalo position;              // of the last record seen
  double time = 0.0;          // its timestamp, seconds
  std::int32_t stableCount = 0;  // records in a row within 150 m of the one before
  bool holdUntilAirborne = false;
  std::int32_t lastSeen = 0;  // g_engineTime of the last record; a flight gone for long ages out
};

// Something to do for an aircraft that arrived at a stand, when its due time has come.
struct ParkedAcAction {
  std::uint32_t hexid = 0;
  std::int32_t due = 0;       // g_engineTime
  std::uint32_t action = 0;   // 0 engines off, 1 lights for taxi-in, 2 lights while parked
};

// A ghost callsign removed, kept while ghosts of it keep coming.
struct GhostCallsign {
  std::string callsign;
  std::int32_t lastSeen = 0;  // g_engineTime when it was removed or last kept from spawning
};

// The livery chosen for a flight; outlives the flight's record for a while, so that a flight
// back after a removal keeps its livery.
struct LiveryChoice {
  LiveryChoice() = default;
  LiveryChoice(std::string_view chosen);  // seen now
  std::string_view title;
  std::int32_t lastSeen = 0;  // g_engineTime when its flight was last in the live table
};

// lf_handleAddingStack's tick counters, each counting calls up to its period.
struct AddingStackCounters {
  std::int32_t removal = 0;   // period 10: one removal per 100 ms
  std::int32_t creation = 0;  // counts removal periods, period 2: one creation per 200 ms
  std::int32_t aiRequest = 0;    // period 20
  std::int32_t userRequest = 0;  // period 20
  std::int32_t overlap = 0;      // period 20
  std::int32_t sideLists = 0;    // period 6000: the side lists age once a minute
};

extern std::vector<LiveAc> g_liveAcs;
extern std::vector<StaticAc> g_staticAcs;
extern std::unordered_map<std::uint32_t, JumpWatchEntry, HexidHash> g_jumpWatch;
extern std::deque<std::uint32_t> g_removeStack;         // object ids; taken from the front
extern std::deque<AiCreateRequest> g_liveCreateQueue;   // taken from the front
extern std::deque<AiCreateRequest> g_staticCreateQueue;  // taken from the front, after the live one
extern std::vector<std::uint32_t> g_addingStack;        // hexids of spawned aircraft; taken from the back
extern std::vector<ParkedAcAction> g_parkedAcActions;   // a stack: only the last entry is looked at
extern std::vector<std::uint32_t> g_landedHexids;
extern std::vector<GhostCallsign> g_ghostCallsigns;  // each callsign once
// The livery title chosen per flight, so that a flight that spawns again keeps its livery. The
// titles are views into the livery database, which outlives the engine's tables.
extern std::unordered_map<std::uint32_t, LiveryChoice, HexidHash> g_liveryChoices;
extern bool g_staticDropPending;  // a static aircraft is marked dropFromRegistry or createCancelled
// The simulator's answers taken this tick, and those of kinds 0 and 1 that wait for their
// aircraft's pose and centre of gravity (age counts ticks).
extern std::vector<DelayedSimCommand> g_takenDelayedCommands;
extern std::vector<DelayedSimCommand> g_pendingDelayedCommands;
extern std::uint32_t g_promotionCount;    // static aircraft taken over by live ones
extern std::uint32_t g_staticParkedCount;  // static aircraft parked in this run
extern AddingStackCounters g_addingStackCounters;
// The user's ground reach fell back to the largest span (no B738 span): reported once a run.
extern bool g_userSpanFallbackReported;

// Registry and removals: the counters of the live-versus-parked collision pass.
struct ParkedCollisionCounters {
  std::uint32_t staticParkedSeen = 0;  // g_staticParkedCount at the last call
  std::int32_t calls = 0;              // 0..59: every 60th call checks every aircraft
};
extern ParkedCollisionCounters g_parkedCollisionCounters;
// The QNH (hPa) the altitudes of the streams are corrected for.
extern std::int32_t g_streamQnh;
// A new QNH moves the streams with the feed's correction, and a flying aircraft takes the change
// up over its legs: the reports after the first weather otherwise lay 840 ft above those before
// it, and an overflight made from the first climbed there at 16,800 ft/min.
void gf_followQnh();

// Every table above empty, the flags and counters as at program start.
void gf_resetEngineTables();

// The first live aircraft with the hexid, or null.
LiveAc* gf_findLiveAc(std::uint32_t hexid);
// The first aircraft with the object id (never one without an object), or null.
LiveAc* gf_findLiveAcByObjectId(std::uint32_t objectId);
StaticAc* gf_findStaticAc(std::uint32_t hexid);
StaticAc* gf_findStaticAcByObjectId(std::uint32_t objectId);
// Erases the hexid's livery choice; whether there was one.
bool gf_forgetLiveryChoice(std::uint32_t hexid);
// Notes a removed ghost's callsign, once; whether it was listed already.
bool gf_noteGhostCallsign(const std::string& callsign);
// A listed ghost callsign, seen again now; whether it is listed.
bool gf_isGhostCallsign(std::string_view callsign);
// How long entries outlive their flight, in g_engineTime counts.
inline constexpr std::int32_t kLiveryChoiceKeep = 30 * 60 * 100;
inline constexpr std::int32_t kGhostCallsignKeep = 15 * 60 * 100;
inline constexpr std::int32_t kJumpWatchKeep = 15 * 60 * 100;
// Drops the livery choices, ghost callsigns and jump watches whose flights have been gone longer
// than their keep; lf_handleAddingStack runs it once a minute.
void gf_ageSideLists();
