// The traffic generator: the same seed gives the same scenario, and its flights look like
// RealTraffic's around Zurich: reported every 2 to 10 s, arrivals on a 3-degree path to a
// runway, taxiing flights between stands and runways.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <set>

#include "standin/realtraffic/traffic_scenario.h"
#include "tests/support/test_support.h"
#include "tools/traffic_gen.h"

namespace {

using namespace trafficgen;
namespace sim = standin::sim;

const std::filesystem::path kData = testing_support::sourceDataFolder();

Inputs lf_inputs() {
  return {kData / "sim" / "facilities" / "LSZH.json", kData / "dbase.xml", kData / "airports.xml",
          kData / "realtraffic" / "sample_fixed.json"};
}

class TrafficGenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    airport = sim::readFacilityLayout(lf_inputs().facility);
    fleet = readFleet(lf_inputs().dbase, lf_inputs().airports, "LSZH");
  }
  // Runway end by designator.
  const sim::LayoutRunwayEnd* end(const std::string& designator, const sim::LayoutRunway** runway = nullptr) const {
    for (const auto& r : airport.runways)
      for (const auto* e : {&r.primary, &r.secondary})
        if (e->designator == designator) {
          if (runway) *runway = &r;
          return e;
        }
    return nullptr;
  }
  const sim::LayoutStand* stand(const std::string& name) const {
    for (const auto& s : airport.stands)
      if (s.name == name) return &s;
    return nullptr;
  }
  sim::FacilityLayout airport;
  Fleet fleet;
};

TEST_F(TrafficGenTest, TheSeedDecidesAndTheCommittedSampleIsTheGeneratorsOwn) {
  const std::string sample = generateScenarioText(lf_inputs(), sampleOptions());
  EXPECT_EQ(sample, generateScenarioText(lf_inputs(), sampleOptions()));
  EXPECT_EQ(sample, testing_support::readFile(kData / "realtraffic" / "sample_scenario.json"))
      << "regenerate it: build/tools/jorv_traffic_gen --out data/realtraffic/sample_scenario.json";
  Options other = sampleOptions();
  other.seed = 25;
  EXPECT_NE(sample, generateScenarioText(lf_inputs(), other));

  // The hand-written part comes first, untouched, and nothing generated takes its aircraft.
  const rtstandin::TrafficScenario fixed = rtstandin::loadScenario(lf_inputs().base);
  const rtstandin::TrafficScenario scenario = rtstandin::parseScenario(sample);
  ASSERT_GT(scenario.flights.size(), fixed.flights.size());
  EXPECT_EQ(scenario.startTime, fixed.startTime);
  EXPECT_EQ(scenario.parked.size(), fixed.parked.size());
  EXPECT_EQ(scenario.metars.size(), fixed.metars.size());
  std::set<std::uint32_t> hexids;
  std::set<std::string> registrations;
  for (std::size_t i = 0; i < scenario.flights.size(); ++i) {
    const auto& flight = scenario.flights[i];
    if (i < fixed.flights.size()) {
      EXPECT_EQ(flight.callsign, fixed.flights[i].callsign);
    }
    EXPECT_TRUE(hexids.insert(flight.hexid).second) << flight.callsign;
    EXPECT_TRUE(registrations.insert(flight.registration).second) << flight.callsign;
  }
  for (const auto& parked : scenario.parked) EXPECT_TRUE(hexids.insert(parked.hexid).second) << parked.callsign;
}

