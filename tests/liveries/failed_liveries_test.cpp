#include <gtest/gtest.h>

#include <fmt/format.h>

#include <string>
#include <vector>

#include "core/user_exception.h"
#include "liveries/airline_short_names.h"
#include "liveries/failed_liveries.h"
#include "tests/liveries/livery_fixture.h"

namespace {

using FailedLiveriesTest = livery_testing::LiveryTest;

FeedRecordHead aircraft(const char* callsign, const char* airline, const char* model) {
  FeedRecordHead head;
  head.callsign = callsign;
  head.airlineId = gf_internAirlineName(airline);
  head.modelId = gf_internModelName(model);
  return head;
}

TEST_F(FailedLiveriesTest, TheTwentiethRefusedTitleStopsTheRun) {
  const auto dlh = aircraft("DLH400", "DLH", "A388");
  gf_reportLiveryCreateFailure(dlh, "AIG Airbus A380-800 Lufthansa");
  gf_reportLiveryCreateFailure(aircraft("DLH401", "DLH", "A388"), "AIG Airbus A380-800 Lufthansa");
  EXPECT_EQ(g_failedLiveryTitles.size(), 1u) << "a title refused twice counts once";
  EXPECT_TRUE(gf_isFailedLivery("AIG Airbus A380-800 Lufthansa"));
  EXPECT_FALSE(gf_isFailedLivery("AIG Airbus A350-900 Lufthansa"));

  for (int i = 2; i <= 19; ++i) gf_reportLiveryCreateFailure(dlh, fmt::format("Title {}", i));
  EXPECT_EQ(g_failedLiveryTitles.size(), 19u);
  EXPECT_EQ(gf_failedLiveryModelLines(), std::vector<std::string>{"  DLH A388"}) << "one line per airline and model";
  const auto updates = takeGuiUpdates();
  ASSERT_FALSE(updates.empty());
  const auto* shown = std::get_if<gui::ShowMessage>(&updates.back());
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->text, "DLH400 'Title 19' could not be created by your Sim!");
  EXPECT_TRUE(shown->alsoLog);
  EXPECT_EQ(log().find("Error 81"), std::string::npos);

  try {
    gf_reportLiveryCreateFailure(aircraft("BAW1", "BAW", "B77W"), "Title 20");
    FAIL() << "no exception at 20 titles";
  } catch (const jrv::UserRelatedException& e) {
    EXPECT_EQ(e.code, 81);
    EXPECT_STREQ(e.what(), "81: There are too many liveries that could not be created!, see Log.txt");
  }
  EXPECT_NE(log().find("\n===> Error 81, There are too many liveries that could not be created!\n"), std::string::npos);
  EXPECT_EQ(gf_failedLiveryModelLines().size(), 2u);
}

TEST_F(FailedLiveriesTest, UnmatchedFlightsAreLoggedOnlyWhenThereAreAny) {
  gf_logUnmatchedLiveries();
  const std::string before = log();
  g_unmatchedLiveries.insert("DLH400 A388");
  gf_logUnmatchedLiveries();
  EXPECT_EQ(log().substr(before.size()), "\nNo match found for:\nDLH400 A388\n\n");
}

TEST(AirlineShortNames, ExactCodesOnly) {
  struct Case {
    const char* code;
    const char* name;
  } cases[] = {{"DLH", "Lufthansa"}, {"AVA", "Avianca"}, {"LRC", "Avianca"}, {"NKS", "Spirit"},
               {"dlh", ""},          {"DLH ", ""},       {"ZZZ", ""},       {"", ""}};
  for (const Case& c : cases) EXPECT_EQ(lf_airlineShortName(c.code), c.name) << "'" << c.code << "'";
}

}  // namespace
