#pragma once
// The simulator's client library, as the link uses it: the calls, identifiers, data types and
// reply layouts it needs, returning HRESULT-style codes (negative = failure).
//
// On this machine the calls are served by the in-process stand-in simulator (standin/sim);
// a Windows build would bind the real library behind the same declarations.
//
// Two properties the link relies on:
// - an exception thrown inside the dispatch callback leaves SimConnect_CallDispatch and reaches
//   its caller;
// - SimConnect_Open fails while no simulator accepts connections.
//
// Replies arrive as byte records whose first 12 bytes are a SimConnectRecv head. A record may
// be shorter than its kind's layout (a damaged or truncated message): the receiver checks the
// size it is given before it reads anything beyond the head.
#include <cstdint>
#include <string>

using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006u);

// One open connection; null while none is open.
struct SimConnectSession;
using SimConnectHandle = SimConnectSession*;

inline constexpr std::uint32_t SIMCONNECT_UNUSED = 0xFFFFFFFFu;
inline constexpr std::uint32_t SIMCONNECT_OBJECT_ID_USER = 0;  // addresses the user's aircraft

enum SIMCONNECT_DATATYPE : std::uint32_t {
  SIMCONNECT_DATATYPE_FLOAT64 = 1,   // 8-byte double
  SIMCONNECT_DATATYPE_INT64 = 2,     // 8-byte signed integer
  SIMCONNECT_DATATYPE_STRING32 = 3,  // 32 bytes, NUL padded
  SIMCONNECT_DATATYPE_STRINGV = 4,   // NUL-terminated, variable length
};

enum SIMCONNECT_PERIOD : std::uint32_t {
  SIMCONNECT_PERIOD_NEVER = 0,
  SIMCONNECT_PERIOD_ONCE = 1,
  SIMCONNECT_PERIOD_SECOND = 2,
};

enum SIMCONNECT_SIMOBJECT_TYPE : std::uint32_t {
  SIMCONNECT_SIMOBJECT_TYPE_USER = 0,
  SIMCONNECT_SIMOBJECT_TYPE_ALL = 1,
  SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT = 2,
};

inline constexpr std::uint32_t SIMCONNECT_GROUP_PRIORITY_HIGHEST = 1;

// Receive ids: the kind of a reply record.
enum SIMCONNECT_RECV_ID : std::uint32_t {
  SIMCONNECT_RECV_ID_EXCEPTION = 1,
  SIMCONNECT_RECV_ID_OPEN = 2,
  SIMCONNECT_RECV_ID_QUIT = 3,
  SIMCONNECT_RECV_ID_EVENT = 4,
  SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE = 5,
  SIMCONNECT_RECV_ID_EVENT_FILENAME = 6,
  SIMCONNECT_RECV_ID_EVENT_FRAME = 7,
  SIMCONNECT_RECV_ID_SIMOBJECT_DATA = 8,
  SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE = 9,
  SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID = 12,
  SIMCONNECT_RECV_ID_FACILITY_DATA = 28,
  SIMCONNECT_RECV_ID_FACILITY_DATA_END = 29,
};

// Exception numbers carried by an EXCEPTION record.
enum SIMCONNECT_EXCEPTION : std::uint32_t {
  SIMCONNECT_EXCEPTION_ERROR = 1,
  SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID = 3,
  SIMCONNECT_EXCEPTION_VERSION_MISMATCH = 5,
  SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED = 7,
  SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS = 11,
  SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE = 19,
  SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED = 22,
  SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED = 23,
  SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE = 24,
};

// Reply layouts. Every field is 4 bytes unless noted; records carry no padding.
struct SimConnectRecv {
  std::uint32_t size;     // bytes of the whole record
  std::uint32_t version;
  std::uint32_t id;       // SIMCONNECT_RECV_ID
};

struct SimConnectRecvException : SimConnectRecv {
  std::uint32_t exception;  // SIMCONNECT_EXCEPTION
  std::uint32_t sendId;     // packet id of the call that failed
  std::uint32_t index;      // which argument, where known
};

