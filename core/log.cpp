#include "core/log.h"

#include <fmt/format.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/program.h"
#include "core/utc_time.h"
#include "platform/os.h"

namespace {

constexpr std::uint64_t kFlushThreshold = 4096;

std::mutex g_missingMutex;
std::set<std::string, std::less<>> g_missingLogged;

// Built on first use and never destroyed, so that threads and other globals may still log
// while the process exits; the file itself is flushed and closed by an exit handler.
struct LogFile {
  std::mutex mutex;  // plain and innermost: no writer calls another while holding it
  std::FILE* file = nullptr;
  std::uint64_t unflushed = 0;
  bool faultSaid = false;  // this file's first write failure went to stderr; the rest would repeat it
};

LogFile& lf_logFile() {
  static LogFile* log = [] {
    auto* created = new LogFile;
    std::atexit(gf_closeLog);
    return created;
  }();
  return *log;
}

// A log that cannot be written (a full disk, a link to /dev/full) loses every line silently
// otherwise: said once per file on stderr with the system's reason. Under the log's lock.
void lf_checkWritten(LogFile& log, int result) {
  if (result == 0 && !std::ferror(log.file)) return;
  const int code = errno;
  std::clearerr(log.file);
  if (log.faultSaid) return;
  log.faultSaid = true;
  gf_sayFaultOnStderr(fmt::format("the log Log.txt cannot be written: {}", os::errorText(code ? code : EIO)));
}

void lf_flush(LogFile& log) {
  errno = 0;
  lf_checkWritten(log, std::fflush(log.file));
  log.unflushed = 0;
}

void lf_writeLine(LogFile& log, std::string_view mark, std::string_view text) {
  if (!mark.empty()) std::fwrite(mark.data(), 1, mark.size(), log.file);
  std::fwrite(text.data(), 1, text.size(), log.file);
  std::fputc('\n', log.file);
}

bool lf_isOpen(LogFile& log) {
  std::lock_guard lock(log.mutex);
  return log.file != nullptr;
}

struct LimitedKind {
  std::int64_t minuteStart = 0;
  std::uint32_t logged = 0;
  std::uint64_t suppressed = 0;
};

constexpr std::int64_t kLimitMinuteMs = 60'000;

struct LogLimits {
  std::mutex mutex;  // never held while writing: the writers take the log's own lock
  std::map<std::string, LimitedKind, std::less<>> kinds;
  std::int64_t (*clock)() = nullptr;
};

LogLimits& lf_logLimits() {
  static auto* limits = new LogLimits;  // kept to the very end, like the log itself
  return *limits;
}

std::int64_t lf_limitNow(const LogLimits& limits) {
  if (limits.clock) return limits.clock();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string lf_suppressedText(std::uint64_t count, std::string_view kind) {
  return fmt::format("{} more lines like '{}' not logged in the last minute", count, kind);
}

// The counts of the minutes that are over (all of them when closing), taken out under the lock.
std::vector<std::string> lf_takeSuppressedCounts(bool all) {
  LogLimits& limits = lf_logLimits();
  std::vector<std::string> lines;
  std::lock_guard lock(limits.mutex);
  const std::int64_t now = lf_limitNow(limits);
  for (auto& [kind, state] : limits.kinds) {
    if (state.suppressed == 0 || (!all && now - state.minuteStart < kLimitMinuteMs)) continue;
    lines.push_back(lf_suppressedText(state.suppressed, kind));
    state.suppressed = 0;
  }
  return lines;
}

}  // namespace

void gf_openLog() {
  const std::filesystem::path path = "Log.txt";
  gf_closeLog();
  // Truncating the last run's file before it is kept would lose it: when no copy can be made
  // (a full disk) this run's lines go on after it instead. A device or a link to one (/dev/full)
  // holds no run worth keeping.
  std::string keepFailure;
  std::error_code typeError;
  const bool kept = !std::filesystem::is_regular_file(path, typeError) || gf_save1GenerationOf(path, &keepFailure);
  if (!kept) gf_sayFaultOnStderr(keepFailure);
  LogFile& log = lf_logFile();
  int openError = 0;
  {
    std::lock_guard lock(log.mutex);
    errno = 0;
    log.file = std::fopen(path.c_str(), kept ? "wb" : "ab");
    openError = errno;
    log.unflushed = 0;
    log.faultSaid = false;
    if (log.file) std::setvbuf(log.file, nullptr, _IOFBF, 1 << 16);
  }
  if (!lf_isOpen(log))
    throw std::runtime_error(fmt::format("Failed to write file {}: {}", path.string(), os::errorText(openError ? openError : EIO)));
  gf_log(fmt::format("{} {} version {} for {}", gf_utcDateTimeText(), g_programName, g_programVersionText,
                     "MSFS 2020/2024"));
  if (!kept) gf_logWarning(keepFailure);
  gf_flushLog();
}

void gf_closeLog() {
  for (const std::string& line : lf_takeSuppressedCounts(true)) gf_log(line);
  LogFile& log = lf_logFile();
  std::lock_guard lock(log.mutex);
  log.unflushed = 0;
  if (log.file) {
    lf_flush(log);
    errno = 0;
    const int closed = std::fclose(log.file);
    const int code = errno;
    if (closed != 0 && !log.faultSaid)
      gf_sayFaultOnStderr(fmt::format("the log Log.txt cannot be written: {}", os::errorText(code ? code : EIO)));
    log.file = nullptr;
  }
}

void gf_log(std::string_view text) {
  LogFile& log = lf_logFile();
  std::lock_guard lock(log.mutex);
  if (!log.file) return;
  lf_writeLine(log, {}, text);
  log.unflushed += text.size() + 1;
  if (log.unflushed >= kFlushThreshold) lf_flush(log);
}

void gf_logWarning(std::string_view text) {
  LogFile& log = lf_logFile();
  std::lock_guard lock(log.mutex);
  if (!log.file) return;
  lf_writeLine(log, "==> ", text);
  lf_flush(log);
}

void gf_logFlush(std::string_view text) {
  LogFile& log = lf_logFile();
  std::lock_guard lock(log.mutex);
  if (!log.file) return;
  lf_writeLine(log, {}, text);
  lf_flush(log);
}

void gf_flushLog() {
  LogFile& log = lf_logFile();
  std::lock_guard lock(log.mutex);
  if (log.file) lf_flush(log);
  log.unflushed = 0;
}

void gf_logIndented(std::string_view text) { gf_log(fmt::format("{:10}{}", "", text)); }

void gf_sayFaultOnStderr(std::string_view text) noexcept {
  std::fprintf(stderr, "JORV: %.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
}

void gf_logNoexcept(std::string_view text) noexcept {
  try {
    gf_log(text);
  } catch (...) {
  }
}

void gf_logMissingOnce(std::string_view name) {
  {
    std::lock_guard lock(g_missingMutex);
    // Looked up before anything is built: the hooks still missing are called every tick or step.
    if (g_missingLogged.contains(name)) return;
    g_missingLogged.emplace(name);
  }
  gf_log(fmt::format("{} is not built yet: skipped", name));
}

void gf_resetMissingLogged() {
  std::lock_guard lock(g_missingMutex);
  g_missingLogged.clear();
}

void gf_logLimited(std::string_view kind, std::string_view text, bool warning) {
  gf_logSuppressedCounts();
  LogLimits& limits = lf_logLimits();
  std::string ended;
  bool write = false;
  {
    std::lock_guard lock(limits.mutex);
    const std::int64_t now = lf_limitNow(limits);
    auto it = limits.kinds.find(kind);
    if (it == limits.kinds.end()) it = limits.kinds.emplace(std::string(kind), LimitedKind{now, 0, 0}).first;
    LimitedKind& state = it->second;
    if (now - state.minuteStart >= kLimitMinuteMs) {
      if (state.suppressed != 0) ended = lf_suppressedText(state.suppressed, kind);
      state = LimitedKind{now, 0, 0};
    }
    if (state.logged < kLogLimitPerMinute) {
      ++state.logged;
      write = true;
    } else {
      ++state.suppressed;
    }
  }
  if (!ended.empty()) gf_log(ended);
  if (!write) return;
  if (warning)
    gf_logWarning(text);
  else
    gf_log(text);
}

void gf_logSuppressedCounts() {
  for (const std::string& line : lf_takeSuppressedCounts(false)) gf_log(line);
}

void gf_setLogLimitClock(std::int64_t (*clock)()) {
  LogLimits& limits = lf_logLimits();
  std::lock_guard lock(limits.mutex);
  limits.clock = clock;
}

void gf_resetLogLimits() {
  LogLimits& limits = lf_logLimits();
  std::lock_guard lock(limits.mutex);
  limits.kinds.clear();
}
