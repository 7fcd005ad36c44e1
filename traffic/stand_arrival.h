#pragma once
// A live aircraft at the end of its stream in "parking": confirmed at its stand and parked, with
// its systems shut down in stages over the next minutes, or sent back for another try, or made
// to give the stand up and taxi on. lf_main only.
#include "traffic/live_ac.h"

// True when the aircraft parked or gave the stand up; false asks for one more stream extension
// (extensionCount 1) and another try.
bool gf_arrivedAtStand(LiveAc& aircraft);
