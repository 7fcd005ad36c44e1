#pragma once
// Log.txt: one running text file that every thread writes to, one line per call.
// Format the line first, then call a writer: no writer formats under the log's lock.
#include <cstdint>
#include <string_view>

// Closes the previous run's file, keeps it as Log0.txt and opens a fresh Log.txt in the
// current directory with its header line. Throws std::runtime_error when it cannot be opened.
void gf_openLog();
void gf_closeLog();

void gf_log(std::string_view text);         // buffered: flushed once 4096 bytes have gathered
void gf_logWarning(std::string_view text);  // "==> " mark, flushed at once
void gf_logFlush(std::string_view text);    // no mark, flushed at once
void gf_flushLog();
void gf_logNoexcept(std::string_view text) noexcept;
// A fault that ends the run, said on standard error as "JORV: " and the text: nobody may see the
// window, and the log itself may be what could not be written (a full disk). The log line is
// the caller's.
void gf_sayFaultOnStderr(std::string_view text) noexcept;
// A continuation line: ten blanks before the text, buffered like gf_log.
void gf_logIndented(std::string_view text);
// A part of the program that is not built yet: logs "{} is not built yet: skipped" the first time
// a name is given, nothing later. Any thread.
void gf_logMissingOnce(std::string_view name);
// Tests and the restart: every name may be logged once more.
void gf_resetMissingLogged();

// Lines that outside input can set off at any rate (a flood of bad datagrams must not fill the
// disk): past kLogLimitPerMinute lines of one kind within a minute the rest are only counted, and
// "{} more lines like '{}' not logged in the last minute" (count, kind) follows once that minute
// is over. Echoed outside text belongs in gf_escapedText first.
inline constexpr std::uint32_t kLogLimitPerMinute = 30;
void gf_logLimited(std::string_view kind, std::string_view text, bool warning = false);
// The counts of ended minutes; gf_logLimited and gf_closeLog do this too.
void gf_logSuppressedCounts();
// Tests: a clock in milliseconds for the limiter (null: the steady clock), and a fresh start.
void gf_setLogLimitClock(std::int64_t (*clock)());
void gf_resetLogLimits();
