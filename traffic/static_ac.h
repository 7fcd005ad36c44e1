#pragma once
// A static parked aircraft, as far as the engine's passes handle it: the identity it shares with
// live aircraft, its stand, its object and its removal marks, and what the simulator reported for
// its object. The parking code adds the rest of its stand fields.
#include <cstdint>

#include "core/utc_time.h"
#include "liveries/ac_identity.h"
#include "simlink/ai_positions.h"
#include "traffic/flat_frame.h"
#include "traffic/live_ac.h"

struct StaticAc : AcIdentity {
  std::uint32_t objectId = 0;
  std::int32_t standId = 0;  // 1-based number in g_stands
  std::uint32_t simState = SimStatus::buffer;
  std::uint32_t throttleStep = 5;  // as in LiveAc: nothing sent yet
  std::uint32_t flapsIndex = 4;
  bool cargo = false;  // the stand's cargo flag: no cabin light
  bool removeWhenCreated = false;
  bool dropFromRegistry = false;
  bool createCancelled = false;

  AiPose initialPose;
  bool poseKnown = false;
  bool cgKnown = false;

  // ---- Built on a stand ----
  Lalo position;             // the stand's
  double heading = 0.0;      // radians, the stand's
  WeekTime parkedWeekTime;   // when it counts as parked; day 0: not known
  bool atGate = false;       // the stand's name holds "GATE"
  std::uint32_t hitFlag = 1;  // 1 placed from the airport stand file

  StaticAc() = default;
  // Takes the identity, the stand's number and pose and the stand's no-cabin-light (cargo) flag.
  StaticAc(AcIdentity&& identity, std::int32_t standNumber, const GeoPose& standPose, bool noCabinLight);
};
