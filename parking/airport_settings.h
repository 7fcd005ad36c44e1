#pragma once
// The park airport's stand file made current: the parking options adjusted to it (a learned file's
// settings take over; otherwise a very low quality or a very small airport changes them), the
// options in force kept for the reset, the file's data written to the log and the main window,
// and the airport's elevation handed to the feed. lf_main only; the window reads the two atomics.
#include <fmt/format.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

#include "parking/airport_file_read.h"
#include "simlink/stand_slots.h"

// An airport stand file is applied to the park airport (the window shows its stands).
extern std::atomic<bool> g_airportFileLoaded;
// The applied file came with a handmade learned file.
extern bool g_airportFileHandmade;
// The applied file's RT_traffic_week; 0 without one.
extern std::atomic<std::int32_t> g_rtTrafficWeek;

// The applied file's identity, for saving what was learned there.
struct LoadedApfInfo {
  std::string airportName;
  std::string publisher;
  std::int32_t altitude = 0;  // feet
  std::filesystem::path learnedPath;  // where the read looked for its learning; empty: none
};
extern LoadedApfInfo g_loadedApfInfo;

// The quality pair as the log and the window show it: "40", "20/55", or two blanks.
std::string gf_qualityText(const StandFileScores& quality);

// Called once per successful read of the park airport's stand file.
void gf_applyAirportFileSettings(const AirportFileData& file);

// No file applied, no traffic week, no identity (the park-airport reset, tests).
void gf_clearAppliedAirportFile();

template <>
struct fmt::formatter<StandFileScores> : fmt::formatter<std::string_view> {
  auto format(const StandFileScores& quality, fmt::format_context& ctx) const {
    return fmt::formatter<std::string_view>::format(gf_qualityText(quality), ctx);
  }
};
