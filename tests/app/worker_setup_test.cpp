// The worker's set-up sequence and its catch table.
#include "app/install_path.h"
#include "core/user_exception.h"
#include "tests/app/worker_fixture.h"

namespace {
namespace fs = std::filesystem;
using worker_test::WorkerFixture;

class WorkerSetup : public WorkerFixture {
 protected:
  // Ends every run right after the simulator link started, with the given reason.
  void stopAtSimClient(StopReason reason = StopReason::SimWasClosed) {
    seams.initSimClient = [this, reason] {
      record("initSimClient");
      gf_requestStop(reason, 0);
    };
    gf_setWorkerSeams(seams);
  }
  // Parameters as loaded in RT App mode, with one option set as the file would have it.
  void loadParametersWith(std::function<void()> setOption) {
    seams.loadParameters = [this, setOption] {
      record("loadParameters");
      setOption();
      gf_publishSimChoice(SimChoice{2, 1});
      gf_initParameterSnapshot();
    };
  }
  bool errorShown(const std::string& text) {
    const auto messages = shownMessages();
    return std::find(messages.begin(), messages.end(), "Error " + text) != messages.end();
  }
};

TEST_F(WorkerSetup, FailuresEndTheRunAsSystemError) {
  struct Case {
    const char* name;
    std::function<void(WorkerSeams&)> fault;
    std::string error;
  } cases[] = {
      {"dbase", [](WorkerSeams& s) { s.readDbase = [] { return false; }; }, "reading data files failed!"},
      {"airports", [](WorkerSeams& s) { s.readAirports = [] { return std::optional<std::string>("no airports"); }; },
       "no airports"},
      {"user related", [](WorkerSeams& s) { s.scanLiveries = [] { throw jrv::UserRelatedException(7, "bad scan"); }; },
       "7: bad scan"},
      {"unknown", [](WorkerSeams& s) { s.scanLiveries = [] { throw 42; }; }, "Unknown exception"},
  };
  for (const Case& c : cases) {
    gf_resetStopStateForTest();
    gf_resetGuiForTest();
    gf_resetWorkerForTest();
    WorkerSeams faulty = seams;
    c.fault(faulty);
    gf_setWorkerSeams(faulty);
    lf_main();
    auto request = gf_stopRequest();
    ASSERT_TRUE(request) << c.name;
    EXPECT_EQ(request->reason, StopReason::SystemError) << c.name;
    EXPECT_TRUE(errorShown(c.error)) << c.name;
  }
  EXPECT_FALSE(called("SimClient started"));
}

TEST_F(WorkerSetup, WithoutDocsTheProgramSaysWhereItMustRun) {
  fs::remove_all(dir.path() / "docs");
  lf_main();
  EXPECT_TRUE(errorShown("41: JORV must be run from the JORV folder!"));
  EXPECT_NE(at(" Exiting: SYSTEM ERROR\n"), -1);
  EXPECT_FALSE(called("loadParameters"));
  EXPECT_EQ(count("MSG_EXIT"), 1);
}

TEST_F(WorkerSetup, AnInvalidDestinationIsClearedAndTheRunGoesOn) {
  loadParametersWith([] { DESTINATION.value = "EH?M!"; });
  stopAtSimClient();
  lf_main();
  EXPECT_TRUE(called("initSimClient"));
  EXPECT_EQ(DESTINATION.value.load(), "");
  EXPECT_NE(at("==> DESTINATION 'EH?M!' ignored and cleared: "), -1) << log();
  EXPECT_NE(at(" Exiting: SIM WAS CLOSED\n"), -1);
}

TEST_F(WorkerSetup, NoInstallPathAndNonePickedStopsWithInstallPathMissing) {
  MSFS_2024_INSTALL_PATH.value = "";
  lf_main();
  auto request = gf_stopRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->reason, StopReason::InstallPathMissing);
  EXPECT_TRUE(called("pickFolder"));
  EXPECT_FALSE(called("SimClient started"));
  EXPECT_NE(at(" Exiting: INSTALL PATH MISSING\n"), -1);
}

