#pragma once
// The user's aircraft as the simulator reports it, kept by the SimClient thread.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

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

// bit 1 (value 1): a title reply was handled; bit 2 (value 2): a model reply was handled.
inline constexpr std::uint8_t kUserTitleReceived = 1;
inline constexpr std::uint8_t kUserModelReceived = 2;

extern std::mutex g_simUserDataMutex;         // guards the user aircraft state
extern std::atomic<bool> g_stepDue;           // an on-ground reply arrived; lf_main takes it
extern std::atomic<std::uint8_t> g_userInfoReceived;
extern std::atomic<bool> g_userOnGround;
extern std::atomic<std::uint32_t> g_userObjectId;  // 2 until the first position reply
extern std::string g_userAcTitle;                  // SimClient thread only

// A copy of the latest user aircraft state; all zero before the first position reply.
UserAcPosition gf_getUserAcPosition();
