#include "liveries/failed_liveries.h"

#include <fmt/format.h>

#include "appbase/gui.h"
#include "appbase/stop_request.h"
#include "core/log.h"
#include "core/user_exception.h"

namespace {

constexpr int kTooManyFailuresCode = 81;
constexpr std::string_view kTooManyFailures = "There are too many liveries that could not be created!";

}  // namespace

TextSet g_failedLiveryTitles;
TextSet g_failedLiveryModels;
TextSet g_unmatchedLiveries;

void gf_reportLiveryCreateFailure(const FeedRecordHead& aircraft, std::string_view matchedTitle) {
  if (gf_isRunning())
    Gui::showMessage(fmt::format("{} '{}' could not be created by your Sim!", aircraft.callsign, matchedTitle), true);
  g_failedLiveryTitles.emplace(matchedTitle);
  g_failedLiveryModels.insert(
      fmt::format("{} {}", gf_airlineName(aircraft.airlineId), gf_modelName(aircraft.modelId)));
  if (g_failedLiveryTitles.size() < kFailedLiveryLimit) return;
  gf_log(fmt::format("\n{}Error 81, {}\n", "===> ", kTooManyFailures));
  throw jrv::UserRelatedException(kTooManyFailuresCode, fmt::format("{}, see Log.txt", kTooManyFailures));
}

bool gf_isFailedLivery(std::string_view title) { return g_failedLiveryTitles.contains(title); }

std::vector<std::string> gf_failedLiveryModelLines() {
  std::vector<std::string> lines;
  lines.reserve(g_failedLiveryModels.size());
  for (const auto& entry : g_failedLiveryModels) lines.push_back("  " + entry);
  return lines;
}

void gf_logUnmatchedLiveries() {
  if (g_unmatchedLiveries.empty()) return;
  gf_log("\nNo match found for:");
  for (const auto& entry : g_unmatchedLiveries) gf_log(entry);
  gf_log("");
}
