#pragma once
// What a livery scan could not use, one text line per problem, gathered during the walk and
// written at its end into report files under output/info and output/errors; and the titles the
// scan must not use, loaded before the walk. Worker thread only; emptied when the scan ends.
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/livery.h"

struct ScanReports {
  std::vector<std::string> noFltsimSection;     // AircraftCfgWithNoFltsimSection.txt (info)
  std::vector<std::string> invalidAirlineCodes;  // InvalidAirlineCodes.txt
  std::vector<std::string> invalidModelCodes;    // InvalidAircraftCodes.txt
  std::vector<std::string> fixes;                // Fixes.txt, in the order found
  std::vector<std::string> invalidCfgFiles;      // InvalidAircraftCfgFiles.txt
  std::vector<std::string> incompleteSections;   // IncompleFltsimSections.txt
};

extern ScanReports g_scanReports;
// Titles of the liveries made so far in this scan: each title is used once.
extern TextSet g_scannedTitles;

// The report files.
const std::filesystem::path& gf_noFltsimSectionReport();
const std::filesystem::path& gf_dontUseLiveriesReport();
const std::filesystem::path& gf_invalidAirlineCodesReport();
const std::filesystem::path& gf_invalidAircraftCodesReport();
const std::filesystem::path& gf_fixesReport();
const std::filesystem::path& gf_invalidAircraftCfgFilesReport();
const std::filesystem::path& gf_incompleteSectionsReport();

void lf_reportNoFltsimSection(std::string_view pathText);
void lf_reportInvalidCfgFile(std::string text);
void lf_reportIncompleteSection(std::string text);
// "{:12} in {} " and the section's header line.
void lf_reportInvalidAirlineCode(std::string_view code, std::string_view pathText, std::string_view header);
// "{:16} in {}".
void lf_reportInvalidModelCode(std::string_view code, std::string_view pathText);
void lf_reportModelFix(std::string_view code, std::string_view pathText, std::string_view fix);

// g_dontUseTitles from the AIG registration codes and the my_regcodes files, and
// DontUseLiveries.txt. Never throws: the scan goes on with what the set holds.
void lf_applyDontUseLists();
// The report files of the lists that hold lines, and the summary in the log.
void lf_logScanReport();
// The lines, each followed by "\n", into the file (its folder created as needed). False after
// a logged failure.
bool lf_writeReportList(std::span<const std::string> lines, const std::filesystem::path& path);
bool lf_writeFixesReport(const std::filesystem::path& path);

// Every report list, the fixes included, and g_scannedTitles.
void lf_clearScanReports();
