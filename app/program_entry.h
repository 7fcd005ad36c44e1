#pragma once
// Program entry on the GUI thread: single instance, window class, per-user folder, main
// window, first MSG_START, message loop.
#include <atomic>
#include <cstdint>
#include <optional>

int wWinMain();
int gf_runGuiGuarded();
int gf_runGui();

// Set from the command line ("--production", any case, not as the program path).
bool gf_productionMode();
bool gf_hasProductionSwitch();
void gf_setExitCode(std::int32_t code);
std::int32_t gf_exitCode();

// The application title, string resource 101.
inline constexpr int IDS_APP_TITLE = 101;
const char* gf_loadString(int id);
