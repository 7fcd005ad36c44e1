// The generator's traffic could really fly: arrivals on a 3-degree path over the threshold at
// about 40 ft, first reported on the ground 300 to 500 m past it, turning off at distinct exits;
// touch-downs on one runway 90 s apart; nothing on a runway in the way of an aircraft rolling fast
// along it or coming in low; mixed types; stands clear of the runway strips.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <optional>
#include <set>

#include "standin/realtraffic/traffic_scenario.h"
#include "tests/support/test_support.h"
#include "tools/traffic_gen.h"

namespace {

using namespace trafficgen;
namespace sim = standin::sim;

const std::filesystem::path kData = testing_support::sourceDataFolder();

// A point against a runway end: metres past its landing threshold (negative before it) and beside
// its centreline.
struct Place {
  double along = 0.0;
  double aside = 0.0;
};

struct End {
  const sim::LayoutRunway* runway = nullptr;
  const sim::LayoutRunwayEnd* end = nullptr;
  Place at(double lat, double lon) const {
    const double d = sim::distanceMetres(end->latitude, end->longitude, lat, lon);
    const double angle = (sim::bearingDeg(end->latitude, end->longitude, lat, lon) - end->headingDeg) * M_PI / 180.0;
    return {d * std::cos(angle) - end->displacedMetres, d * std::sin(angle)};
  }
  bool onStrip(const Place& p, double margin = 40.0) const {
    return std::fabs(p.aside) <= runway->widthMetres / 2.0 + margin && p.along >= -end->displacedMetres - 60.0 &&
           p.along <= runway->lengthMetres - end->displacedMetres + 60.0;
  }
};

class TrafficGenRunwaysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    airport = sim::readFacilityLayout(kData / "sim" / "facilities" / "LSZH.json");
    fleet = readFleet(kData / "dbase.xml", kData / "airports.xml", "LSZH");
    for (const auto& r : airport.runways)
      for (const auto* e : {&r.primary, &r.secondary}) ends[e->designator] = End{&r, e};
  }
  double elevationFeet() const { return airport.runways.front().altitudeMetres * sim::kFeetPerMetre; }
  sim::FacilityLayout airport;
  Fleet fleet;
  std::map<std::string, End> ends;
};

Options lf_busy() {
  Options options = sampleOptions();
  options.seed = 11;
  options.durationSeconds = 3600.0;
  options.arrivals = 12;
  options.departures = 8;
  options.taxiIn = 3;
  options.taxiOut = 3;
  options.arrivalsToStand = 2;
  options.departuresFromStand = 2;
  return options;
}

TEST_F(TrafficGenRunwaysTest, TheStandsKeepClearOfTheRunwayStrips) {
  ASSERT_FALSE(airport.stands.empty());
  for (const auto& stand : airport.stands)
    for (const auto& [designator, e] : ends) {
      const Place p = e.at(stand.latitude, stand.longitude);
      // Beside the runway's length the strip reaches 150 m either side; beyond its ends, by the
      // distance to the end.
      const double length = e.runway->lengthMetres - e.end->displacedMetres;
      const double beyond = p.along < -e.end->displacedMetres ? -e.end->displacedMetres - p.along
                            : p.along > length             ? p.along - length
                                                           : 0.0;
      EXPECT_GT(std::hypot(std::fabs(p.aside), beyond) - stand.radiusMetres, 150.0)
          << stand.name << " on the strip of " << designator;
    }
}

