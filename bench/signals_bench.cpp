// Test-signal builders and the emulation quantiser.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "core/emulation.h"
#include "core/test_signals.h"

namespace zentor {
namespace {

void BM_MLS16(benchmark::State& state) {
  const int order = static_cast<int>(state.range(0));
  std::vector<int16_t> a(size_t{1} << order);
  for (auto _ : state) {
    BuildMLSSequence(a, order, 15000);
    benchmark::DoNotOptimize(a.data());
  }
}
BENCHMARK(BM_MLS16)->Arg(17)->Arg(20)->Unit(benchmark::kMillisecond);

void BM_MLSSingle(benchmark::State& state) {
  const int order = static_cast<int>(state.range(0));
  std::vector<float> a(size_t{1} << order);
  for (auto _ : state) {
    BuildMLSSequenceSingle(a, order, 15000);
    benchmark::DoNotOptimize(a.data());
  }
}
BENCHMARK(BM_MLSSingle)->Arg(17)->Arg(20)->Unit(benchmark::kMillisecond);

// One channel of the start-up test CD (2^16 samples at 44.1 kHz, 20 tones).
void BM_TestCDChannel(benchmark::State& state) {
  TestCDSettings s;
  s.ToneCount = 20;
  s.SampleRate = 44100;
  s.Amplitude = 15000;
  s.Order = 16;
  s.Shaping = 5.0f;
  for (int i = 0; i < 20; ++i) {
    s.LeftToneBins[i] = static_cast<int32_t>(std::lround(65536.0 * (10250 + 500 * i) / 44100));
    s.RightToneBins[i] = static_cast<int32_t>(std::lround(65536.0 * (10000 + 500 * i) / 44100));
  }
  std::vector<int16_t> out(65536);
  for (auto _ : state) {
    BuildTestCDSignal(out, s, -1);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_TestCDChannel)->Unit(benchmark::kMillisecond);

// A full applied set of 75 filters whose codes alternate between the three stepped
// models, so every filter switches the current tables.
void BM_Snap75Filters(benchmark::State& state) {
  constexpr int kCodes[] = {1, 4, 5};
  for (auto _ : state) {
    for (int i = 0; i < 75; ++i) {
      float f = static_cast<float>(6.2831853 * 20 * std::pow(1000.0, i / 74.0));
      float q1 = (i % 2 ? -1.0f : 1.0f) * (2.0f + 0.1f * static_cast<float>(i % 7));
      float q2 = 1.1f;
      EmulateEQBand(kCodes[i % 3], f, q1, q2);
      benchmark::DoNotOptimize(f);
      benchmark::DoNotOptimize(q1);
    }
  }
}
BENCHMARK(BM_Snap75Filters)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zentor

BENCHMARK_MAIN();
