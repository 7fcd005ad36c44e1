#include "airportscan/airport_scan.h"

#include <fmt/format.h>

#include <array>
#include <cctype>
#include <mutex>
#include <string_view>
#include <unordered_set>

#include "airportscan/airport_processing.h"
#include "airportscan/archives_data.h"
#include "airportscan/scan_state.h"
#include "airportscan/scan_transaction.h"
#include "airportscan/tblo_package.h"
#include "appbase/gui.h"
#include "appbase/stop_request.h"
#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "config/sim_folders.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "platform/ui.h"
#include "refdata/airports.h"
#include "refdata/weekly_traffic.h"
#include "simlink/facility_reader.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kProblem = "===> ";
constexpr std::size_t kLongestWalkedPath = 249;  // characters; longer paths are not descended into

constexpr std::array<std::string_view, 14> kSkippedFolderTexts{
    "fs-base",  "tutorials",     "aircraft",      "bushtrip", "discovery", "point-of-interest", "simobjects",
    "vcockpits", "aig-aitraffic", "justflight-aircraft", "fsltl", "gsx-pro", "gsx-world", "landingchallenge"};

// Case-sensitive: a folder "Statics" is scenery of its own, "statics" is not.
constexpr std::array<std::string_view, 7> kSkippedBglTexts{
    "statics", "afcad updates", "_heliports", "duijffmedia-eham-remove", "immersivelights", "immersive-",
    "bksq-scenery-"};

constexpr std::array<std::string_view, 40> kSkippedStreamedPackages{
    "fs20-",          "-landingchallenge-", "-cabin-services",   "-credits-override",      "-devmode-streamed",
    "-livingworld",   "-fa18e-character",   "-jetways",          "-material-lib",          "-palettelib",
    "-procedural-hangar-", "-eventtriggers", "-event-rescuechallenge", "-discovery-",       "-challenges-",
    "-aircraft-",     "-ships-",            "-certification-",   "-training-",             "-activities-",
    "-passiveaircraft-", "-trainings-",     "-fs-base-",         "-runway-lights",         "-travelbook-",
    "-simobjects-",   "-airrace-",          "-procedural-",      "-palette-",              "-spotlight-",
    "-modellib-",     "-texturelib",        "-textlib",          "-scenery-",              "-surface-",
    "-vfx-",          "-coverage-",         "-point-of-interest", "-proceduralgeneration", "-simattachmentlib-"};

template <std::size_t N>
bool lf_containsAny(std::string_view text, const std::array<std::string_view, N>& needles) {
  for (const std::string_view needle : needles)
    if (text.find(needle) != std::string_view::npos) return true;
  return false;
}

std::string lf_lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The part of a walked path below its scan root: the skip texts name what a folder or a package
// is, not where the simulator was installed (an "Aircraft" drive folder must not hide its airports).
std::string_view lf_belowRoot(std::string_view text, const fs::path& root) {
  const std::string rootText = gf_pathToUtf8(root);
  return !rootText.empty() && text.starts_with(rootText) ? text.substr(rootText.size()) : text;
}

void lf_logAndAppend(const std::string& line) {
  gf_log(line);
  gf_addAirportScanMessage(line);
}

void lf_enable(const GuiControl& control, bool enabled) {
  if (control.window != ui::Hwnd::null) ui::enableWindow(control.window, enabled);
}

const AirportCodeTests& lf_codeTests() {
  static const AirportCodeTests tests{gf_isKnownAirport, gf_isRTWeeklyAirport};
  return tests;
}

// A covered code first; else a known one, so that a package RealTraffic does not cover is named.
std::optional<IcaoCode> lf_packageCode(const std::string& text) {
  static const AirportCodeTests known{gf_isKnownAirport, gf_isKnownAirport};
  if (std::optional<IcaoCode> code = gf_findIcaoCodeInText(text, lf_codeTests())) return code;
  return gf_findIcaoCodeInText(text, known);
}

