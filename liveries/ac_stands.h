#pragma once
// An aircraft and the park airport's stands: the nearest stand that fits it, and the stand
// options it teaches and matches, on the aircraft's own record.
#include <cstdint>
#include <span>

#include "core/geodesy.h"
#include "core/utc_time.h"
#include "liveries/ac_identity.h"
#include "simlink/facility_stand.h"
#include "simlink/stand_slots.h"

// The nearest free stand within 81.25 m of the position that fits the aircraft and is a helipad
// exactly when the aircraft is a rotorcraft: first within its ground radius; else, when the
// caller allows it, within its wide ground radius among stands whose options know its callsign
// or identity. distanceMetres is 99999 when there is none.
Stand* gf_nearestStand(std::span<Stand> stands, const Lalo& position, const AcIdentity& aircraft,
                       double& distanceMetres, bool allowFallback);

// The fields the stand-option learning reads.
OptionAircraft gf_optionAircraft(const AcIdentity& aircraft);

// The aircraft stands on stand number standNumber of g_stands at g_currentWeekTime; its
// identity takes the registration's dbase entry. Never throws.
void gf_addRealStandOption(std::int32_t standNumber, AcIdentity& aircraft, std::uint32_t kind);

// A parked aircraft takes the two callsigns of the real option it matches. Never throws.
void gf_matchRealStandOption(std::span<const Stand> stands, WeekTime now, AcIdentity& aircraft) noexcept;
