#pragma once
// Where the program keeps its files: the settings in a per-user folder, everything else in the
// program's own folder (the current directory; the worker checks that docs/ is there).
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/os.h"

// A path under the per-user folder. Resolved on first use rather than at static construction,
// because the folder comes from the environment (JORV_APPDATA in tests); fixed from then on.
// Readable from any thread.
class PerUserPath {
 public:
  explicit PerUserPath(std::filesystem::path leafPath) : leaf(std::move(leafPath)) {}
  PerUserPath(const PerUserPath&) = delete;
  PerUserPath& operator=(const PerUserPath&) = delete;

  std::filesystem::path get() const;
  operator std::filesystem::path() const { return get(); }  // NOLINT: stands in for a path
  std::string string() const { return get().string(); }
  friend std::filesystem::path operator/(const PerUserPath& base, const std::filesystem::path& more) {
    return base.get() / more;
  }

 private:
  std::filesystem::path leaf;  // empty for the folder itself
};

extern const PerUserPath g_programFolder;   // roaming AppData / "JORV"
extern const PerUserPath g_parametersPath;  // g_programFolder / "parameters.xml"

// Relative paths in the program's folder.
extern const std::filesystem::path g_inputFolder;
extern const std::filesystem::path g_outputFolder;
extern const std::filesystem::path g_infoFolder;
extern const std::filesystem::path g_errorsFolder;
extern const std::filesystem::path g_airportsFolder;
extern const std::filesystem::path g_learnedFolder;
extern const std::filesystem::path g_learnedStockFolder;
extern const std::filesystem::path g_learnedSimaddonFolder;
extern const std::filesystem::path g_learnedThirdpartyFolder;
extern const std::filesystem::path g_mySimaddonFolder;
extern const std::filesystem::path g_myThirdpartyFolder;
extern const std::filesystem::path g_parkAirportFile;
extern const std::filesystem::path g_myRegcodesFolder;
extern const std::filesystem::path g_objectIdListFile;
extern const std::filesystem::path g_liveriesScanned2020File;
extern const std::filesystem::path g_liveriesScanned2024File;
extern const std::filesystem::path g_dbaseEncFile;
extern const std::filesystem::path g_aigRegcodesEncFile;
extern const std::filesystem::path g_airportsEncFile;
extern const std::filesystem::path g_archivesEncFile;
extern const std::filesystem::path g_wktrafficEncFile;
extern const std::filesystem::path g_docsFolder;
extern const std::filesystem::path g_newVersionFolder;
extern const std::filesystem::path g_tbloFolder;
extern const std::filesystem::path g_tbloZipName;
extern const std::filesystem::path g_releaseNotesFile;
extern const std::filesystem::path g_installerFile;

// Bare names.
extern const std::filesystem::path g_dbaseEncName;
extern const std::filesystem::path g_aigRegcodesEncName;
extern const std::filesystem::path g_airportsEncName;
extern const std::filesystem::path g_archivesEncName;
extern const std::filesystem::path g_wktrafficEncName;
extern const std::filesystem::path g_realTrafficAppFolderName;  // "InsideSystems", under roaming AppData
extern const std::filesystem::path g_realTrafficLicName;        // "RealTraffic.lic"

std::optional<std::filesystem::path> gf_knownFolderPath(os::KnownFolder folder);
// Empty, after the warning "Could not find the AppData path", when the folder is unknown.
std::filesystem::path gf_appDataFolder();
std::filesystem::path gf_localAppDataFolder();

// The livery scan result of the chosen simulator.
std::filesystem::path gf_liveriesScannedFile();

// Shows the folder that holds the file. False when the file does not exist or has no folder
// part; throws std::filesystem::filesystem_error when its status cannot be queried.
bool gf_shellOpen(const std::filesystem::path& file);

// Tests: resolve the per-user paths afresh on next use; replace the desktop's opener (an
// empty function restores it).
void gf_resetProgramFolders();
void gf_setShellOpenerForTest(std::function<bool(const std::filesystem::path&)> opener);