TEST_F(TrafficGenTest, FlightsAreReportedEveryTwoToTenSecondsWithTheReferenceDatasAircraft) {
  Options options = sampleOptions();
  options.seed = 7;
  const auto flights = generateTraffic(airport, fleet, options, {}, {});
  std::map<FlightKind, int> kinds;
  for (const GeneratedFlight& g : flights) {
    ++kinds[g.kind];
    const auto& track = g.flight.track;
    ASSERT_GE(track.size(), 3u) << g.flight.callsign;
    EXPECT_GE(track.front().t, 0.0);
    EXPECT_LE(track.back().t, options.durationSeconds);
    for (std::size_t i = 1; i < track.size(); ++i) {
      const double gap = track[i].t - track[i - 1].t;
      EXPECT_TRUE(gap >= 2.0 - 1e-9 && gap <= 10.0 + 1e-9) << g.flight.callsign << " at " << track[i].t << ": " << gap;
    }
    EXPECT_NE(std::find(fleet.airlines.begin(), fleet.airlines.end(), g.flight.airline), fleet.airlines.end());
    EXPECT_TRUE(fleet.types.contains(g.flight.type)) << g.flight.type;
    EXPECT_FALSE(g.flight.registration.empty());
    EXPECT_EQ(g.flight.callsign.rfind(g.flight.airline, 0), 0u);
  }
  EXPECT_EQ(kinds[FlightKind::Overflight], options.overflights);
  EXPECT_GE(kinds[FlightKind::Arrival], options.arrivals - 1);
  EXPECT_GE(kinds[FlightKind::Departure], options.departures - 1);
  EXPECT_EQ(kinds[FlightKind::TaxiOut] + kinds[FlightKind::TaxiIn], options.taxiOut + options.taxiIn);
  // Arrivals followed 300 s past the end: their reports go on, and every report before the end
  // stays as it was.
  options.pastEndSeconds[FlightKind::Arrival] = 300.0;
  const auto followed = generateTraffic(airport, fleet, options, {}, {});
  ASSERT_EQ(followed.size(), flights.size());
  bool longer = false;
  for (std::size_t i = 0; i < flights.size(); ++i) {
    const auto& was = flights[i].flight.track;
    const auto& now = followed[i].flight.track;
    const bool arrival = flights[i].kind == FlightKind::Arrival;
    ASSERT_GE(now.size(), was.size());
    EXPECT_EQ(now.size() == was.size(), !arrival || now.back().t == was.back().t) << flights[i].flight.callsign;
    for (std::size_t p = 0; p < was.size(); ++p) EXPECT_EQ(now[p].t, was[p].t) << flights[i].flight.callsign;
    EXPECT_LE(now.back().t, options.durationSeconds + (arrival ? 300.0 : 0.0)) << flights[i].flight.callsign;
    longer = longer || now.back().t > options.durationSeconds;
  }
  EXPECT_TRUE(longer) << "no arrival reported past the end";
}

// On final, height over the runway grows by tan 3 degrees with the distance, and the path meets
// the ground beyond the threshold, on the runway; then the aircraft touches down there and rolls out.
TEST_F(TrafficGenTest, ArrivalsFlyAThreeDegreePathToTouchDownAndALandingRoll) {
  Options options = sampleOptions();
  options.arrivals = 12;
  options.durationSeconds = 3600.0;
  int checked = 0;
  for (const GeneratedFlight& g : generateTraffic(airport, fleet, options, {}, {})) {
    if (g.kind != FlightKind::Arrival) continue;
    const sim::LayoutRunway* runway = nullptr;
    const sim::LayoutRunwayEnd* landing = end(g.runway, &runway);
    ASSERT_TRUE(landing) << g.runway;
    const double elevation = runway->altitudeMetres * sim::kFeetPerMetre;
    double lat = landing->latitude;
    double lon = landing->longitude;
    sim::offsetPosition(lat, lon, landing->headingDeg, landing->displacedMetres);  // the landing threshold
    // Distance before the threshold along the approach, and height, of the points on final.
    std::vector<std::pair<double, double>> final;
    const rtstandin::TrackPoint* touchDown = nullptr;
    for (const auto& p : g.flight.track) {
      const double d = sim::distanceMetres(lat, lon, p.lat, p.lon);
      const double off = (sim::bearingDeg(lat, lon, p.lat, p.lon) - landing->headingDeg - 180.0) * M_PI / 180.0;
      const double before = d * std::cos(off);
      const double aside = d * std::sin(off);
      if (p.altitude > 0 && before > sim::kMetresPerNm && before < 8 * sim::kMetresPerNm && std::fabs(aside) < 150.0)
        final.emplace_back(before, p.altitude - elevation);
      if (p.altitude == 0 && !touchDown) touchDown = &p;
    }
    if (final.size() < 6 || !touchDown) continue;  // not on final within the scenario
    ++checked;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const auto& [x, y] : final) {
      sx += x;
      sy += y;
      sxx += x * x;
      sxy += x * y;
    }
    const double n = static_cast<double>(final.size());
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);  // ft per metre
    const double intercept = (sy - slope * sx) / n;
    const double angle = std::atan(slope / sim::kFeetPerMetre) * 180.0 / M_PI;
    EXPECT_NEAR(angle, 3.0, 0.15) << g.flight.callsign << " on " << g.runway;
    const double meetsGround = -intercept / slope;  // metres before the threshold; negative beyond it
    EXPECT_TRUE(meetsGround < 0.0 && meetsGround > -600.0) << g.flight.callsign << ": " << meetsGround;
    for (const auto& [x, y] : final) EXPECT_NEAR(y, slope * x + intercept, 30.0) << g.flight.callsign;

    const double fromThreshold = sim::distanceMetres(lat, lon, touchDown->lat, touchDown->lon);
    EXPECT_LT(fromThreshold, 1500.0) << g.flight.callsign;
    EXPECT_GT(touchDown->gs, 100.0) << g.flight.callsign;
    // A flight the scenario's end cuts short is still rolling out.
    if (g.flight.track.back().t < options.durationSeconds - 10.0) {
      EXPECT_LT(g.flight.track.back().gs, 30.0) << g.flight.callsign << " at " << g.flight.track.back().t;
    }
  }
  EXPECT_GE(checked, 6);
}

