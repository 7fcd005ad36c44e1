#pragma once
// What the engine's benchmarks share: a count of every heap allocation of the process and of each
// thread, the heap in use, the spread of a series of timings, and a small dbase of models.
//
// Include this in exactly one source file of a benchmark program: it replaces the global
// operator new and delete.
//
// JORV_BENCH_ALLOC_TRACE=N prints the call stacks of the first N allocations made while a
// bench::AllocationTrace is alive, to find what a steady tick allocates. The frames are
// "program(+offset)"; `addr2line -f -C -e program offset` names them (a build with -g helps).
#include <execinfo.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <vector>

#include "refdata/model_ids.h"

namespace bench {

inline std::atomic<std::uint64_t> g_allocations{0};
inline thread_local std::uint64_t t_allocations = 0;  // of this thread, which others cannot touch
inline std::atomic<int> g_traceLeft{0};
inline thread_local bool t_traceArmed = false;
inline thread_local bool t_tracing = false;

// While alive, the allocations of this thread are traced as JORV_BENCH_ALLOC_TRACE asks.
class AllocationTrace {
 public:
  AllocationTrace() {
    static const bool wanted = [] {
      const char* text = std::getenv("JORV_BENCH_ALLOC_TRACE");
      g_traceLeft = text ? std::atoi(text) : 0;
      return g_traceLeft.load() > 0;
    }();
    t_traceArmed = wanted;
  }
  ~AllocationTrace() { t_traceArmed = false; }
  AllocationTrace(const AllocationTrace&) = delete;
  AllocationTrace& operator=(const AllocationTrace&) = delete;
};

inline void traceAllocation(std::size_t size) {
  if (!t_traceArmed || t_tracing || g_traceLeft.fetch_sub(1) <= 0) return;
  t_tracing = true;  // backtrace may allocate on its first call
  void* frames[32];
  const int n = backtrace(frames, 32);
  std::fprintf(stderr, "allocation of %zu bytes:\n", size);
  backtrace_symbols_fd(frames, n, STDERR_FILENO);
  t_tracing = false;
}

struct Spread {
  double p50 = 0.0;
  double p99 = 0.0;
  double max = 0.0;
};

inline double percentile(std::vector<double>& values, double p) {
  if (values.empty()) return 0.0;
  const auto k = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
  return values[k];
}

inline Spread spread(std::vector<double> values) {
  Spread s;
  if (values.empty()) return s;
  s.max = *std::max_element(values.begin(), values.end());
  s.p99 = percentile(values, 0.99);
  s.p50 = percentile(values, 0.5);
  return s;
}

// Bytes of the heap in use, mapped blocks included.
inline std::int64_t heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<std::int64_t>(info.uordblks + info.hblkhd);
}

// The resident set of the process, in bytes.
inline std::int64_t residentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::int64_t pages = 0;
  std::int64_t resident = 0;
  statm >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// The models the benchmarks' flights fly, as the dbase would hold them.
inline void fillDbase() {
  gf_resetModelTables();
  gf_internModelName("");
  gf_internAirlineName("");
  for (const char* code : {"B738", "A320", "E190"}) g_dbaseModelCodes.insert(code);
  g_largeModels = {gf_internModelName("B738"), gf_internModelName("A320"), gf_internModelName("E190")};
}

}  // namespace bench

// Every heap allocation of the process is counted, so that a tick's can be told. The pair below
// is one allocator: GCC cannot see that the delete matches this new.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  bench::g_allocations.fetch_add(1, std::memory_order_relaxed);
  ++bench::t_allocations;
  bench::traceAllocation(size);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
