#pragma once
// The engine's record of one live flight: its identity, where it stands with the simulator,
// its present pose, the stream of positions the feed announced for it, and the state of its
// movement. Held by value in g_liveAcs and touched only on lf_main.
//
// The movement code keeps further working fields here; fields it adds go to their own group
// below, with their construction values.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/geodesy.h"
#include "core/ring_deque.h"
#include "feed/traffic_records.h"
#include "liveries/ac_identity.h"
#include "simlink/ai_positions.h"
#include "traffic/leg_plan.h"
#include "traffic/runway_matching.h"

// One announced position: the position part of a traffic record, appended as it came.
// The values the tick reads of an aircraft's next point come first, on the point's first cache
// line: read for every aircraft at every tick, spread over two lines they cost a miss more each.
struct alignas(64) StreamPoint {
  Lalo lalo;                  // degrees
  double groundSpeed = 0.0;   // kt
  double altitude = 0.0;      // ft; 0 on the ground
  std::int32_t time = 0;      // due time on the g_engineTime scale (hundredths of a second)
  bool airborne = false;
  bool repeated = false;  // lies on the previous point (1e-8 degrees)
  double track = 0.0;         // degrees
  double verticalRate = 0.0;  // ft/min
  double TAS = 0.0;           // kt, true airspeed
  double feedAltitude = std::numeric_limits<double>::quiet_NaN();  // ft before the QNH correction
  std::optional<std::int32_t> feedTime;  // the due time the feed gave, before any re-timing
  std::optional<double> rollRad;         // the feed's bank, radians, right bank negative
  std::optional<double> trueHeadingRad;  // a fixed heading the feed reported, (0, 2 pi]

  // Marks of the ground turn building.
  bool turnStart = false;     // inserted where a turn begins: the leg ending here is straight
  bool fromPosition = false;  // measured from the aircraft's position when inserted
};

StreamPoint gf_streamPoint(const TrafficRecord& record);
// The point's altitude as the feed gave it, before the QNH correction; its own where none is known.
double gf_uncorrectedFt(const StreamPoint& point);

// An engine time this many ticks later, held at the largest one there is.
inline std::int32_t gf_ticksLater(std::int32_t time, std::int64_t ticks) {
  return static_cast<std::int32_t>(std::min<std::int64_t>(time + ticks, std::numeric_limits<std::int32_t>::max()));
}

// The values of state, prevState and prevPrevState.
namespace FlightPhase {
enum : std::uint32_t {
  pushing_back = 0,
  pushed_back = 1,
  taxi = 2,
  takeoff_roll = 3,
  takeoff = 4,
  flying = 5,
  landing = 6,
  landing_roll = 7,
  parking = 8,  // taxiing into a stand it has taken
  parked = 9,
  birth = 10,  // not placed yet
};
}

// The values of simState.
namespace SimStatus {
enum : std::uint32_t {
  buffer = 0,           // no simulator object
  adding2sim = 1,       // waits on the adding stack, or the create request was sent
  active = 2,           // the object exists and objectId is known
  liveryrespawn = 3,    // being replaced: traffic records are ignored
  removingfromsim = 4,  // removal queued: records only feed the jump watch
};
}

// The runway a departure rolls on, as the take-off sees it.
struct DepartureRunway {
  std::string designator;   // the end the roll starts from, "09L"
  Lalo runwayEnd;           // the end the roll runs toward: along-track positions count from here
  double headingDeg = 0.0;  // direction of the roll, [0, 360)
  double length = 0.0;      // m
};

// A stand refused to this aircraft, with the reason for the log.
struct StandRefusal {
  std::int32_t standId = 0;
  std::string reason;
};

struct LiveAc : AcIdentity {
  TowPath towPath;
  // Its flag, at its end, lies on the line before the block below.
  std::optional<RunwayCandidate> approachRunway;  // captured on the approach or the landing roll

