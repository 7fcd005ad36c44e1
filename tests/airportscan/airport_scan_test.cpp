// The whole scan over a generated scenery tree, against the stand-in simulator, the sample
// weekly list and archives data: what it leaves, and what it keeps when it is cut short.
#include "airportscan/airport_scan.h"

#include <gtest/gtest.h>

#include "airportscan/scan_state.h"
#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "refdata/zip_archive.h"
#include "tests/airportscan/scan_run_fixture.h"
#include "tools/scenery_tree.h"

namespace {
namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;

std::vector<std::string> lf_filesUnder(const fs::path& folder) {
  std::vector<std::string> files;
  if (!fs::exists(folder)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files.push_back(entry.path().lexically_relative(folder).generic_string());
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> lf_lines(const fs::path& file) {
  std::vector<std::string> lines;
  std::istringstream in(readFile(file));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class AirportScanTest : public airportscan_testing::SimScanTest {
 protected:
  void SetUp() override {
    SimScanTest::SetUp();
    knownAirports({"LSZH", "LSGG", "LFSB", "EDDF", "EDDM"});
    for (const char* set : {"wktraffic.enc", "archives.enc"})
      writeFile(dir_ / "input" / set, readFile(testing_support::sourceDataFolder() / set));
    SceneryTreeOptions options;
    options.folder = "sim";
    options.facilityCodes = {"LSZH", "LSGG", "LFSB"};
    options.bglCodes = {"EDDF"};
    options.simaddonLinked = {"LSGG"};
    options.decoyCode = "EDDM";
    tree_ = gf_writeSceneryTree(options);
    MSFS_INSTALL_PATH.value = fs::absolute(tree_.msfs2020);
    MSFS_2024_INSTALL_PATH.value = fs::absolute(tree_.msfs2024);
  }
  void TearDown() override {
    MSFS_INSTALL_PATH.value = "";
    MSFS_2024_INSTALL_PATH.value = "";
    SKIP_AIRPORT_SCAN.value = false;
    gf_resetParameterSnapshot();
    gf_publishSimChoice(SimChoice{});
    SimScanTest::TearDown();
  }
  static std::vector<std::string> scanFolders() {
    std::vector<std::string> files;
    for (const char* folder : {"my_simaddon", "my_thirdparty"})
      for (const std::string& file : lf_filesUnder(g_airportsFolder / folder)) files.push_back(folder + ("/" + file));
    std::sort(files.begin(), files.end());
    return files;
  }
  void layPrevious() {
    writeFile("airports/my_simaddon/LSZH.xml", "previous LSZH");
    writeFile("airports/my_thirdparty/KJFK.xml", "previous KJFK");
    writeFile("airports/.airport_scan_files", "my_simaddon/LSZH.xml\nmy_thirdparty/KJFK.xml\n");
  }
  void expectPreviousKept() {
    EXPECT_EQ(scanFolders(), (std::vector<std::string>{"my_simaddon/LSZH.xml", "my_thirdparty/KJFK.xml"}));
    EXPECT_EQ(readFile("airports/my_simaddon/LSZH.xml"), "previous LSZH");
    EXPECT_FALSE(fs::exists("airports/.airport_scan_in_progress"));
    EXPECT_FALSE(fs::exists(g_tbloFolder));
    EXPECT_FALSE(g_tbloMode);
  }
  SceneryTreeSummary tree_;
};

TEST_F(AirportScanTest, EachEditionLeavesWhatTheTreeExpects) {
  for (const int sim : {1, 2}) {
    SCOPED_TRACE(sim == 1 ? "MSFS 2020" : "MSFS 2024");
    fs::remove_all("airports");
    gf_publishSimChoice(SimChoice{sim, 0});
    gf_scanAirports();
    EXPECT_EQ(scanFolders(), lf_lines(sim == 1 ? "sim/expected-2020.txt" : "sim/expected-2024.txt"));
    EXPECT_FALSE(fs::exists("airports/.airport_scan_in_progress"));
    EXPECT_TRUE(g_tbloMode);

    // The linked package folder is walked once; the link back up is refused.
    const std::vector<std::string> log = lf_lines(gf_airportsScanLogPath());
    const auto walked = std::count_if(log.begin(), log.end(), [](const std::string& line) {
      return line.starts_with("Fac depth") && line.ends_with("genworks-airport-lszh/scenery/global/lszh-genworks.bgl");
    });
    EXPECT_EQ(walked, 1);
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& line) {
      return line.starts_with("===>  skipping recursive directory link");
    }));

    // The package holds exactly the copied files, by their bare names.
    ZipArchive zip;
    ASSERT_TRUE(zip.openRead(g_tbloFolder / g_tbloZipName));
    std::vector<std::string> entries;
    for (const ZipEntry& entry : zip.getEntries()) entries.push_back(entry.name);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"EDDF.xml", "LFSB.xml", "LSGG.xml", "LSZH.xml"}));
    EXPECT_EQ(lf_filesUnder(g_tbloFolder), (std::vector<std::string>{"email address.txt", "tblo.zip"}));
  }
}

