#pragma once
// RT Direct: the sign-in at the start of the mode and the two reader threads (traffic and
// weather) that poll the web API, stop together and report why they ended.
#include <cstdint>
#include <string_view>

// Signs in on the worker. Returns after success or after a reported failure; throws
// jrv::UserRelatedException for the refusals the user must act on (402, 404, 405) and
// std::runtime_error "No RT database connection" for 500.
void gf_authenticater();

// Thread bodies, "Traffic RTAPIreader" and "Weather RTAPIreader".
void gf_RTAPITrafficReader();
void gf_RTAPIWeatherReader();

// Whether a reader that ended with this status (not 9999) may restart: all but the service's
// refusals (400, 402, 403, 404, 405).
bool gf_rtApiStatusAllowsRestart(std::int32_t status);

// Ends a reader's pauses and transfers at once; the thread then returns.
void gf_stopRTAPIReaders();
