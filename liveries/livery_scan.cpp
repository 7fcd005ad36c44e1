#include "liveries/livery_scan.h"

#include <fmt/format.h>

#include <stdexcept>
#include <system_error>

#include "appbase/gui.h"
#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "config/sim_folders.h"
#include "core/log.h"
#include "core/program.h"
#include "core/text.h"
#include "core/user_exception.h"
#include "liveries/livery.h"
#include "liveries/livery_regcodes.h"
#include "liveries/scan_reports.h"
#include "liveries/scan_result_file.h"
#include "platform/ui.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kReservedTitles = 30000;
constexpr std::size_t kReservedDontUseTitles = 5000;
constexpr std::size_t kMaxFolders = 10;

void lf_enable(ui::Hwnd window, bool enabled) {
  if (window != ui::Hwnd::null) ui::enableWindow(window, enabled);
}

// Automatic mode found nothing: the user may pick another selection.
void lf_enablePackageChoice() {
  lf_enable(LIG_AUTOMATIC.window, true);
  lf_enable(AI_PACKAGE_SELECTOR.window, true);
}

AiPackageKind lf_packageKindOf(std::string_view name) {
  if (name == "AIG") return AiPackageKind::AIG;
  if (name == "FSLTL") return AiPackageKind::FSLTL;
  if (name == "JF") return AiPackageKind::JF;
  if (name == "MTL") return AiPackageKind::MTL;
  throw std::invalid_argument(fmt::format("'{}' is no AI package", name));
}

}  // namespace

std::vector<std::vector<AiPackageKind>> lf_packageOrderTable() {
  std::vector<std::vector<AiPackageKind>> table;
  table.reserve(g_aiPackageOrders.size());
  for (const std::string& choice : g_aiPackageOrders) {
    std::vector<AiPackageKind>& order = table.emplace_back();
    for (const std::string& name : gf_splitAtComma(choice)) order.push_back(lf_packageKindOf(name));
  }
  return table;
}

void lf_checkLiveryFolders(std::vector<fs::path>& folders) {
  for (const StringOption& option : lfolder) {
    if (option.value.load().empty()) continue;
    const fs::path folder(option.value);
    std::error_code error;
    const fs::file_type type = fs::status(folder, error).type();
    if (type == fs::file_type::not_found || type == fs::file_type::unknown) {
      gf_logWarning(fmt::format("{}: '{}' does not exist", option.name, option.value));
      throw jrv::UserRelatedException(
          243, fmt::format("the path pointed to by parameter '{}' does not exist, see Log.txt!", option.name));
    }
    folders.push_back(folder);
  }
}

void lf_collectLiveryFolders(const fs::path& community, std::vector<fs::path>& folders) {
  const auto table = lf_packageOrderTable();
  const auto index = AI_PACKAGE_SELECTOR.indexOfValue();
  if (!index || *index >= table.size()) throw std::runtime_error(fmt::format("{} not set", AI_PACKAGE_SELECTOR.name));
  lf_findAiPackages(community, table[*index], folders);
  lf_findUserAiTraffic(community, folders);
}

LiveryScanResult lf_runLiveryScan(std::span<const fs::path> folders, bool prioritize, bool automatic) {
  const LiveryScanResult result = lf_scanLiveryFolders(folders, prioritize);
  if (result == LiveryScanResult::done) {
    Gui::enqueueUpdate(gui::SetLiveryCount{g_liveries.size()});
    Gui::enqueueUpdate(gui::Redraw{REDRAW_PANEL});
  } else if (result == LiveryScanResult::nothingFound) {
    if (!automatic) throw jrv::UserRelatedException(53, "no liveries found, did you set lfolderx parameter(s)?");
    lf_enablePackageChoice();
    throw jrv::UserRelatedException(553, "Automatic scan has not found any liveries in your packages, choose a "
                                         "different selection, or de-select automatic");
  }
  return result;
}

void gf_scanLiveries() {
  try {
    g_scannedTitles.reserve(kReservedTitles);
    g_dontUseTitles.reserve(kReservedDontUseTitles);
    const LiveryScanEndGuard ends;
    const auto snapshot = g_parameterSnapshot.load();
    const bool prioritize = snapshot->ligPrioritize;
    const bool automatic = snapshot->ligAutomatic;
    lf_enable(AI_PACKAGE_SELECTOR.window, false);
    lf_enable(SKIP_LIVERIES_SCAN.window, false);
    Gui::showMessage("Scanning for liveries ...", false);
    gf_logFlush(fmt::format("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
                            automatic ? "automatic" : "manual"));

    std::vector<fs::path> folders;
    folders.reserve(kMaxFolders);
    if (automatic) {
      if (const auto community = gf_simInstallSubfolder("Community")) lf_collectLiveryFolders(*community, folders);
    } else {
      lf_checkLiveryFolders(folders);
    }
    if (!folders.empty()) {
      const LiveryScanResult result = lf_runLiveryScan(folders, prioritize, automatic);
      lf_enable(SKIP_LIVERIES_SCAN.window, true);
      if (result == LiveryScanResult::cancelled) gf_log("Liveries scan cancelled");
      if (result == LiveryScanResult::commitFailed)
        throw std::runtime_error(
            fmt::format("the new {} could not be committed safely{}{}", gf_pathToUtf8(gf_liveriesScannedFile()),
                        lf_scanWriteFailure().empty() ? "" : ": ", lf_scanWriteFailure()));
      return;
    }
    if (!automatic)
      throw jrv::UserRelatedException(
          48, fmt::format("Exit {}, and then set one or more lfolderx parameters to your liveries in the file "
                          "parameters.xml",
                          g_programName));
    lf_enablePackageChoice();
    throw jrv::UserRelatedException(
        148, "Automatic scan has not found any AI packages, choose a different selection, or de-select automatic");
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("Liveries scan failed: {}", e.what()));
    throw;
  }
}

void lf_liveryScanEnds() {
  lf_clearScanReports();
  TextSet().swap(g_dontUseTitles);
  Gui::clearMessage();
  Gui::enqueueUpdate(gui::Redraw{REDRAW_HEADER});
  gf_logFlush("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
}
