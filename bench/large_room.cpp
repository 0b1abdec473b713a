// The large-room window's computations on sets measured at period exponent 18 and
// analysed as the stored 2^17 samples at 48 kHz: the RT60 view over all 30 bands
// for one pair and for 16 pairs, beside the same number of bare band-pass runs on
// one thread; the Schroeder view; and the energy-time curve of a 10 Hz band.
#include <benchmark/benchmark.h>

#include "qt_bench_main.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "core/filter_design.h"
#include "core/filter_run.h"
#include "core/records.h"
#include "mainwindow/data_plotter.h"
#include "platform/forms.h"
#include "tools/data_integrity_form.h"

namespace zentor {
namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kSamples = 1 << 17;

// n curves: three decaying tones over a little noise, each curve its own noise.
void LoadRoom(int32_t n) {
  std::mt19937 gen(7);
  std::normal_distribution<double> noise(0.0, 1e-3);
  ResultsDataSetInfo[0].NumInSet = n;
  for (int32_t k = 0; k < n; ++k) {
    MeasurementHeader& h = ResultsDataSetInfo[static_cast<size_t>(k)];
    h.SampleRate = kRate;
    h.PeriodExponent = 18;
    auto& x = ImpulseSet[static_cast<size_t>(k)];
    for (int32_t i = 0; i < kSamples; ++i) {
      double v = noise(gen);
      if (i >= 2400) {
        const double t = double(i - 2400) / kRate;
        for (const auto& [f, rt] : {std::pair{256.0, 1.2}, {1024.0, 0.8}, {4096.0, 0.5}})
          v += std::exp(-6.9078 * t / rt) * std::sin(2 * std::numbers::pi * f * t);
      }
      x[static_cast<size_t>(i)] = static_cast<float>(v);
    }
  }
}

DataIntegrityForm& Window(int32_t curves) {
  static DataPlotter* main = [] {
    auto* p = new DataPlotter;
    Forms::Adopt(p);
    p->Form_Load();
    return p;
  }();
  (void)main;
  static int32_t loaded = 0;
  DataIntegrityForm& f = *Forms::Get<DataIntegrityForm>();
  if (loaded != curves) {
    LoadRoom(curves);
    bool ok = false;
    f.Initialize(1, ok);
    loaded = curves;
  }
  return f;
}

void BM_RT60View(benchmark::State& state) {
  DataIntegrityForm& f = Window(static_cast<int32_t>(state.range(0)));
  f.RTBut->setChecked(true);
  for (auto _ : state) {
    f.ClearRTSixty();
    f.ComputeDecayView(1);
    benchmark::DoNotOptimize(f.DecayY.data());
  }
}
BENCHMARK(BM_RT60View)->ArgName("curves")->Arg(2)->Arg(32)->UseRealTime()->Unit(benchmark::kMillisecond);

// Two band filters per band and pair, one after another on this thread.
void BM_BareBandPassRuns(benchmark::State& state) {
  Window(2);
  const int32_t runs = static_cast<int32_t>(state.range(0));
  std::vector<float> x(kSamples), scratch(kSamples);
  FilterBlock block;
  for (auto _ : state)
    for (int32_t r = 0; r < runs; ++r) {
      std::copy_n(ImpulseSet[0].begin(), kSamples, x.begin());
      BandPassFilterSignal(x, scratch, kRate, 17, 912, 1149, block);
      benchmark::DoNotOptimize(x.data());
    }
}
BENCHMARK(BM_BareBandPassRuns)->ArgName("runs")->Arg(60)->Arg(960)->Unit(benchmark::kMillisecond);

void BM_SchroederView(benchmark::State& state) {
  DataIntegrityForm& f = Window(2);
  f.SchroederBut->setChecked(true);
  f.BPFilter->setChecked(false);
  for (auto _ : state) {
    f.ComputeDecayView(1);
    benchmark::DoNotOptimize(f.DecayY.data());
  }
}
BENCHMARK(BM_SchroederView)->Unit(benchmark::kMillisecond);

// 1000 to 1010 Hz: a smoothing width of 2400 samples over 7200 taps.
void BM_NarrowBandEnergyTimeCurve(benchmark::State& state) {
  DataIntegrityForm& f = Window(2);
  f.EnergyBut->setChecked(true);
  f.BPFilter->setChecked(true);
  f.LFText->setText("1000");
  f.HFText->setText("1010");
  for (auto _ : state) {
    f.ComputeDecayView(1);
    benchmark::DoNotOptimize(f.DecayY.data());
  }
  f.BPFilter->setChecked(false);
}
BENCHMARK(BM_NarrowBandEnergyTimeCurve)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) { return zentor::RunQtBenchmarks(argc, argv, {}, [] { zentor::Forms::DeleteAll(); }); }