// The Community folder the user picks serves this very run: the scans see its parent, the
// packages folder, as they do on every later start.
TEST_F(WorkerSetup, APickedCommunityFolderServesTheSameRunAsItsPackagesFolder) {
  const fs::path packages = dir.path() / "picked" / "Packages";
  for (const char* folder : {"Community", "StreamedPackages", "Community2024"}) fs::create_directories(packages / folder);
  MSFS_2024_INSTALL_PATH.value = "";
  seams.pickFolder = [this, packages](const fs::path&) {
    record("pickFolder");
    return std::optional<fs::path>(packages / "Community");
  };
  fs::path seenByTheScan;
  seams.scanLiveries = [this, &seenByTheScan] {
    record("scanLiveries");
    seenByTheScan = gf_installPathOption().value.load();
  };
  stopAtSimClient();
  lf_main();
  EXPECT_TRUE(called("pickFolder"));
  ASSERT_TRUE(called("scanLiveries"));
  EXPECT_EQ(seenByTheScan, packages);
  EXPECT_EQ(MSFS_2024_INSTALL_PATH.value.load(), packages);
  EXPECT_EQ(at(" Exiting: INSTALL PATH MISSING\n"), -1);
}

TEST_F(WorkerSetup, TheWorkingFoldersAreMadeAndLastRunsObjectListRemoved) {
  fs::create_directories(dir.path() / "output" / "info");
  testing_support::writeFile(dir.path() / "output" / "info" / "ObjectIdList.txt", "old\n");
  // What a save killed half-way leaves behind.
  const fs::path stale = dir.path() / "airports" / "learned" / "stock" / "EGLL.xml.999999999.0.tmp.tmp";
  testing_support::writeFile(stale, "<root");
  stopAtSimClient();
  lf_main();
  EXPECT_FALSE(fs::exists(stale));
  for (const char* folder :
       {"output/info", "output/errors", "airports/learned/stock", "airports/learned/simaddon",
        "airports/learned/thirdparty", "airports/my_simaddon", "airports/my_thirdparty", "input/my_regcodes"})
    EXPECT_TRUE(fs::is_directory(dir.path() / folder)) << folder;
  EXPECT_FALSE(fs::exists(dir.path() / "output" / "info" / "ObjectIdList.txt"));
}

TEST_F(WorkerSetup, TheLiveryScanIsSkippedOnlyWithASavedResult) {
  loadParametersWith([] { SKIP_LIVERIES_SCAN.value = true; });
  stopAtSimClient();
  lf_main();
  EXPECT_EQ(count("scanLiveries"), 1) << "no scan result yet";
  EXPECT_EQ(count("processScannedLiveries"), 1);

  testing_support::writeFile(dir.path() / "output" / "LiveriesScanned_MSFS2024.xml", "<x/>");
  gf_resetStopStateForTest();
  lf_main();
  EXPECT_EQ(count("scanLiveries"), 1);
  EXPECT_EQ(count("processScannedLiveries"), 2);

  // A saved result that cannot be read is scanned again instead of ending the run.
  bool damaged = true;
  seams.processScannedLiveries = [this, &damaged] {
    record("processScannedLiveries");
    if (std::exchange(damaged, false))
      throw std::runtime_error("LiveriesScanned_MSFS2024.xml could not be read completely");
  };
  gf_setWorkerSeams(seams);
  gf_resetStopStateForTest();
  lf_main();
  EXPECT_EQ(count("scanLiveries"), 2);
  EXPECT_EQ(count("processScannedLiveries"), 4);
  EXPECT_NE(at("==> LiveriesScanned_MSFS2024.xml could not be read completely: scanning the liveries again"), -1);
  EXPECT_EQ(at(" Exiting: SYSTEM ERROR\n"), -1);
  SKIP_LIVERIES_SCAN.value = false;
}

}  // namespace
