#pragma once
// What the feed's threads report to the application: GUI updates (QNH, reader lamps) and a
// reader that gave up. The application plugs its GUI update queue and its restart request in
// here; without them (and in tests that do not look) the reports are dropped.
#include <cstdint>
#include <string_view>

enum class FeedReport : std::uint8_t {
  SetQnh,                 // hPa
  SetTrafficReaderState,  // 0 receiving, 1 waiting, 2 stopped
  SetWeatherReaderState,
};

struct FeedReportSinks {
  void (*post)(FeedReport kind, std::uint32_t value) = nullptr;
  // A reader thread ended for another reason than a stop (reader name, reason).
  void (*readerStopped)(std::string_view reader, std::string_view text) = nullptr;
};

void gf_setFeedReportSinks(FeedReportSinks sinks);
void gf_postFeedReport(FeedReport kind, std::uint32_t value);
void gf_reportFeedReaderStopped(std::string_view reader, std::string_view text);
