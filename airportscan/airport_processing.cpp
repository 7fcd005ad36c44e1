#include "airportscan/airport_processing.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>
#include <variant>

#include "airportscan/archive_links.h"
#include "airportscan/bgl_airport.h"
#include "airportscan/scan_state.h"
#include "airportscan/scan_transaction.h"
#include "appbase/gui.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "core/text_file.h"
#include "parking/apf_file.h"
#include "parking/archive_paths.h"
#include "refdata/airports.h"
#include "refdata/weekly_traffic.h"
#include "simlink/facility_reader.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kProblem = "===> ";
constexpr double kTwoPi = 6.283185307179586;

// The files this scan put into my_simaddon and my_thirdparty (see gf_postScanFileCounts).
void lf_noteScanFile(const fs::path& file) {
  g_scanFolderFiles[file.parent_path() == g_mySimaddonFolder ? 0 : 1].insert(gf_pathToUtf8(file.filename()));
}

const AirportCodeTests& lf_codeTests() {
  static const AirportCodeTests tests{gf_isKnownAirport, gf_isRTWeeklyAirport};
  return tests;
}

// Known airports whether covered this week or not: one that is not needs no look into its file.
const AirportCodeTests& lf_knownCodeTests() {
  static const AirportCodeTests tests{gf_isKnownAirport, gf_isKnownAirport};
  return tests;
}

void lf_ensureFolder(const fs::path& folder) {
  std::error_code error;
  const bool exists = fs::exists(folder, error);
  if (error) throw fs::filesystem_error("exists", folder, error);
  if (exists) return;
  fs::create_directory(folder, error);
  if (error) throw fs::filesystem_error("create_directory", folder, error);
}

// A link text into the folder; false, with a problem line, when it could not be written.
bool lf_writeLink(const fs::path& folder, IcaoCode code, const std::string& link) {
  lf_ensureFolder(folder);
  const fs::path file = folder / gf_icaoTxtName(code);
  if (gf_writeStringToFile(link, file, true)) {
    lf_noteScanFile(file);
    return true;
  }
  gf_addAirportScanMessage(fmt::format("{}Writing {} did not succeed", kProblem, gf_pathToUtf8(file)));
  return false;
}

// A failed answer of the simulator and an exception of the read are both a failed read.
bool lf_readFacilityStands(IcaoCode code, BglAirport& airport, std::uint32_t& helipads) {
  const std::string text(code.text());
  try {
    return gf_readFacilityStands(text, text, "", airport, helipads);
  } catch (const std::exception& e) {
    gf_addAirportScanMessage(fmt::format("Reading Facilities data for {} via SimConnect failed: {}", code, e.what()));
    gf_closeParkingDataReader();
    return false;
  }
}

bool lf_hasUsableGeometry(const Stand& stand) {
  return gf_isValidLalo(stand.position) && std::isfinite(stand.radius) && stand.radius > 0.0 &&
         std::isfinite(stand.heading);
}

// What the stand-file writer would refuse, mended or dropped here; the helipads dropped are
// counted off.
void lf_makeStandsWritable(std::vector<Stand>& stands, std::int32_t& helipadCount) {
  std::set<std::string> usedNames;
  std::vector<Stand> kept;
  kept.reserve(stands.size());
  for (Stand& stand : stands) {
    std::optional<std::string> name;
    if (stand.name.empty())
      gf_addAirportScanMessage(fmt::format("{}stand without a name at {} (skipped)", kProblem, stand.position));
    else if (!lf_hasUsableGeometry(stand))
      gf_addAirportScanMessage(fmt::format("{}stand '{}' has no usable position, radius or heading (skipped)",
                                           kProblem, stand.name));
    else
      name = lf_uniqueStandId(stand.name, usedNames);
    if (!name) {
      if (stand.heli && helipadCount > 0) --helipadCount;
      continue;
    }
    if (*name != stand.name)
      gf_addAirportScanMessage(fmt::format("stand '{}' appears more than once, renamed '{}'", stand.name, *name));
    stand.name = std::move(*name);
    kept.push_back(std::move(stand));
  }
  stands = std::move(kept);
}

AirportFile lf_standFileRecord(const ScenerySource& source, BglAirport& airport, StandSource from) {
  AirportFile record;
  record.icao = source.code;
  record.position = airport.position;
  record.airportName = airport.name;
  record.altitude = airport.altitude;
  record.bglPath = source.pathText;
  record.publisher = source.publisher;
  if (source.manifest) {
    record.version = source.manifest->version;
    record.manufacturer = source.manifest->manufacturer;
    record.creator = source.manifest->creator;
    record.hasManifest = true;
  }
  record.stands = std::move(airport.stands);
  // A parking spot of a .bgl file facing north has always been written as 360.0 (2 pi): the stand
  // record keeps headings below 2 pi, so the full turn is put back for the file alone.
  if (from == StandSource::bglRecords)
    for (Stand& stand : record.stands)
      if (!stand.heli && stand.heading == 0.0) stand.heading = kTwoPi;
  return record;
}

}  // namespace

