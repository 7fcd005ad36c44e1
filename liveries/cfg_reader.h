#pragma once
// One package aircraft.cfg into its liveries: the file's text in whichever charset it was
// written, the check of its [fltsim.N] section numbers, the one model code of the file, and the
// file cut into sections, each of which becomes at most one livery (liveries/fltsim_section.h).
// Problems go to the scan's report lists (liveries/scan_reports.h). Worker thread only.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/livery.h"

// The liveries of one file, in file order. A file that is missing, unreadable, has a bad section
// number or no usable model gives none. Throws on (after logging) what no report list covers.
std::vector<Livery> lf_searchLiveriesinFile(std::uint32_t sourceIndex, const std::filesystem::path& path);
// The same for a file's lines already in memory (UTF-8); the path only names it in reports.
std::vector<Livery> lf_liveriesFromCfgLines(std::uint32_t sourceIndex, std::span<const std::string> lines,
                                            const std::filesystem::path& path);

// The file's lines with the charset detected; false after a logged failure. `warn` logs a
// missing charset as a warning.
bool lf_readCfgLines(const std::filesystem::path& path, std::vector<std::string>& lines, bool warn);

// False: the file is skipped (a number that is no 32-bit number, or one beyond 0..10000).
bool lf_enumerateFltsimSections(std::span<const std::string> lines, std::string_view pathText);
// The model of every section of the file, checked against the dbase; empty: skip the file.
std::string lf_modelOfCfgFile(std::string_view pathText, std::span<const std::string> lines);
std::string lf_modelFromBaseContainer(std::string_view pathText, std::span<const std::string> lines);
// A model code as the dbase knows it: unchanged, or its correction (reported), or empty
// (reported as invalid).
std::string lf_checkedModelCode(const std::string& code, std::string_view pathText);
std::vector<Livery> lf_processFltSimSections(std::uint32_t sourceIndex, std::span<const std::string> lines,
                                             std::string_view model, std::string_view pathText,
                                             std::string_view folderText);

// The file's folder as UTF-8 text (separators at its end dropped first).
std::string lf_folderText(const std::filesystem::path& path);
// A section ends before trailing empty and comment lines: they may belong to the next one.
std::span<const std::string> lf_withoutTrailingComments(std::span<const std::string> section);
