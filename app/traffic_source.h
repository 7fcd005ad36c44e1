#pragma once
// The start of the chosen traffic source once the user's aircraft is known: the airport scan,
// then the RT App link (server, version handshake, readers) or RT Direct (cooldown, sign-in,
// readers), and a bounded wait for the first traffic.
#include <atomic>
#include <cstdint>
#include <string_view>

// Our RT App server was started in this run; without it nothing is sent to the app.
extern std::atomic<bool> g_rtAppServerStarted;

bool lf_startRTApp();
bool lf_startRTDirect();
void lf_rtAppHandshake();
void lf_processRTVersion(std::string_view answer);
// Worker, every tick and every start-up wait: false once the app that held the seat has gone,
// which frees the seat at once and restarts the run to ask the next client.
bool gf_watchRTAppSeat();

// A sleep of the worker that a stop cuts short (checked every 100 ms at most).
void gf_workerSleepMs(std::int64_t ms);