BglPhaseTimer::BglPhaseTimer(fs::path file, std::string_view phase)
    : file_(std::move(file)), phase_(phase), startNs_(gf_monotonicNowNs()) {}

BglPhaseTimer::~BglPhaseTimer() {
  try {
    lf_logSlowBglProcessing(file_, startNs_, phase_);
  } catch (...) {
  }
}

const fs::path& gf_scanTargetFolder(const std::string& publisher) {
  return publisher == "simaddon" ? g_mySimaddonFolder : g_myThirdpartyFolder;
}

void gf_postSimaddonCount() {
  try {
    Gui::enqueueUpdate(gui::SetSimaddonCount{gf_countFilesInDirectory(g_mySimaddonFolder, "")});
  } catch (const std::exception&) {
  }
}

void gf_postAirportScanCounts() {
  gf_postSimaddonCount();
  try {
    Gui::enqueueUpdate(gui::SetThirdpartyCount{gf_countFilesInDirectory(g_myThirdpartyFolder, "")});
  } catch (const std::exception&) {
  }
}

void gf_postScanFileCounts() {
  Gui::enqueueUpdate(gui::SetSimaddonCount{g_scanFolderFiles[0].size()});
  Gui::enqueueUpdate(gui::SetThirdpartyCount{g_scanFolderFiles[1].size()});
}

bool lf_linkToArchive(ScenerySource& source) {
  if (source.publisher.empty() && (!lf_detectPublisher(source) || source.publisher.empty())) return false;
  if (source.publisher == "simaddon") {
    const std::optional<std::string> link = lf_simaddonArchiveLink(source.code);
    if (!link || !lf_writeLink(g_mySimaddonFolder, source.code, *link)) return false;
    gf_addAirportScanMessage(fmt::format("{} airport {} linked to {}\n", "simaddon", source.code, *link));
    return true;
  }
  const std::optional<std::string> link = lf_thirdPartyArchiveLink(source);
  if (!link) return false;
  if (link->empty()) return true;
  if (!lf_writeLink(g_myThirdpartyFolder, source.code, *link)) return false;
  gf_addAirportScanMessage(fmt::format("thirdparty airport {} linked to {}\n", source.code, *link));
  return true;
}

void lf_writeGeneratedStandFile(const ScenerySource& source, BglAirport& airport, std::int32_t helipadCount,
                                StandSource from) {
  const fs::path& folder = gf_scanTargetFolder(source.publisher);
  lf_makeStandsWritable(airport.stands, helipadCount);
  const std::size_t count = airport.stands.size();
  const std::string helipads =
      helipadCount < 1 ? std::string() : fmt::format(" of which {} helipad{}", helipadCount, helipadCount > 1 ? "s" : "");
  gf_addAirportScanMessage(fmt::format("Generated {}: {} position{}{}", gf_pathToUtf8(gf_icaoXmlName(source.code)),
                                       count, gf_pluralS(static_cast<std::int64_t>(count)), helipads));
  std::sort(airport.stands.begin(), airport.stands.end(),
            [](const Stand& a, const Stand& b) { return a.name < b.name; });
  lf_ensureFolder(folder);
  const fs::path file = folder / gf_icaoXmlName(source.code);
  const AirportFile record = lf_standFileRecord(source, airport, from);
  if (gf_writeApf(record, file, ApfMode::generated, gf_isMsfs2020() ? 1 : 2, false, {})) {
    lf_noteScanFile(file);
    return;
  }
  gf_addAirportScanMessage(fmt::format("{}Writing {} did not succeed", kProblem, gf_pathToUtf8(file)));
  gf_keepPreviousStandFile(file);
}

void gf_keepPreviousStandFile(const fs::path& standFile) {
  if (!g_airportScanTransaction) return;
  fs::path link = standFile;
  link.replace_extension(".txt");
  // What the scan wrote for the airport decides; else all it had before comes back, link and file.
  std::error_code error;
  if (fs::exists(standFile, error) || fs::exists(link, error)) return;
  for (const fs::path& file : {standFile, link}) {
    if (!g_airportScanTransaction->restoreFromBackup(file)) continue;
    gf_addAirportScanMessage(fmt::format("{} of the previous scan kept", gf_pathToUtf8(file)));
    lf_noteScanFile(file);
  }
}

void lf_processStreamedAirport(ScenerySource& source) {
  if (lf_linkToArchive(source)) return;
  BglAirport airport;
  std::uint32_t helipads = 0;
  if (lf_readFacilityStands(source.code, airport, helipads)) {
    lf_writeGeneratedStandFile(source, airport, static_cast<std::int32_t>(helipads));
    return;
  }
  const std::string line =
      fmt::format("Reading Facilities data for {} via SimConnect failed, is MSFS connected?", source.code);
  gf_log(line);
  gf_addAirportScanMessage(line);
  gf_keepPreviousStandFile(gf_scanTargetFolder(source.publisher) / gf_icaoXmlName(source.code));
  gf_updateAirportScanLog();
}

