// The saver writes what the caller hands over, off the caller's thread: a path's newest contents
// win, nothing is lost at the end, a failed write leaves the old file, and a read after
// gf_awaitSave sees what was saved.
#include "core/background_saver.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "platform/os.h"
#include "tests/support/test_support.h"

namespace {
namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;

// A disk that holds every sync until released, and counts them.
std::atomic<bool> g_hold{false};
std::atomic<bool> g_failing{false};
std::atomic<int> g_syncs{0};
std::atomic<int> g_entered{0};
int lf_fakeSync(int) {
  ++g_entered;
  while (g_hold.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ++g_syncs;
  if (g_failing.load()) return errno = EIO, -1;
  return 0;
}

class BackgroundSaverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_hold = false;
    g_failing = false;
    g_syncs = 0;
    g_entered = 0;
    os::setFsyncForTest(&lf_fakeSync);
  }
  void TearDown() override {
    g_hold = false;
    gf_drainSaves();
    os::setFsyncForTest(nullptr);
  }
  void waitUntilSyncing() {
    while (g_entered.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // Records which contents' done callbacks ran, in order.
  BackgroundSave save(const fs::path& path, std::string contents, bool durable = true) {
    BackgroundSave s{path, contents, durable, false, {}};
    s.done = [this, contents](bool ok, const std::string& error) {
      std::lock_guard lock(mutex_);
      done_.push_back(ok ? contents : "failed " + contents + ": " + error);
    };
    return s;
  }
  std::vector<std::string> done() {
    std::lock_guard lock(mutex_);
    return done_;
  }
  testing_support::TempDir dir_;
  std::mutex mutex_;
  std::vector<std::string> done_;
};

// Whether the older save was still queued or already being written, the newer one is what stays.
TEST_F(BackgroundSaverTest, TheNewestSaveOfAPathWins) {
  struct Case {
    const char* name;
    bool olderInFlight;  // the saver is writing the older one when the newer comes
    std::vector<std::string> doneOrder;
    int syncs;  // two a durable save: the file and its folder
  };
  for (const Case& c : {Case{"queued", false, {"blocker", "new"}, 4}, Case{"in flight", true, {"old", "new"}, 4}}) {
    SCOPED_TRACE(c.name);
    const fs::path path = dir_ / "learned.xml";
    writeFile(path, "before");
    done_.clear();
    g_syncs = 0;
    g_entered = 0;
    g_hold = true;
    if (!c.olderInFlight) gf_queueSave(save(dir_ / "other.xml", "blocker"));
    gf_queueSave(save(path, "old"));
    waitUntilSyncing();
    gf_queueSave(save(path, "new"));
    EXPECT_EQ(readFile(path), "before") << "nothing is in place before the disk has it";
    g_hold = false;
    gf_drainSaves();
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(done(), c.doneOrder);
    EXPECT_EQ(g_syncs.load(), c.syncs);
    EXPECT_EQ(gf_pendingSaves(), 0u);
  }
}

// Tasks run in turn with the saves; a newer task of a key replaces its queued older one.
TEST_F(BackgroundSaverTest, TasksRunInTurnAndTheNewestOfAKeyOnce) {
  g_hold = true;
  gf_queueSave(save(dir_ / "first.xml", "first"));
  waitUntilSyncing();
  const auto task = [this](const char* name) {
    return [this, name] {
      std::lock_guard lock(mutex_);
      done_.push_back(name);
    };
  };
  gf_queueTask("parameter MAX_FIT", task("MAX_FIT old"));
  gf_queueTask("parameter WEEK", task("WEEK"));
  gf_queueTask("parameter MAX_FIT", task("MAX_FIT new"));
  gf_queueSave(save(dir_ / "last.xml", "last"));
  gf_queueTask("throws", [] { throw std::runtime_error("disk full"); });
  g_hold = false;
  gf_drainSaves();
  EXPECT_EQ(done(), (std::vector<std::string>{"first", "MAX_FIT new", "WEEK", "last"}));
  EXPECT_EQ(gf_pendingSaves(), 0u);
}

TEST_F(BackgroundSaverTest, DrainWritesEverySaveHandedOver) {
  g_hold = true;
  for (int i = 0; i < 5; ++i) gf_queueSave(save(dir_ / fmt::format("f{}.txt", i), fmt::format("text {}", i), i % 2));
  gf_queueSave(save(dir_ / "sub" / "made.txt", "in a new folder"));
  std::thread release([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    g_hold = false;
  });
  gf_drainSaves();
  release.join();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(readFile(dir_ / fmt::format("f{}.txt", i)), fmt::format("text {}", i));
  EXPECT_EQ(g_syncs.load(), 4) << "only the durable saves wait for the disk";
  EXPECT_EQ(gf_pendingSaves(), 0u);
  // Without makeFolder a missing folder is a failed save, reported to its callback.
  EXPECT_FALSE(fs::exists(dir_ / "sub"));
  EXPECT_EQ(done().back().rfind("failed in a new folder", 0), 0u) << done().back();

  BackgroundSave folder = save(dir_ / "sub" / "made.txt", "made");
  folder.makeFolder = true;
  gf_queueSave(std::move(folder));
  gf_drainSaves();
  EXPECT_EQ(readFile(dir_ / "sub" / "made.txt"), "made");
}

TEST_F(BackgroundSaverTest, AFailedWriteLeavesTheOldFileAndIsLogged) {
  testing_support::ScopedCurrentDir cwd(dir_.path());
  gf_openLog();
  const fs::path path = dir_ / "park_airports.txt";
  writeFile(path, "EDDF\n");
  g_failing = true;
  gf_queueSave(save(path, "LSZH\n"));
  gf_queueSave(BackgroundSave{dir_ / "ObjectIdList.txt.d" / "x", "y", true, false, {}});  // no callback
  gf_drainSaves();
  gf_closeLog();
  EXPECT_EQ(readFile(path), "EDDF\n");
  ASSERT_EQ(done().size(), 1u);
  EXPECT_NE(done()[0].find("failed LSZH"), std::string::npos) << done()[0];
  for (const auto& entry : fs::directory_iterator(dir_.path()))
    EXPECT_NE(entry.path().extension(), ".tmp") << "no temporary left behind";
  EXPECT_NE(readFile(dir_ / "Log.txt").find("==> Could not write '"), std::string::npos);
}

TEST_F(BackgroundSaverTest, AReadAfterAwaitSeesTheNewContents) {
  const fs::path path = dir_ / "park_airport.xml";
  writeFile(path, "old");
  g_hold = true;
  gf_queueSave(save(path, "new"));
  gf_queueSave(save(dir_ / "queued.xml", "behind"));
  std::thread release([] {
    while (g_entered.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    g_hold = false;
  });
  // Relative to the current folder, as the program names its files.
  testing_support::ScopedCurrentDir cwd(dir_.path());
  gf_awaitSave("./park_airport.xml");
  EXPECT_EQ(readFile(path), "new");
  release.join();
  gf_awaitSave("queued.xml");
  EXPECT_EQ(readFile(dir_ / "queued.xml"), "behind");
  gf_awaitSave("never-saved.xml");  // returns at once
}

}  // namespace
