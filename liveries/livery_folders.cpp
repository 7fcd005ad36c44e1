#include "liveries/livery_folders.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <system_error>
#include <unordered_map>

#include "appbase/stop_request.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "liveries/cfg_keys.h"
#include "liveries/cfg_reader.h"
#include "liveries/ivao_reader.h"
#include "liveries/livery.h"
#include "liveries/scan_reports.h"
#include "liveries/scan_result_file.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint16_t kMaxRank = 10;
// Deeper paths are beyond what the simulator itself can load.
constexpr std::size_t kMaxPathBytes = 250;
constexpr std::array<std::string_view, 9> kSkipWords{"airport",  "lvfr",     "mkstudios", "simwings", "fsdreamteam",
                                                     "navigraph", "flytampa", "inibuilds", "_CVT_"};

bool lf_contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// A directory's entries in name order, so that every scan of one installation goes the same
// way whatever order the file system lists them in. False when the directory cannot be listed;
// entries listed before a failure to go on are kept.
bool lf_listDirectory(const fs::path& folder, fs::directory_options options, std::vector<fs::directory_entry>& entries,
                      std::error_code& error) {
  entries.clear();
  fs::directory_iterator it(folder, options, error);
  if (error) return false;
  for (; !error && it != fs::directory_iterator(); it.increment(error)) entries.push_back(*it);
  std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
    return a.path().filename().native() < b.path().filename().native();
  });
  return true;
}

// Logs a listing failure of the Community folder; the entries found until then are used.
std::vector<fs::directory_entry> lf_communityEntries(const fs::path& community, std::string_view what) {
  std::vector<fs::directory_entry> entries;
  std::error_code error;
  lf_listDirectory(community, fs::directory_options::skip_permission_denied, entries, error);
  if (error)
    gf_logWarning(
        fmt::format("Automatic {} scan warning in '{}': {}", what, gf_pathToUtf8(community), error.message()));
  return entries;
}

// One file; whatever it throws costs that file alone.
void lf_readLiveryFile(std::uint16_t rank, const fs::path& path) {
  const std::string text = gf_pathToUtf8(path);
  try {
    std::vector<Livery> liveries = lf_contains(text, "ivao_x-csl") || lf_contains(text, "IVAO_MTL")
                                       ? lf_searchLiveriesinIVAOFile(rank, path)
                                       : lf_searchLiveriesinFile(rank, path);
    g_liveries.insert(g_liveries.end(), std::make_move_iterator(liveries.begin()),
                      std::make_move_iterator(liveries.end()));
  } catch (const std::exception& e) {
    lf_reportInvalidCfgFile(fmt::format("{} could not be read: {}", text, e.what()));
  } catch (...) {
    lf_reportInvalidCfgFile(fmt::format("{} could not be read: unknown", text));
  }
}

struct WalkFrame {
  std::vector<fs::directory_entry> entries;
  std::size_t next = 0;
};

void lf_walk(std::uint16_t rank, const fs::path& folder) {
  std::vector<WalkFrame> stack(1);
  std::error_code error;
  if (!lf_listDirectory(folder, fs::directory_options::none, stack.back().entries, error)) {
    gf_logWarning(fmt::format("Could not start liveries search in {}, cause: {}", gf_pathToUtf8(folder),
                              error.message()));
    return;
  }
  if (error)
    gf_logWarning(fmt::format("liveries search in {} incomplete, cause: {}", gf_pathToUtf8(folder), error.message()));
  const std::size_t folderLength = gf_pathToUtf8(folder).size();
  while (!stack.empty()) {
    if (stack.back().next == stack.back().entries.size()) {
      stack.pop_back();
      continue;
    }
    const fs::directory_entry entry = stack.back().entries[stack.back().next++];
    // The types come from the listing where the file system gives them; a link to a directory
    // is not followed, as by a recursive directory iterator.
    error.clear();
    const bool link = entry.is_symlink(error);
    if (error) continue;
    if (!link && entry.is_directory(error)) {
      const std::string text = gf_pathToUtf8(entry.path());
      if (text.size() >= kMaxPathBytes || lf_isSkippedLiveryFolder(std::string_view(text).substr(folderLength)))
        continue;
      WalkFrame child;
      if (!lf_listDirectory(entry.path(), fs::directory_options::none, child.entries, error)) {
        gf_logWarning(fmt::format("liveries search skipped {}, cause: {}", text, error.message()));
        continue;
      }
      if (error) gf_logWarning(fmt::format("liveries search in {} incomplete, cause: {}", text, error.message()));
      stack.push_back(std::move(child));
    } else if (!error && lf_equalsNoCase(entry.path().filename().native(), "aircraft.cfg") &&
               entry.is_regular_file(error)) {
      lf_readLiveryFile(rank, entry.path());
    }
  }
}

