// The fit ending on the emulated equalisers' steps (codes 1, 4, 5), on a seeded
// corpus the stage was not tuned on: the corrected deviation of the set it
// leaves against the unquantised optimum of as many peaking filters, with the
// stage held to the continuous fit's count and free to add a section, beside
// snapping the continuous fit entry by entry; and what the stage adds to a
// curve's fit on one thread and on eight. ZENTOR_CORPUS_SEED=n draws another
// corpus, ZENTOR_CORPUS_TABLE=1 prints every curve.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "fit_corpus_bench.h"
#include "eqdesign/fit/fit_driver.h"

namespace {

using namespace zentor;
using namespace zentor::test;

constexpr uint32_t kSeed = 9173;
constexpr int32_t kCodes[] = {1, 4, 5};

const std::vector<float>& Grid() { return CorpusGrid(); }
const std::vector<CorpusCurve>& Corpus() { return SeededCorpus(kSeed); }

void BM_StepFitQuality(benchmark::State& state) {
  const bool table = std::getenv("ZENTOR_CORPUS_TABLE") != nullptr;
  const std::vector<float>& f = Grid();
  FitPool pool(8);
  FitEngine engine;
  engine.Pool = &pool;
  for (auto _ : state) {
    for (const int32_t code : kCodes) {
      std::vector<double> today, same, more, sameEither, moreEither;
      int32_t worseThanToday = 0, worseThanNone = 0, flatEntries = 0, added = 0;
      for (size_t c = 0; c < Corpus().size(); ++c) {
        const CorpusCurve& k = Corpus()[c];
        const double before = CorrectedRms(f, k.dB, SingularityListRecord{});
        const SingularityListRecord R = FitCorpusCurve(f, k, code, engine);
        FitLimits held;
        held.MaxFilters = std::max(R.Count, 1);
        const SingularityListRecord S = FitCorpusCurve(f, k, code, engine, held, true);
        const SingularityListRecord M = FitCorpusCurve(f, k, code, engine, {}, true);
        const double snapped = CorrectedRms(f, k.dB, SnappedSet(R, code));
        const double s = CorrectedRms(f, k.dB, S), m = CorrectedRms(f, k.dB, M);
        // What the applied list makes of the stage's set must be that set.
        if (CorrectedRms(f, k.dB, SnappedSet(M, code)) != m) state.SkipWithError("a stepped set moves when applied");
        if (m > snapped + 1e-9 || s > snapped + 1e-9) ++worseThanToday;
        if (m > before + 1e-9) ++worseThanNone;
        added += M.Count > R.Count;
        if (k.Flat) {
          flatEntries = std::max(flatEntries, M.Count);
          continue;
        }
        // The optimum of as many filters as the continuous fit left, from its
        // set and, when they are as many, from the truth; and beside it the
        // better of the optima from the truth and from the set, whatever their counts.
        const double fromSet = R.Count > 0 ? OptimumRms(f, k.dB, SingularitiesOf(R)) : before;
        const double fromTruth = OptimumRms(f, k.dB, k.Truth);
        const double opt = static_cast<size_t>(R.Count) == k.Truth.size() ? std::min(fromSet, fromTruth) : fromSet;
        const double either = std::min(fromSet, fromTruth);
        today.push_back(snapped / opt);
        same.push_back(s / opt);
        more.push_back(m / opt);
        moreEither.push_back(m / either);
        sameEither.push_back(s / either);
        if (table)
          std::printf("c%d %2zu n=%zu opt %6.3f today %5.2f (%d) same %5.2f (%d) more %5.2f (%d) either %5.2f %5.2f\n",
                      code, c, k.Truth.size(), opt, snapped / opt, R.Count, s / opt, S.Count, m / opt, M.Count,
                      s / either, m / either);
      }
      const std::string p = "c" + std::to_string(code) + "_";
      state.counters[p + "today_med"] = Quantile(today, 0.5);
      state.counters[p + "today_p90"] = Quantile(today, 0.9);
      state.counters[p + "same_med"] = Quantile(same, 0.5);
      state.counters[p + "same_p90"] = Quantile(same, 0.9);
      state.counters[p + "more_med"] = Quantile(more, 0.5);
      state.counters[p + "more_p90"] = Quantile(more, 0.9);
      state.counters[p + "same_either_med"] = Quantile(sameEither, 0.5);
      state.counters[p + "more_either_med"] = Quantile(moreEither, 0.5);
      state.counters[p + "worse_than_today"] = worseThanToday;
      state.counters[p + "worse_than_none"] = worseThanNone;
      state.counters[p + "flat_entries_max"] = flatEntries;
      state.counters[p + "added"] = added;
    }
  }
}
BENCHMARK(BM_StepFitQuality)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// A curve's fit for one code with and without the stage, the curves taken in
// turn; the counters are the medians over the corpus and of what the stage adds.
void BM_StepFitTime(benchmark::State& state) {
  const auto code = static_cast<int32_t>(state.range(0));
  FitPool pool(static_cast<int32_t>(state.range(1)));
  FitEngine engine;
  engine.Pool = &pool;
  std::vector<double> plain, stepped, extra, extraCpu;
  size_t c = 0;
  // The calling thread's processor time as well: on a loaded machine the
  // clock on the wall runs on while the thread waits for a core.
  const auto cpuMs = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return 1e3 * static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_nsec);
  };
  double cpu = 0;
  const auto time = [&](bool onSteps) {
    const double cpuStart = cpuMs();
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(FitCorpusCurve(Grid(), Corpus()[c], code, engine, {}, onSteps));
    cpu = cpuMs() - cpuStart;
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  };
  for (auto _ : state) {
    plain.push_back(time(false));
    const double plainCpu = cpu;
    stepped.push_back(time(true));
    extra.push_back(stepped.back() - plain.back());
    extraCpu.push_back(cpu - plainCpu);
    c = (c + 1) % Corpus().size();
  }
  state.counters["stage_cpu_ms"] = Quantile(extraCpu, 0.5);
  state.counters["fit_ms"] = Quantile(plain, 0.5);
  state.counters["stepped_ms"] = Quantile(stepped, 0.5);
  state.counters["stage_ms"] = Quantile(extra, 0.5);
  state.counters["stage_p90_ms"] = Quantile(extra, 0.9);
}
BENCHMARK(BM_StepFitTime)
    ->ArgsProduct({{1, 4, 5}, {1, 8}})
    ->Iterations(70)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
