// One aircraft.cfg: its section numbers, its model and its cut into sections; and the IVAO files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "liveries/cfg_reader.h"
#include "liveries/ivao_reader.h"
#include "liveries/scan_reports.h"
#include "tests/liveries/livery_fixture.h"

namespace {

using livery_testing::LiveryTest;
namespace fs = std::filesystem;

class CfgReaderTest : public LiveryTest {
 protected:
  std::vector<std::string> titles(const std::vector<std::string>& lines, const fs::path& path = "P/aircraft.cfg") {
    std::vector<std::string> out;
    for (const Livery& livery : lf_liveriesFromCfgLines(1, lines, path)) out.push_back(livery.title);
    return out;
  }
};

TEST_F(CfgReaderTest, SectionNumbersUpTo10000AreUsed) {
  const std::vector<std::string> tail{"title=Top", "icao_airline=DLH", "[General]", "icao_type_designator=A20N"};
  auto file = [&](const std::string& header) {
    std::vector<std::string> lines{header};
    lines.insert(lines.end(), tail.begin(), tail.end());
    return lines;
  };
  EXPECT_EQ(titles(file("[fltsim.10000]")), std::vector<std::string>{"Top"});
  EXPECT_TRUE(titles(file("[fltsim.10001]")).empty());
  EXPECT_EQ(g_scanReports.invalidCfgFiles,
            std::vector<std::string>{"P/aircraft.cfg contains a [fltsim.x] section with a number < 0 or > 10000"});
  EXPECT_TRUE(titles(file("[fltsim.99999999999]")).empty());
  EXPECT_NE(log().find("==> fltsim num [fltsim.99999999999] incorrect\n"), std::string::npos);
  EXPECT_EQ(g_scanReports.invalidCfgFiles.size(), 1u) << "the warning lists nothing";

  EXPECT_TRUE(titles({"[General]", "icao_type_designator=QQQQ"}).empty());
  EXPECT_EQ(g_scanReports.noFltsimSection, std::vector<std::string>{"P/aircraft.cfg"});
  EXPECT_EQ(g_scanReports.invalidModelCodes, std::vector<std::string>{"QQQQ             in P/aircraft.cfg"})
      << "the model is still looked up";
}

TEST_F(CfgReaderTest, ThePaywareAirlinersWithoutATypeLineAreLeftOutSilently) {
  const std::vector<std::string> lines{"[fltsim.0]", "title=T", "icao_airline=DLH"};
  EXPECT_TRUE(titles(lines, "x/pmdg-aircraft-77w/aircraft.cfg").empty());
  EXPECT_TRUE(titles(lines, "x/fnx-aircraft-320/aircraft.cfg").empty());
  EXPECT_TRUE(g_scanReports.invalidCfgFiles.empty());
  EXPECT_TRUE(titles(lines, "x/other/aircraft.cfg").empty());
  EXPECT_EQ(g_scanReports.invalidCfgFiles.size(), 1u);
}

TEST_F(CfgReaderTest, SectionsEndAtTheNextBracketLineOnly) {
  const std::vector<std::string> lines{
      "icao_type_designator=A20N", "title=Before any section",
      "[fltsim.0]",                "title=First",
      "",                          "; a comment between keys",
      "icao_airline=DLH",          "atc_parking_types=[GATE]",
      "  [General]",               "title=Between sections",
      "[fltsim.1]",                "title=Second",
      "\t[FLTSIM.2]",              "title=Third",
      "icao_airline=BAW"};
  EXPECT_EQ(titles(lines), (std::vector<std::string>{"First", "Second", "Third"}));
  EXPECT_EQ(g_scanReports.incompleteSections.size(), 1u) << "only the second misses its airline";
}

TEST_F(CfgReaderTest, IvaoModelFromThePathAndAirlineFromTheTitle) {
  struct PathCase {
    const char* path;
    std::optional<std::string> folder;
  } paths[] = {
      {"/c/IVAO_MTL/SimObjects/Airplanes/IVAO_B738/aircraft.cfg", "B738"},
      {"/c/ivao_mtl/simobjects/airplanes/ivao_A320wIAE/AIRCRAFT.CFG", "A320wIAE"},
      {"/c/ivao_x-csl/SimObjects/Airplanes/IVAO_B744/aircraft.cfg", "B744"},
      {"/c/IVAO_MTL/SimObjects/Airplanes/IVAO-B738/aircraft.cfg", std::nullopt},
      {"/IVAO_MTL/SimObjects/Airplanes/IVAO_B738/aircraft.cfg", std::nullopt},
      {"/c/IVAO_MTL/SimObjects/Airplanes/x/IVAO_B738/aircraft.cfg", std::nullopt},
  };
  for (const PathCase& c : paths) EXPECT_EQ(lf_ivaoModelFolder(c.path), c.folder) << c.path;
  EXPECT_EQ(lf_fixIvaoModel("/c/IVAO_MTL/SimObjects/Airplanes/IVAO_A320wIAE/aircraft.cfg"), "A320");
  EXPECT_EQ(lf_fixIvaoModel("/c/IVAO_MTL/SimObjects/Airplanes/IVAO-B738/aircraft.cfg"), "");
  EXPECT_EQ(g_scanReports.invalidModelCodes,
            std::vector<std::string>{"                 in /c/IVAO_MTL/SimObjects/Airplanes/IVAO-B738/aircraft.cfg"});

  EXPECT_EQ(lf_ivaoTitleAirline("b738dlh x", "B738", false), "dlh");
  EXPECT_EQ(lf_ivaoTitleAirline("B738W DLH", "B738", true), "DLH");
  EXPECT_EQ(lf_ivaoTitleAirline("B738 DLH", "B738", true), std::nullopt);
  EXPECT_EQ(lf_ivaoTitleAirline("B738 D-A", "B738", false), std::nullopt);
}

TEST_F(CfgReaderTest, AnIvaoTextureNameTooLongForTheFileSystemCostsItsSectionOnly) {
  const fs::path folder = dir_.path() / "c" / "IVAO_MTL" / "SimObjects" / "Airplanes" / "IVAO_B738";
  fs::create_directories(folder / "texture.DLH");
  const std::string longName(300, 'a');
  const std::vector<std::string> lines{"[fltsim.0]", "title=B738 DLH Long", "texture=" + longName,
                                       "[fltsim.1]", "title=B738 DLH Lufthansa", "texture=DLH"};
  std::vector<std::string> made;
  for (const Livery& livery : lf_liveriesFromIvaoLines(1, lines, folder / "aircraft.cfg"))
    made.push_back(livery.title);
  EXPECT_EQ(made, std::vector<std::string>{"B738 DLH Lufthansa"});
  ASSERT_EQ(g_scanReports.incompleteSections.size(), 1u);
  EXPECT_TRUE(g_scanReports.incompleteSections[0].ends_with(longName + " [fltsim.0] does not exist"))
      << g_scanReports.incompleteSections[0];
}

}  // namespace
