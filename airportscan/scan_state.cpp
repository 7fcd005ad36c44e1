#include "airportscan/scan_state.h"

#include "config/program_folders.h"
#include "core/text_file.h"

std::vector<std::vector<std::string>> g_publisherGroups;
std::map<std::string, std::string> g_rejectedManifestPublishers;
std::set<std::string> g_simaddonAirports;
std::vector<ThirdPartyPublisher> g_thirdPartyArchives;
std::vector<std::string> g_airportScanMessages;
AirportScanTransaction* g_airportScanTransaction = nullptr;

void gf_addAirportScanMessage(const std::string& line) { g_airportScanMessages.push_back(line); }

const std::filesystem::path& gf_airportsScanLogPath() {
  static const std::filesystem::path path = g_infoFolder / "AirportsScanLog.txt";
  return path;
}

bool gf_writeAirportScanLog() {
  std::error_code ignored;
  std::filesystem::create_directories(gf_airportsScanLogPath().parent_path(), ignored);
  return gf_writeLines(g_airportScanMessages, gf_airportsScanLogPath());
}

void gf_resetAirportScanState() {
  g_publisherGroups.clear();
  g_rejectedManifestPublishers.clear();
  g_simaddonAirports.clear();
  g_thirdPartyArchives.clear();
  g_airportScanMessages.clear();
  g_airportScanTransaction = nullptr;
}
