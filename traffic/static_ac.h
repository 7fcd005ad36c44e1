#pragma once
// A static parked aircraft, as far as the engine's passes handle it: the identity it shares with
// live aircraft, its object and its removal marks. The parking code adds its stand fields.
#include <cstdint>

#include "liveries/ac_identity.h"
#include "traffic/live_ac.h"

struct StaticAc : AcIdentity {
  std::uint32_t objectId = 0;
  std::uint32_t simState = SimStatus::buffer;
  bool removeWhenCreated = false;
  bool dropFromRegistry = false;
  bool createCancelled = false;
};
