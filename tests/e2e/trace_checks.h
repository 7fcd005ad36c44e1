#pragma once
// What a user of the program would complain about, read from the stand-in simulator's trace and
// from what the scenario knows of each flight. Each check gives one line per fault it finds
// (none: the complaint does not hold), so that a failing run names what went wrong where.
#include <cstddef>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "standin/realtraffic/traffic_scenario.h"
#include "standin/sim/facility_layout.h"
#include "tools/trace_picture.h"

namespace e2e {

enum class Kind { Arrival, Departure, Overflight, TaxiOut, TaxiIn, Parked };

// One flight of the scenario by its registration (the tail number the program creates it with).
struct FlightFact {
  Kind kind = Kind::Arrival;
  std::string registration;
  std::string airline;
  std::string type;
  std::string category = "A3";  // emitter category
  double topSpeedKt = 0.0;      // the fastest the feed reports it
  double topGroundSpeedKt = 0.0;  // ... on the ground
  double topTurnDegPerS = 0.0;  // the fastest its reported track turns
  // What the feeder sent of it, on the feed's clock.
  struct Sent {
    double t = 0.0;
    double lat = 0.0;
    double lon = 0.0;
    double altitude = 0.0;  // ft, 0 on the ground
  };
  std::vector<Sent> sent;
  double trackEnd = 0.0;  // its last report in the scenario
  // A flight that leaves a stand: when the generator pushed it back, on the feed's clock.
  double pushbackAt = std::numeric_limits<double>::quiet_NaN();
};

struct Knowledge {
  std::map<std::string, FlightFact> flights;  // by registration
  std::vector<standin::sim::FacilityLayout> airports;  // every fixture airport: the ground
  std::string parkAirport = "LSZH";
  double cgFeet = 8.0;  // the stand-in's centre-of-gravity height of every model
  // The program flies live reports this long after they come; at shutdown it had flown the
  // reports up to playedUntil on the feed's clock.
  double delaySeconds = 30.0;
  double playedUntil = 0.0;
  // The simulator's clock (the trace's) at the feed clock's 0: the two start apart.
  double feedToSimSeconds = 0.0;
  double parkingIntervalMinutes = 20.0;  // how often the program adjusts its parked aircraft
  // How many objects the program still had when it shut down, as its log says; none: unknown.
  std::optional<std::size_t> ownedAtShutdown;
};

// The aircraft counts the program's window showed, as its texts read; none for a count not shown.
struct WindowCounts {
  std::optional<long> live;         // live aircraft in the simulator, the parked ones aside
  std::optional<long> parkedLive;   // live aircraft parked on stands
  std::optional<long> parkedStatic; // static parked aircraft
  std::optional<long> maxPark;      // the wanted number of parked aircraft
};
// From the texts the headless window leaves ("painted\t<x>\t<y>\t<text>" lines).
WindowCounts windowCountsOf(const std::string& windowTexts);

// The facts of a scenario's flights and parked aircraft (the feeder fills in what it sent).
Knowledge knowledgeOf(const rtstandin::TrafficScenario& scenario, const std::map<std::string, Kind>& kinds);

// Half the wingspan of an ICAO type in metres; a mid-size airliner's for a type not listed.
double halfSpanMetres(const std::string& type);

using Complaints = std::vector<std::string>;

// Where the program stands in the feed: at a simulator time, the feed time whose reports it
// shows. Read from its airborne flights against what the feed said of them, so that a program
// slowed by a busy machine or the sanitizers, or one that took long to restart, is judged at its
// own pace and not at the scenario's.
struct FeedProgress {
  struct Point {
    double simSeconds = 0.0;
    double feedSeconds = 0.0;
  };
  std::vector<Point> points;  // by simulator time
  // When the program first showed feed time `feedSeconds` (or, having skipped it, a later one);
  // none when it never got that far.
  std::optional<double> simTimeOf(double feedSeconds) const;
};
FeedProgress feedProgress(const tracepicture::Trace& trace, const Knowledge& knowledge);

Complaints floatingOrSinking(const tracepicture::Trace& trace, const Knowledge& knowledge);
Complaints ghostsAndDuplicates(const tracepicture::Trace& trace, const Knowledge& knowledge);
// `judged`, when given, counts the departures whose leaving their stand the check could judge (one
// on its stand that left, or stayed until it was late).
Complaints stuckAtTheGate(const tracepicture::Trace& trace, const Knowledge& knowledge, std::size_t* judged = nullptr);
// A live aircraft parked on a stand of the park airport stays while its feed reports it there or
// the wanted number allows it; once unreported it goes within 90 minutes (180 for a heavy) and
// one parking interval.
Complaints parkedLivePastTheRules(const tracepicture::Trace& trace, const Knowledge& knowledge,
                                  std::optional<long> maxPark);
// The counts shown at the window's close against the objects of the trace just before the
// program's orderly removal of them.
Complaints windowCountsDiffer(const tracepicture::Trace& trace, const Knowledge& knowledge,
                              const WindowCounts& shown);
// `expected` gives the title each live flight must get; a static aircraft's title must be one of `installed`.
Complaints wrongLivery(const tracepicture::Trace& trace, const Knowledge& knowledge,
                       const std::map<std::string, std::string>& expected, const std::set<std::string>& installed);
Complaints teleporting(const tracepicture::Trace& trace, const Knowledge& knowledge);
// Static aircraft: those whose tail number is no live flight's. wantedShare in percent of the stands.
Complaints parkedAircraft(const tracepicture::Trace& trace, const Knowledge& knowledge, double wantedShare);
Complaints leftBehind(const tracepicture::Trace& trace);

// How much of each simulator second the program really moved its traffic: 1 for a whole second,
// less where a busy machine held it up (every moving object freezing), more where it caught up
// (every one leaping). Read from the airborne objects of live flights together: second against
// second those flying on agree on the machine's pace to a few thousandths, while an aircraft
// stopping and lunging on its own goes its own way; a second in which every mover stands froze.
struct MachineShares {
  std::map<long, double> bySecond;     // by the simulator second's end
  std::map<long, double> paceChanges;  // the share of a second over that of the second before, where flown
  std::set<long> frozen;               // every mover stood: 0 where no share is read
  // 1 where too few objects flew to tell.
  double of(double secondEnd) const;
  // The program's seconds between two simulator times.
  double over(double from, double to) const;
  // What a speed of the second before the one ending at `secondEnd` is scaled by to compare the
  // two; none where the machine hardly ran in either or lurched from one to the other, or where
  // too few flew to tell. The pace wavers by a tenth and more from one second to the next on a
  // loaded machine: an airliner's 450 kt then shows 45 kt apart, a taxi's 20 kt 2 kt.
  std::optional<double> paceAgainstTheSecondBefore(double secondEnd) const;
};
MachineShares machineShares(const tracepicture::Trace& trace, const Knowledge& knowledge);

// What a pilot watching the airport would not accept. Each is judged on the poses the program
// sent, sampled over whole simulator seconds so that a late frame does not decide.
// An arrival's first ground contact lies on a runway past its threshold, within its touch-down zone.
Complaints landingsOffTheRunway(const tracepicture::Trace& trace, const Knowledge& knowledge);
// Below 200 ft over the ground no descent faster than 1,500 ft/min.
Complaints steepNearTheGround(const tracepicture::Trace& trace, const Knowledge& knowledge);
// None of ours removed in the air within 300 ft of the ground, but with everything else at once.
Complaints removedNearTheGround(const tracepicture::Trace& trace, const Knowledge& knowledge);
// On the ground above 5 kt the nose points within 20 degrees of the motion (or against it, pushed back).
Complaints slidingOnTheGround(const tracepicture::Trace& trace);
// On the ground: speeding up by at most about 3 kt/s taxiing (5 kt/s on a take-off roll), slowing
// by at most about 6 kt/s; each window's speed over the program's seconds in it, where `shares` knows them.
// With `knowledge`, a take-off roll gathers speed at the roll's rate from its line-up on.
Complaints groundSpeedJumps(const tracepicture::Trace& trace, const MachineShares& shares = {},
                            const Knowledge* knowledge = nullptr);
// Standing, no faster turn than the program's own rate for the category on the spot.
Complaints turningOnTheSpot(const tracepicture::Trace& trace, const Knowledge& knowledge);
// No two of ours on one runway at once where one is in the other's path as it lands or takes off.
Complaints runwayShared(const tracepicture::Trace& trace, const Knowledge& knowledge);
// No two objects with one registration at once.
Complaints sameRegistration(const tracepicture::Trace& trace);
// Pitch from 10 degrees nose down to 25 up; bank at most 35 degrees.
Complaints attitudeOutOfRange(const tracepicture::Trace& trace);
// An airliner (emitter category A3 to A5) flies at 100 kt or more from 5 s after its creation on.
Complaints slowInTheAir(const tracepicture::Trace& trace, const Knowledge& knowledge);
// In the last 90 s before a touch-down, below 700 ft over the ground, no climb of more than 15 ft within 3 s.
Complaints climbOnFinal(const tracepicture::Trace& trace, const Knowledge& knowledge);
// After a touch-down the nose comes down at 2 degrees a second at most.
Complaints noseSlamsDown(const tracepicture::Trace& trace);
// A take-off or landing roll shows the feed at the delay the program shows the flight in the air
// around it, within 5 s. `takeoffsJudged`, when given, counts the take-off rolls it could judge.
Complaints rollOffItsDelay(const tracepicture::Trace& trace, const Knowledge& knowledge,
                           std::size_t* takeoffsJudged = nullptr);

// Each departure's delay behind its own reports (the simulator's time at a moving report's place
// against the report's feed time): its roll's first reports shown at most 10 s later behind them
// than its taxi's, beyond what the program's delay behind the feed as a whole grew meanwhile;
// and it stands at its line-up at least half as long as its reports stand there (a late one takes
// its lateness off that wait).
// `judged`, when given, counts the departures whose taxi and roll it could measure.
Complaints rollLaterThanItsTaxi(const tracepicture::Trace& trace, const Knowledge& knowledge,
                                std::size_t* judged = nullptr);
// On the ground above 3 kt the nose points within 5 degrees of the motion, but for less than 3 s;
// a push-back (moving backwards) aside.
Complaints noseOffTheMotion(const tracepicture::Trace& trace);
// Climbing in the air, no loss of more than 15 kt within 30 s beyond what the flight's reports lose there.
Complaints climbLosingSpeed(const tracepicture::Trace& trace, const Knowledge& knowledge);

// Second by second, as a pilot sees it; the speed of the second before is scaled by the machine's
// pace against it, and a second whose pace is not known is not judged. Each limit allows half a
// knot more for the trace's rounded positions.
// On the ground: below 30 kt no more than 5 kt lost in one second, nor more than 4 kt gained
// outside a take-off roll; above 30 kt no more than 7.5 kt lost, and on a take-off roll at least
// 1 kt gained each second up to its lift-off.
Complaints groundSpeedSteps(const tracepicture::Trace& trace, const Knowledge& knowledge);
// No motion more than 90 degrees off the nose, a push-back from a stand aside.
Complaints motionAgainstHeading(const tracepicture::Trace& trace, const Knowledge& knowledge);
// An aircraft made in the air moves within a second of its creation.
Complaints hangingStillAfterCreation(const tracepicture::Trace& trace, const Knowledge& knowledge);
// A flight whose reports go around near a runway, without a report on the ground, does not touch down.
Complaints goAroundsTouchingDown(const tracepicture::Trace& trace, const Knowledge& knowledge);
// In the air the vertical speed sent changes by no more than 2,000 ft/min within 2 s, from the
// object's first move on (its creation carries 0 ft/min).
Complaints verticalSpeedSwings(const tracepicture::Trace& trace, const Knowledge& knowledge);
// In the air the altitude's change in one second differs from the second before's by no more
// than 25 ft: no hop, at any height (a QNH change taken up at once).
Complaints altitudeSteps(const tracepicture::Trace& trace, const Knowledge& knowledge);
// In the air the speed changes by no more than 6 kt in one second.
Complaints airSpeedJumps(const tracepicture::Trace& trace, const Knowledge& knowledge);

// When the program first placed a static aircraft after `from` (after a fault took them all:
// the parking adjustment's first placement); none when it placed none.
std::optional<double> firstStaticPlacement(const tracepicture::Trace& trace, const Knowledge& knowledge, double from);
// How many objects of live flights moved across `t`: posed `before` s or more before it and again
// `after` s or more after it, somewhere else. Only such an object shows a hold-up of the program
// within that window as a leap the teleport check judges.
std::size_t movingAcross(const tracepicture::Trace& trace, const Knowledge& knowledge, double t, double before,
                         double after);

// The simulator times at which every object there went at once (three or more of them); at the
// program's end, also when a creation on its way then is removed a moment after the others.
std::vector<double> wholesaleRemovals(const tracepicture::Trace& trace);

// "a, b, c" of the first few complaints and how many there are, for a failure message.
std::string summary(const Complaints& complaints, std::size_t shown = 12);

}  // namespace e2e
