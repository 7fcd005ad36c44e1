#include "core/log.h"

#include <fmt/format.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>

#include "core/files.h"
#include "core/program.h"
#include "core/utc_time.h"

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
};

LogFile& lf_logFile() {
  static LogFile* log = [] {
    auto* created = new LogFile;
    std::atexit(gf_closeLog);
    return created;
  }();
  return *log;
}

void lf_writeLine(LogFile& log, std::string_view mark, std::string_view text) {
  if (!mark.empty()) std::fwrite(mark.data(), 1, mark.size(), log.file);
  std::fwrite(text.data(), 1, text.size(), log.file);
  std::fputc('\n', log.file);
}

}  // namespace

void gf_openLog() {
  const std::filesystem::path path = "Log.txt";
  gf_closeLog();
  gf_save1GenerationOf(path);
  LogFile& log = lf_logFile();
  bool open = false;
  {
    std::lock_guard lock(log.mutex);
    log.file = std::fopen(path.c_str(), "wb");
    log.unflushed = 0;
    if (log.file) std::setvbuf(log.file, nullptr, _IOFBF, 1 << 16);
    open = log.file != nullptr;
  }
  if (!open) throw std::runtime_error("Failed to write file " + path.string());
  gf_log(fmt::format("{} {} version {} for {}", gf_utcDateTimeText(), g_programName, g_programVersionText,
                     "MSFS 2020/2024"));
  gf_flushLog();
}

void gf_closeLog() {
  LogFile& log = lf_logFile();
  std::lock_guard lock(log.mutex);
  log.unflushed = 0;
  if (log.file) {
    std::fclose(log.file);
    log.file = nullptr;
  }
}

void gf_log(std::string_view text) {
  LogFile& log = lf_logFile();
  std::lock_guard lock(log.mutex);
  if (!log.file) return;
  lf_writeLine(log, {}, text);
  log.unflushed += text.size() + 1;
  if (log.unflushed >= kFlushThreshold) {
    std::fflush(log.file);
    log.unflushed = 0;
  }
}

void gf_logWarning(std::string_view text) {
  LogFile& log = lf_logFile();
  std::lock_guard lock(log.mutex);
  if (!log.file) return;
  lf_writeLine(log, "==> ", text);
  std::fflush(log.file);
  log.unflushed = 0;
}

void gf_logFlush(std::string_view text) {
  LogFile& log = lf_logFile();
  std::lock_guard lock(log.mutex);
  if (!log.file) return;
  lf_writeLine(log, {}, text);
  std::fflush(log.file);
  log.unflushed = 0;
}

void gf_flushLog() {
  LogFile& log = lf_logFile();
  std::lock_guard lock(log.mutex);
  if (log.file) std::fflush(log.file);
  log.unflushed = 0;
}

void gf_logIndented(std::string_view text) { gf_log(fmt::format("{:10}{}", "", text)); }

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
