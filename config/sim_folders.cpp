#include "config/sim_folders.h"

#include <fmt/format.h>

#include <string>
#include <system_error>
#include <vector>

#include "config/keys.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "core/text.h"
#include "core/text_file.h"

namespace fs = std::filesystem;

namespace {

// Status queries that fail count as "not there": discovery must never throw.
bool lf_isDirectory(const fs::path& path) {
  std::error_code error;
  const auto status = fs::status(path, error);
  return !error && fs::is_directory(status);
}

fs::path lf_officialFolderName() { return gf_isMsfs2020() ? "Official" : "Official2024"; }

}  // namespace

fs::path gf_simPackageFamilyName() {
  return gf_isMsfs2020() ? "Microsoft.FlightSimulator_8wekyb3d8bbwe" : "Microsoft.Limitless_8wekyb3d8bbwe";
}

fs::path gf_simAppDataFolderName() {
  return gf_isMsfs2020() ? "Microsoft Flight Simulator" : "Microsoft Flight Simulator 2024";
}

std::array<fs::path, 4> gf_userCfgCandidates() {
  const fs::path local = gf_localAppDataFolder();
  const fs::path roaming = gf_appDataFolder();
  return {local / "Packages" / gf_simPackageFamilyName() / "LocalCache" / "UserCfg.opt",
          roaming / gf_simAppDataFolderName() / "UserCfg.opt",
          local / "Packages" / "Microsoft.FlightDashboard_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt",
          local / "MSFSPackages" / "UserCfg.opt"};
}

fs::path gf_findUserCfg() {
  for (const fs::path& candidate : gf_userCfgCandidates()) {
    std::error_code error;
    const auto status = fs::status(candidate, error);
    if (!error && status.type() != fs::file_type::not_found) return candidate;
  }
  return {};
}

fs::path gf_readInstalledPackagesPath() {
  const fs::path userCfg = gf_findUserCfg();
  std::error_code error;
  if (userCfg.empty() || !fs::exists(userCfg, error) || error) return {};

  std::vector<std::string> lines;
  lines.reserve(64);
  try {
    if (!gf_readTextFileLines(gf_detectTextEncoding(userCfg), userCfg, lines) || lines.empty()) return {};
  } catch (const std::exception& e) {
    gf_log(fmt::format("Reading {} failed: {}", gf_pathToUtf8(userCfg), gf_escapedText(e.what())));
    return {};
  }
  for (const std::string& line : lines) {
    if (line.find("InstalledPackagesPath") == std::string::npos) continue;
    const std::string value = gf_textBetweenQuotes(line);
    if (value.empty()) return {};
    fs::path folder = fs::path(value);
    return lf_isDirectory(folder) ? folder : fs::path();
  }
  return {};
}

bool gf_isPackagesFolder(const fs::path& folder) {
  if (folder.empty()) return false;
  return lf_isDirectory(folder) && lf_isDirectory(folder / "Community") &&
         lf_isDirectory(folder / lf_officialFolderName());
}

fs::path gf_findPackagesFolder() {
  const fs::path roaming = gf_appDataFolder();
  if (!roaming.empty()) {
    const fs::path steam = roaming / gf_simAppDataFolderName() / "Packages";
    if (lf_isDirectory(steam) && gf_isPackagesFolder(steam)) return steam;
  }
  if (fs::path fromUserCfg = gf_readInstalledPackagesPath(); gf_isPackagesFolder(fromUserCfg)) return fromUserCfg;
  return {};
}

std::optional<fs::path> gf_simInstallSubfolder(std::string_view name) {
  const fs::path& installPath = gf_isMsfs2020() ? MSFS_INSTALL_PATH.value : MSFS_2024_INSTALL_PATH.value;
  if (installPath.empty()) {
    gf_logWarning("Install path is empty?");
    return std::nullopt;
  }
  fs::path joined = installPath / fs::path(std::string(name));
  if (!lf_isDirectory(joined)) {
    gf_logWarning(fmt::format("'{}' does not exist or is not a directory.", gf_pathToUtf8(joined)));
    return std::nullopt;
  }
  return joined;
}
