#pragma once
// The stand-in simulator's own state, shared by its two sources (the test face in sim.cpp and
// the SimConnect calls in simconnect_api.cpp). Everything here is guarded by Sim::mutex.
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/simconnect.h"
#include "standin/sim/sim.h"

struct SimConnectSession {
  std::uint32_t id = 0;
};

namespace standin::sim::detail {

// One record on its way to a client, allocated at exactly its size so that a reader that
// goes past it is caught.
struct Message {
  std::unique_ptr<std::byte[]> bytes;
  std::uint32_t size = 0;
};

struct Field {
  std::string datum;
  std::string upperDatum;
  std::string unit;  // empty for none
  SIMCONNECT_DATATYPE type = SIMCONNECT_DATATYPE_FLOAT64;
  // Where a client's write of this field goes and how its unit converts, worked out once when the
  // field is defined: a pose write comes thousands of times a second.
  double ObjectState::*writesTo = nullptr;
  double writeFactor = 1.0;
};

// A defined field with its write target and unit conversion filled in.
Field makeField(std::string datum, std::string upperDatum, std::string unit, SIMCONNECT_DATATYPE type);

struct Periodic {
  std::uint32_t requestId = 0;
  std::uint32_t defineId = 0;
  std::uint32_t objectId = 0;
  double nextDueMs = 0.0;
};

struct PendingCreate {
  std::uint32_t connection = 0;
  std::uint32_t requestId = 0;
  std::uint32_t packetId = 0;
  std::string title;
  std::string tailNumber;
  SimConnectInitPosition position;
  std::uint32_t framesLeft = 0;
};

struct PendingRemoval {
  std::uint32_t objectId = 0;
  std::uint32_t framesLeft = 0;  // kNever: never confirmed
};

struct Connection {
  std::uint32_t id = 0;
  std::string name;
  std::deque<Message> queue;
  std::map<std::uint32_t, std::vector<Field>> definitions;
  std::map<std::string, std::uint32_t> subscriptions;   // upper-cased system event -> client event id
  std::map<std::uint32_t, std::string> mappedEvents;    // client event id -> simulator event
  std::map<std::uint32_t, std::vector<std::uint32_t>> groups;
  std::map<std::uint32_t, std::uint32_t> groupPriorities;
  std::vector<Periodic> periodic;
  std::uint32_t lastPacketId = 0;
  std::uint64_t framesDelivered = 0;
  bool inDispatch = false;
  std::map<std::uint32_t, std::vector<std::string>> facilityDefinitions;  // entries as added, upper-cased
  std::deque<Message> heldFacilityReplies;  // a late answer, delivered at the next facility request
};

// One object of an airport's facility data: its fields by SimConnect name, and the objects inside
// it by kind ("RUNWAY", "PRIMARY_THRESHOLD", ...), in fixture order.
struct FacilityObject {
  std::map<std::string, std::variant<double, std::string>> fields;
  std::map<std::string, std::vector<FacilityObject>> children;
};

struct FacilityAirport {
  FacilityObject airport;
  FacilityFaults faults;
};

// An airport whose flat ground carries the objects near it: the facility fixtures' airports.
struct GroundAirport {
  double latitude = 0.0;
  double longitude = 0.0;
  double elevationFeet = 0.0;
};

// The trace file while it is written: under a temporary name until it is closed.
struct Trace {
  std::FILE* file = nullptr;
  std::filesystem::path target;
  std::filesystem::path partial;
  std::int64_t lastPoseSecond = 0;  // the last whole simulator second that wrote poses
  struct Position {
    double t = -1.0;  // simulator seconds; negative: none yet
    double latitude = 0.0;
    double longitude = 0.0;
    double gsKt = 0.0;
  };
  std::map<std::uint32_t, Position> lastPositions;  // by object, for the ground speed
};

struct Injected {
  std::uint32_t skip = 0;
  HRESULT hr = E_FAIL;
};

struct Sim {
  std::mutex mutex;
  bool running = false;
  std::optional<std::chrono::steady_clock::time_point> startAt;
  // The scenario's outages, by their start: the simulator closes, then starts again after the span.
  std::deque<std::pair<std::chrono::steady_clock::time_point, std::chrono::steady_clock::duration>> outages;
  std::string applicationName{kMsfs2024Name};
  std::array<std::uint32_t, 4> version{12, 1, 282, 0};
  UserAircraft user;
  bool flightRunning = false;

  std::map<SimConnectSession*, std::unique_ptr<Connection>> connections;
  std::uint32_t nextConnectionId = 1;
  std::map<std::uint32_t, ObjectState> objects;
  std::map<std::uint32_t, OtherAircraft> others;
  std::uint32_t nextObjectId = 1001;
  std::vector<PendingCreate> creates;
  std::vector<PendingRemoval> removals;
  std::uint32_t createDelayFrames = 2;
  std::uint32_t removeDelayFrames = 0;
  bool acceptAllTitles = true;
  std::set<std::string> titles;

