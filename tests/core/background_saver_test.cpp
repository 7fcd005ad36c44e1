// The saver writes what the caller hands over, off the caller's thread: a path's newest contents
// win, nothing is lost at the end, a failed write leaves the old file, and a read after
// gf_awaitSave sees what was saved.
#include "core/background_saver.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "tests/support/held_disk.h"
#include "tests/support/test_support.h"

namespace {
namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;

class BackgroundSaverTest : public ::testing::Test {
 protected:
  // A save whose outcome is recorded, in order: its contents, or why it failed.
  BackgroundSave save(const fs::path& path, std::string contents, bool durable = true) {
    return BackgroundSave{path, contents, durable, false, [this, contents](bool ok, const std::string& error) {
                            record(ok ? contents : "failed " + contents + ": " + error);
                          }};
  }
  void record(std::string text) {
    std::lock_guard lock(mutex_);
    done_.push_back(std::move(text));
  }
  std::vector<std::string> done() {
    std::lock_guard lock(mutex_);
    return std::exchange(done_, {});
  }
  testing_support::TempDir dir_;
  testing_support::HeldDisk disk_;
  std::mutex mutex_;
  std::vector<std::string> done_;
};

// Whether the older save was still queued or already being written, the newer one is what stays;
// a newer task of a key likewise replaces its queued older one, in its place.
TEST_F(BackgroundSaverTest, TheNewestSaveOfAPathWins) {
  struct Case {
    const char* name;
    bool olderInFlight;  // the saver is writing the older one when the newer comes
    std::vector<std::string> done;
  };
  const Case cases[] = {{"queued", false, {"blocker", "new", "task new"}}, {"in flight", true, {"old", "task new", "new"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = dir_ / "learned.xml";
    writeFile(path, "before");
    const int syncsBefore = disk_.syncs();
    disk_.hold();
    if (!c.olderInFlight) gf_queueSave(save(dir_ / "other.xml", "blocker"));
    gf_queueSave(save(path, "old"));
    disk_.waitUntilSyncing();
    gf_queueTask("parameter MAX_FIT", [this] { record("task old"); });
    gf_queueSave(save(path, "new"));
    gf_queueTask("parameter MAX_FIT", [this] { record("task new"); });
    gf_queueTask("throws", [] { throw std::runtime_error("disk full"); });
    EXPECT_EQ(readFile(path), "before") << "nothing is in place before the disk has it";
    disk_.release();
    gf_drainSaves();
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(done(), c.done);
    EXPECT_EQ(disk_.syncs() - syncsBefore, 4) << "two saves, each its file and its folder";
    EXPECT_EQ(gf_pendingSaves(), 0u);
  }
}

TEST_F(BackgroundSaverTest, DrainWritesEverySaveHandedOverAndAFailureLeavesTheOldFile) {
  testing_support::ScopedCurrentDir cwd(dir_.path());
  gf_openLog();
  disk_.hold();
  for (int i = 0; i < 4; ++i) gf_queueSave(save(fmt::format("f{}.txt", i), fmt::format("text {}", i), i % 2));
  BackgroundSave folder = save(dir_ / "sub" / "made.txt", "made");
  folder.makeFolder = true;
  gf_queueSave(std::move(folder));
  gf_queueSave(save(dir_ / "none" / "x.txt", "no folder"));
  std::thread release([this] {
    disk_.waitUntilSyncing();
    disk_.release();
  });
  gf_drainSaves();  // relative paths are the current folder's when queued
  release.join();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(readFile(dir_ / fmt::format("f{}.txt", i)), fmt::format("text {}", i));
  EXPECT_EQ(readFile(dir_ / "sub" / "made.txt"), "made");
  EXPECT_EQ(disk_.syncs(), 6) << "only the durable saves wait for the disk";
  EXPECT_EQ(done().back().rfind("failed no folder", 0), 0u);

  writeFile(dir_ / "list.txt", "EDDF\n");
  disk_.fail();
  gf_queueSave(save(dir_ / "list.txt", "LSZH\n"));
  gf_queueSave(BackgroundSave{dir_ / "quiet.txt", "y", true, false, {}});  // no callback: logged
  gf_drainSaves();
  gf_closeLog();
  EXPECT_EQ(readFile(dir_ / "list.txt"), "EDDF\n");
  EXPECT_FALSE(fs::exists(dir_ / "quiet.txt"));
  EXPECT_EQ(done().at(0).rfind("failed LSZH", 0), 0u);
  for (const auto& entry : fs::directory_iterator(dir_.path()))
    EXPECT_NE(entry.path().extension(), ".tmp") << "no temporary left behind";
  EXPECT_NE(readFile(dir_ / "Log.txt").find("==> Could not write '"), std::string::npos);
}

TEST_F(BackgroundSaverTest, AReadAfterAwaitSeesTheNewContents) {
  const fs::path path = dir_ / "park_airport.xml";
  writeFile(path, "old");
  disk_.hold();
  gf_queueSave(save(path, "new"));
  std::thread release([this] {
    disk_.waitUntilSyncing();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    disk_.release();
  });
  const testing_support::ScopedCurrentDir cwd(dir_.path());
  gf_awaitSave("./park_airport.xml");  // the same file by another name
  EXPECT_EQ(readFile(path), "new");
  release.join();
  gf_awaitSave("never-saved.xml");  // returns at once
}

}  // namespace
