// Landings and take-offs at Zurich as a pilot watches them in the stand-in simulator, with the
// runways of its facility data: arrivals of every size on a 3-degree path touch down on the
// runway in its touch-down zone, never sink under the glide path or dive near the ground and
// never vanish in the air; a departure that waits at the line-up takes off; a climb-out follows
// the feed's climb without falling behind or zooming.
#include <algorithm>
#include <cmath>
#include <deque>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>
#include <fmt/format.h>

#include "standin/sim/facility_layout.h"
#include "tests/traffic/engine_sim_fixture.h"
#include "simlink/facility_reader.h"
#include "traffic/adding_stack.h"
#include "traffic/next_position.h"
#include "traffic/removal.h"
#include "traffic/runway_validation.h"
#include "traffic/takeoff.h"

namespace {
using namespace traffic_test;
namespace sim = standin::sim;
constexpr std::string_view kTitle = "Stand-in A320 Test Air";
constexpr std::uint32_t kHexid = 0x4B1805;
constexpr double kFtPerM = 3.2808399;
constexpr double kMps = 0.5144444444444445;
const double kTan3 = std::tan(3.0 * geo::kDegToRad);

// One landing direction of a runway as the simulator draws it.
struct LandingRunway {
  Lalo threshold;
  double headingDeg = 0.0;
  double groundFt = 0.0;  // the higher of the runway's and the simulator's ground
  double lengthM = 0.0;   // from the threshold
  double halfWidthM = 0.0;
};

Lalo lf_along(const LandingRunway& r, double metres, double rightM = 0.0) {
  const Lalo on = gf_destinationPoint(r.threshold, {r.headingDeg * geo::kDegToRad, metres * kFtPerM});
  if (rightM == 0.0) return on;
  return gf_destinationPoint(on, {(r.headingDeg + 90.0) * geo::kDegToRad, rightM * kFtPerM});
}

// Along-track metres past the threshold and cross-track metres of a position.
std::pair<double, double> lf_relative(const LandingRunway& r, const Lalo& p) {
  const double metres = gf_distanceNm(r.threshold, p) * 1852.0;
  const double off = gf_bearingRad(r.threshold, p) - r.headingDeg * geo::kDegToRad;
  return {metres * std::cos(off), metres * std::sin(off)};
}

// How a type flies its final approach and its roll-out.
struct TypeCase {
  const char* model;
  double approachKt;
  double flareM;  // from the threshold to the first ground report
  double brakingMps2;
  double climbKt;  // climb-out speed
};

const TypeCase kTypes[] = {
    {"C172", 65.0, 300.0, 1.5, 75.0},  {"E190", 128.0, 420.0, 2.0, 160.0}, {"B738", 142.0, 450.0, 2.0, 165.0},
    {"A320", 135.0, 430.0, 2.0, 160.0}, {"B77W", 149.0, 480.0, 1.8, 175.0}, {"A380", 140.0, 500.0, 1.7, 170.0},
};

class RunwayFlightSimTest : public EngineSimLinkTest {
 protected:
  void SetUp() override {
    EngineSimLinkTest::SetUp();
    // The types not among the fixture's models, with their categories and half spans.
    for (const auto& [code, table, halfSpanM] :
         {std::tuple{"A320", &g_largeModels, 17.9}, std::tuple{"A380", &g_heavyModels, 39.8}}) {
      const ModelId id = gf_internModelName(code);
      table->insert(id);
      if (g_wingspanTable.size() <= id) g_wingspanTable.resize(id + 1, 0.0);
      g_wingspanTable[id] = halfSpanM / 1852.0;
    }
    for (const TypeCase& t : kTypes) g_dbaseModelCodes.insert(t.model);
    const std::filesystem::path file = testing_support::sourceDataFolder() / "sim" / "facilities" / "LSZH.json";
    layout_ = sim::readFacilityLayout(file);
    sim::loadFacilityFile(file);
    fieldFt_ = layout_.elevationMetres * sim::kFeetPerMetre;
    const Lalo zurich{layout_.latitude, layout_.longitude};
    Airport park;
    park.code = IcaoCode("LSZH");
    park.iata = IataCode("ZRH");
    park.position = zurich;
    park.altitude = static_cast<std::int32_t>(std::lround(fieldFt_));
    gf_setAirportsNeighbours({}, [park] { return park; });
    sim::UserAircraft user = sim::userAircraft();
    user.latitude = zurich.lat + 0.02;
    user.longitude = zurich.lon + 0.02;
    user.altitude = user.groundAltitude = fieldFt_;
    sim::setUserAircraft(user);
    gf_resetParkRunways();
    gf_resetFacilityReaderForTest();
    connect();
    gf_checkRunwayFacilities(IcaoCode("LSZH"), "stock");
    for (int tick = 0; tick < 1000 && gf_pollRunwayFacilities(); ++tick) {
    }
    ASSERT_EQ(g_parkRunways.size(), 3u) << log();
  }
  void TearDown() override {
    gf_resetParkRunways();
    gf_resetFacilityReaderForTest();
    EngineSimLinkTest::TearDown();
  }

  // The landing direction of the runway whose end bears this number.
  LandingRunway runway(std::uint32_t number) const {
    for (const Runway& r : g_parkRunways) {
      const bool primary = r.primaryNumber == number;
      if (!primary && r.secondaryNumber != number) continue;
      const RunwayThreshold& t = primary ? r.primaryThreshold : r.secondaryThreshold;
      const double displaced = t.enabled ? t.length : 0.0;
      LandingRunway out;
      out.headingDeg = primary ? r.heading : std::fmod(r.heading + 180.0, 360.0);
      out.threshold = gf_destinationPoint(primary ? r.primaryEnd : r.secondaryEnd,
                                          {out.headingDeg * geo::kDegToRad, displaced * kFtPerM});
      out.groundFt = std::max(r.altitude, fieldFt_);
      out.lengthM = r.length - displaced;
      out.halfWidthM = r.width / 2.0;
      return out;
    }
    ADD_FAILURE() << "no runway " << number;
    return {};
  }

  LiveAc& flight(const char* model, std::deque<StreamPoint> points, std::size_t known) {
    // Reports as the intake stamps them: the time the feed gave each is kept apart.
    for (StreamPoint& p : points) p.feedTime = p.time;
    Rec first(kHexid, "SWR100", model);
    first.at(points.front().lalo);
    if (points.front().airborne)
      first.air(points.front().altitude, points.front().groundSpeed, points.front().track);
    else
      first.ground(points.front().groundSpeed, points.front().track);
    LiveAc& ac = addLive(first, SimStatus::buffer, FlightPhase::birth);
    ac.stream = points;
    ac.position = points.front().lalo;
    ac.altitude = points.front().altitude;
    ac.heading = points.front().track * geo::kDegToRad;
    ac.onGround = false;  // as the intake makes it: the creation puts it where it belongs
    known = std::min(known, points.size());
    ac.stream.resize(known);
    later_.assign(points.begin() + static_cast<std::ptrdiff_t>(known), points.end());
    g_liveryChoices[kHexid] = kTitle;
    return ac;
  }

