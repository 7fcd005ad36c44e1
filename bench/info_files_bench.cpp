// Files written from the worker's 10-ms loop, each way they have been written. Each iteration
// is one such tick; longest_ms is the longest of them, the figure that matters to a loop with
// 10 ms a tick.
// - ObjectIdList.txt with 300 live aircraft, rewritten every second:
//   "durable": data and folder synced to disk before the rename, on the loop;
//   "unsynced": renamed without waiting for the disk, on the loop;
//   "saver": the way gf_writeActiveAcFile writes it now, the text handed to the background saver.
// - A learned stand file of 300 stands (about 100 kB), saved on leaving the park airport:
//   "durable" on the loop, as it was, against "saver", as gf_saveLearned hands it over now.
// The files go to a folder under the current one (a real disk, not /tmp), which is removed
// afterwards; the saver's queue is drained outside the measured ticks.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_main.h"
#include "config/program_folders.h"
#include "core/background_saver.h"
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
  gf_drainSaves();  // before the folder goes
  gf_resetEngineTables();
}

// The lines gf_writeActiveAcFile builds.
std::vector<std::string> lf_objectIdLines() {
  std::vector<std::string> lines;
  for (const LiveAc& aircraft : g_liveAcs)
    lines.push_back(fmt::format("{};{};{};{};{};{};", aircraft.objectId, aircraft.callsign, aircraft.registration,
                                gf_airlineName(aircraft.airlineId), gf_modelName(aircraft.modelId),
                                aircraft.onGround ? "GND" : "AIR"));
  return lines;
}

void BM_ObjectIdListTick_durable(benchmark::State& state) {
  lf_measureTicks(state, [] {
    const std::vector<std::string> lines = lf_objectIdLines();
    if (!gf_writeLines(lines, g_objectIdListFile)) throw std::runtime_error("write failed");
  });
}
BENCHMARK(BM_ObjectIdListTick_durable)->Unit(benchmark::kMillisecond)->Iterations(bench::iterations(200));

void BM_ObjectIdListTick_unsynced(benchmark::State& state) {
  lf_measureTicks(state, [] {
    const std::vector<std::string> lines = lf_objectIdLines();
    if (!gf_writeLinesUnsynced(lines, g_objectIdListFile)) throw std::runtime_error("write failed");
  });
}
BENCHMARK(BM_ObjectIdListTick_unsynced)->Unit(benchmark::kMillisecond)->Iterations(bench::iterations(200));

void BM_ObjectIdListTick_saver(benchmark::State& state) {
  lf_measureTicks(state, [] { gf_writeActiveAcFile(); });
}
BENCHMARK(BM_ObjectIdListTick_saver)->Unit(benchmark::kMillisecond)->Iterations(bench::iterations(200));

// Stand elements of the size a learned file holds, with one option each.
std::string lf_learnedText() {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parkpositions>\n";
  for (int i = 0; i < 300; ++i)
    text += fmt::format(
        "    <parkpos id=\"GATE A{}\" typestr=\"GATE_MEDIUM\" latitude=\"47.{:06}\" longitude=\"8.{:06}\" "
        "heading=\"{}\" radius=\"20\">\n      <opt reg=\"HB-J{:02}\" airl=\"SWR\" type=\"A320\" day=\"3\" "
        "hh=\"14:20\" cs=\"SWR{}\"/>\n    </parkpos>\n",
        i, 450000 + i * 37, 550000 + i * 41, i % 360, i % 100, 100 + i);
  return text + "  </parkpositions>\n</root>\n";
}

void BM_LearnedFileSave_durable(benchmark::State& state) {
  const std::string text = lf_learnedText();
  lf_measureTicks(state, [&text] {
    if (!gf_writeStringToFile(text, "LSZH.xml", false)) throw std::runtime_error("write failed");
  });
}
BENCHMARK(BM_LearnedFileSave_durable)->Unit(benchmark::kMillisecond)->Iterations(bench::iterations(50));

void BM_LearnedFileSave_saver(benchmark::State& state) {
  const std::string text = lf_learnedText();
  lf_measureTicks(state, [&text] { gf_queueSave(BackgroundSave{"LSZH.xml", text, true, false, {}}); });
}
BENCHMARK(BM_LearnedFileSave_saver)->Unit(benchmark::kMillisecond)->Iterations(bench::iterations(50));

}  // namespace

JORV_BENCHMARK_MAIN()