// The identity without title and registration: 7 bytes, FNV-1a over them.
struct PriorityKeyHash {
  std::size_t operator()(std::uint64_t key) const {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (int i = 0; i < 7; ++i) {
      hash ^= (key >> (8 * i)) & 0xFFu;
      hash *= 0x100000001b3ULL;
    }
    return static_cast<std::size_t>(hash);
  }
};

std::uint64_t lf_priorityKey(const Livery& l) {
  return std::uint64_t{l.airline} | (std::uint64_t{l.operatorId} << 16) | (std::uint64_t{l.model} << 32) |
         (std::uint64_t{l.cargo} << 48);
}

}  // namespace

std::string_view gf_aiPackageName(AiPackageKind kind) {
  switch (kind) {
    case AiPackageKind::AIG: return "AIG";
    case AiPackageKind::FSLTL: return "FSLTL";
    case AiPackageKind::JF: return "JF";
    case AiPackageKind::MTL: return "IVAO_MTL";
  }
  return {};
}

bool lf_aiPackageKind(AiPackageKind kind, std::string_view name) {
  // Converted copies of a package are no package.
  if (lf_contains(name, "_CVT_")) return false;
  switch (kind) {
    case AiPackageKind::AIG:
      // The beta is a package of its own, made for MSFS 2020 only.
      if (lf_contains(name, "aig-aitraffic-oci-beta")) return gf_isMsfs2020();
      return lf_contains(name, "aig-aitraffic-oci");
    case AiPackageKind::FSLTL: return lf_contains(name, "fsltl-traffic-base");
    case AiPackageKind::JF:
      return lf_contains(name, "justflight-aircraft-traffic-fleet") || lf_contains(name, "justflight-fstraffic-module");
    case AiPackageKind::MTL: return lf_contains(name, "IVAO_MTL");
  }
  return false;
}

void lf_findAiPackages(const fs::path& community, std::span<const AiPackageKind> order,
                       std::vector<fs::path>& folders) {
  std::array<fs::path, 4> found;
  std::size_t foundCount = 0;
  for (const fs::directory_entry& entry : lf_communityEntries(community, "AI package")) {
    std::error_code error;
    if (!entry.is_directory(error)) continue;
    const std::string name = gf_pathToUtf8(entry.path().filename());
    for (const AiPackageKind kind : order) {
      fs::path& folder = found[static_cast<std::size_t>(kind)];
      if (!folder.empty() || !lf_aiPackageKind(kind, name)) continue;
      folder = entry.path();
      ++foundCount;
      gf_log(fmt::format("Automatic {} scan found folder: '{}'", gf_aiPackageName(kind), gf_pathToUtf8(folder)));
      break;
    }
    if (foundCount == order.size()) break;
  }
  for (const AiPackageKind kind : order)
    if (const fs::path& folder = found[static_cast<std::size_t>(kind)]; !folder.empty()) folders.push_back(folder);
}

void lf_findUserAiTraffic(const fs::path& community, std::vector<fs::path>& folders) {
  for (const fs::directory_entry& entry : lf_communityEntries(community, "user-aitraffic")) {
    const std::string name = gf_pathToUtf8(entry.path().filename());
    if (!lf_contains(name, "user-aitraffic") || lf_contains(name, "_CVT_")) continue;
    gf_log(fmt::format("Automatic user-aitraffic scan found folder: '{}'", gf_pathToUtf8(entry.path())));
    folders.push_back(entry.path());
    return;
  }
}

