// The engine and the simulator link at the size of a busy airspace.
// - BM_EngineAtScale: 1000 live aircraft (600 airborne, 250 taxiing, 150 parked at stands, each
//   with its reports for the next ten minutes) and 500 static aircraft at a park airport, with
//   the hooks and worker seams the program installs. Each iteration is one 10-ms tick
//   (lf_handleAddingStack); every 100th also runs the engine step with the passes the main loop
//   adds to it. The link's frame (its pose batch to the stand-in simulator, its commands taken)
//   runs between the ticks at 60 frames a second, untimed; paced 1 runs the ticks 10 ms apart in
//   real time and the frames on their own thread every 1/60 s, as in the program (three minutes).
//   Counters: p50, p99 and max of the tick and of the step, in microseconds, and the heap
//   allocations of a steady tick (and of a step) on the engine's thread, with the share of the
//   ticks that allocate at all.
//   feed 0: the streams hold every report from the start; feed 1: they hold the first 30 s, and
//   the rest comes as the feed sends it, a live batch every 2 s with the reports made since the
//   last one (about 330, within what the drain takes), which the ticks drain and decode.
// - BM_EngineStepGrowth: the once-a-second step alone at 1000 to 10,000 live aircraft and 500
//   static ones: p50, p99 and max, and the p50 per 1000 live aircraft.
// - BM_ParkedVersionPass: the every-61st-step pass (live aircraft on the ground against the
//   static ones) alone at 1000 and 10,000 live aircraft and 500 static ones.
// - BM_ParkingPasses: the population and the adjustment at that size with RT Direct, the steps
//   that take the parked answer once it is settled, and the ticks' slices of the stand search
//   that follows: the longest of each, the slices a search takes and its whole work.
// - BM_ParkingRun: the worker's ticks (lf_tick, a step every 100) at that size through a
//   population, a parking adjustment and a simulator restart: the longest tick of each part.
// - BM_MemoryPerAircraft: the heap bytes one live aircraft (30 s of reports ahead, as the feed's
//   delay holds them) and one static aircraft take, and the resident set's growth.
// - BM_PoseBatch: the link's pose batch (lf_sendPositionBatch) for 1000 objects of the stand-in
//   simulator, one per 60-fps frame, with the engine's samples of 100 ticks a second. The same
//   SetDataOnSimObject calls are then made alone: their time is the stand-in's share, and the
//   difference is the link's own work (sample intake, interpolation, the pose), and so are the
//   allocations (allocs_own/frame).
// - BM_Freshness: 1000 flights report every 2 s (a live batch every 200 ticks) and every tick
//   drains the mailbox; the age of each flight's newest position at the engine (the timestamp of
//   its last accepted report against the feed's clock), sampled every 10 ticks: the worst per
//   flight, p50, p99 and max over the flights, the mean of every sample, and the flights that got
//   no newer position in the whole window. order 0 sends the flights in the same order each time,
//   1 shuffles each batch.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <numeric>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "app/main_loop.h"
#include "app/worker_seams.h"
#include "bench/bench_main.h"
#include "bench/bench_support.h"
#include "feed/feed_neighbours.h"
#include "feed/rt_api_traffic_client.h"
#include "feed/traffic_mailbox.h"
#include "simlink/ai_positions.h"
#include "simlink/facility_stand.h"
#include "simlink/sim_client.h"
#include "simlink/sim_client_detail.h"
#include "simlink/sim_commands.h"
#include "simlink/sim_ids.h"
#include "simlink/stand_table.h"
#include "simlink/user_aircraft.h"
#include "parking/park_population.h"
#include "parking/parked_wait.h"
#include "standin/sim/sim.h"
#include "traffic/adding_stack.h"
#include "traffic/decode_message.h"
#include "traffic/engine_hooks.h"
#include "traffic/engine_state.h"
#include "traffic/flat_frame.h"
#include "traffic/static_stands.h"

