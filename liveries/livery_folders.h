#pragma once
// The AI packages in the simulator's Community folder (AIG, FSLTL, Just Flight, IVAO MTL and a
// user traffic folder), and the walk of each livery folder for its aircraft.cfg files. The
// liveries found go to g_liveries; with more than one folder, a combination of airline,
// operator, model and cargo flag keeps only the liveries of the highest folder that has it.
// Worker thread only.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

enum class AiPackageKind : std::uint8_t { AIG = 0, FSLTL = 1, JF = 2, MTL = 3 };

enum class LiveryScanResult : std::uint8_t { done = 0, cancelled = 1, nothingFound = 2, commitFailed = 3 };

// "AIG", "FSLTL", "JF", "IVAO_MTL".
std::string_view gf_aiPackageName(AiPackageKind kind);
// Whether a folder of this name belongs to the kind ("_CVT_" folders belong to none).
bool lf_aiPackageKind(AiPackageKind kind, std::string_view folderName);
// Appends the folders found, in the order given; kinds not in the order are not searched.
void lf_findAiPackages(const std::filesystem::path& community, std::span<const AiPackageKind> order,
                       std::vector<std::filesystem::path>& folders);
// Appends the first "user-aitraffic" entry, when there is one.
void lf_findUserAiTraffic(const std::filesystem::path& community, std::vector<std::filesystem::path>& folders);

// The whole walk: the report folders emptied, the don't-use titles loaded, every folder of the
// list walked in order, the result prioritised, sorted, reported and committed.
LiveryScanResult lf_scanLiveryFolders(std::span<const std::filesystem::path> folders, bool prioritize);
// One folder and everything below it; a file or a subfolder that fails costs only itself.
void lf_searchLiveriesInFolder(std::uint16_t rank, const std::filesystem::path& folder);
// Drops every livery that a higher-ranked folder has for the same airline, operator, model and
// cargo flag; returns how many went.
std::size_t lf_prioritizeLiveries();
// A directory below the scanned folder that the walk keeps out of: scenery and other
// non-traffic folders, by their path relative to the scanned folder.
bool lf_isSkippedLiveryFolder(std::string_view relativePath);