struct SimConnectRecvOpen : SimConnectRecv {
  char applicationName[256];  // NUL-terminated
  std::uint32_t applicationVersionMajor;
  std::uint32_t applicationVersionMinor;
  std::uint32_t applicationBuildMajor;
  std::uint32_t applicationBuildMinor;
  std::uint32_t simConnectVersionMajor;
  std::uint32_t simConnectVersionMinor;
  std::uint32_t simConnectBuildMajor;
  std::uint32_t simConnectBuildMinor;
  std::uint32_t reserved1;
  std::uint32_t reserved2;
};

struct SimConnectRecvEvent : SimConnectRecv {
  std::uint32_t groupId;
  std::uint32_t eventId;  // the client's id of the subscribed system event
  std::uint32_t data;
};

struct SimConnectRecvEventObjectAddRemove : SimConnectRecvEvent {
  std::uint32_t objectType;  // SIMCONNECT_SIMOBJECT_TYPE; data holds the object id
};

struct SimConnectRecvEventFilename : SimConnectRecvEvent {
  char fileName[260];
  std::uint32_t flags;
};

struct SimConnectRecvEventFrame : SimConnectRecvEvent {
  float frameRate;
  float simSpeed;
};

// Data replies: the data begins right after this head (byte 40), in the field order of the
// data definition the request named.
struct SimConnectRecvSimObjectData : SimConnectRecv {
  std::uint32_t requestId;
  std::uint32_t objectId;
  std::uint32_t defineId;
  std::uint32_t flags;
  std::uint32_t entryNumber;  // 1-based, of outOf, for requests by type
  std::uint32_t outOf;
  std::uint32_t defineCount;
};

struct SimConnectRecvAssignedObjectId : SimConnectRecv {
  std::uint32_t requestId;
  std::uint32_t objectId;
};

static_assert(sizeof(SimConnectRecv) == 12);
static_assert(sizeof(SimConnectRecvException) == 24);
static_assert(sizeof(SimConnectRecvOpen) == 308);
static_assert(sizeof(SimConnectRecvEvent) == 24);
static_assert(sizeof(SimConnectRecvEventObjectAddRemove) == 28);
static_assert(sizeof(SimConnectRecvEventFilename) == 288);
static_assert(sizeof(SimConnectRecvEventFrame) == 32);
static_assert(sizeof(SimConnectRecvSimObjectData) == 40);
static_assert(sizeof(SimConnectRecvAssignedObjectId) == 20);

// Facility data: one record per object of an airport (the airport itself, its runways with their
// thresholds, starts, helipads, taxi parkings), in the order of the client's facility definition,
// then one END record. A record's fields begin right after this head (byte 40), packed in the
// order the definition added them; objects inside another carry the parent's unique id.
enum SIMCONNECT_FACILITY_DATA_TYPE : std::uint32_t {
  SIMCONNECT_FACILITY_DATA_AIRPORT = 0,
  SIMCONNECT_FACILITY_DATA_RUNWAY = 1,
  SIMCONNECT_FACILITY_DATA_START = 2,
  SIMCONNECT_FACILITY_DATA_HELIPAD = 4,
  SIMCONNECT_FACILITY_DATA_TAXI_PARKING = 15,
  SIMCONNECT_FACILITY_DATA_RUNWAY_THRESHOLD = 23,  // primary and secondary alike
};

struct SimConnectRecvFacilityData : SimConnectRecv {
  std::uint32_t userRequestId;          // the client's request id
  std::uint32_t uniqueRequestId;        // this object's own id within the answer
  std::uint32_t parentUniqueRequestId;  // the object it belongs to (0 for the airport)
  std::uint32_t type;                   // SIMCONNECT_FACILITY_DATA_TYPE
  std::uint32_t isListItem;
  std::uint32_t itemIndex;
  std::uint32_t listSize;
};

struct SimConnectRecvFacilityDataEnd : SimConnectRecv {
  std::uint32_t requestId;  // the client's request id; nothing more comes for it
};

static_assert(sizeof(SimConnectRecvFacilityData) == 40);
static_assert(sizeof(SimConnectRecvFacilityDataEnd) == 16);

// Where and how a new AI aircraft appears. Angles in degrees, altitude in feet.
struct SimConnectInitPosition {
  double latitude = 0.0;
  double longitude = 0.0;
  double altitude = 0.0;
  double pitch = 0.0;
  double bank = 0.0;
  double heading = 0.0;
  std::uint32_t onGround = 0;
  std::uint32_t airspeed = 0;  // knots
};

