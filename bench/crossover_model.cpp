// The crossover model run at 48 kHz over 2^17 samples: three ways, each with two
// eighth-order Linkwitz-Riley sections, two shelves and 75 .EQ filters; one group
// and ten groups, the sum view, its chains on the workers or all on one thread. The
// chains alone and the whole run with its redraw are timed apart, beside 75 peaking
// filters over 2^17 samples on one core.
#include <benchmark/benchmark.h>

#include "qt_bench_main.h"

#include <cmath>
#include <vector>

#include "core/filter_run.h"
#include "core/records.h"
#include "crossover/xover_chain.h"
#include "crossover/xover_form.h"
#include "crossover/xover_model.h"
#include "display/curve_workers.h"
#include "mainwindow/data_plotter.h"
#include "platform/forms.h"

namespace zentor {
namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kSamples = 1 << 17;

XoverSetArray HeavySets() {
  XoverSetArray sets{};
  for (size_t j = 0; j < 3; ++j) {
    XoverSetRecord& r = sets[j];
    r.Ways = 3;
    r.HPOn = r.LPOn = 1;
    r.HPType = r.LPType = kFilterTypeLinkwitzRiley;
    r.HPOrder = r.LPOrder = 8;
    r.HPCorner = 100.0f * float(j + 1);
    r.LPCorner = 2000.0f * float(j + 1);
    r.Shelf1On = r.Shelf2On = 1;
    r.Shelf1Freq = 300, r.Shelf2Freq = 5000;
    r.Shelf1Level = 3, r.Shelf2Level = -4;
    r.EQFileOn = 1;
    r.EQFilterCount = 75;
    r.EQEmulationCode = 1;
    for (size_t k = 0; k < 75; ++k) {
      r.EQFreq[k] = 6.283 * (30.0 + 200.0 * double(k));
      r.EQQ1[k] = k % 2 ? -4.0 : 4.0;
      r.EQQ2[k] = 2.0;
    }
  }
  return sets;
}

void Load(int32_t n) {
  ResultsDataSetInfo[0].NumInSet = n;
  for (int32_t k = 0; k < n; ++k) {
    ResultsDataSetInfo[size_t(k)].SampleRate = kRate;
    ResultsDataSetInfo[size_t(k)].PeriodExponent = 17;
    // A set saved from this view carries its smoothing in every header.
    ResultsDataSetInfo[size_t(k)].FractOctRes = 0.1f;
    ResultsDataSetInfo[size_t(k)].FractOctGateTime = 200.0f;
    auto& x = ImpulseSet[size_t(k)];
    std::fill(x.begin(), x.end(), 0.0f);
    x[3000] = 1.0f;
  }
}

DataPlotter* Plotter() {
  static DataPlotter* p = [] {
    auto* w = new DataPlotter;
    Forms::Adopt(w);
    w->Form_Load();
    // The view the window's opening selects: the modelled set as fractional-octave curves.
    Load(3);
    SetMainDisplayForXover();
    return w;
  }();
  return p;
}

// args: curves, workers (0: one per hardware thread, 1: all on the calling thread).
void BM_ModelRun(benchmark::State& state) {
  const int32_t curves = static_cast<int32_t>(state.range(0));
  const XoverSetArray sets = HeavySets();
  XoverModel model;
  Load(curves);
  model.TakeBackup();
  CurveWorkerLimit = static_cast<int32_t>(state.range(1));
  for (auto _ : state) RunXoverModel(model, sets, XoverView::Sum, *Plotter());
  CurveWorkerLimit = 0;
}
BENCHMARK(BM_ModelRun)
    ->ArgNames({"curves", "workers"})
    ->Args({3, 0})
    ->Args({30, 0})
    ->Args({30, 1})
    ->Unit(benchmark::kMillisecond);

void BM_ThreeWayChains(benchmark::State& state) {
  const XoverSetArray sets = HeavySets();
  std::vector<float> x(kSamples), scratch(kSamples);
  FilterBlock block{}, section{};
  XoverChainContext ctx{scratch, &block, &section, kRate};
  for (auto _ : state)
    for (int32_t j = 0; j < 3; ++j) {
      std::fill(x.begin(), x.end(), 0.0f);
      x[3000] = 1.0f;
      ApplyXoverSet(sets[size_t(j)], j, x, kSamples, ctx);
    }
}
BENCHMARK(BM_ThreeWayChains)->Unit(benchmark::kMillisecond);

void BM_PeakingFiltersOneCore(benchmark::State& state) {
  std::vector<float> x(kSamples), scratch(kSamples);
  std::array<FilterRecord, 75> filters{};
  filters[0].Count = 75;
  for (size_t k = 0; k < 75; ++k) {
    filters[k].Freq1 = float(6.283 * (30.0 + 200.0 * double(k)));
    filters[k].Q1 = -4, filters[k].Q2 = 2, filters[k].EQEmulationCode = 1;
  }
  FilterBlock block{};
  for (auto _ : state) {
    x[3000] = 1.0f;
    RunFilterChainOnSignal(x, scratch, 17, kRate, block, filters);
  }
}
BENCHMARK(BM_PeakingFiltersOneCore)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) { return zentor::RunQtBenchmarks(argc, argv, {}, [] { zentor::Forms::DeleteAll(); }); }
