#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "liveries/livery_database.h"
#include "platform/ui.h"
#include "tests/liveries/livery_fixture.h"

namespace {
namespace fs = std::filesystem;
using livery_testing::ScanLine;

using LiveryDatabaseTest = livery_testing::LiveryTest;

const std::vector<ScanLine> kInstalled = {
    {"DLH", "", "A388", false, "AIG Airbus A380-800 Lufthansa", "D-AIMA"},
    {"DLH", "", "A359", false, "AIG Airbus A350-900 Lufthansa", ""},
    {"DLH", "GEC", "MD11", true, "AIG McDonnell Douglas MD-11F Lufthansa Cargo", "D-ALCA"},
    {"BAW", "", "A388", false, "AIG Airbus A380-800 British Airways", ""},
    {"EZY", "", "A319", false, "AIG Airbus A319 easyJet", ""},
    {"KLM", "", "AT76", false, "Sample ATR 72-600 KLM", ""},
    {"FDX", "", "AT76", true, "Sample ATR 72-600F FedEx", ""},
};

bool indexed(const char* airline, const char* model) {
  return gf_hasLiveryForAirlineModel(DbaseEntry{gf_internAirlineName(airline), 0, gf_internModelName(model), 0, 0});
}

TEST_F(LiveryDatabaseTest, AnOperatorLiveryIsFoundUnderTheJoinedCodeAndTheOperatorOnly) {
  writeScanFile(kInstalled);
  gf_processScannedLiveries();
  EXPECT_TRUE(indexed("DLHGEC", "MD11"));
  EXPECT_TRUE(indexed("GEC", "MD11"));
  EXPECT_FALSE(indexed("DLH", "MD11"));
  EXPECT_TRUE(indexed("DLH", "A388"));
  const auto airlines = gf_collectLiveryAirlines();
  EXPECT_EQ(airlines.size(), 7u) << "DLH, DLHGEC, GEC, BAW, EZY, KLM, FDX";

  EXPECT_TRUE(g_scannedLiveries.empty());
  for (const ScanLine& line : kInstalled) EXPECT_EQ(lf_findTitle(line.title), line.title);
  EXPECT_TRUE(lf_findTitle("not installed").empty());
  // The cargo livery is listed under both its keys, in the cargo kind only.
  const ModelId md11 = gf_internModelName("MD11");
  EXPECT_EQ(g_modelTitles[kCargoKind].at(md11).size(), 2u);
  EXPECT_FALSE(g_modelTitles[kPassengerKind].contains(md11));
  EXPECT_EQ(g_airlineModelTitles[kCargoKind].at(gf_internAirlineName("GEC")).at(md11).front(),
            "AIG McDonnell Douglas MD-11F Lufthansa Cargo");

  const auto updates = takeGuiUpdates();
  EXPECT_NE(std::find_if(updates.begin(), updates.end(),
                         [](const GuiUpdate& u) {
                           const auto* count = std::get_if<gui::SetLiveryCount>(&u);
                           return count && count->count == kInstalled.size();
                         }),
            updates.end());
  EXPECT_TRUE(std::holds_alternative<gui::Redraw>(updates.back()));
}

TEST_F(LiveryDatabaseTest, CategorySummaryCountsAndListsTheModels) {
  writeScanFile(kInstalled);
  gf_processScannedLiveries();
  const std::string text = log();
  for (const char* line : {"Category Heavy: 3 pax liveries and 2 cargo liveries\n  A359,A388,MD11\n",
                           "Category Large: 1 pax liverie\n  A319\n",
                           "Category TwoProps: 1 pax liverie and 1 cargo liverie\n  AT76\n",
                           "Category Bizjet: No livery found\n", "No generic liveries\n",
                           "    7 livery titles\n", "    7 airlines, 4 pax aircraft models and 2 cargo aircraft models\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  EXPECT_EQ(g_categoryModels[static_cast<int>(AcCategory::large)], std::vector<ModelId>{gf_internModelName("A319")});

  writeScanFile({{"FDX", "", "MD11", true, "AIG McDonnell Douglas MD-11F FedEx", ""},
                 {"ZZZ", "", "A320", false, "Generic A320", ""},
                 {"ZZZ", "", "A319", false, "Generic A319", ""}});
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
  EXPECT_FALSE(HELICOPTERS.value);
  EXPECT_EQ(parameterValue("HELICOPTERS"), "false");
  EXPECT_FALSE(g_parameterSnapshot.load()->helicopters);
  EXPECT_FALSE(ui::isWindowEnabled(HELICOPTERS.window));
  EXPECT_NE(log().find("Category Rotorcraft: No livery found\nHELICOPTERS=false\n"
                       "HELICOPTERS temporarily switched off because you do not have Helicopters installed\n"),
            std::string::npos);
  EXPECT_TRUE(g_parameterSnapshot.load()->twoProps) << "twoprops liveries are installed";

  auto withHelicopter = kInstalled;
  withHelicopter.push_back({"ZZZ", "", "EC35", false, "Sample EC135 Police", ""});
  writeScanFile(withHelicopter);
  gf_processScannedLiveries();
  EXPECT_TRUE(ui::isWindowEnabled(HELICOPTERS.window));
  EXPECT_FALSE(HELICOPTERS.value) << "the user switches it on again";
  EXPECT_FALSE(g_parameterSnapshot.load()->helicopters);
  ui::destroyWindow(window);
}

TEST_F(LiveryDatabaseTest, ProcessingKeepsTheScanReportsAndReplacesItsOwn) {
  const fs::path scanReport = g_errorsFolder / "InvalidAirlineCodes.txt";
  const fs::path oldClashes = g_errorsFolder / "InlineRegcodes.txt";
  testing_support::writeFile(dir_ / scanReport, "XYZ\n");
  testing_support::writeFile(dir_ / oldClashes, "old clash\n");
  writeScanFile(kInstalled);
  gf_processScannedLiveries();
  EXPECT_TRUE(fs::exists(scanReport));
  EXPECT_FALSE(fs::exists(oldClashes)) << "no clash this time";
}

TEST_F(LiveryDatabaseTest, AnUnreadableScanResultLeavesTheDatabaseEmpty) {
  writeScanFile(kInstalled);
  gf_processScannedLiveries();
  writeScanFile("<root><liveries/></root>");
  EXPECT_THROW(
      {
        try {
          gf_processScannedLiveries();
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), "output/LiveriesScanned_MSFS2024.xml could not be read completely");
          throw;
        }
      },
      std::runtime_error);
  EXPECT_TRUE(g_liveryIndex.empty());
  EXPECT_TRUE(g_liveryTitles.empty());
}

}  // namespace
