// The SimConnect calls of platform/simconnect.h, served by the stand-in simulator.
#include <fmt/format.h>

#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/simconnect.h"
#include "standin/sim/sim_internal.h"

using namespace standin::sim;
using namespace standin::sim::detail;

namespace {

Connection* lf_connection(Sim& s, SimConnectHandle handle) {
  auto it = s.connections.find(handle);
  return it == s.connections.end() ? nullptr : it->second.get();
}

std::string_view lf_typeName(SIMCONNECT_DATATYPE type) {
  switch (type) {
    case SIMCONNECT_DATATYPE_FLOAT64:
      return "FLOAT64";
    case SIMCONNECT_DATATYPE_INT64:
      return "INT64";
    case SIMCONNECT_DATATYPE_STRING32:
      return "STRING32";
    case SIMCONNECT_DATATYPE_STRINGV:
      return "STRINGV";
  }
  return "?";
}

std::string_view lf_periodName(SIMCONNECT_PERIOD period) {
  switch (period) {
    case SIMCONNECT_PERIOD_NEVER:
      return "NEVER";
    case SIMCONNECT_PERIOD_ONCE:
      return "ONCE";
    case SIMCONNECT_PERIOD_SECOND:
      return "SECOND";
  }
  return "?";
}

std::string lf_text(const char* text) { return text ? std::string(text) : std::string(); }

// The common path of every call that sends a packet: a known connection, a packet id, an
// injected failure, then the call's own work, all under the simulator's lock; logged.
template <typename Detail, typename Body>
HRESULT lf_call(SimConnectHandle handle, std::string_view name, Detail detail, Body body) {
  ensureConfigured();
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  Connection* connection = lf_connection(s, handle);
  if (!connection) {
    logCall(s, 0, name, std::move(detail), E_HANDLE);
    return E_HANDLE;
  }
  ++connection->lastPacketId;
  HRESULT hr = S_OK;
  if (auto injected = injectedFailure(s, name)) {
    hr = *injected;
  } else {
    hr = body(s, *connection);
  }
  logCall(s, connection->id, name, std::move(detail), hr);
  return hr;
}

ObjectState* lf_aiObject(Sim& s, std::uint32_t objectId) {
  auto it = s.objects.find(objectId);
  return it == s.objects.end() ? nullptr : &it->second;
}

}  // namespace

HRESULT SimConnect_Open(SimConnectHandle* handle, const char* name, void*, std::uint32_t, void*, std::uint32_t) {
  ensureConfigured();
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  ownClockTick(s);
  ++s.openAttempts;
  HRESULT hr = S_OK;
  if (auto injected = injectedFailure(s, "Open")) {
    hr = *injected;
  } else if (!handle) {
    hr = E_INVALIDARG;
  } else if (!s.running) {
    hr = E_FAIL;
  }
  if (hr < 0) {
    if (handle) *handle = nullptr;
    logCall(s, 0, "Open", lf_text(name), hr);
    return hr;
  }
  auto* session = new SimConnectSession{s.nextConnectionId++};
  auto connection = std::make_unique<Connection>();
  connection->id = session->id;
  connection->name = lf_text(name);

  SimConnectRecvOpen open{};
  std::memcpy(open.applicationName, s.applicationName.data(),
              std::min<std::size_t>(s.applicationName.size(), sizeof open.applicationName - 1));
  open.applicationVersionMajor = s.version[0];
  open.applicationVersionMinor = s.version[1];
  open.applicationBuildMajor = s.version[2];
  open.applicationBuildMinor = s.version[3];
  open.simConnectVersionMajor = s.version[0];
  open.simConnectVersionMinor = s.version[1];
  open.simConnectBuildMajor = s.version[2];
  open.simConnectBuildMinor = s.version[3];
  queue(s, *connection, recordBytes(open, SIMCONNECT_RECV_ID_OPEN));

  logCall(s, session->id, "Open", lf_text(name), S_OK);
  s.connections.emplace(session, std::move(connection));
  *handle = session;
  return S_OK;
}

