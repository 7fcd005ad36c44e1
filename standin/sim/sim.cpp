#include "standin/sim/sim.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <thread>
#include <variant>

#include "standin/sim/sim_internal.h"

namespace standin::sim {
namespace detail {

namespace {

constexpr std::size_t kCallLogLimit = 50000;  // a long demo run keeps its latest calls
constexpr double kPi = 3.14159265358979323846;

std::atomic<bool> g_configured{false};

}  // namespace

Sim& sim() {
  // Never destroyed: a client thread may still call in while the process exits.
  static Sim* instance = new Sim;
  return *instance;
}

std::string upper(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return result;
}

std::string lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

void ensureConfigured() {
  if (g_configured.load(std::memory_order_acquire) || g_configured.exchange(true)) return;
  const char* file = std::getenv(kScenarioVariable);
  if (file && *file) {
    try {
      loadScenario(file);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "stand-in simulator: scenario %s not loaded: %s\n", file, e.what());
    }
  }
  const char* trace = std::getenv(kTraceVariable);
  if (trace && *trace) setTraceFile(trace);
}

void markConfigured() { g_configured = true; }

namespace {
void lf_keep(Sim& s, Sim::LoggedCall&& call) {
  if (s.log.size() < kCallLogLimit) {
    s.log.push_back(std::move(call));
    return;
  }
  s.log[s.logStart] = std::move(call);
  s.logStart = (s.logStart + 1) % s.log.size();
}

void lf_clearLog(Sim& s) {
  s.log.clear();
  s.logStart = 0;
}
}  // namespace

void logCall(Sim& s, std::uint32_t connection, std::string_view call, std::string detail, HRESULT result) {
  lf_keep(s, Sim::LoggedCall{connection, call, std::move(detail), result});
}

void logCall(Sim& s, std::uint32_t connection, std::string_view call, const std::array<std::uint32_t, 3>& numbers,
             HRESULT result) {
  lf_keep(s, Sim::LoggedCall{connection, call, {}, result, numbers, true});
}

std::optional<HRESULT> injectedFailure(Sim& s, std::string_view call) {
  if (s.failures.empty()) return std::nullopt;
  auto it = s.failures.find(call);
  if (it == s.failures.end() || it->second.empty()) return std::nullopt;
  Injected& next = it->second.front();
  if (next.skip > 0) {
    --next.skip;
    return std::nullopt;
  }
  const HRESULT hr = next.hr;
  it->second.pop_front();
  return hr;
}

Message makeMessage(const void* record, std::size_t size) {
  Message message;
  message.size = static_cast<std::uint32_t>(size);
  message.bytes = std::make_unique<std::byte[]>(size == 0 ? 1 : size);
  if (size > 0) std::memcpy(message.bytes.get(), record, size);
  return message;
}

void queue(Sim& s, Connection& connection, std::vector<std::byte> record) {
  std::size_t size = record.size();
  if (size >= sizeof(SimConnectRecv)) {
    SimConnectRecv head;
    std::memcpy(&head, record.data(), sizeof head);
    auto it = s.truncate.find(head.id);
    if (it != s.truncate.end()) {
      size = it->second >= size ? 0 : size - it->second;
      s.truncate.erase(it);
    }
  }
  connection.queue.push_back(makeMessage(record.data(), size));
}

void queueException(Sim& s, Connection& connection, SIMCONNECT_EXCEPTION exception, std::uint32_t sendId,
                    std::uint32_t index) {
  SimConnectRecvException record{};
  record.exception = exception;
  record.sendId = sendId;
  record.index = index;
  queue(s, connection, recordBytes(record, SIMCONNECT_RECV_ID_EXCEPTION));
}

void queueEvent(Sim& s, Connection& connection, std::uint32_t eventId, std::uint32_t data) {
  SimConnectRecvEvent record{};
  record.groupId = SIMCONNECT_UNUSED;
  record.eventId = eventId;
  record.data = data;
  queue(s, connection, recordBytes(record, SIMCONNECT_RECV_ID_EVENT));
}

void queueSystemEvent(Sim& s, std::string_view name, std::uint32_t data) {
  const std::string key = upper(name);
  for (auto& [session, connection] : s.connections) {
    auto it = connection->subscriptions.find(key);
    if (it != connection->subscriptions.end()) queueEvent(s, *connection, it->second, data);
  }
}

void queueAddRemove(Sim& s, std::string_view name, std::uint32_t objectId) {
  const std::string key = upper(name);
  for (auto& [session, connection] : s.connections) {
    auto it = connection->subscriptions.find(key);
    if (it == connection->subscriptions.end()) continue;
    SimConnectRecvEventObjectAddRemove record{};
    record.groupId = SIMCONNECT_UNUSED;
    record.eventId = it->second;
    record.data = objectId;
    record.objectType = SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT;
    queue(s, *connection, recordBytes(record, SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE));
  }
}

// Variables, in the unit each is kept in: attitude and heading in radians, positions and the
// GPS track in degrees, everything else in the unit the link asks for.
namespace {

enum class Stored { Plain, Radians, Degrees };

struct VariableInfo {
  std::string_view name;
  Stored stored;
};

constexpr VariableInfo kVariables[] = {
    {"PLANE LATITUDE", Stored::Degrees},
    {"PLANE LONGITUDE", Stored::Degrees},
    {"PLANE PITCH DEGREES", Stored::Radians},
    {"PLANE BANK DEGREES", Stored::Radians},
    {"PLANE HEADING DEGREES TRUE", Stored::Radians},
    {"PLANE ALTITUDE", Stored::Plain},
    {"VERTICAL SPEED", Stored::Plain},
    {"AIRSPEED TRUE", Stored::Plain},
    {"INDICATED ALTITUDE", Stored::Plain},
    {"PLANE ALT ABOVE GROUND", Stored::Plain},
    {"GROUND VELOCITY", Stored::Plain},
    {"GROUND ALTITUDE", Stored::Plain},
    {"ZULU TIME", Stored::Plain},
    {"ZULU DAY OF YEAR", Stored::Plain},
    {"ZULU YEAR", Stored::Plain},
    {"LIGHT STATES", Stored::Plain},
    {"LIGHT ON STATES", Stored::Plain},
    {"GPS GROUND TRUE TRACK", Stored::Degrees},
    {"SIM ON GROUND", Stored::Plain},
    {"STATIC CG TO GROUND", Stored::Plain},
    {"STATIC PITCH", Stored::Radians},
    {"SPOILERS HANDLE POSITION", Stored::Plain},
    {"GENERAL ENG THROTTLE LEVER POSITION:1", Stored::Plain},
    {"GENERAL ENG THROTTLE LEVER POSITION:2", Stored::Plain},
    {"TITLE", Stored::Plain},
    {"ATC MODEL", Stored::Plain},
    {"ATC ID", Stored::Plain},
};

const VariableInfo* variableInfo(std::string_view upperName) {
  for (const auto& info : kVariables)
    if (info.name == upperName) return &info;
  return nullptr;
}

// Stored value -> the unit asked for, and back.
double toUnit(Stored stored, const std::string& unit, double value) {
  const std::string u = lower(unit);
  if (stored == Stored::Radians && (u == "degree" || u == "degrees")) return value * 180.0 / kPi;
  if (stored == Stored::Degrees && (u == "radian" || u == "radians")) return value * kPi / 180.0;
  return value;
}

double fromUnit(Stored stored, const std::string& unit, double value) {
  const std::string u = lower(unit);
  if (stored == Stored::Radians && (u == "degree" || u == "degrees")) return value * kPi / 180.0;
  if (stored == Stored::Degrees && (u == "radian" || u == "radians")) return value * 180.0 / kPi;
  return value;
}

using Value = std::variant<double, std::string>;

std::map<std::string, Value, std::less<>> userVariables(const UserAircraft& u) {
  return {{"PLANE LATITUDE", u.latitude},
          {"PLANE LONGITUDE", u.longitude},
          {"PLANE PITCH DEGREES", u.pitch},
          {"PLANE BANK DEGREES", u.bank},
          {"PLANE HEADING DEGREES TRUE", u.heading},
          {"PLANE ALTITUDE", u.altitude},
          {"VERTICAL SPEED", u.verticalSpeed},
          {"AIRSPEED TRUE", u.airspeedTrue},
          {"INDICATED ALTITUDE", u.indicatedAltitude},
          {"PLANE ALT ABOVE GROUND", u.altitudeAboveGround},
          {"GROUND VELOCITY", u.groundVelocity},
          {"GROUND ALTITUDE", u.groundAltitude},
          {"ZULU TIME", static_cast<double>(u.zuluTime)},
          {"ZULU DAY OF YEAR", static_cast<double>(u.zuluDayOfYear)},
          {"ZULU YEAR", static_cast<double>(u.zuluYear)},
          {"LIGHT STATES", static_cast<double>(u.lightStates)},
          {"GPS GROUND TRUE TRACK", u.gpsTrack},
          {"SIM ON GROUND", u.onGround ? 1.0 : 0.0},
          {"TITLE", u.title},
          {"ATC MODEL", u.atcModel},
          {"ATC ID", u.atcId}};
}

std::map<std::string, Value, std::less<>> objectVariables(const ObjectState& o) {
  return {{"PLANE LATITUDE", o.latitude},
          {"PLANE LONGITUDE", o.longitude},
          {"PLANE PITCH DEGREES", o.pitch},
          {"PLANE BANK DEGREES", o.bank},
          {"PLANE HEADING DEGREES TRUE", o.heading},
          {"PLANE ALTITUDE", o.altitude},
          {"VERTICAL SPEED", o.verticalSpeed},
          {"AIRSPEED TRUE", o.airspeedTrue},
          {"PLANE ALT ABOVE GROUND", o.altitudeAboveGround},
          {"GROUND ALTITUDE", o.groundAltitude},
          {"SIM ON GROUND", o.onGround ? 1.0 : 0.0},
          {"STATIC CG TO GROUND", o.staticCg},
          {"STATIC PITCH", o.staticPitch},
          {"SPOILERS HANDLE POSITION", o.spoilers},
          {"GENERAL ENG THROTTLE LEVER POSITION:1", o.throttle1},
          {"GENERAL ENG THROTTLE LEVER POSITION:2", o.throttle2},
          {"TITLE", o.title},
          {"ATC ID", o.tailNumber}};
}

std::map<std::string, Value, std::less<>> otherVariables(const OtherAircraft& o) {
  return {{"PLANE LATITUDE", o.latitude},
          {"PLANE LONGITUDE", o.longitude},
          {"PLANE ALT ABOVE GROUND", o.altitudeAboveGround},
          {"GROUND ALTITUDE", o.groundAltitude},
          {"SIM ON GROUND", o.onGround ? 1.0 : 0.0},
          {"ATC ID", o.atcId}};
}

double ObjectState::*writableVariable(std::string_view name) {
  static const std::map<std::string, double ObjectState::*, std::less<>> fields{
      {"PLANE LATITUDE", &ObjectState::latitude},
      {"PLANE LONGITUDE", &ObjectState::longitude},
      {"PLANE PITCH DEGREES", &ObjectState::pitch},
      {"PLANE BANK DEGREES", &ObjectState::bank},
      {"PLANE HEADING DEGREES TRUE", &ObjectState::heading},
      {"PLANE ALTITUDE", &ObjectState::altitude},
      {"VERTICAL SPEED", &ObjectState::verticalSpeed},
      {"AIRSPEED TRUE", &ObjectState::airspeedTrue},
      {"SPOILERS HANDLE POSITION", &ObjectState::spoilers},
      {"GENERAL ENG THROTTLE LEVER POSITION:1", &ObjectState::throttle1},
      {"GENERAL ENG THROTTLE LEVER POSITION:2", &ObjectState::throttle2},
  };
  auto it = fields.find(name);
  return it == fields.end() ? nullptr : it->second;
}

std::size_t fieldSize(SIMCONNECT_DATATYPE type) {
  switch (type) {
    case SIMCONNECT_DATATYPE_FLOAT64:
    case SIMCONNECT_DATATYPE_INT64:
      return 8;
    case SIMCONNECT_DATATYPE_STRING32:
      return 32;
    case SIMCONNECT_DATATYPE_STRINGV:
      return 0;
  }
  return 0;
}

void appendField(std::vector<std::byte>& out, const Field& field, const Value* value) {
  const std::size_t at = out.size();
  switch (field.type) {
    case SIMCONNECT_DATATYPE_FLOAT64:
    case SIMCONNECT_DATATYPE_INT64: {
      const VariableInfo* info = variableInfo(field.upperDatum);
      double number = 0.0;
      if (value && std::holds_alternative<double>(*value))
        number = toUnit(info ? info->stored : Stored::Plain, field.unit, std::get<double>(*value));
      out.resize(at + 8);
      if (field.type == SIMCONNECT_DATATYPE_FLOAT64) {
        std::memcpy(out.data() + at, &number, 8);
      } else {
        const std::int64_t integer = std::isfinite(number) ? std::llround(number) : 0;
        std::memcpy(out.data() + at, &integer, 8);
      }
      break;
    }
    case SIMCONNECT_DATATYPE_STRING32: {
      out.resize(at + 32);  // zero filled
      if (value && std::holds_alternative<std::string>(*value)) {
        const std::string& text = std::get<std::string>(*value);
        std::memcpy(out.data() + at, text.data(), std::min<std::size_t>(text.size(), 31));
      }
      break;
    }
    case SIMCONNECT_DATATYPE_STRINGV: {
      std::string text;
      if (value && std::holds_alternative<std::string>(*value)) text = std::get<std::string>(*value);
      out.resize(at + text.size() + 1);
      std::memcpy(out.data() + at, text.data(), text.size());
      break;
    }
  }
}

}  // namespace

bool isKnownVariable(std::string_view upperName) { return variableInfo(upperName) != nullptr; }

// The record of a data reply: head, then each field of the definition in its order.
void queueDataReply(Sim& s, Connection& connection, SIMCONNECT_RECV_ID id, std::uint32_t requestId,
                    std::uint32_t objectId, std::uint32_t defineId, std::uint32_t entry, std::uint32_t outOf) {
  auto def = connection.definitions.find(defineId);
  if (def == connection.definitions.end()) return;
  std::map<std::string, Value, std::less<>> values;
  if (objectId == s.user.objectId) {
    values = userVariables(s.user);
  } else if (auto o = s.objects.find(objectId); o != s.objects.end()) {
    values = objectVariables(o->second);
  } else if (auto other = s.others.find(objectId); other != s.others.end()) {
    values = otherVariables(other->second);
  }
  SimConnectRecvSimObjectData head{};
  head.requestId = requestId;
  head.objectId = objectId;
  head.defineId = defineId;
  head.entryNumber = entry;
  head.outOf = outOf;
  head.defineCount = 1;
  std::vector<std::byte> bytes = recordBytes(head, id);
  for (const Field& field : def->second) {
    auto value = values.find(field.upperDatum);
    appendField(bytes, field, value == values.end() ? nullptr : &value->second);
  }
  const auto size = static_cast<std::uint32_t>(bytes.size());
  std::memcpy(bytes.data(), &size, sizeof size);
  queue(s, connection, std::move(bytes));
}

Field makeField(std::string datum, std::string upperDatum, std::string unit, SIMCONNECT_DATATYPE type) {
  Field field{std::move(datum), std::move(upperDatum), std::move(unit), type};
  field.writesTo = writableVariable(field.upperDatum);
  const VariableInfo* info = variableInfo(field.upperDatum);
  field.writeFactor = fromUnit(info ? info->stored : Stored::Plain, field.unit, 1.0);
  return field;
}

// Writes a client's record into an object, field by field; false when the size does not fit.
bool applyData(Connection& connection, std::uint32_t defineId, ObjectState& object, std::uint32_t unitSize,
               const void* data, bool& movedIt) {
  auto def = connection.definitions.find(defineId);
  if (def == connection.definitions.end()) return false;
  std::size_t expected = 0;
  for (const Field& field : def->second) {
    const std::size_t size = fieldSize(field.type);
    if (size == 0) return false;  // a variable-length string cannot be written
    expected += size;
  }
  if (unitSize != expected || !data) return false;
  const auto* bytes = static_cast<const std::byte*>(data);
  std::size_t at = 0;
  movedIt = false;
  for (const Field& field : def->second) {
    const std::size_t size = fieldSize(field.type);
    if (field.type == SIMCONNECT_DATATYPE_FLOAT64 || field.type == SIMCONNECT_DATATYPE_INT64) {
      double number = 0.0;
      if (field.type == SIMCONNECT_DATATYPE_FLOAT64) {
        std::memcpy(&number, bytes + at, 8);
      } else {
        std::int64_t integer = 0;
        std::memcpy(&integer, bytes + at, 8);
        number = static_cast<double>(integer);
      }
      if (field.writesTo) object.*field.writesTo = number * field.writeFactor;
      if (field.writesTo == &ObjectState::latitude) movedIt = true;
    }
    at += size;
  }
  return true;
}

namespace {

double distanceMetres(double lat1, double lon1, double lat2, double lon2) {
  const double p1 = lat1 * kPi / 180.0;
  const double p2 = lat2 * kPi / 180.0;
  const double dp = p2 - p1;
  const double dl = (lon2 - lon1) * kPi / 180.0;
  const double a = std::sin(dp / 2) * std::sin(dp / 2) + std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
  return 2.0 * 6371008.8 * std::asin(std::min(1.0, std::sqrt(a)));
}

}  // namespace

void answerCreate(Sim& s, const PendingCreate& create) {
  Connection* connection = s.connectionById(create.connection);
  if (!connection) return;
  if (!s.acceptAllTitles && !s.titles.contains(create.title)) {
    traceRefusal(s, create);
    queueException(s, *connection, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, create.packetId, 0);
    return;
  }
  ObjectState object;
  object.objectId = s.nextObjectId++;
  object.title = create.title;
  object.tailNumber = create.tailNumber;
  object.latitude = create.position.latitude;
  object.longitude = create.position.longitude;
  object.altitude = create.position.altitude;
  object.pitch = create.position.pitch * kPi / 180.0;
  object.bank = create.position.bank * kPi / 180.0;
  object.heading = create.position.heading * kPi / 180.0;
  object.airspeedTrue = create.position.airspeed;
  object.onGround = create.position.onGround != 0;
  object.groundAltitude = create.position.onGround != 0 ? create.position.altitude : s.user.groundAltitude;
  object.altitudeAboveGround = object.onGround ? 0.0 : object.altitude - object.groundAltitude;
  object.staticCg = 8.0;
  object.staticPitch = 0.01;
  settleOnGround(s, object, object.onGround);
  traceObject(s, "create", object);
  const std::uint32_t id = object.objectId;
  s.objects.emplace(id, std::move(object));
  SimConnectRecvAssignedObjectId record{};
  record.requestId = create.requestId;
  record.objectId = id;
  queue(s, *connection, recordBytes(record, SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID));
  queueAddRemove(s, "ObjectAdded", id);
}

void removeObject(Sim& s, std::uint32_t objectId) {
  auto it = s.objects.find(objectId);
  if (it == s.objects.end()) return;
  traceObject(s, "remove", it->second);
  s.objects.erase(it);
  queueAddRemove(s, "ObjectRemoved", objectId);
}

void runFrame(Sim& s) {
  ++s.frame;
  s.simMs += 1000.0 / s.framesPerSecond;

  std::vector<PendingCreate> due;
  for (auto it = s.creates.begin(); it != s.creates.end();) {
    if (it->framesLeft > 0) --it->framesLeft;
    if (it->framesLeft == 0) {
      due.push_back(*it);
      it = s.creates.erase(it);
    } else {
      ++it;
    }
  }
  for (const auto& create : due) answerCreate(s, create);

  std::vector<std::uint32_t> removed;
  for (auto it = s.removals.begin(); it != s.removals.end();) {
    if (it->framesLeft != kNever && it->framesLeft > 0) --it->framesLeft;
    if (it->framesLeft == 0) {
      removed.push_back(it->objectId);
      it = s.removals.erase(it);
    } else {
      ++it;
    }
  }
  for (std::uint32_t id : removed) removeObject(s, id);
  tracePoses(s);

  for (auto& [session, connection] : s.connections) {
    for (auto& periodic : connection->periodic) {
      if (s.simMs + 1e-9 < periodic.nextDueMs) continue;
      periodic.nextDueMs += 1000.0;
      queueDataReply(s, *connection, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, periodic.requestId, periodic.objectId,
                     periodic.defineId, 0, 0);
    }
    auto frame = connection->subscriptions.find("FRAME");
    if (frame == connection->subscriptions.end()) continue;
    SimConnectRecvEventFrame record{};
    record.groupId = SIMCONNECT_UNUSED;
    record.eventId = frame->second;
    record.frameRate = static_cast<float>(s.framesPerSecond);
    record.simSpeed = 1.0f;
    queue(s, *connection, recordBytes(record, SIMCONNECT_RECV_ID_EVENT_FRAME));
  }
}

void ownClockTick(Sim& s) {
  const auto now = std::chrono::steady_clock::now();
  if (s.running && !s.outages.empty() && now >= s.outages.front().first) {
    const auto span = s.outages.front().second;
    s.outages.pop_front();
    quitLocked(s);
    s.startAt = now + span;
  }
  if (!s.running && s.startAt && now >= *s.startAt) {
    s.running = true;
    s.startAt.reset();
  }
  if (!s.ownClock || !s.running) return;
  const auto interval = std::chrono::duration<double>(1.0 / s.framesPerSecond);
  if (now - s.lastFrame < interval) return;
  // One frame per look: a client that dispatched late gets no burst of frames.
  s.lastFrame = now;
  runFrame(s);
}

std::uint32_t distanceFromUser(const Sim& s, double lat, double lon) {
  return static_cast<std::uint32_t>(std::min(4.0e9, distanceMetres(s.user.latitude, s.user.longitude, lat, lon)));
}

Connection* Sim::connectionById(std::uint32_t id) {
  for (auto& [session, connection] : connections)
    if (connection->id == id) return connection.get();
  return nullptr;
}

}  // namespace detail

