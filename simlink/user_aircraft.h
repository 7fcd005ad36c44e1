#pragma once
// The user's aircraft as the simulator reports it, kept by the SimClient thread: title and
// model (once per connection), on-ground state (every second, it paces the traffic engine),
// position and the simulator's UTC time (on each request).
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/geodesy.h"
#include "core/value_types.h"

// The record of DEFINITION_LATLONPIBAVSHETRALTGSZULI, 120 bytes in this order (note: vertical
// speed before heading, unlike AiPose).
struct UserAcPosition {
  double latitude = 0.0;             // degrees
  double longitude = 0.0;            // degrees
  double pitch = 0.0;                // radians
  double bank = 0.0;                 // radians
  double verticalSpeed = 0.0;        // feet per minute
  double heading = 0.0;              // radians, true
  double altitude = 0.0;             // feet
  double indicatedAltitude = 0.0;    // feet
  double altitudeAboveGround = 0.0;  // feet
  double groundSpeed = 0.0;          // knots
  std::int64_t zuluTime = 0;         // seconds of the day
  std::int64_t zuluDayOfYear = 0;
  std::int64_t zuluYear = 0;
  std::int64_t lightStates = 0;  // mask
  double gpsTrack = 0.0;         // degrees
};
static_assert(sizeof(UserAcPosition) == 120);

// bit 1 (value 1): a title reply was handled; bit 2 (value 2): a model reply was handled;
// bit 3 (value 4): an on-ground reply came with the position known, so g_userOnGround holds.
inline constexpr std::uint8_t kUserTitleReceived = 1;
inline constexpr std::uint8_t kUserModelReceived = 2;
inline constexpr std::uint8_t kUserGroundReceived = 4;

// A jump of the user's aircraft beyond this between two position replies is a new flight.
inline constexpr double kTeleportDistanceNm = 10.0;

extern std::mutex g_simUserDataMutex;         // guards the user aircraft state
extern std::atomic<bool> g_stepDue;           // an on-ground reply arrived; lf_main takes it
extern std::atomic<std::uint8_t> g_userInfoReceived;
extern std::atomic<bool> g_userOnGround;
extern std::atomic<std::uint32_t> g_userObjectId;  // 2 until the first position reply
extern std::string g_userAcTitle;                  // SimClient thread only
// Half wingspan of the user's model in NM, from the dbase; NaN until the model reply told a
// model the dbase knows. The collision checks fall back to other spans while it is NaN.
extern std::atomic<double> g_userHalfWingspanNm;
// The simulator's UTC time (seconds since 1970-01-01 UTC) and whether it is current; only kept
// with a professional RealTraffic access, which can follow the simulator's time.
extern std::atomic<std::int64_t> g_simZuluTime;
extern std::atomic<bool> g_simZuluTimeValid;
// Let the ground line and the Zulu warning be written once.
extern std::atomic<bool> g_userGroundLogged;
extern std::atomic<bool> g_zuluWarningLogged;

// A copy of the latest user aircraft state; all zero before the first position reply.
UserAcPosition gf_getUserAcPosition();

// Seconds since 1970-01-01 00:00 UTC of a Zulu year, day of year (1-based) and second of the
// day, on the proleptic Gregorian calendar; nothing when a field is out of range (year beyond
// +-32767, a day the year does not have, a second outside the day).
std::optional<std::int64_t> gf_simZuluSeconds(std::int64_t year, std::int64_t dayOfYear, std::int64_t seconds);

// What the user aircraft's handlers need of the window, the feed, the traffic engine and the
// parking tables, set by the application before the SimClient thread starts. An empty hook is
// skipped (a question then answers "no").
struct UserAircraftHooks {
  std::function<void(bool known)> setUserWingspanKnown;    // the GUI's user-model indicator
  std::function<void(std::string_view text)> setUserStand;  // Gui::setUserStand; "" for none
  std::function<bool()> rtProfessional;                     // g_rtProfessional
  // gf_standNameAtPos: the stand within 20 m of the position from the published stand positions.
  std::function<std::optional<std::string>(const Lalo& position)> standNameAtPos;
  // The park airport's code, read under g_parkAirportLock (shared); empty when there is none.
  std::function<IcaoCode()> parkAirportCode;
  // gf_setUserStand: stores the user's stand in the front park airport when the code matches.
  std::function<bool(const IcaoCode& airport, std::string_view standName)> storeUserStand;
};
void gf_setUserAircraftHooks(UserAircraftHooks hooks);
