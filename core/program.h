#pragma once
// The program's name and version, as the log header and the window title show them.
#include <string_view>

inline constexpr std::string_view g_programName = "JORV";
inline constexpr std::string_view g_programVersionText = "16.8.2";