using namespace detail;

void reset() {
  markConfigured();
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  for (auto& [session, connection] : s.connections) delete session;
  s.connections.clear();
  s.running = false;
  s.startAt.reset();
  s.outages.clear();
  s.applicationName = std::string(kMsfs2024Name);
  s.version = {12, 1, 282, 0};
  s.user = UserAircraft{};
  s.flightRunning = false;
  s.objects.clear();
  s.others.clear();
  s.nextObjectId = 1001;
  s.nextConnectionId = 1;
  s.creates.clear();
  s.removals.clear();
  s.createDelayFrames = 2;
  s.removeDelayFrames = 0;
  s.acceptAllTitles = true;
  s.titles.clear();
  s.ownClock = false;
  s.framesPerSecond = 50.0;
  s.frame = 0;
  s.simMs = 0.0;
  s.failures.clear();
  s.dispatchFailure.reset();
  s.rejectedVariables.clear();
  s.truncate.clear();
  lf_clearLog(s);
  s.openAttempts = 0;
  s.dispatches = 0;
  resetFacilities(s);
  closeTrace(s);
}

void setRunning(bool running) {
  ensureConfigured();
  if (!running) {
    quit();
    return;
  }
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.running = true;
  s.startAt.reset();
}

bool isRunning() {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  return s.running;
}