TEST_F(AirportScanTest, AStopDuringTheWalkKeepsThePreviousData) {
  layPrevious();
  int reads = 0;
  gf_setFacilityClockForTest([&reads] {
    if (++reads == 3) gf_requestStop(StopReason::UserClosedSim, 0);
    return std::chrono::steady_clock::time_point(std::chrono::seconds(reads));
  });
  gf_scanAirports();
  expectPreviousKept();
}

TEST_F(AirportScanTest, AScanThatFindsNothingKeepsThePreviousData) {
  layPrevious();
  MSFS_2024_INSTALL_PATH.value = fs::absolute("empty");
  for (const char* root : {"Community", "StreamedPackages", "Official2024", "Community2024"})
    fs::create_directories(fs::path("empty") / root);
  gf_scanAirports();
  expectPreviousKept();
  const std::vector<std::string> messages = shown();
  for (const char* text : {"Warning: Scan has not found any add-on airports",
                           "Airport scan produced no add-on data; keeping previous airport scan data"})
    EXPECT_NE(std::find(messages.begin(), messages.end(), text), messages.end()) << text;
}

TEST_F(AirportScanTest, SkippingTheScanStillRecoversAnInterruptedOne) {
  writeFile("airports/my_simaddon.scan_backup/LSZH.xml", "previous LSZH");
  writeFile("airports/my_simaddon/LFSB.xml", "half a scan");
  writeFile("airports/.airport_scan_in_progress", "1 0\n");
  SKIP_AIRPORT_SCAN.value = true;
  gf_updateParameterSnapshot(SKIP_AIRPORT_SCAN);
  gf_scanAirports();
  EXPECT_EQ(scanFolders(), std::vector<std::string>{"my_simaddon/LSZH.xml"});
  EXPECT_FALSE(fs::exists("airports/.airport_scan_in_progress"));
  EXPECT_EQ(shown(), std::vector<std::string>{"Airport scan suppressed by parameter SKIP_AIRPORT_SCAN"});
}

TEST_F(AirportScanTest, WalkRules) {
  EXPECT_FALSE(lf_isSkippedFolder(std::string(249, 'a')));
  EXPECT_TRUE(lf_isSkippedFolder(std::string(250, 'a')));
  EXPECT_TRUE(lf_isSkippedFolder("Community/Some-AIRCRAFT-pack"));
  EXPECT_EQ(lf_directoryKey("sim/MSFS2024/Community/../Community"), lf_directoryKey("sim/msfs2024/community"));
}

TEST_F(AirportScanTest, ASkipTextCountsOnlyBelowTheScanRoot) {
  const struct { const char* path; const char* root; bool skipped; } cases[] = {
      {"D/Aircraft/Community/genworks-airport-eddf", "D/Aircraft/Community", false},
      {"D/Aircraft/Community/genworks-aircraft-a320", "D/Aircraft/Community", true},
      {"D/SimObjects/Official/OneStore/fsltl-traffic", "D/SimObjects/Official", true},
      {"D/SimObjects/Official/OneStore", "D/SimObjects/Official", false}};
  for (const auto& c : cases) EXPECT_EQ(lf_isSkippedFolder(c.path, c.root), c.skipped) << c.path;
}

// A scan log that could not be written is not reported as written.
TEST_F(AirportScanTest, AScanLogThatCannotBeWrittenIsReportedSo) {
  fs::create_directories(gf_airportsScanLogPath() / "in the way");
  fs::create_directories(g_mySimaddonFolder);
  fs::create_directories(g_myThirdpartyFolder);
  lf_runAirportScan({});
  const std::string text = log();
  EXPECT_NE(text.find("==> output/info/AirportsScanLog.txt could not be written"), std::string::npos);
  EXPECT_EQ(text.find("AirportsScanLog.txt written"), std::string::npos);
}

}  // namespace
