#pragma once
// The airport scan: once per start of lf_main, after the simulator link has started and before
// the feed readers start, the simulator's package folders are walked for add-on airports. For
// each airport RealTraffic covers this week the scan leaves a stand file or an archive link in
// airports/my_simaddon or airports/my_thirdparty (airport_processing.h), under the transaction
// that keeps the previous scan's files through every failure (scan_transaction.h), and at its
// end packs the airports without data for off-line learning (tblo_package.h).
//
// Roots: MSFS 2020 "Official", "Community"; MSFS 2024 "Community", "StreamedPackages",
// "Official2024", "Community2024" (those that exist). StreamedPackages is walked flat, package by
// package; every other root recursively, following folder links once each.
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The whole scan; never lets an exception out.
void gf_scanAirports();

void lf_airportScanRoots(std::vector<std::filesystem::path>& roots);
// The scan body; false (after saying so) when the two folders hold no file afterwards.
bool lf_runAirportScan(std::span<const std::filesystem::path> roots);
void lf_scanRoots(std::span<const std::filesystem::path> roots);
void lf_scanStreamedPackages(const std::filesystem::path& root);
void lf_scanFolderTree(const std::filesystem::path& root);

// Not descended into: a path of 250 characters or more, or one whose part below the scan root
// names aircraft, tutorials and the like.
bool lf_isSkippedFolder(const std::filesystem::path& path, const std::filesystem::path& root = {});
// The folder's canonical path, links resolved, lower-cased: one key per folder however reached.
std::optional<std::string> lf_directoryKey(const std::filesystem::path& path);

void lf_endAirportScan(bool committed);
void lf_removeTbloFolder();