HRESULT SimConnect_Close(SimConnectHandle handle) {
  ensureConfigured();
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  auto it = s.connections.find(handle);
  if (it == s.connections.end()) {
    logCall(s, 0, "Close", "", E_HANDLE);
    return E_HANDLE;
  }
  const std::uint32_t id = it->second->id;
  HRESULT hr = S_OK;
  if (auto injected = injectedFailure(s, "Close")) hr = *injected;
  // The connection ends whatever the result: a failed close leaves nothing usable behind.
  s.connections.erase(it);
  delete handle;
  logCall(s, id, "Close", "", hr);
  return hr;
}

HRESULT SimConnect_CallDispatch(SimConnectHandle handle, SimConnectDispatchProc dispatch, void* context) {
  ensureConfigured();
  Sim& s = sim();
  std::deque<Message> batch;
  {
    std::lock_guard lock(s.mutex);
    Connection* connection = lf_connection(s, handle);
    if (!connection) return E_HANDLE;
    if (auto injected = injectedFailure(s, "CallDispatch")) return *injected;
    if (s.dispatchFailure) {
      const HRESULT hr = *s.dispatchFailure;
      s.dispatchFailure.reset();
      logCall(s, connection->id, "CallDispatch", "", hr);
      return hr;
    }
    ownClockTick(s);
    batch.swap(connection->queue);
    connection->inDispatch = true;
  }
  auto finish = [&](bool putBack) {
    std::lock_guard lock(s.mutex);
    Connection* connection = lf_connection(s, handle);
    if (!connection) return;
    if (putBack) {
      while (!batch.empty()) {
        connection->queue.push_front(std::move(batch.back()));
        batch.pop_back();
      }
    }
    connection->inDispatch = false;
    ++s.dispatches;
  };
  try {
    while (!batch.empty()) {
      Message message = std::move(batch.front());
      batch.pop_front();
      if (message.size >= sizeof(SimConnectRecv)) {
        SimConnectRecv head;
        std::memcpy(&head, message.bytes.get(), sizeof head);
        if (head.id == SIMCONNECT_RECV_ID_EVENT_FRAME) {
          std::lock_guard lock(s.mutex);
          if (Connection* connection = lf_connection(s, handle)) ++connection->framesDelivered;
        }
      }
      if (dispatch)
        dispatch(reinterpret_cast<const SimConnectRecv*>(message.bytes.get()), message.size, context);
    }
  } catch (...) {
    finish(true);
    throw;
  }
  finish(false);
  return S_OK;
}

HRESULT SimConnect_SubscribeToSystemEvent(SimConnectHandle handle, std::uint32_t eventId, const char* systemEventName) {
  const std::string name = lf_text(systemEventName);
  return lf_call(handle, "SubscribeToSystemEvent", fmt::format("{}, {}", eventId, name),
                 [&](Sim& s, Connection& c) {
                   const std::string key = upper(name);
                   c.subscriptions[key] = eventId;
                   // A new subscriber learns at once whether a flight runs.
                   if (key == "SIM") queueEvent(s, c, eventId, s.flightRunning ? 1 : 0);
                   return S_OK;
                 });
}

HRESULT SimConnect_AddToDataDefinition(SimConnectHandle handle, std::uint32_t defineId, const char* datumName,
                                       const char* unitsName, SIMCONNECT_DATATYPE datumType, float, std::uint32_t) {
  const std::string datum = lf_text(datumName);
  const std::string unit = lf_text(unitsName);
  return lf_call(handle, "AddToDataDefinition",
                 fmt::format("{}, {}, {}, {}", defineId, datum, unitsName ? unit : "-", lf_typeName(datumType)),
                 [&](Sim& s, Connection& c) {
                   const std::string key = upper(datum);
                   if (s.rejectedVariables.contains(key)) return E_FAIL;
                   if (!isKnownVariable(key)) {
                     queueException(s, c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, c.lastPacketId, 2);
                     return S_OK;
                   }
                   c.definitions[defineId].push_back(makeField(datum, key, unit, datumType));
                   return S_OK;
                 });
}

