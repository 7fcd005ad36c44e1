#pragma once
// A live flight becomes an AI aircraft: the admission rules once its first point is due, the
// livery, the starting state (on a stand, taxiing, pushed back by a tug or airborne), the initial pose, and either the
// take-over of a static aircraft of the same registration on its stand (promotion) or a create
// request on the adding stack. Static aircraft in the way make room. lf_main only.
#include <cstdint>
#include <optional>
#include <string>

#include "feed/traffic_records.h"
#include "simlink/facility_stand.h"
#include "traffic/live_ac.h"

// Once per engine step for an aircraft not in the simulator: waits, drops points or the record,
// or spawns.
void lf_trySpawn(LiveAc& aircraft);
// The spawn proper: livery, state, stand, pose, then promotion or a create request.
void spawnLiveAc(LiveAc& aircraft);

// Static aircraft on the stand or overlapping it from an excluded stand make way; the hexid of a
// static aircraft of the same registration in the simulator, to be taken over, when allowed.
std::optional<std::uint32_t> lf_makeWayAtStand(LiveAc& aircraft, const Stand& stand, bool allowPromotion);

// A parked aircraft takes the pose the simulator reported for its object, then its altitude.
void lf_applyParkedPose(LiveAc& aircraft);
// A parked aircraft stands at the ground altitude plus its centre-of-gravity height, once both are
// known.
void lf_applyParkedAltitude(LiveAc& aircraft);

// Radians, negative nose up, from the point's vertical rate and the category.
double lf_pitchFromVerticalRate(const StreamPoint& point, AcCategory category);

// The key of a flight in the set of flights without a livery: callsign and registration.
std::string gf_identityKey(const FeedRecordHead& aircraft);
