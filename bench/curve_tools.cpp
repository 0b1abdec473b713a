// The heavy operations of the file-operations window on a full set: resampling
// 32 results from 48 to 96 kHz (65536 samples each) and shortening 32 results
// of 2^17 samples, both through the window's buttons (the resample includes the
// redraw of the impulse view that ends it).
#include <benchmark/benchmark.h>

#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <cmath>

#include "qt_bench_main.h"

#include "core/records.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "platform/forms.h"
#include "display/curve_workers.h"
#include "tools/math_form.h"
#include "tools/result_set_operations.h"

namespace zentor {
namespace {

DataPlotter& Window() {
  static DataPlotter* w = [] {
    auto* p = Forms::Get<DataPlotter>();
    p->Form_Load();
    DisplayConfig.Graphshown = kImpulseView;
    return p;
  }();
  return *w;
}

void FillFullSet(int32_t exponent) {
  for (size_t k = 0; k < kMaxResults; ++k) {
    MeasurementHeader& h = ResultsDataSetInfo[k];
    h = EQConfig;
    h.NumInSet = kMaxResults;
    h.SampleRate = 48000;
    h.PeriodExponent = exponent;
    auto& row = ImpulseSet[k];
    for (size_t i = 0; i < row.size(); ++i)
      row[i] = i < (size_t{1} << exponent) ? std::exp(-float(i) / 3000.0f) * std::sin(0.1f * float(i + k)) : 0.0f;
  }
}

void BM_ResampleFullSet48To96k(benchmark::State& state) {
  Window();
  for (auto _ : state) {
    state.PauseTiming();
    FillFullSet(16);
    DataResampled = false;
    MathForm* f = Forms::Get<MathForm>();
    f->Initialize(6);
    f->NewSamText->setText("96000");
    state.ResumeTiming();
    f->ExecuteResample_Click();
    state.PauseTiming();
    Forms::Unload<MathForm>();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ResampleFullSet48To96k)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same 32 resamples on the window's workers, without the window or the redraw.
void BM_ResampleFullSetWorkersOnly(benchmark::State& state) {
  FillFullSet(16);
  const ResamplePlan plan = PlanResample(48000, 96000, 16);
  std::vector<float> out(size_t{kMaxResults} * kMaxSamples);
  for (auto _ : state) {
    ComputeAndFileInOrder(
        kMaxResults,
        [&](int32_t k, const WorkerScratch& scratch) {
          ResampleImpulse(plan, ImpulseSet[size_t(k)], scratch.A);
          std::copy_n(scratch.A.begin(), kMaxSamples, out.begin() + ptrdiff_t(k) * kMaxSamples);
        },
        [](int32_t, bool) { return true; });
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_ResampleFullSetWorkersOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// One result on one thread: the work a loaded machine has to share out.
void BM_ResampleOneResult(benchmark::State& state) {
  FillFullSet(16);
  const ResamplePlan plan = PlanResample(48000, 96000, 16);
  std::vector<float> buffer(kResampleBufferPoints);
  for (auto _ : state) {
    ResampleImpulse(plan, ImpulseSet[0], buffer);
    benchmark::DoNotOptimize(buffer.data());
  }
}
BENCHMARK(BM_ResampleOneResult)->Unit(benchmark::kMillisecond);

void BM_CompressFullSetOf2To17(benchmark::State& state) {
  Window();
  for (auto _ : state) {
    state.PauseTiming();
    FillFullSet(17);
    MathForm* f = Forms::Get<MathForm>();
    f->Initialize(7);
    f->PeriodSlider->setValue(16);
    state.ResumeTiming();
    f->CompressBut_Click();
    state.PauseTiming();
    Forms::Unload<MathForm>();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CompressFullSetOf2To17)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) { return zentor::RunQtBenchmarks(argc, argv); }
