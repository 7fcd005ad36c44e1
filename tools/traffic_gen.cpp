// Real-looking traffic around a fixture airport: each flight is flown by a small kinematic model
// in quarter-second steps, then reported at RealTraffic's irregular cadence.
#include "tools/traffic_gen.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>

namespace trafficgen {

namespace {

using standin::sim::bearingDeg;
using standin::sim::distanceMetres;
using standin::sim::FacilityLayout;
using standin::sim::kFeetPerMetre;
using standin::sim::kMetresPerNm;
using standin::sim::LayoutRunway;
using standin::sim::LayoutRunwayEnd;
using standin::sim::LayoutStand;
using standin::sim::offsetPosition;

constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180.0;
constexpr double kMpsPerKt = 1852.0 / 3600.0;
constexpr double kStep = 0.25;  // seconds per step of the flight model
constexpr double kGlideDeg = 3.0;
constexpr double kAimPointMetres = 250.0;     // where the 3-degree path meets the runway: 43 ft over the threshold
constexpr double kFlareFeet = 15.0;           // the flare's start; the wheels touch about 340 m past the threshold
constexpr double kExitKt = 25.0;              // the speed at a high-speed exit's turn-off
constexpr double kFirstExitMetres = 1300.0;   // the high-speed exits, from the landing threshold on
constexpr double kExitSpacingMetres = 350.0;
constexpr double kExitBeforeEndMetres = 500.0;
constexpr double kTaxiwayOffsetMetres = 180.0;  // the parallel taxiway's distance from the centreline
constexpr double kHoldingOffsetMetres = 90.0;
constexpr double kLineUpMetres = 60.0;          // a take-off starts this far in from the runway's end
constexpr std::int64_t kDefaultStart = 1733400000;

// Deterministic on any standard library: mt19937_64's output is fixed by the standard, the
// library's distributions are not.
class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}
  double uniform(double low, double high) {
    return low + (high - low) * static_cast<double>(engine_() >> 11) * 0x1.0p-53;
  }
  std::size_t index(std::size_t count) { return static_cast<std::size_t>(engine_() % count); }
  bool chance(double p) { return uniform(0.0, 1.0) < p; }
  char letter() { return static_cast<char>('A' + index(26)); }
  char digit() { return static_cast<char>('0' + index(10)); }

 private:
  std::mt19937_64 engine_;
};

double lf_wrap180(double degrees) { return std::remainder(degrees, 360.0); }
double lf_norm360(double degrees) {
  const double value = std::fmod(degrees, 360.0);
  return value < 0.0 ? value + 360.0 : value;
}

struct LatLon {
  double lat = 0.0;
  double lon = 0.0;
};

LatLon lf_moved(LatLon from, double bearing, double metres) {
  offsetPosition(from.lat, from.lon, bearing, metres);
  return from;
}

// One step of the flight model.
struct State {
  double t = 0.0;  // seconds after the flight's start
  LatLon at;
  double altitude = 0.0;  // ft above sea level, also on the ground
  double gs = 0.0;        // kt
  double track = 0.0;     // direction of motion, degrees
  double heading = 0.0;   // the nose's, degrees (a push-back moves tail first)
  double vs = 0.0;        // ft/min
  double roll = 0.0;      // degrees, right wing down positive
  bool onGround = false;
};

struct Control {
  double track = 0.0;
  double speed = 0.0;      // kt to reach
  double accel = 1.0;      // kt/s either way
  double turnRate = 3.0;   // degrees/s at most
  double altitude = 0.0;   // ft to reach in the air
  double climb = 0.0;      // ft/min at most
  double descent = 0.0;    // ft/min at most
  bool reverse = false;    // pushed back: the nose points against the motion
};

class Mover {
 public:
  explicit Mover(const State& start) { path_.push_back(start); }
  const State& now() const { return path_.back(); }
  const std::vector<State>& path() const { return path_; }

  void step(const Control& c) {
    State s = path_.back();
    const double turn = std::clamp(lf_wrap180(c.track - s.track), -c.turnRate * kStep, c.turnRate * kStep);
    s.track = lf_norm360(s.track + turn);
    s.gs = std::max(0.0, s.gs + std::clamp(c.speed - s.gs, -c.accel * kStep, c.accel * kStep));
    if (s.onGround) {
      s.vs = 0.0;
      s.roll = 0.0;
    } else {
      const double change = std::clamp(c.altitude - s.altitude, -c.descent / 60.0 * kStep, c.climb / 60.0 * kStep);
      s.altitude += change;
      s.vs = change / kStep * 60.0;
      // The bank of a coordinated turn at this rate and speed.
      s.roll = std::atan(s.gs * kMpsPerKt * (turn / kStep) * kRad / 9.80665) / kRad;
    }
    s.at = lf_moved(s.at, s.track, s.gs * kMpsPerKt * kStep);
    s.heading = c.reverse ? lf_norm360(s.track + 180.0) : s.track;
    s.t += kStep;
    path_.push_back(s);
  }
  void hold(double seconds) {
    Control c{.track = now().track, .speed = 0.0, .accel = 10.0, .turnRate = 0.0};
    const bool reversed = std::fabs(lf_wrap180(now().heading - now().track)) > 90.0;
    for (double t = 0.0; t < seconds; t += kStep) {
      step(c);
      if (reversed) path_.back().heading = path_[path_.size() - 2].heading;
    }
  }
  void touchDown(double elevation) {
    State& s = path_.back();
    s.onGround = true;
    s.altitude = elevation;
    s.vs = 0.0;
    s.roll = 0.0;
  }
  void liftOff() { path_.back().onGround = false; }
  // At rest after a push-back, the next movement is nose first.
  void faceForward() { path_.back().track = path_.back().heading; }

 private:
  std::vector<State> path_;
};

struct Waypoint {
  LatLon at;
  double speed = 15.0;  // kt on the way there
  bool stop = false;    // come to rest on it
  bool exact = false;   // pass over it, not merely near it
};

// Ground movement along waypoints; slower where the next turn is sharp, braking for a stop.
void lf_taxi(Mover& mover, const std::vector<Waypoint>& route) {
  constexpr double kBrake = 0.6;  // m/s^2
  for (const Waypoint& wp : route) {
    for (int steps = 0; steps < 8000; ++steps) {
      const State& s = mover.now();
      const double distance = distanceMetres(s.at.lat, s.at.lon, wp.at.lat, wp.at.lon);
      const double bearing = bearingDeg(s.at.lat, s.at.lon, wp.at.lat, wp.at.lon);
      const double error = std::fabs(lf_wrap180(bearing - s.track));
      if (wp.stop ? distance < 1.5
                  : wp.exact ? distance < 1.5 || (distance < 6.0 && error > 90.0)
                             : distance < 15.0 || (distance < 40.0 && error > 100.0))
        break;
      double speed = wp.speed;
      if (error > 30.0) speed = std::max(3.0, wp.speed * std::cos(std::min(error, 80.0) * kRad));
      if (wp.stop) speed = std::min(speed, std::max(1.0, std::sqrt(2.0 * kBrake * distance) / kMpsPerKt));
      mover.step(Control{.track = bearing, .speed = speed, .accel = 1.5, .turnRate = 15.0});
    }
  }
  if (!route.empty() && route.back().stop) mover.hold(0.5);
}

// A runway seen from one of its ends.
struct RunwayEnd {
  const LayoutRunway* runway = nullptr;
  const LayoutRunwayEnd* end = nullptr;
  double heading = 0.0;    // of a landing or take-off on this end
  double elevation = 0.0;  // ft
  int side = 1;            // the parallel taxiway lies right (1) or left (-1) of `heading`
};

LatLon lf_alongRunway(const RunwayEnd& e, double fromEnd, double sideways) {
  LatLon p = lf_moved({e.end->latitude, e.end->longitude}, e.heading, fromEnd);
  if (sideways != 0.0) p = lf_moved(p, e.heading + 90.0 * e.side, sideways);
  return p;
}

double lf_fromEnd(const RunwayEnd& e, LatLon p) {
  const double d = distanceMetres(e.end->latitude, e.end->longitude, p.lat, p.lon);
  return d * std::cos((bearingDeg(e.end->latitude, e.end->longitude, p.lat, p.lon) - e.heading) * kRad);
}

