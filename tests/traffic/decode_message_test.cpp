// Decoding traffic records: what is dropped, thinned, taken or treated as a jump for a known
// flight, when a watched flight comes back, which new flights are created, and the order in
// which the mailbox hands records over.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "config/sim_choice.h"
#include "feed/qnh.h"
#include "feed/traffic_store.h"
#include "traffic/decode_message.h"
#include "traffic/engine_state.h"
#include "tests/traffic/traffic_fixture.h"

namespace {

using namespace traffic_test;
constexpr std::uint32_t kHexid = 0x4840D6;

class DecodeTest : public EngineTest {};

TEST_F(DecodeTest, RecordsOfAKnownFlight) {
  enum Outcome { Taken, Dropped, Jumped };
  struct Case {
    const char* name;
    std::uint32_t state;
    bool airborne;
    double lastGs, gs, trackChange, dt, metres;
    Outcome outcome;
    std::int32_t extensionCount = 0;
    bool nearRunway = false, sameRunway = false;
    double takenKt = -1.0;  // the speed the taken point carries; negative: as reported
    double predictedM = 0.0;  // a predicted point this far on after the last report
    // A 3-kt report thinned out this long before, this far short of the record; 0: none.
    double crawlS = 0.0, crawlShortM = 0.0;
    double stopsSinceS = 0.0;  // the taken point is due this long before the record
  };
  const Case cases[] = {
      {"same timestamp", FlightPhase::taxi, false, 10, 10, 10, 0.0, 0, Dropped},
      {"1.0 s later", FlightPhase::taxi, false, 10, 10, 10, 1.0, 5, Dropped},
      {"1.1 s later, turning", FlightPhase::taxi, false, 10, 10, 10, 1.1, 5, Taken},
      {"taxiing 500 m in 10 s at 4 kt", FlightPhase::taxi, false, 4, 4, 0, 10.0, 500, Jumped},
      {"800 m in 10 s at 40 kt", FlightPhase::taxi, false, 40, 40, 0, 10.0, 800, Jumped},
      {"the same on the landing roll", FlightPhase::landing_roll, false, 40, 40, 0, 10.0, 800, Taken},
      {"100 kt implied at 40 kt near a runway", FlightPhase::taxi, false, 40, 40, 0, 10.0, 515, Jumped, 0, true},
      {"the same along one runway", FlightPhase::taxi, false, 40, 40, 0, 10.0, 515, Taken, 0, true, true},
      {"10 kt, 5 m after 2 s", FlightPhase::taxi, false, 10, 10, 0, 2.0, 5, Dropped},
      {"10 kt, 5 m after 2 s, track 3 degrees off", FlightPhase::taxi, false, 10, 10, 3, 2.0, 5, Taken},
      {"10 kt after 3.8 s", FlightPhase::taxi, false, 10, 10, 0, 3.8, 20, Dropped},
      {"10 kt after 4.0 s", FlightPhase::taxi, false, 10, 10, 0, 4.0, 20, Taken},
      // The stop where a departure waits to line up: thinned out, it crept on through the wait.
      {"stopped 3 s after 6 kt", FlightPhase::taxi, false, 6, 0, 0, 3.0, 9, Taken},
      // So is each report of its wait: without them a late departure left its line-up at once.
      // A crawl thinned out at the place it stops at: its stop began with the first such report.
      {"stopped 7 s after 6 kt, crawled in", FlightPhase::taxi, false, 6, 0, 0, 7.0, 12, Taken, 0, false, false, -1.0,
       0.0, 4.0, 1.0, 4.0},
      {"the same, crawling 5 m short", FlightPhase::taxi, false, 6, 0, 0, 7.0, 12, Taken, 0, false, false, -1.0, 0.0,
       4.0, 5.0, 0.0},
      {"standing 3 s after a stop", FlightPhase::taxi, false, 0, 0, 0, 3.0, 0, Taken},
      {"standing 3 s lined up", FlightPhase::takeoff_roll, false, 0, 0, 0, 3.0, 0, Taken},
      {"standing 3 s after a stop, speed lost", FlightPhase::taxi, false, 0, NAN, 0, 3.0, 0, Taken, 0, false, false, 0.0},
      {"standing 3 s in a landing roll", FlightPhase::landing_roll, false, 0, 0, 0, 3.0, 0, Dropped},
      {"10 kt after 2 s on predicted points", FlightPhase::taxi, false, 10, 10, 0, 2.0, 5, Taken, 1},
      {"300 kt airborne after 2.9 s", FlightPhase::flying, true, 300, 300, 0.5, 2.9, 447, Dropped},
      {"300 kt airborne after 2.95 s", FlightPhase::flying, true, 300, 300, 0.5, 2.95, 455, Taken},
      // A speed the feed lost: on the ground the speed of the move; read as 0, the aircraft stopped.
      {"taxiing 25 m in 5 s, speed lost", FlightPhase::taxi, false, 10, NAN, 0, 5.0, 25, Taken, 0, false, false,
       25.0 / 5.0 * 1.9438444924406046},
      {"the same after a point predicted 15 m on", FlightPhase::taxi, false, 10, NAN, 0, 5.0, 25, Taken, 1, false,
       false, 25.0 / 5.0 * 1.9438444924406046, 15.0},
      {"4 kt, 4 m after 2 s, a point predicted 40 m on", FlightPhase::taxi, false, 4, 4, 0, 2.0, 4, Taken, 1, false,
       false, -1.0, 40.0},
  };
  for (const Case& c : cases) {
    reset();
    hooks.isNearParkRunway = [&c](const Lalo&) { return c.nearRunway; };
    hooks.matchRunwayForLanding = [&c](const Lalo& position, double) -> std::optional<std::string> {
      if (c.sameRunway) return "18R-36L:36L";
      return position == kEham ? "18R-36L:36L" : "09-27:09";
    };
    install();
    Rec last = Rec(kHexid).time(1000.0);
    c.airborne ? last.air(5000, c.lastGs) : last.ground(c.lastGs);
    LiveAc& known = addLive(last, SimStatus::active, c.state);
    known.extensionCount = c.extensionCount;
    if (c.predictedM > 0.0) {
      StreamPoint predicted = known.stream.back();
      predicted.lalo = offset(kEham, c.predictedM);
      predicted.time += 300;
      known.stream.push_back(predicted);
    }
    const auto due = [](double seconds) { return static_cast<std::int32_t>(seconds * 100.0); };
    if (c.crawlS > 0.0) {
      const double at = 1000.0 + c.dt - c.crawlS;
      TrafficRecord crawl = Rec(kHexid).time(at).due(due(at)).at(offset(kEham, c.metres - c.crawlShortM)).ground(3.0);
      decodeMessage(crawl);
      ASSERT_EQ(g_liveAcs.at(0).stream.size(), 1u) << c.name << ": the crawl was not thinned out";
    }
    Rec next = Rec(kHexid).time(1000.0 + c.dt).due(due(1000.0 + c.dt)).at(offset(kEham, c.metres));
    c.airborne ? next.air(5000, c.gs, c.trackChange) : next.ground(c.gs, c.trackChange);
    TrafficRecord record = next;
    decodeMessage(record);

    const LiveAc& aircraft = g_liveAcs.at(0);
    EXPECT_EQ(aircraft.stream.size(), (c.outcome == Taken ? 2u : 1u) + (c.predictedM > 0.0 ? 1u : 0u)) << c.name;
    EXPECT_EQ(aircraft.lastMessageTime, c.outcome == Taken ? 1000.0 + c.dt - c.stopsSinceS : 1000.0) << c.name;
    if (c.crawlS > 0.0) {
      EXPECT_EQ(aircraft.stream.back().feedTime, due(1000.0 + c.dt - c.stopsSinceS) + aircraft.reportLagTicks) << c.name;
    }
    EXPECT_EQ(!removed.empty(), c.outcome == Jumped) << c.name;
    EXPECT_EQ(g_jumpWatch.contains(kHexid), c.outcome == Jumped) << c.name;
    if (c.takenKt >= 0.0) {
      EXPECT_NEAR(aircraft.stream.back().groundSpeed, c.takenKt, 0.01) << c.name;
    }
  }
}

// A flight whose object was made again waited for it: its later reports come that much later too.
TEST_F(DecodeTest, AFlightMadeAgainTakesItsReportsLaterByItsWait) {
  for (const std::int32_t lag : {0, 240}) {
    reset();
    addLive(Rec(kHexid).time(1000.0).air(5000, 300), SimStatus::active, FlightPhase::flying).reportLagTicks = lag;
    TrafficRecord record = Rec(kHexid).time(1010.0).at(offset(kEham, 1500.0)).air(5000, 300).due(5000);
    decodeMessage(record);
    const LiveAc& aircraft = g_liveAcs.at(0);
    ASSERT_EQ(aircraft.stream.size(), 2u) << lag;
    EXPECT_EQ(aircraft.stream.back().time, 5000 + lag);
    // The wait is the flight's own delay: the ground rules' re-timing is measured from it.
    EXPECT_EQ(aircraft.stream.back().feedTime, 5000 + lag);
  }
}

// A weather of another QNH moves every stream with the feed's correction (RT App corrects the
// flight levels, RT Direct the altitudes below them, both blended between 17,000 and 19,000 ft by
// the feed's altitude) and a report read before it joins its stream in the new QNH: made from the
// reports before the first weather, an overflight otherwise climbed the 840 ft to those after it
// at 16,800 ft/min. No aircraft hops: one in flight or on its approach takes the change up over
// its legs, one climbing from its runway flies to its moved stream as it does to any report.
TEST_F(DecodeTest, ANewQnhMovesTheStreamsAndTheAircraftInFlightAlike) {
  struct Case {
    bool rtApp;
    std::uint32_t state;
    double feedFt;  // as the feed gave it
    std::int32_t fromQnh, toQnh;
    bool departure;  // in the first seconds of its climb
    bool takesUp;    // the aircraft owes the change, taken up over its legs
    bool feedKnown = true;  // a point the program made has no feed altitude: its own stands in
  } cases[] = {
      {true, FlightPhase::flying, 34000.0, kStandardQnh, 985, false, true},
      {true, FlightPhase::flying, 5000.0, kStandardQnh, 985, false, false},
      {false, FlightPhase::flying, 5000.0, kStandardQnh, 985, false, true},
      {false, FlightPhase::flying, 34000.0, kStandardQnh, 985, false, false},
      {false, FlightPhase::landing, 2000.0, kStandardQnh, 985, false, true},
      {false, FlightPhase::flying, 17500.0, 1030, 1000, false, true},
      {false, FlightPhase::flying, 18400.0, 1030, 1000, false, true},
      {true, FlightPhase::flying, 18000.0, 1030, 1000, false, true},
      {false, FlightPhase::flying, 1700.0, kStandardQnh, 1000, true, false},
      {true, FlightPhase::flying, 18000.0, kStandardQnh, 985, false, true, false},
  };
  for (const Case& c : cases) {
    reset();
    gf_publishSimChoice({.sim = 2, .rtApp = c.rtApp ? 1 : 0});
    g_qnh.store(c.fromQnh);
    gf_followQnh();
    const auto corrected = [&c](std::int32_t qnh) {
      TrafficRecord r = Rec(kHexid).air(c.feedFt, 250.0);
      gf_correctFeedAltitude(r, std::nullopt, qnh, 0.0, !c.rtApp);
      return r;
    };
    const TrafficRecord before = corrected(c.fromQnh);
    const double fresh = corrected(c.toQnh).altitude;
    LiveAc& a = addLive(Rec(kHexid).air(before.altitude, 250.0), SimStatus::active, c.state);
    a.stream.front() = gf_streamPoint(before);
    if (!c.feedKnown) a.stream.front().feedAltitude = NAN;
    a.onGround = false;
    a.altitude = before.altitude;
    if (c.departure) a.prevState = FlightPhase::takeoff, a.stateSince = g_engineTime.load();
    g_qnh.store(c.toQnh);
    gf_followQnh();
    const double read = gf_streamPoint(before).altitude;
    g_qnh.store(kStandardQnh);
    gf_publishSimChoice({});
    const std::string what = fmt::format("{} at {} ft from {} to {} hPa{}{}", c.rtApp ? "RT App" : "RT Direct", c.feedFt,
                                         c.fromQnh, c.toQnh, c.state == FlightPhase::landing ? ", landing" : "",
                                         c.departure ? ", climbing from its runway" : "");
    EXPECT_NEAR(a.stream.front().altitude, fresh, c.feedKnown ? 1e-6 : 2.0) << what;
    EXPECT_NEAR(read, fresh, 1e-6) << what << ": a report read before";
    EXPECT_EQ(a.altitude, before.altitude) << what << ": no hop";
    EXPECT_NEAR(a.altitude - a.qnhLagFt, c.takesUp ? a.stream.front().altitude : before.altitude, 1e-6) << what;
  }
}

TEST_F(DecodeTest, AJumpedFlightComesBackOnlyWhenItsPositionIsStableOrItIsAirborne) {
  struct Next {
    double dt, metres;
    bool airborne = false;
  };
  struct Case {
    const char* name;
    std::vector<Next> records;
    std::size_t createdBy;  // 1-based record that creates the flight again
  };
  const Case cases[] = {
      {"three records within 150 m", {{10, 50}, {10, 50}}, 2},
      {"a far record starts the count again", {{10, 50}, {10, 300}, {10, 50}, {10, 50}}, 4},
      {"a gap above 60 s starts it again", {{70, 50}, {10, 50}, {10, 50}}, 3},
      {"airborne at once", {{10, 2000, true}}, 1},
  };
  for (const Case& c : cases) {
    reset();
    addLive(Rec(kHexid).ground(4).time(1000.0));
    TrafficRecord jump = Rec(kHexid).ground(4).time(1010.0).at(offset(kEham, 500));
    decodeMessage(jump);
    ASSERT_EQ(removed.size(), 1u) << c.name;
    // The removed record ignores traffic but feeds the watch.
    TrafficRecord ignored = Rec(kHexid).ground(4).time(1020.0).at(offset(kEham, 800));
    decodeMessage(ignored);
    EXPECT_EQ(g_liveAcs.at(0).stream.size(), 1u) << c.name;
    g_liveAcs.clear();  // the simulator confirmed the removal

    double t = 1020.0, north = 800.0;  // the watch counts from here
    for (std::size_t i = 0; i < c.records.size(); ++i) {
      t += c.records[i].dt;
      north += c.records[i].metres;
      Rec next = Rec(kHexid).time(t).at(offset(kEham, north));
      c.records[i].airborne ? next.air(3000, 150) : next.ground(4);
      TrafficRecord record = next;
      decodeMessage(record);
      EXPECT_EQ(g_liveAcs.size(), i + 1 >= c.createdBy ? 1u : 0u) << c.name << ", record " << i + 1;
    }
  }
}

TEST_F(DecodeTest, NewFlights) {
  struct Case {
    const char* name;
    Rec record;
    bool created;
  };
  const Case cases[] = {
      {"on the ground at altitude 0", Rec(1).altitude(0), true},
      {"50 ft above the park airport", Rec(1).altitude(150), false},
      {"130 ft above it", Rec(1).altitude(230), true},
      {"the callsign and model shown under another hexid", Rec(2, "SWR12", "B738"), false},
      {"the callsign with another model", Rec(2, "SWR12", "E190"), true},
      {"a helicopter while helicopters are off", Rec(1, "HBZZZ", "EC35"), false},
      {"a type the dbase does not list", Rec(1, "KLM1234", "ZZZZ"), false},
      {"no hexid", Rec(0), false},
  };
  for (const Case& c : cases) {
    reset();
    parkAtElevation(100);
    gf_changeParameterSnapshot([](ParameterSnapshot& s) { s.helicopters = false; });
    addLive(Rec(3, "SWR12", "B738"));
    TrafficRecord record = c.record;
    decodeMessage(record);
    EXPECT_EQ(g_liveAcs.size(), c.created ? 2u : 1u) << c.name;
  }
}

TEST_F(DecodeTest, ANewRecordStartsNewWithItsFirstPoint) {
  TrafficRecord record = Rec(kHexid).ground(0).time(1234.5).due(700);
  decodeMessage(record);
  ASSERT_EQ(g_liveAcs.size(), 1u);
  const LiveAc& aircraft = g_liveAcs[0];
  EXPECT_EQ(aircraft.state, FlightPhase::birth);
  EXPECT_EQ(aircraft.prevState, FlightPhase::birth);
  EXPECT_EQ(aircraft.simState, SimStatus::buffer);
  EXPECT_EQ(aircraft.objectId, 0u);
  ASSERT_EQ(aircraft.stream.size(), 1u);
  EXPECT_EQ(aircraft.stream[0].time, 700);
  EXPECT_EQ(aircraft.lastMessageTime, 1234.5);
  EXPECT_EQ(aircraft.name1, "KLM1234");
  EXPECT_EQ(aircraft.maxTurnPerStep, aircraft.defaultTurnPerStep);
  EXPECT_EQ(aircraft.pushbackSpeedKt, 3.0);  // a large aircraft
}

TEST_F(DecodeTest, HistoryIsDecodedFirstInOrderThenTwoLiveRecordsPerTickLastFirst) {
  gf_setMailboxActive(true);
  const auto batch = [](std::uint32_t first, std::uint32_t count) {
    std::vector<TrafficRecord> records;
    for (std::uint32_t hexid = first; hexid < first + count; ++hexid)
      records.push_back(Rec(hexid, fmt::format("KLM{}", hexid).c_str()));
    return records;
  };
  auto history0 = batch(1, 2), history6 = batch(3, 1), live = batch(11, 3);
  gf_postTrafficBatch(live, kLiveTrafficKind, true);
  gf_postTrafficBatch(history0, 0, true);
  gf_postTrafficBatch(history6, 6, true);

  gf_drainTrafficMailbox();
  EXPECT_EQ(hexidsOf(g_liveAcs), (std::vector<std::uint32_t>{1, 2, 3, 13, 12}));
  gf_drainTrafficMailbox();
  EXPECT_EQ(hexidsOf(g_liveAcs), (std::vector<std::uint32_t>{1, 2, 3, 13, 12, 11}));
}

// 1000 flights every 2 s (200 ticks), in the stable order of each feed: RT Direct by hexid,
// RT App in its line order. The engine sees every flight in every interval, the batch's last first.
TEST_F(DecodeTest, ABusyFeedReachesTheEngineWholeInEveryInterval) {
  constexpr std::uint32_t kFlights = 1000, kFirstHexid = 0x100000;
  struct Case {
    const char* name;
    std::uint32_t (*hexidAt)(std::uint32_t line);
  };
  const Case cases[] = {
      {"RT Direct, by hexid", [](std::uint32_t line) { return kFirstHexid + line; }},
      {"RT App, line order", [](std::uint32_t line) { return kFirstHexid + line * 7919 % kFlights; }},
  };
  for (const Case& c : cases) {
    reset();
    std::vector<std::uint32_t> seen;
    hooks.checkKnownAcChanges = [&seen](LiveAc&, TrafficRecord& record) {
      seen.push_back(record.hexid);
      return false;
    };
    install();
    for (std::uint32_t line = 0; line < kFlights; ++line)
      addLive(Rec(c.hexidAt(line)).air(5000, 100), SimStatus::active, FlightPhase::flying);
    gf_setMailboxActive(true);
    for (int interval = 1; interval <= 3; ++interval) {
      std::vector<TrafficRecord> batch;
      std::vector<std::uint32_t> lastFirst;
      for (std::uint32_t line = 0; line < kFlights; ++line) {
        batch.push_back(Rec(c.hexidAt(line)).air(5000, 100).time(1000.0 + 2.0 * interval));
        lastFirst.insert(lastFirst.begin(), c.hexidAt(line));
      }
      seen.clear();
      gf_postTrafficBatch(batch, kLiveTrafficKind, true);
      for (int tick = 0; tick < 200; ++tick) gf_drainTrafficMailbox();
      EXPECT_EQ(seen, lastFirst) << c.name << ", interval " << interval;
    }
    std::lock_guard lock(g_trafficMutex);
    EXPECT_EQ(g_trafficMailbox.replacedRecords, 0u) << c.name;
  }
}

// A decode may change the table under the drain (a removal, a flight made anew): every flight
// that stays is still found by its records, and none is made twice.
TEST_F(DecodeTest, AFlightIsFoundWhateverTheDrainDidToTheTableBefore) {
  // Five records a drain: the two after the trigger's are looked up after the change.
  constexpr std::uint32_t kFlights = 100, kTrigger = 50, kVictim = 10;
  for (const bool addAfter : {false, true}) {
    reset();
    std::vector<std::uint32_t> seen;
    hooks.checkKnownAcChanges = [&](LiveAc&, TrafficRecord& record) {
      seen.push_back(record.hexid);
      if (record.hexid != kTrigger) return false;
      // Removed as the registry's sweep does, the flights after it moving up.
      g_liveAcs.erase(g_liveAcs.begin() + (kVictim - 1));
      if (addAfter) addLive(Rec(0x999, "EZY99").air(5000, 100), SimStatus::active, FlightPhase::flying);
      return false;
    };
    install();
    std::vector<TrafficRecord> batch;
    for (std::uint32_t hexid = 1; hexid <= kFlights + 2; ++hexid) {
      Rec rec = Rec(hexid, fmt::format("KLM{}", hexid).c_str()).air(5000, 100);
      if (hexid <= kFlights) addLive(rec, SimStatus::active, FlightPhase::flying);
      batch.push_back(rec.time(1010.0));
    }
    gf_setMailboxActive(true);
    gf_postTrafficBatch(batch, kLiveTrafficKind, true);
    for (int tick = 0; tick < 25; ++tick) gf_drainTrafficMailbox();

    std::vector<std::uint32_t> table = hexidsOf(g_liveAcs);
    std::sort(table.begin(), table.end());
    EXPECT_EQ(std::adjacent_find(table.begin(), table.end()), table.end()) << addAfter << ": a flight made twice";
    for (std::uint32_t hexid = 1; hexid <= kFlights; ++hexid)
      if (hexid != kVictim) { EXPECT_EQ(std::count(seen.begin(), seen.end(), hexid), 1) << addAfter << ": flight " << hexid; }
  }
}

}  // namespace
