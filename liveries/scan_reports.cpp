#include "liveries/scan_reports.h"

#include <fmt/format.h>

#include <algorithm>
#include <system_error>

#include "config/program_folders.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "core/text_file.h"
#include "liveries/livery_regcodes.h"

namespace fs = std::filesystem;

ScanReports g_scanReports;
TextSet g_scannedTitles;

namespace {

void lf_sortLines(std::vector<std::string>& lines) { std::sort(lines.begin(), lines.end()); }

std::string lf_plural(std::size_t count) { return gf_pluralS(static_cast<std::int64_t>(count)); }

}  // namespace

const fs::path& gf_noFltsimSectionReport() {
  static const fs::path path = g_infoFolder / "AircraftCfgWithNoFltsimSection.txt";
  return path;
}
const fs::path& gf_dontUseLiveriesReport() {
  static const fs::path path = g_infoFolder / "DontUseLiveries.txt";
  return path;
}
const fs::path& gf_invalidAirlineCodesReport() {
  static const fs::path path = g_errorsFolder / "InvalidAirlineCodes.txt";
  return path;
}
const fs::path& gf_invalidAircraftCodesReport() {
  static const fs::path path = g_errorsFolder / "InvalidAircraftCodes.txt";
  return path;
}
const fs::path& gf_fixesReport() {
  static const fs::path path = g_errorsFolder / "Fixes.txt";
  return path;
}
const fs::path& gf_invalidAircraftCfgFilesReport() {
  static const fs::path path = g_errorsFolder / "InvalidAircraftCfgFiles.txt";
  return path;
}
const fs::path& gf_incompleteSectionsReport() {
  static const fs::path path = g_errorsFolder / "IncompleFltsimSections.txt";
  return path;
}

void lf_reportNoFltsimSection(std::string_view pathText) { g_scanReports.noFltsimSection.emplace_back(pathText); }
void lf_reportInvalidCfgFile(std::string text) { g_scanReports.invalidCfgFiles.push_back(std::move(text)); }
void lf_reportIncompleteSection(std::string text) { g_scanReports.incompleteSections.push_back(std::move(text)); }

void lf_reportInvalidAirlineCode(std::string_view code, std::string_view pathText, std::string_view header) {
  g_scanReports.invalidAirlineCodes.push_back(fmt::format("{:12} in {} {}", code, pathText, header));
}

void lf_reportInvalidModelCode(std::string_view code, std::string_view pathText) {
  g_scanReports.invalidModelCodes.push_back(fmt::format("{:16} in {}", code, pathText));
}

void lf_reportModelFix(std::string_view code, std::string_view pathText, std::string_view fix) {
  g_scanReports.fixes.push_back(fmt::format("Model fix: {} found in {} changed into {}", code, pathText, fix));
}

void lf_applyDontUseLists() {
  try {
    g_dontUseTitles.clear();
    std::error_code error;
    const fs::file_status status = fs::status(g_aigRegcodesEncFile, error);
    if (error && status.type() != fs::file_type::not_found)
      throw fs::filesystem_error("exists", g_aigRegcodesEncFile, error);
    if (!fs::exists(status)) {
      gf_logWarning(fmt::format("{} not available", gf_pathToUtf8(g_aigRegcodesEncFile)));
      return;
    }
    gf_readDontUseTitles(g_aigRegcodesEncFile);
    if (gf_countFilesInDirectory(g_myRegcodesFolder, "") > 0) gf_readDontUseTitlesFolder();
    gf_log(fmt::format("{:5} don't use liveries", g_dontUseTitles.size()));
    // Sorted, so that one installation always gives the same file.
    std::vector<std::string> titles(g_dontUseTitles.begin(), g_dontUseTitles.end());
    lf_sortLines(titles);
    lf_writeReportList(titles, gf_dontUseLiveriesReport());
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("exception: {}", e.what()));
  }
}

void lf_logScanReport() {
  ScanReports& r = g_scanReports;
  const bool noErrors = r.invalidAirlineCodes.empty() && r.invalidModelCodes.empty() && r.fixes.empty() &&
                        r.invalidCfgFiles.empty() && r.incompleteSections.empty();
  gf_log(noErrors ? "\nNo errors" : "\nErrors:");
  auto sortAndWrite = [](std::vector<std::string>& lines, const fs::path& path) {
    lf_sortLines(lines);
    lf_writeReportList(lines, path);
    return gf_pathToUtf8(path);
  };
  if (const auto n = r.invalidAirlineCodes.size(); n != 0) {
    const std::string path = sortAndWrite(r.invalidAirlineCodes, gf_invalidAirlineCodesReport());
    gf_log(fmt::format("{:5} invalid airline code{}, see {}", n, lf_plural(n), path));
  }
  if (const auto n = r.invalidModelCodes.size(); n != 0) {
    const std::string path = sortAndWrite(r.invalidModelCodes, gf_invalidAircraftCodesReport());
    gf_log(fmt::format("{:5} invalid model code{}, see {}", n, lf_plural(n), path));
  }
  if (!r.fixes.empty()) {
    lf_writeFixesReport(gf_fixesReport());
    gf_log(fmt::format("{:5} fixes, see {}", r.fixes.size(), gf_pathToUtf8(gf_fixesReport())));
  }
  if (const auto n = r.invalidCfgFiles.size(); n != 0) {
    const std::string path = sortAndWrite(r.invalidCfgFiles, gf_invalidAircraftCfgFilesReport());
    gf_log(fmt::format("{:5} invalid aircraft.cfg files, see {}", n, path));
  }
  if (!r.incompleteSections.empty()) {
    auto& lines = r.incompleteSections;
    lf_sortLines(lines);
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    lf_writeReportList(lines, gf_incompleteSectionsReport());
    gf_log(fmt::format("{:5} incomplete [fltsim.x] sections, see {}", lines.size(),
                       gf_pathToUtf8(gf_incompleteSectionsReport())));
  }
  if (const auto n = r.noFltsimSection.size(); n != 0) {
    gf_log("\nInformation:");
    const std::string path = sortAndWrite(r.noFltsimSection, gf_noFltsimSectionReport());
    gf_log(fmt::format("{:5} empty aircraft.cfg files, see {}", n, path));
  }
}

bool lf_writeReportList(std::span<const std::string> lines, const fs::path& path) {
  if (const fs::path folder = path.parent_path(); !folder.empty()) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
      gf_logNoexcept(fmt::format("Error creating directories {}: {}", gf_pathToUtf8(folder), error.message()));
      return false;
    }
  }
  if (!gf_writeLines(lines, path)) {
    gf_logNoexcept(fmt::format("Error writing file {}: {}", gf_pathToUtf8(path), "it cannot be written"));
    return false;
  }
  return true;
}

bool lf_writeFixesReport(const fs::path& path) { return lf_writeReportList(g_scanReports.fixes, path); }

void lf_clearScanReports() {
  g_scanReports = ScanReports{};
  TextSet().swap(g_scannedTitles);  // its room for a whole scan goes too
}
