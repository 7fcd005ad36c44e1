// How fast the park airport's stand file is read, in reads per second: a 512-stand archived file
// fetched from the web server stand-in over loopback and decrypted, with a learned file laid over
// it, the stands numbered and their overlaps worked out; next to the same read from the airport
// cache (plain XML, no fetch), which a second visit of the same archived version takes.
//
// The stand file is generated: 512 stands on a grid with two file options each, and a learned
// file with two more options per stand; deterministic.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <sodium.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_main.h"
#include "config/program_folders.h"
#include "core/background_saver.h"
#include "parking/airport_file_read.h"
#include "refdata/downloader.h"
#include "refdata/enc_file.h"
#include "refdata/library_init.h"
#include "standin/webserver/web_server.h"

namespace {
namespace fs = std::filesystem;

constexpr int kStands = 512;
const fs::path kArchivePath = "archive/stock/EGLL.enc";

std::string lf_header() {
  return R"(<?xml version="1.0" encoding="UTF-8"?><root><meta><info name="copyright" value="c"/>)"
         R"(<info name="sim" value="2"/></meta><parameters><parameter name="icao" value="EGLL"/>)"
         R"(<parameter name="airport_name" value="Heathrow"/><parameter name="publisher" value="stock"/>)"
         R"(<parameter name="altitude" value="83"/></parameters><parkpositions>)";
}

// 512 stands, 32 to a row, 45 m apart: neighbours in a row overlap, rows do not.
std::string lf_standFile() {
  std::string xml = lf_header();
  for (int i = 0; i < kStands; ++i)
    xml += fmt::format(
        R"(<parkpos id="S{}" typestr="GATE_HEAVY" latitude="{:.6f}" longitude="{:.6f}" heading="90" radius="25">)"
        R"(<opt reg="G-STB{}" airl="BAW" type="B77W" day="{}" hh="14:20"/>)"
        R"(<opt reg="" airl="BAW" type="A320" soft="true" day="{}" hh="6:9"/></parkpos>)",
        i, 51.46 + (i / 32) * 0.001, -0.49 + (i % 32) * 0.00065, i, 1 + i % 7, 1 + (i + 3) % 7);
  return xml + "</parkpositions></root>";
}

std::string lf_learnedFile() {
  std::string xml = lf_header();
  for (int i = 0; i < kStands; ++i)
    xml += fmt::format(R"(<parkpos id="S{}"><opt reg="G-STB{}" airl="BAW" type="B77W" day="{}" hh="30:33" cs="BAW{}"/>)"
                       R"(<opt reg="G-EUP{}" airl="BAW" type="A320" day="{}" hh="40:44"/></parkpos>)",
                       i, i, 1 + i % 7, i, i, 1 + (i + 1) % 7);
  return xml + R"(</parkpositions></root>)";
}

std::string lf_encrypt(const std::string& plain) {
  std::array<unsigned char, kEncKeyBytes> key{};
  gf_encKeyPartA(key);
  gf_encKeyPartB(key);
  crypto_secretstream_xchacha20poly1305_state state;
  std::array<unsigned char, kEncHeaderBytes> header{};
  crypto_secretstream_xchacha20poly1305_init_push(&state, header.data(), key.data());
  gf_wipeEncKey(key);
  std::string out(reinterpret_cast<const char*>(header.data()), header.size());
  std::vector<unsigned char> chunk(kEncChunkBytes);
  for (std::size_t offset = 0;;) {
    const std::size_t length = std::min(kEncChunkPlainBytes, plain.size() - offset);
    const bool last = offset + length == plain.size();
    unsigned long long written = 0;
    crypto_secretstream_xchacha20poly1305_push(
        &state, chunk.data(), &written, reinterpret_cast<const unsigned char*>(plain.data()) + offset, length, nullptr,
        0, last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
    out.append(reinterpret_cast<const char*>(chunk.data()), static_cast<std::size_t>(written));
    offset += length;
    if (last) break;
  }
  return out;
}

// A program folder of its own (the current directory) and the server with the archived file.
struct BenchSetup {
  fs::path folder = fs::temp_directory_path() / fmt::format("jorv-bench-parking-{}", ::getpid());
  fs::path previous = fs::current_path();
  standin::WebServer server;
  BenchSetup() {
    gf_initDataLibraries();
    fs::create_directories(folder / g_learnedStockFolder);
    fs::current_path(folder);
    std::ofstream(g_learnedStockFolder / "EGLL.xml", std::ios::binary) << lf_learnedFile();
    server.putFile("MSFS2024/" + kArchivePath.generic_string(), lf_encrypt(lf_standFile()));
    gf_setMakerBaseUrl(server.baseUrl());
  }
  ~BenchSetup() {
    server.stop();
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
};

BenchSetup& lf_setup() {
  static BenchSetup setup;
  return setup;
}

bool lf_read(benchmark::State& state, ApfSource expected) {
  auto result = gf_readAirportFile(kArchivePath);
  const auto* data = std::get_if<AirportFileData>(&result);
  if (!data || data->source != expected || data->stands.size() != kStands || !data->learnedLoaded) {
    state.SkipWithError(data ? "unexpected read" : std::get<std::string>(result).c_str());
    return false;
  }
  benchmark::DoNotOptimize(data->stands.data());
  return true;
}

void BM_EncryptedStandFileWithLearnedOverlay(benchmark::State& state) {
  lf_setup();
  for (auto _ : state) {
    state.PauseTiming();
    // The last read's cache is written by the saver: deleted before it lands, it would be back.
    gf_awaitSave(g_parkAirportFile);
    std::error_code ignored;
    fs::remove(g_parkAirportFile, ignored);
    state.ResumeTiming();
    if (!lf_read(state, ApfSource::fetched)) break;
  }
  state.counters["reads/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EncryptedStandFileWithLearnedOverlay)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CachedStandFileWithLearnedOverlay(benchmark::State& state) {
  lf_setup();
  gf_awaitSave(g_parkAirportFile);  // the cache an earlier read left
  if (!fs::exists(g_parkAirportFile) && !lf_read(state, ApfSource::fetched)) return;
  for (auto _ : state)
    if (!lf_read(state, ApfSource::cache)) break;
  state.counters["reads/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CachedStandFileWithLearnedOverlay)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

JORV_BENCHMARK_MAIN()
