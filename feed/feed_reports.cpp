#include "feed/feed_reports.h"

#include <atomic>

namespace {

std::atomic<void (*)(FeedReport, std::uint32_t)> g_postSink{nullptr};
std::atomic<void (*)(std::string_view, std::string_view)> g_readerStoppedSink{nullptr};

}  // namespace

void gf_setFeedReportSinks(FeedReportSinks sinks) {
  g_postSink = sinks.post;
  g_readerStoppedSink = sinks.readerStopped;
}

void gf_postFeedReport(FeedReport kind, std::uint32_t value) {
  if (auto sink = g_postSink.load()) sink(kind, value);
}

void gf_reportFeedReaderStopped(std::string_view reader, std::string_view text) {
  if (auto sink = g_readerStoppedSink.load()) sink(reader, text);
}
