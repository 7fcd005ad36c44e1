#pragma once
// A landed aircraft taxiing slowly past the stands: the stand it is visibly entering, when one
// qualifies and is free, is taken for it (lf_takeStand) and it drives in. Each stand close by that
// is refused is noted once with its reason. lf_main only; exceptions pass to the caller.
#include <string_view>

#include "simlink/facility_stand.h"
#include "traffic/live_ac.h"

void lf_chooseArrivalStand(LiveAc& aircraft);
// The refusal for the stand the aircraft faces from behind, close and nearly aligned; for the
// reasons that concern the aircraft rather than a stand.
void lf_noteStandRefusalAhead(LiveAc& aircraft, std::string_view reason);
// Notes the (stand, reason) pair once; nothing beyond 60 m.
void lf_noteStandRefusal(LiveAc& aircraft, const Stand& stand, std::string_view reason, double distanceM);