  // ---- Read or written at every tick, together: the pass over every aircraft then reads a
  // handful of cache lines of each record instead of one from every group below ----
  // The simulator object, the removal marks and the pose sent to the simulator. On a line of its
  // own: the block takes the fewest lines, and the leg plan's few values behind it share one.
  alignas(64) std::uint32_t objectId = 0;
  std::uint32_t simState = SimStatus::buffer;
  bool dropFromRegistry = false;   // erase the record at the next clean-up
  bool createCancelled = false;    // its create request left an adding queue unsent
  Lalo position;            // degrees
  double pitch = 0.0;       // radians, negative nose up
  double bank = 0.0;        // radians
  double heading = 0.0;     // radians
  double altitude = 0.0;    // ft
  double nextValue = 0.0;   // the vertical-rate slot of the pose, ft/min
  double speed = 0.0;       // kt
  RingDeque<StreamPoint> stream;   // positions still to come, oldest (the next target) first
  std::int32_t extensionCount = 0;    // predicted points appended; 1 or more stops the intake's thinning
  std::uint32_t state = FlightPhase::birth;
  std::int32_t stateSince = 0;        // g_engineTime of the last change of state
  bool onGround = false;  // placed or landed on the ground
  // Working values of the movement step.
  double pitchStep = 0.0;  // radians per step
  double bankStep = 0.0;   // radians per step
  double pendingNextValue = 0.0;
  double pendingSpeed = 0.0;
  std::int32_t deferredDue = 0;  // g_engineTime
  bool deferredPending = false;
  std::uint32_t prevState = FlightPhase::birth;
  double simAgl = 2500.0;             // ft above the ground, as the simulator last reported
  double simGroundFt = std::numeric_limits<double>::quiet_NaN();  // the ground under it, as last reported
  bool landingFlag = false;  // on the approach since state 6 began: a touch-down lands it
  bool predictActive = false;      // waits on the ground on predicted positions
  double turnTargetHeading = 0.0;  // radians
  bool turnTargetSet = false;
  double holdAlt = std::numeric_limits<double>::quiet_NaN();  // ft
  double holdVs = std::numeric_limits<double>::quiet_NaN();  // ft/min
  bool touchdownHold = false;
  std::uint32_t flareStage = 0;  // 0 not started, 1..4 the landing flare's stages
  bool takeoffPending = false;  // ready, waiting for a take-off mode
  std::int32_t takeoffSteps = 0;      // rotation steps left, then below 0 through the climb-out (floor -1000)
  double verticalRate = 0.0;          // ft per tick: the climb rate the take-off aims at
  double appliedVerticalRate = 0.0;   // ft per tick: the rate applied at the last step
  // Its reports climb away from the approach before the ground, or it just left the approach:
  // it flies them, turning at their lowest (goAroundBottomFt, NaN once behind it), with no flare.
  bool goingAround = false;
  double goAroundBottomFt = std::numeric_limits<double>::quiet_NaN();
  // Leg state that the next-position and per-aircraft steps set up and the per-step motion runs.
  Lalo velocity;             // degrees of latitude and longitude per tick toward the next point
  double trackToNext = 0.0;  // radians: bearing from stream point 0 to point 1
  bool turnHold = false;     // turning on the spot before the leg; turnHoldTicks is the leg's duration
  std::uint32_t turnHoldTicks = 0;
  std::int32_t profileStep = 0;   // stepped interpolation in the air: steps done of profileSteps
  std::int32_t profileSteps = 0;
  bool profileActive = false;
  Lalo profileFrom;
  Lalo profileTo;
  EasedShares easingWeights;  // share of the leg per tick while groundKind is not 0
  std::size_t easingCursor = 0;
  Lalo legDelta;             // degrees: the leg the easing weights share out
  double headingRate = 0.0;  // radians per step, the air step's turn
  bool standDepartureHold = false;
  bool turnPending = false;  // a turn of more than 3 degrees waits at point 1
  double turnAngle = std::numeric_limits<double>::quiet_NaN();  // degrees
  std::uint32_t groundKind = 0;    // 0 none, 1 start from standstill, 2 stop, 3 stand manoeuvre
  bool runwayPredicted = false;
  double predictedRunwayHeading = 0.0;  // radians
  bool lineUpRotate = false;            // turn the standing aircraft onto the predicted heading
  // Cleared at every tick for any aircraft that is not a departure on its way to the runway.
  bool pointBehindDropped = false;  // one point behind the predicted runway was dropped
  std::optional<std::string> predictedRunway;  // "{pair}:{end}"
  bool predictedAtHold = false;
  std::optional<std::string> runwayCandidate;  // seen, not yet confirmed
  bool runwayCandidateSeen = false;
  std::int32_t runwayCandidateTick = 0;
  Lalo trackLalo;  // measured ground speed: the window runs from trackTick
  bool trackActive = false;
  std::int32_t trackTick = 0;
  double trackMetres = 0.0;
  double windowMetres = std::numeric_limits<double>::quiet_NaN();  // the last closed window
  double windowSeconds = std::numeric_limits<double>::quiet_NaN();
  double turnSpeed = 0.0;  // radians per tick of the smooth final turn
  double groundStepMetres = 0.0;  // how far the last step moved the aircraft on the ground
  double groundLateTicks = 0.0;   // time a held-back ground leg has fallen behind, not yet handed on
  // m/s: the most a straight ground leg may end at for the turn after it; infinite when none.
  double cornerEntryMps = std::numeric_limits<double>::infinity();
  double airStepMetres = -1.0;    // how far the last step in the air moved it; below 0: none to go on from
  // A step along `velocity` measured near `latitude`: a leg's steps are all as long, to within the
  // change of a degree of longitude's length on the way, and the tick measures each only once.
  struct VelocityStep {
    Lalo velocity{std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
    double latitude = std::numeric_limits<double>::quiet_NaN();
    double metres = 0.0;
    double perMetre = 0.0;          // 1 / metres
    double perSquareDegree = 0.0;   // 1 / the velocity's square length in degrees
  };
  VelocityStep velocityStep;
  std::uint32_t attitudeMode = 0;  // 0 normal; otherwise the tight bank limit and the -4 degree pitch
  bool pitchTransition = false;    // pitch runs back to the ground pitch
  bool approachCapped = false;  // the glide path asked for a steeper descent than the aircraft flew
  double cruiseAltitude = std::numeric_limits<double>::quiet_NaN();  // ft; NaN: none known
  // A new QNH moved its stream: the feet it still lies off it, taken up from qnhLagTick on.
  double qnhLagFt = 0.0;
  std::int32_t qnhLagTick = 0;  // g_engineTime
  RollContext rollContext;  // its flag first, on the block's last line
  // Its few values lie on a line of their own; the sample tables are read only in a turn.
  LegPlan legPlan;

