#pragma once
// The simulator's answers that the traffic engine waits for, handed from the SimClient thread
// to lf_main.
#include <cstdint>
#include <mutex>
#include <vector>

#include "simlink/ai_positions.h"

// Kinds: 0 live object created, 1 static object created, 2 object removed by the simulator,
// 3 an aircraft near the user low enough to matter, 4 static CG and pitch, 5 initial pose,
// 6 create refused.
struct DelayedSimCommand {
  std::uint32_t objectId = 0;  // kind 6: 0, or kGoneWithSession when the session ended first
  std::uint32_t hexid = 0;     // kinds 0, 1, 6: the engine's id; kind 3: the on-ground value;
                               // kind 2: kGoneWithSession when nobody removed the object
  std::int32_t age = 0;        // ticks waited on the engine's side; 0 when queued
  std::uint32_t kind = 0;
  double value1 = 0.0;  // 3: ground altitude ft; 4: static CG to ground ft; 6: create request id
  double value2 = 0.0;  // 3: altitude above ground ft; 4: static pitch rad
  AiPose pose;          // 5
};

// A "removed" answer for an object that went with the simulator's old session, and a
// "refused" one for a creation the old session never answered.
constexpr std::uint32_t kGoneWithSession = 1;

extern std::mutex g_delayedSimCommandsMutex;
extern std::vector<DelayedSimCommand> g_delayedSimCommands;

void gf_queueDelayedSimCommand(const DelayedSimCommand& command);
// Swaps the queue with the caller's vector (emptied first), so that both keep their storage.
void gf_takeDelayedSimCommands(std::vector<DelayedSimCommand>& taken);
// Drops what waits: the answers name objects of a connection that is gone (every connect and
// the restart's reset).
void gf_clearDelayedSimCommands();
