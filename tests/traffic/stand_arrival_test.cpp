// Arrival at a stand: parked with its actions scheduled, another try, or the stand given up.
#include "traffic/stand_arrival.h"

#include "config/random.h"
#include "tests/traffic/traffic_fixture.h"

namespace {

using namespace traffic_test;

constexpr double kDeg = geo::kDegToRad;

class StandArrival : public EngineTest {
 protected:
  // Stand B7 at EHAM heading north; a B738 in "parking" `offM` south of it, `headingDeg` off.
  LiveAc& arriving(double offM, double headingDeg) {
    g_stands.assign(1, Stand("B7", {}, kEham, 0.0, 25.0, 10, false, false, false));
    g_stands[0].id = 1;
    LiveAc& a = addLive(Rec(0x4840D6).at(offset(kEham, -offM)).ground(0.0), SimStatus::active, FlightPhase::parking);
    a.standId = 1;
    a.standPos = kEham;
    a.heading = gf_normalizeAngle(headingDeg * kDeg);
    a.stream.front().time = 5000;
    return a;
  }
  void TearDown() override {
    g_stands.clear();
    gf_setRandomEnabled(true);
    EngineTest::TearDown();
  }
};

TEST_F(StandArrival, ParksTriesAgainOrGivesTheStandUp) {
  struct Case {
    const char* what;
    double offM, headingDeg;
    std::int32_t otherUse;  // another live aircraft's use of the stand
    bool answer;
    std::uint32_t state;
    std::int32_t standId;
  } cases[] = {
      {"parks", 17.0, 39.0, 0, true, FlightPhase::parked, 1},
      {"20 m off: gives it up", 20.0, 0.0, 0, true, FlightPhase::taxi, 0},
      {"45 degrees off: another try", 1.0, 45.0, 0, false, FlightPhase::parking, 1},
      {"parked on by another", 1.0, 0.0, 2, false, FlightPhase::parking, 1},
      {"reserved by another", 1.0, 0.0, 1, false, FlightPhase::parking, 1},
  };
  for (const Case& c : cases) {
    reset();
    hooks.standUseByOtherLiveAc = [&c](std::int32_t, std::uint32_t) { return c.otherUse; };
    install();
    LiveAc& a = arriving(c.offM, c.headingDeg);
    EXPECT_EQ(gf_arrivedAtStand(a), c.answer) << c.what;
    EXPECT_EQ(a.state, c.state) << c.what;
    EXPECT_EQ(a.standId, c.standId) << c.what;
    EXPECT_EQ(a.extensionCount, c.answer ? 0 : 1) << c.what;
    EXPECT_EQ(g_parkedAcActions.size(), c.state == FlightPhase::parked ? 3u : 0u) << c.what << ": never parked twice";
  }
}

// "{}" of an aircraft names the flight: callsign, registration, route, then its identity.
TEST_F(StandArrival, ATowedAircraftThatParksIsNamedInTheLog) {
  LiveAc& a = arriving(1.0, 0.0);
  a.towed = true;
  a.registration = "PH-BXA";
  a.origin = IataCode("LHR");
  a.destination = IataCode("AMS");
  ASSERT_TRUE(gf_arrivedAtStand(a));
  const std::string named = fmt::format("KLM1234  PH-BXA       LHR->AMS {}", a.description());
  EXPECT_NE(logText().find("          towed aircraft " + named + " parks\n"), std::string::npos) << logText();
  // The same text for a static aircraft and for the identity alone; a bare record head keeps its own.
  StaticAc parked;
  static_cast<AcIdentity&>(parked) = a;
  EXPECT_EQ(fmt::format("{}", parked), named);
  EXPECT_EQ(fmt::format("{}", static_cast<const AcIdentity&>(a)), named);
  EXPECT_EQ(fmt::format("{}", static_cast<const FeedRecordHead&>(a)), a.description());
  a.origin = a.destination = IataCode();
  EXPECT_EQ(fmt::format("{}", a), fmt::format("KLM1234  PH-BXA                {}", a.description()));
}

TEST_F(StandArrival, WithRandomOffTheActionsCome10And15And30SecondsLater) {
  gf_setRandomEnabled(false);
  std::vector<std::int32_t> enforced;
  hooks.enforceMaxParked = [&enforced](std::int32_t extra) { enforced.push_back(extra); };
  install();
  LiveAc& a = arriving(1.0, 0.0);
  ASSERT_TRUE(gf_arrivedAtStand(a));
  ASSERT_EQ(g_parkedAcActions.size(), 3u);
  // Latest first: the earliest is taken from the back.
  EXPECT_EQ(g_parkedAcActions[0].due, 8000);
  EXPECT_EQ(g_parkedAcActions[0].action, 2u);
  EXPECT_EQ(g_parkedAcActions[1].due, 6500);
  EXPECT_EQ(g_parkedAcActions[2].due, 6000);
  EXPECT_EQ(g_parkedAcActions[2].action, 0u);
  EXPECT_TRUE(a.stream.front().repeated);
  EXPECT_EQ(enforced, std::vector<std::int32_t>{0});
  EXPECT_NE(logText().find("B7            : KLM1234  arrived at stand"), std::string::npos);
}

}  // namespace
