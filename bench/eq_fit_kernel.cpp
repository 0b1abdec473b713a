// The filter fit's hot paths: the grid evaluator, the one-singularity fit, the
// search of a whole curve and the polish, on one thread and on eight.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "eqdesign/filter_sets.h"
#include "eqdesign/fit/fit_kernel.h"
#include "eqdesign/fit/fit_quality.h"
#include "eqdesign/fit/polish.h"
#include "eqdesign/fit/singularity_fit.h"
#include "eqdesign/fit/singularity_search.h"

namespace {

using namespace zentor;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

std::unique_ptr<FitCurveRecord> Curve(const std::vector<float>& f, const std::vector<float>& dB) {
  auto c = std::make_unique<FitCurveRecord>();
  PrepareFitCurve(f, dB, static_cast<int32_t>(f.size()), 6, 4, *c);
  return c;
}

void BM_Evaluator(benchmark::State& state) {
  const auto trials = static_cast<int32_t>(state.range(0)), points = static_cast<int32_t>(state.range(1));
  const std::vector<float> f = BodeLikeGrid(2000);
  SingularityFitWork w;
  w.NumFreq = trials;
  w.NumQ = 10;
  w.NumPoints = points;
  SetUpFreqArrayC(w.TrialFreq, kTwoPi * 49, kTwoPi * 51, trials);
  SetUpQ2ArrayC(w.QGrid, 0.5, 30, 10);
  w.QFixed = 2;
  for (int32_t i = 0; i < points; ++i) {
    w.Level[static_cast<size_t>(i)] = 1 + 0.01 * i;
    w.Weights[static_cast<size_t>(i)] = 1;
  }
  FitCells cells;
  int64_t evaluations = 0;
  for (auto _ : state) {
    FitMatrixC(w, f, 2000, 300, cells, &evaluations);
    benchmark::DoNotOptimize(cells);
  }
  state.counters["ns/point-eval"] = benchmark::Counter(static_cast<double>(evaluations),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["ns/point-eval"] = state.counters["ns/point-eval"] * 1e9;
}
BENCHMARK(BM_Evaluator)->Args({39, 3})->Args({11, 3})->Args({1, 25})->Args({1, 200});

// args: 0 peak, 1 gated dip, 2 refused point; quick.
void BM_FitOneSingularity(benchmark::State& state) {
  const std::vector<float> f = BodeLikeGrid(2000);
  const KnownSingularity s{50, state.range(0) == 1 ? -12.0 : 12.0, 5};
  const std::vector<float> dB = KnownResponseDb(f, std::span(&s, 1));
  const auto c = Curve(f, dB);
  const int32_t n = state.range(0) == 2 ? 140 : 134;  // 140 lies on the peak's flank
  SingularityFitWorkspace work;
  SingularityFitContext context;
  context.Quick = state.range(1) != 0;
  double F = 0, Q1 = 0, Q2 = 0, E = 0;
  for (auto _ : state) benchmark::DoNotOptimize(FitOneSingularity(n, *c, work, F, Q1, Q2, E, 34, 0.05, 0.5f, 4, 5, context));
  state.counters["calls"] = static_cast<double>(context.Counters.Calls);
  state.counters["acceptances"] = static_cast<double>(context.Counters.Acceptances);
  state.counters["evals/s"] = benchmark::Counter(static_cast<double>(context.Counters.Evaluations), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FitOneSingularity)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->Args({2, 0})->Unit(benchmark::kMicrosecond);

std::vector<KnownSingularity> ManyPeaks(int32_t count) {
  std::vector<KnownSingularity> s;
  for (int32_t i = 0; i < count; ++i) s.push_back({25 * std::pow(1.06, i), i % 2 ? -8.0 : 9.0, 6});
  return s;
}

void BM_SearchSingularities(benchmark::State& state) {
  const std::vector<float> f = LogGrid(2000, 20, 20000);
  const std::vector<KnownSingularity> known = ManyPeaks(20);
  const std::vector<float> dB = KnownResponseDb(f, known, 0, 0.1, 3);
  FitPool pool(static_cast<int32_t>(state.range(0)));
  FitEngine engine;
  engine.Pool = &pool;
  engine.Settings.MaxFreq = 20000;
  for (auto _ : state) {
    state.PauseTiming();
    const auto c = Curve(f, dB);
    SingularityListRecord R = FitSetHeader(6, 20, 20000, 1.0f / 24);
    state.ResumeTiming();
    benchmark::DoNotOptimize(SearchSingularities(R, *c, engine));
  }
  state.counters["calls"] = static_cast<double>(engine.Counters.Calls) / static_cast<double>(state.iterations());
  state.counters["acceptances"] =
      static_cast<double>(engine.Counters.Acceptances) / static_cast<double>(state.iterations());
  state.counters["evals/s"] = benchmark::Counter(static_cast<double>(engine.Counters.Evaluations), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SearchSingularities)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

// A set of 75 entries on a curve of 75 singularities; arg 1: whole curve polish.
void BM_Polish(benchmark::State& state) {
  const std::vector<float> f = LogGrid(2000, 20, 20000);
  const std::vector<KnownSingularity> known = ManyPeaks(75);
  const std::vector<float> dB = KnownResponseDb(f, known);
  SingularityListRecord set = FitSetHeader(6, 20, 20000, 1.0f / 24);
  set.Count = 75;
  for (size_t i = 0; i < 75; ++i) {
    double qp = 0, qz = 0;
    KnownSingularityQs(known[i], qp, qz);
    set.Freq[i] = static_cast<float>(kTwoPi * known[i].FreqHz * 1.002);
    set.Q1[i] = static_cast<float>(known[i].LevelDb > 0 ? qp : -qz);
    set.Q2[i] = static_cast<float>(known[i].LevelDb > 0 ? qz : qp);
  }
  FitPool pool(static_cast<int32_t>(state.range(0)));
  FitEngine engine;
  engine.Pool = &pool;
  engine.Settings.MaxFreq = 20000;
  const bool whole = state.range(1) != 0;
  for (auto _ : state) {
    state.PauseTiming();
    SingularityListRecord s = set;
    const auto c = Curve(f, dB);
    for (size_t i = 0; i < 75; ++i)
      ApplySingularityToLevels(c->Level, c->Freq, -s.Q1[i], s.Q2[i], s.Freq[i], 1, 0, 2000, [](const std::string&) {});
    state.ResumeTiming();
    if (whole)
      PolishOneCurve(f, dB, 2000, s, engine);
    else
      PolishCriticalPeakValues(s, *c, engine);
    benchmark::DoNotOptimize(s);
  }
  state.counters["calls"] = static_cast<double>(engine.Counters.Calls) / static_cast<double>(state.iterations());
  state.counters["acceptances"] =
      static_cast<double>(engine.Counters.Acceptances) / static_cast<double>(state.iterations());
  state.counters["evals/s"] = benchmark::Counter(static_cast<double>(engine.Counters.Evaluations), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Polish)->Args({1, 0})->Args({8, 0})->Args({1, 1})->Args({8, 1})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
