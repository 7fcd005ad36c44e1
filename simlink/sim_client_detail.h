#pragma once
// The SimClient thread's own state and steps, shared between the link's sources only
// (nothing outside simlink/ includes this). The tables here are touched by the SimClient
// thread alone, and by gf_initSimClient / gf_resetSimClient while it does not run.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/simconnect.h"
#include "simlink/ai_positions.h"
#include "simlink/sim_client.h"

// A create sent and not yet answered, by create request id.
struct PendingCreate {
  std::uint32_t hexid = 0;
  bool live = false;          // hexid above 10000
  std::uint32_t packetId = 0;  // 0 until known
  std::string tailNumber;
  std::string containerTitle;
};

struct LastAiPositionUpdate {
  bool valid = false;
  std::uint32_t objectId = 0;
  AiPose pose;
  HRESULT result = S_OK;
};

// Handed to every dispatch call: quit ends the dispatch loop, mismatch says why.
struct DispatchContext {
  bool quit = false;
  bool mismatch = false;  // the running simulator is not the selected one
};

extern SimConnectHandle g_simConnectHandle;
extern std::unordered_map<std::uint32_t, PendingCreate> g_pendingCreates;
extern std::unordered_map<std::uint32_t, std::uint32_t> g_createPacketIds;  // packet id -> create request id
// Whoever takes an object out of g_ownedObjects drops its track in g_aiPositionTracks too: the
// pose batch trusts an object with a track to be ours.
extern std::unordered_set<std::uint32_t> g_ownedObjects;
extern std::unordered_set<std::uint32_t> g_staticObjects;
extern std::unordered_map<std::uint32_t, std::string> g_objectTailNumbers;
extern std::unordered_set<std::uint32_t> g_removeRequested;
extern bool g_simShutdownInProgress;
extern std::uint64_t g_shutdownRemoveRequested;
extern std::uint64_t g_shutdownRemoveConfirmed;
extern std::atomic<std::uint32_t> g_nextCreateRequestId;
extern LastAiPositionUpdate g_lastAiPositionUpdate;

// sim_client.cpp
bool lf_reportRequestError();
std::string lf_hresultText(HRESULT hr);
void lf_logLastAiPositionUpdate();
void lf_showError(std::string_view text);
void lf_setSimulatorText(std::string_view text);
void lf_setSimulationRunning(bool running);
void lf_clearStatusLine();
double lf_rangeNm();

// sim_setup.cpp
bool lf_setupSimConnect();
bool lf_checkSetupCall(HRESULT hr, std::string_view call);

// sim_dispatch.cpp
void lf_dispatchProc(const SimConnectRecv* data, std::uint32_t size, void* context);
bool lf_checkPayloadSize(std::uint32_t received, std::uint32_t required, std::string_view name);

// sim_commands.cpp
void lf_executeQueuedCommands();
void lf_removeAiObject(std::uint32_t objectId);
void lf_dropQueuedCommands();  // empties every command vector under g_simQueueMutex
void lf_reserveCommandVectors();
// A new connection knows none of the old one's periodic requests: the on-ground request again,
// when the worker had made it.
void lf_renewUserOnGroundRequest(SimConnectHandle handle);
void lf_forgetUserOnGroundRequest();  // the restart's reset

// ai_positions.cpp
void lf_sendPositionBatch();
std::optional<AiPose> lf_interpolateAiPosition(AiPositionTrack& track, std::int64_t now);
void lf_forgetTracks();  // every track and the generation seen

// user_aircraft.cpp: the replies about the user's aircraft; data excludes the 40-byte head.
void lf_handleUserTitle(const std::byte* data, std::size_t size);
void lf_handleUserModel(const std::byte* data, std::size_t size);
void lf_handleUserOnGround(const std::byte* data, std::size_t size);
void lf_handleUserPosition(std::uint32_t objectId, const std::byte* data, std::size_t size);
void lf_updateUserStand();
void lf_resetUserAircraft();