// The facility route, and the file's own records when that does not succeed. An airport whose
// facility read failed keeps its previous file unless the records give it a new one.
void lf_processBgl(const fs::path& file) {
  std::optional<fs::path> unreadFile;
  if (!lf_processBglViaFacilities(file, unreadFile)) {
    gf_addAirportScanMessage("Facilities reader did not succeed, trying the BGL file reader ...");
    lf_processBGLfile(file);
  }
  if (unreadFile) gf_keepPreviousStandFile(*unreadFile);
}

bool lf_isBglCandidate(const fs::path& file, const std::string& text, const fs::path& root) {
  if (lf_lowerCase(gf_pathToUtf8(file.extension())) != ".bgl" ||
      lf_containsAny(lf_belowRoot(text, root), kSkippedBglTexts))
    return false;
  BglPhaseTimer timer(file, "probing header");
  return lf_bglHasAirportSection(file);
}

void lf_scanStreamedPackage(const fs::path& package, const std::string& text, const std::optional<fs::path>& official,
                            std::uint64_t& simulatorAirports) {
  const bool simulatorPackage = text.find("asobo-airport") != std::string::npos ||
                                text.find("microsoft-airport") != std::string::npos ||
                                text.find("microsoft-eddk") != std::string::npos;
  const std::optional<IcaoCode> code = lf_packageCode(text);
  if (!code) return;
  gf_addAirportScanMessage(fmt::format("\n{}", text));
  const bool covered = gf_isRTWeeklyAirport(*code);
  ScenerySource source(package);
  source.code = *code;
  if (simulatorPackage) {
    if (!covered) {
      gf_addAirportScanMessage(fmt::format("no RT traffic file for airport '{}' in BGL path", *code));
      return;
    }
    gf_addAirportScanMessage(fmt::format("airport has '{}' in directory path", *code));
    if (++simulatorAirports % 10 == 0) Gui::enqueueUpdate(gui::SetSimaddonCount{simulatorAirports});
    source.publisher = "simaddon";
    source.manifest = ManifestInfo{"", "", "microsoft", "asobo"};
    lf_processStreamedAirport(source);
    return;
  }
  if (!covered) {
    gf_addAirportScanMessage(fmt::format("no supported airport '{}' in BGL path", *code));
    return;
  }
  gf_addAirportScanMessage(fmt::format("airport has '{}' in folder path", *code));
  if (const PublisherMatch match = gf_findPublisherInText(text); match.status == 0) {
    source.publisher = match.publisher;
    gf_addAirportScanMessage(fmt::format("publisher '{}' found", source.publisher));
  }
  if (official) {
    if (std::optional<ManifestInfo> manifest = lf_findPackageManifest(package, *official)) {
      gf_addAirportScanMessage(fmt::format("streamed package manifest found, version '{}'", manifest->version));
      source.manifest = std::move(manifest);
    }
  }
  lf_processStreamedAirport(source);
}

}  // namespace

bool lf_isSkippedFolder(const fs::path& path, const fs::path& root) {
  const std::string text = gf_pathToUtf8(path);
  return text.size() > kLongestWalkedPath ||
         lf_containsAny(lf_lowerCase(std::string(lf_belowRoot(text, root))), kSkippedFolderTexts);
}

namespace {

std::string lf_keyOfCanonical(const fs::path& canonical) {
  std::string text = gf_pathToUtf8(canonical);
  for (const std::string_view prefix : {R"(\\?\GLOBALROOT)", R"(\\?\UNC\)", R"(\\?\)"}) {
    if (text.starts_with(prefix)) {
      text.erase(0, prefix.size());
      break;
    }
  }
  return lf_lowerCase(std::move(text));
}

}  // namespace

std::optional<std::string> lf_directoryKey(const fs::path& path) {
  std::error_code error;
  const fs::path canonical = fs::weakly_canonical(path, error);
  if (error || canonical.empty()) return std::nullopt;
  return lf_keyOfCanonical(canonical);
}

