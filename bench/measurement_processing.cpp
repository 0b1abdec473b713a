// The recording's way to a result: one channel's deconvolution against a plain FFT
// cross-correlation of the same length, the main-test processing with no main
// window to draw into, and a whole measurement on the simulated card.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/records.h"
#include "core/results_store.h"
#include "core/test_signals.h"
#include "core/work_arrays.h"
#include "mainwindow/data_plotter.h"
#include "measurement/audio_form.h"
#include "measurement/deconvolution.h"
#include "measurement/eq_audio_module.h"
#include "platform/audio/simulated_sound_card.h"
#include "platform/audio/sound_devices.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"
#include "qt_bench_main.h"

namespace zentor {
namespace {

constexpr int32_t kPre = 16;

// A periodic MLS of 2^p samples continued by 2^16.
std::vector<int16_t> Excitation(int32_t p) {
  std::vector<int16_t> e(kMaxRunFrames, 0);
  BuildMLSSequence(e, p, 15000);
  const int32_t n = 1 << p;
  e[static_cast<std::size_t>(n - 1)] = e[0];
  for (int32_t i = 0; i < (1 << kPre); ++i) e[static_cast<std::size_t>(n + i)] = e[static_cast<std::size_t>(i)];
  return e;
}

// The excitation through a three-tap path 480 samples late, with a little noise.
std::vector<float> Recording(const std::vector<int16_t>& e, int32_t p, double gain) {
  std::vector<float> r(kMaxRunFrames, 0.0f);
  const int32_t n = 1 << p;
  uint32_t noise = 12345;
  for (int32_t t = 0; t < n + (1 << kPre); ++t) {
    auto at = [&](int32_t d) { return double(e[static_cast<std::size_t>(((t - d) % n + n) % n)]); };
    noise = noise * 1664525u + 1013904223u;
    const double v = gain * (at(480) + 0.4 * at(620) - 0.2 * at(900)) + (double(noise >> 8) / (1 << 24) - 0.5);
    r[static_cast<std::size_t>(t)] = static_cast<float>(std::nearbyint(v));
  }
  return r;
}

void SetUpHeader(int32_t p) {
  AllocateWorkArrays(kWorkArrayPoints);
  MeasHeader = MeasurementHeader{};
  MeasHeader.SampleRate = 48000;
  MeasHeader.PeriodExponent = p;
  MeasHeader.PreExcitationExponent = kPre;
  MeasHeader.MeasConfig = 87;
  MeasHeader.AutoRange = kTrue;
}

// One pass of range(0) = P; the first registered run of each size is the cold one
// (the transforms' plans are made in it).
void BM_DeconvolveChannel(benchmark::State& state) {
  const auto p = static_cast<int32_t>(state.range(0));
  SetUpHeader(p);
  const std::vector<int16_t> e = Excitation(p);
  const std::vector<float> recorded = Recording(e, p, 0.5);
  std::vector<float> rec = recorded;
  const std::string order = std::to_string(p);
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(recorded.begin(), recorded.end(), rec.begin());
    int32_t q = kPre, position = 0;
    float peak = 0, signal = 0, noise = 0;
    int16_t success = kFalse;
    state.ResumeTiming();
    DeconvolveChannel(q, 2400, rec, e, order, position, peak, signal, noise, kTrue, success);
    benchmark::DoNotOptimize(rec.data());
    if (!success || signal <= 0) state.SkipWithError("pass failed");
  }
}
BENCHMARK(BM_DeconvolveChannel)->Name("BM_DeconvolveChannel/cold")->Arg(17)->Arg(18)->Iterations(1)->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_DeconvolveChannel)->Name("BM_DeconvolveChannel/warm")->Arg(17)->Arg(18)->Unit(benchmark::kMillisecond);

