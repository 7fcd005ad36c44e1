#include "parking/park_airports.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "appbase/gui.h"
#include "config/parameter_snapshot.h"
#include "config/program_folders.h"
#include "config/sim_choice.h"
#include "core/background_saver.h"
#include "core/log.h"
#include "core/text.h"
#include "core/text_file.h"
#include "core/utc_time.h"
#include "feed/feed_neighbours.h"
#include "feed/rt_app_traffic.h"
#include "feed/traffic_handover.h"
#include "feed/traffic_mailbox.h"
#include "parking/airport_file_read.h"
#include "simlink/user_aircraft.h"

namespace fs = std::filesystem;

// Spelled out: another file's path constants are not built yet while this one is.
const fs::path g_myParkAirportsFile = fs::path("airports") / "my_park_airports.txt";

std::mutex g_parkAirportsMutex;
std::deque<ParkAirport> g_parkAirports;
std::vector<std::string> g_preservedParkAirportLines;
bool g_parkAirportsReadCompleted = false;
bool g_parkAirportsFileExisted = false;
Lalo g_parkRecheckPos;
double g_parkRecheckDistNm = 4.0;

Airport g_parkAirport;
std::shared_mutex g_parkAirportLock;
std::atomic<bool> g_parkingSetupRequested{false};

namespace {

constexpr double kRadiansPerDegree = geo::kPi / 180.0;
constexpr double kMinRecheckNm = 4.0;
constexpr std::string_view kFileName = "my_park_airports.txt";

std::mutex g_hooksMutex;
ParkAirportHooks g_hooks;
std::set<std::string, std::less<>> g_missingHooksLogged;  // under g_hooksMutex

// A hook not installed yet: the call is skipped, once said so.
void lf_callHook(std::function<void()> ParkAirportHooks::*hook, std::string_view name) {
  std::function<void()> call;
  {
    std::lock_guard lock(g_hooksMutex);
    call = g_hooks.*hook;
    if (!call && !g_missingHooksLogged.emplace(name).second) return;
  }
  if (call)
    call();
  else
    gf_log(fmt::format("{} is not built yet: skipped", name));
}

// Flat squared distance in NM, longitude scaled by the cosine of the given latitude; across
// the 180-degree meridian the short way round.
double lf_flatSquared(const Lalo& a, const Lalo& b, double cosLat) {
  const double dLat = (a.lat - b.lat) * 60.0;
  const double dLon = gf_wrapLongitude(a.lon - b.lon) * cosLat * 60.0;
  return dLat * dLat + dLon * dLon;
}

// The user's stand names a line of the park-airports file, split at ','.
bool lf_isStorableStand(std::string_view stand, IcaoCode code) {
  if (stand.find(',') == std::string_view::npos) return true;
  gf_logWarning(fmt::format("stand name '{}' holds a ',' and is not kept as user stand of {}", stand, code));
  return false;
}

void lf_resetRecheck() {
  g_parkRecheckPos = Lalo{};
  g_parkRecheckDistNm = kMinRecheckNm;
}

// First entry of a code kept, in order; a later one lends its stand (and position) to a kept
// entry without one.
void lf_deduplicate(std::deque<ParkAirport>& list) {
  std::vector<ParkAirport> kept;
  std::unordered_map<std::uint32_t, std::size_t> at;
  for (ParkAirport& entry : list) {
    const auto [found, inserted] = at.emplace(entry.code.key(), kept.size());
    if (inserted) {
      kept.push_back(std::move(entry));
      continue;
    }
    ParkAirport& first = kept[found->second];
    if (!entry.userStand.empty() && first.userStand.empty()) first = std::move(entry);
  }
  list.assign(std::make_move_iterator(kept.begin()), std::make_move_iterator(kept.end()));
}

std::size_t lf_addParkAirportsFromMyThirdparty(std::deque<ParkAirport>& list) {
  std::error_code error;
  if (!fs::is_directory(g_myThirdpartyFolder, error)) return 0;
  std::unordered_set<std::uint32_t> listed;
  for (const ParkAirport& entry : list) listed.insert(entry.code.key());
  std::size_t added = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(g_myThirdpartyFolder)) {
    if (!entry.is_regular_file(error)) continue;
    const std::optional<IcaoCode> code = gf_optionalIcaoCode(entry.path().stem().string());
    if (!code || listed.contains(code->key())) continue;
    const std::optional<Airport> airport = gf_findAirport(*code);
    if (!airport) continue;
    list.push_back(ParkAirport{"", airport->position.lat, airport->position.lon, *code});
    listed.insert(code->key());
    ++added;
  }
  return added;
}

