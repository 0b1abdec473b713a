// The test CD: turning one recorded block into an impulse (clock and channel
// detection, resampling, deconvolution) and writing the disc image.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdint>
#include <string>
#include <vector>

#include "analysers/test_cd_extract.h"
#include "analysers/test_cd_writer.h"
#include "core/test_signals.h"
#include "display/dispatcher.h"

namespace zentor {
namespace {

// A block as the microphone hears the left channel played at the CD rate and
// recorded at `rate`: the periodic signal read at the recording's clock.
std::vector<float> Recording(const std::vector<int16_t>& period, int32_t rate, int32_t length) {
  std::vector<float> r(static_cast<size_t>(length));
  const double step = static_cast<double>(CDSignalParams.SampleRate) / rate;
  const auto n = static_cast<int64_t>(period.size());
  for (int32_t i = 0; i < length; ++i) {
    const double t = i * step;
    const auto k = static_cast<int64_t>(t);
    const double f = t - static_cast<double>(k);
    r[static_cast<size_t>(i)] = static_cast<float>(0.5 * ((1 - f) * period[static_cast<size_t>(k % n)] +
                                                          f * period[static_cast<size_t>((k + 1) % n)]));
  }
  return r;
}

void BM_ProcessTestCDRecording(benchmark::State& state) {
  DefaultTwoToneTable();
  const auto rate = static_cast<int32_t>(state.range(0));
  std::vector<int16_t> period(size_t(1) << CDSignalParams.Order);
  BuildTestCDSignal(period, CDSignalParams, kTestCDLeft);
  TestCDWork work;
  work.Prepare(CDSignalParams, rate);
  const std::vector<float> block = Recording(period, rate, work.RecordLength);
  for (auto _ : state) {
    std::fill(work.WorkSignal.begin(), work.WorkSignal.end(), 0.0f);
    std::copy(block.begin(), block.end(), work.WorkSignal.begin());
    ExtractTestCDImpulse(CDSignalParams, work, {});
    benchmark::DoNotOptimize(work.WorkSignal.data());
  }
  if (work.ChannelCode != kTestCDLeft) state.SkipWithError("left channel not detected");
}
BENCHMARK(BM_ProcessTestCDRecording)->ArgName("rate")->Arg(44100)->Arg(48000)->Unit(benchmark::kMillisecond);

// To a RAM disk where the machine has one; peak memory reported as maxrss.
void BM_WriteTestCD(benchmark::State& state) {
  DefaultTwoToneTable();
  std::vector<int16_t> left(size_t(1) << CDSignalParams.Order), right(left.size());
  BuildTestCDSignal(left, CDSignalParams, kTestCDLeft);
  BuildTestCDSignal(right, CDSignalParams, kTestCDRight);
  const int32_t periods = TestCDPeriodCount(static_cast<double>(state.range(0)), CDSignalParams);
  const std::string path = "/dev/shm/zentor_bench_cd.wav";
  for (auto _ : state)
    if (!WriteTestCDFile(path, left, right, periods, CDSignalParams.SampleRate, {})) state.SkipWithError("write");
  std::remove(path.c_str());
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["maxrss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_WriteTestCD)->ArgName("minutes")->Arg(1)->Arg(15)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentor

BENCHMARK_MAIN();
