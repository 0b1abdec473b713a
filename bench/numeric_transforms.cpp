// Transform, envelope, convolution and filter timings; FFTW's own measured
// interleaved plan at each size is the limit the split-array API is compared with.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <mutex>
#include <random>
#include <vector>

#include "platform/numeric/numeric.h"
#include "platform/numeric/numeric_internal.h"

namespace {

std::vector<float> Noise(std::size_t n) {
  std::mt19937 gen(7);
  std::normal_distribution<float> d;
  std::vector<float> v(n);
  for (auto& x : v) x = d(gen);
  return v;
}

void BM_FftPlusIfft(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  const std::size_t n = std::size_t{1} << k;
  std::vector<float> re = Noise(n), im(n, 0.0f);
  for (int i = 0; i < 4; ++i) zentor::fft(re, im, k);  // steady use: the measured plan
  zentor::numeric_detail::AdoptTunedPlans();
  for (auto _ : state) {
    zentor::fft(re, im, k);
    zentor::ifft(re, im, k);
    benchmark::DoNotOptimize(re.data());
  }
}
BENCHMARK(BM_FftPlusIfft)->Arg(14)->Arg(16)->Arg(17)->Arg(18)->Unit(benchmark::kMicrosecond);

void BM_FftwMeasuredLimit(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  const int n = 1 << k;
  fftwf_complex* buf = fftwf_alloc_complex(n);
  std::unique_lock planner(zentor::numeric_detail::SinglePlannerMutex());
  fftwf_plan f = fftwf_plan_dft_1d(n, buf, buf, FFTW_FORWARD, FFTW_PATIENT);
  fftwf_plan b = fftwf_plan_dft_1d(n, buf, buf, FFTW_BACKWARD, FFTW_PATIENT);
  planner.unlock();
  const auto noise = Noise(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) buf[i][0] = noise[static_cast<std::size_t>(i)], buf[i][1] = 0.0f;
  for (auto _ : state) {
    fftwf_execute(f);
    fftwf_execute(b);
    benchmark::DoNotOptimize(buf);
  }
  planner.lock();
  fftwf_destroy_plan(f);
  fftwf_destroy_plan(b);
  fftwf_free(buf);
}
BENCHMARK(BM_FftwMeasuredLimit)->Arg(14)->Arg(16)->Arg(17)->Arg(18)->Unit(benchmark::kMicrosecond);

void BM_Convolute(benchmark::State& state) {
  const int n = 1 << 17;
  const int L = static_cast<int>(state.range(0));
  const auto in = Noise(static_cast<std::size_t>(n));
  std::vector<float> out(static_cast<std::size_t>(n)), win(static_cast<std::size_t>(L));
  zentor::GetSymmetricalPsycologicalGaussianWindow(win, L, L / 3.0f);
  for (int i = 0; i < 4; ++i) zentor::Convolute(in, out, win, n, L);
  zentor::numeric_detail::AdoptTunedPlans();
  for (auto _ : state) {
    zentor::Convolute(in, out, win, n, L);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_Convolute)->Arg(72)->Arg(3600)->Unit(benchmark::kMillisecond);

void BM_EnergyEnvelope(benchmark::State& state) {
  const auto x = Noise(1 << 17);
  std::vector<float> env(1 << 17);
  for (int i = 0; i < 4; ++i) zentor::EnergyEnvelope(x, env, 17);
  zentor::numeric_detail::AdoptTunedPlans();
  for (auto _ : state) {
    zentor::EnergyEnvelope(x, env, 17);
    benchmark::DoNotOptimize(env.data());
  }
}
BENCHMARK(BM_EnergyEnvelope)->Unit(benchmark::kMillisecond);

void BM_RecursiveFilter4thOrder(benchmark::State& state) {
  const auto x = Noise(1 << 17);
  std::vector<float> y(1 << 17);
  // Two cascaded resonant sections expanded into one fourth-order denominator.
  const std::vector<double> b{0.01, 0.04, 0.06, 0.04, 0.01};
  const std::vector<double> a{1.0, -3.2, 3.9, -2.14, 0.45};
  for (auto _ : state) {
    zentor::RecursiveFilter(b, 5, a, 5, x, y, 1 << 17, 1.0);
    benchmark::DoNotOptimize(y.data());
  }
}
BENCHMARK(BM_RecursiveFilter4thOrder)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
