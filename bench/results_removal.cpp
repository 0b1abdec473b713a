// Removing results through the main window: one result of a full set, whose
// eight view caches each hold 32 curves of 2001 points, and the clear of that
// set (result 1 removed 32 times, with the progress bar and the final redraw).
#include <benchmark/benchmark.h>

#include "qt_bench_main.h"

#include "core/records.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"

namespace zentor {
namespace {

DataPlotter& Window() {
  static DataPlotter* w = [] {
    auto* p = StartedWindow<DataPlotter>();
    DisplayConfig.Graphshown = kImpulseView;
    return p;
  }();
  return *w;
}

void FillFullSet() {
  for (size_t k = 0; k < kMaxResults; ++k) {
    MeasurementHeader& h = ResultsDataSetInfo[k];
    h = EQConfig;
    h.NumInSet = kMaxResults;
    h.SampleRate = 48000;
    h.PeriodExponent = 17;
    ImpulseSet[k].fill(static_cast<float>(k + 1));
    for (CurveArray* cache : {&NoiseCurves, &ImpulseCurves, &BodeCurves, &ModalCurves, &PsycCurves, &FractOctCurves,
                              &FitStoredCurves, &FitInputCurves}) {
      CurveRecord& r = (*cache)[k];
      r.NumCurves = kMaxResults;
      r.CurveIndex = static_cast<int32_t>(k);
      r.NumPoints = kMaxCurvePoints;
      r.YValues.fill(static_cast<float>(k));
      r.XValues.fill(1000.0f);
    }
    SingularityList[k].Count = kMaxFilters;
  }
}

void BM_RemoveFirstResultOfFullSet(benchmark::State& state) {
  DataPlotter& w = Window();
  for (auto _ : state) {
    state.PauseTiming();
    FillFullSet();
    state.ResumeTiming();
    w.RemoveResult(1);
    benchmark::DoNotOptimize(ImpulseSet[0][0]);
  }
}
BENCHMARK(BM_RemoveFirstResultOfFullSet)->Unit(benchmark::kMillisecond);

void BM_ClearFullSet(benchmark::State& state) {
  DataPlotter& w = Window();
  for (auto _ : state) {
    state.PauseTiming();
    FillFullSet();
    state.ResumeTiming();
    w.ClearMeasurementBuffers();
    benchmark::DoNotOptimize(ResultsDataSetInfo[0].NumInSet);
  }
}
BENCHMARK(BM_ClearFullSet)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) { return zentor::RunQtBenchmarks(argc, argv); }
