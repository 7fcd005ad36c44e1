#include "config/program_folders.h"

#include <mutex>

#include "config/sim_choice.h"
#include "core/log.h"

namespace fs = std::filesystem;

namespace {

std::mutex g_programFolderMutex;
std::optional<fs::path> g_resolvedProgramFolder;  // under g_programFolderMutex

std::mutex g_shellOpenerMutex;
std::function<bool(const fs::path&)> g_shellOpener;  // under g_shellOpenerMutex; empty: the desktop's

fs::path lf_programFolder() {
  std::lock_guard lock(g_programFolderMutex);
  if (!g_resolvedProgramFolder) g_resolvedProgramFolder = gf_appDataFolder() / "JORV";
  return *g_resolvedProgramFolder;
}

}  // namespace

fs::path PerUserPath::get() const {
  fs::path folder = lf_programFolder();
  return leaf.empty() ? folder : folder / leaf;
}

const PerUserPath g_programFolder{fs::path()};
const PerUserPath g_parametersPath{fs::path("parameters.xml")};

const fs::path g_inputFolder = "input";
const fs::path g_outputFolder = "output";
const fs::path g_infoFolder = fs::path("output") / "info";
const fs::path g_errorsFolder = fs::path("output") / "errors";
const fs::path g_airportsFolder = "airports";
const fs::path g_learnedFolder = fs::path("airports") / "learned";
const fs::path g_learnedStockFolder = fs::path("airports") / "learned" / "stock";
const fs::path g_learnedSimaddonFolder = fs::path("airports") / "learned" / "simaddon";
const fs::path g_learnedThirdpartyFolder = fs::path("airports") / "learned" / "thirdparty";
const fs::path g_mySimaddonFolder = fs::path("airports") / "my_simaddon";
const fs::path g_myThirdpartyFolder = fs::path("airports") / "my_thirdparty";
const fs::path g_parkAirportFile = fs::path("airports") / "park_airport.xml";
const fs::path g_myRegcodesFolder = fs::path("input") / "my_regcodes";
const fs::path g_objectIdListFile = fs::path("output") / "info" / "ObjectIdList.txt";
const fs::path g_liveriesScanned2020File = fs::path("output") / "LiveriesScanned_MSFS2020.xml";
const fs::path g_liveriesScanned2024File = fs::path("output") / "LiveriesScanned_MSFS2024.xml";
const fs::path g_dbaseEncName = "dbase.enc";
const fs::path g_aigRegcodesEncName = "AIG-regcodes.enc";
const fs::path g_airportsEncName = "airports.enc";
const fs::path g_archivesEncName = "archives.enc";
const fs::path g_wktrafficEncName = "wktraffic.enc";
const fs::path g_dbaseEncFile = fs::path("input") / "dbase.enc";
const fs::path g_aigRegcodesEncFile = fs::path("input") / "AIG-regcodes.enc";
const fs::path g_airportsEncFile = fs::path("input") / "airports.enc";
const fs::path g_archivesEncFile = fs::path("input") / "archives.enc";
const fs::path g_wktrafficEncFile = fs::path("input") / "wktraffic.enc";
const fs::path g_docsFolder = "docs";
const fs::path g_newVersionFolder = "new_version";
const fs::path g_tbloFolder = "tblo";
const fs::path g_tbloZipName = "tblo.zip";
const fs::path g_releaseNotesFile = "ReleaseNotes.pdf";
const fs::path g_installerFile = "install_new_version.exe";
const fs::path g_realTrafficAppFolderName = "InsideSystems";
const fs::path g_realTrafficLicName = "RealTraffic.lic";

std::optional<fs::path> gf_knownFolderPath(os::KnownFolder folder) {
  fs::path path = os::knownFolderPath(folder);
  if (path.empty()) return std::nullopt;
  return path;
}

fs::path gf_appDataFolder() {
  if (auto path = gf_knownFolderPath(os::KnownFolder::RoamingAppData)) return *path;
  gf_logWarning("Could not find the AppData path");
  return {};
}

fs::path gf_localAppDataFolder() {
  if (auto path = gf_knownFolderPath(os::KnownFolder::LocalAppData)) return *path;
  gf_logWarning("Could not find the Local AppData path");
  return {};
}

fs::path gf_liveriesScannedFile() { return gf_isMsfs2020() ? g_liveriesScanned2020File : g_liveriesScanned2024File; }

bool gf_shellOpen(const fs::path& file) {
  std::error_code error;
  const fs::file_status status = fs::status(file, error);
  if (error && status.type() != fs::file_type::not_found) throw fs::filesystem_error("exists", file, error);
  if (!fs::exists(status)) return false;
  const fs::path folder = file.parent_path();
  if (folder.empty()) return false;
  std::function<bool(const fs::path&)> opener;
  {
    std::lock_guard lock(g_shellOpenerMutex);
    opener = g_shellOpener;
  }
  return opener ? opener(folder) : os::shellOpen(folder);
}

void gf_resetProgramFolders() {
  std::lock_guard lock(g_programFolderMutex);
  g_resolvedProgramFolder.reset();
}

void gf_setShellOpenerForTest(std::function<bool(const fs::path&)> opener) {
  std::lock_guard lock(g_shellOpenerMutex);
  g_shellOpener = std::move(opener);
}
