#pragma once
// A small dbase, a park airport, a user stand and a user aircraft for the store and reader
// tests, each set through the feed's neighbour seams; every test starts from none of them.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "feed/feed_neighbours.h"
#include "feed/traffic_store.h"
#include "refdata/dbase.h"
#include "refdata/model_ids.h"
#include "refdata/registration.h"
#include "tests/feed/feed_test_support.h"

namespace feed_test {

inline std::optional<Lalo> g_testParkAirport;
inline std::optional<std::string> g_testUserStand;
inline std::optional<std::string> g_testStandAtUser;
inline UserAcPosition g_testUserState;
inline bool g_testUserOnGround = false;

inline void installTestNeighbours() {
  FeedNeighbours neighbours;
  neighbours.parkAirport = [] { return g_testParkAirport; };
  neighbours.userStand = [] { return g_testUserStand; };
  neighbours.standNameAtPos = [](const Lalo&) { return g_testStandAtUser; };
  neighbours.userAcState = [] { return g_testUserState; };
  neighbours.userOnGround = [] { return g_testUserOnGround; };
  gf_setFeedNeighbours(neighbours);
}

// The dbase the tests know: a few models, two airlines with a cargo operator, two registrations.
inline void fillTestDbase() {
  gf_resetDbaseTables();
  gf_internModelName("");
  gf_internAirlineName("");
  for (const char* code : {"B738", "B777", "B77F", "EC35", "C172", "E190", "A320"}) g_dbaseModelCodes.insert(code);
  gf_setModelFixes({{"B73H", "B738"}});
  g_largeModels = {gf_internModelName("B738"), gf_internModelName("E190"), gf_internModelName("A320")};
  g_heavyModels = {gf_internModelName("B777"), gf_internModelName("B77F")};
  g_rotorcraftModels = {gf_internModelName("EC35")};
  g_cargoOperators = {gf_internAirlineName("FDX")};
  const AirlineId klm = gf_internAirlineName("KLM");
  const AirlineId klc = gf_internAirlineName("KLC");
  g_dbaseRecords = {{"PH-BXA", DbaseEntry{klm, 0, gf_internModelName("B738"), 0, 1}},
                    {"PH-EXA", DbaseEntry{klm, klc, gf_internModelName("E190"), 0, 1}}};
}

class StoreTest : public LoggedTest {
 protected:
  static constexpr Lalo kCentre{52.0, 4.5};
  static constexpr std::int64_t kDay = 1733356800;  // 2024-12-05 00:00:00 UTC

  void SetUp() override {
    LoggedTest::SetUp();
    gf_publishSimChoice(SimChoice{2, 1});  // RT App
    gf_resetParameterSnapshot();
    gf_resetFeedNeighbours();
    g_testParkAirport.reset(), g_testUserStand.reset(), g_testStandAtUser.reset();
    g_testUserState = {};
    g_testUserOnGround = false;
    installTestNeighbours();
    fillTestDbase();
  }
  void TearDown() override {
    gf_resetFeedNeighbours();
    gf_resetParameterSnapshot();
    gf_resetDbaseTables();
    LoggedTest::TearDown();
  }

  static TrafficFields flight() {
    return {.timestamp = 1733400000.5, .hexid = 0x4840D6, .lat = kCentre.lat, .lon = kCentre.lon, .altitude = 10000.0,
            .track = 90.0, .gs = 250.0, .TAS = 300.0, .callsign = "KLM1234", .typeDesignator = "B738",
            .registration = "PH-BXA", .origin = "AMS", .destination = "LHR", .emitterCategory = "A3"};
  }
  static ParkedFields parked() {
    return {.hexid = 0x4840D6, .lat = kCentre.lat, .lon = kCentre.lon, .timestamp = kDay + 10 * 3600 + 29 * 60 + 30,
            .callsign = "KLM1234", .typeDesignator = "B738", .standName = "D5"};
  }
  static TrafficFilterContext context() {
    return {.queryCentre = kCentre, .cosQueryLat = std::cos(kCentre.lat * geo::kDegToRad), .qnhHpa = 1013,
            .snapshot = g_parameterSnapshot.load()};
  }
  TrafficAddResult add(const TrafficFields& fields) { return store.addTraffic(fields, context()); }

  static void setParkAirport(std::optional<Lalo> airport) { g_testParkAirport = airport; }

  TrafficStore store;
};

}  // namespace feed_test
