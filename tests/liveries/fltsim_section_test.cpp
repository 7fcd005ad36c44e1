// One [fltsim.N] section into a livery or a report line: every rule of the section.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <string>
#include <vector>

#include "liveries/fltsim_section.h"
#include "liveries/livery_regcodes.h"
#include "liveries/scan_reports.h"
#include "tests/liveries/livery_fixture.h"

namespace {

using livery_testing::LiveryTest;

// "airline|operator|model|cargo|registration", or "none".
std::string lf_text(const std::optional<Livery>& livery) {
  if (!livery) return "none";
  return fmt::format("{}|{}|{}|{}|{}", gf_airlineName(livery->airline), gf_airlineName(livery->operatorId),
                     gf_modelName(livery->model), livery->cargo, livery->registration);
}

class FltsimSectionTest : public LiveryTest {};

TEST_F(FltsimSectionTest, EveryRuleWithItsReportLine) {
  const std::string missing = "P/aircraft.cfg [fltsim.1] icao_airline is missing, or it has invalid info ";
  struct Case {
    const char* name;
    std::vector<std::string> keys;
    const char* model;
    const char* livery;
    std::vector<std::string> incomplete;
    std::vector<std::string> invalidAirline = {};
  } cases[] = {
      {"FenixA320 title", {"title=Fly FenixA320", "icao_airline=DLH"}, "A20N", "none", {missing}},
      {"PMDG 737 title", {"icao_airline=DLH", "title=PMDG 737 House"}, "B738", "none", {}},
      {"second title", {"icao_airline=DLH", "title=A", "title=B"}, "A20N", "none",
       {"P [fltsim.1] has more than one title key"}},
      {"second icao_airline", {"title=A", "icao_airline=DLH", "icao_airline=BAW"}, "A20N", "none",
       {"P [fltsim.1] has more than one icao_airline key"}},
      {"second atc_parking_types", {"title=A", "icao_airline=DLH", "atc_parking_types=GATE", "atc_parking_types=X"},
       "A20N", "none", {"P [fltsim.1] has more than one atc_parking_types key"}},
      {"second atc_id", {"title=A", "icao_airline=DLH", "atc_id=D-ABCD", "atc_id=D-ABCE"}, "A20N", "none",
       {"P, [fltsim.1], has more than one atc_id key"}},
      {"RFO", {"title=A", "icao_airline=RFO"}, "A20N", "none", {}},
      {"other invalid airline", {"title=A", "icao_airline=QQQ"}, "A20N", "PVT||A20N|0|", {missing},
       {"QQQ          in P/aircraft.cfg [fltsim.1]"}},
      {"invalid atc_id", {"title=A", "icao_airline=DLH", "atc_id=D-AB*C"}, "A20N", "DLH||A20N|0|",
       {"invalid atc_id=D-AB*C in: A"}},
      {"no valid airline", {"title=A"}, "A20N", "PVT||A20N|0|", {missing}},
      {"no title", {"icao_airline=DLH"}, "A20N", "none", {"P [fltsim.1] misses title"}},
      {"Fictional", {"title=Fictional Air", "icao_airline=DLH"}, "A20N", "none", {}},
      {"don't-use title", {"title=Not Me", "icao_airline=DLH"}, "A20N", "none", {}},
      {"heavy, no registration", {"title=A"}, "A388", "none",
       {missing, "'P' '[fltsim.1]' has no airline and no regcode info"}},
      {"heavy, registration not in the dbase", {"title=A", "atc_id=ZZ-TOP99"}, "A388", "none",
       {missing, "'P' '[fltsim.1]' has no airline and regcode not in dbase"}},
      {"title already used", {"title=Taken", "icao_airline=DLH"}, "A20N", "none",
       {"P [fltsim.1] title 'Taken' already exists"}},
      {"dbase registration wins", {"title=A", "icao_airline=BAW", "atc_id=D-AIMA"}, "A20N", "DLH|DLH|A388|0|D-AIMA",
       {}},
  };
  for (const Case& c : cases) {
    lf_clearScanReports();
    g_dontUseTitles = {"Not Me"};
    g_scannedTitles.insert("Taken");
    std::vector<std::string> section{"[fltsim.1]"};
    section.insert(section.end(), c.keys.begin(), c.keys.end());
    EXPECT_EQ(lf_text(lf_procesFltSimSection(3, section, c.model, "P/aircraft.cfg", "P")), c.livery) << c.name;
    EXPECT_EQ(g_scanReports.incompleteSections, c.incomplete) << c.name;
    EXPECT_EQ(g_scanReports.invalidAirlineCodes, c.invalidAirline) << c.name;
  }
}

TEST_F(FltsimSectionTest, ALiveryKeepsItsTitleAndFolderRank) {
  const std::vector<std::string> section{"[fltsim.0]", R"(title="  Quoted Air  ")", "icao_airline=DLH"};
  const auto livery = lf_procesFltSimSection(0x10003, section, "A20N", "P/aircraft.cfg", "P");
  ASSERT_TRUE(livery);
  EXPECT_EQ(livery->title, "Quoted Air");
  EXPECT_EQ(livery->sourceIndex, 3);
  EXPECT_FALSE(lf_procesFltSimSection(1, section, "A20N", "Q/aircraft.cfg", "Q")) << "a title is used once";
}

}  // namespace