TEST_F(TrafficGenTest, TaxiingFlightsRunBetweenFreeStandsAndTheRunways) {
  Options options = sampleOptions();
  options.arrivals = options.departures = options.overflights = 0;
  options.taxiOut = options.taxiIn = 4;
  options.durationSeconds = 3600.0;
  const rtstandin::TrafficScenario fixed = rtstandin::loadScenario(lf_inputs().base);
  const auto flights = generateTraffic(airport, fleet, options, {}, fixed.parked);
  ASSERT_EQ(flights.size(), 8u);
  std::set<std::string> stands;
  for (const GeneratedFlight& g : flights) {
    const sim::LayoutStand* at = stand(g.stand);
    ASSERT_TRUE(at) << g.stand;
    EXPECT_TRUE(stands.insert(g.stand).second) << "two flights at " << g.stand;
    for (const auto& parked : fixed.parked)
      EXPECT_GT(sim::distanceMetres(at->latitude, at->longitude, parked.lat, parked.lon), kOccupiedStandMetres) << g.stand;
    const auto& track = g.flight.track;
    for (const auto& p : track) EXPECT_EQ(p.altitude, 0.0) << g.flight.callsign;
    const sim::LayoutRunway* runway = nullptr;
    const sim::LayoutRunwayEnd* e = end(g.runway, &runway);
    ASSERT_TRUE(e);
    const auto& last = track.back();
    if (last.t > options.durationSeconds - 10.0) continue;  // cut short by the scenario's end
    if (g.kind == FlightKind::TaxiIn) {
      // At rest on its stand, coming from the runway's exit.
      EXPECT_LT(sim::distanceMetres(at->latitude, at->longitude, last.lat, last.lon), 3.0) << g.flight.callsign;
      EXPECT_EQ(last.gs, 0.0);
      EXPECT_NEAR(std::remainder(last.trueHeading - at->headingDeg, 360.0), 0.0, 5.0) << g.flight.callsign;
      if (track.front().t > 5.0) {
        EXPECT_LT(sim::distanceMetres(runway->latitude, runway->longitude, track.front().lat, track.front().lon),
                  runway->lengthMetres / 2) << g.flight.callsign;
      }
    } else {
      // Pushed back from the stand, at rest at the holding point short of the runway's start.
      if (track.front().t > 5.0) {
        EXPECT_LT(sim::distanceMetres(at->latitude, at->longitude, track.front().lat, track.front().lon), 3.0)
            << g.flight.callsign;
      }
      EXPECT_EQ(last.gs, 0.0);
      const double fromEnd = sim::distanceMetres(e->latitude, e->longitude, last.lat, last.lon);
      EXPECT_LT(fromEnd, 150.0) << g.flight.callsign;
      EXPECT_GT(fromEnd, 80.0) << g.flight.callsign;
    }
  }
}

// An arrival to a stand flies down to its runway, rolls out, and taxis on until it stands on a
// free stand, lined up with it.
TEST_F(TrafficGenTest, AnArrivalToAStandLandsAndStopsOnAFreeStand) {
  Options options = sampleOptions();
  options.arrivals = options.departures = options.overflights = options.taxiOut = options.taxiIn = 0;
  options.arrivalsToStand = 3;
  options.durationSeconds = 20000.0;  // room for each whole flight
  const rtstandin::TrafficScenario fixed = rtstandin::loadScenario(lf_inputs().base);
  const auto flights = generateTraffic(airport, fleet, options, {}, fixed.parked);
  ASSERT_EQ(flights.size(), 3u);
  for (const GeneratedFlight& g : flights) {
    EXPECT_EQ(g.kind, FlightKind::ArrivalToStand);
    EXPECT_EQ(g.flight.destination, fleet.homeIata);
    const sim::LayoutStand* at = stand(g.stand);
    ASSERT_TRUE(at) << g.stand;
    for (const auto& parked : fixed.parked)
      EXPECT_GT(sim::distanceMetres(at->latitude, at->longitude, parked.lat, parked.lon), kOccupiedStandMetres) << g.stand;
    const auto& track = g.flight.track;
    const auto landed = std::find_if(track.begin(), track.end(), [](const auto& p) { return p.altitude == 0.0; });
    ASSERT_NE(landed, track.begin()) << g.flight.callsign << " reported in the air first";
    ASSERT_NE(landed, track.end()) << g.flight.callsign << " never landed";
    EXPECT_GT(landed->gs, 100.0) << g.flight.callsign;
    for (auto p = landed; p != track.end(); ++p) EXPECT_EQ(p->altitude, 0.0) << g.flight.callsign << " at " << p->t;
    const auto& last = track.back();
    EXPECT_LT(sim::distanceMetres(at->latitude, at->longitude, last.lat, last.lon), 3.0) << g.flight.callsign;
    EXPECT_EQ(last.gs, 0.0);
    EXPECT_NEAR(std::remainder(last.trueHeading - at->headingDeg, 360.0), 0.0, 5.0) << g.flight.callsign;
  }
}