struct FileLines {
  std::deque<ParkAirport> list;
  std::vector<std::string> preserved;
};

FileLines lf_parseLines(std::string_view content) {
  FileLines read;
  std::vector<std::string> lines;
  gf_splitLines(content, lines);
  for (std::string& line : lines) {
    const std::vector<std::string> pieces = gf_split(line, ',');
    if (pieces.empty()) {
      read.preserved.push_back(std::move(line));
      continue;
    }
    if (pieces.size() >= 3) {
      gf_logWarning(fmt::format("{}:{} wrong syntax, preserved", kFileName, line));
      read.preserved.push_back(std::move(line));
      continue;
    }
    const std::optional<IcaoCode> code = gf_optionalIcaoCode(pieces[0]);
    if (!code) {
      gf_logWarning(fmt::format("{}:{} invalid ICAO code, preserved", kFileName, line));
      read.preserved.push_back(std::move(line));
      continue;
    }
    const std::optional<Airport> airport = gf_findAirport(*code);
    if (!airport) {
      Gui::showMessage(fmt::format("airport {} is unknown", pieces[0]), true);
      read.preserved.push_back(std::move(line));
      continue;
    }
    read.list.push_back(
        ParkAirport{pieces.size() == 2 ? pieces[1] : "", airport->position.lat, airport->position.lon, *code});
  }
  return read;
}

// Steps that may throw; false when the read cannot complete.
bool lf_readMyParkAirportsFile(bool& allAccepted) {
  const std::string path = gf_pathToUtf8(g_myParkAirportsFile);
  gf_awaitSave(g_myParkAirportsFile);
  std::error_code error;
  const fs::file_status status = fs::status(g_myParkAirportsFile, error);
  bool existed = true;
  FileLines read;
  if (status.type() == fs::file_type::not_found || (status.type() == fs::file_type::none && !error)) {
    gf_log(fmt::format("No saved park airports file: '{}'", path));
    existed = false;
  } else if (status.type() == fs::file_type::none) {
    gf_logWarning(fmt::format("Could not check '{}': {}", path, error.message()));
    return false;
  } else {
    std::ifstream in(g_myParkAirportsFile, std::ios::binary);
    // A folder opens here but reads as nothing; it is no file to read, nor to write over later.
    if (!in || status.type() == fs::file_type::directory) {
      gf_logWarning(fmt::format("Could not open '{}'", path));
      return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
      gf_logWarning(fmt::format("Could not read '{}'", path));
      return false;
    }
    read = lf_parseLines(content.str());
    if (read.list.size() >= 2) lf_deduplicate(read.list);
  }
  const std::size_t fromFile = read.list.size();
  const std::size_t added = lf_addParkAirportsFromMyThirdparty(read.list);
  if (read.list.size() >= 2) lf_deduplicate(read.list);

  const std::size_t total = read.list.size();
  if (existed)
    gf_log(fmt::format("\n{:5} park airport{} read from '{}'", fromFile, gf_pluralS(static_cast<std::int64_t>(fromFile)),
                       kFileName));
  if (added > 0)
    gf_log(fmt::format("{:5} park airport{} added from '{}'", added, gf_pluralS(static_cast<std::int64_t>(added)),
                       gf_pathToUtf8(g_myThirdpartyFolder)));
  if (total > 0) gf_log(fmt::format("{:5} park airport{} available in total", total, total > 1 ? "s" : ""));
  if (total > 3000)
    Gui::showMessage(
        fmt::format("Warning: There are a lot of park airports ({}), that will cost JORV much cpu time and may cause "
                    "stutters",
                    total),
        true);

  allAccepted = read.preserved.empty();
  std::lock_guard lock(g_parkAirportsMutex);
  g_parkAirports.swap(read.list);
  g_preservedParkAirportLines.swap(read.preserved);
  g_parkAirportsFileExisted = existed;
  g_parkAirportsReadCompleted = true;
  lf_resetRecheck();
  return true;
}

