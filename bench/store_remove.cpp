// Removing results from a full store: one removal, and the clear of a whole set
// (result 1 removed 32 times, as the delete-all command does).
#include <benchmark/benchmark.h>

#include "core/records.h"
#include "core/results_store.h"

namespace {

using namespace zentor;

void FillStore() {
  for (int k = 0; k < kMaxResults; ++k) {
    ImpulseSet[k].fill(static_cast<float>(k + 1));
    ResultsDataSetInfo[k] = MeasurementHeader{};
    ResultsDataSetInfo[k].SampleRate = 48000;
    ResultsDataSetInfo[k].PeriodExponent = 17;
    ResultsDataSetInfo[k].NumInSet = kMaxResults;
  }
}

void BM_RemoveFirstOf32(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    FillStore();
    state.ResumeTiming();
    RemoveResultFromStore(1);
    benchmark::DoNotOptimize(ImpulseSet[0][0]);
  }
}
BENCHMARK(BM_RemoveFirstOf32)->Unit(benchmark::kMillisecond);

void BM_ClearFullSet(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    FillStore();
    state.ResumeTiming();
    for (int i = 0; i < kMaxResults; ++i) RemoveResultFromStore(1);
    benchmark::DoNotOptimize(ResultsDataSetInfo[0].NumInSet);
  }
}
BENCHMARK(BM_ClearFullSet)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