void lf_airportScanRoots(std::vector<fs::path>& roots) {
  roots.reserve(10);
  static constexpr std::array<std::string_view, 2> k2020{"Official", "Community"};
  static constexpr std::array<std::string_view, 4> k2024{"Community", "StreamedPackages", "Official2024",
                                                         "Community2024"};
  const std::span<const std::string_view> names = gf_isMsfs2020() ? std::span<const std::string_view>(k2020)
                                                                  : std::span<const std::string_view>(k2024);
  for (const std::string_view name : names)
    if (std::optional<fs::path> root = gf_simInstallSubfolder(name)) roots.push_back(std::move(*root));
}

void lf_scanStreamedPackages(const fs::path& root) {
  const std::string rootText = gf_pathToUtf8(root);
  lf_logAndAppend(fmt::format("\nScan: {}", rootText));
  const std::optional<fs::path> official = gf_simInstallSubfolder("Official2024");
  std::error_code error;
  fs::directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
  if (error) {
    gf_log(fmt::format("Could not start directory scan in '{}': {}", rootText, error.message()));
    gf_addAirportScanMessage(
        fmt::format("{} could not start directory scan in '{}': {}", kProblem, rootText, error.message()));
    return;
  }
  std::uint64_t simulatorAirports = 0;
  for (const fs::directory_iterator end; it != end;) {
    const fs::path package = it->path();
    std::error_code statusError;
    const bool folder = fs::is_directory(fs::status(package, statusError));
    const std::string text = gf_pathToUtf8(package);
    if (statusError) {
      gf_log(fmt::format("Could not test directory '{}': {}", text, statusError.message()));
      gf_addAirportScanMessage(
          fmt::format("{} could not test directory '{}': {}", kProblem, text, statusError.message()));
    } else if (folder && !lf_containsAny(lf_belowRoot(text, root), kSkippedStreamedPackages)) {
      if (!gf_isRunning()) break;
      try {
        lf_scanStreamedPackage(package, text, official, simulatorAirports);
      } catch (const std::exception& e) {
        gf_addAirportScanMessage(fmt::format("{} streamed package scan in folder {} failed: {}", kProblem, text, e.what()));
        gf_updateAirportScanLog();
      }
      if (!gf_isRunning()) break;
    }
    it.increment(error);
    if (error) {
      gf_log(fmt::format("Directory iterator increment failed in '{}': {}", rootText, error.message()));
      gf_addAirportScanMessage(
          fmt::format("{} directory iterator increment failed in '{}': {}", kProblem, rootText, error.message()));
    }
  }
  gf_postSimaddonCount();
  gf_updateAirportScanLog();
}