// A departure from a stand is pushed back tail first, taxis out, lines up on the runway and lifts
// off from it: one flight from the stand to the climb-out.
TEST_F(TrafficGenTest, ADepartureFromAStandIsPushedBackTaxisOutAndTakesOff) {
  Options options = sampleOptions();
  options.arrivals = options.departures = options.overflights = options.taxiOut = options.taxiIn = 0;
  options.departuresFromStand = 3;
  options.durationSeconds = 20000.0;  // room for each whole flight
  const auto flights = generateTraffic(airport, fleet, options, {}, {});
  ASSERT_EQ(flights.size(), 3u);
  for (const GeneratedFlight& g : flights) {
    EXPECT_EQ(g.kind, FlightKind::DepartureFromStand);
    EXPECT_EQ(g.flight.origin, fleet.homeIata);
    const sim::LayoutStand* at = stand(g.stand);
    const sim::LayoutRunway* runway = nullptr;
    const sim::LayoutRunwayEnd* e = end(g.runway, &runway);
    ASSERT_TRUE(at && e) << g.stand << " " << g.runway;
    const auto& track = g.flight.track;
    EXPECT_LT(sim::distanceMetres(at->latitude, at->longitude, track.front().lat, track.front().lon), 3.0) << g.flight.callsign;
    const auto moving = std::find_if(track.begin(), track.end(), [](const auto& p) { return p.gs > 0.5; });
    ASSERT_NE(moving, track.end());
    EXPECT_NEAR(std::fabs(std::remainder(moving->trueHeading - moving->track, 360.0)), 180.0, 5.0)
        << g.flight.callsign << " is not pushed back";
    const auto airborne = std::find_if(track.begin(), track.end(), [](const auto& p) { return p.altitude != 0.0; });
    ASSERT_NE(airborne, track.end()) << g.flight.callsign << " never took off";
    const auto& roll = *(airborne - 1);  // the last report on the runway
    EXPECT_GT(roll.gs, 100.0) << g.flight.callsign;
    EXPECT_NEAR(std::remainder(roll.trueHeading - e->headingDeg, 360.0), 0.0, 3.0) << g.flight.callsign;
    EXPECT_LT(sim::distanceMetres(runway->latitude, runway->longitude, roll.lat, roll.lon), runway->lengthMetres / 2)
        << g.flight.callsign << " rolled off the runway";
    for (auto p = airborne; p != track.end(); ++p) EXPECT_NE(p->altitude, 0.0) << g.flight.callsign << " at " << p->t;
  }
}

