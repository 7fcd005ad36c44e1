// The park airport's stand file applied: the parking options it adjusts and the quality text.
#include "config/keys.h"
#include "config/parameter_snapshot.h"
#include "parking/airport_settings.h"
#include "parking/learned_file.h"
#include "tests/parking/parking_fixture.h"

namespace parking_test {
namespace {

int g_parameterWrites = 0;
void lf_countWrite(std::string_view, std::string_view) { ++g_parameterWrites; }

class AirportSettingsTest : public ParkingTest {
 protected:
  void SetUp() override {
    ParkingTest::SetUp();
    g_parameterWrites = 0;
    gf_setParameterWriter(lf_countWrite);
  }
  void TearDown() override {
    EXPECT_EQ(g_parameterWrites, 0) << "parameters.xml is not written";
    gf_setParameterWriter(nullptr);
    for (IntOption* option : {static_cast<IntOption*>(&parking_percentage), &MAX_FIT}) option->value = option->defaultValue;
    for (BoolOption* option : {&RT_PARKTRAFFIC_ONLY, &AUTO_PARK, &WEEK, &PARK_SOFT}) option->value = option->defaultValue;
    gf_clearAppliedAirportFile();
    gf_resetParameterSnapshot();
    ParkingTest::TearDown();
  }
  static AirportFileData file(StandFileScores quality, std::size_t stands) {
    AirportFileData data;
    data.altitude = 1417;
    data.quality = quality;
    data.stands.resize(stands);
    return data;
  }
};

TEST_F(AirportSettingsTest, QualityText) {
  const std::pair<StandFileScores, const char*> cases[] = {{{40, 10}, "40"},  {{20, 55}, "20/55"}, {{5, 0}, " 5/ 0"},
                                                           {{0, 0}, "  "},    {{-1, -1}, "  "},    {{0, 7}, " 0/ 7"}};
  for (const auto& [quality, text] : cases) EXPECT_EQ(fmt::format("{}", quality), text) << quality.real;
}

TEST_F(AirportSettingsTest, WithoutALearnedFileLowQualityAndFewStandsChangeTheOptions) {
  struct Case {
    StandFileScores quality;
    std::size_t stands;
    std::int32_t percentage, wantPercentage;
    bool autoPark, trafficOnly, wantAutoPark, wantTrafficOnly;
    const char* line;  // what the log gains; empty: no "auto park set"
  };
  const Case cases[] = {
      {{15, 40}, 5, 30, 30, false, true, true, false, "auto park set because Qf is very low: 15/40\n"},
      {{16, 40}, 5, 30, 30, false, true, false, true, ""},
      {{40, 0}, 1, 30, 100, false, true, true, false,
       "==> target parking % set at 100, because this airport has just 1 stand\nauto park set\n"},
      {{40, 0}, 2, 30, 65, true, false, true, false, "because this airport has just 2 stands\n"},
      {{40, 0}, 0, 30, 65, true, false, true, false, "because this airport has just 0 stands\n"},
      {{40, 0}, 2, 65, 65, false, true, false, true, ""},
  };
  for (const Case& c : cases) {
    parking_percentage.value = c.percentage;
    AUTO_PARK.value = c.autoPark;
    RT_PARKTRAFFIC_ONLY.value = c.trafficOnly;
    gf_applyAirportFileSettings(file(c.quality, c.stands));
    const std::string log = newLog();
    const std::string name = fmt::format("{} with {} stands", c.quality, c.stands);
    EXPECT_TRUE(parking_percentage.value == c.wantPercentage && AUTO_PARK.value == c.wantAutoPark &&
                RT_PARKTRAFFIC_ONLY.value == c.wantTrafficOnly)
        << name;
    const auto s = g_parameterSnapshot.load();
    EXPECT_TRUE(s->parkingPercentage == static_cast<std::uint32_t>(c.wantPercentage) &&
                s->autoPark == c.wantAutoPark && g_keptParkingSettings.autoPark == c.wantAutoPark)
        << name;
    EXPECT_TRUE(*c.line ? contains(log, c.line) : !contains(log, "auto park set")) << name << "\n" << log;
  }
}

TEST_F(AirportSettingsTest, ALearnedFileTakesOverWhatItHasAndThePercentageAlways) {
  parking_percentage.value = 50;
  WEEK.value = true;
  AirportFileData learned = file({12, 3}, 1);
  learned.learnedLoaded = learned.handmade = true;
  learned.learned.AUTO_PARK = false;
  learned.learned.MAX_FIT = 3;
  learned.rtTrafficWeek = 49;
  gf_applyAirportFileSettings(learned);
  EXPECT_EQ(parking_percentage.value, 30);
  EXPECT_TRUE(WEEK.value) << "not in the learned file";
  EXPECT_FALSE(AUTO_PARK.value) << "neither the low quality nor the single stand overrule a learned file";
  EXPECT_EQ(MAX_FIT_FL.value, 2.0f);
  EXPECT_TRUE(g_airportFileLoaded && g_airportFileHandmade && g_rtTrafficWeek == 49);
  EXPECT_TRUE(contains(newLog(), "A handmade airport file overruled the archived file!\n"));
}

}  // namespace
}  // namespace parking_test