  // Simulator object and stand.
  Lalo standPos;
  double standHeading = 0.0;           // radians
  std::uint64_t createdWeekTime = 0;   // g_currentWeekTime at construction, again when placed on a stand
  std::int32_t standId = 0;            // 1-based, 0 for none
  std::uint32_t throttleStep = 5;      // last throttle index sent; 5: none sent yet
  std::uint32_t flapsIndex = 4;        // last flaps index sent; 4: none sent yet
  bool standCargo = false;
  bool standNoseIn = false;            // a "GATE" stand: the tighter stand geometry

  // Removal marks (removeAircraftFromSim).
  bool removeWhenCreated = false;  // remove as soon as the object id arrives

  // What the simulator reported for the new object.
  AiPose initialPose;
  bool poseKnown = false;
  bool cgKnown = false;

  double lastMessageTime = 0.0;    // timestamp (s) of the last traffic record accepted
  Lalo lastMessageLalo;            // its position: the stream may end in predicted points
  // The first ground report thinned out at the place of the last one thinned out: where a crawl
  // came to rest, and since when.
  struct ThinnedReport {
    Lalo lalo;
    double timestamp = 0.0;
    std::int32_t mailboxTime = 0;
  };
  std::optional<ThinnedReport> thinnedAtRest;

  std::int32_t reservedStandId = 0;
  bool hasReservation = false;
  Lalo prevPosition;
  std::int64_t lastAtStandClock = 0;  // system clock, 100-ns ticks, when placed on a stand

