#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "feed/qnh.h"

namespace {

struct MetarCase {
  const char* name;
  const char* metar;
  std::uint32_t qnh;  // 0: an error is expected
  QnhErrorKind kind;
  const char* errorText;
};

TEST(QnhFromMetar, PressureGroupsAndTheirLimits) {
  const MetarCase cases[] = {
      {"hPa group", "EHAM 051025Z 24012KT 9999 FEW020 08/04 Q1013 NOSIG", 1013, {}, ""},
      {"trailing equals does not count", "EHAM 051025Z 24012KT 9999 FEW020 08/04 Q1013=", 1013, {}, ""},
      {"inches rounded", "KJFK 051051Z 31008KT 10SM FEW250 M02/M13 A3012", 1020, {}, ""},
      {"inches just below a half", "KJFK 051051Z A2992 RMK", 1013, {}, ""},
      {"inches at the upper limit", "KJFK A3248", 1100, {}, ""},
      {"inches rounded down to the limit", "KJFK A3249", 1100, {}, ""},
      {"inches above the limit", "KJFK A3250", 0, QnhErrorKind::OutsideLimits, "QNH outside limits: 1101 (A3250)"},
      {"lowest hPa", "LFPG Q0900", 900, {}, ""},
      {"highest hPa", "LFPG Q1100", 1100, {}, ""},
      {"below the limit", "LFPG Q0850", 0, QnhErrorKind::OutsideLimits, "QNH outside limits: 850 (Q0850)"},
      {"negative", "LFPG Q-999", 0, QnhErrorKind::OutsideLimits, "QNH outside limits: -999 (Q-999)"},
      {"letter O for a zero", "EGLL Q1O13", 0, QnhErrorKind::InvalidCode, "invalid QNH code: Q1O13"},
      {"AUTO1 before the real group", "EGLL AUTO1 Q1013", 0, QnhErrorKind::InvalidCode, "invalid QNH code: AUTO1"},
      {"equals stripped in the named group", "EGLL Q10x3=", 0, QnhErrorKind::InvalidCode, "invalid QNH code: Q10x3"},
      {"sign without digits", "EGLL Q---- Q1013", 0, QnhErrorKind::InvalidCode, "invalid QNH code: Q----"},
      {"no pressure group", "EGLL 051020Z 27010KT CAVOK 12/08 NOSIG", 0, QnhErrorKind::NothingFound,
       "no QNH code found in METAR"},
      {"six characters are no group", "EGLL Q10130", 0, QnhErrorKind::NothingFound, "no QNH code found in METAR"},
      {"empty", "", 0, QnhErrorKind::NothingFound, "no QNH code found in METAR"},
      {"only blanks", " \t\r\n ", 0, QnhErrorKind::NothingFound, "no QNH code found in METAR"},
      {"tabs and line feeds separate groups", "EGLL\tQ1021\n", 1021, {}, ""},
  };
  for (const MetarCase& c : cases) {
    const QnhResult result = gf_qnhFromMetar(c.metar);
    if (c.qnh) {
      ASSERT_TRUE(result.hasValue()) << c.name << ": " << result.error().text;
      EXPECT_EQ(result.value(), c.qnh) << c.name;
    } else {
      ASSERT_FALSE(result.hasValue()) << c.name;
      EXPECT_EQ(result.error().kind, c.kind) << c.name;
      EXPECT_EQ(result.error().text, c.errorText) << c.name;
    }
  }
}

TEST(QnhFromWeatherData, OnlyAStringMetarMemberIsRead) {
  using nlohmann::json;
  const auto good = gf_metarFromWeatherData(json{{"METAR", "EDDF 051020Z Q1008"}, {"ICAO", "EDDF"}});
  ASSERT_TRUE(good.hasValue());
  EXPECT_EQ(good.value(), 1008u);

  struct Case {
    const char* name;
    json data;
    QnhErrorKind kind;
    const char* text;
  };
  const Case cases[] = {
      {"number member", json{{"METAR", 1013}}, QnhErrorKind::InvalidData, "invalid METAR type"},
      {"array instead of an object", json::array({"Q1013"}), QnhErrorKind::InvalidData, "invalid weather data object"},
      {"missing member", json{{"metar", "Q1013"}}, QnhErrorKind::NothingFound, "no METAR found in data"},
      {"null member", json{{"METAR", nullptr}}, QnhErrorKind::NothingFound, "no METAR found in data"},
      {"string without a group", json{{"METAR", "EDDF NIL"}}, QnhErrorKind::NothingFound, "no QNH code found in METAR"},
  };
  for (const Case& c : cases) {
    const auto result = gf_metarFromWeatherData(c.data);
    ASSERT_FALSE(result.hasValue()) << c.name;
    EXPECT_EQ(result.error().kind, c.kind) << c.name;
    EXPECT_EQ(result.error().text, c.text) << c.name;
  }
}


}  // namespace