  // One engine tick with the feed's deliveries (`aheadTicks_` ahead of their time) and a frame every
  // `frameEvery`-th (a tenth: as many frames as ticks take a second); false once the flight has gone.
  bool tick(std::int32_t n, std::int32_t frameEvery = 10) {
    while (!later_.empty() && later_.front().time - aheadTicks_ <= g_engineTime.load()) {
      if (g_liveAcs.empty()) break;
      gf_engineHooks().decodeExisting(g_liveAcs[0], later_.front());
      later_.pop_front();
    }
    lf_handleAddingStack();
    if (n % frameEvery == 0) frame();
    return !g_liveAcs.empty() && g_liveAcs[0].simState != SimStatus::removingfromsim;
  }

  sim::FacilityLayout layout_;
  double fieldFt_ = 0.0;
  std::deque<StreamPoint> later_;
  std::int32_t aheadTicks_ = 1000;
};

// The feed of an arrival: a 3-degree path over the threshold at 50 ft, a flare to the first
// ground report flareM past it, the roll-out braking to taxi speed. Reports every `every` ticks,
// or at the feed's own uneven pace (2 to 10 s) when every is 0; the first ground report is
// always among them, as the feed sends the change at once. With `goAroundFt` the reports go
// around instead: down the same path to that height, then climbing at `climbFtMin` for a minute,
// the lowest report among them.
std::deque<StreamPoint> lf_arrivalFeed(const LandingRunway& r, const TypeCase& t, std::int32_t every,
                                       std::int32_t start, double goAroundFt = NAN, double climbFtMin = 0.0) {
  const double vapp = t.approachKt * kMps;
  const double startM = -(900.0 - 50.0) / (kTan3 * kFtPerM);  // 900 ft up: the feed's lowest new flight is 700
  const double vTouch = vapp - 3.0 * kMps;
  struct State {
    double x, h, v, vs;
    bool air;
  };
  const auto landing = [&](double seconds) {
    // Time from the start to the threshold and over the flare.
    const double tThreshold = -startM / vapp;
    const double tFlare = t.flareM / ((vapp + vTouch) / 2.0);
    if (seconds <= tThreshold) {
      const double x = startM + vapp * seconds;
      return State{x, 50.0 - x * kTan3 * kFtPerM, vapp, -vapp * kTan3 * kFtPerM * 60.0, true};
    }
    if (seconds < tThreshold + tFlare) {
      const double s = (seconds - tThreshold) / tFlare;
      const double v = vapp + (vTouch - vapp) * s;
      const double x = (vapp * s + (vTouch - vapp) * s * s / 2.0) * tFlare;
      // The sink eases from the path's rate to about 150 ft/min at the wheels.
      const double vs0 = vapp * kTan3 * kFtPerM * 60.0;
      const double h = 50.0 - (vs0 * s - (vs0 - 150.0) * s * s / 2.0) * tFlare / 60.0;
      return State{x, std::max(h, 0.5), v, -(vs0 - (vs0 - 150.0) * s), true};
    }
    const double tr = seconds - tThreshold - tFlare;
    const double v = std::max(12.0, vTouch - t.brakingMps2 * tr);
    const double tStop = (vTouch - 12.0) / t.brakingMps2;
    const double x = t.flareM + (tr < tStop ? vTouch * tr - t.brakingMps2 * tr * tr / 2.0
                                            : vTouch * tStop - t.brakingMps2 * tStop * tStop / 2.0 + 12.0 * (tr - tStop));
    return State{x, 0.0, v, 0.0, false};
  };
  const double tThreshold = -startM / vapp;
  double tTouch = tThreshold + t.flareM / ((vapp + vTouch) / 2.0);
  double tEnd = tTouch + (vTouch - 12.0) / t.brakingMps2 + 10.0;
  std::function<State(double)> at = landing;
  const bool goesAround = std::isfinite(goAroundFt);
  if (goesAround) {
    double tBottom = 0.0;
    while (landing(tBottom).h > goAroundFt) tBottom += 0.01;
    const State bottom = landing(tBottom);
    at = [=](double seconds) {
      if (seconds <= tBottom) return landing(seconds);
      const double up = seconds - tBottom;
      return State{bottom.x + vapp * up, goAroundFt + climbFtMin * up / 60.0, vapp, climbFtMin, true};
    };
    tTouch = tBottom;  // the report at the bottom is sent as the touch-down's would be
    tEnd = tBottom + 60.0;
  }
  std::mt19937 random(static_cast<std::uint32_t>(t.approachKt * 10));
  std::uniform_int_distribution<std::int32_t> interval(200, 1000);
  std::deque<StreamPoint> points;
  bool touchSent = false;
  for (std::int32_t ticks = 0; ticks <= tEnd * 100.0;) {
    double seconds = ticks / 100.0;
    if (!touchSent && seconds >= tTouch) {
      seconds = tTouch + (goesAround ? 0.0 : 0.01);
      touchSent = true;
    }
    const State s = at(seconds);
    StreamPoint p;
    p.lalo = lf_along(r, s.x);
    p.airborne = s.air;
    p.altitude = s.air ? r.groundFt + s.h : 0.0;
    p.groundSpeed = s.v / kMps;
    p.verticalRate = s.vs;
    p.track = r.headingDeg;
    p.time = start + static_cast<std::int32_t>(std::lround(seconds * 100.0));
    if (points.empty() || p.time > points.back().time) points.push_back(p);
    // The touch-down report, then on with the schedule; the lowest of a go-around is sent besides.
    if (goesAround ? seconds < ticks / 100.0 : seconds > ticks / 100.0) continue;
    ticks += every > 0 ? every : interval(random);
  }
  return points;
}

struct LandingWatch {
  bool landed = false;
  double touchAlongM = std::numeric_limits<double>::quiet_NaN();
  double touchCrossM = std::numeric_limits<double>::quiet_NaN();
  double worstUnderFloorFt = -std::numeric_limits<double>::infinity();  // > 0: under the floor
  double worstSinkFtMin = 0.0;  // below 200 ft over the ground, per second
  bool removedInAir = false;
  std::string removedWhere;
  double noseRoseRad = 0.0;  // the most the nose rose in one tick after the touch-down
  double noseDownDegPerS = 0.0;  // the fastest the nose came down after the touch-down
  double worstBalloonFt = 0.0;  // the most it climbed within 3 s below 700 ft on the approach
  double worstRollDropKt = 0.0;  // the most its speed fell from one second to the next on the roll-out
};

TEST_F(RunwayFlightSimTest, ArrivalsOfEveryTypeTouchDownInTheTouchDownZone) {
  // 14 crosses nothing; the approach to 32 passes over 16/34 about 700 m before its threshold.
  for (const std::uint32_t number : {14u, 32u}) {
  const LandingRunway r = runway(number);
  ASSERT_GT(r.lengthM, 2000.0);
  for (const TypeCase& t : kTypes) {
    // 1-s reports, the feed's own pace, and that pace with one report sagging under the field
    // 500 m before the threshold, as a barometric altitude does.
    for (const std::int32_t every : {100, 0, -1}) {
      // The sagging report once per size class is enough.
      if (every < 0 && (number != 14 || (t.model != std::string_view("C172") && t.model != std::string_view("B738") &&
                                          t.model != std::string_view("A380"))))
        continue;
      const std::string what = fmt::format("{} to {} every {}", t.model, number, every);
      std::deque<StreamPoint> feed = lf_arrivalFeed(r, t, std::max(every, 0), g_engineTime.load() + 50);
      if (every < 0) {
        const auto sag = std::find_if(feed.begin(), feed.end(),
                                      [&](const StreamPoint& p) { return lf_relative(r, p.lalo).first > -500.0; });
        ASSERT_NE(sag, feed.end());
        sag->altitude = r.groundFt - 30.0;
      }
      flight(t.model, feed, 3);
      LandingWatch w;
      double lastWheelsFt = NAN;
      std::int32_t lastSecondTick = 0;
      double secondAgoFt = NAN;
      bool wasOnGround = false;
      double noseOff = std::numeric_limits<double>::infinity();
      std::int32_t landedTick = 0;
      std::deque<std::pair<std::int32_t, double>> lastWheels;  // engine time, wheels' height
      std::optional<Lalo> secondAgo;
      double lastSecondKt = NAN;
      double lastPitch = NAN;
      std::int32_t lastPitchTime = 0;
      const std::int32_t limit = feed.back().time - g_engineTime.load() + 3000;
      for (std::int32_t n = 0; n < limit; ++n) {
        const bool there = tick(n);
        if (!there) {
          if (!wasOnGround && std::isfinite(lastWheelsFt) && lastWheelsFt < 2000.0) {
            w.removedInAir = true;
            w.removedWhere = fmt::format("{:.1f} ft up", lastWheelsFt);
          }
          break;
        }
        const LiveAc& ac = g_liveAcs[0];
        if (ac.simState != SimStatus::active) continue;
        const double cg = std::isfinite(ac.cgHeightFt) ? std::max(0.0, ac.cgHeightFt) : 0.0;
        const double wheels = ac.altitude - cg - r.groundFt;
        const auto [along, cross] = lf_relative(r, ac.position);
        const std::int32_t now = g_engineTime.load();
        if (!ac.onGround && !w.landed) {
          while (!lastWheels.empty() && lastWheels.front().first < now - 300) lastWheels.pop_front();
          lastWheels.emplace_back(now, wheels);
          if (wheels < 700.0)
            for (const auto& [when, ft] : lastWheels) w.worstBalloonFt = std::max(w.worstBalloonFt, wheels - ft);
        }
        if (!ac.onGround) {
          // The floor: 2 degrees up from 300 m past the threshold, the ground beyond.
          const double floor = std::max(0.0, (300.0 - along) * std::tan(2.0 * geo::kDegToRad) * kFtPerM) - 10.0;
          w.worstUnderFloorFt = std::max(w.worstUnderFloorFt, floor - wheels);
        }
        if (w.landed && n > landedTick + 1500) break;  // the roll-out's first 15 s tell enough
        if (n % 100 == 0) {
          const double kt = secondAgo ? gf_distanceNm(*secondAgo, ac.position) * 1852.0 / kMps : NAN;
          if (w.landed && std::isfinite(lastSecondKt) && std::isfinite(kt))
            w.worstRollDropKt = std::max(w.worstRollDropKt, lastSecondKt - kt);
          lastSecondKt = kt;
          secondAgo = ac.position;
        }
        if (ac.onGround && !wasOnGround && !w.landed && ac.state == FlightPhase::landing_roll) {
          landedTick = n;
          w.landed = true;
          w.touchAlongM = along;
          w.touchCrossM = cross;
        }
        // After the touch-down the nose only comes down.
        if (w.landed && ac.onGround) {
          const double off = std::fabs(ac.pitch - ac.refPitch);
          w.noseRoseRad = std::max(w.noseRoseRad, off - noseOff);
          noseOff = off;
          if (std::isfinite(lastPitch) && now > lastPitchTime)
            w.noseDownDegPerS = std::max(w.noseDownDegPerS, std::fabs(ac.pitch - lastPitch) * geo::kRadToDeg * 100.0 /
                                                                (now - lastPitchTime));
          lastPitch = ac.pitch;
          lastPitchTime = now;
        }
        if (n - lastSecondTick >= 100) {
          if (std::isfinite(secondAgoFt) && !wasOnGround && std::min(secondAgoFt, wheels) < 200.0)
            w.worstSinkFtMin = std::max(w.worstSinkFtMin, (secondAgoFt - wheels) * 60.0 * 100.0 / (n - lastSecondTick));
          secondAgoFt = wheels;
          lastSecondTick = n;
        }
        wasOnGround = ac.onGround;
        lastWheelsFt = wheels;
      }
      EXPECT_FALSE(w.removedInAir) << what << ": removed " << w.removedWhere;
      EXPECT_TRUE(w.landed) << what;
      EXPECT_GE(w.touchAlongM, 0.0) << what << ": short of the runway";
      EXPECT_LE(w.touchAlongM, std::min(900.0, r.lengthM / 3.0)) << what << ": past the touch-down zone";
      EXPECT_LE(std::fabs(w.touchCrossM), r.halfWidthM) << what;
      EXPECT_LE(w.worstUnderFloorFt, 0.0) << what << ": under the glide path's floor";
      EXPECT_LE(w.worstSinkFtMin, 1500.0) << what << ": too steep near the ground";
      EXPECT_LE(w.noseRoseRad, 1e-9) << what << ": the nose rose on the runway";
      EXPECT_LE(w.noseDownDegPerS, 2.0 + 1e-6) << what << ": the nose slammed down";
      EXPECT_LE(w.worstBalloonFt, 15.0) << what << ": climbed on the approach";
      // Slowing from the touch-down on: no approach speed held to the next report, then dropped.
      EXPECT_LE(w.worstRollDropKt, 7.5) << what << ": a step in the roll-out's speed";
      // The next case starts clean.
      later_.clear();
      if (!g_liveAcs.empty()) gf_engineHooks().removeAircraftFromSim(g_liveAcs[0]);
      for (int i = 0; i < 50 && !g_liveAcs.empty(); ++i) tick(10 * i);
      frame(3);
      ASSERT_TRUE(g_liveAcs.empty()) << what;
    }
  }
  }
}

// A busy machine draws the simulator's frames while the engine's next tick is late: every pose the
// engine sends may be the one shown for a while, the one between two reports of the simulator's
// ground included. An aircraft the simulator has on its wheels is drawn on them, within a foot of
// its standing height, from the flare's last feet on; the ticks' pace does not change that.
TEST_F(RunwayFlightSimTest, AnArrivalOnItsWheelsIsDrawnOnThemHoweverLateTheTicks) {
  const LandingRunway r = runway(14);
  for (const TypeCase& t : kTypes) {
    if (t.model != std::string_view("B738") && t.model != std::string_view("A380")) continue;
    // A frame every tenth tick (the engine keeps up), every tick, and every tick with the reports
    // every 5 s, so that the program's own flare, not a report, meets the runway.
    for (const auto& [frameEvery, every] : {std::pair{10, 100}, std::pair{1, 100}, std::pair{1, 500}}) {
      const std::string what = fmt::format("{} frame every {} ticks, reports every {}", t.model, frameEvery, every);
      flight(t.model, lf_arrivalFeed(r, t, every, g_engineTime.load() + 50), 3);
      double worstOffGearFt = 0.0;
      bool landed = false;
      const std::int32_t limit = later_.back().time - g_engineTime.load() + 3000;
      for (std::int32_t n = 0; n < limit && !(landed && g_liveAcs[0].pitch == g_liveAcs[0].refPitch); ++n) {
        if (!tick(n, frameEvery)) break;
        const LiveAc& ac = g_liveAcs[0];
        landed = landed || ac.state == FlightPhase::landing_roll;
        const auto object = sim::object(ac.objectId);
        if (ac.simState != SimStatus::active || !object || !object->onGround) continue;
        const double offGear = object->altitude - object->groundAltitude - object->staticCg;
        if (std::fabs(offGear) > std::fabs(worstOffGearFt)) worstOffGearFt = offGear;
      }
      EXPECT_TRUE(landed) << what;
      EXPECT_LE(std::fabs(worstOffGearFt), 1.0) << what << ": on the ground, off its gear";
      later_.clear();
      if (!g_liveAcs.empty()) gf_engineHooks().removeAircraftFromSim(g_liveAcs[0]);
      for (int i = 0; i < 50 && !g_liveAcs.empty(); ++i) tick(10 * i);
      frame(3);
      ASSERT_TRUE(g_liveAcs.empty()) << what;
    }
  }
}

// The feed of a departure: along its taxiway to the holding point 42 m left of the centre line,
// 20 s there, onto the runway and lined up for `waitS`, the roll at the type's acceleration and
// the climb at `climbFtMin` straight ahead with a report every `rollEveryS`. With `creepM` it
// creeps into its line-up: the first report there slow, the standing ones that far beyond it.
std::deque<StreamPoint> lf_departureFeed(const LandingRunway& r, const TypeCase& t, double waitS, double climbFtMin,
                                         std::int32_t start, int rollEveryS = 1, double creepM = 0.0) {
  std::deque<StreamPoint> points;
  std::int32_t time = start;
  const auto push = [&](double along, double kt, double heightFt, double vs, double rightM = 0.0,
                        double offDeg = 0.0) {
    StreamPoint p;
    p.lalo = lf_along(r, along, rightM);
    p.airborne = heightFt > 0.0;
    p.altitude = p.airborne ? r.groundFt + heightFt : 0.0;
    p.groundSpeed = kt;
    p.verticalRate = vs;
    p.track = std::fmod(r.headingDeg + offDeg + 360.0, 360.0);
    p.time = time;
    p.repeated = !points.empty() && points.back().lalo.lat == p.lalo.lat && points.back().lalo.lon == p.lalo.lon;
    points.push_back(p);
  };
  const auto across = [&](double left, double kt) {
    push(20.0 - left * std::cos(geo::kPi / 4), kt, 0.0, 0.0, -left * std::sin(geo::kPi / 4), 45.0);
  };
  // 15 kt along the taxiway with 3-s reports, slowing for the holding point.
  for (double left = 290.0; left > 80.0; left -= 15.0 * kMps * 3.0, time += 300) across(left, 15.0);
  across(80.0, 8.0);
  time += 300;
  for (int i = 0; i < 4; ++i, time += 500) across(60.0, 0.0);
  // Onto the runway at 10 kt, 45 degrees across it, a stop on the centre line, then the turn to
  // the line-up 40 m past its start.
  for (double left = 60.0 - 10.0 * kMps * 3.0; left > 0.0; left -= 10.0 * kMps * 3.0, time += 300) across(left, 10.0);
  for (int i = 0; i < 3; ++i, time += 300) push(20.0, 0.0, 0.0, 0.0, 0.0, 45.0);
  for (double waited = 0.0; waited < waitS; waited += 5.0, time += 500)
    push(waited == 0.0 ? 40.0 - creepM : 40.0, waited == 0.0 ? 5.0 : 0.0, 0.0, 0.0);
  const double accel = t.model == std::string_view("C172") ? 1.2 : 1.9;
  const double vr = (t.climbKt - 10.0) * kMps;
  double along = 40.0, v = 0.0;
  for (int second = 1; v < vr; time += 100, ++second) {
    v = std::min(vr, v + accel);
    along += v - accel / 2.0;
    if (second % rollEveryS == 0 || !(v < vr)) push(along, v / kMps, 0.0, 0.0);
  }
  double height = 0.0;
  for (int i = 0; i < 120; ++i, time += 100) {
    v = std::min(t.climbKt * kMps, v + 0.5);
    along += v;
    height += climbFtMin / 60.0;
    if (i % rollEveryS == 0) push(along, v / kMps, height, climbFtMin);
  }
  return points;
}

// The feed's altitude at a time, between its reports.
double lf_feedAltitude(const std::deque<StreamPoint>& feed, std::int32_t time) {
  for (std::size_t i = 1; i < feed.size(); ++i) {
    if (feed[i].time < time) continue;
    const StreamPoint& a = feed[i - 1];
    const StreamPoint& b = feed[i];
    const double f = std::clamp(static_cast<double>(time - a.time) / std::max(1, b.time - a.time), 0.0, 1.0);
    return a.altitude + (b.altitude - a.altitude) * f;
  }
  return feed.back().altitude;
}

// The time the feed reaches a distance along a straight run of its reports; NaN off the run.
struct FeedRun {
  std::vector<std::pair<double, std::int32_t>> marks;  // metres, time
  double timeAt(double metres) const {
    for (std::size_t i = 1; i < marks.size(); ++i) {
      const auto& [a, ta] = marks[i - 1];
      const auto& [b, tb] = marks[i];
      if (metres < a || metres > b || !(b > a)) continue;
      return ta + (metres - a) / (b - a) * (tb - ta);
    }
    return NAN;
  }
};

TEST_F(RunwayFlightSimTest, DeparturesWaitAtTheLineUpThenTakeOffAndClimbAsTheFeed) {
  const LandingRunway r = runway(28);
  ASSERT_GT(r.lengthM, 1800.0);  // a long runway: no readiness before the feed lifts off
  // A long wait at the line-up with a report every second on the roll; and as the service mostly
  // reports, every 6 s, after a wait too short to take up what the taxi is late or after a wait,
  // a light aircraft's reports gathering speed at half an airliner's rate. And one creeping into
  // its line-up, its standing reports a hand's width past its last moving one, all of them known
  // while it still taxis.
  struct Departure {
    double waitS;
    int rollEveryS;
    double creepM = 0.0;
    std::int32_t aheadS = 10;
  };
  for (const auto& [t, d] : {std::pair{kTypes[2], Departure{180.0, 1}}, std::pair{kTypes[5], Departure{180.0, 1}},
                             std::pair{kTypes[2], Departure{5.0, 6}}, std::pair{kTypes[5], Departure{5.0, 6}},
                             std::pair{kTypes[0], Departure{5.0, 6}}, std::pair{kTypes[0], Departure{30.0, 6}},
                             std::pair{kTypes[4], Departure{15.0, 4, 0.2, 40}}}) {
    // A narrow-body and the largest; a light aircraft's roll and climb run on the same rules.
    const double climbFtMin = 3000.0;
    const double waitS = d.waitS;
    const std::string what = fmt::format("{}, {:.0f}-s wait, {}-s roll reports, {} m creep, fed {} s ahead", t.model,
                                         waitS, d.rollEveryS, d.creepM, d.aheadS);
    aheadTicks_ = d.aheadS * 100;
    const std::deque<StreamPoint> feed =
        lf_departureFeed(r, t, waitS, climbFtMin, g_engineTime.load() + 50, d.rollEveryS, d.creepM);
    // A departure of the park airport: the program predicts its runway where it stops on it.
    flight(t.model, feed, 3).origin = IataCode("ZRH");
    // The straight runs of the feed: the taxiway at 15 kt, and the roll after the wait.
    FeedRun taxiway, roll;
    for (const StreamPoint& p : feed) {
      if (p.groundSpeed == 15.0) taxiway.marks.emplace_back(gf_distanceNm(feed[0].lalo, p.lalo) * 1852.0, p.time);
      if (!p.airborne && p.groundSpeed > 5.0 && p.track == r.headingDeg)
        roll.marks.emplace_back(lf_relative(r, p.lalo).first, p.time);
    }
    ASSERT_GT(taxiway.marks.size(), 5u);
    ASSERT_GT(roll.marks.size(), 20u / d.rollEveryS);
    const auto lineUp = std::find_if(feed.begin(), feed.end(), [](const StreamPoint& p) { return p.groundSpeed == 5.0; });
    ASSERT_NE(lineUp, feed.end());
    bool tookOff = false, removed = false;
    double worstLagFt = 0.0, worstClimbFtMin = 0.0;
    std::int32_t lastSecondTick = 0;
    double secondAgoFt = NAN;
    std::vector<std::uint32_t> states;
    std::int32_t liftOffAt = -1, lineUpStateAt = -1, standingTicks = 0;
    double taxiLagSum = 0.0, leastKt = NAN, fastestRollOverCapKt = -1e9;
    std::int32_t taxiLagCount = 0;
    // The roll's delay behind its feed, least and most, and where it ends; and the delay the
    // aircraft reaches its line-up with (its swing onto the runway from a stop across it may take
    // longer than the feed's).
    double leastRollLag = 1e9, mostRollLag = -1e9, lastRollLag = 0.0, lineUpLag = NAN;
    Lalo secondAgoAt = feed.front().lalo;
    double secondAgoHeading = 0.0, worstSlipDeg = 0.0;
    // Once rolling at 15 kt, each second of the roll gains speed up to the lift-off, near the feed's
    // rate; and flown on from there, the first seconds in the air are no slower.
    double rollSecondAgoKt = NAN, leastRollGainKt = 99.0, mostRollGainKt = 0.0, feedGainKt = 0.0;
    double liftOffKt = NAN, liftOffDropKt = 0.0, climbSecondAgoKt = NAN, leastClimbGainKt = 99.0;
    for (std::size_t i = 1; i < feed.size(); ++i)
      if (!feed[i].airborne && feed[i - 1].groundSpeed > 5.0)
        feedGainKt = std::max(feedGainKt, (feed[i].groundSpeed - feed[i - 1].groundSpeed) * 100.0 / (feed[i].time - feed[i - 1].time));
    const std::int32_t limit = feed.back().time - g_engineTime.load() - 300;
    for (std::int32_t n = 0; n < limit; ++n) {
      if (!tick(n)) {
        removed = true;
        break;
      }
      const LiveAc& ac = g_liveAcs[0];
      if (states.empty() || states.back() != ac.state) states.push_back(ac.state);
      if (ac.simState != SimStatus::active) continue;
      const std::int32_t now = g_engineTime.load();
      leastKt = gf_referenceSpeed(ac, 3) - 5.0;
      if (lineUpStateAt < 0 && ac.state == FlightPhase::takeoff_roll) lineUpStateAt = now;
      if (ac.onGround && ac.state == FlightPhase::taxi && ac.speed > 10.0) {
        // The taxi's delay behind the feed, its own delay.
        const double due = taxiway.timeAt(gf_distanceNm(feed[0].lalo, ac.position) * 1852.0);
        if (std::isfinite(due)) taxiLagSum += now - due, ++taxiLagCount;
      }
      if (ac.onGround && ac.state == FlightPhase::takeoff_roll && ac.speed == 0.0) ++standingTicks;
      if (std::isnan(lineUpLag) && ac.onGround && gf_distanceNm(ac.position, lineUp->lalo) * 1852.0 < 1.0)
        lineUpLag = now - lineUp->time;
      // However late the roll, never faster on the runway than the type's roll reaches.
      if (ac.onGround && ac.state == FlightPhase::takeoff_roll)
        fastestRollOverCapKt = std::max(fastestRollOverCapKt, ac.groundStepMetres * 100.0 / kMps - (gf_referenceSpeed(ac, 1) + 30.0));
      if (n % 100 == 0) {
        // The nose against the motion of the last second, on the ground above 3 kt, once it has
        // rolled out of its first report.
        const double metres = gf_distanceNm(secondAgoAt, ac.position) * 1852.0;
        const bool taxiing = ac.state == FlightPhase::taxi || ac.state == FlightPhase::takeoff_roll;
        const double kt = metres / kMps;
        if (ac.onGround && ac.state == FlightPhase::takeoff_roll && rollSecondAgoKt > 15.0) {
          leastRollGainKt = std::min(leastRollGainKt, kt - rollSecondAgoKt);
          mostRollGainKt = std::max(mostRollGainKt, kt - rollSecondAgoKt);
        }
        if (ac.state == FlightPhase::takeoff && std::isnan(liftOffKt)) liftOffKt = rollSecondAgoKt;
        if (ac.state == FlightPhase::takeoff && now - liftOffAt <= 1000) liftOffDropKt = std::max(liftOffDropKt, liftOffKt - kt);
        // The climb-out gathers speed on toward its reports' as the roll did.
        if (ac.state == FlightPhase::takeoff && climbSecondAgoKt < t.climbKt - 5.0)
          leastClimbGainKt = std::min(leastClimbGainKt, kt - climbSecondAgoKt);
        climbSecondAgoKt = ac.state == FlightPhase::takeoff || ac.state == FlightPhase::takeoff_roll ? kt : NAN;
        rollSecondAgoKt = ac.onGround && ac.state == FlightPhase::takeoff_roll ? kt : NAN;
        if (ac.onGround && taxiing && n > 1000 && metres > 3.0 * kMps) {
          const double motion = gf_bearingRad(secondAgoAt, ac.position);
          const double middle = secondAgoHeading + gf_wrapAngle(ac.heading - secondAgoHeading) / 2.0;
          worstSlipDeg = std::max(worstSlipDeg, std::fabs(gf_wrapAngle(middle - motion)) / geo::kDegToRad);
        }
        secondAgoAt = ac.position;
        secondAgoHeading = ac.heading;
      }
      if (!tookOff && ac.state == FlightPhase::takeoff) liftOffAt = now;
      tookOff = tookOff || ac.state == FlightPhase::takeoff;
      if (ac.onGround && ac.state == FlightPhase::takeoff_roll && ac.speed > 20.0 && taxiLagCount > 0) {
        const double due = roll.timeAt(lf_relative(r, ac.position).first);
        if (std::isfinite(due)) {
          lastRollLag = now - due;
          leastRollLag = std::min(leastRollLag, lastRollLag);
          mostRollLag = std::max(mostRollLag, lastRollLag);
        }
      }
      if (!tookOff) continue;
      const double cg = std::isfinite(ac.cgHeightFt) ? std::max(0.0, ac.cgHeightFt) : 0.0;
      // The climb keeps the delay the roll ended with.
      const double feedAlt = lf_feedAltitude(feed, now - static_cast<std::int32_t>(lastRollLag));
      // Once the feed is 100 ft up, the aircraft keeps with it.
      if (feedAlt > r.groundFt + 100.0) worstLagFt = std::max(worstLagFt, std::fabs(ac.altitude - cg - feedAlt));
      if (n - lastSecondTick >= 100) {
        if (std::isfinite(secondAgoFt))
          worstClimbFtMin = std::max(worstClimbFtMin, (ac.altitude - secondAgoFt) * 6000.0 / (n - lastSecondTick));
        secondAgoFt = ac.altitude;
        lastSecondTick = n;
      }
    }
    std::string seen;
    for (const std::uint32_t s : states) seen += fmt::format(" {}", gf_flightPhaseName(s));
    EXPECT_FALSE(removed) << what << ":" << seen;
    EXPECT_TRUE(tookOff) << what << ":" << seen;
    // The line-up comes from the program's own prediction, before the wait.
    const auto rollStart = std::find_if(feed.begin(), feed.end(), [&](const StreamPoint& p) {
      return !p.airborne && p.groundSpeed > 5.0 && p.track == r.headingDeg && p.time > feed.front().time + 6000;
    });
    ASSERT_NE(rollStart, feed.end());
    ASSERT_GT(lineUpStateAt, 0) << what << ":" << seen;
    EXPECT_LT(lineUpStateAt, rollStart->time - (waitS - 10.0) * 100.0) << what << ": no line-up before the wait";
    // A late line-up gives up at most 8 s of its wait, and rolls off a few seconds before the
    // first moving report to be there at its speed.
    EXPECT_GE(standingTicks, (waitS - 12.0) * 100.0) << what << ": the wait at the line-up cut short";
    // The roll keeps the delay the flight taxied with, or what is left of the one it reached its
    // line-up with: never ahead of the taxi's, never further behind than at its line-up.
    ASSERT_GT(taxiLagCount, 100) << what;
    ASSERT_FALSE(std::isnan(lineUpLag)) << what << ": never at its line-up";
    const double taxiLag = taxiLagSum / taxiLagCount;
    const std::string lags = fmt::format("taxi {:.1f} s late, line-up {:.1f} s, roll {:.1f} to {:.1f} s", taxiLag / 100.0,
                                         lineUpLag / 100.0, leastRollLag / 100.0, mostRollLag / 100.0);
    EXPECT_LE(std::fabs(taxiLag), 300.0) << what << ": the taxi off its feed";
    EXPECT_LE(lineUpLag - taxiLag, 1000.0) << what << ": the swing onto the runway far slower than an airliner's";
    EXPECT_GE(leastRollLag, std::min(taxiLag, 0.0) - 300.0) << what << ": the roll ahead of the taxi's delay; " << lags;
    EXPECT_LE(mostRollLag, std::max({taxiLag, lineUpLag, 0.0}) + 300.0) << what << ": the roll falling behind; " << lags;
    EXPECT_LE(std::fabs(mostRollLag - leastRollLag), 500.0) << what << ": the roll's delay wavering; " << lags;
    // Onto the runway from the stop across it, the nose comes round before the aircraft rolls on.
    EXPECT_LE(worstSlipDeg, 12.0) << what << ": the nose off the motion on the ground";
    EXPECT_LE(fastestRollOverCapKt, 1.0) << what << ": on the runway above the type's highest roll speed";
    EXPECT_GE(leastRollGainKt, std::max(1.0, 0.5 * feedGainKt)) << what << ": the roll held its speed or slowed";
    EXPECT_LE(mostRollGainKt, 1.3 * feedGainKt + 0.5) << what << ": the roll in spurts, its feed gaining " << feedGainKt;
    EXPECT_LE(liftOffDropKt, 1.0) << what << ": slower in the air than on the runway";
    EXPECT_GE(leastClimbGainKt, 0.5) << what << ": the climb-out held its speed or slowed";
    // The rotation comes between the feed's passing the lowest speed from which the take-off may
    // start (the phase-3 speed, 5 kt less for a steep climb) and its first report in the air.
    const auto firstAirborne =
        std::find_if(feed.begin(), feed.end(), [](const StreamPoint& p) { return p.airborne; });
    const auto atLeast =
        std::find_if(feed.begin(), feed.end(), [&](const StreamPoint& p) { return p.groundSpeed >= leastKt; });
    ASSERT_NE(firstAirborne, feed.end());
    ASSERT_NE(atLeast, feed.end());
    EXPECT_GE(liftOffAt - lastRollLag, atLeast->time - 300.0) << what << ": the take-off ahead of the feed";
    EXPECT_LE(liftOffAt - lastRollLag, firstAirborne->time + 300.0) << what << ": the take-off behind the feed";
    EXPECT_LE(worstLagFt, 200.0) << what << ":" << seen;
    EXPECT_LE(worstClimbFtMin, 1.5 * climbFtMin) << what;
    later_.clear();
    if (!g_liveAcs.empty()) gf_engineHooks().removeAircraftFromSim(g_liveAcs[0]);
    for (int i = 0; i < 50 && !g_liveAcs.empty(); ++i) tick(10 * i);
    frame(3);
    ASSERT_TRUE(g_liveAcs.empty()) << what;
  }
}

}  // namespace


