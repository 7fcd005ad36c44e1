// How fast the airport sections of a large .bgl file are walked and their airport records
// read, in MB/s of file, next to a plain read of the same bytes from the file (page cache).
//
// The file is generated (tools/bgl_generator.h): about 64 MB of airport sections with
// subsection tables, data blocks, airport records with helipads and parking lists and other
// records, deterministic.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <variant>
#include <vector>

#include "airportscan/bgl_airport.h"
#include "airportscan/bgl_sections.h"
#include "airportscan/scan_state.h"
#include "bench/bench_main.h"
#include "tools/bgl_generator.h"

namespace {
namespace fs = std::filesystem;

constexpr std::size_t kFileBytes = 64u << 20;

struct BenchFile {
  fs::path path;
  bglgen::Bytes bytes;

  BenchFile() {
    bytes = bglgen::generate(20261207, bglgen::Fault::none, kFileBytes).bytes;
    path = fs::temp_directory_path() / fmt::format("jorv-bench-bgl-{}.bgl", ::getpid());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
  }
  ~BenchFile() {
    std::error_code error;
    fs::remove(path, error);
  }
};

BenchFile& lf_file() {
  static BenchFile file;
  return file;
}

void BM_RawFileRead(benchmark::State& state) {
  auto& file = lf_file();
  std::vector<char> buffer(file.bytes.size());
  for (auto _ : state) {
    std::ifstream in(file.path, std::ios::binary);
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.bytes.size()));
}

void BM_EnumerateRecords(benchmark::State& state) {
  auto& file = lf_file();
  std::size_t records = 0;
  for (auto _ : state) {
    const BglRecords result = lf_enumerateBglAirportRecords(file.bytes);
    records = std::get<std::vector<BglRecordRef>>(result).size();
    benchmark::DoNotOptimize(records);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.bytes.size()));
  state.counters["records"] = static_cast<double>(records);
}

// What the scan does with a file: the walk, then every airport record's ident and stands.
void BM_EnumerateAndReadAirports(benchmark::State& state) {
  auto& file = lf_file();
  std::size_t stands = 0;
  for (auto _ : state) {
    stands = 0;
    const BglRecords result = lf_enumerateBglAirportRecords(file.bytes);
    for (const BglRecordRef& record : std::get<std::vector<BglRecordRef>>(result)) {
      if (record.id != kBglAirportRecordId) continue;
      benchmark::DoNotOptimize(lf_decodeBglIdent(gf_bglAirportIdent(file.bytes, record).value_or(0)));
      stands += gf_readBglAirportRecord(file.bytes, record).airport.stands.size();
    }
    gf_resetAirportScanState();  // the scan messages of this pass
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.bytes.size()));
  state.counters["stands"] = static_cast<double>(stands);
}

}  // namespace

BENCHMARK(BM_RawFileRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnumerateRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnumerateAndReadAirports)->Unit(benchmark::kMillisecond);
JORV_BENCHMARK_MAIN()
