// The checks on short hand-written traces: each finds the fault it is named for, and only that.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
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
  knowledge.flights["HB-CXA"] = FlightFact{.kind = Kind::Arrival, .registration = "HB-CXA", .type = "C172",
                                           .category = "A1", .topSpeedKt = 110.0, .topTurnDegPerS = 3.0};
  for (const char* tail : {"HB-JXA", "HB-JXB", "HB-JXC"})
    knowledge.flights[tail] = FlightFact{.kind = Kind::Overflight, .registration = tail, .type = "A320"};
  return knowledge;
}

// The trace with three airliners cruising steadily far away from 5 s before its first event to its
// last: what tells the machine's pace second by second.
tracepicture::Trace lf_withFlyers(tracepicture::Trace trace) {
  const double from = std::floor(trace.events.front().t) - 5.0;
  const double to = trace.events.back().t;
  int n = 0;
  for (const char* tail : {"HB-JXA", "HB-JXB", "HB-JXC"}) {
    ++n;
    for (double t = from; t <= to; t += 1.0) {
      tracepicture::TraceEvent e;
      e.t = t;
      e.event = t == from ? "create" : "pose";
      e.objectId = 900 + n;
      e.title = tail;
      e.tailNumber = tail;
      e.latitude = 46.0 + 0.1 * n;
      e.longitude = 7.0 + 0.0035 * (t - from);  // 510 kt east
      e.altitude = 35000.0;
      e.heading = 90.0;
      e.verticalSpeed = 0.0;
      trace.events.push_back(e);
    }
  }
  std::stable_sort(trace.events.begin(), trace.events.end(),
                   [](const tracepicture::TraceEvent& a, const tracepicture::TraceEvent& b) { return a.t < b.t; });
  return trace;
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
    double pitch = 0.0;  // nose up
  } cases[] = {
      {"on its gear", "HB-JDA", onGear, true, 0},
      {"on its gear within a foot", "HB-JDA", onGear + 0.9, true, 0},
      {"rotating, a foot and a half up", "D-AIMA", onGear + 1.6, true, 0, 4.3},
      {"level, a foot and a half up", "D-AIMA", onGear + 1.6, true, 1},
      {"nose up, three feet up", "D-AIMA", onGear + 3.0, true, 1, 4.3},
      {"sunk into the ground", "HB-JDA", kGround + 2.0, true, 1},
      {"at the feed's 0 ft", "HB-JDA", 0.0, true, 1},
      {"a taxiing flight in the air", "HB-JDA", onGear + 30.0, false, 1},
      {"an arrival on short final", "D-AIMA", onGear + 30.0, false, 0},
      {"an arrival under the ground", "D-AIMA", kGround - 20.0, false, 1},
  };
  for (const Case& c : cases) {
    std::string text = "t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground,tail,pitch_deg,bank_deg,vs_fpm,gs_kt\n";
    for (int t = 0; t < 3; ++t)
      text += lf_event(t, t == 0 ? "create" : "pose", 1, c.tail, 47.46, 8.55, c.alt, 90, c.ground) +
              fmt::format(",{:.1f},0.0,0,0.0\n", c.pitch);
    EXPECT_EQ(floatingOrSinking(tracepicture::parseTrace(text, "test"), lf_knowledge()).size(), c.complaints) << c.name;
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

// After a fault took everything, the first static placed marks the parking adjustment; a hold-up
// there is judged only when a live flight moves on across it.
TEST(TraceChecks, TheAdjustmentsPlacementAndTheTrafficMovingAcrossIt) {
  const auto k = lf_knowledge();
  const double g = kGround + 8.0;
  std::vector<std::string> lines{lf_event(0, "create", 1, "S1", 47.46, 8.55, g, 0, true),
                                 lf_event(0, "create", 2, "HB-JDA", 47.45, 8.55, g, 0, true),
                                 lf_event(0, "create", 3, "D-AIMA", 47.5, 8.5, 5000, 90, false)};
  // The taxi-out stands until 20 s, then rolls; the arrival flies on until it goes at 24 s.
  for (int t = 1; t <= 30; ++t) {
    const double rolled = t > 20 ? 0.0001 * (t - 20) : 0.0;
    lines.push_back(lf_event(t, "pose", 2, "HB-JDA", 47.45, 8.55 + rolled, g, 90, true));
    if (t < 24) lines.push_back(lf_event(t, "pose", 3, "D-AIMA", 47.5, 8.5 + 0.001 * t, 5000, 90, false));
    if (t == 24) lines.push_back(lf_event(t, "remove", 3, "D-AIMA", 47.5, 8.5 + 0.001 * t, 5000, 90, false));
    if (t == 12) lines.push_back(lf_event(t, "create", 4, "HB-JDA", 47.45, 8.56, g, 0, true));  // a live one's twin
    if (t == 15) lines.push_back(lf_event(t, "create", 5, "S2", 47.46, 8.56, g, 0, true));
  }
  tracepicture::Trace trace;
  {
    std::string text = "t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground,tail\n";
    std::vector<std::pair<double, std::string>> sorted;
    for (const std::string& line : lines) sorted.emplace_back(std::stod(line), line);
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [t, line] : sorted) text += line + "\n";
    trace = tracepicture::parseTrace(text, "test");
  }
  EXPECT_EQ(firstStaticPlacement(trace, k, 0.0), std::optional<double>{15.0}) << "S1 came before, HB-JDA is live";
  EXPECT_EQ(firstStaticPlacement(trace, k, 15.0), std::nullopt);
  struct Case {
    double t, before, after;
    std::size_t moving;
  } cases[] = {
      {15.0, 5.0, 3.0, 1},  // the arrival; the taxi-out still stands
      {19.0, 5.0, 3.0, 2},  // both: the taxi-out rolls by 22 s
      {21.0, 5.0, 3.0, 1},  // the arrival has gone by 24 s
      {2.0, 5.0, 3.0, 0},   // nothing posed 5 s before
      {28.0, 2.0, 3.0, 0},  // nothing posed 3 s after
  };
  for (const Case& c : cases)
    EXPECT_EQ(movingAcross(trace, k, c.t, c.before, c.after), c.moving) << c.t << " -" << c.before << " +" << c.after;
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

// The program's shutdown removes what it owns at once; a static aircraft whose creation was on
// its way goes a moment later. A taxi-in rolling onto its stand then went with everything else,
// not alone while fewer parked than wanted stood there.
TEST(TraceChecks, TheShutdownIsOneRemovalOfEverythingThoughACreationOnItsWayGoesAMomentLater) {
  const auto& stand = lf_zurich().stands[0];
  const double g = kGround + 8.0;
  struct Case {
    const char* name;
    std::optional<double> lateCreate;  // a static created then, removed at 134.07
    double othersGo;                   // S1 and the flight in the air
    std::vector<double> wholesale;
    std::size_t complaints;
  } cases[] = {
      {"everything at once", std::nullopt, 134.0, {134.0}, 0},
      {"a creation on its way, created before the others go", 133.95, 134.0, {134.0}, 0},
      {"a creation on its way, created after the others went", 134.03, 134.0, {134.0}, 0},
      {"the taxi-in removed alone before the end", std::nullopt, 136.0, {}, 1},
  };
  for (const Case& c : cases) {
    auto k = lf_knowledge();
    std::vector<std::string> lines{lf_event(100, "create", 1, "D-AIMA", stand.latitude - 0.0004, stand.longitude, g, 0, true),
                                   lf_event(100, "create", 2, "S1", 47.47, 8.55, g, 0, true),
                                   lf_event(100, "create", 3, "HB-JDA", 47.5, 8.5, 5000, 90, false)};
    // Rolling onto the stand at 2 kt, a metre a second: 4 m short of it when the end comes.
    for (double t = 101; t <= 134; t += 1) {
      const double left = std::max(4.0, 38.0 - (t - 100));
      lines.push_back(lf_event(t, "pose", 1, "D-AIMA", stand.latitude - left / 111200.0, stand.longitude, g, 0, true));
      if (t < c.othersGo) lines.push_back(lf_event(t, "pose", 3, "HB-JDA", 47.5, 8.5 + 0.001 * (t - 100), 5000, 90, false));
    }
    if (c.lateCreate && *c.lateCreate < c.othersGo) lines.push_back(lf_event(*c.lateCreate, "create", 4, "S2", 47.48, 8.55, g, 0, true));
    lines.push_back(lf_event(134.0, "remove", 1, "D-AIMA", stand.latitude - 4.0 / 111200.0, stand.longitude, g, 0, true));
    for (int id : {2, 3})
      lines.push_back(lf_event(c.othersGo, "remove", id, id == 2 ? "S1" : "HB-JDA", 47.47, 8.55, g, 0, id == 2));
    if (c.lateCreate && *c.lateCreate >= c.othersGo) lines.push_back(lf_event(*c.lateCreate, "create", 4, "S2", 47.48, 8.55, g, 0, true));
    if (c.lateCreate) lines.push_back(lf_event(134.07, "remove", 4, "S2", 47.48, 8.55, g, 0, true));
    std::string text = "t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground,tail\n";
    for (const auto& line : lines) text += line + "\n";
    const auto trace = tracepicture::parseTrace(text, "test");
    EXPECT_EQ(wholesaleRemovals(trace), c.wholesale) << c.name;
    EXPECT_EQ(parkedLivePastTheRules(trace, k, 13).size(), c.complaints) << c.name;
  }
}

// ---- the checks a pilot makes, on traces with attitude ----

// A pose with the attitude columns: pitch nose up, bank, the vertical speed sent, the ground speed.
struct Pose {
  double t;
  const char* event;
  int id;
  const char* tail;
  double lat;
  double lon;
  double alt;
  double heading;
  bool ground;
  double pitch = 0.0;
  double bank = 0.0;
  double vs = 0.0;  // ft/min, as sent
};

tracepicture::Trace lf_attitudeTrace(const std::vector<Pose>& poses) {
  std::string text = "t_s,event,object_id,title,lat,lon,alt_ft,heading_deg,on_ground,tail,pitch_deg,bank_deg,vs_fpm,gs_kt\n";
  for (const Pose& p : poses)
    text += fmt::format("{:.2f},{},{},Title {},{:.6f},{:.6f},{:.1f},{:.1f},{},{},{:.1f},{:.1f},{:.0f},0\n", p.t, p.event, p.id,
                        p.tail, p.lat, p.lon, p.alt, p.heading, p.ground ? 1 : 0, p.tail, p.pitch, p.bank, p.vs);
  return tracepicture::parseTrace(text, "test");
}

// Runway 28's landing end, and a point `along` metres past it (negative: before it), `aside` right of it.
const standin::sim::LayoutRunwayEnd& lf_end28() {
  for (const auto& r : lf_zurich().runways)
    if (r.secondary.designator == "28") return r.secondary;
  return lf_zurich().runways.front().secondary;
}
std::pair<double, double> lf_on28(double along, double aside = 0.0) {
  const auto& e = lf_end28();
  double lat = e.latitude;
  double lon = e.longitude;
  standin::sim::offsetPosition(lat, lon, e.headingDeg, along);
  if (aside != 0.0) standin::sim::offsetPosition(lat, lon, e.headingDeg + 90.0, aside);
  return {lat, lon};
}

// An object moving along runway 28's line: at each second its distance past the end, its height
// over the ground (negative: on it) and its heading off the runway's.
std::vector<Pose> lf_along28(int id, const char* tail, const std::vector<std::array<double, 3>>& seconds, double aside = 0.0,
                             double t0 = 0.0) {
  std::vector<Pose> poses;
  for (std::size_t i = 0; i < seconds.size(); ++i) {
    const auto [along, height, off] = seconds[i];
    const auto [lat, lon] = lf_on28(along, aside);
    const bool ground = height < 0.0;
    poses.push_back({t0 + static_cast<double>(i), i == 0 ? "create" : "pose", id, tail, lat, lon,
                     kGround + 8.0 + (ground ? 0.0 : height), lf_end28().headingDeg + off, ground});
  }
  return poses;
}

TEST(TraceChecks, AnArrivalTouchesDownOnItsRunwayWithinTheTouchDownZone) {
  const auto k = lf_knowledge();
  struct Case {
    const char* name;
    double touchDown;  // metres past the threshold of 28
    double aside;
    std::size_t complaints;
  } cases[] = {
      {"400 m past the threshold", 400.0, 0.0, 0},
      {"285 m short", -285.0, 0.0, 1},
      {"1500 m past: long", 1500.0, 0.0, 1},
      {"beside the runway", 400.0, 80.0, 1},
  };
  for (const Case& c : cases) {
    // Flying in at 72 m/s, 3 degrees down, and on the ground at the touch-down point.
    std::vector<std::array<double, 3>> seconds;
    for (int i = 5; i >= 1; --i) seconds.push_back({c.touchDown - 72.0 * i, 72.0 * i * 0.0524 * 3.28, 0.0});
    seconds.push_back({c.touchDown, -1.0, 0.0});
    seconds.push_back({c.touchDown + 70.0, -1.0, 0.0});
    EXPECT_EQ(landingsOffTheRunway(lf_attitudeTrace(lf_along28(1, "D-AIMA", seconds, c.aside)), k).size(), c.complaints)
        << c.name;
  }
}

TEST(TraceChecks, NoSteepDescentNearTheGroundAndNoRemovalInTheAirThere) {
  const auto k = lf_knowledge();
  struct Steep {
    const char* name;
    double from;   // ft over the ground
    double ftMin;  // descent
    std::size_t complaints;
  } steep[] = {
      {"a 3-degree final at 800 ft/min", 190.0, 800.0, 0},
      {"a dive of 5400 ft/min below 200 ft", 150.0, 5400.0, 1},
      {"2400 ft/min at 3000 ft", 3000.0, 2400.0, 0},
  };
  for (const Steep& c : steep) {
    std::vector<std::array<double, 3>> seconds;
    for (int i = 0; i < 4; ++i) seconds.push_back({-1000.0 + 72.0 * i, c.from - c.ftMin / 60.0 * i, 0.0});
    EXPECT_EQ(steepNearTheGround(lf_attitudeTrace(lf_along28(1, "D-AIMA", seconds)), k).size(), c.complaints) << c.name;
  }
  struct Removal {
    const char* name;
    double height;  // of the removal, -1: on the ground
    bool withOthers;
    std::size_t complaints;
  } removals[] = {
      {"5 ft over the runway", 5.0, false, 1},
      {"rolled out on the runway", -1.0, false, 0},
      {"passing 2000 ft", 2000.0, false, 0},
      {"5 ft over the runway as the program closes", 5.0, true, 0},
  };
  for (const Removal& c : removals) {
    std::vector<Pose> poses = lf_along28(1, "D-AIMA", {{100, c.height, 0}, {170, c.height, 0}});
    Pose gone = poses.back();
    gone.t = 1.5;
    gone.event = "remove";
    poses.push_back(gone);
    for (int id = 2; id <= 3; ++id) {
      const double t = c.withOthers ? 1.5 : 1.0;
      poses.push_back({0.0, "create", id, "X", 47.47, 8.55, kGround + 8.0, 0.0, true});
      poses.push_back({t, "remove", id, "X", 47.47, 8.55, kGround + 8.0, 0.0, true});
    }
    std::stable_sort(poses.begin(), poses.end(), [](const Pose& a, const Pose& b) { return a.t < b.t; });
    EXPECT_EQ(removedNearTheGround(lf_attitudeTrace(poses), k).size(), c.complaints) << c.name;
  }
}

// `seconds` speeds from `from`, changing by `perSecond` each second.
std::vector<double> lf_ramp(double from, double perSecond, int seconds) {
  std::vector<double> kts;
  for (int i = 0; i < seconds; ++i) kts.push_back(from + perSecond * i);
  return kts;
}

TEST(TraceChecks, OnTheGroundTheNoseFollowsTheMotionSpeedChangesAsAnAirlinersAndTurnsOnTheSpotAtTheProgramsRate) {
  const auto k = lf_knowledge();
  // Taxiing along 28's line (heading off the runway's by `off`), its speeds second by second.
  // `airborne`: seconds it then flies on at its last speed, lifted off.
  auto taxi = [](const std::vector<double>& kts, double off, double turn = 0.0, int airborne = 0) {
    std::vector<std::array<double, 3>> seconds;
    double along = 500.0;
    for (std::size_t i = 0; i < kts.size(); ++i) {
      seconds.push_back({along, -1.0, off + turn * static_cast<double>(i)});
      along += kts[i] * 0.5144;
    }
    for (int i = 1; i <= airborne; ++i, along += kts.back() * 0.5144) seconds.push_back({along, 10.0 * i, off});
    return lf_attitudeTrace(lf_along28(1, "HB-JDA", seconds));
  };
  const std::vector<double> steady(8, 18.0);
  EXPECT_EQ(slidingOnTheGround(taxi(steady, 0.0)).size(), 0u) << "taxiing nose first";
  EXPECT_EQ(slidingOnTheGround(taxi(steady, 94.0)).size(), 1u) << "a sideways slide of 94 degrees";
  EXPECT_EQ(slidingOnTheGround(taxi(steady, 41.0)).size(), 1u) << "crabbing 41 degrees";
  EXPECT_EQ(slidingOnTheGround(taxi(std::vector<double>(8, 3.0), 180.0)).size(), 0u) << "pushed back tail first";
  EXPECT_EQ(slidingOnTheGround(taxi(std::vector<double>(8, 4.0), 90.0)).size(), 0u) << "under 5 kt";
  EXPECT_EQ(motionAgainstHeading(taxi(steady, 0.0), k).size(), 0u) << "taxiing nose first";
  EXPECT_EQ(motionAgainstHeading(taxi(steady, 94.0), k).size(), 1u) << "94 degrees off its nose";
  EXPECT_EQ(motionAgainstHeading(taxi(steady, 41.0), k).size(), 0u) << "crabbing 41 degrees, not against the nose";
  EXPECT_EQ(motionAgainstHeading(taxi(std::vector<double>(8, 17.0), 180.0), k).size(), 1u)
      << "rolling backwards at 17 kt on the runway";
  struct Nose {
    const char* name;
    double kt;
    std::vector<double> offs;  // the heading off the motion, second by second
    std::size_t complaints;
  } noses[] = {
      {"taxiing nose first at 8 kt", 8.0, std::vector<double>(12, 0.0), 0},
      {"sliding into its line-up 8 deg off for 9 s", 8.0, {0, 0, 8, 8, 8, 8, 8, 8, 8, 8, 8, 0, 0}, 1},
      {"8 deg off for 2 s", 8.0, {0, 0, 8, 8, 0, 0, 0, 0}, 0},
      {"14 deg off for 3 s at a runway exit", 19.0, {0, 0, 14, 14, 14, 0, 0, 0}, 1},
      {"4 deg off, within its 5", 8.0, std::vector<double>(12, 4.0), 0},
      {"10 deg off at 3.5 kt", 3.5, std::vector<double>(12, 10.0), 1},
      {"9 deg off at 2.5 kt, creeping", 2.5, std::vector<double>(12, 9.0), 0},
      {"pushed back tail first at 3.5 kt", 3.5, std::vector<double>(12, 180.0), 0},
  };
  for (const Nose& c : noses) {
    std::vector<std::array<double, 3>> seconds;
    for (std::size_t i = 0; i < c.offs.size(); ++i) seconds.push_back({500.0 + c.kt * 0.5144 * i, -1.0, c.offs[i]});
    EXPECT_EQ(noseOffTheMotion(lf_attitudeTrace(lf_along28(1, "HB-JDA", seconds))).size(), c.complaints) << c.name;
  }
  {
    // From a stand tail first at `pushKt` for 8 s, a stop and a turn, then nose first at 10 kt;
    // `awayMetres` from the stand when the push begins, `jitterKt` at the stand before it.
    const auto& stand = lf_zurich().stands[0];
    auto pushed = [&](double pushKt, double awayMetres, double jitterKt = 0.0) {
      std::vector<Pose> poses;
      double lat = stand.latitude;
      double lon = stand.longitude;
      standin::sim::offsetPosition(lat, lon, 180.0, awayMetres);
      const double g = kGround + 8.0;
      double heading = 0.0;
      for (int t = 0; t <= 30; ++t) {
        if (t > 0 && t <= 4) standin::sim::offsetPosition(lat, lon, 90.0, (t % 2 ? 1.0 : -1.0) * jitterKt * 0.5144);
        if (t > 4 && t <= 12) standin::sim::offsetPosition(lat, lon, 180.0, pushKt * 0.5144);
        if (t > 12 && t <= 16) heading += 45.0;  // on the spot, to 180
        if (t > 16) standin::sim::offsetPosition(lat, lon, heading, 10.0 * 0.5144);
        poses.push_back({static_cast<double>(t), t == 0 ? "create" : "pose", 1, "HB-JDA", lat, lon, g, heading, true});
      }
      return lf_attitudeTrace(poses);
    };
    struct Push {
      const char* name;
      double pushKt;
      double awayMetres;
      double jitterKt;
      std::size_t complaints;
    } pushes[] = {
        {"pushed back from its stand at 4 kt", 4.0, 0.0, 0.0, 0},
        {"pushed back at 12 kt: no tug's pace", 12.0, 0.0, 0.0, 1},
        {"tail first at 4 kt, 300 m from any stand", 4.0, 300.0, 0.0, 1},
        {"jittering sideways at 2 kt at its stand", 4.0, 0.0, 2.0, 0},
    };
    for (const Push& c : pushes) EXPECT_EQ(motionAgainstHeading(pushed(c.pushKt, c.awayMetres, c.jitterKt), k).size(), c.complaints) << c.name;
  }

  // `complaints` over two-second windows, `steps` second by second.
  struct Speeds {
    const char* name;
    std::vector<double> kts;
    std::size_t complaints;
    std::size_t steps;
    int airborne = 0;  // seconds in the air after it
  } speeds[] = {
      {"gathering 2 kt/s", {0, 2, 4, 6, 8, 10, 12, 14}, 0, 0},
      {"from 0 to 18 kt in a second", {0, 0, 0, 18, 18, 18, 18, 18}, 1, 1},
      {"from 21.5 to 0 kt in a second", {21.5, 21.5, 21.5, 21.5, 0, 0, 0, 0}, 1, 1},
      {"a landing roll braking 5 kt/s", {140, 135, 130, 125, 120, 115, 110, 105}, 0, 0},
      // Alone on the machine nothing tells the worker's pace from the aircraft's.
      {"a roll-out braking 6 kt/s, the worker's pace wavering", {140, 135, 127, 122, 114, 108.5, 101, 95.5}, 0, 1},
      {"a roll-out braking 9 kt/s", {140, 131, 122, 113, 104, 95, 86, 77}, 1, 1},
      {"a take-off roll gathering 4.5 kt/s", {60, 64.5, 69, 73.5, 78, 82.5, 87, 91.5}, 0, 0},
      {"a light aircraft's roll gathering 1.6 kt/s to its lift-off", lf_ramp(40.0, 1.6, 12), 0, 0, 2},
      {"a roll in spurts, 4 kt/s then flat at 63 kt before its lift-off", {47, 51, 55, 59, 63, 63, 63.1, 63, 63.2, 67.2}, 0, 1, 2},
      {"a roll flat at 63 kt the run's end cuts off", {47, 51, 55, 59, 63, 63, 63.1, 63, 63.2, 67.2}, 0, 0},
      {"a roll flat at 25 kt, below the roll's speeds", {5, 9, 13, 17, 21, 25, 25, 25, 25, 29, 33, 37}, 0, 0, 2},
      {"a roll-out braking 5 kt/s, a touch-and-go lifting off", {100, 95, 90, 85, 80, 80, 84, 88, 92, 96}, 0, 0, 2},
      {"a take-off roll gathering 6 kt/s from its line-up", {0, 0, 6, 12, 18, 24, 30, 36, 42}, 1, 0},
      {"a take-off roll gathering 4 kt/s from its line-up", {0, 0, 4, 8, 12, 16, 20, 24, 28, 32, 36}, 0, 0},
      {"a take-off roll the run's end cuts off at 24 kt", {0, 0, 4, 8, 12, 16, 20, 24, 28}, 0, 0},
      {"braking 7 kt/s from 60 kt", {60, 60, 53, 46, 39, 32, 32}, 0, 0},
      {"braking 6 kt/s below 30 kt", {28, 28, 22, 16, 10, 10, 10}, 0, 1},
      {"a turn-off: 18.1 to 2.4 kt, then lunging on", {18, 18.1, 2.4, 7.3, 10.0, 17.8, 17.8, 17.8}, 1, 1},
      {"a taxi start from 0 to 7.4 kt in a second", {0, 0, 7.4, 9.0, 10.5, 12.0, 13.5, 15.0}, 1, 1},
      {"a taxi start gaining 4.2 kt, within the trace's rounding", {0, 0, 0, 4.2, 6.0, 7.5, 9.0}, 0, 0},
      {"a taxi start gaining 4.7 kt", {0, 0, 0, 4.7, 6.2, 7.7, 9.2}, 0, 1},
      {"the touch-down speed held, then 18 kt lost in a second", {147.2, 146.6, 148.0, 146.6, 128.6, 125.0, 121.4}, 1, 1},
  };
  for (const Speeds& c : speeds) {
    EXPECT_EQ(groundSpeedJumps(taxi(c.kts, 0.0, 0.0, c.airborne), {}, &k).size(), c.complaints) << c.name;
    EXPECT_EQ(groundSpeedSteps(lf_withFlyers(taxi(c.kts, 0.0, 0.0, c.airborne)), k).size(), c.steps) << c.name;
    EXPECT_EQ(groundSpeedSteps(taxi(c.kts, 0.0, 0.0, c.airborne), k).size(), 0u)
        << c.name << ": alone, the machine's pace is not known";
  }
  {
    // Made again on its landing roll after the simulator's restart took every object: it stands
    // until the simulator has it, then rolls on at its pace. Not so an object created on its own.
    auto remade = [&](bool afterAFault, int standing = 3, double brakingKt = 0.0) {
      std::vector<Pose> poses;
      for (int id = 2; id <= 4; ++id) {
        poses.push_back({0.0, "create", id, "X", 47.47, 8.55 + 0.001 * id, kGround + 8.0, 0.0, true});
        poses.push_back({afterAFault ? 1.0 : 0.5 * id, "remove", id, "X", 47.47, 8.55 + 0.001 * id, kGround + 8.0, 0.0, true});
      }
      std::vector<std::array<double, 3>> seconds(standing, {500, -1, 0});
      double along = 500.0;
      for (int i = 1; i <= 8; ++i) {
        along += (110.0 - (i > 5 ? brakingKt * (i - 5) : 0.0)) * 0.5144;
        seconds.push_back({along, -1, 0});
      }
      const auto rolling = lf_along28(1, "D-AIMA", seconds, 0.0, 5.0);
      poses.insert(poses.end(), rolling.begin(), rolling.end());
      std::stable_sort(poses.begin(), poses.end(), [](const Pose& a, const Pose& b) { return a.t < b.t; });
      return lf_attitudeTrace(poses);
    };
    EXPECT_EQ(groundSpeedJumps(remade(true)).size(), 0u) << "made again after the simulator's restart";
    EXPECT_EQ(groundSpeedJumps(remade(false)).size(), 1u) << "created on its own, standing, then at 110 kt";
    EXPECT_EQ(groundSpeedJumps(remade(true, 7)).size(), 0u) << "the simulator had it 7 s after it was made";
    EXPECT_EQ(groundSpeedJumps(remade(true, 7, 15.0)).size(), 1u) << "rolling on, then braking 15 kt/s";
  }

  struct Spot {
    const char* name;
    const char* tail;
    double degPerS;
    std::size_t complaints;
  } spots[] = {
      {"an A320 turning 8 deg/s standing", "HB-JDA", 8.0, 0},
      {"an A320 turning 15 deg/s standing", "HB-JDA", 15.0, 1},
      {"an A380 turning 8.5 deg/s standing", "D-AIMA", 8.5, 1},
  };
  for (const Spot& c : spots) {
    std::vector<std::array<double, 3>> seconds;
    for (int i = 0; i < 6; ++i) seconds.push_back({500.0, -1.0, c.degPerS * i});
    EXPECT_EQ(turningOnTheSpot(lf_attitudeTrace(lf_along28(1, c.tail, seconds)), k).size(), c.complaints) << c.name;
  }
}

// What a pilot sees of an aircraft in the air and as it lands: flying speed, a steady final, the
// nose lowered after the touch, and the runway at the flight's own delay.
TEST(TraceChecks, AnAirlinerFliesAtFlyingSpeedComesDownSteadilyAndLowersItsNoseGently) {
  const auto k = lf_knowledge();
  // Along 28's line at these speeds (kt) second by second, 2000 ft up; `created` is the first.
  auto flying = [](const char* tail, const std::vector<double>& kts, bool ground = false, int firstRemovedWith = 0,
                   double climbFpm = 0.0) {
    std::vector<std::array<double, 3>> seconds;
    double along = -9000.0;
    for (const double kt : kts) {
      seconds.push_back({along, ground ? -1.0 : 2000.0 + climbFpm / 60.0 * static_cast<double>(seconds.size()), 0.0});
      along += kt * 0.5144;
    }
    std::vector<Pose> poses = lf_along28(1, tail, seconds, 0.0, 10.0);
    // Made again after a fault took every object: it stands until the simulator has it.
    for (int id = 2; id <= firstRemovedWith; ++id) {
      poses.push_back({0.0, "create", id, "X", 47.47, 8.55 + 0.001 * id, kGround + 8.0, 0.0, true});
      poses.push_back({9.5, "remove", id, "X", 47.47, 8.55 + 0.001 * id, kGround + 8.0, 0.0, true});
    }
    std::stable_sort(poses.begin(), poses.end(), [](const Pose& a, const Pose& b) { return a.t < b.t; });
    return lf_attitudeTrace(poses);
  };
  // `complaints` of flying slowly; `hangs`: standing still after its creation; `jumps`: speed steps in the air.
  struct Slow {
    const char* name;
    const char* tail;
    std::vector<double> kts;
    bool ground;
    int removedWith;
    std::size_t complaints;
    std::size_t hangs = 0;
    std::size_t jumps = 0;
    double climbFpm = 0.0;
    std::size_t climbLosses = 0;
    bool reportsSlowToo = false;  // the feed reports the same slowing
  } slow[] = {
      {"an A380 at 150 kt", "D-AIMA", std::vector<double>(12, 150.0), false, 0, 0},
      {"an A380 fading to 60 kt in the air", "D-AIMA", {150, 150, 150, 140, 126, 113, 102, 92, 83, 75, 67, 60}, false, 0, 1, 0, 1},
      {"an A380 slow only as it is made", "D-AIMA", {0, 0, 40, 150, 150, 150, 150, 150, 150}, false, 0, 0, 1, 0},
      {"an A380 made anew after a fault, held until the simulator has it", "D-AIMA",
       {0, 0, 0, 0, 0, 0, 0, 0, 150, 150, 150, 150}, false, 4, 0},
      {"an A380 made on its own, held in the air", "D-AIMA", {0, 0, 0, 0, 0, 0, 0, 0, 150, 150, 150, 150}, false, 0, 1, 1, 0},
      {"an A380 held only for its first second", "D-AIMA", {0, 150, 150, 150, 150, 150, 150, 150, 150}, false, 0, 0, 0, 0},
      {"an A380 taxiing at 20 kt", "D-AIMA", std::vector<double>(12, 20.0), true, 0, 0},
      {"an A320 at 90 kt", "HB-JDA", std::vector<double>(12, 90.0), false, 0, 1},
      {"a Cessna at 90 kt", "HB-CXA", std::vector<double>(12, 90.0), false, 0, 0},
      {"an A380 slowing 2 kt/s on its approach", "D-AIMA", {170, 168, 166, 164, 162, 160, 158, 156, 154, 152}, false, 0, 0},
      {"a climb braking in steps of 16 kt when its reports end", "D-AIMA", {208, 208, 208, 192, 176, 160, 145, 140, 140}, false, 0, 0, 0, 1},
      {"an A380 speeding up by 7 kt in one second", "D-AIMA", {150, 150, 150, 157, 157, 157, 157}, false, 0, 0, 0, 1},
      {"a climb at 2,300 ft/min holding 207 kt", "D-AIMA", std::vector<double>(50, 207.0), false, 0, 0, 0, 0, 2300.0, 0},
      {"a climb slowing 1 kt/s when its reports end", "D-AIMA", lf_ramp(207.0, -1.0, 50), false, 0, 0, 0, 0, 2300.0, 1},
      {"a climb losing 12 kt over 30 s", "D-AIMA", lf_ramp(207.0, -0.4, 50), false, 0, 0, 0, 0, 2300.0, 0},
      {"a climb slowing 1 kt/s as its reports do", "D-AIMA", lf_ramp(207.0, -1.0, 50), false, 0, 0, 0, 0, 2300.0, 0, true},
      {"slowing 1 kt/s level, on its approach", "D-AIMA", lf_ramp(207.0, -1.0, 50), false, 0, 0, 0, 0, 0.0, 0},
  };
  for (const Slow& c : slow) {
    const auto trace = flying(c.tail, c.kts, c.ground, c.removedWith, c.climbFpm);
    EXPECT_EQ(slowInTheAir(trace, k).size(), c.complaints) << c.name;
    EXPECT_EQ(hangingStillAfterCreation(trace, k).size(), c.hangs) << c.name;
    EXPECT_EQ(airSpeedJumps(lf_withFlyers(trace), k).size(), c.jumps) << c.name;
    Knowledge fed = k;
    if (c.reportsSlowToo)
      for (const auto& e : trace.events)
        if (e.tailNumber == c.tail) fed.flights[c.tail].sent.push_back({e.t - 30.0, e.latitude, e.longitude, e.altitude});
    EXPECT_EQ(climbLosingSpeed(lf_withFlyers(trace), fed).size(), c.climbLosses) << c.name;
  }
  {
    // The program's last pose of an object leaps as it goes: only a removal a quarter second after it excuses it.
    auto leaping = [&](double removedAfter) {
      std::vector<std::array<double, 3>> seconds;
      for (int i = 0; i < 8; ++i) seconds.push_back({-9000.0 + 77.0 * i + (i == 7 ? 77.0 : 0.0), 2000.0, 0.0});
      std::vector<Pose> poses = lf_along28(1, "D-AIMA", seconds, 0.0, 10.0);
      Pose gone = poses.back();
      gone.t += removedAfter;
      gone.event = "remove";
      poses.push_back(gone);
      return lf_attitudeTrace(poses);
    };
    EXPECT_EQ(airSpeedJumps(lf_withFlyers(leaping(0.1)), k).size(), 0u) << "removed 0.1 s after its last pose";
    EXPECT_EQ(airSpeedJumps(lf_withFlyers(leaping(0.5)), k).size(), 1u) << "removed 0.5 s after its last pose";
  }

  // A 3-degree final to 28 at 72 m/s for 100 s, touching down 400 m past the threshold and lowering
  // its nose from 3.5 degrees; `bump` feet added at the seconds given before the touch-down.
  auto landing = [](std::map<int, double> bump, std::vector<double> pitchAfter) {
    std::vector<Pose> poses;
    for (int i = 100; i >= -static_cast<int>(pitchAfter.size()) + 1; --i) {
      const double along = 400.0 - 72.0 * i;
      const double height = i > 0 ? 72.0 * i * 0.0524 * 3.28 + bump[i] : -1.0;
      const auto [lat, lon] = lf_on28(along);
      const double pitch = i > 0 ? 3.5 : pitchAfter[static_cast<std::size_t>(-i)];
      poses.push_back({100.0 - i, i == 100 ? "create" : "pose", 1, "D-AIMA", lat, lon,
                       kGround + 8.0 + (height < 0.0 ? 0.0 : height), lf_end28().headingDeg, height < 0.0, pitch});
    }
    return lf_attitudeTrace(poses);
  };
  const std::vector<double> gentle{3.5, 3.0, 1.5, 0.0, -0.6, -0.6};
  struct Final {
    const char* name;
    std::map<int, double> bump;
    std::size_t complaints;
  } finals[] = {
      {"a steady 3-degree final", {}, 0},
      {"a zoom of 30 ft at 150 ft", {{12, 30.0}, {11, 30.0}}, 1},
      {"a wobble of 10 ft", {{12, 10.0}, {11, 10.0}}, 0},
      {"a climb of 40 ft at 1,000 ft, 80 s out", {{80, 40.0}, {79, 40.0}}, 0},
  };
  for (const Final& c : finals) EXPECT_EQ(climbOnFinal(landing(c.bump, gentle), k).size(), c.complaints) << c.name;
  struct Nose {
    const char* name;
    std::vector<double> pitchAfter;
    std::size_t complaints;
  } noses[] = {
      {"lowered over four seconds", gentle, 0},
      {"slammed down with the touch", {-0.6, -0.6, -0.6}, 1},
      {"held, then slammed down", {3.5, 3.5, -0.6, -0.6}, 1},
  };
  for (const Nose& c : noses) EXPECT_EQ(noseSlamsDown(landing({}, c.pitchAfter)).size(), c.complaints) << c.name;
  // The nose lowered fast well before the touch-down is the air's, not the landing's.
  auto early = landing({}, gentle);
  for (auto& e : early.events)
    if (e.t < 20.0 && e.pitch) *e.pitch = e.t < 10.0 ? 8.0 : 0.0;
  EXPECT_EQ(noseSlamsDown(early).size(), 0u);
}

// A stall of the machine shows as every moving object freezing and leaping in the same second:
// that second is the machine's; one aircraft stopping and lunging while the rest move on is its own.
TEST(TraceChecks, AStallOfTheMachineIsEveryObjectsSecondAndNotOneAircrafts) {
  auto k = lf_knowledge();
  const char* flyers[] = {"D-AIMA", "HB-CXA", "HB-JXA", "HB-JXB"};
  for (const char* tail : {"HB-JXA", "HB-JXB"})
    k.flights[tail] = FlightFact{.kind = Kind::Overflight, .registration = tail, .type = "A320"};
  // Second 10 of the run frozen, second 11 leaping by `leap` seconds' worth: for the flyers, the
  // taxiing HB-JDA, or the flyer `loneFlyer` alone. A wavering machine runs every second by a
  // tenth more or less than the one before.
  auto run = [&](bool flyersStall, bool taxiStalls, double leap, int loneFlyer, bool wavering) {
    std::vector<Pose> poses;
    auto share = [&](int t, bool stalls) {
      return (wavering ? (t % 2 ? 1.1 : 0.9) : 1.0) * (!stalls ? 1.0 : t == 10 ? 0.0 : t == 11 ? leap : 1.0);
    };
    for (int n = 0; n < 4; ++n) {
      double along = -9000.0 + 1500.0 * n;
      for (int t = 0; t <= 20; ++t) {
        along += t > 0 ? 150.0 * 0.5144 * share(t, flyersStall || n == loneFlyer) : 0.0;
        const auto [lat, lon] = lf_on28(along, 400.0 * n);
        poses.push_back({static_cast<double>(t), t == 0 ? "create" : "pose", n + 1, flyers[n], lat, lon, kGround + 3000.0,
                         lf_end28().headingDeg, false});
      }
    }
    double along = 500.0;
    for (int t = 0; t <= 20; ++t) {
      along += t > 0 ? 18.0 * 0.5144 * share(t, taxiStalls) : 0.0;
      const auto [lat, lon] = lf_on28(along);
      poses.push_back({static_cast<double>(t), t == 0 ? "create" : "pose", 9, "HB-JDA", lat, lon, kGround + 8.0,
                       lf_end28().headingDeg, true});
    }
    std::stable_sort(poses.begin(), poses.end(), [](const Pose& a, const Pose& b) { return a.t < b.t; });
    return lf_attitudeTrace(poses);
  };
  struct Case {
    const char* name;
    bool flyersStall;
    bool taxiStalls;
    double leap;
    int loneFlyer;  // -1: none
    bool wavering;
    double shareOf10;
    double shareOf11;
    std::size_t groundSteps;
    std::size_t airJumps;
  } cases[] = {
      {"the machine stalls a second", true, true, 2.0, -1, false, 0.0, 2.0, 0, 0},
      {"the machine stalls and catches up by half", true, true, 1.5, -1, false, 0.0, 1.5, 0, 0},
      {"the taxiing aircraft stops and lunges alone", false, true, 2.0, -1, false, 1.0, 1.0, 1, 0},
      {"one flyer of four stops and lunges", false, false, 2.0, 1, false, 1.0, 1.0, 0, 1},
      {"the machine's pace wavering by a tenth", false, false, 2.0, -1, true, 0.9, 1.1, 0, 0},
      {"the machine's pace wavering, one flyer stopping and lunging", false, false, 2.0, 2, true, 0.9, 1.1, 0, 1},
  };
  for (const Case& c : cases) {
    const auto trace = run(c.flyersStall, c.taxiStalls, c.leap, c.loneFlyer, c.wavering);
    const MachineShares shares = machineShares(trace, k);
    EXPECT_NEAR(shares.of(10.0), c.shareOf10, 0.05) << c.name;
    EXPECT_NEAR(shares.of(11.0), c.shareOf11, 0.05) << c.name;
    EXPECT_NEAR(shares.of(13.0), c.wavering ? 1.1 : 1.0, 0.05) << c.name;
    EXPECT_NEAR(shares.over(9.5, 11.0), 0.5 * c.shareOf10 + c.shareOf11, 0.05) << c.name;
    EXPECT_EQ(groundSpeedSteps(trace, k).size(), c.groundSteps) << c.name;
    EXPECT_EQ(groundSpeedJumps(trace, shares).size(), c.groundSteps) << c.name << ": over two-second windows";
    EXPECT_EQ(airSpeedJumps(trace, k).size(), c.airJumps) << c.name;
    EXPECT_EQ(hangingStillAfterCreation(trace, k).size(), 0u) << c.name;
  }
  EXPECT_EQ(machineShares(tracepicture::Trace{}, k).of(10.0), 1.0) << "nothing flies: every second is whole";
  {
    // On a steady machine three of five flyers brake at 3, 5 and 8 kt/s from 10 s on, each its own
    // way; the two cruising at 450 kt fly on: the pace is theirs, and only the 8 kt/s is a fault.
    const char* five[] = {"D-AIMA", "HB-CXA", "HB-JXA", "HB-JXB", "HB-JXC"};
    const double braking[] = {3.0, 5.0, 8.0, 0.0, 0.0};
    std::vector<Pose> poses;
    for (int n = 0; n < 5; ++n) {
      double along = -20000.0 + 1500.0 * n;
      for (int t = 0; t <= 20; ++t) {
        const double kt = (n < 3 ? 150.0 : 450.0) - braking[n] * std::max(0, t - 9);
        along += t > 0 ? kt * 0.5144 : 0.0;
        const auto [lat, lon] = lf_on28(along, 400.0 * n);
        poses.push_back({static_cast<double>(t), t == 0 ? "create" : "pose", n + 1, five[n], lat, lon, kGround + 9000.0,
                         lf_end28().headingDeg, false});
      }
    }
    std::stable_sort(poses.begin(), poses.end(), [](const Pose& a, const Pose& b) { return a.t < b.t; });
    const auto trace = lf_attitudeTrace(poses);
    EXPECT_NEAR(machineShares(trace, k).paceAgainstTheSecondBefore(12.0).value_or(0.0), 1.0, 0.002);
    EXPECT_EQ(airSpeedJumps(trace, k).size(), 1u);
  }

  // Too few flying to read the machine's pace: a taxiing aircraft and one in the air stand through
  // seconds 10 and 11 together; HB-CXA, made in the air at 9.6 s, stands until 11 s as well.
  auto stalled = [&](bool othersStand) {
    std::vector<Pose> poses;
    double taxiAlong = 500.0;
    double airAlong = -9000.0;
    double cxaAlong = -6000.0;
    for (int t = 0; t <= 20; ++t) {
      const bool standing = othersStand && (t == 10 || t == 11);
      taxiAlong += t > 0 && !standing ? 18.0 * 0.5144 : 0.0;
      airAlong += t > 0 && !standing ? 150.0 * 0.5144 : 0.0;
      const auto [lat, lon] = lf_on28(taxiAlong);
      poses.push_back({static_cast<double>(t), t == 0 ? "create" : "pose", 1, "HB-JDA", lat, lon, kGround + 8.0,
                       lf_end28().headingDeg, true});
      const auto [aLat, aLon] = lf_on28(airAlong, 300.0);
      poses.push_back({static_cast<double>(t), t == 0 ? "create" : "pose", 2, "D-AIMA", aLat, aLon, kGround + 3000.0,
                       lf_end28().headingDeg, false});
      if (t >= 10) {
        cxaAlong += t >= 12 ? 90.0 * 0.5144 : 0.0;
        const auto [cLat, cLon] = lf_on28(cxaAlong, -300.0);
        poses.push_back({t == 10 ? 9.6 : static_cast<double>(t), t == 10 ? "create" : "pose", 3, "HB-CXA", cLat, cLon,
                         kGround + 2000.0, lf_end28().headingDeg, false});
      }
    }
    std::stable_sort(poses.begin(), poses.end(), [](const Pose& a, const Pose& b) { return a.t < b.t; });
    return lf_attitudeTrace(poses);
  };
  EXPECT_EQ(machineShares(stalled(true), k).of(10.0), 0.0);
  EXPECT_EQ(machineShares(stalled(true), k).of(11.0), 0.0);
  EXPECT_EQ(hangingStillAfterCreation(stalled(true), k).size(), 0u) << "the machine stood with it";
  EXPECT_EQ(hangingStillAfterCreation(stalled(false), k).size(), 1u) << "it stood alone for 1.4 s";
}

// The vertical speed sent builds over seconds; a go-around that yanks it round does not.
TEST(TraceChecks, TheVerticalSpeedSentChangesNoFasterThan2000FtMinWithin2Seconds) {
  const auto k = lf_knowledge();
  struct Case {
    const char* name;
    std::vector<double> vs;  // second by second, from the creation on
    bool ground = false;
    std::size_t complaints;
    double hopFeet = 0.0;  // the altitude shifted from second 4 on, over `hopSeconds`
    double hopSeconds = 1.0;
    std::size_t steps = 0;
    bool climbs = false;  // its altitude rising at the vertical speed sent
  } cases[] = {
      {"a go-around building its climb over seconds", {-700, -700, -300, 300, 900, 1500, 1800, 1800}, false, 0},
      {"a go-around yanked from -700 to +3,120 within 2 s", {-700, -700, -700, 1760, 3120, 3120, 3120}, false, 1},
      {"a dip of 2,100 ft/min over 2 s", {-700, -700, -1750, -2800, -2800}, false, 1},
      {"made at 0 ft/min, flying at 2,500 from its first move", {0, 2500, 2500, 2500, 2500}, false, 0},
      {"on the ground the vertical speed is not flown", {0, 0, 2500, 0, 2500}, true, 0},
      {"a QNH change of 2 hPa lifting it 55 ft at once", std::vector<double>(10, 0.0), false, 0, 55.0, 1.0, 1},
      {"a QNH change of 12 hPa taken up over 30 s", std::vector<double>(40, 0.0), false, 0, 325.0, 30.0, 0},
      {"climbing at 3,000 ft/min, a QNH change of 3 hPa taken up over 20 s", std::vector<double>(30, 3000.0), false, 0,
       80.0, 20.0, 0, true},
      {"climbing at 3,000 ft/min, lifted 80 ft at once", std::vector<double>(30, 3000.0), false, 0, 80.0, 1.0, 1, true},
  };
  for (const Case& c : cases) {
    std::vector<Pose> poses;
    for (std::size_t i = 0; i < c.vs.size(); ++i) {
      const auto [lat, lon] = lf_on28(-9000.0 + 77.0 * static_cast<double>(i), 0.0);
      Pose p{10.0 + static_cast<double>(i), i == 0 ? "create" : "pose", 1, "D-AIMA", lat, lon, kGround + (c.ground ? 8.0 : 2000.0),
             lf_end28().headingDeg, c.ground};
      p.vs = c.vs[i];
      for (std::size_t j = 1; j <= i && c.climbs; ++j) p.alt += c.vs[j] / 60.0;
      if (i >= 4 && !c.ground) p.alt += c.hopFeet * std::min(1.0, static_cast<double>(i - 3) / c.hopSeconds);
      poses.push_back(p);
    }
    EXPECT_EQ(verticalSpeedSwings(lf_attitudeTrace(poses), k).size(), c.complaints) << c.name;
    EXPECT_EQ(altitudeSteps(lf_withFlyers(lf_attitudeTrace(poses)), k).size(), c.steps) << c.name;
  }
}

// A flight whose reports go around climbs with them; one whose reports land touches down.
TEST(TraceChecks, AFlightWhoseReportsGoAroundDoesNotTouchDown) {
  // The feed, each second: a C172 at 40 m/s on a 3-degree final to 28, its reports bottoming at
  // `bottomFeet` over the threshold at feed time 75 and climbing at 700 ft/min, or landing there.
  auto fed = [](double t, double bottomFeet, bool lands) {
    const double along = 40.0 * (t - 75.0);
    double height = t < 75.0 ? bottomFeet - along * 0.0524 * 3.28 : bottomFeet + (t - 75.0) * 700.0 / 60.0;
    if (lands && t >= 75.0) height = -1.0;
    return std::make_pair(along, height);
  };
  struct Case {
    const char* name;
    double bottomFeet;
    bool reportsLand;
    bool touches;  // the simulator shows it on the runway from its bottom for 8 s
    std::size_t complaints;
  } cases[] = {
      {"a balked landing at 30 ft flown down to the runway", 30.0, false, true, 1},
      {"a balked landing at 30 ft climbing with its reports", 30.0, false, false, 0},
      {"a go-around at 200 ft flown onto the runway", 200.0, false, true, 1},
      {"a landing", 30.0, true, true, 0},
  };
  for (const Case& c : cases) {
    Knowledge k = lf_knowledge();
    k.feedToSimSeconds = 4.0;
    FlightFact& fact = k.flights["HB-CXA"];
    for (int t = 0; t <= 140; ++t) {
      const auto [along, height] = fed(t, c.bottomFeet, c.reportsLand);
      const auto [lat, lon] = lf_on28(along);
      fact.sent.push_back({static_cast<double>(t), lat, lon, height < 0.0 ? 0.0 : kGround + height});
    }
    std::vector<Pose> poses;
    for (int t = 0; t <= 130; ++t) {
      auto [along, height] = fed(t, c.bottomFeet, c.reportsLand);
      if (c.touches && t >= 75 && t < 83) height = -1.0;
      const auto [lat, lon] = lf_on28(along);
      poses.push_back({k.feedToSimSeconds + k.delaySeconds + t, t == 0 ? "create" : "pose", 1, "HB-CXA", lat, lon,
                       kGround + 8.0 + std::max(height, 0.0), lf_end28().headingDeg, height < 0.0});
    }
    EXPECT_EQ(goAroundsTouchingDown(lf_attitudeTrace(poses), k).size(), c.complaints) << c.name;
  }
}

TEST(TraceChecks, ARunwayRollShowsTheFeedAtTheFlightsOwnDelay) {
  // The feed, reported every second: a final to 28 at 72 m/s to a touch-down 400 m in at feed
  // time 50, then braking at 2.5 m/s2; or a departure lined up 100 m in until feed time 20, then
  // speeding up at 2 m/s2 to its lift-off at 78 m/s and climbing at 10 m/s.
  auto landing = [](double t) {
    const double along = t < 50.0 ? 400.0 - 72.0 * (50.0 - t) : 400.0 + 72.0 * (t - 50.0) - 1.25 * (t - 50.0) * (t - 50.0);
    const double height = t < 50.0 ? 72.0 * (50.0 - t) * 0.0524 * 3.28 + 20.0 : -1.0;
    return std::make_pair(along, height);
  };
  auto takeoff = [](double t) {
    // Taxiing along the runway's line at 5 m/s up to its line-up at feed time 10.
    if (t < 10.0) return std::make_pair(100.0 - 5.0 * (10.0 - t), -1.0);
    const double rolled = std::max(t - 20.0, 0.0);
    const double along = 100.0 + rolled * rolled;
    const double height = 2.0 * rolled < 78.0 ? -1.0 : (rolled - 39.0) * 10.0 * 3.28;
    return std::make_pair(along, height);
  };
  struct Case {
    const char* name;
    bool departs;
    double airDelay;
    double rollDelay;
    std::size_t complaints;
    double taxiDelay = std::numeric_limits<double>::quiet_NaN();  // not a number: the roll's
    std::size_t laterThanTaxi = 0;
    double creepKt = 0.0;  // shown creeping on through the 10 s its reports stand lined up
  } cases[] = {
      {"both 30 s behind the feed", false, 30.0, 30.0, 0},
      {"the roll 3 s later", false, 30.0, 33.0, 0},
      {"the roll 8 s later", false, 30.0, 38.0, 1},
      {"the roll 8 s early", false, 38.0, 30.0, 1},
      {"a take-off roll and climb 30 s behind the feed", true, 30.0, 30.0, 0},
      {"a take-off roll 6 s early after its wait lined up", true, 30.0, 24.0, 1},
      {"a take-off roll 3 s late", true, 30.0, 33.0, 0},
      {"a take-off roll 12 s later behind its reports than its taxi", true, 42.0, 42.0, 0, 30.0, 1},
      {"a take-off roll 8 s later behind its reports than its taxi", true, 38.0, 38.0, 0, 30.0, 0},
      {"running through its line-up at 3 kt where its reports stand 10 s", true, 30.0, 30.0, 0, 30.0, 1, 3.0},
  };
  for (const Case& c : cases) {
    Knowledge k = lf_knowledge();
    k.feedToSimSeconds = 4.0;
    FlightFact& fact = k.flights["D-AIMA"];
    if (c.departs) fact.kind = Kind::Departure;
    const auto fed = [&](double t) { return c.departs ? takeoff(t) : landing(t); };
    for (int t = 0; t <= 80; ++t) {
      const auto [along, height] = fed(t);
      const auto [lat, lon] = lf_on28(along);
      fact.sent.push_back({static_cast<double>(t), lat, lon, height < 0.0 ? 0.0 : kGround + height});
    }
    std::vector<Pose> poses;
    for (double t = 0.0; t <= 70.0; t += 1.0) {
      const auto [along, height] = fed(t);
      const auto [lat, lon] = lf_on28(along + (t >= 10.0 && t <= 20.0 ? c.creepKt * 0.5144 * (t - 10.0) : 0.0));
      const double groundDelay = t < 10.0 && !std::isnan(c.taxiDelay) ? c.taxiDelay : c.rollDelay;
      const double simT = k.feedToSimSeconds + t + (height < 0.0 ? groundDelay : c.airDelay);
      // What the simulator shows of the air after it already shows the roll, it never shows; a
      // roll shown late has the lift-off wait for it.
      if (!poses.empty() && simT <= poses.back().t) continue;
      poses.push_back({simT, poses.empty() ? "create" : "pose", 1, "D-AIMA", lat, lon,
                       kGround + 8.0 + (height < 0.0 ? 0.0 : height), lf_end28().headingDeg, height < 0.0});
    }
    std::size_t takeoffs = 0;
    EXPECT_EQ(rollOffItsDelay(lf_attitudeTrace(poses), k, &takeoffs).size(), c.complaints) << c.name;
    EXPECT_EQ(takeoffs, c.departs ? 1u : 0u) << c.name;
    std::size_t taxis = 0;
    EXPECT_EQ(rollLaterThanItsTaxi(lf_attitudeTrace(poses), k, &taxis).size(), c.laterThanTaxi) << c.name;
    EXPECT_EQ(taxis, c.departs ? 1u : 0u) << c.name << ": its taxi and roll measured";
  }
}

TEST(TraceChecks, OneRunwayTakesOneAircraftInTheWayOfAnotherAtATime) {
  const auto k = lf_knowledge();
  // D-AIMA comes in over the threshold of 28 and rolls out; HB-JDA stands at `along`, `aside`.
  struct Case {
    const char* name;
    double along;
    double aside;
    std::size_t complaints;
  } cases[] = {
      {"lined up 218 m past the threshold", 218.0, 0.0, 1},
      {"holding short, 90 m aside", 60.0, 90.0, 0},
      {"rolled through at the far end", 1900.0, 0.0, 1},
      {"behind the landing, at the threshold after it passed", -1.0, 0.0, 0},
  };
  for (const Case& c : cases) {
    std::vector<Pose> poses = lf_along28(1, "D-AIMA", {{-600, 100, 0}, {-530, 80, 0}, {-460, 60, 0}, {400, -1, 0},
                                                       {470, -1, 0}, {530, -1, 0}});
    // The one behind only appears on the runway once the arrival has passed it.
    const int from = c.along >= 0.0 ? 0 : 4;
    for (int i = from; i < 6; ++i) {
      const auto [lat, lon] = lf_on28(std::max(c.along, 60.0), c.aside);
      poses.push_back({static_cast<double>(i), i == from ? "create" : "pose", 2, "HB-JDA", lat, lon, kGround + 8.0,
                       lf_end28().headingDeg, true});
    }
    std::stable_sort(poses.begin(), poses.end(), [](const Pose& a, const Pose& b) { return a.t < b.t; });
    EXPECT_EQ(runwayShared(lf_attitudeTrace(poses), k).size(), c.complaints) << c.name;
  }
}

TEST(TraceChecks, OneRegistrationIsOneObjectAndTheAttitudeStaysAnAirliners) {
  const double g = kGround + 8.0;
  const auto together = lf_attitudeTrace({{0, "create", 1, "HB-JDA", 47.46, 8.55, g, 90, true},
                                          {1, "create", 2, "HB-JDA", 47.47, 8.56, g, 200, true},
                                          {2, "pose", 1, "HB-JDA", 47.4601, 8.55, g, 90, true}});
  EXPECT_EQ(sameRegistration(together).size(), 1u) << "a static aircraft under a taxiing one's registration";
  const auto after = lf_attitudeTrace({{0, "create", 1, "HB-JDA", 47.46, 8.55, g, 90, true},
                                       {1, "remove", 1, "HB-JDA", 47.46, 8.55, g, 90, true},
                                       {2, "create", 2, "HB-JDA", 47.47, 8.56, g, 200, true}});
  EXPECT_EQ(sameRegistration(after).size(), 0u) << "made again after the first went";

  struct Case {
    const char* name;
    double pitch;
    double bank;
    std::size_t complaints;
  } cases[] = {
      {"a climb-out at 15 degrees, banked 20", 15.0, 20.0, 0},
      {"a descent at 3 degrees nose down", -3.0, 0.0, 0},
      {"the nose 30 degrees up", 30.0, 0.0, 1},
      {"the nose 12 degrees down", -12.0, 0.0, 1},
      {"banked 40 degrees", 5.0, -40.0, 1},
  };
  for (const Case& c : cases) {
    const auto trace = lf_attitudeTrace({{0, "create", 1, "D-AIMA", 47.5, 8.5, 5000, 90, false, 2.0, 0.0},
                                         {1, "pose", 1, "D-AIMA", 47.5, 8.501, 5000, 90, false, c.pitch, c.bank}});
    EXPECT_EQ(attitudeOutOfRange(trace).size(), c.complaints) << c.name;
  }
}

}  // namespace
