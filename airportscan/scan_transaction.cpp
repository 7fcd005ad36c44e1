#include "airportscan/scan_transaction.h"

#include <fmt/format.h>

#include <cctype>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <utility>
#include <variant>
#include <vector>

#include "airportscan/scan_state.h"
#include "appbase/gui.h"
#include "appbase/stop_request.h"
#include "config/program_folders.h"
#include "core/log.h"
#include "core/text.h"
#include "core/text_file.h"
#include "platform/os.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kProblem = "===> ";

std::function<void()> g_stepHook;
ScanFileLayer g_layer;

// Every file-system operation below goes through here first, so that tests can fail or kill
// the program at each of them.
void lf_step() {
  if (g_stepHook) g_stepHook();
}

const std::array<fs::path, 2>& lf_scanFolders() {
  static const std::array<fs::path, 2> folders{g_mySimaddonFolder, g_myThirdpartyFolder};
  return folders;
}

fs::path lf_scanBackupPath(const fs::path& folder) {
  fs::path backup = folder;
  backup += ".scan_backup";
  return backup;
}

fs::path lf_markerPath() { return g_airportsFolder / ".airport_scan_in_progress"; }
fs::path lf_listPath() { return g_airportsFolder / ".airport_scan_files"; }
// The new list waits under this name until the marker's removal has committed the scan.
fs::path lf_pendingListPath() { return g_airportsFolder / ".airport_scan_files.pending"; }

fs::path lf_temporaryOf(const fs::path& file) {
  fs::path temporary = file;
  temporary += ".tmp";  // the name gf_writeStringToFile writes first
  return temporary;
}

// Whether the path exists (a link counts as itself); none when that cannot be told.
std::optional<bool> lf_exists(const fs::path& path, std::error_code& error) {
  lf_step();
  const fs::file_status status = fs::symlink_status(path, error);
  if (status.type() == fs::file_type::not_found) {
    error.clear();
    return false;
  }
  if (error) return std::nullopt;
  return true;
}

std::error_code lf_removeAll(const fs::path& path) {
  lf_step();
  std::error_code error;
  g_layer.removeAll ? g_layer.removeAll(path, error) : fs::remove_all(path, error);
  return error;
}

std::error_code lf_rename(const fs::path& from, const fs::path& to) {
  lf_step();
  std::error_code error;
  g_layer.rename ? g_layer.rename(from, to, error) : fs::rename(from, to, error);
  return error;
}

// True when the path was there and is gone.
bool lf_remove(const fs::path& path, std::error_code& error) {
  return g_layer.remove ? g_layer.remove(path, error) : fs::remove(path, error);
}

std::error_code lf_sync(const fs::path& path) {
  std::error_code error;
  if (!(g_layer.sync ? g_layer.sync(path, error) : os::syncToDisk(path, error)) && !error)
    error = std::make_error_code(std::errc::io_error);
  return error;
}

// The renames in airports/ on the disk before the marker goes: else a power cut could keep the
// marker's removal and lose a rename, and the next start would take the wrong folder for the
// backup.
bool lf_syncAirportsFolder() { return !lf_sync(g_airportsFolder); }

// Everything the new folders hold, and the folders themselves, on the disk before the commit
// point, after which the backups go. A link is its folder's entry; a folder below is not followed
// through a link.
void lf_syncNewData() {
  lf_step();
  const auto fail = [](const fs::path& path, const std::error_code& error) {
    return std::runtime_error(fmt::format("could not commit airport scan transaction: {} not on the disk: {}",
                                          gf_pathToUtf8(path), error.message()));
  };
  for (const fs::path& folder : lf_scanFolders()) {
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      std::error_code typeError;
      if (it->is_symlink(typeError) || !(it->is_regular_file(typeError) || it->is_directory(typeError))) continue;
      if (const std::error_code syncError = lf_sync(it->path())) throw fail(it->path(), syncError);
    }
    if (error) throw fail(folder, error);
    if (const std::error_code syncError = lf_sync(folder)) throw fail(folder, syncError);
  }
  if (const std::error_code syncError = lf_sync(g_airportsFolder)) throw fail(g_airportsFolder, syncError);
}

std::error_code lf_createDirectories(const fs::path& path) {
  lf_step();
  std::error_code error;
  fs::create_directories(path, error);
  return error;
}

