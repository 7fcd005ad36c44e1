#pragma once
// The stand-in simulator: an in-process simulator behind platform/simconnect.h, so that the
// program's link talks to it exactly as it would to the real one. Tests and the demo drive it
// through this header; every function is thread-safe.
//
// What it keeps: whether it runs, which edition it claims to be, the connections with their
// data definitions, subscriptions and mapped events, a user aircraft, the AI objects that
// clients created, and an ordered log of every call. Replies are built field by field from
// the definitions as the client registered them, so a field in the wrong order shows.
//
// Frames either run on their own clock (checked whenever a client dispatches) or are pumped by
// a test. Periodic requests ("every second") count simulator time, which advances one frame
// interval per frame.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/simconnect.h"

namespace standin::sim {

inline constexpr std::string_view kMsfs2020Name = "KittyHawk";
inline constexpr std::string_view kMsfs2024Name = "SunRise";
inline constexpr std::uint32_t kNever = 0xFFFFFFFFu;

// The user's aircraft. Angles of attitude and heading in radians, positions in degrees,
// heights in feet, speeds in knots (vertical: feet per minute), the GPS track in degrees.
struct UserAircraft {
  std::uint32_t objectId = 1;
  std::string title = "Stand-in Airliner";
  std::string atcModel = "A320";
  std::string atcId = "JRV001";
  bool onGround = true;
  double latitude = 0.0;
  double longitude = 0.0;
  double pitch = 0.0;
  double bank = 0.0;
  double heading = 0.0;
  double altitude = 0.0;
  double indicatedAltitude = 0.0;
  double altitudeAboveGround = 0.0;
  double verticalSpeed = 0.0;
  double groundVelocity = 0.0;
  double airspeedTrue = 0.0;
  double gpsTrack = 0.0;
  double groundAltitude = 0.0;
  std::int64_t zuluTime = 43200;  // seconds of the day
  std::int64_t zuluDayOfYear = 180;
  std::int64_t zuluYear = 2026;
  std::int64_t lightStates = 0;
};

// One object as the stand-in holds it (AI objects and, through user(), the user aircraft).
struct ObjectState {
  std::uint32_t objectId = 0;
  bool user = false;
  std::string title;
  std::string tailNumber;
  double latitude = 0.0;
  double longitude = 0.0;
  double pitch = 0.0;  // radians
  double bank = 0.0;
  double heading = 0.0;
  double altitude = 0.0;
  double verticalSpeed = 0.0;
  double airspeedTrue = 0.0;
  double altitudeAboveGround = 0.0;
  double groundAltitude = 0.0;
  bool onGround = false;
  double staticCg = 0.0;
  double staticPitch = 0.0;
  double spoilers = 0.0;
  double throttle1 = 0.0;
  double throttle2 = 0.0;
  bool frozenLatLon = false;
  bool frozenAltitude = false;
  bool frozenAttitude = false;
  bool released = false;           // the creating client took AI control away
  bool removalRequested = false;
  std::string flightPlan;          // the path as loaded, without ".pln"
  std::string flightPlanText;      // the plan file's contents
  std::map<std::string, std::uint32_t> events;  // last value of each client event, by simulator event name
  std::uint64_t poseUpdates = 0;                // SetDataOnSimObject calls that moved it
  std::uint64_t extraPosesInAFrame = 0;         // poses beyond the first within one frame
  std::uint32_t lastPoseConnection = 0;         // the connection and its frame of the last pose
  std::uint64_t lastPoseFrame = 0;
};

// Objects that are not the client's: other traffic the simulator itself flies.
struct OtherAircraft {
  std::uint32_t objectId = 0;
  std::string atcId;
  double latitude = 0.0;
  double longitude = 0.0;
  double altitudeAboveGround = 0.0;
  double groundAltitude = 0.0;
  bool onGround = false;
};

struct CallRecord {
  std::uint32_t connection = 0;
  std::string call;    // "AddToDataDefinition", without the SimConnect_ prefix
  std::string detail;  // the arguments, as "407, TITLE, -, STRINGV"
  HRESULT result = S_OK;
};

// Back to a fresh stand-in: not running, MSFS 2024, default user aircraft, pumped frames,
// creates answered after 2 frames, removals confirmed at once, empty tables and logs.
void reset();

// Open succeeds only while running. Stopping a running simulator is quit().
void setRunning(bool running);
bool isRunning();
// The simulator closes: QUIT to every client, AI objects gone, not running.
void quit();

void setApplicationName(std::string name);
void setApplicationVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t buildMajor, std::uint32_t buildMinor);

void setUserAircraft(const UserAircraft& aircraft);
UserAircraft userAircraft();
void addOtherAircraft(const OtherAircraft& aircraft);

// "Sim" with 1 or 0 to every subscriber; a new subscriber is told the current value at once.
void setFlightRunning(bool running);
// A system event to its subscribers as a plain EVENT record.
void sendSystemEvent(const std::string& name, std::uint32_t data);
// "FlightLoaded" to its subscribers, as the file-name record it is.
void loadFlight(const std::string& file);

// Frames: on their own clock at the given rate, or only when pumped.
void useOwnFrameClock(double framesPerSecond);
void usePumpedFrames(double framesPerSecond = 50.0);
void pumpFrames(std::uint32_t count = 1);
std::uint64_t frameCount();

