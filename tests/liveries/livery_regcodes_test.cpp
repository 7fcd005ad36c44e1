#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/program_folders.h"
#include "liveries/livery_database.h"
#include "liveries/livery_regcodes.h"
#include "tests/liveries/livery_fixture.h"
#include "tests/refdata/enc_fixture.h"

namespace {
namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::writeFile;

using LiveryRegcodesTest = livery_testing::LiveryTest;

constexpr const char* kA380LH = "AIG Airbus A380-800 Lufthansa";
constexpr const char* kA350LH = "AIG Airbus A350-900 Lufthansa";
constexpr const char* kA380BA = "AIG Airbus A380-800 British Airways";

std::string titleOf(const char* registration) {
  const auto it = g_regcodeTitles.find(registration);
  return it == g_regcodeTitles.end() ? "<none>" : std::string(it->second);
}

TEST_F(LiveryRegcodesTest, TheFirstInlineRegistrationWinsAndTheClashIsReported) {
  writeScanFile(R"(<l a="DLH" m="A388" t="AIG Airbus A380-800 Lufthansa" r="D-AIMB"/>
                   <l a="DLH" m="A388" t="AIG Airbus A380-800 Lufthansa" r="D-AIMA"/>
                   <l a="BAW" m="B77W" t="AIG Boeing 777-300ER British Airways" r="G-XLEA"/>
                   <l a="BAW" m="A388" t="AIG Airbus A380-800 British Airways" r="G-XLEA"/>)");
  gf_processScannedLiveries();
  EXPECT_EQ(titleOf("G-XLEA"), kA380BA) << "first in the file's order";
  EXPECT_EQ(titleOf("D-AIMB"), kA380LH);
  EXPECT_EQ(g_titleRegcodes.at(kA380LH), "D-AIMA");
  EXPECT_EQ(readFile(g_errorsFolder / "InlineRegcodes.txt"),
            "G-XLEA 'AIG Boeing 777-300ER British Airways' => already in use by 'AIG Airbus A380-800 British Airways'\n"
            "AIG Airbus A380-800 Lufthansa 'D-AIMB' => already in use by 'D-AIMA'\n");
  EXPECT_NE(log().find("    2 in-line regcode clashes, see 'output/errors/InlineRegcodes.txt'"), std::string::npos);
}

TEST_F(LiveryRegcodesTest, UserCodesBeatTheAigFileAndASingleCodeMakesAUniqueLivery) {
  fs::create_directories(dir_ / "input");
  fs::copy_file(testing_support::sourceDataFolder() / "AIG-regcodes.enc", dir_ / g_aigRegcodesEncFile);
  writeFile(dir_ / g_myRegcodesFolder / "mine.txt",
            std::string(kA350LH) + ";D-AIMA\nAIG Boeing 747-8 Lufthansa;D-ABYA\n");
  writeScanFile(R"(<l a="DLH" m="A388" t="AIG Airbus A380-800 Lufthansa"/>
                   <l a="DLH" m="A359" t="AIG Airbus A350-900 Lufthansa"/>
                   <l a="BAW" m="A388" t="AIG Airbus A380-800 British Airways"/>)");
  gf_processScannedLiveries();

  EXPECT_EQ(titleOf("D-AIMA"), kA350LH);
  EXPECT_EQ(titleOf("D-AIXA"), kA350LH);
  EXPECT_EQ(titleOf("G-XLEA"), kA380BA);
  EXPECT_EQ(titleOf("F-HPJA"), "<none>") << "not installed";
  EXPECT_EQ(g_specialTitles, (TitleViewSet{kA380LH, kA350LH}));
  EXPECT_EQ(g_uniqueRegcodes, (std::set<std::string, std::less<>>{"D-AIMA", "D-AIXA"}));

  const std::string report = readFile(g_infoFolder / "OfflineRegcodes.txt");
  for (const char* line : {"Processing 'input/AIG-regcodes.enc'\n3 new regcodes added, 2 regcodes defined as special\n",
                           "Processing files in input/my_regcodes\n"
                           "   regcode D-AIMA for 'AIG Airbus A350-900 Lufthansa', instead of the same for "
                           "'AIG Airbus A380-800 Lufthansa'\n"
                           "0 new regcodes added, 1 regcode replaced, 1 regcode defined as special\n"})
    EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
  EXPECT_EQ(readFile(g_errorsFolder / "MissingCustomRepaints.txt"), "AIG Boeing 747-8 Lufthansa; D-ABYA\n");
  EXPECT_NE(log().find("    1 custom repaint title not found in scanned liveries, see "
                       "'output/errors/MissingCustomRepaints.txt'"),
            std::string::npos);
}

TEST_F(LiveryRegcodesTest, TheDontUseReadersTakeTheTitlesWithoutCodes) {
  writeFile(dir_ / "aig.enc", refdata_testing::encryptForTest(
                                  R"(<root><meta><info name="author" value="t"/><info name="copyright" value="c"/>)"
                                  R"(<info name="sim" value="2"/></meta><aig>)"
                                  R"(<l t="AIG Boeing 737-800 Ryanair old"/><l t="AIG Airbus A319 easyJet" r="G-EZAA"/>)"
                                  "</aig></root>"));
  gf_readDontUseTitles(dir_ / "aig.enc");
  writeFile(dir_ / g_myRegcodesFolder / "mine.txt", "Old title\nAIG Boeing 737-800 Ryanair old\nKept;G-EZAB\n");
  gf_readDontUseTitlesFolder();
  EXPECT_EQ(g_dontUseTitles, (TextSet{"AIG Boeing 737-800 Ryanair old", "Old title"}));
  for (const char* line : {"    1 don't use title read\n", "    1 don't use title read from files in input/my_regcodes\n"})
    EXPECT_NE(log().find(line), std::string::npos) << line;
}

}  // namespace
