#include "simlink/facility_reader.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>

#include "appbase/stop_request.h"
#include "core/log.h"
#include "platform/os.h"
#include "platform/simconnect.h"
#include "simlink/facility_helpers.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStandReadTimeout = std::chrono::seconds(30);
constexpr auto kRunwayReadTimeout = std::chrono::seconds(10);
constexpr auto kDispatchPause = std::chrono::milliseconds(1);
constexpr std::size_t kReservedStands = 512;
constexpr std::size_t kReservedRunways = 8;
constexpr std::size_t kMaxReservedRunways = 64;
constexpr double kDegToRad = 0.017453292519943295;

// Record sizes: the head (40 bytes), then each definition's fields packed in order.
constexpr std::uint32_t kHeadBytes = sizeof(SimConnectRecvFacilityData);
constexpr std::uint32_t kParkingAirportBytes = kHeadBytes + 3 * 8 + 32 + 2 * 4;  // 104
constexpr std::uint32_t kTaxiParkingBytes = kHeadBytes + 10 * 4;                 // 80
constexpr std::uint32_t kHelipadBytes = kHeadBytes + 3 * 8 + 5 * 4;              // 84
constexpr std::uint32_t kRunwayAirportBytes = kHeadBytes + 8 + 2 * 4;            // 56
constexpr std::uint32_t kRunwayBytes = kHeadBytes + 3 * 8 + 3 * 4 + 4 * 4;       // 92
constexpr std::uint32_t kStartBytes = kHeadBytes + 3 * 8 + 4 + 3 * 4;            // 80
constexpr std::uint32_t kThresholdBytes = kHeadBytes + 3 * 4;                    // 52

// The connection of the reader, shared by the stand and the runway reads (lf_main only).
struct ParkingDataReader {
  SimConnectHandle handle = nullptr;
  bool open = false;
  bool runwayDefinitionMade = false;
};

ParkingDataReader g_parkingDataReader;
std::function<Clock::time_point()> g_facilityClock;

Clock::time_point lf_now() { return g_facilityClock ? g_facilityClock() : Clock::now(); }

// The timer resolution is raised for the wait and lowered again on every way out.
class TimerPeriodGuard {
 public:
  TimerPeriodGuard() { os::timeBeginPeriod(1); }
  ~TimerPeriodGuard() { os::timeEndPeriod(1); }
  TimerPeriodGuard(const TimerPeriodGuard&) = delete;
  TimerPeriodGuard& operator=(const TimerPeriodGuard&) = delete;
};

// Fields are copied out of the record bytes: the records are packed and carry no alignment.
template <typename Value>
Value lf_read(const SimConnectRecv* message, std::uint32_t offset) {
  Value value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(message) + offset, sizeof value);
  return value;
}

// Offsets of the head fields (SimConnectRecvFacilityData and its END record).
constexpr std::uint32_t kIdOffset = 8;
constexpr std::uint32_t kUserRequestIdOffset = 12;
constexpr std::uint32_t kUniqueRequestIdOffset = 16;
constexpr std::uint32_t kParentUniqueRequestIdOffset = 20;
constexpr std::uint32_t kTypeOffset = 24;
constexpr std::uint32_t kEndRequestIdOffset = 12;

struct RecvHead {
  std::uint32_t id = 0;
  std::uint32_t userRequestId = 0;
  std::uint32_t uniqueRequestId = 0;
  std::uint32_t parentUniqueRequestId = 0;
  std::uint32_t type = 0;
};

RecvHead lf_facilityHead(const SimConnectRecv* message) {
  RecvHead head;
  head.id = lf_read<std::uint32_t>(message, kIdOffset);
  head.userRequestId = lf_read<std::uint32_t>(message, kUserRequestIdOffset);
  head.uniqueRequestId = lf_read<std::uint32_t>(message, kUniqueRequestIdOffset);
  head.parentUniqueRequestId = lf_read<std::uint32_t>(message, kParentUniqueRequestIdOffset);
  head.type = lf_read<std::uint32_t>(message, kTypeOffset);
  return head;
}

