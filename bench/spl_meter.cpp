// The SPL meter's work on each block: the microphone channel copied out, one
// transform of the block and the band's mean power. The next block is requested
// only after it, so it bounds the gap between blocks.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "analysers/spl_meter.h"
#include "platform/numeric/numeric.h"

namespace zentor {
namespace {

void BM_SplBlock(benchmark::State& state) {
  const auto order = static_cast<int32_t>(state.range(0));
  const int32_t n = int32_t{1} << order;
  std::vector<float> block(static_cast<size_t>(n));
  uint32_t x = 12345;
  for (float& v : block) {
    x = x * 1664525u + 1013904223u;
    v = static_cast<float>(static_cast<int32_t>(x >> 16) - 32768) * 0.05f;
  }
  std::vector<float> re(size_t{1} << 18), im(size_t{1} << 18);
  const SplBand band = SplBandBins(500, 5000, n, 48000);
  float power = 0;
  for (auto _ : state) {
    CopySingle(block, re, n);
    if (!SplMeanBandPower(re, im, order, band, power)) state.SkipWithError("band");
    benchmark::DoNotOptimize(power);
  }
}
BENCHMARK(BM_SplBlock)->ArgName("order")->Arg(15)->Arg(17)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentor

BENCHMARK_MAIN();
