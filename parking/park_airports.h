#pragma once
// The park airport: the one airport filled with static and RealTraffic parked aircraft. Kept here
// are the user's list of park airports (airports/my_park_airports.txt, front entry = current
// candidate, with the stand the user last stood at there), the choice of the park airport from
// the user aircraft's position, its reach test, and giving it up when the user flies away or
// comes nearer to another listed airport.
//
// Threads: the list is taken under g_parkAirportsMutex by lf_main, the SimClient thread (the
// user's stand) and the GUI thread (destination handling); g_parkAirport is written by lf_main
// under g_parkAirportLock held exclusively and read by any thread under it held shared. No
// function holds both.
#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/geodesy.h"
#include "core/value_types.h"
#include "refdata/airports.h"

struct ParkAirport {
  std::string userStand;  // where the user aircraft last stood here; empty when none
  double lat = 0.0;       // from the airports list, never from the file
  double lon = 0.0;
  IcaoCode code;
};

extern const std::filesystem::path g_myParkAirportsFile;  // airports/my_park_airports.txt

// All under g_parkAirportsMutex.
extern std::mutex g_parkAirportsMutex;
extern std::deque<ParkAirport> g_parkAirports;                  // codes unique after a read
extern std::vector<std::string> g_preservedParkAirportLines;    // not accepted, verbatim, in file order
extern bool g_parkAirportsReadCompleted;                        // only a completed read is ever saved
extern bool g_parkAirportsFileExisted;
extern Lalo g_parkRecheckPos;                                   // 0/0: none
extern double g_parkRecheckDistNm;

// The park airport now; code 0 when none is set.
extern Airport g_parkAirport;
extern std::shared_mutex g_parkAirportLock;
// A park airport was chosen; the parking step clears it and sets the airport up.
extern std::atomic<bool> g_parkingSetupRequested;

// Once at start-up; true when no line of the file had to be preserved.
bool gf_readMyParkAirportsFile();
// Once at shutdown; a list whose read did not complete is never written.
void gf_saveMyParkAirportsFile();

std::optional<ParkAirport> gf_frontParkAirport();
// The front entry's user stand; none when the list is empty or it has none.
std::optional<std::string> gf_getUserStand();
std::optional<std::string> gf_getUserStandOf(IcaoCode code);
// Stores the stand when the front entry has this code: 1, else 0. A stand name holding ',' is
// never stored (the file's line would not read back).
int gf_setUserStand(IcaoCode code, std::string_view stand);
// The destination's chosen stand: stored in the airport's entry wherever it stands in the list;
// false when the airport is not listed (or the name holds ',').
bool gf_storeUserStand(std::string_view airport, std::string_view stand);
// The airport (position updated) becomes the front entry, the others keeping their order; a new
// one comes in with an empty stand.
void gf_moveParkAirportToFront(IcaoCode code, const Lalo& position);
void gf_moveParkAirportToFrontWithStand(IcaoCode code, const Lalo& position, std::string_view stand);

// While flying: the nearest listed airport takes the front, checked again only after the user has
// moved g_parkRecheckDistNm. Never throws.
void gf_frontNearestParkAirport(const Lalo& user) noexcept;
// Not above AIRP_HEIGHT over the ground, and within AIRP_RANGE (flat distance; the range itself
// counts as within).
bool gf_isWithinParkReach(const Lalo& user, const Lalo& airport);
// While no park airport is set: on the ground the closest airport with stand data, in the air the
// front entry when within reach.
void gf_chooseParkAirport(const Lalo& user);
// The park airport's set-up failed (its stand file missing, unreadable or its server silent):
// gf_chooseParkAirport passes it over for kFailedSetupPauseTicks of engine time, or until the
// user is kFailedSetupMoveNm away from where it failed.
inline constexpr std::int32_t kFailedSetupPauseTicks = 5 * 60 * 100;
inline constexpr double kFailedSetupMoveNm = 3.0;
void gf_noteFailedParkSetup(IcaoCode code, const Lalo& user);
void gf_resetFailedParkSetup();
// While one is set (nothing on the ground): gives it up when out of reach, or for a nearer front
// entry within reach.
void gf_checkParkAirportReach(const Lalo& user);
// Within 10 NM of the park airport.
bool gf_isNearParkAirport(const Lalo& position);

// What giving up the park airport calls in the parts built later, and the window's parking
// controls. A hook not installed does nothing and says so once in the log; the park airport is
// none afterwards in every case.
struct ParkAirportHooks {
  std::function<void()> clearStandSearchHits;             // gf_clearStandSearchHits
  std::function<void()> removeAllStaticAndLiveAtAirport;  // lf_removeAllStaticAndLiveAtAirport
  std::function<void()> resetParkAirport;                 // gf_resetParkAirport: saves the learning first
  std::function<void()> disableParkingControls;           // gf_disableParkingControls
};
void gf_setParkAirportHooks(ParkAirportHooks hooks);

// Tests: an empty list never read, no park airport, no setup request; the hooks stay.
void gf_resetParkAirports();
