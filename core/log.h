#pragma once
// Log.txt: one running text file that every thread writes to, one line per call.
// Format the line first, then call a writer: no writer formats under the log's lock.
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
// A continuation line: ten blanks before the text, buffered like gf_log.
void gf_logIndented(std::string_view text);
// A part of the program that is not built yet: logs "{} is not built yet: skipped" the first time
// a name is given, nothing later. Any thread.
void gf_logMissingOnce(std::string_view name);
// Tests and the restart: every name may be logged once more.
void gf_resetMissingLogged();
