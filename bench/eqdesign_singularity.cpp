// One singularity applied to, and taken off, a 2000-point fit curve: the fit and
// the polish do this thousands of times per curve.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "eqdesign/filter_sets.h"

namespace {

using namespace zentor;

void BM_ApplySingularityToLevels(benchmark::State& state) {
  const size_t n = 2000;
  std::vector<float> hz(n);
  std::vector<double> levels(n, 1.0);
  for (size_t i = 0; i < n; ++i) hz[i] = static_cast<float>(20.0 * std::pow(1000.0, double(i) / (n - 1)));
  const double centre = 2 * std::numbers::pi * 63.0;
  const MessageSink quiet = [](const std::string&) {};
  double q1 = 12;
  for (auto _ : state) {
    ApplySingularityToLevels(levels, hz, q1, 3, centre, 0.8f, 0, static_cast<int32_t>(n), quiet);
    benchmark::DoNotOptimize(levels.data());
    q1 = -q1;  // alternately applied and divided out: the levels stay bounded
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
}
BENCHMARK(BM_ApplySingularityToLevels);

}  // namespace

BENCHMARK_MAIN();
