#include "liveries/livery_regcodes.h"

#include <fmt/format.h>

#include <system_error>

#include "config/program_folders.h"
#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "core/text_file.h"
#include "liveries/livery_database.h"
#include "refdata/my_regcodes.h"

namespace fs = std::filesystem;

std::unordered_map<std::string, std::string_view, Fnv1aHash, std::equal_to<>> g_regcodeTitles;
std::unordered_map<std::string, std::string, Fnv1aHash, std::equal_to<>> g_titleRegcodes;
TitleViewSet g_specialTitles;
std::set<std::string, std::less<>> g_uniqueRegcodes;
std::vector<std::string> g_regcodeReport;
TextSet g_dontUseTitles;

namespace {

std::string lf_identityText(const Livery& livery) {
  return fmt::format("{},{},{},{}", gf_airlineName(livery.airline), gf_airlineName(livery.operatorId),
                     gf_modelName(livery.model), livery.cargo);
}

// Reader errors go to the log one by one; true when there was any.
bool lf_logReaderErrors(const RegcodeReadResult& result) {
  for (const auto& error : result.errors) gf_logWarning(error);
  return !result.errors.empty();
}

// The number of titles that were not in the set yet.
std::size_t lf_addDontUseTitles(const RegcodeReadResult& result) {
  std::size_t added = 0;
  for (const auto& entry : result.entries)
    if (entry.codes.empty() && g_dontUseTitles.insert(entry.title).second) ++added;
  return added;
}

}  // namespace

void lf_processInlineRegcodes() {
  const fs::path report = g_errorsFolder / "InlineRegcodes.txt";
  // Only the clashes of an earlier processing: the scan's own reports beside it stay.
  std::error_code ignored;
  fs::remove(report, ignored);

  std::vector<std::string> clashes;
  for (const Livery& livery : g_scannedLiveries) {
    if (livery.registration.empty()) continue;
    const std::string_view title = lf_findTitle(livery.title);
    if (title.empty()) {
      clashes.push_back(fmt::format("==> [{}] {} '{}' not available, system error, should not happen?",
                                    lf_identityText(livery), livery.registration, livery.title));
      continue;
    }
    if (const auto [it, added] = g_regcodeTitles.try_emplace(livery.registration, title); !added && it->second != title)
      clashes.push_back(fmt::format("{} '{}' => already in use by '{}'", livery.registration, title, it->second));
    if (const auto [it, added] = g_titleRegcodes.try_emplace(std::string(title), livery.registration);
        !added && it->second != livery.registration)
      clashes.push_back(fmt::format("{} '{}' => already in use by '{}'", title, livery.registration, it->second));
  }
  if (clashes.empty()) return;
  fs::create_directories(g_errorsFolder);
  const std::string reportText = gf_pathToUtf8(report);
  if (!gf_writeLines(clashes, report)) {
    gf_logWarning(fmt::format("Could not write '{}'", reportText));
    return;
  }
  gf_log(fmt::format("{:5} in-line regcode clashes, see '{}'", clashes.size(), reportText));
}

void lf_processOfflineRegcodes() {
  try {
    g_regcodeReport.clear();
    g_specialTitles.clear();
    g_uniqueRegcodes.clear();
    std::error_code error;
    if (!fs::exists(g_aigRegcodesEncFile, error)) {
      gf_logWarning(fmt::format("{} not available", gf_pathToUtf8(g_aigRegcodesEncFile)));
      return;
    }
    gf_log("\n******* Offline regcodes ******");
    lf_processAigRegcodeFile(g_aigRegcodesEncFile);
    lf_processRegcodeFolder();

    const fs::path report = g_infoFolder / "OfflineRegcodes.txt";
    // The last report stays until this one is written over it.
    if (g_regcodeReport.empty()) {
      fs::remove(report, error);
      return;
    }
    fs::create_directories(g_infoFolder, error);
    const std::string reportText = gf_pathToUtf8(report);
    if (gf_writeLines(g_regcodeReport, report))
      gf_log(fmt::format("****** Offline regcode files processed, results can be found in '{}' ******\n", reportText));
    else
      gf_logWarning(fmt::format("Could not write '{}'", reportText));
    if (!g_specialTitles.empty()) gf_log(fmt::format("{:5} special liveries", g_specialTitles.size()));
    if (!g_uniqueRegcodes.empty()) gf_log(fmt::format("{:5} unique liveries", g_uniqueRegcodes.size()));
  } catch (const std::exception& e) {
    gf_log(fmt::format("exception in lf_processOfflineRegcodes: {}", gf_escapedText(e.what())));
  } catch (...) {
    gf_log("unknown exception in lf_processOfflineRegcodes");
  }
}