namespace {

namespace sim = standin::sim;

constexpr Lalo kPark{47.4582, 8.5555};
constexpr std::int32_t kParkElevationFt = 1416;
constexpr std::int32_t kStart = 100000;
constexpr double kTickMicros = 10000.0;
constexpr std::int64_t kTickNanos = 10'000'000;
constexpr std::int64_t kFrameNanos = 16'666'667;  // 60 frames a second
constexpr std::int32_t kStepTicks = 100;

constexpr std::uint32_t kLive = 1000;
constexpr std::uint32_t kAirborne = 600;
constexpr std::uint32_t kTaxiing = 250;  // the rest of the live ones are parked at stands
constexpr std::uint32_t kStatic = 500;
constexpr std::uint32_t kStands = kStatic + (kLive - kAirborne - kTaxiing);

// The traffic built by lf_populate: the counts above unless a benchmark scales them.
struct TrafficMix {
  std::uint32_t live = kLive, airborne = kAirborne, taxiing = kTaxiing, statics = kStatic;
  std::uint32_t stands() const { return statics + (live - airborne - taxiing); }
};
TrafficMix g_mix;

std::int64_t lf_nanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double lf_micros(std::int64_t from, std::int64_t to) { return static_cast<double>(to - from) / 1000.0; }

// The objects of the stand-in simulator that the aircraft are given, in order.
std::vector<std::uint32_t> g_objectIds;

// The stand-in simulator running, a connection the link holds with its definitions made, and n
// AI objects created on it, the link's own.
std::vector<std::uint32_t> lf_standInWithObjects(std::uint32_t n) {
  sim::reset();
  sim::setRunning(true);
  sim::setAcceptAllTitles(true);
  sim::setCreateDelayFrames(1);
  gf_resetSimClientForTest();
  gf_initSimClient();
  SimConnect_Open(&g_simConnectHandle, "JORV", nullptr, 0, nullptr, 0);
  lf_setupSimConnect();
  for (std::uint32_t i = 0; i < n; ++i) {
    SimConnectInitPosition position;
    position.latitude = kPark.lat;
    position.longitude = kPark.lon;
    position.altitude = 5000.0;
    SimConnect_AICreateNonATCAircraft(g_simConnectHandle, "Stand-in A320", fmt::format("HB-{:03}", i).c_str(),
                                      position, 100 + i);
  }
  sim::pumpFrames(3);
  std::vector<std::uint32_t> ids;
  for (const sim::ObjectState& object : sim::aiObjects()) {
    ids.push_back(object.objectId);
    g_ownedObjects.insert(object.objectId);
  }
  g_userObjectId = sim::userAircraft().objectId;
  return ids;
}

// A position metres north and east of another (flat, good for a few kilometres).
Lalo lf_offset(const Lalo& from, double northM, double eastM) {
  return {from.lat + northM / 1852.0 / 60.0, from.lon + eastM / 1852.0 / 60.0 / std::cos(from.lat * geo::kDegToRad)};
}

// The park airport's stands: rows of 25, 80 m apart, the first kStatic for the static aircraft.
void lf_addStands() {
  g_stands.clear();
  for (std::uint32_t i = 0; i < g_mix.stands(); ++i) {
    const Lalo position = lf_offset(kPark, -600.0 - 80.0 * (i / 25), -1000.0 + 80.0 * (i % 25));
    Stand& stand = g_stands.emplace_back(fmt::format("{}{}", static_cast<char>('A' + i / 25), 1 + i % 25),
                                         std::vector<StandOption>{}, position, geo::kPi, 40.0, 0, false, false, false);
    stand.id = i + 1;
  }
}

FeedRecordHead lf_head(std::uint32_t hexid, const std::string& callsign, const char* model) {
  FeedRecordHead head;
  head.callsign = callsign;
  head.registration = fmt::format("R-{:06X}", hexid);
  head.modelId = gf_internModelName(model);
  return head;
}

AcIdentity lf_identity(std::uint32_t hexid, const std::string& callsign, const char* model) {
  AcIdentity identity(lf_head(hexid, callsign, model));
  identity.hexid = hexid;
  identity.maxTurnPerStep = identity.defaultTurnPerStep;
  return identity;
}

// Reports every 2 to 10 s from the start for aheadTicks. Airborne ones fly their own track;
// taxiing ones turn by up to 60 degrees every third report and head back once kTaxiRoamM from
// where they began, so that they stay on their own apron, clear of the parked ones (a live
// aircraft rolling over a parked one has it removed); parked ones repeat their stand.
constexpr double kTaxiRoamM = 500.0;

std::deque<StreamPoint> lf_reports(StreamPoint point, std::int32_t aheadTicks, std::mt19937& random) {
  std::uniform_int_distribution<std::int32_t> interval(200, 1000);
  std::uniform_real_distribution<double> turn(-60.0, 60.0);
  const Lalo home = point.lalo;
  std::deque<StreamPoint> stream;
  for (int n = 0; point.time < kStart + aheadTicks; ++n) {
    const std::int32_t ticks = interval(random);
    if (point.repeated) {
      point.time += ticks;
    } else {
      if (!point.airborne && gf_distanceNm(home, point.lalo) * 1852.0 > kTaxiRoamM)
        point.track = std::fmod(gf_bearingRad(point.lalo, home) * geo::kRadToDeg + turn(random) / 3.0 + 360.0, 360.0);
      else if (!point.airborne && n % 3 == 2)
        point.track = std::fmod(point.track + turn(random) + 360.0, 360.0);
      const double feet = point.groundSpeed * ticks / 360000.0 * geo::kFeetPerNm;
      point.lalo = gf_destinationPoint(point.lalo, {point.track * geo::kDegToRad, feet});
      point.time += ticks;
    }
    stream.push_back(point);
  }
  return stream;
}

void lf_addLive(std::uint32_t i, std::int32_t aheadTicks, std::mt19937& random) {
  StreamPoint point;
  point.time = kStart;
  std::uint32_t state = FlightPhase::flying;
  std::int32_t standId = 0;
  if (i < g_mix.airborne) {
    point.lalo = {kPark.lat + (i % 30) * 0.03 - 0.45, kPark.lon + (i / 30) * 0.03 - 0.3};
    point.altitude = 4000.0 + 20.0 * (i % 500);
    point.groundSpeed = 220.0 + (i % 60);
    point.track = static_cast<double>((i * 37) % 360);
    point.airborne = true;
  } else if (i < g_mix.airborne + g_mix.taxiing) {
    const std::uint32_t k = i - g_mix.airborne;
    // North of the airport's point; the stands begin 600 m south of it, well over a roam away.
    point.lalo = lf_offset(kPark, 300.0 * (k / 16) + 1000.0, 250.0 * (k % 16) - 2000.0);
    point.groundSpeed = 12.0 + (k % 10);
    point.track = static_cast<double>((k * 53) % 360);
    state = FlightPhase::taxi;
  } else {
    standId = static_cast<std::int32_t>(g_mix.statics + (i - g_mix.airborne - g_mix.taxiing) + 1);
    point.lalo = g_stands[static_cast<std::size_t>(standId - 1)].position;
    point.track = 180.0;
    point.repeated = true;
    state = FlightPhase::parked;
  }
  LiveAc& aircraft = g_liveAcs.emplace_back(point, lf_identity(0x400000 + i, fmt::format("SWR{}", i), i % 2 ? "B738" : "A320"),
                                            1000.0);
  aircraft.stream = lf_reports(point, aheadTicks, random);
  aircraft.simState = SimStatus::active;
  aircraft.state = state;
  aircraft.objectId = i < g_objectIds.size() ? g_objectIds[i] : 1000 + i;
  aircraft.position = point.lalo;
  aircraft.altitude = point.airborne ? point.altitude : kParkElevationFt;
  aircraft.heading = point.track * geo::kDegToRad;
  aircraft.groundHeading = point.airborne ? 0.0 : aircraft.heading;
  aircraft.speed = point.groundSpeed;
  aircraft.onGround = !point.airborne;
  if (standId > 0) gf_assignStand(aircraft, g_stands[static_cast<std::size_t>(standId - 1)]);
}

void lf_addStatic(std::uint32_t i) {
  const Stand& stand = g_stands[i];
  StaticAc& aircraft = g_staticAcs.emplace_back(lf_identity(0x300000 + i, fmt::format("EZY{}", i), "A320"),
                                                static_cast<std::int32_t>(stand.id), GeoPose{stand.position, stand.heading},
                                                false);
  aircraft.simState = SimStatus::active;
  aircraft.objectId = g_mix.live + i < g_objectIds.size() ? g_objectIds[g_mix.live + i] : 50000 + i;
}

// The program's hooks and seams, the park airport with its stands, the user flying overhead,
// and the stand-in simulator holding the given number of objects for the aircraft.
void lf_programEngine(std::uint32_t objects) {
  bench::fillDbase();
  gf_resetTrafficMailbox();
  g_objectIds = lf_standInWithObjects(objects);
  gf_setWorkerSeams(gf_programWorkerSeams());
  gf_workerSeams().initTrafficEngine();
  gf_resetMainLoopState();
  gf_setMailboxActive(true);
  gf_setParkAirport(AirportRef{IcaoCode("LSZH"), kPark, kParkElevationFt});
  lf_addStands();
  gf_publishStandPositions();
  UserAcPosition user;
  user.latitude = kPark.lat;
  user.longitude = kPark.lon;
  user.altitude = 3000.0;  // 1000 ft below the lowest airborne one, above the ground traffic
  user.altitudeAboveGround = 3000.0 - kParkElevationFt;
  g_userOnGround = false;
  // As the link's position reply gives it, for the engine to take every 20 ticks.
  lf_handleUserPosition(sim::userAircraft().objectId, reinterpret_cast<const std::byte*>(&user), sizeof user);
  gf_publishUserAcPosition(user);
  g_engineTime = kStart;
}

void lf_populate(std::int32_t aheadTicks) {
  std::mt19937 random(40);
  for (std::uint32_t i = 0; i < g_mix.live; ++i) lf_addLive(i, aheadTicks, random);
  for (std::uint32_t i = 0; i < g_mix.statics; ++i) lf_addStatic(i);
}

// The reports of each live aircraft that the feed has not sent yet. A report due at engine time
// t is sent at feed time kFeedStart + (t - kStart - kFeedLead) / 100 s: the live batch's 30 s of
// delay, and about one more second that the batch's median stamp takes off.
constexpr double kFeedStart = 1000.0;
constexpr std::int32_t kFeedLead = 3100;
constexpr std::int32_t kBatchTicks = 200;

class HeldReports {
 public:
  // Keeps in each stream the reports already sent at engine time kStart.
  void holdBack() {
    pending_.assign(g_liveAcs.size(), {});
    for (std::size_t i = 0; i < g_liveAcs.size(); ++i) {
      LiveAc& aircraft = g_liveAcs[i];
      auto& stream = aircraft.stream;
      const auto first = std::find_if(stream.begin(), stream.end(),
                                      [](const StreamPoint& p) { return p.time > kStart + kFeedLead; });
      pending_[i].assign(first, stream.end());
      stream.erase(first, stream.end());
      heads_.push_back(static_cast<const FeedRecordHead&>(aircraft));
      aircraft.lastMessageTime = lf_sent(stream.back().time);
      aircraft.lastMessageLalo = stream.back().lalo;
    }
  }

