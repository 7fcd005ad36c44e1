#pragma once
// The facility reader against the stand-in simulator, in a temporary folder with its own
// Log.txt. The reader's deadline clock advances one second per look, so a read that never ends
// times out after as many dispatches as its deadline has seconds, without waiting for them.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "appbase/stop_request.h"
#include "core/log.h"
#include "simlink/facility_reader.h"
#include "standin/sim/sim.h"
#include "tests/support/test_support.h"

namespace facilitytest {

namespace sim = standin::sim;
using nlohmann::json;

class FacilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cwd_.emplace(dir_.path());
    gf_openLog();
    gf_resetStopStateForTest();
    sim::reset();
    sim::setRunning(true);
    gf_resetFacilityReaderForTest();
    gf_setFacilityClockForTest([this] {
      ++clockReads;
      clock += std::chrono::seconds(1);
      return clock;
    });
  }

  void TearDown() override {
    gf_resetFacilityReaderForTest();
    sim::reset();
    gf_resetStopStateForTest();
    gf_closeLog();
  }

  std::string log() {
    gf_flushLog();
    return testing_support::readFile(dir_ / "Log.txt");
  }

  // An airport at the given reference point with nothing in it yet.
  static json airport(const std::string& icao, double lat = 47.0, double lon = 8.0) {
    return json{{"ICAO", icao}, {"NAME", "Test Field"}, {"LATITUDE", lat}, {"LONGITUDE", lon}, {"ALTITUDE", 400.0}};
  }

  static json parking(int type, int name, unsigned number, int suffix = 0, double biasX = 0.0, double biasZ = 0.0) {
    return json{{"TYPE", type},     {"TAXI_POINT_TYPE", 0}, {"NAME", name},   {"SUFFIX", suffix}, {"NUMBER", number},
                {"ORIENTATION", 0}, {"HEADING", 90.0},      {"RADIUS", 20.0}, {"BIAS_X", biasX},  {"BIAS_Z", biasZ}};
  }

  std::uint64_t dispatches() const { return sim::dispatchCount(); }

  std::chrono::steady_clock::time_point clock{};
  std::uint64_t clockReads = 0;

 private:
  testing_support::TempDir dir_;
  std::optional<testing_support::ScopedCurrentDir> cwd_;
};

// The runway read driven to its end as the worker's ticks drive it: started, then polled.
inline FacilityRunways readRunways(std::string_view icao) {
  if (!gf_startFacilityRunwaysRead(icao)) return {};
  for (int poll = 0; poll < 1000; ++poll)
    if (std::optional<FacilityRunways> read = gf_pollFacilityRunwaysRead()) return std::move(*read);
  ADD_FAILURE() << "the runway read of " << icao << " never ended";
  return {};
}

inline std::size_t countOf(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
  return count;
}

}  // namespace facilitytest
