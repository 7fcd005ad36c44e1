// The set-up of each new connection: system events, data definitions, client events and the
// notification group. The field order of each definition is the byte layout of its record.
#include <fmt/format.h>

#include <string>

#include "core/log.h"
#include "simlink/sim_client_detail.h"
#include "simlink/sim_ids.h"

namespace {

struct SystemEvent {
  std::uint32_t id;
  const char* idName;
  const char* name;
};

// The order of the subscriptions.
constexpr SystemEvent kSystemEvents[] = {
    {EVENT_SIM, "EVENT_SIM", "Sim"},
    {EVENT_OBJECT_ADDED, "EVENT_OBJECT_ADDED", "ObjectAdded"},
    {EVENT_OBJECT_REMOVED, "EVENT_OBJECT_REMOVED", "ObjectRemoved"},
    {EVENT_FLIGHT_LOADED, "EVENT_FLIGHT_LOADED", "FlightLoaded"},
    {EVENT_FRAME, "EVENT_FRAME", "Frame"},
};

struct DataField {
  std::uint32_t definition;
  const char* definitionName;
  const char* datum;
  const char* unit;  // nullptr: none
  SIMCONNECT_DATATYPE type;
};

constexpr auto F64 = SIMCONNECT_DATATYPE_FLOAT64;
constexpr auto I64 = SIMCONNECT_DATATYPE_INT64;

// Every field, in the order of the calls.
constexpr DataField kDataFields[] = {
    {DEFINITION_USER_AC_GET_TITLE, "DEFINITION_USER_AC_GET_TITLE", "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV},
    {DEFINITION_USER_AC_GET_MODEL, "DEFINITION_USER_AC_GET_MODEL", "ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32},
    {DEFINITION_USER_AC_GET_ONGROUND, "DEFINITION_USER_AC_GET_ONGROUND", "SIM ON GROUND", "Bool", I64},

    {DEFINITION_LATLONPIBAHEALVSTAS, "DEFINITION_LATLONPIBAHEALVSTAS", "Plane Latitude", "degree", F64},
    {DEFINITION_LATLONPIBAHEALVSTAS, "DEFINITION_LATLONPIBAHEALVSTAS", "Plane Longitude", "degree", F64},
    {DEFINITION_LATLONPIBAHEALVSTAS, "DEFINITION_LATLONPIBAHEALVSTAS", "Plane Pitch degrees", "radian", F64},
    {DEFINITION_LATLONPIBAHEALVSTAS, "DEFINITION_LATLONPIBAHEALVSTAS", "Plane Bank degrees", "radian", F64},
    {DEFINITION_LATLONPIBAHEALVSTAS, "DEFINITION_LATLONPIBAHEALVSTAS", "Plane Heading degrees true", "radian", F64},
    {DEFINITION_LATLONPIBAHEALVSTAS, "DEFINITION_LATLONPIBAHEALVSTAS", "Plane Altitude", "feet", F64},
    {DEFINITION_LATLONPIBAHEALVSTAS, "DEFINITION_LATLONPIBAHEALVSTAS", "Vertical Speed", "feet per minute", F64},
    {DEFINITION_LATLONPIBAHEALVSTAS, "DEFINITION_LATLONPIBAHEALVSTAS", "Airspeed True", "knots", F64},

    {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI", "Plane Latitude", "degree", F64},
    {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI", "Plane Longitude", "degree", F64},
    {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI", "Plane Pitch degrees", "radian", F64},
    {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI", "Plane Bank degrees", "radian", F64},
    {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI", "Vertical Speed", "feet per minute", F64},
    {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI", "Plane Heading degrees true", "radian", F64},
    {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI", "Plane Altitude", "feet", F64},
    {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI", "Indicated Altitude", "feet", F64},
    {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI", "Plane Alt Above Ground", "feet", F64},
    {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI", "Ground Velocity", "knots", F64},
    {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI", "ZULU TIME", "Seconds", I64},
    {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI", "ZULU DAY OF YEAR", "Number", I64},
    {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI", "ZULU YEAR", "Number", I64},
    {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI", "LIGHT STATES", "Mask", I64},
    {DEFINITION_LATLONPIBAVSHETRALTGSZULI, "DEFINITION_LATLONPIBAVSHETRALTGSZULI", "GPS Ground True Track", "degree", F64},

    {DEFINITION_AI_GET_STATIC_CG_AND_PITCH, "DEFINITION_AI_GET_STATIC_CG_AND_PITCH", "Static CG to Ground", "feet", F64},
    {DEFINITION_AI_GET_STATIC_CG_AND_PITCH, "DEFINITION_AI_GET_STATIC_CG_AND_PITCH", "Static Pitch", "radian", F64},

    {DEFINITION_AI_LIGHTS, "DEFINITION_AI_LIGHTS", "Light On States", "Mask", I64},

    {DEFINITION_AI_GET_POSITION, "DEFINITION_AI_GET_POSITION", "Plane Alt Above Ground", "feet", F64},
    {DEFINITION_AI_GET_POSITION, "DEFINITION_AI_GET_POSITION", "Ground Altitude", "feet", F64},
    {DEFINITION_AI_GET_POSITION, "DEFINITION_AI_GET_POSITION", "SIM ON GROUND", "Bool", I64},
    {DEFINITION_AI_GET_POSITION, "DEFINITION_AI_GET_POSITION", "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32},

    {DEFINITION_REVERSE_THRUST, "DEFINITION_REVERSE_THRUST", "SPOILERS HANDLE POSITION", "percent", F64},
    {DEFINITION_REVERSE_THRUST, "DEFINITION_REVERSE_THRUST", "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", F64},
    {DEFINITION_REVERSE_THRUST, "DEFINITION_REVERSE_THRUST", "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", F64},
};

struct ClientEvent {
  std::uint32_t id;
  const char* simEvent;
};

// The order of the mappings.
constexpr ClientEvent kClientEvents[] = {
    {GEAR_SET, "GEAR_SET"},
    {ENGINE_AUTO_START, "ENGINE_AUTO_START"},
    {ENGINE_AUTO_SHUTDOWN, "ENGINE_AUTO_SHUTDOWN"},
    {THROTTLE_SET, "THROTTLE_SET"},
    {FLAPS_SET, "FLAPS_SET"},
    {SPOILERS_SET, "SPOILERS_SET"},
    {NAV_LIGHTS_SET, "NAV_LIGHTS_SET"},
    {BEACON_LIGHTS_SET, "BEACON_LIGHTS_SET"},
    {LANDING_LIGHTS_SET, "LANDING_LIGHTS_SET"},
    {TAXI_LIGHTS_SET, "TAXI_LIGHTS_SET"},
    {STROBES_SET, "STROBES_SET"},
    {LOGO_LIGHTS_SET, "LOGO_LIGHTS_SET"},
    {CABIN_LIGHTS_SET, "CABIN_LIGHTS_SET"},
    {ALL_LIGHTS_TOGGLE, "ALL_LIGHTS_TOGGLE"},
    {FREEZE_LATITUDE_LONGITUDE_SET, "FREEZE_LATITUDE_LONGITUDE_SET"},
    {FREEZE_ALTITUDE_SET, "FREEZE_ALTITUDE_SET"},
    {FREEZE_ATTITUDE_SET, "FREEZE_ATTITUDE_SET"},
};

// The group's members, in the order they are added. ENGINE_AUTO_START is left out on
// purpose; it is still transmitted with the group.
constexpr std::uint32_t kGroupEvents[] = {
    NAV_LIGHTS_SET, BEACON_LIGHTS_SET, LANDING_LIGHTS_SET, TAXI_LIGHTS_SET, STROBES_SET, LOGO_LIGHTS_SET,
    CABIN_LIGHTS_SET, ALL_LIGHTS_TOGGLE, FLAPS_SET, SPOILERS_SET, GEAR_SET, ENGINE_AUTO_SHUTDOWN,
    THROTTLE_SET, FREEZE_LATITUDE_LONGITUDE_SET, FREEZE_ALTITUDE_SET, FREEZE_ATTITUDE_SET,
};

std::string lf_unitText(const char* unit) {
  if (!unit) return "nullptr";
  const std::string_view u(unit);
  if (u == "degree") return "kUnitDegree";
  if (u == "radian") return "kUnitRadian";
  if (u == "feet") return "kUnitFeet";
  if (u == "feet per minute") return "kUnitFeetPerMinute";
  if (u == "knots") return "kUnitKnots";
  if (u == "percent") return "kUnitPercent";
  if (u == "Bool") return "kUnitBool";
  return fmt::format("\"{}\"", u);
}

std::string_view lf_typeSuffix(SIMCONNECT_DATATYPE type) {
  switch (type) {
    case SIMCONNECT_DATATYPE_INT64:
      return ", SIMCONNECT_DATATYPE_INT64";
    case SIMCONNECT_DATATYPE_STRING32:
      return ", SIMCONNECT_DATATYPE_STRING32";
    case SIMCONNECT_DATATYPE_STRINGV:
      return ", SIMCONNECT_DATATYPE_STRINGV";
    case SIMCONNECT_DATATYPE_FLOAT64:
      return "";
  }
  return "";
}

}  // namespace

bool lf_checkSetupCall(HRESULT hr, std::string_view call) {
  if (hr >= 0) return true;
  gf_logWarning(fmt::format("SimConnect setup failed: {} (hr=0x{:08X})", call, static_cast<std::uint32_t>(hr)));
  return false;
}

bool lf_setupSimConnect() {
  SimConnectHandle handle = g_simConnectHandle;
  bool ok = true;
  // Every call is made whatever the earlier ones gave, so that the log names each failure.
  for (const SystemEvent& event : kSystemEvents) {
    ok &= lf_checkSetupCall(
        SimConnect_SubscribeToSystemEvent(handle, event.id, event.name),
        fmt::format("SimConnect_SubscribeToSystemEvent(l_hsimconnect, {}, \"{}\")", event.idName, event.name));
  }
  for (const DataField& field : kDataFields) {
    ok &= lf_checkSetupCall(
        SimConnect_AddToDataDefinition(handle, field.definition, field.datum, field.unit, field.type, 0.0f,
                                       SIMCONNECT_UNUSED),
        fmt::format("SimConnect_AddToDataDefinition(l_hsimconnect, {}, \"{}\", {}{})", field.definitionName,
                    field.datum, lf_unitText(field.unit), lf_typeSuffix(field.type)));
  }
  for (const ClientEvent& event : kClientEvents) {
    ok &= lf_checkSetupCall(SimConnect_MapClientEventToSimEvent(handle, event.id, event.simEvent),
                            "SimConnect_MapClientEventToSimEvent(l_hsimconnect, civ.first, civ.second.c_str())");
  }
  for (std::uint32_t eventId : kGroupEvents) {
    ok &= lf_checkSetupCall(SimConnect_AddClientEventToNotificationGroup(handle, TRAFFIC_APP, eventId, true),
                            "SimConnect_AddClientEventToNotificationGroup( l_hsimconnect, TRAFFIC_APP, eventId, TRUE)");
  }
  ok &= lf_checkSetupCall(
      SimConnect_SetNotificationGroupPriority(handle, TRAFFIC_APP, SIMCONNECT_GROUP_PRIORITY_HIGHEST),
      "SimConnect_SetNotificationGroupPriority( l_hsimconnect, TRAFFIC_APP, SIMCONNECT_GROUP_PRIORITY_HIGHEST)");
  return ok;
}