// AI objects.
void setCreateDelayFrames(std::uint32_t frames);
void setRemoveDelayFrames(std::uint32_t frames);  // kNever: removals are never confirmed
void setAcceptAllTitles(bool accept);              // else only known titles can be created
void addKnownTitle(const std::string& title);
void removeObjectBySim(std::uint32_t objectId);
std::optional<ObjectState> object(std::uint32_t objectId);
std::vector<ObjectState> aiObjects();  // by object id

// Failure injection.
// The call (name without the SimConnect_ prefix) fails with hr after `skip` more successful ones.
void failCall(const std::string& call, std::uint32_t skip = 0, HRESULT hr = E_FAIL);
void failNextDispatch(HRESULT hr = E_FAIL);
void rejectVariable(const std::string& datumName);  // AddToDataDefinition of it fails
// The next record of that kind reaches the client this many bytes short.
void truncateNext(SIMCONNECT_RECV_ID id, std::uint32_t bytesShort = 1);
// A raw record to every open connection, delivered as it is (its size is the vector's).
void injectMessage(const std::vector<std::byte>& bytes);
void sendException(SIMCONNECT_EXCEPTION exception, std::uint32_t sendId, std::uint32_t index = 0);

// Inspection.
std::vector<CallRecord> callLog();
std::vector<CallRecord> callLog(const std::string& call);  // only that call's records
void clearCallLog();
std::uint32_t openConnectionCount();
std::uint64_t openAttempts();
std::uint64_t dispatchCount();  // CallDispatch calls that returned, all connections
// True when pred became true before the timeout; pred runs without the stand-in's lock.
bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Waits until every open connection has taken all its records and finished a dispatch after that.
bool waitForIdle(std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Facility data, per airport, from fixture files: one JSON object per airport with its fields
// under their SimConnect names ("ICAO", "NAME", "LATITUDE", "ALTITUDE" in metres, ...) and the
// objects inside it in arrays named by kind ("TAXI_PARKING", "HELIPAD", "RUNWAY", "START"); a
// runway holds "PRIMARY_THRESHOLD" and "SECONDARY_THRESHOLD" objects. Counts ("N_RUNWAYS", ...)
// follow the arrays unless the file gives them (a wrong count on purpose). A "faults" object
// takes the members of FacilityFaults. data/sim/facilities/README.md describes the format.
//
// A request is answered in the order of the client's facility definition, one record per
// object with its fields in definition order, children after their parent with the parent's
// unique id, then the END record. An airport the stand-in does not know gets an exception.
struct FacilityFaults {
  bool noEnd = false;                   // the answer never ends
  bool late = false;                    // the answer waits for the next request on that connection
  bool lateException = false;           // ... and an exception for this request follows it
  std::uint32_t strayRequestId = 0;     // not 0: first a record and an END for this other request id
  std::uint32_t truncateType = kNever;  // the first record of this facility type comes short
  std::uint32_t truncateBytes = 0;
};

// <folder>/<ICAO>.json is read when the airport is first asked for (and kept).
void setFacilityFolder(const std::filesystem::path& folder);
// One airport from JSON text or a file; throws std::runtime_error with the reason.
void addFacilityAirport(const std::string& json);
void loadFacilityFile(const std::filesystem::path& file);
// Faults for one airport, over those its file names.
void setFacilityFaults(const std::string& icao, const FacilityFaults& faults);
std::uint64_t facilityRequestCount();

// A scenario file (JSON) for the demo: edition, start delay, frame rate, user aircraft, known
// titles, create and remove delays, outages ("outages": [{"atSeconds": 20, "forSeconds": 3}], seconds
// after the load: the simulator quits, then runs again), and the facility fixtures' folder ("facilitiesFolder",
// relative to the scenario file; "facilities" beside it when that folder exists). Throws
// std::runtime_error with the reason on a bad file.
void loadScenario(const std::filesystem::path& file);
// The scenario file's path is a setting: JORV_SIM_SCENARIO. The first SimConnect call of a
// process that has not been set up by reset() or loadScenario() loads it when it is set.
inline constexpr const char* kScenarioVariable = "JORV_SIM_SCENARIO";

// A trace of what a person would see in the simulator, as CSV: the header
// "t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground,tail,pitch_deg,bank_deg,vs_fpm,gs_kt",
// then one line per event:
// "create" and "remove" of an AI object, "refuse" of a create (no object id), and "pose" of every
// AI object once per simulator second. t_s is simulator time in seconds; heights in feet; on_ground
// follows the flat ground of the nearest facility airport; tail is the tail number the object was
// created with; pitch_deg is nose up positive, bank_deg the bank variable in degrees, vs_fpm the vertical
// speed the client sent, gs_kt the speed over the ground since the object's previous line (a create's
// and a refusal's: 0 and the airspeed asked for). The file is written under a temporary
// name and renamed to its own when the trace closes: at setTraceFile({}), reset() or process exit.
// A trace that cannot be opened is reported on stderr and the simulator runs without one.
void setTraceFile(const std::filesystem::path& file);
// The trace's file, set by the process's first SimConnect call like the scenario.
inline constexpr const char* kTraceVariable = "JORV_SIM_TRACE";

}  // namespace standin::sim
