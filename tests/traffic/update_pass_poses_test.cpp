// The poses of the update pass as the program installs it: a tick's poses reach the link
// together, the same as one aircraft at a time would hand them over, and a steady tick
// allocates nothing.
#include <cstring>
#include <map>

#include "simlink/ai_positions.h"
#include "tests/traffic/stream_builder.h"
#include "tests/traffic/traffic_fixture.h"
#include "tests/support/allocation_count.h"
#include "traffic/adding_stack.h"

using testing_support::t_allocations;

namespace {

using namespace traffic_test;
using stream_test::StreamBuilder;

constexpr std::int32_t kNow = 10000;

// What the engine's side of the link holds: each object's samples in the order of the store's
// entries (the order in which the link first sees the objects), and each last pose.
struct Handed {
  std::vector<std::uint32_t> order;
  std::map<std::uint32_t, std::vector<std::pair<std::int64_t, std::vector<double>>>> samples;
  std::map<std::uint32_t, std::vector<double>> last;
};

std::vector<double> lf_values(const AiPose& pose) {
  return {pose.latitude, pose.longitude, pose.pitch,         pose.bank,
          pose.heading,  pose.altitude,  pose.verticalSpeed, pose.airspeedTrue};
}

Handed lf_handed() {
  std::lock_guard lock(g_simObjectMapMutex);
  Handed handed;
  for (auto& [objectId, samples] : g_aiPositionSamples) {
    handed.order.push_back(objectId);
    for (const AiPositionSample& sample : samples) handed.samples[objectId].emplace_back(sample.time, lf_values(sample.pose));
  }
  for (const auto& [objectId, pose] : g_aiLastPoses) handed.last[objectId] = lf_values(pose);
  return handed;
}

class UpdatePassPoses : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    gf_setSimSteadyClockForTest([this] {
      ++clockReads;
      return clockNs;
    });
    again();
  }
  void TearDown() override {
    gf_setSimSteadyClockForTest({});
    gf_clearAiPoseMaps();
    g_engineTime = 0;
    EngineTest::TearDown();
  }
  void again() {
    reset();
    gf_clearAiPoseMaps();
    g_engineTime = kNow;
    clockReads = 0;
  }
  LiveAc& aircraft(std::uint32_t hexid, const StreamBuilder& stream, std::uint32_t state) {
    LiveAc& a = addLive(Rec(hexid, "KLM1", "B738"), SimStatus::active, state);
    stream.into(a);
    return a;
  }
  // Flights in cruise and on the ground, one whose altitude is no number (its pose is refused),
  // one without an object (it goes), one not in the simulator yet, and two whose objects came
  // but are not finished: made in the air, one flies on; the other stands at its stand.
  void traffic() {
    for (std::uint32_t i = 0; i < 6; ++i)
      aircraft(0x4001 + i, StreamBuilder(offset(kEham, 3000.0 * i), kNow).air(3000.0 + 500.0 * i, 200.0 + 10.0 * i).track(60.0 * i).moving(4),
               FlightPhase::flying);
    aircraft(0x4101, StreamBuilder(offset(kEham, -500.0), kNow).ground(15.0).track(90.0).moving(4), FlightPhase::taxi);
    aircraft(0x4102, StreamBuilder(offset(kEham, -900.0), kNow).air(4000.0, 250.0).moving(4), FlightPhase::flying).altitude =
        NAN;
    aircraft(0x4103, StreamBuilder(offset(kEham, -1300.0), kNow).air(4000.0, 250.0).moving(4), FlightPhase::flying).objectId =
        0;
    addLive(Rec(0x4104).at(offset(kEham, -1700.0)), SimStatus::buffer);
    LiveAc& made = aircraft(0x4105, StreamBuilder(offset(kEham, -2100.0), kNow).air(5000.0, 250.0).moving(4),
                            FlightPhase::flying);
    made.simState = SimStatus::adding2sim;
    made.movesWhileCreated = true;
    aircraft(0x4106, StreamBuilder(offset(kEham, -2500.0), kNow).ground(0.0).moving(1), FlightPhase::parked).simState =
        SimStatus::adding2sim;
  }
  // The ticks' poses, the clock set to each tick's time: through the update pass, or one
  // aircraft after the other through the installed update as a caller outside the pass would.
  void ticks(int n, bool pass) {
    for (int tick = 0; tick < n; ++tick) {
      clockNs = (tick + 1) * std::int64_t{10'000'000};
      if (pass) {
        lf_updatePass();
      } else {
        for (std::size_t i = 0; i < g_liveAcs.size(); ++i) gf_engineHooks().updateLiveAc(g_liveAcs[i]);
      }
      ++g_engineTime;
    }
  }

  std::int64_t clockNs = 0;
  std::uint64_t clockReads = 0;
};