HRESULT SimConnect_MapClientEventToSimEvent(SimConnectHandle handle, std::uint32_t eventId, const char* eventName) {
  const std::string name = lf_text(eventName);
  return lf_call(handle, "MapClientEventToSimEvent", fmt::format("{}, {}", eventId, name),
                 [&](Sim&, Connection& c) {
                   c.mappedEvents[eventId] = upper(name);
                   return S_OK;
                 });
}

HRESULT SimConnect_AddClientEventToNotificationGroup(SimConnectHandle handle, std::uint32_t groupId,
                                                     std::uint32_t eventId, bool maskable) {
  return lf_call(handle, "AddClientEventToNotificationGroup",
                 fmt::format("{}, {}, {}", groupId, eventId, maskable ? 1 : 0), [&](Sim&, Connection& c) {
                   c.groups[groupId].push_back(eventId);
                   return S_OK;
                 });
}

HRESULT SimConnect_SetNotificationGroupPriority(SimConnectHandle handle, std::uint32_t groupId,
                                                std::uint32_t priority) {
  return lf_call(handle, "SetNotificationGroupPriority", fmt::format("{}, {}", groupId, priority),
                 [&](Sim&, Connection& c) {
                   c.groupPriorities[groupId] = priority;
                   return S_OK;
                 });
}

HRESULT SimConnect_RequestDataOnSimObject(SimConnectHandle handle, std::uint32_t requestId, std::uint32_t defineId,
                                          std::uint32_t objectId, SIMCONNECT_PERIOD period, std::uint32_t,
                                          std::uint32_t, std::uint32_t, std::uint32_t) {
  return lf_call(
      handle, "RequestDataOnSimObject",
      fmt::format("{}, {}, {}, {}", requestId, defineId, objectId, lf_periodName(period)),
      [&](Sim& s, Connection& c) {
        const std::uint32_t target = objectId == SIMCONNECT_OBJECT_ID_USER ? s.user.objectId : objectId;
        const bool known = target == s.user.objectId || s.objects.contains(target) || s.others.contains(target);
        if (!c.definitions.contains(defineId) || !known) {
          queueException(s, c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c.lastPacketId, known ? 2 : 3);
          return S_OK;
        }
        std::erase_if(c.periodic, [&](const Periodic& p) { return p.requestId == requestId; });
        if (period == SIMCONNECT_PERIOD_NEVER) return S_OK;
        if (period == SIMCONNECT_PERIOD_SECOND) c.periodic.push_back(Periodic{requestId, defineId, target, s.simMs + 1000.0});
        queueDataReply(s, c, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, requestId, target, defineId, 0, 0);
        return S_OK;
      });
}

HRESULT SimConnect_RequestDataOnSimObjectType(SimConnectHandle handle, std::uint32_t requestId,
                                              std::uint32_t defineId, std::uint32_t radiusMeters,
                                              SIMCONNECT_SIMOBJECT_TYPE type) {
  return lf_call(handle, "RequestDataOnSimObjectType",
                 fmt::format("{}, {}, {}, {}", requestId, defineId, radiusMeters, static_cast<std::uint32_t>(type)),
                 [&](Sim& s, Connection& c) {
                   if (!c.definitions.contains(defineId)) {
                     queueException(s, c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c.lastPacketId, 2);
                     return S_OK;
                   }
                   std::vector<std::uint32_t> ids{s.user.objectId};
                   if (type != SIMCONNECT_SIMOBJECT_TYPE_USER) {
                     for (const auto& [id, o] : s.objects)
                       if (distanceFromUser(s, o.latitude, o.longitude) <= radiusMeters) ids.push_back(id);
                     for (const auto& [id, o] : s.others)
                       if (distanceFromUser(s, o.latitude, o.longitude) <= radiusMeters) ids.push_back(id);
                   }
                   const auto count = static_cast<std::uint32_t>(ids.size());
                   for (std::uint32_t i = 0; i < count; ++i)
                     queueDataReply(s, c, SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, requestId, ids[i], defineId, i + 1,
                                    count);
                   return S_OK;
                 });
}

