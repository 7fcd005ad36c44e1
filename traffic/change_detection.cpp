#include "traffic/change_detection.h"

#include <fmt/format.h>

#include <optional>
#include <string>
#include <string_view>

#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "liveries/ac_stands.h"
#include "liveries/livery_regcodes.h"
#include "refdata/airports.h"
#include "refdata/registration.h"
#include "traffic/engine_state.h"
#include "traffic/live_registry.h"
#include "traffic/removal.h"

namespace {

constexpr std::string_view kIndent = "                ";  // 16 blanks
constexpr std::int32_t kOrigDestConfirmations = 3;

// The park airport's IATA code; none without a park airport or when the list knows none for it.
std::optional<IataCode> lf_parkIata() {
  const Airport park = gf_parkAirportRecord();
  if (park.code.empty() || park.iata.empty() || park.iata == g_defaultIataCode) return std::nullopt;
  return park.iata;
}

bool lf_touches(const FeedRecordHead& head, const std::optional<IataCode>& park) {
  return park && (head.origin == *park || head.destination == *park);
}

std::string lf_pairText(const FeedRecordHead& head) {
  return fmt::format("{}>{}", head.origin.text(), head.destination.text());
}

// "AMS->LHR", or 8 blanks when neither code is known.
std::string lf_routeText(const FeedRecordHead& head) {
  if (head.origin.empty() && head.destination.empty()) return fmt::format("{:8}", "");
  return fmt::format("{:3}->{:3}", head.origin.text(), head.destination.text());
}

void lf_clearPending(LiveAc& aircraft) {
  aircraft.pendingOrigDest.clear();
  aircraft.pendingOrigDestCount = 0;
}

bool lf_keepsStateForChanges(std::uint32_t state) {
  switch (state) {
    case FlightPhase::pushing_back:
    case FlightPhase::takeoff_roll:
    case FlightPhase::takeoff:
    case FlightPhase::landing:
    case FlightPhase::landing_roll:
    case FlightPhase::parking:
    case FlightPhase::parked:
      return true;
    default:
      return false;
  }
}

void lf_takeIds(LiveAc& aircraft, const DbaseEntry& entry) {
  aircraft.airlineId = entry.airlineId;
  aircraft.modelId = entry.modelId;
}

// The flight's livery goes with its identity: the next spawn chooses anew.
void lf_markForRespawn(LiveAc& aircraft) {
  gf_forgetLiveryChoice(aircraft.hexid);
  aircraft.matchedTitle = {};
  if (aircraft.state != FlightPhase::birth) gf_changeState(aircraft, FlightPhase::birth);
}

void lf_mergeIdentity(LiveAc& aircraft, const TrafficRecord& record) {
  if (!record.destination.empty() && record.destination != aircraft.destination)
    aircraft.destination = record.destination;
  if (!record.origin.empty() && record.origin != aircraft.origin) aircraft.origin = record.origin;
  if (!record.callsign.empty() && record.callsign != aircraft.callsign) aircraft.callsign = record.callsign;
  if (!record.registration.empty() && record.registration != aircraft.registration)
    aircraft.registration = record.registration;
}

// True when nothing counts as changed.
bool lf_checkOrigDestChange(LiveAc& aircraft, const TrafficRecord& record) {
  bool filled = false;
  if (aircraft.destination.empty() && !record.destination.empty()) {
    aircraft.destination = record.destination;
    filled = true;
  }
  if (aircraft.origin.empty() && !record.origin.empty()) {
    aircraft.origin = record.origin;
    filled = true;
  }
  const bool destDiffers =
      !aircraft.destination.empty() && !record.destination.empty() && aircraft.destination != record.destination;
  const bool origDiffers = !aircraft.origin.empty() && !record.origin.empty() && aircraft.origin != record.origin;
  const std::optional<IataCode> park = lf_parkIata();

  bool changed = false;
  if (!destDiffers && !origDiffers) {
    lf_clearPending(aircraft);
    changed = filled;
  } else if (lf_touches(aircraft, park) && !lf_touches(record, park)) {
    lf_clearPending(aircraft);
  } else if (destDiffers != origDiffers) {
    lf_clearPending(aircraft);
    changed = filled;
  } else if (park && aircraft.origin == *park && record.destination == aircraft.origin) {
    lf_clearPending(aircraft);
    changed = filled;
  } else {
    const std::string newText = lf_pairText(record);
    if (newText == lf_pairText(aircraft)) {
      lf_clearPending(aircraft);
    } else if (newText != aircraft.pendingOrigDest) {
      aircraft.pendingOrigDest = newText;
      aircraft.pendingOrigDestCount = 1;
    } else if (++aircraft.pendingOrigDestCount >= kOrigDestConfirmations) {
      lf_clearPending(aircraft);
      aircraft.origin = record.origin;
      aircraft.destination = record.destination;
      if (aircraft.onGround && !lf_keepsStateForChanges(aircraft.state) && aircraft.extensionCount < 1) {
        if (aircraft.state != FlightPhase::taxi) gf_changeState(aircraft, FlightPhase::taxi);
        aircraft.headingAtStateChange = aircraft.heading;
      }
      changed = true;
    }
  }
  if (changed && aircraft.onGround && aircraft.state == FlightPhase::taxi)
    aircraft.arrivalConfirmed = park && aircraft.destination == *park && !(aircraft.origin == *park);
  return !changed;
}

// True when the registration leads to another livery or type. The reset for a respawn is only
// asked for: whether one follows is decided once every reason is known.
bool lf_checkRegcodeChange(LiveAc& aircraft, const TrafficRecord& record, bool& respawnReset) {
  const auto titled = g_regcodeTitles.find(record.registration);
  if (titled != g_regcodeTitles.end() && !titled->second.empty()) {
    if (titled->second == aircraft.matchedTitle) return false;
    if (const auto entry = gf_lookupRegistration(record.registration)) lf_takeIds(aircraft, *entry);
    respawnReset = true;
    return true;
  }
  if (record.registration == aircraft.registration) return false;
  const auto entry = gf_lookupRegistration(record.registration);
  if (!entry || (entry->airlineId == aircraft.airlineId && entry->modelId == aircraft.modelId)) return false;
  lf_takeIds(aircraft, *entry);
  respawnReset = true;
  return true;
}

// True when nothing counts as changed; the aircraft takes the record's registration.
bool lf_checkRegistrationChange(LiveAc& aircraft, TrafficRecord& record, bool registrationIsCallsign,
                                bool& respawnReset) {
  if (record.registration.empty() || record.registration == aircraft.registration) return true;
  if (aircraft.registration.empty()) {
    lf_checkRegcodeChange(aircraft, record, respawnReset);
  } else if (!registrationIsCallsign) {
    const auto entry = gf_lookupRegistration(record.registration);
    if (entry && !(entry->airlineId == aircraft.airlineId && entry->modelId == aircraft.modelId) &&
        record.setAirlineFromCallsign() &&
        (record.airlineId == entry->airlineId || record.airlineId == entry->operatorId)) {
      lf_takeIds(aircraft, *entry);
      if (aircraft.standId >= 1 && aircraft.state == FlightPhase::parked)
        gf_addRealStandOption(aircraft.standId, aircraft, 0);
      respawnReset = true;
    }
  } else {
    lf_checkRegcodeChange(aircraft, record, respawnReset);
  }
  aircraft.registration = record.registration;
  return false;
}

// False when the record is a ghost of a flight shown under the plain callsign.
bool lf_takeCallsign(LiveAc& aircraft, const TrafficRecord& record) {
  const std::string& callsign = record.callsign;
  if (callsign.empty() || callsign == aircraft.callsign || callsign == aircraft.registration) return true;
  if (callsign.back() == '_') {
    if (lf_liveAcWithCallsignExists(callsign)) return false;
  } else {
    lf_removeGhostWithUnderscoreIfPresent(callsign);
  }
  const std::string old = aircraft.callsign;
  aircraft.callsign = callsign;
  aircraft.name1 = callsign;
  aircraft.name2.clear();
  gf_log(fmt::format("{}callsign changed {} -> {}", kIndent, old, callsign));
  return true;
}

}  // namespace

