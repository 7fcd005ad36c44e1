// The replies about the user's aircraft, as far as the connection itself needs them: the
// title, the raw model, the on-ground flag that paces the engine and the position with the
// user's object id. The rest of what the user's aircraft tells (wingspan and category of the
// model, the jump test, the stand, the simulator's UTC time) joins here with its own issue.
#include "simlink/user_aircraft.h"

#include <fmt/format.h>

#include <cmath>
#include <cstring>

#include "core/log.h"
#include "simlink/sim_client_detail.h"

std::mutex g_simUserDataMutex;
std::atomic<bool> g_stepDue{false};
std::atomic<std::uint8_t> g_userInfoReceived{0};
std::atomic<bool> g_userOnGround{false};
std::atomic<std::uint32_t> g_userObjectId{2};
std::string g_userAcTitle;

namespace {

constexpr std::size_t kMaxTitleLength = 48;

UserAcPosition g_userAcState;  // under g_simUserDataMutex

// A continuation line: ten blanks in front.
void lf_logIndented(std::string_view text) { gf_log(fmt::format("{:10}{}", "", text)); }

}  // namespace

UserAcPosition gf_getUserAcPosition() {
  std::lock_guard lock(g_simUserDataMutex);
  return g_userAcState;
}

void lf_handleUserTitle(const std::byte* data, std::size_t size) {
  const void* end = std::memchr(data, 0, size);
  if (!end) {
    gf_logWarning("SimConnect USER_AC_TITLE is not null terminated");
    return;
  }
  std::string title(reinterpret_cast<const char*>(data), static_cast<const std::byte*>(end) - data);
  if (title.empty()) gf_log("! Title of your aircraft is empty?");
  if (title.size() > kMaxTitleLength) title.resize(kMaxTitleLength);
  if (title != g_userAcTitle) {
    g_userAcTitle = title;
    lf_logIndented("SimConnect: user aircraft title: " + title);
  }
}

void lf_handleUserModel(const std::byte* data, std::size_t size) {
  const std::size_t field = std::min<std::size_t>(size, 32);
  const char* text = reinterpret_cast<const char*>(data);
  lf_logIndented(fmt::format("model raw: {}", std::string(text, strnlen(text, field))));
}

void lf_handleUserOnGround(const std::byte* data, std::size_t size) {
  if (size < sizeof(std::int64_t)) return;
  std::int64_t value = 0;
  std::memcpy(&value, data, sizeof value);
  const UserAcPosition position = gf_getUserAcPosition();
  if (std::abs(position.latitude) <= 0.0001 && std::abs(position.longitude) <= 0.0001) {
    g_stepDue = true;  // no position yet
    return;
  }
  g_userOnGround = value != 0;
  g_stepDue = true;
}

void lf_handleUserPosition(std::uint32_t objectId, const std::byte* data, std::size_t size) {
  if (size < sizeof(UserAcPosition)) return;
  UserAcPosition position;
  std::memcpy(&position, data, sizeof position);
  if (position.altitude < 0.0) position.altitude = 0.0;
  {
    std::lock_guard lock(g_simUserDataMutex);
    g_userAcState = position;
  }
  g_userObjectId = objectId;
}

void lf_updateUserStand() {
  // The user's stand needs the park airport's stands, which the parking tables provide; until
  // they exist there is nothing to look up.
}

void lf_resetUserAircraft() {
  g_userObjectId = 2;
  g_userAcTitle.clear();
  g_userOnGround = false;
  {
    std::lock_guard lock(g_simUserDataMutex);
    g_userAcState = UserAcPosition{};
  }
}
