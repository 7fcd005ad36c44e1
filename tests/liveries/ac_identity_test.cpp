// The aircraft identity: model data by category and type, the wanted categories, descriptions.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "config/parameter_snapshot.h"
#include "tests/liveries/ac_fixture.h"

namespace actest {
namespace {

class AcIdentityTest : public ::testing::Test {
 protected:
  void SetUp() override { installModels(); }
  void TearDown() override {
    gf_resetModelTables();
    gf_resetParameterSnapshot();
  }
};

TEST_F(AcIdentityTest, ModelDataByCategoryAndType) {
  struct Case {
    const char* model;
    AcCategory category;
    double groundRadiusM;
    bool large, regional, lightTwin, lightSingle;
    std::int32_t rolloutSteps;  // the touch-down eases pitch and bank down over these
  };
  const Case cases[] = {
      {"C172", AcCategory::none, 21.9, false, false, false, true, 250},
      {"BE58", AcCategory::twoprops, 22.44, false, false, true, false, 275},
      {"E190", AcCategory::large, 37.92, true, true, false, false, 350},
      {"B77W", AcCategory::heavy, 65.0, true, false, false, false, 450},  // 70.32 m, clamped
      {"ZZZZ", AcCategory::none, 18.0, false, false, false, false, 250},  // no wingspan known
  };
  for (const Case& c : cases) {
    const AcIdentity ac = aircraftOf(c.model);
    EXPECT_EQ(ac.category, c.category) << c.model;
    EXPECT_NEAR(ac.groundRadius * 1852.0, c.groundRadiusM, 1e-9) << c.model;
    EXPECT_NEAR(ac.wideGroundRadius, 1.25 * ac.groundRadius, 1e-15) << c.model;
    EXPECT_EQ(ac.isLarge, c.large) << c.model;
    EXPECT_EQ(ac.isRegional, c.regional) << c.model;
    EXPECT_EQ(ac.isLightTwin, c.lightTwin) << c.model;
    EXPECT_EQ(ac.isLightSingle, c.lightSingle) << c.model;
    EXPECT_EQ(ac.rolloutSteps, c.rolloutSteps) << c.model;
  }
  const AcIdentity heli = aircraftOf("EC35");
  EXPECT_NEAR(heli.defaultTurnPerStep, 0.2 * geo::kDegToRad, 1e-15);
  EXPECT_NEAR(std::abs(heli.takeoffPitch / (-20.0 * geo::kDegToRad) - 1.0), 0.025, 1e-9);  // randomised 2.5 %
  EXPECT_EQ(heli.cgHeightFt, 4.0);
  EXPECT_THROW(gf_categoryModel(static_cast<AcCategory>(7)), std::out_of_range);
}

TEST_F(AcIdentityTest, CategoriesWantedBySwitches) {
  for (const bool on : {false, true}) {
    gf_changeParameterSnapshot([on](ParameterSnapshot& s) {
      s.lightAircraft = s.twoProps = s.highPerfAircraft = s.helicopters = on;
    });
    for (int category = 0; category <= 7; ++category) {
      const bool always = category >= 2 && category <= 4;
      EXPECT_EQ(gf_isCategoryIncluded(static_cast<AcCategory>(category)), always || (on && category < 7))
          << category << " switches " << on;
    }
  }
}

TEST_F(AcIdentityTest, Descriptions) {
  AcIdentity dlh = aircraftOf("A320", "DLH4AB", "D-AIAB");
  dlh.secondAirlineId = gf_internAirlineName("CLH");
  dlh.marker = 1;
  dlh.cargo777 = 1;
  dlh.origin = IataCode("FRA");
  EXPECT_EQ(dlh.description(), "DLH,CLH A320.(C)");
  EXPECT_EQ(dlh.descriptionWithRegistration(), "DLH,CLH A320.(C) D-AIAB");
  EXPECT_EQ(dlh.toString(), "DLH4AB   D-AIAB       FRA->    DLH,CLH A320.(C)");
  EXPECT_EQ(aircraftOf("A20N").toString(), "SWR12   " + std::string(1 + 12 + 1 + 8 + 1, ' ') + "SWR     A20N    ");
}

}  // namespace
}  // namespace actest
