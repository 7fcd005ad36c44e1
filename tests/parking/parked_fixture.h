#pragma once
// The park airport's parked aircraft on a clean slate: ten numbered stands, RT App chosen with no
// parked traffic come yet, the clock and the week time fixed; builders for live parked aircraft
// and static ones.
#include "config/parameter_snapshot.h"
#include "config/sim_choice.h"
#include "core/utc_time.h"
#include "feed/feed_neighbours.h"
#include "feed/rt_app_traffic.h"
#include "parking/park_population.h"
#include "parking/parked_wait.h"
#include "parking/parking_adjust.h"
#include "parking/parking_hooks.h"
#include "parking/stand_search.h"
#include "simlink/stand_table.h"
#include "tests/parking/parking_fixture.h"
#include "traffic/engine_state.h"
#include "traffic/static_stands.h"

namespace parking_test {

inline constexpr std::int64_t kNowSeconds = 1'800'000'000;
inline constexpr std::int64_t kTicksPerMinute = 600'000'000;
inline constexpr WeekTime kNow{2, 20};

class ParkedTest : public ParkingTest {
 protected:
  void SetUp() override {
    ParkingTest::SetUp();
    gf_setSystemClockForTest([] { return kNowSeconds; });
    gf_publishSimChoice(SimChoice{2, 1});
    g_currentWeekTime = gf_packWeekTime(kNow);
    settings(30, 500, false);
    g_liveAcs.reserve(16);
    stands(10);
  }
  void TearDown() override {
    gf_setSystemClockForTest({});
    gf_publishSimChoice(SimChoice{});
    gf_setParkingHooks({});
    g_staticTargetCount = 0;
    gf_resetFeedNeighbours();
    g_rtAppTrafficReader.reset();
    gf_resetStandSearch();
    gf_resetStandTables();
    gf_resetEngineTables();
    gf_resetParameterSnapshot();
    g_parkingRemovals.clear();
    g_parkingGenerating = false;
    g_currentWeekTime = 0;
    ParkingTest::TearDown();
  }
  static void settings(std::uint32_t percentage, std::uint32_t cap, bool rtOnly, std::uint32_t maxFit = 47) {
    gf_changeParameterSnapshot([=](ParameterSnapshot& s) {
      s.parkingPercentage = percentage;
      s.maxParkSel = cap;
      s.rtParkTrafficOnly = rtOnly;
      s.maxFit = maxFit;
      s.random = false;
    });
  }
  // Stands A1.. 100 m apart along a parallel, of a type any aircraft fits.
  static void stands(std::size_t n) {
    g_stands.clear();
    for (std::uint32_t i = 1; i <= n; ++i)
      g_stands.emplace_back(fmt::format("A{}", i), std::vector<StandOption>{}, Lalo{47.0, 8.0 + 0.0015 * i}, 0.0,
                            20.0, 14, false, false, false).id = i;
    gf_rebuildStandsByName();
  }
  // In the simulator at its stand, last seen there minutesAgo.
  static LiveAc& liveParked(const std::string& callsign, std::uint32_t stand, std::int64_t minutesAgo,
                            bool seen = false, AcCategory category = AcCategory::large) {
    LiveAc& aircraft = g_liveAcs.emplace_back(StreamPoint{}, AcIdentity{}, 0.0);
    aircraft.callsign = callsign;
    aircraft.hexid = aircraft.objectId = 100 + stand;
    aircraft.standId = static_cast<std::int32_t>(stand);
    aircraft.state = FlightPhase::parked;
    aircraft.simState = SimStatus::active;
    aircraft.category = category;
    aircraft.atStandSeen = seen;
    aircraft.lastAtStandClock = kNowSeconds * 10'000'000 - minutesAgo * kTicksPerMinute;
    return aircraft;
  }
  // Placed from the stand file halfHoursAgo, in the simulator; its stand's option holds it now and
  // in the next half-hour.
  static StaticAc& staticParked(const std::string& name1, std::uint32_t stand, std::uint32_t halfHoursAgo = 0,
                                const std::string& name2 = "") {
    StaticAc& aircraft = g_staticAcs.emplace_back();
    aircraft.callsign = aircraft.name1 = name1;
    aircraft.name2 = name2;
    aircraft.registration = "HB-" + name1;
    aircraft.hexid = stand;
    aircraft.objectId = 200 + stand;
    aircraft.standId = static_cast<std::int32_t>(stand);
    aircraft.simState = SimStatus::active;
    aircraft.parkedWeekTime = WeekTime{kNow.day, kNow.slot - halfHoursAgo};
    g_stands.at(stand - 1).options = {StandOption{.reg = aircraft.registration, .name1 = name1, .name2 = name2,
                                                  .hours = std::uint64_t{3} << kNow.slot, .id = 1, .day = kNow.day,
                                                  .real = 1}};
    return aircraft;
  }
  // A population's or adjustment's stand search run to its end in slices, as the worker's ticks
  // run it (a clock that moves a millisecond at each look); the slices it took.
  static int searchToEnd() {
    std::int64_t nanos = 0;
    const std::function<std::int64_t()> clock = [&nanos] { return nanos += 1'000'000; };
    int slices = 0;
    for (; gf_parkingSearchPending() && slices < 100000; ++slices) gf_stepParkingSearch(clock, 3'000'000);
    return slices;
  }
  // "stand:name1+offset" of every hit, in order.
  static std::string hits() {
    std::string text;
    for (const StandSearchHit& hit : g_standSearchHits)
      text += fmt::format("{}:{}+{} ", hit.standId, hit.name1, hit.slotOffset);
    return text;
  }
  // The callsigns of the aircraft whose removal is queued.
  template <class Aircraft>
  static std::string removed(const std::vector<Aircraft>& table) {
    std::string text;
    for (const Aircraft& aircraft : table)
      if (aircraft.simState == SimStatus::removingfromsim) text += aircraft.callsign + " ";
    return text;
  }
};

}  // namespace parking_test
