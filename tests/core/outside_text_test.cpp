#include <gtest/gtest.h>
#include <fmt/format.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "core/log.h"
#include "core/text.h"
#include "core/utc_time.h"
#include "tests/support/test_support.h"

namespace {
using testing_support::readFile;
using testing_support::ScopedCurrentDir;
using testing_support::TempDir;

TEST(EscapedText, ControlBytesInvalidUtf8AndHiddenControlsAreShownEscaped) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"RTTFC,1,2", "RTTFC,1,2"},
      {"a\nb\r\tc", "a\\x0Ab\\x0D\\x09c"},
      {"\x1b[31mred", "\\x1B[31mred"},
      {"\xff\xfe", "\\xFF\\xFE"},
      {"\xc3\xa9t\xc3", "\xc3\xa9t\\xC3"},  // a cut-off sequence at the end
      {"\xe2\x80\xae"
       "evil",
       "\\u{202E}evil"},                     // right-to-left override
      {"\xc2\x85x\x7f", "\\u{0085}x\\x7F"},  // C1 next line, DEL
      {"\xed\xa0\x80", "\\xED\\xA0\\x80"},   // an encoded surrogate
      {"\xc0\xaf", "\\xC0\\xAF"},            // overlong
  };
  for (const Case& c : cases) {
    EXPECT_EQ(gf_escapedText(c.in), c.out) << c.in;
    EXPECT_EQ(gf_isPrintableText(c.in), c.in == c.out) << c.in;
  }
  EXPECT_EQ(gf_printableText("PH-\x1b[0m\xff"
                             "BXA\xe2\x80\xae"),
            "PH-[0mBXA");
}

TEST(EscapedText, LongTextIsCutWithItsLengthNoted) {
  const std::string text(16000, 'x');
  const std::string shown = gf_escapedText(text);
  EXPECT_EQ(shown, std::string(kOutsideTextLogBytes, 'x') + "... (16000 bytes)");
  // An escape is never split.
  EXPECT_EQ(gf_escapedText(std::string(9, 'a') + "\n", 12), std::string(9, 'a') + "... (10 bytes)");
}

std::atomic<std::int64_t> g_nowMs{0};

class LimitedLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_setSystemClockForTest([] { return std::int64_t{1796479087}; });
    gf_setLogLimitClock([] { return g_nowMs.load(); });
    gf_resetLogLimits();
    g_nowMs = 1'000'000;
    gf_openLog();
  }
  void TearDown() override {
    gf_closeLog();
    gf_setLogLimitClock(nullptr);
    gf_resetLogLimits();
    gf_setSystemClockForTest({});
  }
  std::string text() {
    gf_flushLog();
    return readFile(dir_.path() / "Log.txt");
  }
  static std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  TempDir dir_;
  ScopedCurrentDir cwd_{dir_.path()};
};

TEST_F(LimitedLogTest, EachKindGetsItsShareAMinuteAndTheRestIsCounted) {
  for (int i = 0; i < 1000; ++i) {
    gf_logLimited("junk", fmt::format("junk {}", i));
    if (i % 10 == 0) gf_logLimited("other", "other line");
    g_nowMs += 50;  // 1000 lines in 50 s
  }
  std::string log = text();
  EXPECT_EQ(count(log, "\njunk "), kLogLimitPerMinute);
  EXPECT_EQ(count(log, "other line"), kLogLimitPerMinute);
  EXPECT_EQ(count(log, "not logged"), 0u) << "the minute is not over yet";

  g_nowMs += 11'000;
  gf_logLimited("junk", "after the minute");
  log = text();
  const auto summary = log.find("970 more lines like 'junk' not logged in the last minute\n");
  ASSERT_NE(summary, std::string::npos) << log;
  EXPECT_LT(summary, log.find("\njunk after the minute"));
  EXPECT_NE(log.find("70 more lines like 'other' not logged in the last minute"), std::string::npos) << log;

  gf_logLimited("junk", "one more");
  for (int i = 0; i < 40; ++i) gf_logLimited("junk", "held back");
  gf_closeLog();
  log = readFile(dir_.path() / "Log.txt");
  EXPECT_NE(log.find("12 more lines like 'junk' not logged in the last minute"), std::string::npos)
      << "closing tells what the last minute held back";
}

}  // namespace
