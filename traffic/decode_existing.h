#pragma once
// A message's position becomes a point of a known aircraft's stream: unless the aircraft must go
// (a stream grown too long, a waiting aircraft that moved too far), the state's own check takes,
// changes or refuses the point, standing runs are cleaned up, airborne points are re-timed from
// their distance, and take-offs are recognised (a go-around or touch-and-go from the landing
// roll, a departure on a runway). lf_main only.
#include "traffic/live_ac.h"

// A standard exception is logged as a warning and passed on to decodeMessage.
void decodeExisting(LiveAc& aircraft, StreamPoint& point);
