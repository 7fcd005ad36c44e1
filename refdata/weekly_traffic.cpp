#include "refdata/weekly_traffic.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>

#include "config/program_folders.h"
#include "core/log.h"
#include "core/text.h"
#include "refdata/enc_xml.h"

std::vector<IcaoCode> g_rtWeeklyAirports;
std::shared_mutex g_rtWeeklyAirportsLock;

namespace {

using CodesOrError = std::variant<std::vector<IcaoCode>, std::string>;

CodesOrError lf_parseWeeklyTrafficXml(const pugi::xml_document& document) {
  const pugi::xml_node root = document.child("root");
  if (!root) return fmt::format("missing <{}> root element", "root");
  const pugi::xml_node section = root.child("traffic_airports");
  if (!section) return fmt::format("missing <{}> section", "traffic_airports");
  std::vector<IcaoCode> codes;
  for (const pugi::xml_node arp : section.children("arp")) {
    const pugi::xml_attribute c = arp.attribute("c");
    if (!c) return fmt::format("<{}> element has no '{}' attribute", "arp", "c");
    // gf_split trims each piece and drops the empty ones.
    for (const std::string& piece : gf_split(c.value(), ',')) {
      const std::optional<IcaoCode> code = gf_optionalIcaoCode(piece);
      if (!code) return fmt::format("invalid weekly traffic ICAO code '{}'", piece);
      codes.push_back(*code);
    }
  }
  if (codes.empty()) return fmt::format("<{}> contains no ICAO codes", "traffic_airports");
  std::sort(codes.begin(), codes.end());
  codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
  return codes;
}

}  // namespace

CodesOrError gf_readRTWeeklyAirportsFile() {
  const std::filesystem::path& path = g_wktrafficEncFile;
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error && error != std::errc::no_such_file_or_directory)
    return fmt::format("Could not inspect '{}': {}", gf_pathToUtf8(path), error.message());
  if (!std::filesystem::exists(status)) return fmt::format("'{}' not available", gf_pathToUtf8(path));

  EncReadResult plain = gf_readEncFile(path, kWeeklyTrafficPlainLimit);
  if (!plain.ok()) return plain.message();
  const auto xml = gf_parseEncXml(std::move(plain.buffer()));
  if (!xml->parse) return fmt::format("weekly traffic XML parse error: {}", xml->parse.description());
  CodesOrError parsed = lf_parseWeeklyTrafficXml(xml->document);
  if (auto* problem = std::get_if<std::string>(&parsed))
    return fmt::format("'{}' has invalid weekly traffic XML: {}", gf_pathToUtf8(path), *problem);
  gf_log(fmt::format("{} ICAO airports supported by RealTraffic read from '{}'",
                     std::get<std::vector<IcaoCode>>(parsed).size(), gf_pathToUtf8(path)));
  return parsed;
}

bool gf_loadRTWeeklyAirports() {
  CodesOrError read = gf_readRTWeeklyAirportsFile();
  if (auto* problem = std::get_if<std::string>(&read)) {
    gf_logWarning(*problem);
    std::unique_lock lock(g_rtWeeklyAirportsLock);
    g_rtWeeklyAirports.clear();
    return false;
  }
  std::unique_lock lock(g_rtWeeklyAirportsLock);
  g_rtWeeklyAirports.swap(std::get<std::vector<IcaoCode>>(read));
  return true;
}

bool gf_isRTWeeklyAirport(IcaoCode code) {
  std::shared_lock lock(g_rtWeeklyAirportsLock);
  return g_rtWeeklyAirports.empty() || std::binary_search(g_rtWeeklyAirports.begin(), g_rtWeeklyAirports.end(), code);
}

void gf_resetRTWeeklyAirportsForTest() {
  std::unique_lock lock(g_rtWeeklyAirportsLock);
  g_rtWeeklyAirports.clear();
}
