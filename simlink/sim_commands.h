#pragma once
// What other threads want done in the simulator, queued under g_simQueueMutex and performed
// by the SimClient thread once per simulator frame. Every entry point may be called from any
// thread and holds the mutex only for its append.
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/simconnect.h"

struct SimClientEvent {
  std::uint32_t objectId = 0;
  std::uint32_t eventId = 0;  // a SimClientEventId
  std::uint32_t value = 0;
};

// Data requests: 0 aircraft within range, 1 user title and model, 2 user on-ground (every
// second), 3 user position, 4 static CG of objectId, 5 initial pose of objectId.
struct SimCommand {
  std::uint32_t kind = 0;
  std::uint32_t objectId = 0;  // read for kinds 4 and 5
};

struct AiCreateRequest {
  SimConnectInitPosition position;
  std::string tailNumber;
  std::string containerTitle;  // the livery title
  std::uint32_t hexid = 0;     // above 10000 for a live flight, 10000 or less for a static aircraft
};

struct ReverseThrustCommand {
  std::uint32_t objectId = 0;
  bool on = false;
  bool reverse = false;
};

struct FlightPlanCommand {
  std::uint32_t objectId = 0;
  std::filesystem::path path;  // without ".pln", as the engine writes it
};

extern std::mutex g_simQueueMutex;
extern std::vector<SimClientEvent> g_simClientEvents;
extern std::vector<AiCreateRequest> g_simCreateRequests;
extern std::vector<std::uint32_t> g_simRemoveRequests;
extern std::vector<std::uint32_t> g_simPromotedObjects;
extern std::vector<SimCommand> g_simCommands;
extern std::vector<ReverseThrustCommand> g_simReverseThrustRequests;
extern std::vector<FlightPlanCommand> g_simFlightPlanRequests;

void gf_queueCreateAiObject(const AiCreateRequest& request);
// Forgets the object's samples and last pose first, so that no pose follows its removal.
void gf_queueRemoveAiObject(std::uint32_t objectId);
void gf_requestStaticCg(std::uint32_t objectId);
void gf_requestInitialAiPose(std::uint32_t objectId);
// One client event for an object: the engine's throttle, flaps, spoilers and gear setters.
void gf_queueClientEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t value);
void gf_queueEngineStart(std::uint32_t objectId);
void gf_queueEngineShutdown(std::uint32_t objectId);
// NAV, BEACON, LANDING, TAXI, STROBES, LOGO, CABIN, in that order, under one lock.
void gf_queueLightEvents(std::uint32_t objectId, const std::uint32_t (&lightStates)[7]);
void gf_queueNavLights(std::uint32_t objectId, std::uint32_t value);
void gf_queueCabinLights(std::uint32_t objectId, std::uint32_t value);
void gf_queueReverseThrust(std::uint32_t objectId, bool on, bool reverse);
// The plan file as written (".pln"); the simulator is given its path without the extension.
// Dropped unless MSFS 2020 is chosen: 2024 loads no plans.
void gf_queueFlightPlan(std::uint32_t objectId, const std::filesystem::path& planFile);
// A data request of lf_main (kinds 0 to 3), under the queue's lock.
void gf_queueSimCommand(SimCommand command);
