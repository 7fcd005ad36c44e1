#include "traffic/live_ac.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "config/sim_choice.h"
#include "core/utc_time.h"
#include "feed/traffic_mailbox.h"
#include "feed/traffic_store.h"
#include "traffic/engine_state.h"

StreamPoint gf_streamPoint(const TrafficRecord& record) {
  StreamPoint point;
  point.lalo = record.lalo;
  point.altitude = record.altitude;
  point.feedAltitude = record.feedAltitude;
  // Read before the weather reached the streams, or after: in the streams' QNH all the same.
  if (record.altitudeQnh && *record.altitudeQnh != g_streamQnh && record.airborne)
    point.altitude += gf_feedAltitudeShiftFt(gf_uncorrectedFt(point), *record.altitudeQnh, g_streamQnh, gf_isRtDirect());
  point.groundSpeed = record.gs;
  point.track = record.track;
  point.verticalRate = record.vs;
  point.TAS = record.TAS;
  point.time = record.mailboxTime;
  point.feedTime = point.time;
  point.airborne = record.airborne;
  point.repeated = record.repeated;
  point.rollRad = record.rollRad;
  point.trueHeadingRad = record.trueHeadingRad;
  return point;
}

double gf_uncorrectedFt(const StreamPoint& point) {
  return std::isfinite(point.feedAltitude) ? point.feedAltitude : point.altitude;
}

LiveAc::LiveAc(const StreamPoint& first, AcIdentity&& identity, double timestamp)
    : AcIdentity(std::move(identity)), lastMessageTime(timestamp), lastMessageLalo(first.lalo) {
  stream.push_back(first);
  createdWeekTime = g_currentWeekTime.load();
}

double gf_qnhLagFt(const LiveAc& aircraft, std::int32_t at) {
  // At most 1000 ft/min (the first weather's 28 hPa within a minute), easing off as the lag gets
  // small: a QNH that changes back while the last change is still taken up turns the climb round
  // gently instead of from +1000 to -1000 ft/min at once.
  constexpr double kTakeUpFtPerTick = 1000.0 / 6000.0;
  constexpr double kEaseTicks = 2000.0;
  constexpr double kEaseFromFt = kTakeUpFtPerTick * kEaseTicks;  // where the rate falls below the most
  const double lag = std::fabs(aircraft.qnhLagFt);
  double ticks = std::max(0, at - aircraft.qnhLagTick);
  if (lag > kEaseFromFt) {
    const double linear = (lag - kEaseFromFt) / kTakeUpFtPerTick;
    if (ticks <= linear) return std::copysign(lag - kTakeUpFtPerTick * ticks, aircraft.qnhLagFt);
    ticks -= linear;
  }
  const double left = std::min(lag, kEaseFromFt) * std::exp(-ticks / kEaseTicks);
  return left > 0.5 ? std::copysign(left, aircraft.qnhLagFt) : 0.0;
}

void gf_clearApproachData(LiveAc& aircraft) {
  aircraft.flareStage = 0;
  aircraft.touchdownHoldArmed = false;
  aircraft.touchdownHold = false;
  aircraft.holdAlt = std::numeric_limits<double>::quiet_NaN();
  aircraft.holdVs = std::numeric_limits<double>::quiet_NaN();
  aircraft.approachRunway.reset();
  aircraft.approachCapped = false;
}

void gf_changeState(LiveAc& aircraft, std::uint32_t state) {
  if (aircraft.state == FlightPhase::landing || state == FlightPhase::landing) gf_clearApproachData(aircraft);
  aircraft.prevPrevState = aircraft.prevState;
  aircraft.prevState = aircraft.state;
  aircraft.state = state;
  aircraft.stateSince = g_engineTime.load();
  switch (state) {
    case FlightPhase::landing:
      // On the approach: its touch-down holds late airborne flags down, and a touch-down counts
      // as a landing even after a go-around took it out of the approach.
      aircraft.touchdownHoldArmed = true;
      aircraft.landingFlag = true;
      break;
    case FlightPhase::takeoff_roll:
    case FlightPhase::takeoff:
    case FlightPhase::landing_roll:
      aircraft.landingFlag = false;
      aircraft.goingAround = false;
      break;
    default:
      break;
  }
  // Only an aircraft holding on the ground waits on predicted positions; one that took a stand or
  // flies again does not, whatever ended its extension.
  if (state != FlightPhase::pushed_back && state != FlightPhase::taxi && state != FlightPhase::takeoff_roll)
    aircraft.predictActive = false;
}

void gf_resetPrediction(LiveAc& aircraft) {
  aircraft.extensionCount = 0;
  aircraft.predictLimitA = 2700;
  aircraft.predictLimitB = aircraft.state == FlightPhase::takeoff_roll ? 4500 : 2700;
  aircraft.predictCounter = 0;
  aircraft.predictActive = false;
}
