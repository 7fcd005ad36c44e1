#pragma once
// The movement step that turns an aircraft's stream into motion: each time the aircraft reaches
// the point it was heading for, the next point is checked (repeats in the air, points behind a
// predicted runway, a take-off roll's crowded points, a climb-out report that would slow it
// implausibly), the stream is extended when it has run dry, the arrival time and the velocity
// toward the next point are fixed and the ground or air step takes over. lf_main only.
#include <cstdint>
#include <string_view>

#include "traffic/live_ac.h"

// Tries at a stand whose check asks for another go, 3 s apart, before the stand is given up.
inline constexpr std::int32_t kStandArrivalTries = 10;

// The step at stream point 0's time. May remove the aircraft; an exception is logged and thrown on.
void nextPosMain(LiveAc& aircraft);
// Takes the next point: leg state reset, velocity toward point 1, the ground or air step, then
// point 0 dropped.
void gf_advanceStream(LiveAc& aircraft);
// The airborne leg: a standing point holds a rotorcraft and removes anything else, as does a leg
// slower than 0.4 kt; then point 1's arrival from the leg's speed.
void nextPosAir(LiveAc& aircraft);
// A ground aircraft with a predicted runway: drops one point behind it, or matches the take-off
// runway; the prediction is used up. True when it dropped a point.
bool gf_checkStreamHead(LiveAc& aircraft);
// Point 1, which does not move, is reached after its own interval from point 0.
void gf_holdAtPoint(LiveAc& aircraft);
// Ticks an aircraft needs from standstill to a point `metres` ahead reached at `kt`, speeding up as
// an airliner taxis off.
std::int32_t gf_rollOffTicks(double metres, double kt);
// The leg's turn in progress is called off (a take-off begins).
void gf_resetTurnState(LiveAc& aircraft);

// "pushing_back" ... "birth"; "buffer" ... "removingfromsim". A value outside the table throws
// std::out_of_range.
std::string_view gf_flightPhaseName(std::uint32_t phase);
std::string_view gf_simStatusName(std::uint32_t status);
