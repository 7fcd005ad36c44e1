#pragma once
// A static parked aircraft, as far as the engine's passes handle it: the identity it shares with
// live aircraft, its stand, its object and its removal marks, and what the simulator reported for
// its object. The parking code adds the rest of its stand fields.
#include <cstdint>

#include "core/geodesy.h"
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

  // Its place at the park airport and why it stands there.
  Lalo position;            // the stand's, degrees
  double heading = 0.0;     // the stand's, radians
  WeekTime parkedWeekTime;  // from when it counts as parked (weekday 1..7, slot 0..47)
  std::uint32_t hitKind = 0;  // the hexid of the RealTraffic parked aircraft it stands for; 0 from the file
  std::uint32_t hitFlag = 1;  // 1 placed from the airport stand file, 0 a RealTraffic parked aircraft
  bool atGate = false;        // a "GATE" stand
  bool keepFlag = false;      // the parking adjustment's new plan keeps it

  StaticAc() = default;
  // Takes the identity, the stand's number and pose and the stand's no-cabin-light (cargo) flag.
  StaticAc(AcIdentity&& identity, std::int32_t standNumber, const GeoPose& standPose, bool noCabinLight);
};
