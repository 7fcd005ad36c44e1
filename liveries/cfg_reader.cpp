#include "liveries/cfg_reader.h"

#include <fmt/format.h>

#include "core/log.h"
#include "core/text.h"
#include "core/text_file.h"
#include "liveries/cfg_keys.h"
#include "liveries/fltsim_section.h"
#include "liveries/scan_reports.h"
#include "refdata/model_ids.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kReservedLines = 4096;
constexpr std::uint32_t kMaxSectionNumber = 10000;

bool lf_isCommentOrEmpty(std::string_view line) {
  return line.empty() || line.front() == ';' || line.starts_with("//");
}

}  // namespace

std::string lf_folderText(const fs::path& path) {
  std::string text = gf_pathToUtf8(path);
  while (!text.empty() && (text.back() == '/' || text.back() == '\\')) text.pop_back();
  const auto cut = text.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : text.substr(0, cut);
}

std::span<const std::string> lf_withoutTrailingComments(std::span<const std::string> section) {
  while (section.size() > 1 && lf_isCommentOrEmpty(section.back())) section = section.first(section.size() - 1);
  return section;
}

bool lf_readCfgLines(const fs::path& path, std::vector<std::string>& lines, bool warn) {
  const TextEncoding encoding = gf_detectTextEncoding(path);
  if (encoding == TextEncoding::none_found) {
    const std::string text = fmt::format("! No text encoding detected for {}", gf_pathToUtf8(path));
    warn ? gf_logWarning(text) : gf_log(text);
    return false;
  }
  lines.reserve(kReservedLines);
  if (!gf_readTextFileLines(encoding, path, lines)) {
    gf_log(fmt::format("! Failed reading {}", gf_pathToUtf8(path)));
    return false;
  }
  return true;
}

std::vector<Livery> lf_searchLiveriesinFile(std::uint32_t sourceIndex, const fs::path& path) {
  try {
    if (!fs::exists(fs::status(path))) return {};
    std::vector<std::string> lines;
    if (!lf_readCfgLines(path, lines, false)) return {};
    return lf_liveriesFromCfgLines(sourceIndex, lines, path);
  } catch (const std::exception& e) {
    gf_log(fmt::format("! Exception in lf_searchLiveriesinFile {}: {}", gf_pathToUtf8(path), gf_escapedText(e.what())));
    throw;
  }
}

std::vector<Livery> lf_liveriesFromCfgLines(std::uint32_t sourceIndex, std::span<const std::string> lines,
                                            const fs::path& path) {
  const std::string pathText = gf_pathToUtf8(path);
  if (!lf_enumerateFltsimSections(lines, pathText)) return {};
  const std::string model = lf_modelOfCfgFile(pathText, lines);
  if (model.empty()) return {};
  return lf_processFltSimSections(sourceIndex, lines, model, pathText, lf_folderText(path));
}

bool lf_enumerateFltsimSections(std::span<const std::string> lines, std::string_view pathText) {
  bool anyHeader = false;
  bool outOfRange = false;
  for (const std::string& line : lines) {
    const std::string number = lf_readFltsimHeader(line);
    if (number.empty()) continue;
    anyHeader = true;
    const auto value = lf_sectionNumber(number);
    if (!value) {
      gf_logWarning(fmt::format("fltsim num {} incorrect", line));
      return false;
    }
    if (static_cast<std::uint32_t>(*value) > kMaxSectionNumber) outOfRange = true;
  }
  if (!anyHeader) {
    lf_reportNoFltsimSection(pathText);
    return true;
  }
  if (outOfRange) {
    lf_reportInvalidCfgFile(fmt::format("{} contains a [fltsim.x] section with a number < 0 or > {}", pathText,
                                        kMaxSectionNumber));
    return false;
  }
  return true;
}

std::string lf_modelOfCfgFile(std::string_view pathText, std::span<const std::string> lines) {
  std::string code;
  for (const std::string& line : lines) {
    code = lf_readIcaoTypeDesignator(line);
    if (!code.empty()) break;
  }
  if (code.empty()) code = lf_modelFromBaseContainer(pathText, lines);
  if (code.empty()) return {};
  return lf_checkedModelCode(code, pathText);
}

std::string lf_modelFromBaseContainer(std::string_view pathText, std::span<const std::string> lines) {
  for (const std::string& line : lines)
    if (std::string code = lf_readBaseContainerModel(line); !code.empty()) return code;
  // These two airliners come without a type line and are no AI traffic.
  if (pathText.find("pmdg-aircraft-7") == std::string_view::npos &&
      pathText.find("fnx-aircraft-3") == std::string_view::npos)
    lf_reportInvalidCfgFile(fmt::format("Line icao_type_designator= is missing in [General] section of {}", pathText));
  return {};
}

std::string lf_checkedModelCode(const std::string& code, std::string_view pathText) {
  if (g_dbaseModelCodes.contains(code)) return code;
  if (const auto fix = g_dbaseModelFixes.find(code); fix != g_dbaseModelFixes.end()) {
    lf_reportModelFix(code, pathText, fix->second);
    return fix->second;
  }
  lf_reportInvalidModelCode(code, pathText);
  return {};
}

std::vector<Livery> lf_processFltSimSections(std::uint32_t sourceIndex, std::span<const std::string> lines,
                                             std::string_view model, std::string_view pathText,
                                             std::string_view folderText) {
  std::vector<Livery> liveries;
  std::size_t start = 0;
  bool inSection = false;
  auto process = [&](std::size_t end) {
    if (!inSection || end == start) return;
    if (auto livery = lf_procesFltSimSection(sourceIndex, lines.subspan(start, end - start), model, pathText,
                                             folderText))
      liveries.push_back(std::move(*livery));
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (!lf_readFltsimHeader(line).empty()) {
      process(i);
      start = i;
      inSection = true;
      continue;
    }
    const auto first = line.find_first_not_of(" \t");
    if (first != std::string::npos && line[first] == '[') {
      process(i);
      inSection = false;
    }
  }
  process(lines.size());
  return liveries;
}