HRESULT SimConnect_SetDataOnSimObject(SimConnectHandle handle, std::uint32_t defineId, std::uint32_t objectId,
                                      std::uint32_t, std::uint32_t arrayCount, std::uint32_t unitSize,
                                      const void* data) {
  return lf_call(handle, "SetDataOnSimObject", std::array<std::uint32_t, 3>{defineId, objectId, unitSize},
                 [&](Sim& s, Connection& c) {
                   ObjectState* object = lf_aiObject(s, objectId);
                   if (!object || !c.definitions.contains(defineId)) {
                     queueException(s, c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c.lastPacketId, object ? 1 : 2);
                     return S_OK;
                   }
                   bool moved = false;
                   if (arrayCount > 1 || !applyData(c, defineId, *object, unitSize, data, moved)) {
                     queueException(s, c, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, c.lastPacketId, 5);
                     return S_OK;
                   }
                   settleOnGround(s, *object, false);
                   if (moved) {
                     ++object->poseUpdates;
                     if (object->lastPoseConnection == c.id && object->lastPoseFrame == c.framesDelivered &&
                         object->poseUpdates > 1)
                       ++object->extraPosesInAFrame;
                     object->lastPoseConnection = c.id;
                     object->lastPoseFrame = c.framesDelivered;
                   }
                   return S_OK;
                 });
}

HRESULT SimConnect_TransmitClientEvent(SimConnectHandle handle, std::uint32_t objectId, std::uint32_t eventId,
                                       std::uint32_t data, std::uint32_t groupId, std::uint32_t flags) {
  return lf_call(handle, "TransmitClientEvent", fmt::format("{}, {}, {}, {}, {}", objectId, eventId, data, groupId, flags),
                 [&](Sim& s, Connection& c) {
                   auto mapped = c.mappedEvents.find(eventId);
                   ObjectState* object = lf_aiObject(s, objectId);
                   if (mapped == c.mappedEvents.end() || (!object && objectId != s.user.objectId &&
                                                          objectId != SIMCONNECT_OBJECT_ID_USER)) {
                     queueException(s, c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c.lastPacketId, object ? 2 : 1);
                     return S_OK;
                   }
                   if (!object) return S_OK;
                   const std::string& name = mapped->second;
                   object->events[name] = data;
                   if (name == "FREEZE_LATITUDE_LONGITUDE_SET") object->frozenLatLon = data != 0;
                   if (name == "FREEZE_ALTITUDE_SET") object->frozenAltitude = data != 0;
                   if (name == "FREEZE_ATTITUDE_SET") object->frozenAttitude = data != 0;
                   return S_OK;
                 });
}

HRESULT SimConnect_AICreateNonATCAircraft(SimConnectHandle handle, const char* containerTitle, const char* tailNumber,
                                          const SimConnectInitPosition& initPosition, std::uint32_t requestId) {
  const std::string title = lf_text(containerTitle);
  const std::string tail = lf_text(tailNumber);
  return lf_call(handle, "AICreateNonATCAircraft", fmt::format("{}, {}, {}", title, tail, requestId),
                 [&](Sim& s, Connection& c) {
                   PendingCreate create{c.id, requestId, c.lastPacketId, title, tail, initPosition, s.createDelayFrames};
                   if (create.framesLeft == 0) {
                     answerCreate(s, create);
                   } else {
                     s.creates.push_back(std::move(create));
                   }
                   return S_OK;
                 });
}

