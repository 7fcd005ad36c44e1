#include "parking/airport_file_read.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <exception>
#include <fstream>

#include "config/keys.h"
#include "config/options.h"
#include "config/program_folders.h"
#include "config/xml_helpers.h"
#include "config/xml_meta.h"
#include "core/background_saver.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/text.h"
#include "core/text_file.h"
#include "core/user_exception.h"
#include "parking/apf_file.h"
#include "parking/stand_download.h"
#include "platform/ui.h"
#include "refdata/airports.h"

namespace fs = std::filesystem;

namespace {

constexpr double kRadiansPerDegree = geo::kPi / 180.0;

bool lf_exists(const fs::path& path) {
  std::error_code ignored;
  return fs::exists(path, ignored);
}

bool lf_endsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                    });
}

// The first line of a redirect file names the stand file to use; it is not checked for existence.
std::optional<fs::path> lf_readRedirect(const fs::path& file) {
  TextFile text{file, {}};
  const auto read = text.readLines(4);
  const auto* lines = std::get_if<std::span<const std::string>>(&read);
  if (!lines || lines->empty()) return std::nullopt;
  std::string line = gf_trim(lines->front());
  if (line.size() < 4 || !(lf_endsWithNoCase(line, ".xml") || lf_endsWithNoCase(line, ".enc"))) return std::nullopt;
  // Redirects written on Windows separate their folders with '\'.
  std::replace(line.begin(), line.end(), '\\', '/');
  return fs::path(line);
}

pugi::xml_node lf_parametersNode(pugi::xml_document& document) {
  pugi::xml_node root = document.child("root");
  pugi::xml_node top = root ? root : static_cast<pugi::xml_node>(document);
  pugi::xml_node parameters = top.child("parameters");
  return parameters ? parameters : top.append_child("parameters");
}

void lf_numberStands(std::vector<Stand>& stands) {
  for (std::size_t i = 0; i < stands.size(); ++i) {
    stands[i].id = static_cast<std::uint32_t>(i + 1);
    stands[i].excludes.clear();
  }
  for (std::size_t i = 0; i < stands.size(); ++i) {
    for (std::size_t j = i + 1; j < stands.size(); ++j) {
      const Lalo& a = stands[i].position;
      const Lalo& b = stands[j].position;
      const double dLat = (a.lat - b.lat) * 60.0;
      const double dLon = (a.lon - b.lon) * std::cos((a.lat + b.lat) / 2.0 * kRadiansPerDegree) * 60.0;
      const double reach = stands[i].radius + stands[j].radius;
      // Centres closer than (r1 + r2) / 1.1: the two cannot both be used.
      if (1.21 * (dLat * dLat + dLon * dLon) < reach * reach) {
        stands[i].excludes.push_back(static_cast<std::int32_t>(stands[j].id));
        stands[j].excludes.push_back(static_cast<std::int32_t>(stands[i].id));
      }
    }
  }
}

// The cache holds only fetched archive copies and records which archive path, so that nothing
// else (a user or generated file that names the same airport) is ever served for an archive path.
void lf_updateCache(pugi::xml_document& document, const fs::path& requested) {
  const std::string cache = gf_pathToUtf8(g_parkAirportFile);
  pugi::xml_node parameters = lf_parametersNode(document);
  for (pugi::xml_node old; (old = parameters.find_child_by_attribute("parameter", "name", kCacheArchivePathParameter));)
    parameters.remove_child(old);
  pugi::xml_node record = parameters.append_child("parameter");
  if (!record || !gf_appendXmlAttribute(record, "name", kCacheArchivePathParameter) ||
      !gf_addXmlAttribute(record, "value", requested.generic_string())) {
    gf_logWarning(fmt::format("could not update airport cache '{}'", cache));
    return;
  }
  std::optional<std::string> text = gf_xmlText(document);
  if (!text) {
    gf_logWarning(fmt::format("could not update airport cache '{}'", cache));
    return;
  }
  // Written by the saver; the next read of the cache waits for it (gf_awaitSave).
  BackgroundSave save{g_parkAirportFile, std::move(*text), true, false, {}};
  save.done = [cache](bool ok, const std::string& error) {
    if (!ok) gf_logWarning(fmt::format("could not update airport cache '{}': {}", cache, error));
  };
  gf_queueSave(std::move(save));
}

