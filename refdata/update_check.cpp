#include "refdata/update_check.h"

#include <fmt/format.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>

#include "config/keys.h"
#include "core/log.h"
#include "core/text.h"
#include "core/user_exception.h"
#include "refdata/airports.h"
#include "refdata/downloader.h"
#include "refdata/enc_file.h"
#include "refdata/enc_xml.h"
#include "refdata/weekly_traffic.h"

namespace fs = std::filesystem;
using nlohmann::json;

std::atomic<bool> g_serverMaintenance{false};

namespace {

constexpr std::uintmax_t kMaxVersionsJsonBytes = 1048576;

struct DataSetFile {
  std::string_view key;        // member of versions.json
  std::string_view fileName;   // in input/ and under "input/" on the server
  std::string_view parameter;  // holds the installed version
  std::uint64_t plainLimit;    // its reader's limit on the plaintext
};

std::optional<VersionData> lf_webVersion(const json& versions, std::string_view key) {
  const auto found = versions.find(key);
  if (found == versions.end()) {
    gf_logWarning(fmt::format("{} version not found", key));
    return std::nullopt;
  }
  if (!found->is_object()) {
    gf_logWarning(fmt::format("Invalid web version data for '{}'", key));
    return std::nullopt;
  }
  std::uint32_t numbers[3] = {0, 0, 0};
  const char* names[3] = {"major", "minor", "patch"};
  for (int i = 0; i < 3; ++i) {
    const auto member = found->find(names[i]);
    // A version number is a whole number that fits the version's 32 bits; 1.5, -1 and "2" are not.
    bool valid = member != found->end() && member->is_number_integer();
    if (valid && member->is_number_unsigned()) {
      valid = member->get<std::uint64_t>() <= std::numeric_limits<std::uint32_t>::max();
    } else if (valid) {
      const std::int64_t value = member->get<std::int64_t>();
      valid = value >= 0 && value <= std::int64_t{std::numeric_limits<std::uint32_t>::max()};
    }
    if (!valid) {
      gf_logWarning(fmt::format("Invalid web version numbers for '{}'", key));
      return std::nullopt;
    }
    numbers[i] = static_cast<std::uint32_t>(member->get<std::int64_t>());
  }
  return VersionData(numbers[0], numbers[1], numbers[2]);
}

void lf_logUpToDate(std::string_view key) { gf_log(fmt::format("{} version up-to-date", key)); }

void lf_updateDataSetFile(const json& versions, const DataSetFile& dataSet, const VersionData& installed,
                          bool fileMissing, const UpdateCheckSetup& setup) {
  const std::optional<VersionData> web = lf_webVersion(versions, dataSet.key);
  if (!web) return;
  if (*web <= installed && !fileMissing) {
    lf_logUpToDate(dataSet.key);
    return;
  }
  // Only a data set its reader can open replaces the installed one; a refused one keeps the
  // old file and version, so the next start tries again.
  const auto check = [&dataSet](const fs::path& downloaded) {
    return gf_checkEncXmlFile(downloaded, dataSet.plainLimit);
  };
  if (!gf_downloadInputFile(fs::path(dataSet.fileName), setup.inputFolder / dataSet.fileName,
                            gf_encFileBytesFor(dataSet.plainLimit), check))
    return;
  setup.versionStore->saveVersion(dataSet.parameter, fmt::format("{}", *web));
  gf_log(fmt::format("{} updated to {}", dataSet.key, *web));
}

constexpr std::array<DataSetFile, 5> kDataSets{{
    {"airports", "airports.enc", "AIRPORTS_VERSION", kAirportsPlainLimit},
    {"aig", "AIG-regcodes.enc", "AIG_VERSION", kAigRegcodesPlainLimit},
    {"archives", "archives.enc", "ARCHIVES_VERSION", kArchivesPlainLimit},
    {"dbase", "dbase.enc", "DBASE_VERSION", kDbasePlainLimit},
    {"weekly", "wktraffic.enc", "WEEKLY_TRAFFIC_AIRPORTS_VERSION", kWeeklyTrafficPlainLimit},
}};

// The five updaters differ only in their data set.
void lf_updateAirportsFile(const json& v, const VersionData& installed, bool missing, const UpdateCheckSetup& s) {
  lf_updateDataSetFile(v, kDataSets[0], installed, missing, s);
}
void lf_updateAigRegcodesFile(const json& v, const VersionData& installed, bool missing, const UpdateCheckSetup& s) {
  lf_updateDataSetFile(v, kDataSets[1], installed, missing, s);
}
void lf_updateArchivesFile(const json& v, const VersionData& installed, bool missing, const UpdateCheckSetup& s) {
  lf_updateDataSetFile(v, kDataSets[2], installed, missing, s);
}
void lf_updateDbaseFile(const json& v, const VersionData& installed, bool missing, const UpdateCheckSetup& s) {
  lf_updateDataSetFile(v, kDataSets[3], installed, missing, s);
}
void lf_updateWeeklyFile(const json& v, const VersionData& installed, bool missing, const UpdateCheckSetup& s) {
  lf_updateDataSetFile(v, kDataSets[4], installed, missing, s);
}

using Updater = void (*)(const json&, const VersionData&, bool, const UpdateCheckSetup&);
constexpr std::array<Updater, 5> kUpdaters{lf_updateAirportsFile, lf_updateAigRegcodesFile, lf_updateArchivesFile,
                                           lf_updateDbaseFile, lf_updateWeeklyFile};

void lf_removeVersionsFile(const fs::path& file) {
  std::error_code ec;
  fs::remove(file, ec);
  if (ec) gf_logWarning(fmt::format("Could not remove versions.json: {}", ec.message()));
}

// versions.json fetched, checked and parsed; a discarded value after any failure (logged).
json lf_fetchVersions(const UpdateCheckSetup& setup) {
  if (gf_makerBaseUrl().empty()) {
    gf_log("The maker's web address is not set (JORV_MAKER_URL): the update check is skipped");
    return json(json::value_t::discarded);
  }
  const fs::path file = setup.programFolder / "versions.json";
  CurlHandle handle = gf_newTransferHandle();
  if (!gf_downloadFile(handle.get(), gf_makerBaseUrl() + "versions.json", file, false, kMaxVersionsJsonBytes)) {
    gf_logWarning("Downloading version info from my web site failed!");
    return json(json::value_t::discarded);
  }
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec) {
    gf_logWarning(fmt::format("Could not inspect versions.json: {}", ec.message()));
    lf_removeVersionsFile(file);
    return json(json::value_t::discarded);
  }
  if (size > kMaxVersionsJsonBytes) {
    gf_logWarning(fmt::format("versions.json is unexpectedly large: {} bytes", size));
    lf_removeVersionsFile(file);
    return json(json::value_t::discarded);
  }
  json versions;
  {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      gf_logWarning("Cannot open versions.json");
      lf_removeVersionsFile(file);
      return json(json::value_t::discarded);
    }
    versions = json::parse(in, nullptr, false);
  }
  lf_removeVersionsFile(file);
  if (!versions.is_object()) {
    gf_logWarning("Invalid versions.json received; update check skipped");
    return json(json::value_t::discarded);
  }
  return versions;
}