// Signed distance right of the runway's line through the end, in metres.
double lf_rightOf(const RunwayEnd& e, LatLon p) {
  const double d = distanceMetres(e.end->latitude, e.end->longitude, p.lat, p.lon);
  return d * std::sin((bearingDeg(e.end->latitude, e.end->longitude, p.lat, p.lon) - e.heading) * kRad);
}

struct TypeInfo {
  double approachKt;
  double climbFpm;
  const char* category;
};

TypeInfo lf_typeInfo(const Fleet& fleet, const std::string& type) {
  if (fleet.heavy.contains(type)) return {150.0, 2000.0, "A5"};
  return {138.0, 2600.0, "A3"};
}

// Registrations made up in the style of each airline's country, with its usual types.
struct AirlineStyle {
  std::string_view airline;
  std::string_view pattern;  // '?' a letter, '#' a digit
  std::array<std::string_view, 5> types;
};

constexpr AirlineStyle kStyles[] = {
    {"SWR", "HB-J??", {"A20N", "A320", "A321", "A333", "B77W"}},
    {"DLH", "D-AI??", {"A20N", "A320", "A321", "A359", "A388"}},
    {"BAW", "G-EU??", {"A319", "A320", "A321", "B772", "A388"}},
    {"KLM", "PH-B??", {"B738", "B739", "B772", "B789", "E190"}},
    {"AFR", "F-GK??", {"A319", "A320", "A321", "A332", "B77W"}},
    {"AUA", "OE-L??", {"A320", "A321", "E195", "B763", "DH8D"}},
    {"EZY", "G-EZ??", {"A319", "A320", "A20N", "A21N", "A319"}},
    {"UAE", "A6-E??", {"B77W", "A388", "B77W", "A388", "B77W"}},
    {"SIA", "9V-S??", {"A359", "B77W", "A388", "A359", "B789"}},
    {"QFA", "VH-O??", {"A388", "B789", "A332", "A333", "B738"}},
    {"AAL", "N###A?", {"B772", "B788", "B789", "B77W", "A321"}},
    {"DAL", "N###D?", {"A332", "A333", "A359", "B763", "B752"}},
    {"UAL", "N###U?", {"B772", "B763", "B789", "B788", "B752"}},
    {"RYR", "EI-D??", {"B738", "B38M", "B738", "B38M", "B738"}},
    {"FDX", "N###FE", {"MD11", "B772", "B763", "MD11", "B752"}},
    {"UPS", "N###UP", {"MD11", "B744", "B763", "B748", "B752"}},
    {"DHK", "G-DHK?", {"B752", "B763", "B77L", "B752", "A332"}},
    {"CLX", "LX-VC?", {"B744", "B748", "B748", "B744", "B748"}},
    {"GEC", "D-ALF?", {"MD11", "B77L", "MD11", "B77L", "MD11"}},
    {"BCS", "OO-TC?", {"B752", "B763", "A332", "B752", "B763"}},
    {"GTI", "N4##MC", {"B744", "B748", "B763", "B744", "B748"}},
};

// The start of each nationality's block of 24-bit addresses.
constexpr std::pair<std::string_view, std::uint32_t> kAddressBlocks[] = {
    {"HB-", 0x4B0000}, {"D-", 0x3C0000},  {"G-", 0x400000},  {"PH-", 0x480000}, {"F-", 0x380000},
    {"OE-", 0x440000}, {"A6-", 0x896000}, {"9V-", 0x768000}, {"VH-", 0x7C0000}, {"EI-", 0x4CA000},
    {"LX-", 0x4D0000}, {"OO-", 0x448000}, {"N", 0xA00000},
};

std::uint32_t lf_addressBlock(const std::string& registration) {
  for (const auto& [prefix, start] : kAddressBlocks)
    if (registration.starts_with(prefix)) return start;
  return 0x500000;
}

struct Builder {
  const FacilityLayout& airport;
  const Fleet& fleet;
  const Options& options;
  Random random;
  std::set<std::uint32_t> hexids;
  std::set<std::string> registrations;
  std::set<std::string> callsigns;
  std::vector<const LayoutStand*> freeGates;
  std::vector<const LayoutStand*> freeCargo;
  std::vector<RunwayEnd> ends;
  std::size_t nextKnown = 0;
  std::vector<std::size_t> knownOrder;
  double windFrom = 0.0;
  double windKt = 0.0;
  std::vector<std::string> recentTypes;  // the last two airframes' types
  std::map<const LayoutRunwayEnd*, std::size_t> exitsTaken;  // each landing end's exits in turn
  std::map<const LayoutRunwayEnd*, double> lastExit;

  Airframe given(const Airframe& airframe) {
    recentTypes.push_back(airframe.type);
    if (recentTypes.size() > 2) recentTypes.erase(recentTypes.begin());
    return airframe;
  }

  // A high-speed exit of the end, metres from its end, at `fromEnd` or beyond: each flight that
  // leaves the runway there takes the next one, so that flights turn off at distinct exits.
  double exitMetres(const RunwayEnd& e, double fromEnd = 0.0) {
    const double landing = e.runway->lengthMetres - e.end->displacedMetres;
    std::vector<double> exits;
    for (double at = kFirstExitMetres; at <= landing - kExitBeforeEndMetres; at += kExitSpacingMetres)
      if (e.end->displacedMetres + at >= fromEnd) exits.push_back(e.end->displacedMetres + at);
    if (exits.empty()) exits.push_back(e.end->displacedMetres + std::max(kFirstExitMetres, landing - kExitBeforeEndMetres));
    std::size_t i = exitsTaken[e.end]++ % exits.size();
    if (exits.size() > 1 && lastExit.contains(e.end) && exits[i] == lastExit[e.end]) i = (i + 1) % exits.size();
    return lastExit[e.end] = exits[i];
  }

  Builder(const FacilityLayout& a, const Fleet& f, const Options& o) : airport(a), fleet(f), options(o), random(o.seed) {}

  Airframe airframe() {
    while (nextKnown < knownOrder.size()) {
      // Mixed types, as at a real airport: the next known airframe of a type not among the last two given.
      for (std::size_t i = nextKnown; i < knownOrder.size(); ++i) {
        const std::string& type = fleet.airframes[knownOrder[i]].type;
        if (std::find(recentTypes.begin(), recentTypes.end(), type) == recentTypes.end()) {
          std::swap(knownOrder[nextKnown], knownOrder[i]);
          break;
        }
      }
      const Airframe& known = fleet.airframes[knownOrder[nextKnown++]];
      if (registrations.insert(known.registration).second) return given(known);
    }
    std::vector<const AirlineStyle*> styles;
    for (const auto& style : kStyles)
      if (std::find(fleet.airlines.begin(), fleet.airlines.end(), style.airline) != fleet.airlines.end())
        styles.push_back(&style);
    if (styles.empty()) throw std::runtime_error("the reference data has none of the airlines the generator knows");
    for (int attempt = 0; attempt < 1000; ++attempt) {
      const AirlineStyle& style = *styles[random.index(styles.size())];
      std::string type(style.types[random.index(style.types.size())]);
      if (!fleet.types.contains(type)) continue;
      if (auto made = madeUp(style, type)) return given(*made);
    }
    throw std::runtime_error("no unused registration found");
  }

  // An airframe of this airline and type, its registration made up in the airline's style.
  Airframe airframe(const std::string& airline, const std::string& type) {
    const auto style = std::find_if(std::begin(kStyles), std::end(kStyles),
                                    [&](const AirlineStyle& s) { return s.airline == airline; });
    if (style == std::end(kStyles) || !fleet.types.contains(type))
      throw std::runtime_error(fmt::format("no {} {} can be made up", airline, type));
    for (int attempt = 0; attempt < 1000; ++attempt)
      if (auto made = madeUp(*style, type)) return given(*made);
    throw std::runtime_error("no unused registration found");
  }

  std::optional<Airframe> madeUp(const AirlineStyle& style, const std::string& type) {
    std::string registration;
    for (char c : style.pattern) registration += c == '?' ? random.letter() : c == '#' ? random.digit() : c;
    if (registration[0] == 'N' && registration[1] == '0') registration[1] = '1';  // no US mark starts N0
    if (!registrations.insert(registration).second) return std::nullopt;
    return Airframe{registration, std::string(style.airline), type};
  }

