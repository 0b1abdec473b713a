// The simulated card's render of a measurement job and the engine's own cost per
// device cycle.
#include <benchmark/benchmark.h>

#include <QObject>
#include <cmath>
#include <vector>

#include "platform/audio/portaudio_backend.h"
#include "platform/audio/simulated_sound_card.h"
#include "platform/audio/sound_devices.h"
#include "platform/audio/wave_streaming.h"
#include "qt_bench_main.h"

namespace zentor {
namespace {

std::vector<int16_t> Noise(int32_t n) {
  std::vector<int16_t> v(static_cast<std::size_t>(n));
  uint32_t x = 12345;
  for (auto& s : v) {
    x = x * 1664525u + 1013904223u;
    s = static_cast<int16_t>(static_cast<int32_t>(x >> 16) - 32768) / 3;
  }
  return v;
}

// A 327680-frame play and record job through the default room at 48 kHz, both inputs
// with noise, on the manual clock in 1024-frame cycles: card and engine together.
void BM_SimulatedJob(benchmark::State& state) {
  constexpr int32_t n = 327680;
  SimulatedCardSettings s;
  s.clock = SimulatedCardSettings::Clock::Manual;
  s.blockSize = 1024;
  SimulatedSoundCard::Instance().SetSettings(s);
  const auto left = Noise(n), right = Noise(n);
  QObject window;
  for (auto _ : state) {
    state.PauseTiming();
    PlayOutPrep(&window, SimulatedCardIndex(), 48000, left, right, n);
    RecInPrep(&window, SimulatedCardIndex(), 48000, n);
    PlayOut();
    RecIn();
    state.ResumeTiming();
    SimulatedSoundCard::Instance().Advance(n);
    state.PauseTiming();
    DrainWaveCompletions();
    CleanPlayOut();
    CleanRecIn();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_SimulatedJob)->Unit(benchmark::kMillisecond);

// The engine alone: a PortAudio stand-in whose stream callback the benchmark calls.
PaStreamCallback* g_callback = nullptr;
void* g_user = nullptr;
PaDeviceInfo g_info{2, "bench (hw:0,0)", 0, 2, 2, 0.01, 0.01, 0.1, 0.1, 48000};
PaError Ok() { return paNoError; }
PaDeviceIndex One() { return 1; }
PaDeviceIndex Zero() { return 0; }
const PaDeviceInfo* Info(PaDeviceIndex) { return &g_info; }
PaHostApiIndex Host(PaHostApiTypeId) { return 0; }
PaError Supported(const PaStreamParameters*, const PaStreamParameters*, double) { return paFormatIsSupported; }
PaError Open(PaStream** s, const PaStreamParameters*, const PaStreamParameters*, double, unsigned long, PaStreamFlags,
             PaStreamCallback* cb, void* user) {
  static int stream;
  *s = &stream;
  g_callback = cb;
  g_user = user;
  return paNoError;
}
PaError Finished(PaStream*, PaStreamFinishedCallback*) { return paNoError; }
PaError Nop(PaStream*) { return paNoError; }
const PaStreamInfo* Info2(PaStream*) { return nullptr; }
const char* Text(PaError) { return ""; }
const PortAudioApi kBenchApi{Ok, Ok, One, Info, Host, Zero, Zero, Supported, Open, Finished, Nop, Nop, Nop, Info2, Text};

void BM_EngineCycle(benchmark::State& state) {
  UsePortAudioApi(&kBenchApi);
  ForgetSoundDevices();
  constexpr int32_t n = 1 << 22;
  const auto buf = Noise(n);
  QObject window;
  PlayOutPrep(&window, 0, 48000, buf, buf, n);
  RecInPrep(&window, 0, 48000, n);
  PlayOut();
  RecIn();
  std::vector<int16_t> in(2048, 100), out(2048);
  int64_t frames = 0;
  for (auto _ : state) {
    if (frames + 1024 > n) {
      state.PauseTiming();
      ResetAudio();
      PlayOutPrep(&window, 0, 48000, buf, buf, n);
      RecInPrep(&window, 0, 48000, n);
      PlayOut();
      RecIn();
      frames = 0;
      state.ResumeTiming();
    }
    g_callback(in.data(), out.data(), 1024, nullptr, 0, g_user);
    frames += 1024;
  }
  ResetAudio();
  CloseIdleWaveStream();
  ForgetSoundDevices();
  UsePortAudioApi(nullptr);
}
BENCHMARK(BM_EngineCycle)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) { return zentor::RunQtBenchmarks(argc, argv); }
