#pragma once
// Reading the park airport's stand file: which file serves an airport, the read itself (archived
// files fetched from the maker's server, or taken from the airport cache while the same archived
// version stays in use), the learned file laid over it, the stands numbered and their overlaps
// worked out. Runs on lf_main; holds no state but the cache file airports/park_airport.xml.
#include <pugixml.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/value_types.h"
#include "parking/archive_paths.h"
#include "parking/learned_file.h"
#include "parking/stand_download.h"
#include "refdata/enc_file.h"
#include "simlink/facility_stand.h"
#include "simlink/stand_slots.h"

// Decrypted stand files may hold this much text.
inline constexpr std::uint64_t kApfPlainLimit = 0x4000000;

enum class ApfSource : std::int32_t { requested = 0, fetched = 1, cache = 2 };

struct AirportFileData {
  std::string airportName;
  std::string publisher;
  std::int32_t altitude = 0;  // feet
  std::optional<std::string> version;
  StandFileScores quality{0, 0};  // Qf_real and Qf_soft, or the scores of the learned stands
  std::vector<Stand> stands;      // numbered 1..n, overlaps in excludes
  std::filesystem::path requestedPath;
  std::filesystem::path loadedPath;  // the requested file, the fetched copy or the cache
  // Where this airport's learning is kept: read from there when the file exists, and the place to
  // save it, formed even when no file exists yet. Empty when the file has no learned place.
  std::filesystem::path learnedPath;
  std::int32_t rtTrafficWeek = 0;
  ApfSource source = ApfSource::requested;
  bool learnedLoaded = false;
  bool handmade = false;
  LearnedSettings learned;
};

// The stand file of an airport: a redirect or <ICAO>.xml in airports/my_thirdparty, then the
// same in airports/my_simaddon, then archive/stock/<ICAO>.enc for an airport of the airports list
// (not looked for on disk: the read fetches it).
std::optional<std::filesystem::path> gf_findAirportFile(IcaoCode code);
// Whether stand data can be had for the airport (a user file or redirect, or the airports list).
bool gf_hasAirportData(IcaoCode code);

// Loads one stand file; an encrypted one is parsed in place in buffer, which must outlive the
// document. The error text, or none.
std::optional<std::string> gf_loadApfXml(const std::filesystem::path& path, bool encrypted, SecureBuffer& buffer,
                                         pugi::xml_document& document);

// The whole read of the park airport's stand file, or the error text. Never throws. fetched: the
// archive copy already fetched for requestedPath (its file is removed after the read); without
// it a file that is not cached is fetched here.
std::variant<AirportFileData, std::string> gf_readAirportFile(const std::filesystem::path& requestedPath,
                                                              const DownloadedAirportFile* fetched = nullptr);
// The park airport's read of requestedPath would fetch it from the maker's server: an archive path
// that the airport cache does not hold.
bool gf_parkAirportFileNeedsFetch(const std::filesystem::path& requestedPath);

// The archive path the airport cache was filled from, and its identity; none when the cache is
// missing, unreadable or was not filled from an archive copy.
std::optional<ArchiveIdentity> lf_readCacheIdentity();

// The name of the cache's parameter that records which archive path it holds.
inline constexpr const char* kCacheArchivePathParameter = "archive_path";
