#include "simlink/sim_commands.h"

#include <fmt/format.h>

#include <utility>

#include "config/sim_choice.h"
#include "core/log.h"
#include "core/text.h"
#include "simlink/ai_positions.h"
#include "simlink/sim_client.h"
#include "simlink/sim_client_detail.h"
#include "simlink/sim_ids.h"
#include "simlink/user_aircraft.h"

std::mutex g_simQueueMutex;
std::vector<SimClientEvent> g_simClientEvents;
std::vector<AiCreateRequest> g_simCreateRequests;
std::vector<std::uint32_t> g_simRemoveRequests;
std::vector<std::uint32_t> g_simPromotedObjects;
std::vector<SimCommand> g_simCommands;
std::vector<ReverseThrustCommand> g_simReverseThrustRequests;
std::vector<FlightPlanCommand> g_simFlightPlanRequests;

namespace {

// The SimClient thread's side of the queues: swapped with the globals once per frame, so
// that both sides keep their storage.
struct TakenCommands {
  std::vector<SimClientEvent> events;
  std::vector<AiCreateRequest> creates;
  std::vector<std::uint32_t> removes;
  std::vector<std::uint32_t> promotions;
  std::vector<SimCommand> commands;
  std::vector<ReverseThrustCommand> reverseThrust;
  std::vector<FlightPlanCommand> flightPlans;

  void clear() {
    events.clear();
    creates.clear();
    removes.clear();
    promotions.clear();
    commands.clear();
    reverseThrust.clear();
    flightPlans.clear();
  }
};

TakenCommands g_taken;

bool lf_requestFailed() { return g_simState == 3; }

bool lf_checkRequest(HRESULT hr, std::string_view warning) {
  if (hr >= 0) return true;
  gf_logWarning(warning);
  lf_reportRequestError();
  return false;
}

// The worker asks once per run for the on-ground value every second; a new connection after a
// lost one must be asked again, or the engine would never step again.
std::atomic<bool> g_userOnGroundAsked{false};

bool lf_requestUserOnGround(SimConnectHandle handle) {
  return lf_checkRequest(SimConnect_RequestDataOnSimObject(handle, USER_AC_ON_GROUND, DEFINITION_USER_AC_GET_ONGROUND,
                                                           SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND),
                         "SimConnect request ac gnd/air fails");
}

void lf_executeSimCommand(const SimCommand& command) {
  SimConnectHandle handle = g_simConnectHandle;
  if (!handle || g_simState == 3 || command.kind >= 6) return;
  switch (command.kind) {
    case 0: {
      const double radius = lf_rangeNm() * 1852.0 + (gf_isRtDirect() ? 10000.0 : 0.0);
      lf_checkRequest(SimConnect_RequestDataOnSimObjectType(handle, AI_POSITION, DEFINITION_AI_GET_POSITION,
                                                            static_cast<std::uint32_t>(radius),
                                                            SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT),
                      "SimConnect request ac within range fails");
      break;
    }
    case 1:
      lf_checkRequest(SimConnect_RequestDataOnSimObject(handle, USER_AC_TITLE, DEFINITION_USER_AC_GET_TITLE,
                                                        SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE),
                      "SimConnect request user ac title fails");
      lf_checkRequest(SimConnect_RequestDataOnSimObject(handle, USER_AC_MODEL, DEFINITION_USER_AC_GET_MODEL,
                                                        SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE),
                      "SimConnect request user ac model fails");
      break;
    case 2:
      if (lf_requestUserOnGround(handle)) g_userOnGroundAsked = true;
      break;
    case 3:
      lf_checkRequest(SimConnect_RequestDataOnSimObject(handle, USER_AC_POSITION, DEFINITION_LATLONPIBAVSHETRALTGSZULI,
                                                        SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE),
                      "SimConnect request user ac position fails");
      break;
    case 4:
      lf_checkRequest(SimConnect_RequestDataOnSimObject(handle, AI_STATIC_CG_AND_PITCH,
                                                        DEFINITION_AI_GET_STATIC_CG_AND_PITCH, command.objectId,
                                                        SIMCONNECT_PERIOD_ONCE),
                      "SimConnect request StaticCG fails");
      break;
    case 5:
      lf_checkRequest(SimConnect_RequestDataOnSimObject(handle, AI_INITIAL_POSE, DEFINITION_LATLONPIBAHEALVSTAS,
                                                        command.objectId, SIMCONNECT_PERIOD_ONCE),
                      "SimConnect request initial AI pose fails");
      break;
    default:
      break;
  }
}

void lf_createAiObject(const AiCreateRequest& request) {
  const std::uint32_t requestId = g_nextCreateRequestId.fetch_add(1);
  g_pendingCreates[requestId] =
      PendingCreate{request.hexid, request.hexid > 10000, 0, request.tailNumber, request.containerTitle};
  const HRESULT hr = SimConnect_AICreateNonATCAircraft(g_simConnectHandle, request.containerTitle.c_str(),
                                                       request.tailNumber.c_str(), request.position, requestId);
  if (hr < 0) {
    g_pendingCreates.erase(requestId);
    gf_logWarning(fmt::format("! create failed hr=0x{:08X}, requestId:{}, tailnumber:{}", static_cast<std::uint32_t>(hr),
                              requestId, request.tailNumber));
    lf_reportRequestError();
    return;
  }
  std::uint32_t packetId = 0;
  if (SimConnect_GetLastSentPacketID(g_simConnectHandle, &packetId) < 0) {
    g_pendingCreates.erase(requestId);
    gf_logWarning(fmt::format("! cannot retrieve packetId for create requestId:{}", requestId));
    lf_reportRequestError();
    return;
  }
  g_pendingCreates[requestId].packetId = packetId;
  g_createPacketIds[packetId] = requestId;
}

}  // namespace

