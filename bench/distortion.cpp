// The distortion window's analysis of one recorded test and its signal builds.
#include <benchmark/benchmark.h>

#include <QLineEdit>
#include <QRadioButton>
#include <cmath>

#include "analysers/distortion_form.h"
#include "core/records.h"
#include "qt_bench_main.h"

namespace zentor {
namespace {

DistForm* Window() {
  static DistForm* f = [] {
    EQConfig.SampleRate = 48000;
    auto* w = new DistForm;
    w->Order->setText("3");
    return w;
  }();
  return f;
}

// The spectra that ProcessDistortionData builds, from a recording of 16 tones.
void ProcessData(benchmark::State& state) {
  DistForm* f = Window();
  std::vector<float> recording(kDistTestLength);
  for (std::size_t i = 0; i < recording.size(); ++i) recording[i] = static_cast<float>(f->TonePlayB[i]) * 0.5f;
  for (auto _ : state) {
    state.PauseTiming();
    f->SignalRecB = recording;
    state.ResumeTiming();
    // The steps after the fetch: level check, spectra, analysis.
    f->ProcessDistortionData();
  }
}
BENCHMARK(ProcessData)->Unit(benchmark::kMillisecond);

void LoadMultitone(benchmark::State& state) {
  DistForm* f = Window();
  for (auto _ : state) f->LoadTestTone();
}
BENCHMARK(LoadMultitone)->Unit(benchmark::kMillisecond);

void LoadTwoTone(benchmark::State& state) {
  DistForm* f = Window();
  f->TwinToneType->setChecked(true);
  f->Tone1->setText("1000");
  f->Tone2->setText("1300");
  for (auto _ : state) f->LoadTestTone();
  f->MultiToneType->setChecked(true);
}
BENCHMARK(LoadTwoTone)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) { return zentor::RunQtBenchmarks(argc, argv); }
