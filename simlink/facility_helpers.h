#pragma once
// Small helpers of the runway and stand logic: runway designations, the choice between a
// runway's altitude and its start's, a stand found by the name a feed reports, and the log's
// continuation line.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/geodesy.h"
#include "simlink/facility_stand.h"

// One runway end: "01".."36", "N".."NW" for 37..44, "#{}" otherwise; then "L", "R", "C", "W",
// "A", "B" for designators 1..6, nothing for 0, "({})" for any other value ("#45(9)").
std::string gf_formatRunwayName(std::uint32_t number, std::int32_t designator);

// The plausible values of a runway record: heading in [0, 360) degrees, length in (0, 10000]
// metres, width in (0, 500] metres. Not-a-number never passes.
bool gf_isRunwayHeadingValid(double degrees);
bool gf_isRunwayLengthValid(double metres);
bool gf_isRunwayWidthValid(double metres);

struct ElevationChoice {
  double value = 0.0;     // feet
  bool deviates = false;  // the candidate was too far off and the base was kept
};

// Chooses between a base altitude and a candidate (feet): the candidate within 50 ft of the
// base, or further off when a reference lies more than 50 ft from the base on the other side;
// otherwise the base, flagged when a finite candidate was refused.
ElevationChoice gf_chooseElevation(double base, std::optional<double> candidate, std::optional<double> reference);

// The number of the first stand within 250 m of the position whose name holds, as a whole word,
// the text without its first five characters (a reported "STAND12" looks for the word "12").
// 0 when the text is shorter than six characters or no stand fits.
std::uint32_t gf_findStandByNameNear(std::span<const Stand> stands, std::string_view text, const Lalo& position);

