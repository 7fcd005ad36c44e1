// The whole livery scan on the generated Community tree, and the ways a scan ends.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "appbase/stop_request.h"
#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "core/user_exception.h"
#include "liveries/livery_scan.h"
#include "tests/liveries/livery_fixture.h"
#include "tools/livery_tree.h"

namespace {

using livery_testing::LiveryTest;
namespace fs = std::filesystem;

constexpr const char* kReports[] = {"AircraftCfgWithNoFltsimSection.txt", "DontUseLiveries.txt",
                                    "InvalidAirlineCodes.txt",            "InvalidAircraftCodes.txt",
                                    "Fixes.txt",                          "InvalidAircraftCfgFiles.txt",
                                    "IncompleFltsimSections.txt"};

class LiveryScanTest : public LiveryTest {
 protected:
  void SetUp() override {
    LiveryTest::SetUp();
    MSFS_2024_INSTALL_PATH.value = dir_.path() / "sim";
    fs::create_directories(dir_.path() / g_inputFolder);
    fs::copy_file(testing_support::sourceDataFolder() / "AIG-regcodes.enc", dir_.path() / g_aigRegcodesEncFile);
  }
  void TearDown() override {
    MSFS_2024_INSTALL_PATH.value = std::filesystem::path();
    for (StringOption& option : lfolder) option.value = std::string();
    gf_resetStopStateForTest();
    LiveryTest::TearDown();
  }
  LiveryTreeSummary writeTree() {
    const LiveryTreeSummary summary = gf_writeLiveryTree({community_, expected_, testing_support::sourceDataFolder()});
    fs::copy(expected_ / "my_regcodes", dir_.path() / g_myRegcodesFolder);
    return summary;
  }
  // The scan result as "a|o|m|c|t|r" lines, sorted.
  std::string resultLines() {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_file((dir_.path() / gf_liveriesScannedFile()).c_str()));
    std::vector<std::string> lines;
    for (const pugi::xml_node l : document.child("root").child("liveries").children("l"))
      lines.push_back(fmt::format("{}|{}|{}|{}|{}|{}", l.attribute("a").value(), l.attribute("o").value(),
                                  l.attribute("m").value(), l.attribute("c").as_bool() ? 1 : 0,
                                  l.attribute("t").value(), l.attribute("r").value()));
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
  }
  static std::string fileOrNone(const fs::path& file) {
    return fs::exists(file) ? testing_support::readFile(file) : "(none)";
  }
  void expectReportsAsExpected() {
    for (const char* name : kReports) {
      const std::string_view report = name;
      const bool info = report.starts_with("Aircraft") || report.starts_with("Dont");
      const fs::path folder = info ? g_infoFolder : g_errorsFolder;
      EXPECT_EQ(fileOrNone(dir_.path() / folder / name), fileOrNone(expected_ / name)) << name;
    }
  }

  const fs::path community_ = dir_.path() / "sim" / "Community";
  const fs::path expected_ = dir_.path() / "expected";
};

TEST_F(LiveryScanTest, TheGeneratedTreeGivesTheExpectedResultAndReports) {
  writeTree();
  gf_scanLiveries();
  EXPECT_EQ(resultLines(), testing_support::readFile(expected_ / "liveries.txt"));
  expectReportsAsExpected();
  const std::string text = log();
  for (const char* line : {"\n++++++++++++++++++++++++ liveries scan automatic starts ++++++",
                           "\nPrioritizing the scanned liveries ...\n", "\nErrors:\n", "\nInformation:\n",
                           "\n++++++++++++++++++++++++ liveries scan ends ++++++"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(LiveryScanTest, ASecondScanInTheSameProcessReportsEachProblemOnce) {
  writeTree();
  gf_scanLiveries();
  gf_scanLiveries();
  EXPECT_EQ(resultLines(), testing_support::readFile(expected_ / "liveries.txt"));
  expectReportsAsExpected();
}

TEST_F(LiveryScanTest, TheDemoSimulatorKnowsEveryGeneratedTitleButOne) {
  const LiveryTreeSummary summary = writeTree();
  std::ifstream in(testing_support::sourceDataFolder() / "sim" / "scenario.json");
  const auto known = nlohmann::json::parse(in).at("knownTitles").get<std::set<std::string>>();
  std::vector<std::string> unknown;
  for (const auto& title : summary.titles)
    if (!known.contains(title)) unknown.push_back(title);
  EXPECT_EQ(unknown.size(), 1u);
  EXPECT_EQ(known.size() + 1, summary.titles.size()) << "no title the scan does not find";
}

TEST_F(LiveryScanTest, EveryWayAScanEndsWithoutLiveries) {
  struct Case {
    const char* name;
    bool automatic;
    void (*prepare)(const fs::path& root);
    int code;
  } cases[] = {
      {"manual, no folder set", false, [](const fs::path&) {}, 48},
      {"manual, a folder missing", false, [](const fs::path& root) { lfolder[3].value = (root / "gone").string(); },
       243},
      {"manual, no livery", false,
       [](const fs::path& root) {
         fs::create_directories(root / "empty");
         lfolder[5].value = (root / "empty").string();
       },
       53},
      {"automatic, no Community folder", true, [](const fs::path&) {}, 148},
      {"automatic, no package", true, [](const fs::path& root) { fs::create_directories(root / "sim/Community/x"); },
       148},
      {"automatic, no livery", true,
       [](const fs::path& root) { fs::create_directories(root / "sim/Community/fsltl-traffic-base/SimObjects"); }, 553},
  };
  for (const Case& c : cases) {
    c.prepare(dir_.path());
    gf_changeParameterSnapshot([&](ParameterSnapshot& s) { s.ligAutomatic = c.automatic; });
    try {
      gf_scanLiveries();
      ADD_FAILURE() << c.name << ": no exception";
    } catch (const jrv::UserRelatedException& e) {
      EXPECT_EQ(e.code, c.code) << c.name;
      EXPECT_NE(log().find(fmt::format("==> Liveries scan failed: {}", e.what())), std::string::npos) << c.name;
    }
    for (StringOption& option : lfolder) option.value = std::string();
  }
  EXPECT_NE(log().find("==> lfolder3: '" + (dir_.path() / "gone").string() + "' does not exist"), std::string::npos);
}

TEST_F(LiveryScanTest, AStopRequestCancelsTheScanAndWritesNothing) {
  writeTree();
  gf_requestStop(StopReason::NewSettings, 0);
  gf_scanLiveries();
  const std::string text = log();
  EXPECT_NE(text.find("Liveries scan cancelled\n"), std::string::npos);
  EXPECT_NE(text.find("liveries scan ends"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_.path() / gf_liveriesScannedFile()));
}

}  // namespace
