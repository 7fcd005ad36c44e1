// Every reply of the main connection, on the SimClient thread. A record is read only after its
// size has been checked against the layout of its kind; a short one is logged and dropped.
#include <fmt/format.h>

#include <cctype>
#include <cstring>
#include <string>

#include "config/sim_choice.h"
#include "appbase/stop_request.h"
#include "core/log.h"
#include "core/user_exception.h"
#include "core/user_message.h"
#include "simlink/delayed_commands.h"
#include "simlink/sim_client_detail.h"
#include "simlink/sim_ids.h"
#include "simlink/user_aircraft.h"

namespace {

constexpr std::uint32_t kDataHead = sizeof(SimConnectRecvSimObjectData);  // 40: data begins here

// A copy of the record's fixed part; only after its size was checked.
template <typename Record>
Record lf_record(const SimConnectRecv* data) {
  Record record;
  std::memcpy(&record, data, sizeof(Record));
  return record;
}

const std::byte* lf_bytes(const SimConnectRecv* data) { return reinterpret_cast<const std::byte*>(data); }

template <typename Value>
Value lf_valueAt(const SimConnectRecv* data, std::size_t offset) {
  Value value;
  std::memcpy(&value, lf_bytes(data) + offset, sizeof(Value));
  return value;
}

void lf_handleOpen(const SimConnectRecv* data, std::uint32_t size) {
  if (!lf_checkPayloadSize(size, sizeof(SimConnectRecvOpen), "OPEN")) return;
  const auto open = lf_record<SimConnectRecvOpen>(data);
  const std::string raw(open.applicationName, strnlen(open.applicationName, sizeof open.applicationName));
  if (raw.empty()) {
    gf_log("! Simulator name empty?");
    return;
  }
  std::string name;
  for (char c : raw)
    if (std::isalnum(static_cast<unsigned char>(c)) || std::isspace(static_cast<unsigned char>(c))) name += c;

  std::string display;
  if (name == "KittyHawk") {
    if (!gf_isMsfs2020()) throw jrv::UserRelatedException(2024, name);
    display = "MSFS 2020";
  } else if (name == "SunRise") {
    if (gf_isMsfs2020()) throw jrv::UserRelatedException(2024, name);
    display = "MSFS 2024";
  } else {
    throw jrv::UserRelatedException(77, fmt::format("'{}' not being MSFS 2020 or MSFS 2024 connects ... ?", name));
  }
  const std::string text = fmt::format("{} ({}.{}.{}.{})", display, open.applicationVersionMajor,
                                       open.applicationVersionMinor, open.applicationBuildMajor,
                                       open.applicationBuildMinor);
  gf_log(fmt::format("{} connected", text));
  lf_setSimulatorText(text);
  lf_clearStatusLine();
  g_simState = 1;
}

void lf_handleCreateObjectFailed(std::uint32_t packetId) {
  auto packet = g_createPacketIds.find(packetId);
  if (packet == g_createPacketIds.end()) {
    gf_log(fmt::format("CREATE_OBJECT_FAILED packetId:{} (no pending request)", packetId));
    return;
  }
  const std::uint32_t requestId = packet->second;
  g_createPacketIds.erase(packet);
  auto pending = g_pendingCreates.find(requestId);
  if (pending == g_pendingCreates.end()) {
    gf_log(fmt::format("CREATE_OBJECT_FAILED requestId:{} (no pending create)", requestId));
    return;
  }
  const PendingCreate create = std::move(pending->second);
  g_pendingCreates.erase(pending);
  gf_log(fmt::format("CREATE_OBJECT_FAILED packetId:{} requestId:{} hexid:{:x} tailnumber:{}", packetId, requestId,
                     create.hexid, create.tailNumber));
  DelayedSimCommand command;
  command.hexid = create.hexid;
  command.kind = 6;
  command.value1 = static_cast<double>(requestId);
  gf_queueDelayedSimCommand(command);
}

void lf_handleException(const SimConnectRecv* data, std::uint32_t size) {
  if (!lf_checkPayloadSize(size, sizeof(SimConnectRecvException), "EXCEPTION")) return;
  const auto exception = lf_record<SimConnectRecvException>(data);
  switch (exception.exception) {
    case SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID:
      break;
    case SIMCONNECT_EXCEPTION_VERSION_MISMATCH:
      throw jrv::UserRelatedException(95, fmt::format("SimConnect Version Mismatch, dwIndex: {}", exception.index));
    case SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS:
      gf_showUserMessage("SimConnect: too many objects (max 1000)", true);
      break;
    case SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE:
      gf_log("SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE");
      break;
    case SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED:
      lf_handleCreateObjectFailed(exception.sendId);
      break;
    case SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED:
      gf_logWarning("SimConnect exception: load flight plan failed");
      break;
    case SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE:
      gf_log("SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE");
      break;
    default:
      gf_logWarning(fmt::format("SIMCONNECT_EXCEPTION #{}", exception.exception));
      break;
  }
}

void lf_handleEvent(const SimConnectRecv* data, std::uint32_t size) {
  if (!lf_checkPayloadSize(size, sizeof(SimConnectRecvEvent), "EVENT")) return;
  const auto event = lf_record<SimConnectRecvEvent>(data);
  if (event.eventId == EVENT_SIM) {
    if (g_simState == 3) return;
    g_simState = event.data == 1 ? 2 : 1;
    lf_setSimulationRunning(event.data == 1);
  } else if (event.eventId == EVENT_FLIGHT_LOADED) {
    gf_log("SimConnect: flight loaded event");
    lf_updateUserStand();
    gf_requestRestartNewFlight();
  }
}

void lf_handleAddRemove(const SimConnectRecv* data, std::uint32_t size) {
  if (!lf_checkPayloadSize(size, sizeof(SimConnectRecvEventObjectAddRemove), "EVENT_OBJECT_ADDREMOVE")) return;
  const auto event = lf_record<SimConnectRecvEventObjectAddRemove>(data);
  if (event.objectType != SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT || event.eventId != EVENT_OBJECT_REMOVED) return;
  const std::uint32_t objectId = event.data;
  g_ownedObjects.erase(objectId);
  g_staticObjects.erase(objectId);
  g_objectTailNumbers.erase(objectId);
  if (g_removeRequested.erase(objectId) > 0) ++g_shutdownRemoveConfirmed;
  // The object is gone: its track must not outlive it.
  g_aiPositionTracks.erase(objectId);
  DelayedSimCommand command;
  command.objectId = objectId;
  command.kind = 2;
  gf_queueDelayedSimCommand(command);
}

void lf_handleAssignedObjectId(std::uint32_t requestId, std::uint32_t objectId) {
  auto pending = g_pendingCreates.find(requestId);
  if (pending == g_pendingCreates.end()) {
    gf_log(fmt::format("ASSIGNED_OBJECT_ID: requestId:{} oid:{} (no pending)", requestId, gf_objectIdText(objectId)));
    return;
  }
  const PendingCreate create = std::move(pending->second);
  g_pendingCreates.erase(pending);
  g_createPacketIds.erase(create.packetId);

  g_ownedObjects.insert(objectId);
  if (!create.live) g_staticObjects.insert(objectId);
  g_objectTailNumbers[objectId] = create.tailNumber;

  if (g_simShutdownInProgress) {
    g_removeRequested.insert(objectId);
    if (SimConnect_AIRemoveObject(g_simConnectHandle, objectId, AI_REMOVE_OBJECT) < 0) {
      g_removeRequested.erase(objectId);
      gf_logWarning(fmt::format("SimConnect shutdown remove failed for newly assigned object {}", objectId));
    } else {
      ++g_shutdownRemoveRequested;
    }
    return;
  }

  // From now on the program alone moves the object.
  SimConnect_AIReleaseControl(g_simConnectHandle, objectId, AI_RELEASE_CONTROL);
  for (std::uint32_t freeze : {FREEZE_LATITUDE_LONGITUDE_SET, FREEZE_ALTITUDE_SET, FREEZE_ATTITUDE_SET})
    SimConnect_TransmitClientEvent(g_simConnectHandle, objectId, freeze, 1, TRAFFIC_APP, 0);
  DelayedSimCommand command;
  command.objectId = objectId;
  command.hexid = create.hexid;
  command.kind = create.live ? 0 : 1;
  gf_queueDelayedSimCommand(command);
}

void lf_handleData(const SimConnectRecv* data, std::uint32_t size) {
  if (!lf_checkPayloadSize(size, kDataHead, "SIMOBJECT_DATA")) return;
  const auto head = lf_record<SimConnectRecvSimObjectData>(data);
  const std::byte* payload = lf_bytes(data) + kDataHead;
  const std::size_t payloadSize = size - kDataHead;

  // lf_main waits for both of these bits before the traffic starts, so they are set however
  // short the reply was.
  if (head.requestId == USER_AC_TITLE) {
    if (size > kDataHead) lf_handleUserTitle(payload, payloadSize);
    g_userInfoReceived |= kUserTitleReceived;
    return;
  }
  if (head.requestId == USER_AC_MODEL) {
    if (size > kDataHead && lf_checkPayloadSize(size, kDataHead + 32, "USER_AC_MODEL"))
      lf_handleUserModel(payload, payloadSize);
    g_userInfoReceived |= kUserModelReceived;
    return;
  }
  if (size == kDataHead) return;  // no data

  switch (head.requestId) {
    case AI_STATIC_CG_AND_PITCH: {
      if (!lf_checkPayloadSize(size, kDataHead + 16, "AI_STATIC_CG_AND_PITCH")) return;
      DelayedSimCommand command;
      command.objectId = head.objectId;
      command.kind = 4;
      command.value1 = lf_valueAt<double>(data, kDataHead);
      command.value2 = lf_valueAt<double>(data, kDataHead + 8);
      gf_queueDelayedSimCommand(command);
      break;
    }
    case AI_INITIAL_POSE: {
      if (!lf_checkPayloadSize(size, kDataHead + sizeof(AiPose), "AI_INITIAL_POSE")) return;
      DelayedSimCommand command;
      command.objectId = head.objectId;
      command.kind = 5;
      command.pose = lf_valueAt<AiPose>(data, kDataHead);
      gf_queueDelayedSimCommand(command);
      break;
    }
    case USER_AC_ON_GROUND:
      if (lf_checkPayloadSize(size, kDataHead + 8, "USER_AC_ON_GROUND")) lf_handleUserOnGround(payload, payloadSize);
      break;
    case USER_AC_POSITION:
      if (lf_checkPayloadSize(size, kDataHead + sizeof(UserAcPosition), "USER_AC_POSITION"))
        lf_handleUserPosition(head.objectId, payload, payloadSize);
      break;
    default:
      break;
  }
}

// One aircraft of the "within range" request: DEFINITION_AI_GET_POSITION.
void lf_handleDataByType(const SimConnectRecv* data, std::uint32_t size) {
  if (!lf_checkPayloadSize(size, kDataHead, "SIMOBJECT_DATA_BYTYPE")) return;
  const auto head = lf_record<SimConnectRecvSimObjectData>(data);
  if (head.requestId != AI_POSITION) return;
  if (!lf_checkPayloadSize(size, kDataHead + 56, "AI_POSITION")) return;
  const auto altitudeAboveGround = lf_valueAt<double>(data, kDataHead);
  const auto groundAltitude = lf_valueAt<double>(data, kDataHead + 8);
  const auto onGround = lf_valueAt<std::int64_t>(data, kDataHead + 16);
  const auto atcIdFirst = lf_valueAt<char>(data, kDataHead + 24);
  if (head.objectId == g_userObjectId || atcIdFirst == '\0' || g_staticObjects.contains(head.objectId) ||
      altitudeAboveGround > 2500.0)
    return;
  DelayedSimCommand command;
  command.objectId = head.objectId;
  command.hexid = static_cast<std::uint32_t>(onGround);
  command.kind = 3;
  command.value1 = groundAltitude;
  command.value2 = altitudeAboveGround;
  gf_queueDelayedSimCommand(command);
}

}  // namespace

