#pragma once
// The main window's application messages.
#include <cstdint>

#include "platform/ui.h"

inline constexpr std::uint32_t MSG_START = ui::WM_APP + 1;
inline constexpr std::uint32_t MSG_EXIT = ui::WM_APP + 2;
inline constexpr std::uint32_t MSG_GUI_UPDATE = ui::WM_APP + 3;
// The aircraft selector's new list waits in its choices.
inline constexpr std::uint32_t MSG_AIRCRAFT_LIST = ui::WM_APP + 4;
inline constexpr std::uint32_t MSG_SIM_VERSION = ui::WM_APP + 100;
