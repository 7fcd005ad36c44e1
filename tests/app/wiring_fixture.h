#pragma once
// The subsystems wired to each other as the program wires them (gf_installProgramHooks), in a
// temporary program folder with its own Log.txt, the airports of Zurich and Geneva known, and a
// clean engine. The stand-in simulator serves the airports' facilities.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "appbase/gui.h"
#include "app/worker_seams.h"
#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "core/log.h"
#include "feed/feed_neighbours.h"
#include "parking/park_airports.h"
#include "parking/park_setup.h"
#include "parking/parking_hooks.h"
#include "refdata/airports.h"
#include "simlink/facility_reader.h"
#include "simlink/sim_client.h"
#include "simlink/stand_table.h"
#include "simlink/stand_slots.h"
#include "standin/sim/sim.h"
#include "tests/support/test_support.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/runway_validation.h"

namespace wiring_test {

namespace sim = standin::sim;
namespace fs = std::filesystem;

// As the sample airports list gives them.
inline const Airport kZurich{IcaoCode("LSZH"), IataCode("ZRH"), {47.4647, 8.5492}, 1417};
inline const Airport kGeneva{IcaoCode("LSGG"), IataCode("GVA"), {46.2381, 6.1089}, 1411};

inline bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

class WiringTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cwd_.emplace(dir_.path());
    gf_openLog();
    gf_resetMissingLogged();
    gf_resetGuiForTest();
    gf_resetParameterSnapshot();
    gf_publishSimChoice(SimChoice{2, 1});
    gf_resetEngineTables();
    {
      std::unique_lock lock(g_airportsLock);
      g_airports = {kGeneva, kZurich};  // sorted by code
    }
    sim::reset();
    sim::setFacilityFolder(testing_support::sourceDataFolder() / "sim" / "facilities");
    sim::setRunning(true);
    gf_installProgramHooks();
  }

  // The link's own thread will talk to the stand-in with its waits shortened and its steady
  // clock standing at 0, so that nothing depends on how fast the machine is.
  static void quickSimClient() {
    gf_resetSimClientForTest();
    SimClientTiming timing;
    timing.openRetry = std::chrono::milliseconds(1);
    timing.dispatchPause = std::chrono::microseconds(100);
    gf_setSimClientTimingForTest(timing);
    gf_setSimSteadyClockForTest([] { return std::int64_t{0}; });
  }
  void TearDown() override {
    gf_closeParkingDataReader();
    sim::reset();
    gf_resetEngineTables();
    gf_resetParkRunways();
    gf_resetStandTables();
    gf_resetParkSetup();
    gf_resetParkAirports();
    gf_setParkAirportHooks({});
    gf_setParkingHooks({});
    gf_setEngineHooks(gf_defaultEngineHooks());
    gf_resetFeedNeighbours();
    gf_resetWorkerSeams();
    gf_resetAirportsForTest();
    gf_publishSimChoice(SimChoice{});
    gf_resetParameterSnapshot();
    gf_resetGuiForTest();
    g_workerUserAcPosition = UserAcPosition{};
    gf_closeLog();
  }

  // The park airport as the worker sets it at start, and its runways from the simulator.
  static void parkAt(const Airport& airport) {
    gf_setParkAirport(AirportRef{airport.code, airport.position, airport.altitude});
    gf_checkRunwayFacilities(airport.code, "stock");
    for (int tick = 0; tick < 1000 && gf_workerSeams().pollRunwayRead(); ++tick) {
    }
  }

  std::string log() {
    gf_flushLog();
    return testing_support::readFile(dir_.path() / "Log.txt");
  }
  // What the log gained since the last call.
  std::string newLog() {
    const std::string text = log();
    return text.substr(std::exchange(seen_, text.size()));
  }
  void write(const fs::path& relative, const std::string& text) const {
    testing_support::writeFile(dir_.path() / relative, text);
  }

  testing_support::TempDir dir_;

 private:
  std::optional<testing_support::ScopedCurrentDir> cwd_;
  std::size_t seen_ = 0;
};

}  // namespace wiring_test