bool lf_checkPayloadSize(std::uint32_t received, std::uint32_t required, std::string_view name) {
  if (received >= required) return true;
  gf_logWarning(fmt::format("SimConnect {} payload too small: {} < {} bytes", name, received, required));
  return false;
}

void lf_dispatchProc(const SimConnectRecv* data, std::uint32_t size, void* contextPointer) {
  if (!data || !contextPointer) return;
  auto& context = *static_cast<DispatchContext*>(contextPointer);
  // Once this connection is to end (the simulator quit, or it is not the selected edition),
  // the rest of the batch is not acted on: no frame may create objects in the wrong simulator.
  if (context.quit) return;
  if (!lf_checkPayloadSize(size, sizeof(SimConnectRecv), "RECV")) return;
  const auto head = lf_record<SimConnectRecv>(data);
  switch (head.id) {
    case SIMCONNECT_RECV_ID_EXCEPTION:
      lf_handleException(data, size);
      break;
    case SIMCONNECT_RECV_ID_OPEN:
      try {
        lf_handleOpen(data, size);
      } catch (const jrv::UserRelatedException& e) {
        // The other edition runs: end this dispatch loop and let the window switch the choice.
        if (std::string_view(e.what()).starts_with("2024")) {
          context.quit = true;
          context.mismatch = true;
        } else {
          throw;
        }
      }
      break;
    case SIMCONNECT_RECV_ID_QUIT:
      if (g_simState != 3) {
        g_simState = 0;
        lf_setSimulationRunning(false);
      }
      context.quit = true;
      break;
    case SIMCONNECT_RECV_ID_EVENT:
      lf_handleEvent(data, size);
      break;
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE:
      lf_handleAddRemove(data, size);
      break;
    case SIMCONNECT_RECV_ID_EVENT_FILENAME:
      gf_logWarning("SimConnect: New file event");
      lf_updateUserStand();
      gf_requestRestartNewFlight();
      break;
    case SIMCONNECT_RECV_ID_EVENT_FRAME:
      if (g_simConnectHandle && !g_simShutdownInProgress) {
        lf_sendPositionBatch();
        lf_executeQueuedCommands();
      }
      break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
      lf_handleData(data, size);
      break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE:
      lf_handleDataByType(data, size);
      break;
    case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID:
      if (lf_checkPayloadSize(size, sizeof(SimConnectRecvAssignedObjectId), "ASSIGNED_OBJECT_ID")) {
        const auto assigned = lf_record<SimConnectRecvAssignedObjectId>(data);
        lf_handleAssignedObjectId(assigned.requestId, assigned.objectId);
      }
      break;
    case 16:
    case 27:
      break;
    default:
      gf_log(fmt::format("! Unknown Dispatch dwID {}", head.id));
      break;
  }
}