void lf_moveToFront(IcaoCode code, const Lalo& position, const std::string_view* stand) {
  const bool storeStand = stand && lf_isStorableStand(*stand, code);
  std::lock_guard lock(g_parkAirportsMutex);
  const auto found = std::find_if(g_parkAirports.begin(), g_parkAirports.end(),
                                  [&](const ParkAirport& entry) { return entry.code == code; });
  if (found != g_parkAirports.end()) {
    found->lat = position.lat;
    found->lon = position.lon;
    if (storeStand) found->userStand = std::string(*stand);
    std::rotate(g_parkAirports.begin(), found, std::next(found));
  } else {
    g_parkAirports.push_front(ParkAirport{storeStand ? std::string(*stand) : "", position.lat, position.lon, code});
  }
  lf_resetRecheck();
}

Airport lf_parkAirportCopy() {
  std::shared_lock lock(g_parkAirportLock);
  return g_parkAirport;
}

void lf_setParkAirport(const Airport& airport) {
  std::unique_lock lock(g_parkAirportLock);
  g_parkAirport = airport;
}

void lf_parkAirportChosen(IcaoCode code) {
  Gui::enqueueUpdate(gui::SetParkAirportCode{code});
  g_parkingSetupRequested = true;
  lf_callHook(&ParkAirportHooks::disableParkingControls, "gf_disableParkingControls");
  gf_resetParkedTraffic();
}

void lf_giveUpParkAirport() {
  lf_callHook(&ParkAirportHooks::clearStandSearchHits, "gf_clearStandSearchHits");
  lf_callHook(&ParkAirportHooks::removeAllStaticAndLiveAtAirport, "lf_removeAllStaticAndLiveAtAirport");
  bool resetInstalled = false;
  {
    std::lock_guard lock(g_hooksMutex);
    resetInstalled = static_cast<bool>(g_hooks.resetParkAirport);
  }
  lf_callHook(&ParkAirportHooks::resetParkAirport, "gf_resetParkAirport");
  // Without the reset the airport would stay chosen for good; with it this changes nothing.
  lf_setParkAirport(Airport{});
  if (!resetInstalled) Gui::enqueueUpdate(gui::SetParkAirportCode{IcaoCode()});
}

}  // namespace

bool gf_readMyParkAirportsFile() {
  {
    std::lock_guard lock(g_parkAirportsMutex);
    g_parkAirportsReadCompleted = false;
  }
  bool allAccepted = true;
  try {
    lf_readMyParkAirportsFile(allAccepted);
  } catch (const std::exception& e) {
    gf_logWarning(fmt::format("{}: {}", "gf_readMyParkAirportsFile", gf_escapedText(e.what())));
    std::lock_guard lock(g_parkAirportsMutex);
    g_parkAirportsReadCompleted = false;
  }
  return allAccepted;
}

void gf_saveMyParkAirportsFile() {
  const std::string path = gf_pathToUtf8(g_myParkAirportsFile);
  std::deque<ParkAirport> list;
  std::vector<std::string> preserved;
  bool existed = false;
  {
    std::lock_guard lock(g_parkAirportsMutex);
    if (!g_parkAirportsReadCompleted) {
      gf_log("Park airports file not saved: reading was not completed");
      return;
    }
    list = g_parkAirports;
    preserved = g_preservedParkAirportLines;
    existed = g_parkAirportsFileExisted;
    g_parkAirportsReadCompleted = false;
  }
  if (list.empty() && preserved.empty()) {
    if (existed) gf_log(fmt::format("Park airports file left unchanged: '{}'", path));
    return;
  }
  if (list.size() >= 2) lf_deduplicate(list);
  std::vector<std::string> lines;
  lines.reserve(list.size() + preserved.size());
  for (const ParkAirport& entry : list)
    lines.push_back(entry.userStand.empty() ? std::string(entry.code.text())
                                            : fmt::format("{},{}", entry.code.text(), entry.userStand));
  std::sort(lines.begin(), lines.end());
  lines.insert(lines.end(), preserved.begin(), preserved.end());
  std::string text;
  for (const std::string& line : lines) text.append(line).push_back('\n');
  // Written by the saver; the program's end drains it, a read of the file waits for it.
  BackgroundSave save{g_myParkAirportsFile, std::move(text), true, false, {}};
  save.done = [path](bool ok, const std::string&) {
    if (!ok) gf_logWarning(fmt::format("Could not write '{}'", path));
  };
  gf_queueSave(std::move(save));
}

std::optional<ParkAirport> gf_frontParkAirport() {
  std::lock_guard lock(g_parkAirportsMutex);
  if (g_parkAirports.empty()) return std::nullopt;
  return g_parkAirports.front();
}

