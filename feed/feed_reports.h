#pragma once
// What the feed's threads report to the application: GUI updates (QNH, reader lamps) and a
// reader that gave up. By default they go to the main window and end in a stop request;
// tests that want to watch them install sinks instead.
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

// Replaces the default reporting; an empty member restores its default.
void gf_setFeedReportSinks(FeedReportSinks sinks);
void gf_postFeedReport(FeedReport kind, std::uint32_t value);
void gf_reportFeedReaderStopped(std::string_view reader, std::string_view text);

// An RT App reader stopped with an error: message and a READER ERROR restart after 15 s.
void gf_reportRTAppReaderStopped(std::string_view readerName, std::string_view error);
// An RT Direct reader stopped: READER ERROR when it may restart, else SYSTEM ERROR; 15 s hold.
void gf_reportRTAPIReaderStopped(std::string_view readerName, bool restart, std::int32_t status);
