// A known flight changes its route, callsign or registration: confirmed route changes, ghosts,
// and respawns only when the simulator and GUID_CHANGES call for them.
#include "traffic/change_detection.h"

#include "config/sim_choice.h"
#include "refdata/registration.h"
#include "tests/traffic/traffic_fixture.h"

namespace {
using namespace traffic_test;

class ChangeDetectionTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    gf_setAirportsNeighbours({}, [] {  // a park airport the routes never touch
      Airport park;
      park.code = IcaoCode("EDDF"), park.iata = IataCode("FRA");
      return park;
    });
  }
  void TearDown() override {
    gf_publishSimChoice(SimChoice{});
    g_dbaseRecords.clear();
    EngineTest::TearDown();
  }
  static void configure(std::int32_t sim, bool guidChanges) {
    gf_publishSimChoice(SimChoice{sim, 0});
    gf_changeParameterSnapshot([guidChanges](ParameterSnapshot& s) { s.guidChanges = guidChanges; });
  }
  static LiveAc& flying(std::uint32_t state = FlightPhase::flying) {
    LiveAc& ac = addLive(Rec(0x4003, "TRA123").air(8000.0, 250.0).registration("PH-AAA"), SimStatus::active, state);
    ac.origin = IataCode("AMS"), ac.destination = IataCode("LHR");
    return ac;
  }
  static TrafficRecord route(const char* origin, const char* destination) {
    TrafficRecord r = Rec(0x4003, "TRA123").air(8000.0, 250.0).registration("PH-AAA");
    r.origin = IataCode(origin), r.destination = IataCode(destination);
    return r;
  }
};

TEST_F(ChangeDetectionTest, AReversedRouteCountsOnTheThirdRecordAndRespawnsOnlyWhenAsked) {
  struct Case {
    const char* what;
    std::int32_t sim;
    bool guidChanges, respawns;
  };
  const Case cases[] = {{"MSFS 2020, GUID_CHANGES on", 1, true, true},
                        {"MSFS 2020, GUID_CHANGES off", 1, false, false},
                        {"MSFS 2024", 2, true, false}};
  for (const Case& c : cases) {
    reset();
    configure(c.sim, c.guidChanges);
    LiveAc& ac = flying();
    TrafficRecord reversed = route("LHR", "AMS"), old = route("AMS", "LHR");
    // The old pair in between starts the count again.
    for (TrafficRecord* r : {&reversed, &reversed, &old, &reversed, &reversed})
      EXPECT_TRUE(lf_checkKnownAcChanges(ac, *r)) << c.what;
    EXPECT_EQ(ac.origin, IataCode("AMS")) << c.what;
    EXPECT_EQ(lf_checkKnownAcChanges(ac, reversed), !c.respawns) << c.what;
    EXPECT_EQ(ac.simState, c.respawns ? SimStatus::liveryrespawn : SimStatus::active) << c.what;
    EXPECT_EQ(ac.origin, IataCode("LHR")) << c.what;
    EXPECT_EQ(logText().find("orig-dest changed") != std::string::npos, c.sim == 2) << c.what;
  }
}

TEST_F(ChangeDetectionTest, AGhostRecordIsDroppedWhileThePlainCallsignIsShown) {
  LiveAc& ac = flying();
  addLive(Rec(0x4004, "ABC123"));
  TrafficRecord ghost = route("AMS", "LHR");
  ghost.callsign = "ABC123_";
  EXPECT_FALSE(lf_checkKnownAcChanges(g_liveAcs[0], ghost));
  EXPECT_EQ(ac.callsign, "TRA123");
}

TEST_F(ChangeDetectionTest, ARegistrationOfAnotherTypeRespawnsOnlyWhenAsked) {
  static constexpr std::string_view kTitle = "Some livery";
  struct Case {
    const char* what;
    std::int32_t sim;
    bool guidChanges;
    std::uint32_t state;
    bool applied;
  };
  const Case cases[] = {{"MSFS 2020, GUID_CHANGES off: taken over, livery kept", 1, false, FlightPhase::flying, true},
                        {"MSFS 2020, GUID_CHANGES on: respawns", 1, true, FlightPhase::flying, false},
                        {"parked, MSFS 2024: never here", 2, true, FlightPhase::parked, true}};
  for (const Case& c : cases) {
    reset();
    configure(c.sim, c.guidChanges);
    const ModelId e190 = gf_internModelName("E190");
    g_dbaseRecords = {DbaseRecord{"PH-EZA", DbaseEntry{gf_internAirlineName("TRA"), 0, e190, 0, 1}}};
    LiveAc& ac = flying(c.state);
    ac.matchedTitle = kTitle;
    g_liveryChoices[ac.hexid] = kTitle;
    TrafficRecord record = route("AMS", "LHR");
    record.registration = "PH-EZA";
    EXPECT_EQ(lf_checkKnownAcChanges(ac, record), c.applied) << c.what;
    EXPECT_EQ(ac.state, c.applied ? c.state : FlightPhase::birth) << c.what;
    EXPECT_EQ(ac.matchedTitle, c.applied ? kTitle : "") << c.what;
    EXPECT_EQ(g_liveryChoices.contains(ac.hexid), c.applied) << c.what;
    EXPECT_EQ(ac.simState, c.applied ? SimStatus::active : SimStatus::liveryrespawn) << c.what;
    if (c.state == FlightPhase::flying) {
      EXPECT_EQ(ac.modelId, e190) << c.what;
    }
  }
}

}  // namespace
