#pragma once
// The engine's heartbeat and its passes of the main loop, all on lf_main. Every running tick
// (not in a pause) lf_handleAddingStack applies the simulator's answers, updates every live
// aircraft, hands removals and creations to the simulator link at fixed rates (one removal per
// 100 ms, one creation per 200 ms, live before static), drains the mailbox, turns spawned
// aircraft into create requests, requests and publishes the user aircraft's position, checks
// waiting aircraft for overlaps and advances g_engineTime by one.
#include <cstdint>

void lf_handleAddingStack();
// Runs updateLiveAc for every aircraft; one that throws is reported, removed, and the pass goes
// on. Erases the records marked for it, and the static ones when any is marked.
void lf_updatePass();
void lf_userAircraftTick();

// Start of every run of lf_main: every table empty, room reserved.
void gf_initTrafficEngine();
// A restart: every table, the mailbox and the engine's share of the parking state cleared.
void gf_clearTrafficEngine();

// Engine step: removes at most one blocked live aircraft (hexid, else callsign, else registration).
void gf_removeBlockedAc();
// Removes the live aircraft furthest from the user beyond distanceNm + 0.1 NM (a negative
// distance: any); true when there was none. Never throws.
bool lf_isThisTheFurthestLive(double distanceNm);
// Engine step: the last parked-aircraft action, once due.
void gf_runDueParkedAcAction();
// Every 30th step: aircraft seen only as TCAS coverage go below TCAS_FL x 100 - 1000 ft.
void gf_removeTCASCoverageAcs();
// Live aircraft whose object exists in the simulator.
std::int64_t gf_liveAircraftInSim();

// The park airport's stand file and population; the time the population took is added to
// g_engineTime, so that the engine clock keeps pace with the feed's stamps.
void gf_setupParkAirport();
// Engine steps that are multiples of 14 but not of 5: parking generation end, a park request,
// and the choice or reach check of the park airport.
void gf_handleParkingRequests();
