#pragma once
// The livery scan at start-up, on the worker: the livery folders of the AI packages in the
// simulator's Community folder (automatic) or of lfolder0..lfolder9 (manual), walked in
// priority order into the scan result file. Every outcome becomes a log line, a message or an
// exception for the worker.
#include <filesystem>
#include <span>
#include <vector>

#include "liveries/livery_folders.h"

// Returns after a done or cancelled scan; throws (after the warning "Liveries scan failed: ...")
// when nothing was found, a folder is missing or the result could not be committed.
void gf_scanLiveries();

LiveryScanResult lf_runLiveryScan(std::span<const std::filesystem::path> folders, bool prioritize, bool automatic);
// Manual mode: the folders named by lfolder0..lfolder9, in that order.
void lf_checkLiveryFolders(std::vector<std::filesystem::path>& folders);
// Automatic mode: the packages of the chosen order, then the user traffic folder.
void lf_collectLiveryFolders(const std::filesystem::path& community, std::vector<std::filesystem::path>& folders);
// The packages of each AI_PACKAGE_SELECTOR choice, in the choice's order.
std::vector<std::vector<AiPackageKind>> lf_packageOrderTable();

// The closing steps, run once however gf_scanLiveries is left.
void lf_liveryScanEnds();
class LiveryScanEndGuard {
 public:
  LiveryScanEndGuard() = default;
  LiveryScanEndGuard(const LiveryScanEndGuard&) = delete;
  LiveryScanEndGuard& operator=(const LiveryScanEndGuard&) = delete;
  ~LiveryScanEndGuard() {
    if (armed) lf_liveryScanEnds();
  }
  bool armed = true;
};