  rtstandin::Flight identity(const Airframe& airframe, const std::string& origin, const std::string& destination) {
    rtstandin::Flight flight;
    flight.registration = airframe.registration;
    flight.airline = airframe.airline;
    flight.type = airframe.type;
    flight.origin = origin;
    flight.destination = destination;
    flight.emitterCategory = lf_typeInfo(fleet, airframe.type).category;
    const std::uint32_t block = lf_addressBlock(airframe.registration);
    do {
      flight.hexid = block + static_cast<std::uint32_t>(random.index(0x1000));
    } while (!hexids.insert(flight.hexid).second);
    do {
      flight.callsign = fmt::format("{}{}", airframe.airline, 1 + random.index(2999));
    } while (!callsigns.insert(flight.callsign).second);
    return flight;
  }

  std::string otherAirport() {
    if (fleet.iataCodes.empty()) return "null";
    return fleet.iataCodes[random.index(fleet.iataCodes.size())];
  }

  const RunwayEnd& end(const std::vector<std::string>& wanted) {
    std::vector<const RunwayEnd*> choice;
    for (const auto& e : ends)
      if (wanted.empty() || std::find(wanted.begin(), wanted.end(), e.end->designator) != wanted.end())
        choice.push_back(&e);
    return *choice[random.index(choice.size())];
  }

  const LayoutStand* stand(bool cargo, bool heavy) {
    // A passenger flight goes to the cargo apron's remote stands once the gates are taken.
    std::vector<const LayoutStand*>* chosenPool =
        (cargo && !freeCargo.empty()) || freeGates.empty() ? &freeCargo : &freeGates;
    if (chosenPool->empty()) throw std::runtime_error(fmt::format("{} has no free stand left for a taxiing flight", airport.icao));
    // The program parks an aircraft only on a stand its span fits; a heavy finds one on the cargo
    // apron when no heavy gate is free.
    std::vector<std::size_t> fitting;
    auto findFitting = [&](const std::vector<const LayoutStand*>& pool) {
      fitting.clear();
      for (std::size_t i = 0; options.fittingStands && i < pool.size(); ++i)
        if (heavy ? pool[i]->radiusMetres >= 30.0 && (pool[i]->type == 10 || pool[i]->type == 5)
                  : pool[i]->type != 10)
          fitting.push_back(i);
    };
    findFitting(*chosenPool);
    if (fitting.empty() && options.fittingStands && heavy && chosenPool != &freeCargo && !freeCargo.empty()) {
      chosenPool = &freeCargo;
      findFitting(*chosenPool);
    }
    auto& pool = *chosenPool;
    const std::size_t i = fitting.empty() ? random.index(pool.size()) : fitting[random.index(fitting.size())];
    const LayoutStand* chosen = pool[i];
    pool.erase(pool.begin() + static_cast<std::ptrdiff_t>(i));
    // An airport gives no flight a stand whose circle overlaps one already given: the program
    // would take the aircraft on it away to park the other.
    if (options.fittingStands)
      for (auto* free : {&freeGates, &freeCargo})
        std::erase_if(*free, [&](const LayoutStand* other) {
          return distanceMetres(chosen->latitude, chosen->longitude, other->latitude, other->longitude) <
                 chosen->radiusMetres + other->radiusMetres;
        });
    return chosen;
  }

  // -- the flights' paths, each from its own time 0 --

  // A stand given: the flight taxis on to it and stops there.
  std::vector<State> arrival(const RunwayEnd& e, const TypeInfo& info, bool endOnRunway,
                             const LayoutStand* stand = nullptr) {
    const LatLon threshold = lf_alongRunway(e, e.end->displacedMetres, 0.0);
    const LatLon touchDown = lf_moved(threshold, e.heading, kAimPointMetres);
    const double fixNm = 12.0;
    const LatLon fix = lf_moved(touchDown, e.heading + 180.0, fixNm * kMetresPerNm);
    const double entryBearing = e.heading + 180.0 + random.uniform(-80.0, 80.0);
    const LatLon entry = lf_moved({airport.latitude, airport.longitude}, entryBearing, random.uniform(26.0, 32.0) * kMetresPerNm);
    State start;
    start.at = entry;
    start.altitude = std::round(random.uniform(90.0, 120.0)) * 100.0;
    start.gs = random.uniform(240.0, 260.0);
    start.track = start.heading = bearingDeg(entry.lat, entry.lon, fix.lat, fix.lon);
    Mover mover(start);
    const double tanGlide = std::tan(kGlideDeg * kRad);
    const RunwayEnd line{e.runway, e.end, e.heading, e.elevation, e.side};
    bool established = false;
    for (int steps = 0; steps < 20000; ++steps) {
      const State& s = mover.now();
      const double toFix = distanceMetres(s.at.lat, s.at.lon, fix.lat, fix.lon);
      // Along the centreline, negative before the touch-down point; sideways right of it.
      const double along = lf_fromEnd(line, s.at) - (e.end->displacedMetres + kAimPointMetres);
      const double right = lf_rightOf(line, s.at);
      if (!established && (toFix < 2500.0 || (-along < fixNm * kMetresPerNm && std::fabs(right) < 3000.0)))
        established = true;
      const double remaining = established ? -along : toFix + fixNm * kMetresPerNm;
      Control c;
      c.track = established ? e.heading - std::clamp(right * 0.02, -30.0, 30.0)
                            : bearingDeg(s.at.lat, s.at.lon, fix.lat, fix.lon);
      c.speed = info.approachKt + (start.gs - info.approachKt) * std::clamp((remaining - 5.0 * kMetresPerNm) / (12.0 * kMetresPerNm), 0.0, 1.0);
      c.accel = 1.0;
      c.turnRate = 3.0;
      c.altitude = std::min(start.altitude, e.elevation + remaining * tanGlide * kFeetPerMetre);
      c.descent = 2000.0;
      const double height = s.altitude - e.elevation;
      if (established && height < kFlareFeet + 1.0) {
        // The flare: the sink rate eases from about 750 to 150 ft/min as the wheels come down.
        c.altitude = e.elevation - 10.0;
        c.descent = 150.0 + 600.0 * std::max(height, 0.0) / kFlareFeet;
      }
      mover.step(c);
      if (established && mover.now().altitude <= e.elevation) break;
    }
    mover.touchDown(e.elevation);
    // The landing roll: braking on the centreline, at 4.5 kt/s at most, to the speed of the
    // high-speed exit it takes.
    constexpr double kMostBrakingKt = 4.5;
    const double v0 = mover.now().gs * kMpsPerKt;
    const double vExit = kExitKt * kMpsPerKt;
    const double exitAt = exitMetres(e, lf_fromEnd(line, mover.now().at) +
                                            (v0 * v0 - vExit * vExit) / (2.0 * kMostBrakingKt * kMpsPerKt));
    while (lf_fromEnd(line, mover.now().at) < exitAt - 1.0) {
      const State& now = mover.now();
      const double left = exitAt - lf_fromEnd(line, now.at);
      const double v = now.gs * kMpsPerKt;
      const double braking = std::clamp((v * v - vExit * vExit) / (2.0 * std::max(left, 1.0)) / kMpsPerKt, 1.0, kMostBrakingKt);
      const double right = lf_rightOf(line, now.at);
      mover.step(Control{.track = e.heading - std::clamp(right * 0.5, -10.0, 10.0), .speed = kExitKt, .accel = braking,
                         .turnRate = 3.0});
    }
    if (endOnRunway) return mover.path();
    // Off the runway at thirty degrees onto the parallel taxiway, and a little way along it.
    const double forward = kTaxiwayOffsetMetres / std::tan(30.0 * kRad);
    if (stand) {
      std::vector<Waypoint> route{{lf_alongRunway(line, exitAt + forward, kTaxiwayOffsetMetres), 20.0}};
      const std::vector<Waypoint> rest = toStand(line, *stand, true);
      route.insert(route.end(), rest.begin(), rest.end());
      lf_taxi(mover, route);
      mover.hold(random.uniform(25.0, 45.0));
      return mover.path();
    }
    lf_taxi(mover, {{lf_alongRunway(line, exitAt + forward, kTaxiwayOffsetMetres), 20.0},
                    {lf_alongRunway(line, exitAt + forward + 250.0, kTaxiwayOffsetMetres), 18.0}});
    return mover.path();
  }

