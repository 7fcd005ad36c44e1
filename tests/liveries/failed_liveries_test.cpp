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

FeedRecordHead lf_aircraft(const char* callsign, const char* airline, const char* model) {
  FeedRecordHead head;
  head.callsign = callsign;
  head.airlineId = gf_internAirlineName(airline);
  head.modelId = gf_internModelName(model);
  return head;
}

TEST_F(FailedLiveriesTest, TheTwentiethRefusedTitleStopsTheRun) {
  const auto dlh = lf_aircraft("DLH400", "DLH", "A388");
  for (int i = 1; i <= 19; ++i) gf_reportLiveryCreateFailure(dlh, fmt::format("Title {}", i));
  gf_reportLiveryCreateFailure(lf_aircraft("DLH401", "DLH", "A388"), "Title 19");
  EXPECT_EQ(g_failedLiveryTitles.size(), 19u) << "a title refused twice counts once";
  EXPECT_TRUE(gf_isFailedLivery("Title 19"));
  EXPECT_EQ(gf_failedLiveryModelLines(), std::vector<std::string>{"  DLH A388"}) << "one line per airline and model";
  const auto updates = takeGuiUpdates();
  const auto* shown = std::get_if<gui::ShowMessage>(&updates.back());
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->text, "DLH401 'Title 19' could not be created by your Sim!");
  EXPECT_EQ(log().find("Error 81"), std::string::npos);

  try {
    gf_reportLiveryCreateFailure(lf_aircraft("BAW1", "BAW", "B77W"), "Title 20");
    FAIL() << "no exception at 20 titles";
  } catch (const jrv::UserRelatedException& e) {
    EXPECT_STREQ(e.what(), "81: There are too many liveries that could not be created!, see Log.txt");
  }
  EXPECT_NE(log().find("\n===> Error 81, There are too many liveries that could not be created!\n"), std::string::npos);
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
