#pragma once
// The start-up's update check: versions.json from the maker's web server, the program's own
// version against the published one, a maintenance announcement, and the five data sets in
// input/ brought up to date with their installed versions saved.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/value_types.h"
#include "refdata/program_update.h"

// Set when the server announces maintenance; the stand-file download refuses to run from then on.
extern std::atomic<bool> g_serverMaintenance;

// Where the installed data-set versions live: the string parameters AIRPORTS_VERSION,
// AIG_VERSION, ARCHIVES_VERSION, DBASE_VERSION and WEEKLY_TRAFFIC_AIRPORTS_VERSION of
// parameters.xml, "{}.{}.{}" text, empty when none is installed.
class DataSetVersionStore {
 public:
  virtual ~DataSetVersionStore() = default;
  virtual std::string installedVersion(std::string_view parameter) const = 0;
  // Stores the value and writes parameters.xml.
  virtual void saveVersion(std::string_view parameter, const std::string& version) = 0;
};

// The store over the program's own options (config/keys.h).
DataSetVersionStore& gf_parameterVersionStore();

struct UpdateCheckSetup {
  std::filesystem::path programFolder;  // receives versions.json for the moment it is read
  std::filesystem::path inputFolder;    // the data sets
  DataSetVersionStore* versionStore = nullptr;  // required
  ProgramUpdateSetup programUpdate;     // for a newer program; its folder defaults to programFolder
};

enum class UpdateCheckOutcome {
  GoOn,               // start-up goes on (data sets done, or the check failed and was logged)
  NewProgramVersion,  // a newer program is published; nothing else was checked
  Maintenance,        // the server is in maintenance; g_serverMaintenance is set
};

struct UpdateCheckResult {
  UpdateCheckOutcome outcome = UpdateCheckOutcome::GoOn;
  VersionData webProgramVersion;  // with NewProgramVersion
};

// The check without acting on its outcome: the worker decides what a new program version or a
// maintenance announcement means. Throws std::filesystem::filesystem_error when the state of a
// data-set file cannot be examined.
UpdateCheckResult gf_runUpdateCheck(const UpdateCheckSetup& setup);

// The start-up's call: true when start-up may go on. A newer program version runs the program
// update, which returns false after it has asked for the "NEW VERSION" stop (and throws
// jrv::UserRelatedException 112 when it fails). Maintenance throws jrv::UserRelatedException
// 2026 "Web server temporarily unavailable due to maintenance. Please try again later.".
bool gf_checkForUpdates(const UpdateCheckSetup& setup);

inline constexpr std::int32_t kMaintenanceErrorCode = 2026;
inline constexpr std::string_view kMaintenanceText =
    "Web server temporarily unavailable due to maintenance. Please try again later.";

void gf_resetUpdateCheckState();