  // From the runway's parallel taxiway to a stand, lined up on its lead-in line well before it,
  // so that it parks straight; `onLine`: over the lead-in line's points, not merely near them.
  static std::vector<Waypoint> toStand(const RunwayEnd& e, const LayoutStand& stand, bool onLine = false) {
    const LatLon standAt{stand.latitude, stand.longitude};
    return {{lf_alongRunway(e, lf_fromEnd(e, standAt), kTaxiwayOffsetMetres), 18.0},
            {lf_moved(standAt, stand.headingDeg + 180.0, 100.0), 8.0, false, onLine},
            {lf_moved(standAt, stand.headingDeg + 180.0, 40.0), 5.0, false, onLine},
            {standAt, 4.0, true}};
  }

  // `lineUpSeconds`: the wait lined up (not a number: drawn); 0 rolls on without stopping.
  std::vector<State> departure(const RunwayEnd& e, const TypeInfo& info, bool taxiOn,
                               double lineUpSeconds = std::numeric_limits<double>::quiet_NaN()) {
    State start;
    start.at = lf_alongRunway(e, kLineUpMetres, 0.0);
    start.altitude = e.elevation;
    start.track = start.heading = e.heading;
    start.onGround = true;
    const LatLon holding = lf_alongRunway(e, kLineUpMetres, kHoldingOffsetMetres);
    if (taxiOn) {
      // Seen taxiing up to the holding point, where it waits clear of the runway before it lines up.
      start.at = lf_alongRunway(e, kLineUpMetres, kHoldingOffsetMetres + 150.0);
      start.gs = 8.0;
      start.track = start.heading = bearingDeg(start.at.lat, start.at.lon, holding.lat, holding.lon);
    }
    Mover mover(start);
    const bool drawn = std::isnan(lineUpSeconds);
    if (taxiOn) {
      lf_taxi(mover, {{holding, 8.0, true}});
      mover.hold(random.uniform(options.lineUpWaitSeconds.first, options.lineUpWaitSeconds.second));
      const bool rolling = !drawn && lineUpSeconds <= 0.0;
      lf_taxi(mover, {{lf_alongRunway(e, kLineUpMetres + 50.0, kHoldingOffsetMetres * 0.5), 12.0},
                      {lf_alongRunway(e, kLineUpMetres + 100.0, 0.0), 10.0, false, true},
                      {lf_alongRunway(e, kLineUpMetres + 150.0, 0.0), rolling ? 10.0 : 6.0, !rolling, true}});
      if (!rolling) mover.hold(drawn ? random.uniform(3.0, 8.0) : lineUpSeconds);
    } else if (!drawn) {
      if (lineUpSeconds > 0.0) mover.hold(lineUpSeconds);
    } else {
      mover.hold(random.uniform(options.lineUpWaitSeconds.first, options.lineUpWaitSeconds.second));
    }
    takeOff(mover, e, info);
    return mover.path();
  }

  // From lined up on the runway: the roll, the lift-off, the climb out and away.
  void takeOff(Mover& mover, const RunwayEnd& e, const TypeInfo& info) {
    const LatLon rollFrom = mover.now().at;
    const double rotate = info.approachKt + 12.0;
    while (mover.now().gs < rotate)
      mover.step(Control{.track = e.heading, .speed = rotate + 5.0, .accel = 3.8, .turnRate = 1.0});
    mover.liftOff();
    const double turnTo = e.heading + random.uniform(-90.0, 90.0);
    const double cruise = std::round(random.uniform(120.0, 170.0)) * 100.0;
    for (int steps = 0; steps < 20000; ++steps) {
      const State& s = mover.now();
      if (distanceMetres(airport.latitude, airport.longitude, s.at.lat, s.at.lon) > 38.0 * kMetresPerNm) break;
      const double height = s.altitude - e.elevation;
      const double flown = distanceMetres(rollFrom.lat, rollFrom.lon, s.at.lat, s.at.lon);
      Control c;
      c.track = height > 1500.0 && flown > 2.5 * kMetresPerNm ? turnTo : e.heading;
      c.speed = height < 3000.0 ? rotate + 25.0 : 250.0;
      c.accel = 1.2;
      c.turnRate = 2.5;
      c.altitude = cruise;
      c.climb = s.altitude < 10000.0 ? info.climbFpm : info.climbFpm * 0.7;
      mover.step(c);
    }
  }

  std::vector<State> overflight() {
    const double track = random.uniform(0.0, 360.0);
    const LatLon abeam = lf_moved({airport.latitude, airport.longitude}, track + 90.0, random.uniform(-15.0, 15.0) * kMetresPerNm);
    State start;
    start.at = lf_moved(abeam, track + 180.0, 40.0 * kMetresPerNm);
    start.altitude = std::round(random.uniform(280.0, 390.0) / 10.0) * 1000.0;
    start.gs = random.uniform(420.0, 480.0);
    start.track = start.heading = track;
    Mover mover(start);
    // One in three changes level on the way.
    const double level = random.chance(1.0 / 3.0) ? start.altitude + (random.chance(0.5) ? 2000.0 : -2000.0) : start.altitude;
    const double changeAt = random.uniform(10.0, 50.0) * kMetresPerNm;
    while (distanceMetres(start.at.lat, start.at.lon, mover.now().at.lat, mover.now().at.lon) < 80.0 * kMetresPerNm) {
      const bool changed = distanceMetres(start.at.lat, start.at.lon, mover.now().at.lat, mover.now().at.lon) > changeAt;
      mover.step(Control{.track = track, .speed = start.gs, .altitude = changed ? level : start.altitude, .climb = 1500.0, .descent = 1500.0});
    }
    return mover.path();
  }

  std::vector<State> taxiOut(const LayoutStand& stand, const RunwayEnd& e) {
    Mover mover = pushAndTaxi(stand, e);
    mover.hold(random.uniform(20.0, 40.0));
    return mover.path();
  }

  // A taxi-out that goes on: on to the runway after a short wait at the holding point, and away.
  std::vector<State> departureFromStand(const LayoutStand& stand, const RunwayEnd& e, const TypeInfo& info) {
    Mover mover = pushAndTaxi(stand, e);
    mover.hold(random.uniform(5.0, 15.0));
    lf_taxi(mover, {{lf_alongRunway(e, kLineUpMetres + 60.0, kHoldingOffsetMetres * 0.5), 8.0},
                    {lf_alongRunway(e, kLineUpMetres + 110.0, 0.0), 6.0, false, true},
                    {lf_alongRunway(e, kLineUpMetres + 160.0, 0.0), 4.0, true}});
    mover.hold(random.uniform(3.0, 8.0));
    takeOff(mover, e, info);
    return mover.path();
  }

  // From the stand to the runway's holding point, pushed back first.
  Mover pushAndTaxi(const LayoutStand& stand, const RunwayEnd& e) {
    State start;
    start.at = {stand.latitude, stand.longitude};
    start.altitude = e.elevation;
    start.heading = stand.headingDeg;
    start.track = lf_norm360(stand.headingDeg + 180.0);
    start.onGround = true;
    Mover mover(start);
    mover.hold(random.uniform(options.standWaitSeconds.first, options.standWaitSeconds.second));
    // Pushed back tail first, then a pause while the tug disconnects.
    const LatLon pushedTo = lf_moved(start.at, start.track, options.pushBackMetres);
    while (distanceMetres(mover.now().at.lat, mover.now().at.lon, pushedTo.lat, pushedTo.lon) > 1.0 &&
           mover.path().size() < 4000)
      mover.step(Control{.track = start.track, .speed = 3.0, .accel = 0.5, .turnRate = 0.0, .reverse = true});
    mover.hold(random.uniform(8.0, 15.0));
    mover.faceForward();
    const double standAlong = lf_fromEnd(e, {stand.latitude, stand.longitude});
    lf_taxi(mover, {{lf_alongRunway(e, standAlong, kTaxiwayOffsetMetres), 10.0},
                    {lf_alongRunway(e, kLineUpMetres + 150.0, kTaxiwayOffsetMetres), 18.0},
                    {lf_alongRunway(e, kLineUpMetres, kHoldingOffsetMetres), 8.0, true}});
    return mover;
  }

