// The checks on short hand-written traces: each finds the fault it is named for, and only that.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/trace_checks.h"
#include "tests/support/test_support.h"

namespace {

using namespace e2e;

const standin::sim::FacilityLayout& lf_zurich() {
  static const auto layout =
      standin::sim::readFacilityLayout(testing_support::sourceDataFolder() / "sim" / "facilities" / "LSZH.json");
  return layout;
}

const double kGround = lf_zurich().elevationMetres * standin::sim::kFeetPerMetre;

Knowledge lf_knowledge() {
  Knowledge knowledge;
  knowledge.airports = {lf_zurich()};
  knowledge.flights["HB-JDA"] = FlightFact{.kind = Kind::TaxiOut, .registration = "HB-JDA", .type = "A20N"};
  knowledge.flights["D-AIMA"] = FlightFact{.kind = Kind::Arrival, .registration = "D-AIMA", .type = "A388",
                                           .category = "A5", .topSpeedKt = 160.0, .topTurnDegPerS = 1.0};
  return knowledge;
}

// "t,event,id,tail,lat,lon,alt,heading,ground" lines to a trace; the title is the tail's.
tracepicture::Trace lf_trace(std::initializer_list<std::string> lines) {
  std::string text = "t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground,tail\n";
  for (const std::string& line : lines) {
    text += line + "\n";
  }
  return tracepicture::parseTrace(text, "test");
}

std::string lf_event(double t, const char* event, int id, const char* tail, double lat, double lon, double alt,
                     double heading, bool ground) {
  return fmt::format("{:.2f},{},{},Title {},{:.6f},{:.6f},{:.1f},{:.1f},{},{}", t, event, id, tail, lat, lon, alt,
                     heading, ground ? 1 : 0, tail);
}

TEST(TraceChecks, FloatingOrSinkingFindsAircraftOffTheirGearAndUnderGround) {
  const double onGear = kGround + 8.0;
  struct Case {
    const char* name;
    const char* tail;
    double alt;
    bool ground;
    std::size_t complaints;
  } cases[] = {
      {"on its gear", "HB-JDA", onGear, true, 0},
      {"on its gear within a foot", "HB-JDA", onGear + 0.9, true, 0},
      {"sunk into the ground", "HB-JDA", kGround + 2.0, true, 1},
      {"at the feed's 0 ft", "HB-JDA", 0.0, true, 1},
      {"a taxiing flight in the air", "HB-JDA", onGear + 30.0, false, 1},
      {"an arrival on short final", "D-AIMA", onGear + 30.0, false, 0},
      {"an arrival under the ground", "D-AIMA", kGround - 20.0, false, 1},
  };
  for (const Case& c : cases) {
    const auto trace = lf_trace({lf_event(0, "create", 1, c.tail, 47.46, 8.55, c.alt, 90, c.ground),
                                 lf_event(1, "pose", 1, c.tail, 47.46, 8.55, c.alt, 90, c.ground),
                                 lf_event(2, "pose", 1, c.tail, 47.46, 8.55, c.alt, 90, c.ground)});
    EXPECT_EQ(floatingOrSinking(trace, lf_knowledge()).size(), c.complaints) << c.name;
  }
}

TEST(TraceChecks, GhostsAreTwoFlyingObjectsOfOneFlightOrTwoStandingAircraftTooClose) {
  const auto k = lf_knowledge();
  // Two objects of D-AIMA in the air together; after the first is removed a third is fine.
  const auto twins = lf_trace({lf_event(0, "create", 1, "D-AIMA", 47.50, 8.55, 5000, 140, false),
                               lf_event(1, "pose", 1, "D-AIMA", 47.49, 8.56, 4900, 140, false),
                               lf_event(1.5, "create", 2, "D-AIMA", 47.49, 8.56, 4900, 140, false),
                               lf_event(2, "pose", 1, "D-AIMA", 47.48, 8.57, 4800, 140, false),
                               lf_event(2, "pose", 2, "D-AIMA", 47.48, 8.57, 4800, 140, false),
                               lf_event(2.5, "remove", 1, "D-AIMA", 47.48, 8.57, 4800, 140, false),
                               lf_event(2.5, "remove", 2, "D-AIMA", 47.48, 8.57, 4800, 140, false),
                               lf_event(3, "create", 3, "D-AIMA", 47.47, 8.58, 4700, 140, false),
                               lf_event(4, "pose", 3, "D-AIMA", 47.46, 8.59, 4600, 140, false)});
  EXPECT_EQ(ghostsAndDuplicates(twins, k).size(), 1u);

  // A parked aircraft bearing a flight's registration is no second flight; parked 6 m from another it is.
  const double g = kGround + 8.0;
  auto standing = [&](double apartLon) {
    return lf_trace({lf_event(0, "create", 1, "D-AIMA", 47.50, 8.55, 5000, 140, false),
                     lf_event(0, "create", 2, "D-AIMA", 47.4600, 8.5500, g, 90, true),
                     lf_event(0, "create", 3, "X", 47.4600, 8.5500 + apartLon, g, 90, true),
                     lf_event(1, "pose", 1, "D-AIMA", 47.49, 8.56, 4900, 140, false),
                     lf_event(1, "pose", 2, "D-AIMA", 47.4600, 8.5500, g, 90, true),
                     lf_event(1, "pose", 3, "X", 47.4600, 8.5500 + apartLon, g, 90, true),
                     lf_event(2, "pose", 1, "D-AIMA", 47.48, 8.57, 4800, 140, false),
                     lf_event(2, "pose", 2, "D-AIMA", 47.4600, 8.5500, g, 90, true),
                     lf_event(2, "pose", 3, "X", 47.4600, 8.5500 + apartLon, g, 90, true)});
  };
  EXPECT_EQ(ghostsAndDuplicates(standing(0.0008), k).size(), 0u) << "60 m apart";
  EXPECT_EQ(ghostsAndDuplicates(standing(0.00008), k).size(), 1u) << "6 m apart";
  EXPECT_EQ(ghostsAndDuplicates(standing(0.0004), k).size(), 0u) << "30 m from an A380 of a flight: outside its body";
}

TEST(TraceChecks, TeleportingIsAStepTooFarOrATurnTooQuick) {
  const auto k = lf_knowledge();
  struct Case {
    const char* name;
    double lonStep;  // per second, at 47.5 N a thousandth of a degree is 75 m
    double headingStep;
    bool ground;
    std::size_t complaints;
  } cases[] = {
      {"an arrival at 146 kt", 0.001, 0.5, false, 0},
      {"an arrival at 1460 kt", 0.01, 0.5, false, 1},
      {"a rate-one turn", 0.001, 3.0, false, 0},
      {"a half turn in a second in the air", 0.001, 90.0, false, 1},
      {"a tight turn on the ground", 0.0001, 30.0, true, 0},
      {"a taxi at 15 kt", 0.0001, 0.0, true, 0},
      {"a jump of 75 m on the ground", 0.001, 0.0, true, 1},
  };
  for (const Case& c : cases) {
    const double alt = c.ground ? kGround + 8.0 : 5000.0;
    const auto trace = lf_trace({lf_event(0, "create", 1, "D-AIMA", 47.5, 8.50, alt, 90, c.ground),
                                 lf_event(1, "pose", 1, "D-AIMA", 47.5, 8.50 + c.lonStep, alt, 90 + c.headingStep,
                                          c.ground),
                                 lf_event(2, "pose", 1, "D-AIMA", 47.5, 8.50 + 2 * c.lonStep, alt,
                                          90 + 2 * c.headingStep, c.ground)});
    EXPECT_EQ(teleporting(trace, k).size(), c.complaints) << c.name;
  }
}

TEST(TraceChecks, ParkedAircraftStandOnStandsOfTheirOwnAndNothingStaysBehind) {
  const auto k = lf_knowledge();
  const auto& stands = lf_zurich().stands;
  ASSERT_GE(stands.size(), 2u);
  const auto& a = stands[0];
  const auto& b = stands[1];
  const double g = kGround + 8.0;
  const auto good = lf_trace({lf_event(0, "create", 1, "S1", a.latitude, a.longitude, g, 0, true),
                              lf_event(0, "create", 2, "S2", b.latitude, b.longitude, g, 0, true),
                              lf_event(5, "pose", 1, "S1", a.latitude, a.longitude, g, 0, true),
                              lf_event(9, "remove", 1, "S1", a.latitude, a.longitude, g, 0, true),
                              lf_event(9, "remove", 2, "S2", b.latitude, b.longitude, g, 0, true)});
  EXPECT_EQ(parkedAircraft(good, k, 0.0).size(), 0u);
  EXPECT_EQ(leftBehind(good).size(), 0u);
  EXPECT_EQ(parkedAircraft(good, k, 100.0).size(), 1u) << "two aircraft do not fill the airport";

  const auto bad = lf_trace({lf_event(0, "create", 1, "S1", a.latitude, a.longitude, g, 0, true),
                             lf_event(0, "create", 2, "S2", a.latitude, a.longitude, g, 0, true),
                             lf_event(0, "create", 3, "S3", a.latitude + 0.01, a.longitude, g, 0, true)});
  EXPECT_EQ(parkedAircraft(bad, k, 0.0).size(), 2u) << "a taken stand, and no stand at all";
  EXPECT_EQ(leftBehind(bad).size(), 3u);
}

TEST(TraceChecks, WrongLiveryAndWholesaleRemovals) {
  const auto k = lf_knowledge();
  const auto trace = lf_trace({lf_event(0, "create", 1, "D-AIMA", 47.5, 8.5, 5000, 90, false),
                               lf_event(0, "create", 2, "S1", 47.46, 8.55, kGround + 8, 0, true),
                               lf_event(0, "create", 3, "S2", 47.46, 8.56, kGround + 8, 0, true),
                               lf_event(3, "remove", 1, "D-AIMA", 47.5, 8.5, 5000, 90, false),
                               lf_event(3, "remove", 2, "S1", 47.46, 8.55, kGround + 8, 0, true),
                               lf_event(3, "remove", 3, "S2", 47.46, 8.56, kGround + 8, 0, true)});
  const std::set<std::string> installed{"Title D-AIMA", "Title S1"};
  EXPECT_EQ(wrongLivery(trace, k, {{"D-AIMA", "Title D-AIMA"}}, installed).size(), 1u) << "S2 is not installed";
  EXPECT_EQ(wrongLivery(trace, k, {{"D-AIMA", "Other"}}, installed).size(), 2u);
  EXPECT_EQ(wholesaleRemovals(trace), std::vector<double>{3.0});
}

}  // namespace
