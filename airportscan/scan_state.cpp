#include "airportscan/scan_state.h"

#include <fstream>

#include "config/program_folders.h"
#include "core/text_file.h"

std::vector<std::vector<std::string>> g_publisherGroups;
std::map<std::string, std::string> g_rejectedManifestPublishers;
std::set<std::string> g_simaddonAirports;
std::vector<ThirdPartyPublisher> g_thirdPartyArchives;
std::vector<std::string> g_airportScanMessages;
std::array<std::set<std::string>, 2> g_scanFolderFiles;
AirportScanTransaction* g_airportScanTransaction = nullptr;

namespace {

// What the scan log holds: the list's first lines, in this many bytes.
std::size_t g_scanLogLines = 0;
std::uintmax_t g_scanLogBytes = 0;

}  // namespace

void gf_addAirportScanMessage(const std::string& line) { g_airportScanMessages.push_back(line); }

const std::filesystem::path& gf_airportsScanLogPath() {
  static const std::filesystem::path path = g_infoFolder / "AirportsScanLog.txt";
  return path;
}

bool gf_writeAirportScanLog() {
  std::error_code ignored;
  std::filesystem::create_directories(gf_airportsScanLogPath().parent_path(), ignored);
  g_scanLogLines = 0;
  g_scanLogBytes = 0;
  if (!gf_writeLines(g_airportScanMessages, gf_airportsScanLogPath())) return false;
  g_scanLogLines = g_airportScanMessages.size();
  for (const std::string& line : g_airportScanMessages) g_scanLogBytes += line.size() + 1;
  return true;
}

bool gf_updateAirportScanLog() {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(gf_airportsScanLogPath(), error);
  // Anything but the file last written by this list: written whole.
  if (error || size != g_scanLogBytes || g_scanLogLines == 0 || g_scanLogLines > g_airportScanMessages.size())
    return gf_writeAirportScanLog();
  std::ofstream out(gf_airportsScanLogPath(), std::ios::binary | std::ios::app);
  std::uintmax_t bytes = g_scanLogBytes;
  for (std::size_t i = g_scanLogLines; i < g_airportScanMessages.size(); ++i) {
    out << g_airportScanMessages[i] << '\n';
    bytes += g_airportScanMessages[i].size() + 1;
  }
  if (!out.flush()) return gf_writeAirportScanLog();
  g_scanLogLines = g_airportScanMessages.size();
  g_scanLogBytes = bytes;
  return true;
}

void gf_resetAirportScanState() {
  g_publisherGroups.clear();
  g_rejectedManifestPublishers.clear();
  g_simaddonAirports.clear();
  g_thirdPartyArchives.clear();
  g_airportScanMessages.clear();
  g_airportScanTransaction = nullptr;
  for (std::set<std::string>& files : g_scanFolderFiles) files.clear();
  g_scanLogLines = 0;
  g_scanLogBytes = 0;
}