std::error_code lf_removeFile(const fs::path& path) {
  lf_step();
  std::error_code error;
  lf_remove(path, error);
  return error;
}

// Whole or not at all: a temporary name, flushed, then renamed over the target.
bool lf_writeText(std::string_view text, const fs::path& path) {
  lf_step();
  return gf_writeStringToFile(text, path, false);
}

// The marker's two flags; false when it cannot be read or holds no two numbers.
bool lf_readMarker(std::array<bool, 2>& existed) {
  lf_step();
  std::ifstream in(lf_markerPath(), std::ios::binary);
  int simaddon = 0;
  int thirdparty = 0;
  if (!in || !(in >> simaddon >> thirdparty)) return false;
  existed = {simaddon != 0, thirdparty != 0};
  return true;
}

// What the scan writes tells itself only as a link into the archive. A stand file it generated
// reads like one the user copied from the maker's archive, so without the list every stand file
// stays the user's: a stale generated file costs less than a user's file lost.
bool lf_isGeneratedFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::string head(8, '\0');  // "archive/"
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  std::string extension = gf_pathToUtf8(file.extension());
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".txt" && head.starts_with("archive/");
}

// Without the list (never committed, or lost) the folders' files are told apart by content, so
// that a lost list does not make the scan's own files the user's for good.
std::array<std::set<std::string>, 2> lf_generatedFilesByContent() {
  std::array<std::set<std::string>, 2> files;
  for (std::size_t i = 0; i < 2; ++i) {
    std::error_code error;
    for (fs::directory_iterator it(lf_scanFolders()[i], error), end; !error && it != end; it.increment(error)) {
      std::error_code typeError;
      if (it->is_regular_file(typeError) && lf_isGeneratedFile(it->path()))
        files[i].insert(gf_pathToUtf8(it->path().filename()));
    }
  }
  return files;
}

// Throws when the list exists but cannot be read: without it the user's files can't be told.
std::array<std::set<std::string>, 2> lf_readFileList() {
  std::array<std::set<std::string>, 2> files;
  std::error_code error;
  const std::optional<bool> exists = lf_exists(lf_listPath(), error);
  if (!exists) throw fs::filesystem_error("status", lf_listPath(), error);
  if (!*exists) return lf_generatedFilesByContent();
  lf_step();
  TextFile list{lf_listPath(), {}};
  const auto lines = list.readLines(256);
  if (std::holds_alternative<std::string>(lines))
    throw std::runtime_error(fmt::format("could not read {}", gf_pathToUtf8(lf_listPath())));
  for (const std::string& line : std::get<0>(lines)) {
    const std::size_t slash = line.find('/');
    if (slash == std::string::npos) continue;
    for (std::size_t i = 0; i < 2; ++i)
      if (line.compare(0, slash, gf_pathToUtf8(lf_scanFolders()[i].filename())) == 0)
        files[i].insert(line.substr(slash + 1));
  }
  return files;
}

// The names directly in a folder.
std::vector<fs::path> lf_namesIn(const fs::path& folder) {
  lf_step();
  std::vector<fs::path> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    names.push_back(it->path().filename());
  if (error) throw fs::filesystem_error("directory_iterator", folder, error);
  return names;
}

// A copy that is whole at the target, also after a crash; anything but a regular file is copied
// as it stands (a folder with its content, a link as a link).
void lf_copyEntry(const fs::path& from, const fs::path& to) {
  lf_step();
  std::error_code error;
  const fs::file_status status = fs::symlink_status(from, error);
  if (error) throw fs::filesystem_error("status", from, error);
  if (fs::is_regular_file(status)) {
    fs::path temporary = to;
    temporary += ".scan_tmp";
    if (fs::copy_file(from, temporary, fs::copy_options::overwrite_existing, error) &&
        os::durableReplace(temporary, to, error))
      return;
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw fs::filesystem_error("copy", from, to, error);
  }
  fs::remove_all(to, error);
  if (!error) fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
  if (error) throw fs::filesystem_error("copy", from, to, error);
}

// Commit's clean-up, also finished by the recovery: the new list replaces the old one.
bool lf_installPendingList() {
  std::error_code error;
  const std::optional<bool> pending = lf_exists(lf_pendingListPath(), error);
  if (!pending) return false;
  if (!*pending) return true;
  lf_step();
  return os::durableReplace(lf_pendingListPath(), lf_listPath(), error);
}