// Called once for every reply record that has arrived; size is the record's length in bytes.
using SimConnectDispatchProc = void (*)(const SimConnectRecv* data, std::uint32_t size, void* context);

HRESULT SimConnect_Open(SimConnectHandle* handle, const char* name, void* window, std::uint32_t userEventWin,
                        void* eventHandle, std::uint32_t configIndex);
HRESULT SimConnect_Close(SimConnectHandle handle);
HRESULT SimConnect_CallDispatch(SimConnectHandle handle, SimConnectDispatchProc dispatch, void* context);

HRESULT SimConnect_SubscribeToSystemEvent(SimConnectHandle handle, std::uint32_t eventId, const char* systemEventName);
HRESULT SimConnect_AddToDataDefinition(SimConnectHandle handle, std::uint32_t defineId, const char* datumName,
                                       const char* unitsName,
                                       SIMCONNECT_DATATYPE datumType = SIMCONNECT_DATATYPE_FLOAT64,
                                       float epsilon = 0.0f, std::uint32_t datumId = SIMCONNECT_UNUSED);
HRESULT SimConnect_MapClientEventToSimEvent(SimConnectHandle handle, std::uint32_t eventId, const char* eventName);
HRESULT SimConnect_AddClientEventToNotificationGroup(SimConnectHandle handle, std::uint32_t groupId,
                                                     std::uint32_t eventId, bool maskable);
HRESULT SimConnect_SetNotificationGroupPriority(SimConnectHandle handle, std::uint32_t groupId,
                                                std::uint32_t priority);

HRESULT SimConnect_RequestDataOnSimObject(SimConnectHandle handle, std::uint32_t requestId, std::uint32_t defineId,
                                          std::uint32_t objectId, SIMCONNECT_PERIOD period, std::uint32_t flags = 0,
                                          std::uint32_t origin = 0, std::uint32_t interval = 0,
                                          std::uint32_t limit = 0);
HRESULT SimConnect_RequestDataOnSimObjectType(SimConnectHandle handle, std::uint32_t requestId,
                                              std::uint32_t defineId, std::uint32_t radiusMeters,
                                              SIMCONNECT_SIMOBJECT_TYPE type);
HRESULT SimConnect_SetDataOnSimObject(SimConnectHandle handle, std::uint32_t defineId, std::uint32_t objectId,
                                      std::uint32_t flags, std::uint32_t arrayCount, std::uint32_t unitSize,
                                      const void* data);
HRESULT SimConnect_TransmitClientEvent(SimConnectHandle handle, std::uint32_t objectId, std::uint32_t eventId,
                                       std::uint32_t data, std::uint32_t groupId, std::uint32_t flags);

HRESULT SimConnect_AICreateNonATCAircraft(SimConnectHandle handle, const char* containerTitle, const char* tailNumber,
                                          const SimConnectInitPosition& initPosition, std::uint32_t requestId);
HRESULT SimConnect_AIRemoveObject(SimConnectHandle handle, std::uint32_t objectId, std::uint32_t requestId);
HRESULT SimConnect_AIReleaseControl(SimConnectHandle handle, std::uint32_t objectId, std::uint32_t requestId);
HRESULT SimConnect_AISetAircraftFlightPlan(SimConnectHandle handle, std::uint32_t objectId, const char* flightPlanPath,
                                           std::uint32_t requestId);
// Facility definitions are lists of entries: "OPEN AIRPORT", field names such as "LATITUDE",
// "CLOSE AIRPORT"; each call adds one entry to the definition.
HRESULT SimConnect_AddToFacilityDefinition(SimConnectHandle handle, std::uint32_t defineId, const char* fieldName);
// Asks for one airport's facility data, laid out by the definition; the answer comes through
// CallDispatch as FACILITY_DATA records and one FACILITY_DATA_END, or as an EXCEPTION.
HRESULT SimConnect_RequestFacilityData(SimConnectHandle handle, std::uint32_t defineId, std::uint32_t requestId,
                                       const char* icao, const char* region = "");
// The packet id of the last call sent on this connection; exceptions name it as their sendId.
HRESULT SimConnect_GetLastSentPacketID(SimConnectHandle handle, std::uint32_t* packetId);

// The system's message table for an HRESULT (what FormatMessageW gives on Windows): the text
// as the system holds it, trailing line break included; empty when the system has none.
std::u16string gf_systemMessageText(HRESULT hr);
