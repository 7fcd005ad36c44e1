#pragma once
// The client events that animate an aircraft of ours: throttle, flaps, spoilers, gear and the
// light sets of the engine's phases. Each setter queues one event for the SimClient thread
// (simlink/sim_commands.h); throttle and flaps remember the index last sent and send a repeat
// only when it changes. The setters take a LiveAc or a StaticAc; lf_main only.
#include <array>
#include <cstdint>

#include "refdata/model_ids.h"

// THROTTLE_SET values of the indexes 0..4; an index of 5 or more sends nothing.
inline constexpr std::array<std::uint32_t, 5> kThrottleValues{0, 4914, 8191, 11468, 16383};
// FLAPS_SET values of the indexes 0..3.
inline constexpr std::array<std::uint32_t, 4> kFlapsValues{0, 3072, 10240, 16383};

// Light sets in the order of gf_queueLightEvents: nav, beacon, landing, taxi, strobes, logo, cabin.
namespace lightset {
inline constexpr std::uint32_t kDepartureTaxi[7] = {1, 1, 1, 1, 1, 1, 0};  // departure taxi and line-up
inline constexpr std::uint32_t kRunwayVacated[7] = {1, 1, 0, 1, 0, 1, 1};
inline constexpr std::uint32_t kBelow10000[7] = {1, 1, 1, 1, 1, 1, 1};  // first airborne step, once
inline constexpr std::uint32_t kAbove10000[7] = {1, 1, 0, 0, 1, 0, 1};  // climbing through, once
}  // namespace lightset

// The lights of a parked aircraft: nav by NAV_LIGHTS_WHILE_PARKED, logo on, the rest off but the
// cabin, which is dark at a cargo stand and lit otherwise (9 times in 10 with RANDOM on).
std::array<std::uint32_t, 7> gf_parkedLightSet(bool noCabinLight);
void gf_queueLightSet(std::uint32_t objectId, const std::array<std::uint32_t, 7>& lights);

// On the stored index: sent when it differs; an index of 5 or more is only stored.
void gf_setThrottle(std::uint32_t objectId, std::uint32_t& throttleStep, std::uint32_t index);
// Rotorcraft have no flaps: nothing is sent or stored. An index above 3 logs and is stored.
void gf_setFlaps(std::uint32_t objectId, AcCategory category, std::uint32_t& flapsIndex, std::uint32_t index);
// Sent every time, but never to a rotorcraft.
void gf_setSpoilers(std::uint32_t objectId, AcCategory category, bool on);
void gf_setGear(std::uint32_t objectId, AcCategory category, bool down);

template <class Aircraft>
void gf_setThrottle(Aircraft& aircraft, std::uint32_t index) {
  gf_setThrottle(aircraft.objectId, aircraft.throttleStep, index);
}
template <class Aircraft>
void gf_setFlaps(Aircraft& aircraft, std::uint32_t index) {
  gf_setFlaps(aircraft.objectId, aircraft.category, aircraft.flapsIndex, index);
}
template <class Aircraft>
void gf_setSpoilers(const Aircraft& aircraft, bool on) {
  gf_setSpoilers(aircraft.objectId, aircraft.category, on);
}
template <class Aircraft>
void gf_setGear(const Aircraft& aircraft, bool down) {
  gf_setGear(aircraft.objectId, aircraft.category, down);
}
