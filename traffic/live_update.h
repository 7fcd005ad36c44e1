#pragma once
// What happens to a known live aircraft on lf_main: at every engine tick its update (spawn when
// not in the simulator yet, the movement step when a point falls due, the curve check and the
// runway prediction, then its pose to the simulator link), and for every new report the check of
// its state whether and how the point joins its stream.
#include "traffic/live_ac.h"

// While one lives (the update pass, lf_main only), the poses of updateLiveAc are collected and
// handed to the simulator link together by handOver(): one clock read and one lock for the tick
// instead of one per aircraft, and every pose of the tick carries the same time. Without one,
// updateLiveAc hands each pose over at once.
class PoseBatch {
 public:
  PoseBatch();
  // Poses not handed over are dropped.
  ~PoseBatch();
  PoseBatch(const PoseBatch&) = delete;
  PoseBatch& operator=(const PoseBatch&) = delete;
  void handOver();
};

// One tick of one aircraft. True when the record is now marked dropFromRegistry or
// createCancelled. Exceptions propagate to the update pass.
bool updateLiveAc(LiveAc& aircraft);
// The stream has run out: the aircraft's object goes. Never throws.
void noMoreNextPos(LiveAc& aircraft) noexcept;

// Whether a new report point of a known aircraft may be appended; the point (and the aircraft's
// state and stream) may be changed on the way.
bool checkExtendingSituations(LiveAc& aircraft, StreamPoint& point);
// Taxiing and airborne aircraft: a point on the last one is a standing point (speed 0), refused
// in the air; a point within 15 m of it counts as standing on the ground.
bool lf_filterGroundPoint(LiveAc& aircraft, StreamPoint& point);
// State 1, holding after the pushback: released to taxi once two successive points lie clear of
// the stand and 15 m from where the aircraft first left. Only the releasing point is appended.
bool lf_checkHoldRelease(LiveAc& aircraft, StreamPoint& point);
// States 6 and 7: the touch-down hold against noisy airborne flags, points behind the aircraft.
bool checkNewPosDuringLanding(LiveAc& aircraft, StreamPoint& point);
// States 3 and 4: points behind the aircraft, and reports that would slow a climbing aircraft
// implausibly while it flies on extended points.
bool checkNewPosDuringTakeoff(LiveAc& aircraft, StreamPoint& point);
bool lf_takeoffPointPlausible(LiveAc& aircraft, const StreamPoint& point);