  // The live batch of engine time now: every report made since the last one.
  void post(std::int32_t now) {
    std::vector<TrafficRecord> batch;
    for (std::size_t i = 0; i < pending_.size(); ++i) {
      auto& reports = pending_[i];
      for (; !reports.empty() && reports.front().time <= now + kFeedLead; reports.pop_front()) {
        const StreamPoint& point = reports.front();
        TrafficRecord& record = batch.emplace_back();
        static_cast<FeedRecordHead&>(record) = heads_[i];
        record.hexid = g_liveAcs[i].hexid;
        record.lalo = point.lalo;
        record.altitude = point.altitude;
        record.gs = point.groundSpeed;
        record.track = point.track;
        record.airborne = point.airborne;
        record.timestamp = lf_sent(point.time);
      }
    }
    posted_ += batch.size();
    gf_postTrafficBatch(batch, kLiveTrafficKind, true);
  }

  std::uint64_t posted() const { return posted_; }

 private:
  static double lf_sent(std::int32_t due) { return kFeedStart + (due - kStart - kFeedLead) / 100.0; }

  std::vector<std::deque<StreamPoint>> pending_;
  std::vector<FeedRecordHead> heads_;
  std::uint64_t posted_ = 0;
};

// The step and the passes that lf_tick runs after it.
void lf_engineStepAndPasses() {
  const WorkerSeams& s = gf_workerSeams();
  lf_engineStep();
  const std::int32_t n = g_stepCount;
  if (n % 5 == 0) {
    lf_housekeeping();
    return;
  }
  if (n % 14 == 0) s.handleParkingRequests();
  if (n % 61 == 0) s.checkForAllGndIfParkedVersionExistsAndRemove();
}

// What the link's frame takes from the engine: the pose samples and the queued commands.
void lf_linkFrame() {
  lf_sendPositionBatch();
  lf_dropQueuedCommands();
}

void BM_EngineAtScale(benchmark::State& state) {
  const bool feed = state.range(0) != 0;
  const bool paced = state.range(1) != 0;
  lf_programEngine(kLive + kStatic);
  lf_populate(bench::quickOr(60000, 3000));
  HeldReports held;
  if (feed) held.holdBack();
  // Paced: ticks 10 ms apart as the main loop keeps them, the link's frames on a thread of their
  // own every 1/60 s, as the simulator calls them.
  std::jthread link;
  if (paced)
    link = std::jthread([](std::stop_token stop) {
      auto next = std::chrono::steady_clock::now();
      while (!stop.stop_requested()) {
        lf_linkFrame();
        next += std::chrono::nanoseconds(kFrameNanos);
        std::this_thread::sleep_until(next);
      }
    });
  auto deadline = std::chrono::steady_clock::now();
  std::int64_t tick = 0;
  std::int64_t frames = 0;
  const auto frameOrPause = [&] {
    if (paced) {
      deadline += std::chrono::nanoseconds(kTickNanos);
      std::this_thread::sleep_until(deadline);
    } else if (tick * kTickNanos >= frames * kFrameNanos) {
      lf_linkFrame();
      ++frames;
    }
  };
  // Every aircraft has reached its first point and begun a leg, every periodic pass come round.
  for (int i = 0; i < bench::quickOr(1000, 100); ++i) {
    if (feed && tick % kBatchTicks == 0) held.post(g_engineTime.load());
    lf_handleAddingStack();
    if (++tick % kStepTicks == 0) lf_engineStepAndPasses();
    frameOrPause();
  }
  std::vector<Lalo> startPositions;
  for (const LiveAc& aircraft : g_liveAcs) startPositions.push_back(aircraft.position);

  std::vector<double> ticks;
  std::vector<double> steps;
  ticks.reserve(static_cast<std::size_t>(state.max_iterations));
  steps.reserve(static_cast<std::size_t>(state.max_iterations / kStepTicks + 1));
  std::uint64_t tickAllocations = 0;
  std::uint64_t allocatingTicks = 0;
  std::uint64_t stepAllocations = 0;
  for (auto _ : state) {
    if (feed && tick % kBatchTicks == 0) held.post(g_engineTime.load());
    {
      bench::AllocationTrace trace;
      const std::uint64_t before = bench::t_allocations;
      const std::int64_t start = lf_nanos();
      lf_handleAddingStack();
      const std::int64_t end = lf_nanos();
      tickAllocations += bench::t_allocations - before;
      allocatingTicks += bench::t_allocations != before;
      ticks.push_back(lf_micros(start, end));
    }
    if (++tick % kStepTicks == 0) {
      bench::AllocationTrace trace;
      const std::uint64_t before = bench::t_allocations;
      const std::int64_t start = lf_nanos();
      lf_engineStepAndPasses();
      const std::int64_t end = lf_nanos();
      stepAllocations += bench::t_allocations - before;
      steps.push_back(lf_micros(start, end));
    }
    frameOrPause();
  }
  if (link.joinable()) {
    link.request_stop();
    link.join();
  }
  std::uint32_t flying = 0, taxiing = 0, parked = 0, moved = 0;
  for (std::size_t i = 0; i < g_liveAcs.size() && i < startPositions.size(); ++i)
    moved += gf_distanceNm(startPositions[i], g_liveAcs[i].position) > 0.01;
  for (const LiveAc& aircraft : g_liveAcs) {
    flying += aircraft.state == FlightPhase::flying;
    taxiing += aircraft.state == FlightPhase::taxi;
    parked += aircraft.state == FlightPhase::parked;
  }
  const auto active = [](const auto& table) {
    return std::count_if(table.begin(), table.end(), [](const auto& a) { return a.simState == SimStatus::active; });
  };
  if (active(g_liveAcs) != kLive || active(g_staticAcs) != kStatic)
    state.SkipWithError(
        fmt::format("aircraft were lost: {} live, {} static", active(g_liveAcs), active(g_staticAcs)).c_str());
  const bench::Spread t = bench::spread(ticks);
  const bench::Spread s = bench::spread(steps);
  state.counters["tick_p50_us"] = t.p50;
  state.counters["tick_p99_us"] = t.p99;
  state.counters["tick_max_us"] = t.max;
  state.counters["tick_p99/tick"] = t.p99 / kTickMicros;
  state.counters["step_p50_us"] = s.p50;
  state.counters["step_p99_us"] = s.p99;
  state.counters["step_max_us"] = s.max;
  state.counters["allocs/tick"] = static_cast<double>(tickAllocations) / static_cast<double>(ticks.size());
  state.counters["allocating_ticks"] = static_cast<double>(allocatingTicks) / static_cast<double>(ticks.size());
  state.counters["allocs/step"] = steps.empty() ? 0.0 : static_cast<double>(stepAllocations) / static_cast<double>(steps.size());
  state.counters["flying"] = flying;
  state.counters["taxiing"] = taxiing;
  state.counters["parked"] = parked;
  state.counters["moved"] = moved;
  if (feed) {
    std::lock_guard lock(g_trafficMutex);
    state.counters["reports_left"] = static_cast<double>(g_trafficMailbox.records.size());
    state.counters["reports_sent"] = static_cast<double>(held.posted());
  }
  SimConnect_Close(g_simConnectHandle);
  gf_resetSimClientForTest();
}
// The once-a-second step with its passes (the ground pass among them: every taxiing aircraft
// against the stands and the static aircraft) as the live traffic grows, the mix of
// BM_EngineAtScale scaled (60 % airborne, 25 % taxiing, 15 % parked) with 500 static aircraft.
// Ticks run untimed between the steps. Counters: p50, p99 and max of the step in microseconds,
// and the p50 per 1000 live aircraft, which stays flat while the step grows linearly.
void BM_EngineStepGrowth(benchmark::State& state) {
  const auto live = static_cast<std::uint32_t>(state.range(0));
  g_mix = TrafficMix{live, live * 6 / 10, live / 4, kStatic};
  lf_programEngine(0);
  lf_populate(bench::quickOr(60000, 3000));
  const auto ticksToStep = [] {
    for (int i = 0; i < kStepTicks - 1; ++i) lf_handleAddingStack();
  };
  for (int i = 0; i < 5; ++i) {
    ticksToStep();
    lf_engineStepAndPasses();
  }
  std::vector<double> steps;
  for (auto _ : state) {
    state.PauseTiming();
    ticksToStep();
    state.ResumeTiming();
    const std::int64_t start = lf_nanos();
    lf_engineStepAndPasses();
    steps.push_back(lf_micros(start, lf_nanos()));
  }
  const bench::Spread s = bench::spread(steps);
  state.counters["live"] = live;
  state.counters["step_p50_us"] = s.p50;
  state.counters["step_p99_us"] = s.p99;
  state.counters["step_max_us"] = s.max;
  state.counters["p50_us/1000live"] = s.p50 * 1000.0 / live;
  SimConnect_Close(g_simConnectHandle);
  gf_resetSimClientForTest();
  g_mix = TrafficMix{};
}
// The pass of every 61st step alone: each live aircraft on the ground looked for among the 500
// static ones (none of them is one of the live flights, so nothing is removed and every live
// aircraft is looked up), at 1000 and 10,000 live aircraft in the mix above. Counters: p50 and
// max in microseconds.
void BM_ParkedVersionPass(benchmark::State& state) {
  const auto live = static_cast<std::uint32_t>(state.range(0));
  g_mix = TrafficMix{live, live * 6 / 10, live / 4, kStatic};
  lf_programEngine(0);
  lf_populate(600);
  const WorkerSeams& s = gf_workerSeams();
  std::vector<double> passes;
  for (auto _ : state) {
    const std::int64_t start = lf_nanos();
    s.checkForAllGndIfParkedVersionExistsAndRemove();
    passes.push_back(lf_micros(start, lf_nanos()));
  }
  if (std::count_if(g_staticAcs.begin(), g_staticAcs.end(),
                    [](const StaticAc& a) { return a.simState == SimStatus::active; }) != kStatic)
    state.SkipWithError("a static aircraft was taken for a live one");
  const bench::Spread p = bench::spread(passes);
  state.counters["live"] = live;
  state.counters["pass_p50_us"] = p.p50;
  state.counters["pass_max_us"] = p.max;
  SimConnect_Close(g_simConnectHandle);
  gf_resetSimClientForTest();
  g_mix = TrafficMix{};
}
BENCHMARK(BM_ParkedVersionPass)->ArgName("live")->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The parking passes at 1000 live and 500 static aircraft with RT Direct: the population and the
// adjustment ask for the parked aircraft and return; the step that finds the answer (here its
// wait run out) starts the stand search, which the ticks then run in slices through the worker's
// seam. Counters: each call's longest time in microseconds, the longest of all (what one tick
// can hold the worker for), the slices of one search and its whole work.
std::optional<Lalo> lf_parkForFeed() { return kPark; }

// The feed sees the park airport and hands its parked aircraft to the parking library.
void lf_parkedFeedNeighbours() {
  FeedNeighbours neighbours;
  neighbours.parkAirport = &lf_parkForFeed;
  neighbours.addParkedFromFeed = gf_addParkedFromFeed;
  gf_setFeedNeighbours(neighbours);
}

void BM_ParkingPasses(benchmark::State& state) {
  lf_programEngine(0);
  lf_populate(bench::quickOr(6000, 1000));
  lf_parkedFeedNeighbours();
  const WorkerSeams& s = gf_workerSeams();
  double population = 0.0, adjustment = 0.0, resumed = 0.0, slice = 0.0;
  std::vector<double> finishes, searches, slices;
  const auto timed = [](double& longest, const auto& pass) {
    const std::int64_t start = lf_nanos();
    pass();
    const double micros = lf_micros(start, lf_nanos());
    longest = std::max(longest, micros);
    return micros;
  };
  const auto searched = [&] {
    double work = 0.0;
    int n = 0;
    for (; gf_parkingSearchPending(); ++n) work += timed(slice, [&] { s.stepStandSearch(); });
    searches.push_back(work);
    slices.push_back(n);
  };
  for (auto _ : state) {
    g_rtApiTrafficClient.parkedWaitMs = 10000;
    timed(population, [] { gf_populateParkAirport(); });
    timed(resumed, [&] { s.resumeParkedWait(); });  // still waiting
    g_rtApiTrafficClient.parkedWaitMs = 0;
    finishes.push_back(timed(resumed, [&] { s.resumeParkedWait(); }));  // the search starts
    searched();
    g_rtApiTrafficClient.parkedWaitMs = 10000;
    timed(adjustment, [&] { s.adjustParking(false); });
    g_rtApiTrafficClient.parkedWaitMs = 0;
    finishes.push_back(timed(resumed, [&] { s.resumeParkedWait(); }));
    searched();
  }
  state.counters["finish_p50_us"] = bench::spread(finishes).p50;
  state.counters["population_max_us"] = population;
  state.counters["adjustment_max_us"] = adjustment;
  state.counters["finish_max_us"] = resumed;
  state.counters["slice_max_us"] = slice;
  state.counters["slices_p50"] = bench::spread(slices).p50;
  state.counters["search_p50_us"] = bench::spread(searches).p50;
  state.counters["search_max_us"] = bench::spread(searches).max;
  state.counters["longest_us"] = std::max({population, adjustment, resumed, slice});
  g_rtApiTrafficClient.parkedWaitMs = 10000;
  gf_resetFeedNeighbours();
  SimConnect_Close(g_simConnectHandle);
  gf_resetSimClientForTest();
}
BENCHMARK(BM_ParkingPasses)->Iterations(bench::iterations(20, 1))->Unit(benchmark::kMicrosecond);

// The worker's ticks as the main loop runs them (lf_tick, unpaced, a step every 100 ticks) at
// 1000 live and 500 static aircraft with RT Direct, through: the park airport's population (the
// parked answer's wait runs out after 50 ms), the parking adjustment the minute work takes from a
// request, and a simulator restart: the worker's reset of the park airport and the engine (timed
// on its own: no tick runs meanwhile), the new session's traffic, the park airport set up again
// and the ticks of the 30 steps after it, the adjustment the new session asks for among them.
// Each part runs on until its search is done and its steps have come round. Counters: the
// longest tick of each part and of the whole run, the tick's p99, in microseconds.
void lf_requestParkingAdjustment() {
  std::lock_guard lock(g_parkingRequestMutex);
  ++g_parkingRequest.requested;
}

void BM_ParkingRun(benchmark::State& state) {
  lf_programEngine(0);
  lf_populate(bench::quickOr(120000, 4000));
  lf_parkedFeedNeighbours();
  const WorkerSeams& s = gf_workerSeams();
  g_simState = 2;
  g_rtApiTrafficClient.parkedWaitMs = 50;
  std::vector<double> ticks;
  std::int64_t tickCount = 0;
  std::int64_t frames = 0;
  // One tick, with a step due every 100th, and the pass given (the population) inside it; the
  // link's frames between the ticks, untimed.
  const auto tick = [&](double& longest, const auto& inside) {
    if (++tickCount % kStepTicks == 0) g_stepDue = true;
    const std::int64_t start = lf_nanos();
    inside();
    lf_tick();
    const double micros = lf_micros(start, lf_nanos());
    ticks.push_back(micros);
    longest = std::max(longest, micros);
    for (; tickCount * kTickNanos >= frames * kFrameNanos; ++frames) lf_linkFrame();
  };
  const auto nothing = [] {};
  // At least the given ticks, then on until nothing waits or searches any more.
  const auto run = [&](double& longest, std::int64_t atLeast) {
    for (std::int64_t n = 0; n < atLeast + 1'000'000 &&
                             (n < atLeast || gf_parkedWaitPending() || gf_parkingSearchPending());
         ++n)
      tick(longest, nothing);
  };
  const auto populate = [] { gf_engineHooks().populateParkAirport(); };
  double population = 0.0, adjustment = 0.0, restart = 0.0, reset = 0.0;
  for (auto _ : state) {
    tick(population, populate);
    run(population, bench::quickOr(500, 100));
    lf_requestParkingAdjustment();
    run(adjustment, bench::quickOr(31, 2) * kStepTicks);  // taken at one 15-step pass, adjusted at the next

    // The simulator was lost: the worker's reset, then the new session.
    const std::int64_t start = lf_nanos();
    s.clearStandSearchHits();
    s.removeAllStaticAndLiveAtAirport();
    s.resetParkAirport();
    s.clearTrafficEngine();
    gf_resetMainLoopState();
    reset = lf_micros(start, lf_nanos());
    s.initTrafficEngine();
    g_liveAcs.clear();
    g_staticAcs.clear();
    gf_setParkAirport(AirportRef{IcaoCode("LSZH"), kPark, kParkElevationFt});
    lf_addStands();
    gf_publishStandPositions();
    lf_populate(bench::quickOr(120000, 4000));
    g_engineTime = kStart;
    g_simState = 2;
    tick(restart, populate);
    lf_requestParkingAdjustment();
    run(restart, bench::quickOr(31, 2) * kStepTicks);
  }
  const bench::Spread t = bench::spread(ticks);
  state.counters["population_tick_max_us"] = population;
  state.counters["adjustment_tick_max_us"] = adjustment;
  state.counters["restart_tick_max_us"] = restart;
  state.counters["run_tick_max_us"] = std::max({population, adjustment, restart});
  state.counters["tick_p99_us"] = t.p99;
  state.counters["ticks"] = static_cast<double>(ticks.size());
  state.counters["restart_reset_us"] = reset;
  g_simState = 0;
  g_rtApiTrafficClient.parkedWaitMs = 10000;
  gf_resetFeedNeighbours();
  SimConnect_Close(g_simConnectHandle);
  gf_resetSimClientForTest();
}
BENCHMARK(BM_ParkingRun)->Iterations(bench::iterations(1))->Unit(benchmark::kMillisecond);

BENCHMARK(BM_EngineStepGrowth)
    ->ArgName("live")
    ->Apply([](benchmark::internal::Benchmark* b) {
      for (const int live : {1000, 2500, 5000, 10000})
        if (live == 1000 || !bench::quickRun()) b->Arg(live);
    })
    ->Iterations(bench::iterations(120))
    ->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_EngineAtScale)
    ->ArgNames({"feed", "paced"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Iterations(bench::iterations(30000))
    ->Unit(benchmark::kMicrosecond);
// Paced long enough (183 steps) for the step's p99 to hold the pass that runs every 61st step.
BENCHMARK(BM_EngineAtScale)
    ->ArgNames({"feed", "paced"})
    ->Args({1, 1})
    ->Iterations(bench::iterations(18300))
    ->Unit(benchmark::kMicrosecond);

void BM_MemoryPerAircraft(benchmark::State& state) {
  for (auto _ : state) {
    lf_programEngine(0);
    std::vector<LiveAc>().swap(g_liveAcs);
    std::vector<StaticAc>().swap(g_staticAcs);
    std::mt19937 random(40);
    const std::int64_t rss = bench::residentBytes();
    const std::int64_t empty = bench::heapInUse();
    for (std::uint32_t i = 0; i < kLive; ++i) lf_addLive(i, 3000, random);
    const std::int64_t live = bench::heapInUse();
    for (std::uint32_t i = 0; i < kStatic; ++i) lf_addStatic(i);
    const std::int64_t all = bench::heapInUse();
    std::size_t points = 0;
    for (const LiveAc& aircraft : g_liveAcs) points += aircraft.stream.size();
    state.counters["live_bytes"] = static_cast<double>(live - empty) / kLive;
    state.counters["static_bytes"] = static_cast<double>(all - live) / kStatic;
    state.counters["rss_kb/1000"] = static_cast<double>(bench::residentBytes() - rss) / 1024.0 / (kLive + kStatic) * 1000.0;
    state.counters["sizeof_live"] = sizeof(LiveAc);
    state.counters["sizeof_static"] = sizeof(StaticAc);
    state.counters["points/live"] = static_cast<double>(points) / kLive;
  }
}
BENCHMARK(BM_MemoryPerAircraft)->Iterations(bench::iterations(1))->Unit(benchmark::kMillisecond);

std::atomic<std::int64_t> g_clockNanos{0};

void BM_PoseBatch(benchmark::State& state) {
  const std::vector<std::uint32_t> ids = lf_standInWithObjects(1000);
  gf_setSimSteadyClockForTest([] { return g_clockNanos.load(); });
  std::vector<AiObjectPose> tickPoses(ids.size());
  std::vector<AiPose> poses(ids.size());
  for (std::size_t i = 0; i < poses.size(); ++i) {
    poses[i].latitude = kPark.lat + (i % 40) * 0.02 - 0.4;
    poses[i].longitude = kPark.lon + (i / 40) * 0.02 - 0.25;
    poses[i].heading = static_cast<double>(i % 360) * geo::kDegToRad;
    poses[i].altitude = 4000.0 + 10.0 * i;
    poses[i].airspeedTrue = 250.0;
  }
  std::int64_t tickTime = 0;
  std::int64_t frameTime = 0;
  // The engine's samples up to the frame: one pose per object and 10-ms tick, 250 kt along the
  // heading, handed over a tick at a time as the update pass does.
  const auto ticksUntilFrame = [&] {
    for (; tickTime <= frameTime; tickTime += kTickNanos) {
      g_clockNanos = tickTime;
      for (std::size_t i = 0; i < ids.size(); ++i) {
        AiPose& pose = poses[i];
        pose.latitude += 250.0 / 360000.0 / 60.0 * std::cos(pose.heading);
        pose.longitude += 250.0 / 360000.0 / 60.0 * std::sin(pose.heading) / std::cos(pose.latitude * geo::kDegToRad);
        tickPoses[i] = AiObjectPose{ids[i], pose};
      }
      gf_setAiPoses(tickPoses);
    }
    frameTime += kFrameNanos;
    g_clockNanos = frameTime;
  };
  for (int i = 0; i < 60; ++i) {
    ticksUntilFrame();
    lf_sendPositionBatch();
  }
  sim::clearCallLog();

  std::vector<double> batch;
  std::vector<double> standIn;
  std::uint64_t batchAllocations = 0;
  std::uint64_t standInAllocations = 0;
  for (auto _ : state) {
    ticksUntilFrame();
    // The stand-in keeps its latest calls and now and then drops the older half of them, which
    // would land in one of the two timings; emptied here, the log costs both alike.
    sim::clearCallLog();
    std::uint64_t before = bench::t_allocations;
    std::int64_t start = lf_nanos();
    lf_sendPositionBatch();
    std::int64_t end = lf_nanos();
    batchAllocations += bench::t_allocations - before;
    batch.push_back(lf_micros(start, end));

    before = bench::t_allocations;
    start = lf_nanos();
    for (std::size_t i = 0; i < ids.size(); ++i)
      SimConnect_SetDataOnSimObject(g_simConnectHandle, DEFINITION_LATLONPIBAHEALVSTAS, ids[i], 0, 0, sizeof(AiPose),
                                    &poses[i]);
    end = lf_nanos();
    standInAllocations += bench::t_allocations - before;
    standIn.push_back(lf_micros(start, end));
  }
  if (g_aiPositionTracks.size() != ids.size()) state.SkipWithError("not every object got its track");
  std::vector<double> own(batch.size());
  for (std::size_t i = 0; i < batch.size(); ++i) own[i] = batch[i] - standIn[i];
  const bench::Spread b = bench::spread(batch);
  const bench::Spread s = bench::spread(standIn);
  const bench::Spread o = bench::spread(own);
  const double frames = static_cast<double>(batch.size());
  state.counters["objects"] = static_cast<double>(ids.size());
  state.counters["batch_p50_us"] = b.p50;
  state.counters["batch_p99_us"] = b.p99;
  state.counters["standin_p50_us"] = s.p50;
  state.counters["own_p50_us"] = o.p50;
  state.counters["own_p99_us"] = o.p99;
  state.counters["own_p50/frame"] = o.p50 / (static_cast<double>(kFrameNanos) / 1000.0);
  state.counters["allocs/batch"] = static_cast<double>(batchAllocations) / frames;
  state.counters["allocs/standin"] = static_cast<double>(standInAllocations) / frames;
  // The stand-in's receiving side allocates for every call; what is left is the link's own.
  state.counters["allocs_own/frame"] =
      (static_cast<double>(batchAllocations) - static_cast<double>(standInAllocations)) / frames;

  gf_setSimSteadyClockForTest({});
  SimConnect_Close(g_simConnectHandle);
  gf_resetSimClientForTest();
  sim::reset();
}
BENCHMARK(BM_PoseBatch)->Iterations(bench::iterations(3000))->Unit(benchmark::kMicrosecond);

// 1000 known flights in a slow turn, so that the intake thins none of their reports out.
TrafficRecord lf_report(std::uint32_t i, double timestamp) {
  TrafficRecord record;
  record.hexid = 0x400000 + i;
  record.callsign = fmt::format("SWR{}", i);
  record.modelId = gf_internModelName(i % 2 ? "B738" : "A320");
  const double seconds = timestamp - 1000.0;
  const double track = std::fmod((i * 37) % 360 + 1.5 * seconds, 360.0);
  const Lalo centre{kPark.lat + (i % 40) * 0.03 - 0.6, kPark.lon + (i / 40) * 0.03 - 0.4};
  const double radiusNm = 250.0 / 3600.0 / (1.5 * geo::kDegToRad);  // 250 kt at 1.5 degrees a second
  record.lalo = gf_destinationPoint(centre, {(track - 90.0) * geo::kDegToRad, radiusNm * geo::kFeetPerNm});
  record.airborne = true;
  record.altitude = 5000.0 + 10.0 * i;
  record.gs = 250.0;
  record.track = track;
  record.timestamp = timestamp;
  return record;
}

void BM_Freshness(benchmark::State& state) {
  const bool shuffled = state.range(0) != 0;
  lf_programEngine(0);
  constexpr std::uint32_t kFlights = 1000;
  double feedTime = 1000.0;
  for (std::uint32_t i = 0; i < kFlights; ++i) {
    TrafficRecord record = lf_report(i, feedTime);
    decodeMessage(record);
  }
  for (LiveAc& aircraft : g_liveAcs) {
    aircraft.simState = SimStatus::active;
    aircraft.objectId = aircraft.hexid;
  }
  std::mt19937 random(2);
  std::vector<std::uint32_t> order(kFlights);
  std::iota(order.begin(), order.end(), 0u);
  std::vector<double> worstAge(kFlights, 0.0);
  double ageSum = 0.0;
  std::uint64_t ageCount = 0;
  std::uint64_t posted = 0;
  const auto batchOfTicks = [&](bool measure) {
    feedTime += kBatchTicks / 100.0;
    if (shuffled) std::shuffle(order.begin(), order.end(), random);
    std::vector<TrafficRecord> batch;
    batch.reserve(kFlights);
    for (std::uint32_t i : order) batch.push_back(lf_report(i, feedTime));
    posted += batch.size();
    gf_postTrafficBatch(batch, kLiveTrafficKind, true);
    for (std::int32_t tick = 0; tick < kBatchTicks; ++tick) {
      gf_drainTrafficMailbox();
      ++g_engineTime;
      if (!measure || tick % 10 != 9) continue;
      const double now = feedTime + (tick + 1) / 100.0;
      for (const LiveAc& aircraft : g_liveAcs) {
        const std::uint32_t i = aircraft.hexid - 0x400000;
        if (i >= kFlights) continue;
        const double age = now - aircraft.lastMessageTime;
        worstAge[i] = std::max(worstAge[i], age);
        ageSum += age;
        ++ageCount;
      }
    }
  };
  for (int i = 0; i < 5; ++i) batchOfTicks(false);
  for (auto _ : state) batchOfTicks(true);

  std::uint32_t stale = 0;  // flights not one report newer within the measured window
  const double window = static_cast<double>(state.iterations()) * kBatchTicks / 100.0;
  for (double age : worstAge) stale += age >= window;
  const bench::Spread a = bench::spread(worstAge);
  state.counters["age_mean_s"] = ageCount ? ageSum / static_cast<double>(ageCount) : 0.0;
  state.counters["age_p50_s"] = a.p50;
  state.counters["age_p99_s"] = a.p99;
  state.counters["age_max_s"] = a.max;
  state.counters["window_s"] = window;
  state.counters["never_fresh"] = stale;
  state.counters["live"] = static_cast<double>(g_liveAcs.size());
}
BENCHMARK(BM_Freshness)->ArgName("order")->Arg(0)->Arg(1)->Iterations(bench::iterations(30))->Unit(benchmark::kMillisecond);

}  // namespace

JORV_BENCHMARK_MAIN()