  std::vector<State> taxiIn(const RunwayEnd& e, const LayoutStand& stand) {
    State start;
    const double exitAt = exitMetres(e);
    start.at = lf_alongRunway(e, exitAt, 0.0);
    start.altitude = e.elevation;
    start.gs = 25.0;
    start.track = start.heading = e.heading;
    start.onGround = true;
    Mover mover(start);
    const double forward = kTaxiwayOffsetMetres / std::tan(30.0 * kRad);
    std::vector<Waypoint> route{{lf_alongRunway(e, exitAt + forward, kTaxiwayOffsetMetres), 20.0}};
    const std::vector<Waypoint> rest = toStand(e, stand);
    route.insert(route.end(), rest.begin(), rest.end());
    lf_taxi(mover, route);
    mover.hold(random.uniform(25.0, 45.0));
    return mover.path();
  }

  // -- reporting --

  State at(const std::vector<State>& path, double t) const {
    const double position = std::clamp(t / kStep, 0.0, static_cast<double>(path.size() - 1));
    const auto i = static_cast<std::size_t>(std::floor(position));
    if (i + 1 >= path.size()) return path.back();
    const double f = position - static_cast<double>(i);
    const State& a = path[i];
    const State& b = path[i + 1];
    auto mix = [f](double x, double y) { return x + (y - x) * f; };
    auto mixAngle = [f](double x, double y) { return lf_norm360(x + lf_wrap180(y - x) * f); };
    State s;
    s.t = t;
    s.at = {mix(a.at.lat, b.at.lat), mix(a.at.lon, b.at.lon)};
    s.altitude = mix(a.altitude, b.altitude);
    s.gs = mix(a.gs, b.gs);
    s.track = mixAngle(a.track, b.track);
    s.heading = mixAngle(a.heading, b.heading);
    s.vs = mix(a.vs, b.vs);
    s.roll = mix(a.roll, b.roll);
    s.onGround = f < 0.5 ? a.onGround : b.onGround;
    return s;
  }

  // Records every 2 to 10 s, each flight with its own rhythm and jitter, within the scenario. A
  // touch-down (path time; none: not a number) is reported within a second and a half, as the
  // feed's first ground report comes 300 to 500 m past the threshold.
  // Nothing is reported in the gap [gapFrom, gapTo) of path time.
  std::vector<rtstandin::TrackPoint> report(const std::vector<State>& path, double start,
                                            double touchDown = std::numeric_limits<double>::quiet_NaN(),
                                            double gapFrom = 0.0, double gapTo = 0.0, double pastEnd = 0.0,
                                            double followedPast = 0.0) {
    const double end = std::min(start + path.back().t, options.durationSeconds + pastEnd);
    const double followedEnd = std::min(start + path.back().t, options.durationSeconds + std::max(pastEnd, followedPast));
    // Reports past `end` draw on their own, so that the flights after this one keep theirs.
    Random followed(options.seed ^ static_cast<std::uint64_t>(std::llround(std::fabs(start) * 100.0)));
    Random* draw = &random;
    const double rhythm = random.uniform(3.0, 7.0);
    std::vector<rtstandin::TrackPoint> points;
    double t = std::max(start, 0.0) + random.uniform(0.0, 2.0);
    // Dividing by a whole scale gives the double nearest the decimal, which prints short.
    auto round = [](double value, double unit) {
      return unit < 1.0 ? std::round(value / unit) / std::round(1.0 / unit) : std::round(value / unit) * unit;
    };
    const double landed = start + touchDown;
    auto next = [&](double after) {
      double at = after + std::clamp(rhythm + draw->uniform(-2.0, 2.0), 2.0, 10.0);
      // A report due in the last two seconds before the touch-down, or well after it, comes just after it.
      if (after < landed && at > landed - 2.0 && !(at > landed && at <= landed + 1.0))
        at = std::max(after + 2.0, landed + draw->uniform(0.1, 0.8));
      return round(at, 0.01);
    };
    for (t = round(t, 0.01);; t = next(t)) {
      if (t > end) {
        if (!(t <= followedEnd)) break;
        draw = &followed;
      }
      if (t - start >= gapFrom && t - start < gapTo) continue;
      const State s = at(path, t - start);
      rtstandin::TrackPoint p;
      p.t = t;
      p.lat = round(s.at.lat, 1e-6);
      p.lon = round(s.at.lon, 1e-6);
      p.gs = round(s.gs, 0.1);
      p.track = lf_norm360(round(s.track, 0.1));
      if (s.onGround) {
        p.altitude = 0.0;  // the feed's ground
        p.trueHeading = lf_norm360(round(s.heading, 0.1));
      } else {
        // Pressure altitude (against 1013.25 hPa, as transponders send it and the web API passes it
        // on; the desktop app sets it to the QNH) in 25-ft steps, and vertical rate in 64-ft/min
        // steps; the nose crabs into the wind.
        p.altitude = round(s.altitude - rtstandin::qnhCorrectionFeet(options.qnhHpa), 25.0);
        p.vs = round(s.vs, 64.0);
        p.roll = round(s.roll, 0.1);
        const double relative = (windFrom - s.track) * kRad;
        const double tas = s.gs + windKt * std::cos(relative);
        p.tas = std::round(tas);
        const double crab = std::asin(std::clamp(windKt * std::sin(relative) / std::max(tas, 60.0), -1.0, 1.0)) / kRad;
        p.trueHeading = lf_norm360(round(lf_norm360(s.track + crab), 0.1));
      }
      points.push_back(p);
    }
    return points;
  }
};

// Seconds into a flight's path of what a watcher waits for.
double lf_moment(FlightKind kind, const std::vector<State>& path) {
  auto first = [&](auto&& test) {
    const auto it = std::find_if(path.begin(), path.end(), test);
    return it == path.end() ? path.back().t : it->t;
  };
  switch (kind) {
    case FlightKind::Arrival:
    case FlightKind::ArrivalToStand:
      return first([](const State& s) { return s.onGround; });
    case FlightKind::Departure:
    case FlightKind::DepartureFromStand:
      return first([](const State& s) { return !s.onGround; });
    case FlightKind::TaxiOut:
      return first([](const State& s) { return s.gs > 0.0; });
    case FlightKind::TaxiIn: {
      const auto moving = std::find_if(path.rbegin(), path.rend(), [](const State& s) { return s.gs > 0.0; });
      return moving == path.rend() ? 0.0 : moving->t;
    }
    case FlightKind::Overflight:
      break;
  }
  return path.back().t / 2.0;
}

std::vector<std::string> lf_splitCodes(const char* text) {
  std::vector<std::string> codes;
  std::stringstream in(text ? text : "");
  for (std::string code; std::getline(in, code, ',');)
    if (!code.empty()) codes.push_back(code);
  return codes;
}

pugi::xml_document lf_loadXml(const std::filesystem::path& file) {
  pugi::xml_document document;
  const pugi::xml_parse_result result = document.load_file(file.c_str());
  if (!result) throw std::runtime_error(fmt::format("{}: {}", file.string(), result.description()));
  return document;
}

// A flight before it is reported: its path from its own time 0 and when that is on the scenario's clock.
struct Planned {
  GeneratedFlight generated;
  Airframe airframe;
  std::vector<State> path;
  double start = 0.0;
  bool windowed = false;  // its moment was placed in its kind's window
  bool first = false;     // the others give way to it
  bool extra = false;     // one of the options' extra flights
  double gapFrom = 0.0;   // path time of its reports' gap, and its end
  double gapTo = 0.0;
  double pastEnd = 0.0;   // its reports' run past the scenario's end
  // A departure lined up behind an arrival: that one's index in the plan, and how long after it
  // left the runway this one rolls.
  std::optional<std::size_t> behind;
  double behindSeconds = 0.0;
  bool asPlaced = false;  // neither waits for the others nor is waited for
};

// When a flight uses a runway, on its path's clock: on its last 600 ft of final to it before
// touching down, rolling fast along it (landing or taking off), or otherwise on its strip
// (lined up, crossing, turning off).
struct RunwayUse {
  enum Kind { Final, Fast, Present };
  std::size_t runway = 0;
  double from = 0.0;
  double to = 0.0;
  Kind kind = Present;
};

// A tower keeps apart what could meet: anything on the runway from one rolling fast along it or
// coming in low; two on final, or two slow ones, are no danger to each other.
bool lf_usesClash(const RunwayUse& a, const RunwayUse& b) {
  if (a.runway != b.runway) return false;
  if (a.kind == RunwayUse::Final && b.kind == RunwayUse::Final) return false;
  return a.kind != RunwayUse::Present || b.kind != RunwayUse::Present;
}