bool lf_recover() {
  std::error_code error;
  const std::optional<bool> marker = lf_exists(lf_markerPath(), error);
  if (!marker) return false;
  std::array<bool, 2> existed{};
  if (*marker && !lf_readMarker(existed)) return false;
  if (!*marker && !lf_installPendingList()) return false;
  for (std::size_t i = 0; i < 2; ++i) {
    const fs::path& folder = lf_scanFolders()[i];
    const fs::path backup = lf_scanBackupPath(folder);
    const std::optional<bool> backupExists = lf_exists(backup, error);
    if (!backupExists) return false;
    if (!*marker) {
      // A commit whose clean-up did not finish.
      if (*backupExists && lf_removeAll(backup)) return false;
    } else if (*backupExists) {
      if (lf_removeAll(folder) || lf_rename(backup, folder)) return false;
    } else if (!existed[i]) {
      if (lf_removeAll(folder)) return false;
    }
    // Marked as existing without a backup: the folder was never moved and holds the old data.
  }
  if (*marker) {
    // The new list goes before the marker: without the marker it would count as committed.
    if (lf_removeFile(lf_pendingListPath()) || !lf_syncAirportsFolder() || lf_removeFile(lf_markerPath()))
      return false;
    gf_log("Airport data of an interrupted airport scan restored");
  }
  // Temporaries of writes that were cut short.
  lf_removeFile(lf_temporaryOf(lf_markerPath()));
  lf_removeFile(lf_temporaryOf(lf_pendingListPath()));
  return true;
}

}  // namespace

bool lf_recoverInterruptedAirportScan() {
  try {
    return lf_recover();
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("lf_recoverInterruptedAirportScan exception: {}", e.what()));
  } catch (...) {
    gf_logWarning("Exception in lf_recoverInterruptedAirportScan");
  }
  return false;
}

bool gf_recoverAirportScanAtStart() {
  if (lf_recoverInterruptedAirportScan()) return true;
  gf_logWarning("Airport scan skipped: recovery of a previously interrupted scan failed");
  Gui::showMessage("Airport scan skipped; previous airport data could not be recovered safely", true);
  return false;
}

AirportScanTransaction::AirportScanTransaction() {
  if (!lf_recoverInterruptedAirportScan())
    throw std::runtime_error("could not recover airport data from an interrupted scan");
  try {
    begin();
  } catch (...) {
    rollback();
    throw;
  }
}

AirportScanTransaction::~AirportScanTransaction() { rollback(); }

void AirportScanTransaction::begin() {
  if (std::error_code error = lf_createDirectories(g_airportsFolder))
    throw std::runtime_error(fmt::format("could not create airports folder: {}", error.message()));
  for (std::size_t i = 0; i < 2; ++i) {
    std::error_code error;
    const std::optional<bool> exists = lf_exists(lf_scanFolders()[i], error);
    existed[i] = exists.value_or(false);
    if (!exists) throw std::runtime_error(error.message());
  }
  previousFiles = lf_readFileList();
  restoreFailed = false;
  if (!lf_writeText(fmt::format("{} {}\n", existed[0] ? 1 : 0, existed[1] ? 1 : 0), lf_markerPath()))
    throw std::runtime_error("could not create airport scan transaction marker");
  active = true;
  for (std::size_t i = 0; i < 2; ++i) {
    const fs::path& folder = lf_scanFolders()[i];
    if (existed[i])
      if (std::error_code error = lf_rename(folder, lf_scanBackupPath(folder)))
        throw std::runtime_error(
            fmt::format("could not preserve {} before airport scan: {}", gf_pathToUtf8(folder), error.message()));
    if (std::error_code error = lf_createDirectories(folder))
      throw std::runtime_error(
          fmt::format("could not create airport scan folder {}: {}", gf_pathToUtf8(folder), error.message()));
  }
}

