// The scan's output folders are replaced as one transaction: whatever fails or kills the scan,
// the next start finds exactly the previous or exactly the committed folders.
#include "airportscan/scan_transaction.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <map>

#include "app/gui.h"
#include "app/stop_request.h"
#include "config/program_folders.h"
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
