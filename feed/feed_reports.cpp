#include "feed/feed_reports.h"

#include <fmt/format.h>

#include <atomic>

#include "appbase/gui.h"
#include "appbase/stop_request.h"
#include "core/log.h"

namespace {

constexpr std::uint32_t kReaderRestartHoldSeconds = 15;

std::atomic<void (*)(FeedReport, std::uint32_t)> g_postSink{nullptr};
std::atomic<void (*)(std::string_view, std::string_view)> g_readerStoppedSink{nullptr};

}  // namespace

void gf_setFeedReportSinks(FeedReportSinks sinks) {
  g_postSink = sinks.post;
  g_readerStoppedSink = sinks.readerStopped;
}

void gf_postFeedReport(FeedReport kind, std::uint32_t value) {
  if (auto sink = g_postSink.load()) {
    sink(kind, value);
    return;
  }
  switch (kind) {
    case FeedReport::SetQnh: Gui::enqueueUpdate(gui::SetQnh{value}); break;
    case FeedReport::SetTrafficReaderState: Gui::enqueueUpdate(gui::SetTrafficReaderState{value}); break;
    case FeedReport::SetWeatherReaderState: Gui::enqueueUpdate(gui::SetWeatherReaderState{value}); break;
  }
}

void gf_reportFeedReaderStopped(std::string_view reader, std::string_view text) {
  if (auto sink = g_readerStoppedSink.load()) {
    sink(reader, text);
    return;
  }
  gf_reportRTAppReaderStopped(reader, text);
}

void gf_reportRTAppReaderStopped(std::string_view readerName, std::string_view error) {
  Gui::showMessage(fmt::format("The {} has stopped with error: {}", readerName, error), true);
  gf_requestStop(StopReason::ReaderError, kReaderRestartHoldSeconds);
}

void gf_reportRTAPIReaderStopped(std::string_view readerName, bool restart, std::int32_t status) {
  const std::string text =
      status == 402 ? std::string("Your RealTraffic license has expired (error 402). Check your license and API token.")
                    : fmt::format("The {} has stopped with an error", readerName);
  Gui::showMessage(text, true);
  // Not restarted, the run ends on this.
  if (!restart) gf_sayFaultOnStderr(text);
  gf_requestStop(restart ? StopReason::ReaderError : StopReason::SystemError, kReaderRestartHoldSeconds);
}