  bool ownClock = false;
  double framesPerSecond = 50.0;
  std::chrono::steady_clock::time_point lastFrame{};
  std::uint64_t frame = 0;
  double simMs = 0.0;

  std::map<std::string, std::deque<Injected>, std::less<>> failures;
  std::optional<HRESULT> dispatchFailure;
  std::set<std::string> rejectedVariables;
  std::map<std::uint32_t, std::uint32_t> truncate;

  // Names are the calls' own literals: a pose write logs without a heap block for its name.
  // A pose write keeps its three numbers and is put into words only when the log is read.
  struct LoggedCall {
    std::uint32_t connection = 0;
    std::string_view call;
    std::string detail;
    HRESULT result = S_OK;
    std::array<std::uint32_t, 3> numbers{};
    bool numbersOnly = false;
  };
  // The latest calls, oldest at logStart once the ring is full: room made once, never again.
  std::vector<LoggedCall> log;
  std::size_t logStart = 0;
  std::uint64_t openAttempts = 0;
  std::uint64_t dispatches = 0;

  std::map<std::string, FacilityAirport> facilityAirports;  // by upper-case ICAO
  std::map<std::string, FacilityFaults> facilityFaults;     // set by tests, over a file's own
  std::filesystem::path facilityFolder;                     // <ICAO>.json read on first request
  std::uint32_t nextFacilityUniqueId = 1;
  std::uint64_t facilityRequests = 0;
  std::vector<GroundAirport> groundAirports;  // from the fixtures; rebuilt when they change
  std::filesystem::path groundFolder;
  std::size_t groundFacilityCount = 0;
  bool groundBuilt = false;

  Trace trace;

  Connection* connectionById(std::uint32_t id);
};

Sim& sim();
void ensureConfigured();
void markConfigured();
std::string upper(std::string_view text);
std::string lower(std::string_view text);
bool isKnownVariable(std::string_view upperName);

// call: a name that lives as long as the program (a literal).
void logCall(Sim& s, std::uint32_t connection, std::string_view call, std::string detail, HRESULT result);
void logCall(Sim& s, std::uint32_t connection, std::string_view call, const std::array<std::uint32_t, 3>& numbers,
             HRESULT result);
std::optional<HRESULT> injectedFailure(Sim& s, std::string_view call);
Message makeMessage(const void* record, std::size_t size);
void queue(Sim& s, Connection& connection, std::vector<std::byte> record);
void queueException(Sim& s, Connection& connection, SIMCONNECT_EXCEPTION exception, std::uint32_t sendId,
                    std::uint32_t index);
void queueEvent(Sim& s, Connection& connection, std::uint32_t eventId, std::uint32_t data);
void queueDataReply(Sim& s, Connection& connection, SIMCONNECT_RECV_ID id, std::uint32_t requestId,
                    std::uint32_t objectId, std::uint32_t defineId, std::uint32_t entry, std::uint32_t outOf);
bool applyData(Connection& connection, std::uint32_t defineId, ObjectState& object, std::uint32_t unitSize,
               const void* data, bool& movedIt);
void answerCreate(Sim& s, const PendingCreate& create);
void removeObject(Sim& s, std::uint32_t objectId);
void runFrame(Sim& s);
void ownClockTick(Sim& s);
void quitLocked(Sim& s);
std::uint32_t distanceFromUser(const Sim& s, double lat, double lon);

// Facility data (sim_facilities.cpp).
void resetFacilities(Sim& s);
HRESULT addFacilityEntry(Sim& s, Connection& connection, std::uint32_t defineId, std::string_view entry);
HRESULT answerFacilityRequest(Sim& s, Connection& connection, std::uint32_t defineId, std::uint32_t requestId,
                              std::string_view icao);
FacilityAirport parseFacilityAirport(const std::string& jsonText, const std::string& origin);

// The ground under a point: the elevation of the nearest fixture airport, none without fixtures.
std::optional<double> groundLevelFeet(Sim& s, double lat, double lon);
// Ground level, height and on-ground of an AI object from where it stands now; one placed on the
// ground (created so) stands on its gear there.
void settleOnGround(Sim& s, ObjectState& object, bool placedOnGround);

// The trace (sim_trace.cpp): one line per event while a trace file is open.
void openTrace(Sim& s, const std::filesystem::path& file);
void closeTrace(Sim& s);
void traceObject(Sim& s, std::string_view event, const ObjectState& object);
void traceRefusal(Sim& s, const PendingCreate& create);
void tracePoses(Sim& s);  // once per frame: the poses when a new simulator second has begun

// A fixed-size record with its head filled in.
template <typename Record>
std::vector<std::byte> recordBytes(Record record, SIMCONNECT_RECV_ID id) {
  record.size = sizeof(Record);
  record.version = 1;
  record.id = id;
  std::vector<std::byte> bytes(sizeof(Record));
  std::memcpy(bytes.data(), &record, sizeof(Record));
  return bytes;
}

}  // namespace standin::sim::detail
