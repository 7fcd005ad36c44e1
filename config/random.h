#pragma once
// Random picks for liveries and stands: one engine per thread, so draws take no lock. The
// user's RANDOM setting switches the picks off as a whole (every pick is then the first).
#include <cstdint>
#include <random>
#include <vector>

std::mt19937 gf_makeRandomEngine();

// Uniform index in [0, n); 0 when RANDOM is off or n < 2.
std::uint64_t gf_random(std::uint64_t n);
// Random order in place; the order stays when RANDOM is off or there are fewer than 2 values.
void gf_shuffle(std::vector<std::uint16_t>& values);
// value -/+ percent of it, the sign drawn at random; RANDOM does not switch this off.
double gf_randomizeByPercent(double value, double percent);

// The RANDOM switch as the random picks see it. The parameter snapshot feeds it whenever it
// publishes a new one; until then it holds RANDOM's default, on.
void gf_setRandomEnabled(bool on);
bool gf_randomEnabled();
