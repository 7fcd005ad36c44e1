// The AI packages of the Community folder and the walk of the livery folders.
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/sim_choice.h"
#include "liveries/livery.h"
#include "liveries/livery_folders.h"
#include "liveries/scan_reports.h"
#include "tests/liveries/livery_fixture.h"

namespace {

using livery_testing::LiveryTest;
namespace fs = std::filesystem;

class LiveryFoldersTest : public LiveryTest {
 protected:
  // One aircraft.cfg of model A20N with a livery per title, all of the same airline.
  void cfg(const fs::path& file, const std::vector<std::string>& titles, const std::string& airline = "DLH") {
    std::string text = "[General]\nicao_type_designator=A20N\n";
    for (std::size_t i = 0; i < titles.size(); ++i)
      text += "[fltsim." + std::to_string(i) + "]\ntitle=" + titles[i] + "\nicao_airline=" + airline + "\n";
    fs::create_directories(file.parent_path());
    testing_support::writeFile(file, text);
  }
  static std::vector<std::string> titles() {
    std::vector<std::string> out;
    for (const Livery& livery : g_liveries) out.push_back(livery.title);
    std::sort(out.begin(), out.end());
    return out;
  }
  const fs::path community_ = dir_.path() / "Community";
};

TEST_F(LiveryFoldersTest, PackageFoldersPerSimulator) {
  struct Case {
    const char* name;
    std::int32_t sim;
    int kind;  // -1: none
  } cases[] = {
      {"aig-aitraffic-oci-beta", 1, 0},  {"aig-aitraffic-oci-beta", 2, -1}, {"aig-aitraffic-oci", 2, 0},
      {"x-aig-aitraffic-oci_CVT_", 1, -1}, {"fsltl-traffic-base", 2, 1},      {"justflight-fstraffic-module", 2, 2},
      {"justflight-aircraft-traffic-fleet", 2, 2}, {"IVAO_MTL", 2, 3},       {"ivao_mtl", 2, -1},
  };
  for (const Case& c : cases) {
    gf_publishSimChoice(SimChoice{c.sim, 0});
    for (int kind = 0; kind < 4; ++kind)
      EXPECT_EQ(lf_aiPackageKind(static_cast<AiPackageKind>(kind), c.name), kind == c.kind)
          << c.name << " MSFS " << c.sim << " kind " << kind;
  }
}

TEST_F(LiveryFoldersTest, PackagesInTheChosenOrderThenTheUserFolder) {
  for (const char* name : {"fsltl-traffic-base-b", "fsltl-traffic-base-a", "aig-aitraffic-oci", "IVAO_MTL",
                           "_CVT_user-aitraffic", "user-aitraffic", "zz-user-aitraffic"})
    fs::create_directories(community_ / name);
  std::vector<fs::path> folders;
  const std::vector<AiPackageKind> order{AiPackageKind::FSLTL, AiPackageKind::AIG};
  lf_findAiPackages(community_, order, folders);
  lf_findUserAiTraffic(community_, folders);
  EXPECT_EQ(folders, (std::vector<fs::path>{community_ / "fsltl-traffic-base-a", community_ / "aig-aitraffic-oci",
                                            community_ / "user-aitraffic"}));
  EXPECT_NE(log().find("Automatic FSLTL scan found folder: '" + (community_ / "fsltl-traffic-base-a").string() + "'"),
            std::string::npos);
}

TEST_F(LiveryFoldersTest, ALowerFolderGivesWayOnlyWhenPrioritizing) {
  cfg(dir_.path() / "high/a/aircraft.cfg", {"High DLH"});
  cfg(dir_.path() / "low/a/aircraft.cfg", {"Low DLH one", "Low DLH two"});
  cfg(dir_.path() / "low/b/aircraft.cfg", {"Low KLM"}, "KLM");
  const std::vector<fs::path> folders{dir_.path() / "high", "", dir_.path() / "missing", dir_.path() / "low"};
  ASSERT_EQ(lf_scanLiveryFolders(folders, true), LiveryScanResult::done);
  EXPECT_EQ(titles(), (std::vector<std::string>{"High DLH", "Low KLM"}));
  EXPECT_NE(log().find("    2 same airl+model liveries removed because from lower ai-package\n    2 in total\n"),
            std::string::npos);
  EXPECT_NE(log().find((dir_.path() / "missing").string() + " does not exist, skipped!"), std::string::npos);
  lf_clearScanReports();  // as the end of a scan does
  ASSERT_EQ(lf_scanLiveryFolders(folders, false), LiveryScanResult::done);
  EXPECT_EQ(titles().size(), 4u);
}

TEST_F(LiveryFoldersTest, SkipWordsCountOnlyBelowTheScannedFolder) {
  const fs::path folder = dir_.path() / "my-airport-liveries";
  cfg(folder / "SimObjects/A/aircraft.cfg", {"Read"});
  cfg(folder / "SimObjects/B/AIRCRAFT.CFG", {"Upper Case Name"});
  cfg(folder / "SimObjects/B/aircraft.cfg.bak", {"Backup"});
  cfg(folder / "SimObjects/airport-tug/aircraft.cfg", {"Tug"});
  cfg(folder / "SimObjects/old_CVT_/aircraft.cfg", {"Converted"});
  lf_searchLiveriesInFolder(1, folder);
  EXPECT_EQ(titles(), (std::vector<std::string>{"Read", "Upper Case Name"}));
}

// Checks run as the file system sees an ordinary user, so that a mode of 000 shuts out root too.
struct OrdinaryUser {
  OrdinaryUser() { ::setfsuid(65534); }
  ~OrdinaryUser() { ::setfsuid(0); }
};

TEST_F(LiveryFoldersTest, AFailingFileOrSubfolderCostsOnlyItself) {
  const fs::path folder = dir_.path() / "package";
  const std::string longTitle(100000, 'L');
  cfg(folder / "A/aircraft.cfg", {"Before"});
  cfg(folder / "Long/aircraft.cfg", {longTitle, "Long Neighbour"});
  cfg(folder / "Locked/aircraft.cfg", {"Locked File"});
  cfg(folder / "LockedDir/x/aircraft.cfg", {"Locked Folder"});
  const fs::path ivao = folder / "IVAO_MTL/SimObjects/Airplanes/IVAO_B738/aircraft.cfg";
  fs::create_directories(ivao.parent_path());
  // A texture folder that can't be looked at (a link to itself) fails the whole file.
  testing_support::writeFile(ivao, "[fltsim.0]\ntitle=B738 DLH\ntexture=LOOP\n");
  fs::create_symlink("texture.LOOP", ivao.parent_path() / "texture.LOOP");
  cfg(folder / "Z/aircraft.cfg", {"After"});
  ::chmod((folder / "Locked/aircraft.cfg").c_str(), 0);
  ::chmod((folder / "LockedDir").c_str(), 0);
  {
    const OrdinaryUser user;
    lf_searchLiveriesInFolder(1, folder);
  }
  ::chmod((folder / "LockedDir").c_str(), 0755);
  const std::string text = log();
  // Not compared whole: a failure would print the long title.
  EXPECT_TRUE(titles() == (std::vector<std::string>{"After", "Before", longTitle, "Long Neighbour"}))
      << titles().size() << " liveries";
  ASSERT_EQ(g_scanReports.invalidCfgFiles.size(), 1u);
  EXPECT_TRUE(g_scanReports.invalidCfgFiles[0].starts_with(ivao.string() + " could not be read: "));
  EXPECT_NE(text.find("! No text encoding detected for " + (folder / "Locked/aircraft.cfg").string()),
            std::string::npos);
  EXPECT_NE(text.find("==> liveries search skipped " + (folder / "LockedDir").string()), std::string::npos);
}

}  // namespace