// The demo's scenario is the generator's own, and each flight's moment falls in its kind's window,
// as the program will show it: arrivals first reported well above the field, departures from a
// stand seen taxiing well before their roll.
TEST_F(TrafficGenTest, TheDemoScenarioIsTheGeneratorsOwnWithItsMomentsInTheirWindows) {
  const Options options = demoOptions();
  const std::string demo = generateScenarioText(lf_inputs(), options);
  EXPECT_EQ(demo, testing_support::readFile(kData / "realtraffic" / "demo_scenario.json"))
      << "regenerate it: build/tools/jorv_traffic_gen --demo --out data/realtraffic/demo_scenario.json";
  const rtstandin::TrafficScenario fixed = rtstandin::loadScenario(lf_inputs().base);
  EXPECT_EQ(rtstandin::parseScenario(demo).parked.size(), fixed.parked.size());

  const double elevation = airport.runways.front().altitudeMetres * sim::kFeetPerMetre;
  using Track = std::vector<rtstandin::TrackPoint>;
  auto firstWhere = [](const Track& track, auto&& test) {
    const auto it = std::find_if(track.begin(), track.end(), test);
    return it == track.end() ? -1.0 : it->t;
  };
  std::map<FlightKind, int> kinds;
  for (const GeneratedFlight& g : generateTraffic(airport, fleet, options, {}, fixed.parked)) {
    ++kinds[g.kind];
    const Track& track = g.flight.track;
    double moment = -1.0;
    switch (g.kind) {
      case FlightKind::Arrival:
      case FlightKind::ArrivalToStand:
        moment = firstWhere(track, [](const auto& p) { return p.altitude == 0.0; });
        EXPECT_GT(track.front().altitude - elevation, 900.0) << g.flight.callsign;
        break;
      case FlightKind::Departure:
        moment = firstWhere(track, [](const auto& p) { return p.altitude != 0.0; });
        // The program creates a flight on the ground away from a stand only while it moves, and
        // only while none of the half minute of reports it holds is faster than a taxi.
        EXPECT_EQ(track.front().altitude, 0.0) << g.flight.callsign;
        EXPECT_GT(track.front().gs, 0.0) << g.flight.callsign << " first seen standing";
        EXPECT_GT(firstWhere(track, [](const auto& p) { return p.gs > 30.0; }) - track.front().t, 40.0)
            << g.flight.callsign << " rolls too soon after it is first reported";
        break;
      case FlightKind::DepartureFromStand: {
        moment = firstWhere(track, [](const auto& p) { return p.altitude != 0.0; });
        const double fast = firstWhere(track, [](const auto& p) { return p.gs > 30.0; });
        EXPECT_EQ(track.front().altitude, 0.0) << g.flight.callsign;
        EXPECT_GT(fast - track.front().t, 40.0) << g.flight.callsign << " is seen taxiing too briefly";
        break;
      }
      case FlightKind::TaxiOut:
        moment = firstWhere(track, [](const auto& p) { return p.gs > 0.0; });
        // The program creates it on its stand only while the half minute of reports it holds
        // stays there.
        EXPECT_GT(moment - track.front().t, 40.0) << g.flight.callsign << " leaves its stand too soon";
        break;
      case FlightKind::TaxiIn:
        moment = firstWhere(track, [](const auto& p) { return p.gs == 0.0; });
        break;
      case FlightKind::Overflight:
        break;
    }
    const auto [from, to] = options.momentWindows.at(g.kind);
    if (g.kind == FlightKind::Overflight) {
      EXPECT_TRUE(track.front().t <= from && track.back().t >= to) << g.flight.callsign;
      continue;
    }
    // Reports come every 2 to 10 s: the moment is seen up to 10 s late.
    EXPECT_GE(moment, from) << g.flight.callsign;
    EXPECT_LE(moment, to + 10.0) << g.flight.callsign;
  }
  EXPECT_EQ(kinds[FlightKind::Arrival], options.arrivals);
  EXPECT_EQ(kinds[FlightKind::ArrivalToStand], options.arrivalsToStand);
  EXPECT_EQ(kinds[FlightKind::Departure], options.departures);
  EXPECT_EQ(kinds[FlightKind::DepartureFromStand], options.departuresFromStand);
  EXPECT_EQ(kinds[FlightKind::TaxiOut], options.taxiOut);
  EXPECT_EQ(kinds[FlightKind::TaxiIn], options.taxiIn);
}