std::vector<RunwayUse> lf_runwayUses(const std::vector<State>& path, const FacilityLayout& airport) {
  constexpr double kFinalFeet = 600.0;
  std::size_t touchDown = path.size();
  for (std::size_t i = 1; i < path.size(); ++i)
    if (path[i].onGround && !path[i - 1].onGround) {
      touchDown = i;
      break;
    }
  std::vector<RunwayUse> uses;
  for (std::size_t r = 0; r < airport.runways.size(); ++r) {
    const LayoutRunway& runway = airport.runways[r];
    const RunwayEnd primary{&runway, &runway.primary, runway.primary.headingDeg, runway.altitudeMetres * kFeetPerMetre, 1};
    std::optional<RunwayUse> open;
    for (std::size_t i = 0; i < path.size(); ++i) {
      const State& s = path[i];
      const double along = lf_fromEnd(primary, s.at);
      const double aside = std::fabs(lf_rightOf(primary, s.at));
      const double off = std::fabs(lf_wrap180(s.track - runway.primary.headingDeg));
      const bool aligned = off < 30.0 || off > 150.0;
      std::optional<RunwayUse::Kind> kind;
      if (s.onGround) {
        if (aside <= runway.widthMetres / 2.0 + 40.0 && along >= -60.0 && along <= runway.lengthMetres + 60.0)
          kind = aligned && s.gs >= 40.0 ? RunwayUse::Fast : RunwayUse::Present;
      } else if (i < touchDown && touchDown < path.size() && s.altitude - primary.elevation < kFinalFeet && aligned &&
                 aside <= 300.0 && along >= -5000.0 && along <= runway.lengthMetres + 5000.0) {
        kind = RunwayUse::Final;
      }
      if (kind && open && open->kind == *kind) {
        open->to = s.t;
      } else {
        if (open) uses.push_back(*open);
        open.reset();
        if (kind) open = RunwayUse{r, s.t, s.t, *kind};
      }
    }
    if (open) uses.push_back(*open);
  }
  return uses;
}

// Keeps the runways as a tower would: one aircraft on a runway at a time, nothing on it while an
// arrival is on its last 600 ft of final, and touch-downs on one runway at least 90 s apart.
// Extra flights that keep their place come first, then flights whose moment has a window; a flight
// in another's way waits.
void lf_keepRunwaysApart(std::vector<Planned>& planned, const FacilityLayout& airport) {
  constexpr double kMarginSeconds = 15.0;
  constexpr double kArrivalSpacingSeconds = 90.0;
  struct Uses {
    std::vector<RunwayUse> uses;
    std::optional<std::pair<std::size_t, double>> touchDown;  // runway and path time
  };
  std::vector<Uses> all(planned.size());
  for (std::size_t i = 0; i < planned.size(); ++i) {
    const std::vector<State>& path = planned[i].path;
    all[i].uses = lf_runwayUses(path, airport);
    for (std::size_t k = 1; k < path.size() && !all[i].touchDown; ++k) {
      if (!path[k].onGround || path[k - 1].onGround) continue;
      for (const RunwayUse& use : all[i].uses)
        if (use.kind == RunwayUse::Fast && use.from <= path[k].t && path[k].t <= use.to)
          all[i].touchDown = std::make_pair(use.runway, path[k].t);
    }
  }
  std::vector<std::size_t> order(planned.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) {
                     return std::pair(planned[a].first, planned[a].windowed) > std::pair(planned[b].first, planned[b].windowed);
                   });
  // Flights placed as they ask go first: those behind them follow from where they are.
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return planned[a].asPlaced > planned[b].asPlaced; });
  std::vector<std::size_t> placed;
  std::vector<bool> done(planned.size(), false);
  for (const std::size_t i : order) {
    if (const auto ahead = planned[i].behind; ahead && done[*ahead]) {
      // Its roll starts where it last stands before its lift-off; the arrival ahead has left the
      // runway when its last use of the departure's runway ends.
      const std::vector<State>& path = planned[i].path;
      double rollAt = 0.0;
      for (const State& s : path) {
        if (!s.onGround) break;
        if (s.gs <= 0.0) rollAt = s.t;
      }
      std::optional<std::size_t> runway;
      for (const RunwayUse& u : all[i].uses)
        if (u.kind == RunwayUse::Fast) runway = u.runway;
      double left = 0.0;
      for (const RunwayUse& v : all[*ahead].uses)
        if (runway && v.runway == *runway) left = std::max(left, v.to);
      planned[i].start = planned[*ahead].start + left + planned[i].behindSeconds - rollAt;
    }
    done[i] = true;
    if (planned[i].asPlaced) continue;
    for (int attempt = 0; attempt < 500; ++attempt) {
      double wait = 0.0;
      const double mine = planned[i].start;
      for (const std::size_t j : placed) {
        if (planned[i].behind == j) continue;  // it lines up behind that one on purpose
        const double theirs = planned[j].start;
        for (const RunwayUse& u : all[i].uses)
          for (const RunwayUse& v : all[j].uses) {
            if (!lf_usesClash(u, v)) continue;
            const bool apart = mine + u.from >= theirs + v.to + kMarginSeconds || theirs + v.from >= mine + u.to + kMarginSeconds;
            if (!apart) wait = std::max(wait, theirs + v.to + kMarginSeconds - (mine + u.from));
          }
        if (all[i].touchDown && all[j].touchDown && all[i].touchDown->first == all[j].touchDown->first) {
          const double gap = (mine + all[i].touchDown->second) - (theirs + all[j].touchDown->second);
          if (std::fabs(gap) < kArrivalSpacingSeconds) wait = std::max(wait, kArrivalSpacingSeconds - gap);
        }
      }
      if (wait <= 0.0) break;
      planned[i].start += std::ceil(wait);
    }
    placed.push_back(i);
  }
}

}  // namespace

Fleet readFleet(const std::filesystem::path& dbaseXml, const std::filesystem::path& airportsXml,
                const std::string& homeIcao) {
  Fleet fleet;
  const pugi::xml_document dbase = lf_loadXml(dbaseXml);
  const pugi::xml_node root = dbase.child("root");
  for (const auto& node : root.child("aircrafts").children("aircraft"))
    for (auto& type : lf_splitCodes(node.attribute("types").value())) fleet.types.insert(type);
  for (const auto& node : root.child("heavy").children())
    for (auto& type : lf_splitCodes(node.attribute("types").value())) fleet.heavy.insert(type);
  for (const auto& node : root.child("ICAO_airlines").children())
    for (auto& code : lf_splitCodes(node.attribute("codes").value()))
      if (code != "ZZZ") fleet.airlines.push_back(code);
  for (const auto& node : root.child("cargo_operators").children())
    for (auto& code : lf_splitCodes(node.attribute("codes").value())) fleet.cargoOperators.insert(code);
  for (const auto& node : root.child("dbase").children("d")) {
    Airframe airframe{node.attribute("r").value(), node.attribute("a").value(), node.attribute("m").value()};
    if (!airframe.registration.empty() && !airframe.airline.empty() && fleet.types.contains(airframe.type))
      fleet.airframes.push_back(airframe);
  }
  if (fleet.types.empty() || fleet.airlines.empty())
    throw std::runtime_error(fmt::format("{}: no aircraft types or airlines", dbaseXml.string()));

  const pugi::xml_document airports = lf_loadXml(airportsXml);
  for (const auto& node : airports.child("root").child("airports").children("ap")) {
    const std::string icao = node.attribute("c").value();
    const std::string iata = node.attribute("i").value();
    if (iata.size() != 3) continue;
    if (icao == homeIcao)
      fleet.homeIata = iata;
    else
      fleet.iataCodes.push_back(iata);
  }
  return fleet;
}

