#pragma once
// SimClient: the one thread that owns the program's SimConnect connection. It connects (and
// reconnects), sets up events and data definitions, dispatches the simulator's replies, sends
// the AI poses and performs the queued commands once per frame, and on stop removes every AI
// object it created.
//
// Wiring (lf_main and lf_closingDown):
//   gf_setSimLinkHooks(...);                  // once, before the first start
//   gf_initSimClient();
//   g_simClientThread = std::jthread(SimClient);
//   ...
//   g_simClientThread.request_stop(); if (g_simClientThread.joinable()) g_simClientThread.join();
//   gf_resetSimClient();                      // restart phase "reinitializing SimConnect state"
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string_view>
#include <thread>

// 0 no simulation available, 1 connected without a running flight, 2 flight running,
// 3 a request failed and a stop is pending (kept until the thread ends or the reset).
extern std::atomic<std::uint8_t> g_simState;

extern std::jthread g_simClientThread;

void SimClient(std::stop_token stopToken);
void gf_initSimClient();
void gf_resetSimClient();

// What the link needs of the window and the settings, set by the application before the
// thread starts. An empty hook is skipped (showError then only logs "Error {}").
struct SimLinkHooks {
  std::function<void(std::string_view text)> showError;         // Gui::showError
  std::function<void(std::string_view text)> setSimulatorText;  // the simulator line ("MSFS 2024 (...)")
  std::function<void(bool running)> setSimulationRunning;       // the simulation-running indicator
  std::function<void()> clearStatusLine;                        // unless an error is shown
  std::function<bool()> offlineLearningMode;                    // the GUI's tblo mode
  std::function<void()> showTbloMailHint;                       // gf_showTbloMailHint
  std::function<void()> postSimVersion;  // MSG_SIM_VERSION (wParam 0, lParam 0) to the main window, if any
  std::function<double()> rangeNm;       // RANGE of the current parameter snapshot; 40 when empty
};
void gf_setSimLinkHooks(SimLinkHooks hooks);

// Waits of the thread, shortened by tests. The shutdown wait is measured on gf_simSteadyNanos.
struct SimClientTiming {
  std::chrono::nanoseconds openRetry = std::chrono::milliseconds(100);
  std::chrono::nanoseconds dispatchPause = std::chrono::milliseconds(1);
  std::chrono::nanoseconds shutdownWait = std::chrono::seconds(2);
};
void gf_setSimClientTimingForTest(const SimClientTiming& timing);

// Tests: everything back to the state of a fresh process (create ids from 10000, no hooks,
// default timing, the real clock, empty queues and delayed commands).
void gf_resetSimClientForTest();