void gf_queueCreateAiObject(const AiCreateRequest& request) {
  std::lock_guard lock(g_simQueueMutex);
  g_simCreateRequests.push_back(request);
}

void gf_queueRemoveAiObject(std::uint32_t objectId) {
  {
    std::lock_guard lock(g_simObjectMapMutex);
    g_aiLastPoses.erase(objectId);
    g_aiPositionSamples.erase(objectId);
  }
  std::lock_guard lock(g_simQueueMutex);
  g_simRemoveRequests.push_back(objectId);
}

void gf_requestStaticCg(std::uint32_t objectId) { gf_queueSimCommand(SimCommand{4, objectId}); }

void gf_requestInitialAiPose(std::uint32_t objectId) { gf_queueSimCommand(SimCommand{5, objectId}); }

void gf_queueClientEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t value) {
  std::lock_guard lock(g_simQueueMutex);
  g_simClientEvents.push_back(SimClientEvent{objectId, eventId, value});
}

void gf_queueEngineStart(std::uint32_t objectId) { gf_queueClientEvent(objectId, ENGINE_AUTO_START, 0); }

void gf_queueEngineShutdown(std::uint32_t objectId) { gf_queueClientEvent(objectId, ENGINE_AUTO_SHUTDOWN, 0); }

void gf_queueLightEvents(std::uint32_t objectId, const std::uint32_t (&lightStates)[7]) {
  static constexpr std::uint32_t kLightEvents[7] = {NAV_LIGHTS_SET,  BEACON_LIGHTS_SET, LANDING_LIGHTS_SET,
                                                    TAXI_LIGHTS_SET, STROBES_SET,       LOGO_LIGHTS_SET,
                                                    CABIN_LIGHTS_SET};
  std::lock_guard lock(g_simQueueMutex);
  for (int i = 0; i < 7; ++i) g_simClientEvents.push_back(SimClientEvent{objectId, kLightEvents[i], lightStates[i]});
}

void gf_queueNavLights(std::uint32_t objectId, std::uint32_t value) {
  gf_queueClientEvent(objectId, NAV_LIGHTS_SET, value);
}

void gf_queueCabinLights(std::uint32_t objectId, std::uint32_t value) {
  gf_queueClientEvent(objectId, CABIN_LIGHTS_SET, value);
}

void gf_queueReverseThrust(std::uint32_t objectId, bool on, bool reverse) {
  std::lock_guard lock(g_simQueueMutex);
  g_simReverseThrustRequests.push_back(ReverseThrustCommand{objectId, on, reverse});
}

void gf_queueFlightPlan(std::uint32_t objectId, const std::filesystem::path& planFile) {
  if (!gf_isMsfs2020()) return;
  std::filesystem::path path = planFile;
  if (path.extension() == ".pln") path.replace_extension();
  std::lock_guard lock(g_simQueueMutex);
  g_simFlightPlanRequests.push_back(FlightPlanCommand{objectId, std::move(path)});
}

void gf_queueSimCommand(SimCommand command) {
  std::lock_guard lock(g_simQueueMutex);
  g_simCommands.push_back(command);
}

void lf_renewUserOnGroundRequest(SimConnectHandle handle) {
  if (g_userOnGroundAsked) lf_requestUserOnGround(handle);
}