// The simulator's new session takes an arrival on its roll-out, on short final too low to be
// made again in the air (remade at 0 kt here), or half-way round its turn off the runway (at -1
// kt), and the program makes it again: the new object rolls on from where the old one was at the
// speed it had, its nose with its motion, and brakes as an airliner does, instead of speeding up
// and braking hard to meet the feed, or stopping dead where the reports end.
TEST_F(RunwayFlightSimTest, AnArrivalMadeAgainOnItsRollOutRollsOnAtItsSpeed) {
  const LandingRunway r = runway(14);
  const TypeCase& t = kTypes[5];
  ASSERT_EQ(t.model, std::string_view("A380"));
  for (const std::int32_t every : {100, 200}) {
    for (const double remakeKt : {135.0, 90.0, 0.0, -1.0}) {
      for (const std::int32_t pauseTicks : {0, 300}) {
        // At a report every 2 s the turn off ends 6 degrees short of the way off, made again or not.
        if (remakeKt < 0.0 && every != 100) continue;
        const std::string what =
            fmt::format("reports every {}, made again at {} kt after {} ticks", every, remakeKt, pauseTicks);
        std::deque<StreamPoint> feed = lf_arrivalFeed(r, t, every, g_engineTime.load() + 50);
        // Lost on short final, its reports end on the roll.
        if (remakeKt == 0.0) std::erase_if(feed, [](const StreamPoint& p) { return !p.airborne && p.groundSpeed < 120.0; });
        // Off the runway 35 degrees to the left at 10 kt.
        for (int i = 0; remakeKt < 0.0 && i < 8; ++i) {
          StreamPoint exit = feed.back();
          exit.time += 300;
          exit.track = r.headingDeg - 35.0;
          exit.lalo = gf_destinationPoint(exit.lalo, {exit.track * geo::kDegToRad, 10.0 / 1200.0 * geo::kFeetPerNm});
          exit.groundSpeed = 10.0;
          feed.push_back(exit);
        }
        flight(t.model, feed, 3);
        bool remade = false;
        std::uint32_t oldObject = 0, madeAs = FlightPhase::birth;
        double speedAtRemake = NAN;
        std::vector<double> kts;  // the new object's speed in each tick it moves
        double worstOffGearFt = 0.0;
        double worstSlipDeg = 0.0;  // the new object's nose off its motion over a tenth of a second
        std::optional<Lalo> lastAt;
        const std::int32_t limit = later_.back().time - g_engineTime.load() + 2000;
        for (std::int32_t n = 0; n < limit && kts.size() < 800; ++n) {
          if (!tick(n)) break;
          LiveAc& ac = g_liveAcs[0];
          const bool onFinal = !ac.onGround && ac.state == FlightPhase::landing && ac.altitude < r.groundFt + 400.0;
          const bool onRoll = ac.onGround && ac.state == FlightPhase::landing_roll && ac.speed <= remakeKt;
          const bool inExit = ac.onGround && ac.legPlan.planKind == PlanKind::runwayExit && ac.legPlan.legFraction > 0.3;
          if (!remade && ac.simState == SimStatus::active &&
              (remakeKt < 0.0 ? inExit : remakeKt == 0.0 ? onFinal : onRoll)) {
            speedAtRemake = ac.speed;
            oldObject = ac.objectId;
            gf_recreateLostLiveAc(ac);
            // The simulator is away a while: the engine's clock stands, the feed goes on.
            for (std::int32_t i = 0; i < pauseTicks / 10; ++i) frame();
            remade = true;
            continue;
          }
          if (!remade || ac.simState != SimStatus::active || ac.objectId == oldObject) continue;
          if (const auto object = sim::object(ac.objectId); object && object->onGround) {
            const double offGear = object->altitude - object->groundAltitude - object->staticCg;
            if (std::fabs(offGear) > std::fabs(worstOffGearFt)) worstOffGearFt = offGear;
            const Lalo at{object->latitude, object->longitude};
            if (n % 10 == 0 && lastAt && gf_distanceNm(*lastAt, at) * 1852.0 > 0.1) {
              const double off = std::fabs(gf_wrapAngle(object->heading - gf_bearingRad(*lastAt, at)));
              worstSlipDeg = std::max(worstSlipDeg, off / geo::kDegToRad);
            }
            if (n % 10 == 0) lastAt = at;
          }
          if (kts.empty()) madeAs = ac.state;
          kts.push_back(ac.groundStepMetres * 100.0 / kMps);
        }
        ASSERT_TRUE(remade) << what;
        EXPECT_EQ(gf_flightPhaseName(madeAs), gf_flightPhaseName(FlightPhase::landing_roll)) << what;
        ASSERT_GE(kts.size(), 300u) << what;
        EXPECT_NEAR(kts.front(), speedAtRemake, 0.15 * speedAtRemake) << what << ": the new object's first tick";
        EXPECT_LE(std::fabs(worstOffGearFt), 1.0) << what << ": the new object on the runway, off its gear";
        EXPECT_LE(worstSlipDeg, 3.0) << what << ": the new object's nose off its motion";
        // Over each half second: at most an airliner's braking, and no speeding up on the roll-out;
        // out of the turn off it picks up its taxi pace as an airliner does.
        const double mostGain = remakeKt < 0.0 ? 2.6 : 1.0;
        for (std::size_t i = 50; i < kts.size(); ++i) {
          const double rate = (kts[i] - kts[i - 50]) * 2.0;
          EXPECT_GE(rate, -6.0 * 1.5) << what << ": from " << kts[i - 50] << " kt to " << kts[i] << " kt in half a second, tick " << i;
          EXPECT_LE(rate, mostGain) << what << ": from " << kts[i - 50] << " kt to " << kts[i] << " kt in half a second, tick " << i;
          if (std::fabs(rate) > 9.0 || rate > mostGain) break;
        }
        later_.clear();
        if (!g_liveAcs.empty()) gf_engineHooks().removeAircraftFromSim(g_liveAcs[0]);
        for (int i = 0; i < 50 && !g_liveAcs.empty(); ++i) tick(10 * i);
        frame(3);
        ASSERT_TRUE(g_liveAcs.empty()) << what;
      }
    }
  }
}