class ParameterVersionStore : public DataSetVersionStore {
 public:
  std::string installedVersion(std::string_view parameter) const override {
    const StringOption* option = optionOf(parameter);
    return option ? option->value.load() : std::string();
  }
  void saveVersion(std::string_view parameter, const std::string& version) override {
    if (StringOption* option = optionOf(parameter)) option->setAndSave(version);
  }

 private:
  static StringOption* optionOf(std::string_view parameter) {
    for (StringOption* option : {&AIRPORTS_VERSION, &AIG_VERSION, &ARCHIVES_VERSION, &DBASE_VERSION,
                                 &WEEKLY_TRAFFIC_AIRPORTS_VERSION}) {
      if (option->name == parameter) return option;
    }
    return nullptr;
  }
};

}  // namespace

DataSetVersionStore& gf_parameterVersionStore() {
  static ParameterVersionStore store;
  return store;
}

UpdateCheckResult gf_runUpdateCheck(const UpdateCheckSetup& setup) {
  if (!setup.versionStore) throw std::invalid_argument("gf_runUpdateCheck: no data-set version store");
  UpdateCheckResult result;
  const json versions = lf_fetchVersions(setup);
  if (!versions.is_object()) return result;

  if (const auto web = lf_webVersion(versions, "msfs")) {
    gf_log(fmt::format("{} program version at web = {}", "msfs", *web));
    if (*web > g_programVersion) {
      result.outcome = UpdateCheckOutcome::NewProgramVersion;
      result.webProgramVersion = *web;
      return result;
    }
    lf_logUpToDate("msfs");
  }

  if (const auto maintenance = lf_webVersion(versions, "maintenance")) {
    if (!maintenance->unknown()) {
      g_serverMaintenance = true;
      result.outcome = UpdateCheckOutcome::Maintenance;
      return result;
    }
    lf_logUpToDate("maintenance");
  }

  for (std::size_t i = 0; i < kDataSets.size(); ++i) {
    const bool fileMissing = !fs::exists(setup.inputFolder / kDataSets[i].fileName);  // throws when unknowable
    const std::string installedText = setup.versionStore->installedVersion(kDataSets[i].parameter);
    const VersionData installed = installedText.empty() ? VersionData() : VersionData(installedText);
    kUpdaters[i](versions, installed, fileMissing, setup);
  }
  return result;
}

bool gf_checkForUpdates(const UpdateCheckSetup& setup) {
  const UpdateCheckResult result = gf_runUpdateCheck(setup);
  switch (result.outcome) {
    case UpdateCheckOutcome::NewProgramVersion: {
      ProgramUpdateSetup programUpdate = setup.programUpdate;
      if (programUpdate.programFolder.empty()) programUpdate.programFolder = setup.programFolder;
      return gf_updateProgram(result.webProgramVersion, programUpdate);
    }
    case UpdateCheckOutcome::Maintenance:
      throw jrv::UserRelatedException(kMaintenanceErrorCode, kMaintenanceText);
    case UpdateCheckOutcome::GoOn:
      break;
  }
  return true;
}

void gf_resetUpdateCheckState() { g_serverMaintenance = false; }
