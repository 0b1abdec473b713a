// The impulse view computed and redrawn, and the gated spectrum of a full set:
// 32 results at 48 kHz with 2^17 samples each, default gates.
#include <benchmark/benchmark.h>

#include "qt_bench_main.h"
#include "synthetic_rooms.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "core/records.h"
#include "display/graph_frame.h"
#include "mainwindow/data_plotter.h"
#include "display/time_views.h"
#include "display/view_state.h"

namespace zentor {
namespace {

DataPlotter& Window() {
  static DataPlotter* w = [] {
    auto* p = StartedWindow<DataPlotter>();
    SetBenchHeaders(32, 32);
    for (size_t k = 0; k < 32; ++k) {
      auto& x = ImpulseSet[k];
      x.fill(0.0f);
      const double f = 100.0 * (1 + k);
      for (size_t i = 0; i < 20000; ++i) {
        const double t = i / 48000.0;
        x[2400 + i] = static_cast<float>(std::exp(-t * 300) * std::sin(2 * std::numbers::pi * f * t));
      }
    }
    DisplayConfig.Graphshown = kImpulseView;
    TimeGraphFrame.XStart = -10;
    TimeGraphFrame.XFinish = 32;
    return p;
  }();
  return *w;
}

void BM_ImpulseViewComputed(benchmark::State& state) {
  DataPlotter& w = Window();
  for (auto _ : state) w.DisplayResults(kRecomputeAllCurves);
}
BENCHMARK(BM_ImpulseViewComputed)->Unit(benchmark::kMillisecond);

void BM_ImpulseViewFromCache(benchmark::State& state) {
  DataPlotter& w = Window();
  w.DisplayResults(kRecomputeAllCurves);
  for (auto _ : state) w.DisplayResults(kRedrawFiledCurves);
}
BENCHMARK(BM_ImpulseViewFromCache)->Unit(benchmark::kMillisecond);

void BM_GatedSpectrum32Results(benchmark::State& state) {
  DataPlotter& w = Window();
  std::array<float, 2001> level{}, freq{};
  int32_t n = 0;
  for (auto _ : state) {
    for (size_t k = 0; k < 32; ++k)
      ComputeGatedFFTMagnitude(w, ImpulseSet[k], 0, level, freq, n, ResultsDataSetInfo[k]);
    benchmark::DoNotOptimize(level.data());
  }
}
BENCHMARK(BM_GatedSpectrum32Results)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) {
  return zentor::RunQtBenchmarks(argc, argv);
}
