#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "liveries/livery_database.h"
#include "platform/ui.h"
#include "tests/liveries/livery_fixture.h"

namespace {
namespace fs = std::filesystem;

using LiveryDatabaseTest = livery_testing::LiveryTest;

const std::string kInstalled = R"(
    <l a="DLH" m="A388" t="AIG Airbus A380-800 Lufthansa" r="D-AIMA"/>
    <l a="DLH" m="A359" t="AIG Airbus A350-900 Lufthansa"/>
    <l a="DLH" o="GEC" m="MD11" c="true" t="AIG McDonnell Douglas MD-11F Lufthansa Cargo"/>
    <l a="BAW" m="A388" t="AIG Airbus A380-800 British Airways"/>
    <l a="EZY" m="A319" t="AIG Airbus A319 easyJet"/>
    <l a="KLM" m="AT76" t="Sample ATR 72-600 KLM"/>
    <l a="FDX" m="AT76" c="true" t="Sample ATR 72-600F FedEx"/>)";

bool lf_indexed(const char* airline, const char* model) {
  return gf_hasLiveryForAirlineModel(DbaseEntry{gf_internAirlineName(airline), 0, gf_internModelName(model), 0, 0});
}

TEST_F(LiveryDatabaseTest, AnOperatorLiveryIsFoundUnderTheJoinedCodeAndTheOperatorOnly) {
  writeScanFile(kInstalled);
  gf_processScannedLiveries();
  EXPECT_TRUE(lf_indexed("DLHGEC", "MD11"));
  EXPECT_TRUE(lf_indexed("GEC", "MD11"));
  EXPECT_FALSE(lf_indexed("DLH", "MD11"));
  EXPECT_TRUE(lf_indexed("DLH", "A388"));
  EXPECT_EQ(g_modelTitles[kCargoKind].at(gf_internModelName("MD11")).size(), 2u) << "listed under both keys";

  EXPECT_TRUE(g_scannedLiveries.empty());
  EXPECT_EQ(g_liveryTitles.size(), 7u);
  for (const char* title : {"AIG Airbus A380-800 Lufthansa", "AIG McDonnell Douglas MD-11F Lufthansa Cargo",
                            "Sample ATR 72-600F FedEx"})
    EXPECT_EQ(lf_findTitle(title), title);
  EXPECT_TRUE(lf_findTitle("not installed").empty());
}

TEST_F(LiveryDatabaseTest, CategorySummaryCountsAndListsTheModels) {
  writeScanFile(kInstalled);
  gf_processScannedLiveries();
  for (const char* line : {"Category Heavy: 3 pax liveries and 2 cargo liveries\n  A359,A388,MD11\n",
                           "Category Large: 1 pax liverie\n  A319\n",
                           "Category TwoProps: 1 pax liverie and 1 cargo liverie\n", "Category Bizjet: No livery found\n",
                           "No generic liveries\n", "    7 airlines, 4 pax aircraft models and 2 cargo aircraft models\n"})
    EXPECT_NE(log().find(line), std::string::npos) << line;
  EXPECT_EQ(g_categoryModels[static_cast<int>(AcCategory::large)], std::vector<ModelId>{gf_internModelName("A319")});

  writeScanFile(R"(<l a="FDX" m="MD11" c="true" t="AIG McDonnell Douglas MD-11F FedEx"/>
                   <l a="ZZZ" m="A320" t="Generic A320"/><l a="ZZZ" m="A319" t="Generic A319"/>)");
  gf_processScannedLiveries();
  for (const char* line : {"Category Heavy: 0 pax liveries and 1 cargo liverie\n", "Category Large: 2 pax liveries\n",
                           "2 models have a generic livery\n  A319,A320\n"})
    EXPECT_NE(log().find(line), std::string::npos) << line;
}

TEST_F(LiveryDatabaseTest, ACategoryWithoutLiveriesIsSwitchedOffUntilTheUserSwitchesItOn) {
  ASSERT_TRUE(ui::registerClass({"LiveryTestWindow", ui::defWindowProc}));
  const ui::Hwnd window = ui::createWindow("LiveryTestWindow", "test", {0, 0, 900, 768});
  HELICOPTERS.window = ui::createControl(window, ui::ControlKind::CheckBox, 32800, "", {0, 0, 14, 14});

  writeScanFile(kInstalled);
  gf_processScannedLiveries();
  EXPECT_NE(testing_support::readFile(g_parametersPath.get()).find(R"(name="HELICOPTERS" value="false")"),
            std::string::npos);
  EXPECT_FALSE(g_parameterSnapshot.load()->helicopters);
  EXPECT_TRUE(g_parameterSnapshot.load()->twoProps);
  EXPECT_FALSE(ui::isWindowEnabled(HELICOPTERS.window));
  EXPECT_NE(log().find("HELICOPTERS temporarily switched off because you do not have Helicopters installed\n"),
            std::string::npos);

  writeScanFile(kInstalled + R"(<l a="ZZZ" m="EC35" t="Sample EC135 Police"/>)");
  gf_processScannedLiveries();
  EXPECT_TRUE(ui::isWindowEnabled(HELICOPTERS.window));
  EXPECT_FALSE(HELICOPTERS.value) << "the user switches it on again";
  EXPECT_FALSE(g_parameterSnapshot.load()->helicopters);
  ui::destroyWindow(window);
}

TEST_F(LiveryDatabaseTest, ProcessingKeepsTheScanReportsAndReplacesOnlyItsOwn) {
  testing_support::writeFile(dir_ / g_errorsFolder / "InvalidAirlineCodes.txt", "XYZ\n");
  testing_support::writeFile(dir_ / g_errorsFolder / "InlineRegcodes.txt", "old clash\n");
  writeScanFile(kInstalled);
  gf_processScannedLiveries();
  EXPECT_TRUE(fs::exists(g_errorsFolder / "InvalidAirlineCodes.txt"));
  EXPECT_FALSE(fs::exists(g_errorsFolder / "InlineRegcodes.txt")) << "no clash this time";
}

TEST_F(LiveryDatabaseTest, AnUnreadableScanResultLeavesTheDatabaseEmpty) {
  writeScanFile(kInstalled);
  gf_processScannedLiveries();
  writeScanFile("");
  try {
    gf_processScannedLiveries();
    FAIL() << "an empty scan result was taken";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "output/LiveriesScanned_MSFS2024.xml could not be read completely");
  }
  EXPECT_TRUE(g_liveryIndex.empty());
  EXPECT_TRUE(g_liveryTitles.empty());
}

}  // namespace
