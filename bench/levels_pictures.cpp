// The noise recording's power spectrum (E 15 over a default recording) and the
// measurement window's two level pictures (two 8001-point curves, offscreen).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/records.h"
#include "core/work_arrays.h"
#include "mainwindow/data_plotter.h"
#include "measurement/audio_form.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"
#include "platform/numeric/numeric_internal.h"
#include "qt_bench_main.h"

namespace zentor {
namespace {

void BM_PowerSpectralDensity(benchmark::State& state) {
  const int32_t count = 196608;
  std::vector<float> x(count), s((1 << 15) + 1);
  std::mt19937 gen(3);
  std::normal_distribution<float> d(0.0f, 10.0f);
  for (float& v : x) v = d(gen);
  PowerSpectralDensity(x, count, s, 15, 100);
  numeric_detail::AdoptTunedPlans();
  for (auto _ : state) {
    if (!PowerSpectralDensity(x, count, s, 15, 100)) state.SkipWithError("refused");
    benchmark::DoNotOptimize(s.data());
  }
}
BENCHMARK(BM_PowerSpectralDensity)->Unit(benchmark::kMillisecond);

void BM_DrawImpulseEnergyPictures(benchmark::State& state) {
  auto* main = Forms::Get<DataPlotter>();
  main->Form_Load();
  AudioForm* form = Forms::Get<AudioForm>();
  std::vector<float> a(20000), b(20000);
  std::mt19937 gen(5);
  std::normal_distribution<float> d(0.0f, 0.01f);
  for (std::size_t i = 0; i < a.size(); ++i) {
    a[i] = d(gen);
    b[i] = d(gen);
  }
  a[2400] = 0.5f;
  b[4800] = 0.2f;
  for (auto _ : state) {
    form->DrawImpulseEnergyPictures(a, b, kMicOnRightInput, 48000);
    benchmark::DoNotOptimize(form->ImpulseEnergyCurves[0].YValues.data());
  }
  Forms::Unload<AudioForm>();
}
BENCHMARK(BM_DrawImpulseEnergyPictures)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) { return zentor::RunQtBenchmarks(argc, argv); }
