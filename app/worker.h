#pragma once
// The worker thread: one run of the program from set-up to shutdown.
#include <thread>

// The threads of a run; replacing or destroying one stops and joins its thread.
extern std::jthread g_weatherReaderThread;
extern std::jthread g_trafficReaderThread;

// Joins the previous run, if any, and starts a fresh one. GUI thread only.
void gf_startMainThread();
// Waits for the current run to end. GUI thread only.
void gf_joinMainThread();

// The thread body: set-up, traffic source, main loop; lf_closingDown on every way out.
void lf_main();
bool lf_setupData();
void lf_commandLineJob();
void lf_createFolders();
bool lf_startSimClient();
bool lf_waitForSimulator();

// Set once the dbase has been read; later runs of the process keep it.
extern bool g_dbaseLoaded;
// Tests: a fresh process's worker state.
void gf_resetWorkerForTest();
