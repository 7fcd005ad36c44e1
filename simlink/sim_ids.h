#pragma once
// The identifiers the link gives the simulator on its main connection: system events, client
// events, data definitions, request ids and the notification group.
#include <cstdint>

enum SimSystemEventId : std::uint32_t {
  EVENT_SIM = 201,
  EVENT_OBJECT_ADDED = 202,
  EVENT_OBJECT_REMOVED = 203,
  EVENT_FRAME = 204,
  EVENT_FLIGHT_LOADED = 205,
};

// Client events; each is named after the simulator event it is mapped to.
enum SimClientEventId : std::uint32_t {
  BEACON_LIGHTS_SET = 206,
  NAV_LIGHTS_SET = 207,
  TAXI_LIGHTS_SET = 208,
  STROBES_SET = 209,
  LANDING_LIGHTS_SET = 210,
  CABIN_LIGHTS_SET = 211,
  LOGO_LIGHTS_SET = 212,
  ALL_LIGHTS_TOGGLE = 213,
  FREEZE_LATITUDE_LONGITUDE_SET = 214,
  FREEZE_ALTITUDE_SET = 215,
  FREEZE_ATTITUDE_SET = 216,
  FLAPS_SET = 217,
  SPOILERS_SET = 218,
  GEAR_SET = 219,
  ENGINE_AUTO_START = 220,
  ENGINE_AUTO_SHUTDOWN = 221,
  THROTTLE_SET = 222,
};

inline constexpr std::uint32_t TRAFFIC_APP = 301;  // the notification group of every client event

enum SimDefinitionId : std::uint32_t {
  DEFINITION_REVERSE_THRUST = 401,
  DEFINITION_LATLONPIBAHEALVSTAS = 402,
  DEFINITION_LATLONPIBAVSHETRALTGSZULI = 403,
  DEFINITION_AI_GET_POSITION = 404,
  DEFINITION_AI_GET_STATIC_CG_AND_PITCH = 405,
  DEFINITION_AI_LIGHTS = 406,
  DEFINITION_USER_AC_GET_TITLE = 407,
  DEFINITION_USER_AC_GET_MODEL = 408,
  DEFINITION_USER_AC_GET_ONGROUND = 409,
};

enum SimRequestId : std::uint32_t {
  AI_POSITION = 101,
  AI_STATIC_CG_AND_PITCH = 102,
  AI_INITIAL_POSE = 103,
  AI_RELEASE_CONTROL = 104,
  AI_REMOVE_OBJECT = 105,
  USER_AC_TITLE = 106,
  USER_AC_MODEL = 107,
  USER_AC_ON_GROUND = 108,
  USER_AC_POSITION = 109,
  AI_FLIGHT_PLAN = 110,
};

inline constexpr std::uint32_t kFirstCreateRequestId = 10000;  // creates count up from here