bool lf_checkKnownAcChanges(LiveAc& aircraft, TrafficRecord& record) {
  if (aircraft.simState == SimStatus::buffer) {
    lf_mergeIdentity(aircraft, record);
    return true;
  }
  const bool registrationIsCallsign = aircraft.registration == aircraft.callsign;
  if (!lf_takeCallsign(aircraft, record)) return false;
  if (aircraft.simState != SimStatus::active) return true;

  const bool msfs2020 = gf_isMsfs2020();
  if (!msfs2020 && !lf_checkOrigDestChange(aircraft, record))
    gf_log(fmt::format("{}{} {} orig-dest changed", kIndent, aircraft.callsign, lf_routeText(aircraft)));
  if (lf_keepsStateForChanges(aircraft.state) || aircraft.extensionCount >= 1) return true;

  std::string reasons;
  const auto addReason = [&reasons](std::string_view reason) {
    if (!reasons.empty()) reasons += ", ";
    reasons += reason;
  };
  bool respawnReset = false;
  if (msfs2020 && !lf_checkOrigDestChange(aircraft, record)) addReason("orig-dest change");
  if (!lf_checkRegistrationChange(aircraft, record, registrationIsCallsign, respawnReset)) addReason("regcode change");
  if (reasons.empty() || !(g_parameterSnapshot.load()->guidChanges || !msfs2020)) return true;

  gf_log(fmt::format("{}{:8} {:12} {} respawns because of {}", kIndent, aircraft.callsign, aircraft.registration,
                     lf_routeText(aircraft), reasons));
  if (respawnReset) lf_markForRespawn(aircraft);
  liveryRespawn(aircraft);
  return false;
}
