// The filter fit on a seeded corpus of room-like responses: how much it
// corrects (unsnapped and snapped to the emulated equalisers 1, 4 and 5) against
// the least-squares optimum, and how long a default fit and a fit of 32 curves
// take on one thread and on eight. ZENTOR_CORPUS_TABLE=1 prints every curve.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fit_corpus_bench.h"
#include "eqdesign/fit/fit_driver.h"

namespace {

using namespace zentor;
using namespace zentor::test;

constexpr uint32_t kSeed = 4801;

const std::vector<float>& Grid() { return CorpusGrid(); }
const std::vector<CorpusCurve>& Corpus() { return SeededCorpus(kSeed); }

void BM_FitCorpusQuality(benchmark::State& state) {
  const bool table = std::getenv("ZENTOR_CORPUS_TABLE") != nullptr;
  const std::vector<float>& f = Grid();
  FitPool pool(8);
  FitEngine engine;
  engine.Pool = &pool;
  // Columns: the default fit (equaliser 1) unsnapped, then the fits for
  // equalisers 1, 4 and 5 snapped to their steps, and the fit for 2 as it is.
  constexpr int32_t kFitCode[] = {1, 1, 4, 5, 2};
  constexpr bool kSnap[] = {false, true, true, true, false};
  const char* names[] = {"free", "c1", "c4", "c5", "c2"};
  for (auto _ : state) {
    std::vector<double> before, ratio, isolatedRatio, flatExcess;
    std::array<std::vector<double>, 5> rms, snapRatio;
    std::array<int32_t, 5> worse{};
    int32_t flatEntries = 0;
    for (size_t c = 0; c < Corpus().size(); ++c) {
      const CorpusCurve& k = Corpus()[c];
      const double b = LogWeightedLineRmsDb(f, k.dB, kCorpusLow, kCorpusHigh);
      if (!k.Flat) before.push_back(b);
      if (table)
        std::printf("%2zu %s n=%zu noise %.2f before %6.3f |", c, k.Flat ? "flat" : (k.Isolated ? "isol" : "clus"),
                    k.Truth.size(), k.Noise, b);
      SingularityListRecord R;
      for (size_t i = 0; i < 5; ++i) {
        const int32_t code = kFitCode[i];
        if (i == 0 || code != kFitCode[i - 1]) R = FitCorpusCurve(Grid(), k, code, engine);
        const SingularityListRecord S = kSnap[i] ? SnappedSet(R, code) : R;
        const double a = CorrectedRms(f, k.dB, S);
        if (a > b + 1e-9) ++worse[i];
        if (k.Flat) {
          flatEntries = std::max(flatEntries, R.Count);
          flatExcess.push_back(a - b);
          if (table) std::printf(" %s %2d %6.3f", names[i], R.Count, a);
          continue;
        }
        rms[i].push_back(a);
        if (i == 0) {
          const double opt = std::min(OptimumRms(f, k.dB, k.Truth),
                                      R.Count > 0 ? OptimumRms(f, k.dB, SingularitiesOf(R)) : 1e9);
          ratio.push_back(a / opt);
          if (k.Isolated) isolatedRatio.push_back(a / CorrectedRms(f, k.dB, SetOf(k.Truth)));
          if (table) std::printf(" %s %2d %6.3f opt %6.3f", names[i], R.Count, a, opt);
        } else if (kSnap[i]) {
          const double ref = CorrectedRms(f, k.dB, SnappedSet(SetOf(k.Truth), code));
          snapRatio[i].push_back(a / ref);
          if (table) std::printf(" %s %2d %6.3f ref %6.3f", names[i], R.Count, a, ref);
        } else if (table) {
          std::printf(" %s %2d %6.3f", names[i], R.Count, a);
        }
      }
      if (table) std::printf("\n");
      std::fflush(stdout);
    }
    state.counters["before_med"] = Quantile(before, 0.5);
    state.counters["before_p90"] = Quantile(before, 0.9);
    for (size_t i = 0; i < 5; ++i) {
      state.counters[std::string(names[i]) + "_med"] = Quantile(rms[i], 0.5);
      state.counters[std::string(names[i]) + "_p90"] = Quantile(rms[i], 0.9);
      state.counters[std::string(names[i]) + "_worse"] = worse[i];
      if (kSnap[i]) state.counters[std::string(names[i]) + "_xref_med"] = Quantile(snapRatio[i], 0.5);
    }
    state.counters["xopt_med"] = Quantile(ratio, 0.5);
    state.counters["xopt_p90"] = Quantile(ratio, 0.9);
    state.counters["isol_xfloor_med"] = Quantile(isolatedRatio, 0.5);
    state.counters["flat_entries_max"] = flatEntries;
    state.counters["flat_excess_max"] =
        flatExcess.empty() ? 0 : *std::max_element(flatExcess.begin(), flatExcess.end());
  }
}
BENCHMARK(BM_FitCorpusQuality)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// One curve of the corpus at a time, the curves taken in turn: with the default
// settings, or with the windows' start-up limits in force (Max boost 6 dB held
// by the whole set, 75 filters) and the set ended on equaliser 1's steps.
void FitOneCurve(benchmark::State& state, bool limited) {
  FitPool pool(static_cast<int32_t>(state.range(0)));
  FitEngine engine;
  engine.Pool = &pool;
  size_t c = 0;
  std::vector<double> ms;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const SingularityListRecord R = limited ? FitCorpusCurve(Grid(), Corpus()[c], 1, engine, DefaultFitLimits(), true)
                                            : FitCorpusCurve(Grid(), Corpus()[c], 1, engine);
    benchmark::DoNotOptimize(R);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    c = (c + 1) % Corpus().size();
  }
  state.counters["median_ms"] = Quantile(ms, 0.5);
}
void BM_DefaultFit(benchmark::State& state) { FitOneCurve(state, false); }
void BM_LimitedFit(benchmark::State& state) { FitOneCurve(state, true); }
BENCHMARK(BM_DefaultFit)->Arg(1)->Arg(8)->Iterations(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LimitedFit)->Arg(1)->Arg(8)->Iterations(64)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first 32 curves of the corpus as one set.
void BM_FitAllCurves(benchmark::State& state) {
  FitPool pool(static_cast<int32_t>(state.range(0)));
  FitEngine engine;
  engine.Pool = &pool;
  for (auto _ : state) {
    const std::vector<SingularityListRecord> R = FitCorpusCurves(Grid(), std::span(Corpus()).first(32), 1, engine);
    benchmark::DoNotOptimize(R);
  }
}
BENCHMARK(BM_FitAllCurves)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
