// The hooks and seams as the program installs them: no entry of a built step still answers "not
// built yet"; the worker's engine seams post the window's counts, switch the parked lights, work
// the stand-option queue and fill the aircraft selector; a static aircraft placed for a parked
// flight is that flight.
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/blocking.h"
#include "config/keys.h"
#include "simlink/sim_commands.h"
#include "simlink/sim_ids.h"
#include "tests/app/wiring_fixture.h"
#include "traffic/live_registry.h"

namespace wiring_test {
namespace {

// What the log names of steps not built yet ("{} is not built yet: skipped"): none.
const std::set<std::string> kStillBuilt = {};

struct Entry {
  const char* name;
  std::function<void()> call;
};

class ProgramHooksTest : public WiringTest {
 protected:
  // Calls each entry on an empty engine; the names the log gives as not built, and by which
  // entry's call (a built step may call one that is not).
  std::set<std::string> unbuilt(const std::vector<Entry>& entries, std::string& calledBy) {
    constexpr std::string_view kMark = " is not built yet: skipped";
    std::set<std::string> names;
    newLog();
    for (const Entry& entry : entries) {
      gf_resetMissingLogged();
      try {
        entry.call();
      } catch (const std::exception&) {
        // A step that refuses the dummy arguments has answered, built.
      }
      const std::string text = newLog();
      for (std::size_t end = text.find(kMark); end != std::string::npos; end = text.find(kMark, end + 1)) {
        const std::size_t start = text.rfind('\n', end) + 1;  // npos + 1 is 0
        const std::string name = text.substr(start, end - start);
        names.insert(name);
        calledBy += fmt::format("{} <- {}\n", name, entry.name);
      }
    }
    return names;
  }
};

TEST_F(ProgramHooksTest, NoEntryOfABuiltStepAnswersNotBuiltYet) {
  const EngineHooks& h = gf_engineHooks();
  LiveAc a(StreamPoint{}, AcIdentity{}, 0.0);
  a.simState = SimStatus::active;  // an aircraft not in the simulator would be spawned
  StreamPoint p;
  TrafficRecord r;
  const Stand stand("A1", {}, Lalo{47.0, 8.0}, 0.0, 20.0, 14, false, false, false);
  const Lalo at{47.0, 8.0};
  const std::vector<Entry> engine = {
      {"updateLiveAc", [&] { h.updateLiveAc(a); }},
      {"checkKnownAcChanges", [&] { h.checkKnownAcChanges(a, r); }},
      {"decodeExisting", [&] { h.decodeExisting(a, p); }},
      {"removeAircraftFromSim", [&] { h.removeAircraftFromSim(a); }},
      {"forgetAircraft", [&] { h.forgetAircraft(0, 0); }},
      {"eraseLiveAc", [&] { h.eraseLiveAc(a); }},
      {"standUseByOtherLiveAc", [&] { h.standUseByOtherLiveAc(1, 1); }},
      {"ownsStandReservation", [&] { h.ownsStandReservation(1, 1); }},
      {"isUserStand", [&] { h.isUserStand(stand, a, 0); }},
      {"userGroundCollisionTermNm", [&] { h.userGroundCollisionTermNm(); }},
      {"matchRunwayForLanding", [&] { h.matchRunwayForLanding(at, 0.0); }},
      {"acSpeedKt", [&] { h.acSpeedKt(a); }},
      {"parkAirportReady", [&] { h.parkAirportReady(); }},
      {"checkExtendingSituations", [&] { h.checkExtendingSituations(a, p); }},
      {"eraseStandSearchHits", [&] { h.eraseStandSearchHits([](const DbaseEntry&) { return false; }); }},
      {"eraseStandSearchHitsAt", [&] { h.eraseStandSearchHitsAt(1); }},
      {"isNearParkRunway", [&] { h.isNearParkRunway(at); }},
      {"standSearchHits", [&] { h.standSearchHits(); }},
      {"placeStaticAircraft", [&] { h.placeStaticAircraft(); }},
      {"checkUserAcGndCollisions", [&] { h.checkUserAcGndCollisions(); }},
      {"enforceMaxParked", [&] { h.enforceMaxParked(0); }},
      {"forgetStaticHexid", [&] { h.forgetStaticHexid(1); }},
      {"readParkedFile", [&] { h.readParkedFile(); }},
      {"parkFileFetching", [&] { h.parkFileFetching(); }},
      {"populateParkAirport", [&] { h.populateParkAirport(); }},
      {"resetParkAirport", [&] { h.resetParkAirport(); }},
      {"takeParkRequest", [&] { h.takeParkRequest(); }},
      {"frontNearestParkAirport", [&] { h.frontNearestParkAirport(); }},
      {"checkParkAirportReach", [&] { h.checkParkAirportReach(); }},
      {"chooseParkAirport", [&] { h.chooseParkAirport(); }},
      {"clearParkingState", [&] { h.clearParkingState(); }},
      {"parkingGenerating", [&] { h.parkingGenerating(); }},
      {"parkingGenerationDone", [&] { h.parkingGenerationDone(); }},
      {"restartParkingCountdown", [&] { h.restartParkingCountdown(); }},
      {"requestParkingAdjustment", [&] { h.requestParkingAdjustment(); }},
      {"sendUserPositionToRTApp", [&] { h.sendUserPositionToRTApp(); }},
      {"steadyNanos", [&] { h.steadyNanos(); }},
  };
  // Every entry is a std::function of the same size: a new one must join the list.
  ASSERT_EQ(engine.size(), sizeof(EngineHooks) / sizeof(std::function<void()>));

  const ParkingHooks& k = gf_parkingHooks();
  const std::vector<Entry> parking = {
      {"standNameAtPos", [&] { k.standNameAtPos(at); }},
      {"updateParkingControls", [&] { k.updateParkingControls(); }},
      {"disableParkingControls", [&] { k.disableParkingControls(); }},
      {"parkingGenerationDone", [&] { k.parkingGenerationDone(); }},
  };
  ASSERT_EQ(parking.size(), sizeof(ParkingHooks) / sizeof(std::function<void()>));

  std::string calledBy;
  const std::set<std::string> found = unbuilt(engine, calledBy);
  // A name beyond the list: a built step not installed. A listed name missing: shrink the list.
  EXPECT_EQ(found, kStillBuilt) << calledBy;
  EXPECT_EQ(unbuilt(parking, calledBy), std::set<std::string>{}) << calledBy;
}

TEST_F(ProgramHooksTest, TheEngineSeamsReachTheWindowTheSimulatorAndTheStaticAircraft) {
  const WorkerSeams seams = gf_programWorkerSeams();
  const auto live = [](std::uint32_t hexid, std::uint32_t state, std::uint32_t simState) -> LiveAc& {
    LiveAc& aircraft = g_liveAcs.emplace_back(StreamPoint{}, AcIdentity{}, 0.0);
    aircraft.hexid = aircraft.objectId = hexid;
    aircraft.callsign = fmt::format("SWR{}", hexid);
    aircraft.state = state;
    aircraft.simState = simState;
    return aircraft;
  };
  const auto parkedStatic = [](std::uint32_t objectId, const char* name1, std::uint32_t simState) -> StaticAc& {
    StaticAc& aircraft = g_staticAcs.emplace_back();
    aircraft.objectId = objectId;
    aircraft.callsign = aircraft.name1 = name1;
    aircraft.simState = simState;
    return aircraft;
  };
  g_liveAcs.reserve(8);
  live(11, FlightPhase::taxi, SimStatus::active);
  live(12, FlightPhase::flying, SimStatus::active);
  live(13, FlightPhase::flying, SimStatus::adding2sim);  // not in the simulator yet
  live(14, FlightPhase::parked, SimStatus::active);
  parkedStatic(21, "SWR11", SimStatus::active);
  parkedStatic(22, "EZY1", SimStatus::active);
  parkedStatic(23, "EZY2", SimStatus::adding2sim);

  gf_resetGuiForTest();
  seams.postAircraftCounts();
  std::optional<gui::SetLiveAircraftCount> liveCount;
  std::optional<gui::SetParkedCounts> parkedCounts;
  {
    std::lock_guard lock(g_gui.queueMutex);
    for (const GuiUpdate& update : g_gui.queue) {
      if (const auto* c = std::get_if<gui::SetLiveAircraftCount>(&update)) liveCount = *c;
      if (const auto* c = std::get_if<gui::SetParkedCounts>(&update)) parkedCounts = *c;
    }
  }
  ASSERT_TRUE(liveCount && parkedCounts);
  EXPECT_EQ(liveCount->count, 2u);
  EXPECT_EQ(parkedCounts->parkedLive, 1u);
  EXPECT_EQ(parkedCounts->parkedStatic, 2u);

  {
    std::lock_guard lock(g_simQueueMutex);
    g_simClientEvents.clear();
  }
  seams.setParkedNavLights(true);
  std::vector<std::uint32_t> lit;
  {
    std::lock_guard lock(g_simQueueMutex);
    for (const SimClientEvent& event : g_simClientEvents)
      if (event.eventId == NAV_LIGHTS_SET && event.value == 1) lit.push_back(event.objectId);
    g_simClientEvents.clear();
  }
  EXPECT_EQ(lit, (std::vector<std::uint32_t>{21, 22, 14}));

  // The landed SWR11 takes its turn in the queue: its static copy goes.
  g_landedHexids = {11, 99};
  seams.matchQueuedStandOption();
  EXPECT_EQ(g_landedHexids, std::vector<std::uint32_t>{99});
  EXPECT_TRUE(g_liveAcs[0].standOptionMatched);
  EXPECT_EQ(g_staticAcs[0].simState, SimStatus::removingfromsim);
  EXPECT_EQ(g_staticAcs[1].simState, SimStatus::active);
  seams.matchQueuedStandOption();  // a hexid no aircraft has any more
  EXPECT_TRUE(g_landedHexids.empty());

  seams.setAircraftList({"EZY1, HB-JXA, 4b0001, oid=1"});
  const auto entries = AIRCRAFT_SELECTOR.choices.load();
  ASSERT_TRUE(entries);
  EXPECT_EQ(*entries, (std::vector<std::string>{"select an aircraft", "EZY1, HB-JXA, 4b0001, oid=1"}));
  EXPECT_EQ(AIRCRAFT_SELECTOR.value.load(), "select an aircraft");
}

// A static aircraft placed for a RealTraffic parked flight carries that flight's hexid; one
// placed from the stand file carries none, whatever its number says.
TEST_F(ProgramHooksTest, AStaticAircraftPlacedForAParkedFlightIsThatFlight) {
  struct Case {
    const char* what;
    std::uint32_t hitFlag, hitKind;
    bool removed;
  };
  const Case cases[] = {
      {"placed for the parked flight", 0, 0x4B0001, true},
      {"placed for another parked flight", 0, 0x4B0002, false},
      {"placed from the stand file", 1, 0x4B0001, false},
  };
  for (const Case& c : cases) {
    gf_resetEngineTables();
    StaticAc& parked = g_staticAcs.emplace_back();
    parked.callsign = parked.name1 = "STAT1";
    parked.objectId = 31;
    parked.simState = SimStatus::active;
    parked.hitFlag = c.hitFlag;
    parked.hitKind = c.hitKind;
    LiveAc& flight = g_liveAcs.emplace_back(StreamPoint{}, AcIdentity{}, 0.0);
    flight.hexid = 0x4B0001;
    flight.callsign = "SWR100";
    lf_checkForStaticWithCallsignOrHexidAndRemove(flight, false);
    EXPECT_EQ(g_staticAcs[0].simState == SimStatus::removingfromsim, c.removed) << c.what;
  }
}

}  // namespace
}  // namespace wiring_test
