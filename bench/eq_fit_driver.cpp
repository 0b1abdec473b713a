// The per-curve fit driver: one averaged fractional-octave curve of about 20
// singularities, and the 32 gated curves of one set fitted together (as the fit
// of all curves does), on one thread and on eight.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "eqdesign/fit/fit_driver.h"
#include "eqdesign/fit/fit_quality.h"

namespace {

using namespace zentor;

CurveRecord Record(const std::vector<float>& f, const std::vector<float>& dB) {
  CurveRecord c;
  c.NumPoints = static_cast<int32_t>(f.size());
  std::copy(f.begin(), f.end(), c.XValues.begin());
  std::copy(dB.begin(), dB.end(), c.YValues.begin());
  return c;
}

SingularityListRecord Header(int32_t view) {
  SingularityListRecord R;
  R.Graphshown = view;
  R.ModeCode = view == 3 ? 5 : 6;
  R.SelectCode = 4;
  R.Smoothing = view == 3 ? 0 : 1.0f / 24;
  return R;
}

// The mean of 32 noisy curves of the same 20 singularities, 20-500 Hz.
CurveRecord AverageCurve() {
  const std::vector<float> f = LogGrid(2000, 20, 20000);
  std::vector<KnownSingularity> s;
  for (int32_t i = 0; i < 20; ++i) s.push_back({24 * std::pow(1.165, i), i % 2 ? -7.0 : 8.0, 5});
  std::vector<float> mean(f.size(), 0);
  for (uint32_t k = 0; k < 32; ++k) {
    const std::vector<float> dB = KnownResponseDb(f, s, 0, 0.5, k + 1);
    for (size_t i = 0; i < f.size(); ++i) mean[i] += dB[i] / 32;
  }
  return Record(f, mean);
}

void BM_FitAverageCurve(benchmark::State& state) {
  const CurveRecord C = AverageCurve();
  FitPool pool(static_cast<int32_t>(state.range(0)));
  FitEngine engine;
  engine.Pool = &pool;
  engine.Settings.Quick = state.range(1) != 0;
  engine.Settings.MaxFreq = 500;
  FitDriverConstants constants;
  constants.MinFreq = 20;
  constants.MaxFreq = 500;
  int32_t filters = 0;
  for (auto _ : state) {
    SingularityListRecord R = Header(6);
    FitCurveFilterSet(R, C, 0, 0, -1, constants, engine);
    filters = R.Count;
  }
  state.counters["filters"] = filters;
}
BENCHMARK(BM_FitAverageCurve)->Args({1, 0})->Args({8, 0})->Args({1, 1})->Args({8, 1})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FitAllCurves(benchmark::State& state) {
  const std::vector<float> f = BodeLikeGrid(2000);
  std::mt19937 random(11);
  std::vector<CurveRecord> curves;
  for (uint32_t k = 0; k < 32; ++k) {
    std::vector<KnownSingularity> s(3 + k % 6);
    for (KnownSingularity& one : s) {
      const double level = 3 + random() % 10;
      one = {27 + static_cast<double>(random() % 50), random() % 2 ? level : -level, 2.0 + random() % 10};
    }
    curves.push_back(Record(f, KnownResponseDb(f, s, 0, 0.1, k + 1)));
  }
  FitPool pool(static_cast<int32_t>(state.range(0)));
  FitEngine engine;
  engine.Pool = &pool;
  std::vector<SingularityListRecord> sets(32);
  for (auto _ : state) {
    std::vector<FitBatchItem> items;
    for (int32_t k = 0; k < 32; ++k) {
      const auto i = static_cast<size_t>(k);
      sets[i] = Header(3);
      FitBatchItem& item = items.emplace_back();
      item.Set = &sets[i];
      item.Curve = &curves[i];
      item.Index = k;
    }
    FitCurveFilterSets(items, FitDriverConstants{}, engine);
    benchmark::DoNotOptimize(sets);
  }
}
BENCHMARK(BM_FitAllCurves)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
