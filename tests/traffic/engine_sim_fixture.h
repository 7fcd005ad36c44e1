#pragma once
// The engine against the stand-in simulator: a clean engine, the models, the default hooks and
// no park airport; a test sets what it needs and then connects.
#include <cstdint>

#include "tests/liveries/ac_fixture.h"
#include "tests/simlink/sim_fixture.h"
#include "tests/traffic/traffic_fixture.h"

namespace traffic_test {

class EngineSimLinkTest : public simtest::SimLinkTest {
 protected:
  void SetUp() override {
    SimLinkTest::SetUp();
    actest::installModels();
    gf_resetParameterSnapshot();
    gf_resetFeedNeighbours();
    gf_resetTrafficMailbox();
    gf_setAirportsNeighbours({}, {});
    gf_resetEngineTables();
    gf_setEngineHooks(gf_defaultEngineHooks());
    g_liveAcs.reserve(8);
  }
  void TearDown() override {
    stopClient();
    gf_setEngineHooks(gf_defaultEngineHooks());
    gf_setAirportsNeighbours({}, {});
    gf_resetEngineTables();
    gf_resetModelTables();
    SimLinkTest::TearDown();
  }
  static void parkAirport(const char* code, const Lalo& position, std::int32_t altitudeFt) {
    Airport park;
    park.code = IcaoCode(code);
    park.position = position;
    park.altitude = altitudeFt;
    gf_setAirportsNeighbours({}, [park] { return park; });
  }
};

}  // namespace traffic_test