// The waits, the push-back's length and the stands' sizes are the caller's to choose.
TEST_F(TrafficGenTest, WaitsPushBackAndStandSizesFollowTheOptions) {
  struct Case {
    const char* what;
    bool fitting;
    std::pair<double, double> standWait;
    std::pair<double, double> lineUpWait;
    double pushMetres;
  };
  const Case cases[] = {
      {"the defaults", false, {10.0, 25.0}, {15.0, 35.0}, 45.0},
      {"long waits, a long push, fitting stands", true, {45.0, 55.0}, {45.0, 60.0}, 70.0},
  };
  const rtstandin::TrafficScenario fixed = rtstandin::loadScenario(lf_inputs().base);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Options options = sampleOptions();
    options.arrivals = options.overflights = options.taxiIn = 0;
    options.departures = 3;
    options.taxiOut = 3;  // the stands that fit a heavy and keep clear of parked aircraft are few
    options.durationSeconds = 20000.0;  // each whole flight from its start
    options.fittingStands = c.fitting;
    options.standWaitSeconds = c.standWait;
    options.lineUpWaitSeconds = c.lineUpWait;
    options.pushBackMetres = c.pushMetres;
    // Clear of parked aircraft: no stand overlapping it has one.
    auto clear = [&](const sim::LayoutStand& stand) {
      for (const auto& other : airport.stands)
        for (const auto& parked : fixed.parked)
          if (sim::distanceMetres(stand.latitude, stand.longitude, other.latitude, other.longitude) <
                  stand.radiusMetres + other.radiusMetres &&
              sim::distanceMetres(other.latitude, other.longitude, parked.lat, parked.lon) < kOccupiedStandMetres)
            return false;
      return true;
    };
    std::set<std::string> used;
    for (const GeneratedFlight& g : generateTraffic(airport, fleet, options, {}, fixed.parked)) {
      const auto& track = g.flight.track;
      const auto moving = std::find_if(track.begin(), track.end(), [](const auto& p) { return p.gs > 0.0; });
      ASSERT_NE(moving, track.end()) << g.flight.callsign;
      const auto wait = std::make_pair(moving->t - track.front().t, (moving - 1)->t - track.front().t);
      const auto [from, to] = g.kind == FlightKind::TaxiOut ? c.standWait : c.lineUpWait;
      // Reports come every 2 to 10 s: the wait is seen that much short or long.
      EXPECT_GE(wait.first, from - 2.0) << g.flight.callsign;
      EXPECT_LE(wait.second, to) << g.flight.callsign;
      if (g.kind != FlightKind::TaxiOut) continue;
      const sim::LayoutStand* at = stand(g.stand);
      ASSERT_TRUE(at) << g.stand;
      // The push-back: tail first, about its length straight back from the stand.
      double pushed = 0.0;
      for (auto p = moving; p != track.end() && std::fabs(std::remainder(p->trueHeading - p->track, 360.0)) > 90.0; ++p)
        pushed = sim::distanceMetres(at->latitude, at->longitude, p->lat, p->lon);
      EXPECT_NEAR(pushed, c.pushMetres, 12.0) << g.flight.callsign;
      if (!c.fitting) continue;
      EXPECT_TRUE(clear(*at)) << g.stand << " overlaps a stand where an aircraft is parked";
      for (const std::string& name : used)
        EXPECT_GE(sim::distanceMetres(at->latitude, at->longitude, stand(name)->latitude, stand(name)->longitude),
                  at->radiusMetres + stand(name)->radiusMetres)
            << g.stand << " overlaps " << name << ", given to another flight";
      if (fleet.heavy.contains(g.flight.type)) {
        // Heavy gates are few: a heavy may stand elsewhere only once none is left.
        const bool fits = at->radiusMetres >= 30.0 && (at->type == 10 || at->type == 5);
        if (!fits)
          for (const auto& gate : airport.stands)
            if (gate.type == 10 && gate.radiusMetres >= 30.0 && clear(gate)) {
              EXPECT_TRUE(std::any_of(used.begin(), used.end(), [&](const std::string& name) {
                return sim::distanceMetres(gate.latitude, gate.longitude, stand(name)->latitude,
                                           stand(name)->longitude) < gate.radiusMetres + stand(name)->radiusMetres;
              })) << g.flight.callsign << " " << g.flight.type << " at " << g.stand
                                                    << " while " << gate.name << " was free";
            }
      } else {
        EXPECT_NE(at->type, 10) << g.flight.callsign << " " << g.flight.type << " at " << g.stand;
      }
      used.insert(g.stand);
    }
  }
}