namespace {

// Reports that stop in the air for a while, or for good: the aircraft flies on at a speed its type
// flies, a climb at its own, its climb or descent shown as it moves, joins the reports again
// without a dash or a swing about their speed, and when they never come back leaves with a line
// in the log saying why.
TEST_F(RunwayFlightSimTest, AnAircraftWhoseReportsStopInTheAirFliesOnAndRejoins) {
  struct Case {
    const char* model;
    bool departure;
    double silentFromS;  // after the lift-off, or after the first report of an arrival
    double silentS;      // 0: the reports end
  };
  const Case cases[] = {
      {"B738", true, 40.0, 30.0}, {"A380", true, 40.0, 30.0}, {"B738", true, 40.0, 0.0},
      {"B738", false, 10.0, 30.0}, {"A380", false, 10.0, 30.0},
  };
  for (const Case& c : cases) {
    const TypeCase& t = *std::find_if(std::begin(kTypes), std::end(kTypes),
                                      [&](const TypeCase& k) { return k.model == std::string_view(c.model); });
    const std::string what =
        fmt::format("{} {} silent {} s", c.model, c.departure ? "departure" : "arrival", c.silentS);
    const std::int32_t start = g_engineTime.load() + 50;
    std::deque<StreamPoint> feed = c.departure ? lf_departureFeed(runway(28), t, 20.0, 3000.0, start)
                                               : lf_arrivalFeed(runway(14), t, 100, start);
    const auto liftOff = std::find_if(feed.begin(), feed.end(), [](const StreamPoint& p) { return p.airborne; });
    ASSERT_NE(liftOff, feed.end());
    const std::int32_t from = (c.departure ? liftOff->time : start) + static_cast<std::int32_t>(c.silentFromS * 100);
    const std::int32_t until = c.silentS > 0.0 ? from + static_cast<std::int32_t>(c.silentS * 100) : INT32_MAX;
    std::erase_if(feed, [&](const StreamPoint& p) { return p.time > from && p.time <= until; });
    double fastestFeedKt = 0.0;
    for (const StreamPoint& p : feed) fastestFeedKt = std::max(fastestFeedKt, p.groundSpeed);
    LiveAc& made = flight(t.model, feed, 3);
    if (c.departure) made.origin = IataCode("ZRH");
    double slowestKt = INFINITY, fastestKt = 0.0, worstVsOffFtMin = 0.0;
    std::int32_t activeSince = -1, lastSecond = 0;
    double secondAgoFt = NAN, sentSum = 0.0;
    int sentCount = 0;
    bool removed = false, landed = false;
    const std::int32_t limit = feed.back().time - g_engineTime.load() + (c.silentS > 0.0 ? 1500 : 9000);
    for (std::int32_t n = 0; n < limit; ++n) {
      if (!tick(n)) {
        removed = true;
        break;
      }
      const LiveAc& ac = g_liveAcs[0];
      const std::int32_t now = g_engineTime.load();
      if (ac.simState != SimStatus::active) continue;
      if (activeSince < 0) activeSince = now;
      landed = landed || ac.state == FlightPhase::landing_roll;
      if (ac.onGround || ac.state == FlightPhase::takeoff || now - activeSince < 500) {
        secondAgoFt = NAN;
        continue;
      }
      const double kt = ac.groundStepMetres * 100.0 / kMps;
      slowestKt = std::min(slowestKt, kt);
      fastestKt = std::max(fastestKt, kt);
      // The vertical speed sent against the height the aircraft gains, second by second.
      sentSum += ac.nextValue, ++sentCount;
      if (now - lastSecond >= 100) {
        if (std::isfinite(secondAgoFt) && sentCount > 0)
          worstVsOffFtMin = std::max(worstVsOffFtMin, std::fabs(sentSum / sentCount -
                                                                (ac.altitude - secondAgoFt) * 6000.0 / (now - lastSecond)));
        secondAgoFt = ac.altitude, lastSecond = now, sentSum = 0.0, sentCount = 0;
      }
    }
    EXPECT_GE(slowestKt, 100.0) << what << ": an airliner in the air far below its flying speed";
    if (c.departure) { EXPECT_GE(slowestKt, fastestFeedKt - 15.0) << what << ": a climb that brakes"; }
    EXPECT_LE(fastestKt, 1.2 * fastestFeedKt) << what << ": a dash to the reports";
    EXPECT_LE(worstVsOffFtMin, 400.0) << what << ": the vertical speed sent is not the motion shown";
    if (c.silentS > 0.0) {
      EXPECT_FALSE(removed && !landed) << what << ": removed in the air";
      if (!c.departure) { EXPECT_TRUE(landed) << what; }
    } else {
      EXPECT_TRUE(removed) << what;
      EXPECT_NE(log().find("removed in the air"), std::string::npos) << what << ": removed without a reason";
    }
    later_.clear();
    if (!g_liveAcs.empty()) gf_engineHooks().removeAircraftFromSim(g_liveAcs[0]);
    for (int i = 0; i < 50 && !g_liveAcs.empty(); ++i) tick(10 * i);
    frame(3);
    ASSERT_TRUE(g_liveAcs.empty()) << what;
  }
}

// Reports that go around before the runway, as a balked landing at 30 ft or a go-around at 200 ft:
// the aircraft flies down with them, turns to the climb at their lowest report, not under it, its
// climb building over seconds, and never touches down.
TEST_F(RunwayFlightSimTest, AnArrivalWhoseReportsGoAroundClimbsWithThemWithoutTouchingDown) {
  struct Case {
    const char* model;
    double bottomFt, climbFtMin;
    // Reports this low come airborne without a height, as the feed gives a slow aircraft's.
    double noHeightBelowFt = 0.0;
  };
  const Case cases[] = {{"C172", 30.0, 704.0},
                        {"C172", 30.0, 704.0, 77.0},
                        {"B738", 200.0, 1800.0},
                        {"A380", 200.0, 1800.0}};
  const LandingRunway r = runway(14);
  for (const Case& c : cases) {
    const TypeCase& t = *std::find_if(std::begin(kTypes), std::end(kTypes),
                                      [&](const TypeCase& k) { return k.model == std::string_view(c.model); });
    for (const std::int32_t every : {100, 0}) {
      const std::string what = fmt::format("{} around at {} ft, reports every {}{}", c.model, c.bottomFt, every,
                                           c.noHeightBelowFt > 0.0 ? ", the lowest without a height" : "");
      std::deque<StreamPoint> feed = lf_arrivalFeed(r, t, every, g_engineTime.load() + 50, c.bottomFt, c.climbFtMin);
      for (StreamPoint& p : feed)
        if (p.airborne && p.altitude - r.groundFt <= c.noHeightBelowFt) p.altitude = 0.0;
      flight(t.model, feed, 3);
      bool touched = false;
      double lowestFt = INFINITY, highestSentFtMin = -INFINITY, worstSwingFtMin = 0.0, lastLegFt = NAN;
      std::deque<std::pair<std::int32_t, double>> sent;  // engine time, vertical speed sent
      const std::int32_t limit = feed.back().time - g_engineTime.load();
      for (std::int32_t n = 0; n < limit; ++n) {
        if (!tick(n)) break;
        const LiveAc& ac = g_liveAcs[0];
        if (ac.simState != SimStatus::active) continue;
        touched = touched || ac.onGround || ac.state == FlightPhase::landing_roll;
        lowestFt = std::min(lowestFt, ac.altitude - r.groundFt);
        const std::int32_t now = g_engineTime.load();
        if (std::isnan(lastLegFt) && now >= feed.back().time - 2000) lastLegFt = ac.altitude;
        while (!sent.empty() && sent.front().first < now - 200) sent.pop_front();
        sent.emplace_back(now, ac.nextValue);
        highestSentFtMin = std::max(highestSentFtMin, ac.nextValue);
        for (const auto& [when, vs] : sent) worstSwingFtMin = std::max(worstSwingFtMin, std::fabs(ac.nextValue - vs));
      }
      ASSERT_FALSE(g_liveAcs.empty()) << what;
      const LiveAc& ac = g_liveAcs[0];
      EXPECT_FALSE(touched) << what << ": touched down";
      EXPECT_GE(lowestFt, c.bottomFt - 3.0) << what << ": under the reports' lowest";
      EXPECT_LE(worstSwingFtMin, 2000.0) << what << ": the vertical speed sent swings within 2 s";
      EXPECT_LE(highestSentFtMin, 1.5 * c.climbFtMin + 1.0) << what << ": yanked up";
      EXPECT_EQ(ac.state, FlightPhase::flying) << what;
      // The last 20 s of the reports: the climb they report.
      EXPECT_NEAR(ac.altitude - lastLegFt, c.climbFtMin / 3.0, c.climbFtMin / 30.0) << what << ": not climbing with them";
      later_.clear();
      gf_engineHooks().removeAircraftFromSim(g_liveAcs[0]);
      for (int i = 0; i < 50 && !g_liveAcs.empty(); ++i) tick(10 * i);
      frame(3);
      ASSERT_TRUE(g_liveAcs.empty()) << what;
    }
  }
}

}  // namespace
