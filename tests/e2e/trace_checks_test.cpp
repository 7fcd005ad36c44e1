// The checks on short hand-written traces: each finds the fault it is named for, and only that.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

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

TEST(TraceChecks, TheWindowsCountsAreReadFromItsTexts) {
  struct Case {
    const char* name;
    std::string texts;
    std::optional<long> live, parkedLive, parkedStatic, maxPark;
  } cases[] = {
      {"all shown",
       "painted\t657\t71\t# live aircraft:\npainted\t785\t71\t 12\npainted\t167\t130\tpark live:   2\n"
       "painted\t440\t130\tstatic:   7\npainted\t505\t130\t (3)\npainted\t548\t130\tstatic fit: 1.5\n"
       "painted\t657\t130\tmax park:  60 (=30 %)\ncontrol\t12\tstatic: 99\n",
       12, 2, 7, 60},
      {"the live count on another line is not the label's", "painted\t657\t71\t# live aircraft:\npainted\t785\t90\t 12\n",
       std::nullopt, std::nullopt, std::nullopt, std::nullopt},
      {"no feed: no live count, parked still shown", "painted\t167\t130\tpark live:   0\n", std::nullopt, 0,
       std::nullopt, std::nullopt},
      {"cut and garbled lines", "painted\t785\npainted\tx\t71\tstatic: 3\nstatic: 4\npainted\t1\t2\tstatic: 1x\n",
       std::nullopt, std::nullopt, std::nullopt, std::nullopt},
      {"nothing", "", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    const WindowCounts counts = windowCountsOf(c.texts);
    EXPECT_EQ(counts.live, c.live) << c.name;
    EXPECT_EQ(counts.parkedLive, c.parkedLive) << c.name;
    EXPECT_EQ(counts.parkedStatic, c.parkedStatic) << c.name;
    EXPECT_EQ(counts.maxPark, c.maxPark) << c.name;
  }
}

TEST(TraceChecks, TheWindowsCountsAreTheObjectsJustBeforeTheOrderlyEnd) {
  const auto k = lf_knowledge();
  const double g = kGround + 8.0;
  // D-AIMA flies; HB-JDA (a taxi-out) stands still, live or a static namesake; S1 is static, and so
  // is object 1, whose record has no registration. S2 goes 10 s before the end, S3 comes 1 s before it.
  const auto trace = lf_trace({
      "0.00,create,1,User C172 Private,47.46,8.55,1433.0,90.0,1,",
      lf_event(0, "create", 2, "D-AIMA", 47.50, 8.55, 5000, 140, false),
      lf_event(0, "create", 3, "HB-JDA", 47.4600, 8.5500, g, 90, true),
      lf_event(0, "create", 4, "S1", 47.4610, 8.5500, g, 90, true),
      lf_event(0, "create", 5, "S2", 47.4620, 8.5500, g, 90, true),
      lf_event(10, "pose", 2, "D-AIMA", 47.49, 8.56, 4900, 140, false),
      lf_event(40, "remove", 5, "S2", 47.4620, 8.5500, g, 90, true),
      lf_event(49, "create", 6, "S3", 47.4630, 8.5500, g, 90, true),
      lf_event(50, "remove", 1, "User", 47.46, 8.55, 1433.0, 90, true),
      lf_event(50, "remove", 2, "D-AIMA", 47.49, 8.56, 4900, 140, false),
      lf_event(50, "remove", 3, "HB-JDA", 47.4600, 8.5500, g, 90, true),
      lf_event(50, "remove", 4, "S1", 47.4610, 8.5500, g, 90, true),
      lf_event(50, "remove", 6, "S3", 47.4630, 8.5500, g, 90, true),
  });
  struct Case {
    const char* name;
    WindowCounts shown;
    std::size_t complaints;
  } cases[] = {
      {"HB-JDA live, before S3 came", {1, 1, 2, 60}, 0},
      {"HB-JDA live, after S3 came", {2, 0, 3, 60}, 0},
      {"HB-JDA static", {1, 0, 4, 60}, 0},
      {"a live aircraft too many", {3, 0, 3, 60}, 1},
      {"S2 still counted", {2, 0, 4, 60}, 1},
      {"the static without registration left out", {1, 1, 1, 60}, 1},
      {"no parked counts shown: the live ones alone", {2, std::nullopt, std::nullopt, std::nullopt}, 0},
      {"nothing shown at all", {}, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(windowCountsDiffer(trace, k, c.shown).size(), c.complaints) << c.name;

  // Everything went at 50 s with a fault; at its shutdown later the program had nothing left.
  auto closedLater = k;
  closedLater.ownedAtShutdown = 0;
  EXPECT_EQ(windowCountsDiffer(trace, closedLater, {0, 0, 0, 60}).size(), 0u);
  EXPECT_EQ(windowCountsDiffer(trace, closedLater, {1, 1, 3, 60}).size(), 1u) << "objects the simulator lost";
}

TEST(TraceChecks, ADepartureLeavesItsStandWithinItsScheduledWindow) {
  auto k = lf_knowledge();
  k.delaySeconds = 30.0;
  k.feedToSimSeconds = 5.0;
  k.flights["HB-JDA"].pushbackAt = 20.0;  // due in the simulator at 55 s
  const auto& stand = lf_zurich().stands[0];
  k.flights["HB-JDA"].sent = {{0.0, stand.latitude, stand.longitude, 0.0}};
  const double g = kGround + 8.0;
  struct Case {
    const char* name;
    double created;
    double leaves;   // when it is 10 m off its stand; 0: never
    double removed;  // 0: at the orderly end at 120 s, with everything else
    std::size_t complaints;
    std::size_t judged;
  } cases[] = {
      {"on time", 30, 56, 0, 0, 1},
      {"a report's gap late", 30, 70, 0, 0, 1},
      {"a minute late", 30, 115, 0, 1, 1},
      {"never", 30, 0, 0, 1, 1},
      {"before its time", 30, 40, 0, 1, 1},
      {"taken away by a fault before its time", 30, 0, 60, 0, 0},
      {"created on its stand late, leaving in time", 50, 56, 0, 0, 1},
      {"created on its stand late, staying", 50, 0, 0, 1, 1},
      {"the run ends before it is late", 30, 0, 70, 0, 0},
  };
  // Created 100 m off its stand, it came moving: not judged however it goes.
  {
    std::string text = "t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground,tail\n";
    for (const std::string& line : {lf_event(50, "create", 7, "HB-JDA", stand.latitude + 0.0009, stand.longitude, g, 0, true),
                                    lf_event(100, "pose", 7, "HB-JDA", stand.latitude + 0.0009, stand.longitude, g, 0, true),
                                    lf_event(120, "remove", 7, "HB-JDA", stand.latitude + 0.0009, stand.longitude, g, 0, true)})
      text += line + "\n";
    std::size_t judged = 0;
    EXPECT_EQ(stuckAtTheGate(tracepicture::parseTrace(text, "test"), k, &judged).size(), 0u) << "created off its stand";
    EXPECT_EQ(judged, 0u);
  }
  // Left on time; a fault took it 14 m into its push and the object made again stays put to the end:
  // the departure was judged on the first one.
  {
    const auto off = [&](double metres) { return stand.latitude + metres / 111200.0; };
    std::string text = "t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground,tail\n";
    for (const std::string& line : {lf_event(30, "create", 7, "HB-JDA", off(0), stand.longitude, g, 0, true),
                                    lf_event(56, "pose", 7, "HB-JDA", off(10), stand.longitude, g, 0, true),
                                    lf_event(60, "remove", 7, "HB-JDA", off(14), stand.longitude, g, 0, true),
                                    lf_event(62, "create", 10, "HB-JDA", off(14), stand.longitude, g, 0, true),
                                    lf_event(120, "remove", 10, "HB-JDA", off(14), stand.longitude, g, 0, true)})
      text += line + "\n";
    std::size_t judged = 0;
    EXPECT_EQ(stuckAtTheGate(tracepicture::parseTrace(text, "test"), k, &judged).size(), 0u) << "made again mid-push";
    EXPECT_EQ(judged, 1u);
  }
  for (const Case& c : cases) {
    std::vector<std::string> lines{lf_event(c.created, "create", 7, "HB-JDA", stand.latitude, stand.longitude, g, 0, true),
                                   lf_event(0, "create", 8, "S1", 47.47, 8.55, g, 0, true),
                                   lf_event(0, "create", 9, "S2", 47.48, 8.55, g, 0, true)};
    for (double t = c.created + 1; t < 120 && (c.removed == 0 || t < c.removed); t += 1) {
      const double metres = c.leaves > 0 && t >= c.leaves ? 10.0 + (t - c.leaves) : 0.0;
      lines.push_back(lf_event(t, "pose", 7, "HB-JDA", stand.latitude + metres / 111200.0, stand.longitude, g, 0, true));
    }
    if (c.removed > 0) lines.push_back(lf_event(c.removed, "remove", 7, "HB-JDA", stand.latitude, stand.longitude, g, 0, true));
    for (int id : {7, 8, 9})
      if (id != 7 || c.removed == 0) lines.push_back(lf_event(120, "remove", id, id == 7 ? "HB-JDA" : id == 8 ? "S1" : "S2", 47.47, 8.55, g, 0, true));
    std::string text = "t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground,tail\n";
    std::stable_sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
      return std::stod(a) < std::stod(b);
    });
    for (const auto& line : lines) text += line + "\n";
    std::size_t judged = 0;
    EXPECT_EQ(stuckAtTheGate(tracepicture::parseTrace(text, "test"), k, &judged).size(), c.complaints) << c.name;
    EXPECT_EQ(judged, c.judged) << c.name;
  }
}

// A program slowed down, or back late from a restart, shows the feed later than its delay says:
// where its airborne traffic stands in the feed is what a push-back is judged by.
TEST(TraceChecks, APushBackIsDueWhenTheProgramShowsItsFeedTime) {
  const auto& stand = lf_zurich().stands[0];
  const double g = kGround + 8.0;
  const auto north = [](double feedSeconds) { return 47.30 + 0.0007 * feedSeconds; };  // about 150 kt
  struct Case {
    const char* name;
    double lagSeconds;     // the simulator shows the feed this much later (the clocks' offset and delay: 35)
    double restartFrom;    // feed times from here ...
    double restartTo;      // ... to here are never shown; both 0: none skipped
    double showsUntil;     // the last feed time shown
    double leaves;         // the departure is 10 m off its stand at this simulator time
    std::optional<double> due;  // the push-back at feed 20 s shown then; none: never shown
    std::size_t complaints;
  } cases[] = {
      {"at the planned pace, on time", 35, 0, 0, 90, 56, 55, 0},
      {"slowed to 60 s, leaving with the rest", 60, 0, 0, 90, 82, 80, 0},
      {"slowed to 60 s, leaving early by the scenario's clock", 60, 0, 0, 90, 56, 80, 1},
      {"slowed to 60 s, late by its own pace too", 60, 0, 0, 90, 110, 80, 1},
      {"back from a restart at feed 40, leaving then", 35, 12, 40, 90, 76, 75, 0},
      {"the program never got to the push-back", 60, 0, 0, 15, 0, std::nullopt, 0},
  };
  for (const Case& c : cases) {
    auto k = lf_knowledge();
    k.feedToSimSeconds = 5.0;
    k.flights["HB-JDA"].pushbackAt = 20.0;
    k.flights["HB-JDA"].sent = {{0.0, stand.latitude, stand.longitude, 0.0}};
    FlightFact& flying = k.flights["D-AIMA"];
    for (double f = 0; f <= 100; f += 1) flying.sent.push_back({f, north(f), 8.30, 2000.0});
    std::vector<std::string> lines{lf_event(1, "create", 7, "HB-JDA", stand.latitude, stand.longitude, g, 0, true),
                                   lf_event(1, "create", 8, "D-AIMA", north(0), 8.30, 2000, 0, false)};
    for (double t = 2; t < 120; t += 1) {
      const double metres = c.leaves > 0 && t >= c.leaves ? 10.0 + (t - c.leaves) : 0.0;
      lines.push_back(lf_event(t, "pose", 7, "HB-JDA", stand.latitude + metres / 111200.0, stand.longitude, g, 0, true));
      const double shown = t - c.lagSeconds;
      if (shown >= 0 && shown <= c.showsUntil && !(shown >= c.restartFrom && shown < c.restartTo))
        lines.push_back(lf_event(t, "pose", 8, "D-AIMA", north(shown), 8.30 + 0.0004, 2000, 0, false));
    }
    for (int id : {7, 8}) lines.push_back(lf_event(120, "remove", id, id == 7 ? "HB-JDA" : "D-AIMA", 47.47, 8.55, g, 0, true));
    std::string text = "t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground,tail\n";
    for (const auto& line : lines) text += line + "\n";
    const auto trace = tracepicture::parseTrace(text, "test");
    const std::optional<double> due = feedProgress(trace, k).simTimeOf(20.0);
    EXPECT_EQ(due.has_value(), c.due.has_value()) << c.name;
    if (due && c.due) {
      EXPECT_NEAR(*due, *c.due, 1.0) << c.name;
    }
    std::size_t judged = 0;
    EXPECT_EQ(stuckAtTheGate(trace, k, &judged).size(), c.complaints) << c.name;
    EXPECT_EQ(judged, c.due ? 1u : 0u) << c.name;
  }
}

TEST(TraceChecks, AParkedLiveAircraftStaysWhileTheRulesKeepItAndGoesWhenThey) {
  const auto& stand = lf_zurich().stands[0];
  const double g = kGround + 8.0;
  constexpr double kMinute = 60.0;
  struct Case {
    const char* name;
    const char* category;
    double lastReport;  // feed clock; the simulator's is 35 s ahead
    double removed;     // removed at its stand at this time
    bool wholesale;     // with everything else
    std::optional<long> maxPark;
    std::size_t complaints;
  } cases[] = {
      {"gone with everything at the end", "A3", 0, 30 * kMinute, true, 5, 0},
      {"unreported past 90 minutes and a parking interval", "A3", 0, 115 * kMinute, true, 5, 1},
      {"a heavy unreported for 115 minutes", "A5", 0, 115 * kMinute, true, 5, 0},
      {"a heavy unreported past 180 minutes and a parking interval", "A5", 0, 205 * kMinute, true, 5, 1},
      {"reported at its stand until 100 minutes", "A3", 100 * kMinute, 200 * kMinute, true, 5, 0},
      // Parked then: it and the two static aircraft.
      {"removed alone while three parked are wanted", "A3", 0, 10 * kMinute, false, 3, 1},
      {"removed alone with more parked than wanted", "A3", 0, 10 * kMinute, false, 2, 0},
      {"removed alone, no wanted number known", "A3", 0, 10 * kMinute, false, std::nullopt, 1},
  };
  for (const Case& c : cases) {
    auto k = lf_knowledge();
    k.feedToSimSeconds = 5.0;
    FlightFact& fact = k.flights["D-AIMA"];
    fact.category = c.category;
    // It taxied in and stopped on the stand at 60 s; the feed reported it there.
    fact.sent = {{0.0, stand.latitude - 0.001, stand.longitude, 0.0}, {20.0, stand.latitude, stand.longitude, 0.0},
                 {c.lastReport, stand.latitude, stand.longitude, 0.0}};
    std::vector<std::string> lines{
        lf_event(0, "create", 1, "D-AIMA", stand.latitude - 0.001, stand.longitude, g, 0, true),
        lf_event(0, "create", 2, "S1", 47.47, 8.55, g, 0, true),
        lf_event(0, "create", 3, "S2", 47.48, 8.55, g, 0, true),
        lf_event(30, "pose", 1, "D-AIMA", stand.latitude - 0.0005, stand.longitude, g, 0, true)};
    for (double t = 60; t < c.removed; t += kMinute)
      lines.push_back(lf_event(t, "pose", 1, "D-AIMA", stand.latitude, stand.longitude, g, 0, true));
    lines.push_back(lf_event(c.removed, "remove", 1, "D-AIMA", stand.latitude, stand.longitude, g, 0, true));
    const double othersGo = c.wholesale ? c.removed : c.removed + 100;
    lines.push_back(lf_event(othersGo, "remove", 2, "S1", 47.47, 8.55, g, 0, true));
    lines.push_back(lf_event(othersGo, "remove", 3, "S2", 47.48, 8.55, g, 0, true));
    std::string text = "t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground,tail\n";
    for (const auto& line : lines) text += line + "\n";
    EXPECT_EQ(parkedLivePastTheRules(tracepicture::parseTrace(text, "test"), k, c.maxPark).size(), c.complaints)
        << c.name;
  }
}

}  // namespace