void lf_processAigRegcodeFile(const fs::path& path) {
  const std::string pathText = gf_pathToUtf8(path);
  std::string line = fmt::format("Processing '{}'", pathText);
  gf_log(line);
  g_regcodeReport.push_back(std::move(line));
  const RegcodeReadResult result = gf_readAigRegcodesFile(path);
  if (lf_logReaderErrors(result))
    g_regcodeReport.push_back(
        fmt::format("There were errors processing the AIG-regcode file '{}', see Log.txt", pathText));
  lf_mergeRegcode(result.entries);
}

void lf_processRegcodeFolder() {
  const fs::path missing = g_errorsFolder / "MissingCustomRepaints.txt";
  std::error_code ignored;
  fs::remove(missing, ignored);
  if (gf_countFilesInDirectory(g_myRegcodesFolder, "") == 0) return;

  const std::string folderText = gf_pathToUtf8(g_myRegcodesFolder);
  g_regcodeReport.push_back(fmt::format("Processing files in {}", folderText));
  const RegcodeReadResult result = gf_readMyRegcodesFolder(g_myRegcodesFolder);
  if (lf_logReaderErrors(result))
    gf_log(fmt::format("There were errors processing the regcode files in folder '{}', see Log.txt", folderText));

  const std::vector<std::string> installed(g_liveryTitles.begin(), g_liveryTitles.end());
  const auto lines = gf_listMissingRegcodeTitles(result.entries, installed);
  if (!lines.empty()) {
    fs::create_directories(g_errorsFolder);
    const std::string missingText = gf_pathToUtf8(missing);
    if (!gf_writeLines(lines, missing))
      gf_logWarning(fmt::format("Could not write '{}'", missingText));
    else
      gf_log(fmt::format("{:5} custom repaint title{} not found in scanned liveries, see '{}'", lines.size(),
                         gf_pluralS(static_cast<std::int64_t>(lines.size())), missingText));
  }
  lf_mergeRegcode(result.entries);
}

void lf_mergeRegcode(std::span<const RegcodeEntry> entries) {
  std::size_t added = 0, replaced = 0, special = 0;
  for (const RegcodeEntry& entry : entries) {
    const std::string_view title = lf_findTitle(entry.title);
    if (title.empty()) continue;
    for (const std::string& code : entry.codes) {
      if (const auto [it, inserted] = g_regcodeTitles.try_emplace(code, title); inserted) {
        ++added;
      } else if (it->second != title) {
        g_regcodeReport.push_back(fmt::format("   regcode {} for '{}', instead of the same for '{}'", code, title,
                                              it->second));
        it->second = title;
        ++replaced;
      }
      if (entry.special && entry.codes.size() == 1) g_uniqueRegcodes.insert(code);
    }
    if (entry.special) {
      g_specialTitles.insert(title);
      ++special;
    }
  }
  std::string line = fmt::format("{} new regcode{} added", added, gf_pluralS(static_cast<std::int64_t>(added)));
  if (replaced != 0) line += fmt::format(", {} regcode{} replaced", replaced, replaced > 1 ? "s" : "");
  if (special != 0) line += fmt::format(", {} regcode{} defined as special", special, special > 1 ? "s" : "");
  g_regcodeReport.push_back(std::move(line));
}

void gf_readDontUseTitles(const fs::path& path) {
  const RegcodeReadResult result = gf_readAigRegcodesFile(path);
  if (lf_logReaderErrors(result))
    g_regcodeReport.push_back(
        fmt::format("There were errors in processing the file '{}', see the Log.txt", gf_pathToUtf8(path)));
  const std::size_t added = lf_addDontUseTitles(result);
  gf_log(fmt::format("{:5} don't use title{} read", added, gf_pluralS(static_cast<std::int64_t>(added))));
}

void gf_readDontUseTitlesFolder() {
  const std::string folderText = gf_pathToUtf8(g_myRegcodesFolder);
  const RegcodeReadResult result = gf_readMyRegcodesFolder(g_myRegcodesFolder);
  if (lf_logReaderErrors(result))
    g_regcodeReport.push_back(fmt::format(
        "There were errors in processing the regcode files in folder '{}', see the Log.txt", folderText));
  const std::size_t added = lf_addDontUseTitles(result);
  gf_log(fmt::format("{:5} don't use title{} read from files in {}", added,
                     gf_pluralS(static_cast<std::int64_t>(added)), folderText));
}
