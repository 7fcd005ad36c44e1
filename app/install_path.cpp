#include "app/install_path.h"

#include <fmt/format.h>

#include <string>
#include <system_error>

#include "appbase/gui.h"
#include "app/program_entry.h"
#include "app/worker_seams.h"
#include "config/keys.h"
#include "config/sim_choice.h"
#include "config/sim_folders.h"
#include "core/log.h"
#include "core/text.h"
#include "platform/ui.h"

namespace fs = std::filesystem;

namespace {

// The path without trailing separators, so that "...\Community\" names Community.
fs::path lf_withoutTrailingSeparators(const fs::path& path) {
  std::string text = gf_pathToUtf8(path);
  while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
  return fs::path(text);
}

std::string lf_lastElement(const fs::path& path) {
  std::string text = gf_pathToUtf8(lf_withoutTrailingSeparators(path));
  const auto cut = text.find_last_of("/\\");
  return cut == std::string::npos ? text : text.substr(cut + 1);
}

bool lf_equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

int lf_box(std::string_view text, unsigned type) { return gf_workerSeams().messageBox(text, type); }

// Missing sibling: a warning only. False when its status could not be read.
void lf_checkSibling(const fs::path& parent, const char* name, const char* message, const char* boxText) {
  std::error_code error;
  const fs::path sibling = parent / name;
  const bool isDirectory = fs::is_directory(sibling, error);
  if (error && error != std::errc::no_such_file_or_directory) {
    Gui::showMessage(fmt::format("Error {} accessing '{}': {}", error.value(), gf_pathToUtf8(sibling), error.message()),
                     true);
    return;
  }
  if (!isDirectory) {
    Gui::showMessage(message, true);
    lf_box(boxText, ui::MB_OK | ui::MB_ICONEXCLAMATION);
  }
}

}  // namespace

PathOption& gf_installPathOption() { return gf_isMsfs2020() ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH; }

bool gf_fixCommunityInstallPath(PathOption& option) {
  const fs::path current = option.value;
  if (current.empty() || !lf_equalsNoCase(lf_lastElement(current), "Community")) return false;
  const fs::path trimmed = lf_withoutTrailingSeparators(current);
  const std::string text = gf_pathToUtf8(trimmed);
  const auto cut = text.find_last_of("/\\");
  if (cut == std::string::npos) return false;
  option.setAndSave(fs::path(text.substr(0, cut == 0 ? 1 : cut)));
  return true;
}

bool gf_validateInstallPath(PathOption& option, const fs::path& path) {
  const std::string pathText = gf_pathToUtf8(path);
  std::error_code error;
  const bool exists = fs::exists(path, error);
  if (error) {
    Gui::showMessage(fmt::format("Error {} accessing install path '{}': {}", error.value(), pathText, error.message()),
                     true);
    lf_box("Error in accessing install path.", ui::MB_OK | ui::MB_ICONERROR);
    return false;
  }
  if (!exists) {
    Gui::showMessage(fmt::format("This install path does not exist: '{}'", pathText), true);
    lf_box("This install path does not exist.", ui::MB_OK | ui::MB_ICONERROR);
    return false;
  }
  if (!lf_equalsNoCase(lf_lastElement(path), "Community")) {
    lf_box("This path is not a valid Community folder.", ui::MB_OK | ui::MB_ICONERROR);
    return false;
  }
  const fs::path folder = lf_withoutTrailingSeparators(path);
  const fs::path parent = folder.parent_path();
  bool rooted = !parent.empty() && parent != folder;
  if (rooted) {
    const bool held = fs::exists(parent / folder.filename(), error);
    if (error) {
      Gui::showMessage(
          fmt::format("Error {} accessing '{}': {}", error.value(), gf_pathToUtf8(parent), error.message()), true);
      rooted = false;
    } else {
      rooted = held;
    }
  }
  if (!rooted) {
    lf_box("There is no root for the Community folder.", ui::MB_OK | ui::MB_ICONERROR);
    return false;
  }
  if (gf_isMsfs2020()) {
    lf_checkSibling(parent, "Official", "Warning: No Official folder?",
                    "Warning: There is no Official folder parallel to the Community folder.");
  } else {
    lf_checkSibling(parent, "StreamedPackages", "Warning: No StreamedPackages folder?",
                    "Warning: There is no StreamedPackages folder parallel to the Community folder.");
    lf_checkSibling(parent, "Community2024", "Warning: No Community2024 folder?",
                    "Warning: There is no Community2024 folder parallel to the Community folder.");
  }
  option.setAndSave(path);
  Gui::showMessage(fmt::format("Okay: {}", pathText), true);
  lf_box("Okay!", ui::MB_OK);
  return true;
}

bool lf_promptInstallPath() {
  PathOption& option = gf_installPathOption();
  if (fs::path found = gf_findPackagesFolder(); !found.empty()) {
    option.setAndSave(found);
    return true;
  }
  // Production runs unattended: a prompt would wait for nobody.
  if (gf_productionMode()) return false;

  const bool is2020 = gf_isMsfs2020();
  Gui::showMessage(is2020 ? "JORV cannot find the MSFS install path, please select the MSFS Community folder"
                          : "JORV cannot find the MSFS2024 install path, please select the MSFS2024 Community folder",
                   true);
  lf_box(is2020 ? "JORV cannot find the MSFS install path.\n\nPlease select the MSFS Community folder."
                : "JORV cannot find the MSFS2024 install path.\n\nPlease select the MSFS2024 Community folder.",
         ui::MB_OK | ui::MB_ICONEXCLAMATION);
  auto picked = gf_workerSeams().pickFolder(option.value);
  if (!picked) return false;
  if (!gf_validateInstallPath(option, *picked)) return false;
  // The option holds the packages folder: the Community folder the user picked is its child.
  gf_fixCommunityInstallPath(option);
  return true;
}
