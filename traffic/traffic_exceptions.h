#pragma once
// One reporter for every catch block of the traffic engine: a fault in one aircraft's data must
// not stop the engine, and one that repeats every step must not flood the log.
#include <string_view>

// Logs "Traffic exception in {}: {}{}" for the exception being handled, with the catching
// function's name; the 20th report says that further ones are suppressed, later ones write
// nothing. Call it inside a catch block. Never throws; any thread.
void gf_reportTrafficException(std::string_view functionName) noexcept;

// Tests: the count back to 0 (the program never resets it).
void gf_resetTrafficExceptionsForTest();