// Extra flights come after the others, which stay as they were, and their reports stop for a
// while, or end, where the options say: a feed losing an aircraft in the air.
TEST_F(TrafficGenTest, ExtraFlightsLeaveTheOthersAsTheyWereAndTheirReportsStopWhereAsked) {
  Options options = sampleOptions();
  options.durationSeconds = 600.0;
  options.arrivals = options.departures = 3;
  options.overflights = options.taxiOut = options.taxiIn = 1;
  const rtstandin::TrafficScenario fixed = rtstandin::loadScenario(lf_inputs().base);
  const std::vector<GeneratedFlight> before = generateTraffic(airport, fleet, options, {}, fixed.parked);
  struct Case {
    const char* what;
    Options::ExtraFlight extra;
    double gapFrom;  // seconds after the moment: no report in [from, to), reports on both sides
    double gapTo;
  };
  const double kEnd = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {"a Swiss 777 arriving on 32 lost for 30 s on its final",
       {.kind = FlightKind::Arrival, .runways = {"32"}, .airline = "SWR", .type = "B77W", .window = {150.0, 154.0},
        .gapAfter = -90.0, .gapSeconds = 30.0}, -90.0, -60.0},
      {"a departure from 16 lost for 30 s in its climb",
       {.kind = FlightKind::Departure, .runways = {"16"}, .window = {100.0, 104.0}, .gapAfter = 20.0, .gapSeconds = 30.0},
       20.0, 50.0},
      {"an easyJet A319 from 34 whose reports end",
       {.kind = FlightKind::Departure, .runways = {"34"}, .airline = "EZY", .type = "A319", .window = {60.0, 64.0},
        .gapAfter = 40.0, .gapSeconds = kEnd}, 40.0, kEnd},
      {"a departure seen taxiing on to 34 that waits 70 s lined up",
       {.kind = FlightKind::Departure, .runways = {"34"}, .window = {300.0, 304.0}, .taxiOn = true, .lineUpSeconds = 70.0},
       0.0, 0.0},
      {"a rolling take-off from 14 whose reports run on past the end",
       {.kind = FlightKind::Departure, .runways = {"14"}, .window = {580.0, 584.0}, .taxiOn = true, .lineUpSeconds = 0.0,
        .pastEndSeconds = 60.0}, 0.0, 0.0},
      {"an arrival on 16 placed as asked, whatever the others do",
       {.kind = FlightKind::Arrival, .runways = {"16"}, .window = {200.0, 204.0}, .asPlaced = true}, 0.0, 0.0},
      {"a heavy lined up on 16 right behind that landing, 10 s",
       {.kind = FlightKind::Departure, .runways = {"16"}, .airline = "SWR", .type = "B77W", .taxiOn = true,
        .lineUpSeconds = 10.0, .asPlaced = true, .linesUpBehind = 5, .behindSeconds = 0.0}, 0.0, 0.0},
  };
  options.extraFlights.clear();
  for (const Case& c : cases) options.extraFlights.push_back(c.extra);
  const std::vector<GeneratedFlight> after = generateTraffic(airport, fleet, options, {}, fixed.parked);
  ASSERT_EQ(after.size(), before.size() + std::size(cases));
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_FALSE(after[i].extra);
    EXPECT_EQ(after[i].flight.callsign, before[i].flight.callsign);
    ASSERT_EQ(after[i].flight.track.size(), before[i].flight.track.size()) << before[i].flight.callsign;
    for (std::size_t p = 0; p < before[i].flight.track.size(); ++p) {
      EXPECT_EQ(after[i].flight.track[p].t, before[i].flight.track[p].t);
      EXPECT_EQ(after[i].flight.track[p].lat, before[i].flight.track[p].lat);
      EXPECT_EQ(after[i].flight.track[p].altitude, before[i].flight.track[p].altitude);
    }
  }
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    const Case& c = cases[k];
    const GeneratedFlight& g = after[before.size() + k];
    SCOPED_TRACE(c.what);
    EXPECT_EQ(g.kind, c.extra.kind);
    EXPECT_TRUE(g.extra);
    EXPECT_EQ(g.runway, c.extra.runways.front());
    if (!c.extra.airline.empty()) {
      EXPECT_EQ(g.flight.airline, c.extra.airline);
      EXPECT_EQ(g.flight.type, c.extra.type);
      EXPECT_EQ(g.flight.callsign.substr(0, 3), c.extra.airline);
    }
    const auto& track = g.flight.track;
    ASSERT_GT(track.size(), 6u);
    // Every 2 to 10 s but for one gap of the length asked for (a report or two less on each side),
    // which begins and ends in the air; reports that end stop in the air well before the scenario.
    std::size_t longest = 1;
    for (std::size_t p = 2; p < track.size(); ++p)
      if (track[p].t - track[p - 1].t > track[longest].t - track[longest - 1].t) longest = p;
    const double ground = airport.elevationMetres * sim::kFeetPerMetre;
    for (std::size_t p = 1; p < track.size(); ++p) {
      if (!(c.extra.gapSeconds > 0.0) || !std::isfinite(c.extra.gapSeconds) || p != longest) {
        EXPECT_LE(track[p].t - track[p - 1].t, 10.01) << track[p].t;
      }
    }
    if (c.extra.taxiOn) {
      // First seen taxiing; then standing, last at the holding point or lined up for the wait asked
      // for; then the roll.
      EXPECT_TRUE(track.front().altitude == 0.0 && track.front().gs > 2.0 && track.front().gs < 15.0) << track.front().gs;
      const auto airborne = std::find_if(track.begin(), track.end(), [](const auto& p) { return p.altitude > 0.0; });
      ASSERT_NE(airborne, track.end());
      auto stop = std::find_if(std::make_reverse_iterator(airborne), track.rend(), [](const auto& p) { return p.gs == 0.0; });
      ASSERT_NE(stop, track.rend());
      double stoodFrom = stop->t;
      for (auto it = stop; it != track.rend() && it->gs == 0.0; ++it) stoodFrom = it->t;
      if (c.extra.lineUpSeconds > 0.0) {
        EXPECT_GE(stop->t - stoodFrom, c.extra.lineUpSeconds - 12.0);
        EXPECT_LE(stop->t - stoodFrom, c.extra.lineUpSeconds + 2.0);
        EXPECT_LT(airborne->t - stop->t, 55.0) << "the roll from the line-up";
      } else {
        EXPECT_GT(airborne->t - stop->t, 55.0) << "on to the runway and the roll without a stop";
      }
      if (c.extra.pastEndSeconds > 0.0) { EXPECT_GT(track.back().t, options.durationSeconds); }
      EXPECT_LE(track.back().t, options.durationSeconds + c.extra.pastEndSeconds);
      if (c.extra.linesUpBehind) {
        // Lined up once the arrival ahead has touched down, rolling as it turns off the runway.
        const auto& ahead = after[before.size() + *c.extra.linesUpBehind].flight.track;
        const auto touch = std::find_if(ahead.begin(), ahead.end(), [](const auto& p) { return p.altitude == 0.0; });
        ASSERT_NE(touch, ahead.end());
        const auto off = std::find_if(touch, ahead.end(), [&](const auto& p) {
          return std::fabs(std::remainder(p.track - touch->track, 360.0)) > 20.0;
        });
        ASSERT_NE(off, ahead.end());
        EXPECT_GT(stoodFrom, touch->t);
        EXPECT_GT(stop->t, off->t - 12.0) << "the roll as the arrival turns off";
        EXPECT_LT(stop->t, off->t + 25.0) << "the roll as the arrival turns off";
      }
    } else if (!(c.extra.gapSeconds > 0.0)) {
      // Landing at its moment, though the others use the runway then.
      const auto touch = std::find_if(track.begin(), track.end(), [](const auto& p) { return p.altitude == 0.0; });
      ASSERT_NE(touch, track.end());
      EXPECT_NEAR(touch->t, (c.extra.window.first + c.extra.window.second) / 2.0, 10.0);
    } else if (std::isfinite(c.extra.gapSeconds)) {
      EXPECT_GE(track[longest].t - track[longest - 1].t, c.extra.gapSeconds);
      EXPECT_LE(track[longest].t - track[longest - 1].t, c.extra.gapSeconds + 20.0);
      EXPECT_GT(track[longest - 1].altitude, ground + 500.0);
      EXPECT_GT(track[longest].altitude, ground + 500.0);
    } else {
      EXPECT_GT(track.back().altitude, ground + 800.0);
      EXPECT_LT(track.back().t, options.durationSeconds - 60.0);
    }
  }
}

