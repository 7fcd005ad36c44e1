#include "traffic/traffic_exceptions.h"

#include <fmt/format.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <string>

#include "core/log.h"

namespace {

constexpr std::uint32_t kReportLimit = 20;
std::atomic<std::uint32_t> g_trafficExceptionCount{0};

std::string lf_currentExceptionText() {
  const std::exception_ptr current = std::current_exception();
  if (!current) return "unknown exception";
  try {
    std::rethrow_exception(current);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "non-standard exception";
  }
}

}  // namespace

void gf_reportTrafficException(std::string_view functionName) noexcept {
  try {
    // Past the limit the count stays put, so that it can never wrap round to reporting again.
    if (g_trafficExceptionCount.load() >= kReportLimit) return;
    const std::uint32_t before = g_trafficExceptionCount.fetch_add(1);
    if (before >= kReportLimit) return;
    const char* suffix = before == kReportLimit - 1 ? " (further traffic exceptions will be suppressed)" : "";
    gf_logWarning(fmt::format("Traffic exception in {}: {}{}", functionName, lf_currentExceptionText(), suffix));
  } catch (...) {
  }
}

void gf_resetTrafficExceptionsForTest() { g_trafficExceptionCount = 0; }
