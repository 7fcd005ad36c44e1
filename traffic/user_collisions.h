#pragma once
// Live traffic never runs into the user's aircraft: an aircraft in conflict with it, in the air
// or ahead of it on the ground, is removed from the simulator. Also the user aircraft's reach on
// the ground for the parked-aircraft test. lf_main only, on the worker's copy of the user state.
#include "traffic/live_ac.h"

// The conflict test of the user's phase (by height, vertical speed and bank) with the cosine of
// the user's latitude; true when the aircraft was removed (also when its removal threw).
bool checkUserAirCollision(LiveAc& aircraft, double cosUserLatitude) noexcept;
// Within 1 NM straight ahead of the user on the ground, 50 ft either side of the user's track:
// removed, true.
bool checkUserAirGndCollision(LiveAc& aircraft) noexcept;
// NM: the user model's half span (a B738's, else the largest known, while it is not known)
// plus 0.75 s of the user's ground speed, at most 15 m.
double lf_userGroundCollisionTermNm() noexcept;
