#include "feed/rt_app_weather.h"

#include <fmt/format.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "appbase/stop_request.h"
#include "core/log.h"
#include "core/text.h"
#include "feed/feed_reports.h"
#include "feed/qnh.h"
#include "feed/rt_app_messages.h"
#include "feed/rt_app_traffic.h"

RTAppWeatherReader g_rtAppWeatherReader;

namespace {

constexpr const char* kReaderName = "QNH Reader";
constexpr std::uint32_t kReaderReceiving = 0;
constexpr std::uint32_t kReaderStopped = 2;

std::int64_t lf_steadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Two seconds, cut short when the program stops.
void lf_reconnectPause() {
  for (int step = 0; step < 20 && gf_isRunning(); ++step) std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

}  // namespace

void RTAppWeatherReader::resetReceivedLineState() {
  clearReceivedLineState();
  lastMetar.clear();
  lastQnh = 0;
  lastMetarTime = 0;
}

void RTAppWeatherReader::handleLine() {
  try {
    // Junk on the port is refused without an exception: a flood of it would cost a core in
    // throwing alone.
    JsonCheck check = gf_checkJson(line);
    if (check.status != JsonCheck::Status::whole) {
      gf_logLimited("weather exception",
                    fmt::format("Exception {}, in {}", gf_escapedText(check.error), gf_escapedText(line)));
      return;
    }
    const nlohmann::json data = nlohmann::json::parse(line, nullptr, false);
    if (data.is_discarded()) return;
    const QnhResult result = gf_metarFromWeatherData(data);
    if (!lastMetar.empty() && data.is_object()) {
      const auto metar = data.find("METAR");
      if (metar != data.end() && metar->is_string() && metar->get_ref<const std::string&>() == lastMetar) {
        lastMetarTime = lf_steadyNanoseconds();
        return;
      }
    }
    if (result.hasValue()) {
      lastMetar = data.at("METAR").get<std::string>();
      lastMetarTime = lf_steadyNanoseconds();
      const std::uint32_t qnh = result.value();
      if (qnh != lastQnh) {
        lastQnh = qnh;
        g_rtAppTrafficReader.qnhHpa = static_cast<std::int32_t>(qnh);
        g_qnh = static_cast<std::int32_t>(qnh);
        gf_postFeedReport(FeedReport::SetQnh, qnh);
      }
      return;
    }
    const QnhError& error = result.error();
    if (error.kind == QnhErrorKind::NothingFound || error.kind == QnhErrorKind::InvalidData)
      gf_logLimited("no QNH", fmt::format("no QNH {}", gf_escapedText(line)));
    else
      gf_logLimited("QNH error", fmt::format("{} in {}", gf_escapedText(error.text), gf_escapedText(line)), true);
  } catch (const std::exception& e) {
    gf_logLimited("weather exception",
                  fmt::format("Exception {}, in {}", gf_escapedText(e.what()), gf_escapedText(line)));
  }
}

void gf_weatherReader(std::uint16_t port) {
  RTAppWeatherReader& reader = g_rtAppWeatherReader;
  try {
    for (;;) {
      try {
        reader.create();
        reader.bindToPort(port);
        gf_postFeedReport(FeedReport::SetWeatherReaderState, kReaderReceiving);
        gf_log(fmt::format("{} connected", kReaderName));
        reader.receive();
        break;
      } catch (const std::exception& e) {
        reader.close();
        if (!gf_isRunning()) break;
        reader.resetReceivedLineState();
        gf_postFeedReport(FeedReport::SetWeatherReaderState, kReaderStopped);
        gf_logWarning(fmt::format("{} exception: {}; reconnecting ...", "gf_weatherReader", e.what()));
        lf_reconnectPause();
        if (!gf_isRunning()) break;
      }
    }
  } catch (...) {
    gf_reportFeedReaderStopped(kReaderName, "Unknown exception");
  }
  reader.close();
  gf_postFeedReport(FeedReport::SetWeatherReaderState, kReaderStopped);
  gf_logNoexcept(fmt::format("{} disconnected", kReaderName));
}
