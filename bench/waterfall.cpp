// The waterfall of a set at 48 kHz with 2^17-sample impulses: computed for one
// and 32 results at a 20 ms gate (display resolution 0, transforms of 2^12) and a
// 200 ms gate (resolution 4, 2^17), the filtered waterfall alone with 75 applied
// filters, and a redraw of a stored waterfall; beside them the bare transforms of
// each computation on one core.
#include <benchmark/benchmark.h>

#include "qt_bench_main.h"
#include "synthetic_rooms.h"

#include <cmath>
#include <numbers>
#include <optional>
#include <random>
#include <vector>

#include "core/records.h"
#include "display/graph_frame.h"
#include "mainwindow/data_plotter.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"
#include "tools/three_d_form.h"

namespace zentor {
namespace {

DataPlotter& Main() {
  static DataPlotter* w = [] {
    auto* p = new DataPlotter;
    Forms::Adopt(p);
    p->Form_Load();
    FillSyntheticRooms(EQConfig.NumInSet);
    InstallWaterfallLinks();
    return p;
  }();
  return *w;
}

// The set of n results shown in a Bode view of 20 Hz to 20 kHz.
void Prepare(int32_t n, float gate, int32_t resolution) {
  DataPlotter& main = Main();
  main.SetDisplayRes(resolution);
  ResultsDataSetInfo[0].NumInSet = n;
  ResultsDataSetInfo[0].FreqRespGateTime = gate;
  FreqGraphFrame.XStart = 20;
  FreqGraphFrame.XFinish = 20000;
  BodeCurves[0].NumPoints = 2;
  BodeCurves[0].XValues[0] = 10;
  BodeCurves[0].XValues[1] = 23000;
  AppliedFilters[0].Count = 0;
}

void ApplyFilters(int32_t count) {
  AppliedFilters[0].Count = count;
  for (int32_t k = 0; k < count; ++k) {
    FilterRecord& r = AppliedFilters[static_cast<size_t>(k)];
    r.Freq1 = static_cast<float>(2 * std::numbers::pi * 30 * std::pow(1.09, k));
    r.Q1 = (k % 2 == 0) ? -4.0f : 3.0f;
    r.Q2 = 2;
    r.EQEmulationCode = 1;
  }
}

// args: results, gate ms, display resolution.
void BM_ComputeWaterfall(benchmark::State& state) {
  Prepare(static_cast<int32_t>(state.range(0)), static_cast<float>(state.range(1)),
          static_cast<int32_t>(state.range(2)));
  ThreeDForm* form = Forms::Get<ThreeDForm>();
  for (auto _ : state) {
    form->StoredSettings = WaterfallSettings{};  // asks and recomputes
    form->Initialize("bench.cfa");
  }
  state.counters["k"] = std::log2(48000.0 / (form->UnfilteredSlices[0].Freqs[1] - form->UnfilteredSlices[0].Freqs[0]));
}
BENCHMARK(BM_ComputeWaterfall)->Args({1, 20, 0})->Args({32, 20, 0})->Args({32, 200, 4})->Unit(benchmark::kMillisecond);

// The filtered waterfall alone, 32 results, 75 applied filters.
void BM_ComputeFilteredWaterfall(benchmark::State& state) {
  Prepare(32, static_cast<float>(state.range(0)), static_cast<int32_t>(state.range(1)));
  ThreeDForm* form = Forms::Get<ThreeDForm>();
  form->StoredSettings = WaterfallSettings{};
  form->Initialize("bench.cfa");
  ApplyFilters(75);
  for (auto _ : state) {
    form->StoredFilters = FilterSnapshot{};  // only the filtered set is computed
    form->Initialize("bench.cfa");
  }
  AppliedFilters[0].Count = 0;
}
BENCHMARK(BM_ComputeFilteredWaterfall)->Args({20, 0})->Args({200, 4})->Unit(benchmark::kMillisecond);

// The combined response of 75 sections over 2^17 bins, formed once per filtered run.
void BM_FormEqualiserResponse(benchmark::State& state) {
  Main();
  ApplyFilters(75);
  FilterSnapshot snapshot;
  SnapshotAppliedFilters(snapshot);
  AppliedFilters[0].Count = 0;
  std::vector<float> re(size_t{1} << 17), im(size_t{1} << 17);
  for (auto _ : state) benchmark::DoNotOptimize(FormEqualiserResponse(snapshot, 48000, 17, re, im));
}
BENCHMARK(BM_FormEqualiserResponse)->Unit(benchmark::kMillisecond);

// 35 x n transforms of 2^k on one core: the floor under each computation.
void BM_BareTransforms(benchmark::State& state) {
  const auto n = static_cast<int32_t>(state.range(0));
  const auto k = static_cast<int32_t>(state.range(1));
  std::vector<float> re(size_t{1} << k), im(size_t{1} << k);
  std::mt19937 random(3);
  std::uniform_real_distribution<float> u(-1, 1);
  for (auto _ : state) {
    for (int32_t i = 0; i < 35 * n; ++i) {
      for (size_t j = 0; j < 4096 && j < re.size(); ++j) re[j] = u(random) * 0.001f;
      ClearArray(im, 1 << k);
      fft(re, im, k);
      benchmark::DoNotOptimize(re.data());
    }
  }
}
BENCHMARK(BM_BareTransforms)->Args({1, 12})->Args({32, 12})->Args({32, 17})->Unit(benchmark::kMillisecond);

// A stored waterfall of 2000-point slices drawn again: frame and 35 polygons.
void BM_RedrawWaterfall(benchmark::State& state) {
  Prepare(32, 20, 0);
  ThreeDForm* form = Forms::Get<ThreeDForm>();
  form->StoredSettings = WaterfallSettings{};
  form->Initialize("bench.cfa");
  for (auto _ : state) form->ShowWaterfall(false);
}
BENCHMARK(BM_RedrawWaterfall)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) { return zentor::RunQtBenchmarks(argc, argv); }