std::vector<GeneratedFlight> generateTraffic(const FacilityLayout& airport, const Fleet& fleet, const Options& options,
                                             const std::set<std::uint32_t>& takenHexids,
                                             const std::vector<rtstandin::ParkedAircraft>& parked) {
  if (airport.runways.empty()) throw std::runtime_error(fmt::format("{} has no runways", airport.icao));
  if (!(options.durationSeconds > 0.0)) throw std::runtime_error("the duration must be positive");
  Builder b(airport, fleet, options);
  b.hexids = takenHexids;
  for (const auto& aircraft : parked) {
    b.registrations.insert(aircraft.registration);
    b.callsigns.insert(aircraft.callsign);
  }
  b.windFrom = b.random.uniform(200.0, 280.0);
  b.windKt = b.random.uniform(5.0, 15.0);
  for (std::size_t i = 0; i < fleet.airframes.size(); ++i) b.knownOrder.push_back(i);
  for (std::size_t i = b.knownOrder.size(); i > 1; --i) std::swap(b.knownOrder[i - 1], b.knownOrder[b.random.index(i)]);

  // The parallel taxiway of each runway lies on the side of the gates.
  LatLon gates{0.0, 0.0};
  int gateCount = 0;
  for (const auto& stand : airport.stands) {
    const bool taken = std::any_of(parked.begin(), parked.end(), [&](const rtstandin::ParkedAircraft& aircraft) {
      return distanceMetres(stand.latitude, stand.longitude, aircraft.lat, aircraft.lon) < kOccupiedStandMetres;
    });
    const bool gate = (stand.type >= 8 && stand.type <= 10) || stand.type == 15;
    if (gate) {
      gates.lat += stand.latitude;
      gates.lon += stand.longitude;
      ++gateCount;
    }
    if (taken) continue;
    // The program keeps clear of a stand whose circle overlaps an occupied one's.
    if (options.fittingStands && std::any_of(airport.stands.begin(), airport.stands.end(), [&](const LayoutStand& other) {
          const double apart = distanceMetres(stand.latitude, stand.longitude, other.latitude, other.longitude);
          return apart < stand.radiusMetres + other.radiusMetres &&
                 std::any_of(parked.begin(), parked.end(), [&](const rtstandin::ParkedAircraft& aircraft) {
                   return distanceMetres(other.latitude, other.longitude, aircraft.lat, aircraft.lon) < kOccupiedStandMetres;
                 });
        }))
      continue;
    if (gate) b.freeGates.push_back(&stand);
    if (stand.type == 5) b.freeCargo.push_back(&stand);
  }
  if (gateCount > 0) gates = {gates.lat / gateCount, gates.lon / gateCount};
  else gates = {airport.latitude, airport.longitude};
  for (const auto& runway : airport.runways) {
    for (const LayoutRunwayEnd* end : {&runway.primary, &runway.secondary}) {
      RunwayEnd e{&runway, end, end->headingDeg, runway.altitudeMetres * kFeetPerMetre, 1};
      e.side = lf_rightOf(e, gates) >= 0.0 ? 1 : -1;
      b.ends.push_back(e);
    }
  }
  std::vector<const std::vector<std::string>*> wantedRunways{&options.arrivalRunways, &options.departureRunways};
  for (const Options::ExtraFlight& extra : options.extraFlights) wantedRunways.push_back(&extra.runways);
  for (const auto* wanted : wantedRunways)
    for (const auto& designator : *wanted)
      if (std::none_of(b.ends.begin(), b.ends.end(), [&](const RunwayEnd& e) { return e.end->designator == designator; }))
        throw std::runtime_error(fmt::format("runway {} is not at {}", designator, airport.icao));

  std::vector<Planned> planned;
  auto add = [&](FlightKind kind, int count, const auto& make) {
    for (int i = 0; i < count; ++i) {
      Planned p;
      p.generated.kind = kind;
      p.airframe = b.airframe();
      p.path = make(p.generated, p.airframe);
      // Spread over the scenario, the first already under way at its start.
      const double span = p.path.back().t;
      const double slot = (options.durationSeconds + 0.6 * span) / count;
      const double place = i + b.random.uniform(0.2, 0.8);
      p.start = -0.8 * span + slot * place;
      if (const auto window = options.momentWindows.find(kind); window != options.momentWindows.end()) {
        // Near the middle of its share of the window: flights of a kind keep apart.
        const auto [from, to] = window->second;
        p.start = from + (to - from) * (i + 0.5 + (place - i - 0.5) * 0.4) / count - lf_moment(kind, p.path);
        p.windowed = true;
      }
      planned.push_back(std::move(p));
    }
  };
  auto infoOf = [&](const Airframe& airframe) { return lf_typeInfo(fleet, airframe.type); };
  // A flight's path; an extra flight's runways in place of its kind's when it names any.
  auto pathOf = [&](FlightKind kind, GeneratedFlight& g, const Airframe& airframe, const Options::ExtraFlight* extra) {
    if (kind == FlightKind::Overflight) return b.overflight();
    const std::vector<std::string> runways = extra ? extra->runways : std::vector<std::string>{};
    const bool arriving = kind == FlightKind::Arrival || kind == FlightKind::TaxiIn || kind == FlightKind::ArrivalToStand;
    const RunwayEnd& e = b.end(!runways.empty() ? runways : arriving ? options.arrivalRunways : options.departureRunways);
    g.runway = e.end->designator;
    auto standFor = [&] {
      const LayoutStand* stand = b.stand(fleet.cargoOperators.contains(airframe.airline), fleet.heavy.contains(airframe.type));
      g.stand = stand->name;
      return stand;
    };
    switch (kind) {
      case FlightKind::Departure:
        return extra ? b.departure(e, infoOf(airframe), extra->taxiOn || options.departuresTaxiOn, extra->lineUpSeconds)
                     : b.departure(e, infoOf(airframe), options.departuresTaxiOn);
      case FlightKind::TaxiOut: return b.taxiOut(*standFor(), e);
      case FlightKind::TaxiIn: return b.taxiIn(e, *standFor());
      case FlightKind::ArrivalToStand: return b.arrival(e, infoOf(airframe), false, standFor());
      case FlightKind::DepartureFromStand: return b.departureFromStand(*standFor(), e, infoOf(airframe));
      default: return b.arrival(e, infoOf(airframe), false);
    }
  };
  const std::pair<FlightKind, int> counts[] = {
      {FlightKind::Arrival, options.arrivals},         {FlightKind::Departure, options.departures},
      {FlightKind::Overflight, options.overflights},   {FlightKind::TaxiOut, options.taxiOut},
      {FlightKind::TaxiIn, options.taxiIn},            {FlightKind::ArrivalToStand, options.arrivalsToStand},
      {FlightKind::DepartureFromStand, options.departuresFromStand}};
  for (const auto& [kind, count] : counts)
    add(kind, count, [&](GeneratedFlight& g, const Airframe& airframe) { return pathOf(kind, g, airframe, nullptr); });
  // The extra flights draw from a stream of their own: the others' draws stay as they were.
  Random extraRandom(options.seed ^ 0x9E3779B97F4A7C15ull);
  std::swap(b.random, extraRandom);
  const std::size_t firstExtra = planned.size();
  for (const Options::ExtraFlight& extra : options.extraFlights) {
    if (extra.linesUpBehind && (*extra.linesUpBehind >= planned.size() - firstExtra ||
                                options.extraFlights[*extra.linesUpBehind].kind != FlightKind::Arrival))
      throw std::runtime_error("an extra flight lines up behind no earlier extra arrival");
    Planned p;
    p.generated.kind = extra.kind;
    p.generated.extra = p.extra = true;
    p.airframe = extra.airline.empty() ? b.airframe() : b.airframe(extra.airline, extra.type);
    p.path = pathOf(extra.kind, p.generated, p.airframe, &extra);
    const double moment = lf_moment(extra.kind, p.path);
    p.start = (extra.window.first + extra.window.second) / 2.0 - moment;
    if (extra.gapSeconds > 0.0) {
      p.gapFrom = moment + extra.gapAfter;
      p.gapTo = p.gapFrom + extra.gapSeconds;
    }
    p.pastEnd = std::max(0.0, extra.pastEndSeconds);
    p.first = extra.keepsItsPlace;
    p.asPlaced = extra.asPlaced;
    if (extra.linesUpBehind) {
      p.behind = firstExtra + *extra.linesUpBehind;
      p.behindSeconds = extra.behindSeconds;
    }
    planned.push_back(std::move(p));
  }
  std::swap(b.random, extraRandom);
  lf_keepRunwaysApart(planned, airport);

  std::vector<GeneratedFlight> flights;
  const auto pastEndOf = [](const Options& o, FlightKind k) {
    const auto found = o.pastEndSeconds.find(k);
    return found == o.pastEndSeconds.end() ? 0.0 : std::max(0.0, found->second);
  };
  for (Planned& p : planned) {
    const FlightKind kind = p.generated.kind;
    const bool toHome = kind == FlightKind::Arrival || kind == FlightKind::TaxiIn || kind == FlightKind::ArrivalToStand;
    const bool fromHome =
        kind == FlightKind::Departure || kind == FlightKind::TaxiOut || kind == FlightKind::DepartureFromStand;
    if (p.extra) std::swap(b.random, extraRandom);
    GeneratedFlight generated = std::move(p.generated);
    generated.flight = b.identity(p.airframe, fromHome ? fleet.homeIata : b.otherAirport(),
                                  toHome ? fleet.homeIata : b.otherAirport());
    const bool lands = kind == FlightKind::Arrival || kind == FlightKind::ArrivalToStand;
    generated.flight.track = b.report(p.path, p.start, lands ? lf_moment(kind, p.path) : std::numeric_limits<double>::quiet_NaN(),
                                      p.gapFrom, p.gapTo, p.pastEnd, pastEndOf(options, kind));
    if (p.extra) std::swap(b.random, extraRandom);
    if (kind == FlightKind::TaxiOut || kind == FlightKind::DepartureFromStand)
      generated.pushbackAt = p.start + lf_moment(FlightKind::TaxiOut, p.path);
    if (generated.flight.track.size() < 3) continue;  // passed before the scenario began, or after it
    flights.push_back(std::move(generated));
  }
  return flights;
}

