// Fractional-octave and psychoacoustic curves: 32 of each, transforms included.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "platform/numeric/numeric.h"
#include "platform/numeric/numeric_internal.h"

namespace {

std::vector<float> RoomImpulse() {
  std::vector<float> h(1 << 17, 0.0f);
  unsigned s = 1;
  for (std::size_t i = 2400; i < h.size(); ++i) {
    s = s * 1664525u + 1013904223u;
    const float noise = static_cast<float>(s >> 9) / 8388608.0f - 1.0f;
    h[i] = noise * std::exp(-static_cast<float>(i - 2400) / 7000.0f);
  }
  return h;
}

void BM_32LogResponses(benchmark::State& state) {
  const auto h = RoomImpulse();
  std::vector<float> x(120), y(120);
  for (int i = 0; i < 4; ++i) zentor::GetLogResponse(h, 500.0f, 1.0f / 6, 2400, 120, x, y, 16, 48000, {}, {}, 0);
  zentor::numeric_detail::AdoptTunedPlans();
  for (auto _ : state) {
    for (int c = 0; c < 32; ++c) zentor::GetLogResponse(h, 500.0f, 1.0f / 6, 2400, 120, x, y, 16, 48000, {}, {}, 0);
    benchmark::DoNotOptimize(y.data());
  }
}
BENCHMARK(BM_32LogResponses)->Unit(benchmark::kMillisecond);

void BM_32PsychoacousticResponses(benchmark::State& state) {
  const auto h = RoomImpulse();
  std::vector<float> x(400), y(400);
  for (int i = 0; i < 4; ++i)
    zentor::GetPhsycologicalResponse(h, 1 << 17, 1.0f / 3, 5.0f, 200.0f, -10.0f, 2400, 400, x, y, 48000, 20000.0f, {},
                                     {}, 0);
  zentor::numeric_detail::AdoptTunedPlans();
  for (auto _ : state) {
    for (int c = 0; c < 32; ++c)
      zentor::GetPhsycologicalResponse(h, 1 << 17, 1.0f / 3, 5.0f, 200.0f, -10.0f, 2400, 400, x, y, 48000, 20000.0f,
                                       {}, {}, 0);
    benchmark::DoNotOptimize(y.data());
  }
}
BENCHMARK(BM_32PsychoacousticResponses)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
