#pragma once
// Where the window's handlers meet subsystems that are wired in later: blocking and stands,
// time shift and range mode, parking controls, the RT App link and the simulator link. Until
// its subsystem takes it over, each function here does nothing and logs nothing (the time-shift
// sum and the RT App server's close already do their job).
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ui.h"

// Blocking, destination and stand.
void gf_blockSelectedAircraft();
void gf_unblockAircraft();
ui::LResult gf_destinationEditProc(ui::Hwnd hwnd, std::uint32_t message, ui::WParam wParam, ui::LParam lParam);
// Stores the stand as the user stand of the airport in the park-airports list; false when the
// airport is not in the list.
bool gf_storeUserStand(std::string_view airport, std::string_view stand);

// Time shift and traffic range.
std::uint32_t gf_timeShiftMinutes();
void gf_applyTimeShift(std::uint32_t minutes, bool restartAllowed, bool keepControls);
void gf_applyRangeMode();
// The next engine step takes the simulator clock afresh (g_lastSimTimeSeconds = 0).
void gf_resetLastSimTime();

// Parking.
void gf_updateParkTrafficOnlyControls();
void gf_updateAutoParkControls();
void gf_restartParkingCountdown();
void gf_requestParkingUpdate();
bool gf_parkAirportStandsLoaded();

// RealTraffic feed (the parked-traffic request itself is the RT App reader's
// gf_requestParkedTraffic).
void gf_closeRTAppServer();
// Under the RT App connection mutex: the parked-only request flag and its change counter.
void gf_setParkedOnlyRequest(bool parkedOnly);
extern std::atomic<bool> g_waitingForRTApp;

// Simulator link: the user picked the other simulator.
extern std::atomic<bool> g_simSwitchRequested;
