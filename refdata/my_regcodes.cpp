#include "refdata/my_regcodes.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <set>
#include <system_error>
#include <unordered_set>

#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "core/text_file.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kReservedLines = 1024;

}  // namespace

std::string gf_linePrefix(std::string_view name, std::size_t line) {
  if (!name.empty() && line != 0) return fmt::format("{} line {}: ", name, line);
  if (!name.empty()) return fmt::format("{}: ", name);
  if (line != 0) return fmt::format("line {}: ", line);
  return {};
}

bool gf_checkMyRegcode(std::string_view code, std::string_view title, RegcodeLineContext& context) {
  if (gf_isValidRegcode(code)) return false;
  context.result.errors.push_back(
      fmt::format("{}invalid registration code '{}' for title '{}'", context.prefix, code, title));
  return true;
}

RegcodeReadResult gf_parseMyRegcodeLines(std::span<const std::string> lines, std::string_view fileName) {
  RegcodeReadResult result;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const std::string& line = lines[index];
    if (line.empty()) continue;
    const auto fields = gf_split(line, ';');
    if (fields.empty()) continue;
    const std::string prefix = gf_linePrefix(fileName, index + 1);
    if (fields.size() > 3) {
      result.errors.push_back(fmt::format("{}expected at most 3 semicolon-separated fields: '{}'", prefix, line));
      continue;
    }
    const std::string& title = fields[0];
    if (fields.size() == 1) {
      result.entries.push_back({title, {}, false});
      continue;
    }
    RegcodeLineContext context{prefix, result};
    const auto listed = gf_parseCommaList(fields[1]);
    std::vector<std::string> codes;
    for (const auto& code : listed)
      if (!gf_checkMyRegcode(code, title, context)) codes.push_back(code);
    if (!listed.empty() && codes.empty()) continue;
    bool special = codes.size() == 1;
    if (fields.size() == 3) {
      if (fields[2] == "#")
        special = !codes.empty();
      else
        result.errors.push_back(
            fmt::format("{}invalid special marker '{}' for title '{}'", prefix, fields[2], title));
    }
    result.entries.push_back({title, std::move(codes), special});
  }
  return result;
}

RegcodeReadResult gf_readMyRegcodesFolder(const fs::path& folder) {
  RegcodeReadResult result;
  const std::string folderText = gf_pathToUtf8(folder);
  std::error_code error;
  const auto status = fs::status(folder, error);
  if (error) {
    result.errors.push_back(fmt::format("could not inspect '{}': {}", folderText, error.message()));
    return result;
  }
  if (!fs::is_directory(status)) {
    result.errors.push_back(fmt::format("'{}' is not a directory", folderText));
    return result;
  }

  std::vector<fs::path> files;
  fs::directory_iterator it(folder, error);
  if (error) {
    result.errors.push_back(fmt::format("could not enumerate '{}': {}", folderText, error.message()));
    return result;
  }
  for (const fs::directory_iterator end; it != end;) {
    std::error_code entryError;
    const auto entryStatus = it->status(entryError);
    if (entryError) {
      result.errors.push_back(
          fmt::format("could not inspect '{}': {}", gf_pathToUtf8(it->path()), entryError.message()));
    } else if (fs::is_regular_file(entryStatus) && gf_hasExtensionNoCase(it->path(), ".txt")) {
      files.push_back(it->path());
    }
    it.increment(error);
    if (error) {
      result.errors.push_back(fmt::format("could not enumerate '{}': {}", folderText, error.message()));
      break;
    }
  }
  std::sort(files.begin(), files.end(),
            [](const fs::path& a, const fs::path& b) { return gf_pathToUtf8(a) < gf_pathToUtf8(b); });

  for (const auto& file : files) {
    const std::string fileText = gf_pathToUtf8(file);
    gf_log(fmt::format("Processing '{}'", fileText));
    TextFile text{file, {}};
    auto lines = text.readLines(kReservedLines);
    if (const auto* failure = std::get_if<std::string>(&lines)) {
      result.errors.push_back(fmt::format("could not read '{}': {}", fileText, *failure));
      continue;
    }
    auto parsed = gf_parseMyRegcodeLines(std::get<std::span<const std::string>>(lines), fileText);
    std::move(parsed.entries.begin(), parsed.entries.end(), std::back_inserter(result.entries));
    std::move(parsed.errors.begin(), parsed.errors.end(), std::back_inserter(result.errors));
  }
  return result;
}

std::vector<std::string> gf_listMissingRegcodeTitles(std::span<const RegcodeEntry> entries,
                                                     std::span<const std::string> installedTitles) {
  const std::unordered_set<std::string_view> installed(installedTitles.begin(), installedTitles.end());
  std::map<std::string, std::set<std::string>> missing;
  for (const auto& entry : entries) {
    if (entry.codes.empty() || installed.contains(entry.title)) continue;
    missing[entry.title].insert(entry.codes.begin(), entry.codes.end());
  }
  std::vector<std::string> lines;
  lines.reserve(missing.size());
  for (const auto& [title, codes] : missing) lines.push_back(fmt::format("{}; {}", title, fmt::join(codes, ", ")));
  return lines;
}
