#pragma once
// The scan result file (output/LiveriesScanned_MSFS2020.xml or _MSFS2024.xml): the liveries of
// the last scan as names, never ids. Written to "<file>.scan_tmp", checked, then put in place
// durably, so a failed or interrupted write always leaves the previous result whole.
#include <pugixml.hpp>

#include <cstddef>
#include <filesystem>
#include <string>

// g_liveries into the file of the chosen simulator. False when there is nothing to write or
// anything fails (logged); the previous file then stays as it was.
bool lf_writeScannedLiveries();
// The save, check and replace of a built document holding `count` liveries.
bool lf_saveScanDocument(pugi::xml_document& document, std::size_t count, const std::filesystem::path& target);
bool lf_validateScanTmpFile(const std::filesystem::path& file, std::size_t expectedCount);
bool lf_commitScanFile(const std::filesystem::path& temporary, const std::filesystem::path& target);
// The system's reason for the last failed write of the scan file on this thread ("No space left
// on device"), for the error that ends the scan; empty when the failure had none.
const std::string& lf_scanWriteFailure();

// The file of the chosen simulator into g_scannedLiveries, sorted. False (logged) on any
// failure, and g_scannedLiveries keeps what it held.
bool lf_readScannedLiveries();
