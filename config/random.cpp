#include "config/random.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>

namespace {

std::atomic<bool> g_randomEnabled{true};

std::mt19937& lf_threadEngine() {
  thread_local std::mt19937 engine = gf_makeRandomEngine();
  return engine;
}

// FNV-1a over the four low bytes of the thread's id, least significant first, so that
// threads started in the same nanosecond still get different seeds.
std::uint32_t lf_threadIdHash() {
  const auto id = static_cast<std::uint32_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (int i = 0; i < 4; ++i) {
    hash ^= (id >> (8 * i)) & 0xFFu;
    hash *= 0x100000001b3ULL;
  }
  return static_cast<std::uint32_t>(hash);
}

}  // namespace

std::mt19937 gf_makeRandomEngine() {
  std::random_device device;
  const auto ticks = static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                    std::chrono::steady_clock::now().time_since_epoch())
                                                    .count());
  std::seed_seq seed{static_cast<std::uint32_t>(device()), static_cast<std::uint32_t>(ticks),
                     static_cast<std::uint32_t>(ticks >> 32), lf_threadIdHash()};
  return std::mt19937(seed);
}

std::uint64_t gf_random(std::uint64_t n) {
  if (!gf_randomEnabled() || n < 2) return 0;
  std::uniform_int_distribution<std::uint64_t> pick(0, n - 1);
  return pick(lf_threadEngine());
}

void gf_shuffle(std::vector<std::uint16_t>& values) {
  if (!gf_randomEnabled() || values.size() < 2) return;
  auto& engine = lf_threadEngine();
  for (std::size_t i = 1; i < values.size(); ++i) {
    std::uniform_int_distribution<std::size_t> pick(0, i);
    const std::size_t j = pick(engine);
    if (j != i) std::swap(values[i], values[j]);
  }
}

double gf_randomizeByPercent(double value, double percent) {
  const double d = percent > 0.0 ? value * percent / 100.0 : 0.0;
  const std::uint32_t draw = lf_threadEngine()();
  return (draw & 1u) ? value - d : value + d;
}

void gf_setRandomEnabled(bool on) { g_randomEnabled.store(on, std::memory_order_relaxed); }
bool gf_randomEnabled() { return g_randomEnabled.load(std::memory_order_relaxed); }
