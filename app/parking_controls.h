#pragma once
// The parking controls of the main window kept consistent: locked while parking is generated,
// the options that exclude others, and the countdown to the next parking update. Control
// states are set on the calling thread (GUI or worker); display changes go through the queue.
#include <functional>

#include "parking/park_population.h"  // g_parkingGenerating: the parking band says so, its controls stay locked

void gf_disableParkingControls();
// parking_percentage and AUTO_PARK only while RT_PARKTRAFFIC_ONLY is off; WEEK and PARK_SOFT
// only while both are off; MAX_FIT_FL when AUTO_PARK is off or RT_PARKTRAFFIC_ONLY on. Each
// update applies all of it, so the order of the two never matters.
void gf_updateParkTrafficOnlyControls();
void gf_updateAutoParkControls();
void gf_updateParkingControls();
void gf_parkingGenerationDone();
// A fresh countdown of PARKING_INTERVAL_MINUTES, handed over to the worker.
void gf_restartParkingCountdown();
void gf_requestParkingUpdate();
// The same request without a word to the user: the 15-step pass takes it as it takes the button's.
void gf_requestParkingAdjustment();
// The window's counts: live aircraft in the simulator and not parked at a stand, then the parked
// live and static ones (each count also posts its fit figure). Worker thread.
void gf_postAircraftCounts();
// RT_PARKTRAFFIC_ONLY changed: the new state and one more change, for the main loop.
void gf_setParkedOnlyRequest(bool parkedOnly);

// Feed start: waits up to 15 s (150 steps of 100 ms) for the first traffic of the active source;
// returns at once when the program stops. Logs "No traffic in this region" when none came.
void gf_waitForFirstTraffic();
// The same wait with the received test and the 100-ms sleep given; true when traffic came.
bool gf_waitForTraffic(const std::function<bool()>& received, const std::function<void()>& sleep100Ms);

// Tests: as at program start.
void gf_resetParkingControlsForTest();