void quit() {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  quitLocked(s);
}

void detail::quitLocked(Sim& s) {
  for (auto& [session, connection] : s.connections)
    queue(s, *connection, recordBytes(SimConnectRecv{}, SIMCONNECT_RECV_ID_QUIT));
  s.running = false;
  s.startAt.reset();
  for (const auto& [id, object] : s.objects) traceObject(s, "remove", object);
  s.objects.clear();
  s.creates.clear();
  s.removals.clear();
}

void setApplicationName(std::string name) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.applicationName = std::move(name);
}

void setApplicationVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t buildMajor,
                           std::uint32_t buildMinor) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.version = {major, minor, buildMajor, buildMinor};
}

void setUserAircraft(const UserAircraft& aircraft) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.user = aircraft;
}

UserAircraft userAircraft() {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  return s.user;
}

void addOtherAircraft(const OtherAircraft& aircraft) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.others[aircraft.objectId] = aircraft;
}

void setFlightRunning(bool running) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.flightRunning = running;
  queueSystemEvent(s, "Sim", running ? 1 : 0);
}

void sendSystemEvent(const std::string& name, std::uint32_t data) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  queueSystemEvent(s, name, data);
}

void loadFlight(const std::string& file) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  for (auto& [session, connection] : s.connections) {
    auto it = connection->subscriptions.find("FLIGHTLOADED");
    if (it == connection->subscriptions.end()) continue;
    SimConnectRecvEventFilename record{};
    record.groupId = SIMCONNECT_UNUSED;
    record.eventId = it->second;
    std::memcpy(record.fileName, file.data(), std::min<std::size_t>(file.size(), sizeof record.fileName - 1));
    queue(s, *connection, recordBytes(record, SIMCONNECT_RECV_ID_EVENT_FILENAME));
  }
}

