#include <fmt/format.h>

#include "core/user_exception.h"
#include "refdata/program_update.h"
#include "tests/refdata/update_fixture.h"

namespace refdata_testing {
namespace {

using testing_support::readFile;
using testing_support::writeFile;

const VersionData kWeb(16, 9, 0);
constexpr const char* kArchivePath = "release/JORV_latest_version.zip";

class ProgramUpdateTest : public CheckFixture {
 protected:
  ProgramUpdateTest() {
    setup.programUpdate.messageBox = [this](std::string_view text, std::string_view title) {
      messageBoxes.push_back(std::string(title) + ": " + std::string(text));
    };
    server.putFile("versions.json", fmt::format(R"({{"msfs": {}, "dbase": {}}})", versionJson(kWeb),
                                                versionJson({3, 0, 0})));
    server.putFile("docs/ReleaseNotes.pdf", "%PDF release notes");
  }

  void publishInstaller(const std::string& installer, const std::string& name = "JORV_setup.exe") {
    server.putFile(kArchivePath, zipBytes({{"setup/", ""}, {"setup/" + name, installer}}));
  }

  // Expects the update to fail with code 112 and the program folder to be as before.
  void expectFailedUpdate() {
    try {
      gf_checkForUpdates(setup);
      ADD_FAILURE() << "no exception";
    } catch (const jrv::UserRelatedException& e) {
      EXPECT_EQ(e.code, 112);
      EXPECT_STREQ(e.what(),
                   "112: The downloading/unzipping of the new version failed? Try manually via the Tavorine website");
    }
    EXPECT_EQ(filesIn(dir_ / "new_version"), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(dir_ / "latest_version.zip"));
    EXPECT_FALSE(fs::exists(dir_ / "install_new_version.exe"));
    EXPECT_TRUE(gf_isRunning());
  }

  std::vector<std::string> messageBoxes;
};

TEST_F(ProgramUpdateTest, ANewerVersionEndsInNewVersionFolderAndTheNewVersionStop) {
  const std::string installer = fakeInstaller(kWeb, 300000);
  publishInstaller(installer);
  writeFile(dir_ / "new_version" / "install_old_version.exe", "from an earlier update");

  EXPECT_FALSE(gf_checkForUpdates(setup));

  EXPECT_EQ(filesIn(dir_ / "new_version"),
            (std::vector<std::string>{"README.txt", "ReleaseNotes.pdf", "install_new_version.exe"}));
  EXPECT_EQ(readFile(dir_ / "new_version" / "install_new_version.exe"), installer);
  EXPECT_EQ(readFile(dir_ / "new_version" / "ReleaseNotes.pdf"), "%PDF release notes");
  EXPECT_EQ(readFile(dir_ / "new_version" / "README.txt"),
            "Deze installer installeert JORV 16.9.0.\n\nA new version is available.\n"
            "The installer can be executed normally (no Administrator rights required).\n");
  EXPECT_FALSE(fs::exists(dir_ / "latest_version.zip"));
  EXPECT_FALSE(fs::exists(dir_ / "install_new_version.exe"));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], fs::absolute(dir_.path()) / "new_version");
  EXPECT_TRUE(messageBoxes.empty());
  ASSERT_FALSE(gf_isRunning());
  EXPECT_EQ(gf_stopRequest()->reason, StopReason::NewVersion);
  EXPECT_EQ(gf_stopRequest()->restartDelaySeconds, 0u);
  EXPECT_TRUE(logHas("Downloaded installer ProductVersion 16.9.0 verified"));
  EXPECT_FALSE(fs::exists(dir_ / "input" / "dbase.enc")) << "data sets wait for the new program";
}

