#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "core/utc_time.h"
#include "tests/support/test_support.h"

namespace {
namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::ScopedCurrentDir;
using testing_support::TempDir;
using testing_support::writeFile;

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // 5 Dec 2026 13:58:07 UTC
    gf_setSystemClockForTest([] { return std::int64_t{1796479087}; });
  }
  void TearDown() override {
    gf_closeLog();
    gf_setSystemClockForTest({});
  }
  std::uintmax_t onDisk() const { return fs::file_size(dir_ / "Log.txt"); }

  TempDir dir_;
  ScopedCurrentDir cwd_{dir_.path()};
};

TEST_F(LogTest, OpensWithHeaderAndDropsEarlierLines) {
  gf_log("before the log is open");
  gf_logWarning("also dropped");
  gf_openLog();
  gf_closeLog();
  EXPECT_EQ(readFile(dir_ / "Log.txt"), "5 Dec 2026 13:58Z JORV version 16.8.2 for MSFS 2020/2024\n");
}

TEST_F(LogTest, OrdinaryLinesReachTheDiskInBatchesOf4096Bytes) {
  gf_openLog();
  const auto header = onDisk();
  gf_log(std::string(4094, 'a'));  // 4095 bytes with its line feed: stays buffered
  EXPECT_EQ(onDisk(), header);
  gf_log("b");  // 2 more bytes: 4097 >= 4096, flushed
  EXPECT_EQ(onDisk(), header + 4097);

  gf_log("c");
  gf_logWarning("now");  // flushes everything and resets the count
  EXPECT_EQ(onDisk(), header + 4097 + 2 + 8);
  gf_log(std::string(4094, 'd'));
  EXPECT_EQ(onDisk(), header + 4097 + 2 + 8);
  gf_logFlush("plain");
  EXPECT_EQ(onDisk(), header + 4097 + 2 + 8 + 4095 + 6);
}

TEST_F(LogTest, MarksWarningsAndUsesLineFeedsOnly) {
  gf_openLog();
  gf_logWarning("first\nsecond");
  gf_logFlush("flushed");
  gf_logNoexcept("quiet");
  gf_closeLog();
  const std::string text = readFile(dir_ / "Log.txt");
  EXPECT_NE(text.find("\n==> first\nsecond\nflushed\nquiet\n"), std::string::npos) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST_F(LogTest, AMissingPartIsLoggedOnceEachUntilReset) {
  gf_resetMissingLogged();
  gf_openLog();
  for (int i = 0; i < 3; ++i) {
    gf_logMissingOnce("collisionWithParked");
    gf_logMissingOnce("gf_touchDown");
  }
  gf_resetMissingLogged();
  gf_logMissingOnce("gf_touchDown");
  gf_closeLog();
  const std::string text = readFile(dir_ / "Log.txt");
  const auto count = [&text](const std::string& line) {
    std::size_t n = 0;
    for (auto at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("collisionWithParked is not built yet: skipped\n"), 1u) << text;
  EXPECT_EQ(count("gf_touchDown is not built yet: skipped\n"), 2u) << text;
  gf_resetMissingLogged();
}

TEST_F(LogTest, ReopeningKeepsThePreviousRunAsLog0) {
  gf_openLog();
  gf_log("run one");
  gf_openLog();
  gf_log("run two");
  gf_closeLog();
  EXPECT_NE(readFile(dir_ / "Log0.txt").find("run one\n"), std::string::npos);
  const std::string current = readFile(dir_ / "Log.txt");
  EXPECT_EQ(current.find("run one"), std::string::npos);
  EXPECT_EQ(current.rfind("5 Dec 2026", 0), 0u);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_.path())) names.push_back(entry.path().filename());
  EXPECT_EQ(names.size(), 2u);

  // A full disk at the copy (its temporary a link to /dev/full): both runs stay whole, and the
  // failure, made while the log is closed, is said on stderr with the system's reason.
  const std::string runOne = readFile(dir_ / "Log0.txt");
  fs::create_symlink("/dev/full", dir_ / "Log0.txt.tmp");
  testing::internal::CaptureStderr();
  gf_openLog();
  gf_log("run three");
  gf_closeLog();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(readFile(dir_ / "Log0.txt"), runOne);
  const std::string kept = readFile(dir_ / "Log.txt");
  EXPECT_EQ(kept.rfind(current, 0), 0u) << kept;
  EXPECT_NE(kept.find("==> copy Log.txt -> Log0.txt failed: No space left on device\nrun three\n"), std::string::npos)
      << kept;
  EXPECT_EQ(said, "JORV: copy Log.txt -> Log0.txt failed: No space left on device\n");
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "Log0.txt.tmp"))) << "no temporary left";
}

TEST_F(LogTest, OpenFailureThrowsAndLaterLinesAreDropped) {
  fs::create_directory(dir_ / "Log.txt");  // a folder in the way
  try {
    gf_openLog();
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Failed to write file Log.txt: Is a directory");
  }
  EXPECT_NO_THROW(gf_log("dropped"));

  // Opened but every write fails: said once on stderr, and a device holds no run to keep.
  fs::remove(dir_ / "Log.txt");
  fs::create_symlink("/dev/full", dir_ / "Log.txt");
  testing::internal::CaptureStderr();
  gf_openLog();
  for (int i = 0; i < 3; ++i) gf_logWarning("lost");
  gf_closeLog();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "JORV: the log Log.txt cannot be written: No space left on device\n");
  EXPECT_FALSE(fs::exists(dir_ / "Log0.txt"));
}

TEST_F(LogTest, LinesFromManyThreadsStayWhole) {
  gf_openLog();
  constexpr int kThreads = 8;
  constexpr int kLines = 500;
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([t] {
        const std::string line = std::string(1, static_cast<char>('A' + t)) + std::string(300, static_cast<char>('a' + t));
        for (int i = 0; i < kLines; ++i) (i % 7 == 0 ? gf_logWarning(line) : gf_log(line));
      });
  }
  gf_closeLog();
  std::vector<std::string> lines;
  std::string text = readFile(dir_ / "Log.txt");
  std::size_t start = text.find('\n') + 1;
  int count = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    std::string line = text.substr(start, end - start);
    if (line.rfind("==> ", 0) == 0) line.erase(0, 4);
    ASSERT_EQ(line.size(), 301u);
    const char lower = static_cast<char>(line[0] - 'A' + 'a');
    ASSERT_EQ(line.find_first_not_of(lower, 1), std::string::npos) << line;
    ++count;
    start = end + 1;
  }
  EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