  bool atStandSeen = false;
  bool hasFlightPlan = false;
  bool spawnConflict = false;
  bool extensionFlag = false;

  // The spawn's stand search and promotion.
  Lalo lastSearchPos;
  bool lastSearchFound = false;
  std::uint32_t promoteFrom = 0;  // hexid of a static aircraft to take over, 0 for none

  // Holding, stand and departure bookkeeping.
  Lalo holdRefPos;
  bool holdRefSet = false;
  double standGroundAltitude = 0.0;  // ft
  bool standGroundAltitudeSet = false;
  bool parkedAltitudePlaced = false;
  Lalo holdLeavePos;
  bool holdLeaving = false;
  std::uint8_t holdLeaveCount = 0;  // counts modulo 256
  std::int32_t predictLimitA = 900;  // hundredths of a second
  std::int32_t predictLimitB = 900;
  // The stream point that last refused gf_delayStream: checked first, it refuses again without a
  // scan of the stream. Only a hint: whatever point stands at it now is checked as any other.
  std::uint32_t delayRefusedAt = 0;
  std::int32_t groundCounter = 1;  // 2 while the take-off rotates on the main wheels
  std::int32_t awayCount = 0;
  std::int32_t pushbackDue = 0;  // g_engineTime
  bool pushbackDueSet = false;
  std::int32_t lightsOnTime = 0;  // g_engineTime
  bool lightsOn = false;
  std::int32_t lightsDue = 0;  // g_engineTime
  bool lightsDueSet = false;
  StreamPoint deferredPoint;
  double confirmStartDist = 0.0;  // NM
  double confirmLastDist = 0.0;   // NM
  Lalo confirmPos;
  std::int32_t confirmTime = 0;  // g_engineTime
  std::int32_t confirmCount = 0;
  bool confirmPending = false;
  std::int32_t predictCounter = 0;

  std::uint32_t prevPrevState = FlightPhase::birth;
  double headingAtStateChange = 0.0;  // radians
  double touchdownHeading = 0.0;      // radians
  double awayRefDist = 0.0;           // NM
  double awayLastDist = 0.0;          // NM

  // Departure and arrival.
  std::uint8_t departureKind = 0;  // 0 pushback, 1 forward
  bool shortStay = false;
  bool touchdownLogged = false;
  bool departureStarted = false;
  bool arrivalConfirmed = false;
  bool standTaken = false;
  bool standOptionMatched = false;  // the stand-option queue matched its real stand option
  Lalo lastStandCheckPos;
  std::vector<StandRefusal> standRefusals;
  StreamPoint slowPoint;  // kept during the landing roll of small aircraft
  bool slowPointSet = false;
  double lastAirborneAlt = 0.0;  // ft
  bool lastAirborneAltSet = false;

  // An origin-destination change waiting for confirmation.
  std::string pendingOrigDest;
  std::int32_t pendingOrigDestCount = 0;

  double measuredCgHeight = 0.0;  // ft
  bool measuredCgHeightSet = false;
  double pitchAtMeasure = 0.0;  // radians
  bool measureFailed = false;
  std::int64_t standArrivalClock = 0;  // system clock, 100-ns ticks
  bool createdAirborne = false;
  std::int32_t createdTime = 0;  // g_engineTime
  // Its object came in the air, or rolling on the ground: it moves on while the creation is
  // finished, as the object would hang in the sky, or stand and then leap to its speed, otherwise.
  bool movesWhileCreated = false;
  bool rollsWhenGrounded = false;  // made rolling: it moves once the simulator has told its ground
  // A new object for a flight under way: the stream restarted where the aircraft was. The wait for
  // the object is added to the stream's times, and to every later report's, so that its legs keep
  // their pace instead of making the wait up in a rush.
  bool restartedHere = false;
  Lalo restartedAt;  // where: the new object goes on with the leg the old one was on from there
  std::int32_t reportLagTicks = 0;

