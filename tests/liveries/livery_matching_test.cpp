#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "feed/feed_neighbours.h"
#include "liveries/failed_liveries.h"
#include "liveries/livery_database.h"
#include "liveries/livery_matching.h"
#include "liveries/livery_regcodes.h"
#include "tests/liveries/livery_fixture.h"

namespace {
namespace fs = std::filesystem;
using std::string_view;
constexpr double kLow = 5000.0, kHigh = 30000.0;  // feet; TCAS_FL is 180

struct Flight {
  const char *airline, *model;
  std::uint8_t cargo = 0;
  const char *registration = "", *operatorCode = "";
};

void lf_settings(int depth, double userFt = kLow) {
  gf_changeParameterSnapshot([depth](ParameterSnapshot& s) {
    s.random = false;
    s.matchingDepth = static_cast<std::uint32_t>(depth);
    s.tcasFl = 180;
  });
  gf_publishUserAcPosition(UserAcPosition{.altitude = userFt});
}

AcIdentity lf_aircraft(const Flight& f) {
  FeedRecordHead head;
  const AirlineId partner = *f.operatorCode ? gf_internAirlineName(f.operatorCode) : 0;
  head.setIdentity({gf_internAirlineName(f.airline), partner, gf_internModelName(f.model), f.cargo, 0});
  head.callsign = std::string(f.airline) + "123";
  head.registration = f.registration;
  return AcIdentity(std::move(head));
}

AcIdentity lf_match(const Flight& f, int depth, double userFt = kLow, double flightFt = kLow) {
  lf_settings(depth, userFt);
  AcIdentity ac = lf_aircraft(f);
  gf_matchLivery(ac, flightFt);
  return ac;
}

class LiveryMatchingTest : public livery_testing::LiveryTest {
 protected:
  void TearDown() override {
    gf_publishUserAcPosition(UserAcPosition{});
    LiveryTest::TearDown();
  }
  // The sample AIG file makes the Lufthansa A380 special, bound to D-AIMA alone.
  void install(const std::string& elements) {
    fs::create_directories(dir_ / "input");
    fs::copy_file(testing_support::sourceDataFolder() / "AIG-regcodes.enc", dir_ / g_aigRegcodesEncFile,
                  fs::copy_options::overwrite_existing);
    writeScanFile(elements);
    gf_processScannedLiveries();
  }
};

const std::string kInstalled = R"(<l a="ZZZ" m="C172" t="Generic C172"/><l a="ZZZ" m="E190" t="Generic E190"/>
    <l a="DLH" m="A320" t="DLH A320"/><l a="DLH" m="A388" t="AIG Airbus A380-800 Lufthansa"/>
    <l a="FDX" m="A332" c="true" t="FDX A332F"/><l a="KLM" m="AT76" t="KLM AT76"/>
    <l a="KLM" m="E190" t="KLM E190" r="PH-EZA"/><l a="DAL" m="B752" t="DAL B752"/>)";

TEST_F(LiveryMatchingTest, TheLadderStopsAtTheFirstRuleTheDepthCategoryAndAltitudesAllow) {
  struct Case {
    const char* name;
    Flight flight;
    int depth;
    double userFt, flightFt;
    const char* title;  // "": no match
    int step;
    bool tcas;
    const char* refused = nullptr;
  };
  const Case cases[] = {
      {"unique registration", {"DLH", "A388", 0, "D-AIMA"}, 1, kLow, kLow, "AIG Airbus A380-800 Lufthansa", 0, false},
      {"registration", {"SWR", "E190", 0, "PH-EZA"}, 1, kLow, kLow, "KLM E190", 1, false},
      {"special livery only", {"DLH", "A388"}, 2, kLow, kLow, "", 0, false},
      {"private, depth 2", {"PVT", "C172"}, 2, kLow, kLow, "Generic C172", 4, false},
      {"private, depth 1", {"PVT", "C172"}, 1, kLow, kLow, "", 0, false},
      {"private, depth 1, both high", {"PVT", "C172"}, 1, kHigh, kHigh, "Generic C172", 4, true},
      {"cargo flight", {"DLH", "A320", 1}, 2, kLow, kLow, "DLH A320", 2, false},
      {"similar model", {"DLH", "A319"}, 3, kLow, kLow, "DLH A320", 3, false},
      {"generic", {"SWR", "E190"}, 4, kLow, kLow, "Generic E190", 4, false},
      {"passenger flight, depth 6", {"FDX", "A332"}, 6, kLow, kLow, "", 0, false},
      {"passenger flight, depth 7", {"FDX", "A332"}, 7, kLow, kLow, "FDX A332F", 7, false},
      {"large, depth 4", {"SWR", "B752"}, 4, kLow, kLow, "", 0, false},
      {"large, both high", {"SWR", "B752"}, 4, kHigh, kHigh, "DAL B752", 5, true},
      {"large, flight high", {"SWR", "B752"}, 4, kLow, kHigh, "", 0, false},
      {"small", {"SWR", "AT76"}, 4, kLow, kLow, "KLM AT76", 5, false},
      {"small, both high", {"SWR", "AT76"}, 4, kHigh, kHigh, "KLM AT76", 5, false},
      {"small, category", {"SWR", "DH8D"}, 4, kLow, kLow, "KLM AT76", 7, false},
      {"step 8", {"SWR", "C56X"}, 4, kHigh, kHigh, "DLH A320", 8, true},
      {"registration refused", {"SWR", "E190", 0, "PH-EZA"}, 5, kLow, kLow, "Generic E190", 4, false, "KLM E190"},
      {"ladder refused", {"SWR", "E190"}, 5, kLow, kLow, "", 0, false, "Generic E190"},
  };
  install(kInstalled);
  for (const Case& c : cases) {
    g_failedLiveryTitles.clear();
    if (c.refused) g_failedLiveryTitles.insert(c.refused);
    auto counters = g_matchStepCounters;
    const AcIdentity ac = lf_match(c.flight, c.depth, c.userFt, c.flightFt);
    EXPECT_EQ(ac.matchedTitle, string_view(c.title)) << c.name;
    EXPECT_EQ(ac.tcasCoverage != 0, c.tcas) << c.name;
    if (*c.title) ++counters[static_cast<std::size_t>(c.step)];
    EXPECT_EQ(g_matchStepCounters, counters) << c.name;
  }
  EXPECT_NE(log().find(std::string(16, ' ') + "SWR123" + std::string(25, ' ') + "SWR     B752     =5= DAL B752\n"),
            std::string::npos);
}

