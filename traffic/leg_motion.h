#pragma once
// One step of an aircraft in the simulator along its current leg, once per update: a tow path,
// a runway roll, a planned ground turn, a curve, a stepped interpolation in the air or the plain
// velocity; then the ground heading limit, no sliding back on a light aircraft's take-off, and
// attitude and height. lf_main only.
#include "traffic/live_ac.h"

void gf_moveAlongLeg(LiveAc& aircraft);