void useOwnFrameClock(double framesPerSecond) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.ownClock = true;
  s.framesPerSecond = framesPerSecond > 0.0 ? framesPerSecond : 30.0;
  s.lastFrame = std::chrono::steady_clock::now();
}

void usePumpedFrames(double framesPerSecond) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.ownClock = false;
  s.framesPerSecond = framesPerSecond > 0.0 ? framesPerSecond : 50.0;
}

void pumpFrames(std::uint32_t count) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  for (std::uint32_t i = 0; i < count; ++i) runFrame(s);
}

std::uint64_t frameCount() {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  return s.frame;
}

void setCreateDelayFrames(std::uint32_t frames) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.createDelayFrames = frames;
}

void setRemoveDelayFrames(std::uint32_t frames) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.removeDelayFrames = frames;
}

void setAcceptAllTitles(bool accept) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.acceptAllTitles = accept;
}

void addKnownTitle(const std::string& title) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.titles.insert(title);
}

void removeObjectBySim(std::uint32_t objectId) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  removeObject(s, objectId);
}

std::optional<ObjectState> object(std::uint32_t objectId) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  auto it = s.objects.find(objectId);
  if (it == s.objects.end()) return std::nullopt;
  return it->second;
}

std::vector<ObjectState> aiObjects() {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  std::vector<ObjectState> result;
  for (const auto& [id, o] : s.objects) result.push_back(o);
  return result;
}

