#pragma once
// One [fltsim.N] section of a package aircraft.cfg into at most one livery: its title, airline,
// parking types and registration, the rules that drop unwanted or broken liveries, "PVT" for
// private aircraft, the dbase's identity of a known registration, the cargo flag, and each title
// once per scan. Every rejection is one line of a report list. Worker thread only.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "liveries/livery.h"

// The section's lines begin with its header; `model` is the file's model code (never empty).
std::optional<Livery> lf_procesFltSimSection(std::uint32_t sourceIndex, std::span<const std::string> section,
                                             std::string_view model, std::string_view pathText,
                                             std::string_view folderText);
