#include "airportscan/tblo_package.h"

#include <fmt/format.h>

#include <fstream>
#include <string_view>

#include "airportscan/scan_state.h"
#include "appbase/gui.h"
#include "config/keys.h"
#include "config/program_folders.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "core/text_file.h"
#include "parking/archive_paths.h"
#include "platform/os.h"
#include "platform/ui.h"
#include "refdata/weekly_traffic.h"
#include "refdata/zip_archive.h"

namespace fs = std::filesystem;

namespace {

// Copies the code's stand file into tblo; false after a warning when that failed.
bool lf_copyToTblo(const fs::path& folder, IcaoCode code) {
  const fs::path from = folder / gf_icaoXmlName(code);
  const fs::path to = g_tbloFolder / gf_icaoXmlName(code);
  std::error_code error;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
  if (!error) return true;
  gf_logWarning(fmt::format("'{}' failed to copy '{}': {}", gf_pathToUtf8(from), gf_pathToUtf8(to), error.message()));
  return false;
}

}  // namespace

void lf_copySimaddonFilesToTblo() {
  std::uint64_t copied = 0;
  for (const IcaoCode code : gf_icaoCodesOfXmlFiles(g_mySimaddonFolder)) {
    if (code.text() == "VHHX" || !gf_isRTWeeklyAirport(code)) continue;
    if (!lf_copyToTblo(g_mySimaddonFolder, code)) continue;
    ++copied;
    const fs::path link = g_mySimaddonFolder / gf_icaoTxtName(code);
    std::error_code error;
    const bool exists = fs::exists(link, error);
    if (error) {
      gf_logWarning(fmt::format("exists({}) failed: {}", gf_pathToUtf8(link), error.message()));
    } else if (exists && !fs::remove(link, error)) {
      gf_logWarning(fmt::format("remove({}) failed: {}", gf_pathToUtf8(link), error.message()));
    }
  }
  if (copied > 0)
    gf_log(fmt::format("{} simaddon file{} copied to tblo folder", copied, gf_pluralS(static_cast<std::int64_t>(copied))));
}

void lf_copyThirdpartyFilesToTblo() {
  for (const IcaoCode code : gf_icaoCodesOfXmlFiles(g_myThirdpartyFolder)) {
    if (!gf_isRTWeeklyAirport(code)) {
      gf_addAirportScanMessage(fmt::format("'{}' cannot be learned, no stock version with RT Traffic available", code));
      continue;
    }
    lf_copyToTblo(g_myThirdpartyFolder, code);
  }
}

void lf_makeTbloPackage() {
  if (gf_countFilesInDirectory(g_tbloFolder, "") == 0) {
    g_tbloMode = false;
    gf_log("All your simaddon and third party airports are recognised, no off line learning needed.");
    return;
  }
  // A package that lacks a file would have the maker learn less than the user thinks was sent.
  if (!gf_zipFolder(g_tbloFolder / g_tbloZipName)) {
    gf_logWarning("Zippen TBLO folder failed");
    Gui::showMessage("Zippen TBLO folder failed", false);
    return;
  }
  gf_removeXMLFilesFromDirectory(g_tbloFolder);
  // Without the address the user would not know where the package goes.
  const fs::path address = g_tbloFolder / "email address.txt";
  if (!gf_writeStringToFile(kTbloMailAddress, address, true)) {
    const std::string line = fmt::format("Writing {} failed; no off-line learning package", gf_pathToUtf8(address));
    gf_logWarning(line);
    Gui::showMessage(line, false);
    return;
  }
  g_tbloMode = true;
  if (TBLO_BUTTON.window != ui::Hwnd::null) ui::enableWindow(TBLO_BUTTON.window, true);
  gf_showTbloMailHint();
  Gui::enqueueUpdate(gui::Redraw{REDRAW_PANEL});
}

bool gf_zipFolder(const fs::path& target) {
  const fs::path& folder = g_tbloFolder;
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    gf_log(fmt::format("[zip] Not a directory: {}", gf_pathToUtf8(folder)));
    return false;
  }
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), error);
  gf_log(fmt::format("[zip] Target file: {}", gf_pathToUtf8(fs::absolute(target, error))));
  gf_log(fmt::format("[zip] Source dir : {}", gf_pathToUtf8(fs::absolute(folder, error))));
  // The old package stays whole until the new one is: built beside it, then moved over it.
  fs::path temporary = target;
  temporary += ".tmp";
  fs::remove(temporary, error);
  const TempFileRemover remover(temporary);
  ZipArchive archive;
  if (!archive.openWrite(temporary)) {
    gf_log("[zip] Could not open archive for writing");
    return false;
  }
  std::uint64_t count = 0;
  bool everyFile = true;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file() || fs::equivalent(entry.path(), target, error) ||
        fs::equivalent(entry.path(), temporary, error))
      continue;
    const std::string path = gf_pathToUtf8(entry.path());
    const std::optional<std::vector<char>> bytes = lf_readWholeFile(entry.path());
    if (!bytes) {
      gf_log(fmt::format("[zip] READ FAIL: {}", path));
      everyFile = false;
      continue;
    }
    const std::string name = path.substr(path.find_last_of("\\/") + 1);
    gf_log(fmt::format("[zip] Adding (data) {} -> {} ({} bytes)", path, name, bytes->size()));
    if (!archive.addData(name, std::string_view(bytes->data(), bytes->size()))) {
      gf_log(fmt::format("[zip] ERROR addData({})", name));
      lf_closeZipAndReport(archive, temporary, count);
      return false;
    }
    ++count;
  }
  if (!lf_closeZipAndReport(archive, temporary, count) || !everyFile) return false;
  if (fs::exists(target, error)) gf_log(fmt::format("[zip] Removing old zip {}", gf_pathToUtf8(target)));
  if (os::durableReplace(temporary, target, error)) return true;
  gf_log(fmt::format("[zip] Could not replace {}: {}", gf_pathToUtf8(target), error.message()));
  return false;
}

bool lf_closeZipAndReport(ZipArchive& archive, const fs::path& target, std::uint64_t count) {
  const int result = archive.close() ? 0 : -1;
  std::error_code error;
  const fs::file_status status = fs::status(target, error);
  const bool exists = status.type() != fs::file_type::none && status.type() != fs::file_type::not_found;
  std::uint64_t size = 0;
  if (std::ifstream in{target, std::ios::binary | std::ios::ate}) {
    const std::streamoff end = in.tellg();
    if (end > 0) size = static_cast<std::uint64_t>(end);
  }
  gf_log(fmt::format("[zip] Added {} files, close_result={}, ok_close={}, exists={}, size={} bytes", count, result,
                     result == 0, exists, size));
  return result == 0 && count > 0 && exists && size > 0;
}

std::optional<std::vector<char>> lf_readWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  const std::streamoff size = in.tellg();
  if (size < 0) return std::nullopt;
  std::vector<char> bytes(static_cast<std::size_t>(size), 0);
  in.seekg(0);
  // A file that shrank meanwhile would be packed with zeros in place of its end.
  if (!in.read(bytes.data(), size)) return std::nullopt;
  return bytes;
}