// The yardstick: circular cross-correlation of the same recording and excitation
// (two real forward transforms, conjugate product, inverse), single precision.
void BM_CrossCorrelation(benchmark::State& state) {
  const auto p = static_cast<int32_t>(state.range(0));
  const int32_t n = 1 << p;
  const std::vector<int16_t> e = Excitation(p);
  const std::vector<float> recorded = Recording(e, p, 0.5);
  std::vector<float> xr(n), xi(n), sr(n), si(n);
  for (auto _ : state) {
    state.PauseTiming();
    std::copy_n(recorded.begin() + (1 << kPre), n, xr.begin());
    std::copy_n(e.begin(), n, sr.begin());
    std::fill(xi.begin(), xi.end(), 0.0f);
    std::fill(si.begin(), si.end(), 0.0f);
    state.ResumeTiming();
    fft(xr, xi, p);
    fft(sr, si, p);
    for (int32_t k = 0; k < n; ++k) {
      const float a = xr[k], b = xi[k], c = sr[k], d = si[k];
      xr[k] = a * c + b * d;
      xi[k] = b * c - a * d;
    }
    ifft(xr, xi, p);
    benchmark::DoNotOptimize(xr.data());
  }
}
BENCHMARK(BM_CrossCorrelation)->Arg(17)->Arg(18)->Unit(benchmark::kMillisecond);

// Both passes, the transfer function and the store, no main window loaded (so
// nothing is drawn); range(0) = P.
void BM_ProcessMainTest(benchmark::State& state) {
  const auto p = static_cast<int32_t>(state.range(0));
  SetUpHeader(p);
  EQConfig = MeasHeader;
  AudioForm* form = Forms::Get<AudioForm>();
  const std::vector<int16_t> e = Excitation(p);
  const std::vector<float> ref = Recording(e, p, 0.5), mic = Recording(e, p, 0.1);
  std::copy(e.begin(), e.end(), PlayBufferA.begin());
  std::copy(e.begin(), e.end(), PlayBufferB.begin());
  const MeasurementHeader run = MeasHeader;
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(ref.begin(), ref.end(), RecordBufferA.begin());
    std::copy(mic.begin(), mic.end(), RecordBufferB.begin());
    ResultsDataSetInfo[0].NumInSet = 0;
    MeasHeader = run;
    form->TestMode = -3;
    SoundCardBusy = true;
    state.ResumeTiming();
    form->AudioRecordProcess();
    if (SoundCardBusy || ResultsDataSetInfo[0].NumInSet != 1) state.SkipWithError("nothing stored");
  }
  Forms::Unload<AudioForm>();
}
BENCHMARK(BM_ProcessMainTest)->Arg(17)->Arg(18)->Unit(benchmark::kMillisecond);

// RunMainTest to the result drawn in the main window, the card on its Instant
// clock (P 17, 48 kHz, sweeps, the default room).
void BM_MeasurementEndToEnd(benchmark::State& state) {
  SimulatedCardSettings s;
  s.clock = SimulatedCardSettings::Clock::Instant;
  s.blockSize = 1024;
  SimulatedSoundCard::Instance().SetSettings(s);
  auto* main = Forms::Get<DataPlotter>();
  main->Form_Load();
  main->show();
  WaveDeviceId = SimulatedCardIndex();
  EQConfig.SampleRate = 48000;
  EQConfig.PeriodExponent = 17;
  EQConfig.AutoRange = kTrue;
  EQConfig.MeasConfig = 87;
  AudioForm* form = Forms::Get<AudioForm>();
  form->RefreshRunSettings();
  for (auto _ : state) {
    state.PauseTiming();
    ResultsDataSetInfo[0].NumInSet = 0;
    state.ResumeTiming();
    form->RunMainTest();
    while (SoundCardBusy) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    if (ResultsDataSetInfo[0].NumInSet != 1) state.SkipWithError("nothing stored");
  }
  Forms::Unload<AudioForm>();
}
BENCHMARK(BM_MeasurementEndToEnd)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) { return zentor::RunQtBenchmarks(argc, argv); }