std::optional<std::string> gf_getUserStand() {
  std::lock_guard lock(g_parkAirportsMutex);
  if (g_parkAirports.empty() || g_parkAirports.front().userStand.empty()) return std::nullopt;
  return g_parkAirports.front().userStand;
}

std::optional<std::string> gf_getUserStandOf(IcaoCode code) {
  std::lock_guard lock(g_parkAirportsMutex);
  for (const ParkAirport& entry : g_parkAirports)
    if (entry.code == code) return entry.userStand.empty() ? std::nullopt : std::optional(entry.userStand);
  return std::nullopt;
}

int gf_setUserStand(IcaoCode code, std::string_view stand) {
  if (!lf_isStorableStand(stand, code)) return 0;
  std::lock_guard lock(g_parkAirportsMutex);
  if (g_parkAirports.empty() || g_parkAirports.front().code != code) return 0;
  g_parkAirports.front().userStand = std::string(stand);
  return 1;
}

bool gf_storeUserStand(std::string_view airport, std::string_view stand) {
  const std::optional<IcaoCode> code = gf_optionalIcaoCode(airport);
  if (!code || !lf_isStorableStand(stand, *code)) return false;
  std::lock_guard lock(g_parkAirportsMutex);
  for (ParkAirport& entry : g_parkAirports) {
    if (entry.code != *code) continue;
    entry.userStand = std::string(stand);
    return true;
  }
  return false;
}

void gf_moveParkAirportToFront(IcaoCode code, const Lalo& position) { lf_moveToFront(code, position, nullptr); }

void gf_moveParkAirportToFrontWithStand(IcaoCode code, const Lalo& position, std::string_view stand) {
  lf_moveToFront(code, position, &stand);
}

void gf_frontNearestParkAirport(const Lalo& user) noexcept {
  try {
    std::lock_guard lock(g_parkAirportsMutex);
    if (g_parkAirports.empty()) return;
    const double cosLat = std::cos(user.lat * kRadiansPerDegree);
    if (!(g_parkRecheckPos.lat == 0.0 && g_parkRecheckPos.lon == 0.0) &&
        g_parkRecheckDistNm * g_parkRecheckDistNm > lf_flatSquared(user, g_parkRecheckPos, cosLat))
      return;
    g_parkRecheckPos = user;
    std::optional<std::size_t> nearest;
    double best = 0.0;
    for (std::size_t i = 0; i < g_parkAirports.size(); ++i) {
      const ParkAirport& entry = g_parkAirports[i];
      if (entry.lat == 0.0 && entry.lon == 0.0) continue;
      const double d2 = lf_flatSquared(Lalo{entry.lat, entry.lon}, user, cosLat);
      if (!nearest || d2 < best) {
        nearest = i;
        best = d2;
      }
    }
    if (!nearest) return;
    if (*nearest != 0) std::swap(g_parkAirports[0], g_parkAirports[*nearest]);
    const ParkAirport& front = g_parkAirports.front();
    g_parkRecheckDistNm = std::max(gf_distanceNm(Lalo{front.lat, front.lon}, user) * 0.5, kMinRecheckNm);
  } catch (...) {
    // A pass that failed is taken again at the next one.
  }
}

bool gf_isWithinParkReach(const Lalo& user, const Lalo& airport) {
  const auto snapshot = g_parameterSnapshot.load();
  if (g_workerUserAcPosition.altitudeAboveGround > static_cast<double>(snapshot->airpHeight)) return false;
  const double range = snapshot->airpRange;
  return range * range >= lf_flatSquared(user, airport, std::cos(user.lat * kRadiansPerDegree));
}

namespace {

struct FailedParkSetup {
  IcaoCode code;
  Lalo where;
  std::int32_t at = 0;  // engine time
};
std::optional<FailedParkSetup> g_failedParkSetup;

// A set-up that failed a moment ago fails again: the worker would only wait on the same server.
bool lf_passedOverAfterFailure(IcaoCode code, const Lalo& user) {
  if (!g_failedParkSetup || g_failedParkSetup->code != code) return false;
  const double cosLat = std::cos(user.lat * kRadiansPerDegree);
  const bool moved = lf_flatSquared(user, g_failedParkSetup->where, cosLat) > kFailedSetupMoveNm * kFailedSetupMoveNm;
  if (moved || g_engineTime.load() - g_failedParkSetup->at >= kFailedSetupPauseTicks) {
    g_failedParkSetup.reset();
    return false;
  }
  return true;
}

}  // namespace