// A bad archive or installer is refused and removed; the log says why.
TEST_F(ProgramUpdateTest, ABadArchiveOrInstallerIsRefused) {
  struct Case { const char* what; std::string archive; std::string logged; };
  const Case cases[] = {
      {"two files", zipBytes({{"a.exe", fakeInstaller(kWeb)}, {"b.txt", "readme"}}),
       "==> Update archive contains 2 files instead of exactly one"},
      {"empty installer", zipBytes({{"setup.exe", ""}}), "==> Invalid installer size in update archive: 0 bytes"},
      {"another product version", zipBytes({{"setup/", ""}, {"setup/JORV_setup.exe", fakeInstaller({16, 9, 1})}}),
       "==> Downloaded installer ProductVersion 16.9.1 does not match web version 16.9.0"},
      {"no product version", zipBytes({{"setup/", ""}, {"setup/JORV_setup.exe", "MZ no version resource in here"}}),
       "==> Downloaded installer has no readable ProductVersion"},
      {"no archive", "<html>not a zip</html>", "==> Could not open " + (dir_ / "latest_version.zip").string()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    server.putFile(kArchivePath, c.archive);
    expectFailedUpdate();
    EXPECT_TRUE(logHas(c.logged));
  }
}

TEST_F(ProgramUpdateTest, AFailedArchiveDownloadIsShownAndEndsTheUpdate) {
  expectFailedUpdate();  // nothing published under release/
  EXPECT_TRUE(logHas("Downloading program installer file version 16.9.0 failed"));
  EXPECT_TRUE(logHas("==> " + (dir_ / "install_new_version.exe").string() + " does not exists?"));
}

TEST_F(ProgramUpdateTest, WhenTheFolderCannotBeShownTheUserIsToldAndTheProgramStillStops) {
  publishInstaller(fakeInstaller(kWeb));
  server.removeFile("docs/ReleaseNotes.pdf");
  openSucceeds = false;

  EXPECT_FALSE(gf_checkForUpdates(setup));

  EXPECT_EQ(messageBoxes, std::vector<std::string>{"JORV: Could not open File Explorer at new version"});
  EXPECT_TRUE(logHas("Opening file explorer at the new version failed? Try manually via the Tavorine website."));
  EXPECT_TRUE(logHas("==> could not download " + server.baseUrl() + "docs/ReleaseNotes.pdf to "));
  EXPECT_EQ(filesIn(dir_ / "new_version"), (std::vector<std::string>{"README.txt", "install_new_version.exe"}));
  ASSERT_FALSE(gf_isRunning());
  EXPECT_EQ(gf_stopRequest()->reason, StopReason::NewVersion);
}

TEST(ExecutableProductVersion, IsReadFromTheVersionResourceWhereverItSits) {
  testing_support::TempDir scratch;
  struct Case { const char* name; std::string bytes; std::optional<VersionData> expected; };
  // Pieces of 1 MiB are scanned; a block across the first boundary must still be found.
  const std::size_t acrossBoundary = (1u << 20) - 20;
  const Case cases[] = {
      {"near the start", fakeInstaller({1, 2, 3}, 100), VersionData(1, 2, 3)},
      {"across a piece boundary", fakeInstaller({65535, 0, 7}, acrossBoundary), VersionData(65535, 0, 7)},
      {"wrong signature", fakeInstaller({1, 2, 3}, 100, 0xFEEF04BC), std::nullopt},
      {"a bad block before a good one",
       fakeInstaller({9, 9, 9}, 100, 0x12345678) + fakeInstaller({4, 5, 6}, 10), VersionData(4, 5, 6)},
      {"cut off inside the block", fakeInstaller({1, 2, 3}, 100).substr(0, 100 + 60), std::nullopt},
      {"empty", "", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = scratch / "setup.exe";
    writeFile(file, c.bytes);
    EXPECT_EQ(gf_readExecutableProductVersion(file), c.expected);
  }
  EXPECT_EQ(gf_readExecutableProductVersion(scratch / "missing.exe"), std::nullopt);
}

TEST(InstallerRightsMessage, AskForAnAdministratorOnlyForAnUnwritableProgramFilesFolder) {
  testing_support::TempDir scratch;
  const fs::path programFiles = scratch / "Program Files";
  fs::create_directories(programFiles / "Writable");
  const std::string admin = "A new version is available. Run the installer as Administrator";
  const std::string normal =
      "A new version is available.\nThe installer can be executed normally (no Administrator rights required).";
  // A folder that does not exist can't be written to, whoever runs the tests.
  const fs::path locked = programFiles / "JORV";

  EXPECT_EQ(gf_installerRightsMessage(locked, {programFiles}, false), admin);
  EXPECT_EQ(gf_installerRightsMessage(locked, {programFiles}, true), normal);
  EXPECT_EQ(gf_installerRightsMessage(programFiles / "Writable", {programFiles}, false), normal);
  EXPECT_EQ(gf_installerRightsMessage(scratch / "Program Files (other)" / "JORV", {programFiles}, false), normal);
  EXPECT_EQ(gf_installerRightsMessage("/optional/JORV", {"/opt"}, false), normal);
  EXPECT_EQ(gf_installerRightsMessage("/opt/no-such-JORV", {"/opt/"}, false), admin);
  EXPECT_EQ(gf_installerRightsMessage("/opt/../no-such-JORV", {"/opt"}, false), normal);
}

}  // namespace
}  // namespace refdata_testing