void lf_layLearnedFile(AirportFileData& data) {
  const fs::path file = lf_shortIcaoPath(data.requestedPath);
  std::optional<fs::path> learned = lf_learnedPathFor(file, data.publisher);
  // A file from elsewhere (a redirect out of the tree) learns where its publisher's files do.
  if (!learned && !file.empty())
    learned = lf_learnedPathFor(lf_learnedBasePath(data.publisher, file.filename()), data.publisher);
  if (!learned) return;
  data.learnedPath = *learned;
  gf_awaitSave(*learned);  // a visit's learning saved just before
  if (!lf_exists(*learned)) return;
  auto read = gf_readLearnedAirportFile(*learned, data.airportName, data.stands);
  if (const auto* error = std::get_if<std::string>(&read)) {
    gf_logWarning(*error);
    return;
  }
  LearnedAirportData& overlay = std::get<LearnedAirportData>(read);
  data.stands = std::move(overlay.stands);
  data.handmade = overlay.handmade;
  data.learned = overlay.settings;
  data.learnedLoaded = true;
  data.quality = gf_standFileScores(data.stands);
}

// Everything but the clean-up; fetchedCopy and fromCache tell the caller what to remove.
std::variant<AirportFileData, std::string> lf_readAirportFile(const fs::path& requested, fs::path& fetchedCopy,
                                                              bool& fromCache, const DownloadedAirportFile* fetched) {
  AirportFileData data;
  data.requestedPath = requested;
  fs::path file;
  bool encrypted = false;
  gf_awaitSave(g_parkAirportFile);
  if (lf_exists(g_parkAirportFile)) {
    const std::optional<ArchiveIdentity> cached = lf_readCacheIdentity();
    const std::optional<ArchiveIdentity> wanted = lf_archiveIdentity(requested);
    if (cached && wanted && *cached == *wanted) {
      gf_log(fmt::format("cached: '{}' is taken instead of '{}'", gf_pathToUtf8(g_parkAirportFile),
                         gf_pathToUtf8(requested)));
      file = g_parkAirportFile;
      data.source = ApfSource::cache;
      fromCache = true;
    }
  }
  if (fetched && fetched->fetched) fetchedCopy = fetched->localPath;  // removed whatever comes of the read
  if (!fromCache) {
    DownloadedAirportFile download = fetched ? *fetched : gf_downloadAirportFile(requested, true);
    if (!download.error.empty()) return download.error;
    if (download.fetched) {
      fetchedCopy = download.localPath;
      file = download.localPath;
      encrypted = download.encrypted;
      data.source = ApfSource::fetched;
    } else {
      file = requested;
    }
  }
  data.loadedPath = file;

  SecureBuffer buffer;  // before the document: it outlives it
  pugi::xml_document document;
  if (auto error = gf_loadApfXml(file, encrypted, buffer, document)) return *error;
  if (!gf_readXmlMeta(document, false)) return fmt::format("{}: refused to load", gf_pathToUtf8(requested));

  data.rtTrafficWeek = gf_getIntParameter(document, "RT_traffic_week").value_or(0);
  data.publisher = gf_readXmlParameterString(document, "publisher").value_or("");
  data.version = gf_readXmlParameterString(document, "version");
  const std::optional<std::int32_t> altitude = gf_getIntParameter(document, "altitude");
  if (!altitude) throw jrv::UserRelatedException(65, fmt::format("Parameter {} not found", "altitude"));
  data.altitude = *altitude;
  data.airportName = gf_readXmlParameterString(document, "airport_name").value_or("");
  gf_parseParkPositions(document, data.stands);
  const auto real = gf_getIntParameter(document, "Qf_real");
  const auto soft = gf_getIntParameter(document, "Qf_soft");
  if (real || soft) data.quality = StandFileScores{real.value_or(0), soft.value_or(0)};

  lf_layLearnedFile(data);
  lf_numberStands(data.stands);
  if (data.stands.empty()) gf_log("no stands found in the airport file");
  if (FLUSH_BUTTON.window != ui::Hwnd::null) ui::enableWindow(FLUSH_BUTTON.window, !data.stands.empty());
  if (data.source == ApfSource::fetched) lf_updateCache(document, requested);
  return data;
}

}  // namespace

