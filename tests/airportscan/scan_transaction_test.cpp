// The scan's output folders are replaced as one transaction: whatever fails or kills the scan,
// the next start finds exactly the previous or exactly the committed folders.
#include "airportscan/scan_transaction.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <map>
#include <vector>

#include "appbase/gui.h"
#include "appbase/stop_request.h"
#include "config/program_folders.h"
#include "platform/os.h"
#include "tests/airportscan/scan_fixture.h"
#include "tests/support/test_support.h"

namespace {
namespace fs = std::filesystem;

// What lies under airports/: files by relative path, empty folders below it with a trailing "/".
using Tree = std::map<std::string, std::string>;

Tree lf_snapshot() {
  Tree tree;
  if (!fs::exists("airports")) return tree;
  for (const auto& entry : fs::recursive_directory_iterator("airports")) {
    const std::string name = entry.path().lexically_relative("airports").generic_string();
    if (entry.is_regular_file()) tree[name] = testing_support::readFile(entry.path());
    else if (fs::is_empty(entry.path())) tree[name + "/"] = "";
  }
  return tree;
}

void lf_lay(const Tree& tree) {
  fs::remove_all("airports");
  for (const auto& [name, content] : tree)
    name.ends_with('/') ? (void)fs::create_directories("airports/" + name)
                        : testing_support::writeFile("airports/" + name, content);
}

// The user's redirect LOWW.txt and own EGLL.xml sit among the last scan's EDDK.xml and KJFK.xml.
const Tree kPrevious{{"my_park_airports.txt", "EDDK\n"},
                     {".airport_scan_files", "my_simaddon/EDDK.xml\nmy_thirdparty/KJFK.xml\n"},
                     {"my_simaddon/EDDK.xml", "old EDDK"}, {"my_simaddon/LOWW.txt", "user LOWW"},
                     {"my_thirdparty/KJFK.xml", "old KJFK"}, {"my_thirdparty/EGLL.xml", "user EGLL"}};
// EDDK is gone, LFPG new, KJFK's read failed, EGLL generated under the user's name.
const Tree kCommitted{{"my_park_airports.txt", "EDDK\n"},
                      {".airport_scan_files", "my_simaddon/LFPG.xml\nmy_thirdparty/KJFK.xml\n"},
                      {"my_simaddon/LFPG.xml", "new LFPG"}, {"my_simaddon/LOWW.txt", "user LOWW"},
                      {"my_thirdparty/KJFK.xml", "old KJFK"}, {"my_thirdparty/EGLL.xml", "user EGLL"}};

class ScanTransactionTest : public airportscan_testing::ScanTest {
 protected:
  void TearDown() override {
    gf_setScanFileLayerForTest({});
    gf_setAirportScanStepHookForTest({});
    gf_resetStopStateForTest();
    gf_resetGuiForTest();
    ScanTest::TearDown();
  }
  // The scan's own writes count as steps too.
  void countSteps(std::function<void(int)> atStep) {
    hook_ = [this, atStep] { atStep(++steps_); };
    gf_setAirportScanStepHookForTest(hook_);
  }
  bool scan() {
    AirportScanTransaction transaction;
    hook_();
    testing_support::writeFile("airports/my_simaddon/LFPG.xml", "new LFPG");
    hook_();
    testing_support::writeFile("airports/my_thirdparty/EGLL.xml", "generated EGLL");
    transaction.restoreFromBackup(g_myThirdpartyFolder / "KJFK.xml");
    return transaction.commitUnlessStopped();
  }
  int steps_ = 0;
  std::function<void()> hook_;
};

TEST_F(ScanTransactionTest, RecoveryAfterAnInterruption) {
  const std::string marker = ".airport_scan_in_progress", list = ".airport_scan_files", pending = list + ".pending";
  const std::string simBackup = "my_simaddon.scan_backup/A", thirdBackup = "my_thirdparty.scan_backup/B";
  const struct { const char* name; Tree before; bool ok; Tree after; } cases[] = {
      {"killed after the marker, before any rename", {{marker, "1 0\n"}, {"my_simaddon/A", ""},
       {"my_thirdparty/N", ""}}, true, {{"my_simaddon/A", ""}}},
      {"only my_simaddon existed", {{marker, "1 0\n"}, {simBackup, ""}, {"my_simaddon/N", ""},
       {"my_thirdparty/N", ""}}, true, {{"my_simaddon/A", ""}}},
      {"the new list waited for a commit that never came", {{marker, "0 1\n"}, {list, "old"}, {pending, "new"},
       {thirdBackup, ""}, {marker + ".tmp", ""}}, true, {{list, "old"}, {"my_thirdparty/B", ""}}},
      {"killed after the commit, before its clean-up", {{list, "old"}, {pending, "new"}, {"my_simaddon/N", ""},
       {simBackup, ""}, {thirdBackup, ""}}, true, {{list, "new"}, {"my_simaddon/N", ""}}},
      {"a marker that is not two numbers", {{marker, "1 x\n"}, {simBackup, ""}}, false,
       {{marker, "1 x\n"}, {simBackup, ""}}}};
  for (const auto& c : cases) {
    lf_lay(c.before);
    EXPECT_EQ(gf_recoverAirportScanAtStart(), c.ok) << c.name;
    EXPECT_EQ(lf_snapshot(), c.after) << c.name;
  }
  EXPECT_NE(log().find("==> Airport scan skipped: recovery of a previously interrupted scan failed"),
            std::string::npos);
}

// A lost list of the scan's files: its links are told by their content; every stand file stays,
// as a generated one reads like the user's copy of an archived one.
TEST_F(ScanTransactionTest, WithoutTheFileListTheScansOwnFilesAreToldByContent) {
  const std::string generated =
      R"(<root><parameters><parameter name="icao" value="EDDK"/><parameter name="num_parkpos" value="3"/></parameters></root>)";
  const std::string handmade =
      R"(<root><parameters><parameter name="icao" value="EGLL"/><parameter name="handmade" value="true"/></parameters></root>)";
  lf_lay({{"my_simaddon/EDDK.xml", generated},
          {"my_simaddon/LSZH.txt", "archive/simaddon/LSZH.enc"},
          {"my_simaddon/LOWW.txt", "my_thirdparty/LOWW.xml"},
          {"my_thirdparty/EGLL.xml", handmade},
          {"my_thirdparty/KJFK.xml", "user KJFK"}});
  {
    AirportScanTransaction transaction;
    testing_support::writeFile("airports/my_thirdparty/EGLL.xml", "generated EGLL");
    ASSERT_TRUE(transaction.commitUnlessStopped());
  }
  const Tree after = lf_snapshot();
  EXPECT_EQ(after.at("my_simaddon/EDDK.xml"), generated) << "a stand file, maybe the user's";
  EXPECT_FALSE(after.contains("my_simaddon/LSZH.txt")) << "the last scan's link";
  EXPECT_EQ(after.at("my_simaddon/LOWW.txt"), "my_thirdparty/LOWW.xml");
  EXPECT_EQ(after.at("my_thirdparty/EGLL.xml"), handmade);
  EXPECT_EQ(after.at("my_thirdparty/KJFK.xml"), "user KJFK");
  EXPECT_TRUE(messaged("===> my_thirdparty/EGLL.xml: the user's own file is kept in place of the generated one"));
}

TEST_F(ScanTransactionTest, BeginMarksWhatExistedAndRollbackRestoresIt) {
  const struct { Tree before; const char* marker; Tree afterRollback; } cases[] = {
      {{}, "0 0\n", {}}, {{{"my_simaddon/A", "a"}}, "1 0\n", {{"my_simaddon/A", "a"}}}};
  for (const auto& c : cases) {
    lf_lay(c.before);
    AirportScanTransaction transaction;
    EXPECT_EQ(testing_support::readFile("airports/.airport_scan_in_progress"), c.marker);
    EXPECT_TRUE(fs::is_empty(g_mySimaddonFolder) && fs::is_empty(g_myThirdpartyFolder)) << c.marker;
    transaction.rollback();
    EXPECT_EQ(lf_snapshot(), c.afterRollback) << c.marker;
  }
  lf_lay({});
  AirportScanTransaction first;
  first.commit();
  EXPECT_EQ(lf_snapshot(), (Tree{{".airport_scan_files", ""}, {"my_simaddon/", ""}, {"my_thirdparty/", ""}}));
}

TEST_F(ScanTransactionTest, AFailedMarkerWriteLeavesNoMarker) {
  lf_lay(kPrevious);
  os::setFsyncForTest(+[](int) { return errno = EIO, -1; });
  EXPECT_THROW(AirportScanTransaction(), std::runtime_error);
  os::setFsyncForTest(nullptr);
  EXPECT_EQ(lf_snapshot(), kPrevious);
}

// A file layer that notes every write, sync, rename and removal in order ("sync airports/x");
// a sync of the path named by failSync fails (after the marker's removal when failLate).
struct RecordingLayer {
  std::vector<std::string> ops;
  std::string failSync;
  bool failLate = false;

