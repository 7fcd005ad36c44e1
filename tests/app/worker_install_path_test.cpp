// The install path: the Community fix, the check of a picked folder with its message boxes,
// and the prompt when discovery finds nothing.
#include "app/install_path.h"
#include "tests/app/worker_fixture.h"

namespace {
namespace fs = std::filesystem;
using worker_test::WorkerFixture;

class InstallPath : public WorkerFixture {
 protected:
  void SetUp() override {
    WorkerFixture::SetUp();
    MSFS_2024_INSTALL_PATH.value = "";
    seams.messageBox = [this](std::string_view text, unsigned type) {
      boxes.push_back({std::string(text), type});
      return ui::IDOK;
    };
    gf_setWorkerSeams(seams);
  }
  static void choose2020(bool is2020) { gf_publishSimChoice(SimChoice{is2020 ? 1 : 2, 1}); }
  fs::path tree(std::initializer_list<const char*> folders) {
    const fs::path root = dir.path() / "sim";
    for (const char* folder : folders) fs::create_directories(root / folder);
    return root;
  }
  std::vector<std::string> boxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes) texts.push_back(box.first);
    return texts;
  }
  std::vector<std::pair<std::string, unsigned>> boxes;
};

TEST_F(InstallPath, ACommunityFolderAcceptedWithWarningsForMissingSiblings) {
  struct Case {
    const char* name;
    bool is2020;
    std::initializer_list<const char*> folders;
    std::string picked;  // relative to the tree
    bool accepted;
    std::vector<std::string> boxes;
  } cases[] = {
      {"2020 complete", true, {"Community", "Official"}, "Community", true, {"Okay!"}},
      {"lower case with a trailing separator", true, {"community", "Official"}, "community/", true, {"Okay!"}},
      {"2020 without Official",
       true,
       {"Community"},
       "Community",
       true,
       {"Warning: There is no Official folder parallel to the Community folder.", "Okay!"}},
      {"2024 without siblings",
       false,
       {"Community"},
       "Community",
       true,
       {"Warning: There is no StreamedPackages folder parallel to the Community folder.",
        "Warning: There is no Community2024 folder parallel to the Community folder.", "Okay!"}},
      {"2024 complete", false, {"Community", "StreamedPackages", "Community2024"}, "Community", true, {"Okay!"}},
      {"not Community",
       true,
       {"Community2", "Official"},
       "Community2",
       false,
       {"This path is not a valid Community folder."}},
      {"missing", true, {"Official"}, "Community", false, {"This install path does not exist."}},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir.path() / "sim");
    boxes.clear();
    choose2020(c.is2020);
    PathOption& option = gf_installPathOption();
    option.value = "";
    const fs::path root = tree(c.folders);
    const fs::path picked = root / c.picked;
    EXPECT_EQ(gf_validateInstallPath(option, picked), c.accepted) << c.name;
    EXPECT_EQ(boxTexts(), c.boxes) << c.name;
    EXPECT_EQ(option.value.load(), c.accepted ? picked : fs::path()) << c.name;
  }
}

TEST_F(InstallPath, ARootCannotBeACommunityFolder) {
  EXPECT_FALSE(gf_validateInstallPath(MSFS_2024_INSTALL_PATH, fs::path("/")));
  EXPECT_EQ(boxTexts(), std::vector<std::string>{"This path is not a valid Community folder."});
}

TEST_F(InstallPath, AStoredCommunityFolderBecomesItsParent) {
  struct Case {
    std::string stored;
    std::string expected;
  } cases[] = {{"/games/msfs/Community", "/games/msfs"},   {"/games/msfs/Community/", "/games/msfs"},
               {"/games/msfs/Community//", "/games/msfs"}, {"/games/msfs", "/games/msfs"},
               {"/games/Community2", "/games/Community2"}, {"", ""}};
  for (const Case& c : cases) {
    MSFS_2024_INSTALL_PATH.value = c.stored;
    gf_fixCommunityInstallPath(MSFS_2024_INSTALL_PATH);
    EXPECT_EQ(MSFS_2024_INSTALL_PATH.value.load(), fs::path(c.expected)) << c.stored;
  }
}

TEST_F(InstallPath, ThePromptStoresThePackagesFolderOfThePickedCommunityFolder) {
  choose2020(false);
  const fs::path root = tree({"Community", "StreamedPackages", "Community2024"});
  seams.pickFolder = [&](const fs::path&) { return std::optional<fs::path>(root / "Community"); };
  gf_setWorkerSeams(seams);
  EXPECT_TRUE(lf_promptInstallPath());
  EXPECT_EQ(MSFS_2024_INSTALL_PATH.value.load(), root);
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.front().first,
            "JORV cannot find the MSFS2024 install path.\n\nPlease select the MSFS2024 Community folder.");
  EXPECT_EQ(boxes.front().second, ui::MB_OK | ui::MB_ICONEXCLAMATION);
}

TEST_F(InstallPath, DiscoveryFirstAndACancelledPickerIsAFailure) {
  choose2020(false);
  const fs::path steam = dir.path() / "appdata" / "Microsoft Flight Simulator 2024" / "Packages";
  fs::create_directories(steam / "Community");
  fs::create_directories(steam / "Official2024");
  EXPECT_TRUE(lf_promptInstallPath());
  EXPECT_EQ(MSFS_2024_INSTALL_PATH.value.load(), steam);
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(called("pickFolder"));

  fs::remove_all(steam);
  MSFS_2024_INSTALL_PATH.value = "";
  EXPECT_FALSE(lf_promptInstallPath());
  EXPECT_TRUE(called("pickFolder"));
  EXPECT_TRUE(MSFS_2024_INSTALL_PATH.value.load().empty());
}

}  // namespace