void failCall(const std::string& call, std::uint32_t skip, HRESULT hr) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.failures[call].push_back(Injected{skip, hr});
}

void failNextDispatch(HRESULT hr) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.dispatchFailure = hr;
}

void rejectVariable(const std::string& datumName) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.rejectedVariables.insert(upper(datumName));
}

void truncateNext(SIMCONNECT_RECV_ID id, std::uint32_t bytesShort) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  s.truncate[id] = bytesShort;
}

void injectMessage(const std::vector<std::byte>& bytes) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  for (auto& [session, connection] : s.connections) connection->queue.push_back(makeMessage(bytes.data(), bytes.size()));
}

void sendException(SIMCONNECT_EXCEPTION exception, std::uint32_t sendId, std::uint32_t index) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  for (auto& [session, connection] : s.connections) queueException(s, *connection, exception, sendId, index);
}

namespace {
// The i-th call of the log, oldest first.
const Sim::LoggedCall& lf_logged(const Sim& s, std::size_t i) { return s.log[(s.logStart + i) % s.log.size()]; }

CallRecord lf_record(const Sim::LoggedCall& logged) {
  std::string detail = logged.numbersOnly
                           ? fmt::format("{}, {}, {}", logged.numbers[0], logged.numbers[1], logged.numbers[2])
                           : logged.detail;
  return CallRecord{logged.connection, std::string(logged.call), std::move(detail), logged.result};
}
}  // namespace