std::optional<fs::path> gf_findAirportFile(IcaoCode code) {
  for (const fs::path& folder : {g_myThirdpartyFolder, g_mySimaddonFolder}) {
    if (auto redirect = lf_readRedirect(folder / gf_icaoTxtName(code))) return redirect;
    const fs::path xml = folder / gf_icaoXmlName(code);
    if (lf_exists(xml)) return xml;
  }
  if (gf_isKnownAirport(code)) return fs::path("archive") / "stock" / gf_icaoEncName(code);
  return std::nullopt;
}

bool gf_hasAirportData(IcaoCode code) {
  for (const fs::path& folder : {g_myThirdpartyFolder, g_mySimaddonFolder})
    if (lf_exists(folder / gf_icaoXmlName(code)) || lf_exists(folder / gf_icaoTxtName(code))) return true;
  return gf_isKnownAirport(code);
}

std::optional<std::string> gf_loadApfXml(const fs::path& path, bool encrypted, SecureBuffer& buffer,
                                         pugi::xml_document& document) {
  const std::string name = gf_pathToUtf8(path);
  pugi::xml_parse_result parsed;
  if (encrypted) {
    EncReadResult read = gf_readEncFile(path, kApfPlainLimit);
    if (!read.ok()) return read.message();
    buffer = std::move(read.buffer());
    parsed = document.load_buffer_inplace(buffer.data(), buffer.size());
  } else {
    std::ifstream in(path, std::ios::binary);
    if (!in) return fmt::format("{} could not be opened", name);
    parsed = document.load(in);
  }
  if (const std::string problem = gf_xmlLoadProblem(parsed, document); !problem.empty())
    return fmt::format("{} not loaded: {}", name, problem);
  return std::nullopt;
}

std::optional<ArchiveIdentity> lf_readCacheIdentity() {
  gf_awaitSave(g_parkAirportFile);
  const std::string name = gf_pathToUtf8(g_parkAirportFile);
  std::ifstream in(g_parkAirportFile, std::ios::binary);
  if (!in) {
    gf_log(fmt::format("{} could not be opened", name));
    return std::nullopt;
  }
  pugi::xml_document document;
  if (const std::string problem = gf_xmlLoadProblem(document.load(in), document); !problem.empty()) {
    gf_log(fmt::format("{} not loaded: {}", name, problem));
    return std::nullopt;
  }
  const std::optional<std::string> archivePath = gf_readXmlParameterString(document, kCacheArchivePathParameter);
  if (!archivePath) return std::nullopt;
  return lf_archiveIdentity(fs::path(*archivePath));
}

bool gf_parkAirportFileNeedsFetch(const fs::path& requestedPath) {
  if (requestedPath.begin() == requestedPath.end() || *requestedPath.begin() != "archive") return false;
  gf_awaitSave(g_parkAirportFile);
  if (!lf_exists(g_parkAirportFile)) return true;
  const std::optional<ArchiveIdentity> cached = lf_readCacheIdentity();
  const std::optional<ArchiveIdentity> wanted = lf_archiveIdentity(requestedPath);
  return !(cached && wanted && *cached == *wanted);
}

std::variant<AirportFileData, std::string> gf_readAirportFile(const fs::path& requestedPath,
                                                              const DownloadedAirportFile* fetched) {
  fs::path fetchedCopy;
  bool fromCache = false;
  bool succeeded = false;
  // A fetched copy never stays; a cache that failed to read is dropped so the next read fetches.
  struct CleanUp {
    const fs::path& fetched;
    const bool& cache;
    const bool& ok;
    ~CleanUp() {
      std::error_code ignored;
      if (!fetched.empty()) fs::remove(fetched, ignored);
      if (cache && !ok) fs::remove(g_parkAirportFile, ignored);
    }
  } cleanUp{fetchedCopy, fromCache, succeeded};
  try {
    auto result = lf_readAirportFile(requestedPath, fetchedCopy, fromCache, fetched);
    succeeded = std::holds_alternative<AirportFileData>(result);
    return result;
  } catch (const std::exception& e) {
    return fmt::format("{}: {}", "gf_readAirportFile", e.what());
  } catch (...) {
    return fmt::format("{}: unknown exception", "gf_readAirportFile");
  }
}
