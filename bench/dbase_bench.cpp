// How fast the encrypted dbase is read and parsed, in plaintext MB/s, next to libsodium's raw
// decryption of the same file in memory: the gap is what file reading, XML parsing, interning
// and sorting cost on top of the cipher.
//
// The dbase is generated: the shape of the real data set (a few thousand model and airline
// codes, wingspans, fixes and 80,000 registrations, about 5 MB), deterministic.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <sodium.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_main.h"
#include "refdata/dbase.h"
#include "refdata/enc_file.h"
#include "refdata/library_init.h"
#include "refdata/registration.h"

namespace {
namespace fs = std::filesystem;

std::string lf_code(std::mt19937& random, int letters, int digits) {
  std::string code;
  for (int i = 0; i < letters; ++i) code += static_cast<char>('A' + random() % 26);
  for (int i = 0; i < digits; ++i) code += static_cast<char>('0' + random() % 10);
  return code;
}

std::string lf_dbaseXml() {
  std::mt19937 random(20261206);
  std::vector<std::string> models, airlines;
  for (int i = 0; i < 2500; ++i) models.push_back(lf_code(random, 2, 2));
  for (int i = 0; i < 6000; ++i) airlines.push_back(lf_code(random, 3, 0));
  auto list = [](const std::vector<std::string>& codes, std::size_t from, std::size_t count) {
    std::string text;
    for (std::size_t i = from; i < std::min(codes.size(), from + count); ++i) text += (text.empty() ? "" : ",") + codes[i];
    return text;
  };
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n<aircrafts>\n";
  for (std::size_t i = 0; i < models.size(); i += 50) xml += fmt::format("<aircraft types=\"{}\"/>\n", list(models, i, 50));
  xml += "</aircrafts>\n";
  xml += fmt::format("<cargo_types><cargo_type types=\"{}\"/></cargo_types>\n", list(models, 0, 40));
  const std::array<std::pair<const char*, const char*>, 6> categories{
      {{"heavy", "hvy"}, {"large", "lar"}, {"buzjet", "bzj"}, {"twoprops", "tpr"}, {"high_performance", "hpf"},
       {"rotorcraft", "rot"}}};
  for (std::size_t c = 0; c < categories.size(); ++c)
    xml += fmt::format("<{0}><{1} types=\"{2}\"/></{0}>\n", categories[c].first, categories[c].second,
                       list(models, c * 300, 300));
  xml += "<similar_types>\n";
  for (std::size_t i = 0; i < 600; i += 3) xml += fmt::format("<similar types=\"{}\"/>\n", list(models, i, 3));
  xml += "</similar_types>\n<ICAO_airlines>\n";
  for (std::size_t i = 0; i < airlines.size(); i += 100) xml += fmt::format("<ICAO codes=\"{}\"/>\n", list(airlines, i, 100));
  xml += fmt::format("</ICAO_airlines>\n<cargo_operators><ICAO codes=\"{}\"/></cargo_operators>\n<wingspans>\n",
                     list(airlines, 0, 200));
  for (std::size_t i = 0; i < models.size(); ++i)
    xml += fmt::format("<wingspan type=\"{}\" meters=\"{}.{}\"/>\n", models[i], 10 + random() % 70, random() % 100);
  xml += "</wingspans>\n<fixes>\n";
  for (std::size_t i = 0; i < 200; ++i) xml += fmt::format("<fx wro=\"{}X\" cor=\"{}\"/>\n", models[i], models[i]);
  xml += "</fixes>\n<dbase>\n";
  for (int i = 0; i < 80000; ++i) {
    const auto& airline = airlines[random() % airlines.size()];
    xml += fmt::format("<d r=\"{}-{}\" a=\"{}\" o=\"{}\" m=\"{}\" c=\"{}\"/>\n", lf_code(random, 1, 0),
                       lf_code(random, 4, 0), airline, airline, models[random() % models.size()],
                       random() % 10 == 0 ? "yes" : "no");
  }
  return xml + "</dbase>\n</root>\n";
}

std::string lf_encrypt(const std::string& plain) {
  std::array<unsigned char, kEncKeyBytes> key{};
  gf_encKeyPartA(key);
  gf_encKeyPartB(key);
  crypto_secretstream_xchacha20poly1305_state state;
  std::array<unsigned char, kEncHeaderBytes> header{};
  crypto_secretstream_xchacha20poly1305_init_push(&state, header.data(), key.data());
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
  gf_wipeEncKey(key);
  return out;
}

// One generated data set per run, in a folder of its own.
struct BenchData {
  fs::path folder;
  std::string cipher;
  std::size_t plainBytes = 0;

  BenchData() {
    gf_initDataLibraries();
    folder = fs::temp_directory_path() / fmt::format("jorv-bench-dbase-{}", ::getpid());
    fs::create_directories(folder);
    const std::string plain = lf_dbaseXml();
    plainBytes = plain.size();
    cipher = lf_encrypt(plain);
    std::ofstream(folder / kDbaseFileName, std::ios::binary) << cipher;
  }
  ~BenchData() {
    std::error_code error;
    fs::remove_all(folder, error);
  }
};

BenchData& lf_data() {
  static BenchData data;
  return data;
}

void BM_ReadAndParseDbase(benchmark::State& state) {
  auto& data = lf_data();
  for (auto _ : state) {
    gf_resetDbaseTables();
    if (!gf_readDbase(data.folder)) state.SkipWithError("dbase not read");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.plainBytes));
  state.counters["records"] = static_cast<double>(g_dbaseRecords.size());
}

void BM_ReadEncFile(benchmark::State& state) {
  auto& data = lf_data();
  for (auto _ : state) {
    auto result = gf_readEncFile(data.folder / kDbaseFileName, kDbasePlainLimit);
    if (!result.ok()) state.SkipWithError(result.message().c_str());
    benchmark::DoNotOptimize(result.buffer().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.plainBytes));
}

// The cipher alone: the same bytes, already in memory, pulled chunk by chunk.
void BM_RawSodiumDecrypt(benchmark::State& state) {
  auto& data = lf_data();
  std::array<unsigned char, kEncKeyBytes> key{};
  gf_encKeyPartA(key);
  gf_encKeyPartB(key);
  std::vector<unsigned char> plain(data.plainBytes);
  const auto* cipher = reinterpret_cast<const unsigned char*>(data.cipher.data());
  for (auto _ : state) {
    crypto_secretstream_xchacha20poly1305_state stream;
    crypto_secretstream_xchacha20poly1305_init_pull(&stream, cipher, key.data());
    std::size_t in = kEncHeaderBytes, out = 0;
    unsigned char tag = 0;
    while (in < data.cipher.size()) {
      const std::size_t length = std::min(kEncChunkBytes, data.cipher.size() - in);
      unsigned long long plainLength = 0;
      if (crypto_secretstream_xchacha20poly1305_pull(&stream, plain.data() + out, &plainLength, &tag, cipher + in,
                                                     length, nullptr, 0) != 0) {
        state.SkipWithError("decryption failed");
        break;
      }
      in += length;
      out += plainLength;
    }
    benchmark::DoNotOptimize(plain.data());
  }
  gf_wipeEncKey(key);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.plainBytes));
}

}  // namespace

BENCHMARK(BM_RawSodiumDecrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadEncFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndParseDbase)->Unit(benchmark::kMillisecond);
JORV_BENCHMARK_MAIN()
