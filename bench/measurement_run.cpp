// The three excitation periods at P 17 and 18, and a measurement run from the
// button to the first cycle of the simulated card at P 18.
#include <benchmark/benchmark.h>

#include <QRadioButton>
#include <vector>

#include "core/records.h"
#include "core/test_signals.h"
#include "core/work_arrays.h"
#include "mainwindow/data_plotter.h"
#include "measurement/audio_form.h"
#include "measurement/excitation.h"
#include "platform/audio/simulated_sound_card.h"
#include "platform/audio/sound_devices.h"
#include "platform/audio/wave_streaming.h"
#include "platform/forms.h"
#include "qt_bench_main.h"

namespace zentor {
namespace {

// range(0): the excitation code; range(1): the period exponent.
void BM_Excitation(benchmark::State& state) {
  const auto config = static_cast<int32_t>(state.range(0));
  const auto p = static_cast<int32_t>(state.range(1));
  std::vector<float> sweep(1 << 18), signal((1 << 18) + 1), imaginary((1 << 18) + 1), extended(312145),
      filter(312145), shape(1 << 15);
  BuildPinkWeightingDb(shape, 1 << 15);
  shape[0] = shape[1];
  const ExcitationWork work{sweep, signal, imaginary, extended, filter};
  std::vector<int16_t> out(1 << p);
  for (auto _ : state) {
    bool ok = false;
    if (config == 42) ok = BuildCrossoverMLSExcitation(out, p, 48000, 300.0f, work);
    if (config == 43) ok = BuildHybridExcitation(shape, 15, out, p, 48000, work);
    if (config == 87) ok = BuildSweepExcitation(shape, 15, out, p, 48000, work);
    if (!ok) state.SkipWithError("build refused");
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_Excitation)->ArgsProduct({{42, 43, 87}, {17, 18}})->Unit(benchmark::kMillisecond);

// RunMainTest (checks, header, excitation, buffers, card start) and one 1024-frame
// card cycle, on the manual clock; range(0) is the excitation code.
void BM_RunMainTestToFirstCycle(benchmark::State& state) {
  SimulatedCardSettings s;
  s.clock = SimulatedCardSettings::Clock::Manual;
  s.blockSize = 1024;
  SimulatedSoundCard::Instance().SetSettings(s);
  auto* main = Forms::Get<DataPlotter>();
  main->Form_Load();
  WaveDeviceId = SimulatedCardIndex();
  EQConfig.SampleRate = 48000;
  EQConfig.PeriodExponent = 18;
  EQConfig.AutoRange = kTrue;
  EQConfig.MeasConfig = static_cast<int32_t>(state.range(0));
  AudioForm* form = Forms::Get<AudioForm>();
  form->RefreshRunSettings();
  for (auto _ : state) {
    form->RunMainTest();
    SimulatedSoundCard::Instance().Advance(1024);
    state.PauseTiming();
    if (!SoundCardBusy) state.SkipWithError("run did not start");
    form->ResetSound();
    state.ResumeTiming();
  }
  Forms::Unload<AudioForm>();
}
BENCHMARK(BM_RunMainTestToFirstCycle)->Arg(42)->Arg(43)->Arg(87)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) { return zentor::RunQtBenchmarks(argc, argv); }