TEST_F(TrafficGenTest, ImpossibleRequestsAreNamed) {
  struct Case {
    const char* what;
    Options options;
    bool noRunways;
    const char* clue;
  };
  Options unknownRunway;
  unknownRunway.arrivalRunways = {"09"};
  Options tooManyTaxis;
  tooManyTaxis.taxiOut = 200;
  Options noTime;
  noTime.durationSeconds = 0.0;
  Options unknownExtraRunway;
  unknownExtraRunway.extraFlights = {{.kind = FlightKind::Departure, .runways = {"27"}}};
  Options behindNoArrival;
  behindNoArrival.extraFlights = {{.kind = FlightKind::Departure, .runways = {"16"}},
                                  {.kind = FlightKind::Departure, .runways = {"16"}, .linesUpBehind = 0}};
  Options unknownAirline;
  unknownAirline.extraFlights = {{.kind = FlightKind::Departure, .airline = "XYZ", .type = "A320"}};
  const Case cases[] = {
      {"a runway the airport does not have", unknownRunway, false, "runway 09 is not at LSZH"},
      {"more taxiing flights than stands", tooManyTaxis, false, "no free stand left"},
      {"no time", noTime, false, "the duration must be positive"},
      {"an extra flight from a runway the airport does not have", unknownExtraRunway, false, "runway 27 is not at LSZH"},
      {"an extra flight of an airline the generator does not know", unknownAirline, false, "no XYZ A320 can be made up"},
      {"a departure lined up behind a departure", behindNoArrival, false, "lines up behind no earlier extra arrival"},
      {"an airport without runways", Options{}, true, "LSZH has no runways"},
  };
  for (const Case& c : cases) {
    sim::FacilityLayout layout = airport;
    if (c.noRunways) layout.runways.clear();
    try {
      generateTraffic(layout, fleet, c.options, {}, {});
      ADD_FAILURE() << c.what << " was accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.clue), std::string::npos) << c.what << ": " << e.what();
    }
  }
  Inputs missing = lf_inputs();
  missing.dbase = kData / "no-such-dbase.xml";
  EXPECT_THROW(generateScenarioText(missing, sampleOptions()), std::runtime_error);
}

}  // namespace
