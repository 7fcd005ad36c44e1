// The replies about the user's aircraft, handled on the SimClient thread: the title, the model
// with its wingspan and category, the on-ground flag that paces the engine, and the position
// with the jump test, the user's stand and the simulator's UTC time.
#include "simlink/user_aircraft.h"

#include <fmt/format.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "appbase/stop_request.h"
#include "core/log.h"
#include "core/user_message.h"
#include "refdata/model_ids.h"
#include "refdata/user_ac_type.h"
#include "simlink/sim_client_detail.h"

std::mutex g_simUserDataMutex;
std::atomic<bool> g_stepDue{false};
std::atomic<std::uint8_t> g_userInfoReceived{0};
std::atomic<bool> g_userOnGround{false};
std::atomic<std::uint32_t> g_userObjectId{2};
std::string g_userAcTitle;
std::atomic<double> g_userHalfWingspanNm{std::numeric_limits<double>::quiet_NaN()};
std::atomic<std::int64_t> g_simZuluTime{0};
std::atomic<bool> g_simZuluTimeValid{false};
std::atomic<bool> g_userGroundLogged{false};
std::atomic<bool> g_zuluWarningLogged{false};

namespace {

constexpr std::size_t kMaxTitleLength = 48;
constexpr std::size_t kModelFieldLength = 32;  // STRING32
constexpr double kMetresPerNm = 1852.0;
constexpr double kNoPosition = 0.0001;  // degrees: a latitude and longitude this close to 0 are "not known yet"

UserAcPosition g_userAcState;  // under g_simUserDataMutex
Lalo g_previousUserPosition;   // SimClient thread: reference of the jump test

std::mutex g_userHooksMutex;
std::shared_ptr<const UserAircraftHooks> g_userHooks = std::make_shared<const UserAircraftHooks>();

std::shared_ptr<const UserAircraftHooks> lf_userHooks() {
  std::lock_guard lock(g_userHooksMutex);
  return g_userHooks;
}

// A continuation line: ten blanks in front.

bool lf_isKnownPosition(const Lalo& p) { return std::abs(p.lat) > kNoPosition || std::abs(p.lon) > kNoPosition; }

// Cut to at most `length` bytes without splitting a UTF-8 sequence.
void lf_cutUtf8(std::string& text, std::size_t length) {
  if (text.size() <= length) return;
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  text.resize(length);
}

void lf_setUserWingspanKnown(bool known) {
  auto hooks = lf_userHooks();
  if (hooks->setUserWingspanKnown) hooks->setUserWingspanKnown(known);
}

void lf_showUserStand(std::string_view text) {
  auto hooks = lf_userHooks();
  if (hooks->setUserStand) hooks->setUserStand(text);
}

std::optional<std::string> lf_standNameAtPos(const Lalo& position) {
  auto hooks = lf_userHooks();
  return hooks->standNameAtPos ? hooks->standNameAtPos(position) : std::nullopt;
}

// Civil date to days since 1970-01-01 (proleptic Gregorian; valid for negative years too).
constexpr std::int64_t lf_daysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}
static_assert(lf_daysFromCivil(1970, 1, 1) == 0);
static_assert(lf_daysFromCivil(2000, 3, 1) == 11017);

bool lf_isLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

void lf_keepZuluTime(const UserAcPosition& position) {
  auto hooks = lf_userHooks();
  if (!(hooks->rtProfessional && hooks->rtProfessional())) {
    g_simZuluTimeValid = false;
    return;
  }
  const auto seconds = gf_simZuluSeconds(position.zuluYear, position.zuluDayOfYear, position.zuluTime);
  if (seconds) {
    g_simZuluTime = *seconds;
    g_simZuluTimeValid = true;
    g_zuluWarningLogged = false;
    return;
  }
  g_simZuluTimeValid = false;
  if (!g_zuluWarningLogged.exchange(true))
    gf_logWarning(fmt::format("Invalid simulator Zulu time: year={}, day-of-year={}, seconds={}", position.zuluYear,
                              position.zuluDayOfYear, position.zuluTime));
}

}  // namespace

UserAcPosition gf_getUserAcPosition() {
  std::lock_guard lock(g_simUserDataMutex);
  return g_userAcState;
}

void gf_setUserAircraftHooks(UserAircraftHooks hooks) {
  auto shared = std::make_shared<const UserAircraftHooks>(std::move(hooks));
  std::lock_guard lock(g_userHooksMutex);
  g_userHooks = std::move(shared);
}

std::optional<std::int64_t> gf_simZuluSeconds(std::int64_t year, std::int64_t dayOfYear, std::int64_t seconds) {
  if (year < -32767 || year > 32767) return std::nullopt;
  if (dayOfYear < 1 || dayOfYear > (lf_isLeapYear(year) ? 366 : 365)) return std::nullopt;
  // A negative second is no time of the day either.
  if (seconds < 0 || seconds >= 86400) return std::nullopt;
  return (lf_daysFromCivil(year, 1, 1) + dayOfYear - 1) * 86400 + seconds;
}

void lf_handleUserTitle(const std::byte* data, std::size_t size) {
  const void* end = std::memchr(data, 0, size);
  if (!end) {
    gf_logWarning("SimConnect USER_AC_TITLE is not null terminated");
    return;
  }
  std::string title(reinterpret_cast<const char*>(data), static_cast<const std::byte*>(end) - data);
  if (title.empty()) gf_log("! Title of your aircraft is empty?");
  lf_cutUtf8(title, kMaxTitleLength);
  if (title != g_userAcTitle) {
    g_userAcTitle = title;
    gf_logIndented("SimConnect: user aircraft title: " + title);
  }
}