void lf_scanFolderTree(const fs::path& root) {
  const std::string rootText = gf_pathToUtf8(root);
  lf_logAndAppend(fmt::format("\nScan: {}", rootText));
  std::unordered_set<std::string> visited;
  if (std::optional<std::string> key = lf_directoryKey(root)) {
    visited.insert(std::move(*key));
    std::error_code error;
    const fs::path canonical = fs::canonical(root, error);
    if (!error) gf_addAirportScanMessage(fmt::format("scan root resolved to: {}", gf_pathToUtf8(canonical)));
  } else {
    gf_addAirportScanMessage(
        fmt::format("{} could not resolve scan root, continuing without root cycle protection: {}", kProblem, rootText));
  }

  std::error_code error;
  fs::recursive_directory_iterator it(
      root, fs::directory_options::follow_directory_symlink | fs::directory_options::skip_permission_denied, error);
  if (error) {
    gf_addAirportScanMessage(fmt::format("{} recursive directory iterator failed while starting scan root {}, cause: {}",
                                         kProblem, rootText, error.message()));
    error.clear();
  }
  for (const fs::recursive_directory_iterator end; it != end;) {
    const int depth = it.depth() + 1;
    const fs::path entry = it->path();
    const std::string text = gf_pathToUtf8(entry);
    try {
      std::error_code typeError;
      if (it->is_directory(typeError)) {
        std::error_code canonicalError;
        const fs::path canonical = fs::canonical(entry, canonicalError);
        const std::optional<std::string> key =
            canonicalError ? std::nullopt : std::optional<std::string>(lf_keyOfCanonical(canonical));
        if (!key) {
          gf_addAirportScanMessage(fmt::format(
              "{} could not resolve directory during airport scan, skipping recursion, depth {}, folder: {}", kProblem,
              depth, text));
          it.disable_recursion_pending();
        } else if (!visited.insert(*key).second) {
          gf_addAirportScanMessage(fmt::format(
              "{} skipping recursive directory link during airport scan, depth {}, folder: {}, resolved target: {}",
              kProblem, depth, text, gf_pathToUtf8(canonical)));
          it.disable_recursion_pending();
        } else {
          if (it->is_symlink(typeError))
            gf_addAirportScanMessage(
                fmt::format("following airport scan directory link, depth {}, folder: {}, resolved target: {}", depth,
                            text, gf_pathToUtf8(canonical)));
          if (lf_isSkippedFolder(entry, root)) it.disable_recursion_pending();
        }
      } else if (it->is_regular_file(typeError) && lf_isBglCandidate(entry, text, root)) {
        if (!gf_isRunning()) return;
        gf_addAirportScanMessage(fmt::format("Fac depth {}: {}", depth, text));
        lf_processBgl(entry);
      }
    } catch (const std::exception& e) {
      gf_addAirportScanMessage(fmt::format("{} airport file skipped after an exception, depth {}, file {}, cause: {}",
                                           kProblem, depth, text, e.what()));
    } catch (...) {
      gf_addAirportScanMessage(fmt::format("{} airport file skipped after an unknown exception, depth {}, file {}",
                                           kProblem, depth, text));
    }
    it.increment(error);
    if (error) {
      gf_addAirportScanMessage(fmt::format("{} recursive directory iterator failed in scan root {}, depth {}, cause: {}",
                                           kProblem, rootText, depth, error.message()));
      error.clear();
    }
  }
}

void lf_scanRoots(std::span<const fs::path> roots) {
  for (const fs::path& root : roots) {
    if (root.empty()) continue;
    const std::string text = gf_pathToUtf8(root);
    std::error_code error;
    const bool exists = fs::exists(root, error);
    if (error) throw fs::filesystem_error("exists", root, error);
    if (!exists) {
      Gui::showMessage(text + " does not exist, skipped!", true);
      continue;
    }
    const fs::file_status status = fs::status(root, error);
    if (error && status.type() != fs::file_type::not_found) throw fs::filesystem_error("status", root, error);
    if (!fs::is_directory(status)) {
      Gui::showMessage(text + " is not a folder name, skipped!", true);
      continue;
    }
    if (text.find("StreamedPackages") != std::string::npos)
      lf_scanStreamedPackages(root);
    else
      lf_scanFolderTree(root);
  }
}

bool lf_runAirportScan(std::span<const fs::path> roots) {
  gf_log(fmt::format("The scan will search {} folder{}", roots.size(), roots.size() == 1 ? "" : "s"));
  // The last scan's log stays until this one's is written over it.
  g_tbloMode = false;
  g_airportScanMessages.reserve(2048);

  lf_scanRoots(roots);

  gf_addAirportScanMessage("\nAirports scan finished!");
  if (gf_writeAirportScanLog())
    gf_log(gf_pathToUtf8(gf_airportsScanLogPath()) + " written");
  else
    gf_logWarning(gf_pathToUtf8(gf_airportsScanLogPath()) + " could not be written");
  if (g_tbloMode)
    gf_showTbloMailHint();
  else
    Gui::clearMessage();
  g_airportScanMessages.clear();

  lf_copySimaddonFilesToTblo();
  lf_copyThirdpartyFilesToTblo();
  lf_makeTbloPackage();
  gf_postAirportScanCounts();
  const bool found =
      gf_countFilesInDirectory(g_mySimaddonFolder, "") + gf_countFilesInDirectory(g_myThirdpartyFolder, "") > 0;

  if (!found) Gui::showMessage("Warning: Scan has not found any add-on airports", true);
  Gui::enqueueUpdate(gui::Redraw{REDRAW_PANEL});
  return found;
}