void lf_forgetUserOnGroundRequest() { g_userOnGroundAsked = false; }

void lf_dropQueuedCommands() {
  std::lock_guard lock(g_simQueueMutex);
  g_simClientEvents.clear();
  g_simCreateRequests.clear();
  g_simRemoveRequests.clear();
  g_simPromotedObjects.clear();
  g_simCommands.clear();
  g_simReverseThrustRequests.clear();
  g_simFlightPlanRequests.clear();
}

void lf_reserveCommandVectors() {
  std::lock_guard lock(g_simQueueMutex);
  g_simClientEvents.reserve(512);
  g_simCreateRequests.reserve(256);
  g_simRemoveRequests.reserve(256);
  g_simCommands.reserve(64);
  g_simReverseThrustRequests.reserve(128);
  g_simFlightPlanRequests.reserve(64);
}

void lf_removeAiObject(std::uint32_t objectId) {
  g_aiPositionTracks.erase(objectId);
  if (objectId == g_userObjectId) {
    gf_logWarning(fmt::format("SimConnect call to remove ac with objectid {}", gf_objectIdText(objectId)));
    return;
  }
  if (SimConnect_AIRemoveObject(g_simConnectHandle, objectId, AI_REMOVE_OBJECT) >= 0) {
    g_ownedObjects.erase(objectId);
  } else {
    gf_logWarning(fmt::format("!SimConnect call to remove AI ac from sim failed, id {}?", objectId));
    lf_reportRequestError();
  }
}

void lf_executeQueuedCommands() {
  if (g_simState == 3) {
    lf_dropQueuedCommands();
    return;
  }
  TakenCommands& taken = g_taken;
  {
    std::lock_guard lock(g_simQueueMutex);
    taken.events.swap(g_simClientEvents);
    taken.creates.swap(g_simCreateRequests);
    taken.removes.swap(g_simRemoveRequests);
    taken.promotions.swap(g_simPromotedObjects);
    taken.commands.swap(g_simCommands);
    taken.reverseThrust.swap(g_simReverseThrustRequests);
    taken.flightPlans.swap(g_simFlightPlanRequests);
  }
  // Whatever way the cycle ends, the rest of this frame's commands is dropped.
  struct Finally {
    TakenCommands& taken;
    ~Finally() { taken.clear(); }
  } finally{taken};

  for (std::uint32_t objectId : taken.promotions) g_staticObjects.erase(objectId);

  for (const SimCommand& command : taken.commands) {
    lf_executeSimCommand(command);
    if (lf_requestFailed()) return;
  }

  for (const SimClientEvent& event : taken.events) {
    if (event.eventId == FLAPS_SET) SimConnect_AIReleaseControl(g_simConnectHandle, event.objectId, AI_RELEASE_CONTROL);
    const HRESULT hr =
        SimConnect_TransmitClientEvent(g_simConnectHandle, event.objectId, event.eventId, event.value, TRAFFIC_APP, 0);
    if (hr >= 0 && event.eventId == FLAPS_SET)
      SimConnect_AIReleaseControl(g_simConnectHandle, event.objectId, AI_RELEASE_CONTROL);
    if (lf_requestFailed()) return;
  }

  // Flight plans are loaded by MSFS 2020 only; with 2024 selected they are dropped.
  if (g_simConnectHandle && gf_isMsfs2020()) {
    for (const FlightPlanCommand& plan : taken.flightPlans) {
      SimConnect_AISetAircraftFlightPlan(g_simConnectHandle, plan.objectId, gf_pathToUtf8(plan.path).c_str(),
                                         AI_FLIGHT_PLAN);
      if (lf_requestFailed()) return;
    }
  }

  for (const AiCreateRequest& request : taken.creates) {
    lf_createAiObject(request);
    if (lf_requestFailed()) return;
  }

  for (std::uint32_t objectId : taken.removes) {
    lf_removeAiObject(objectId);
    if (lf_requestFailed()) return;
  }

  if (g_simConnectHandle) {
    for (const ReverseThrustCommand& command : taken.reverseThrust) {
      const double r = command.reverse ? -100.0 : 100.0;
      const double values[3] = {command.on ? 100.0 : 0.0, command.on ? r : 0.0, command.on ? r : 0.0};
      SimConnect_SetDataOnSimObject(g_simConnectHandle, DEFINITION_REVERSE_THRUST, command.objectId, 0, 0,
                                    sizeof values, values);
      if (lf_requestFailed()) return;
    }
  }
}