// An exception record, as far as it reached us (a short one reads as zeros where it ends).
SimConnectRecvException lf_exceptionRecord(const SimConnectRecv* message, std::uint32_t size) {
  SimConnectRecvException record{};
  std::memcpy(&record, message, std::min<std::size_t>(size, sizeof record));
  return record;
}

// Whole feet toward zero; an altitude beyond the 32-bit range or not finite keeps none.
std::int32_t lf_wholeFeet(double feet) {
  if (!std::isfinite(feet)) return 0;
  const double whole = std::trunc(feet);
  if (whole < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
      whole > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return 0;
  return static_cast<std::int32_t>(whole);
}

// ---------------------------------------------------------------------------------------------
// The connection.

bool lf_defineParkingFacility(SimConnectHandle handle) {
  static constexpr const char* kEntries[] = {
      "OPEN AIRPORT",
      "LATITUDE",
      "LONGITUDE",
      "ALTITUDE",
      "NAME",
      "N_HELIPADS",
      "N_TAXI_PARKINGS",
      "OPEN TAXI_PARKING",
      "TYPE",
      "TAXI_POINT_TYPE",
      "NAME",
      "SUFFIX",
      "NUMBER",
      "ORIENTATION",
      "HEADING",
      "RADIUS",
      "BIAS_X",
      "BIAS_Z",
      "CLOSE TAXI_PARKING",
      "OPEN HELIPAD",
      "LATITUDE",
      "LONGITUDE",
      "ALTITUDE",
      "HEADING",
      "LENGTH",
      "WIDTH",
      "SURFACE",
      "TYPE",
      "CLOSE HELIPAD",
      "CLOSE AIRPORT",
  };
  for (const char* entry : kEntries)
    if (SimConnect_AddToFacilityDefinition(handle, FACILITY_DEFINITION_PARKING, entry) < 0) return false;
  return true;
}

bool lf_defineRunwayFacility(SimConnectHandle handle) {
  static constexpr const char* kEntries[] = {
      "OPEN AIRPORT",
      "ALTITUDE",
      "N_RUNWAYS",
      "N_STARTS",
      "OPEN RUNWAY",
      "LATITUDE",
      "LONGITUDE",
      "ALTITUDE",
      "HEADING",
      "LENGTH",
      "WIDTH",
      "PRIMARY_NUMBER",
      "PRIMARY_DESIGNATOR",
      "SECONDARY_NUMBER",
      "SECONDARY_DESIGNATOR",
      "OPEN PRIMARY_THRESHOLD",
      "LENGTH",
      "WIDTH",
      "ENABLE",
      "CLOSE PRIMARY_THRESHOLD",
      "OPEN SECONDARY_THRESHOLD",
      "LENGTH",
      "WIDTH",
      "ENABLE",
      "CLOSE SECONDARY_THRESHOLD",
      "CLOSE RUNWAY",
      "OPEN START",
      "LATITUDE",
      "LONGITUDE",
      "ALTITUDE",
      "HEADING",
      "NUMBER",
      "DESIGNATOR",
      "TYPE",
      "CLOSE START",
      "CLOSE AIRPORT",
  };
  for (const char* entry : kEntries)
    if (SimConnect_AddToFacilityDefinition(handle, FACILITY_DEFINITION_RUNWAYS, entry) < 0) return false;
  return true;
}

bool lf_openParkingDataReader() {
  if (g_parkingDataReader.open) return true;
  SimConnectHandle handle = nullptr;
  const HRESULT hr = SimConnect_Open(&handle, "PARKING_DATA_RDR", nullptr, 0, nullptr, 0);
  if (hr < 0 || !handle) {
    gf_logWarning(fmt::format("SimConnect_Open (PARKING_DATA_RDR) FAILED hr=0x{:08X}", static_cast<std::uint32_t>(hr)));
    return false;
  }
  if (!lf_defineParkingFacility(handle)) {
    gf_logWarning("SimConnect facility definition initialization failed");
    SimConnect_Close(handle);
    return false;
  }
  g_parkingDataReader.handle = handle;
  g_parkingDataReader.open = true;
  return true;
}

bool lf_requestFacilityData(SimConnectHandle handle, const std::string& icao, std::string_view region) {
  const std::string regionText(region);
  return SimConnect_RequestFacilityData(handle, FACILITY_DEFINITION_PARKING, REQUEST_PARKING_FACILITY, icao.c_str(),
                                        regionText.c_str()) >= 0;
}

enum class WaitEnd { Answered, DispatchFailed, TimedOut, Stopped };

struct WaitOutcome {
  WaitEnd end = WaitEnd::Answered;
  HRESULT hr = S_OK;
};

// Pumps the connection until the answer is done, the deadline passes or the program stops. A
// dispatch failure or the deadline marks the read failed; the caller logs the outcome.
template <typename Context>
WaitOutcome lf_waitForAnswer(Context& context, SimConnectDispatchProc dispatch, Clock::duration timeout) {
  TimerPeriodGuard timerPeriod;
  const auto deadline = lf_now() + timeout;
  while (gf_isRunning() && !context.done) {
    const HRESULT hr = SimConnect_CallDispatch(context.handle, dispatch, &context);
    if (hr < 0) {
      context.done = context.failed = true;
      return {WaitEnd::DispatchFailed, hr};
    }
    if (context.done) break;  // the answer completed in this dispatch: no time-out after that
    if (lf_now() >= deadline) {
      context.done = context.failed = true;
      return {WaitEnd::TimedOut, S_OK};
    }
    std::this_thread::sleep_for(kDispatchPause);
  }
  return {context.done ? WaitEnd::Answered : WaitEnd::Stopped, S_OK};
}

// ---------------------------------------------------------------------------------------------
// Stands and helipads.

struct FacilityAirportRecord {
  std::string icao;
  Lalo position;
  double altitudeFt = 0.0;
  std::string name;
  std::vector<Stand> stands;
};

struct ParkingReadContext {
  SimConnectHandle handle = nullptr;
  FacilityAirportRecord* record = nullptr;
  Lalo reference;
  double altitudeFt = 0.0;
  bool done = false;
  bool failed = false;
};

std::string lf_standSuffix(std::int32_t suffix) {
  if (suffix == 0) return "";
  if (suffix >= 12 && suffix <= 37) return std::string(1, static_cast<char>(suffix + 53));
  return "?";
}

// The reference point moved east by biasX and north by biasZ (metres).
Lalo lf_offsetPosition(const Lalo& reference, double biasX, double biasZ) {
  Lalo position = reference;
  if (biasX != 0.0)
    position = gf_destinationPoint(
        position, {biasX > 0.0 ? 90.0 * kDegToRad : 270.0 * kDegToRad, std::fabs(biasX) * kFeetPerMetre});
  if (biasZ != 0.0)
    position = gf_destinationPoint(position, {biasZ > 0.0 ? 0.0 : 180.0 * kDegToRad, std::fabs(biasZ) * kFeetPerMetre});
  return position;
}

// A record shorter than the fields it must carry is refused: reading on would take bytes
// beyond the message.
bool lf_refuseShortRecord(ParkingReadContext& context, std::uint32_t type, std::uint32_t size, std::uint32_t needed) {
  if (size >= needed) return false;
  gf_logWarning(fmt::format("Facility data record of type {} too short for {}: {} of {} bytes", type,
                            context.record->icao, size, needed));
  context.done = context.failed = true;
  return true;
}

void onRecvFacilityData(ParkingReadContext& context, const SimConnectRecv* message, std::uint32_t size) {
  try {
    if (size < kHeadBytes) {
      gf_logWarning(fmt::format("Facility data message too short for {}: {} bytes", context.record->icao, size));
      context.done = context.failed = true;
      return;
    }
    const RecvHead head = lf_facilityHead(message);
    if (head.userRequestId != REQUEST_PARKING_FACILITY) return;
    FacilityAirportRecord& record = *context.record;
    switch (head.type) {
      case SIMCONNECT_FACILITY_DATA_AIRPORT: {
        if (lf_refuseShortRecord(context, head.type, size, kParkingAirportBytes)) return;
        context.reference = {lf_read<double>(message, 40), lf_read<double>(message, 48)};
        context.altitudeFt = lf_read<double>(message, 56) * kFeetPerMetre;
        const auto* name = reinterpret_cast<const char*>(message) + 64;
        record.position = context.reference;
        record.altitudeFt = context.altitudeFt;
        record.name.assign(name, strnlen(name, 32));
        break;
      }
      case SIMCONNECT_FACILITY_DATA_HELIPAD: {
        if (lf_refuseShortRecord(context, head.type, size, kHelipadBytes)) return;
        const Lalo position{lf_read<double>(message, 40), lf_read<double>(message, 48)};
        const float heading = lf_read<float>(message, 64);
        const float width = lf_read<float>(message, 72);
        const std::int32_t type = lf_read<std::int32_t>(message, 80);
        // A square pad (type 2) reaches out to its corners.
        const float radiusMetres = type == 2 ? width * 0.7f : width * 0.5f;
        record.stands.emplace_back(std::string(), std::vector<StandOption>{}, position, heading * kDegToRad,
                                   radiusMetres, 0, false, false, true);
        break;
      }
      case SIMCONNECT_FACILITY_DATA_TAXI_PARKING: {
        if (lf_refuseShortRecord(context, head.type, size, kTaxiParkingBytes)) return;
        const std::int32_t type = lf_read<std::int32_t>(message, 40);
        if (type < 1 || type > 15 || type == 13) return;  // no parking, or vehicles
        const std::int32_t nameCode = lf_read<std::int32_t>(message, 48);
        const std::int32_t suffix = lf_read<std::int32_t>(message, 52);
        const std::uint32_t number = lf_read<std::uint32_t>(message, 56);
        const float heading = lf_read<float>(message, 64);
        const float radius = lf_read<float>(message, 68);
        const float biasX = lf_read<float>(message, 72);
        const float biasZ = lf_read<float>(message, 76);
        const ParkingTypeInfo info = *gf_parkingTypeInfo(static_cast<std::uint32_t>(type));
        record.stands.emplace_back(fmt::format("{}{}{}", gf_parkingNamePrefix(static_cast<std::uint32_t>(nameCode)),
                                               number, lf_standSuffix(suffix)),
                                   std::vector<StandOption>{}, lf_offsetPosition(context.reference, biasX, biasZ),
                                   heading * kDegToRad, radius, static_cast<std::uint32_t>(type), info.cargo,
                                   info.ramp, false);
        break;
      }
      default:
        break;
    }
  } catch (const std::exception& e) {
    context.done = context.failed = true;
    try {
      gf_logWarning(fmt::format("{} exception: {}", "onRecvFacilityData", e.what()));
    } catch (...) {
    }
  } catch (...) {
    context.done = context.failed = true;
  }
}

// One facility reply: data goes to onData, the END of our request ends the read, a too short
// message or an exception fails it. The two readers differ only in their texts.
template <typename Context, typename OnData, typename LogShort, typename LogException>
void lf_dispatchFacilityReply(Context& context, const SimConnectRecv* message, std::uint32_t size,
                              std::uint32_t requestId, OnData onData, LogShort logShort,
                              LogException logException) noexcept {
  try {
    if (size < sizeof(SimConnectRecv)) {
      logShort();
      context.done = context.failed = true;
      return;
    }
    switch (lf_read<std::uint32_t>(message, kIdOffset)) {
      case SIMCONNECT_RECV_ID_EXCEPTION:
        logException(lf_exceptionRecord(message, size));
        context.done = context.failed = true;
        break;
      case SIMCONNECT_RECV_ID_FACILITY_DATA:
        onData();
        break;
      case SIMCONNECT_RECV_ID_FACILITY_DATA_END:
        if (size >= sizeof(SimConnectRecvFacilityDataEnd) && lf_read<std::uint32_t>(message, kEndRequestIdOffset) == requestId)
          context.done = true;
        break;
      default:
        break;
    }
  } catch (...) {
    context.done = context.failed = true;
  }
}

void lf_parkingDispatchProc(const SimConnectRecv* message, std::uint32_t size, void* contextPointer) noexcept {
  if (!message || !contextPointer) return;
  auto& context = *static_cast<ParkingReadContext*>(contextPointer);
  lf_dispatchFacilityReply(
      context, message, size, REQUEST_PARKING_FACILITY, [&] { onRecvFacilityData(context, message, size); },
      [&] {
        gf_logWarning(fmt::format("Facility data message too short for {}: {} bytes", context.record->icao, size));
      },
      [](const SimConnectRecvException& exception) {
        gf_logWarning(fmt::format("SimConnect EXCEPTION id={} sendID={} index={}", exception.exception,
                                  exception.sendId, exception.index));
      });
}

// ---------------------------------------------------------------------------------------------
// Runways.

struct RunwayReadContext {
  SimConnectHandle handle = nullptr;
  std::string icao;
  std::vector<Runway> runways;
  std::vector<FacilityStart> starts;
  std::unordered_map<std::uint32_t, std::size_t> runwayIndex;       // unique request id -> runway
  std::unordered_map<std::uint32_t, std::uint32_t> thresholdsSeen;  // unique request id -> count
  std::int32_t advertisedRunways = -1;
  std::int32_t advertisedStarts = -1;
  double airportAltitude = std::numeric_limits<double>::quiet_NaN();
  bool done = false;
  bool failed = false;
};

// The runway read in flight: its replies come on the reader's connection, so it ends with it.
struct RunwayRead {
  RunwayReadContext context;
  Clock::time_point deadline{};
};
std::unique_ptr<RunwayRead> g_runwayRead;

bool lf_refuseShortRunwayRecord(RunwayReadContext& context, std::uint32_t type, std::uint32_t size,
                                std::uint32_t needed) {
  if (size >= needed) return false;
  gf_logWarning(fmt::format("RUNWAY_HEADING: facility data record of type {} too short for {}: {} of {} bytes", type,
                            context.icao, size, needed));
  context.done = context.failed = true;
  return true;
}

void lf_onRecvRunwayFacilityData(RunwayReadContext& context, const SimConnectRecv* message, std::uint32_t size) {
  try {
    if (size < kHeadBytes) {
      gf_logWarning(
          fmt::format("RUNWAY_HEADING: facility data message too short for {}: {} bytes", context.icao, size));
      context.done = context.failed = true;
      return;
    }
    const RecvHead head = lf_facilityHead(message);
    if (head.userRequestId != REQUEST_RUNWAY_FACILITY) return;
    switch (head.type) {
      case SIMCONNECT_FACILITY_DATA_AIRPORT: {
        if (lf_refuseShortRunwayRecord(context, head.type, size, kRunwayAirportBytes)) return;
        context.airportAltitude = lf_read<double>(message, 40) * kFeetPerMetre;
        context.advertisedRunways = lf_read<std::int32_t>(message, 48);
        context.advertisedStarts = lf_read<std::int32_t>(message, 52);
        // The count comes from outside: it sizes the room only up to a sane airport.
        if (context.advertisedRunways >= 1)
          context.runways.reserve(
              std::min<std::size_t>(static_cast<std::size_t>(context.advertisedRunways), kMaxReservedRunways));
        break;
      }
      case SIMCONNECT_FACILITY_DATA_RUNWAY: {
        if (lf_refuseShortRunwayRecord(context, head.type, size, kRunwayBytes)) return;
        Runway runway;
        runway.centre = {lf_read<double>(message, 40), lf_read<double>(message, 48)};
        runway.altitude = lf_read<double>(message, 56) * kFeetPerMetre;
        runway.heading = lf_read<float>(message, 64);
        runway.length = lf_read<float>(message, 68);
        runway.width = lf_read<float>(message, 72);
        runway.primaryNumber = lf_read<std::uint32_t>(message, 76);
        runway.primaryDesignator = lf_read<std::uint32_t>(message, 80);
        runway.secondaryNumber = lf_read<std::uint32_t>(message, 84);
        runway.secondaryDesignator = lf_read<std::uint32_t>(message, 88);
        const double halfLengthFt = runway.length * 0.5 * kFeetPerMetre;
        runway.primaryEnd = gf_destinationPoint(runway.centre, {(runway.heading + 180.0) * kDegToRad, halfLengthFt});
        runway.secondaryEnd = gf_destinationPoint(runway.centre, {runway.heading * kDegToRad, halfLengthFt});
        context.runwayIndex[head.uniqueRequestId] = context.runways.size();
        context.runways.push_back(runway);
        break;
      }
      case SIMCONNECT_FACILITY_DATA_START: {
        if (lf_refuseShortRunwayRecord(context, head.type, size, kStartBytes)) return;
        FacilityStart start;
        start.position = {lf_read<double>(message, 40), lf_read<double>(message, 48)};
        start.altitude = lf_read<double>(message, 56) * kFeetPerMetre;
        start.heading = lf_read<float>(message, 64);
        start.number = lf_read<std::int32_t>(message, 68);
        start.designator = lf_read<std::int32_t>(message, 72);
        start.type = lf_read<std::uint32_t>(message, 76);
        context.starts.push_back(start);
        break;
      }
      case SIMCONNECT_FACILITY_DATA_RUNWAY_THRESHOLD: {
        if (lf_refuseShortRunwayRecord(context, head.type, size, kThresholdBytes)) return;
        auto runway = context.runwayIndex.find(head.parentUniqueRequestId);
        if (runway == context.runwayIndex.end()) return;
        const RunwayThreshold threshold{lf_read<float>(message, 40), lf_read<float>(message, 44),
                                        lf_read<std::int32_t>(message, 48) != 0};
        std::uint32_t& seen = context.thresholdsSeen[head.parentUniqueRequestId];
        if (seen == 0) context.runways[runway->second].primaryThreshold = threshold;
        if (seen == 1) context.runways[runway->second].secondaryThreshold = threshold;
        ++seen;
        break;
      }
      default:
        break;
    }
  } catch (...) {
    context.done = context.failed = true;
  }
}

void lf_runwayDispatchProc(const SimConnectRecv* message, std::uint32_t size, void* contextPointer) noexcept {
  if (!message || !contextPointer) return;
  auto& context = *static_cast<RunwayReadContext*>(contextPointer);
  lf_dispatchFacilityReply(
      context, message, size, REQUEST_RUNWAY_FACILITY, [&] { lf_onRecvRunwayFacilityData(context, message, size); },
      [&] {
        gf_logWarning(
            fmt::format("RUNWAY_HEADING: facility data message too short for {}: {} bytes", context.icao, size));
      },
      [](const SimConnectRecvException& exception) {
        gf_logWarning(fmt::format("RUNWAY_HEADING: SimConnect exception id={} sendID={} index={}", exception.exception,
                                  exception.sendId, exception.index));
      });
}

// Joins each runway start (type 1) to the first runway end with its number and designator; a
// later start for the same end replaces an earlier one.
void lf_attachStarts(std::vector<Runway>& runways, const std::vector<FacilityStart>& starts) {
  for (const FacilityStart& start : starts) {
    if (start.type != 1) continue;
    const auto number = static_cast<std::uint32_t>(start.number);
    const auto designator = static_cast<std::uint32_t>(start.designator);
    for (Runway& runway : runways) {
      const RunwayStart end{start.position, start.altitude, start.heading};
      if (runway.primaryNumber == number && runway.primaryDesignator == designator) {
        runway.primaryStart = end;
        runway.primaryStartType = start.type;
        runway.hasPrimaryStart = true;
        break;
      }
      if (runway.secondaryNumber == number && runway.secondaryDesignator == designator) {
        runway.secondaryStart = end;
        runway.secondaryStartType = start.type;
        runway.hasSecondaryStart = true;
        break;
      }
    }
  }
}

bool lf_oppositeEnds(std::uint32_t primary, std::uint32_t secondary) {
  if (primary < 1 || primary > 44 || secondary < 1 || secondary > 44) return false;
  if (primary <= 36 && secondary <= 36) return secondary == ((primary + 17) % 36) + 1;
  if (primary >= 37 && secondary >= 37) return secondary == ((primary - 33) % 8) + 37;
  return false;
}

bool lf_runwayIsSound(const Runway& runway) {
  return gf_isValidLalo(runway.centre) && gf_isValidLalo(runway.primaryEnd) && gf_isValidLalo(runway.secondaryEnd) &&
         gf_isRunwayHeadingValid(runway.heading) && gf_isRunwayLengthValid(runway.length) &&
         gf_isRunwayWidthValid(runway.width) && std::isfinite(runway.altitude) &&
         lf_oppositeEnds(runway.primaryNumber, runway.secondaryNumber) && runway.primaryDesignator <= 6 &&
         runway.secondaryDesignator <= 6 && runway.hasPrimaryStart && runway.hasSecondaryStart;
}

// The whole set's checks after a complete answer; the warning of the first failure.
std::optional<std::string> lf_checkRunways(const RunwayReadContext& context) {
  const std::string& icao = context.icao;
  if (!std::isfinite(context.airportAltitude))
    return fmt::format("RUNWAY_HEADING: {} invalid Facilities airport altitude; correction disabled", icao);
  if (context.advertisedRunways < 1 || static_cast<std::size_t>(context.advertisedRunways) != context.runways.size())
    return fmt::format("RUNWAY_HEADING: {} incomplete runway data: advertised {}, returned {}; correction disabled",
                       icao, context.advertisedRunways, context.runways.size());
  if (context.advertisedStarts < 0 || static_cast<std::size_t>(context.advertisedStarts) != context.starts.size())
    return fmt::format("RUNWAY_HEADING: {} incomplete START data: advertised {}, returned {}; correction disabled",
                       icao, context.advertisedStarts, context.starts.size());
  std::set<std::pair<std::uint32_t, std::uint32_t>> seen;
  for (const Runway& runway : context.runways) {
    bool passes = lf_runwayIsSound(runway);
    if (passes) passes = seen.insert({runway.primaryNumber, runway.primaryDesignator}).second;
    if (passes) passes = seen.insert({runway.secondaryNumber, runway.secondaryDesignator}).second;
    if (!passes)
      return fmt::format(
          "RUNWAY_HEADING: {} invalid or duplicate runway {}-{}; correction disabled", icao,
          gf_formatRunwayName(runway.primaryNumber, static_cast<std::int32_t>(runway.primaryDesignator)),
          gf_formatRunwayName(runway.secondaryNumber, static_cast<std::int32_t>(runway.secondaryDesignator)));
  }
  return std::nullopt;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void gf_closeParkingDataReader() {
  if (!g_parkingDataReader.open) return;
  if (SimConnect_Close(g_parkingDataReader.handle) < 0) {
    gf_logWarning("Closing SimConnect failed?!");
  } else {
    gf_log("SimConnect closed ok");
  }
  g_parkingDataReader.handle = nullptr;
  gf_log("SimConnect (PARKING_DATA_RDR) closed");
  g_parkingDataReader.open = false;
  g_parkingDataReader.runwayDefinitionMade = false;
  g_runwayRead.reset();
}

bool gf_readFacilityStands(const std::string& icao, std::string_view icaoText, std::string_view region, BglAirport& out,
                           std::uint32_t& helipadCount) {
  // The code is checked before anything is asked of the simulator.
  const IcaoCode code(icao);
  // The runway read's replies would be lost in this read's dispatch: it is dropped, and tried again.
  if (g_runwayRead) gf_closeParkingDataReader();
  if (!lf_openParkingDataReader()) return false;

  FacilityAirportRecord record;
  record.icao = icao;
  record.stands.reserve(kReservedStands);
  ParkingReadContext context;
  context.handle = g_parkingDataReader.handle;
  context.record = &record;

  if (!lf_requestFacilityData(context.handle, icao, region)) {
    gf_logWarning(fmt::format("RequestFacilityData failed for {} (airport {})", icao, icaoText));
    return false;
  }
  const WaitOutcome waited = lf_waitForAnswer(context, lf_parkingDispatchProc, kStandReadTimeout);
  if (waited.end == WaitEnd::DispatchFailed)
    gf_logWarning(
        fmt::format("SimConnect_CallDispatch failed for {}: 0x{:08X}", icao, static_cast<std::uint32_t>(waited.hr)));
  if (waited.end == WaitEnd::TimedOut) gf_logWarning(fmt::format("Facility data request timed out for {}", icao));
  if (context.failed || !context.done) {
    gf_closeParkingDataReader();
    return false;
  }

  std::uint32_t helipads = 0;
  for (Stand& stand : record.stands)
    if (stand.heli) stand.name = fmt::format("HELIPAD {}", ++helipads);
  helipadCount = helipads;

  out.code = code;
  out.position = record.position;
  out.name = record.name;
  out.altitude = lf_wholeFeet(record.altitudeFt);
  out.stands = record.stands;
  if (out.stands.empty()) gf_log(fmt::format("Fac: {} has no stands", out.code));
  return true;
}

bool gf_startFacilityRunwaysRead(std::string_view icao) {
  gf_dropFacilityRunwaysRead();
  if (!lf_openParkingDataReader()) return false;
  const std::string code(icao);
  if (!g_parkingDataReader.runwayDefinitionMade) {
    if (!lf_defineRunwayFacility(g_parkingDataReader.handle)) {
      gf_logWarning("RUNWAY_HEADING: facility definition initialization failed");
      gf_closeParkingDataReader();
      return false;
    }
    g_parkingDataReader.runwayDefinitionMade = true;
  }

  auto read = std::make_unique<RunwayRead>();
  RunwayReadContext& context = read->context;
  context.handle = g_parkingDataReader.handle;
  context.icao = code;
  context.runways.reserve(kReservedRunways);
  const HRESULT hr = SimConnect_RequestFacilityData(context.handle, FACILITY_DEFINITION_RUNWAYS,
                                                    REQUEST_RUNWAY_FACILITY, code.c_str(), "");
  if (hr < 0) {
    gf_logWarning(fmt::format("RUNWAY_HEADING: RequestFacilityData for {} failed: 0x{:08X}", code,
                              static_cast<std::uint32_t>(hr)));
    gf_closeParkingDataReader();
    return false;
  }
  read->deadline = lf_now() + kRunwayReadTimeout;
  g_runwayRead = std::move(read);
  return true;
}

std::optional<FacilityRunways> gf_pollFacilityRunwaysRead() {
  FacilityRunways result;
  if (!g_runwayRead) return result;
  RunwayReadContext& context = g_runwayRead->context;
  WaitEnd end = WaitEnd::Stopped;
  HRESULT hr = S_OK;
  if (gf_isRunning()) {
    hr = SimConnect_CallDispatch(context.handle, lf_runwayDispatchProc, &context);
    if (hr < 0) {
      end = WaitEnd::DispatchFailed;
      context.failed = true;
    } else if (context.done) {
      end = WaitEnd::Answered;  // complete in this dispatch: no time-out after that
    } else if (lf_now() >= g_runwayRead->deadline) {
      end = WaitEnd::TimedOut;
      context.failed = true;
    } else {
      return std::nullopt;
    }
  }
  const std::unique_ptr<RunwayRead> ended = std::move(g_runwayRead);
  RunwayReadContext& read = ended->context;
  const std::string& code = read.icao;
  if (end == WaitEnd::DispatchFailed)
    gf_logWarning(fmt::format("RUNWAY_HEADING: SimConnect_CallDispatch failed for {}: 0x{:08X}", code,
                              static_cast<std::uint32_t>(hr)));
  if (end == WaitEnd::TimedOut)
    gf_logWarning(fmt::format("RUNWAY_HEADING: facility data request timed out for {}", code));
  // Whatever goes wrong, the connection goes with it: replies still under way for this request
  // would otherwise be read as the next request's answer.
  if (read.failed || !read.done) {
    gf_closeParkingDataReader();
    return result;
  }
  lf_attachStarts(read.runways, read.starts);
  if (auto problem = lf_checkRunways(read)) {
    gf_logWarning(*problem);
    gf_closeParkingDataReader();
    return result;
  }
  result.altitude = read.airportAltitude;
  result.runways = std::move(read.runways);
  result.valid = true;
  return result;
}

bool gf_facilityRunwaysReadPending() { return g_runwayRead != nullptr; }

void gf_dropFacilityRunwaysRead() {
  if (g_runwayRead) gf_closeParkingDataReader();
}

void gf_setFacilityClockForTest(std::function<std::chrono::steady_clock::time_point()> now) {
  g_facilityClock = std::move(now);
}

bool gf_isParkingDataReaderOpen() { return g_parkingDataReader.open; }

void gf_resetFacilityReaderForTest() {
  gf_closeParkingDataReader();
  g_parkingDataReader = ParkingDataReader{};
  g_facilityClock = nullptr;
}