void lf_removeTbloFolder() {
  std::error_code error;
  fs::remove_all(g_tbloFolder, error);
  if (error) throw fs::filesystem_error("remove_all", g_tbloFolder, error);
}

void lf_endAirportScan(bool committed) {
  g_airportScanMessages.clear();
  if (!committed) {
    std::error_code ignored;
    fs::remove_all(g_tbloFolder, ignored);
    g_tbloMode = false;
    lf_enable(TBLO_BUTTON, false);
    lf_enable(SKIP_AIRPORT_SCAN, true);
  }
  gf_closeParkingDataReader();
  {
    std::unique_lock lock(g_rtWeeklyAirportsLock);
    g_rtWeeklyAirports.clear();
  }
  gf_resetAirportScanState();
  gf_postAirportScanCounts();
  lf_enable(SKIP_AIRPORT_SCAN, true);
  gf_logFlush("-------------------------- airports scan ends -------------------------------\n");
}

void gf_scanAirports() {
  if (!gf_recoverAirportScanAtStart()) return;
  if (g_parameterSnapshot.load()->skipAirportScan) {
    gf_log("Airport scan skipped because SKIP_AIRPORT_SCAN=true");
    Gui::showMessage("Airport scan suppressed by parameter SKIP_AIRPORT_SCAN", true);
    gf_postAirportScanCounts();
    return;
  }
  lf_enable(SKIP_AIRPORT_SCAN, false);
  bool committed = false;
  struct EndOfScan {
    const bool& committed;
    ~EndOfScan() {
      try {
        lf_endAirportScan(committed);
      } catch (...) {
      }
    }
  } endOfScan{committed};

  Gui::showMessage("Scanning for airports ...", false);
  gf_log(fmt::format("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++", "automatic "));
  Gui::enqueueUpdate(gui::SetSimaddonCount{0});
  Gui::enqueueUpdate(gui::SetThirdpartyCount{0});
  try {
    if (!gf_loadRTWeeklyAirports()) {
      Gui::showMessage("Reading RT weekly airports failed; keeping previous airport scan data", true);
      return;
    }
    if (!gf_readArchivesData(gf_isMsfs2020())) {
      Gui::showMessage("Reading archives failed; keeping previous airport scan data", true);
      return;
    }
    std::vector<fs::path> roots;
    lf_airportScanRoots(roots);

    AirportScanTransaction transaction;
    g_airportScanTransaction = &transaction;
    for (std::set<std::string>& files : g_scanFolderFiles) files.clear();  // the folders start empty
    struct Unregister {
      ~Unregister() { g_airportScanTransaction = nullptr; }
    } unregister;

    std::error_code error;
    if (fs::exists(g_tbloFolder, error)) {
      gf_removeFilesFromDirectory(g_tbloFolder);
      lf_enable(TBLO_BUTTON, false);
      g_tbloMode = false;
    } else {
      fs::create_directory(g_tbloFolder, error);
    }

    if (!lf_runAirportScan(roots)) {
      Gui::showMessage("Airport scan produced no add-on data; keeping previous airport scan data", true);
      transaction.rollback();
      return;
    }
    if (!g_tbloMode) lf_removeTbloFolder();
    Gui::redrawHeader();
    committed = transaction.commitUnlessStopped();
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("Airport scan failed; previous airport scan data restored: {}", e.what()));
    Gui::showMessage("Airport scan failed; JORV will continue with the previous airport data", true);
  } catch (...) {
    gf_logWarning("Airport scan failed with an unknown error; previous airport scan data restored");
    Gui::showMessage("Airport scan failed; JORV will continue with the previous airport data", true);
  }
}
