#pragma once
// One add-on airport source at a time, as the scan's walks find them: a streamed package that
// names an airport, or a .bgl file with an airport section. For an airport that RealTraffic
// covers this week it writes into airports/my_simaddon ("simaddon" publisher) or
// airports/my_thirdparty either a link file <ICAO>.txt to the maker's archived stand file, or a
// generated stand file <ICAO>.xml whose stands come from the simulator's facility data or, for
// a .bgl file that route fails for, from the file's own airport records.
//
// Runs on lf_main, inside the scan's transaction; findings go to the scan message list.
#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "airportscan/bgl_sections.h"
#include "airportscan/scenery_packages.h"
#include "simlink/facility_stand.h"

// The processing of one .bgl file as far as it got: files that take a second or more are
// reported with their phase when the timer ends.
class BglPhaseTimer {
 public:
  BglPhaseTimer(std::filesystem::path file, std::string_view phase);
  ~BglPhaseTimer();
  BglPhaseTimer(const BglPhaseTimer&) = delete;
  BglPhaseTimer& operator=(const BglPhaseTimer&) = delete;
  void phase(std::string_view now) { phase_ = now; }

 private:
  std::filesystem::path file_;
  std::string_view phase_;
  std::int64_t startNs_;
};

// airports/my_simaddon for the publisher "simaddon", else airports/my_thirdparty.
const std::filesystem::path& gf_scanTargetFolder(const std::string& publisher);

// The files of my_simaddon and my_thirdparty to the header counters; a folder that cannot be
// counted is left as shown.
void gf_postSimaddonCount();
void gf_postAirportScanCounts();
// The same after each airport, from the files the scan has put into the folders (which it began
// empty): a folder listing per airport would make a walk over thousands of them quadratic.
void gf_postScanFileCounts();

// The archive link file; true when a link was written (or none is needed). A link that cannot be
// written is reported, and the airport is generated instead.
bool lf_linkToArchive(ScenerySource& source);

enum class StandSource : std::uint8_t { facilityData, bglRecords };

// Writes <ICAO>.xml of the read airport into the publisher's folder, stands sorted by name:
// a repeated name is made unique, a stand without a name or usable geometry is dropped with a
// scan message, so that the stands written are the stands counted. Parking spots read from a
// .bgl file that face north are written with the heading 360.0.
void lf_writeGeneratedStandFile(const ScenerySource& source, BglAirport& airport, std::int32_t helipadCount,
                                StandSource from = StandSource::facilityData);

// An airport whose read failed: its previous scan's stand file and link file come back (nothing
// when the scan wrote either anyway, or outside a scan). standFile: <folder>/<ICAO>.xml.
void gf_keepPreviousStandFile(const std::filesystem::path& standFile);

// Facility route of a streamed package's airport (code, path, publisher and manifest set).
void lf_processStreamedAirport(ScenerySource& source);

// Facility route of a .bgl file. False: try the BGL reader. unreadFile: the stand file a failed
// facility read left unwritten, to be kept from the previous scan unless the reader writes it.
bool lf_processBglViaFacilities(const std::filesystem::path& file, std::optional<std::filesystem::path>& unreadFile);

// The BGL reader route: every airport record of the file that RealTraffic covers this week.
// Never throws.
void lf_processBGLfile(const std::filesystem::path& file);

// One airport record of a file's bytes, its code known and covered.
void lf_processBglAirportRecord(BglBytes file, const BglRecordRef& record, IcaoCode code,
                                const std::filesystem::path& path);

// The stream's bytes, as many as fill whole 32-bit words; none when fewer than 4 or when the
// stream cannot be read to its end.
std::vector<std::uint8_t> lf_readFileWords(std::istream& in);
