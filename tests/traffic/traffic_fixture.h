#pragma once
// The engine on a clean slate for each test: a fresh log, empty tables, the mailbox and clock at
// 0, the default hooks, and a few dbase models. Builders for traffic records and live aircraft.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "appbase/stop_request.h"
#include "config/parameter_snapshot.h"
#include "core/log.h"
#include "feed/feed_neighbours.h"
#include "feed/traffic_mailbox.h"
#include "refdata/airports.h"
#include "simlink/sim_commands.h"
#include "tests/liveries/ac_fixture.h"
#include "tests/support/test_support.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/traffic_exceptions.h"

namespace traffic_test {

inline const Lalo kEham{52.3086, 4.7639};

// A position metres north and east of another (flat, good for a few kilometres).
inline Lalo offset(const Lalo& from, double northM, double eastM = 0.0) {
  return {from.lat + northM / 1852.0 / 60.0,
          from.lon + eastM / 1852.0 / 60.0 / std::cos(from.lat * geo::kDegToRad)};
}

// One reported position of one flight; by default a B738 standing at EHAM at t = 1000 s.
struct Rec {
  TrafficRecord r;
  explicit Rec(std::uint32_t hexid, const char* callsign = "KLM1234", const char* model = "B738") {
    r.hexid = hexid;
    r.callsign = callsign;
    r.modelId = gf_internModelName(model);
    r.lalo = kEham;
    r.timestamp = 1000.0;
  }
  Rec& at(const Lalo& position) { return r.lalo = position, *this; }
  Rec& time(double seconds) { return r.timestamp = seconds, *this; }
  Rec& due(std::int32_t engineTime) { return r.mailboxTime = engineTime, *this; }
  Rec& ground(double gsKt, double trackDeg = 0.0) {
    r.airborne = false, r.altitude = 0.0, r.gs = gsKt, r.track = trackDeg;
    return *this;
  }
  Rec& air(double altitudeFt, double gsKt, double trackDeg = 0.0) {
    r.airborne = true, r.altitude = altitudeFt, r.gs = gsKt, r.track = trackDeg;
    return *this;
  }
  Rec& altitude(double feet) { return r.altitude = feet, *this; }
  Rec& registration(const char* text) { return r.registration = text, *this; }
  operator TrafficRecord() const { return r; }
};

// A live aircraft built from a record as the intake would, in the given states. The reference
// holds until the table grows past its reserved room (64 in the fixture).
inline LiveAc& addLive(const Rec& rec, std::uint32_t simState = SimStatus::active,
                       std::uint32_t state = FlightPhase::taxi) {
  AcIdentity identity(static_cast<const FeedRecordHead&>(rec.r));
  identity.hexid = rec.r.hexid;
  LiveAc& aircraft = g_liveAcs.emplace_back(gf_streamPoint(rec.r), std::move(identity), rec.r.timestamp);
  aircraft.simState = simState;
  aircraft.state = state;
  aircraft.objectId = simState == SimStatus::active ? rec.r.hexid : 0;
  aircraft.position = rec.r.lalo;
  aircraft.altitude = rec.r.altitude;
  aircraft.onGround = !rec.r.airborne;
  return aircraft;
}

inline std::vector<std::uint32_t> hexidsOf(const std::vector<LiveAc>& aircraft) {
  std::vector<std::uint32_t> hexids;
  for (const LiveAc& a : aircraft) hexids.push_back(a.hexid);
  return hexids;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gf_openLog();
    actest::installModels();
    for (const char* model : {"C172", "BE58", "E190", "B738", "B77W", "EC35", "F16"}) g_dbaseModelCodes.insert(model);
    reset();
  }
  // A clean engine again, for each case of a table.
  void reset() {
    gf_resetStopStateForTest();
    gf_resetTrafficExceptionsForTest();
    gf_resetMissingLogged();
    gf_resetParameterSnapshot();
    gf_resetTrafficMailbox();
    gf_resetFeedNeighbours();
    gf_setAirportsNeighbours({}, {});
    gf_resetEngineTables();
    g_liveAcs.reserve(64);
    removed.clear();
    hooks = gf_defaultEngineHooks();
    // Removal as the engine takes it: an object's removal is queued, a record without one goes.
    hooks.removeAircraftFromSim = [this](LiveAc& a) {
      removed.push_back(a.hexid);
      if (a.simState == SimStatus::buffer)
        a.dropFromRegistry = true;
      else
        a.simState = SimStatus::removingfromsim;
    };
    install();
    clearSimQueues();
  }
  void TearDown() override {
    gf_setEngineHooks(gf_defaultEngineHooks());
    gf_setAirportsNeighbours({}, {});
    gf_resetEngineTables();
    gf_resetTrafficMailbox();
    gf_resetModelTables();
    clearSimQueues();
    gf_closeLog();
    gf_resetStopStateForTest();
    gf_resetTrafficExceptionsForTest();
  }
  void install() { gf_setEngineHooks(hooks); }
  static void clearSimQueues() {
    std::lock_guard lock(g_simQueueMutex);
    g_simCreateRequests.clear();
    g_simRemoveRequests.clear();
    g_simCommands.clear();
    g_simClientEvents.clear();
    g_simPromotedObjects.clear();
    g_simReverseThrustRequests.clear();
    g_simFlightPlanRequests.clear();
  }
  // The park airport EHAM at the given elevation.
  static void parkAtElevation(std::int32_t feet) {
    static std::int32_t elevation = 0;
    elevation = feet;
    gf_setAirportsNeighbours({}, [] {
      Airport park;
      park.code = IcaoCode("EHAM");
      park.position = kEham;
      park.altitude = elevation;
      return park;
    });
  }
  std::string logText() {
    gf_flushLog();
    return testing_support::readFile(dir.path() / "Log.txt");
  }

  testing_support::TempDir dir;
  testing_support::ScopedCurrentDir cwd{dir.path()};
  EngineHooks hooks;
  std::vector<std::uint32_t> removed;  // hexids handed to removeAircraftFromSim
};

}  // namespace traffic_test
