// Simulator installation discovery against a fake installation tree: JORV_APPDATA and
// JORV_LOCALAPPDATA point the per-user folders into a temporary folder.
#include "config/sim_folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "config/keys.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "tests/config/parameters_fixture.h"

namespace {
namespace fs = std::filesystem;
using testing_support::writeFile;

class SimFolders : public params_test::LoggedTest {
 protected:
  void SetUp() override {
    fs::create_directories(roaming);
    fs::create_directories(local);
    ::setenv("JORV_APPDATA", roaming.c_str(), 1);
    ::setenv("JORV_LOCALAPPDATA", local.c_str(), 1);
    LoggedTest::SetUp();
  }
  void TearDown() override {
    LoggedTest::TearDown();
    ::unsetenv("JORV_APPDATA");
    ::unsetenv("JORV_LOCALAPPDATA");
    gf_publishSimChoice(SimChoice{});
    MSFS_INSTALL_PATH.value = "";
    MSFS_2024_INSTALL_PATH.value = "";
  }
  static void choose2020(bool is2020) { gf_publishSimChoice(SimChoice{is2020 ? 1 : 2, 0}); }
  fs::path makePackages(const std::string& name, std::initializer_list<const char*> subfolders) {
    fs::path folder = dir_.path() / name;
    for (const char* sub : subfolders) fs::create_directories(folder / sub);
    fs::create_directories(folder);
    return folder;
  }
  fs::path userCfg2024() const {
    return local / "Packages" / "Microsoft.Limitless_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt";
  }

  fs::path roaming = dir_.path() / "roaming";
  fs::path local = dir_.path() / "local";
};

TEST_F(SimFolders, SteamInstallationOf2020IsFoundBesideTheAppDataFolder) {
  choose2020(true);
  const fs::path steam = roaming / "Microsoft Flight Simulator" / "Packages";
  fs::create_directories(steam / "Community");
  fs::create_directories(steam / "Official");
  EXPECT_EQ(gf_findPackagesFolder(), steam);
  choose2020(false);  // 2024 has its own AppData folder name
  EXPECT_EQ(gf_findPackagesFolder(), fs::path());
}

TEST_F(SimFolders, UserCfgNamesThePackagesFolderOfTheChosenSimulator) {
  choose2020(false);
  const fs::path packages = makePackages("packages", {"Community", "Official2024"});
  writeFile(userCfg2024(), "Version 1\nInstalledPackagesPath \"" + packages.string() + "\"\nOther 2\n");
  EXPECT_EQ(gf_readInstalledPackagesPath(), packages);
  EXPECT_EQ(gf_findPackagesFolder(), packages);

  // Without Official2024 the same folder is refused for 2024, and 2020 wants Official.
  fs::remove_all(packages / "Official2024");
  EXPECT_EQ(gf_findPackagesFolder(), fs::path());
  choose2020(true);
  const fs::path cfg2020 = roaming / "Microsoft Flight Simulator" / "UserCfg.opt";
  writeFile(cfg2020, "InstalledPackagesPath \"" + packages.string() + "\"\n");
  EXPECT_EQ(gf_findPackagesFolder(), fs::path());
  fs::create_directories(packages / "Official");
  EXPECT_EQ(gf_findPackagesFolder(), packages);
}

TEST_F(SimFolders, UnusableInstalledPackagesPathLinesGiveNoFolder) {
  choose2020(false);
  const fs::path packages = makePackages("p", {"Community", "Official2024"});
  struct Case { const char* name; std::string line; } cases[] = {
      {"empty quotes", "InstalledPackagesPath \"\""},
      {"no closing quote", "InstalledPackagesPath \"" + packages.string()},
      {"no such folder", "InstalledPackagesPath \"" + (packages / "missing").string() + "\""},
      {"wrong case of the key", "installedpackagespath \"" + packages.string() + "\""},
  };
  for (const Case& c : cases) {
    writeFile(userCfg2024(), c.line + "\n");
    EXPECT_EQ(gf_readInstalledPackagesPath(), fs::path()) << c.name;
  }
}

TEST_F(SimFolders, TheFirstExistingCandidateIsTheOnlyOneRead) {
  choose2020(false);
  const fs::path packages = makePackages("p", {"Community", "Official2024"});
  // Candidate 1 exists but holds nothing usable; candidate 4 would name the folder.
  writeFile(userCfg2024(), "nothing here\n");
  writeFile(local / "MSFSPackages" / "UserCfg.opt", "InstalledPackagesPath \"" + packages.string() + "\"\n");
  EXPECT_EQ(gf_findUserCfg(), userCfg2024());
  EXPECT_EQ(gf_readInstalledPackagesPath(), fs::path());
  fs::remove(userCfg2024());
  EXPECT_EQ(gf_findUserCfg(), local / "MSFSPackages" / "UserCfg.opt");
  EXPECT_EQ(gf_readInstalledPackagesPath(), packages);
}

TEST_F(SimFolders, InstallSubfolderWarnsAboutAMissingFolderOrAnEmptyPath) {
  choose2020(false);
  EXPECT_FALSE(gf_simInstallSubfolder("Community"));
  EXPECT_NE(log().find("==> Install path is empty?\n"), std::string::npos);

  const fs::path packages = makePackages("p", {"Community", "Official2024"});
  MSFS_2024_INSTALL_PATH.value = packages;
  EXPECT_EQ(gf_simInstallSubfolder("Community"), packages / "Community");
  EXPECT_FALSE(gf_simInstallSubfolder("StreamedPackages"));
  EXPECT_NE(
      log().find("==> '" + (packages / "StreamedPackages").string() + "' does not exist or is not a directory.\n"),
      std::string::npos)
      << log();
}

}  // namespace