std::string scenarioText(const std::string& baseJson, const std::vector<GeneratedFlight>& flights,
                         const std::string& remark) {
  using Json = nlohmann::ordered_json;
  Json base = Json::object();
  if (!baseJson.empty()) {
    rtstandin::parseScenario(baseJson);  // throws naming what is wrong
    base = Json::parse(baseJson);
  }
  auto list = [&](const char* key) { return base.contains(key) ? base.at(key) : Json::array(); };
  std::string out = "{\n";
  out += fmt::format("  \"start\": {},\n", base.contains("start") ? base.at("start").dump() : std::to_string(kDefaultStart));
  if (!remark.empty()) out += fmt::format("  \"remark\": {},\n", Json(remark).dump());

  std::vector<Json> all;
  for (const auto& flight : list("flights")) all.push_back(flight);
  for (const auto& generated : flights) {
    const rtstandin::Flight& f = generated.flight;
    Json flight = {{"hexid", fmt::format("{:06X}", f.hexid)}, {"callsign", f.callsign}, {"type", f.type},
                   {"registration", f.registration}, {"airline", f.airline}, {"origin", f.origin},
                   {"destination", f.destination}, {"source", f.sourceType}, {"category", f.emitterCategory}};
    // Points as text: fmt writes the shortest digits that read back the same.
    Json track = Json::array();
    for (const auto& p : f.track) {
      std::string point = fmt::format(R"({{"t":{},"lat":{},"lon":{},"alt":{},"gs":{},"track":{},"vs":{},"heading":{})", p.t,
                                      p.lat, p.lon, p.altitude, p.gs, p.track, p.vs, p.trueHeading);
      if (p.roll != 0.0) point += fmt::format(R"(,"roll":{})", p.roll);
      if (p.tas >= 0.0) point += fmt::format(R"(,"tas":{})", p.tas);
      track.push_back(point + "}");
    }
    flight["track"] = track;
    all.push_back(flight);
  }
  out += "  \"flights\": [\n";
  for (std::size_t i = 0; i < all.size(); ++i) {
    Json head = all[i];
    Json track = head.contains("track") ? head.at("track") : Json::array();
    head.erase("track");
    std::string text = head.dump();
    text.pop_back();  // the closing brace: the track follows
    out += fmt::format("    {}, \"track\": [\n", text);
    for (std::size_t p = 0; p < track.size(); ++p)
      out += fmt::format("      {}{}\n", track[p].is_string() ? track[p].get<std::string>() : track[p].dump(),
                         p + 1 < track.size() ? "," : "");
    out += fmt::format("    ]}}{}\n", i + 1 < all.size() ? "," : "");
  }
  out += "  ],\n";
  for (const char* key : {"parked", "metars"}) {
    const Json items = list(key);
    out += fmt::format("  \"{}\": [\n", key);
    for (std::size_t i = 0; i < items.size(); ++i)
      out += fmt::format("    {}{}\n", items[i].dump(), i + 1 < items.size() ? "," : "");
    out += std::string("  ]") + (std::string_view(key) == "parked" ? ",\n" : "\n");
  }
  out += "}\n";
  rtstandin::parseScenario(out);  // what we write must read back
  return out;
}

Options sampleOptions() {
  Options options;
  options.arrivalRunways = {"14", "28"};
  options.departureRunways = {"16", "28"};
  return options;
}

Options demoOptions() {
  Options options = sampleOptions();
  options.seed = 68;  // none of its aircraft that stand is an A380, which fits no gate here
  options.durationSeconds = 300.0;
  options.arrivals = 3;
  options.arrivalsToStand = 0;
  options.departures = 1;
  options.departuresFromStand = 0;
  options.taxiOut = 2;
  options.taxiIn = 2;
  options.overflights = 1;
  // The replay starts when the program connects; the program shows a flight about 30 s after the
  // feed reports it. It creates one on the ground only while the half minute of reports it holds
  // stays slow, and one standing still only on a stand. So flights leaving a stand wait there
  // well over half a minute, departures are first seen taxiing to the holding point well before
  // their roll, arrivals are first reported well above the airport. The moments end early
  // enough to be shown by a run of 240 s that connected late.
  options.standWaitSeconds = {45.0, 55.0};
  options.lineUpWaitSeconds = {30.0, 40.0};
  options.departuresTaxiOn = true;
  options.pushBackMetres = 70.0;
  options.fittingStands = true;
  // Arrivals on 14 and 28; departures from 34, which lift off before they reach 10/28, so that
  // they need wait only while an arrival on 28 rolls across their runway.
  options.departureRunways = {"34"};
  // The runways are kept as a tower would (one aircraft in the way of another at a time, touch-downs
  // on one runway 90 s apart): the arrivals' window is wide enough for two on one runway.
  options.momentWindows = {{FlightKind::Arrival, {60.0, 200.0}},  {FlightKind::Departure, {110.0, 180.0}},
                           {FlightKind::TaxiOut, {50.0, 85.0}},   {FlightKind::TaxiIn, {70.0, 110.0}},
                           {FlightKind::Overflight, {45.0, 150.0}}};
  return options;
}

std::string generateScenarioText(const Inputs& inputs, const Options& options) {
  const FacilityLayout airport = standin::sim::readFacilityLayout(inputs.facility);
  const Fleet fleet = readFleet(inputs.dbase, inputs.airports, airport.icao);
  std::string baseJson;
  rtstandin::TrafficScenario base;
  if (!inputs.base.empty()) {
    std::ifstream in(inputs.base, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("cannot read {}", inputs.base.string()));
    baseJson.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    try {
      base = rtstandin::parseScenario(baseJson);
    } catch (const std::runtime_error& e) {
      throw std::runtime_error(fmt::format("{}: {}", inputs.base.string(), e.what()));
    }
  }
  Options withQnh = options;
  // The reports' barometric altitudes are taken against the QNH the scenario's weather gives.
  withQnh.qnhHpa = rtstandin::scenarioQnhHpa(base);
  std::set<std::uint32_t> taken;
  for (const auto& flight : base.flights) taken.insert(flight.hexid);
  for (const auto& aircraft : base.parked) taken.insert(aircraft.hexid);
  std::string remark = fmt::format("Written by jorv_traffic_gen with seed {} around {} over {} s", options.seed,
                                   airport.icao, options.durationSeconds);
  if (!options.momentWindows.empty()) {
    double from = options.durationSeconds;
    double to = 0.0;
    for (const auto& [kind, window] : options.momentWindows) {
      from = std::min(from, window.first);
      to = std::max(to, window.second);
    }
    remark += fmt::format(", its flights' moments between {} s and {} s", from, to);
  }
  if (!inputs.base.empty())
    remark += fmt::format("; the flights, parked aircraft and METARs of {} come first", inputs.base.filename().string());
  return scenarioText(baseJson, generateTraffic(airport, fleet, withQnh, taken, base.parked), remark);
}

}  // namespace trafficgen
