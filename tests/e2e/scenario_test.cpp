// The real program, headless, against the stand-in simulator and the RealTraffic desktop app
// stand-in for about a minute, with the simulator going away and coming back, the app
// disconnecting, and a feed full of noise; then what a user would have seen, checked.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include "tests/e2e/scenario_run.h"
#include "tests/support/test_support.h"
#include "tools/trace_picture.h"
#include "tools/traffic_gen.h"

namespace {

using namespace e2e;

bool lf_contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

void lf_expectNone(std::string_view check, const Complaints& complaints) {
  if (!complaints.empty()) ADD_FAILURE() << check << ": " << summary(complaints);
}

std::filesystem::path lf_runFolder(const testing_support::TempDir& dir, const char* name) {
  const char* keep = std::getenv("JORV_E2E_KEEP");  // a folder to keep the runs' files in
  return (keep && *keep ? std::filesystem::path(keep) : dir.path()) / name;
}

// What a pilot watching the traffic in the air and as it lands would not accept.
void lf_checkInTheAir(const RunResult& run) {
  // The user stands parked all run long: the tests for a user in the air never meet it.
  for (const char* test : {"(checkUserAirCollision)", "(checkUserAirGndCollision)"}) {
    EXPECT_FALSE(lf_contains(run.log, test)) << "an aircraft removed for the parked user by " << test;
  }
  lf_expectNone("landings off the runway", landingsOffTheRunway(run.trace, run.knowledge));
  lf_expectNone("steep near the ground", steepNearTheGround(run.trace, run.knowledge));
  lf_expectNone("removed near the ground", removedNearTheGround(run.trace, run.knowledge));
  lf_expectNone("attitude", attitudeOutOfRange(run.trace));
  lf_expectNone("slow in the air", slowInTheAir(run.trace, run.knowledge));
  lf_expectNone("climbing on final", climbOnFinal(run.trace, run.knowledge));
  lf_expectNone("the nose slams down", noseSlamsDown(run.trace));
  lf_expectNone("a roll off the flight's delay", rollOffItsDelay(run.trace, run.knowledge));
  lf_expectNone("a roll later behind its reports than its taxi", rollLaterThanItsTaxi(run.trace, run.knowledge));
  lf_expectNone("hanging still after its creation", hangingStillAfterCreation(run.trace, run.knowledge));
  lf_expectNone("a go-around touching down", goAroundsTouchingDown(run.trace, run.knowledge));
  lf_expectNone("vertical speed swings", verticalSpeedSwings(run.trace, run.knowledge));
  lf_expectNone("air speed jumps", airSpeedJumps(run.trace, run.knowledge));
  lf_expectNone("a climb losing speed", climbLosingSpeed(run.trace, run.knowledge));
  lf_expectNone("altitude steps", altitudeSteps(run.trace, run.knowledge));
}

// What a pilot watching the traffic on the ground would not accept, second by second as well.
void lf_checkOnTheGround(const RunResult& run) {
  lf_expectNone("sliding on the ground", slidingOnTheGround(run.trace));
  lf_expectNone("ground speed jumps", groundSpeedJumps(run.trace, machineShares(run.trace, run.knowledge), &run.knowledge));
  lf_expectNone("ground speed steps", groundSpeedSteps(run.trace, run.knowledge));
  lf_expectNone("motion against the heading", motionAgainstHeading(run.trace, run.knowledge));
  lf_expectNone("the nose off the motion", noseOffTheMotion(run.trace));
  lf_expectNone("turning on the spot", turningOnTheSpot(run.trace, run.knowledge));
}

// What both feeds share: an orderly end, traffic back after the faults, and no complaint.
void lf_checkRun(const RunResult& run) {
  EXPECT_TRUE(lf_contains(run.log, "Shutdown cleanup completed; posting MSG_EXIT\n")) << run.log;
  const tracepicture::TraceCounts counts = tracepicture::countTrace(run.trace);
  EXPECT_GE(counts.created, 10u) << tracepicture::countsLine(counts);
  // A fault may take every object at once (the simulator closing, or the program restarting for a
  // lost link); the program puts its traffic back, the last one aside, which may come too late in the run.
  // How long a restart takes is the machine's: the 20 s count from when the program was back.
  std::vector<double> wholesale = wholesaleRemovals(run.trace);
  ASSERT_GE(wholesale.size(), 1u) << "the orderly end";
  wholesale.pop_back();
  for (std::size_t i = 0; i + 1 < wholesale.size(); ++i) {
    double from = wholesale[i];
    for (const double at : run.programBackAt)
      if (at > wholesale[i] && at < wholesale[i + 1]) {
        from = std::max(from, at);
        break;
      }
    bool back = false;
    for (const auto& e : run.trace.events) back = back || (e.event == "create" && e.t > wholesale[i] && e.t < from + 20.0);
    EXPECT_TRUE(back) << "nothing created within 20 s after every object went at " << wholesale[i]
                      << (from > wholesale[i] ? fmt::format(" and the program was back at {:.1f} s", from) : std::string());
  }
  EXPECT_GE(run.expectedTitles.size(), 5u) << "live flights whose livery the ladder could check";

  lf_expectNone("floating or sinking", floatingOrSinking(run.trace, run.knowledge));
  lf_expectNone("ghosts and duplicates", ghostsAndDuplicates(run.trace, run.knowledge));
  std::size_t judgedDepartures = 0;
  lf_expectNone("stuck at the gate", stuckAtTheGate(run.trace, run.knowledge, &judgedDepartures));
  // A push-back the run never shows, or shows only to take away again, proves nothing.
  EXPECT_GE(judgedDepartures, 1u) << "no departure's leaving its stand was judged";
  lf_expectNone("parked live past the parking rules", parkedLivePastTheRules(run.trace, run.knowledge, run.window.maxPark));
  lf_expectNone("the window's counts", windowCountsDiffer(run.trace, run.knowledge, run.window));
  // Counts of 0 against an empty simulator would agree without showing anything.
  EXPECT_GT(run.window.live.value_or(0) + run.window.parkedLive.value_or(0) + run.window.parkedStatic.value_or(0), 0)
      << "the window counts no aircraft at its close";
  EXPECT_GT(run.knowledge.ownedAtShutdown.value_or(0), 0u) << "the program had no object left to remove at its end";
  lf_expectNone("wrong livery", wrongLivery(run.trace, run.knowledge, run.expectedTitles, run.installedTitles));
  lf_expectNone("teleporting", teleporting(run.trace, run.knowledge));
  lf_expectNone("parked aircraft", parkedAircraft(run.trace, run.knowledge, 30.0));
  lf_expectNone("left behind", leftBehind(run.trace));
  lf_checkInTheAir(run);
  lf_checkOnTheGround(run);
  lf_expectNone("runway shared", runwayShared(run.trace, run.knowledge));
  lf_expectNone("same registration", sameRegistration(run.trace));
}

// The simulator's outage took the static aircraft: the parking adjustment it asks for runs before
// the close, and live traffic moves on across it, so that a hold-up of the program there would show
// as a leap to the teleport check.
void lf_checkAdjustmentAfterTheOutage(const RunResult& run, const FaultPlan& plan) {
  const std::size_t resumed = run.log.rfind("Flight resumed\n");
  ASSERT_NE(resumed, std::string::npos) << "the simulator's outage is not in the log";
  EXPECT_NE(run.log.find("\nParking adjustments: ", resumed), std::string::npos)
      << "no parking adjustment after the simulator's outage";
  const std::optional<double> placed =
      firstStaticPlacement(run.trace, run.knowledge, plan.simulatorOutageAt + plan.simulatorOutageFor);
  ASSERT_TRUE(placed) << "no static aircraft placed after the simulator's outage";
  EXPECT_GE(movingAcross(run.trace, run.knowledge, *placed, 5.0, 3.0), 2u)
      << "live flights moving from 5 s before the adjustment's first placement at " << *placed << " s to 3 s after it";
}

// The program stands a flight only on a stand that takes it: the scenario's departures start on
// such stands, under identities of their own.
TEST(Scenario, TheFlightsThatStandHaveStandsThatTakeThem) {
  std::map<std::string, Kind> kinds;
  const rtstandin::TrafficScenario scenario = scenarioTraffic(kinds);
  const std::filesystem::path data = testing_support::sourceDataFolder();
  const auto airport = standin::sim::readFacilityLayout(data / "sim" / "facilities" / "LSZH.json");
  const trafficgen::Fleet fleet = trafficgen::readFleet(data / "dbase.xml", data / "airports.xml", airport.icao);
  std::set<std::string> registrations;
  std::set<std::uint32_t> hexids;
  std::size_t standing = 0;
  for (const rtstandin::Flight& flight : scenario.flights) {
    EXPECT_TRUE(registrations.insert(flight.registration).second) << flight.registration;
    EXPECT_TRUE(hexids.insert(flight.hexid).second) << flight.registration;
    const Kind kind = kinds.at(flight.registration);
    if (kind != Kind::TaxiOut || flight.track.empty()) continue;
    const rtstandin::TrackPoint& at = flight.track.front();
    const standin::sim::LayoutStand* stand = nullptr;
    for (const auto& s : airport.stands)
      if (standin::sim::distanceMetres(s.latitude, s.longitude, at.lat, at.lon) < 5.0) stand = &s;
    ASSERT_NE(stand, nullptr) << flight.registration << " stands on no stand";
    EXPECT_TRUE(standTakes(*stand, flight.type, fleet.heavy.contains(flight.type)))
        << flight.registration << " (" << flight.type << ") on " << stand->name << ", radius " << stand->radiusMetres;
    ++standing;
  }
  EXPECT_GE(standing, 2u);
  // The rule itself on this airport's stands: an A380 outgrows a 30 m heavy gate, a 777 does not;
  // a medium gate takes an A320 but no heavy.
  std::size_t judged = 0;
  for (const auto& s : airport.stands) {
    if (s.type == 10 && s.radiusMetres == 30.0) {
      EXPECT_FALSE(standTakes(s, "A388", true));
      EXPECT_TRUE(standTakes(s, "B77W", true));
      ++judged;
    }
    if (s.type == 9) {
      EXPECT_TRUE(standTakes(s, "A320", false));
      EXPECT_FALSE(standTakes(s, "B789", true));
      ++judged;
    }
  }
  EXPECT_GE(judged, 2u);
}

// The program listens for the app's datagrams on fixed ports; another program holding them
// (a demo running on this machine) would take the traffic away.
bool lf_udpPortFree(std::uint16_t port) {
  const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (s < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  const bool free = ::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(s);
  return free;
}

TEST(Scenario, RTAppWithFaultsAndNoiseLeavesNoComplaint) {
  for (std::uint16_t port : {std::uint16_t{49004}, std::uint16_t{49005}})
    if (!lf_udpPortFree(port)) GTEST_SKIP() << "UDP port " << port << " is held by another program on this machine";
  testing_support::TempDir dir;
  const RunResult run = runScenario(lf_runFolder(dir, "rtapp"), FaultPlan{}, FeedMode::RTApp);
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_GE(run.feed.connects, 2u) << "the app connects, drops and comes back";
  EXPECT_GT(run.feed.repeated, 0u);
  EXPECT_GT(run.feed.nanSpeeds, 0u);
  EXPECT_GT(run.feed.badLines, 0u);
  EXPECT_GT(run.feed.gapsSkipped, 0u);
  EXPECT_GE(wholesaleRemovals(run.trace).size(), 2u) << "the app's and the simulator's faults";
  lf_checkRun(run);
  lf_checkAdjustmentAfterTheOutage(run, FaultPlan{});
}

// A first run as a user makes it: parked at Zurich, in RT App mode, with RealTraffic's own app,
// whose traffic lines carry an authentication number where the stand-in wrote the operator.
// The airport is filled at start with the app's parked aircraft, and the live flights are shown.
TEST(Scenario, ParkedAtZurichWithRealTrafficsOwnAppTheAirportFillsAndTheFlightsCome) {
  for (std::uint16_t port : {std::uint16_t{49004}, std::uint16_t{49005}})
    if (!lf_udpPortFree(port)) GTEST_SKIP() << "UDP port " << port << " is held by another program on this machine";
  testing_support::TempDir dir;
  FaultPlan plan = calmPlan(75.0);
  plan.layout = rtstandin::TrafficLayout::vendor;
  const RunResult run = runScenario(lf_runFolder(dir, "first-run"), plan, FeedMode::RTApp);
  ASSERT_EQ(run.exitCode, 0) << run.errors;

  // The start waits for the on-ground state: the park airport, then the app's parked traffic.
  EXPECT_TRUE(lf_contains(run.log, "User aircraft on the ground at LSZH\n")) << run.log;
  EXPECT_FALSE(lf_contains(run.log, "user not at an airport")) << run.log;
  const bool askedForParked = std::any_of(run.appRequests.begin(), run.appRequests.end(),
                                          [](const std::string& line) { return line.starts_with("Qs999=sendparked,"); });
  EXPECT_TRUE(askedForParked) << "the app was never asked for the airport's parked aircraft";

  std::set<std::string> created;
  for (const auto& e : run.trace.events)
    if (e.event == "create") created.insert(e.tailNumber);
  std::size_t appsParked = 0, appsParkedShown = 0, airborneShown = 0;
  std::map<std::string, std::string> callsignOf;
  for (const auto& [registration, fact] : run.knowledge.flights) {
    const bool shown = created.contains(registration);
    if (fact.kind == Kind::Parked) {
      ++appsParked;
      appsParkedShown += shown ? 1 : 0;
    } else if (fact.kind == Kind::Arrival || fact.kind == Kind::Overflight) {
      airborneShown += shown ? 1 : 0;
    }
  }
  ASSERT_GT(appsParked, 0u);
  EXPECT_GE(appsParkedShown * 2, appsParked) << appsParkedShown << " of the app's " << appsParked << " parked aircraft";
  // The wanted share of the stands is held by parked aircraft (static and live) at the close;
  // without the app's parked list at start a handful stood there.
  ASSERT_TRUE(run.window.maxPark && run.window.parkedStatic && run.window.parkedLive);
  EXPECT_GE(2 * (*run.window.parkedStatic + *run.window.parkedLive), *run.window.maxPark)
      << *run.window.parkedStatic << " static and " << *run.window.parkedLive << " live parked of " << *run.window.maxPark;
  lf_expectNone("parked aircraft", parkedAircraft(run.trace, run.knowledge, 30.0));

  // The flights in the air come, each under the airline of its callsign (the livery line of the
  // log: callsign, registration, route, airline, type), and none is left out for want of a livery.
  EXPECT_GE(airborneShown, 3u);
  std::size_t judged = 0;
  std::istringstream lines(run.log);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string callsign, registration, route, airline;
    if (!(words >> callsign >> registration >> route >> airline) || route.find("->") == std::string::npos) continue;
    const auto fact = run.knowledge.flights.find(registration);
    if (fact == run.knowledge.flights.end() || fact->second.kind == Kind::Parked) continue;
    EXPECT_EQ(airline, callsign.substr(0, 3)) << line;
    ++judged;
  }
  EXPECT_GE(judged, 3u) << "live flights whose livery line names the airline";
  for (const auto& [registration, fact] : run.knowledge.flights) {
    if (fact.kind == Kind::Arrival || fact.kind == Kind::Overflight) {
      EXPECT_EQ(run.log.find(" " + registration + " ("), std::string::npos) << registration << ": no livery matched";
    }
  }
}

// Another day, its QNH far from the standard one, in a short calm run: the app sends the
// altitudes set to the QNH, the web API as the transponders sent them, and the program shows the
// day's QNH and lands the arrivals on their runways, the first on 32, over runway 16/34. The QNH
// changes during the run, and no altitude steps for it. Each departure's roll starts at its
// taxi's delay behind its reports.
// `heavy`: the run lasts until the heavy lined up on 34 right behind a landing there has taken off
// and climbed away, and it waits as its reports do; else until the day's first departure has.
void lf_flyTheQnhDay(const char* name, FeedMode mode, int qnh, bool heavy) {
  testing_support::TempDir dir;
  FaultPlan plan = calmPlan(heavy ? 225.0 : 170.0);
  plan.qnhHpa = qnh;
  plan.userAt = {47.451944, 8.543885};  // on the ramp south of runway 10/28, clear of the approaches
  const std::filesystem::path folder = lf_runFolder(dir, name);
  const RunResult run = runScenario(folder, plan, mode);
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_TRUE(lf_contains(testing_support::readFile(folder / "window-texts.txt"), fmt::format("\t{} hPa", qnh)))
      << "the window does not show the day's QNH";
  const auto* airport = &run.knowledge.airports.front();
  for (const auto& candidate : run.knowledge.airports)
    if (candidate.icao == run.knowledge.parkAirport) airport = &candidate;
  std::set<std::string> runways;
  for (const tracepicture::TouchDown& td : tracepicture::touchDowns(run.trace, *airport))
    if (const auto fact = run.knowledge.flights.find(td.tailNumber);
        fact != run.knowledge.flights.end() && fact->second.kind == Kind::Arrival)
      runways.insert(td.runway);
  EXPECT_TRUE(runways.contains("32")) << "no arrival touched down on 32";
  lf_checkInTheAir(run);
  lf_checkOnTheGround(run);
  std::size_t taxisAndRolls = 0;
  rollLaterThanItsTaxi(run.trace, run.knowledge, &taxisAndRolls);
  EXPECT_GE(taxisAndRolls, 1u) << "no departure's taxi and start of its roll were measured";
  std::size_t judged = 0;
  rollOffItsDelay(run.trace, run.knowledge, &judged);
  EXPECT_GE(judged, 1u) << "no take-off roll of a departure created on the ground was judged";
  lf_expectNone("floating or sinking", floatingOrSinking(run.trace, run.knowledge));
  lf_expectNone("teleporting", teleporting(run.trace, run.knowledge));
  lf_expectNone("runway shared", runwayShared(run.trace, run.knowledge));
}

TEST(Scenario, RTAppOnADayOfQnh985LandsTheArrivalsOnTheirRunways) {
  for (std::uint16_t port : {std::uint16_t{49004}, std::uint16_t{49005}})
    if (!lf_udpPortFree(port)) GTEST_SKIP() << "UDP port " << port << " is held by another program on this machine";
  lf_flyTheQnhDay("rtapp-qnh985", FeedMode::RTApp, 985, true);
}

TEST(Scenario, RTDirectOnADayOfQnh1035LandsTheArrivalsOnTheirRunways) {
  lf_flyTheQnhDay("rtdirect-qnh1035", FeedMode::RTDirect, 1035, true);
}

TEST(Scenario, RTDirectWithAnAnswer503LeavesNoComplaint) {
  testing_support::TempDir dir;
  const RunResult run = runScenario(lf_runFolder(dir, "rtdirect"), FaultPlan{}, FeedMode::RTDirect);
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_GE(run.feed.connects, 1u) << "signed in";
  EXPECT_GT(run.feed.trafficQueriesBeforeFault, 0u);
  EXPECT_GT(run.feed.trafficQueries, run.feed.trafficQueriesBeforeFault + 3) << "the queries go on after the 503";
  lf_checkRun(run);
  lf_checkAdjustmentAfterTheOutage(run, FaultPlan{});
}

}  // namespace
