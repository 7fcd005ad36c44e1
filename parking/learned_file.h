#pragma once
// Learned airport files: what the program learned at an airport beyond its stand file (real
// options observed, soft options, stands made by hand, the user's parking settings there), laid
// over a copy of the stand file's stands when the park airport's file is read. A hand-made learned
// file replaces the stand file altogether. Same layout as the stand files (parking/apf_file.h).
#include <pugixml.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "simlink/facility_stand.h"

// The parking settings a learned file holds; unset when the file does not name them.
struct LearnedSettings {
  std::optional<std::uint32_t> parking_percentage;
  std::optional<std::uint32_t> MAX_FIT;
  std::optional<bool> RT_PARKTRAFFIC_ONLY;
  std::optional<bool> AUTO_PARK;  // a learned file without it means false
  std::optional<bool> WEEK;
  std::optional<bool> PARK_SOFT;
};

struct LearnedAirportData {
  std::vector<Stand> stands;  // merged, or a hand-made file's own
  LearnedSettings settings;
  bool handmade = false;
};

// Reads the learned file at path over a copy of stands (the stand file's, whose airport name is
// airportName); or the error text. A file that is there but cannot be used (not opened, not
// parsed, no valid header) is first kept as its previous generation (<stem>0.xml), because the
// next save would replace it with this visit's learning alone.
std::variant<LearnedAirportData, std::string> gf_readLearnedAirportFile(const std::filesystem::path& path,
                                                                        std::string_view airportName,
                                                                        std::span<const Stand> stands);

// Merges the options of a learned "parkpos" into the stand of that name; false for another stand.
// An option without slots or with a weekday outside 1..7 is skipped with a warning, one that
// repeats an option of the stand (same day, kind, registration and identity, a common slot)
// silently.
bool lf_readLearnedOptions(std::string_view id, pugi::xml_node parkpos, Stand& stand);

// The same folder, the file name cut to its first four characters and extension ("LSZH201.enc"
// -> "LSZH.enc"); a stem shorter than five characters stays.
std::filesystem::path lf_shortIcaoPath(const std::filesystem::path& path);

// The parking block of the parameter snapshot, as the park airport keeps it to restore later.
struct KeptParkingSettings {
  std::uint32_t parkingPercentage = 30;
  std::uint32_t maxParkSel = 500;
  std::uint32_t maxLiveSel = 500;  // carried along, never restored
  std::uint32_t maxFit = 47;
  bool rtParkTrafficOnly = false;
  bool autoPark = true;
  bool week = false;
  bool parkSoft = false;
};
extern KeptParkingSettings g_keptParkingSettings;  // worker only

// The parking options' current values into a new parameter snapshot.
void gf_publishParkingSettings();
// The current snapshot's parking block into g_keptParkingSettings.
void gf_keepParkingSettings();