bool lf_isSkippedLiveryFolder(std::string_view relativePath) {
  return std::any_of(kSkipWords.begin(), kSkipWords.end(),
                     [&](std::string_view word) { return lf_contains(relativePath, word); });
}

void lf_searchLiveriesInFolder(std::uint16_t rank, const fs::path& folder) {
  try {
    lf_walk(rank, folder);
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("liveries search in {} aborted, cause: {}", gf_pathToUtf8(folder), e.what()));
  } catch (...) {
    gf_logWarning(fmt::format("liveries search in {} aborted, cause: unknown", gf_pathToUtf8(folder)));
  }
}

std::size_t lf_prioritizeLiveries() {
  std::unordered_map<std::uint64_t, std::uint16_t, PriorityKeyHash> highest;
  highest.max_load_factor(1.0f);
  highest.reserve(g_liveries.size());
  for (const Livery& livery : g_liveries) {
    const auto [it, added] = highest.try_emplace(lf_priorityKey(livery), livery.sourceIndex);
    if (!added) it->second = std::min(it->second, livery.sourceIndex);
  }
  return std::erase_if(g_liveries,
                       [&](const Livery& livery) { return livery.sourceIndex > highest.at(lf_priorityKey(livery)); });
}

LiveryScanResult lf_scanLiveryFolders(std::span<const fs::path> folders, bool prioritize) {
  g_liveries.clear();
  // Reports of later steps stay until those steps have written their new ones.
  static constexpr std::array<std::string_view, 2> kLaterReports = {"AirportsScanLog.txt", "OfflineRegcodes.txt"};
  gf_removeFilesFromDirectoryExcept(g_infoFolder, kLaterReports);
  gf_removeFilesFromDirectory(g_errorsFolder);
  lf_applyDontUseLists();

  std::uint16_t rank = 0;
  for (const fs::path& folder : folders) {
    if (folder.empty()) continue;
    const std::string text = gf_pathToUtf8(folder);
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (status.type() == fs::file_type::not_found || status.type() == fs::file_type::unknown) {
      gf_log(text + " does not exist, skipped!");
    } else if (fs::is_directory(status)) {
      if (rank < kMaxRank) ++rank;
      if (!gf_isRunning()) return LiveryScanResult::cancelled;
      const std::size_t before = g_liveries.size();
      lf_searchLiveriesInFolder(rank, folder);
      const std::size_t n = g_liveries.size() - before;
      const std::string tail = fmt::format("found in {}", text);
      if (n == 0)
        gf_log(fmt::format("No liveries {}", tail));
      else
        gf_log(fmt::format("{:5} liverie{} {}", n, gf_pluralS(static_cast<std::int64_t>(n)), tail));
    } else {
      gf_log(text + " is not a folder name, skipped!");
    }
  }
  if (!gf_isRunning()) return LiveryScanResult::cancelled;
  if (g_liveries.empty()) return LiveryScanResult::nothingFound;

  if (folders.size() > 1) {
    if (prioritize) {
      gf_log("\nPrioritizing the scanned liveries ...");
      const std::size_t removed = lf_prioritizeLiveries();
      gf_log(fmt::format("{:5} same airl+model liverie{} removed because from lower ai-package", removed,
                         gf_pluralS(static_cast<std::int64_t>(removed))));
    }
    gf_log(fmt::format("{:5} in total", g_liveries.size()));
  }
  std::sort(g_liveries.begin(), g_liveries.end(), lf_liveryBefore);
  const std::size_t before = g_liveries.size();
  g_liveries.erase(std::unique(g_liveries.begin(), g_liveries.end()), g_liveries.end());
  if (const std::size_t duplicates = before - g_liveries.size(); duplicates != 0)
    gf_logWarning(fmt::format("{} duplicates removed ?", duplicates));

  lf_logScanReport();
  gf_flushLog();
  if (!lf_writeScannedLiveries()) return LiveryScanResult::commitFailed;
  gf_flushLog();
  return LiveryScanResult::done;
}
