#pragma once
// One run of the worker ends on the first stop request; later ones are dropped.
#include <cstdint>
#include <memory>
#include <string_view>

// A closed set: every code has its text, so nothing can ask for an unknown reason.
enum class StopReason : std::uint32_t {
  NotYetSet = 0,
  SimWasClosed = 1,
  NewFlight = 2,
  NewSettings = 3,
  UserClosedSim = 4,
  InstallPathMissing = 5,
  SimConnectError = 6,
  ReaderError = 7,
  SystemError = 8,
  NewVersion = 9,
  TrafficMailboxStalled = 10,
};

std::string_view gf_stopReasonText(StopReason reason);  // "NOT YET SET", "SIM WAS CLOSED", ...
bool gf_isRestartReason(StopReason reason);             // NEW FLIGHT, NEW SETTINGS, SIMCONNECT ERROR, READER ERROR

struct StopRequest {
  StopReason reason = StopReason::NotYetSet;
  std::uint32_t restartDelaySeconds = 0;  // 0: restart at once; ignored when the program exits
};

// Stores the request unless one is stored; true when this call's request was the one stored.
// UserClosedSim also marks the exit as requested (whatever was stored) and closes the RT App server.
bool gf_requestStop(StopReason reason, std::uint32_t restartDelaySeconds);
bool gf_isRunning();
std::shared_ptr<const StopRequest> gf_stopRequest();
bool gf_exitRequested();

// The simulator loaded a flight or the user aircraft jumped: restart after 60 s.
void gf_requestRestartNewFlight();
// While running: logs that the simulator went away and asks for SIM WAS CLOSED; true when it ran.
bool gf_reportSimDisconnected();

// The restart's main-state reset: the next run starts without a request.
void gf_clearStopRequest();
// Set by the RT App link while its server runs, so that closing the window stops its waits.
void gf_setRTAppServerCloser(void (*closer)());
// Tests only: forget the exit request as well.
void gf_resetStopStateForTest();
