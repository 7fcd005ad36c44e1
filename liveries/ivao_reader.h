#pragma once
// aircraft.cfg files of the IVAO MTL model set (and its "ivao_x-csl" variant): one folder per
// model, named after it ("IVAO_B738"), and liveries without icao_airline: the airline is the
// title's word right behind the model code ("B738 DLH ..."), and each livery's texture folder
// must exist beside the file. Worker thread only.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/livery.h"
#include "refdata/model_ids.h"

// The complete liveries of one file. Throws on (after logging) what no report list covers.
std::vector<Livery> lf_searchLiveriesinIVAOFile(std::uint32_t sourceIndex, const std::filesystem::path& path);
// The same for a file's lines already in memory (UTF-8); the model still comes from the path.
std::vector<Livery> lf_liveriesFromIvaoLines(std::uint32_t sourceIndex, std::span<const std::string> lines,
                                             const std::filesystem::path& path);

// The model code of the file's folder, checked against the dbase; empty (reported) otherwise.
std::string lf_fixIvaoModel(const std::filesystem::path& path);
// The word behind "IVAO_" of ".../IVAO_MTL/SimObjects/Airplanes/IVAO_<word>/aircraft.cfg" (or
// under "ivao_x-csl"), letter case aside; none for any other path ('/' separators).
std::optional<std::string> lf_ivaoModelFolder(std::string_view path);
// The three word characters behind the model code (and the "W" of a winglet folder) at the
// start of the title, as written; none when the title does not start that way.
std::optional<std::string> lf_ivaoTitleAirline(std::string_view title, std::string_view model, bool winglets);

std::vector<Livery> lf_processIvaoFltSimSections(std::uint32_t sourceIndex, std::span<const std::string> lines,
                                                 std::string_view model, const std::filesystem::path& path);
// The section's livery; an incomplete one (airline or model 0) when it yields none.
Livery lf_procesIvaoFltSimSection(std::uint32_t sourceIndex, std::span<const std::string> section,
                                  std::string_view model, const std::filesystem::path& path);
// The livery, or an empty one when its title was used before in this scan.
Livery lf_makeIvaoLivery(std::uint32_t sourceIndex, const DbaseEntry& identity, const std::string& title,
                         const std::string& registration);