  bool touchdownHoldArmed = false;  // armed on entering the approach
  // The landing runway a ground report held the aircraft above: its elevation (ft), how far past
  // its threshold (m) and its heading (radians) at heldRunwayPos.
  bool heldRunwaySet = false;
  double heldRunwayElevation = 0.0;
  double heldRunwayFromThreshold = 0.0;
  double heldRunwayHeading = 0.0;
  Lalo heldRunwayPos;

  double groundHeading = 0.0;  // radians: the heading on the ground; 0 for an aircraft created airborne

  // Stream extension when the feed falls silent.
  std::int32_t holdingStart = 0;  // g_engineTime when a hold on the ground began (predictActive)
  // The stop the aircraft stands at: when it got there, and when its reports had it there.
  std::int32_t stopReachedTick = 0;
  std::optional<std::int32_t> stopFeedTime;
  bool fullPower = false;        // some take-offs: extended points speed up
  bool standApproach = false;    // the drive into a stand runs

  // Take-off and runway.
  std::optional<DepartureRunway> departureRunway;
  bool rolling = false;         // at the line-up the aircraft was already at lift-off speed
  // When the roll first reached take-off speed without being ready to go; cleared while not.
  std::optional<std::int32_t> unreadySince;
  bool towed = false;           // moved by a tug
  bool pushFromReports = false;  // first seen while a tug pushed it: the push follows the reports
  double mode2ClimbRate = 0.0;        // ft per tick, of a full-runway take-off
  bool cleanClimb = false;            // the climb-out configuration was set
  std::vector<double> recentRates;    // ft/min: the air step's memory of vertical rates
  double runwayHeading = std::numeric_limits<double>::quiet_NaN();  // radians: the landing roll's runway
  bool landingRollEnded = false;
  bool reverseThrust = false;  // second flag of the reverse-thrust data: levers into reverse (set at touch-down)

  // ---- Ground movement, turns, stand approach, runway prediction and per-step motion ----
  // Ground movement.
  double pushbackTurnHeading = 900.0;                           // 900: none
  std::int32_t departureTick = 0;  // g_engineTime when the aircraft left its stand
  CorrectiveMove correctiveMove;
  bool forcedTurn = false;  // the turn builder found no path: turn on the spot
  Lalo runwayCandidateLalo;
  std::int32_t standArrivalTries = 0;  // stand checks that asked for another go in a row

  // ---- Per-aircraft step: the approach runway, the configuration by height, the cruise ----
  Lalo approachCapturePos;                        // where it was captured
  bool lowLightsSent = false;   // the light set below 10000 ft went out (once per flight)
  bool highConfigDone = false;  // the set at or above 10000 ft went out (once per flight)

  // The first point of the stream, the identity (moved in) and the record's timestamp (s).
  LiveAc(const StreamPoint& first, AcIdentity&& identity, double timestamp);
};

// A change of state: the two previous states move down and the time of the change is noted.
// Leaving or entering the approach (state 6) first clears its landing data; entering it arms the
// touch-down hold and marks the flight as landing until it touches down or takes off. Outside
// the ground states 1 to 3 the aircraft no longer waits on predicted positions.
void gf_changeState(LiveAc& aircraft, std::uint32_t state);
// The landing data of the approach: flare, touch-down hold and its reference values, the
// captured runway.
void gf_clearApproachData(LiveAc& aircraft);
// The feet an aircraft in flight or on its approach still lies off its stream at time `at` after a
// new QNH moved it: the change is taken up over its legs, not in one hop.
double gf_qnhLagFt(const LiveAc& aircraft, std::int32_t at);
// Back from predicted positions: no extension, the prediction limits widened (more during a
// take-off roll), the counter at 0 and the aircraft no longer waiting.
void gf_resetPrediction(LiveAc& aircraft);