void AirportScanTransaction::commit() {
  // After a roll-back there is nothing to commit; saying so beats a silent success.
  if (!active) throw std::runtime_error("could not commit airport scan transaction: not begun or rolled back");
  if (restoreFailed)
    throw std::runtime_error("could not commit airport scan transaction: a previous airport file was not restored");
  std::string list;
  for (std::size_t i = 0; i < 2; ++i) {
    const fs::path& folder = lf_scanFolders()[i];
    const std::string folderName = gf_pathToUtf8(folder.filename());
    std::set<fs::path> written;
    for (const fs::path& name : lf_namesIn(folder)) written.insert(name);
    if (existed[i]) {
      for (const fs::path& name : lf_namesIn(lf_scanBackupPath(folder))) {
        const std::string nameText = gf_pathToUtf8(name);
        if (previousFiles[i].contains(nameText)) continue;  // generated last time: this scan decides
        if (written.erase(name) != 0) {
          const std::string line = fmt::format("{}{}/{}: the user's own file is kept in place of the generated one",
                                               kProblem, folderName, nameText);
          gf_addAirportScanMessage(line);
          gf_log(line);
        }
        lf_copyEntry(lf_scanBackupPath(folder) / name, folder / name);
      }
    }
    for (const fs::path& name : written) list += fmt::format("{}/{}\n", folderName, gf_pathToUtf8(name));
  }
  if (!lf_writeText(list, lf_pendingListPath()))
    throw std::runtime_error("could not commit airport scan transaction: the file list could not be written");
  lf_syncNewData();

  lf_step();
  std::error_code error;
  if (!lf_remove(lf_markerPath(), error) || error) {
    if (!error) error = std::make_error_code(std::errc::no_such_file_or_directory);
    throw std::runtime_error(fmt::format("could not commit airport scan transaction: {}", error.message()));
  }
  active = false;
  // Committed. What is left undone here the next start's recovery finishes. The backups wait
  // until the marker's removal is on the disk.
  try {
    if (!lf_syncAirportsFolder()) {
      gf_logWarning("airport scan committed, not yet confirmed on the disk: backups kept until the next start");
      return;
    }
    lf_installPendingList();
    for (const fs::path& folder : lf_scanFolders()) lf_removeAll(lf_scanBackupPath(folder));
  } catch (...) {
  }
}

void AirportScanTransaction::rollback() noexcept {
  if (!active) return;
  bool allRestored = true;
  for (std::size_t i = 0; i < 2; ++i) {
    try {
      const fs::path& folder = lf_scanFolders()[i];
      const fs::path backup = lf_scanBackupPath(folder);
      std::error_code error;
      const std::optional<bool> backupExists = lf_exists(backup, error);
      if (!backupExists)
        allRestored = false;
      else if (*backupExists)
        allRestored = !lf_removeAll(folder) && !lf_rename(backup, folder) && allRestored;
      else if (!existed[i])
        allRestored = !lf_removeAll(folder) && allRestored;
      else
        allRestored = false;
    } catch (...) {
      allRestored = false;
    }
  }
  try {
    if (allRestored && !lf_removeFile(lf_pendingListPath()) && lf_syncAirportsFolder())
      lf_removeFile(lf_markerPath());
  } catch (...) {
  }
  active = false;
}

bool AirportScanTransaction::commitUnlessStopped() {
  if (!gf_isRunning()) {
    gf_log("Airport scan stopped before its end; previous airport scan data kept");
    rollback();
    return false;
  }
  commit();
  return true;
}

bool AirportScanTransaction::restoreFromBackup(const fs::path& scanFile) {
  if (!active) return false;
  std::size_t i = 0;
  while (i < 2 && scanFile.parent_path().lexically_normal() != lf_scanFolders()[i].lexically_normal()) ++i;
  if (i == 2) return false;
  const fs::path backupFile = lf_scanBackupPath(lf_scanFolders()[i]) / scanFile.filename();
  try {
    std::error_code error;
    const std::optional<bool> written = lf_exists(scanFile, error);
    if (!written) throw fs::filesystem_error("status", scanFile, error);
    if (*written) return true;
    const std::optional<bool> previous = lf_exists(backupFile, error);
    if (!previous) throw fs::filesystem_error("status", backupFile, error);
    if (!*previous) return false;
    // A user's file comes back with the commit anyway and must stay off the list.
    if (previousFiles[i].contains(gf_pathToUtf8(scanFile.filename()))) lf_copyEntry(backupFile, scanFile);
    return true;
  } catch (const std::exception& e) {
    restoreFailed = true;
    gf_addAirportScanMessage(
        fmt::format("{}could not restore {} from the previous scan: {}", kProblem, gf_pathToUtf8(scanFile), e.what()));
    return false;
  }
}

void gf_setAirportScanStepHookForTest(std::function<void()> hook) { g_stepHook = std::move(hook); }

void gf_setScanFileLayerForTest(ScanFileLayer layer) { g_layer = std::move(layer); }
