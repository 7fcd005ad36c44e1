// Turn planning and speed profiles as the ground movement builds them for every leg: a set of
// corners round the compass with legs of 20 to 200 m, and profiles over ground segments.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "bench/bench_main.h"
#include "traffic/path_geometry.h"
#include "traffic/speed_profile.h"

namespace {

std::vector<TurnRequest> lf_corners() {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> leg(20.0, 200.0);
  std::uniform_real_distribution<double> turn(-150.0, 150.0);
  std::uniform_real_distribution<double> heading(0.0, 359.0);
  std::vector<TurnRequest> requests;
  const Lalo origin{52.3, 4.76};
  for (int i = 0; i < 256; ++i) {
    const double h = heading(random) * geo::kDegToRad;
    const double l1 = leg(random);
    const double l2 = leg(random);
    const double h2 = h + turn(random) * geo::kDegToRad;
    const FlatPoint corner{l1 * std::sin(h), l1 * std::cos(h)};
    const FlatPoint end = corner + FlatPoint{l2 * std::sin(h2), l2 * std::cos(h2)};
    const LocalFrame frame(origin);
    TurnRequest rq;
    rq.start = origin;
    rq.corner = *frame.toLalo(corner);
    rq.end = *frame.toLalo(end);
    rq.startHeading = h;
    requests.push_back(rq);
  }
  return requests;
}

void BM_TurnPlanBuild(benchmark::State& state) {
  const std::vector<TurnRequest> requests = lf_corners();
  std::size_t i = 0;
  TurnPlan plan;
  for (auto _ : state) {
    benchmark::DoNotOptimize(plan.build(requests[i++ % requests.size()]));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TurnPlanBuild);

void BM_TurnPlanEvaluate(benchmark::State& state) {
  TurnPlan plan;
  for (const TurnRequest& rq : lf_corners()) {
    if (plan.build(rq)) break;
  }
  double f = 0.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(plan.evaluate(f));
    f = f >= 1.0 ? 0.0 : f + 0.01;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TurnPlanEvaluate);

void BM_SpeedProfileBuild(benchmark::State& state) {
  double vs = 0.0;
  SpeedProfile profile;
  for (auto _ : state) {
    benchmark::DoNotOptimize(profile.buildAccelerating(120.0, 15.0, vs, 12.0, 20.0));
    benchmark::DoNotOptimize(profile.maxSpeed());
    vs = vs >= 10.0 ? 0.0 : vs + 0.5;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SpeedProfileBuild);

}  // namespace

JORV_BENCHMARK_MAIN()
