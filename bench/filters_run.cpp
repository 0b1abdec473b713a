// Filter running costs: a full applied set of peaking sections over one analyser
// block, and a high-order design run in sections over a long test signal.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "core/filter_run.h"

namespace {

using namespace zentor;

std::vector<float> Noise(size_t n) {
  std::mt19937 gen(1);
  std::normal_distribution<float> d(0.0f, 0.1f);
  std::vector<float> x(n);
  for (float& v : x) v = d(gen);
  return x;
}

// 75 boosts and cuts spread from 20 Hz to 20 kHz.
std::vector<FilterRecord> FullSet() {
  std::vector<FilterRecord> set(75);
  for (int i = 0; i < 75; ++i) {
    FilterRecord& r = set[i];
    r.Freq1 = static_cast<float>(2 * std::numbers::pi * 20 * std::pow(1000.0, i / 74.0));
    const float q = 2.0f + (i % 5);
    r.Q1 = (i % 2 == 0) ? -q : q;
    r.Q2 = q / 1.5f;
    r.EQEmulationCode = (i % 3 == 0) ? 2 : 1;
  }
  set[0].Count = 75;
  return set;
}

void BM_PeakingSet75(benchmark::State& state) {
  const int order = static_cast<int>(state.range(0));
  const size_t n = size_t{1} << order;
  const std::vector<float> source = Noise(n);
  const std::vector<FilterRecord> set = FullSet();
  std::vector<float> x(n), scratch(n);
  FilterBlock block;
  for (auto _ : state) {
    x = source;
    RunFilterChainOnSignal(x, scratch, order, 48000, block, set);
    benchmark::DoNotOptimize(x.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n) * 75);
}
BENCHMARK(BM_PeakingSet75)->Arg(16)->Arg(17)->Unit(benchmark::kMillisecond);

void BM_EighthOrderInSections(benchmark::State& state) {
  const int fs = 48000;
  const int32_t n = (1 << 18) + 50000;
  const std::vector<float> source = Noise(n);
  std::vector<float> x(n), scratch(n);
  FilterBlock block;
  block.Domain = kDomainSPlane;
  block.samplerate = fs;
  block.NumPoles = 8;
  BuildButterworthPoles(block);
  LowPassToHighPass(block, 1.0);
  ScaleFilterBlockFrequency(block, PrewarpFrequency(2 * std::numbers::pi * 40, fs));
  for (auto _ : state) {
    x = source;
    RunFilterBlockInSections(x, scratch, fs, n, block);
    benchmark::DoNotOptimize(x.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
}
BENCHMARK(BM_EighthOrderInSections)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