std::vector<CallRecord> callLog() {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  std::vector<CallRecord> result;
  result.reserve(s.log.size());
  for (std::size_t i = 0; i < s.log.size(); ++i) result.push_back(lf_record(lf_logged(s, i)));
  return result;
}

std::vector<CallRecord> callLog(const std::string& call) {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  std::vector<CallRecord> result;
  for (std::size_t i = 0; i < s.log.size(); ++i)
    if (lf_logged(s, i).call == call) result.push_back(lf_record(lf_logged(s, i)));
  return result;
}

void clearCallLog() {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  lf_clearLog(s);
}

std::uint32_t openConnectionCount() {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  return static_cast<std::uint32_t>(s.connections.size());
}

std::uint64_t openAttempts() {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  return s.openAttempts;
}

std::uint64_t dispatchCount() {
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  return s.dispatches;
}

bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (pred()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

bool waitForIdle(std::chrono::milliseconds timeout) {
  return waitUntil(
      [] {
        Sim& s = sim();
        std::lock_guard lock(s.mutex);
        for (const auto& [session, connection] : s.connections)
          if (!connection->queue.empty() || connection->inDispatch) return false;
        return true;
      },
      timeout);
}

void loadScenario(const std::filesystem::path& file) {
  using nlohmann::json;
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error(fmt::format("cannot open {}", file.string()));
  json doc;
  try {
    doc = json::parse(in);
  } catch (const json::exception& e) {
    throw std::runtime_error(fmt::format("{}: not valid JSON: {}", file.string(), e.what()));
  }
  if (!doc.is_object()) throw std::runtime_error(fmt::format("{}: the scenario must be a JSON object", file.string()));

  reset();
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  try {
    const std::string edition = doc.value("edition", std::string("MSFS 2024"));
    if (edition == "MSFS 2020") {
      s.applicationName = std::string(kMsfs2020Name);
    } else if (edition == "MSFS 2024") {
      s.applicationName = std::string(kMsfs2024Name);
    } else {
      throw std::runtime_error(fmt::format("edition '{}' is neither \"MSFS 2020\" nor \"MSFS 2024\"", edition));
    }
    s.applicationName = doc.value("applicationName", s.applicationName);
    if (doc.contains("applicationVersion")) {
      const auto v = doc.at("applicationVersion").get<std::vector<std::uint32_t>>();
      if (v.size() != 4) throw std::runtime_error("applicationVersion needs four numbers");
      s.version = {v[0], v[1], v[2], v[3]};
    }
    s.framesPerSecond = doc.value("framesPerSecond", 30.0);
    if (!(s.framesPerSecond > 0.0 && s.framesPerSecond <= 1000.0))
      throw std::runtime_error("framesPerSecond must lie in (0, 1000]");
    s.ownClock = true;
    s.lastFrame = std::chrono::steady_clock::now();
    s.flightRunning = doc.value("flightRunning", true);
    s.createDelayFrames = doc.value("createDelayFrames", 3u);
    s.removeDelayFrames = doc.value("removeDelayFrames", 1u);
    if (doc.contains("knownTitles")) {
      for (const auto& title : doc.at("knownTitles")) s.titles.insert(title.get<std::string>());
      s.acceptAllTitles = s.titles.empty();
    }
    const double startAfter = doc.value("startAfterSeconds", 0.0);
    if (startAfter > 0.0) {
      s.startAt = std::chrono::steady_clock::now() +
                  std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(startAfter));
    } else {
      s.running = true;
    }
    if (doc.contains("outages")) {
      using Span = std::chrono::steady_clock::duration;
      const auto loaded = std::chrono::steady_clock::now();
      double previousEnd = 0.0;
      for (const json& o : doc.at("outages")) {
        const double at = o.at("atSeconds").get<double>();
        const double span = o.at("forSeconds").get<double>();
        if (!(at >= previousEnd && span > 0.0))
          throw std::runtime_error("outages must be ordered, apart, with forSeconds above 0");
        previousEnd = at + span;
        s.outages.emplace_back(loaded + std::chrono::duration_cast<Span>(std::chrono::duration<double>(at)),
                               std::chrono::duration_cast<Span>(std::chrono::duration<double>(span)));
      }
    }
    if (doc.contains("userAircraft")) {
      const json& u = doc.at("userAircraft");
      UserAircraft& user = s.user;
      user.objectId = u.value("objectId", user.objectId);
      user.title = u.value("title", user.title);
      user.atcModel = u.value("atcModel", user.atcModel);
      user.atcId = u.value("atcId", user.atcId);
      user.onGround = u.value("onGround", user.onGround);
      user.latitude = u.value("latitude", user.latitude);
      user.longitude = u.value("longitude", user.longitude);
      user.altitude = u.value("altitude", user.altitude);
      user.indicatedAltitude = u.value("indicatedAltitude", user.altitude);
      user.groundAltitude = u.value("groundAltitude", user.groundAltitude);
      user.altitudeAboveGround = u.value("altitudeAboveGround", user.altitude - user.groundAltitude);
      user.heading = u.value("headingDegrees", 0.0) * kPi / 180.0;
      user.gpsTrack = u.value("headingDegrees", 0.0);
      user.groundVelocity = u.value("groundVelocity", user.groundVelocity);
      user.zuluYear = u.value("zuluYear", user.zuluYear);
      user.zuluDayOfYear = u.value("zuluDayOfYear", user.zuluDayOfYear);
      user.zuluTime = u.value("zuluTime", user.zuluTime);
    }
    if (doc.contains("otherAircraft")) {
      for (const json& o : doc.at("otherAircraft")) {
        OtherAircraft other;
        other.objectId = o.at("objectId").get<std::uint32_t>();
        other.atcId = o.value("atcId", std::string());
        other.latitude = o.at("latitude").get<double>();
        other.longitude = o.at("longitude").get<double>();
        other.altitudeAboveGround = o.value("altitudeAboveGround", 0.0);
        other.groundAltitude = o.value("groundAltitude", 0.0);
        other.onGround = o.value("onGround", other.altitudeAboveGround <= 0.0);
        s.others[other.objectId] = other;
      }
    }
    // The facility fixtures: a named folder must exist; the default one is optional.
    if (doc.contains("facilitiesFolder")) {
      const std::filesystem::path folder = file.parent_path() / doc.at("facilitiesFolder").get<std::string>();
      if (!std::filesystem::is_directory(folder))
        throw std::runtime_error(fmt::format("facilitiesFolder {} is not a folder", folder.string()));
      s.facilityFolder = folder;
    } else if (std::error_code error; std::filesystem::is_directory(file.parent_path() / "facilities", error)) {
      s.facilityFolder = file.parent_path() / "facilities";
    }
  } catch (const json::exception& e) {
    throw std::runtime_error(fmt::format("{}: {}", file.string(), e.what()));
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(fmt::format("{}: {}", file.string(), e.what()));
  }
}

}  // namespace standin::sim
