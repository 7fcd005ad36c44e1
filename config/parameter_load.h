#pragma once
// The worker's start-up steps around parameters.xml (gf_loadParameters, gf_setSimChoice, then
// gf_initParameterSnapshot), and the setters the window calls when the range or the static
// fit changes.
#include <array>
#include <cstdint>

// Ground range, ranges 1..3 and the range above (nautical miles), then flight levels 1..3.
struct RadiusValues {
  std::array<double, 8> values{};
  bool changed = false;
};

// Each value's limits, in the order of RadiusValues.
struct RadiusLimits {
  std::array<double, 8> minimum{};
  std::array<double, 8> maximum{};
};

// The rules: no negative range; three distinct flight levels in ascending order, at least
// `step` apart; ranges that never shrink with height. With limits, the result stays inside
// them (levels pushed down from the maximum when needed), so that clamping to the options'
// limits afterwards cannot break the rules again. Pure; never throws.
RadiusValues gf_applyRadiusRules(RadiusValues given, double step);
RadiusValues gf_applyRadiusRules(RadiusValues given, double step, const RadiusLimits& limits);

// Reads parameters.xml, then (for a file that was read, not created) the rules and the
// version update.
void gf_loadParameters();
// PROGRAM_VERSION against the running version; migrates the file after an update.
void gf_versionUpdate();
// SIM_CHOICE and RT_CHOISE validated (a warning and the default for this run otherwise) and
// published through gf_publishSimChoice.
void gf_setSimChoice();

// RANGE = n within its limits (selected in its combo box when listed); the snapshot's range
// fields take n as given.
void gf_setRange(std::int32_t n);
// MAX_FIT_FL follows MAX_FIT: (MAX_FIT + 1) half hours.
void gf_syncMaxFitFl();
// The hours of a MAX_FIT index: index 0..47 <-> 0.5 .. 24.0 hours.
float gf_maxFitHours(int index);
