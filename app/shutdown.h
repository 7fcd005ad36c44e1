#pragma once
// The end of every run of the worker: the ordered shutdown of the simulator link and the
// readers, what must persist, then a restart (after a countdown) or the program's exit.
#include <atomic>
#include <cstdint>

// A restart is under way; the next run skips the update check. Worker thread (and the next
// worker, after MSG_START has passed the GUI thread).
extern bool g_restartPending;

void lf_closingDown();
void lf_closingDownGuarded() noexcept;
// True: restart; false: exit instead (the window was closed).
bool gf_restartCountdown(std::uint32_t seconds);
void lf_resetMainState() noexcept;
void lf_reportClosingDownException(const char* text) noexcept;
void gf_postStartOrExit() noexcept;
