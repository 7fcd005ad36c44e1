#include "feed/rt_api_readers.h"

#include <fmt/format.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "appbase/gui.h"
#include "appbase/stop_request.h"
#include "core/log.h"
#include "core/user_exception.h"
#include "feed/feed_reports.h"
#include "feed/qnh.h"
#include "feed/rt_api_metar_client.h"
#include "feed/rt_api_session.h"
#include "feed/rt_api_traffic_client.h"

namespace {

constexpr std::int32_t kStopped = 9999;

void lf_pauseTenSeconds() {
  for (int i = 0; i < 100 && gf_isRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

// Runs however a reader body ends: its lamp goes off and, unless it was told to stop, the
// partner reader is stopped and the end reported (once).
class ReaderEndGuard {
 public:
  ReaderEndGuard(std::string_view name, FeedReport lamp, RTAPIClient& partner, const std::int32_t& status,
                 const bool& reported)
      : name_(name), lamp_(lamp), partner_(partner), status_(status), reported_(reported) {}
  ReaderEndGuard(const ReaderEndGuard&) = delete;
  ReaderEndGuard& operator=(const ReaderEndGuard&) = delete;
  ~ReaderEndGuard() noexcept {
    try {
      gf_postFeedReport(lamp_, 2);
    } catch (...) {
    }
    if (status_ == kStopped) return;
    partner_.requestStop();
    if (reported_) return;
    try {
      gf_reportRTAPIReaderStopped(name_, gf_rtApiStatusAllowsRestart(status_), status_);
    } catch (...) {
    }
  }

 private:
  std::string_view name_;
  FeedReport lamp_;
  RTAPIClient& partner_;
  const std::int32_t& status_;
  const bool& reported_;
};

void lf_logReaderEnd(std::string_view shortName, std::int32_t status) {
  if (status == 401) {
    gf_logWarning(fmt::format("re-authentication to RT API is needed, restart {}", "JORV"));
  } else if (status == 400) {
    gf_logWarning(fmt::format("{} RT API: parameter fault", shortName));
  } else if (status == 403) {
    gf_logWarning(fmt::format("{} RT API: No data for this license type", shortName));
  } else {
    gf_logWarning(fmt::format("{} RT API error: {}", shortName, status));
  }
}

template <typename Work>
void lf_readerBody(std::string_view name, std::string_view shortName, std::string_view function, FeedReport lamp,
                   RTAPIClient& partner, Work work) {
  std::int32_t status = 0;
  bool reported = false;
  ReaderEndGuard guard(name, lamp, partner, status, reported);
  try {
    gf_logRTConnected(name);
    gf_postFeedReport(lamp, 0);
    if (work(status)) return;
    gf_postFeedReport(lamp, 2);
    if (status != kStopped) lf_logReaderEnd(shortName, status);
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("{}: {}", function, e.what()));
    gf_reportRTAPIReaderStopped(name, false, 0);
    reported = true;
    if (status == kStopped) status = 0;  // the partner must still be stopped
  } catch (...) {
    gf_reportRTAPIReaderStopped(name, false, 0);
    reported = true;
    if (status == kStopped) status = 0;
  }
}

}  // namespace

bool gf_rtApiStatusAllowsRestart(std::int32_t status) {
  // Only the service's refusals that a new run can't get past end the program: a request it
  // won't take, an expired or unknown license, data the license doesn't cover, a second
  // session. Anything else (a lost session, a run of passing trouble) restarts.
  switch (status) {
    case 400:
    case 402:
    case 403:
    case 404:
    case 405: return false;
    default: return true;
  }
}

void gf_stopRTAPIReaders() {
  g_rtApiMetarClient.requestStop();
  g_rtApiTrafficClient.requestStop();
}

void gf_authenticater() {
  Gui::showMessage("Waiting for authentication at RT server ...", true);
  gf_logFlush(" ");
  std::int32_t status = 0;
  if (authenticate(status)) {
    Gui::clearMessage();
    return;
  }
  auto refuse = [](std::int32_t code, std::string_view text) {
    Gui::showMessage(text, true);
    lf_pauseTenSeconds();
    throw jrv::UserRelatedException(code, text);
  };
  switch (status) {
    case 402: refuse(402, "Your RT license is expired"); break;
    case 404: refuse(404, "RT did not recognize your license"); break;
    case 405: refuse(405, "More than one RealTraffic session is not possible, do not run the RealTraffic app"); break;
    case 500: throw std::runtime_error("No RT database connection");
    default:
      // No usable answer (100) is passing trouble: restart and sign in again; anything else ends.
      gf_reportRTAPIReaderStopped("Authenticater", status == 100, 0);
      Gui::clearMessage();
      return;
  }
}

void gf_RTAPITrafficReader() {
  lf_readerBody("Traffic RTAPIreader", "Traffic", "gf_RTAPITrafficReader", FeedReport::SetTrafficReaderState,
                g_rtApiMetarClient, [](std::int32_t& status) {
                  if (g_rtApiTrafficClient.qnh == 0) {
                    g_rtApiTrafficClient.qnh = kStandardQnh;
                    g_qnh = kStandardQnh;
                    gf_postFeedReport(FeedReport::SetQnh, kStandardQnh);
                  }
                  return g_rtApiTrafficClient.requestTraffic(status);
                });
}

void gf_RTAPIWeatherReader() {
  lf_readerBody("Weather RTAPIreader", "Weather", "gf_RTAPIWeatherReader", FeedReport::SetWeatherReaderState,
                g_rtApiTrafficClient, [](std::int32_t& status) { return g_rtApiMetarClient.nearestMetar(status); });
}