TEST_F(UpdatePassPoses, ThePassHandsOverWhatEachAircraftAloneWould) {
  traffic();
  ticks(3, false);
  const Handed alone = lf_handed();
  const std::uint64_t readsAlone = clockReads;
  again();
  traffic();
  ticks(3, true);
  const Handed batched = lf_handed();

  EXPECT_EQ(batched.order, alone.order);
  EXPECT_EQ(batched.samples, alone.samples);
  EXPECT_EQ(batched.last, alone.last);
  EXPECT_EQ(clockReads, 3u) << "one clock read a tick";
  EXPECT_EQ(readsAlone, 3u * 8u) << "one a pose";
  EXPECT_EQ(batched.last.size(), 8u) << "six in cruise, the taxiing one and the one made in the air";
  EXPECT_TRUE(batched.last.contains(0x4105)) << "made in the air, it flies before it is finished";
  EXPECT_FALSE(batched.last.contains(0x4106)) << "a parked one waits for its finish";
  EXPECT_FALSE(batched.last.contains(0x4102)) << "a pose with a value that is no number";
  EXPECT_FALSE(batched.last.contains(0)) << "an aircraft without an object";
  for (const auto& [objectId, samples] : batched.samples) {
    ASSERT_EQ(samples.size(), 3u) << objectId;
    for (std::size_t i = 0; i < samples.size(); ++i)
      EXPECT_EQ(samples[i].first, static_cast<std::int64_t>(i + 1) * 10'000'000) << "the tick's time, object " << objectId;
  }
}

// Once every aircraft has a leg and every object its entries, the link taking the samples and
// the commands every other tick as its frames do, a tick of the update pass allocates nothing,
// also while the link is late by far more ticks than it usually takes at once.
TEST_F(UpdatePassPoses, ASteadyTickAllocatesNothing) {
  for (std::uint32_t i = 0; i < 40; ++i)
    aircraft(0x5001 + i, StreamBuilder(offset(kEham, 2000.0 * (i % 8), 2000.0 * (i / 8)), kNow)
                             .air(3000.0 + 100.0 * i, 180.0 + i)
                             .track(9.0 * i)
                             .every(300 + 10 * i)
                             .moving(12),
             FlightPhase::flying);
  AiSampleStore taken;
  std::uint64_t allocations = 0;
  for (int tick = 0; tick < 1200; ++tick) {
    clockNs = (tick + 1) * std::int64_t{10'000'000};
    const std::uint64_t before = t_allocations;
    lf_updatePass();
    if (tick >= 600) allocations += t_allocations - before;
    ++g_engineTime;
    const bool samplesLate = tick >= 800 && tick < 850;
    if (tick % 2 == 0) {
      clearSimQueues();  // the commands taken, their room kept
      if (samplesLate) continue;
      std::lock_guard lock(g_simObjectMapMutex);
      g_aiPositionSamples.swap(taken);
      for (auto& [objectId, samples] : taken) samples.clear();
    }
  }
  EXPECT_EQ(g_liveAcs.size(), 40u);
  EXPECT_TRUE(removed.empty());
  EXPECT_EQ(allocations, 0u);
  std::lock_guard lock(g_simObjectMapMutex);
  EXPECT_EQ(g_aiLastPoses.size(), 40u);
}

}  // namespace
