// ObjectIdList.txt, written from the worker's 10-ms loop twice a minute with 300 live aircraft:
// - "durable": the way it was written before, data and folder synced to disk before the rename;
// - "unsynced": the way gf_writeActiveAcFile writes it now, renamed without waiting for the disk.
// Each iteration is one such tick; longest_ms is the longest of them, the figure that matters to
// a loop with 10 ms a tick. The files go to a folder under the current one (a real disk, not
// /tmp), which is removed afterwards.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "config/program_folders.h"
#include "core/text_file.h"
#include "refdata/model_ids.h"
#include "traffic/active_aircraft.h"
#include "traffic/engine_state.h"

namespace {

namespace fs = std::filesystem;
constexpr int kAircraft = 300;

class BenchFolder {
 public:
  BenchFolder() : previous_(fs::current_path()) {
    std::string name = (previous_ / "jorv-info-bench-XXXXXX").string();
    if (!::mkdtemp(name.data())) throw std::runtime_error("mkdtemp failed");
    path_ = name;
    fs::current_path(path_);
    fs::create_directories(g_objectIdListFile.parent_path());
  }
  ~BenchFolder() {
    fs::current_path(previous_);
    std::error_code error;
    fs::remove_all(path_, error);
  }

 private:
  fs::path previous_;
  fs::path path_;
};

void lf_liveTraffic() {
  gf_resetEngineTables();
  gf_internModelName("");
  gf_internAirlineName("");
  for (int i = 0; i < kAircraft; ++i) {
    TrafficRecord record;
    record.hexid = 0x400000 + static_cast<std::uint32_t>(i);
    record.callsign = fmt::format("KLM{}", 1000 + i);
    record.registration = fmt::format("PH-{:03}", i);
    record.modelId = gf_internModelName(i % 2 ? "B738" : "E190");
    record.airlineId = gf_internAirlineName("KLM");
    record.lalo = {52.3, 4.76};
    record.timestamp = 1000.0;
    AcIdentity identity(static_cast<const FeedRecordHead&>(record));
    identity.hexid = record.hexid;
    LiveAc& aircraft = g_liveAcs.emplace_back(gf_streamPoint(record), std::move(identity), record.timestamp);
    aircraft.simState = SimStatus::active;
    aircraft.objectId = 100 + static_cast<std::uint32_t>(i);
    aircraft.onGround = i % 3 == 0;
  }
}

template <class Write>
void lf_measureTicks(benchmark::State& state, Write write) {
  BenchFolder folder;
  lf_liveTraffic();
  double longest = 0.0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    write();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    longest = std::max(longest, took.count());
  }
  state.counters["longest_ms"] = longest;
  gf_resetEngineTables();
}

void BM_ObjectIdListTick_durable(benchmark::State& state) {
  lf_measureTicks(state, [] {
    // The lines gf_writeActiveAcFile builds, through the durable writer.
    std::vector<std::string> lines;
    for (const LiveAc& aircraft : g_liveAcs)
      lines.push_back(fmt::format("{};{};{};{};{};{};", aircraft.objectId, aircraft.callsign, aircraft.registration,
                                  gf_airlineName(aircraft.airlineId), gf_modelName(aircraft.modelId),
                                  aircraft.onGround ? "GND" : "AIR"));
    if (!gf_writeLines(lines, g_objectIdListFile)) throw std::runtime_error("write failed");
  });
}
BENCHMARK(BM_ObjectIdListTick_durable)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_ObjectIdListTick_unsynced(benchmark::State& state) {
  lf_measureTicks(state, [] { gf_writeActiveAcFile(); });
}
BENCHMARK(BM_ObjectIdListTick_unsynced)->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace

BENCHMARK_MAIN();