void lf_handleUserModel(const std::byte* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  std::string model(text, strnlen(text, std::min(size, kModelFieldLength)));
  gf_logIndented(fmt::format("model raw: {}", model));
  if (auto type = gf_userAcIcaoType(model, g_userAcTitle); type && *type != model) {
    gf_logIndented(fmt::format("model normalized: {}", *type));
    model = std::move(*type);
  }
  g_userHalfWingspanNm = std::numeric_limits<double>::quiet_NaN();

  if (model.empty()) {
    lf_setUserWingspanKnown(false);
    gf_showUserMessage(
        "171: No model info from your user aircraft received in SimConnect, max wing span is taken instead", true);
    return;
  }
  // Camera and ship objects have no wingspan worth asking for.
  if (model.find("camerapod") != std::string::npos || model.find("Crew Vessel") != std::string::npos) {
    lf_setUserWingspanKnown(true);
    gf_logIndented("SimConnect: User aircraft model: " + model);
    return;
  }

  // Only a type designator can be in the dbase; a longer text would just be interned for nothing.
  double halfSpanNm = model.size() <= 4 ? gf_wingspanOf(gf_internModelName(model)) : 0.0;
  std::string line = "SimConnect: User aircraft model: " + model;
  if (!(halfSpanNm > 0.0)) {
    // These add-ons report a model the dbase does not know; their titles name the type.
    static constexpr std::array<std::string_view, 3> kAerosoftTitles = {"Aerosoft A319", "Aerosoft A320",
                                                                        "Aerosoft A321"};
    for (std::string_view title : kAerosoftTitles) {
      if (g_userAcTitle.size() >= 13 && std::string_view(g_userAcTitle).substr(0, 13) == title) {
        model = std::string(title.substr(9));
        line = "SimConnect: User aircraft model deduced from title: " + model;
        halfSpanNm = gf_wingspanOf(gf_internModelName(model));
        break;
      }
    }
  }
  if (halfSpanNm > 0.0) {
    lf_setUserWingspanKnown(true);
    g_userHalfWingspanNm = halfSpanNm;
    line += fmt::format(", half wing span: {:.1F} meter", halfSpanNm * kMetresPerNm);
  } else {
    lf_setUserWingspanKnown(false);
    gf_showUserMessage("User aircraft wing span unknown, max is taken instead, please report in my Forum!", true);
  }
  const AcCategory category = model.size() <= 4 ? gf_categoryOf(gf_internModelName(model)) : AcCategory::none;
  line += fmt::format(", category: {}", gf_categoryName(category));
  gf_logIndented(line);
}

void lf_handleUserOnGround(const std::byte* data, std::size_t size) {
  if (size < sizeof(std::int64_t)) return;
  std::int64_t value = 0;
  std::memcpy(&value, data, sizeof value);
  const UserAcPosition position = gf_getUserAcPosition();
  if (!lf_isKnownPosition({position.latitude, position.longitude})) {
    g_stepDue = true;  // no position yet: the engine steps, but the flag says nothing
    return;
  }
  if (!g_userGroundLogged.exchange(true))
    gf_log(fmt::format(
        "User ground data: SIM ON GROUND={}, AGL={:.0f} ft, altitude={:.0f} ft, groundspeed={:.0f} kt, "
        "position={:.6f},{:.6f}",
        value != 0, position.altitudeAboveGround, position.altitude, position.groundSpeed, position.latitude,
        position.longitude));
  g_userOnGround = value != 0;
  g_userInfoReceived |= kUserGroundReceived;
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

  const Lalo here{position.latitude, position.longitude};
  if (lf_isKnownPosition(g_previousUserPosition) && lf_isKnownPosition(here) &&
      gf_distanceNm(g_previousUserPosition, here) > kTeleportDistanceNm) {
    gf_log("Teleport");
    gf_requestRestartNewFlight();
  }
  g_previousUserPosition = here;

  std::optional<std::string> stand;
  if (g_userOnGround) stand = lf_standNameAtPos(here);
  lf_showUserStand(stand ? *stand : std::string());

  lf_keepZuluTime(position);
  g_userObjectId = objectId;
}

void lf_updateUserStand() {
  const UserAcPosition position = gf_getUserAcPosition();
  if (!g_userOnGround || !(position.groundSpeed <= 2.0)) return;
  auto hooks = lf_userHooks();
  if (!hooks->standNameAtPos) return;
  const auto stand = hooks->standNameAtPos({position.latitude, position.longitude});
  if (!stand) return;
  // The park airport and its stands belong to the parking tables; without them there is no
  // stand to keep.
  if (!hooks->parkAirportCode || !hooks->storeUserStand) return;
  hooks->storeUserStand(hooks->parkAirportCode(), *stand);
}

void lf_resetUserAircraft() {
  g_userObjectId = 2;
  g_userAcTitle.clear();
  g_userOnGround = false;
  g_userGroundLogged = false;
  g_userHalfWingspanNm = std::numeric_limits<double>::quiet_NaN();
  g_simZuluTimeValid = false;
  g_simZuluTime = 0;
  g_zuluWarningLogged = false;
  {
    std::lock_guard lock(g_simUserDataMutex);
    g_userAcState = UserAcPosition{};
  }
  g_previousUserPosition = Lalo{};
}
