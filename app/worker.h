#pragma once
// The worker thread: one run of the program from set-up to shutdown.

// Joins the previous run, if any, and starts a fresh one. GUI thread only.
void gf_startMainThread();
// Waits for the current run to end. GUI thread only.
void gf_joinMainThread();