TEST_F(TrafficGenRunwaysTest, ArrivalsComeDownAPathThatCouldBeFlownAndTurnOffAtDistinctExits) {
  for (const Options& options : {sampleOptions(), demoOptions(), lf_busy()}) {
    SCOPED_TRACE(options.seed);
    std::map<std::string, std::vector<std::pair<double, double>>> exits;  // by runway: touch-down time, turn-off
    std::vector<std::pair<double, std::string>> types;                    // by touch-down time
    int judged = 0;
    for (const GeneratedFlight& g : generateTraffic(airport, fleet, options, {}, {})) {
      if (g.kind != FlightKind::Arrival && g.kind != FlightKind::ArrivalToStand) continue;
      const End& e = ends.at(g.runway);
      const auto& track = g.flight.track;
      std::optional<std::size_t> ground;
      for (std::size_t i = 1; i < track.size() && !ground; ++i)
        if (track[i].altitude == 0.0 && track[i - 1].altitude > 0.0) ground = i;
      if (!ground) continue;  // not down within the scenario
      ++judged;
      const std::string who = g.flight.callsign + " on " + g.runway;
      const auto& first = track[*ground];
      const Place down = e.at(first.lat, first.lon);
      EXPECT_GE(down.along, 300.0) << who;
      EXPECT_LE(down.along, 500.0) << who;
      EXPECT_LT(std::fabs(down.aside), 10.0) << who;
      // On the final's last 3 km: on a 3-degree path that crosses the threshold at about 40 ft
      // (pressure altitudes in 25-ft steps).
      for (std::size_t i = 0; i < *ground; ++i) {
        const Place p = e.at(track[i].lat, track[i].lon);
        if (p.along > 0.0 || p.along < -3000.0 || std::fabs(p.aside) > 100.0) continue;
        const double path = 43.0 - p.along * std::tan(3.0 * M_PI / 180.0) * sim::kFeetPerMetre;
        EXPECT_NEAR(track[i].altitude - elevationFeet(), path, 35.0) << who << " at " << p.along << " m";
      }
      // Rolled out and off the runway where an exit is, 1300 m or more past the threshold.
      for (std::size_t i = *ground; i < track.size(); ++i) {
        const Place p = e.at(track[i].lat, track[i].lon);
        if (std::fabs(p.aside) <= e.runway->widthMetres / 2.0) continue;
        EXPECT_GT(p.along, 1300.0) << who;
        EXPECT_LT(track[i].gs, 35.0) << who << " leaves the runway fast";
        exits[g.runway].emplace_back(first.t, p.along);
        break;
      }
      types.emplace_back(first.t, g.flight.type);
    }
    EXPECT_GE(judged, 2);
    for (auto& [runway, list] : exits) {
      std::sort(list.begin(), list.end());
      for (std::size_t i = 1; i < list.size(); ++i) {
        // One after another on a runway: 90 s apart; within three minutes, at different exits.
        EXPECT_GE(list[i].first - list[i - 1].first, 89.0) << runway << " at " << list[i].first;
        if (list[i].first - list[i - 1].first < 180.0) {
          EXPECT_GT(std::fabs(list[i].second - list[i - 1].second), 150.0) << runway << " at " << list[i].first;
        }
      }
    }
    std::sort(types.begin(), types.end());
    for (std::size_t i = 2; i < types.size(); ++i)
      EXPECT_FALSE(types[i].second == types[i - 1].second && types[i].second == types[i - 2].second)
          << "three " << types[i].second << " in a row";
  }
}

// Second by second through the scenario: while one aircraft rolls fast along a runway or comes in
// below 600 ft to it, no other stands or moves on that runway.
TEST_F(TrafficGenRunwaysTest, NothingIsOnARunwayInTheWayOfALandingOrATakeOff) {
  for (const Options& options : {sampleOptions(), demoOptions(), lf_busy()}) {
    SCOPED_TRACE(options.seed);
    const auto flights = generateTraffic(airport, fleet, options, {}, {});
    std::size_t fastSeconds = 0;
    std::set<std::string> named;
    for (double t = 0.0; t <= options.durationSeconds; t += 1.0) {
      for (const auto& [designator, e] : ends) {
        std::vector<const GeneratedFlight*> inTheWay;
        std::vector<const GeneratedFlight*> present;
        for (const GeneratedFlight& g : flights) {
          const auto p = rtstandin::positionAt(g.flight, t);
          if (!p) continue;
          const Place at = e.at(p->lat, p->lon);
          const double off = std::fabs(std::remainder(p->track - e.end->headingDeg, 360.0));
          const bool alongIt = off < 30.0;
          if (p->altitude > 0.0) {
            const bool low = p->altitude - elevationFeet() < 600.0 && alongIt && std::fabs(at.aside) < 300.0 &&
                             at.along > -5000.0 && at.along < 0.0;
            // Only an arrival comes in low; a departure climbing away is out of the way.
            if (low && (g.kind == FlightKind::Arrival || g.kind == FlightKind::ArrivalToStand)) inTheWay.push_back(&g);
          } else if (e.onStrip(at, 30.0)) {
            (alongIt && p->gs >= 40.0 ? inTheWay : present).push_back(&g);
          }
        }
        fastSeconds += inTheWay.empty() ? 0 : 1;
        if (inTheWay.empty() || inTheWay.size() + present.size() < 2) continue;
        std::string text;
        for (const auto* g : inTheWay) text += " " + g->flight.callsign + "(in the way)";
        for (const auto* g : present) text += " " + g->flight.callsign;
        if (named.insert(designator + text).second) ADD_FAILURE() << "runway " << designator << " at " << t << " s:" << text;
      }
    }
    EXPECT_GT(fastSeconds, 20u) << "no landing or take-off to judge";
  }
}

}  // namespace
