// The Bode, fractional-octave, psychoacoustic, signal-to-noise and modal views of a
// full set (32 results at 48 kHz, 2^17 samples each, default gates, display
// resolution 4) drawn into a 1200 x 1200 picture: computed on every worker and on
// one, redrawn from the filed curves, and the 32nd result added; beside them the
// library responses alone, 32 on one core.
#include <benchmark/benchmark.h>

#include "qt_bench_main.h"
#include "synthetic_rooms.h"

#include <array>
#include <cmath>
#include <numbers>
#include <random>

#include "core/records.h"
#include "display/curve_workers.h"
#include "display/dispatcher.h"
#include "display/graph_frame.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "platform/numeric/numeric.h"
#include "platform/picture.h"

namespace zentor {
namespace {

DataPlotter& Window() {
  static DataPlotter* w = [] {
    auto* p = StartedWindow<DataPlotter>();
    static PictureBox picture;
    picture.resize(1200, 1200);
    p->MainGraphOverride = &picture;
    FillSyntheticRooms(32);
    FreqGraphFrame.LogX = kTrue;
    FreqGraphFrame.XStart = 20;
    FreqGraphFrame.XFinish = 20000;
    return p;
  }();
  return *w;
}

constexpr int64_t kViews[] = {kBodeView, kFractOctView, kPsycView, kNoiseView, kModalSliceView};

// Args: view, workers (0: one per hardware thread).
void BM_ViewComputed(benchmark::State& state) {
  DataPlotter& w = Window();
  DisplayConfig.Graphshown = static_cast<int32_t>(state.range(0));
  CurveWorkerLimit = static_cast<int32_t>(state.range(1));
  for (auto _ : state) w.DisplayResults(kRecomputeAllCurves);
  CurveWorkerLimit = 0;
}
BENCHMARK(BM_ViewComputed)
    ->ArgsProduct({{kViews[0], kViews[1], kViews[2], kViews[3], kViews[4]}, {0, 1}})
    ->ArgNames({"view", "workers"})
    ->Unit(benchmark::kMillisecond);

void BM_ViewFromCache(benchmark::State& state) {
  DataPlotter& w = Window();
  DisplayConfig.Graphshown = static_cast<int32_t>(state.range(0));
  w.DisplayResults(kRecomputeAllCurves);
  for (auto _ : state) w.DisplayResults(kRedrawFiledCurves);
}
BENCHMARK(BM_ViewFromCache)
    ->Arg(kViews[0])
    ->Arg(kViews[1])
    ->Arg(kViews[2])
    ->Arg(kViews[3])
    ->Arg(kViews[4])
    ->ArgName("view")
    ->Unit(benchmark::kMillisecond);

// The 32nd result arrives while views 6 or 7 are shown: one curve is computed.
void BM_ThirtySecondResultAdded(benchmark::State& state) {
  DataPlotter& w = Window();
  DisplayConfig.Graphshown = static_cast<int32_t>(state.range(0));
  CurveArray& filed = state.range(0) == kFractOctView ? FractOctCurves : PsycCurves;
  w.DisplayResults(kRecomputeAllCurves);
  for (auto _ : state) {
    filed[0].NumCurves = 31;
    w.ShowResult();
  }
}
BENCHMARK(BM_ThirtySecondResultAdded)->Arg(kFractOctView)->Arg(kPsycView)->ArgName("view")->Unit(benchmark::kMillisecond);

// The responses themselves, 32 in a row on this thread.
void BM_GetLogResponse32(benchmark::State& state) {
  Window();
  const MeasurementHeader& s = ResultsDataSetInfo[0];
  std::array<float, 2001> x{}, y{};
  for (auto _ : state)
    for (size_t k = 0; k < 32; ++k)
      GetLogResponse(ImpulseSet[k], s.FractOctGateTime, s.FractOctRes, 2400, 120, x, y, 17, 48000, {}, {}, 0);
}
BENCHMARK(BM_GetLogResponse32)->Unit(benchmark::kMillisecond);

void BM_GetPhsycologicalResponse32(benchmark::State& state) {
  Window();
  const MeasurementHeader& s = ResultsDataSetInfo[0];
  std::array<float, 2001> x{}, y{};
  for (auto _ : state)
    for (size_t k = 0; k < 32; ++k)
      GetPhsycologicalResponse(ImpulseSet[k], 1 << 17, s.PsycLFResolution, s.PsycGateTime, s.PsycShelfTime,
                               s.PsycShelfLevel, 2400, 400, x, y, 48000, 19053, {}, {}, 0);
}
BENCHMARK(BM_GetPhsycologicalResponse32)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) {
  return zentor::RunQtBenchmarks(argc, argv);
}