TEST_F(LiveryMatchingTest, AnOperatedFlightTriesItsOperatorRulesInOrder) {
  // DLH flown by SWR; each case takes the previous winner away.
  const std::vector<std::pair<std::string, const char*>> rules{
      {R"(<l a="DLH" o="SWR" m="A321" t="Joined A321"/>)", "Joined A321"},
      {R"(<l a="SWR" m="A321" t="SWR A321 LUFTHANSA retro"/>)", "SWR A321 LUFTHANSA retro"},
      {R"(<l a="DLH" m="A321" t="DLH A321 Swiss tail"/>)", "DLH A321 Swiss tail"},
      {R"(<l a="SWR" m="A321" t="SWR A321 Basel"/>)", "SWR A321 Basel"},
      {R"(<l a="DLH" m="A321" t="DLH A321 Berlin"/>)", "DLH A321 Berlin"}};
  for (std::size_t first = 0; first < rules.size(); ++first) {
    std::string installed;
    for (std::size_t i = first; i < rules.size(); ++i) installed += rules[i].first;
    install(installed);
    EXPECT_EQ(lf_match({"DLH", "A321", 0, "", "SWR"}, 2).matchedTitle, string_view(rules[first].second));
  }
}

TEST_F(LiveryMatchingTest, PickTitleNeverPicksASpecialTitle) {
  g_specialTitles = {"S1", "S2", "S3", "S4", "S5", "S6"};
  const std::vector<string_view> mostlySpecial{"S1", "S2", "S3", "B", "S4", "S5", "S6"}, firstSpecial{"S1", "B", "C"};
  AcIdentity ac;
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(lf_pickTitle(ac, mostlySpecial) && ac.matchedTitle == "B");
  lf_settings(4);
  EXPECT_TRUE(lf_pickTitle(ac, firstSpecial) && ac.matchedTitle == "C") << "the last eligible with RANDOM off";
  EXPECT_FALSE(lf_pickTitle(ac, std::vector<string_view>{"S1", "S2"}));
}

TEST_F(LiveryMatchingTest, AStaticAircraftOnACargoStandLooksForCargoFirstAndIsNotCounted) {
  install(kInstalled + R"(<l a="DLH" m="A320" c="true" t="DLH A320F"/>)");
  lf_settings(4);
  Stand cargo;
  cargo.name = "C4";
  cargo.cargo = 1;
  AcIdentity dlh = lf_aircraft({"DLH", "A320"}), swr = lf_aircraft({"SWR", "B752", 0, "HB-JHA"});
  EXPECT_TRUE(gf_matchStaticLivery(dlh, cargo) && dlh.matchedTitle == "DLH A320F");
  EXPECT_FALSE(gf_matchStaticLivery(swr, cargo));
  EXPECT_EQ(g_matchStepCounters, decltype(g_matchStepCounters){});
  EXPECT_NE(log().find("C4            : SWR123   HB-JHA SWR     B752     no livery match ...\n"), std::string::npos);
}

TEST_F(LiveryMatchingTest, TheSummaryListsTheStepsAndTheRefusedModels) {
  const std::string before = log();
  gf_logLiveryMatchingSummary();  // nothing matched yet: nothing written
  g_matchStepCounters[2] = 3;
  g_failedLiveryModels.insert("DLH A320");
  gf_logLiveryMatchingSummary();
  const std::string stars(31, '*');
  EXPECT_EQ(log(), before + "\n" + stars + " live traffic livery matching summary " + stars +
                       "\nMatches at step: \n  0: 0\n  1: 0\n  2: 3\n  3: 0\n  4: 0\n  5: 0\n  6: 0\n  7: 0\n  8: 0\n"
                       "\nCould not be created\n  DLH A320\n" + std::string(100, '*') + "\n\n");
}

}  // namespace