bool lf_processBglViaFacilities(const fs::path& file, std::optional<fs::path>& unreadFile) {
  ScenerySource source(file);
  gf_addAirportScanMessage(fmt::format("\nFac: {}", source.pathText));
  source.manifest = gf_searchManifest(file);
  std::optional<IcaoCode> code = lf_airportCodeOfSource(source, lf_codeTests());
  if (!code) code = lf_airportCodeOfSource(source, lf_knownCodeTests());
  if (!code) return false;
  if (!gf_isRTWeeklyAirport(*code)) {
    gf_addAirportScanMessage(
        fmt::format("facilities reader: {} has no Real Traffic traffic file (this week)", *code));
    return true;
  }
  source.code = *code;
  if (lf_linkToArchive(source)) {
    gf_postScanFileCounts();
    return true;
  }
  if (source.manifest && !lf_manifestHasUsableMaker(*source.manifest)) return false;
  try {
    BglAirport airport;
    std::uint32_t helipads = 0;
    if (gf_readFacilityStands(std::string(code->text()), code->text(), "", airport, helipads)) {
      lf_writeGeneratedStandFile(source, airport, static_cast<std::int32_t>(helipads));
      gf_postScanFileCounts();
      return true;
    }
  } catch (const std::exception& e) {
    gf_addAirportScanMessage(fmt::format("Reading Facilites data for {} via SimConnect failed: {}", *code, e.what()));
    gf_closeParkingDataReader();
  }
  const std::string line = fmt::format("Reading Facilites data for {} via SimConnect failed, is MSFS connected?", *code);
  gf_log(line);
  gf_addAirportScanMessage(line);
  gf_updateAirportScanLog();
  unreadFile = gf_scanTargetFolder(source.publisher) / gf_icaoXmlName(source.code);
  return false;
}

std::vector<std::uint8_t> lf_readFileWords(std::istream& in) {
  std::vector<std::uint8_t> bytes;
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  if (!in || end < 4) return bytes;
  bytes.resize(static_cast<std::size_t>(end) / 4 * 4);
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) bytes.clear();
  return bytes;
}

void lf_processBGLfile(const fs::path& file) {
  BglPhaseTimer timer(file, "opening");
  try {
    std::ifstream in(file, std::ios::binary);
    if (!in) return;
    timer.phase("reading");
    const std::vector<std::uint8_t> bytes = lf_readFileWords(in);
    if (bytes.empty()) {
      timer.phase("empty");
      return;
    }
    timer.phase("enumerating");
    const BglRecords found = lf_enumerateBglAirportRecords(bytes);
    if (const auto* error = std::get_if<BglParseError>(&found)) {
      timer.phase("parse error");
      // Kinds 0 and 1: no BGL file of this layout, nothing to report.
      if (error->kind > 1)
        gf_logWarning(fmt::format("BGL airport section parse error at byte {} in '{}': {}", error->offset,
                                  gf_pathToUtf8(file), error->message));
      return;
    }
    timer.phase("processing records");
    for (const BglRecordRef& record : std::get<std::vector<BglRecordRef>>(found)) {
      if (record.id != kBglAirportRecordId) continue;
      const std::optional<std::uint32_t> ident = gf_bglAirportIdent(bytes, record);
      if (!ident) {
        gf_logWarning(fmt::format("Airport record at byte {} is too small to contain an ICAO", record.offset));
        continue;
      }
      const BglIdent decoded = lf_decodeBglIdent(*ident);
      if (!decoded.ok) continue;
      const IcaoCode code(decoded.text);
      if (gf_isRTWeeklyAirport(code)) lf_processBglAirportRecord(bytes, record, code, file);
    }
    timer.phase("complete");
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("Exception in lf_processBGLfile (std::ex): {} \u2014 {}", gf_pathToUtf8(file), e.what()));
  } catch (...) {
    gf_logWarning(fmt::format("Exception in lf_processBGLfile: {}", gf_pathToUtf8(file)));
  }
}

void lf_processBglAirportRecord(BglBytes file, const BglRecordRef& record, IcaoCode code, const fs::path& path) {
  ScenerySource source(path);
  source.code = code;
  source.manifest = gf_searchManifest(path);
  if (lf_linkToArchive(source)) {
    gf_postScanFileCounts();
    return;
  }
  if (source.manifest && !lf_manifestHasUsableMaker(*source.manifest)) return;
  BglAirportRead read = gf_readBglAirportRecord(file, record);
  if (read.airport.stands.empty()) return;
  read.airport.code = code;
  lf_writeGeneratedStandFile(source, read.airport, static_cast<std::int32_t>(read.helipadCount),
                             StandSource::bglRecords);
  gf_postScanFileCounts();
}
