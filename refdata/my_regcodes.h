#pragma once
// The user's own registration codes: every ".txt" file in a folder (input/my_regcodes), one
// livery per line: "title[;code,code...[;#]]".
#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "refdata/aig_regcodes.h"

// Where an error of one line goes, with the prefix that names file and line.
struct RegcodeLineContext {
  std::string_view prefix;
  RegcodeReadResult& result;
};

RegcodeReadResult gf_readMyRegcodesFolder(const std::filesystem::path& folder);
RegcodeReadResult gf_parseMyRegcodeLines(std::span<const std::string> lines, std::string_view fileName);
// True when the code is invalid, after the error text has been added.
bool gf_checkMyRegcode(std::string_view code, std::string_view title, RegcodeLineContext& context);
// "{name} line {n}: ", "{name}: " for line 0, "line {n}: " without a name, "" with neither.
std::string gf_linePrefix(std::string_view name, std::size_t line);
// "title; code, code" for every title with codes that no installed livery carries, ascending.
std::vector<std::string> gf_listMissingRegcodeTitles(std::span<const RegcodeEntry> entries,
                                                     std::span<const std::string> installedTitles);