  void note(std::string op, const fs::path& path) { ops.push_back(std::move(op) + " " + path.generic_string()); }
  std::ptrdiff_t first(const std::string& op) const { return std::find(ops.begin(), ops.end(), op) - ops.begin(); }
  ScanFileLayer layer() {
    return ScanFileLayer{
        [this](const fs::path& path, std::error_code& error) {
          note("sync", path);
          const bool late = first("remove airports/.airport_scan_in_progress") < std::ssize(ops);
          if (path.generic_string() == failSync && late == failLate) {
            error = std::make_error_code(std::errc::io_error);
            return false;
          }
          return os::syncToDisk(path, error);
        },
        [this](const fs::path& from, const fs::path& to, std::error_code& error) {
          note("rename", from);
          fs::rename(from, to, error);
        },
        [this](const fs::path& path, std::error_code& error) {
          note("remove", path);
          return fs::remove(path, error);
        },
        [this](const fs::path& path, std::error_code& error) {
          note("removeAll", path);
          return fs::remove_all(path, error);
        }};
  }
};

// Power may fail at any moment: every file and folder of the new data is on the disk before the
// first backup is deleted, the marker's removal too; a failed sync keeps the backups.
TEST_F(ScanTransactionTest, TheNewDataIsOnTheDiskBeforeABackupGoes) {
  const struct { const char* name; const char* failSync; bool failLate; bool commits; } cases[] = {
      {"every sync succeeds", "", false, true},
      {"a new file's sync fails", "airports/my_thirdparty/sub/LSZH.xml", false, false},
      {"a new folder's sync fails", "airports/my_simaddon", false, false},
      {"the commit point's sync fails", "airports", true, true}};
  for (const auto& c : cases) {
    lf_lay(kPrevious);
    RecordingLayer record{{}, c.failSync, c.failLate};
    gf_setScanFileLayerForTest(record.layer());
    bool committed = false;
    {
      AirportScanTransaction transaction;
      for (const char* file : {"my_simaddon/LFPG.xml", "my_thirdparty/EGLL.xml", "my_thirdparty/sub/LSZH.xml"}) {
        testing_support::writeFile(g_airportsFolder / file, "new");
        record.note("write", g_airportsFolder / file);
      }
      transaction.restoreFromBackup(g_myThirdpartyFolder / "KJFK.xml");
      try {
        transaction.commit();
        committed = true;
      } catch (const std::runtime_error&) {
        EXPECT_TRUE(fs::exists("airports/my_simaddon.scan_backup") && fs::exists("airports/my_thirdparty.scan_backup"))
            << c.name;
      }
    }
    EXPECT_EQ(committed, c.commits) << c.name;
    const std::ptrdiff_t firstBackupGone = record.first("removeAll airports/my_simaddon.scan_backup");
    const std::ptrdiff_t end = std::ssize(record.ops);
    if (c.commits && !c.failLate) {
      ASSERT_LT(firstBackupGone, end) << c.name;
      // Every file and folder the new data holds, the user's carried over too.
      std::vector<fs::path> newData{g_airportsFolder, g_mySimaddonFolder, g_myThirdpartyFolder};
      for (const fs::path& folder : {g_mySimaddonFolder, g_myThirdpartyFolder})
        for (const auto& entry : fs::recursive_directory_iterator(folder)) newData.push_back(entry.path());
      for (const fs::path& path : newData) {
        const std::ptrdiff_t synced = record.first("sync " + path.generic_string());
        EXPECT_LT(synced, firstBackupGone) << path;
        if (const std::ptrdiff_t written = record.first("write " + path.generic_string()); written < end) {
          EXPECT_LT(written, synced) << path;
        }
      }
      const std::ptrdiff_t markerGone = record.first("remove airports/.airport_scan_in_progress");
      EXPECT_LT(markerGone, firstBackupGone);
      EXPECT_LT(std::find(record.ops.begin() + markerGone, record.ops.end(), "sync airports") - record.ops.begin(),
                firstBackupGone)
          << "the marker's removal is on the disk before a backup goes";
    } else {
      EXPECT_EQ(record.first("removeAll airports/my_simaddon.scan_backup"), end) << c.name;
      EXPECT_EQ(record.first("removeAll airports/my_thirdparty.scan_backup"), end) << c.name;
    }
    // The next start finds the committed or the previous data, whole.
    gf_setScanFileLayerForTest({});
    ASSERT_TRUE(lf_recoverInterruptedAirportScan()) << c.name;
    const Tree after = lf_snapshot();
    EXPECT_EQ(after.count("my_thirdparty/sub/LSZH.xml"), c.commits ? 1u : 0u) << c.name;
    EXPECT_EQ(after.at("my_thirdparty/KJFK.xml"), "old KJFK") << c.name;
    if (!c.commits) {
      EXPECT_EQ(after, kPrevious) << c.name;
    }
    EXPECT_FALSE(after.contains("my_simaddon.scan_backup/EDDK.xml")) << c.name;
  }
}

// The scan fails at step 1, 2, ... until it runs through. Before the commit point the next start
// finds the previous folders, after it the committed ones; a caller is told which. A stopped scan
// never commits.
TEST_F(ScanTransactionTest, AThrowOrAKillAtAnyStepLeavesPreviousOrCommitted) {
  for (const std::string failure : {"throw", "throw when stopped", "kill"}) {
    bool reachedCommit = false;
    for (int failAt = 1;; ++failAt) {
      lf_lay(kPrevious);
      steps_ = 0;
      bool committed = false;
      bool ranThrough = false;
      if (failure == "kill") {
        const pid_t child = ::fork();
        if (child == 0) {
          countSteps([failAt](int step) { step == failAt ? (void)::raise(SIGKILL) : (void)0; });
          ::_exit(scan() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) ? WEXITSTATUS(status) == 0 : WTERMSIG(status) == SIGKILL) << failAt;
        committed = ranThrough = WIFEXITED(status);
      } else {
        countSteps([failAt](int step) { step == failAt ? throw std::runtime_error("injected") : (void)0; });
        if (failure != "throw") gf_requestStop(StopReason::NewFlight, 0);
        try {
          committed = scan();
        } catch (const std::exception&) {
        }
        ranThrough = steps_ < failAt;
        gf_setAirportScanStepHookForTest({});
        gf_resetStopStateForTest();
      }
      ASSERT_TRUE(lf_recoverInterruptedAirportScan()) << failure << " at step " << failAt;
      const Tree after = lf_snapshot();
      reachedCommit = reachedCommit || after == kCommitted;
      ASSERT_EQ(after, reachedCommit ? kCommitted : kPrevious) << failure << " at step " << failAt;
      EXPECT_TRUE(failure == "kill" || committed == reachedCommit) << failure << " at step " << failAt;
      if (!ranThrough) continue;
      EXPECT_EQ(committed, failure != "throw when stopped");
      break;
    }
  }
  EXPECT_TRUE(messaged("===> my_thirdparty/EGLL.xml: the user's own file is kept in place of the generated one"));
}

}  // namespace