HRESULT SimConnect_AIRemoveObject(SimConnectHandle handle, std::uint32_t objectId, std::uint32_t requestId) {
  return lf_call(handle, "AIRemoveObject", fmt::format("{}, {}", objectId, requestId), [&](Sim& s, Connection& c) {
    ObjectState* object = lf_aiObject(s, objectId);
    if (!object) {
      queueException(s, c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c.lastPacketId, 1);
      return S_OK;
    }
    if (object->removalRequested) return S_OK;
    object->removalRequested = true;
    if (s.removeDelayFrames == 0) {
      removeObject(s, objectId);
    } else {
      s.removals.push_back(PendingRemoval{objectId, s.removeDelayFrames});
    }
    return S_OK;
  });
}

HRESULT SimConnect_AIReleaseControl(SimConnectHandle handle, std::uint32_t objectId, std::uint32_t requestId) {
  return lf_call(handle, "AIReleaseControl", fmt::format("{}, {}", objectId, requestId), [&](Sim& s, Connection& c) {
    ObjectState* object = lf_aiObject(s, objectId);
    if (!object) {
      queueException(s, c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c.lastPacketId, 1);
      return S_OK;
    }
    object->released = true;
    return S_OK;
  });
}

HRESULT SimConnect_AISetAircraftFlightPlan(SimConnectHandle handle, std::uint32_t objectId, const char* flightPlanPath,
                                           std::uint32_t requestId) {
  const std::string path = lf_text(flightPlanPath);
  return lf_call(handle, "AISetAircraftFlightPlan", fmt::format("{}, {}, {}", objectId, path, requestId),
                 [&](Sim& s, Connection& c) {
                   ObjectState* object = lf_aiObject(s, objectId);
                   if (!object) {
                     queueException(s, c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c.lastPacketId, 1);
                     return S_OK;
                   }
                   // The path comes without its extension; a plan that cannot be read is refused
                   // by an exception.
                   std::ifstream file(path + ".pln", std::ios::binary);
                   if (!file) {
                     queueException(s, c, SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED, c.lastPacketId, 2);
                     return S_OK;
                   }
                   object->flightPlan = path;
                   object->flightPlanText.assign(std::istreambuf_iterator<char>(file), {});
                   return S_OK;
                 });
}

HRESULT SimConnect_AddToFacilityDefinition(SimConnectHandle handle, std::uint32_t defineId, const char* fieldName) {
  const std::string field = lf_text(fieldName);
  return lf_call(handle, "AddToFacilityDefinition", fmt::format("{}, {}", defineId, field),
                 [&](Sim& s, Connection& c) { return addFacilityEntry(s, c, defineId, field); });
}

HRESULT SimConnect_RequestFacilityData(SimConnectHandle handle, std::uint32_t defineId, std::uint32_t requestId,
                                       const char* icao, const char* region) {
  const std::string code = lf_text(icao);
  return lf_call(handle, "RequestFacilityData",
                 fmt::format("{}, {}, {}, {}", defineId, requestId, code, lf_text(region)),
                 [&](Sim& s, Connection& c) { return answerFacilityRequest(s, c, defineId, requestId, code); });
}

HRESULT SimConnect_GetLastSentPacketID(SimConnectHandle handle, std::uint32_t* packetId) {
  ensureConfigured();
  Sim& s = sim();
  std::lock_guard lock(s.mutex);
  Connection* connection = lf_connection(s, handle);
  if (!connection || !packetId) return E_HANDLE;
  if (auto injected = injectedFailure(s, "GetLastSentPacketID")) {
    logCall(s, connection->id, "GetLastSentPacketID", "", *injected);
    return *injected;
  }
  *packetId = connection->lastPacketId;
  return S_OK;
}

std::u16string gf_systemMessageText(HRESULT hr) {
  // The few system texts a SimConnect failure can carry, with the line break the system adds.
  switch (static_cast<std::uint32_t>(hr)) {
    case 0x80004005u:
      return u"Unspecified error\r\n";
    case 0x80070057u:
      return u"The parameter is incorrect.\r\n";
    case 0x80070006u:
      return u"The handle is invalid.\r\n";
    case 0x800706BAu:
      return u"The RPC server is unavailable.\t\r\n";
    default:
      return {};
  }
}
