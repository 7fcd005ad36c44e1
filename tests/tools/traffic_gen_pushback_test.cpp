// The generator's own record of when a flight that leaves a stand pushes back: the reports show
// it on its stand up to that moment and moving off it soon after; other flights have none.
#include <gtest/gtest.h>

#include <cmath>

#include "standin/realtraffic/traffic_scenario.h"
#include "tests/support/test_support.h"
#include "tools/traffic_gen.h"

namespace {

using namespace trafficgen;
namespace sim = standin::sim;

TEST(TrafficGenPushback, FlightsFromAStandKnowWhenTheyPushBackTheOthersDoNot) {
  const auto data = testing_support::sourceDataFolder();
  const auto airport = sim::readFacilityLayout(data / "sim" / "facilities" / "LSZH.json");
  const Fleet fleet = readFleet(data / "dbase.xml", data / "airports.xml", "LSZH");
  Options options = sampleOptions();
  options.arrivals = options.departures = options.overflights = options.taxiIn = 1;
  options.taxiOut = 3;
  options.departuresFromStand = 3;
  options.durationSeconds = 20000.0;  // every flight whole
  std::size_t fromStands = 0;
  for (const GeneratedFlight& g : generateTraffic(airport, fleet, options, {}, {})) {
    const bool fromStand = g.kind == FlightKind::TaxiOut || g.kind == FlightKind::DepartureFromStand;
    ASSERT_EQ(std::isfinite(g.pushbackAt), fromStand) << g.flight.callsign;
    if (!fromStand) continue;
    ++fromStands;
    const auto& track = g.flight.track;
    const auto& first = track.front();
    ASSERT_LT(first.t, g.pushbackAt) << g.flight.callsign << " is reported first after its push-back";
    for (const rtstandin::TrackPoint& p : track) {
      const double off = sim::distanceMetres(first.lat, first.lon, p.lat, p.lon);
      if (p.t <= g.pushbackAt) {
        EXPECT_LT(off, 0.5) << g.flight.callsign << " moves at " << p.t;
      } else if (p.t >= g.pushbackAt + 20.0) {
        // Pushed at 3 kt, it is a few metres off its stand within 20 s.
        EXPECT_GT(off, 3.0) << g.flight.callsign << " still there at " << p.t;
      }
    }
  }
  EXPECT_EQ(fromStands, 6u);
}

}  // namespace