void gf_noteFailedParkSetup(IcaoCode code, const Lalo& user) {
  g_failedParkSetup = FailedParkSetup{code, user, g_engineTime.load()};
}

void gf_resetFailedParkSetup() { g_failedParkSetup.reset(); }

void gf_chooseParkAirport(const Lalo& user) {
  if (g_userOnGround) {
    bool pending = false;
    const std::optional<Airport> airport = gf_findClosestAirport(user, &pending);
    if (pending) return;  // chosen at a later pass, once the candidates' stand files are in
    if (!airport) {
      Gui::showMessage("User aircraft on the ground, no RT supported airport within reach", true);
      return;
    }
    if (lf_passedOverAfterFailure(airport->code, user)) return;
    if (!gf_hasAirportData(airport->code)) {
      Gui::showMessage(fmt::format("User aircraft on the ground at {}, no airport file found", airport->code), true);
      return;
    }
    gf_log(fmt::format("User aircraft on the ground at {}", airport->code));
    lf_setParkAirport(*airport);
    gf_logFlush(fmt::format("\nThe park airport is {}", airport->code));
    lf_parkAirportChosen(airport->code);
    if (!gf_isRtDirect()) gf_requestParkedTraffic();
    return;
  }
  const std::optional<ParkAirport> front = gf_frontParkAirport();
  if (!front || !gf_isWithinParkReach(user, Lalo{front->lat, front->lon})) return;
  const std::optional<Airport> airport = gf_findAirport(front->code);
  if (!airport) {
    Gui::enqueueUpdate(gui::SetParkAirportCode{IcaoCode()});
    return;
  }
  if (lf_passedOverAfterFailure(airport->code, user)) return;
  lf_setParkAirport(*airport);
  gf_log(fmt::format("\nThe park airport is {}", airport->code));
  Gui::enqueueUpdate(gui::SetParkAirportCode{airport->code});
  if (!gf_isRtDirect()) gf_requestParkedTraffic();
  Gui::showMessage(fmt::format("{} within reach", airport->code), true);
  g_parkingSetupRequested = true;
  lf_callHook(&ParkAirportHooks::disableParkingControls, "gf_disableParkingControls");
  gf_resetParkedTraffic();
  gf_flushLog();
}

void gf_checkParkAirportReach(const Lalo& user) {
  if (g_userOnGround) return;
  const Airport park = lf_parkAirportCopy();
  if (!gf_isWithinParkReach(user, park.position)) {
    gf_logFlush(fmt::format("\n{} {} is no longer within reach, parked aircraft will be removed", gf_timeStampHms(),
                            park.code));
    lf_giveUpParkAirport();
    return;
  }
  const std::optional<ParkAirport> front = gf_frontParkAirport();
  if (!front || front->code == park.code) return;
  const Lalo frontPosition{front->lat, front->lon};
  if (!gf_isWithinParkReach(user, frontPosition)) return;
  const double cosLat = std::cos(user.lat * kRadiansPerDegree);
  if (lf_flatSquared(user, park.position, cosLat) < lf_flatSquared(user, frontPosition, cosLat) ||
      gf_distanceNm(user, park.position) < gf_distanceNm(user, frontPosition))
    return;
  gf_logFlush(fmt::format("\n{} {} is within reach, parked aircraft at {} will be removed first", gf_timeStampHms(),
                          front->code, park.code));
  lf_giveUpParkAirport();
}

bool gf_isNearParkAirport(const Lalo& position) {
  const Airport park = lf_parkAirportCopy();
  if (park.code.empty() || !gf_isValidLalo(park.position)) return false;
  return 100.0 >= lf_flatSquared(park.position, position, std::cos(park.position.lat * kRadiansPerDegree));
}

void gf_setParkAirportHooks(ParkAirportHooks hooks) {
  std::lock_guard lock(g_hooksMutex);
  g_hooks = std::move(hooks);
  g_missingHooksLogged.clear();
}

void gf_resetParkAirports() {
  {
    std::lock_guard lock(g_parkAirportsMutex);
    g_parkAirports.clear();
    g_preservedParkAirportLines.clear();
    g_parkAirportsReadCompleted = false;
    g_parkAirportsFileExisted = false;
    lf_resetRecheck();
  }
  lf_setParkAirport(Airport{});
  g_parkingSetupRequested = false;
  g_failedParkSetup.reset();
}
