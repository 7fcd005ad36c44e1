#pragma once
// The scan against the stand-in simulator: its facility data from data/sim/facilities (LSZH,
// LSGG, LFSB), a facility clock that gains a second per look (a read that never ends times out
// without waiting).
#include <pugixml.hpp>

#include <chrono>
#include <string>
#include <vector>

#include "appbase/stop_request.h"
#include "simlink/facility_reader.h"
#include "standin/sim/sim.h"
#include "tests/airportscan/scan_fixture.h"
#include "tests/support/test_support.h"

namespace airportscan_testing {

class SimScanTest : public ScanTest {
 protected:
  void SetUp() override {
    ScanTest::SetUp();
    gf_resetStopStateForTest();
    standin::sim::reset();
    standin::sim::setRunning(true);
    standin::sim::setFacilityFolder(testing_support::sourceDataFolder() / "sim" / "facilities");
    gf_resetFacilityReaderForTest();
    gf_setFacilityClockForTest([this] { return clock_ += std::chrono::seconds(1); });
  }
  void TearDown() override {
    gf_resetFacilityReaderForTest();
    standin::sim::reset();
    gf_resetStopStateForTest();
    ScanTest::TearDown();
  }

  // The stand names of a stand file in file order; empty for a missing file.
  static std::vector<std::string> standIds(const std::filesystem::path& file) {
    std::vector<std::string> ids;
    pugi::xml_document document;
    if (!document.load_file(file.c_str())) return ids;
    for (const pugi::xml_node parkpos : document.child("root").child("parkpositions").children("parkpos"))
      ids.emplace_back(parkpos.attribute("id").value());
    return ids;
  }

 private:
  std::chrono::steady_clock::time_point clock_{};
};

}  // namespace airportscan_testing
