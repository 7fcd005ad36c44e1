#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

TEST(ProgramFoldersTest, PerUserPathsFollowTheAppDataFolder) {
  testing_support::TempDir dir;
  ::setenv("JORV_APPDATA", dir.path().c_str(), 1);
  gf_resetProgramFolders();
  EXPECT_EQ(g_programFolder.get(), dir.path() / "JORV");
  EXPECT_EQ(g_parametersPath.get(), dir.path() / "JORV" / "parameters.xml");
  EXPECT_EQ(g_programFolder / "x", dir.path() / "JORV" / "x");
  ::unsetenv("JORV_APPDATA");
  gf_resetProgramFolders();
}

TEST(ProgramFoldersTest, LiveriesScanFileFollowsTheSimulator) {
  gf_publishSimChoice(SimChoice{2, 0});
  EXPECT_EQ(gf_liveriesScannedFile(), fs::path("output") / "LiveriesScanned_MSFS2024.xml");
  gf_publishSimChoice(SimChoice{1, 0});
  EXPECT_EQ(gf_liveriesScannedFile(), fs::path("output") / "LiveriesScanned_MSFS2020.xml");
  gf_publishSimChoice(SimChoice{});
}

TEST(ProgramFoldersTest, ShellOpenShowsTheFolderOfAnExistingFileOnly) {
  testing_support::TempDir dir;
  testing_support::ScopedCurrentDir cwd(dir.path());
  std::vector<fs::path> opened;
  gf_setShellOpenerForTest([&](const fs::path& folder) {
    opened.push_back(folder);
    return true;
  });
  EXPECT_FALSE(gf_shellOpen(g_objectIdListFile));  // not there yet
  testing_support::writeFile(g_objectIdListFile, "list");
  testing_support::writeFile("bare.txt", "x");
  EXPECT_FALSE(gf_shellOpen("bare.txt"));  // no folder part
  EXPECT_TRUE(gf_shellOpen(g_objectIdListFile));
  EXPECT_EQ(opened, (std::vector<fs::path>{g_infoFolder}));
  gf_setShellOpenerForTest({});
}

TEST(SimChoice, DefaultsToMsfs2024AndRTDirectAndFormatsObjectIdsByEdition) {
  EXPECT_FALSE(gf_isMsfs2020());
  EXPECT_TRUE(gf_isRtDirect());
  EXPECT_EQ(gf_objectIdText(255), "ff");
  gf_publishSimChoice(SimChoice{1, 1});
  EXPECT_TRUE(gf_isMsfs2020());
  EXPECT_FALSE(gf_isRtDirect());
  EXPECT_EQ(gf_objectIdText(255), "255");
  gf_publishSimChoice(SimChoice{});
}
