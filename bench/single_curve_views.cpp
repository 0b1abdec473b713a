// The single-curve views of one result at 48 kHz with 2^17 samples: the
// energy-time view in its three default bands and in one narrow low band, the
// band-passed impulse with a 75-filter twin, and the frequency view of three
// responses with their twins for 10 filters.
#include <benchmark/benchmark.h>

#include "qt_bench_main.h"
#include "synthetic_rooms.h"

#include <cmath>
#include <numbers>
#include <random>

#include "core/records.h"
#include "display/dispatcher.h"
#include "display/graph_frame.h"
#include "display/single_curve_views.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"

namespace zentor {
namespace {

DataPlotter& Window() {
  static DataPlotter* w = [] {
    auto* p = StartedWindow<DataPlotter>();
    SetBenchHeaders(1, 1);
    auto& x = ImpulseSet[0];
    x.fill(0.0f);
    std::mt19937 gen(1);
    std::normal_distribution<float> noise(0.0f, 0.1f);
    x[2400] = 1.0f;
    for (size_t i = 2400 + 240; i < x.size(); ++i) x[i] = noise(gen) * std::exp(-(i - 2400.0f) / 3000.0f);
    TimeGraphFrame.XStart = -10;
    TimeGraphFrame.XFinish = 32;
    return p;
  }();
  return *w;
}

void ApplyFilters(int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    FilterRecord& r = AppliedFilters[static_cast<size_t>(i)];
    r = FilterRecord{};
    r.Freq1 = static_cast<float>(2 * std::numbers::pi * 40.0 * std::pow(1.07, i));
    r.Q1 = i % 2 ? -4.0f : 4.0f;
    r.Q2 = 2.0f;
    r.EQEmulationCode = 2;
  }
  AppliedFilters[0].Count = n;
}

void BM_EnergyTimeThreeBands(benchmark::State& state) {
  DataPlotter& w = Window();
  ApplyFilters(0);
  SetDefaultImpulseDisplay(ImpulseDisplayConfig);
  ImpulseDisplayConfig.ShowETC = kTrue;
  for (auto _ : state) ShowImpulseCurve(w, 0);
}
BENCHMARK(BM_EnergyTimeThreeBands)->Unit(benchmark::kMillisecond);

void BM_EnergyTimeLowBand(benchmark::State& state) {
  DataPlotter& w = Window();
  ApplyFilters(0);
  SetDefaultImpulseDisplay(ImpulseDisplayConfig);
  ImpulseDisplayConfig.ShowETC = kTrue;
  ImpulseDisplayConfig.ETCMinLow = 20;
  ImpulseDisplayConfig.ETCMinHigh = 40;
  ImpulseDisplayConfig.ApplyMidETC = ImpulseDisplayConfig.ApplyHighETC = kFalse;
  for (auto _ : state) ShowImpulseCurve(w, 0);
}
BENCHMARK(BM_EnergyTimeLowBand)->Unit(benchmark::kMillisecond);

void BM_ImpulseBandPassWith75FilterTwin(benchmark::State& state) {
  DataPlotter& w = Window();
  ApplyFilters(75);
  SetDefaultImpulseDisplay(ImpulseDisplayConfig);
  // The defaults keep the view mode, which the energy-time runs above left on.
  ImpulseDisplayConfig.ShowETC = kFalse;
  ImpulseDisplayConfig.FilterOn = kTrue;
  ImpulseDisplayConfig.UpperCutoffFreq = 2000;
  for (auto _ : state) ShowImpulseCurve(w, 0);
}
BENCHMARK(BM_ImpulseBandPassWith75FilterTwin)->Unit(benchmark::kMillisecond);

void BM_FrequencyViewThreeResponsesTenFilters(benchmark::State& state) {
  DataPlotter& w = Window();
  ApplyFilters(0);
  for (int32_t view : {kBodeView, kPsycView, kFractOctView}) {
    DisplayConfig.Graphshown = view;
    w.DisplayResults(kRecomputeAllCurves);
  }
  ApplyFilters(10);
  DisplayConfig.ShowBodeInSingleView = DisplayConfig.ShowPsycInSingleView = DisplayConfig.ShowFractOctInSingleView = 1;
  for (auto _ : state) ShowFrequencyCurve(w, 0);
}
BENCHMARK(BM_FrequencyViewThreeResponsesTenFilters)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) {
  return zentor::RunQtBenchmarks(argc, argv);
}
